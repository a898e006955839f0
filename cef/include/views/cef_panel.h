#ifndef CEF_INCLUDE_VIEWS_CEF_PANEL_H_
#define CEF_INCLUDE_VIEWS_CEF_PANEL_H_
#pragma once

#include "include/views/cef_panel_delegate.h"
#include "include/views/cef_view.h"

class CefWindow;

// A view holding child views. Child views fill the panel unless bounds are
// set explicitly. UI thread.
class CefPanel : public CefView {
 public:
  static CefRefPtr<CefPanel> CreatePanel(CefRefPtr<CefPanelDelegate> delegate);

  virtual CefRefPtr<CefWindow> AsWindow() = 0;

  // The panel takes a reference to |view|; a view has one parent at most.
  virtual void AddChildView(CefRefPtr<CefView> view) = 0;
  virtual void AddChildViewAt(CefRefPtr<CefView> view, int index) = 0;
  virtual void ReorderChildView(CefRefPtr<CefView> view, int index) = 0;
  virtual void RemoveChildView(CefRefPtr<CefView> view) = 0;
  virtual void RemoveAllChildViews() = 0;
  virtual size_t GetChildViewCount() = 0;
  virtual CefRefPtr<CefView> GetChildViewAt(int index) = 0;

  virtual void Layout() = 0;
};

#endif  // CEF_INCLUDE_VIEWS_CEF_PANEL_H_
