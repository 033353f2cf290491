#pragma once
// The windows the band places in the browser's toolbar area: an invisible reflector that hands
// child notifications back to their senders, and the toolbar window's base class, which
// creates the common-controls toolbar, builds its buttons from a toolbar resource and answers
// the band's size, focus and keyboard questions.
#include <windows.h>
#include <commctrl.h>
#include <exdisp.h>
#include <olectl.h>  // OCM__BASE and the OCM_ messages
#include <shlobj.h>

#include <memory>

#include "resources/resource_ids.h"
#include "support/com_ptr_win.h"

namespace tt {

// Reflected notifications arrive at the child as the original message plus OCM__BASE
// (WM_USER + 0x1c00, 0x2000): OCM_COMMAND, OCM_NOTIFY and so on.
static_assert(OCM__BASE == 0x2000, "the reflection base");

// Toolbar resources (type 241): version, picture width, picture height, item count, item ids.
constexpr WORD kToolbarResourceType = RT_TOOLBAR_TYPE;
constexpr UINT kTavelleToolbarResource = IDR_TAVELLE_TOOLBAR;

// Among start's direct children of that class the first visible one (the last found when none
// is visible); without such a child, the first result of the same search under each child in
// Z order; null when there is none.
HWND FindVisibleChildByClass(const wchar_t* className, HWND start);

// The browser's "ReBarWindow32": under its "InternetToolbarHost" when the browser has one
// (which also records in theSettings that the browser has tabs), else under the browser window.
HWND LocateRebar(HWND browserWindow);

// "IEToolbandReflectorCtrl": a window with no face of its own that reflects the notifications
// its children send it (WM_COMMAND from controls, WM_NOTIFY, WM_PARENTNOTIFY, the owner-draw and
// list-box messages, scrolling and WM_CTLCOLOR...) back to the child as OCM_ messages.
class CToolBarReflectorCtrl {
public:
    CToolBarReflectorCtrl() = default;
    ~CToolBarReflectorCtrl() { Destroy(); }
    CToolBarReflectorCtrl(const CToolBarReflectorCtrl&) = delete;
    CToolBarReflectorCtrl& operator=(const CToolBarReflectorCtrl&) = delete;

    // WS_CHILD only: it stays invisible.
    HWND Create(HWND parent, const RECT& rect);
    void Destroy();
    HWND Handle() const { return hwnd_; }

    // The window a reflected message goes back to (null: not reflected).
    static HWND ReflectionTarget(HWND reflector, UINT msg, WPARAM wParam, LPARAM lParam);

private:
    HWND hwnd_ = nullptr;
};

// "IEToolbandCtrl": the toolbar window. Derived classes override the virtual operations.
class CIEToolbandCtrl {
public:
    CIEToolbandCtrl() = default;
    CIEToolbandCtrl(const CIEToolbandCtrl&) = delete;
    CIEToolbandCtrl& operator=(const CIEToolbandCtrl&) = delete;

    // The window's messages: true when handled, with result. The base passes the reflected
    // notifications on as the platform's defaults of the unreflected messages.
    virtual bool ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // Destroys the window if it still exists, deletes the font and image list 0, releases the band.
    virtual ~CIEToolbandCtrl();
    // After the window's last message.
    virtual void OnFinalMessage(HWND hwnd);
    // After the buttons are built.
    virtual void OnToolbarCreated();
    // The band's site was taken away or the window has ended: nothing reaches the browser any
    // more. Derived classes drop what they hold of it.
    virtual void OnDetached();
    virtual int GetMinWidth();
    virtual int GetBandHeight();
    virtual bool HasFocus();
    // The browser's keyboard pass: S_OK when the message was consumed here.
    virtual HRESULT TranslateAccelerator(MSG* msg);

    // Creates the toolbar window under parent with the given control and resource id and builds
    // its buttons; null on failure (no window is left behind).
    HWND CreateToolbar(HWND parent, UINT resourceId);
    // Adds the buttons of toolbar resource id; the number of buttons that are not separators,
    // or -1 when the resource cannot be read.
    int LoadToolbarResource(UINT id);

    HWND Handle() const { return hwnd_; }
    IWebBrowser2* Browser() const { return browser_; }
    void SetBrowser(IWebBrowser2* browser) { browser_ = browser; }
    IInputObjectSite* InputObjectSite() const { return inputSite_; }
    void SetInputObjectSite(IInputObjectSite* site) { inputSite_ = site; }
    IUnknown* Band() const { return band_.get(); }
    void SetBand(IUnknown* band) {
        band_ = com_ptr<IUnknown>(band);
        owner_ = band;
    }
    // The browser is done with the band (its site was taken away): the counted reference goes,
    // and with it everything that reaches the browser.
    void ReleaseBand();
    // The window exists and the band is still in the browser's service. A handler that ran a
    // modal loop (a message box, a dialog, a menu) checks this before it goes on.
    bool InService() const;
    // A handler of this object is on the stack (a message, a key): the band keeps the object,
    // even when it is given a new site meanwhile, until the handler is done.
    bool InUse() const { return inUse_ > 0; }
    class UseScope {
    public:
        explicit UseScope(CIEToolbandCtrl& ctrl) : ctrl_(ctrl) { ++ctrl_.inUse_; }
        ~UseScope() { --ctrl_.inUse_; }
        UseScope(const UseScope&) = delete;
        UseScope& operator=(const UseScope&) = delete;

    private:
        CIEToolbandCtrl& ctrl_;
    };
    HWND Rebar() const { return rebar_; }
    void SetRebar(HWND rebar) { rebar_ = rebar; }
    HIMAGELIST ImageList() const { return imageList0_.get(); }

protected:
    unique_hfont font_;  // a derived class's font; deleted after the window

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    friend bool RegisterToolbandClasses();

    HWND hwnd_ = nullptr;
    IWebBrowser2* browser_ = nullptr;        // the browser outlives the toolbar
    IInputObjectSite* inputSite_ = nullptr;  // the band holds the reference
    com_ptr<IUnknown> band_;
    // The band that owns this window object, uncounted: it outlives the object. Each message
    // holds it, so that a band released inside a modal loop stays until the handler is done.
    IUnknown* owner_ = nullptr;
    bool detached_ = false;
    int inUse_ = 0;  // the window's thread only
    HWND rebar_ = nullptr;
    unique_himagelist imageList0_;
};

// Registers "IEToolbandCtrl" and "IEToolbandReflectorCtrl" (superclasses of ToolbarWindow32)
// for this module, once per process; false when the platform refuses.
bool RegisterToolbandClasses();

// The toolbar window object the band creates: the product's TavelleToolbarCtrl.
std::unique_ptr<CIEToolbandCtrl> CreateTavelleToolbarCtrl();

}  // namespace tt
