// Shared main for every test program.
#include <gtest/gtest.h>

#include "support/protocol_violations.h"
#include "support/test_environment.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  kesta::testing::PrepareTestProcess();
  // A client request that breaks the protocol fails the test that made it.
  kesta::testing::ProtocolViolationSink() = [](const std::string& violation) {
    ADD_FAILURE() << "the service logged a protocol violation: " << violation;
  };
  return RUN_ALL_TESTS();
}
