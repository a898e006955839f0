// The client end to end: KESTA.exe → RunWinMain → start-up → CEF →
// heartbeat → admission → game window served from the local service.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <thread>

#include "e2e/client_install_win.h"
#include "support/loopback_http.h"

namespace kesta::testing {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

constexpr char kPrivateOrigin[] = "https://app.kesta-client.invalid";
// The game window is titled "Ostrel" by the client and then by its page.
bool isGameTitle(const std::wstring& title) {
  return title == L"Harbor Run" || title == L"Ostrel";
}

// Requests the service saw whose target starts with `prefix`.
std::vector<json> requestsTo(const json& journal, const std::string& prefix) {
  std::vector<json> found;
  for (const json& entry : journal.value("requests", json::array())) {
    if (entry.value("target", "").rfind(prefix, 0) == 0)
      found.push_back(entry);
  }
  return found;
}

// Presses the close box of a top-level window of another process.
void pressCloseBox(HWND window) {
  PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

// Answers the first message box of `pid` captioned `caption`.
bool answerBox(DWORD pid, const std::wstring& caption, int answer, std::chrono::milliseconds timeout) {
  return WaitUntil(
      [&] {
        HWND box = nullptr;
        while ((box = FindWindowExW(nullptr, box, L"#32770", caption.c_str()))) {
          DWORD owner = 0;
          GetWindowThreadProcessId(box, &owner);
          if (owner == pid) {
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
            return true;
          }
        }
        return false;
      },
      timeout);
}

// The visible game window of process `pid`, or null.
HWND gameWindowOf(DWORD pid) {
  std::pair<DWORD, HWND> search(pid, nullptr);
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto* found = reinterpret_cast<std::pair<DWORD, HWND>*>(param);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        wchar_t title[64] = {};
        GetWindowTextW(window, title, 64);
        if (owner == found->first && isGameTitle(title) && IsWindowVisible(window))
          found->second = window;
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.second;
}

HWND updateWindowOf(DWORD pid) {
  HWND window = nullptr;
  while ((window = FindWindowExW(nullptr, window, L"KESTAResourceUpdates", nullptr))) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == pid)
      return window;
  }
  return nullptr;
}

class EndToEnd : public ::testing::Test {
 protected:
  std::string Diagnostics(const ClientInstall& install) {
    return "client stderr:\n" + install.ClientErrors() + "\nservice.log:\n" + install.ServiceLog();
  }
};

TEST_F(EndToEnd, ColdStartAdmitsAndServesTheGameThroughTheLocalHandler) {
  ClientInstall install("cold");
  ASSERT_TRUE(install.StartClient());

  HWND game = install.WaitForWindow(isGameTitle, 60s);
  ASSERT_NE(game, nullptr) << Diagnostics(install);

  const json journal = install.Journal();
  EXPECT_GE(journal.value("heartbeats", 0), 1);
  EXPECT_GE(journal.value("launches", 0), 1);
  const json heartbeat = journal["lastHeartbeat"];
  EXPECT_EQ(heartbeat["version"], "0.6.12");
  EXPECT_EQ(heartbeat["pid"], install.clientProcessId());

  // The start page came through the local handler: with the token and the
  // admitted generation.
  const auto start = requestsTo(journal, "/__client/start");
  ASSERT_FALSE(start.empty()) << journal.dump(1);
  EXPECT_TRUE(start.front().value("authorized", false)) << start.front().dump();
  const std::string generation = start.front().value("generation", "");
  EXPECT_FALSE(generation.empty()) << start.front().dump();

  // So did what the page loads by itself: its stylesheet and engine
  // script, the client's two scripts, and the image bound under an
  // absolute URL of another origin (fetched from its pool path).
  const std::vector<std::string> subresources = {"/engine/style.css", "/__client/bridge.js",
                                                 "/__client/game-observer.js", "/engine/game.js",
                                                 "/__pool/art/sprites%2Fhero.svg"};
  // The journal keeps the latest requests only (its own reads included):
  // gather them as they come.
  std::map<std::string, std::vector<json>> arrived;
  std::set<std::string> others;
  const auto gathered = [&] {
    for (const json& entry : install.Journal().value("requests", json::array())) {
      const std::string target = entry.value("target", "");
      if (std::find(subresources.begin(), subresources.end(), target) != subresources.end())
        arrived[target].push_back(entry);
      else if (target != "/__control/journal")
        others.insert(target);
    }
    return arrived.size() == subresources.size();
  };
  ASSERT_TRUE(WaitUntil(gathered, 20s)) << "arrived " << arrived.size() << "; other targets: " << json(others).dump();
  for (const auto& [target, entries] : arrived) {
    for (const json& entry : entries) {
      EXPECT_EQ(entry.value("method", ""), "GET") << entry.dump();
      EXPECT_TRUE(entry.value("authorized", false)) << entry.dump();
      EXPECT_EQ(entry.value("generation", ""), generation) << entry.dump();
    }
  }

  pressCloseBox(game);
  EXPECT_EQ(install.WaitForExit(30s), 0) << Diagnostics(install);

  // CEF's profile and log live in the data directory.
  EXPECT_TRUE(std::filesystem::is_directory(install.data() / "browser" / "Default"));
  const std::string log = ReadTextFile(install.data() / "chromium.log");
  EXPECT_NE(log.find("KESTA browser created id="), std::string::npos) << log;
  EXPECT_NE(log.find(" context=" + install.data().string() + "\\browser"), std::string::npos) << log;
}

