// Decoding of "data:" URLs, which pages load without touching the network.
#ifndef CEF_SRC_CORE_DATA_URL_H_
#define CEF_SRC_CORE_DATA_URL_H_
#pragma once

#include <string>

namespace cef_internal {

struct DataURL {
  std::string mime_type;  // lower case, e.g. "text/html"
  std::string charset;    // as given, or empty
  std::string body;       // decoded bytes
};

// Parses |url| ("data:[<media type>][;base64],<data>"). The data part is
// percent-decoded first and, with ";base64", then Base64-decoded (ASCII
// whitespace ignored). Without a media type the type is "text/plain" with
// charset "US-ASCII". Returns false for anything that is not a well-formed
// data URL (no comma, invalid Base64).
bool ParseDataURL(const std::string& url, DataURL* out);

}  // namespace cef_internal

#endif  // CEF_SRC_CORE_DATA_URL_H_
