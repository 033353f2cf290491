// The WinINet client against the stand-in server on loopback: the exact bytes that go out and
// the text that comes back.
#include <gtest/gtest.h>

#include <windows.h>
#include <wininet.h>

#include <chrono>
#include <utility>
#include <vector>

#include "net/http_client_win.h"
#include "net/standin_server_win.h"
#include "support/code_page_win.h"
#include "support/com_object_win.h"
#include "support/utf.h"

namespace tt {
namespace {

using testing::Base64;
using testing::JsonString;
using testing::ParseRawRequest;
using testing::StandinServer;

class HttpClientWire : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(server.Port(), 0u) << "the stand-in server did not start";
        ASSERT_TRUE(server.Reset());
    }

    // A scripted answer for a path: status, Content-Type (empty: none), raw body bytes and
    // further header lines.
    void Route(const std::string& path, int status, const std::string& contentType, const std::string& body,
               const std::vector<std::pair<std::string, std::string>>& moreHeaders = {}) {
        std::string headers;
        auto add = [&](const std::string& name, const std::string& value) {
            headers += (headers.empty() ? "[" : ", ") + std::string("[") + JsonString(name) + ", " +
                       JsonString(value) + "]";
        };
        if (!contentType.empty()) add("Content-Type", contentType);
        for (const auto& [name, value] : moreHeaders) add(name, value);
        std::string route =
            "{\"status\": " + std::to_string(status) + ", \"body_b64\": " + JsonString(Base64(body));
        if (!headers.empty()) route += ", \"headers\": " + headers + "]";
        route += "}";
        ASSERT_TRUE(server.AddRoutes("{" + JsonString(path) + ": " + route + "}"));
    }

    std::u16string Get(const std::u16string& path) { return HttpRequest(server.Url(path), u"GET", u"", u""); }

    StandinServer& server = StandinServer::Get();
};

