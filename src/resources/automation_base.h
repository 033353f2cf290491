#pragma once
// Included by the declarations widl generates from TavelleToolbarIE.idl: the platform's own
// IUnknown and IDispatch stand behind automation_base.idl.
#include <oaidl.h>
