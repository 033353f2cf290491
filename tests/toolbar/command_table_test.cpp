#include "toolbar/command_table.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "resources/string_table.h"
#include "settings/toolbar_settings.h"
#include "support/utf.h"

namespace tt {
namespace {

// Records every action a command asks for, in order, as one readable line each.
class RecordingTarget : public ICommandTarget {
public:
    std::vector<std::string> calls;
    int optionsResult = 2;
    std::vector<std::u16string> digestQueries;  // index 0 is the header record

    void OpenPage(unsigned stringId, bool newTab) override {
        calls.push_back("OpenPage " + std::to_string(stringId) + (newTab ? " new" : " current"));
    }
    void OpenRelativePage(const std::u16string& query, bool newTab) override {
        calls.push_back("OpenRelativePage " + Utf16ToUtf8(query) + (newTab ? " new" : " current"));
    }
    void SearchWeb() override { calls.push_back("SearchWeb"); }
    bool SearchOrOpenIndex(unsigned templateId, unsigned indexId) override {
        calls.push_back("SearchOrOpenIndex " + std::to_string(templateId) + " " + std::to_string(indexId));
        return true;
    }
    void ShowButtonMenu(unsigned buttonId, int subMenu) override {
        calls.push_back("ShowButtonMenu " + std::to_string(buttonId) + " " + std::to_string(subMenu));
    }
    int ShowOptionsDialog() override {
        calls.push_back("ShowOptionsDialog");
        return optionsResult;
    }
    void StartVersionCheck(bool automatic) override {
        calls.push_back(std::string("StartVersionCheck ") + (automatic ? "automatic" : "manual"));
    }
    void ShowAboutDialog() override { calls.push_back("ShowAboutDialog"); }
    void StartStartupTimer(unsigned periodMs) override {
        calls.push_back("StartStartupTimer " + std::to_string(periodMs));
    }
    bool DigestEntryQuery(size_t index, std::u16string* query) override {
        if (index == 0 || index >= digestQueries.size()) return false;
        *query = digestQueries[index];
        return true;
    }
};

class CommandTableTest : public ::testing::Test {
protected:
    void SetUp() override { theSettings.Set(u"NewTabInNewItem", u"No"); }
    void TearDown() override { theSettings.Set(u"NewTabInNewItem", u""); }

