// Shared main for every test program.
#include <gtest/gtest.h>

#include "support/test_environment.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  kesta::testing::PrepareTestProcess();
  return RUN_ALL_TESTS();
}
