// Test driver: plays the page and the user for browsers of the running
// runtime. UI thread only (the test's main thread after ScopedRuntime).
// Relaunches are delivered with testing/relaunch.h; waiting with
// RunUntil/RunPending from testing/runtime.h or WaitForUIIdle below.
#ifndef CEF_TESTING_DRIVER_H_
#define CEF_TESTING_DRIVER_H_
#pragma once

#include <windows.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "include/cef_browser.h"
#include "include/cef_request_context.h"
#include "include/cef_scheme.h"

namespace cef_testing {

// --- the page ---

// A link click in the main frame (user gesture) or a script navigation.
// The navigation starts at once (OnBeforeBrowse runs inside the call);
// loading completes from later tasks.
void NavigateMainFrame(CefRefPtr<CefBrowser> browser, const std::string& url, bool user_gesture = true);

// The page makes an iframe named |name| and navigates it to |url| (no
// navigation when empty). Returns the new frame.
CefRefPtr<CefFrame> CreateSubFrame(CefRefPtr<CefBrowser> browser, const std::string& name, const std::string& url);

// Navigates any frame of a browser, as a link inside it would.
void NavigateFrame(CefRefPtr<CefFrame> frame, const std::string& url, bool user_gesture = true);

struct ResourceResult {
  bool completed = false;  // false: timed out
  cef_errorcode_t error = ERR_NONE;
  int status = 0;
  std::string status_text;
  std::string mime_type;
  std::multimap<std::string, std::string> headers;
  std::string body;
};

// The page in |frame| loads a sub-resource (fetch/XHR/img) through the
// browser's network road; the call runs the UI loop until it completes.
// Like every URL a page hands over, |url| is taken relative to the frame's
// document and canonicalised.
ResourceResult LoadResource(CefRefPtr<CefFrame> frame,
                            const std::string& method,
                            const std::string& url,
                            const std::multimap<std::string, std::string>& headers = {},
                            const std::string& body = std::string(),
                            int timeout_ms = 10000);

struct PopupResult {
  int popup_id = 0;
  bool cancelled = false;         // OnBeforePopup cancelled it
  CefRefPtr<CefBrowser> browser;  // the popup browser, when one was made
};

// The page in |frame| opens a popup (window.open / target=_blank).
PopupResult OpenPopup(CefRefPtr<CefFrame> frame,
                      const std::string& target_url,
                      cef_window_open_disposition_t disposition = CEF_WOD_NEW_FOREGROUND_TAB,
                      bool user_gesture = true,
                      const std::string& target_frame_name = std::string());

// Gives the page a beforeunload handler (or removes it) and sets what the
// runtime's default prompt answers when the client does not take it over.
void SetBeforeUnload(CefRefPtr<CefBrowser> browser,
                     bool has_handler,
                     const std::string& message = "Leave site?",
                     bool default_prompt_leaves = true);

// --- the user ---

struct ContextMenuResult {
  bool shown = false;
  std::vector<int> command_ids;  // -1 for separators
};

// A right click in |frame| (the main frame when null).
ContextMenuResult RightClick(CefRefPtr<CefBrowser> browser,
                             CefRefPtr<CefFrame> frame = nullptr,
                             int x = 10,
                             int y = 10);

// Clicks the close box of the top-level window holding |browser| (or the
// given top-level window): WM_SYSCOMMAND/SC_CLOSE, sent, not posted.
void PressCloseBox(CefRefPtr<CefBrowser> browser);
void PressCloseBox(HWND top_level);

// The top-level window holding |browser| (GetAncestor GA_ROOT of its host
// window), or null.
HWND TopLevelWindow(CefRefPtr<CefBrowser> browser);

// Runs UI work until nothing is due (delayed tasks not yet due excluded).
bool WaitForUIIdle(int timeout_ms = 5000);

// --- request context faults ---

// From now on every RegisterSchemeHandlerFactory() call fails. Any thread,
// also before CefInitialize().
void RefuseSchemeHandlerFactories();

// --- census ---

std::vector<CefRefPtr<CefBrowser>> OpenBrowsers();
int OpenBrowserCount();
int OpenViewsWindowCount();
// Browser objects not yet deleted (leak check once clients let go).
int LiveBrowserObjectCount();

// --- a page server inside the runtime ---

// Serves pages for one scheme and domain on a request context through the
// runtime's scheme-handler road, so navigations and sub-resources need no
// sockets. Remembers every request it saw.
class PageServer {
 public:
  struct Request {
    std::string method;
    std::string url;
    std::multimap<std::string, std::string> headers;
    std::string body;
  };

  // Registers for |scheme|://|domain| on |context| (null: the global one).
  PageServer(CefRefPtr<CefRequestContext> context, const std::string& scheme, const std::string& domain);
  ~PageServer();
  PageServer(const PageServer&) = delete;
  PageServer& operator=(const PageServer&) = delete;

  // Any thread. A URL without an answer gets 404.
  void Serve(const std::string& url,
             const std::string& body,
             const std::string& mime_type = "text/html",
             int status = 200);
  // Answers |url| with a redirect to |location|.
  void Redirect(const std::string& url, const std::string& location, int status = 302);

  std::vector<Request> requests();

  struct Answer {
    int status = 404;
    std::string mime_type = "text/html";
    std::string body;
    std::string location;
  };
  Answer Find(const std::string& url);
  void Record(Request request);

 private:
  CefRefPtr<CefRequestContext> context_;
  std::string scheme_;
  std::string domain_;
  std::mutex mutex_;  // guards answers_ and requests_ (IO and UI threads)
  std::map<std::string, Answer> answers_;
  std::vector<Request> requests_;
};

}  // namespace cef_testing

#endif  // CEF_TESTING_DRIVER_H_
