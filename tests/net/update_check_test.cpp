// The update check's decisions: which notice, which address, what is remembered.
#include <gtest/gtest.h>

#include <chrono>
#include <iterator>
#include <mutex>

#include "fakes/clock.h"
#include "fakes/http_client.h"
#include "net/http_client.h"
#include "net/update_check.h"
#include "settings/key_store_memory.h"
#include "settings/toolbar_settings.h"
#include "support/threads.h"

namespace tt {
namespace {

using testing::FakeHttpClient;

constexpr char16_t kVersionUrl[] = u"http://update.example/tools/toolbar/ie-version.txt";
constexpr char16_t kHomePage[] = u"https://www.tavelle.jp/";
constexpr char16_t kUpToDate[] = u"現在のツールバーは最新のバージョンです。";
constexpr char16_t kNoInformation[] =
    u"ネットワーク接続の問題等により最新のツールバー情報を\n確認することができませんでした。";

struct Notice {
    std::u16string message;
    bool question;
};

class FakeNotifier : public IUpdateNotifier {
public:
    int answer = kNoticeOk;
    bool tick = false;
    std::vector<Notice> notices;
    std::vector<std::u16string> opened;

    int ShowNotice(const std::u16string& message, bool questionMode, bool* dontNotifyAgain) override {
        std::lock_guard<tt::CriticalSection> guard(lock_);
        notices.push_back({message, questionMode});
        if (dontNotifyAgain) *dontNotifyAgain = tick;
        return answer;
    }
    void OpenDownloadPage(const std::u16string& address) override {
        std::lock_guard<tt::CriticalSection> guard(lock_);
        opened.push_back(address);
    }

private:
    tt::CriticalSection lock_;
};

class UpdateCheck : public ::testing::Test {
protected:
    UpdateCheck() : settings(store, clock) { settings.Load(false); }

    void Receive(const std::u16string& file, bool manual, const std::u16string& current = u"0.1.1") {
        OnVersionFileReceived(file, manual, current, settings, notifier);
    }

