#pragma once
// Reference counting shared by the test host's COM objects. The host's objects live on the
// test's thread; the count is interlocked anyway, as objects handed to the code under test
// may be released from wherever it keeps them.
#include <windows.h>
#include <oleauto.h>

#include <string>

namespace tthost {

class HostRefCount {
public:
    virtual ~HostRefCount() = default;
    ULONG AddRefImpl() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG ReleaseImpl() {
        const LONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }
    LONG RefCount() const { return refs_; }

private:
    LONG refs_ = 1;  // the creator's reference
};

#define TTHOST_REFCOUNTED                                              \
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); } \
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

// A new BSTR for an out-parameter; the empty text is an empty BSTR, not null.
inline BSTR AllocBstr(const std::wstring& s) {
    return SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
}

inline std::wstring FromBstr(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }

// The text of a VARIANT argument given as VT_BSTR, VT_BSTR|VT_BYREF or a VARIANT by reference.
std::wstring VariantText(const VARIANT* v);
// A VARIANT argument seen through VT_VARIANT|VT_BYREF indirections.
const VARIANT* VariantTarget(const VARIANT* v);

}  // namespace tthost
