// The browser session's network side: cookies as browsers keep them, addresses, decoding and
// what goes on the wire.
#include <gtest/gtest.h>

#include "host/host_session_win.h"
#include "host/local_http_server_win.h"

namespace tthost {
namespace {

TEST(HostSession, KeepsCookiesByHostPathAndLifetime) {
    HostSession s;
    s.StoreCookie(L"http://gw.example/cgi/ag.cgi", L"AGSESSID=abc; Path=/; HttpOnly");
    s.StoreCookie(L"http://gw.example/cgi/ag.cgi", L"lang=ja");  // default path: /cgi
    s.StoreCookie(L"http://gw.example/cgi/ag.cgi", L"wide=1; domain=.example; path=/");
    s.StoreCookie(L"http://gw.example/", L"stranger=1; domain=other.test");  // not this host's to set
    s.StoreCookie(L"http://gw.example/", L"tail=1; domain=ample");  // a name's tail is not its domain
    EXPECT_EQ(L"AGSESSID=abc; lang=ja; wide=1", s.CookiesFor(L"http://gw.example/cgi/ag.cgi?page=AGIndex"));
    EXPECT_EQ(L"lang=ja; wide=1", s.CookiesFor(L"http://gw.example/cgi/x", false))
        << "scripts do not see HttpOnly";
    EXPECT_EQ(L"AGSESSID=abc; wide=1", s.CookiesFor(L"http://gw.example/cgix/ag.cgi"))
        << "/cgi does not cover /cgix";
    EXPECT_EQ(L"wide=1", s.CookiesFor(L"http://www.example/"));
    EXPECT_EQ(L"", s.CookiesFor(L"http://other.test/"));
    EXPECT_EQ(L"", s.CookiesFor(L"http://example.gw.example.org/"));

    // Replaced by name, domain and path; removed by a past expiry or a zero age.
    s.StoreCookie(L"http://gw.example/", L"AGSESSID=def; path=/");
    s.StoreCookie(L"http://gw.example/cgi/ag.cgi", L"lang=; Max-Age=0");
    s.StoreCookie(L"http://gw.example/",
                  L"wide=; domain=example; path=/; expires=Thu, 01 Jan 1970 00:00:00 GMT");
    EXPECT_EQ(L"AGSESSID=def", s.CookiesFor(L"http://gw.example/cgi/ag.cgi"));
    s.StoreCookie(L"http://gw.example/", L"safe=1; Secure");
    EXPECT_EQ(L"AGSESSID=def", s.CookiesFor(L"http://gw.example/"));
    EXPECT_EQ(L"AGSESSID=def; safe=1", s.CookiesFor(L"https://gw.example/"));
    s.ClearCookies();
    EXPECT_EQ(L"", s.CookiesFor(L"http://gw.example/"));
}

TEST(HostSession, SplitsResolvesAndDecodes) {
    UrlParts p = SplitUrl(L"http://GW.Example:8080/cgi/ag.cgi?page=X#top");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(L"http", p.scheme);
    EXPECT_EQ(L"gw.example", p.host);
    EXPECT_EQ(8080, p.port);
    EXPECT_EQ(L"/cgi/ag.cgi?page=X", p.path) << "the fragment stays in the browser";
    EXPECT_FALSE(SplitUrl(L"not a url").ok);
    EXPECT_EQ(L"http://h/cgi/ag.cgi", ResolveUrl(L"http://h/cgi/x.html?a=1", L"ag.cgi"));
    EXPECT_EQ(L"http://h/root", ResolveUrl(L"http://h/cgi/x.html", L"/root"));
    EXPECT_EQ(L"http://h/cgi/x.html?b=2", ResolveUrl(L"http://h/cgi/x.html?a=1", L"?b=2"));
    EXPECT_EQ(L"http://other/", ResolveUrl(L"http://h/cgi/", L"http://other/"));
    EXPECT_EQ(L"http://h/cgi/x.html?a=1#top", ResolveUrl(L"http://h/cgi/x.html?a=1#old", L"#top"));
    EXPECT_EQ(L"http://h/cgi/x.html", ResolveUrl(L"http://h/cgi/x.html#f", L""));

    const std::vector<uint8_t> sjis = {0x82, 0xa0, 'a'};        // あa in Shift_JIS
    const std::vector<uint8_t> utf8 = {0xe3, 0x81, 0x82, 'a'};  // あa in UTF-8
    EXPECT_EQ(
        L"\x3042"
        L"a",
        DecodeBytes(sjis, L"Shift_JIS"));
    EXPECT_EQ(
        L"\x3042"
        L"a",
        DecodeBytes(utf8, L"utf-8"));
    EXPECT_EQ(
        L"\x3042"
        L"a",
        DecodeBytes(utf8, L""))
        << "undeclared: UTF-8 when it is UTF-8";
    EXPECT_EQ(
        L"\x3042"
        L"a",
        DecodeBytes(sjis, L""))
        << "otherwise the Japanese code page";
    EXPECT_EQ(20932u, CodePageOfCharset(L"EUC-JP"));
}

TEST(HostSession, FollowsRedirectsAsTheBrowserDoesAndCarriesTheCookies) {
    LocalHttpServer server;
    ASSERT_TRUE(server.Started());
    server.Route("/login", [](const ServedRequest&) {
        ServedAnswer a;
        a.status = 302;
        a.headers = {{"Location", "/home?from=login"}, {"Set-Cookie", "sid=42; path=/"}};
        return a;
    });
    server.Page("/home", "text/html; charset=utf-8", "<title>Home</title>");
    HostSession s;
    const std::string body = "user=a&pw=b";
    HttpAnswer a = s.Fetch(L"POST", server.Url(L"/login"),
                           L"Pragma: no-cache\nContent-Type: application/x-www-form-urlencoded\n",
                           std::vector<uint8_t>(body.begin(), body.end()));
    ASSERT_TRUE(a.answered);
    EXPECT_EQ(200u, a.status);
    EXPECT_EQ(server.Url(L"/home?from=login"), a.url);
    EXPECT_EQ(L"text/html; charset=utf-8", a.contentType);
    EXPECT_EQ("<title>Home</title>", std::string(a.body.begin(), a.body.end()));
    const auto requests = server.Requests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ("POST", requests[0].method);
    EXPECT_EQ(body, requests[0].body);
    EXPECT_EQ("no-cache", requests[0].Header("Pragma"));
    EXPECT_EQ("", requests[0].Header("Cookie"));
    // The redirect is a plain request without the body or its type, with the new cookie.
    EXPECT_EQ("GET", requests[1].method);
    EXPECT_EQ("", requests[1].body);
    EXPECT_EQ("", requests[1].Header("Content-Type"));
    EXPECT_EQ("no-cache", requests[1].Header("Pragma"));
    EXPECT_EQ("sid=42", requests[1].Header("Cookie"));
    const auto exchanges = s.Exchanges();
    ASSERT_EQ(2u, exchanges.size());
    EXPECT_EQ(302u, exchanges[0].status);
    ASSERT_EQ(1u, exchanges[0].setCookies.size());
    EXPECT_EQ(L"sid=42; path=/", exchanges[0].setCookies[0]);
    EXPECT_EQ(L"Pragma: no-cache\r\nContent-Type: application/x-www-form-urlencoded\r\n",
              exchanges[0].headers)
        << "header lines go out with CR LF";

    // A Cookie line of the caller's replaces the session's.
    server.ClearRequests();
    s.Fetch(L"GET", server.Url(L"/home"), L"Cookie: AGSESSID=given\n", {});
    EXPECT_EQ("AGSESSID=given", server.Requests().back().Header("Cookie"));
    // The user agent is the process's.
    EXPECT_NE(std::string::npos, server.Requests().back().Header("User-Agent").find("Mozilla"));
}

TEST(HostSession, ReportsAddressesItCannotReach) {
    HostSession s;
    std::wstring gone;
    {
        LocalHttpServer closed;
        gone = closed.Url(L"/");
    }
    HttpAnswer a = s.Fetch(L"GET", gone, L"", {});
    EXPECT_FALSE(a.answered);
    EXPECT_NE(0u, a.error);
    a = s.Fetch(L"GET", L"ftp://example/", L"", {});
    EXPECT_FALSE(a.answered);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_UNRECOGNIZED_SCHEME), a.error);
    EXPECT_EQ(2u, s.Exchanges().size());
}

}  // namespace
}  // namespace tthost
