#pragma once
// Learning the server's address: while no server URL is stored, the first groupware page the
// user opens makes the helper object offer to store that page's base URL.
#include <string>

namespace tt {

class CToolbarSettings;

// The questions of the automatic setting (message boxes in the product).
class IAutoSettingPrompts {
public:
    virtual ~IAutoSettingPrompts() = default;
    // Message 545 ("set the URL of the page now displayed?"); true for Yes.
    virtual bool AskStoreServerUrl() = 0;
    // Message 546 ("the URL has been set; change further settings?"); true for Yes.
    virtual bool AskOpenOptions() = 0;
    // The options dialog, showing the stored server URL.
    virtual void OpenOptions() = 0;
};

// Runs the offer for a base URL; true when the URL was stored. Any answer but Yes to the
// first question disables the offer (DisableAutoSetting "Yes"). While one offer is open in the
// process, pages completing meanwhile get none; a URL stored while it was open is kept.
bool RunAutomaticSetting(const std::u16string& baseUrl, CToolbarSettings& settings,
                         IAutoSettingPrompts& prompts);

}  // namespace tt
