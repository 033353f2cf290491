#pragma once
// A browser that only answers for itself, for the benchmarks: they measure the toolbar's own
// work, not the test browser's. onNavigate, when set, runs as Navigate2 is entered.
#include <functional>

#include "host/com_defaults_win.h"
#include "host/host_com_win.h"

namespace tt::testing {

class QuietBrowser : public tthost::DefaultWebBrowser2, public tthost::HostRefCount {
public:
    TTHOST_REFCOUNTED
    std::function<void()> onNavigate;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IWebBrowser2 ||
            riid == IID_IWebBrowserApp || riid == IID_IWebBrowser) {
            *ppv = static_cast<IWebBrowser2*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE Navigate2(VARIANT*, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override {
        if (onNavigate) onNavigate();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Stop() override { return S_OK; }
};

}  // namespace tt::testing
