// The Views tree: every CefView implementation is also a ViewNode, which
// knows its parent, its children (panels and windows) and the window the
// tree hangs in. Browser views create their browser when they first join a
// window. UI thread only.
#ifndef CEF_SRC_RUNTIME_VIEWS_VIEW_IMPL_H_
#define CEF_SRC_RUNTIME_VIEWS_VIEW_IMPL_H_
#pragma once

#include <windows.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "include/views/cef_browser_view.h"
#include "include/views/cef_button.h"
#include "include/views/cef_panel.h"
#include "include/views/cef_scroll_view.h"
#include "include/views/cef_textfield.h"
#include "include/views/cef_window.h"

namespace cef_internal {

class BrowserViewImpl;
class WindowImpl;

class ViewNode {
 public:
  virtual ~ViewNode() = default;

  static ViewNode* From(CefRefPtr<CefView> view);

  virtual CefView* cef_view() = 0;
  virtual WindowImpl* AsWindowImpl() { return nullptr; }
  virtual BrowserViewImpl* AsBrowserViewImpl() { return nullptr; }
  virtual std::vector<CefRefPtr<CefView>>* child_views() { return nullptr; }

  ViewNode* parent_node() const { return parent_; }
  void set_parent_node(ViewNode* parent) { parent_ = parent; }

  // The window at the root of this node's tree, or null.
  WindowImpl* RootWindow();

  // This node's tree joined |window| (or left it, null). Browser views
  // create or re-home their browser here.
  virtual void OnWindowChangedInternal(WindowImpl* window);

  // Places this node inside its parent's client area (fill layout).
  virtual void LayoutInternal(const CefRect& bounds);

 protected:
  ViewNode* parent_ = nullptr;             // not owned; the parent owns this node
  WindowImpl* attached_window_ = nullptr;  // as last announced
};

// CefView's methods for every view class.
template <class Interface>
class ViewImpl : public Interface, public ViewNode {
 public:
  explicit ViewImpl(CefRefPtr<CefViewDelegate> delegate) : delegate_(delegate) {}

  CefView* cef_view() override { return this; }

  CefRefPtr<CefBrowserView> AsBrowserView() override { return nullptr; }
  CefRefPtr<CefButton> AsButton() override { return nullptr; }
  CefRefPtr<CefPanel> AsPanel() override { return nullptr; }
  CefRefPtr<CefScrollView> AsScrollView() override { return nullptr; }
  CefRefPtr<CefTextfield> AsTextfield() override { return nullptr; }

  CefString GetTypeString() override { return type_string(); }
  CefString ToString(bool include_children) override {
    std::ostringstream out;
    out << type_string() << "(id=" << id_ << ")";
    if (include_children && child_views()) {
      for (auto& child : *child_views())
        out << " " << child->ToString(true).ToString();
    }
    return out.str();
  }

  bool IsValid() override { return true; }
  bool IsAttached() override { return parent_ != nullptr; }
  bool IsSame(CefRefPtr<CefView> that) override { return that.get() == this; }
  CefRefPtr<CefViewDelegate> GetDelegate() override { return delegate_; }
  CefRefPtr<CefWindow> GetWindow() override;

  int GetID() override { return id_; }
  void SetID(int id) override { id_ = id; }
  int GetGroupID() override { return group_id_; }
  void SetGroupID(int group_id) override {
    if (group_id_ == -1)
      group_id_ = group_id;
  }
  CefRefPtr<CefView> GetParentView() override { return parent_ ? parent_->cef_view() : nullptr; }
  CefRefPtr<CefView> GetViewForID(int id) override {
    if (id_ == id)
      return this;
    if (child_views()) {
      for (auto& child : *child_views()) {
        if (auto found = child->GetViewForID(id))
          return found;
      }
    }
    return nullptr;
  }

  void SetBounds(const CefRect& bounds) override { LayoutInternal(bounds); }
  CefRect GetBounds() override { return bounds_; }
  CefRect GetBoundsInScreen() override {
    CefPoint origin(bounds_.x, bounds_.y);
    ConvertPointToScreen(origin);
    return CefRect(origin.x, origin.y, bounds_.width, bounds_.height);
  }
  void SetSize(const CefSize& size) override { SetBounds(CefRect(bounds_.x, bounds_.y, size.width, size.height)); }
  CefSize GetSize() override { return CefSize(bounds_.width, bounds_.height); }
  void SetPosition(const CefPoint& position) override {
    SetBounds(CefRect(position.x, position.y, bounds_.width, bounds_.height));
  }
  CefPoint GetPosition() override { return CefPoint(bounds_.x, bounds_.y); }
  void SetInsets(const CefInsets& insets) override { insets_ = insets; }
  CefInsets GetInsets() override { return insets_; }

