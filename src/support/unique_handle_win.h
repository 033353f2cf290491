#pragma once
// Owner types for Win32 handles: each handle closes itself, out-parameters go through put().
#include <windows.h>
#include <commctrl.h>
#include <wininet.h>

#include <string>
#include <utility>

namespace tt {

template <class Handle, auto Close, Handle Invalid = Handle{}>
class unique_any {
public:
    unique_any() = default;
    explicit unique_any(Handle h) : h_(h) {}
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    unique_any(unique_any&& other) noexcept : h_(std::exchange(other.h_, Invalid)) {}
    unique_any& operator=(unique_any&& other) noexcept {
        if (this != &other) reset(std::exchange(other.h_, Invalid));
        return *this;
    }
    ~unique_any() { reset(); }

    Handle get() const { return h_; }
    explicit operator bool() const { return h_ != Invalid; }
    Handle release() { return std::exchange(h_, Invalid); }
    void reset(Handle h = Invalid) {
        if (h_ != Invalid) Close(h_);
        h_ = h;
    }
    Handle* put() {
        reset();
        return &h_;
    }

private:
    Handle h_ = Invalid;
};

inline void CloseKey(HKEY k) { RegCloseKey(k); }
inline void CloseInternet(HINTERNET h) { InternetCloseHandle(h); }
inline void FreeLocal(HLOCAL h) { LocalFree(h); }
inline void DestroyWnd(HWND h) {
    if (IsWindow(h)) DestroyWindow(h);
}
inline void DeleteGdi(HGDIOBJ h) { DeleteObject(h); }
inline void DeleteFontHandle(HFONT h) { DeleteObject(h); }
inline void DestroyImageList(HIMAGELIST h) { ImageList_Destroy(h); }
inline void DestroyMenuHandle(HMENU h) { DestroyMenu(h); }
inline void CloseKernelHandle(HANDLE h) { CloseHandle(h); }

using unique_hkey = unique_any<HKEY, CloseKey>;
using unique_hinternet = unique_any<HINTERNET, CloseInternet>;
using unique_hlocal = unique_any<HLOCAL, FreeLocal>;
using unique_hwnd = unique_any<HWND, DestroyWnd>;
using unique_hgdiobj = unique_any<HGDIOBJ, DeleteGdi>;
using unique_hfont = unique_any<HFONT, DeleteFontHandle>;
using unique_himagelist = unique_any<HIMAGELIST, DestroyImageList>;
using unique_hmenu = unique_any<HMENU, DestroyMenuHandle>;
using unique_handle = unique_any<HANDLE, CloseKernelHandle>;

// Reads a UTF-16 platform string as the system's text type and back.
inline std::u16string FromWide(const wchar_t* s) {
    return s ? std::u16string(reinterpret_cast<const char16_t*>(s)) : std::u16string();
}
inline std::u16string FromWide(const wchar_t* s, size_t n) {
    return std::u16string(reinterpret_cast<const char16_t*>(s), n);
}
inline const wchar_t* Wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

}  // namespace tt
