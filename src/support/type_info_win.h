#pragma once
// IDispatch over this module's own type library (resource TYPELIB 1): the type information of
// one dual interface, loaded on first use, and the three methods that only read it.
#include <windows.h>
#include <oleauto.h>

#include "support/com_ptr_win.h"

namespace tt {

class ModuleTypeInfo {
public:
    explicit ModuleTypeInfo(const IID& iid) : iid_(iid) {}

    HRESULT GetTypeInfoCount(UINT* count);
    HRESULT GetTypeInfo(UINT index, ITypeInfo** info);
    // Names of the interface's members; only the IID_NULL namespace is known.
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, DISPID* ids);
    // Calls a member of object (the interface's own pointer) through the type information.
    HRESULT Invoke(void* object, DISPID dispid, REFIID riid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excepInfo, UINT* argErr);

private:
    const IID& iid_;
    com_ptr<ITypeInfo> info_;
};

}  // namespace tt
