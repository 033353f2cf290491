// The test browser plays the real one for the helper object and the band: these tests hold it
// to the browser's contract (argument types and order of the events, their sequence, what
// Navigate2 and a form really send, cookies).
#include <gtest/gtest.h>

#include "host/host_test_support_win.h"
#include "host/local_http_server_win.h"

namespace tthost {
namespace {

using Browser = ComTest;

const char kLoginPage[] =
    "<html><head><meta charset=\"utf-8\"><title>ログイン - Tavelle(R) Office</title></head><body>"
    "<form name=\"LoginForm\" action=\"ag.cgi\" method=\"post\">"
    "<input type=\"hidden\" name=\"_System\" value=\"login\">"
    "<input type=\"hidden\" name=\"_Login\" value=\"1\">"
    "<input type=text name=_Account value=\"\">"
    "<input type=password name=Password>"
    "<input type=submit name=Submit value=\"ログイン\">"
    "</form></body></html>";

VARIANT Bstr(const wchar_t* s) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(s);
    return v;
}

VARIANT I4(long n) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = n;
    return v;
}

VARIANT Bytes(const std::string& bytes) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_ARRAY | VT_UI1;
    V_ARRAY(&v) = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    void* data = nullptr;
    SafeArrayAccessData(V_ARRAY(&v), &data);
    memcpy(data, bytes.data(), bytes.size());
    SafeArrayUnaccessData(V_ARRAY(&v));
    return v;
}

TEST_F(Browser, Navigate2RecordsEveryArgumentAsGivenAndPostsTheBytes) {
    LocalHttpServer server;
    ASSERT_TRUE(server.Started());
    server.Page("/ag.cgi", "text/html", "<html><head><title>Top</title></head></html>");
    ComPtr<FakeBrowser> browser = FakeBrowser::Create(nullptr, nullptr);
    const std::wstring url = server.Url(L"/ag.cgi?page=ToDoIndex");
    // The body with its terminating zero, as the toolbar sends it.
    VARIANT vUrl = Bstr(url.c_str()), vFlags = I4(12), vTarget, vPost = Bytes(std::string("a=1&b=2\0", 8)),
            vHeaders = Bstr(L"Pragma: no-cache\nContent-Type: application/x-www-form-urlencoded\n");
    VariantInit(&vTarget);
    EXPECT_EQ(S_OK, browser->Navigate2(&vUrl, &vFlags, &vTarget, &vPost, &vHeaders));
    ASSERT_TRUE(browser->RunUntilIdle());

    ASSERT_EQ(1u, browser->NavigateCalls().size());
    const NavigateCall& call = browser->NavigateCalls()[0];
    EXPECT_EQ(VT_BSTR, call.urlType);
    EXPECT_EQ(url, call.url);
    EXPECT_EQ(VT_I4, call.flagsType);
    EXPECT_EQ(12, call.flags);
    EXPECT_EQ(VT_EMPTY, call.targetType);
    EXPECT_EQ(VT_ARRAY | VT_UI1, call.postDataType);
    EXPECT_EQ(std::vector<uint8_t>({'a', '=', '1', '&', 'b', '=', '2', 0}), call.postData);
    EXPECT_EQ(L"Pragma: no-cache\nContent-Type: application/x-www-form-urlencoded\n", call.headers);

    const auto requests = server.Requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("POST", requests[0].method);
    EXPECT_EQ("/ag.cgi?page=ToDoIndex", requests[0].target);
    EXPECT_EQ(std::string("a=1&b=2\0", 8), requests[0].body);
    EXPECT_EQ("no-cache", requests[0].Header("Pragma"));
    EXPECT_EQ("application/x-www-form-urlencoded", requests[0].Header("Content-Type"));
    ASSERT_NE(nullptr, browser->Document());
    EXPECT_EQ(L"Top", browser->Document()->Title());
    VariantClear(&vUrl);
    VariantClear(&vPost);
    VariantClear(&vHeaders);
}

