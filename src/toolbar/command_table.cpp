#include "toolbar/command_table.h"

#include <iterator>

#include "settings/toolbar_settings.h"

namespace tt {
namespace {

// The rows come from resources/commands.txt. Page queries and templates are string ids: the
// texts themselves live in the string table.
constexpr Command kCommands[] = {
#include "command_table_data.inc"
};

}  // namespace

const Command* Commands(size_t* count) {
    *count = std::size(kCommands);
    return kCommands;
}

const Command* FindCommand(unsigned id) {
    for (const Command& c : kCommands) {
        if (c.id == id) return &c;
    }
    return nullptr;
}

const Command* FindButtonCommand(unsigned id) {
    const Command* c = FindCommand(id);
    return c && c->button ? c : nullptr;
}

const Command* FindMenuCommand(unsigned id) {
    const Command* c = FindCommand(id);
    return c && !c->button ? c : nullptr;
}

bool ExecuteCommand(unsigned id, ICommandTarget& target, CToolbarSettings& settings) {
    const Command* c = FindCommand(id);
    if (!c) return false;
    // Read at the moment of the command: the options dialog may have changed it.
    const bool newTab = c->newTab == NewTabSource::NewItem && settings.GetBool(u"NewTabInNewItem");
    switch (c->kind) {
        case CommandKind::ShowMenu:
            target.ShowButtonMenu(c->id, c->subMenu);
            break;
        case CommandKind::OpenPage:
            target.OpenPage(c->stringId, newTab);
            break;
        case CommandKind::SearchWeb:
            target.SearchWeb();
            break;
        case CommandKind::SearchOrOpenIndex:
            target.SearchOrOpenIndex(c->stringId, c->indexId);
            break;
        case CommandKind::OptionsDialog:
            if (target.ShowOptionsDialog() == 1) target.StartStartupTimer(0);
            break;
        case CommandKind::UpdateCheck:
            target.StartVersionCheck(false);
            break;
        case CommandKind::AboutDialog:
            target.ShowAboutDialog();
            break;
        case CommandKind::DigestEntry: {
            // An entry that is not (or no longer) in the digest does nothing at all.
            std::u16string query;
            if (!target.DigestEntryQuery(c->id - kDigestEntryBase, &query)) break;
            target.OpenRelativePage(query, false);
            target.StartStartupTimer(kAfterDigestEntryDelayMs);
            break;
        }
        case CommandKind::DigestMore:
            target.OpenPage(c->stringId, false);
            target.StartStartupTimer(kAfterDigestEntryDelayMs);
            break;
    }
    return true;
}

}  // namespace tt