TEST_F(EndToEnd, AServiceThatDiesLeavesTheGameWindowAndTheClientTrying) {
  ClientInstall install("dead");
  ASSERT_TRUE(install.StartClient());
  HWND game = install.WaitForWindow(isGameTitle, 60s);
  ASSERT_NE(game, nullptr) << Diagnostics(install);

  install.StopService();
  ASSERT_TRUE(WaitUntil(
      [&] {
        const std::string errors = install.ClientErrors();
        size_t count = 0;
        for (size_t at = errors.find("Local control heartbeat failed"); at != std::string::npos;
             at = errors.find("Local control heartbeat failed", at + 1))
          ++count;
        return count >= 3;
      },
      30s))
      << Diagnostics(install);
  EXPECT_TRUE(IsWindow(game));
  EXPECT_EQ(install.WaitForExit(0ms), -1) << "the client is still running";

  pressCloseBox(game);
  EXPECT_EQ(install.WaitForExit(30s), 0) << Diagnostics(install);
}

TEST_F(EndToEnd, AcceptedClientUpdateQuitsWithoutRestart) {
  ClientInstall install("client-update");
  ASSERT_TRUE(install.StartClient());
  ASSERT_NE(install.WaitForWindow(isGameTitle, 60s), nullptr) << Diagnostics(install);

  ASSERT_EQ(install.Control({{"pending", {{"revision", 3}, {"client", "0.7.0"}}}}).status, 200);
  HWND updates = nullptr;
  ASSERT_TRUE(WaitUntil(
      [&] {
        updates = updateWindowOf(install.clientProcessId());
        return updates && IsWindowVisible(updates);
      },
      20s));
  HWND accept = GetDlgItem(updates, 1);
  ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(accept) != FALSE; }, 10s));
  PostMessageW(updates, WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), reinterpret_cast<LPARAM>(accept));
  ASSERT_TRUE(answerBox(install.clientProcessId(), L"现在重新进入游戏？", IDOK, 10s));

  EXPECT_EQ(install.WaitForExit(30s), 0) << Diagnostics(install);
  EXPECT_EQ(install.Journal()["accepts"], json::array({{{"revision", 3}}}));
  const int beats = install.Journal().value("heartbeats", 0);
  std::this_thread::sleep_for(3s);
  EXPECT_EQ(install.Journal().value("heartbeats", 0), beats) << "no client came back";
}

