#pragma once
// The small COM support the module needs in place of a class library: a module-wide lock
// count, reference-counted objects that can be aggregated, table-driven QueryInterface and a
// class factory that applies the aggregation rules.
//
// An object derives from its interfaces and from ComObjectRoot, implements
// QueryInterfaceTable with a QITAB table, and forwards its IUnknown methods to the
// controlling unknown with TT_COM_DELEGATING_IUNKNOWN:
//
//     class CThing : public IThing, public tt::com::ComObjectRoot {
//     public:
//         TT_COM_DELEGATING_IUNKNOWN
//         HRESULT QueryInterfaceTable(REFIID riid, void** ppv) override {
//             static const QITAB table[] = {QITABENT(CThing, IThing), {}};
//             return tt::com::SearchInterfaceTable(this, table, riid, ppv);
//         }
//     };
//     tt::com::CreateInstance<CThing>(outer, riid, ppv);
#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>

#include <new>

#include "support/fault_guard.h"

namespace tt::com {

// QueryInterface over a QITAB table, as shlwapi's QISearch answers it: the entry for riid
// (IUnknown: the first entry), with a reference added through it. Our own because before
// Windows Vista shlwapi exports QISearch by ordinal only, and a module that imports it by name
// does not load on Windows XP.
inline HRESULT SearchInterfaceTable(void* object, const QITAB* table, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!object || !table) return E_NOINTERFACE;
    for (const QITAB* entry = table; entry->piid; ++entry) {
        if (IsEqualIID(riid, *entry->piid) || (entry == table && IsEqualIID(riid, IID_IUnknown))) {
            auto* found = reinterpret_cast<IUnknown*>(static_cast<char*>(object) + entry->dwOffset);
            found->AddRef();
            *ppv = found;
            return S_OK;
        }
    }
    return E_NOINTERFACE;
}

// The module's lock count: every live object, class factory and IClassFactory::LockServer
// counts once. DllCanUnloadNow answers S_OK only at zero. Class objects may be locked from any
// thread, so the count changes with interlocked operations.
inline volatile LONG g_moduleLockCount = 0;

inline LONG ModuleLock() { return InterlockedIncrement(&g_moduleLockCount); }
inline LONG ModuleUnlock() { return InterlockedDecrement(&g_moduleLockCount); }
inline LONG ModuleLockCount() { return InterlockedCompareExchange(&g_moduleLockCount, 0, 0); }

// Reference counting, identity and aggregation for one object. The object's own IUnknown
// methods forward to OuterUnknown(): the outer object when aggregated, otherwise the object's
// non-delegating unknown, so the object has one identity either way.
class ComObjectRoot {
public:
    ComObjectRoot() { ModuleLock(); }
    virtual ~ComObjectRoot() { ModuleUnlock(); }
    ComObjectRoot(const ComObjectRoot&) = delete;
    ComObjectRoot& operator=(const ComObjectRoot&) = delete;

    // The object's interfaces, without IUnknown (answered by the non-delegating unknown).
    // Usually SearchInterfaceTable over a QITAB table, which adds the reference through the
    // interface.
    virtual HRESULT QueryInterfaceTable(REFIID riid, void** ppv) = 0;

    // Runs once after construction, before the first query; a failure destroys the object.
    virtual HRESULT FinalConstruct() { return S_OK; }

