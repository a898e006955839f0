// URLs as Chromium's url/ library canonicalises them (GURL). Every URL that
// reaches a client callback has been through here, as in a real browser:
// scheme and host lower-cased, default port dropped, empty path made "/",
// dot segments (also escaped ones) resolved, every other escape in a path
// kept as written, characters that cannot stand in a path, query or
// fragment escaped, backslashes in special URLs turned into slashes, and
// file URLs and bare "c:\x" paths read as Chromium on Windows reads them.
//
// Not covered: internationalised host names (a non-ASCII host is refused
// here where Chromium would apply IDNA), and non-UTF-8 query encodings.
#ifndef CEF_SRC_CORE_URL_CANON_H_
#define CEF_SRC_CORE_URL_CANON_H_
#pragma once

#include <string>
#include <string_view>

namespace cef_internal {

// GURL(url).spec(): the canonical form, or empty when |url| is not a valid
// absolute URL.
std::string CanonicalizeUrl(std::string_view url);

// GURL(base).Resolve(reference).spec(): |reference| (absolute, scheme-
// relative, path-absolute, path-relative, query- or fragment-only) taken
// against |base|; empty when the result is invalid.
std::string ResolveUrlReference(std::string_view base, std::string_view reference);

// |url| without its fragment ("#..."), as the request line carries it.
std::string StripUrlFragment(const std::string& url);

}  // namespace cef_internal

#endif  // CEF_SRC_CORE_URL_CANON_H_
