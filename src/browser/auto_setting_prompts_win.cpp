#include "browser/auto_setting_prompts_win.h"

#include <atomic>

#include "resources/string_table.h"
#include "support/unique_handle_win.h"
#include "string_ids.h"

namespace tt {
namespace {
std::atomic<OptionsOpener> g_optionsOpener{nullptr};
}

void SetOptionsOpener(OptionsOpener open) { g_optionsOpener.store(open); }

bool MessageBoxAutoSettingPrompts::Ask(unsigned messageId) {
    std::u16string text = LoadResourceString(messageId);
    std::u16string caption = LoadResourceString(kMessageCaption);
    return MessageBoxW(owner_, Wide(text), Wide(caption), MB_YESNO | MB_ICONINFORMATION) == IDYES;
}

bool MessageBoxAutoSettingPrompts::AskStoreServerUrl() { return Ask(kStoreServerUrlQuestion); }
bool MessageBoxAutoSettingPrompts::AskOpenOptions() { return Ask(kOpenOptionsQuestion); }
void MessageBoxAutoSettingPrompts::OpenOptions() {
    if (OptionsOpener open = g_optionsOpener.load()) open();
}

}  // namespace tt
