// Windows members of the browser client.
#include <windows.h>

#include "include/base/cef_logging.h"
#include "shell/simple_handler.h"

void SimpleHandler::PlatformTitleChange(CefRefPtr<CefBrowser> browser, const CefString& title) {
  // The browser host's own window, not its root: alloy native windows have
  // no frame of ours around them.
  HWND hwnd = browser->GetHost()->GetWindowHandle();
  if (hwnd)
    SetWindowTextW(hwnd, std::wstring(title).c_str());
}

void SimpleHandler::PlatformShowWindow(CefRefPtr<CefBrowser> browser) {
  // Native alloy windows are not brought forward on this platform. Spelled
  // out rather than NOTIMPLEMENTED(): the compiler would name the parameter
  // type scoped_refptr.
  LOG(ERROR) << "Not implemented reached in void SimpleHandler::PlatformShowWindow(CefRefPtr<CefBrowser>)";
}
