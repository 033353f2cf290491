// The test browser against the stand-in groupware server (tools/standin_server.py), started by
// scripts/tests.d/host_standin.sh, which names it in TT_STANDIN_URL. Without it these skip.
#include <gtest/gtest.h>

#include <string>

#include "host/host_test_support_win.h"
#include "host/host_window_win.h"

namespace tthost {
namespace {

std::wstring StandinUrl() {
    wchar_t buf[256] = {};
    const DWORD n = GetEnvironmentVariableW(L"TT_STANDIN_URL", buf, 256);
    return n > 0 && n < 256 ? std::wstring(buf) : std::wstring();
}

class StandinServer : public ComTest {
protected:
    void SetUp() override {
        ComTest::SetUp();
        base_ = StandinUrl();
        if (base_.empty()) GTEST_SKIP() << "TT_STANDIN_URL is not set";
        HostSession control;
        ASSERT_TRUE(control.Fetch(L"POST", base_ + L"/__reset", L"", {}).answered);
    }
    std::wstring base_;
};

ComPtr<IHTMLDocument2> DocumentOf(FakeBrowser* browser) {
    ComPtr<IDispatch> disp;
    browser->get_Document(disp.GetAddressOf());
    ComPtr<IHTMLDocument2> doc;
    if (disp) disp.As(&doc);
    return doc;
}

std::wstring Text(HRESULT (STDMETHODCALLTYPE IHTMLDocument2::*get)(BSTR*), IHTMLDocument2* doc) {
    BSTR b = nullptr;
    (doc->*get)(&b);
    std::wstring s = FromBstr(b);
    SysFreeString(b);
    return s;
}

TEST_F(StandinServer, TheLogInPageIsFilledSubmittedAndTheSessionCookieComesBack) {
    HostWindow host;
    FakeBrowser* browser = host.Browser();
    const std::wstring cgi = base_ + L"/tv/ag.cgi";
    browser->UserNavigate(cgi + L"?page=AGIndex");
    ASSERT_TRUE(host.RunUntilIdle());
    ComPtr<IHTMLDocument2> doc = DocumentOf(browser);
    ASSERT_TRUE(doc);
    EXPECT_EQ(L"ログイン - Tavelle(R) Office", Text(&IHTMLDocument2::get_title, doc.Get()));
    EXPECT_EQ(0, Text(&IHTMLDocument2::get_mimeType, doc.Get()).compare(0, 4, L"HTML"));
    EXPECT_EQ(L"", Text(&IHTMLDocument2::get_cookie, doc.Get()));

    FakeFormElement* form = browser->Document()->FindForm(L"LoginForm");
    ASSERT_TRUE(form);
    ASSERT_TRUE(form->FindField(L"_Account") && form->FindField(L"Password"));
    BSTR user = SysAllocString(L"taro"), pass = SysAllocString(L"secret");
    form->FindField(L"_Account")->put_innerText(user);
    form->FindField(L"Password")->put_innerText(pass);
    SysFreeString(user);
    SysFreeString(pass);
    form->submit();
    ASSERT_TRUE(host.RunUntilIdle());

    doc = DocumentOf(browser);
    EXPECT_EQ(L"AGIndex - Tavelle(R) Office", Text(&IHTMLDocument2::get_title, doc.Get()));
    EXPECT_EQ(0, Text(&IHTMLDocument2::get_cookie, doc.Get()).find(L"AGSESSID=")) << "the session cookie";
    ASSERT_EQ(1u, browser->Submissions().size());
    EXPECT_EQ("_System=login&_Login=1&_Account=taro&Password=secret", browser->Submissions()[0].body);

    // From now on the session carries the log-in.
    browser->UserNavigate(cgi + L"?page=ToDoIndex");
    ASSERT_TRUE(host.RunUntilIdle());
    EXPECT_EQ(L"ToDoIndex - Tavelle(R) Office", browser->Document()->Title());
}

TEST_F(StandinServer, ANavigationWithTheToolbarsLogInBodyLogsIn) {
    HostWindow host;
    FakeBrowser* browser = host.Browser();
    const std::wstring url = base_ + L"/tv/ag.cgi?page=ScheduleUserMonth";
    const std::string body("_System=login&_Login=1&_Account=taro&Password=secret&page=ScheduleUserMonth\0",
                           77);
    VARIANT vUrl, vFlags, vPost, vHeaders;
    VariantInit(&vUrl);
    VariantInit(&vFlags);
    VariantInit(&vPost);
    VariantInit(&vHeaders);
    V_VT(&vUrl) = VT_BSTR;
    V_BSTR(&vUrl) = SysAllocString(url.c_str());
    V_VT(&vFlags) = VT_I4;
    V_I4(&vFlags) = 12;
    V_VT(&vPost) = VT_ARRAY | VT_UI1;
    V_ARRAY(&vPost) = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(body.size()));
    void* data = nullptr;
    SafeArrayAccessData(V_ARRAY(&vPost), &data);
    memcpy(data, body.data(), body.size());
    SafeArrayUnaccessData(V_ARRAY(&vPost));
    V_VT(&vHeaders) = VT_BSTR;
    V_BSTR(&vHeaders) =
        SysAllocString(L"Pragma: no-cache\nContent-Type: application/x-www-form-urlencoded\n");
    EXPECT_EQ(S_OK, browser->Navigate2(&vUrl, &vFlags, nullptr, &vPost, &vHeaders));
    ASSERT_TRUE(host.RunUntilIdle());
    EXPECT_EQ(L"ScheduleUserMonth - Tavelle(R) Office", browser->Document()->Title());
    EXPECT_NE(std::wstring::npos, browser->Document()->Page().title.find(L"ScheduleUserMonth"));
    EXPECT_EQ(0u, browser->Session().CookiesFor(url).find(L"AGSESSID="));
    VariantClear(&vUrl);
    VariantClear(&vPost);
    VariantClear(&vHeaders);
}

}  // namespace
}  // namespace tthost
