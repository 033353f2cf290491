#include "toolbar/navigator_win.h"

#include <oleauto.h>
#include <wininet.h>

#include <cstring>

#include "support/fault_guard.h"
#include "support/unique_handle_win.h"
#include "support/wipe.h"

namespace tt {
namespace {

// A VARIANT that clears itself. A byte array (the post data, which holds the log-in) is
// zeroed before it is freed.
struct Variant {
    VARIANT v;
    Variant() { VariantInit(&v); }
    ~Variant() {
        if (v.vt == (VT_ARRAY | VT_UI1) && v.parray) {
            void* data = nullptr;
            if (SUCCEEDED(SafeArrayAccessData(v.parray, &data))) {
                WipeMemory(data, v.parray->rgsabound[0].cElements);
                SafeArrayUnaccessData(v.parray);
            }
        }
        VariantClear(&v);
    }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
};

void SetString(Variant& var, const std::u16string& text) {
    BSTR s = SysAllocStringLen(Wide(text), static_cast<UINT>(text.size()));
    if (!s) RaiseFault(kFaultOutOfMemory);
    var.v.vt = VT_BSTR;
    var.v.bstrVal = s;
}

void SetBytes(Variant& var, const std::vector<uint8_t>& bytes) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (!array) RaiseFault(kFaultOutOfMemory);
    var.v.vt = VT_ARRAY | VT_UI1;
    var.v.parray = array;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data))) RaiseFault();
    if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
    SafeArrayUnaccessData(array);
}

}  // namespace

void CWebBrowserNavigation::Stop() {
    if (browser_) browser_->Stop();
}

void CWebBrowserNavigation::Navigate(const std::u16string& url, int32_t flags,
                                     const std::vector<uint8_t>* postData, const std::u16string& headers) {
    if (!browser_) return;
    Variant address, navFlags, frame, post, headerLines;
    SetString(address, url);
    navFlags.v.vt = VT_I4;
    navFlags.v.lVal = flags;
    if (postData) SetBytes(post, *postData);
    SetString(headerLines, headers);
    // The browser reports its own errors; there is nothing to do with them here.
    browser_->Navigate2(&address.v, &navFlags.v, &frame.v, &post.v, &headerLines.v);
}

void CWebBrowserNavigation::DropCacheEntry(const std::u16string& url) { DeleteUrlCacheEntryW(Wide(url)); }

int ShowToolbarMessageBox(uintptr_t owner, const std::u16string& text, const std::u16string& caption,
                          unsigned style) {
    return MessageBoxW(reinterpret_cast<HWND>(owner), Wide(text), Wide(caption), style);
}

bool CKeyStateWin::CtrlHeld() { return GetKeyState(VK_CONTROL) < 0; }
bool CKeyStateWin::ShiftHeld() { return GetKeyState(VK_SHIFT) < 0; }

}  // namespace tt
