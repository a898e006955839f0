#include "runtime/browser_frame_impl.h"

#include "core/message_loop.h"
#include "include/cef_task.h"
#include "runtime/browser_host_impl.h"

namespace cef_internal {

FrameImpl::FrameImpl(BrowserHostImpl* browser, std::string identifier, std::string name, bool is_main)
    : browser_(browser), identifier_(std::move(identifier)), name_(std::move(name)), is_main_(is_main) {}

bool FrameImpl::IsValid() {
  return valid_.load();
}

void FrameImpl::Detach() {
  valid_ = false;
  browser_ = nullptr;
}

std::string FrameImpl::url() {
  std::lock_guard<std::mutex> lock(mutex_);
  return url_;
}

void FrameImpl::set_url(const std::string& url) {
  std::lock_guard<std::mutex> lock(mutex_);
  url_ = url;
}

std::string FrameImpl::source() {
  std::lock_guard<std::mutex> lock(mutex_);
  return source_;
}

void FrameImpl::set_source(const std::string& source) {
  std::lock_guard<std::mutex> lock(mutex_);
  source_ = source;
}

void FrameImpl::GetSource(CefRefPtr<CefStringVisitor> visitor) {
  if (!visitor)
    return;
  std::string text = source();
  PostFunction(TID_UI, [visitor, text] { visitor->Visit(text); });
}

void FrameImpl::GetText(CefRefPtr<CefStringVisitor> visitor) {
  GetSource(visitor);
}

void FrameImpl::LoadRequest(CefRefPtr<CefRequest> request) {
  if (request)
    LoadURL(request->GetURL());
}

void FrameImpl::LoadURL(const CefString& url) {
  CefRefPtr<FrameImpl> self(this);
  std::string target = url.ToString();
  // Navigations start from the UI thread, after the caller's callback.
  PostFunction(TID_UI, [self, target] {
    CefRefPtr<BrowserHostImpl> browser(self->browser_impl());
    if (browser && self->IsValid() && browser->IsValid()) {
      browser->Navigate(self, target, TT_EXPLICIT, false);
    }
  });
}

CefString FrameImpl::GetName() {
  return name_;
}

CefString FrameImpl::GetIdentifier() {
  return valid_.load() ? CefString(identifier_) : CefString();
}

CefRefPtr<CefFrame> FrameImpl::GetParent() {
  if (is_main_)
    return nullptr;
  BrowserHostImpl* browser = browser_impl();
  return browser ? browser->GetMainFrame() : nullptr;
}

CefString FrameImpl::GetURL() {
  return url();
}

CefRefPtr<CefBrowser> FrameImpl::GetBrowser() {
  BrowserHostImpl* browser = browser_impl();
  return browser ? static_cast<CefBrowser*>(browser) : nullptr;
}

CefRefPtr<CefURLRequest> FrameImpl::CreateURLRequest(CefRefPtr<CefRequest> request,
                                                     CefRefPtr<CefURLRequestClient> client) {
  BrowserHostImpl* browser = browser_impl();
  if (!browser || !request || !client)
    return nullptr;
  return CefURLRequest::Create(request, client, browser->GetRequestContext());
}

}  // namespace cef_internal
