// The floor of the attach benchmark: an in-process server built like the product (same COM
// support, static run-time, same flags) whose one object only keeps the site it is given.
#include <windows.h>
#include <exdisp.h>
#include <ocidl.h>

#include "support/com_object_win.h"
#include "support/com_ptr_win.h"

namespace {

// {3F1D6A52-8E0B-4C5F-9A41-7D2B6C0E9F13}
constexpr CLSID kClsidEmptyObject = {
    0x3f1d6a52, 0x8e0b, 0x4c5f, {0x9a, 0x41, 0x7d, 0x2b, 0x6c, 0x0e, 0x9f, 0x13}};

class EmptyObject final : public IObjectWithSite, public tt::com::ComObjectRoot {
public:
    TT_COM_DELEGATING_IUNKNOWN
    HRESULT QueryInterfaceTable(REFIID riid, void** ppv) override {
        static const QITAB table[] = {QITABENT(EmptyObject, IObjectWithSite), {}};
        return tt::com::SearchInterfaceTable(this, table, riid, ppv);
    }
    STDMETHODIMP SetSite(IUnknown* site) override {
        site_ = tt::com_ptr<IUnknown>(site);
        browser_ = tt::query<IWebBrowser2>(site);
        return S_OK;
    }
    STDMETHODIMP GetSite(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        return site_ ? site_->QueryInterface(riid, ppv) : E_FAIL;
    }

private:
    tt::com_ptr<IUnknown> site_;
    tt::com_ptr<IWebBrowser2> browser_;
};

}  // namespace

STDAPI DllCanUnloadNow() { return tt::com::ModuleLockCount() == 0 ? S_OK : S_FALSE; }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(clsid, kClsidEmptyObject)) return CLASS_E_CLASSNOTAVAILABLE;
    return tt::com::CreateClassFactory(&tt::com::CreatorOf<EmptyObject>, riid, ppv);
}
