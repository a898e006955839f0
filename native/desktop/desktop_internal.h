// Helpers shared by the desktop layer's source files. Not for the shell:
// it includes desktop.h only.
#pragma once

#include <string>
#include <vector>

#include "include/internal/cef_ptr.h"

class CefDictionaryValue;

namespace kesta::desktop {

// Text, JSON and files. None of these throws or reports: a failure gives an
// empty or null result that the caller tests.

// UTF-8 to UTF-16 (one UTF-16 unit per wchar_t, on every platform).
std::wstring wide(const std::string& text);
// UTF-16 to UTF-8.
std::string utf8(const std::wstring& text);
// The dictionary when `text` is exactly one JSON object (strict RFC
// parsing), null otherwise.
CefRefPtr<CefDictionaryValue> parse(const std::string& text);
// The whole file, byte for byte; empty when it cannot be read.
std::string readFile(const std::string& path);
// `text` cut to at most `limit` characters (code points), with "…" in
// place of what was cut; a multi-byte character is never split.
std::string clip(const std::string& text, size_t limit);
// A numeric member as double: integers are widened, anything else reads 0.
// A null dictionary reads 0 too.
double number(CefRefPtr<CefDictionaryValue> dictionary, const char* key);

// Local service protocol.

// The client's own version, compared with what the service reports.
inline constexpr char kClientVersion[] = "0.6.12";
inline constexpr char kInfoPath[] = "/api/info";
inline constexpr char kServiceUpgradePath[] = "/api/service-upgrade";
inline constexpr char kHostPath[] = "/api/host";
inline constexpr char kLaunchPath[] = "/api/launch";
inline constexpr char kUpdatesAcceptPath[] = "/api/updates/accept";
inline constexpr char kUpdatesDeferPath[] = "/api/updates/defer";
// Body of the requests that carry no document of their own.
inline constexpr char kEmptyObject[] = "{}";

// A URL's path (query and fragment may follow) as a router that decodes
// before it routes reads it: query and fragment cut off, escapes decoded
// over a few rounds (separators among them), '\' taken as '/', ASCII
// letters lowered, each segment's ";" parameters and trailing dots and
// spaces dropped, empty and dot segments resolved.
std::string routedPath(const std::string& path);

// {"revision":N} for an accept or defer of the pending update `revision`,
// cut to an integer.
std::string updateRequestBody(double revision);
// The port at the end of a loopback origin ("http://127.0.0.1:8123" gives
// 8123); 0 when there is none.
int originPort(const std::string& origin);

// Loopback HTTP client: a GET when `body` is empty, else a POST of `body`,
// to localOrigin with the bearer token. The body of a 200 answer, or empty
// for every failure.
std::string HTTP(const std::string& path, const std::string& body);

// Processes.

// One command-line argument, always quoted, that Windows argument
// splitting turns back into exactly `text`.
std::wstring quote(const std::wstring& text);
// Starts `executable` with `arguments` without waiting. With `redirect`,
// standard output and error are appended to service.log in the data
// directory and standard input is the null device. False leaves the reason
// in the thread's last-error code.
bool spawn(const std::string& executable, const std::vector<std::string>& arguments, bool redirect);

// Start-up.

// Reports a start-up failure: standard error, then a modal error box with
// the data directory. Returns once the box is dismissed.
void fail(const std::string& message);
// Reads the token file of the data directory into `token`.
void reloadToken();
// `text` without trailing ASCII white space.
std::string trimTrailingWhiteSpace(std::string text);
// Whether a bootstrap "dataDirectoryName" may name the data directory.
bool dataDirectoryNameAllowed(const std::string& name);

}  // namespace kesta::desktop
