#ifndef CEF_INCLUDE_VIEWS_CEF_PANEL_DELEGATE_H_
#define CEF_INCLUDE_VIEWS_CEF_PANEL_DELEGATE_H_
#pragma once

#include "include/views/cef_view_delegate.h"

class CefPanel;

// Customises a CefPanel. Called on the UI thread.
class CefPanelDelegate : public CefViewDelegate {};

#endif  // CEF_INCLUDE_VIEWS_CEF_PANEL_DELEGATE_H_
