#include "host/host_window_win.h"

#include <commctrl.h>
#include <shlguid.h>

namespace tthost {
namespace {

const wchar_t kFrameClass[] = L"TavelleTestHostFrame";
const wchar_t kToolbarHostClass[] = L"InternetToolbarHost";

void RegisterClasses() {
    static bool done = false;
    if (done) return;
    done = true;
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_COOL_CLASSES | ICC_BAR_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    WNDCLASSW wc = {};
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpfnWndProc = DefWindowProcW;  // replaced per window below
    wc.lpszClassName = kFrameClass;
    RegisterClassW(&wc);
    wc.lpszClassName = kToolbarHostClass;
    RegisterClassW(&wc);
}

}  // namespace

// ---- band site

FakeBandSite::FakeBandSite(ComPtr<FakeBrowser> browser, HWND window, BandSiteOptions options)
    : browser_(std::move(browser)), window_(window), options_(options) {}

HRESULT FakeBandSite::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    interfacesAsked_.push_back(riid);
    if (riid == IID_IUnknown) {
        *ppv = static_cast<IOleWindow*>(this);
    } else if (riid == IID_IOleWindow && options_.oleWindow) {
        *ppv = static_cast<IOleWindow*>(this);
    } else if (riid == IID_IInputObjectSite && options_.inputObjectSite) {
        *ppv = static_cast<IInputObjectSite*>(this);
    } else if (riid == IID_IOleCommandTarget && options_.commandTarget) {
        *ppv = static_cast<IOleCommandTarget*>(this);
    } else if (riid == IID_IServiceProvider && options_.serviceProvider) {
        *ppv = static_cast<IServiceProvider*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

HRESULT FakeBandSite::GetWindow(HWND* phwnd) {
    ++getWindowCalls_;
    if (!phwnd) return E_INVALIDARG;
    *phwnd = window_;
    return S_OK;
}

HRESULT FakeBandSite::ContextSensitiveHelp(BOOL) { return S_OK; }

HRESULT FakeBandSite::OnFocusChangeIS(IUnknown* object, BOOL setFocus) {
    ComPtr<IUnknown> identity;
    if (object) object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.GetAddressOf()));
    focusChanges_.push_back({identity.Get(), setFocus != FALSE});
    return S_OK;
}

HRESULT FakeBandSite::QueryStatus(const GUID*, ULONG, OLECMD*, OLECMDTEXT*) {
    return OLECMDERR_E_UNKNOWNGROUP;
}

HRESULT FakeBandSite::Exec(const GUID*, DWORD, DWORD, VARIANT*, VARIANT*) { return OLECMDERR_E_UNKNOWNGROUP; }

HRESULT FakeBandSite::QueryService(REFGUID service, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    servicesAsked_.push_back(service);
    if ((service == SID_SWebBrowserApp || service == SID_SInternetExplorer) && options_.browserService &&
        browser_)
        return browser_->QueryInterface(riid, ppv);
    return E_NOINTERFACE;
}

// ---- host window

HostWindow::HostWindow(HostWindowOptions options, std::shared_ptr<HostSession> session)
    : options_(std::move(options)), session_(session ? std::move(session) : std::make_shared<HostSession>()) {
    RegisterClasses();
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    frame_ = CreateWindowExW(0, kFrameClass, options_.title.c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                             CW_USEDEFAULT, CW_USEDEFAULT, options_.width, options_.height, nullptr, nullptr,
                             instance, nullptr);
    SetWindowLongPtrW(frame_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(frame_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FrameProc));
    HWND rebarParent = frame_;
    if (options_.tabs) {
        toolbarHost_ = CreateWindowExW(0, kToolbarHostClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0,
                                       0, options_.width, 30, frame_, nullptr, instance, nullptr);
        SetWindowLongPtrW(toolbarHost_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetWindowLongPtrW(toolbarHost_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ToolbarHostProc));
        rebarParent = toolbarHost_;
    }
    rebar_ = CreateWindowExW(WS_EX_TOOLWINDOW, REBARCLASSNAMEW, L"",
                             WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | RBS_VARHEIGHT |
                                 RBS_BANDBORDERS | CCS_NODIVIDER | CCS_NOPARENTALIGN | CCS_TOP,
                             0, 0, options_.width, 30, rebarParent, nullptr, instance, nullptr);
    content_ =
        CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                        WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 0,
                        30, options_.width, options_.height - 30, frame_, nullptr, instance, nullptr);
    browser_ = FakeBrowser::Create(session_, frame_);
    browser_->SetDocumentListener([this](FakeBrowser& b) { ShowDocument(b); });
    browser_->SetBarHandler(
        [this](const std::wstring& clsid, bool show) { return OnShowBrowserBar(clsid, show); });
    Layout();
    if (options_.visible) {
        ShowWindow(frame_, SW_SHOW);
        UpdateWindow(frame_);
    }
}

