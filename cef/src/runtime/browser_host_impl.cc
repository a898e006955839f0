#include "runtime/browser_host_impl.h"

#include "core/message_loop.h"
#include "include/base/cef_logging.h"
#include "include/cef_task.h"
#include "runtime/browser_frame_impl.h"
#include "runtime/browser_registry.h"
#include "runtime/browser_window_win.h"
#include "runtime/views_browser_view_impl.h"
#include "runtime/views_window_impl.h"

namespace cef_internal {
namespace {

// Answers the before-unload prompt of one close attempt.
class UnloadCallback : public CefJSDialogCallback {
 public:
  UnloadCallback(CefRefPtr<BrowserHostImpl> browser, std::function<void(bool)> answer)
      : browser_(browser), answer_(std::move(answer)) {}

  void Continue(bool success, const CefString& user_input) override {
    if (!CefCurrentlyOn(TID_UI)) {
      CefRefPtr<UnloadCallback> self(this);
      PostFunction(TID_UI, [self, success] { self->Continue(success, CefString()); });
      return;
    }
    if (!answer_)
      return;  // answered once already
    auto answer = std::move(answer_);
    answer_ = nullptr;
    answer(success);
    browser_ = nullptr;
  }

 private:
  CefRefPtr<BrowserHostImpl> browser_;
  std::function<void(bool)> answer_;
  IMPLEMENT_REFCOUNTING(UnloadCallback);
};

constexpr DWORD kDefaultPopupStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_VISIBLE;

}  // namespace

BrowserHostImpl::BrowserHostImpl(CreateParams params)
    : id_(NextBrowserId()),
      client_(params.client),
      request_context_(params.request_context ? params.request_context : CefRequestContext::GetGlobalContext()),
      settings_(params.settings),
      extra_info_(params.extra_info),
      runtime_style_(params.runtime_style),
      is_popup_(params.is_popup),
      opener_id_(params.opener_id),
      opener_window_(params.opener_window),
      initial_url_(params.url),
      view_(params.view) {
  CountBrowserObject(1);
  main_frame_ = new FrameImpl(this, std::to_string(id_) + "-0", "", true);
}

BrowserHostImpl::~BrowserHostImpl() {
  std::lock_guard<std::mutex> lock(frames_mutex_);
  if (main_frame_)
    main_frame_->Detach();
  for (auto& frame : sub_frames_)
    frame->Detach();
  CountBrowserObject(-1);
}

CefRefPtr<BrowserHostImpl> BrowserHostImpl::Register(CreateParams params) {
  EnsureBrowserShutdownHooks();
  CefRefPtr<BrowserHostImpl> browser = new BrowserHostImpl(std::move(params));
  RegisterBrowser(browser.get());
  return browser;
}

CefRefPtr<BrowserHostImpl> BrowserHostImpl::CreateNative(const CefWindowInfo& window_info, CreateParams params) {
  CefRefPtr<BrowserHostImpl> browser = Register(std::move(params));
  std::wstring name = CefString(&window_info.window_name).ToWString();
  DWORD style = window_info.style;
  HWND parent = window_info.parent_window;
  const cef_rect_t& b = window_info.bounds;

  if (parent && (style & WS_CHILD)) {
    RECT rc = {b.x, b.y, b.x + b.width, b.y + b.height};
    browser->host_window_ =
        CreateBrowserHostWindow(browser.get(), parent, style & ~WS_CHILD, window_info.ex_style, name, rc);
  } else {
    // Without a style the browser gets a default overlapped window, as a
    // popup would.
    if (style == 0)
      style = kDefaultPopupStyle;
    int x = b.x, y = b.y, w = b.width, h = b.height;
    if (w <= 0 || h <= 0)
      x = y = w = h = CW_USEDEFAULT;
    browser->frame_window_ = CreateBrowserFrameWindow(browser.get(), window_info.ex_style, style & ~WS_CHILD, name, x,
                                                      y, w, h, parent, window_info.menu);
    if (browser->frame_window_) {
      RECT rc;
      GetClientRect(browser->frame_window_, &rc);
      browser->host_window_ = CreateBrowserHostWindow(browser.get(), browser->frame_window_, WS_VISIBLE, 0, L"", rc);
    }
  }
  if (!browser->host_window_) {
    LOG(ERROR) << "Cannot create the browser window: " << GetLastError();
    if (browser->frame_window_) {
      DetachBrowserWindow(browser->frame_window_);
      DestroyWindow(browser->frame_window_);
    }
    browser->valid_ = false;
    browser->close_state_ = CloseState::kDestroyed;
    UnregisterBrowser(browser->id_);
    return nullptr;
  }
  browser->NotifyCreated();
  browser->StartInitialLoad();
  return browser;
}

CefRefPtr<BrowserHostImpl> BrowserHostImpl::CreateForView(HWND parent, CreateParams params) {
  CefRefPtr<BrowserHostImpl> browser = Register(std::move(params));
  RECT rc = {0, 0, 0, 0};
  GetClientRect(parent, &rc);
  browser->host_window_ = CreateBrowserHostWindow(browser.get(), parent, WS_VISIBLE, 0, L"", rc);
  if (!browser->host_window_) {
    LOG(ERROR) << "Cannot create the browser view's window: " << GetLastError();
    browser->valid_ = false;
    browser->close_state_ = CloseState::kDestroyed;
    UnregisterBrowser(browser->id_);
    return nullptr;
  }
  return browser;
}

void BrowserHostImpl::NotifyCreated() {
  if (!client_)
    return;
  if (auto handler = client_->GetLifeSpanHandler())
    handler->OnAfterCreated(this);
  if (view_) {
    if (auto delegate = view_->browser_delegate())
      delegate->OnBrowserCreated(view_, this);
  }
}

void BrowserHostImpl::StartInitialLoad() {
  if (initial_url_.empty())
    return;
  CefRefPtr<BrowserHostImpl> self(this);
  std::string url = initial_url_;
  PostFunction(TID_UI, [self, url] {
    if (self->IsValid())
      self->Navigate(self->main_frame(), url, TT_EXPLICIT, false);
  });
}

CefRefPtr<BrowserHostImpl> BrowserHostImpl::FromBrowser(CefRefPtr<CefBrowser> browser) {
  if (!browser)
    return nullptr;
  // Only browsers of this runtime that are still open.
  CefRefPtr<BrowserHostImpl> found = FindBrowser(browser->GetIdentifier());
  return found && static_cast<CefBrowser*>(found.get()) == browser.get() ? found : nullptr;
}

// --- CefBrowser ---

bool BrowserHostImpl::IsValid() {
  return valid_.load();
}
CefRefPtr<CefBrowserHost> BrowserHostImpl::GetHost() {
  return this;
}
bool BrowserHostImpl::CanGoBack() {
  return false;
}
void BrowserHostImpl::GoBack() {}
bool BrowserHostImpl::CanGoForward() {
  return false;
}
void BrowserHostImpl::GoForward() {}
bool BrowserHostImpl::IsLoading() {
  return loading_count_ > 0;
}

void BrowserHostImpl::Reload() {
  if (!CefCurrentlyOn(TID_UI)) {
    CefRefPtr<BrowserHostImpl> self(this);
    PostFunction(TID_UI, [self] { self->Reload(); });
    return;
  }
  auto frame = main_frame();
  std::string url = frame->url();
  if (IsValid() && !url.empty())
    Navigate(frame, url, TT_RELOAD, false);
}

void BrowserHostImpl::ReloadIgnoreCache() {
  Reload();
}
void BrowserHostImpl::StopLoad() {}
int BrowserHostImpl::GetIdentifier() {
  return id_;
}

bool BrowserHostImpl::IsSame(CefRefPtr<CefBrowser> that) {
  return that && that->GetIdentifier() == id_ && static_cast<CefBrowser*>(this) == that.get();
}

bool BrowserHostImpl::IsPopup() {
  return is_popup_;
}
bool BrowserHostImpl::HasDocument() {
  return has_document_;
}

CefRefPtr<CefFrame> BrowserHostImpl::GetMainFrame() {
  std::lock_guard<std::mutex> lock(frames_mutex_);
  return main_frame_.get();
}

CefRefPtr<FrameImpl> BrowserHostImpl::main_frame() {
  std::lock_guard<std::mutex> lock(frames_mutex_);
  return main_frame_;
}

CefRefPtr<CefFrame> BrowserHostImpl::GetFocusedFrame() {
  return GetMainFrame();
}

CefRefPtr<FrameImpl> BrowserHostImpl::FindFrame(const std::string& identifier) {
  std::lock_guard<std::mutex> lock(frames_mutex_);
  if (main_frame_ && main_frame_->identifier() == identifier)
    return main_frame_;
  for (auto& frame : sub_frames_) {
    if (frame->identifier() == identifier)
      return frame;
  }
  return nullptr;
}

CefRefPtr<CefFrame> BrowserHostImpl::GetFrameByIdentifier(const CefString& identifier) {
  return FindFrame(identifier.ToString()).get();
}

CefRefPtr<CefFrame> BrowserHostImpl::GetFrameByName(const CefString& name) {
  std::lock_guard<std::mutex> lock(frames_mutex_);
  if (name.empty())
    return main_frame_.get();
  for (auto& frame : sub_frames_) {
    if (frame->GetName() == name)
      return frame.get();
  }
  return nullptr;
}

size_t BrowserHostImpl::GetFrameCount() {
  std::lock_guard<std::mutex> lock(frames_mutex_);
  return 1 + sub_frames_.size();
}

void BrowserHostImpl::GetFrameIdentifiers(std::vector<CefString>& identifiers) {
  std::lock_guard<std::mutex> lock(frames_mutex_);
  identifiers.clear();
  identifiers.push_back(main_frame_->identifier());
  for (auto& frame : sub_frames_)
    identifiers.push_back(frame->identifier());
}

void BrowserHostImpl::GetFrameNames(std::vector<CefString>& names) {
  std::lock_guard<std::mutex> lock(frames_mutex_);
  names.clear();
  names.push_back(main_frame_->GetName());
  for (auto& frame : sub_frames_)
    names.push_back(frame->GetName());
}

CefRefPtr<FrameImpl> BrowserHostImpl::AddSubFrame(const std::string& name) {
  std::lock_guard<std::mutex> lock(frames_mutex_);
  CefRefPtr<FrameImpl> frame =
      new FrameImpl(this, std::to_string(id_) + "-" + std::to_string(next_frame_serial_++), name, false);
  sub_frames_.push_back(frame);
  return frame;
}

// --- CefBrowserHost ---

CefRefPtr<CefBrowser> BrowserHostImpl::GetBrowser() {
  return this;
}

void BrowserHostImpl::CloseBrowser(bool force_close) {
  // The close always continues from a task, as it would after the round
  // trip to the renderer: callers may be inside a window's close handler.
  CefRefPtr<BrowserHostImpl> self(this);
  PostFunction(TID_UI, [self, force_close] { self->RunClose(force_close); });
}

void BrowserHostImpl::RunClose(bool force_close) {
  switch (close_state_) {
    case CloseState::kDestroyed:
    case CloseState::kClosing:
      return;
    case CloseState::kUnloadPending:
      if (force_close)
        ProceedClose();
      return;
    case CloseState::kOpen:
      break;
  }
  if (force_close || !has_beforeunload_) {
    ProceedClose();
    return;
  }
  close_state_ = CloseState::kUnloadPending;
  CefRefPtr<BrowserHostImpl> self(this);
  CefRefPtr<UnloadCallback> callback = new UnloadCallback(this, [self](bool leave) { self->OnUnloadAnswered(leave); });
  bool handled = false;
  if (client_) {
    if (auto handler = client_->GetJSDialogHandler()) {
      handled = handler->OnBeforeUnloadDialog(this, beforeunload_message_, false, callback.get());
    }
  }
  if (!handled) {
    // The default prompt; in this runtime it answers as the page state says.
    bool leave = default_unload_answer_;
    PostFunction(TID_UI, [callback, leave] { callback->Continue(leave, CefString()); });
  }
}

void BrowserHostImpl::OnUnloadAnswered(bool leave) {
  if (close_state_ != CloseState::kUnloadPending)
    return;
  if (leave) {
    ProceedClose();
  } else {
    close_state_ = CloseState::kOpen;
  }
}

void BrowserHostImpl::ProceedClose() {
  close_state_ = CloseState::kClosing;
  if (!host_window_)
    return;
  if (runtime_style_ == CEF_RUNTIME_STYLE_ALLOY && client_) {
    if (auto handler = client_->GetLifeSpanHandler()) {
      if (handler->DoClose(this))
        return;  // the application closes the window
    }
  }
  if (view_) {
    CefRefPtr<WindowImpl> window = view_->window_impl();
    if (window) {
      PostFunction(TID_UI, [window] { window->Close(); });
    } else {
      // A view that never joined a window: nothing else will close it.
      HWND host = host_window_;
      PostFunction(TID_UI, [host] {
        if (IsWindow(host))
          DestroyWindow(host);
      });
    }
    return;
  }
  HWND top = GetAncestor(host_window_, GA_ROOT);
  if (top)
    PostMessageW(top, WM_CLOSE, 0, 0);
}

bool BrowserHostImpl::TryCloseBrowser() {
  switch (close_state_) {
    case CloseState::kDestroyed:
    case CloseState::kClosing:
      return true;
    case CloseState::kUnloadPending:
      return false;
    case CloseState::kOpen:
      break;
  }
  CloseBrowser(false);
  return false;
}

bool BrowserHostImpl::IsReadyToBeClosed() {
  return close_state_ == CloseState::kClosing || close_state_ == CloseState::kDestroyed;
}

void BrowserHostImpl::SetFocus(bool focus) {
  if (focus && host_window_)
    ::SetFocus(host_window_);
}

CefWindowHandle BrowserHostImpl::GetWindowHandle() {
  // A Views-hosted browser answers with its top-level window, as CEF does;
  // a native one with its own host window.
  if (view_) {
    CefRefPtr<WindowImpl> window = view_->window_impl();
    return window ? window->hwnd() : nullptr;
  }
  return host_window_;
}
CefWindowHandle BrowserHostImpl::GetOpenerWindowHandle() {
  return opener_window_;
}
int BrowserHostImpl::GetOpenerIdentifier() {
  return opener_id_;
}
bool BrowserHostImpl::HasView() {
  return view_ != nullptr;
}
CefRefPtr<CefClient> BrowserHostImpl::GetClient() {
  std::lock_guard<std::mutex> lock(client_mutex_);
  return client_;
}
CefRefPtr<CefRequestContext> BrowserHostImpl::GetRequestContext() {
  return request_context_;
}
bool BrowserHostImpl::CanZoom(cef_zoom_command_t command) {
  return true;
}

void BrowserHostImpl::Zoom(cef_zoom_command_t command) {
  if (command == CEF_ZOOM_COMMAND_IN)
    zoom_level_ += 0.5;
  if (command == CEF_ZOOM_COMMAND_OUT)
    zoom_level_ -= 0.5;
  if (command == CEF_ZOOM_COMMAND_RESET)
    zoom_level_ = 0.0;
}

double BrowserHostImpl::GetDefaultZoomLevel() {
  return 0.0;
}
double BrowserHostImpl::GetZoomLevel() {
  return zoom_level_;
}
void BrowserHostImpl::SetZoomLevel(double zoomLevel) {
  zoom_level_ = zoomLevel;
}
void BrowserHostImpl::WasResized() {
  FitToParent();
}
void BrowserHostImpl::WasHidden(bool hidden) {}
void BrowserHostImpl::NotifyScreenInfoChanged() {}
void BrowserHostImpl::Invalidate(cef_paint_element_type_t type) {
  if (host_window_)
    InvalidateRect(host_window_, nullptr, TRUE);
}
void BrowserHostImpl::SetAudioMuted(bool mute) {
  audio_muted_ = mute;
}
bool BrowserHostImpl::IsAudioMuted() {
  return audio_muted_;
}
bool BrowserHostImpl::IsFullscreen() {
  return false;
}
void BrowserHostImpl::ExitFullscreen(bool will_cause_resize) {}
bool BrowserHostImpl::IsRenderProcessUnresponsive() {
  return false;
}
cef_runtime_style_t BrowserHostImpl::GetRuntimeStyle() {
  return runtime_style_;
}

// --- runtime side ---

void BrowserHostImpl::SetBeforeUnload(bool has_handler, const std::string& message) {
  has_beforeunload_ = has_handler;
  beforeunload_message_ = message;
}

void BrowserHostImpl::FitToParent() {
  if (!host_window_)
    return;
  HWND parent = GetParent(host_window_);
  if (!parent)
    return;
  RECT rc;
  GetClientRect(parent, &rc);
  SetWindowPos(host_window_, nullptr, 0, 0, rc.right, rc.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
}

void BrowserHostImpl::OnHostWindowDestroyed() {
  if (close_state_ == CloseState::kDestroyed)
    return;
  close_state_ = CloseState::kDestroyed;
  CefRefPtr<BrowserHostImpl> self(this);
  HWND frame = frame_window_;
  host_window_ = nullptr;
  frame_window_ = nullptr;
  if (frame)
    DetachBrowserWindow(frame);

  if (view_) {
    if (auto delegate = view_->browser_delegate())
      delegate->OnBrowserDestroyed(view_, this);
  }
  if (client_) {
    if (auto handler = client_->GetLifeSpanHandler())
      handler->OnBeforeClose(this);
  }
  valid_ = false;
  {
    std::lock_guard<std::mutex> lock(frames_mutex_);
    main_frame_->Detach();
    for (auto& sub : sub_frames_)
      sub->Detach();
    sub_frames_.clear();
  }
  // The browser no longer calls anyone: drop what could keep the client
  // (and through it this browser) alive.
  {
    std::lock_guard<std::mutex> lock(client_mutex_);
    client_ = nullptr;
  }
  // Loads of its documents stop with it.
  std::map<std::string, CefRefPtr<DocumentResources>> documents;
  documents.swap(documents_);
  for (auto& [frame_id, document] : documents)
    document->Abandon();
  extra_info_ = nullptr;
  if (view_) {
    BrowserViewImpl* view = view_;
    view_ = nullptr;
    view->OnBrowserDestroyed();
  }
  UnregisterBrowser(id_);
  // A frame window that outlived its host window (only the child was
  // destroyed) has nothing left to show.
  if (frame && IsWindow(frame)) {
    PostFunction(TID_UI, [frame] {
      if (IsWindow(frame))
        DestroyWindow(frame);
    });
  }
}

}  // namespace cef_internal
