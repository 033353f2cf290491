#pragma once
// The test browser's window and the band site it gives a toolbar band, laid out as the
// browser's frame: a top-level window, the toolbar area (an "InternetToolbarHost" window when
// the browser has tabs) with a "ReBarWindow32" for the bands, and a content area showing the
// current page's title and text. The band site answers the band's questions (IOleWindow,
// IInputObjectSite, IOleCommandTarget, IServiceProvider for SID_SWebBrowserApp) and records
// them; each interface can be withheld to play a poorer host.
#include <windows.h>
#include <shlobj.h>
#include <docobj.h>
#include <wrl/client.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/fake_browser_win.h"
#include "host/host_com_win.h"

namespace tthost {

using Microsoft::WRL::ComPtr;

struct BandSiteOptions {
    bool oleWindow = true;        // answers IOleWindow
    bool inputObjectSite = true;  // answers IInputObjectSite
    bool commandTarget = true;    // answers IOleCommandTarget
    bool serviceProvider = true;  // answers IServiceProvider
    bool browserService = true;   // QueryService(SID_SWebBrowserApp) gives the browser
    HWND window = nullptr;        // what GetWindow answers (the host's rebar when null)
};

class FakeBandSite : public IOleWindow,
                     public IInputObjectSite,
                     public IOleCommandTarget,
                     public IServiceProvider,
                     public HostRefCount {
public:
    FakeBandSite(ComPtr<FakeBrowser> browser, HWND window, BandSiteOptions options);
    TTHOST_REFCOUNTED
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;

    // IOleWindow
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* phwnd) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enter) override;
    // IInputObjectSite
    HRESULT STDMETHODCALLTYPE OnFocusChangeIS(IUnknown* object, BOOL setFocus) override;
    // IOleCommandTarget
    HRESULT STDMETHODCALLTYPE QueryStatus(const GUID* group, ULONG count, OLECMD* cmds,
                                          OLECMDTEXT* text) override;
    HRESULT STDMETHODCALLTYPE Exec(const GUID* group, DWORD id, DWORD option, VARIANT* in,
                                   VARIANT* out) override;
    // IServiceProvider
    HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID riid, void** ppv) override;

    struct FocusChange {
        IUnknown* object;  // identity only
        bool setFocus;
    };
    const std::vector<FocusChange>& FocusChanges() const { return focusChanges_; }
    const std::vector<GUID>& ServicesAsked() const { return servicesAsked_; }
    const std::vector<IID>& InterfacesAsked() const { return interfacesAsked_; }
    int GetWindowCalls() const { return getWindowCalls_; }

private:
    ComPtr<FakeBrowser> browser_;
    HWND window_;
    BandSiteOptions options_;
    std::vector<FocusChange> focusChanges_;
    std::vector<GUID> servicesAsked_;
    std::vector<IID> interfacesAsked_;
    int getWindowCalls_ = 0;
};

struct HostWindowOptions {
    bool tabs = true;      // the toolbar area is an "InternetToolbarHost" window (browsers with tabs)
    bool visible = false;  // tests run hidden; the host program shows the window
    int width = 1000;
    int height = 700;
    std::wstring title = L"Tavelle test host";
};

// What the host learnt from a band it placed.
struct HostedBand {
    ComPtr<IUnknown> band;
    ComPtr<FakeBandSite> site;
    HWND window = nullptr;          // IOleWindow::GetWindow of the band
    HWND originalParent = nullptr;  // its parent before the rebar took it
    DESKBANDINFO info = {};
    HRESULT setSiteResult = E_FAIL;
    HRESULT bandInfoResult = E_FAIL;
};

class HostWindow {
public:
    explicit HostWindow(HostWindowOptions options = {}, std::shared_ptr<HostSession> session = nullptr);
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    HWND Frame() const { return frame_; }
    HWND ToolbarHost() const { return toolbarHost_; }  // null without tabs
    HWND Rebar() const { return rebar_; }
    HWND Content() const { return content_; }
    FakeBrowser* Browser() const { return browser_.Get(); }
    ComPtr<FakeBrowser> BrowserRef() const { return browser_; }
    std::shared_ptr<HostSession> Session() const { return session_; }

    // A band site over this window's rebar and browser.
    ComPtr<FakeBandSite> MakeBandSite(BandSiteOptions options = {});

    // Places a band as the browser does: SetSite with a new band site, GetBandInfo, GetWindow,
    // a rebar band holding its window, ShowDW(TRUE). The record is kept until RemoveBands.
    HRESULT AddBand(IUnknown* band, DWORD bandId = 0);
    const std::vector<HostedBand>& Bands() const { return bands_; }
    // ShowDW(FALSE), CloseDW, SetSite(null) and release, for every band.
    void RemoveBands();

    // Gives a keyboard message to the band that has the focus (TranslateAcceleratorIO);
    // true when the band consumed it.
    bool TranslateBandAccelerator(MSG& msg);
    // Runs the browser's queued work and the window's messages, keys routed to bands first.
    bool RunUntilIdle(DWORD timeoutMs = 10000);

    // ShowBrowserBar(clsid, true) creates the band through this factory and places it.
    using BandFactory = std::function<HRESULT(const std::wstring& clsid, IUnknown** band)>;
    void SetBandFactory(BandFactory factory) { factory_ = std::move(factory); }

    // Sends the host program's quit (OnQuit to the sinks, then the window closes).
    void Close();

private:
    static LRESULT CALLBACK FrameProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ToolbarHostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    bool ForwardToBand(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);
    void Layout();
    void ShowDocument(FakeBrowser& browser);
    HRESULT OnShowBrowserBar(const std::wstring& clsid, bool show);

    HostWindowOptions options_;
    std::shared_ptr<HostSession> session_;
    HWND frame_ = nullptr;
    HWND toolbarHost_ = nullptr;
    HWND rebar_ = nullptr;
    HWND content_ = nullptr;
    ComPtr<FakeBrowser> browser_;
    std::vector<HostedBand> bands_;
    BandFactory factory_;
    std::wstring shownBandClsid_;
};

}  // namespace tthost
