#ifndef CEF_INCLUDE_VIEWS_CEF_VIEW_H_
#define CEF_INCLUDE_VIEWS_CEF_VIEW_H_
#pragma once

#include "include/cef_base.h"
#include "include/views/cef_view_delegate.h"

class CefBrowserView;
class CefButton;
class CefPanel;
class CefScrollView;
class CefTextfield;
class CefWindow;

// The base of every Views element. All methods run on the UI thread.
// Note: not a virtual base, unlike most CEF classes.
class CefView : public CefBaseRefCounted {
 public:
  virtual CefRefPtr<CefBrowserView> AsBrowserView() = 0;
  virtual CefRefPtr<CefButton> AsButton() = 0;
  virtual CefRefPtr<CefPanel> AsPanel() = 0;
  virtual CefRefPtr<CefScrollView> AsScrollView() = 0;
  virtual CefRefPtr<CefTextfield> AsTextfield() = 0;

  virtual CefString GetTypeString() = 0;
  virtual CefString ToString(bool include_children) = 0;

  virtual bool IsValid() = 0;
  // True when the view has a parent view.
  virtual bool IsAttached() = 0;
  virtual bool IsSame(CefRefPtr<CefView> that) = 0;
  virtual CefRefPtr<CefViewDelegate> GetDelegate() = 0;
  // The window holding this view, or null.
  virtual CefRefPtr<CefWindow> GetWindow() = 0;

  virtual int GetID() = 0;
  virtual void SetID(int id) = 0;
  virtual int GetGroupID() = 0;
  virtual void SetGroupID(int group_id) = 0;
  virtual CefRefPtr<CefView> GetParentView() = 0;
  virtual CefRefPtr<CefView> GetViewForID(int id) = 0;

  // Bounds relative to the parent view.
  virtual void SetBounds(const CefRect& bounds) = 0;
  virtual CefRect GetBounds() = 0;
  virtual CefRect GetBoundsInScreen() = 0;
  virtual void SetSize(const CefSize& size) = 0;
  virtual CefSize GetSize() = 0;
  virtual void SetPosition(const CefPoint& position) = 0;
  virtual CefPoint GetPosition() = 0;
  virtual void SetInsets(const CefInsets& insets) = 0;
  virtual CefInsets GetInsets() = 0;

  virtual CefSize GetPreferredSize() = 0;
  virtual void SizeToPreferredSize() = 0;
  virtual CefSize GetMinimumSize() = 0;
  virtual CefSize GetMaximumSize() = 0;
  virtual int GetHeightForWidth(int width) = 0;
  virtual void InvalidateLayout() = 0;

  virtual void SetVisible(bool visible) = 0;
  virtual bool IsVisible() = 0;
  // Visible and every ancestor visible too.
  virtual bool IsDrawn() = 0;

  virtual void SetEnabled(bool enabled) = 0;
  virtual bool IsEnabled() = 0;
  virtual void SetFocusable(bool focusable) = 0;
  virtual bool IsFocusable() = 0;
  virtual bool IsAccessibilityFocusable() = 0;
  virtual bool HasFocus() = 0;
  virtual void RequestFocus() = 0;

  virtual void SetBackgroundColor(cef_color_t color) = 0;
  virtual cef_color_t GetBackgroundColor() = 0;
  virtual cef_color_t GetThemeColor(int color_id) = 0;

  virtual bool ConvertPointToScreen(CefPoint& point) = 0;
  virtual bool ConvertPointFromScreen(CefPoint& point) = 0;
  virtual bool ConvertPointToWindow(CefPoint& point) = 0;
  virtual bool ConvertPointFromWindow(CefPoint& point) = 0;
  virtual bool ConvertPointToView(CefRefPtr<CefView> view, CefPoint& point) = 0;
  virtual bool ConvertPointFromView(CefRefPtr<CefView> view, CefPoint& point) = 0;
};

#endif  // CEF_INCLUDE_VIEWS_CEF_VIEW_H_
