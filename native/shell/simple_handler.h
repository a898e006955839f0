// The client's one browser client: every browser it opens (the game window,
// web windows, popups) uses this object as its client and handlers. It keeps
// the browser list and drives the one-second heartbeat with the local
// service on the UI thread.
#pragma once

#include <list>
#include <string>

#include "include/base/cef_callback.h"
#include "include/cef_client.h"

class SimpleHandler : public CefClient,
                      public CefDisplayHandler,
                      public CefLifeSpanHandler,
                      public CefLoadHandler,
                      public CefRequestHandler,
                      public CefResourceRequestHandler,
                      public CefJSDialogHandler,
                      public CefContextMenuHandler {
 public:
  explicit SimpleHandler(bool is_alloy_style);
  ~SimpleHandler() override;

  // The live handler, or null. No reference is taken; any thread.
  static SimpleHandler* GetInstance();

  // CefClient.
  CefRefPtr<CefContextMenuHandler> GetContextMenuHandler() override { return this; }
  CefRefPtr<CefDisplayHandler> GetDisplayHandler() override { return this; }
  CefRefPtr<CefJSDialogHandler> GetJSDialogHandler() override { return this; }
  CefRefPtr<CefLifeSpanHandler> GetLifeSpanHandler() override { return this; }
  CefRefPtr<CefLoadHandler> GetLoadHandler() override { return this; }
  CefRefPtr<CefRequestHandler> GetRequestHandler() override { return this; }

  // CefContextMenuHandler (UI thread).
  void OnBeforeContextMenu(CefRefPtr<CefBrowser> browser,
                           CefRefPtr<CefFrame> frame,
                           CefRefPtr<CefContextMenuParams> params,
                           CefRefPtr<CefMenuModel> model) override;

  // CefJSDialogHandler (UI thread).
  bool OnBeforeUnloadDialog(CefRefPtr<CefBrowser> browser,
                            const CefString& message_text,
                            bool is_reload,
                            CefRefPtr<CefJSDialogCallback> callback) override;
  void OnResetDialogState(CefRefPtr<CefBrowser> browser) override;

  // CefRequestHandler.
  bool GetAuthCredentials(CefRefPtr<CefBrowser> browser,
                          const CefString& origin_url,
                          bool isProxy,
                          const CefString& host,
                          int port,
                          const CefString& realm,
                          const CefString& scheme,
                          CefRefPtr<CefAuthCallback> callback) override;  // IO thread
  CefRefPtr<CefResourceRequestHandler> GetResourceRequestHandler(CefRefPtr<CefBrowser> browser,
                                                                 CefRefPtr<CefFrame> frame,
                                                                 CefRefPtr<CefRequest> request,
                                                                 bool is_navigation,
                                                                 bool is_download,
                                                                 const CefString& request_initiator,
                                                                 bool& disable_default_handling) override;  // IO
  bool OnBeforeBrowse(CefRefPtr<CefBrowser> browser,
                      CefRefPtr<CefFrame> frame,
                      CefRefPtr<CefRequest> request,
                      bool user_gesture,
                      bool is_redirect) override;  // UI thread

  // CefResourceRequestHandler (IO thread).
  cef_return_value_t OnBeforeResourceLoad(CefRefPtr<CefBrowser> browser,
                                          CefRefPtr<CefFrame> frame,
                                          CefRefPtr<CefRequest> request,
                                          CefRefPtr<CefCallback> callback) override;

  // CefDisplayHandler (UI thread).
  void OnTitleChange(CefRefPtr<CefBrowser> browser, const CefString& title) override;

  // CefLifeSpanHandler (UI thread).
  bool OnBeforePopup(CefRefPtr<CefBrowser> browser,
                     CefRefPtr<CefFrame> frame,
                     int popup_id,
                     const CefString& target_url,
                     const CefString& target_frame_name,
                     CefLifeSpanHandler::WindowOpenDisposition target_disposition,
                     bool user_gesture,
                     const CefPopupFeatures& popupFeatures,
                     CefWindowInfo& windowInfo,
                     CefRefPtr<CefClient>& client,
                     CefBrowserSettings& settings,
                     CefRefPtr<CefDictionaryValue>& extra_info,
                     bool* no_javascript_access) override;
  void OnAfterCreated(CefRefPtr<CefBrowser> browser) override;
  bool DoClose(CefRefPtr<CefBrowser> browser) override;
  void OnBeforeClose(CefRefPtr<CefBrowser> browser) override;

  // CefLoadHandler (UI thread).
  void OnLoadError(CefRefPtr<CefBrowser> browser,
                   CefRefPtr<CefFrame> frame,
                   ErrorCode errorCode,
                   const CefString& errorText,
                   const CefString& failedUrl) override;

  // Brings the main window forward. Any thread.
  void ShowMainWindow();

  // Closes every browser, or ends the client when none is open. Any thread.
  void CloseAllBrowsers(bool force_close);

  bool IsClosing() const { return is_closing_; }

  // Stores the game-window closure and sends the first heartbeat. UI thread.
  void StartDesktop(base::OnceCallback<void()> ready);

  // One heartbeat. UI thread.
  void DesktopPoll();

  // Applies one heartbeat reply (empty after a failed exchange). UI thread.
  void DesktopApply(const std::string& reply);

  // Opens `url` in a new web window. UI thread.
  void OpenWindow(const std::string& url);

 private:
  // Platform-specific members (simple_handler_win.cc).
  void PlatformTitleChange(CefRefPtr<CefBrowser> browser, const CefString& title);
  void PlatformShowWindow(CefRefPtr<CefBrowser> browser);

  const bool is_alloy_style_;

  // Every open browser, in the order CEF reported them created.
  std::list<CefRefPtr<CefBrowser>> browser_list_;

  // Set when the last browser goes or a close finds none; never cleared.
  bool is_closing_ = false;

  // CloseAllBrowsers has closed the open browsers; never cleared.
  bool closing_all_ = false;

  bool poll_started_ = false;

  // Creates the game window once the launch is admitted; runs at most once.
  base::OnceCallback<void()> ready_callback_;

  IMPLEMENT_REFCOUNTING(SimpleHandler);
};
