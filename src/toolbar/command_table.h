#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/server_check.h"  // kMaxDigestEntries
#include "command_ids.h"       // named buttons, the layout, the drop-down ids
#include "resources/resource_ids.h"

namespace tt {

class CToolbarSettings;

// What a command does when it is chosen.
enum class CommandKind : uint8_t {
    ShowMenu,           // a sub-menu of menu 204 under its button
    OpenPage,           // base URL + the page query of stringId
    SearchWeb,          // the web search (query template stringId, portal page indexId)
    SearchOrOpenIndex,  // groupware search with template stringId, or index page indexId
    OptionsDialog,      // the settings dialog; OK restarts the start-up timer at once
    UpdateCheck,        // the update check in its manual mode
    AboutDialog,
    DigestEntry,  // a new-arrival entry: digest record (id - kDigestEntryBase)
    DigestMore,   // "..." after the eighth entry: the top page
};

// Where a page command takes its new-tab flag from.
enum class NewTabSource : uint8_t {
    None,          // not a page command
    Never,         // the current tab (Ctrl still forces a new one)
    NewItem,       // the NewTabInNewItem setting, read when the command runs
    SearchResult,  // the NewTabInSearchResult setting, read by the search itself
};

struct Command {
    uint16_t id;
    CommandKind kind;
    uint16_t stringId;  // page query or search template; 0 when none
    uint16_t indexId;   // the index or portal page of a search; 0 otherwise
    NewTabSource newTab;
    int8_t subMenu;  // position in menu 204 for ShowMenu, else -1
    bool button;     // a toolbar button; otherwise a menu item or new-arrival entry
};

// Every command of the toolbar (generated from resources/commands.txt, as are the toolbar and
// menu resources): buttons in their order, then menu items and new-arrival entries. The two id
// ranges do not overlap: buttons 2001 to 2074, menu items and new-arrival entries 208 to 259.
const Command* Commands(size_t* count);
const Command* FindCommand(unsigned id);
const Command* FindButtonCommand(unsigned id);
const Command* FindMenuCommand(unsigned id);

// The drop-down has an entry for each digest record the server check keeps.
static_assert(kDigestEntryCount == kMaxDigestEntries);

// The buttons' menus.
constexpr unsigned kMenuResource = IDR_BUTTON_MENUS;

// Timers of the toolbar window and their periods.
constexpr unsigned kRefreshTimerId = 256;
constexpr unsigned kStartupTimerId = 257;
constexpr unsigned kStartupDelayMs = 3000;
constexpr unsigned kAfterDigestEntryDelayMs = 4000;
constexpr unsigned kRefreshPeriodMs = 300000;

// What the commands act on: the toolbar window, its navigator and its dialogs.
class ICommandTarget {
public:
    virtual ~ICommandTarget() = default;
    virtual void OpenPage(unsigned stringId, bool newTab) = 0;
    virtual void OpenRelativePage(const std::u16string& query, bool newTab) = 0;
    virtual void SearchWeb() = 0;
    virtual bool SearchOrOpenIndex(unsigned templateId, unsigned indexId) = 0;
    virtual void ShowButtonMenu(unsigned buttonId, int subMenu) = 0;
    virtual int ShowOptionsDialog() = 0;  // the dialog's result; 1 is OK
    virtual void StartVersionCheck(bool automatic) = 0;
    virtual void ShowAboutDialog() = 0;
    virtual void StartStartupTimer(unsigned periodMs) = 0;
    // The page query of digest record `index` when that record is a shown entry.
    virtual bool DigestEntryQuery(size_t index, std::u16string* query) = 0;
};

// Runs the action of command `id`. Returns false, doing nothing, for an id outside the
// command tables (the window's default processing then has it).
bool ExecuteCommand(unsigned id, ICommandTarget& target, CToolbarSettings& settings);

}  // namespace tt