    IUnknown* OuterUnknown() { return outer_ ? outer_ : &inner_; }
    IUnknown* InnerUnknown() { return &inner_; }
    bool IsAggregated() const { return outer_ != nullptr; }
    void SetOuterUnknown(IUnknown* outer) { outer_ = outer; }
    LONG RefCount() const { return InterlockedCompareExchange(const_cast<volatile LONG*>(&refs_), 0, 0); }

private:
    // The non-delegating unknown: owns the reference count and answers IUnknown itself.
    class Inner final : public IUnknown {
    public:
        explicit Inner(ComObjectRoot* root) : root_(root) {}
        STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
            if (!ppv) return E_POINTER;
            *ppv = nullptr;
            if (IsEqualIID(riid, IID_IUnknown)) {
                *ppv = static_cast<IUnknown*>(this);
                AddRef();
                return S_OK;
            }
            return root_->QueryInterfaceTable(riid, ppv);
        }
        STDMETHODIMP_(ULONG) AddRef() override {
            return static_cast<ULONG>(InterlockedIncrement(&root_->refs_));
        }
        STDMETHODIMP_(ULONG) Release() override {
            LONG n = InterlockedDecrement(&root_->refs_);
            if (n == 0) {
                root_->refs_ = 1;  // guards against a second destruction from inside the destructor
                delete root_;
            }
            return static_cast<ULONG>(n);
        }

    private:
        ComObjectRoot* root_;
    };

    volatile LONG refs_ = 0;
    IUnknown* outer_ = nullptr;
    Inner inner_{this};
};

// Forwards IUnknown of each of the object's interfaces to its controlling unknown.
#define TT_COM_DELEGATING_IUNKNOWN                                              \
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {             \
        return OuterUnknown()->QueryInterface(riid, ppv);                       \
    }                                                                           \
    STDMETHODIMP_(ULONG) AddRef() override { return OuterUnknown()->AddRef(); } \
    STDMETHODIMP_(ULONG) Release() override { return OuterUnknown()->Release(); }

// The aggregation rules of every creation: a null result pointer is E_POINTER; an outer
// object may only ask for IUnknown (it must hold the non-delegating unknown).
inline HRESULT CheckCreateArguments(IUnknown* outer, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    return S_OK;
}

// Creates T (a ComObjectRoot), plainly or aggregated: new (std::nothrow), query, release. A
// failed query destroys the object again.
template <class T, class... Args>
HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv, Args&&... args) {
    HRESULT hr = CheckCreateArguments(outer, riid, ppv);
    if (FAILED(hr)) return hr;
    T* object = new (std::nothrow) T(static_cast<Args&&>(args)...);
    if (!object) return E_OUTOFMEMORY;
    ComObjectRoot* root = object;
    root->SetOuterUnknown(outer);
    IUnknown* inner = root->InnerUnknown();
    inner->AddRef();
    hr = root->FinalConstruct();
    if (SUCCEEDED(hr)) hr = inner->QueryInterface(riid, ppv);
    inner->Release();
    return hr;
}

// The creation function of one class: (outer, riid, out) with the rules above.
using CreatorFunction = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);

// The class object of one class. It counts in the module's lock count while it lives.
class ClassFactory final : public IClassFactory, public ComObjectRoot {
public:
    explicit ClassFactory(CreatorFunction create) : create_(create) {}

    TT_COM_DELEGATING_IUNKNOWN
    HRESULT QueryInterfaceTable(REFIID riid, void** ppv) override {
        static const QITAB table[] = {QITABENT(ClassFactory, IClassFactory), {}};
        return SearchInterfaceTable(this, table, riid, ppv);
    }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        HRESULT hr = CheckCreateArguments(outer, riid, ppv);
        if (FAILED(hr)) return hr;
        // The browser calls here: nothing a constructor raises may leave.
        if (!GuardFaults([&] { hr = create_(outer, riid, ppv); })) return E_UNEXPECTED;
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock)
            ModuleLock();
        else
            ModuleUnlock();
        return S_OK;
    }

private:
    CreatorFunction create_;
};

// Hands out a new class object for create.
inline HRESULT CreateClassFactory(CreatorFunction create, REFIID riid, void** ppv) {
    return CreateInstance<ClassFactory>(nullptr, riid, ppv, create);
}

// The creation function of a ComObjectRoot class, for a class table.
template <class T>
HRESULT CreatorOf(IUnknown* outer, REFIID riid, void** ppv) {
    return CreateInstance<T>(outer, riid, ppv);
}

}  // namespace tt::com
