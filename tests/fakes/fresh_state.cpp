#include "fakes/fresh_state.h"

#include "settings/process_state.h"
#include "settings/protected_value.h"
#include "settings/toolbar_settings.h"

namespace tt::testing {

void ResetProcessWideState() {
    theProcessState.Reset();
    for (const char16_t* name : {u"TavelleUrl", u"AutoLogin", u"Username", u"AllowToolbar", u"AllowAutoLogin",
                                 u"DisableAutoSetting", u"NewTabInNewItem", u"NewTabInSearchResult"}) {
        theSettings.Set(name, u"");
    }
    theSettings.SetTabsAvailable(false);
    StoreProtectedValue(u"UserPassword", u"", u"");
}

}  // namespace tt::testing
