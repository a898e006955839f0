#include "support/test_environment.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace kesta::testing {

void PrepareTestProcess() {
#if defined(_WIN32)
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
#endif
}

}  // namespace kesta::testing