TEST_F(Browser, Navigate2AcceptsArgumentsPassedByReferenceAndRejectsAMissingUrl) {
    ComPtr<FakeBrowser> browser = FakeBrowser::Create(nullptr, nullptr);
    VARIANT inner = Bytes("xy"), outer;
    VariantInit(&outer);
    V_VT(&outer) = VT_VARIANT | VT_BYREF;
    V_VARIANTREF(&outer) = &inner;
    VARIANT none;
    VariantInit(&none);
    EXPECT_EQ(E_INVALIDARG, browser->Navigate2(&none, &none, &none, &outer, &none));
    ASSERT_EQ(1u, browser->NavigateCalls().size());
    EXPECT_EQ(VT_ARRAY | VT_UI1, browser->NavigateCalls()[0].postDataType);
    EXPECT_EQ(std::vector<uint8_t>({'x', 'y'}), browser->NavigateCalls()[0].postData);
    EXPECT_EQ(1, browser->CountCalls(L"Navigate2"));
    EXPECT_TRUE(browser->Navigations().empty());
    VariantClear(&inner);
}

TEST_F(Browser, APageFiresTheBrowsersEventsInOrderWithItsArgumentTypes) {
    LocalHttpServer server;
    server.Page("/p", "text/html; charset=utf-8", "<title>P</title>");
    ComPtr<FakeBrowser> browser = FakeBrowser::Create(nullptr, nullptr);
    DWORD cookie = 0;
    ComPtr<RecordingSink> sink = AdviseSink(browser.Get(), &cookie);
    bool busyAtComplete = true;
    sink->onEvent = [&](DISPID id, DISPPARAMS*) {
        VARIANT_BOOL busy = VARIANT_TRUE;
        if (id == DISPID_DOCUMENTCOMPLETE && SUCCEEDED(browser->get_Busy(&busy)))
            busyAtComplete = busy != VARIANT_FALSE;
    };
    browser->UserNavigate(server.Url(L"/p"));
    EXPECT_TRUE(sink->events.empty()) << "events wait for the message loop";
    ASSERT_TRUE(browser->RunUntilIdle());

    EXPECT_EQ(std::vector<DISPID>({DISPID_BEFORENAVIGATE2, DISPID_DOWNLOADBEGIN, DISPID_NAVIGATECOMPLETE2,
                                   DISPID_DOWNLOADCOMPLETE, DISPID_DOCUMENTCOMPLETE}),
              sink->Ids());
    const SeenEvent& before = sink->events[0];
    // Arguments come last-first: Cancel, Headers, PostData, TargetFrameName, Flags, URL, pDisp.
    EXPECT_EQ(std::vector<VARTYPE>({VT_BOOL | VT_BYREF, VT_VARIANT | VT_BYREF, VT_VARIANT | VT_BYREF,
                                    VT_VARIANT | VT_BYREF, VT_VARIANT | VT_BYREF, VT_VARIANT | VT_BYREF,
                                    VT_DISPATCH}),
              before.types);
    EXPECT_EQ(server.Url(L"/p"), before.url);
    EXPECT_EQ(static_cast<IUnknown*>(static_cast<IWebBrowser2*>(browser.Get())), before.browser);
    EXPECT_FALSE(before.hadPostArray);
    EXPECT_EQ(DISPATCH_METHOD, before.flags);
    EXPECT_TRUE(sink->events[1].types.empty());
    const SeenEvent& complete = sink->events[4];
    EXPECT_EQ(std::vector<VARTYPE>({VT_VARIANT | VT_BYREF, VT_DISPATCH}), complete.types);
    EXPECT_EQ(server.Url(L"/p"), complete.url);
    EXPECT_FALSE(busyAtComplete);
    EXPECT_EQ(server.Url(L"/p"), browser->Location());

    ComPtr<IConnectionPoint> cp;
    ASSERT_EQ(S_OK, browser->FindConnectionPoint(DIID_DWebBrowserEvents2, cp.GetAddressOf()));
    EXPECT_EQ(S_OK, cp->Unadvise(cookie));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, cp->Unadvise(cookie));
}