TEST_F(EndToEnd, AcceptedResourceUpdateRestartsIntoTheNewGeneration) {
  ClientInstall install("resource-update");
  ASSERT_TRUE(install.StartClient());
  ASSERT_NE(install.WaitForWindow(isGameTitle, 60s), nullptr) << Diagnostics(install);
  std::string before;
  ASSERT_TRUE(WaitUntil(
      [&] {
        const json windows = install.Journal()["lastHeartbeat"]["windows"];
        before = windows.is_array() && !windows.empty() ? windows[0].value("generation", "") : "";
        return !before.empty();
      },
      10s));

  ASSERT_EQ(install.Control({{"pending", {{"revision", 7.9}, {"versions", {{"maps", "2.0.0"}}}}}}).status, 200);
  HWND updates = nullptr;
  ASSERT_TRUE(WaitUntil(
      [&] {
        updates = updateWindowOf(install.clientProcessId());
        return updates && IsWindowVisible(updates) && IsWindowEnabled(GetDlgItem(updates, 1));
      },
      20s));
  PostMessageW(updates, WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), 0);
  ASSERT_TRUE(answerBox(install.clientProcessId(), L"现在重新进入游戏？", IDOK, 10s));
  EXPECT_EQ(install.WaitForExit(30s), 0) << Diagnostics(install);

  // The client starts itself again, with the same arguments, and enters the
  // game with the new generation.
  ASSERT_TRUE(WaitUntil(
      [&] {
        const json heartbeat = install.Journal()["lastHeartbeat"];
        return heartbeat.is_object() && heartbeat.value("pid", 0u) != install.clientProcessId() &&
               heartbeat["windows"].is_array() && !heartbeat["windows"].empty() &&
               heartbeat["windows"][0].value("generation", "") != before;
      },
      60s))
      << Diagnostics(install);
  const json journal = install.Journal();
  EXPECT_EQ(journal["accepts"], json::array({{{"revision", 7}}})) << "the revision goes back cut to an integer";
  const DWORD restarted = journal["lastHeartbeat"].value("pid", 0u);
  // Close the restarted client through its game window.
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, restarted);
  ASSERT_NE(process, nullptr);
  HWND game = nullptr;
  WaitUntil([&] { return (game = gameWindowOf(restarted)) != nullptr; }, 30s);
  ASSERT_NE(game, nullptr);
  pressCloseBox(game);
  EXPECT_EQ(WaitForSingleObject(process, 30000), WAIT_OBJECT_0);
  CloseHandle(process);
}

// Lines of service.log that the loopback proxy wrote for `target`.
std::vector<std::string> proxyLines(const std::string& log, const std::string& target) {
  std::vector<std::string> lines;
  size_t at = 0;
  while ((at = log.find("proxy: ", at)) != std::string::npos) {
    const size_t end = log.find('\n', at);
    std::string line = log.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (line.find(" " + target + " ") != std::string::npos)
      lines.push_back(line);
    at = end == std::string::npos ? log.size() : end;
  }
  return lines;
}

// The last heartbeat of process `pid`, or null.
json heartbeatOf(const ClientInstall& install, DWORD pid) {
  const json heartbeat = install.Journal()["lastHeartbeat"];
  return heartbeat.is_object() && heartbeat.value("pid", 0u) == pid ? heartbeat : json();
}

