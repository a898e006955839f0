// Process-wide preparation shared by all test programs.
#pragma once

namespace kesta::testing {

// Keeps crash dialogs and error boxes from blocking a test run.
void PrepareTestProcess();

}  // namespace kesta::testing