TEST_F(Browser, FramesCompleteAsBrowsersOfTheirOwnBeforeTheTopDocument) {
    LocalHttpServer server;
    server.Page("/top", "text/html",
                "<title>Frames</title><frameset><frame name=\"left\" src=\"a\"><frame name=right "
                "src=\"/b\"></frameset>");
    server.Page("/a", "text/html", "<title>A</title>");
    server.Page("/b", "text/html", "<title>B</title>");
    ComPtr<FakeBrowser> browser = FakeBrowser::Create(nullptr, nullptr);
    DWORD cookie = 0;
    ComPtr<RecordingSink> sink = AdviseSink(browser.Get(), &cookie);
    std::vector<bool> topBusyAtFrameComplete;
    sink->onEvent = [&](DISPID id, DISPPARAMS* p) {
        if (id != DISPID_DOCUMENTCOMPLETE) return;
        ComPtr<IWebBrowser2> wb;
        V_DISPATCH(&p->rgvarg[1])
            ->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(wb.GetAddressOf()));
        VARIANT_BOOL busy = VARIANT_FALSE;
        browser->get_Busy(&busy);
        topBusyAtFrameComplete.push_back(busy != VARIANT_FALSE);
    };
    browser->UserNavigate(server.Url(L"/top"));
    ASSERT_TRUE(browser->RunUntilIdle());

    ASSERT_EQ(2u, browser->Frames().size());
    IUnknown* top = static_cast<IWebBrowser2*>(browser.Get());
    IUnknown* left = static_cast<IWebBrowser2*>(browser->Frames()[0].Get());
    IUnknown* right = static_cast<IWebBrowser2*>(browser->Frames()[1].Get());
    std::vector<std::pair<DISPID, IUnknown*>> seen;
    for (const auto& e : sink->events) seen.push_back({e.dispid, e.browser});
    const std::vector<std::pair<DISPID, IUnknown*>> expected = {
        {DISPID_BEFORENAVIGATE2, top},     {DISPID_DOWNLOADBEGIN, nullptr},
        {DISPID_NAVIGATECOMPLETE2, top},   {DISPID_DOWNLOADCOMPLETE, nullptr},
        {DISPID_DOWNLOADBEGIN, nullptr},   {DISPID_BEFORENAVIGATE2, left},
        {DISPID_BEFORENAVIGATE2, right},   {DISPID_NAVIGATECOMPLETE2, left},
        {DISPID_NAVIGATECOMPLETE2, right}, {DISPID_DOCUMENTCOMPLETE, left},
        {DISPID_DOCUMENTCOMPLETE, right},  {DISPID_DOWNLOADCOMPLETE, nullptr},
        {DISPID_DOCUMENTCOMPLETE, top}};
    EXPECT_EQ(expected, seen);
    EXPECT_EQ(server.Url(L"/a"), sink->events[9].url);
    EXPECT_EQ(L"left", sink->events[5].text2);
    EXPECT_EQ(std::vector<bool>({true, true, false}), topBusyAtFrameComplete);
    EXPECT_EQ(L"A", browser->Frames()[0]->Document()->Title());
    EXPECT_EQ(L"B", browser->Frames()[1]->Document()->Title());
    // A frame has no window of its own, and its service is the window's browser.
    SHANDLE_PTR hwnd = 1;
    EXPECT_EQ(E_FAIL, browser->Frames()[0]->get_HWND(&hwnd));
    ComPtr<IWebBrowser2> served;
    EXPECT_EQ(S_OK, browser->Frames()[0]->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2,
                                                       reinterpret_cast<void**>(served.GetAddressOf())));
    EXPECT_EQ(static_cast<IWebBrowser2*>(browser.Get()), served.Get());
    browser->ReleaseSinks();
}

