#include "toolbar/toolband_ctrl_win.h"

#include <mutex>
#include <string>
#include <vector>

#include "resources/string_table.h"
#include "settings/toolbar_settings.h"
#include "support/fault_guard.h"
#include "support/own_module_win.h"
#include "support/threads.h"
#include "support/unique_handle_win.h"

namespace tt {
namespace {

const wchar_t kToolbandClass[] = L"IEToolbandCtrl";
const wchar_t kReflectorClass[] = L"IEToolbandReflectorCtrl";

// The toolbar's own window procedure, and where our window object sits in the window's extra
// bytes (after the toolbar's own).
WNDPROC g_toolbarProc = nullptr;
int g_objectOffset = 0;

// The window object whose window is being created on this thread: its first messages come
// before CreateWindowExW returns.
thread_local CIEToolbandCtrl* t_creating = nullptr;

bool IsReflectedMessage(UINT msg) {
    if (msg < OCM__BASE) return false;
    const UINT plain = msg - OCM__BASE;
    return (plain >= WM_DRAWITEM && plain <= WM_CHARTOITEM) || plain == WM_COMPAREITEM ||
           plain == WM_NOTIFY || plain == WM_COMMAND || plain == WM_HSCROLL || plain == WM_VSCROLL ||
           (plain >= WM_CTLCOLORMSGBOX && plain <= WM_CTLCOLORSTATIC) || plain == WM_PARENTNOTIFY;
}

// Marks a reflector whose destruction has begun (its parent went first), so that the band does
// not destroy it a second time from inside that destruction.
const wchar_t kDyingProperty[] = L"TavelleToolbandDying";

LRESULT CALLBACK ReflectorProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (HWND target = CToolBarReflectorCtrl::ReflectionTarget(hwnd, msg, wParam, lParam))
        return SendMessageW(target, OCM__BASE + msg, wParam, lParam);
    if (msg == WM_DESTROY) SetPropW(hwnd, kDyingProperty, reinterpret_cast<HANDLE>(1));
    if (msg == WM_NCDESTROY) RemovePropW(hwnd, kDyingProperty);
    return CallWindowProcW(g_toolbarProc, hwnd, msg, wParam, lParam);
}

// Registers a superclass of the toolbar for this module; a class left by an earlier load of
// the module (another window procedure) is replaced.
bool RegisterSuperclass(const WNDCLASSEXW& base, const wchar_t* name, WNDPROC proc, int extra) {
    HMODULE module = OwnModule();
    WNDCLASSEXW existing = {};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(module, name, &existing)) {
        if (existing.lpfnWndProc == proc) return true;
        UnregisterClassW(name, module);
    }
    WNDCLASSEXW wc = base;
    wc.cbSize = sizeof wc;
    wc.hInstance = module;
    wc.lpszClassName = name;
    wc.lpfnWndProc = proc;
    wc.cbWndExtra = extra;
    wc.style &= ~CS_GLOBALCLASS;
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

bool RegisterToolbandClasses() {
    static CriticalSection lock;
    static bool registered = false;
    std::lock_guard<CriticalSection> guard(lock);
    if (registered) return true;
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    WNDCLASSEXW base = {};
    base.cbSize = sizeof base;
    if (!GetClassInfoExW(nullptr, TOOLBARCLASSNAMEW, &base)) return false;
    g_toolbarProc = base.lpfnWndProc;
    g_objectOffset = base.cbWndExtra;
    registered = RegisterSuperclass(base, kToolbandClass, &CIEToolbandCtrl::WindowProc,
                                    base.cbWndExtra + static_cast<int>(sizeof(LONG_PTR))) &&
                 RegisterSuperclass(base, kReflectorClass, ReflectorProc, base.cbWndExtra);
    return registered;
}

HWND FindVisibleChildByClass(const wchar_t* className, HWND start) {
    // A null start would search the desktop's windows.
    if (!start || !IsWindow(start)) return nullptr;
    HWND found = nullptr;
    for (HWND child = FindWindowExW(start, nullptr, className, nullptr); child;
         child = FindWindowExW(start, child, className, nullptr)) {
        if (IsWindowVisible(child)) return child;
        found = child;
    }
    if (found) return found;
    for (HWND child = GetWindow(start, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (HWND result = FindVisibleChildByClass(className, child)) return result;
    }
    return nullptr;
}

HWND LocateRebar(HWND browserWindow) {
    HWND host = FindVisibleChildByClass(L"InternetToolbarHost", browserWindow);
    if (host) theSettings.SetTabsAvailable(true);  // this host window belongs to the browsers with tabs
    return FindVisibleChildByClass(L"ReBarWindow32", host ? host : browserWindow);
}

// ---- reflector

HWND CToolBarReflectorCtrl::Create(HWND parent, const RECT& rect) {
    Destroy();
    if (!RegisterToolbandClasses()) return nullptr;
    hwnd_ =
        CreateWindowExW(0, kReflectorClass, nullptr, WS_CHILD, rect.left, rect.top, rect.right - rect.left,
                        rect.bottom - rect.top, parent, nullptr, OwnModule(), nullptr);
    return hwnd_;
}

void CToolBarReflectorCtrl::Destroy() {
    if (hwnd_ && IsWindow(hwnd_) && !GetPropW(hwnd_, kDyingProperty)) DestroyWindow(hwnd_);
    hwnd_ = nullptr;
}

HWND CToolBarReflectorCtrl::ReflectionTarget(HWND reflector, UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND child = nullptr;
    switch (msg) {
        case WM_COMMAND:
            child = reinterpret_cast<HWND>(lParam);  // null for menus and accelerators
            break;
        case WM_NOTIFY:
            if (lParam) child = reinterpret_cast<NMHDR*>(lParam)->hwndFrom;
            break;
        case WM_PARENTNOTIFY:
            switch (LOWORD(wParam)) {
                case WM_CREATE:
                case WM_DESTROY:
                    child = reinterpret_cast<HWND>(lParam);
                    break;
                default:
                    child = GetDlgItem(reflector, HIWORD(wParam));
                    break;
            }
            break;
        case WM_DRAWITEM:
            if (wParam && lParam) child = reinterpret_cast<DRAWITEMSTRUCT*>(lParam)->hwndItem;
            break;
        case WM_MEASUREITEM:
            if (wParam && lParam)
                child = GetDlgItem(reflector, reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->CtlID);
            break;
        case WM_COMPAREITEM:
            if (wParam && lParam) child = reinterpret_cast<COMPAREITEMSTRUCT*>(lParam)->hwndItem;
            break;
        case WM_DELETEITEM:
            if (wParam && lParam) child = reinterpret_cast<DELETEITEMSTRUCT*>(lParam)->hwndItem;
            break;
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_HSCROLL:
        case WM_VSCROLL:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
            child = reinterpret_cast<HWND>(lParam);
            break;
        default:
            return nullptr;
    }
    return child && IsWindow(child) ? child : nullptr;
}

// ---- toolbar window

CIEToolbandCtrl::~CIEToolbandCtrl() {
    if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
    // The toolbar does not own the image lists it is given: imageList0_ goes after it.
    band_.reset();
}

void CIEToolbandCtrl::OnFinalMessage(HWND) {}
void CIEToolbandCtrl::OnToolbarCreated() {}
void CIEToolbandCtrl::OnDetached() {}

void CIEToolbandCtrl::ReleaseBand() {
    band_.reset();
    browser_ = nullptr;
    inputSite_ = nullptr;
    detached_ = true;
    OnDetached();
}

bool CIEToolbandCtrl::InService() const { return !detached_ && hwnd_ && IsWindow(hwnd_); }
int CIEToolbandCtrl::GetMinWidth() { return 18; }
int CIEToolbandCtrl::GetBandHeight() { return 26; }
bool CIEToolbandCtrl::HasFocus() { return false; }

bool CIEToolbandCtrl::ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                           LRESULT& result) {
    if (!IsReflectedMessage(msg)) return false;
    result = DefWindowProcW(hwnd, msg - OCM__BASE, wParam, lParam);
    return true;
}

HRESULT CIEToolbandCtrl::TranslateAccelerator(MSG* msg) {
    if (!msg || !HasFocus()) return S_FALSE;
    // These keys edit the toolbar's text field rather than act in the browser.
    const bool editingKey =
        ((msg->message == WM_KEYDOWN || msg->message == WM_KEYUP) && msg->wParam == VK_BACK) ||
        (msg->wParam >= VK_END && msg->wParam <= VK_DOWN) || msg->wParam == VK_DELETE;
    // Anything else is the browser's to translate and dispatch when it gets S_FALSE; dispatching
    // it here as well would type every character into the field twice.
    if (!editingKey) return S_FALSE;
    TranslateMessage(msg);
    DispatchMessageW(msg);
    return S_OK;
}

LRESULT CALLBACK CIEToolbandCtrl::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<CIEToolbandCtrl*>(GetWindowLongPtrW(hwnd, g_objectOffset));
    if (!self && t_creating) {
        self = t_creating;
        t_creating = nullptr;
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, g_objectOffset, reinterpret_cast<LONG_PTR>(self));
    }
    // The band, and with it this object, lives until the message is handled, whatever the
    // browser releases meanwhile. Declared first, released last: nothing of this object is
    // touched after it.
    const com_ptr<IUnknown> hold(self ? self->owner_ : nullptr);
    if (self && msg != WM_NCDESTROY) {
        LRESULT result = 0;
        bool handled = false;
        GuardFaults([&] {
            UseScope use(*self);
            handled = self->ProcessWindowMessage(hwnd, msg, wParam, lParam, result);
        });
        if (handled) return result;
    }
    const LRESULT result = CallWindowProcW(g_toolbarProc, hwnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY && self) {
        SetWindowLongPtrW(hwnd, g_objectOffset, 0);
        self->hwnd_ = nullptr;
        GuardFaults([&] {
            if (!self->detached_) {
                self->detached_ = true;
                self->OnDetached();
            }
            self->OnFinalMessage(hwnd);
        });
        // The window's end gives up the band: the band may go with it, so nothing of this
        // object is touched afterwards.
        com_ptr<IUnknown> band = std::move(self->band_);
        band.reset();
    }
    return result;
}

