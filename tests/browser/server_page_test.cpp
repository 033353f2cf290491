// The log-in handling of a completed server page: the log-in page is filled and submitted at
// most once, any other page records the log-in and its cookie.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "browser/server_page.h"
#include "settings/process_state.h"

namespace {

using tt::ServerPageOutcome;

const std::u16string kLoginTitle = u"ログイン - Tavelle(R) Office";

struct FormLog {
    int fills = 0;
    int submits = 0;
    std::u16string account;
    std::u16string password;
};

class FakeForm final : public tt::ILoginForm {
public:
    explicit FakeForm(FormLog& log) : log_(log) {}
    void Fill(const std::u16string& account, const std::u16string& password) override {
        ++log_.fills;
        log_.account = account;
        log_.password = password;
    }
    void Submit() override { ++log_.submits; }

private:
    FormLog& log_;
};

class FakeDocument final : public tt::IServerDocument {
public:
    std::u16string mime = u"HTML ドキュメント";
    std::u16string title = kLoginTitle;
    std::u16string cookie = u"sid=42";
    bool hasForm = true;
    bool hasAccount = true;
    bool hasPassword = true;
    FormLog log;
    std::u16string askedForm, askedAccount, askedPassword;

    std::u16string MimeType() override { return mime; }
    std::u16string Title() override { return title; }
    std::u16string Cookie() override { return cookie; }
    std::unique_ptr<tt::ILoginForm> FindLoginForm(const std::u16string& form, const std::u16string& account,
                                                  const std::u16string& password) override {
        askedForm = form;
        askedAccount = account;
        askedPassword = password;
        if (!hasForm || !hasAccount || !hasPassword) return nullptr;
        return std::make_unique<FakeForm>(log);
    }
};

class ServerPageTest : public ::testing::Test {
protected:
    tt::CProcessState state;
    const std::u16string base = u"http://gw.example/cgi-bin/ag.cgi";
    bool autoLogin = true;
    std::u16string user = u"yamada";
    std::u16string password = u"p&ss=word";
    int passwordReads = 0;

