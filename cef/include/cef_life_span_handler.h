#ifndef CEF_INCLUDE_CEF_LIFE_SPAN_HANDLER_H_
#define CEF_INCLUDE_CEF_LIFE_SPAN_HANDLER_H_
#pragma once

#include "include/cef_base.h"
#include "include/cef_browser.h"

class CefClient;

// Browser life span. Called on the UI thread unless noted.
//
// Closing a browser whose top-level window belongs to the application:
//  1. The window's close handler calls CefBrowserHost::TryCloseBrowser(),
//     which starts CloseBrowser(false) and returns false.
//  2. The page's beforeunload handler runs (OnBeforeUnloadDialog may take
//     over the prompt); if the user cancels, nothing more happens.
//  3. DoClose() (Alloy style). Returning false sends the close on to the
//     top-level window, whose close handler now gets true from
//     TryCloseBrowser() and lets the window go.
//  4. The window is destroyed and OnBeforeClose() is the last call.
class CefLifeSpanHandler : public virtual CefBaseRefCounted {
 public:
  typedef cef_window_open_disposition_t WindowOpenDisposition;

  // Before a popup browser is created. |windowInfo|, |client|, |settings|,
  // |extra_info| and |no_javascript_access| start with the values the popup
  // would get and may be changed. Return true to cancel the popup.
  virtual bool OnBeforePopup(CefRefPtr<CefBrowser> browser,
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
                             bool* no_javascript_access) {
    return false;
  }

  // A popup allowed by OnBeforePopup() that was not created after all.
  virtual void OnBeforePopupAborted(CefRefPtr<CefBrowser> browser, int popup_id) {}

  virtual void OnBeforeDevToolsPopup(CefRefPtr<CefBrowser> browser,
                                     CefWindowInfo& windowInfo,
                                     CefRefPtr<CefClient>& client,
                                     CefBrowserSettings& settings,
                                     CefRefPtr<CefDictionaryValue>& extra_info,
                                     bool* use_default_window) {}

  // First notification about a new browser.
  virtual void OnAfterCreated(CefRefPtr<CefBrowser> browser) {}

  // An Alloy style browser is ready to close (unload handlers done or
  // skipped). Return false to let the close continue to the top-level
  // window, true to take care of it yourself.
  virtual bool DoClose(CefRefPtr<CefBrowser> browser) { return false; }

  // Last notification before the browser is destroyed; drop all references.
  virtual void OnBeforeClose(CefRefPtr<CefBrowser> browser) {}
};

#endif  // CEF_INCLUDE_CEF_LIFE_SPAN_HANDLER_H_