HostWindow::~HostWindow() {
    RemoveBands();
    if (browser_) {
        browser_->SetDocumentListener(nullptr);
        browser_->SetBarHandler(nullptr);
        browser_->ReleaseSinks();  // sinks and the browser would otherwise keep each other alive
    }
    if (IsWindow(frame_)) {
        SetWindowLongPtrW(frame_, GWLP_USERDATA, 0);
        if (toolbarHost_) SetWindowLongPtrW(toolbarHost_, GWLP_USERDATA, 0);
        DestroyWindow(frame_);
    }
}

ComPtr<FakeBandSite> HostWindow::MakeBandSite(BandSiteOptions options) {
    ComPtr<FakeBandSite> site;
    site.Attach(new FakeBandSite(browser_, options.window ? options.window : rebar_, options));
    return site;
}

HRESULT HostWindow::AddBand(IUnknown* band, DWORD bandId) {
    if (!band) return E_POINTER;
    HostedBand hosted;
    hosted.band = band;
    hosted.site = MakeBandSite();
    ComPtr<IObjectWithSite> withSite;
    HRESULT hr = band->QueryInterface(IID_IObjectWithSite, reinterpret_cast<void**>(withSite.GetAddressOf()));
    if (FAILED(hr)) return hr;
    hosted.setSiteResult = withSite->SetSite(static_cast<IOleWindow*>(hosted.site.Get()));
    if (FAILED(hosted.setSiteResult)) return hosted.setSiteResult;
    ComPtr<IDeskBand> deskBand;
    if (SUCCEEDED(band->QueryInterface(IID_IDeskBand, reinterpret_cast<void**>(deskBand.GetAddressOf())))) {
        hosted.info.dwMask = DBIM_MINSIZE | DBIM_MAXSIZE | DBIM_INTEGRAL | DBIM_ACTUAL | DBIM_TITLE |
                             DBIM_MODEFLAGS | DBIM_BKCOLOR;
        hosted.bandInfoResult = deskBand->GetBandInfo(bandId, DBIF_VIEWMODE_NORMAL, &hosted.info);
        deskBand->GetWindow(&hosted.window);
    }
    if (hosted.window && IsWindow(hosted.window)) {
        hosted.originalParent = GetParent(hosted.window);
        REBARBANDINFOW rb = {};
        rb.cbSize = sizeof rb;
        rb.fMask = RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_STYLE | RBBIM_ID | RBBIM_SIZE | RBBIM_IDEALSIZE;
        rb.fStyle = RBBS_CHILDEDGE | RBBS_GRIPPERALWAYS;
        if (hosted.info.dwModeFlags & DBIMF_BREAK) rb.fStyle |= RBBS_BREAK;
        rb.hwndChild = hosted.window;
        rb.cxMinChild = hosted.info.ptMinSize.x;
        rb.cyMinChild = hosted.info.ptMinSize.y;
        rb.cx = options_.width;
        rb.cxIdeal = hosted.info.ptActual.x;
        rb.wID = bandId;
        SendMessageW(rebar_, RB_INSERTBANDW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&rb));
    }
    ComPtr<IDockingWindow> docking;
    if (SUCCEEDED(band->QueryInterface(IID_IDockingWindow, reinterpret_cast<void**>(docking.GetAddressOf()))))
        docking->ShowDW(TRUE);
    bands_.push_back(hosted);
    Layout();
    return S_OK;
}

void HostWindow::RemoveBands() {
    std::vector<HostedBand> bands;
    bands.swap(bands_);
    for (auto& b : bands) {
        ComPtr<IDockingWindow> docking;
        if (SUCCEEDED(b.band.As(&docking))) {
            docking->ShowDW(FALSE);
            docking->CloseDW(0);
        }
        if (b.window && IsWindow(rebar_)) {
            const UINT count = static_cast<UINT>(SendMessageW(rebar_, RB_GETBANDCOUNT, 0, 0));
            for (UINT i = 0; i < count; ++i) {
                REBARBANDINFOW rb = {};
                rb.cbSize = sizeof rb;
                rb.fMask = RBBIM_CHILD;
                if (SendMessageW(rebar_, RB_GETBANDINFOW, i, reinterpret_cast<LPARAM>(&rb)) &&
                    rb.hwndChild == b.window) {
                    SendMessageW(rebar_, RB_DELETEBAND, i, 0);
                    break;
                }
            }
            // Back under the window it was made for, so the band destroys it where it expects.
            if (IsWindow(b.window) && b.originalParent && IsWindow(b.originalParent))
                SetParent(b.window, b.originalParent);
        }
        ComPtr<IObjectWithSite> withSite;
        if (SUCCEEDED(b.band.As(&withSite))) withSite->SetSite(nullptr);
    }
    bands.clear();
}

