// Where the harnesses that run kesta-service.exe report the protocol
// violations it logged. Test programs fail the running test with each one
// (test_main.cc); other programs print them.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

namespace kesta::testing {

inline std::function<void(const std::string&)>& ProtocolViolationSink() {
  static std::function<void(const std::string&)> sink = [](const std::string& violation) {
    std::fprintf(stderr, "protocol violation: %s\n", violation.c_str());
  };
  return sink;
}

}  // namespace kesta::testing
