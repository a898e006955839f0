#ifndef CEF_INCLUDE_VIEWS_CEF_VIEW_DELEGATE_H_
#define CEF_INCLUDE_VIEWS_CEF_VIEW_DELEGATE_H_
#pragma once

#include "include/cef_base.h"
#include "include/internal/cef_types_wrappers.h"

class CefView;

// Customises a CefView. Called on the UI thread.
class CefViewDelegate : public virtual CefBaseRefCounted {
 public:
  // An empty size means "use the view's own value".
  virtual CefSize GetPreferredSize(CefRefPtr<CefView> view) { return CefSize(); }
  virtual CefSize GetMinimumSize(CefRefPtr<CefView> view) { return CefSize(); }
  virtual CefSize GetMaximumSize(CefRefPtr<CefView> view) { return CefSize(); }
  virtual int GetHeightForWidth(CefRefPtr<CefView> view, int width) { return 0; }

  virtual void OnParentViewChanged(CefRefPtr<CefView> view, bool added, CefRefPtr<CefView> parent) {}
  virtual void OnChildViewChanged(CefRefPtr<CefView> view, bool added, CefRefPtr<CefView> child) {}
  virtual void OnWindowChanged(CefRefPtr<CefView> view, bool added) {}
  virtual void OnLayoutChanged(CefRefPtr<CefView> view, const CefRect& new_bounds) {}
  virtual void OnFocus(CefRefPtr<CefView> view) {}
  virtual void OnBlur(CefRefPtr<CefView> view) {}
  virtual void OnThemeChanged(CefRefPtr<CefView> view) {}
};

#endif  // CEF_INCLUDE_VIEWS_CEF_VIEW_DELEGATE_H_