bool HostWindow::TranslateBandAccelerator(MSG& msg) {
    if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST) return false;
    for (auto& b : bands_) {
        ComPtr<IInputObject> input;
        if (FAILED(b.band.As(&input))) continue;
        if (input->HasFocusIO() == S_OK && input->TranslateAcceleratorIO(&msg) == S_OK) return true;
    }
    return false;
}

bool HostWindow::RunUntilIdle(DWORD timeoutMs) {
    return BrowserWorkQueue::ForThread().RunUntilIdle(timeoutMs,
                                                      [this](MSG& m) { return TranslateBandAccelerator(m); });
}

void HostWindow::Close() {
    if (browser_) browser_->FireOnQuit();
    RemoveBands();
    if (IsWindow(frame_)) DestroyWindow(frame_);
}

HRESULT HostWindow::OnShowBrowserBar(const std::wstring& clsid, bool show) {
    if (!show) {
        if (clsid == shownBandClsid_) {
            RemoveBands();
            shownBandClsid_.clear();
        }
        return S_OK;
    }
    if (!factory_ || clsid == shownBandClsid_) return S_OK;
    ComPtr<IUnknown> band;
    HRESULT hr = factory_(clsid, band.GetAddressOf());
    if (FAILED(hr) || !band) return FAILED(hr) ? hr : E_FAIL;
    hr = AddBand(band.Get());
    if (SUCCEEDED(hr)) shownBandClsid_ = clsid;
    return hr;
}

void HostWindow::Layout() {
    if (!IsWindow(frame_)) return;
    RECT rc;
    GetClientRect(frame_, &rc);
    RECT bar = {};
    GetWindowRect(rebar_, &bar);
    int height = bar.bottom - bar.top;
    if (height < 4) height = 4;
    if (toolbarHost_) {
        MoveWindow(toolbarHost_, 0, 0, rc.right, height, TRUE);
        MoveWindow(rebar_, 0, 0, rc.right, height, TRUE);
    } else {
        MoveWindow(rebar_, 0, 0, rc.right, height, TRUE);
    }
    MoveWindow(content_, 0, height, rc.right, rc.bottom - height > 0 ? rc.bottom - height : 0, TRUE);
}

void HostWindow::ShowDocument(FakeBrowser& browser) {
    if (browser.IsFrame() || !browser.Document()) return;
    const FakeDocument* doc = browser.Document();
    std::wstring text = browser.Location() + L"\r\n\r\n" + doc->Title() + L"\r\n\r\n" + doc->Text();
    for (const auto& form : doc->Forms()) {
        text += L"\r\n[form " + form->Name() + L"]";
        for (const auto& f : form->Fields()) {
            if (!f->Field().name.empty()) text += L"  " + f->Field().name + L"=" + f->Value();
        }
    }
    SetWindowTextW(content_, text.c_str());
    SetWindowTextW(frame_,
                   (doc->Title().empty() ? options_.title : doc->Title() + L" - " + options_.title).c_str());
}

bool HostWindow::ForwardToBand(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    // The rebar passes its children's notifications up; the browser hands a band's back to the
    // window the band made it under, where the band's own reflection takes over.
    HWND from = nullptr;
    if (msg == WM_COMMAND) from = reinterpret_cast<HWND>(lParam);
    if (msg == WM_NOTIFY && lParam) from = reinterpret_cast<NMHDR*>(lParam)->hwndFrom;
    if (!from) return false;
    for (const auto& b : bands_) {
        if (b.window && (from == b.window || IsChild(b.window, from)) && b.originalParent &&
            IsWindow(b.originalParent) && b.originalParent != GetParent(b.window)) {
            *result = SendMessageW(b.originalParent, msg, wParam, lParam);
            return true;
        }
    }
    return false;
}

LRESULT CALLBACK HostWindow::FrameProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<HostWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self) {
        LRESULT result = 0;
        switch (msg) {
            case WM_SIZE:
                self->Layout();
                return 0;
            case WM_COMMAND:
            case WM_NOTIFY:
                if (self->ForwardToBand(msg, wParam, lParam, &result)) return result;
                if (msg == WM_NOTIFY && lParam &&
                    reinterpret_cast<NMHDR*>(lParam)->code == RBN_HEIGHTCHANGE) {
                    self->Layout();
                    return 0;
                }
                break;
            case WM_CLOSE:
                self->Close();
                return 0;
            case WM_DESTROY:
                if (self->options_.visible) PostQuitMessage(0);
                break;
            default:
                break;
        }
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK HostWindow::ToolbarHostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<HostWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && (msg == WM_COMMAND || msg == WM_NOTIFY)) {
        LRESULT result = 0;
        if (self->ForwardToBand(msg, wParam, lParam, &result)) return result;
        if (msg == WM_NOTIFY && lParam && reinterpret_cast<NMHDR*>(lParam)->code == RBN_HEIGHTCHANGE) {
            self->Layout();
            return 0;
        }
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace tthost
