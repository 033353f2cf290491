#pragma once
// The browser helper object: one per browser window (per tab from version 7). It attaches to
// the window's browser, adds the product token to the user agent, sinks the browser's events
// and runs the page-complete handling (server URL detection and the log-in handling).
#include <windows.h>
#include <exdisp.h>
#include <ocidl.h>

#include <string>
#include <utility>
#include <vector>

#include "TavelleToolbarIE_h.h"
#include "browser/completion_tracker.h"
#include "support/com_object_win.h"
#include "support/com_ptr_win.h"
#include "support/type_info_win.h"

namespace tt {

// Creates a CTavelleBHO, plainly or aggregated (the class table's creation function).
HRESULT CreateTavelleBHO(IUnknown* outer, REFIID riid, void** ppv);

class CTavelleBHO : public ITavelleBHO,
                    public IConnectionPointContainer,
                    public IObjectWithSite,
                    public com::ComObjectRoot {
public:
    // The advise cookie while the sink is not advised.
    static constexpr DWORD kNotAdvised = 0xFEFEFEFE;

    CTavelleBHO();
    ~CTavelleBHO() override;

    TT_COM_DELEGATING_IUNKNOWN
    HRESULT QueryInterfaceTable(REFIID riid, void** ppv) override;
    HRESULT FinalConstruct() override;

    // IDispatch: ITavelleBHO's (no members of its own) and the browser event sink's Invoke.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) override;

    // IConnectionPointContainer: the one connection point of _ITavelleBHOEvents (it never fires).
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

    // IObjectWithSite
    STDMETHODIMP SetSite(IUnknown* site) override;
    STDMETHODIMP GetSite(REFIID riid, void** site) override;

    // The operations a derived class may replace.
    virtual void OnSiteAttached();
    virtual HRESULT PreInvoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr, bool* handled);
    virtual void OnBeforeNavigate2(IDispatch* pDisp);
    virtual void OnDocumentComplete(IDispatch* pDisp, const std::u16string& url);
    virtual void OnNewWindow2() {}
    virtual void OnNavigateError() {}
    virtual void OnDownloadBegin();
    virtual void OnDownloadComplete();
    virtual void OnQuit();
    virtual void OnPageComplete(IWebBrowser2* browser, const std::u16string& url, bool afterDownload);
    virtual void OnAdvised() {}
    virtual void OnUnadvised() {}
    virtual std::u16string GetUserAgentToken() { return u"TavelleToolbar"; }

    // State, for the tests.
    const CompletionTracker& Tracker() const { return tracker_; }
    DWORD EventCookie() const { return eventCookie_; }
    bool Advised() const { return advised_; }
    HWND DialogOwnerWindow() const { return dialogOwnerWindow_; }

private:
    class EventsConnectionPoint;

    HRESULT Attach(IUnknown* site);
    HRESULT Advise();
    HRESULT DispatchEvent(DISPID dispid, DISPPARAMS* params);
    bool IsTop(IDispatch* pDisp);
    void HandlePageComplete(IWebBrowser2* browser, const std::u16string& url);

    com_ptr<IUnknown> site_;
    com_ptr<IWebBrowser2> browser_;
    HWND browserWindow_ = nullptr;
    com_ptr<IConnectionPointContainer> container_;
    DWORD eventCookie_ = kNotAdvised;
    bool advised_ = false;
    CompletionTracker tracker_;
    com_ptr<IWebBrowser2> dialogOwnerBrowser_;
    HWND dialogOwnerWindow_ = nullptr;
    ModuleTypeInfo typeInfo_{IID_ITavelleBHO};
    EventsConnectionPoint* eventsPoint_;
};

}  // namespace tt
