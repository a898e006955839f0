// The logic behind the update window: the text and buttons for each state
// the service reports, and the accept and defer requests.
#include <windows.h>

#include <cstdio>
#include <mutex>
#include <thread>

#include "desktop/desktop.h"
#include "desktop/desktop_flow.h"
#include "desktop/desktop_internal.h"
#include "desktop/desktop_state.h"
#include "desktop/update_window.h"
#include "include/base/cef_callback.h"
#include "include/cef_values.h"
#include "include/wrapper/cef_closure_task.h"
#include "shell/simple_handler.h"

namespace kesta::desktop {

namespace {

constexpr const char* kPools[][2] = {
    {"engine", "游戏引擎"}, {"maps", "地图"}, {"art", "美术素材"}, {"client", "客户端程序"}};

const char* poolStatusLabel(const std::string& status) {
  if (status == "queued")
    return "等待下载";
  if (status == "downloading")
    return "正在下载";
  if (status == "verified")
    return "已校验";
  if (status == "failed")
    return "下载或校验失败";
  return nullptr;
}

// Bytes as mebibytes with one decimal: 1572864 gives "1.5".
std::string megabytes(double bytes) {
  char text[64];
  std::snprintf(text, sizeof text, "%.1f", bytes / 1048576.0);
  return text;
}

// Texts the service writes (notes, errors, statuses) are cut to this many
// characters: the text box lays out a long line in time that grows with the
// square of its length.
constexpr size_t kFreeTextLimit = 2000;

std::string freeText(const CefString& text) {
  return clip(text.ToString(), kFreeTextLimit);
}

bool confirmReentry() {
  return MessageBoxW(updateWindow,
                     wide("请先结束正在进行的对局。确认后将关闭当前客户端窗口并重新启动，使用最新准备好的资源。").c_str(),
                     wide("现在重新进入游戏？").c_str(), MB_OKCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2) == IDOK;
}

void updateRequest(bool defer, std::string body, bool clientUpdate) {
  const bool ok = !HTTP(defer ? kUpdatesDeferPath : kUpdatesAcceptPath, body).empty();
  if (running.load())
    CefPostTask(TID_UI, base::BindOnce(&updateSubmitted, ok, defer, clientUpdate));
}

// The text the update window shows for a service state.
std::string updateDetails(CefRefPtr<CefDictionaryValue> state) {
  CefRefPtr<CefDictionaryValue> pending = state->GetDictionary("pending");
  CefRefPtr<CefDictionaryValue> refresh = state->GetDictionary("refresh");

  std::string text = pending ? "新内容已下载并校验完成，可在结束对局后更新。" : "游戏资源已保存在本机。";
  const std::string refreshStatus = refresh ? refresh->GetString("status").ToString() : std::string();
  if (refreshStatus == "downloading")
    text = "正在后台准备更新，当前游戏可以继续。";
  else if (refreshStatus == "failed")
    text = "更新暂未完成，当前游戏内容仍可使用。";
  if (DesktopNeedsReentry())
    text = "新资源已就绪。当前游戏继续使用原有资源，重新进入后生效。";
  if (!launchAdmitted())
    text = "正在准备进入游戏所需的资源与网络配置，请稍候。关闭此窗口可取消启动。";

  CefRefPtr<CefDictionaryValue> pools = refresh ? refresh->GetDictionary("pools") : nullptr;
  for (const auto& [key, label] : kPools) {
    text += std::string("\r\n\r\n") + label + "：";
    CefRefPtr<CefDictionaryValue> pool = pools ? pools->GetDictionary(key) : nullptr;
    if (!pool) {
      text += "已保存在本机";
      continue;
    }
    const std::string status = pool->GetString("status").ToString();
    const char* statusLabel = poolStatusLabel(status);
    text += statusLabel ? statusLabel : clip(status, kFreeTextLimit);
    text += " · " + megabytes(number(pool, "downloaded")) + " / " + megabytes(number(pool, "total")) + " MB";
    const std::string error = freeText(pool->GetString("error"));
    if (!error.empty())
      text += "\r\n" + error;
  }

  if (pending)
    text += "\r\n\r\n" + freeText(pending->GetString("notes"));

  const std::string refreshError = refresh ? freeText(refresh->GetString("error")) : std::string();
  const std::string stateError = freeText(state->GetString("error"));
  if (!refreshError.empty())
    text += "\r\n\r\n更新暂未完成：" + refreshError;
  else if (!stateError.empty())
    text += "\r\n\r\n更新暂未完成：" + stateError;
  return text;
}

}  // namespace

void receiveUpdates(CefRefPtr<CefDictionaryValue> state) {
  updateState = state->Copy(false);
  if (!updateWindow)
    return;

  CefRefPtr<CefDictionaryValue> pending = state->GetDictionary("pending");
  CefRefPtr<CefDictionaryValue> refresh = state->GetDictionary("refresh");

  showText(detailsWindow, wide(updateDetails(state)));
  EnableWindow(acceptButton, pending || DesktopNeedsReentry());
  EnableWindow(deferButton, pending && !state->GetBool("updateGate"));
  showText(acceptButton, wide(pending ? "更新并重新进入游戏…" : "重新进入游戏…"));

  if (!launchAdmitted() && !IsWindowVisible(updateWindow))
    ShowWindow(updateWindow, SW_SHOWNORMAL);

  // Brought up once per update and once per preparation run, without
  // taking the focus from the game.
  if (pending && !pending->GetBool("deferred")) {
    const double revision = number(pending, "revision");
    if (revision != promptedRevision) {
      promptedRevision = revision;
      ShowWindow(updateWindow, SW_SHOWNOACTIVATE);
    }
  }
  if (refresh) {
    const std::string status = refresh->GetString("status").ToString();
    const double revision = number(refresh, "revision");
    if ((status == "failed" || status == "downloading") && revision != promptedRefreshRevision) {
      promptedRefreshRevision = revision;
      ShowWindow(updateWindow, SW_SHOWNOACTIVATE);
    }
  }
}

void submitUpdate(bool defer) {
  // The state is held while `pending` is used: replies keep arriving during
  // the confirmation's modal loop and replace updateState, and a child
  // dictionary is only valid while its parent lives.
  CefRefPtr<CefDictionaryValue> state = updateState;
  CefRefPtr<CefDictionaryValue> pending = state ? state->GetDictionary("pending") : nullptr;
  if (!pending) {
    if (defer || !DesktopNeedsReentry() || !confirmReentry())
      return;
    // Nothing to accept: re-entering is a restart, with whatever the service
    // reports then.
    if (running.load()) {
      restartHost = true;
      if (SimpleHandler* handler = SimpleHandler::GetInstance())
        handler->CloseAllBrowsers(true);
    }
    return;
  }
  if (!defer && !confirmReentry())
    return;

  std::string body = updateRequestBody(number(pending, "revision"));
  EnableWindow(acceptButton, FALSE);
  EnableWindow(deferButton, FALSE);
  if (updateThread.joinable())
    updateThread.join();
  const bool clientUpdate = !pending->GetString("client").empty();
  try {
    updateThread = std::thread(updateRequest, defer, std::move(body), clientUpdate);
  } catch (const std::system_error& error) {
    // Reported like a failed request: the buttons come back with the next
    // state.
    std::fprintf(stderr, "Cannot start update thread: %s\n", error.what());
    updateSubmitted(false, defer, clientUpdate);
  }
}

void updateSubmitted(bool ok, bool defer, bool clientUpdate) {
  if (!running.load())
    return;
  if (!ok) {
    MessageBoxW(updateWindow, wide("更新操作未完成。请查看最新状态后重试。").c_str(), L"Ostrel", MB_OK | MB_ICONERROR);
    return;
  }
  if (updateWindow)
    ShowWindow(updateWindow, SW_HIDE);
  if (defer)
    return;
  restartHost = !clientUpdate;
  if (SimpleHandler* handler = SimpleHandler::GetInstance())
    handler->CloseAllBrowsers(true);
}

}  // namespace kesta::desktop