TEST_F(Browser, ATopDocumentCanCompleteWhileTheBrowserIsStillBusy) {
    ComPtr<FakeBrowser> browser = FakeBrowser::Create(nullptr, nullptr);
    LocalHttpServer server;
    server.Page("/p", "text/html", "<title>P</title>");
    DWORD cookie = 0;
    ComPtr<RecordingSink> sink = AdviseSink(browser.Get(), &cookie);
    bool busy = false;
    sink->onEvent = [&](DISPID id, DISPPARAMS*) {
        VARIANT_BOOL b = VARIANT_FALSE;
        if (id == DISPID_DOCUMENTCOMPLETE) browser->get_Busy(&b), busy = b != VARIANT_FALSE;
    };
    browser->SetBusyAtTopDocumentComplete(true);
    browser->UserNavigate(server.Url(L"/p"));
    ASSERT_TRUE(browser->RunUntilIdle());
    EXPECT_TRUE(busy);
    EXPECT_TRUE(browser->Events().back().busy);
    EXPECT_FALSE(browser->Busy()) << "busy ends after the event";
    browser->ReleaseSinks();
}

TEST_F(Browser, AReloadFiresOnlyDownloadsAndFetchesThePageAgain) {
    LocalHttpServer server;
    int served = 0;
    server.Route("/p", [&](const ServedRequest&) {
        ServedAnswer a;
        a.headers = {{"Content-Type", "text/html"}};
        a.body = "<title>P" + std::to_string(++served) + "</title>";
        return a;
    });
    ComPtr<FakeBrowser> browser = FakeBrowser::Create(nullptr, nullptr);
    browser->UserNavigate(server.Url(L"/p"));
    ASSERT_TRUE(browser->RunUntilIdle());
    DWORD cookie = 0;
    ComPtr<RecordingSink> sink = AdviseSink(browser.Get(), &cookie);
    EXPECT_EQ(S_OK, browser->Refresh());
    ASSERT_TRUE(browser->RunUntilIdle());
    EXPECT_EQ(std::vector<DISPID>({DISPID_DOWNLOADBEGIN, DISPID_DOWNLOADCOMPLETE}), sink->Ids());
    EXPECT_EQ(L"P2", browser->Document()->Title());
    BSTR location = nullptr;
    ASSERT_EQ(S_OK, browser->get_LocationURL(&location));
    EXPECT_EQ(server.Url(L"/p"), FromBstr(location));
    SysFreeString(location);
    browser->ReleaseSinks();
}

TEST_F(Browser, ASinkCancellingBeforeNavigate2StopsTheRequest) {
    LocalHttpServer server;
    server.Page("/p", "text/html", "<title>P</title>");
    ComPtr<FakeBrowser> browser = FakeBrowser::Create(nullptr, nullptr);
    DWORD cookie = 0;
    ComPtr<RecordingSink> sink = AdviseSink(browser.Get(), &cookie);
    sink->onEvent = [](DISPID id, DISPPARAMS* p) {
        if (id == DISPID_BEFORENAVIGATE2) *V_BOOLREF(&p->rgvarg[0]) = VARIANT_TRUE;
    };
    browser->UserNavigate(server.Url(L"/p"));
    ASSERT_TRUE(browser->RunUntilIdle());
    EXPECT_EQ(std::vector<DISPID>({DISPID_BEFORENAVIGATE2}), sink->Ids());
    EXPECT_TRUE(server.Requests().empty());
    ASSERT_EQ(1u, browser->Navigations().size());
    EXPECT_TRUE(browser->Navigations()[0].cancelled);
    EXPECT_FALSE(browser->Busy());
    browser->ReleaseSinks();
}

