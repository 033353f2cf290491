#include "support/type_info_win.h"

#include "support/own_module_win.h"

namespace tt {

HRESULT ModuleTypeInfo::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT ModuleTypeInfo::GetTypeInfo(UINT index, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    if (!info_) {
        wchar_t path[MAX_PATH * 2];
        const DWORD n = GetModuleFileNameW(OwnModule(), path, MAX_PATH * 2);
        if (n == 0 || n >= MAX_PATH * 2) return E_FAIL;
        com_ptr<ITypeLib> library;
        TT_RETURN_IF_FAILED(LoadTypeLibEx(path, REGKIND_NONE, library.put()));
        TT_RETURN_IF_FAILED(library->GetTypeInfoOfGuid(iid_, info_.put()));
    }
    return info_.copy_to(info);
}

HRESULT ModuleTypeInfo::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, DISPID* ids) {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    com_ptr<ITypeInfo> info;
    TT_RETURN_IF_FAILED(GetTypeInfo(0, info.put()));
    return DispGetIDsOfNames(info.get(), names, count, ids);
}

HRESULT ModuleTypeInfo::Invoke(void* object, DISPID dispid, REFIID riid, WORD flags, DISPPARAMS* params,
                               VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    com_ptr<ITypeInfo> info;
    TT_RETURN_IF_FAILED(GetTypeInfo(0, info.put()));
    return DispInvoke(object, info.get(), dispid, flags, params, result, excepInfo, argErr);
}

}  // namespace tt