    CMemoryKeyStore store;
    testing::FakeClock clock{{2024, 5, 17, 9, 0, 0}};
    CToolbarSettings settings;
    FakeNotifier notifier;
};

std::u16string OfferFor(const std::u16string& version) {
    return u"\nより新しいバージョン " + version +
           u" が公開されています。\n今すぐ最新の Tavelle(R) ツールバー をインストールしますか?";
}

TEST_F(UpdateCheck, SameVersionIsSilentWhenAutomaticAndSaidWhenAsked) {
    Receive(u"LatestVersion=0.1.1\n", false);
    EXPECT_TRUE(notifier.notices.empty());
    Receive(u"LatestVersion=0.1.1\n", true);
    ASSERT_EQ(notifier.notices.size(), 1u);
    EXPECT_EQ(notifier.notices[0].message, kUpToDate);
    EXPECT_FALSE(notifier.notices[0].question);
}

TEST_F(UpdateCheck, ANewerVersionIsOfferedAndYesOpensTheDownloadAddress) {
    notifier.answer = kNoticeYes;
    Receive(u"LatestVersion=0.1.2\r\nDownloadPath=http://dl.example/toolbar/setup.exe\r\n", false);
    ASSERT_EQ(notifier.notices.size(), 1u);
    EXPECT_TRUE(notifier.notices[0].question);
    EXPECT_EQ(u"\n" + notifier.notices[0].message, OfferFor(u"0.1.2"));
    EXPECT_EQ(notifier.opened, std::vector<std::u16string>{u"http://dl.example/toolbar/setup.exe"});

    notifier.answer = kNoticeNo;
    Receive(u"LatestVersion=0.1.2\nDownloadPath=http://dl.example/\n", true);
    EXPECT_EQ(notifier.notices.size(), 2u);
    EXPECT_EQ(notifier.opened.size(), 1u);  // No opens nothing
    EXPECT_EQ(settings.NoCheckVersion(), u"");
}

TEST_F(UpdateCheck, VersionsCompareAsPlainText) {
    const struct {
        const char16_t* current;
        const char16_t* latest;
        bool offered;
    } cases[] = {
        {u"0.1.1", u"0.1.2", true},   {u"0.1.1", u"0.1.1.1", true}, {u"0.1.10", u"0.1.9", true},
        {u"0.1.9", u"0.1.10", false}, {u"0.2", u"0.10", false},     {u"", u"0.0.1", true},
        {u"1.0", u"1.0", false},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        notifier.notices.clear();
        Receive(std::u16string(u"LatestVersion=") + cases[i].latest + u"\n", true, cases[i].current);
        ASSERT_EQ(notifier.notices.size(), 1u);
        EXPECT_EQ(notifier.notices[0].question, cases[i].offered);
    }
    // Only digits and dots belong to the version.
    notifier.notices.clear();
    Receive(u"LatestVersion=0.1.2rc1\n", true);
    EXPECT_EQ(u"\n" + notifier.notices.at(0).message, OfferFor(u"0.1.2"));
}

TEST_F(UpdateCheck, NoVersionLineMeansNoInformation) {
    for (const char16_t* file : {u"", u"<html>404</html>", u"LatestVersion=\n", u"latestversion=0.2\n"}) {
        notifier.notices.clear();
        Receive(file, false);
        EXPECT_TRUE(notifier.notices.empty());
        Receive(file, true);
        ASSERT_EQ(notifier.notices.size(), 1u);
        EXPECT_EQ(notifier.notices[0].message, kNoInformation);
        EXPECT_FALSE(notifier.notices[0].question);
    }
}

TEST_F(UpdateCheck, TheDownloadAddressFallsBackToTheHomePage) {
    EXPECT_EQ(DownloadAddress(u"DownloadPath=http://dl.example/a\n"), u"http://dl.example/a");
    EXPECT_EQ(DownloadAddress(u"DownloadPath=HTTPS://dl.example/a?b=c#d\r\n"), u"HTTPS://dl.example/a?b=c#d");
    EXPECT_EQ(DownloadAddress(u"LatestVersion=1\nDownloadPath=http://dl.example/a"),
              kHomePage);  // no line break
    EXPECT_EQ(DownloadAddress(u"LatestVersion=1\n"), kHomePage);
    // The address comes from a file anybody on the way could have written: only a plain
    // absolute web address may reach the browser's command line.
    for (const char16_t* bad :
         {u"DownloadPath=file:///c:/windows/system32/calc.exe\n", u"DownloadPath=javascript:alert(1)\n",
          u"DownloadPath=C:\\setup.exe\n", u"DownloadPath=http://dl.example/a -extoff\n",
          u"DownloadPath=http://dl.example/\"a\n", u"DownloadPath=http:///nohost\n",
          u"DownloadPath=http://dl.example/\ta\n", u"DownloadPath= http://dl.example/\n"}) {
        EXPECT_EQ(DownloadAddress(bad), kHomePage);
    }
}

TEST_F(UpdateCheck, AnOfferWithABadAddressSendsTheUserHome) {
    notifier.answer = kNoticeYes;
    Receive(u"LatestVersion=9\nDownloadPath=\"http://x/\" -nohome\n", true);
    EXPECT_EQ(notifier.opened, std::vector<std::u16string>{kHomePage});
}

TEST_F(UpdateCheck, TheCheckBoxSilencesOneVersionForAutomaticChecks) {
    notifier.answer = kNoticeNo;
    notifier.tick = true;
    Receive(u"LatestVersion=0.1.2\n", false);
    EXPECT_EQ(settings.NoCheckVersion(), u"0.1.2");
    // It was saved with the run bookkeeping: a new settings object reads it back.
    CToolbarSettings reloaded(store, clock);
    reloaded.Load(false);
    EXPECT_EQ(reloaded.NoCheckVersion(), u"0.1.2");

    notifier.notices.clear();
    Receive(u"LatestVersion=0.1.2\n", false);
    EXPECT_TRUE(notifier.notices.empty());
    Receive(u"LatestVersion=0.1.2\n", true);  // asked from the menu: still offered
    EXPECT_EQ(notifier.notices.size(), 1u);
    Receive(u"LatestVersion=0.1.3\n", false);  // the next version is announced again
    EXPECT_EQ(notifier.notices.size(), 2u);
}

TEST_F(UpdateCheck, OnlyNoWithTheBoxTickedRemembers) {
    notifier.tick = true;
    for (int answer : {kNoticeYes, 2 /* Esc */}) {
        notifier.answer = answer;
        Receive(u"LatestVersion=0.1.2\n", false);
        EXPECT_EQ(settings.NoCheckVersion(), u"") << answer;
    }
    notifier.tick = false;
    notifier.answer = kNoticeNo;
    Receive(u"LatestVersion=0.1.2\n", false);
    EXPECT_EQ(settings.NoCheckVersion(), u"");
}

TEST_F(UpdateCheck, AutomaticChecksRunOnlyWhenDueManualOnesAlways) {
    FakeHttpClient http;
    http.Answer(kVersionUrl, u"LatestVersion=0.1.1\n");
    // A fresh store: the first run is due.
    ASSERT_TRUE(settings.UpdateCheckDue());
    EXPECT_TRUE(StartVersionCheck(true, settings, http, notifier, kVersionUrl, u"0.1.1"));
    ASSERT_TRUE(WaitForHttpJobs(std::chrono::seconds(10)));
    EXPECT_TRUE(StartVersionCheck(true, settings, http, notifier, kVersionUrl, u"0.1.1"));  // still due
    ASSERT_TRUE(WaitForHttpJobs(std::chrono::seconds(10)));
    EXPECT_TRUE(notifier.notices.empty());

    // A second process of the same day finds today's start recorded: not due.
    CToolbarSettings later(store, clock);
    later.Load(false);
    ASSERT_FALSE(later.UpdateCheckDue());
    EXPECT_FALSE(StartVersionCheck(true, later, http, notifier, kVersionUrl, u"0.1.1"));
    EXPECT_TRUE(StartVersionCheck(false, later, http, notifier, kVersionUrl, u"0.1.1"));
    ASSERT_TRUE(WaitForHttpJobs(std::chrono::seconds(10)));
    EXPECT_EQ(http.RequestCount(), 3u);
    for (const auto& r : http.Requests()) {
        EXPECT_EQ(r.url, kVersionUrl);
        EXPECT_EQ(r.verb, u"GET");
        EXPECT_EQ(r.headers, u"");
        EXPECT_EQ(r.body, u"");
    }
    ASSERT_EQ(notifier.notices.size(), 1u);
    EXPECT_EQ(notifier.notices[0].message, kUpToDate);
}

}  // namespace
}  // namespace tt