TEST_F(EndToEnd, AnEnforcedClientGoesThroughTheAuthenticatedLoopbackProxy) {
  // The game page shows an image of a foreign origin (a server on loopback
  // here, which the policy does not exempt from the proxy). It outlives the
  // install, whose processes may still hold a connection to it.
  LoopbackHttpServer foreign([](const RecordedRequest&) {
    return CannedResponse{200, "", {{"Content-Type", "image/svg+xml"}}, "<svg/>"};
  });
  ClientInstall install("enforced", {"--network-enforced"});
  const std::string image = foreign.origin() + "/foreign.svg";
  const std::filesystem::path page = install.root() / "app" / "resources" / "pools" / "engine" / "index.html";
  std::string html = ReadTextFile(page);
  const size_t body = html.find("</body>");
  ASSERT_NE(body, std::string::npos);
  html.insert(body, "<img src=\"" + image + "\">\n");
  std::ofstream(page, std::ios::binary | std::ios::trunc) << html;
  ASSERT_TRUE(install.StartClient());
  HWND game = install.WaitForWindow(isGameTitle, 60s);
  ASSERT_NE(game, nullptr) << Diagnostics(install);

  json heartbeat;
  ASSERT_TRUE(WaitUntil(
      [&] {
        heartbeat = heartbeatOf(install, install.clientProcessId());
        return heartbeat.is_object() && heartbeat.contains("networkRevision");
      },
      10s))
      << heartbeat.dump();
  EXPECT_EQ(heartbeat["browserNetworkEnforced"], true) << heartbeat.dump();
  EXPECT_EQ(heartbeat["networkRestartRequired"], false);
  EXPECT_EQ(heartbeat["networkError"], "");

  // A web window the service opens goes through the proxy: challenged
  // first, then let through with the client's credentials (the proxy only
  // tries the upstream for a request it authorised).
  const std::string target = "http://harbor-run.invalid/through-the-proxy";
  ASSERT_EQ(install.Control({{"commands", json::array({{{"type", "open"}, {"url", target}}})}}).status, 200);
  std::vector<std::string> lines;
  ASSERT_TRUE(WaitUntil(
      [&] {
        lines = proxyLines(install.ServiceLog(), target);
        return lines.size() >= 2;
      },
      30s))
      << Diagnostics(install);
  EXPECT_EQ(lines[0], "proxy: GET " + target + " 407");
  EXPECT_EQ(lines[1].rfind("proxy: GET " + target + " 502", 0), 0u) << lines[1];
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "proxy: GET " + target + " 407"), 1);

  // The page's foreign image took the same road, and arrived without the
  // client's credentials for the service or the proxy.
  std::vector<std::string> imageLines;
  ASSERT_TRUE(WaitUntil(
      [&] {
        imageLines = proxyLines(install.ServiceLog(), image);
        return imageLines.size() >= 2;
      },
      30s))
      << Diagnostics(install);
  EXPECT_EQ(imageLines[0], "proxy: GET " + image + " 407");
  EXPECT_EQ(imageLines[1], "proxy: GET " + image + " 200");
  const std::vector<RecordedRequest> atForeign = foreign.requests();
  ASSERT_EQ(atForeign.size(), 1u);
  EXPECT_EQ(atForeign[0].target, "/foreign.svg");
  for (const auto& [name, value] : atForeign[0].headers) {
    EXPECT_EQ(value.find(install.Token()), std::string::npos) << name;
    EXPECT_NE(name, "Proxy-Authorization");
  }

  // The game window and the web window.
  for (HWND window : install.Windows([](const std::wstring&) { return true; })) {
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (std::wstring(className) != L"KESTAResourceUpdates")
      pressCloseBox(window);
  }
  EXPECT_EQ(install.WaitForExit(30s), 0) << Diagnostics(install);
}