  CefSize GetPreferredSize() override {
    if (delegate_) {
      CefSize size = delegate_->GetPreferredSize(this);
      if (!size.IsEmpty())
        return size;
    }
    return DefaultPreferredSize();
  }
  void SizeToPreferredSize() override { SetSize(GetPreferredSize()); }
  CefSize GetMinimumSize() override { return delegate_ ? delegate_->GetMinimumSize(this) : CefSize(); }
  CefSize GetMaximumSize() override { return delegate_ ? delegate_->GetMaximumSize(this) : CefSize(); }
  int GetHeightForWidth(int width) override {
    int height = delegate_ ? delegate_->GetHeightForWidth(this, width) : 0;
    return height > 0 ? height : GetPreferredSize().height;
  }
  void InvalidateLayout() override {}

  void SetVisible(bool visible) override { visible_ = visible; }
  bool IsVisible() override { return visible_; }
  bool IsDrawn() override {
    if (!visible_)
      return false;
    if (AsWindowImpl())
      return true;
    return parent_ && parent_->cef_view()->IsDrawn();
  }
  void SetEnabled(bool enabled) override { enabled_ = enabled; }
  bool IsEnabled() override { return enabled_; }
  void SetFocusable(bool focusable) override { focusable_ = focusable; }
  bool IsFocusable() override { return focusable_; }
  bool IsAccessibilityFocusable() override { return focusable_; }
  bool HasFocus() override { return false; }
  void RequestFocus() override {}
  void SetBackgroundColor(cef_color_t color) override { background_ = color; }
  cef_color_t GetBackgroundColor() override { return background_; }
  cef_color_t GetThemeColor(int color_id) override { return 0; }

  bool ConvertPointToScreen(CefPoint& point) override {
    CefPoint window_point = point;
    if (!ConvertPointToWindow(window_point))
      return false;
    HWND hwnd = RootHwnd();
    if (!hwnd)
      return false;
    POINT p = {window_point.x, window_point.y};
    ClientToScreen(hwnd, &p);
    point.Set(p.x, p.y);
    return true;
  }
  bool ConvertPointFromScreen(CefPoint& point) override {
    HWND hwnd = RootHwnd();
    if (!hwnd)
      return false;
    POINT p = {point.x, point.y};
    ScreenToClient(hwnd, &p);
    point.Set(p.x, p.y);
    return ConvertPointFromWindow(point);
  }
  bool ConvertPointToWindow(CefPoint& point) override {
    if (!RootWindow())
      return false;
    for (ViewNode* node = this; node && !node->AsWindowImpl(); node = node->parent_node()) {
      CefRect b = node->cef_view()->GetBounds();
      point.Set(point.x + b.x, point.y + b.y);
    }
    return true;
  }
  bool ConvertPointFromWindow(CefPoint& point) override {
    if (!RootWindow())
      return false;
    for (ViewNode* node = this; node && !node->AsWindowImpl(); node = node->parent_node()) {
      CefRect b = node->cef_view()->GetBounds();
      point.Set(point.x - b.x, point.y - b.y);
    }
    return true;
  }
  bool ConvertPointToView(CefRefPtr<CefView> view, CefPoint& point) override {
    return view && ConvertPointToWindow(point) && view->ConvertPointFromWindow(point);
  }
  bool ConvertPointFromView(CefRefPtr<CefView> view, CefPoint& point) override {
    return view && view->ConvertPointToWindow(point) && ConvertPointFromWindow(point);
  }

  void LayoutInternal(const CefRect& bounds) override {
    bounds_ = bounds;
    if (delegate_)
      delegate_->OnLayoutChanged(this, bounds_);
  }

 protected:
  virtual const char* type_string() = 0;
  virtual CefSize DefaultPreferredSize() { return CefSize(); }
  HWND RootHwnd();

  CefRefPtr<CefViewDelegate> delegate_;
  int id_ = 0;
  int group_id_ = -1;
  CefRect bounds_;
  CefInsets insets_;
  bool visible_ = true;
  bool enabled_ = true;
  bool focusable_ = false;
  cef_color_t background_ = 0xFFFFFFFF;
};

// CefPanel's methods for panels and windows. Children fill the panel.
template <class Interface>
class PanelImplT : public ViewImpl<Interface> {
 public:
  explicit PanelImplT(CefRefPtr<CefViewDelegate> delegate) : ViewImpl<Interface>(delegate) {}

