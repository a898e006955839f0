// The loopback HTTP client: one synchronous WinHTTP exchange per call, with
// the service on 127.0.0.1, never through a proxy.
#include <windows.h>
// After windows.h.
#include <winhttp.h>

#include <string>

#include "desktop/desktop_internal.h"
#include "desktop/desktop_state.h"

namespace kesta::desktop {
namespace {

constexpr DWORD kTimeoutMs = 3000;
constexpr DWORD kReadChunk = 8192;
constexpr size_t kMaxBody = 2 * 1024 * 1024;
// Not in every SDK's winhttp.h; the value is fixed by the API.
constexpr DWORD kReceiveResponseTimeoutOption = 7;

// Owns one WinHTTP handle.
class InternetHandle {
 public:
  explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
  ~InternetHandle() {
    if (handle_)
      WinHttpCloseHandle(handle_);
  }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;

  HINTERNET get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  HINTERNET handle_;
};

}  // namespace

std::string HTTP(const std::string& path, const std::string& body) {
  // Declared in creation order, so they close request, connection, session.
  InternetHandle session(WinHttpOpen(L"KESTA local service", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                     WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session)
    return std::string();
  WinHttpSetTimeouts(session.get(), kTimeoutMs, kTimeoutMs, kTimeoutMs, kTimeoutMs);
  // Some WinHTTP implementations do not bound the wait for the response
  // headers by the receive time-out; this bounds it the same way.
  DWORD responseTimeout = kTimeoutMs;
  WinHttpSetOption(session.get(), kReceiveResponseTimeoutOption, &responseTimeout, sizeof(responseTimeout));

  InternetHandle connection(
      WinHttpConnect(session.get(), L"127.0.0.1", static_cast<INTERNET_PORT>(originPort(localOrigin)), 0));
  if (!connection)
    return std::string();

  std::wstring target = wide(path);
  InternetHandle request(WinHttpOpenRequest(connection.get(), body.empty() ? L"GET" : L"POST", target.c_str(), nullptr,
                                            WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0));
  if (!request)
    return std::string();
  // A redirect is an answer like any other non-200 one, never followed.
  DWORD disable = WINHTTP_DISABLE_REDIRECTS;
  WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &disable, sizeof(disable));

  std::wstring headers = wide("Authorization: Bearer " + token + "\r\nContent-Type: application/json\r\n");
  DWORD size = static_cast<DWORD>(body.size());
  void* optional = body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(body.data());
  if (!WinHttpSendRequest(request.get(), headers.c_str(), static_cast<DWORD>(-1), optional, size, size, 0))
    return std::string();
  if (!WinHttpReceiveResponse(request.get(), nullptr))
    return std::string();

  DWORD status = 0;
  DWORD statusSize = sizeof(status);
  if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize, WINHTTP_NO_HEADER_INDEX))
    return std::string();
  if (status != 200)
    return std::string();

  std::string result;
  char buffer[kReadChunk];
  for (;;) {
    DWORD read = 0;
    if (!WinHttpReadData(request.get(), buffer, kReadChunk, &read))
      return std::string();
    if (read == 0)
      break;
    result.append(buffer, read);
    if (result.size() > kMaxBody)
      return std::string();
  }
  return result;
}

}  // namespace kesta::desktop
