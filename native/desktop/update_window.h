// The update window's internals, shared by its window code and the update
// flow behind its buttons. UI thread.
#pragma once

#include <windows.h>

#include <string>

namespace kesta::desktop {

// The DPI of a window (GetDpiForWindow). Tests replace it to lay the window
// out at other densities than the machine's.
extern UINT(WINAPI* windowDpi)(HWND window);

// Creates the controls' font for the window's DPI; false leaves the old one.
bool updateDialogFont(HWND window);
// Places the three controls for the window's client size and DPI.
void layoutUpdates(HWND window);
LRESULT CALLBACK UpdateWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Sets the text of the text box or a button unless it already shows it.
void showText(HWND control, const std::wstring& text);
// Whether the launch has been admitted (takes browserMutex).
bool launchAdmitted();
// Accept (false) or defer (true) the pending update, after confirmation.
void submitUpdate(bool defer);
// The outcome of an accept or defer request, back on the UI thread.
void updateSubmitted(bool ok, bool defer, bool clientUpdate);

}  // namespace kesta::desktop
