// Popups a page opens (window.open, links with a target): CEF's
// OnBeforePopup, then a new browser in a native popup window or, for a
// Views-hosted opener, in a browser view the opener's delegate places.
#ifndef CEF_SRC_RUNTIME_BROWSER_POPUP_H_
#define CEF_SRC_RUNTIME_BROWSER_POPUP_H_
#pragma once

#include <string>

#include "runtime/browser_host_impl.h"

namespace cef_internal {

class FrameImpl;

struct PopupRequest {
  std::string target_url;
  std::string target_frame_name;
  cef_window_open_disposition_t disposition = CEF_WOD_NEW_FOREGROUND_TAB;
  bool user_gesture = true;
  CefPopupFeatures features;
};

struct PopupOutcome {
  int popup_id = 0;
  bool cancelled = false;              // OnBeforePopup returned true
  CefRefPtr<BrowserHostImpl> browser;  // the popup, when one was made
};

// UI thread.
PopupOutcome OpenPopup(CefRefPtr<BrowserHostImpl> opener, CefRefPtr<FrameImpl> frame, const PopupRequest& request);

}  // namespace cef_internal

#endif  // CEF_SRC_RUNTIME_BROWSER_POPUP_H_
