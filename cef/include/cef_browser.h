#ifndef CEF_INCLUDE_CEF_BROWSER_H_
#define CEF_INCLUDE_CEF_BROWSER_H_
#pragma once

#include <vector>

#include "include/cef_base.h"
#include "include/cef_frame.h"
#include "include/cef_request_context.h"
#include "include/cef_values.h"
#include "include/internal/cef_types_wrappers.h"
#if defined(_WIN32)
#include "include/internal/cef_win.h"
#else
#include "include/internal/cef_linux.h"
#endif

class CefBrowserHost;
class CefClient;

// A browser window's page. Methods may be called on any browser-process
// thread unless noted.
class CefBrowser : public virtual CefBaseRefCounted {
 public:
  // False after OnBeforeClose() has run.
  virtual bool IsValid() = 0;

  // The host; browser process only.
  virtual CefRefPtr<CefBrowserHost> GetHost() = 0;

  virtual bool CanGoBack() = 0;
  virtual void GoBack() = 0;
  virtual bool CanGoForward() = 0;
  virtual void GoForward() = 0;
  virtual bool IsLoading() = 0;
  virtual void Reload() = 0;
  virtual void ReloadIgnoreCache() = 0;
  virtual void StopLoad() = 0;

  // Unique among the browsers of this process.
  virtual int GetIdentifier() = 0;
  virtual bool IsSame(CefRefPtr<CefBrowser> that) = 0;
  virtual bool IsPopup() = 0;
  virtual bool HasDocument() = 0;

  virtual CefRefPtr<CefFrame> GetMainFrame() = 0;
  virtual CefRefPtr<CefFrame> GetFocusedFrame() = 0;
  virtual CefRefPtr<CefFrame> GetFrameByIdentifier(const CefString& identifier) = 0;
  virtual CefRefPtr<CefFrame> GetFrameByName(const CefString& name) = 0;
  virtual size_t GetFrameCount() = 0;
  virtual void GetFrameIdentifiers(std::vector<CefString>& identifiers) = 0;
  virtual void GetFrameNames(std::vector<CefString>& names) = 0;
};

// The browser's host side: creation, window and closing. Browser process
// only.
class CefBrowserHost : public virtual CefBaseRefCounted {
 public:
  // Creates a browser window asynchronously; any browser-process thread. The
  // window itself is made on the UI thread. A null |request_context| means
  // the global context.
  static bool CreateBrowser(const CefWindowInfo& windowInfo,
                            CefRefPtr<CefClient> client,
                            const CefString& url,
                            const CefBrowserSettings& settings,
                            CefRefPtr<CefDictionaryValue> extra_info,
                            CefRefPtr<CefRequestContext> request_context);

  // Creates a browser window at once; UI thread only.
  static CefRefPtr<CefBrowser> CreateBrowserSync(const CefWindowInfo& windowInfo,
                                                 CefRefPtr<CefClient> client,
                                                 const CefString& url,
                                                 const CefBrowserSettings& settings,
                                                 CefRefPtr<CefDictionaryValue> extra_info,
                                                 CefRefPtr<CefRequestContext> request_context);

  static CefRefPtr<CefBrowser> GetBrowserByIdentifier(int browser_id);

  virtual CefRefPtr<CefBrowser> GetBrowser() = 0;

  // Asks the browser to close. Without |force_close| the page's unload
  // handlers may run and the user may cancel. The close then goes through
  // CefLifeSpanHandler::DoClose (Alloy style), the top-level window's close
  // and CefLifeSpanHandler::OnBeforeClose.
  virtual void CloseBrowser(bool force_close) = 0;

  // For a top-level window's close handler; UI thread. Returns false while
  // the close is delayed (unload handlers pending), true when it may go on.
  virtual bool TryCloseBrowser() = 0;

  // UI thread.
  virtual bool IsReadyToBeClosed() = 0;

  virtual void SetFocus(bool focus) = 0;

  // The browser host's own window. UI thread for Views-hosted browsers.
  virtual CefWindowHandle GetWindowHandle() = 0;
  virtual CefWindowHandle GetOpenerWindowHandle() = 0;
  virtual int GetOpenerIdentifier() = 0;

  // True when hosted in a CefBrowserView.
  virtual bool HasView() = 0;

  virtual CefRefPtr<CefClient> GetClient() = 0;
  virtual CefRefPtr<CefRequestContext> GetRequestContext() = 0;

  virtual bool CanZoom(cef_zoom_command_t command) = 0;
  virtual void Zoom(cef_zoom_command_t command) = 0;
  virtual double GetDefaultZoomLevel() = 0;
  virtual double GetZoomLevel() = 0;
  virtual void SetZoomLevel(double zoomLevel) = 0;

  virtual void WasResized() = 0;
  virtual void WasHidden(bool hidden) = 0;
  virtual void NotifyScreenInfoChanged() = 0;
  virtual void Invalidate(cef_paint_element_type_t type) = 0;

  virtual void SetAudioMuted(bool mute) = 0;
  virtual bool IsAudioMuted() = 0;
  virtual bool IsFullscreen() = 0;
  virtual void ExitFullscreen(bool will_cause_resize) = 0;
  virtual bool IsRenderProcessUnresponsive() = 0;

  // ALLOY or CHROME, fixed at creation.
  virtual cef_runtime_style_t GetRuntimeStyle() = 0;
};

#endif  // CEF_INCLUDE_CEF_BROWSER_H_