TEST_F(Browser, FailedRequestsFireNavigateErrorWithTheStatus) {
    LocalHttpServer server;
    ComPtr<FakeBrowser> browser = FakeBrowser::Create(nullptr, nullptr);
    DWORD cookie = 0;
    ComPtr<RecordingSink> sink = AdviseSink(browser.Get(), &cookie);
    browser->UserNavigate(server.Url(L"/missing"));
    ASSERT_TRUE(browser->RunUntilIdle());
    ASSERT_EQ(6u, sink->events.size());
    const SeenEvent& error = sink->events[2];
    EXPECT_EQ(DISPID_NAVIGATEERROR, error.dispid);
    EXPECT_EQ(std::vector<VARTYPE>({VT_BOOL | VT_BYREF, VT_VARIANT | VT_BYREF, VT_VARIANT | VT_BYREF,
                                    VT_VARIANT | VT_BYREF, VT_DISPATCH}),
              error.types);
    EXPECT_EQ(404, error.number);
    EXPECT_EQ(server.Url(L"/missing"), error.url);
    EXPECT_EQ(DISPID_DOCUMENTCOMPLETE, sink->events.back().dispid);

    // Nobody listening on a port: the browser's own error status.
    sink->events.clear();
    std::wstring gone;
    {
        LocalHttpServer closed;
        gone = closed.Url(L"/x");
    }
    browser->UserNavigate(gone);
    ASSERT_TRUE(browser->RunUntilIdle(20000));
    ASSERT_GE(sink->events.size(), 3u);
    EXPECT_EQ(DISPID_NAVIGATEERROR, sink->events[2].dispid);
    EXPECT_LT(sink->events[2].number, 0) << "an INET_E_ status, not an HTTP one";
    browser->ReleaseSinks();
}

TEST_F(Browser, StopDropsTheNavigationInProgressAndTheNextOneRuns) {
    LocalHttpServer server;
    server.Page("/a", "text/html", "<title>A</title>");
    server.Page("/b", "text/html", "<title>B</title>");
    ComPtr<FakeBrowser> browser = FakeBrowser::Create(nullptr, nullptr);
    DWORD cookie = 0;
    ComPtr<RecordingSink> sink = AdviseSink(browser.Get(), &cookie);
    browser->UserNavigate(server.Url(L"/a"));
    EXPECT_EQ(S_OK, browser->Stop());
    VARIANT url = Bstr(server.Url(L"/b").c_str());
    EXPECT_EQ(S_OK, browser->Navigate2(&url, nullptr, nullptr, nullptr, nullptr));
    VariantClear(&url);
    ASSERT_TRUE(browser->RunUntilIdle());
    ASSERT_EQ(1u, server.Requests().size());
    EXPECT_EQ("/b", server.Requests()[0].target);
    EXPECT_EQ(L"B", browser->Document()->Title());
    EXPECT_EQ(1, browser->CountCalls(L"Stop"));
    int completes = 0;
    for (const auto& e : sink->events) completes += e.dispid == DISPID_DOCUMENTCOMPLETE;
    EXPECT_EQ(1, completes);
    browser->ReleaseSinks();
}

