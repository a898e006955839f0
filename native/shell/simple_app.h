// The CEF application object of the browser process.
#pragma once

#include "include/cef_app.h"

class SimpleHandler;

class SimpleApp : public CefApp, public CefBrowserProcessHandler {
 public:
  SimpleApp();

  // CefApp.
  void OnBeforeCommandLineProcessing(const CefString& process_type,
                                     CefRefPtr<CefCommandLine> command_line) override;
  CefRefPtr<CefBrowserProcessHandler> GetBrowserProcessHandler() override { return this; }

  // CefBrowserProcessHandler.
  void OnContextInitialized() override;
  CefRefPtr<CefClient> GetDefaultClient() override;
  bool OnAlreadyRunningAppRelaunch(CefRefPtr<CefCommandLine> command_line,
                                   const CefString& current_directory) override;

  // Creates the game browser; bound into the closure that runs once the
  // launch is admitted.
  void CreateGameWindow(scoped_refptr<SimpleHandler> handler);

 private:
  IMPLEMENT_REFCOUNTING(SimpleApp);
};
