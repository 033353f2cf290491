#include "toolbar/command_table.h"

#include <iterator>

#include "settings/toolbar_settings.h"

namespace tt {
namespace {

using K = CommandKind;
using T = NewTabSource;

// The single table of the toolbar's commands. Page queries and templates are string ids:
// the texts themselves live in the string table.
constexpr Command kCommands[] = {
    // Toolbar buttons.
    {2001, K::ShowMenu, 0, 0, T::None, 0, true},
    {2002, K::OpenPage, 2050, 0, T::Never, -1, true},
    {2004, K::SearchWeb, 2051, 2067, T::SearchResult, -1, true},
    {2005, K::SearchOrOpenIndex, 2052, 2063, T::SearchResult, -1, true},
    {2006, K::SearchOrOpenIndex, 2053, 2064, T::SearchResult, -1, true},
    {2007, K::SearchOrOpenIndex, 2054, 2066, T::SearchResult, -1, true},
    {2008, K::SearchOrOpenIndex, 2055, 2073, T::SearchResult, -1, true},
    {2009, K::ShowMenu, 0, 0, T::None, 1, true},
    {2010, K::OpenPage, 2056, 0, T::NewItem, -1, true},
    {2011, K::OpenPage, 2057, 0, T::NewItem, -1, true},
    {2012, K::OpenPage, 2058, 0, T::NewItem, -1, true},
    {2013, K::OpenPage, 2059, 0, T::NewItem, -1, true},
    {2015, K::ShowMenu, 0, 0, T::None, 2, true},
    {2016, K::OpenPage, 2061, 0, T::Never, -1, true},
    {2017, K::OpenPage, 2062, 0, T::Never, -1, true},
    {2022, K::OpenPage, 250, 0, T::Never, -1, true},  // the week view, whatever the caption shows
    {2074, K::OpenPage, 2075, 0, T::Never, -1, true},
    // Main menu (sub-menu 0).
    {219, K::OptionsDialog, 0, 0, T::None, -1, false},
    {257, K::UpdateCheck, 0, 0, T::None, -1, false},
    {220, K::AboutDialog, 0, 0, T::None, -1, false},
    // "新規:" (sub-menu 1).
    {208, K::OpenPage, 2056, 0, T::NewItem, -1, false},
    {209, K::OpenPage, 209, 0, T::NewItem, -1, false},
    {259, K::OpenPage, 2079, 0, T::NewItem, -1, false},
    {210, K::OpenPage, 2058, 0, T::NewItem, -1, false},  // the phone memo lives on the WhereIndex page
    {255, K::OpenPage, 256, 0, T::NewItem, -1, false},
    {211, K::OpenPage, 2057, 0, T::NewItem, -1, false},
    {212, K::OpenPage, 2059, 0, T::NewItem, -1, false},
    {213, K::OpenPage, 213, 0, T::NewItem, -1, false},
    // "一覧" (sub-menu 2).
    {239, K::OpenPage, 247, 0, T::Never, -1, false},
    {240, K::OpenPage, 248, 0, T::Never, -1, false},
    {241, K::OpenPage, 249, 0, T::Never, -1, false},
    {242, K::OpenPage, 250, 0, T::Never, -1, false},
    {243, K::OpenPage, 251, 0, T::Never, -1, false},
    {244, K::OpenPage, 252, 0, T::Never, -1, false},
    {245, K::OpenPage, 253, 0, T::Never, -1, false},
    {246, K::OpenPage, 254, 0, T::Never, -1, false},
    // The new-arrival drop-down.
    {230, K::DigestEntry, 0, 0, T::Never, -1, false},
    {231, K::DigestEntry, 0, 0, T::Never, -1, false},
    {232, K::DigestEntry, 0, 0, T::Never, -1, false},
    {233, K::DigestEntry, 0, 0, T::Never, -1, false},
    {234, K::DigestEntry, 0, 0, T::Never, -1, false},
    {235, K::DigestEntry, 0, 0, T::Never, -1, false},
    {236, K::DigestEntry, 0, 0, T::Never, -1, false},
    {237, K::DigestEntry, 0, 0, T::Never, -1, false},
    {238, K::DigestMore, 2050, 0, T::Never, -1, false},
};

}  // namespace

const uint16_t kToolbarLayout[kToolbarItemCount] = {
    2001, 2002, 2003, 2004, 2005, 2006, 2008, 2007, 0, 2015, 2016,
    2017, 2074, 0,    2009, 2010, 2012, 2011, 2013, 0, 2022,
};

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
