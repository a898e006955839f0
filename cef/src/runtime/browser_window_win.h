// The Win32 windows behind browsers: the runtime's own top-level window for
// native browsers, the browser host's child window, and a hidden parking
// window that holds the host windows of popup views not yet placed.
#ifndef CEF_SRC_RUNTIME_BROWSER_WINDOW_WIN_H_
#define CEF_SRC_RUNTIME_BROWSER_WINDOW_WIN_H_
#pragma once

#include <windows.h>

#include <string>

namespace cef_internal {

class BrowserHostImpl;

// Window class names (visible to tests through FindWindow/GetClassName).
extern const wchar_t kBrowserFrameClass[];
extern const wchar_t kBrowserHostClass[];

// UI thread. A top-level window for |browser| with the given styles and
// bounds (CW_USEDEFAULT allowed). WM_CLOSE on it asks TryCloseBrowser().
HWND CreateBrowserFrameWindow(BrowserHostImpl* browser,
                              DWORD ex_style,
                              DWORD style,
                              const std::wstring& name,
                              int x,
                              int y,
                              int width,
                              int height,
                              HWND owner,
                              HMENU menu);

// UI thread. The browser's own child window inside |parent|, filling
// |bounds|. Its destruction ends the browser's life.
HWND CreateBrowserHostWindow(BrowserHostImpl* browser,
                             HWND parent,
                             DWORD style,
                             DWORD ex_style,
                             const std::wstring& name,
                             const RECT& bounds);

// Breaks the window's link to its browser (the browser is going away).
void DetachBrowserWindow(HWND window);

// UI thread. Hidden top-level window holding unplaced host windows.
HWND ParkingWindow();
void DestroyParkingWindow();

}  // namespace cef_internal

#endif  // CEF_SRC_RUNTIME_BROWSER_WINDOW_WIN_H_
