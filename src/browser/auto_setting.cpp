#include "browser/auto_setting.h"

#include <atomic>

#include "settings/toolbar_settings.h"

namespace tt {
namespace {

// The message box lets browser events through while it is open: the pages of other frames or
// windows completing then must not stack a second offer on the first.
std::atomic<bool> g_offerOpen{false};

class OfferTurn {
public:
    OfferTurn() : taken_(!g_offerOpen.exchange(true)) {}
    ~OfferTurn() {
        if (taken_) g_offerOpen.store(false);
    }
    bool Taken() const { return taken_; }

private:
    bool taken_;
};

}  // namespace

bool RunAutomaticSetting(const std::u16string& baseUrl, CToolbarSettings& settings,
                         IAutoSettingPrompts& prompts) {
    if (baseUrl.empty() || settings.GetBool(u"DisableAutoSetting")) return false;
    OfferTurn turn;
    if (!turn.Taken()) return false;
    if (!prompts.AskStoreServerUrl()) {
        settings.Set(u"DisableAutoSetting", u"Yes");
        settings.Save(true);
        return false;
    }
    // The question let the browser run on: an address set meanwhile (in the options) stands.
    if (!settings.GetServerUrl().empty()) return false;
    settings.Set(u"TavelleUrl", baseUrl);
    settings.Save(true);
    if (prompts.AskOpenOptions()) prompts.OpenOptions();
    return true;
}

}  // namespace tt
