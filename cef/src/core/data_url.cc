#include "core/data_url.h"
#include "core/ascii.h"

#include <cctype>

namespace cef_internal {
namespace {

using ascii::Base64Value;
using ascii::EscapedByte;
using ascii::Lower;
using ascii::Trim;

// A '%' not followed by two hex digits stays as it is.
std::string PercentDecode(const std::string& in) {
  std::string out;
  out.reserve(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    const int byte = EscapedByte(in, i);
    if (byte >= 0) {
      out.push_back(static_cast<char>(byte));
      i += 2;
      continue;
    }
    out.push_back(in[i]);
  }
  return out;
}

// Forgiving Base64 as browsers decode it: whitespace skipped, padding
// optional, but a length of 1 mod 4 or stray characters fail.
bool Base64Decode(const std::string& in, std::string* out) {
  std::string clean;
  for (char c : in) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f')
      continue;
    clean.push_back(c);
  }
  if (clean.size() % 4 == 0) {
    size_t pad = 0;
    while (pad < 2 && !clean.empty() && clean[clean.size() - 1 - pad] == '=')
      ++pad;
    clean.resize(clean.size() - pad);
  }
  if (clean.size() % 4 == 1)
    return false;
  out->clear();
  unsigned buffer = 0;
  int bits = 0;
  for (char c : clean) {
    int v = Base64Value(c);
    if (v < 0)
      return false;
    buffer = (buffer << 6) | static_cast<unsigned>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out->push_back(static_cast<char>((buffer >> bits) & 0xFF));
    }
  }
  return true;
}

}  // namespace

bool ParseDataURL(const std::string& url, DataURL* out) {
  if (url.size() < 5 || Lower(url.substr(0, 5)) != "data:")
    return false;
  size_t comma = url.find(',', 5);
  if (comma == std::string::npos)
    return false;
  std::string meta = url.substr(5, comma - 5);
  std::string data = url.substr(comma + 1);
  // A fragment is not part of the data.
  size_t hash = data.find('#');
  if (hash != std::string::npos)
    data.resize(hash);

  bool base64 = false;
  std::string mime;
  std::string charset;
  size_t pos = 0;
  bool first = true;
  while (pos <= meta.size()) {
    size_t semi = meta.find(';', pos);
    std::string part = Trim(meta.substr(pos, semi == std::string::npos ? std::string::npos : semi - pos));
    if (first) {
      mime = Lower(part);
      first = false;
    } else if (Lower(part) == "base64") {
      base64 = true;
    } else if (Lower(part).rfind("charset=", 0) == 0) {
      charset = part.substr(8);
    }
    if (semi == std::string::npos)
      break;
    pos = semi + 1;
  }
  if (mime.empty() || mime.find('/') == std::string::npos) {
    mime = "text/plain";
    if (charset.empty())
      charset = "US-ASCII";
  }

  std::string decoded = PercentDecode(data);
  DataURL result;
  result.mime_type = mime;
  result.charset = charset;
  if (base64) {
    if (!Base64Decode(decoded, &result.body))
      return false;
  } else {
    result.body = std::move(decoded);
  }
  *out = std::move(result);
  return true;
}

}  // namespace cef_internal
