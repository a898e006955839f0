// URL splitting, redirect resolution, proxy rules and the response parser.
#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "core/net_http_parser.h"
#include "core/net_proxy_config.h"
#include "core/net_url.h"
#include "include/internal/cef_types_net.h"

namespace cef_internal {
namespace {

TEST(NetUrl, SplitsAndResolves) {
  NetUrl u;
  ASSERT_TRUE(ParseNetUrl("HTTP://User:pw@Example.COM:8080/a/b?q=1#frag", u));
  EXPECT_EQ(u.scheme, "http");
  EXPECT_EQ(u.host, "example.com");
  EXPECT_EQ(u.port, 8080);
  EXPECT_EQ(u.path, "/a/b?q=1");
  EXPECT_EQ(u.HostAndPort(), "example.com:8080");
  ASSERT_TRUE(ParseNetUrl("http://[::1]:81", u));
  EXPECT_EQ(u.BareHost(), "::1");
  EXPECT_EQ(u.path, "/");
  ASSERT_TRUE(ParseNetUrl("https://h/x", u));
  EXPECT_EQ(u.port, 443);
  EXPECT_EQ(u.HostAndPort(), "h");
  for (const char* bad : {"nourl", "http:/x", "http://", "http://h:99999/", "http://h:1a/", "http://a b/"})
    EXPECT_FALSE(ParseNetUrl(bad, u)) << bad;

  ASSERT_TRUE(ParseNetUrl("http://h:1/dir/page?x", u));
  EXPECT_EQ(ResolveUrl(u, "/root"), "http://h:1/root");
  EXPECT_EQ(ResolveUrl(u, "sib"), "http://h:1/dir/sib");
  EXPECT_EQ(ResolveUrl(u, "?y"), "http://h:1/dir/page?y");
  EXPECT_EQ(ResolveUrl(u, "//other/p"), "http://other/p");
  EXPECT_EQ(ResolveUrl(u, "https://s/"), "https://s/");
}

bool Proxied(const std::string& bypass, const std::string& url) {
  ProxyConfig config = ProxyConfig::FromPreference("fixed_servers", "http://127.0.0.1:9", bypass);
  NetUrl u;
  EXPECT_TRUE(ParseNetUrl(url, u));
  return config.ResolveProxy(u).scheme == ProxyServer::Scheme::kHttp;
}

TEST(ProxyBypass, FollowsChromiumRules) {
  struct Case {
    const char* bypass;
    const char* url;
    bool proxied;
  } cases[] = {
      {"", "http://example.com/", true},
      {"", "http://127.0.0.1:5/", false},
      {"", "http://127.9.9.9/", false},
      {"", "http://localhost/", false},
      {"", "http://app.localhost/", false},
      {"", "http://[::1]/", false},
      {"", "http://169.254.1.1/", false},
      {"<-loopback>", "http://127.0.0.1:5/", true},
      {"<-LOOPBACK>", "http://localhost/", true},
      {"<-loopback>", "http://[::1]/", true},
      {"localhost;<-loopback>", "http://localhost/", true},
      {"<-loopback>;localhost", "http://localhost/", false},
      {"<-loopback>, 127.0.0.0/8", "http://127.0.0.2/", false},
      {"<local>", "http://intranet/", false},
      {"<local>", "http://intra.net/", true},
      {"*.example.com", "http://a.example.com/", false},
      {"*.example.com", "http://example.com/", true},
      {".example.com", "http://b.example.com/", false},
      {"example.com:8080", "http://example.com:8080/", false},
      {"example.com:8080", "http://example.com/", true},
      {"https://example.com", "http://example.com/", true},
      {"10.0.0.0/8", "http://10.1.2.3/", false},
      {"10.0.0.0/8", "http://11.1.2.3/", true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Proxied(c.bypass, c.url), c.proxied) << c.bypass << " " << c.url;
}

TEST(ProxyConfig, ModesAndServerLists) {
  NetUrl http, https;
  ASSERT_TRUE(ParseNetUrl("http://example.com/", http));
  ASSERT_TRUE(ParseNetUrl("https://example.com/", https));
  EXPECT_EQ(ProxyConfig::FromPreference("direct", "p:1", "").ResolveProxy(http).scheme, ProxyServer::Scheme::kDirect);
  EXPECT_EQ(ProxyConfig::FromPreference("system", "p:1", "").ResolveProxy(http).scheme, ProxyServer::Scheme::kDirect);
  ProxyConfig per_scheme = ProxyConfig::FromPreference("fixed_servers", "http=a:1;https=b:2", "");
  EXPECT_EQ(per_scheme.ResolveProxy(http).host, "a");
  EXPECT_EQ(per_scheme.ResolveProxy(https).port, 2);
  ProxyServer server;
  ASSERT_TRUE(ParseProxyServer("http://[::1]:8888", server));
  EXPECT_EQ(server.host, "::1");
  EXPECT_EQ(server.port, 8888);
  ASSERT_TRUE(ParseProxyServer("proxy", server));
  EXPECT_EQ(server.port, 80);
  ASSERT_TRUE(ParseProxyServer("socks5://s", server));
  EXPECT_EQ(server.scheme, ProxyServer::Scheme::kSocks);
  EXPECT_FALSE(ParseProxyServer("ftp://x:1", server));
}

// Framing must not depend on how reads split the stream: every wire is
// fed byte by byte, in reads of 4095 bytes, and whole.
constexpr size_t kSplits[] = {1, 4095, std::string::npos};

std::string Parse(const std::string& wire, int* error, HttpResponseParser* parser, size_t step, bool eof = true) {
  std::string body;
  *error = 0;
  for (size_t at = 0; at < wire.size(); at += step) {
    *error = parser->Feed(wire.data() + at, std::min(step, wire.size() - at), body);
    if (*error)
      return body;
  }
  if (eof && !parser->done())
    *error = parser->OnEof();
  return body;
}

TEST(HttpResponseParser, FramesBodies) {
  const std::string long_value(5000, 'v');
  const std::string long_body(70000, 'b');
  for (size_t step : kSplits) {
    SCOPED_TRACE(step);
    int error;
    HttpResponseParser chunked;
    EXPECT_EQ(Parse("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n"
                    "X: a\r\n b\r\n\r\n4;ext\r\nWiki\r\n5\r\npedia\r\n0\r\nT: t\r\n\r\nextra",
                    &error, &chunked, step, false),
              "Wikipedia");
    EXPECT_EQ(error, 0);
    EXPECT_TRUE(chunked.done());
    EXPECT_TRUE(chunked.had_trailing_bytes());
    EXPECT_EQ(chunked.head().Get("x"), "a b");

    // A head longer than any piece it is parsed in, a body behind it in the
    // same read, and a byte past the body.
    HttpResponseParser sized;
    EXPECT_EQ(Parse("HTTP/1.1 200 OK\r\nX-Long: " + long_value + "\r\nContent-Length: 70000\r\n\r\n" + long_body + "!",
                    &error, &sized, step, false),
              long_body);
    EXPECT_EQ(error, 0);
    EXPECT_TRUE(sized.done());
    EXPECT_TRUE(sized.had_trailing_bytes());
    EXPECT_EQ(sized.head().Get("X-Long"), long_value);

    HttpResponseParser until_close;
    EXPECT_EQ(Parse("HTTP/1.0 200 OK\nContent-Type: text/plain\n\nall of it", &error, &until_close, step), "all of it");
    EXPECT_EQ(error, 0);

    HttpResponseParser no_content;
    EXPECT_EQ(Parse("HTTP/1.1 204 No Content\r\nContent-Length: 5\r\n\r\n", &error, &no_content, step, false), "");
    EXPECT_TRUE(no_content.done());

    // How Transfer-Encoding frames a body, as Chromium reads it: chunked when
    // any coding of any of its headers is "chunked", from HTTP/1.1 on; else
    // the body runs to the close. Chunk lines may be long, up to the cap.
    const std::string chunks = "3;" + long_value + "\r\nabc\r\n0\r\n\r\n";
    struct Framing {
      std::string head;
      std::string body;  // empty: the chunks decoded ("abc") and done without a close
    } framings[] = {
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n", ""},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip ,Chunked\r\nContent-Length: 1\r\n", ""},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked, gzip\r\n", ""},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n", chunks},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: xchunked\r\n", chunks},
        {"HTTP/1.0 200 OK\r\nTransfer-Encoding: chunked\r\n", chunks},
    };
    for (const Framing& f : framings) {
      HttpResponseParser parser;
      const std::string body = Parse(f.head + "\r\n" + chunks, &error, &parser, step, !f.body.empty());
      EXPECT_EQ(error, 0) << f.head;
      EXPECT_EQ(body, f.body.empty() ? "abc" : f.body) << f.head;
      EXPECT_TRUE(parser.done()) << f.head;
    }

    const std::string chunked_head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    struct Bad {
      std::string wire;
      int error;
    } bad[] = {
        {"", ERR_EMPTY_RESPONSE},
        {"SSH-2.0\r\n\r\n", ERR_INVALID_HTTP_RESPONSE},
        {"HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nabc", ERR_CONTENT_LENGTH_MISMATCH},
        {"HTTP/1.1 200 OK\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n",
         ERR_RESPONSE_HEADERS_MULTIPLE_CONTENT_LENGTH},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", ERR_INVALID_CHUNKED_ENCODING},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nab", ERR_INCOMPLETE_CHUNKED_ENCODING},
        {"HTTP/1.1 200 OK\r\nX: 1", ERR_RESPONSE_HEADERS_TRUNCATED},
        {"HTTP/1.1 200 OK\r\nX: " + std::string(300 * 1024, 'x') + "\r\n\r\n", ERR_RESPONSE_HEADERS_TOO_BIG},
        // Every line of chunked framing has a cap, whole or cut short.
        {chunked_head + "0;" + std::string(17 * 1024, 'e') + "\r\n\r\n", ERR_INVALID_CHUNKED_ENCODING},
        {chunked_head + "0\r\nT: " + std::string(17 * 1024, 't') + "\r\n\r\n", ERR_INVALID_CHUNKED_ENCODING},
        {chunked_head + "0\r\nT: " + std::string(17 * 1024, 't'), ERR_INVALID_CHUNKED_ENCODING},
    };
    for (const Bad& b : bad) {
      if (step == 1 && b.wire.size() > 100000)
        continue;  // a line is searched from its start on every byte
      HttpResponseParser parser;
      Parse(b.wire, &error, &parser, step);
      EXPECT_EQ(error, b.error) << b.wire.substr(0, 60);
    }
  }
}

}  // namespace
}  // namespace cef_internal