TEST_F(HttpClientWire, SendsVerbObjectNameHeaderLinesAndAnsiBodyUnchanged) {
    const std::u16string headers =
        u"Pragma: no-cache\nContent-Type: application/x-www-form-urlencoded\nCookie: AGSESSID=abc; x=1\n";
    HttpRequest(server.Url(u"/cgi-bin/ag.cgi?page=RMDigest"), u"POST", headers,
                u"_System=login&_Login=1&_Account=山田&Password=p%26w&_notimecard=1");
    const auto request = ParseRawRequest(server.LastRequest());
    EXPECT_EQ(request.requestLine, "POST /cgi-bin/ag.cgi?page=RMDigest HTTP/1.1");
    EXPECT_NE(request.head.find("\r\nPragma: no-cache\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                                "Cookie: AGSESSID=abc; x=1\r\n"),
              std::string::npos)
        << request.head;
    // The ANSI code page of these tests is 932: the Japanese goes out as Shift_JIS bytes.
    EXPECT_EQ(request.body, "_System=login&_Login=1&_Account=\x8e\x52\x93\x63&Password=p%26w&_notimecard=1");
    EXPECT_NE(request.head.find("Content-Length: " + std::to_string(request.body.size()) + "\r\n"),
              std::string::npos);
}

TEST_F(HttpClientWire, AGetHasNoBodyAndTheFragmentGoesToTheServer) {
    Get(u"/cgi-bin/ag.cgi?page=X#top");
    const auto request = ParseRawRequest(server.LastRequest());
    EXPECT_EQ(request.requestLine, "GET /cgi-bin/ag.cgi?page=X#top HTTP/1.1");
    EXPECT_EQ(request.body, "");
    EXPECT_EQ(request.head.find("Content-Length: 1"), std::string::npos);
    // The explicit port is the one connected to, and the Host line says so.
    EXPECT_NE(request.head.find("Host: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n"),
              std::string::npos)
        << request.head;
}

TEST_F(HttpClientWire, StoredCookiesAreNeitherSentNorKept) {
    Route("/set", 200, "text/plain", "ok", {{"Set-Cookie", "jar=1; path=/"}});
    EXPECT_EQ(Get(u"/set"), u"ok");
    Get(u"/cgi-bin/ag.cgi");
    const auto request = ParseRawRequest(server.LastRequest());
    EXPECT_EQ(request.head.find("Cookie"), std::string::npos) << request.head;
}

TEST_F(HttpClientWire, OnlyStatus200GivesText) {
    Route("/e404", 404, "text/plain; charset=UTF-8", "not found but a body");
    Route("/e500", 500, "text/plain; charset=UTF-8", "broken");
    Route("/e204", 204, "", "");
    Route("/ok", 200, "text/plain; charset=UTF-8", "fine");
    EXPECT_EQ(Get(u"/e404"), u"");
    EXPECT_EQ(Get(u"/e500"), u"");
    EXPECT_EQ(Get(u"/e204"), u"");
    EXPECT_EQ(Get(u"/ok"), u"fine");
    EXPECT_EQ(Get(u"/nowhere"), u"");  // the stand-in's own 404
}

TEST_F(HttpClientWire, BodiesAreDecodedWithTheDeclaredCharacterSet) {
    const std::u16string japanese = u"新着情報,?page=X,会議室の予約\r\n";
    Route("/euc", 200, "text/plain; charset=EUC-JP",
          "\xbf\xb7\xc3\xe5\xbe\xf0\xca\xf3,?page=X,\xb2\xf1\xb5\xc4\xbc\xbc\xa4\xce\xcd\xbd\xcc\xf3\r\n");
    Route("/sjis", 200, "text/plain; charset=Shift_JIS",
          "\x90\x56\x92\x85\x8f\xee\x95\xf1,?page=X,\x89\xef\x8b\x63\x8e\xba\x82\xcc\x97\x5c\x96\xf1\r\n");
    Route("/utf8", 200, "text/plain; charset=UTF-8", Utf16ToUtf8(japanese));
    // No charset: the ANSI code page (932 here); an unknown name: 932 as well.
    Route("/none", 200, "text/plain",
          "\x90\x56\x92\x85\x8f\xee\x95\xf1,?page=X,\x89\xef\x8b\x63\x8e\xba\x82\xcc\x97\x5c\x96\xf1\r\n");
    Route("/unknown", 200, "text/plain; charset=x-tavelle-unknown",
          "\x90\x56\x92\x85\x8f\xee\x95\xf1,?page=X,\x89\xef\x8b\x63\x8e\xba\x82\xcc\x97\x5c\x96\xf1\r\n");
    Route("/nohead", 200, "",
          "\x90\x56\x92\x85\x8f\xee\x95\xf1,?page=X,\x89\xef\x8b\x63\x8e\xba\x82\xcc\x97\x5c\x96\xf1\r\n");
    EXPECT_EQ(Get(u"/euc"), japanese);
    EXPECT_EQ(Get(u"/sjis"), japanese);
    EXPECT_EQ(Get(u"/utf8"), japanese);
    EXPECT_EQ(Get(u"/none"), japanese);
    EXPECT_EQ(Get(u"/unknown"), japanese);
    EXPECT_EQ(Get(u"/nohead"), japanese);
}

TEST_F(HttpClientWire, AZeroByteEndsABodyWithoutCharsetButNotOneWithIt) {
    Route("/zero-none", 200, "text/plain", std::string("AllowToolbar=no\n\0AllowAutoLogin=no\n", 35));
    Route("/zero-utf8", 200, "text/plain; charset=UTF-8", std::string("a\0b", 3));
    EXPECT_EQ(Get(u"/zero-none"), u"AllowToolbar=no\n");
    EXPECT_EQ(Get(u"/zero-utf8"), std::u16string(u"a\0b", 3));
}

TEST_F(HttpClientWire, ACharacterAcrossTheReadBoundaryComesOutWhole) {
    // 4095 ASCII bytes and then three-byte characters: reads of 4095 or 4096 bytes both split one.
    std::string body(4095, 'a');
    std::u16string expected(4095, u'a');
    for (int i = 0; i < 3000; ++i) {
        body += "\xe3\x81\x82";  // あ
        expected += u'あ';
    }
    Route("/long", 200, "text/plain; charset=UTF-8", body);
    const std::u16string text = Get(u"/long");
    EXPECT_EQ(text.size(), expected.size());
    EXPECT_EQ(text, expected);
    EXPECT_EQ(text.find(u'\xfffd'), std::u16string::npos);
}

TEST_F(HttpClientWire, RedirectsAreFollowed) {
    ASSERT_TRUE(server.Control(
        "{\"routes\": {\"/old\": {\"location\": \"/tv70/toolbar.txt\"}, \"/chain\": {\"status\": 301, "
        "\"location\": \"/old\"}}, \"toolbar_txt\": \"AllowToolbar=no\\n\", \"charset\": \"UTF-8\"}"));
    EXPECT_EQ(Get(u"/old"), u"AllowToolbar=no\n");
    EXPECT_EQ(Get(u"/chain"), u"AllowToolbar=no\n");
    EXPECT_EQ(ParseRawRequest(server.LastRequest()).requestLine, "GET /tv70/toolbar.txt HTTP/1.1");
}

TEST_F(HttpClientWire, TheSessionAndTheLogInFollowRedirectsOnlyOnTheirOwnServer) {
    // "localhost" is the same stand-in under another host name: another server to the client.
    const std::string elsewhere = "http://localhost:" + std::to_string(server.Port()) + "/tv70/toolbar.txt";
    ASSERT_TRUE(server.Control(
        "{\"routes\": {\"/here\": {\"status\": 303, \"location\": \"/tv70/toolbar.txt\"}, "
        "\"/again\": {\"status\": 307, \"location\": \"/tv70/toolbar.txt\"}, "
        "\"/loop\": {\"location\": \"/loop\"}, \"/away\": {\"location\": " +
        JsonString(elsewhere) + "}}, \"toolbar_txt\": \"AllowToolbar=no\\n\", \"charset\": \"UTF-8\"}"));
    const std::u16string cookie = u"Pragma: no-cache\ncookie: AGSESSID=abc\n";
    EXPECT_EQ(HttpRequest(server.Url(u"/here"), u"POST", cookie, u"Password=x"), u"AllowToolbar=no\n");
    auto request = ParseRawRequest(server.LastRequest());
    EXPECT_EQ(request.requestLine, "GET /tv70/toolbar.txt HTTP/1.1");
    EXPECT_NE(request.head.find("\r\ncookie: AGSESSID=abc\r\n"), std::string::npos) << request.head;
    EXPECT_EQ(request.body, "");
    EXPECT_EQ(HttpRequest(server.Url(u"/again"), u"POST", u"", u"Password=x"), u"AllowToolbar=no\n");
    request = ParseRawRequest(server.LastRequest());
    EXPECT_EQ(request.requestLine, "POST /tv70/toolbar.txt HTTP/1.1");
    EXPECT_EQ(request.body, "Password=x");

    const int before = server.RequestCount();
    EXPECT_EQ(HttpRequest(server.Url(u"/away"), u"GET", cookie, u""), u"");
    EXPECT_EQ(HttpRequest(server.Url(u"/away"), u"POST", u"", u"Password=x"), u"");
    EXPECT_EQ(server.RequestCount(), before + 2) << "the other host was asked";
    EXPECT_EQ(HttpRequest(server.Url(u"/loop"), u"GET", cookie, u""), u"");
    EXPECT_EQ(server.RequestCount(), before + 2 + 6) << "one request and five redirects at the most";
    // Without a session or a body, redirects lead anywhere, as before.
    EXPECT_EQ(HttpRequest(server.Url(u"/away"), u"GET", u"", u""), u"AllowToolbar=no\n");
}

TEST_F(HttpClientWire, ABodyWithoutAnExactAnsiFormIsNotSent) {
    // Best fit would send a full-width "＆" as "&" (code page 1252): another form field.
    EXPECT_EQ(ToCodePageExact(u"pw=ab＆x", 1252), std::nullopt);
    EXPECT_EQ(ToCodePageExact(u"pw=ab＆x", 932), std::optional<std::string>("pw=ab\x81\x95x"));
    EXPECT_EQ(HttpRequest(server.Url(u"/tv70/toolbar.txt"), u"POST", u"", u"Password=한"), u"");
    EXPECT_EQ(server.RequestCount(), 0);
}

TEST_F(HttpClientWire, DeadEndsGiveTheEmptyText) {
    // Nobody listens on the discard port; an unsplittable URL; an unknown host.
    EXPECT_EQ(HttpRequest(u"http://127.0.0.1:9/x", u"GET", u"", u""), u"");
    EXPECT_EQ(HttpRequest(u"no url at all", u"GET", u"", u""), u"");
    EXPECT_EQ(HttpRequest(u"", u"GET", u"", u""), u"");
    EXPECT_EQ(HttpRequest(u"http://host.invalid/x", u"GET", u"", u""), u"");
}

TEST_F(HttpClientWire, ASlowServerIsGivenUpOnAfterTheTimeOut) {
    ASSERT_TRUE(server.Control("{\"routes\": {\"/slow\": {\"delay\": 4, \"body\": \"late\"}}}"));
    CHttpOptions options;
    options.timeoutMs = 1000;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(HttpRequest(options, server.Url(u"/slow"), u"GET", u"", u""), u"");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(3500));
}