  std::vector<CefRefPtr<CefView>>* child_views() override { return &children_; }
  CefRefPtr<CefPanel> AsPanel() override { return this; }
  CefRefPtr<CefWindow> AsWindow() override { return nullptr; }

  void AddChildView(CefRefPtr<CefView> view) override { AddChildViewAt(view, static_cast<int>(children_.size())); }

  void AddChildViewAt(CefRefPtr<CefView> view, int index) override {
    ViewNode* node = ViewNode::From(view);
    if (!node || node->parent_node() || node == this || node->AsWindowImpl())
      return;
    if (!CanHost(view))
      return;
    index = std::clamp(index, 0, static_cast<int>(children_.size()));
    children_.insert(children_.begin() + index, view);
    node->set_parent_node(this);
    if (this->delegate_)
      this->delegate_->OnChildViewChanged(this, true, view);
    if (auto delegate = view->GetDelegate())
      delegate->OnParentViewChanged(view, true, this);
    node->OnWindowChangedInternal(this->RootWindow());
    Layout();
  }

  void ReorderChildView(CefRefPtr<CefView> view, int index) override {
    auto it = Find(view);
    if (it == children_.end())
      return;
    CefRefPtr<CefView> keep = *it;
    children_.erase(it);
    if (index < 0 || index > static_cast<int>(children_.size())) {
      index = static_cast<int>(children_.size());
    }
    children_.insert(children_.begin() + index, keep);
  }

  void RemoveChildView(CefRefPtr<CefView> view) override {
    auto it = Find(view);
    if (it == children_.end())
      return;
    CefRefPtr<CefView> keep = *it;
    children_.erase(it);
    Detach(keep);
  }

  void RemoveAllChildViews() override {
    auto children = std::move(children_);
    children_.clear();
    for (auto& child : children)
      Detach(child);
  }

  size_t GetChildViewCount() override { return children_.size(); }
  CefRefPtr<CefView> GetChildViewAt(int index) override {
    if (index < 0 || index >= static_cast<int>(children_.size()))
      return nullptr;
    return children_[index];
  }

  void Layout() override {
    CefRect area(0, 0, this->bounds_.width, this->bounds_.height);
    for (auto& child : children_)
      ViewNode::From(child)->LayoutInternal(area);
  }

  void LayoutInternal(const CefRect& bounds) override {
    ViewImpl<Interface>::LayoutInternal(bounds);
    Layout();
  }

  void OnWindowChangedInternal(WindowImpl* window) override {
    ViewNode::OnWindowChangedInternal(window);
    for (auto& child : children_)
      ViewNode::From(child)->OnWindowChangedInternal(window);
  }

  // Whether this panel's window may hold |view| (runtime style rules).
  virtual bool CanHost(CefRefPtr<CefView> view);

 protected:
  CefSize DefaultPreferredSize() override {
    CefSize size;
    for (auto& child : children_) {
      CefSize s = child->GetPreferredSize();
      size.Set(std::max(size.width, s.width), std::max(size.height, s.height));
    }
    return size;
  }

  std::vector<CefRefPtr<CefView>> children_;

 private:
  typename std::vector<CefRefPtr<CefView>>::iterator Find(CefRefPtr<CefView> view) {
    return std::find_if(children_.begin(), children_.end(),
                        [&](const CefRefPtr<CefView>& v) { return v.get() == view.get(); });
  }

  void Detach(CefRefPtr<CefView> view) {
    ViewNode* node = ViewNode::From(view);
    node->OnWindowChangedInternal(nullptr);
    node->set_parent_node(nullptr);
    if (this->delegate_)
      this->delegate_->OnChildViewChanged(this, false, view);
    if (auto delegate = view->GetDelegate())
      delegate->OnParentViewChanged(view, false, this);
  }
};

// A plain panel.
class PanelImpl : public PanelImplT<CefPanel> {
 public:
  explicit PanelImpl(CefRefPtr<CefPanelDelegate> delegate) : PanelImplT<CefPanel>(delegate) {}

 protected:
  const char* type_string() override { return "Panel"; }

 private:
  IMPLEMENT_REFCOUNTING(PanelImpl);
};

// Members that need WindowImpl are defined with these instantiations.
extern template class ViewImpl<CefBrowserView>;
extern template class ViewImpl<CefPanel>;
extern template class ViewImpl<CefWindow>;
extern template class PanelImplT<CefPanel>;
extern template class PanelImplT<CefWindow>;

}  // namespace cef_internal

#endif  // CEF_SRC_RUNTIME_VIEWS_VIEW_IMPL_H_