TEST_F(Browser, ALogInFormIsFilledSubmittedAndItsSessionCookieComesBack) {
    LocalHttpServer server;
    std::string posted;
    server.Route("/ag.cgi", [&](const ServedRequest& r) {
        ServedAnswer a;
        if (r.method == "POST") {
            posted = r.body;
            a.status = 302;
            a.headers = {{"Location", "/ag.cgi?page=AGIndex"},
                         {"Set-Cookie", "AGSESSID=s3cr3t; path=/"},
                         {"Set-Cookie", "hidden=1; path=/; HttpOnly"}};
            return a;
        }
        a.headers = {{"Content-Type", "text/html; charset=utf-8"}};
        a.body = r.target.find("AGIndex") != std::string::npos ? "<title>Top - Tavelle(R) Office</title>"
                                                               : kLoginPage;
        return a;
    });
    ComPtr<FakeBrowser> browser = FakeBrowser::Create(nullptr, nullptr);
    browser->UserNavigate(server.Url(L"/ag.cgi"));
    ASSERT_TRUE(browser->RunUntilIdle());

    // The way the helper object fills the form: through the document object model only.
    ComPtr<IDispatch> docDisp;
    ASSERT_EQ(S_OK, browser->get_Document(docDisp.GetAddressOf()));
    ComPtr<IHTMLDocument2> doc;
    ASSERT_EQ(S_OK, docDisp.As(&doc));
    BSTR title = nullptr;
    doc->get_title(&title);
    EXPECT_EQ(L"ログイン - Tavelle(R) Office", FromBstr(title));
    SysFreeString(title);
    BSTR mime = nullptr;
    doc->get_mimeType(&mime);
    EXPECT_EQ(0, wcsncmp(L"HTML", mime, 4));
    SysFreeString(mime);
    ComPtr<IHTMLElementCollection> forms;
    ASSERT_EQ(S_OK, doc->get_forms(forms.GetAddressOf()));
    VARIANT name = Bstr(L"LoginForm"), index = I4(0);
    ComPtr<IDispatch> formDisp;
    ASSERT_EQ(S_OK, forms->item(name, index, formDisp.GetAddressOf()));
    VariantClear(&name);
    ComPtr<IHTMLFormElement> form;
    ASSERT_EQ(S_OK, formDisp.As(&form));
    auto field = [&](const wchar_t* n) {
        VARIANT vn = Bstr(n), vi = I4(0);
        ComPtr<IDispatch> d;
        EXPECT_EQ(S_OK, form->item(vn, vi, d.GetAddressOf()));
        VariantClear(&vn);
        ComPtr<IHTMLElement> e;
        if (d) d.As(&e);
        return e;
    };
    ComPtr<IHTMLElement> account = field(L"_Account"), password = field(L"Password");
    ASSERT_TRUE(account && password);
    EXPECT_FALSE(field(L"Missing")) << "a missing field is a null result";
    BSTR user = SysAllocString(L"山田 taro"), pass = SysAllocString(L"p&ss=1");
    account->put_innerText(user);
    password->put_innerText(pass);
    SysFreeString(user);
    SysFreeString(pass);
    EXPECT_EQ(S_OK, form->submit());
    ASSERT_TRUE(browser->RunUntilIdle());

    EXPECT_EQ("_System=login&_Login=1&_Account=%E5%B1%B1%E7%94%B0+taro&Password=p%26ss%3D1", posted);
    ASSERT_EQ(1u, browser->Submissions().size());
    EXPECT_EQ(server.Url(L"/ag.cgi"), browser->Submissions()[0].action);
    EXPECT_EQ(L"Top - Tavelle(R) Office", browser->Document()->Title());
    EXPECT_EQ(server.Url(L"/ag.cgi?page=AGIndex"), browser->Location());
    // The page sees its cookie, except the one kept from scripts.
    ComPtr<IDispatch> topDisp;
    ASSERT_EQ(S_OK, browser->get_Document(topDisp.GetAddressOf()));
    ComPtr<IHTMLDocument2> top;
    ASSERT_EQ(S_OK, topDisp.As(&top));
    BSTR cookie = nullptr;
    ASSERT_EQ(S_OK, top->get_cookie(&cookie));
    EXPECT_EQ(L"AGSESSID=s3cr3t", FromBstr(cookie));
    SysFreeString(cookie);
    // And the server gets both from now on.
    const auto requests = server.Requests();
    EXPECT_EQ("AGSESSID=s3cr3t; hidden=1", requests.back().Header("Cookie"));
}

