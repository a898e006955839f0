// A frame of a browser's simulated page: the main frame, or a sub-frame the
// test driver created. Its URL is the last committed one.
#ifndef CEF_SRC_RUNTIME_BROWSER_FRAME_IMPL_H_
#define CEF_SRC_RUNTIME_BROWSER_FRAME_IMPL_H_
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "include/cef_frame.h"

namespace cef_internal {

class BrowserHostImpl;

class FrameImpl : public CefFrame {
 public:
  FrameImpl(BrowserHostImpl* browser, std::string identifier, std::string name, bool is_main);

  // CefFrame.
  bool IsValid() override;
  void Undo() override {}
  void Redo() override {}
  void Cut() override {}
  void Copy() override {}
  void Paste() override {}
  void PasteAndMatchStyle() override {}
  void Delete() override {}
  void SelectAll() override {}
  void ViewSource() override {}
  void GetSource(CefRefPtr<CefStringVisitor> visitor) override;
  void GetText(CefRefPtr<CefStringVisitor> visitor) override;
  void LoadRequest(CefRefPtr<CefRequest> request) override;
  void LoadURL(const CefString& url) override;
  void ExecuteJavaScript(const CefString& code, const CefString& script_url, int start_line) override {}
  bool IsMain() override { return is_main_; }
  bool IsFocused() override { return is_main_; }
  CefString GetName() override;
  CefString GetIdentifier() override;
  CefRefPtr<CefFrame> GetParent() override;
  CefString GetURL() override;
  CefRefPtr<CefBrowser> GetBrowser() override;
  CefRefPtr<CefURLRequest> CreateURLRequest(CefRefPtr<CefRequest> request,
                                            CefRefPtr<CefURLRequestClient> client) override;

  // Runtime side.
  const std::string& identifier() const { return identifier_; }
  std::string url();
  void set_url(const std::string& url);
  std::string source();
  void set_source(const std::string& source);
  // Navigation sequence: a newer navigation of the frame supersedes an
  // older one still in flight.
  int BeginNavigation() { return ++navigation_serial_; }
  bool IsCurrentNavigation(int serial) const { return navigation_serial_ == serial; }
  int pending_navigation() const { return pending_navigation_; }
  void set_pending_navigation(int serial) { pending_navigation_ = serial; }
  // UI thread: URLs of the documents that hold this frame, outermost
  // first (an iframe may not load any of them again).
  const std::vector<std::string>& ancestor_urls() const { return ancestor_urls_; }
  void set_ancestor_urls(std::vector<std::string> urls) { ancestor_urls_ = std::move(urls); }
  // Called when the browser or the document holding the frame goes away.
  void Detach();
  BrowserHostImpl* browser_impl() { return browser_.load(); }

 private:
  std::atomic<BrowserHostImpl*> browser_;  // not owned; cleared by Detach()
  const std::string identifier_;
  const std::string name_;
  const bool is_main_;
  std::atomic<bool> valid_{true};
  std::atomic<int> navigation_serial_{0};
  int pending_navigation_ = 0;  // UI thread: in flight, 0 when none
  std::vector<std::string> ancestor_urls_;

  std::mutex mutex_;  // guards url_ and source_
  std::string url_;
  std::string source_;

  IMPLEMENT_REFCOUNTING(FrameImpl);
};

}  // namespace cef_internal

#endif  // CEF_SRC_RUNTIME_BROWSER_FRAME_IMPL_H_