HWND CIEToolbandCtrl::CreateToolbar(HWND parent, UINT resourceId) {
    if (!RegisterToolbandClasses()) return nullptr;
    constexpr DWORD kStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_TABSTOP |
                             TBSTYLE_LIST | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_NODIVIDER |
                             CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_TOP;
    static_assert(kStyle == 0x5601194D, "the toolbar's window styles");
    t_creating = this;
    HWND hwnd =
        CreateWindowExW(0, kToolbandClass, nullptr, kStyle, 0, 0, 120, 24, parent,
                        reinterpret_cast<HMENU>(static_cast<UINT_PTR>(resourceId)), OwnModule(), nullptr);
    t_creating = nullptr;
    if (!hwnd) return nullptr;
    SendMessageW(hwnd, TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_DRAWDDARROWS);
    // The structure's size on this platform (20 bytes in the 32-bit module).
    SendMessageW(hwnd, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    if (LoadToolbarResource(resourceId) < 0) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    OnToolbarCreated();
    return hwnd_;
}

int CIEToolbandCtrl::LoadToolbarResource(UINT id) {
    HMODULE module = OwnModule();
    HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(kToolbarResourceType));
    if (!info) return -1;
    HGLOBAL data = LoadResource(module, info);
    const DWORD size = SizeofResource(module, info);
    const WORD* words = data ? static_cast<const WORD*>(LockResource(data)) : nullptr;
    if (!words || size < 4 * sizeof(WORD)) return -1;
    const int width = words[1];
    const int height = words[2];
    const int count = words[3];
    // A resource that names more items than it holds is not read past its end.
    if (size < (4u + count) * sizeof(WORD)) return -1;

    std::vector<TBBUTTON> buttons(count);
    int pictures = 0;
    for (int i = 0; i < count; ++i) {
        TBBUTTON& b = buttons[i];
        const WORD command = words[4 + i];
        if (command != 0) {
            b.iBitmap = pictures++;
            b.idCommand = command;
            b.fsState = TBSTATE_ENABLED;
            b.fsStyle = BTNS_BUTTON;
            std::u16string text = LoadResourceString(command);
            if (text.empty()) {
                b.iString = -1;  // no text (an empty string would take the next one's index)
            } else {
                text.push_back(u'\0');  // the list ends in two zeros
                b.iString = SendMessageW(hwnd_, TB_ADDSTRINGW, 0, reinterpret_cast<LPARAM>(text.c_str()));
            }
        } else {
            b.iBitmap = 8;  // a separator's picture field holds its width
            b.fsStyle = BTNS_SEP;
        }
    }
    SendMessageW(hwnd_, CCM_SETVERSION, 5, 0);
    HIMAGELIST list = ImageList_LoadImageW(module, MAKEINTRESOURCEW(id), width, count, CLR_DEFAULT,
                                           IMAGE_BITMAP, LR_CREATEDIBSECTION);
    SendMessageW(hwnd_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(list));
    imageList0_.reset(list);
    SendMessageW(hwnd_, TB_ADDBUTTONSW, static_cast<WPARAM>(count), reinterpret_cast<LPARAM>(buttons.data()));
    SendMessageW(hwnd_, TB_SETBUTTONWIDTH, 0, MAKELPARAM(height + 4, height + 4));
    return pictures;
}

}  // namespace tt
