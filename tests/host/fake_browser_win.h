#pragma once
// The test browser: plays Internet Explorer's browser object for the toolbar's helper object
// and band. It records the calls made on it (Navigate2 with every argument exactly as given,
// Stop, get_HWND, get_Busy, get_LocationURL, get_Document, ShowBrowserBar), fires
// DWebBrowserEvents2 to advised sinks through IDispatch::Invoke with the browser's argument
// types and order, really fetches the pages over HTTP (cookies kept per host session), and
// offers their documents (title, cookie, MIME description, forms) built from the answers.
//
// Navigation runs asynchronously from the thread's message loop, step by step, in the
// browser's order:
//   BeforeNavigate2(top) - DownloadBegin - NavigateComplete2(top) - DownloadComplete -
//   [frames: DownloadBegin - BeforeNavigate2(each frame) - NavigateComplete2(each) -
//            DocumentComplete(each) - DownloadComplete] - DocumentComplete(top)
// A failed request fires NavigateError before the rest. A reload fires only DownloadBegin and
// DownloadComplete. Call RunUntilIdle() to let it happen.
#include <windows.h>
#include <exdisp.h>
#include <exdispid.h>
#include <ocidl.h>
#include <servprov.h>
#include <wrl/client.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/browser_work_queue_win.h"
#include "host/com_defaults_win.h"
#include "host/fake_document_win.h"
#include "host/host_com_win.h"
#include "host/host_session_win.h"

namespace tthost {

using Microsoft::WRL::ComPtr;

// One Navigate2 call as the caller made it.
struct NavigateCall {
    VARTYPE urlType = VT_EMPTY;
    std::wstring url;
    VARTYPE flagsType = VT_EMPTY;
    long flags = 0;
    VARTYPE targetType = VT_EMPTY;
    std::wstring target;
    VARTYPE postDataType = VT_EMPTY;  // after VT_VARIANT|VT_BYREF indirections
    std::vector<uint8_t> postData;    // every element of a VT_ARRAY|VT_UI1 array
    VARTYPE headersType = VT_EMPTY;
    std::wstring headers;
};

struct ShowBrowserBarCall {
    VARTYPE clsidType = VT_EMPTY;
    std::wstring clsid;
    VARTYPE showType = VT_EMPTY;
    bool show = false;
    bool sizeGiven = false;  // pvarSize not null and not VT_EMPTY/VT_ERROR
};

// A navigation the browser carried out (from Navigate2, a form, the user or a test).
struct NavigationRecord {
    enum class Origin { Navigate2, Form, User, NewWindow } origin = Origin::User;
    std::wstring url;  // as requested
    std::wstring method;
    std::wstring headers;
    std::vector<uint8_t> postData;
    bool cancelled = false;  // a sink cancelled BeforeNavigate2 or NavigateError
    bool completed = false;  // DocumentComplete fired
    std::wstring finalUrl;
    DWORD status = 0;
};

// An event as fired to the sinks.
struct FiredEvent {
    DISPID dispid = 0;
    std::wstring name;
    std::wstring url;             // URL argument, when the event has one
    IUnknown* browser = nullptr;  // identity of the pDisp argument (not a reference)
    bool frame = false;
    bool busy = false;  // get_Busy of the top browser at the time
    size_t sinks = 0;
};

class FakeConnectionPoint;
struct NavigationRun;

struct NavigationRequest {
    NavigationRecord::Origin origin = NavigationRecord::Origin::User;
    std::wstring url;
    std::wstring headers;
    std::vector<uint8_t> postData;
    bool post = false;
    long flags = 0;
    std::wstring targetFrame;
};

class FakeBrowser : public DefaultWebBrowser2,
                    public IConnectionPointContainer,
                    public IServiceProvider,
                    public IProvideClassInfo2,
                    public DocumentHost,
                    public HostRefCount {
public:
    // A top-level browser shown in window (may be null for a browser without a window).
    static ComPtr<FakeBrowser> Create(std::shared_ptr<HostSession> session, HWND window);

    TTHOST_REFCOUNTED
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;

    // IDispatch: type information of IWebBrowser2 from the platform's browser type library.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;

    // IWebBrowser2 members the toolbar uses.
    HRESULT STDMETHODCALLTYPE Navigate2(VARIANT* URL, VARIANT* Flags, VARIANT* TargetFrameName,
                                        VARIANT* PostData, VARIANT* Headers) override;
    HRESULT STDMETHODCALLTYPE Navigate(BSTR URL, VARIANT* Flags, VARIANT* TargetFrameName, VARIANT* PostData,
                                       VARIANT* Headers) override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Refresh() override;
    HRESULT STDMETHODCALLTYPE Refresh2(VARIANT* Level) override;
    HRESULT STDMETHODCALLTYPE get_HWND(SHANDLE_PTR* pHWND) override;
    HRESULT STDMETHODCALLTYPE get_Busy(VARIANT_BOOL* pBool) override;
    HRESULT STDMETHODCALLTYPE get_LocationURL(BSTR* LocationURL) override;
    HRESULT STDMETHODCALLTYPE get_LocationName(BSTR* LocationName) override;
    HRESULT STDMETHODCALLTYPE get_Document(IDispatch** ppDisp) override;
    HRESULT STDMETHODCALLTYPE get_ReadyState(READYSTATE* state) override;
    HRESULT STDMETHODCALLTYPE get_Visible(VARIANT_BOOL* pBool) override;
    HRESULT STDMETHODCALLTYPE put_Visible(VARIANT_BOOL Value) override;
    HRESULT STDMETHODCALLTYPE ShowBrowserBar(VARIANT* pvaClsid, VARIANT* pvarShow,
                                             VARIANT* pvarSize) override;
    HRESULT STDMETHODCALLTYPE Quit() override;

    // IConnectionPointContainer: DWebBrowserEvents2 only.
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

    // IServiceProvider: SID_SWebBrowserApp (and SID_SInternetExplorer) give the browser itself.
    HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID riid, void** ppv) override;

