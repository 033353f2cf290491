#pragma once
// Helpers for tests that use the test browser: COM set up per test, and an event sink that
// records what the browser fired, argument types included.
#include <gtest/gtest.h>
#include <windows.h>
#include <exdisp.h>
#include <exdispid.h>
#include <shlguid.h>

#include <functional>
#include <string>
#include <vector>

#include "host/fake_browser_win.h"
#include "host/host_com_win.h"

namespace tthost {

class ComTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr))); }
    void TearDown() override {
        BrowserWorkQueue::ForThread().RunUntilIdle(2000);
        OleUninitialize();
    }
};

struct SeenEvent {
    DISPID dispid = 0;
    std::vector<VARTYPE> types;   // of rgvarg[0..cArgs-1], as given (reversed argument order)
    IUnknown* browser = nullptr;  // identity of pDisp, when the first argument is a dispatch
    std::wstring url;
    std::wstring text2;  // TargetFrameName or Frame
    std::wstring headers;
    std::vector<uint8_t> postData;
    bool hadPostArray = false;
    long number = 0;  // Flags or StatusCode
    WORD flags = 0;
};

class RecordingSink : public IDispatch, public HostRefCount {
public:
    TTHOST_REFCOUNTED
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch ||
            (answersEventInterface && riid == DIID_DWebBrowserEvents2)) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*,
                                     EXCEPINFO*, UINT*) override;

    std::vector<DISPID> Ids() const {
        std::vector<DISPID> ids;
        for (const auto& e : events) ids.push_back(e.dispid);
        return ids;
    }

    bool answersEventInterface = true;
    std::vector<SeenEvent> events;
    std::function<void(DISPID, DISPPARAMS*)> onEvent;
};

inline HRESULT RecordingSink::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*,
                                     EXCEPINFO*, UINT*) {
    SeenEvent e;
    e.dispid = id;
    e.flags = flags;
    const UINT n = params ? params->cArgs : 0;
    for (UINT i = 0; i < n; ++i) e.types.push_back(V_VT(&params->rgvarg[i]));
    auto arg = [&](UINT fromFirst) -> VARIANT* { return &params->rgvarg[n - 1 - fromFirst]; };
    if (n > 0 && V_VT(arg(0)) == VT_DISPATCH && V_DISPATCH(arg(0))) {
        IUnknown* u = nullptr;
        V_DISPATCH(arg(0))->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&u));
        e.browser = u;
        if (u) u->Release();
    }
    if ((id == DISPID_BEFORENAVIGATE2 || id == DISPID_DOCUMENTCOMPLETE || id == DISPID_NAVIGATECOMPLETE2 ||
         id == DISPID_NAVIGATEERROR) &&
        n >= 2)
        e.url = VariantText(arg(1));
    if (id == DISPID_BEFORENAVIGATE2 && n == 7) {
        const VARIANT* f = VariantTarget(arg(2));
        if (f && V_VT(f) == VT_I4) e.number = V_I4(f);
        e.text2 = VariantText(arg(3));
        const VARIANT* post = VariantTarget(arg(4));
        if (post && V_VT(post) == (VT_ARRAY | VT_UI1)) {
            e.hadPostArray = true;
            SAFEARRAY* a = V_ARRAY(post);
            LONG lo = 0, hi = -1;
            SafeArrayGetLBound(a, 1, &lo);
            SafeArrayGetUBound(a, 1, &hi);
            for (LONG i = lo; i <= hi; ++i) {
                uint8_t b = 0;
                SafeArrayGetElement(a, &i, &b);
                e.postData.push_back(b);
            }
        }
        e.headers = VariantText(arg(5));
    }
    if (id == DISPID_NAVIGATEERROR && n == 5) {
        e.text2 = VariantText(arg(2));
        const VARIANT* s = VariantTarget(arg(3));
        if (s && V_VT(s) == VT_I4) e.number = V_I4(s);
    }
    events.push_back(e);
    if (onEvent) onEvent(id, params);
    return S_OK;
}

inline ComPtr<RecordingSink> AdviseSink(FakeBrowser* browser, DWORD* cookie) {
    ComPtr<RecordingSink> sink;
    sink.Attach(new RecordingSink());
    ComPtr<IConnectionPoint> cp;
    EXPECT_EQ(S_OK, browser->FindConnectionPoint(DIID_DWebBrowserEvents2, cp.GetAddressOf()));
    EXPECT_EQ(S_OK, cp->Advise(static_cast<IDispatch*>(sink.Get()), cookie));
    return sink;
}

inline std::string Narrow(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w) s.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return s;
}

}  // namespace tthost
