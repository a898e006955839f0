// URL canonicalisation against Chromium's outputs (GURL::spec and
// GURL::Resolve), including the request object that stores URLs as GURL.
#include <gtest/gtest.h>

#include "core/url_canon.h"
#include "include/cef_request.h"

namespace {

using cef_internal::CanonicalizeUrl;
using cef_internal::ResolveUrlReference;

TEST(UrlCanon, MatchesChromiumOnTheTable) {
  const struct {
    const char* in;
    const char* out;  // "" where GURL is invalid
  } kCases[] = {
      // Scheme, host and port.
      {"HTTP://Example.COM/", "http://example.com/"},
      {"http://example.com", "http://example.com/"},
      {"http://example.com:80/a", "http://example.com/a"},
      {"https://example.com:443/", "https://example.com/"},
      {"HTTPS://app.KESTA-client.invalid:443/__client/start", "https://app.kesta-client.invalid/__client/start"},
      {"https://example.com:8443/", "https://example.com:8443/"},
      {"http://example.com:/x", "http://example.com/x"},
      {"http://example.com:0080/", "http://example.com/"},
      {"ws://h:80/", "ws://h/"},
      {"http://%41%42.com/", "http://ab.com/"},
      {"http://a*b/", "http://a%2Ab/"},
      {"http://User:Pass@H/", "http://User:Pass@h/"},
      {"http://@h/", "http://h/"},
      {"http://u:@h/", "http://u@h/"},
      // Addresses.
      {"http://0x7f.1/", "http://127.0.0.1/"},
      {"http://2130706433/", "http://127.0.0.1/"},
      {"http://0177.0.0.1/", "http://127.0.0.1/"},
      {"http://127.0.0.1./", "http://127.0.0.1/"},
      {"http://[0:0:0:0:0:0:0:1]:8080/", "http://[::1]:8080/"},
      {"http://[2001:DB8::0:1]/", "http://[2001:db8::1]/"},
      {"http://[::ffff:127.0.0.1]/", "http://[::ffff:7f00:1]/"},
      {"http://[1:0:0:2:0:0:0:3]/", "http://[1:0:0:2::3]/"},
      // Slashes after the scheme, and backslashes.
      {"http:h/a", "http://h/a"},
      {"http:///h/a", "http://h/a"},
      {"http:\\\\h\\a", "http://h/a"},
      {"http://h\\a\\b", "http://h/a/b"},
      // Dot segments, plain and escaped.
      {"http://h/a/./b", "http://h/a/b"},
      {"http://h/a/../b", "http://h/b"},
      {"http://h/a/b/..", "http://h/a/"},
      {"http://h/a/b/.", "http://h/a/b/"},
      {"http://h/../../x", "http://h/x"},
      {"http://h/a/%2e%2E/b", "http://h/b"},
      {"http://h/a/%2e/b", "http://h/a/b"},
      {"http://h/a/.%2e/b", "http://h/b"},
      {"http://h/%2e%2e", "http://h/"},
      {"http://h/a\\..\\b", "http://h/b"},
      {"http://h/a/..b/c", "http://h/a/..b/c"},
      {"http://h/a%2e", "http://h/a."},
      {"http://h/a/%2e%2", "http://h/a/.%2"},
      {"http://h//a//../b", "http://h//a/b"},
      // Escapes in the path.
      {"http://h/engine/g%61me.js", "http://h/engine/game.js"},
      {"http://h/%7Euser/%41%5a%2D", "http://h/~user/AZ-"},
      {"http://h/a%2fb%2Fc", "http://h/a%2fb%2Fc"},
      {"http://h/%25%3f%20", "http://h/%25%3f%20"},
      {"http://h/%zz%", "http://h/%zz%"},
      {"http://h/a b\"c<d>e{f}", "http://h/a%20b%22c%3Cd%3Ee%7Bf%7D"},
      {"http://h/caf\xC3\xA9", "http://h/caf%C3%A9"},
      // Query and fragment.
      {"http://h/a?b c", "http://h/a?b%20c"},
      {"http://h/a?q=%41&x=\"<>\"", "http://h/a?q=%41&x=%22%3C%3E%22"},
      {"http://h/a?\xC3\xA9", "http://h/a?%C3%A9"},
      {"http://h/a#f g", "http://h/a#f%20g"},
      {"http://h/a#%41", "http://h/a#%41"},
      {"http://h/a/../b?c/../d#e/../f", "http://h/b?c/../d#e/../f"},
      // Whitespace around and inside.
      {"  http://h/a\t\nb  ", "http://h/ab"},
      // Other schemes.
      {"about:blank", "about:blank"},
      {"ABOUT:blank", "about:blank"},
      {"data:text/html,<b>Hi there</b>", "data:text/html,<b>Hi there</b>"},
      {"JavaScript:void(0)", "javascript:void(0)"},
      {"file:///C:/dir/../x.txt", "file:///C:/x.txt"},
      {"custom://Host/A/../b", "custom://Host/b"},
      // Invalid.
      {"http://a b/", ""},
      {"http://a<b/", ""},
      {"http://h:65536/", ""},
      {"http://h:8x/", ""},
      {"http://", ""},
      {"http://256.0.0.1/", ""},
      {"http://1.2.3.4.5/", ""},
      {"http://[::1/", ""},
      {"http://[1::2::3]/", ""},
      {"/relative/path", ""},
      {"", ""},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(CanonicalizeUrl(c.in), c.out) << c.in;
}

TEST(UrlCanon, ResolvesReferencesAsGurlDoes) {
  const char kBase[] = "https://h/dir/page?q#f";
  const struct {
    const char* ref;
    const char* out;
  } kCases[] = {
      {"x", "https://h/dir/x"},
      {"../x", "https://h/x"},
      {"%2e%2e/x", "https://h/x"},
      {"/x", "https://h/x"},
      {"\\x", "https://h/x"},
      {"//Other/x", "https://other/x"},
      {"?y", "https://h/dir/page?y"},
      {"#g", "https://h/dir/page?q#g"},
      {"", "https://h/dir/page?q"},
      {"https:x", "https://h/dir/x"},
      {"http://Other:80/", "http://other/"},
      {"http://a b/", ""},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(ResolveUrlReference(kBase, c.ref), c.out) << c.ref;
  // Opaque documents resolve fragments only.
  EXPECT_EQ(ResolveUrlReference("data:text/plain,hi", "x"), "");
  EXPECT_EQ(ResolveUrlReference("data:text/plain,hi", "#f"), "data:text/plain,hi#f");
}

TEST(UrlCanon, RequestsStoreTheCanonicalUrl) {
  // CefRequest keeps its URL as a GURL: canonical on the way in, empty
  // when invalid.
  CefRefPtr<CefRequest> request = CefRequest::Create();
  request->SetURL("HTTPS://App.Test:443/engine/g%61me.js?v=1#top");
  EXPECT_EQ(request->GetURL().ToString(), "https://app.test/engine/game.js?v=1#top");
  request->Set("http://h/a/../b", "GET", nullptr, {});
  EXPECT_EQ(request->GetURL().ToString(), "http://h/b");
  request->SetURL("not a url");
  EXPECT_EQ(request->GetURL().ToString(), "");
}

}  // namespace