    // IProvideClassInfo2: the browser's coclass, whose default source is DWebBrowserEvents2.
    HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** ppTI) override;
    HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID* guid) override;

    // ---- for tests and the host program

    // Navigation as if the user typed the address (not recorded as a Navigate2 call).
    void UserNavigate(const std::wstring& url);
    // A reload of the current page: downloads only, no navigation events.
    void Reload();
    // Lets queued browser work run (see BrowserWorkQueue::RunUntilIdle).
    bool RunUntilIdle(DWORD timeoutMs = 10000);

    // Shows a document made from html at url at once, without HTTP and without events.
    void SetPage(const std::wstring& url, const std::wstring& html);
    // Adds a frame showing html at url to the current page, without events; returns it.
    ComPtr<FakeBrowser> AddFrame(const std::wstring& name, const std::wstring& url, const std::wstring& html);

    // Direct firing to the advised sinks (synchronous). A null pDisp means this browser.
    HRESULT FireBeforeNavigate2(IDispatch* pDisp, const std::wstring& url, bool* cancel = nullptr,
                                const std::vector<uint8_t>& postData = {}, const std::wstring& headers = L"",
                                const std::wstring& targetFrame = L"", long flags = 0);
    HRESULT FireNavigateComplete2(IDispatch* pDisp, const std::wstring& url);
    HRESULT FireDocumentComplete(IDispatch* pDisp, const std::wstring& url);
    HRESULT FireDownloadBegin();
    HRESULT FireDownloadComplete();
    HRESULT FireNewWindow2(IDispatch** ppDisp, bool* cancel = nullptr);
    HRESULT FireNavigateError(IDispatch* pDisp, const std::wstring& url, const std::wstring& frame,
                              long status, bool* cancel = nullptr);
    HRESULT FireOnQuit();
    // Any dispatch id with the given arguments (in the browser's reversed order).
    HRESULT FireEvent(DISPID dispid, VARIANT* args, UINT count, const wchar_t* name = L"");

    // State the events depend on.
    void SetBusy(bool busy) { busy_ = busy; }
    bool Busy() const { return busy_; }
    // The top DocumentComplete then fires while get_Busy still answers true.
    void SetBusyAtTopDocumentComplete(bool busy) { busyAtTopComplete_ = busy; }
    void SetLocation(const std::wstring& url) { location_ = url; }

    // Records.
    const std::vector<NavigateCall>& NavigateCalls() const { return navigateCalls_; }
    const std::vector<ShowBrowserBarCall>& ShowBrowserBarCalls() const { return barCalls_; }
    const std::vector<std::wstring>& Calls() const { return calls_; }
    int CountCalls(const std::wstring& name) const;
    void ClearRecords();
    const std::vector<NavigationRecord>& Navigations() const { return Top()->navigations_; }
    const std::vector<FiredEvent>& Events() const { return Top()->events_; }
    const std::vector<FormSubmission>& Submissions() const { return Top()->submissions_; }
    // Browsers opened by navOpenInNewWindow / navOpenInNewTab, in order.
    const std::vector<ComPtr<FakeBrowser>>& NewWindows() const { return newWindows_; }

    // Sinks. ReleaseSinks drops every advised sink (a test's teardown without OnQuit).
    size_t SinkCount() const;
    void ReleaseSinks();
    int AdviseCount() const;
    int UnadviseCount() const;

    FakeDocument* Document() const { return document_.Get(); }
    const std::vector<ComPtr<FakeBrowser>>& Frames() const { return frames_; }
    std::wstring Location() const { return location_; }
    std::wstring FrameName() const { return frameName_; }
    bool IsFrame() const { return parent_ != nullptr; }
    HWND Window() const { return window_; }
    HostSession& Session() const { return *session_; }
    std::shared_ptr<HostSession> SharedSession() const { return session_; }
    IDispatch* AsDispatch() { return static_cast<IWebBrowser2*>(this); }

    // Hooks of the host window: the bar request, and a document becoming current.
    using BarHandler = std::function<HRESULT(const std::wstring& clsid, bool show)>;
    void SetBarHandler(BarHandler handler) { barHandler_ = std::move(handler); }
    void SetDocumentListener(std::function<void(FakeBrowser&)> listener) {
        documentListener_ = std::move(listener);
    }

    // DocumentHost
    std::wstring DocumentCookie(const std::wstring& url) override;
    void SetDocumentCookie(const std::wstring& url, const std::wstring& cookie) override;
    void SubmitForm(const FormSubmission& submission) override;

