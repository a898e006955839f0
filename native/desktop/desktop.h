// The desktop layer as the browser shell sees it: a flat set of functions.
// Everything behind them (service link, start-up, contexts, heartbeat,
// update window) is process-wide state private to native/desktop.
#pragma once

#include <string>
#include <vector>

#include "include/internal/cef_ptr.h"
#include "include/internal/cef_string.h"
#include "include/internal/cef_types.h"

class CefAuthCallback;
class CefBrowser;
class CefCommandLine;
class CefFrame;
class CefListValue;
class CefRequest;
class CefRequestContext;
class SimpleHandler;

// Start-up and shutdown (main thread).

// Settles install directory, bootstrap, data directory, token and the
// service's first state, starting the service when it does not answer.
// False ends the process before CEF starts; the user has been told, except
// after a hand-over to an updated client.
bool DesktopPrepare(scoped_refptr<CefCommandLine> commandLine);
// The data directory with backslash separators, as CEF settings take it.
std::string DesktopDataDir();
// Certificate SPKI list accepted for migration pages; empty when none.
std::string DesktopAccessSPKI();
// Whether the service demanded network enforcement at start-up.
bool DesktopStartupNetworkEnforced();
// Creates the request contexts and registers the scheme handler (UI thread,
// once CEF's context is ready).
void DesktopContextInitialized();
// Builds the update window (after CefInitialize, before the message loop).
void DesktopApplicationMenuReady();
// Stops worker threads and releases windows and contexts. UI thread; safe
// to call any number of times.
void DesktopStop();
// Starts the client again after CEF has shut down, when a restart was asked.
void DesktopRestartAfterShutdown();

// Desktop state the shell reads.

// The current site origin.
std::string DesktopOrigin();
// The game request context; null before it exists and after DesktopStop.
CefRefPtr<CefRequestContext> DesktopGameContext();
// The web-window request context; null before it exists and after DesktopStop.
CefRefPtr<CefRequestContext> DesktopWebContext();

// Game browsers (UI thread unless noted).

void DesktopBrowserCreated(CefRefPtr<CefBrowser> browser);
void DesktopBrowserClosed(CefRefPtr<CefBrowser> browser);
bool DesktopIsGame(CefRefPtr<CefBrowser> browser);
std::string DesktopBrowserGeneration(CefRefPtr<CefBrowser> browser);
std::string DesktopBrowserOrigin(CefRefPtr<CefBrowser> browser);
bool DesktopAllowGamePopup();
bool DesktopNeedsReentry();
void DesktopRequestReentry(bool restart);

// Request hooks (IO thread unless noted).

cef_return_value_t DesktopResource(CefRefPtr<CefBrowser> browser,
                                   CefRefPtr<CefFrame> frame,
                                   CefRefPtr<CefRequest> request);
// Also called on the UI thread.
bool DesktopMigrationURL(const std::string& url);
bool DesktopProxyAuthentication(bool isProxy,
                                const CefString& host,
                                int port,
                                const CefString& scheme,
                                CefRefPtr<CefAuthCallback> callback);

// Heartbeat (UI thread).

void DesktopSendHeartbeat(scoped_refptr<CefListValue> windows, SimpleHandler* handler);
void DesktopApplyResponse(const std::string& reply, bool& launch, bool& quit, std::vector<std::string>& urls);

// Update window (UI thread).

bool DesktopWaitingForLaunch();
void DesktopShowUpdates();
