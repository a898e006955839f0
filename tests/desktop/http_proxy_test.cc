// A system-wide WinHTTP proxy setting does not reach the loopback client.
// Changes the prefix's default proxy for the duration of the test, so it
// runs as a program of its own under a resource lock.
#include <gtest/gtest.h>

#include <windows.h>
// After windows.h.
#include <winhttp.h>

#include "desktop/desktop_internal.h"
#include "desktop/desktop_state.h"
#include "loopback_server.h"

namespace kesta::desktop {
namespace {

using kesta::testing::LoopbackServer;
using kesta::testing::ReceivedRequest;

// Sets the machine's default WinHTTP proxy and the proxy environment
// variables, and puts both back on destruction.
class SystemProxy {
 public:
  explicit SystemProxy(const std::wstring& server) {
    WINHTTP_PROXY_INFO info = {};
    info.dwAccessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
    info.lpszProxy = const_cast<wchar_t*>(server.c_str());
    info.lpszProxyBypass = nullptr;
    set_ = WinHttpSetDefaultProxyConfiguration(&info);
    std::wstring url = L"http://" + server;
    SetEnvironmentVariableW(L"http_proxy", url.c_str());
    SetEnvironmentVariableW(L"HTTP_PROXY", url.c_str());
  }
  ~SystemProxy() {
    WINHTTP_PROXY_INFO direct = {};
    direct.dwAccessType = WINHTTP_ACCESS_TYPE_NO_PROXY;
    WinHttpSetDefaultProxyConfiguration(&direct);
    SetEnvironmentVariableW(L"http_proxy", nullptr);
    SetEnvironmentVariableW(L"HTTP_PROXY", nullptr);
  }
  bool set() const { return set_; }

 private:
  bool set_ = false;
};

// A GET through a session that does use the default proxy, to show that the
// setting is in force.
bool GetThroughDefaultProxy(uint16_t port) {
  HINTERNET session =
      WinHttpOpen(L"control", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
  HINTERNET connection = session ? WinHttpConnect(session, L"127.0.0.1", port, 0) : nullptr;
  HINTERNET request = connection ? WinHttpOpenRequest(connection, L"GET", L"/control", nullptr, WINHTTP_NO_REFERER,
                                                      WINHTTP_DEFAULT_ACCEPT_TYPES, 0)
                                 : nullptr;
  bool ok = request && WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, nullptr, 0, 0, 0) &&
            WinHttpReceiveResponse(request, nullptr);
  if (request)
    WinHttpCloseHandle(request);
  if (connection)
    WinHttpCloseHandle(connection);
  if (session)
    WinHttpCloseHandle(session);
  return ok;
}

TEST(LoopbackHttpProxy, SystemProxyIsIgnored) {
  LoopbackServer proxy(
      [](const ReceivedRequest&) -> std::optional<std::string> { return LoopbackServer::Response(200, "from proxy"); });
  LoopbackServer service([](const ReceivedRequest&) -> std::optional<std::string> {
    return LoopbackServer::Response(200, "from service");
  });
  localOrigin = "http://127.0.0.1:" + std::to_string(service.port());
  token = "t";

  SystemProxy setting(L"127.0.0.1:" + std::to_wstring(proxy.port()));
  ASSERT_TRUE(setting.set());
  // Loopback is not bypassed by default, so a proxy-using session goes there.
  EXPECT_TRUE(GetThroughDefaultProxy(service.port()));
  ASSERT_EQ(proxy.Requests().size(), 1u) << "the default proxy setting is not in force";
  ASSERT_EQ(service.Requests().size(), 0u);

  EXPECT_EQ(HTTP("/api/info", ""), "from service");
  EXPECT_EQ(HTTP("/api/host", "{}"), "from service");
  EXPECT_EQ(proxy.Requests().size(), 1u);
  EXPECT_EQ(service.Requests().size(), 2u);
}

}  // namespace
}  // namespace kesta::desktop