    std::vector<std::string> Run(unsigned id) {
        RecordingTarget target;
        target.digestQueries = digest;
        EXPECT_TRUE(ExecuteCommand(id, target, theSettings)) << id;
        return target.calls;
    }
    std::vector<std::u16string> digest;
};

using Calls = std::vector<std::string>;

TEST_F(CommandTableTest, EveryButtonRunsItsAction) {
    theSettings.Set(u"NewTabInNewItem", u"Yes");
    const std::map<unsigned, std::string> expected = {
        {2001, "ShowButtonMenu 2001 0"},
        {2002, "OpenPage 2050 current"},
        {2004, "SearchWeb"},
        {2005, "SearchOrOpenIndex 2052 2063"},
        {2006, "SearchOrOpenIndex 2053 2064"},
        {2007, "SearchOrOpenIndex 2054 2066"},
        {2008, "SearchOrOpenIndex 2055 2073"},
        {2009, "ShowButtonMenu 2009 1"},
        {2010, "OpenPage 2056 new"},
        {2011, "OpenPage 2057 new"},
        {2012, "OpenPage 2058 new"},
        {2013, "OpenPage 2059 new"},
        {2015, "ShowButtonMenu 2015 2"},
        {2016, "OpenPage 2061 current"},
        {2017, "OpenPage 2062 current"},
        {2022, "OpenPage 250 current"},
        {2074, "OpenPage 2075 current"},
    };
    for (const auto& [id, call] : expected) {
        EXPECT_EQ(Run(id), Calls{call}) << id;
        EXPECT_NE(FindButtonCommand(id), nullptr) << id;
        EXPECT_EQ(FindMenuCommand(id), nullptr) << id;
    }
}

TEST_F(CommandTableTest, EveryMenuItemRunsItsAction) {
    theSettings.Set(u"NewTabInNewItem", u"Yes");
    const std::map<unsigned, std::string> expected = {
        {208, "OpenPage 2056 new"},    {209, "OpenPage 209 new"},     {259, "OpenPage 2079 new"},
        {210, "OpenPage 2058 new"},    {255, "OpenPage 256 new"},     {211, "OpenPage 2057 new"},
        {212, "OpenPage 2059 new"},    {213, "OpenPage 213 new"},     {239, "OpenPage 247 current"},
        {240, "OpenPage 248 current"}, {241, "OpenPage 249 current"}, {242, "OpenPage 250 current"},
        {243, "OpenPage 251 current"}, {244, "OpenPage 252 current"}, {245, "OpenPage 253 current"},
        {246, "OpenPage 254 current"}, {220, "ShowAboutDialog"},      {257, "StartVersionCheck manual"},
    };
    for (const auto& [id, call] : expected) {
        EXPECT_EQ(Run(id), Calls{call}) << id;
        EXPECT_NE(FindMenuCommand(id), nullptr) << id;
        EXPECT_EQ(FindButtonCommand(id), nullptr) << id;
    }
}

TEST_F(CommandTableTest, NewItemPagesFollowTheSettingExactly) {
    // Only the exact text "Yes" opens a new tab; "yes" and "YES" are false.
    for (const char16_t* value : {u"No", u"yes", u"YES", u"", u"Yes "}) {
        theSettings.Set(u"NewTabInNewItem", value);
        EXPECT_EQ(Run(2010), Calls{"OpenPage 2056 current"}) << Utf16ToUtf8(value);
        EXPECT_EQ(Run(208), Calls{"OpenPage 2056 current"}) << Utf16ToUtf8(value);
    }
    theSettings.Set(u"NewTabInNewItem", u"Yes");
    EXPECT_EQ(Run(2010), Calls{"OpenPage 2056 new"});
    EXPECT_EQ(Run(208), Calls{"OpenPage 2056 new"});
    // Pages that are not new items ignore the setting.
    EXPECT_EQ(Run(2016), Calls{"OpenPage 2061 current"});
    EXPECT_EQ(Run(241), Calls{"OpenPage 249 current"});
}

TEST_F(CommandTableTest, PairsOfCommandsOpenTheSamePages) {
    // Different string ids, same page text: the table must not drift apart from the strings.
    EXPECT_EQ(LoadResourceString(2061), LoadResourceString(249));
    EXPECT_EQ(LoadResourceString(2061), u"?page=ScheduleUserMonth");
    EXPECT_EQ(LoadResourceString(FindCommand(2012)->stringId), u"?page=WhereIndex");
    EXPECT_EQ(LoadResourceString(FindCommand(210)->stringId), u"?page=WhereIndex");
    EXPECT_EQ(LoadResourceString(FindCommand(2022)->stringId), u"?page=ScheduleUserWeek");
    EXPECT_EQ(LoadResourceString(FindCommand(2002)->stringId), u"?page=AGIndex");
    EXPECT_EQ(LoadResourceString(FindCommand(238)->stringId), u"?page=AGIndex");
}

TEST_F(CommandTableTest, EveryPageAndSearchStringExists) {
    size_t count = 0;
    const Command* commands = Commands(&count);
    for (size_t i = 0; i < count; ++i) {
        const Command& c = commands[i];
        if (c.stringId) {
            EXPECT_FALSE(LoadResourceString(c.stringId).empty()) << c.id;
        }
        if (c.indexId) {
            EXPECT_FALSE(LoadResourceString(c.indexId).empty()) << c.id;
        }
        if (c.kind == CommandKind::OpenPage || c.kind == CommandKind::SearchOrOpenIndex) {
            EXPECT_EQ(LoadResourceString(c.stringId).rfind(u"?page=", 0), 0u) << c.id;
        }
    }
    const std::u16string search = LoadResourceString(2051);
    const std::u16string path = u"/search/?app=webSearch&pid=2&query=%s&enc=utf-8";
    ASSERT_GT(search.size(), path.size());
    EXPECT_EQ(search.substr(search.size() - path.size()), path);
    // Both leave the groupware for the web: absolute http or https addresses.
    for (const std::u16string& address : {search, LoadResourceString(2067)}) {
        EXPECT_TRUE(address.rfind(u"http://", 0) == 0 || address.rfind(u"https://", 0) == 0)
            << Utf16ToUtf8(address);
    }
}

TEST_F(CommandTableTest, OptionsDialogRestartsTheStartupTimerOnlyOnOk) {
    RecordingTarget target;
    target.optionsResult = 1;
    EXPECT_TRUE(ExecuteCommand(219, target, theSettings));
    EXPECT_EQ(target.calls, (Calls{"ShowOptionsDialog", "StartStartupTimer 0"}));

    RecordingTarget cancelled;
    cancelled.optionsResult = 2;
    EXPECT_TRUE(ExecuteCommand(219, cancelled, theSettings));
    EXPECT_EQ(cancelled.calls, Calls{"ShowOptionsDialog"});
}

TEST_F(CommandTableTest, NewArrivalEntriesOpenTheirRecordAndRestartTheTimer) {
    digest = {u"header", u"?page=X", u"page=Y"};
    EXPECT_EQ(Run(230), (Calls{"OpenRelativePage ?page=X current", "StartStartupTimer 4000"}));
    EXPECT_EQ(Run(231), (Calls{"OpenRelativePage page=Y current", "StartStartupTimer 4000"}));
    // Record 3 does not exist: nothing happens, not even the timer restart.
    EXPECT_EQ(Run(232), Calls{});
    EXPECT_EQ(Run(237), Calls{});
    // "..." opens the top page, never in a new tab.
    theSettings.Set(u"NewTabInNewItem", u"Yes");
    EXPECT_EQ(Run(238), (Calls{"OpenPage 2050 current", "StartStartupTimer 4000"}));
}

TEST_F(CommandTableTest, UnknownIdsAndTheSearchSlotAreLeftAlone) {
    for (unsigned id : {0u, 1u, 2003u, 2014u, 2018u, 229u, 239u - 32u, 258u, 260u, 65535u}) {
        RecordingTarget target;
        EXPECT_FALSE(ExecuteCommand(id, target, theSettings)) << id;
        EXPECT_TRUE(target.calls.empty()) << id;
        EXPECT_EQ(FindCommand(id), nullptr) << id;
    }
}

TEST(ToolbarLayout, FollowsTheResourceOrderWithThreeSeparators) {
    const std::vector<uint16_t> layout(kToolbarLayout, kToolbarLayout + kToolbarItemCount);
    EXPECT_EQ(layout, (std::vector<uint16_t>{2001, 2002, 2003, 2004, 2005, 2006, 2008, 2007, 0, 2015, 2016,
                                             2017, 2074, 0,    2009, 2010, 2012, 2011, 2013, 0, 2022}));
    // Every button but the search slot is a button command; ids are unique.
    std::set<uint16_t> seen;
    for (uint16_t id : layout) {
        if (id == 0) continue;
        EXPECT_TRUE(seen.insert(id).second) << id;
        if (id != kSearchSlotButton) {
            EXPECT_NE(FindButtonCommand(id), nullptr) << id;
        }
    }
    size_t count = 0;
    const Command* commands = Commands(&count);
    size_t buttons = 0;
    for (size_t i = 0; i < count; ++i) buttons += commands[i].button;
    EXPECT_EQ(buttons, seen.size() - 1);
}

TEST(ToolbarLayout, CaptionsOfTheButtons) {
    EXPECT_EQ(LoadResourceString(2009), u"新規:");
    EXPECT_EQ(LoadResourceString(2015), u"一覧:");
    EXPECT_EQ(LoadResourceString(2022), u"新着情報");
    EXPECT_EQ(LoadResourceString(2074), u"リンク集");
    EXPECT_TRUE(LoadResourceString(2001).empty());
    EXPECT_TRUE(LoadResourceString(2003).empty());
    EXPECT_EQ(LoadResourceString(107), u"66");
}

}  // namespace
}  // namespace tt
