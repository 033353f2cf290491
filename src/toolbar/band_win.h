#pragma once
// CTavelleToolbar: the toolbar band the browser creates for each window that shows the
// toolbar. It finds its host windows and the browser from its site, creates the reflector and
// the toolbar window there, and answers the browser's questions about the band's window,
// size, focus and keys.
#include <windows.h>
#include <shlobj.h>

#include <memory>
#include <vector>

#include "TavelleToolbarIE_h.h"
#include "support/com_object_win.h"
#include "support/com_ptr_win.h"
#include "support/type_info_win.h"
#include "toolbar/toolband_ctrl_win.h"

namespace tt {

// The band's creator for the module's class table: plain or aggregated (an outer object may
// only ask for IUnknown), E_POINTER for a null result pointer.
HRESULT CreateTavelleToolbarBand(IUnknown* outer, REFIID riid, void** ppv);

// Where the band gets its toolbar window object (CreateTavelleToolbarCtrl unless replaced).
using ToolbandCtrlFactory = std::unique_ptr<CIEToolbandCtrl> (*)();
void SetToolbandCtrlFactory(ToolbandCtrlFactory factory);  // null restores the default

class CTavelleToolbar : public ITavelleToolbar,
                        public IDeskBand,
                        public IInputObject,
                        public ISupportErrorInfo,
                        public IObjectWithSite,
                        public com::ComObjectRoot {
public:
    CTavelleToolbar();
    ~CTavelleToolbar() override;

    TT_COM_DELEGATING_IUNKNOWN
    HRESULT QueryInterfaceTable(REFIID riid, void** ppv) override;

    // IDispatch (of ITavelleToolbar, described by the module's type library)
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) override;

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* phwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL enter) override;
    // IDockingWindow
    STDMETHODIMP ShowDW(BOOL show) override;
    STDMETHODIMP CloseDW(DWORD reserved) override;
    STDMETHODIMP ResizeBorderDW(LPCRECT border, IUnknown* site, BOOL reserved) override;
    // IDeskBand
    STDMETHODIMP GetBandInfo(DWORD bandId, DWORD viewMode, DESKBANDINFO* info) override;
    // IInputObject
    STDMETHODIMP UIActivateIO(BOOL activate, MSG* msg) override;
    STDMETHODIMP HasFocusIO() override;
    STDMETHODIMP TranslateAcceleratorIO(MSG* msg) override;
    // ISupportErrorInfo
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;
    // IObjectWithSite
    STDMETHODIMP SetSite(IUnknown* site) override;
    STDMETHODIMP GetSite(REFIID riid, void** ppv) override;

    // For tests and diagnostics.
    CIEToolbandCtrl* Control() const { return control_.get(); }
    HWND ReflectorWindow() const { return reflector_.Handle(); }
    HWND ParentWindow() const { return parent_; }
    HWND BrowserWindow() const { return browserWindow_; }
    bool ContextHelp() const { return contextHelp_; }

private:
    HRESULT AttachToSite(IUnknown* site);
    bool CreateToolbarWindow();
    void DropControl();

    com_ptr<IInputObjectSite> inputSite_;
    HWND parent_ = nullptr;
    IWebBrowser2* browser_ = nullptr;  // the browser outlives the band: no reference
    HWND browserWindow_ = nullptr;
    CToolBarReflectorCtrl reflector_;
    std::unique_ptr<CIEToolbandCtrl> control_;
    // Window objects of earlier sites whose handlers were still running when they were replaced.
    std::vector<std::unique_ptr<CIEToolbandCtrl>> retired_;
    ModuleTypeInfo typeInfo_{IID_ITavelleToolbar};
    bool contextHelp_ = false;
};

}  // namespace tt