TEST_F(EndToEnd, AnUnenforcedClientRestartsForEnforcementOnlyBeforeAdmission) {
  ClientInstall install("unenforced");
  ASSERT_TRUE(install.StartService());
  ASSERT_EQ(install.Control({{"launchReady", false}}).status, 200);
  ASSERT_TRUE(install.StartClient());
  const DWORD first = install.clientProcessId();
  json heartbeat;
  ASSERT_TRUE(WaitUntil([&] { return (heartbeat = heartbeatOf(install, first)).is_object(); }, 60s))
      << Diagnostics(install);
  EXPECT_EQ(heartbeat["browserNetworkEnforced"], false);
  EXPECT_EQ(heartbeat["networkRestartRequired"], false);

  // Enforcement before the launch was admitted: the client ends and comes
  // back by itself, started under enforcement.
  ASSERT_EQ(install.Control({{"networkEnforced", true}}).status, 200);
  EXPECT_EQ(install.WaitForExit(30s), 0) << Diagnostics(install);
  DWORD restarted = 0;
  ASSERT_TRUE(WaitUntil(
      [&] {
        heartbeat = install.Journal()["lastHeartbeat"];
        restarted = heartbeat.is_object() ? heartbeat.value("pid", 0u) : 0;
        return restarted != 0 && restarted != first && heartbeat.value("browserNetworkEnforced", false);
      },
      60s))
      << heartbeat.dump() << Diagnostics(install);
  EXPECT_EQ(heartbeat["networkRestartRequired"], false);
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, restarted);
  ASSERT_NE(process, nullptr);

  ASSERT_EQ(install.Control({{"launchReady", true}}).status, 200);
  HWND game = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (game = gameWindowOf(restarted)) != nullptr; }, 60s)) << Diagnostics(install);

  // After admission a lapse of enforcement can only be reported: the client
  // stays, and says it needs a restart once enforcement comes back.
  ASSERT_EQ(install.Control({{"networkEnforced", false}}).status, 200);
  ASSERT_TRUE(WaitUntil([&] { return !heartbeatOf(install, restarted).value("browserNetworkEnforced", true); }, 20s));
  ASSERT_EQ(install.Control({{"networkEnforced", true}}).status, 200);
  ASSERT_TRUE(WaitUntil([&] { return heartbeatOf(install, restarted).value("networkRestartRequired", false); }, 20s))
      << install.Journal()["lastHeartbeat"].dump();
  EXPECT_EQ(heartbeatOf(install, restarted)["browserNetworkEnforced"], false);
  EXPECT_EQ(WaitForSingleObject(process, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the admitted client stays";

  pressCloseBox(game);
  EXPECT_EQ(WaitForSingleObject(process, 30000), static_cast<DWORD>(WAIT_OBJECT_0));
  CloseHandle(process);
}

TEST_F(EndToEnd, ASecondStartShowsTheRunningGameWindowAndEndsWithCefsCode) {
  ClientInstall install("relaunch");
  ASSERT_TRUE(install.StartClient());
  HWND game = install.WaitForWindow(isGameTitle, 60s);
  ASSERT_NE(game, nullptr) << Diagnostics(install);
  const DWORD first = install.clientProcessId();
  HANDLE running = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, first);
  ASSERT_NE(running, nullptr);
  // Whatever happens below, the first client does not outlive the scenario.
  std::unique_ptr<void, void (*)(HANDLE)> guard(running, [](HANDLE process) {
    if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT)
      TerminateProcess(process, 1);
    CloseHandle(process);
  });
  ShowWindow(game, SW_HIDE);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(game); }, 5s));

  // The second process hands its start to the first through the runtime
  // and ends with the runtime's exit code, without a window of its own.
  ASSERT_TRUE(install.StartClient());
  EXPECT_EQ(install.WaitForExit(30s), 24) << Diagnostics(install);
  EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(game) != FALSE; }, 10s));
  EXPECT_EQ(WaitForSingleObject(running, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(heartbeatOf(install, first).value("pid", 0u), first) << "the first client still beats";

  pressCloseBox(game);
  EXPECT_EQ(WaitForSingleObject(running, 30000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 1;
  GetExitCodeProcess(running, &code);
  EXPECT_EQ(code, 0u);
}

TEST_F(EndToEnd, ARestartThatCannotStartTellsTheUserAndStillEndsWithZero) {
  ClientInstall install("restart-fails");
  ASSERT_TRUE(install.StartService());
  ASSERT_EQ(install.Control({{"launchReady", false}}).status, 200);
  ASSERT_TRUE(install.StartClient());
  const DWORD first = install.clientProcessId();
  ASSERT_TRUE(WaitUntil([&] { return heartbeatOf(install, first).is_object(); }, 60s)) << Diagnostics(install);

  // The program the client would start again is gone.
  const std::filesystem::path exe = install.root() / "app" / "KESTA.exe";
  std::error_code moved;
  std::filesystem::rename(exe, install.root() / "app" / "KESTA.moved", moved);
  ASSERT_FALSE(moved) << moved.message();

  ASSERT_EQ(install.Control({{"networkEnforced", true}}).status, 200);
  ASSERT_TRUE(answerBox(first, L"Ostrel · 启动失败", IDOK, 30s)) << Diagnostics(install);
  EXPECT_EQ(install.WaitForExit(30s), 0) << Diagnostics(install);
  EXPECT_NE(install.ClientErrors().find("无法重新启动客户端，请手动打开。"), std::string::npos) << Diagnostics(install);
  std::this_thread::sleep_for(2s);
  EXPECT_EQ(install.Journal()["lastHeartbeat"].value("pid", 0u), first) << "no client came back";
}

TEST_F(EndToEnd, AServiceUpgradeHandsOverToANewProcessAndTheClientGoesOnToAdmission) {
  ClientInstall install("upgrade");
  ASSERT_TRUE(install.StartService());
  // An updated client of this very version is named while the service is
  // older: the client asks the service to upgrade and waits for it.
  ASSERT_EQ(install.Control({{"serviceVersion", "0.6.11"},
                             {"clientPath", (install.root() / "app").string()},
                             {"client", "0.6.12"},
                             {"upgradeDelayMs", 1000}})
                .status,
            200);
  const DWORD before = install.Journal().value("pid", 0u);
  ASSERT_NE(before, 0u);
  ASSERT_TRUE(install.StartClient());

  HWND game = install.WaitForWindow(isGameTitle, 60s);
  ASSERT_NE(game, nullptr) << Diagnostics(install);
  const json journal = install.Journal();
  EXPECT_NE(journal.value("pid", 0u), before) << "the upgraded service is another process";
  EXPECT_EQ(journal["lastHeartbeat"].value("pid", 0u), install.clientProcessId());
  HANDLE old = OpenProcess(SYNCHRONIZE, FALSE, before);
  if (old) {
    EXPECT_EQ(WaitForSingleObject(old, 5000), static_cast<DWORD>(WAIT_OBJECT_0)) << "the old service ended";
    CloseHandle(old);
  }
  const std::string log = install.ServiceLog();
  EXPECT_NE(log.find("handing the port over"), std::string::npos) << log;
  EXPECT_NE(log.find("kesta-service 0.6.12 listening"), std::string::npos) << log;

  pressCloseBox(game);
  EXPECT_EQ(install.WaitForExit(30s), 0) << Diagnostics(install);
}

TEST_F(EndToEnd, ASparseServiceStateIsAdmittedAndPlayed) {
  ClientInstall install("sparse");
  ASSERT_TRUE(install.StartService());
  // Members that read as missing are left out; numbers carry a fraction.
  ASSERT_EQ(install.Control({{"sparseState", true}}).status, 200);
  ASSERT_EQ(install.Api(service_http::verb::get, "/api/info").Json()["state"]["activation"].dump(), "1.0");
  ASSERT_TRUE(install.StartClient());

  HWND game = install.WaitForWindow(isGameTitle, 60s);
  ASSERT_NE(game, nullptr) << Diagnostics(install);
  // The game plays: its start page came through the handler on its
  // generation, and the heartbeat reports the window with that generation.
  const auto start = requestsTo(install.Journal(), "/__client/start");
  ASSERT_FALSE(start.empty());
  EXPECT_EQ(start.front().value("generation", ""), "bundled");
  ASSERT_TRUE(WaitUntil(
      [&] {
        const json windows = install.Journal()["lastHeartbeat"]["windows"];
        return windows.is_array() && !windows.empty() && windows[0].value("generation", "") == "bundled";
      },
      20s))
      << install.Journal()["lastHeartbeat"].dump(1);

  // A pending revision written as 4.0 brings the update window up; deferring
  // sends it back as an integer.
  ASSERT_EQ(install.Control({{"pending", {{"revision", 4}, {"notes", "晚潮"}}}}).status, 200);
  HWND updates = nullptr;
  ASSERT_TRUE(WaitUntil(
      [&] {
        updates = updateWindowOf(install.clientProcessId());
        return updates && IsWindowVisible(updates) && IsWindowEnabled(GetDlgItem(updates, 2));
      },
      20s))
      << Diagnostics(install);
  PostMessageW(updates, WM_COMMAND, MAKEWPARAM(2, BN_CLICKED), 0);
  ASSERT_TRUE(WaitUntil([&] { return !install.Journal()["defers"].empty(); }, 20s));
  EXPECT_EQ(install.Journal()["defers"], json::array({{{"revision", 4}}}));
  EXPECT_TRUE(IsWindow(game));

  pressCloseBox(game);
  EXPECT_EQ(install.WaitForExit(30s), 0) << Diagnostics(install);
}

}  // namespace
}  // namespace kesta::testing