TEST_F(HttpClientWire, AnAnswerPastTheSizeCapIsRefused) {
    ASSERT_TRUE(server.Control(
        "{\"routes\": {\"/big\": {\"headers\": [[\"Content-Type\", \"text/plain; charset=UTF-8\"]], "
        "\"body\": \"0123456789abcdef\", \"size\": 300000}}}"));
    CHttpOptions options;
    options.maxBodyBytes = 256 * 1024;
    EXPECT_EQ(HttpRequest(options, server.Url(u"/big"), u"GET", u"", u""), u"");
    options.maxBodyBytes = 300000;
    EXPECT_EQ(HttpRequest(options, server.Url(u"/big"), u"GET", u"", u"").size(), 300000u);
}

TEST_F(HttpClientWire, HostileAnswersFailWithinOneDeadline) {
    ASSERT_TRUE(server.Control(
        "{\"routes\": {"
        "\"/cut\": {\"body\": \"AllowToolbar=no\\n\", \"content_length\": 36},"
        "\"/drip\": {\"body\": \"AllowToolbar=no\\nAllowAutoLogin=no\\n\", \"drip\": 0.4},"
        "\"/drip-head\": {\"body\": \"ok\", \"drip\": 0.4, \"drip_head\": true},"
        "\"/commas\": {\"body\": \",\", \"size\": 4194304},"
        "\"/commas-unannounced\": {\"body\": \",\", \"size\": 4194304, \"content_length\": false},"
        // Exactly the cap, without a length announced: still an answer.
        "\"/fits\": {\"body\": \"x\", \"size\": 1048576, \"content_length\": false}}}"));
    CHttpOptions options;
    options.deadlineMs = 2000;
    // A request that ends normally keeps nothing behind (WinINet's callbacks hold the module).
    const LONG locks = com::ModuleLockCount();
    EXPECT_EQ(HttpRequest(options, server.Url(u"/fits"), u"GET", u"", u"").size(), kMaxHttpBodyBytes);
    for (int i = 0; i < 100 && com::ModuleLockCount() != locks; ++i) Sleep(20);  // the last notice may lag
    EXPECT_EQ(com::ModuleLockCount(), locks);
    for (const char16_t* path : {u"/cut", u"/drip", u"/drip-head", u"/commas", u"/commas-unannounced"}) {
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(HttpRequest(options, server.Url(path), u"GET", u"", u""), u"") << Utf16ToUtf8(path);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(3500))
            << Utf16ToUtf8(path);
    }
}

