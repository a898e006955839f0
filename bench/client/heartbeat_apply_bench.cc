// Times the UI thread's share of a heartbeat whose state did not change:
// DesktopApplyResponse on a reply as the service sends it every second,
// with 20 generations already bound, each with a 10,000-file engine
// manifest, the launch admitted and the update window built. Also times the
// reply's steps one by one, to show where the time goes.
//   client_heartbeat_bench.exe [replies]   (default 5000)
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "desktop/desktop.h"
#include "desktop/desktop_flow.h"
#include "desktop/desktop_internal.h"
#include "desktop/desktop_state.h"
#include "include/cef_request_context.h"
#include "include/cef_values.h"
#include "testing/runtime.h"

using namespace kesta::desktop;
namespace fs = std::filesystem;

namespace {

constexpr int kGenerations = 20;
constexpr int kEngineFiles = 10000;
constexpr char kOrigin[] = "https://game.example";

void writeFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// A bundle whose engine manifest lists kEngineFiles files; maps and art are
// small, as in the sample game.
void writeBundle(const fs::path& root) {
  std::string engine = R"({"version":"1.0.0","index":"index.html","files":{)";
  for (int i = 0; i < kEngineFiles; ++i) {
    char entry[96];
    std::snprintf(entry, sizeof entry, "%s\"engine/modules/m%03d/part %05d.js\":{\"size\":%d}", i ? "," : "", i % 300,
                  i, 1000 + i);
    engine += entry;
  }
  engine += "}}";
  writeFile(root / "engine" / "pool-manifest.json", engine);
  writeFile(root / "maps" / "pool-manifest.json",
            R"({"version":"1.0.0","bindings":{"https://assets.kesta.test/maps/harbor.json":"harbor.json"}})");
  writeFile(root / "art" / "pool-manifest.json",
            R"({"version":"1.0.0","bindings":{"https://assets.kesta.test/art/hero.svg":"sprites/hero.svg"}})");
}

// The reply the service sends while nothing changes: its whole state, an
// update pending with a preparation run in progress, no commands.
std::string reply(const std::string& bundleRoot) {
  std::string generations = R"({"bundled":{"engine":"1.0.0","maps":"1.0.0","art":"1.0.0"})";
  for (int i = 1; i < kGenerations; ++i)
    generations += ",\"g" + std::to_string(i) + R"(":{"engine":"1.0.0","maps":"1.0.0","art":"1.0.0"})";
  generations += "}";
  std::string root = bundleRoot;
  std::replace(root.begin(), root.end(), '\\', '/');
  return R"({"state":{"siteOrigin":")" + std::string(kOrigin) +
         R"(","clientPath":"","client":"0.6.12","migrationSources":[],"accessRootSPKI":"",)"
         R"("networkEnforced":false,"networkRevision":1,"activation":4,"generation":"g19","updateGate":false,)"
         R"("generations":)" + generations + R"(,"bundleRoot":")" + root + R"(","error":"",)"
         R"("browserProxy":{"mode":"direct"},)"
         R"("pending":{"revision":8,"notes":"新增两张地图。"},)"
         R"("refresh":{"status":"verified","revision":3,"pools":{)"
         R"("engine":{"status":"verified","downloaded":10485760,"total":10485760},)"
         R"("maps":{"status":"downloading","downloaded":5242880,"total":12582912}}}},"commands":[]})";
}

struct Stats {
  double mean, median, p99, max;
};

// Replies come a second apart, with the window's painting in between: the
// queue is emptied after each sample, untimed.
void pumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

Stats time(int iterations, const std::function<void()>& work) {
  std::vector<double> samples;
  samples.reserve(iterations);
  for (int i = 0; i < iterations; ++i) {
    const auto start = std::chrono::steady_clock::now();
    work();
    samples.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    pumpMessages();
  }
  double sum = 0;
  for (double sample : samples)
    sum += sample;
  std::sort(samples.begin(), samples.end());
  return {sum / iterations, samples[iterations / 2], samples[iterations * 99 / 100], samples.back()};
}

void print(const char* name, const Stats& stats) {
  std::printf("%-34s mean %8.1f us  median %8.1f  p99 %8.1f  max %8.1f\n", name, stats.mean, stats.median, stats.p99,
              stats.max);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  const int replies = argc > 1 ? std::max(100, static_cast<int>(std::wcstol(argv[1], nullptr, 10))) : 5000;

  const fs::path root = fs::temp_directory_path() / ("kesta-heartbeat-bench-" + std::to_string(GetCurrentProcessId()));
  writeBundle(root / "bundle");
  dataDir = (root / "data").generic_string();
  const std::string text = reply((root / "bundle").generic_string());

  cef_testing::ScopedRuntime runtime;
  if (!runtime.initialized()) {
    std::fprintf(stderr, "the runtime did not start\n");
    return 1;
  }
  gameContext = CefRequestContext::GetGlobalContext();
  CefRequestContextSettings settings;
  webContext = CefRequestContext::CreateContext(settings, nullptr);
  webContextReady = true;
  DesktopApplicationMenuReady();

  // The first reply binds the generations and admits nothing new: the
  // launch was admitted on the reported generation.
  const auto load = std::chrono::steady_clock::now();
  {
    bool launch = false, quit = false;
    std::vector<std::string> urls;
    DesktopApplyResponse(text, launch, quit, urls);
  }
  const double loadMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - load).count();
  {
    std::lock_guard lock(browserMutex);
    resourceLaunch.Admit(true);
    generation = resourceLaunch.admittedGeneration;
    origin = resourceLaunch.admittedOrigin;
    std::printf("%zu generations bound, %zu entries in \"g19\", first reply %.1f ms\n", poolBindings.size(),
                poolBindings["g19"].size(), loadMs);
  }

  auto apply = [&] {
    bool launch = false, quit = false;
    std::vector<std::string> urls;
    DesktopApplyResponse(text, launch, quit, urls);
  };
  // The new pending revision brought the window up; usually it is hidden.
  print("DesktopApplyResponse, window shown", time(replies, apply));
  ShowWindow(updateWindow, SW_HIDE);
  print("DesktopApplyResponse, window hidden", time(replies, apply));

  // The reply stays referenced: a child dictionary is only valid while its
  // parent lives.
  CefRefPtr<CefDictionaryValue> response = parse(text);
  CefRefPtr<CefDictionaryValue> state = response->GetDictionary("state");
  print("  parse", time(replies, [&] { parse(text); }));
  print("  proxy", time(replies, [&] { proxy(state); }));
  print("  updateResourceRoots", time(replies, [&] { updateResourceRoots(state); }));
  print("  receiveUpdates", time(replies, [&] { receiveUpdates(state); }));
  // Its parts: the desktop layer's own work, then each window call.
  print("    Copy", time(replies, [&] { state->Copy(false); }));
  std::wstring details(GetWindowTextLengthW(detailsWindow) + 1, L'\0');
  details.resize(GetWindowTextW(detailsWindow, details.data(), static_cast<int>(details.size())));
  print("    SetWindowText details", time(replies, [&] { SetWindowTextW(detailsWindow, details.c_str()); }));
  print("    SetWindowText accept", time(replies, [&] { SetWindowTextW(acceptButton, L"x"); }));
  print("    EnableWindow", time(replies, [&] { EnableWindow(acceptButton, TRUE); }));
  print("    IsWindowVisible", time(replies, [&] { IsWindowVisible(updateWindow); }));

  DesktopStop();
  gameContext = nullptr;
  webContext = nullptr;
  std::error_code ignored;
  fs::remove_all(root, ignored);
  return 0;
}
