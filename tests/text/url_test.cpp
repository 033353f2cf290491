#include "text/url.h"

#include <gtest/gtest.h>

#include <string>

namespace tt {
namespace {

CUrlParts Split(const std::u16string& url, bool expectOk = true) {
    CUrlParts parts;
    EXPECT_EQ(SplitUrl(parts, url), expectOk);
    return parts;
}

void ExpectReset(const CUrlParts& p) {
    EXPECT_TRUE(p.schemeName.empty());
    EXPECT_EQ(p.schemeKind, -1);
    EXPECT_TRUE(p.hostName.empty());
    EXPECT_EQ(p.port, 0);
    EXPECT_TRUE(p.userName.empty());
    EXPECT_TRUE(p.password.empty());
    EXPECT_TRUE(p.path.empty());
    EXPECT_TRUE(p.extra.empty());
}

TEST(SplitUrl, GroupwarePageUrl) {
    const CUrlParts p = Split(u"http://host/path/ag.cgi?page=AGIndex#x");
    EXPECT_EQ(p.schemeName, u"http");
    EXPECT_EQ(p.schemeKind, UrlSchemeHttp);
    EXPECT_EQ(p.hostName, u"host");
    EXPECT_EQ(p.port, 80);
    EXPECT_TRUE(p.userName.empty());
    EXPECT_TRUE(p.password.empty());
    EXPECT_EQ(p.path, u"/path/ag.cgi");
    EXPECT_EQ(p.extra, u"?page=AGIndex#x");
}

TEST(SplitUrl, CredentialsAndPort) {
    CUrlParts p = Split(u"https://u:p@host:444");
    EXPECT_EQ(p.schemeKind, UrlSchemeHttps);
    EXPECT_EQ(p.userName, u"u");
    EXPECT_EQ(p.password, u"p");
    EXPECT_EQ(p.hostName, u"host");
    EXPECT_EQ(p.port, 444);
    EXPECT_TRUE(p.path.empty());
    EXPECT_TRUE(p.extra.empty());

    p = Split(u"ftp://u@files.example:2121/pub/a.txt");
    EXPECT_EQ(p.userName, u"u");
    EXPECT_TRUE(p.password.empty());
    EXPECT_EQ(p.hostName, u"files.example");
    EXPECT_EQ(p.port, 2121);
    EXPECT_EQ(p.path, u"/pub/a.txt");

    // A password needs a user name; a second user name fails.
    ExpectReset(Split(u"http://:secret@host/", false));
    ExpectReset(Split(u"http://a@b@host/", false));
    ExpectReset(Split(u"http://a:b@c:d@host/", false));
    ExpectReset(Split(u"http://u@host:1@x/", false));
    EXPECT_EQ(Split(u"http://host:1:2/").port, 1);  // the port text runs to the slash
    // An empty user name without a password is allowed.
    p = Split(u"http://@host/x");
    EXPECT_TRUE(p.userName.empty());
    EXPECT_EQ(p.hostName, u"host");
}

TEST(SplitUrl, PortText) {
    EXPECT_EQ(Split(u"http://host:abc/").port, 0);
    EXPECT_EQ(Split(u"http://host:8080x/").port, 8080);
    EXPECT_EQ(Split(u"http://host:0/").port, 0);                         // explicit: no default
    EXPECT_EQ(Split(u"http://host:65617/").port, 81);                    // low 16 bits
    EXPECT_EQ(Split(u"http://host:99999999999999999999/").port, 65535);  // its value modulo 65536
    EXPECT_EQ(Split(u"http://host:").port, 0);
    // The port text ends at a query or fragment too, which stay the extra part.
    CUrlParts p = Split(u"http://host:80?x");
    EXPECT_EQ(p.hostName, u"host");
    EXPECT_EQ(p.port, 80);
    EXPECT_TRUE(p.path.empty());
    EXPECT_EQ(p.extra, u"?x");
    p = Split(u"http://host:81#top");
    EXPECT_EQ(p.port, 81);
    EXPECT_EQ(p.extra, u"#top");
}

TEST(SplitUrl, SchemeTableAndDefaultPorts) {
    struct Case {
        const char16_t* url;
        int kind;
        uint16_t port;
    } cases[] = {
        {u"ftp://h/", UrlSchemeFtp, 21},
        {u"gopher://h/", UrlSchemeGopher, 70},
        {u"http://h/", UrlSchemeHttp, 80},
        {u"HTTPS://h/", UrlSchemeHttps, 443},
        {u"news://h:119/", UrlSchemeNews, 0},
        {u"socks://h/", UrlSchemeSocks, 1080},
        {u"Socks://h:1081/", UrlSchemeSocks, 1081},
        {u"gopherx://h/", -1, 0},
        {u"x-tavelle://h:7/", -1, 7},
    };
    for (const Case& c : cases) {
        const CUrlParts p = Split(c.url);
        EXPECT_EQ(p.schemeKind, c.kind) << std::string(p.schemeName.begin(), p.schemeName.end());
        EXPECT_EQ(p.port, c.port) << std::string(p.schemeName.begin(), p.schemeName.end());
        EXPECT_EQ(p.hostName, u"h");
    }
    // The name is kept as written.
    EXPECT_EQ(Split(u"HTTPS://h/").schemeName, u"HTTPS");
    // Unknown names are limited to 32 characters.
    EXPECT_EQ(Split(std::u16string(32, u'x') + u"://h/").schemeName, std::u16string(32, u'x'));
    ExpectReset(Split(std::u16string(33, u'x') + u"://h/", false));
}

TEST(SplitUrl, PathAndExtra) {
    CUrlParts p = Split(u"http://host?x");
    EXPECT_EQ(p.hostName, u"host");
    EXPECT_TRUE(p.path.empty());
    EXPECT_EQ(p.extra, u"?x");
    p = Split(u"http://host/a/b#frag?notquery");
    EXPECT_EQ(p.path, u"/a/b");
    EXPECT_EQ(p.extra, u"#frag?notquery");
    // A fragment right after the host ends the host.
    p = Split(u"http://host#frag");
    EXPECT_EQ(p.hostName, u"host");
    EXPECT_EQ(p.extra, u"#frag");
    // No percent-decoding anywhere.
    p = Split(u"http://us%20er@host/a%2Fb?q=%41");
    EXPECT_EQ(p.userName, u"us%20er");
    EXPECT_EQ(p.path, u"/a%2Fb");
    EXPECT_EQ(p.extra, u"?q=%41");
    // Text beyond Latin-1 passes through.
    p = Split(u"http://\u30b5\u30fc\u30d0/\u65e5\u672c");
    EXPECT_EQ(p.hostName, u"\u30b5\u30fc\u30d0");
    EXPECT_EQ(p.path, u"/\u65e5\u672c");
}

TEST(SplitUrl, FileNewsAndMailto) {
    CUrlParts p = Split(u"file:///c:/x?y");
    EXPECT_EQ(p.schemeKind, UrlSchemeFile);
    EXPECT_EQ(p.path, u"/c:/x?y");
    EXPECT_TRUE(p.extra.empty());
    EXPECT_TRUE(p.hostName.empty());
    EXPECT_EQ(p.port, 0);
    p = Split(u"file:c:/dir/a#b");
    EXPECT_EQ(p.path, u"c:/dir/a#b");
    // A single slash after the colon: no authority.
    p = Split(u"news:/comp.lang");
    EXPECT_EQ(p.schemeKind, UrlSchemeNews);
    EXPECT_TRUE(p.hostName.empty());
    EXPECT_EQ(p.path, u"/comp.lang");
    ExpectReset(Split(u"mailto://x", false));
    p = Split(u"mailto:x@y");
    EXPECT_EQ(p.schemeKind, UrlSchemeMailto);
    EXPECT_EQ(p.userName, u"x");
    EXPECT_EQ(p.hostName, u"y");
    EXPECT_EQ(p.port, 0);
}

TEST(SplitUrl, FailuresLeaveThePartsReset) {
    CUrlParts p;
    p.hostName = u"old";
    p.port = 99;
    p.schemeKind = 3;
    EXPECT_FALSE(SplitUrl(p, u"no colon at all"));
    ExpectReset(p);
    ExpectReset(Split(u"host/path", false));
    ExpectReset(Split(u"", false));
    // A success replaces everything from before.
    p.password = u"stale";
    ASSERT_TRUE(SplitUrl(p, u"http://h/"));
    EXPECT_TRUE(p.password.empty());
}

TEST(SplitUrl, PartLimits) {
    const std::u16string host256(256, u'h'), host257(257, u'h');
    EXPECT_EQ(Split(u"http://" + host256 + u"/").hostName, host256);
    ExpectReset(Split(u"http://" + host257 + u"/", false));
    ExpectReset(Split(u"http://" + host257 + u":80/", false));
    ExpectReset(Split(u"http://" + host257, false));
    const std::u16string name128(128, u'u'), name129(129, u'u');
    EXPECT_EQ(Split(u"http://" + name128 + u":" + name128 + u"@h/").password, name128);
    ExpectReset(Split(u"http://" + name129 + u"@h/", false));
    ExpectReset(Split(u"http://" + name129 + u":p@h/", false));
    ExpectReset(Split(u"http://u:" + name129 + u"@h/", false));
    const std::u16string path2048 = u"/" + std::u16string(2047, u'p');
    EXPECT_EQ(Split(u"http://h" + path2048).path, path2048);
    ExpectReset(Split(u"http://h" + path2048 + u"p", false));
    const std::u16string extra2048 = u"?" + std::u16string(2047, u'q');
    EXPECT_EQ(Split(u"http://h/" + extra2048).extra, extra2048);
    ExpectReset(Split(u"http://h/" + extra2048 + u"q", false));
    ExpectReset(Split(u"file://" + path2048 + u"p", false));
    // Very long input of any shape fails cleanly.
    ExpectReset(Split(std::u16string(100000, u'a'), false));
    ExpectReset(Split(u"http://" + std::u16string(100000, u':'), false));
}

TEST(ServerBaseUrl, ReducesGroupwarePageUrls) {
    EXPECT_EQ(GetServerBaseUrl(u"http://host/cgi-bin/ag.exe?page=ScheduleIndex"),
              u"http://host/cgi-bin/ag.exe");
    EXPECT_EQ(GetServerBaseUrl(u"https://gw.example.co.jp:8443/tv/ag.cgi?page=AGIndex"),
              u"https://gw.example.co.jp:8443/tv/ag.cgi");
    EXPECT_EQ(GetServerBaseUrl(u"http://host/ag.cgix/"), u"http://host/ag.cgi");
    EXPECT_EQ(GetServerBaseUrl(u"http://host/ag.exe?"), u"http://host/ag.exe");
    EXPECT_EQ(GetServerBaseUrl(u"http://host/ag.exe"), u"http://host/ag.exe");
    // The last CGI name in the URL, even inside the query.
    EXPECT_EQ(GetServerBaseUrl(u"http://host/a/ag.cgi?page=X&next=http://other/b/ag.cgi"),
              u"http://host/a/ag.cgi?page=X&next=http://other/b/ag.cgi");
    // No base: upper-case scheme, nothing between the slashes and the CGI name, other pages.
    EXPECT_EQ(GetServerBaseUrl(u"HTTP://host/ag.cgi"), u"");
    EXPECT_EQ(GetServerBaseUrl(u"http:///ag.cgi"), u"");
    EXPECT_EQ(GetServerBaseUrl(u"http://host/index.html"), u"");
    EXPECT_EQ(GetServerBaseUrl(u"http://host/AG.CGI"), u"");
    EXPECT_EQ(GetServerBaseUrl(u"http://host/agxcgi"), u"");
    EXPECT_EQ(GetServerBaseUrl(u" http://host/ag.cgi"), u"");
    EXPECT_EQ(GetServerBaseUrl(u""), u"");

    EXPECT_TRUE(IsGroupwareUrl(u"http://host/cgi-bin/ag.exe?page=AGIndex"));
    EXPECT_FALSE(IsGroupwareUrl(u"http://host/cgi-bin/index.cgi"));
}

}  // namespace
}  // namespace tt
