#include "toolbar/navigator_win.h"

#include <oleauto.h>
#include <wininet.h>

#include <cstring>

#include "support/com_ptr_win.h"
#include "support/fault_guard.h"

namespace tt {
namespace {

void SetString(unique_variant& var, const std::u16string& text) {
    BSTR s = SysAllocStringLen(Wide(text), static_cast<UINT>(text.size()));
    if (!s) RaiseFault(kFaultOutOfMemory);
    var->vt = VT_BSTR;
    var->bstrVal = s;
}

void SetBytes(unique_variant& var, const std::vector<uint8_t>& bytes) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (!array) RaiseFault(kFaultOutOfMemory);
    var->vt = VT_ARRAY | VT_UI1;
    var->parray = array;
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
    unique_variant address, navFlags, frame, post, headerLines;
    SetString(address, url);
    navFlags->vt = VT_I4;
    navFlags->lVal = flags;
    if (postData) SetBytes(post, *postData);
    SetString(headerLines, headers);
    // The browser reports its own errors; there is nothing to do with them here.
    browser_->Navigate2(address.get(), navFlags.get(), frame.get(), post.get(), headerLines.get());
}

void CWebBrowserNavigation::DropCacheEntry(const std::u16string& url) { DeleteUrlCacheEntryW(Wide(url)); }

int ShowToolbarMessageBox(uintptr_t owner, const std::u16string& text, const std::u16string& caption,
                          unsigned style) {
    return MessageBoxW(reinterpret_cast<HWND>(owner), Wide(text), Wide(caption), style);
}

bool CKeyStateWin::CtrlHeld() { return GetKeyState(VK_CONTROL) < 0; }
bool CKeyStateWin::ShiftHeld() { return GetKeyState(VK_SHIFT) < 0; }

}  // namespace tt
