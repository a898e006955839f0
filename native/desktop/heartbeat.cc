// The desktop layer's half of the one-second heartbeat: the document sent to
// the service, the exchange on the request thread, and the reply applied on
// the UI thread.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <system_error>

#include "desktop/desktop.h"
#include "desktop/desktop_flow.h"
#include "desktop/desktop_internal.h"
#include "desktop/desktop_state.h"
#include "include/base/cef_callback.h"
#include "include/cef_parser.h"
#include "include/cef_values.h"
#include "include/wrapper/cef_closure_task.h"
#include "shell/simple_handler.h"

namespace kesta::desktop {

namespace {

// Whole doubles go out as integers: "proxyRevision" starts as -1, not -1.0.
std::string writeJSON(CefRefPtr<CefDictionaryValue> dictionary) {
  CefRefPtr<CefValue> value = CefValue::Create();
  value->SetDictionary(dictionary);
  return CefWriteJSON(value, JSON_WRITER_OMIT_DOUBLE_TYPE_PRESERVATION).ToString();
}

void postReply(CefRefPtr<SimpleHandler> handler, std::string reply) {
  if (running.load())
    CefPostTask(TID_UI, base::BindOnce(&SimpleHandler::DesktopApply, handler, std::move(reply)));
}

// The body of one heartbeat exchange (request thread).
void heartbeatRequest(std::string heartbeat, CefRefPtr<SimpleHandler> handler, bool needLaunch) {
  std::string reply = HTTP(kHostPath, heartbeat);
  if (needLaunch) {
    CefRefPtr<CefDictionaryValue> host = parse(reply);
    CefRefPtr<CefDictionaryValue> launch = parse(HTTP(kLaunchPath, kEmptyObject));
    if (host && launch) {
      host->SetDictionary("launch", launch);
      reply = writeJSON(host);
    }
  }
  // A failed exchange is posted too: the empty reply keeps the loop going.
  postReply(handler, std::move(reply));
}

}  // namespace

}  // namespace kesta::desktop

using namespace kesta::desktop;

void DesktopSendHeartbeat(scoped_refptr<CefListValue> windows, SimpleHandler* handler) {
  if (requestThread.joinable())
    requestThread.join();

  size_t gameWindowCount;
  {
    std::lock_guard lock(browserMutex);
    gameWindowCount = gameBrowsers.size();
  }

  CefRefPtr<CefDictionaryValue> heartbeat = CefDictionaryValue::Create();
  heartbeat->SetInt("pid", static_cast<int>(GetCurrentProcessId()));
  heartbeat->SetString("version", kClientVersion);
  heartbeat->SetList("windows", windows);
  heartbeat->SetInt("gameWindowCount", static_cast<int>(gameWindowCount));
  heartbeat->SetDouble("after", after);
  heartbeat->SetDouble("proxyRevision", revision);
  heartbeat->SetString("error", proxyError);
  networkPolicy.WriteHeartbeat(heartbeat);
  std::string text = writeJSON(heartbeat);

  bool needLaunch;
  {
    std::lock_guard lock(browserMutex);
    needLaunch = !resourceLaunch.admitted;
  }

  CefRefPtr<SimpleHandler> client(handler);
  try {
    requestThread = std::thread(heartbeatRequest, std::move(text), client, needLaunch);
  } catch (const std::system_error& error) {
    // This beat is lost. Its reply is posted as a failed exchange would be,
    // so the loop keeps its pace and the next beat tries again.
    std::fprintf(stderr, "Cannot start heartbeat thread: %s\n", error.what());
    postReply(client, std::string());
  }
}

void DesktopApplyResponse(const std::string& reply, bool& launch, bool& quit, std::vector<std::string>& urls) {
  CefRefPtr<CefDictionaryValue> response = parse(reply);
  if (!response) {
    std::fputs("Local control heartbeat failed\n", stderr);
    return;
  }

  // A nested launch answer carries the state, even when it has none.
  CefRefPtr<CefDictionaryValue> launchReply = response->GetDictionary("launch");
  CefRefPtr<CefDictionaryValue> state =
      launchReply ? launchReply->GetDictionary("state") : response->GetDictionary("state");
  if (!state)
    return;

  proxy(state);
  updateResourceRoots(state);

  {
    std::lock_guard lock(browserMutex);
    resourceLaunch.Observe(state->GetString("generation").ToString(), state->GetString("siteOrigin").ToString(),
                           state->GetBool("updateGate"));

    if (!resourceLaunch.admitted && networkPolicy.networkRestartRequired) {
      // Enforcement arrived after start-up: QUIC is switched off only in a
      // new process.
      restartHost = true;
      quit = true;
    } else if (!resourceLaunch.admitted && networkPolicy.contextsApplied.load() && webContextReady && launchReply &&
               launchReply->GetType("ready") == VTYPE_BOOL && launchReply->GetBool("ready")) {
      launch = resourceLaunch.Admit(true);
      if (launch) {
        generation = resourceLaunch.admittedGeneration;
        origin = resourceLaunch.admittedOrigin;
      }
    }

    const double stateActivation = number(state, "activation");
    if (stateActivation > activation) {
      activation = stateActivation;
      // Another client is installed: hand over to it rather than restart.
      if (!state->GetString("clientPath").empty() && state->GetString("client").ToString() != kClientVersion) {
        restartHost = false;
        quit = true;
      }
    }
  }

  receiveUpdates(state);

  if (launch && updateWindow)
    ShowWindow(updateWindow, SW_HIDE);

  CefRefPtr<CefListValue> commands = response->GetList("commands");
  const size_t count = commands ? commands->GetSize() : 0;
  for (size_t i = 0; i < count; ++i) {
    // An element that is not an object carries no command.
    CefRefPtr<CefDictionaryValue> command = commands->GetDictionary(i);
    if (!command)
      continue;
    after = std::max(after, number(command, "id"));
    if (command->GetString("type").ToString() == "open")
      urls.push_back(command->GetString("url").ToString());
  }
}
