// Version and API-hash entry points.
#include <atomic>

#include "include/cef_api_hash.h"
#include "include/cef_version_info.h"

extern "C" {

int cef_version_info(int entry) {
  switch (entry) {
    case 0:
      return CEF_VERSION_MAJOR;
    case 1:
      return CEF_VERSION_MINOR;
    case 2:
      return CEF_VERSION_PATCH;
    case 3:
      return CEF_COMMIT_NUMBER;
    case 4:
      return CHROME_VERSION_MAJOR;
    case 5:
      return CHROME_VERSION_MINOR;
    case 6:
      return CHROME_VERSION_BUILD;
    case 7:
      return CHROME_VERSION_PATCH;
    default:
      return 0;
  }
}

namespace {
std::atomic<int> g_api_version{CEF_API_VERSION};
}  // namespace

const char* cef_api_hash(int version, int entry) {
  g_api_version = version;
  // This library is built from one source tree with its clients: there is
  // no binary interface to tell apart, so every version shares one hash.
  static const char kHash[] = "0000000000000000000000000000000000000000";
  return entry == 0 || entry == 1 ? kHash : nullptr;
}

int cef_api_version(void) {
  return g_api_version.load();
}

}  // extern "C"
