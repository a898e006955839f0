#ifndef CEF_INCLUDE_CEF_JSDIALOG_HANDLER_H_
#define CEF_INCLUDE_CEF_JSDIALOG_HANDLER_H_
#pragma once

#include "include/cef_base.h"
#include "include/cef_browser.h"

// Answers a JavaScript dialog.
class CefJSDialogCallback : public virtual CefBaseRefCounted {
 public:
  // |success| true for OK, false for Cancel; |user_input| for prompts.
  virtual void Continue(bool success, const CefString& user_input) = 0;
};

// JavaScript dialogs. Called on the UI thread.
class CefJSDialogHandler : public virtual CefBaseRefCounted {
 public:
  typedef cef_jsdialog_type_t JSDialogType;

  // Return true when the application shows its own dialog (and will run
  // |callback|), false for the default dialog. Set |suppress_message| to
  // drop the dialog silently.
  virtual bool OnJSDialog(CefRefPtr<CefBrowser> browser,
                          const CefString& origin_url,
                          JSDialogType dialog_type,
                          const CefString& message_text,
                          const CefString& default_prompt_text,
                          CefRefPtr<CefJSDialogCallback> callback,
                          bool& suppress_message) {
    return false;
  }

  // Return true to run your own before-unload prompt (then run |callback|),
  // false for the default one.
  virtual bool OnBeforeUnloadDialog(CefRefPtr<CefBrowser> browser,
                                    const CefString& message_text,
                                    bool is_reload,
                                    CefRefPtr<CefJSDialogCallback> callback) {
    return false;
  }

  // Pending dialogs should be dropped (navigation, closing).
  virtual void OnResetDialogState(CefRefPtr<CefBrowser> browser) {}

  virtual void OnDialogClosed(CefRefPtr<CefBrowser> browser) {}
};

#endif  // CEF_INCLUDE_CEF_JSDIALOG_HANDLER_H_
