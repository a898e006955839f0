// Times a start of the real client from the outside, from process creation
// to the game page loaded in the game window, over several runs:
//   preparation      process created -> the last "/api/info" before the
//                    first heartbeat reaches the service (start-up
//                    preparation done, service started and found)
//   CEF start        -> the update window is up (CefInitialize returned and
//                    the window was built)
//   admission        -> the game window exists (the first admitting
//                    heartbeat reply was applied)
//   page load        -> the game window shows the page's title (the start
//                    page was served and committed)
// The client is timed cold (it starts the service itself) and warm (the
// service already runs). Milestones are seen by polling the service's
// journal and the client's windows every few milliseconds.
//   client_startup_bench.exe [runs]   (default 10)
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "e2e/client_install_win.h"

namespace {

using Clock = std::chrono::steady_clock;
using kesta::testing::ClientInstall;
using nlohmann::json;

constexpr wchar_t kGameTitle[] = L"Harbor Run";
constexpr auto kPoll = std::chrono::milliseconds(3);
constexpr auto kGiveUp = std::chrono::seconds(60);

struct Milestones {
  double prepared = 0, cefStarted = 0, admitted = 0, loaded = 0;  // ms after creation
  bool complete = false;
};

struct WindowsOf {
  HWND update = nullptr;
  HWND game = nullptr;
  bool titled = false;
};

WindowsOf windowsOf(DWORD pid) {
  WindowsOf found;
  std::pair<DWORD, WindowsOf*> search(pid, &found);
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto* search = reinterpret_cast<std::pair<DWORD, WindowsOf*>*>(param);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != search->first || !IsWindowVisible(window))
          return TRUE;
        wchar_t className[64] = {};
        GetClassNameW(window, className, 64);
        if (std::wcscmp(className, L"KESTAResourceUpdates") == 0) {
          search->second->update = window;
        } else if (std::wcscmp(className, L"#32770") != 0) {
          search->second->game = window;
          wchar_t title[64] = {};
          GetWindowTextW(window, title, 64);
          search->second->titled = search->second->titled || std::wcscmp(title, kGameTitle) == 0;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return found;
}

// Starts the install's service the way the client would, for a warm start.
HANDLE startService(const ClientInstall& install) {
  const std::wstring app = (install.root() / "app").wstring();
  std::wstring command = L"\"" + app + L"\\kesta-service.exe\" --data-dir \"" + install.data().wstring() +
                         L"\" --bundle \"" + app + L"\\resources\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                      &info))
    return nullptr;
  CloseHandle(info.hThread);
  return info.hProcess;
}

Milestones timeOneStart(const char* name, bool warm) {
  Milestones result;
  ClientInstall install(name);
  HANDLE service = nullptr;
  if (warm) {
    service = startService(install);
    if (!service || !kesta::testing::WaitUntil(
                        [&] { return install.Api(kesta::testing::service_http::verb::get, "/api/info").status == 200; },
                        std::chrono::seconds(20))) {
      std::fprintf(stderr, "the service did not start\n");
      return result;
    }
  }

  const auto start = Clock::now();
  if (!install.StartClient())
    return result;
  auto since = [&] { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); };

  // The journal lists requests in arrival order; each is stamped when first
  // seen. Polled until the first heartbeat shows, then windows only.
  size_t seen = 0;
  double lastInfo = -1;
  bool heartbeat = false;
  while (Clock::now() - start < kGiveUp) {
    if (!heartbeat) {
      const json journal = install.Journal();
      const json requests = journal.is_object() ? journal.value("requests", json::array()) : json::array();
      const double now = since();
      for (size_t i = seen; i < requests.size() && !heartbeat; ++i) {
        const std::string target = requests[i].value("target", "");
        if (target == "/api/info")
          lastInfo = now;
        else if (target == "/api/host")
          heartbeat = true;
      }
      seen = requests.size();
      if (heartbeat)
        result.prepared = lastInfo;
    }
    const WindowsOf windows = windowsOf(install.clientProcessId());
    const double now = since();
    if (windows.update && result.cefStarted == 0)
      result.cefStarted = now;
    if (windows.game && result.admitted == 0)
      result.admitted = now;
    if (windows.titled) {
      result.loaded = now;
      result.complete = heartbeat && result.prepared > 0 && result.cefStarted > 0;
      if (windows.game)
        PostMessageW(windows.game, WM_SYSCOMMAND, SC_CLOSE, 0);
      break;
    }
    std::this_thread::sleep_for(kPoll);
  }
  install.WaitForExit(std::chrono::seconds(30));
  install.StopService();
  if (service) {
    WaitForSingleObject(service, 5000);
    CloseHandle(service);
  }
  return result;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void report(const char* label, const std::vector<Milestones>& runs) {
  std::vector<double> prep, cef, admit, load, total;
  for (const Milestones& m : runs) {
    prep.push_back(m.prepared);
    cef.push_back(m.cefStarted - m.prepared);
    admit.push_back(m.admitted - m.cefStarted);
    load.push_back(m.loaded - m.admitted);
    total.push_back(m.loaded);
  }
  auto line = [](const char* phase, const std::vector<double>& values) {
    std::printf("  %-12s median %8.1f ms   min %8.1f   max %8.1f\n", phase, median(values),
                *std::min_element(values.begin(), values.end()), *std::max_element(values.begin(), values.end()));
  };
  std::printf("%s start, %zu runs\n", label, runs.size());
  line("preparation", prep);
  line("CEF start", cef);
  line("admission", admit);
  line("page load", load);
  line("total", total);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int runs = argc > 1 ? std::max(1, static_cast<int>(std::wcstol(argv[1], nullptr, 10))) : 10;
  for (bool warm : {false, true}) {
    std::vector<Milestones> done;
    for (int run = 0; run < runs; ++run) {
      Milestones m = timeOneStart(warm ? "bench-warm" : "bench-cold", warm);
      if (!m.complete) {
        std::fprintf(stderr, "%s run %d did not reach the loaded game page\n", warm ? "warm" : "cold", run + 1);
        continue;
      }
      std::printf("  run %2d: %7.1f %7.1f %7.1f %7.1f ms\n", run + 1, m.prepared, m.cefStarted, m.admitted,
                  m.loaded);
      std::fflush(stdout);
      done.push_back(m);
    }
    if (!done.empty())
      report(warm ? "warm" : "cold", done);
  }
  return 0;
}