    tt::LoginAccount Account() {
        return tt::LoginAccount{
            [this] { return autoLogin; },
            [this] { return user; },
            [this] {
                ++passwordReads;
                return password;
            },
        };
    }
    ServerPageOutcome Handle(FakeDocument& doc) { return tt::HandleServerPage(doc, state, base, Account()); }
};

TEST_F(ServerPageTest, LoginPageIsFilledAndSubmittedOnceWithTheStoredAccount) {
    state.SetGroupwareCookie(base, u"old=1");
    FakeDocument doc;
    EXPECT_EQ(ServerPageOutcome::LoginSubmitted, Handle(doc));
    EXPECT_EQ(u"LoginForm", doc.askedForm);
    EXPECT_EQ(u"_Account", doc.askedAccount);
    EXPECT_EQ(u"Password", doc.askedPassword);
    EXPECT_EQ(1, doc.log.submits);
    EXPECT_EQ(u"yamada", doc.log.account);
    EXPECT_EQ(u"p&ss=word", doc.log.password) << "the form takes the password as it is";
    EXPECT_EQ(u"", state.GroupwareCookie(base)) << "the log-in page empties the cookie";

    // The server answers a wrong password with the log-in page again: no second submission.
    FakeDocument again;
    EXPECT_EQ(ServerPageOutcome::LoginLeftAlone, Handle(again));
    EXPECT_EQ(0, again.log.submits);
}

TEST_F(ServerPageTest, AnotherServerPageRecordsTheLoginAndItsCookie) {
    FakeDocument page;
    page.title = u"トップページ";
    EXPECT_EQ(ServerPageOutcome::LoggedIn, Handle(page));
    EXPECT_TRUE(state.LoginSeen(base));
    EXPECT_EQ(u"sid=42", state.GroupwareCookie(base));
    EXPECT_EQ(0, passwordReads);

    // After that a log-in page (a log-out) is left alone but still empties the cookie.
    FakeDocument login;
    EXPECT_EQ(ServerPageOutcome::LoginLeftAlone, Handle(login));
    EXPECT_EQ(0, login.log.submits);
    EXPECT_EQ(u"", state.GroupwareCookie(base));

    // Applying the settings again (loginSeen cleared) allows one more automatic log-in.
    state.SetLoginSeen(base, false);
    FakeDocument after;
    EXPECT_EQ(ServerPageOutcome::LoginSubmitted, Handle(after));
    EXPECT_EQ(1, after.log.submits);
}

TEST_F(ServerPageTest, TitleMustMatchExactly) {
    FakeDocument page;
    page.title = kLoginTitle + u" ";
    EXPECT_EQ(ServerPageOutcome::LoggedIn, Handle(page));
    EXPECT_EQ(0, page.log.submits);
    EXPECT_TRUE(state.LoginSeen(base));
    EXPECT_EQ(u"sid=42", state.GroupwareCookie(base));
}

TEST_F(ServerPageTest, AutomaticLoginOffLeavesTheFormButEmptiesTheCookie) {
    autoLogin = false;
    state.SetGroupwareCookie(base, u"old=1");
    FakeDocument doc;
    EXPECT_EQ(ServerPageOutcome::LoginLeftAlone, Handle(doc));
    EXPECT_EQ(0, doc.log.fills);
    EXPECT_EQ(u"", state.GroupwareCookie(base));
    EXPECT_FALSE(state.LoginSeen(base));
    EXPECT_EQ(0, passwordReads) << "the password is not decrypted for nothing";
}

TEST_F(ServerPageTest, NonHtmlDocumentChangesNothing) {
    state.SetGroupwareCookie(base, u"old=1");
    for (const char16_t* mime : {u"JPEG イメージ", u"Text Document", u"html document"}) {
        FakeDocument doc;
        doc.mime = mime;
        EXPECT_EQ(ServerPageOutcome::NotHtml, Handle(doc));
        EXPECT_EQ(0, doc.log.fills);
    }
    EXPECT_EQ(u"old=1", state.GroupwareCookie(base));
    EXPECT_FALSE(state.LoginSeen(base));

    // An unknown type (empty description) counts as HTML.
    FakeDocument unknown;
    unknown.mime = u"";
    EXPECT_EQ(ServerPageOutcome::LoginSubmitted, Handle(unknown));
}

TEST_F(ServerPageTest, MissingFormOrFieldSubmitsNothingAndKeepsTheTurn) {
    for (int missing = 0; missing < 3; ++missing) {
        FakeDocument doc;
        doc.hasForm = missing != 0;
        doc.hasAccount = missing != 1;
        doc.hasPassword = missing != 2;
        EXPECT_EQ(ServerPageOutcome::LoginFormMissing, Handle(doc));
        EXPECT_EQ(0, doc.log.fills);
        EXPECT_EQ(0, doc.log.submits);
        EXPECT_FALSE(state.LoginSeen(base))
            << "nothing was sent, so the next log-in page may still be filled";
    }
    FakeDocument complete;
    EXPECT_EQ(ServerPageOutcome::LoginSubmitted, Handle(complete));
}

TEST_F(ServerPageTest, EmptyUserNameStillSubmits) {
    user.clear();
    password.clear();
    FakeDocument doc;
    EXPECT_EQ(ServerPageOutcome::LoginSubmitted, Handle(doc));
    EXPECT_EQ(1, doc.log.fills);
    EXPECT_EQ(u"", doc.log.account);
    EXPECT_EQ(1, doc.log.submits);
}

TEST_F(ServerPageTest, ToolbarLoginPostCountsAsSent) {
    // The toolbar sent its log-in body with a navigation (loginSeen set by the navigator).
    state.SetLoginSeen(base, true);
    FakeDocument doc;
    EXPECT_EQ(ServerPageOutcome::LoginLeftAlone, Handle(doc));
    EXPECT_EQ(0, doc.log.submits);
}

}  // namespace
