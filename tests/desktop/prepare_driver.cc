// Runs start-up preparation once, as the process entry does, and writes what
// it left behind (result, boxes shown, desktop state) as JSON to the file
// named by KESTA_REPORT. Copied into a fresh installation directory by the
// start-up tests, since the install directory is the executable's.
#include <windows.h>

#include <chrono>
#include <nlohmann/json.hpp>

#include "desktop/desktop.h"
#include "desktop/desktop_state.h"
#include "include/cef_command_line.h"
#include "support/message_boxes_win.h"
#include "test_files.h"

int wmain() {
  using namespace kesta::desktop;
  using kesta::testing::Utf8;
  nlohmann::json report;
  {
    kesta::testing::MessageBoxWatcher boxes;
    CefRefPtr<CefCommandLine> commandLine = CefCommandLine::CreateCommandLine();
    commandLine->InitFromString(GetCommandLineW());
    auto start = std::chrono::steady_clock::now();
    bool result = DesktopPrepare(commandLine);
    report["elapsedMs"] =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    report["result"] = result;
    report["boxes"] = nlohmann::json::array();
    for (const auto& box : boxes.Boxes())
      report["boxes"].push_back({{"caption", box.caption}, {"text", box.text}});
  }
  report["appDirectory"] = appDirectory;
  report["restartExecutable"] = restartExecutable;
  report["restartArguments"] = restartArguments;
  report["localOrigin"] = localOrigin;
  report["origin"] = DesktopOrigin();
  report["dataDir"] = dataDir;
  report["desktopDataDir"] = DesktopDataDir();
  report["token"] = token;
  report["initialState"] = initialState;
  report["migrationSources"] = migrationSources;
  report["accessRootSPKI"] = accessRootSPKI;
  report["startupNetworkEnforced"] = DesktopStartupNetworkEnforced();
  report["restartNeededForEnforcement"] = networkPolicy.restartNeededForEnforcement;

  wchar_t path[32768] = {};
  if (GetEnvironmentVariableW(L"KESTA_REPORT", path, 32768))
    kesta::testing::WriteText(Utf8(path), report.dump());
  return report["result"].get<bool>() ? 0 : 2;
}