TEST_F(Browser, ANewWindowNavigationOpensItsOwnBrowserAndSendsTheGivenCookie) {
    LocalHttpServer server;
    server.Page("/set", "text/html", "<title>S</title>", {{"Set-Cookie", "jar=1"}});
    server.Page("/p", "text/html", "<title>P</title>");
    ComPtr<FakeBrowser> browser = FakeBrowser::Create(nullptr, nullptr);
    browser->UserNavigate(server.Url(L"/set"));
    ASSERT_TRUE(browser->RunUntilIdle());
    VARIANT url = Bstr(server.Url(L"/p").c_str()), flags = I4(navOpenInNewTab),
            headers = Bstr(L"Pragma: no-cache\nCookie: AGSESSID=x\n");
    EXPECT_EQ(S_OK, browser->Navigate2(&url, &flags, nullptr, nullptr, &headers));
    VariantClear(&url);
    VariantClear(&headers);
    ASSERT_TRUE(browser->RunUntilIdle());
    ASSERT_EQ(1u, browser->NewWindows().size());
    EXPECT_EQ(L"P", browser->NewWindows()[0]->Document()->Title());
    EXPECT_EQ(L"S", browser->Document()->Title()) << "the opener keeps its page";
    EXPECT_EQ("AGSESSID=x", server.Requests().back().Header("Cookie"));
}

TEST_F(Browser, ShowBrowserBarAndTheOtherMembersAreRecorded) {
    ComPtr<FakeBrowser> browser = FakeBrowser::Create(nullptr, GetDesktopWindow());
    VARIANT clsid = Bstr(L"{01234567-89AB-CDEF-0123-456789ABCDEF}"), show;
    VariantInit(&show);
    V_VT(&show) = VT_BOOL;
    V_BOOL(&show) = VARIANT_TRUE;
    EXPECT_EQ(S_OK, browser->ShowBrowserBar(&clsid, &show, nullptr));
    VariantClear(&clsid);
    ASSERT_EQ(1u, browser->ShowBrowserBarCalls().size());
    EXPECT_EQ(VT_BSTR, browser->ShowBrowserBarCalls()[0].clsidType);
    EXPECT_EQ(L"{01234567-89AB-CDEF-0123-456789ABCDEF}", browser->ShowBrowserBarCalls()[0].clsid);
    EXPECT_EQ(VT_BOOL, browser->ShowBrowserBarCalls()[0].showType);
    EXPECT_TRUE(browser->ShowBrowserBarCalls()[0].show);
    EXPECT_FALSE(browser->ShowBrowserBarCalls()[0].sizeGiven);
    SHANDLE_PTR hwnd = 0;
    EXPECT_EQ(S_OK, browser->get_HWND(&hwnd));
    EXPECT_EQ(reinterpret_cast<SHANDLE_PTR>(GetDesktopWindow()), hwnd);
    ComPtr<IDispatch> doc;
    EXPECT_EQ(S_FALSE, browser->get_Document(doc.GetAddressOf()));
    EXPECT_FALSE(doc);
    EXPECT_EQ(std::vector<std::wstring>({L"ShowBrowserBar", L"get_HWND", L"get_Document"}), browser->Calls());
}

