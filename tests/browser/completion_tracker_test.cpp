// When a browser window's page counts as completed: per document of any frame, and once at
// the end of a reload of the top page (downloads without navigation).
#include <gtest/gtest.h>

#include <string>

#include "browser/completion_tracker.h"
#include "browser/page_complete.h"

namespace {

using tt::CompletionTracker;

// Feeds DocumentComplete as the helper object does: report, then count the document done.
int CompleteDocument(CompletionTracker& t, bool top, bool busy) {
    if (!t.OnDocumentComplete(top, busy)) return 0;
    t.DocumentReported();
    return 1;
}

TEST(CompletionTracker, NavigationWithFramesReportsEachDocumentOnce) {
    CompletionTracker t;
    t.OnBeforeNavigate(true);
    t.OnBeforeNavigate(false);  // a frame
    t.OnBeforeNavigate(false);  // another frame
    EXPECT_EQ(3, t.PendingNavigations());

    // Frames report even while the top browser is busy.
    EXPECT_EQ(1, CompleteDocument(t, false, true));
    EXPECT_EQ(1, CompleteDocument(t, false, true));
    // The top document while busy reports nothing and leaves the count alone.
    EXPECT_EQ(0, CompleteDocument(t, true, true));
    EXPECT_EQ(1, t.PendingNavigations());
    EXPECT_EQ(1, CompleteDocument(t, true, false));
    EXPECT_EQ(0, t.PendingNavigations());
    // More completions than navigations never drive the count below zero.
    EXPECT_EQ(1, CompleteDocument(t, false, false));
    EXPECT_EQ(0, t.PendingNavigations());
}

TEST(CompletionTracker, ReloadReportsOnceWhenItsLastDownloadCompletes) {
    CompletionTracker t;
    t.OnBeforeNavigate(true);
    CompleteDocument(t, true, false);
    ASSERT_EQ(0, t.PendingNavigations());

    t.OnDownloadBegin();
    t.OnDownloadBegin();
    EXPECT_TRUE(t.ReloadPending());
    EXPECT_FALSE(t.OnDownloadComplete());
    EXPECT_TRUE(t.OnDownloadComplete()) << "the last download of the reload reports the page";
    EXPECT_FALSE(t.ReloadPending());
    // A stray completion afterwards reports nothing more.
    EXPECT_FALSE(t.OnDownloadComplete());
    EXPECT_EQ(0, t.ActiveDownloads());
}

TEST(CompletionTracker, DownloadsDuringANavigationAreNoReload) {
    CompletionTracker t;
    t.OnBeforeNavigate(true);
    t.OnDownloadBegin();
    EXPECT_FALSE(t.ReloadPending());
    EXPECT_FALSE(t.OnDownloadComplete());

    // A top document that completed while busy leaves the navigation pending, so later
    // downloads are not taken for a reload ...
    EXPECT_EQ(0, CompleteDocument(t, true, true));
    t.OnDownloadBegin();
    EXPECT_FALSE(t.OnDownloadComplete());
    // ... until the next top-level navigation starts counting afresh.
    t.OnBeforeNavigate(true);
    EXPECT_EQ(1, t.PendingNavigations());
    EXPECT_EQ(0, t.ActiveDownloads());
}

TEST(CompletionTracker, TopLevelNavigationResetsAnUnfinishedReload) {
    CompletionTracker t;
    t.OnDownloadBegin();
    EXPECT_TRUE(t.ReloadPending());
    t.OnBeforeNavigate(true);
    EXPECT_FALSE(t.ReloadPending());
    EXPECT_EQ(0, t.ActiveDownloads());
    EXPECT_FALSE(t.OnDownloadComplete());
}

TEST(PageComplete, DecidesBetweenOfferLogInHandlingAndNothing) {
    using tt::DecidePageComplete;
    using tt::PageCompleteAction;
    const std::u16string base = u"http://gw.example/cgi-bin/ag.cgi";

    // No server stored: a groupware page makes an offer, any other page nothing.
    EXPECT_EQ(PageCompleteAction::AutomaticSetting,
              DecidePageComplete(u"", base + u"?page=AGIndex", base, true));
    EXPECT_EQ(PageCompleteAction::None, DecidePageComplete(u"", u"http://other.example/", u"", true));

    // A server stored: only addresses beginning with it, letter case included.
    EXPECT_EQ(PageCompleteAction::ServerPage, DecidePageComplete(base, base + u"?page=AGIndex", u"", true));
    EXPECT_EQ(PageCompleteAction::None,
              DecidePageComplete(base, u"HTTP://gw.example/cgi-bin/ag.cgi?page=AGIndex", u"", true));
    EXPECT_EQ(PageCompleteAction::None, DecidePageComplete(base, u"http://gw.example/cgi-bin/ag", u"", true));
    // Pages of another groupware server make no offer once a server is stored.
    EXPECT_EQ(PageCompleteAction::None, DecidePageComplete(base, u"http://other.example/ag.exe?page=AGIndex",
                                                           u"http://other.example/ag.exe", true));
}

// Look-alike hosts, user names, ports and hidden frames go through the test browser
// (auto_login_e2e_win_test.cpp); these are the stored URLs that the options let through.
TEST(PageComplete, TheStoredUrlAsTypedVouchesOnlyForItsOwnHost) {
    using tt::PageCompleteAction;
    auto decide = [](const std::u16string& server, const std::u16string& url) {
        return tt::DecidePageComplete(server, url, u"", true);
    };
    EXPECT_EQ(PageCompleteAction::ServerPage, decide(u"http://10.0.0.1", u"http://10.0.0.1?page=AGIndex"));
    EXPECT_EQ(PageCompleteAction::None, decide(u"http://10.0.0.1", u"http://10.0.0.12/ag.cgi"));
    EXPECT_EQ(PageCompleteAction::None, decide(u"http://gw", u"https://gw/ag.cgi"));
    // The browser reports scheme and host in lower case, whatever the user typed; the path's
    // case counts.
    EXPECT_EQ(PageCompleteAction::ServerPage,
              decide(u"HTTP://GW.Example/ag.cgi", u"http://gw.example/ag.cgi?page=X"));
    EXPECT_EQ(PageCompleteAction::None,
              decide(u"http://gw.example/AG.cgi", u"http://gw.example/ag.cgi?page=X"));
    // A stored URL without a host vouches for no page at all.
    EXPECT_EQ(PageCompleteAction::None, decide(u"http://", u"http://evil.example/"));
    EXPECT_EQ(PageCompleteAction::None, decide(u"gw", u"gw.evil.example"));
}

}  // namespace
