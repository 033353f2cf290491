#pragma once
// Owners for COM references, BSTRs and VARIANTs, and the HRESULT plumbing of COM methods.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <string>
#include <utility>

#include "support/unique_handle_win.h"
#include "support/wipe.h"

namespace tt {

// One counted reference to a COM interface.
template <class T>
class com_ptr {
public:
    com_ptr() = default;
    com_ptr(std::nullptr_t) {}
    explicit com_ptr(T* p) : p_(p) {  // adds a reference
        if (p_) p_->AddRef();
    }
    com_ptr(const com_ptr& o) : com_ptr(o.p_) {}
    com_ptr(com_ptr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    com_ptr& operator=(const com_ptr& o) {
        com_ptr(o).swap(*this);
        return *this;
    }
    com_ptr& operator=(com_ptr&& o) noexcept {
        com_ptr(std::move(o)).swap(*this);
        return *this;
    }
    ~com_ptr() { reset(); }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    void reset() {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    // Takes over a reference that the caller owns.
    void attach(T* p) {
        reset();
        p_ = p;
    }
    T* detach() { return std::exchange(p_, nullptr); }
    // Out-parameter of a call that hands out a reference.
    T** put() {
        reset();
        return &p_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    // Hands a new reference to an out-parameter (may be null: then nothing happens).
    HRESULT copy_to(T** out) const {
        if (!out) return E_POINTER;
        *out = p_;
        if (p_) p_->AddRef();
        return S_OK;
    }
    void swap(com_ptr& o) noexcept { std::swap(p_, o.p_); }

    // QueryInterface into another owner; null when this is null or the query fails.
    template <class U>
    com_ptr<U> query() const {
        com_ptr<U> result;
        if (p_) p_->QueryInterface(__uuidof(U), result.put_void());
        return result;
    }

private:
    T* p_ = nullptr;
};

// Queries any interface pointer (null allowed).
template <class U, class T>
com_ptr<U> query(T* p) {
    com_ptr<U> result;
    if (p) p->QueryInterface(__uuidof(U), result.put_void());
    return result;
}

// Two references name the same object when their IUnknowns are equal.
template <class A, class B>
bool IsSameObject(A* a, B* b) {
    if (!a || !b) return false;
    com_ptr<IUnknown> ua = query<IUnknown>(a);
    com_ptr<IUnknown> ub = query<IUnknown>(b);
    return ua && ua.get() == ub.get();
}

inline void FreeBstr(BSTR s) { SysFreeString(s); }
using unique_bstr = unique_any<BSTR, FreeBstr>;

// A BSTR copy of a text (null only when out of memory, which raises at the caller's check).
inline unique_bstr MakeBstr(const std::u16string& text) {
    return unique_bstr(
        SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size())));
}
inline std::u16string FromBstr(BSTR s) { return s ? FromWide(s, SysStringLen(s)) : std::u16string(); }

// A VARIANT that clears itself. A byte array (post data may hold the log-in) is zeroed before
// it is freed.
class unique_variant {
public:
    unique_variant() { VariantInit(&v_); }
    unique_variant(const unique_variant&) = delete;
    unique_variant& operator=(const unique_variant&) = delete;
    ~unique_variant() { Clear(); }
    VARIANT* get() { return &v_; }
    VARIANT* operator->() { return &v_; }
    VARIANT* put() {
        Clear();
        return &v_;
    }

private:
    void Clear() {
        if (v_.vt == (VT_ARRAY | VT_UI1) && v_.parray) {
            void* data = nullptr;
            if (SUCCEEDED(SafeArrayAccessData(v_.parray, &data))) {
                WipeMemory(data, v_.parray->rgsabound[0].cElements);
                SafeArrayUnaccessData(v_.parray);
            }
        }
        VariantClear(&v_);
    }

    VARIANT v_;
};

// The calling thread in a single-threaded COM apartment for the owner's lifetime (threads of
// our own and registration may run without one); left only when this entered it.
class ComApartment {
public:
    ComApartment() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT hr_;
};

}  // namespace tt

// HRESULT plumbing: a COM method reads as its steps.
#define TT_RETURN_IF_FAILED(expr)          \
    do {                                   \
        HRESULT tt_hr_ = (expr);           \
        if (FAILED(tt_hr_)) return tt_hr_; \
    } while (0)
