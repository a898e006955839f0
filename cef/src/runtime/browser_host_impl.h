// The browser model: one object that is both the CefBrowser and its
// CefBrowserHost, living in real Win32 windows.
//
// Every browser has its own child window (the host window, GetWindowHandle)
// inside a top-level window: one the runtime made from CefWindowInfo, an
// application window given as parent, or a Views CefWindow. The browser
// lives until its host window is destroyed; that is when OnBeforeClose runs
// and the browser becomes invalid.
//
// Threading: creation, navigation, closing and all client callbacks happen
// on the UI thread. Identifiers, frames and URLs may be read from any thread.
#ifndef CEF_SRC_RUNTIME_BROWSER_HOST_IMPL_H_
#define CEF_SRC_RUNTIME_BROWSER_HOST_IMPL_H_
#pragma once

#include <windows.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "include/cef_browser.h"
#include "include/cef_client.h"

namespace cef_internal {

class BrowserViewImpl;
class FrameImpl;

// A navigation of one frame still in flight.
class PendingNavigation : public virtual CefBaseRefCounted {
 public:
  // A newer navigation of the same frame replaces this one: stop loading
  // and report the abort.
  virtual void Supersede() = 0;
};

// The static sub-resources of a committed document while they load.
class DocumentResources : public virtual CefBaseRefCounted {
 public:
  // The document is gone (a newer one committed, or its frame or browser
  // went away): stop its loads; its load end is never reported.
  virtual void Abandon() = 0;
};

class BrowserHostImpl : public CefBrowser, public CefBrowserHost {
 public:
  struct CreateParams {
    CefRefPtr<CefClient> client;
    std::string url;  // UTF-8; empty loads nothing
    CefBrowserSettings settings;
    CefRefPtr<CefDictionaryValue> extra_info;
    CefRefPtr<CefRequestContext> request_context;  // null: global context
    cef_runtime_style_t runtime_style = CEF_RUNTIME_STYLE_CHROME;
    bool is_popup = false;
    int opener_id = 0;
    HWND opener_window = nullptr;
    BrowserViewImpl* view = nullptr;  // Views-hosted when set
  };

  // UI thread. Creates the browser in a native window described by
  // |window_info|, reports OnAfterCreated and starts loading the URL.
  static CefRefPtr<BrowserHostImpl> CreateNative(const CefWindowInfo& window_info, CreateParams params);

  // UI thread. Creates the browser of a Views browser view with its host
  // window as a child of |parent| (a Views window or the parking window).
  // The caller reports creation with NotifyCreated().
  static CefRefPtr<BrowserHostImpl> CreateForView(HWND parent, CreateParams params);

  // UI thread: OnAfterCreated, the view delegate's OnBrowserCreated, then
  // the first navigation.
  void NotifyCreated();
  void StartInitialLoad();

  static CefRefPtr<BrowserHostImpl> FromBrowser(CefRefPtr<CefBrowser> browser);

  // CefBrowser.
  bool IsValid() override;
  CefRefPtr<CefBrowserHost> GetHost() override;
  bool CanGoBack() override;
  void GoBack() override;
  bool CanGoForward() override;
  void GoForward() override;
  bool IsLoading() override;
  void Reload() override;
  void ReloadIgnoreCache() override;
  void StopLoad() override;
  int GetIdentifier() override;
  bool IsSame(CefRefPtr<CefBrowser> that) override;
  bool IsPopup() override;
  bool HasDocument() override;
  CefRefPtr<CefFrame> GetMainFrame() override;
  CefRefPtr<CefFrame> GetFocusedFrame() override;
  CefRefPtr<CefFrame> GetFrameByIdentifier(const CefString& identifier) override;
  CefRefPtr<CefFrame> GetFrameByName(const CefString& name) override;
  size_t GetFrameCount() override;
  void GetFrameIdentifiers(std::vector<CefString>& identifiers) override;
  void GetFrameNames(std::vector<CefString>& names) override;

  // CefBrowserHost.
  CefRefPtr<CefBrowser> GetBrowser() override;
  void CloseBrowser(bool force_close) override;
  bool TryCloseBrowser() override;
  bool IsReadyToBeClosed() override;
  void SetFocus(bool focus) override;
  CefWindowHandle GetWindowHandle() override;
  CefWindowHandle GetOpenerWindowHandle() override;
  int GetOpenerIdentifier() override;
  bool HasView() override;
  CefRefPtr<CefClient> GetClient() override;
  CefRefPtr<CefRequestContext> GetRequestContext() override;
  bool CanZoom(cef_zoom_command_t command) override;
  void Zoom(cef_zoom_command_t command) override;
  double GetDefaultZoomLevel() override;
  double GetZoomLevel() override;
  void SetZoomLevel(double zoomLevel) override;
  void WasResized() override;
  void WasHidden(bool hidden) override;
  void NotifyScreenInfoChanged() override;
  void Invalidate(cef_paint_element_type_t type) override;
  void SetAudioMuted(bool mute) override;
  bool IsAudioMuted() override;
  bool IsFullscreen() override;
  void ExitFullscreen(bool will_cause_resize) override;
  bool IsRenderProcessUnresponsive() override;
  cef_runtime_style_t GetRuntimeStyle() override;

