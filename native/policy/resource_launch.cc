#include "policy/resource_launch.h"

namespace kesta {

void ResourceLaunch::Observe(const std::string& generation, const std::string& origin, bool gate) {
  observedGeneration = generation;
  observedOrigin = origin;
  updateGate = gate;
}

bool ResourceLaunch::Admit(bool ready) {
  if (admitted || !ready || updateGate || observedGeneration.empty() || observedOrigin.empty()) {
    return false;
  }
  admittedGeneration = observedGeneration;
  admittedOrigin = observedOrigin;
  admitted = true;
  return true;
}

bool ResourceLaunch::NeedsReentry() const {
  if (!admitted) {
    return false;
  }
  return observedGeneration != admittedGeneration || observedOrigin != admittedOrigin;
}

}  // namespace kesta
