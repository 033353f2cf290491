#include <windows.h>

#include "net/http_client_win.h"
#include "net/net_entry_win.h"
#include "settings/search_history.h"
#include "support/clock.h"
#include "toolbar/about_dialog_win.h"
#include "toolbar/tavelle_toolbar_ctrl_win.h"

namespace tt {
namespace {

// The search history in the SearchMRU subkey of the settings key.
class CRegistryHistoryStore final : public IHistoryStore {
public:
    std::vector<std::u16string> Load() override {
        std::vector<std::u16string> entries;
        LoadMruList(u"SearchMRU", entries);
        return entries;
    }
    void Save(const std::vector<std::u16string>& entries) override { SaveMruList(u"SearchMRU", entries); }
};

class CPlatformToolbarServices final : public IToolbarServices {
public:
    IHttpClient& Http() override { return DefaultHttpClient(); }
    IClock& Clock() override { return SystemClock(); }
    IKeyState& Keys() override { return keys_; }
    IUserPrompts& Prompts() override { return prompts_; }
    IHistoryStore& History() override { return history_; }
    ICodePageConverter& CodePages() override { return PlatformCodePageConverter(); }
    void CheckToolbarPermission() override { tt::CheckToolbarPermission(false); }
    void StartVersionCheck(bool automatic) override { tt::StartVersionCheck(automatic); }
    void ShowAboutDialog() override { tt::ShowAboutDialog(); }
    void TrackPopupMenu(HMENU menu, int x, int y, HWND owner) override {
        ::TrackPopupMenu(menu, 0, x, y, 0, owner, nullptr);
    }
    void StartTimer(HWND window, UINT_PTR id, UINT periodMs) override {
        SetTimer(window, id, periodMs, nullptr);
    }
    void StopTimer(HWND window, UINT_PTR id) override { KillTimer(window, id); }

private:
    CKeyStateWin keys_;
    CUserPromptsWin prompts_;
    CRegistryHistoryStore history_;
};

}  // namespace

IToolbarServices& PlatformToolbarServices() {
    static CPlatformToolbarServices services;
    return services;
}

}  // namespace tt
