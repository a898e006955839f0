// The rules every resource request of every browser passes on the IO thread
// before it starts: the service's token and the generation header stay out
// of pages' hands, only game pages reach the site origin, and a game page's
// own requests carry its generation and, for the service's API, the token.
#include <mutex>
#include <string>

#include "desktop/desktop.h"
#include "desktop/desktop_internal.h"
#include "desktop/desktop_state.h"
#include "include/cef_browser.h"
#include "include/cef_frame.h"
#include "include/cef_request.h"
#include "private_origin.h"

namespace kesta::desktop {

namespace {

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

std::string lowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// Removes what a page must never send on: the client's own bearer value,
// generation headers and proxy credentials, whatever the case of the name.
void scrubHeaders(CefRefPtr<CefRequest> request) {
  CefRequest::HeaderMap headers;
  request->GetHeaderMap(headers);
  const std::string bearer = "Bearer " + token;
  for (auto it = headers.begin(); it != headers.end();) {
    const std::string name = lowerAscii(it->first.ToString());
    const bool drop = (name == "authorization" && it->second.ToString() == bearer) || name == "x-kesta-generation" ||
                      name == "proxy-authorization";
    it = drop ? headers.erase(it) : std::next(it);
  }
  request->SetHeaderMap(headers);
}

}  // namespace

}  // namespace kesta::desktop

using namespace kesta::desktop;

cef_return_value_t DesktopResource(CefRefPtr<CefBrowser> browser,
                                   CefRefPtr<CefFrame> frame,
                                   CefRefPtr<CefRequest> request) {
  const std::string url = request->GetURL().ToString();
  std::string o = DesktopBrowserOrigin(browser);
  if (o.empty()) {
    std::lock_guard lock(browserMutex);
    o = origin;
  }
  const std::string underOrigin = o + "/";

  // Until the network policy is in force, pages reach the site origin only.
  if (!networkPolicy.contextsApplied.load() && !startsWith(url, underOrigin))
    return RV_CANCEL;

  scrubHeaders(request);

  // The service is open to pages only when it is the site origin itself.
  if (startsWith(url, localOrigin + "/") && o != localOrigin)
    return RV_CANCEL;
  if (!startsWith(url, underOrigin))
    return RV_CONTINUE;
  if (!DesktopIsGame(browser))
    return RV_CANCEL;

  request->SetHeaderByName("X-KESTA-Generation", DesktopBrowserGeneration(browser), true);

  // Paths keep the escapes pages wrote, and the service may route a path
  // after decoding it: test it both as written and as routed.
  const std::string routed = routedPath(url.substr(o.size()));
  if (startsWith(url, o + "/api/updates/") || startsWith(url, o + "/api/launch") ||
      startsWith(routed, "/api/updates/") || startsWith(routed, "/api/launch"))
    return RV_CANCEL;
  if (startsWith(url, o + "/api/")) {
    // An embedded foreign frame may not call the service.
    if (!frame || !startsWith(frame->GetURL().ToString(), underOrigin))
      return RV_CANCEL;
    request->SetHeaderByName("Authorization", "Bearer " + token, true);
  }
  return RV_CONTINUE;
}

std::string DesktopAccessSPKI() {
  return accessRootSPKI;
}

bool DesktopMigrationURL(const std::string& url) {
  if (accessRootSPKI.empty() || url.compare(0, 8, "https://") != 0)
    return false;
  const size_t slash = url.find('/', 8);
  if (slash == std::string::npos)
    return false;
  const std::string urlOrigin = url.substr(0, slash);
  const std::string path = url.substr(slash);
  const std::string migrationFolder = "/__client/migration/";

  if (urlOrigin == kesta::kPrivateOrigin && (path == "/__client/start" || path.starts_with(migrationFolder)))
    return true;
  for (const auto& source : migrationSources) {
    if (urlOrigin == source)
      return path.starts_with(migrationFolder);
  }
  return false;
}
