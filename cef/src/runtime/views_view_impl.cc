#include "runtime/views_view_impl.h"

#include "include/base/cef_logging.h"
#include "runtime/views_browser_view_impl.h"
#include "runtime/views_window_impl.h"

namespace cef_internal {

ViewNode* ViewNode::From(CefRefPtr<CefView> view) {
  return view ? dynamic_cast<ViewNode*>(view.get()) : nullptr;
}

WindowImpl* ViewNode::RootWindow() {
  ViewNode* node = this;
  while (node->parent_node())
    node = node->parent_node();
  return node->AsWindowImpl();
}

void ViewNode::OnWindowChangedInternal(WindowImpl* window) {
  if (window == attached_window_)
    return;
  CefView* view = cef_view();
  if (attached_window_) {
    attached_window_ = nullptr;
    if (auto delegate = view->GetDelegate())
      delegate->OnWindowChanged(view, false);
  }
  if (window) {
    attached_window_ = window;
    if (auto delegate = view->GetDelegate())
      delegate->OnWindowChanged(view, true);
  }
}

void ViewNode::LayoutInternal(const CefRect& bounds) {}

template <class Interface>
CefRefPtr<CefWindow> ViewImpl<Interface>::GetWindow() {
  return RootWindow();
}

template <class Interface>
HWND ViewImpl<Interface>::RootHwnd() {
  WindowImpl* window = RootWindow();
  return window ? window->hwnd() : nullptr;
}

template <class Interface>
bool PanelImplT<Interface>::CanHost(CefRefPtr<CefView> view) {
  WindowImpl* window = this->RootWindow();
  if (!window || static_cast<ViewNode*>(window) == static_cast<ViewNode*>(this))
    return true;
  return window->CanHost(view);
}

template class ViewImpl<CefBrowserView>;
template class ViewImpl<CefPanel>;
template class ViewImpl<CefWindow>;
template class PanelImplT<CefPanel>;
template class PanelImplT<CefWindow>;

}  // namespace cef_internal

CefRefPtr<CefPanel> CefPanel::CreatePanel(CefRefPtr<CefPanelDelegate> delegate) {
  return new cef_internal::PanelImpl(delegate);
}
