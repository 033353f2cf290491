// The background request and the parts of the client that need no network.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "fakes/http_client.h"
#include "net/http_client.h"
#include "net/text_fields.h"
#include "settings/toolbar_settings.h"
#include "support/fault_guard.h"
#include "support/threads.h"

namespace tt {
namespace {

using testing::FakeHttpClient;

TEST(HttpClient, TheBackgroundRequestRunsTheCallbackOnItsOwnThread) {
    FakeHttpClient http;
    http.Answer(u"http://h/v.txt", u"LatestVersion=1\n");
    ManualResetEvent done;
    CHttpResult seen;
    ThreadId callbackThread = 0;
    ASSERT_TRUE(StartHttpRequestThread(
        http,
        [&](CHttpResult& result) {
            seen = result;
            callbackThread = CurrentThreadId();
            done.Set();
        },
        u"http://h/v.txt", u"GET", u"X: 1\n", u"a=b", 42));
    ASSERT_TRUE(done.Wait(10000));
    ASSERT_TRUE(WaitForHttpJobs(std::chrono::seconds(10)));
    EXPECT_EQ(RunningHttpJobs(), 0u);
    EXPECT_EQ(seen.text, u"LatestVersion=1\n");
    EXPECT_EQ(seen.callerValue, 42u);
    EXPECT_EQ(seen.requestingThread, CurrentThreadId());
    EXPECT_EQ(seen.requester, &theSettings);
    EXPECT_NE(callbackThread, CurrentThreadId());
    ASSERT_EQ(http.RequestCount(), 1u);
    const auto r = http.Requests()[0];
    EXPECT_EQ(r.verb, u"GET");
    EXPECT_EQ(r.headers, u"X: 1\n");
    EXPECT_EQ(r.body, u"a=b");
}

TEST(HttpClient, AFaultInTheCallbackEndsAtTheThreadsGuard) {
    static std::atomic<int> logged{0};
    logged = 0;
    SetDebugOutputSink([](const std::u16string& line) {
        if (line == u"Exception code: c000001d\n") ++logged;
    });
    FakeHttpClient http;
    ASSERT_TRUE(StartHttpRequestThread(
        http, [](CHttpResult&) { RaiseFault(); }, u"http://h/", u"GET", u"", u"", 0));
    ASSERT_TRUE(WaitForHttpJobs(std::chrono::seconds(10)));
    SetDebugOutputSink(nullptr);
    EXPECT_EQ(logged.load(), 1);
}

TEST(HttpClient, CharsetNamesAsContentTypeDeclaresThem) {
    EXPECT_EQ(CharsetNameFromContentType(u"text/plain; charset=EUC-JP"), u"EUC-JP");
    EXPECT_EQ(CharsetNameFromContentType(u"text/html;charset=Shift_JIS"), u"Shift");  // '_' ends the name
    EXPECT_EQ(CharsetNameFromContentType(u"text/plain; charset=utf-8; format=flowed"), u"utf-8");
    EXPECT_EQ(CharsetNameFromContentType(u"text/plain; Charset=UTF-8"), u"");  // case-sensitive
    EXPECT_EQ(CharsetNameFromContentType(u"text/plain; CHARSET=UTF-8"), u"");
    EXPECT_EQ(CharsetNameFromContentType(u"text/plain; charset=\"UTF-8\""), u"");
    EXPECT_EQ(CharsetNameFromContentType(u"text/plain"), u"");
    EXPECT_EQ(CharsetNameFromContentType(u""), u"");
}

TEST(HttpClient, RequestFlags) {
    EXPECT_EQ(HttpRequestFlags(false), 0x80080200u);
    EXPECT_EQ(HttpRequestFlags(true), 0x80C80200u);
}

TEST(TextFields, LineValuesAndTemplates) {
    EXPECT_EQ(ExtractLineValue(u"a=1\nDownloadPath=http://x/\r\n", u"DownloadPath"), u"http://x/");
    EXPECT_EQ(ExtractLineValue(u"DownloadPath=http://x/", u"DownloadPath"), u"");
    EXPECT_EQ(ExtractLineValue(u"DownloadPath=\n\n", u"DownloadPath"), u"\n");
    EXPECT_EQ(FillTemplate(u"%s and %s, %s", {u"a", u"%s"}), u"a and %s, %s");
    EXPECT_EQ(FillTemplate(u"100%", {u"x"}), u"100%");
}

}  // namespace
}  // namespace tt