private:
    FakeBrowser(std::shared_ptr<HostSession> session, HWND window, FakeBrowser* parent);
    ~FakeBrowser() override;

    FakeBrowser* Top() { return parent_ ? parent_->Top() : this; }
    const FakeBrowser* Top() const { return parent_ ? parent_->Top() : this; }
    void Record(const wchar_t* name) { calls_.push_back(name); }

    void StartNavigation(const NavigationRequest& request);
    void RunNavigation(std::shared_ptr<NavigationRun> run);
    HRESULT Fire(DISPID dispid, const wchar_t* name, VARIANT* args, UINT count, const std::wstring& url,
                 IDispatch* pDisp);
    void Detach();  // a replaced frame or a destroyed browser stops reaching its parent
    void ShowAnswer(const std::wstring& url, const HttpAnswer& answer);
    void NotifyDocument();

    std::shared_ptr<HostSession> session_;
    HWND window_;
    FakeBrowser* parent_;
    std::wstring frameName_;
    std::shared_ptr<DocumentHostLink> link_;
    ComPtr<FakeConnectionPoint> connectionPoint_;
    ComPtr<FakeDocument> document_;
    std::vector<ComPtr<FakeBrowser>> frames_;
    std::vector<ComPtr<FakeBrowser>> newWindows_;
    std::wstring location_;
    bool busy_ = false;
    bool busyAtTopComplete_ = false;
    bool visible_ = true;
    unsigned generation_ = 0;

    std::vector<NavigateCall> navigateCalls_;
    std::vector<ShowBrowserBarCall> barCalls_;
    std::vector<std::wstring> calls_;
    std::vector<NavigationRecord> navigations_;
    std::vector<FiredEvent> events_;
    std::vector<FormSubmission> submissions_;
    BarHandler barHandler_;
    std::function<void(FakeBrowser&)> documentListener_;

    friend class FakeConnectionPoint;
};

// The platform's browser type library (SHDocVw 1.1), or null when it is not registered.
ComPtr<ITypeLib> LoadBrowserTypeLib();

}  // namespace tthost
