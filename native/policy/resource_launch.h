// The launch gate: admits the game once, for one resource generation and one
// site origin, and tells afterwards whether the service has moved away from
// them so the game must be entered anew.
#pragma once

#include <string>

namespace kesta {

// Plain structure, constant-initialised so the process-wide instance holds its
// initial values before any code runs. It takes no lock of its own: the
// desktop layer holds browserMutex around every call and every field read.
struct ResourceLaunch {
  // Records what the service last reported. Nothing is validated, and the
  // admitted pair is never touched here.
  void Observe(const std::string& generation, const std::string& origin, bool updateGate);

  // Admits the launch when it has not been admitted yet, the caller says the
  // resources are ready, the update gate is open and both the observed
  // generation and origin are set. True only for the call that admitted.
  bool Admit(bool ready);

  // True when the admitted generation or origin no longer equals the observed
  // one, byte for byte. A fresh comparison on every call, not a latch.
  bool NeedsReentry() const;

  bool admitted = false;
  // The gate starts closed so nothing is admitted before a first observation.
  bool updateGate = true;
  std::string admittedGeneration;
  std::string admittedOrigin;
  std::string observedGeneration;
  std::string observedOrigin;
};

}  // namespace kesta
