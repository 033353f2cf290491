#include "host/host_com_win.h"

namespace tthost {

const VARIANT* VariantTarget(const VARIANT* v) {
    for (int depth = 0; v && V_VT(v) == (VT_VARIANT | VT_BYREF) && depth < 4; ++depth) v = V_VARIANTREF(v);
    return v;
}

std::wstring VariantText(const VARIANT* v) {
    v = VariantTarget(v);
    if (!v) return {};
    if (V_VT(v) == VT_BSTR) return FromBstr(V_BSTR(v));
    if (V_VT(v) == (VT_BSTR | VT_BYREF) && V_BSTRREF(v)) return FromBstr(*V_BSTRREF(v));
    return {};
}

}  // namespace tthost
