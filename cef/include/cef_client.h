#ifndef CEF_INCLUDE_CEF_CLIENT_H_
#define CEF_INCLUDE_CEF_CLIENT_H_
#pragma once

#include "include/cef_base.h"
#include "include/cef_context_menu_handler.h"
#include "include/cef_display_handler.h"
#include "include/cef_jsdialog_handler.h"
#include "include/cef_life_span_handler.h"
#include "include/cef_load_handler.h"
#include "include/cef_process_message.h"
#include "include/cef_request_handler.h"

// Handlers this runtime never calls. They are declared without methods so
// the getters below keep their real shapes.
class CefAudioHandler : public virtual CefBaseRefCounted {};
class CefCommandHandler : public virtual CefBaseRefCounted {};
class CefDialogHandler : public virtual CefBaseRefCounted {};
class CefDownloadHandler : public virtual CefBaseRefCounted {};
class CefDragHandler : public virtual CefBaseRefCounted {};
class CefFindHandler : public virtual CefBaseRefCounted {};
class CefFocusHandler : public virtual CefBaseRefCounted {};
class CefFrameHandler : public virtual CefBaseRefCounted {};
class CefPermissionHandler : public virtual CefBaseRefCounted {};
class CefKeyboardHandler : public virtual CefBaseRefCounted {};
class CefPrintHandler : public virtual CefBaseRefCounted {};
class CefRenderHandler : public virtual CefBaseRefCounted {};

// The handlers of one or more browsers. The getters may be called on any
// thread; a null handler means default behaviour.
class CefClient : public virtual CefBaseRefCounted {
 public:
  virtual CefRefPtr<CefAudioHandler> GetAudioHandler() { return nullptr; }
  virtual CefRefPtr<CefCommandHandler> GetCommandHandler() { return nullptr; }
  virtual CefRefPtr<CefContextMenuHandler> GetContextMenuHandler() { return nullptr; }
  virtual CefRefPtr<CefDialogHandler> GetDialogHandler() { return nullptr; }
  virtual CefRefPtr<CefDisplayHandler> GetDisplayHandler() { return nullptr; }
  virtual CefRefPtr<CefDownloadHandler> GetDownloadHandler() { return nullptr; }
  virtual CefRefPtr<CefDragHandler> GetDragHandler() { return nullptr; }
  virtual CefRefPtr<CefFindHandler> GetFindHandler() { return nullptr; }
  virtual CefRefPtr<CefFocusHandler> GetFocusHandler() { return nullptr; }
  virtual CefRefPtr<CefFrameHandler> GetFrameHandler() { return nullptr; }
  virtual CefRefPtr<CefPermissionHandler> GetPermissionHandler() { return nullptr; }
  virtual CefRefPtr<CefJSDialogHandler> GetJSDialogHandler() { return nullptr; }
  virtual CefRefPtr<CefKeyboardHandler> GetKeyboardHandler() { return nullptr; }
  virtual CefRefPtr<CefLifeSpanHandler> GetLifeSpanHandler() { return nullptr; }
  virtual CefRefPtr<CefLoadHandler> GetLoadHandler() { return nullptr; }
  virtual CefRefPtr<CefPrintHandler> GetPrintHandler() { return nullptr; }
  virtual CefRefPtr<CefRenderHandler> GetRenderHandler() { return nullptr; }
  virtual CefRefPtr<CefRequestHandler> GetRequestHandler() { return nullptr; }

  // Return true when the message was handled.
  virtual bool OnProcessMessageReceived(CefRefPtr<CefBrowser> browser,
                                        CefRefPtr<CefFrame> frame,
                                        CefProcessId source_process,
                                        CefRefPtr<CefProcessMessage> message) {
    return false;
  }
};

#endif  // CEF_INCLUDE_CEF_CLIENT_H_
