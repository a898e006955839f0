#ifndef CEF_INCLUDE_CEF_FRAME_H_
#define CEF_INCLUDE_CEF_FRAME_H_
#pragma once

#include "include/cef_base.h"
#include "include/cef_request.h"
#include "include/cef_string_visitor.h"
#include "include/cef_urlrequest.h"

class CefBrowser;

// One frame of a browser's page. Instance methods may be called on any
// browser-process thread unless noted.
class CefFrame : public virtual CefBaseRefCounted {
 public:
  // False once the frame has gone (navigated away or browser closed).
  virtual bool IsValid() = 0;

  virtual void Undo() = 0;
  virtual void Redo() = 0;
  virtual void Cut() = 0;
  virtual void Copy() = 0;
  virtual void Paste() = 0;
  virtual void PasteAndMatchStyle() = 0;
  virtual void Delete() = 0;
  virtual void SelectAll() = 0;
  virtual void ViewSource() = 0;

  // Delivers the frame's HTML source / text to |visitor| asynchronously.
  virtual void GetSource(CefRefPtr<CefStringVisitor> visitor) = 0;
  virtual void GetText(CefRefPtr<CefStringVisitor> visitor) = 0;

  virtual void LoadRequest(CefRefPtr<CefRequest> request) = 0;
  virtual void LoadURL(const CefString& url) = 0;

  virtual void ExecuteJavaScript(const CefString& code, const CefString& script_url, int start_line) = 0;

  virtual bool IsMain() = 0;
  virtual bool IsFocused() = 0;
  virtual CefString GetName() = 0;
  // Globally unique; empty once the frame is invalid.
  virtual CefString GetIdentifier() = 0;
  virtual CefRefPtr<CefFrame> GetParent() = 0;
  virtual CefString GetURL() = 0;
  virtual CefRefPtr<CefBrowser> GetBrowser() = 0;

  // A URL request tied to this frame's browser and context. Browser process:
  // UI or IO thread.
  virtual CefRefPtr<CefURLRequest> CreateURLRequest(CefRefPtr<CefRequest> request,
                                                    CefRefPtr<CefURLRequestClient> client) = 0;
};

#endif  // CEF_INCLUDE_CEF_FRAME_H_