TEST(HttpClientWin, CodePagesFromTheMimeDatabase) {
    EXPECT_EQ(CodePageFromContentType(u"text/plain; charset=EUC-JP"), 51932);
    EXPECT_EQ(CodePageFromContentType(u"text/html; charset=utf-8"), 65001);
    EXPECT_EQ(CodePageFromContentType(u"text/plain; charset=x-tavelle-unknown"), 932);
    EXPECT_EQ(CodePageFromContentType(u"text/plain; Charset=EUC-JP"), -1);
    EXPECT_EQ(CodePageFromContentType(u"text/plain"), -1);
    EXPECT_EQ(CodePageFromContentType(u""), -1);
}

TEST(HttpClientWin, FlagsAreTheWinInetOnes) {
    EXPECT_EQ(HttpRequestFlags(false),
              static_cast<uint32_t>(INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI));
    EXPECT_EQ(HttpRequestFlags(true),
              static_cast<uint32_t>(INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI |
                                    INTERNET_FLAG_SECURE | INTERNET_FLAG_KEEP_CONNECTION));
}

TEST(HttpClientWin, BodiesDecodeWhole) {
    EXPECT_EQ(DecodeResponseBody("", 65001), u"");
    EXPECT_EQ(DecodeResponseBody(std::string("\0x", 2), -1), u"");
    EXPECT_EQ(DecodeResponseBody("\x82\xa0", -1), u"あ");  // ANSI 932
    // EUC-JP through the code page the MIME database names for it, whichever converter knows it.
    EXPECT_EQ(DecodeResponseBody("\xbf\xb7\xc3\xe5", CodePageFromContentType(u"text/plain; charset=EUC-JP")),
              u"新着");
    EXPECT_EQ(DecodeResponseBody("\xe6\x96\xb0", 65001), u"新");
    // No charset but a byte-order mark: read whole in its encoding.
    EXPECT_EQ(DecodeResponseBody(std::string("\xff\xfe"
                                             "A\0=\0n\0o\0\n\0",
                                             12),
                                 -1),
              u"A=no\n");
    EXPECT_EQ(DecodeResponseBody("\xef\xbb\xbf"
                                 "A=\xe6\x96\xb0",
                                 -1),
              u"A=新");
    EXPECT_EQ(ToThreadAnsi(u"あa"), std::optional<std::string>("\x82\xa0"
                                                               "a"));
    EXPECT_EQ(ToThreadAnsi(u""), std::optional<std::string>(""));
}

}  // namespace
}  // namespace tt