TEST_F(Browser, ConnectionPointsFollowTheBrowsersRules) {
    ComPtr<FakeBrowser> browser = FakeBrowser::Create(nullptr, nullptr);
    ComPtr<IConnectionPoint> cp;
    EXPECT_EQ(CONNECT_E_NOCONNECTION,
              browser->FindConnectionPoint(IID_IPropertyNotifySink, cp.GetAddressOf()));
    ASSERT_EQ(S_OK, browser->FindConnectionPoint(DIID_DWebBrowserEvents2, cp.GetAddressOf()));
    IID iid;
    EXPECT_EQ(S_OK, cp->GetConnectionInterface(&iid));
    EXPECT_EQ(DIID_DWebBrowserEvents2, iid);
    // A sink that answers only IDispatch is accepted; one without IDispatch is not.
    ComPtr<RecordingSink> plain;
    plain.Attach(new RecordingSink());
    plain->answersEventInterface = false;
    DWORD cookie = 0;
    EXPECT_EQ(S_OK, cp->Advise(static_cast<IDispatch*>(plain.Get()), &cookie));
    EXPECT_NE(0u, cookie);
    ComPtr<FakeDocument> notASink;
    notASink.Attach(new FakeDocument(L"about:blank", L"", nullptr));
    DWORD other = 0;
    EXPECT_EQ(S_OK, cp->Advise(static_cast<IHTMLDocument2*>(notASink.Get()), &other))
        << "a document is a dispatch";
    EXPECT_EQ(S_OK, cp->Unadvise(other));
    EXPECT_EQ(E_POINTER, cp->Advise(nullptr, &other));
    // A sink may unadvise itself while it handles an event.
    plain->onEvent = [&](DISPID, DISPPARAMS*) { cp->Unadvise(cookie); };
    browser->FireOnQuit();
    browser->FireOnQuit();
    EXPECT_EQ(std::vector<DISPID>({DISPID_ONQUIT}), plain->Ids());
    EXPECT_EQ(0u, browser->SinkCount());
}

TEST_F(Browser, TheTypeInformationDescribesTheEventsAsTheyAreFired) {
    ComPtr<FakeBrowser> browser = FakeBrowser::Create(nullptr, nullptr);
    ComPtr<ITypeInfo> classInfo;
    ASSERT_EQ(S_OK, browser->GetClassInfo(classInfo.GetAddressOf()));
    GUID source;
    ASSERT_EQ(S_OK, browser->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source));
    EXPECT_EQ(DIID_DWebBrowserEvents2, source);
    ComPtr<ITypeLib> lib;
    UINT index = 0;
    ASSERT_EQ(S_OK, classInfo->GetContainingTypeLib(lib.GetAddressOf(), &index));
    ComPtr<ITypeInfo> events;
    ASSERT_EQ(S_OK, lib->GetTypeInfoOfGuid(DIID_DWebBrowserEvents2, events.GetAddressOf()));
    // Each event's declared parameters match the types the browser passes (last first).
    ComPtr<RecordingSink> sink;
    DWORD cookie = 0;
    sink = AdviseSink(browser.Get(), &cookie);
    bool cancel = false;
    browser->FireBeforeNavigate2(nullptr, L"http://h/", &cancel);
    browser->FireDocumentComplete(nullptr, L"http://h/");
    browser->FireNavigateError(nullptr, L"http://h/", L"", 404, &cancel);
    browser->FireNewWindow2(nullptr, &cancel);
    ComPtr<ITypeInfo2> events2;
    ASSERT_EQ(S_OK, events.As(&events2));
    for (const SeenEvent& e : sink->events) {
        UINT fi = 0;
        ASSERT_EQ(S_OK, events2->GetFuncIndexOfMemId(e.dispid, INVOKE_FUNC, &fi)) << e.dispid;
        FUNCDESC* fd = nullptr;
        ASSERT_EQ(S_OK, events->GetFuncDesc(fi, &fd));
        ASSERT_EQ(static_cast<size_t>(fd->cParams), e.types.size()) << e.dispid;
        for (SHORT p = 0; p < fd->cParams; ++p) {
            const TYPEDESC& t = fd->lprgelemdescParam[p].tdesc;
            const VARTYPE declared = t.vt == VT_PTR ? static_cast<VARTYPE>(t.lptdesc->vt | VT_BYREF) : t.vt;
            EXPECT_EQ(declared, e.types[e.types.size() - 1 - p])
                << "event " << e.dispid << " parameter " << p;
        }
        events->ReleaseFuncDesc(fd);
    }
    EXPECT_EQ(4u, sink->events.size());
    browser->ReleaseSinks();
}

}  // namespace
}  // namespace tthost
