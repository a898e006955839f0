// A browser client for the browser-model tests: records every callback as
// one line ("AfterCreated 3", "BeforeBrowse main data:... redirect=0") and
// answers as the test sets it up.
#ifndef TESTS_CEF_BROWSER_RECORDING_CLIENT_H_
#define TESTS_CEF_BROWSER_RECORDING_CLIENT_H_
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "include/cef_client.h"

class RecordingClient : public CefClient,
                        public CefDisplayHandler,
                        public CefLifeSpanHandler,
                        public CefLoadHandler,
                        public CefRequestHandler,
                        public CefJSDialogHandler,
                        public CefContextMenuHandler {
 public:
  CefRefPtr<CefContextMenuHandler> GetContextMenuHandler() override { return this; }
  CefRefPtr<CefDisplayHandler> GetDisplayHandler() override { return this; }
  CefRefPtr<CefJSDialogHandler> GetJSDialogHandler() override { return this; }
  CefRefPtr<CefLifeSpanHandler> GetLifeSpanHandler() override { return this; }
  CefRefPtr<CefLoadHandler> GetLoadHandler() override { return this; }
  CefRefPtr<CefRequestHandler> GetRequestHandler() override { return this; }

  void OnTitleChange(CefRefPtr<CefBrowser> browser, const CefString& title) override {
    Record("TitleChange " + title.ToString());
  }

  bool OnBeforePopup(CefRefPtr<CefBrowser> browser,
                     CefRefPtr<CefFrame> frame,
                     int popup_id,
                     const CefString& target_url,
                     const CefString& target_frame_name,
                     WindowOpenDisposition target_disposition,
                     bool user_gesture,
                     const CefPopupFeatures& popupFeatures,
                     CefWindowInfo& windowInfo,
                     CefRefPtr<CefClient>& client,
                     CefBrowserSettings& settings,
                     CefRefPtr<CefDictionaryValue>& extra_info,
                     bool* no_javascript_access) override {
    Record("BeforePopup " + std::to_string(popup_id) + " " + target_url.ToString());
    last_popup_style = windowInfo.runtime_style;
    return cancel_popups;
  }

  void OnAfterCreated(CefRefPtr<CefBrowser> browser) override {
    browsers.push_back(browser);
    Record("AfterCreated " + std::to_string(browser->GetIdentifier()));
  }

  bool DoClose(CefRefPtr<CefBrowser> browser) override {
    Record("DoClose " + std::to_string(browser->GetIdentifier()));
    return false;
  }

  void OnBeforeClose(CefRefPtr<CefBrowser> browser) override {
    Record("BeforeClose " + std::to_string(browser->GetIdentifier()));
    for (auto it = browsers.begin(); it != browsers.end(); ++it) {
      if ((*it)->IsSame(browser)) {
        browsers.erase(it);
        break;
      }
    }
    ++closed;
  }

  void OnLoadingStateChange(CefRefPtr<CefBrowser> browser, bool isLoading, bool canGoBack, bool canGoForward) override {
    Record(isLoading ? "Loading" : "Loaded");
  }

  void OnLoadStart(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, TransitionType transition_type) override {
    Record(std::string("LoadStart ") + (frame->IsMain() ? "main " : "sub ") + frame->GetURL().ToString());
  }

  void OnLoadEnd(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, int httpStatusCode) override {
    Record(std::string("LoadEnd ") + (frame->IsMain() ? "main " : "sub ") + std::to_string(httpStatusCode));
  }

  void OnLoadError(CefRefPtr<CefBrowser> browser,
                   CefRefPtr<CefFrame> frame,
                   ErrorCode errorCode,
                   const CefString& errorText,
                   const CefString& failedUrl) override {
    Record("LoadError " + std::to_string(errorCode) + " " + errorText.ToString() + " " + failedUrl.ToString());
    if (on_load_error)
      on_load_error(frame, errorCode, errorText.ToString(), failedUrl.ToString());
  }

  bool OnBeforeBrowse(CefRefPtr<CefBrowser> browser,
                      CefRefPtr<CefFrame> frame,
                      CefRefPtr<CefRequest> request,
                      bool user_gesture,
                      bool is_redirect) override {
    std::string url = request->GetURL().ToString();
    Record(std::string("BeforeBrowse ") + (frame->IsMain() ? "main " : "sub ") + url +
           " redirect=" + (is_redirect ? "1" : "0"));
    return cancel_navigation && cancel_navigation(url, frame->IsMain(), is_redirect);
  }

  bool OnBeforeUnloadDialog(CefRefPtr<CefBrowser> browser,
                            const CefString& message_text,
                            bool is_reload,
                            CefRefPtr<CefJSDialogCallback> callback) override {
    Record("BeforeUnloadDialog " + message_text.ToString());
    if (!own_unload_dialog)
      return false;
    pending_unload = callback;
    return true;
  }

  void OnBeforeContextMenu(CefRefPtr<CefBrowser> browser,
                           CefRefPtr<CefFrame> frame,
                           CefRefPtr<CefContextMenuParams> params,
                           CefRefPtr<CefMenuModel> model) override {
    Record("BeforeContextMenu " + std::to_string(model->GetCount()));
    if (clear_menu)
      model->Clear();
  }

  void Record(const std::string& event) { events.push_back(event); }

  // Events recorded so far that start with |prefix|.
  std::vector<std::string> Matching(const std::string& prefix) const {
    std::vector<std::string> out;
    for (auto& e : events) {
      if (e.rfind(prefix, 0) == 0)
        out.push_back(e);
    }
    return out;
  }

  std::vector<std::string> events;
  std::vector<CefRefPtr<CefBrowser>> browsers;
  int closed = 0;
  bool cancel_popups = false;
  bool clear_menu = false;
  bool own_unload_dialog = false;
  cef_runtime_style_t last_popup_style = CEF_RUNTIME_STYLE_DEFAULT;
  CefRefPtr<CefJSDialogCallback> pending_unload;
  std::function<bool(const std::string& url, bool main, bool redirect)> cancel_navigation;
  std::function<void(CefRefPtr<CefFrame>, int, const std::string&, const std::string&)> on_load_error;

 private:
  IMPLEMENT_REFCOUNTING(RecordingClient);
};

#endif  // TESTS_CEF_BROWSER_RECORDING_CLIENT_H_