  // --- runtime side (UI thread unless noted) ---

  BrowserViewImpl* view() const { return view_; }
  void DetachView() { view_ = nullptr; }
  HWND host_window() const { return host_window_; }
  // The top-level window the runtime made for a native browser, or null.
  HWND frame_window() const { return frame_window_; }
  CefRefPtr<FrameImpl> main_frame();
  CefRefPtr<FrameImpl> FindFrame(const std::string& identifier);

  // Navigates |frame| (main or sub-frame) to |url|. Goes through
  // OnBeforeBrowse, then loads (data: URLs locally, everything else through
  // the network stack) and reports OnLoadStart/OnLoadEnd or OnLoadError.
  void Navigate(CefRefPtr<FrameImpl> frame,
                const std::string& url,
                cef_transition_type_t transition,
                bool user_gesture);

  // A sub-frame of the main frame (test driver: the page made an iframe).
  CefRefPtr<FrameImpl> AddSubFrame(const std::string& name);

  // Page state the test driver sets: whether the page has a beforeunload
  // handler, and what the default before-unload prompt answers.
  void SetBeforeUnload(bool has_handler, const std::string& message);
  void SetDefaultUnloadAnswer(bool leave) { default_unload_answer_ = leave; }

  // The host window is being destroyed: the browser's life ends here.
  void OnHostWindowDestroyed();

  // Called by the navigation code when a frame's document commits.
  void OnFrameCommitted(CefRefPtr<FrameImpl> frame,
                        const std::string& url,
                        const std::string& body,
                        bool is_html,
                        cef_transition_type_t transition);
  // Requests the static sub-resources of the HTML document |frame| has
  // just committed (scripts, stylesheets, images; iframes as sub-frame
  // navigations), then reports OnLoadEnd(|status|). Either way the
  // loading state that the document's navigation holds is released.
  void LoadDocumentResources(CefRefPtr<FrameImpl> frame, const std::string& html, int status);
  // The document of frame |frame_id| is gone: abandons its loads.
  void AbandonDocument(const std::string& frame_id);
  void LoadingStarted();
  void LoadingFinished();
  // The navigation of |frame| that ended (successfully or not).
  void ForgetNavigation(FrameImpl* frame, PendingNavigation* navigation);
  // Reports a failed or cancelled navigation of |frame|.
  void ReportLoadError(CefRefPtr<FrameImpl> frame, cef_errorcode_t error, const std::string& url);

  // Resizes the host window to fill |parent_client| (Views layout).
  void FitToParent();

 private:
  enum class CloseState {
    kOpen,           // nothing asked
    kUnloadPending,  // CloseBrowser(false) ran; beforeunload prompt open
    kClosing,        // unload done or skipped; the window may go
    kDestroyed,      // OnBeforeClose has run
  };

  explicit BrowserHostImpl(CreateParams params);
  ~BrowserHostImpl() override;

  static CefRefPtr<BrowserHostImpl> Register(CreateParams params);
  void RunClose(bool force_close);
  void OnUnloadAnswered(bool leave);
  void ProceedClose();

  const int id_;
  // client_ is written on the UI thread only; the lock orders that write
  // against GetClient() from other threads.
  std::mutex client_mutex_;
  CefRefPtr<CefClient> client_;
  CefRefPtr<CefRequestContext> request_context_;
  CefBrowserSettings settings_;
  CefRefPtr<CefDictionaryValue> extra_info_;
  const cef_runtime_style_t runtime_style_;
  const bool is_popup_;
  const int opener_id_;
  const HWND opener_window_;
  std::string initial_url_;
  BrowserViewImpl* view_;  // not owned; the view owns this browser

  HWND host_window_ = nullptr;
  HWND frame_window_ = nullptr;

  std::atomic<bool> valid_{true};
  CloseState close_state_ = CloseState::kOpen;
  bool close_task_pending_ = false;
  bool has_beforeunload_ = false;
  std::string beforeunload_message_;
  bool default_unload_answer_ = true;

  std::atomic<int> loading_count_{0};  // written on the UI thread
  double zoom_level_ = 0.0;
  bool audio_muted_ = false;
  std::string title_;
  std::map<std::string, CefRefPtr<PendingNavigation>> navigations_;  // by frame id
  std::map<std::string, CefRefPtr<DocumentResources>> documents_;    // by frame id
  std::atomic<bool> has_document_{false};

  // Guards frames_ (read by any thread).
  std::mutex frames_mutex_;
  CefRefPtr<FrameImpl> main_frame_;
  std::vector<CefRefPtr<FrameImpl>> sub_frames_;
  int next_frame_serial_ = 1;

  IMPLEMENT_REFCOUNTING(BrowserHostImpl);
};

}  // namespace cef_internal

#endif  // CEF_SRC_RUNTIME_BROWSER_HOST_IMPL_H_
