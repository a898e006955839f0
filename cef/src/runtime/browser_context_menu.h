// Context menus: the default menu model CEF offers for a page, and the
// right-click road through CefContextMenuHandler.
#ifndef CEF_SRC_RUNTIME_BROWSER_CONTEXT_MENU_H_
#define CEF_SRC_RUNTIME_BROWSER_CONTEXT_MENU_H_
#pragma once

#include <vector>

#include "include/cef_context_menu_handler.h"

namespace cef_internal {

class BrowserHostImpl;
class FrameImpl;

struct ContextMenuOutcome {
  bool shown = false;              // a menu with at least one item
  std::vector<int> command_ids;    // in menu order; -1 for separators
  bool handled_by_client = false;  // RunContextMenu took it over
};

// UI thread. A right click at (x, y) in |frame|.
ContextMenuOutcome RunContextMenu(CefRefPtr<BrowserHostImpl> browser, CefRefPtr<FrameImpl> frame, int x, int y);

}  // namespace cef_internal

#endif  // CEF_SRC_RUNTIME_BROWSER_CONTEXT_MENU_H_
