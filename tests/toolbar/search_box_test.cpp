#include "toolbar/search_box.h"

#include <gtest/gtest.h>

#include "fakes/search_box.h"
#include "resources/string_table.h"
#include "settings/key_store_memory.h"
#include "settings/settings_test_support.h"

namespace tt {
namespace {

using testing::FakeCodePageConverter;
using testing::FakeHistoryStore;
using testing::FakeSearchBoxControl;
using testing::FakeSearchHost;

// The web-search service's address with a query (its host is the string table's).
std::u16string WebSearchUrl(const std::u16string& escapedQuery) {
    return FillTemplate(LoadResourceString(kWebSearchTemplate), {escapedQuery});
}
const std::u16string kBase = u"http://gw.example.jp/cgi-bin/ag.cgi";

// ---- escaping ----

TEST(EscapeQuery, KeepsOnlyLettersDigitsTheUnreservedMarksAndThePercentSign) {
    const std::string kept = "!'()*-./:_~%";
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        const std::u16string escaped = EscapeQueryBytes(byte);
        const bool alnum = (b >= '0' && b <= '9') || (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z');
        if (alnum || (b < 128 && kept.find(static_cast<char>(b)) != std::string::npos)) {
            EXPECT_EQ(escaped, std::u16string(1, static_cast<char16_t>(b))) << "byte " << b;
        } else {
            ASSERT_EQ(escaped.size(), 3u) << "byte " << b;
            EXPECT_EQ(escaped[0], u'%');
            const char16_t hex[] = u"0123456789abcdef";
            EXPECT_EQ(escaped[1], hex[b >> 4]) << "byte " << b;
            EXPECT_EQ(escaped[2], hex[b & 15]) << "byte " << b;
        }
    }
    EXPECT_EQ(EscapeQueryBytes("\" #$&+,;<=>?@[\\]^`{|}"),
              u"%22%20%23%24%26%2b%2c%3b%3c%3d%3e%3f%40%5b%5c%5d%5e%60%7b%7c%7d");
    EXPECT_EQ(EscapeQueryBytes(std::string("\0\t\x7f\xff", 4)), u"%00%09%7f%ff");
}

TEST(EscapeQuery, ConvertsTheTextToTheRequestedCodePageFirst) {
    FakeCodePageConverter converter;
    EXPECT_EQ(EscapeQuery(u"\u3042", kCodePageUtf8, converter), u"%e3%81%82");
    EXPECT_EQ(EscapeQuery(u"\u3042", kCodePageThreadAnsi, converter), u"%82%a0");
    EXPECT_EQ(converter.codePagesAsked, (std::vector<unsigned>{kCodePageUtf8, kCodePageThreadAnsi}));
    EXPECT_EQ(EscapeQuery(u"", kCodePageUtf8, converter), u"");
}

TEST(EscapeQuery, TheTemplateTakesTheEscapedTextOnce) {
    EXPECT_EQ(FillTemplate(u"?a=%s&b=%s", {u"x%25"}), u"?a=x%25&b=%s");
    EXPECT_EQ(FillTemplate(u"?page=Index", {u"x"}), u"?page=Index");
    EXPECT_EQ(FillTemplate(u"%s", {u""}), u"");
}

// ---- history ----

struct HistoryFixture : ::testing::Test {
    FakeSearchBoxControl box;
    FakeHistoryStore store;

    void Fill(int n) {
        for (int i = 0; i < n; ++i)
            box.items.push_back(u"q" + std::u16string(Utf8ToUtf16(std::to_string(i))));
    }
};

TEST_F(HistoryFixture, AnEntryInOtherLetterCaseMovesToTheTopWithTheNewCase) {
    box.items = {u"apple", u"Banana", u"cherry"};
    AddToHistory(box, store, u"BANANA");
    EXPECT_EQ(box.items, (std::vector<std::u16string>{u"BANANA", u"apple", u"cherry"}));
    EXPECT_EQ(store.stored, box.items);
    EXPECT_EQ(store.saves, 1);
    AddToHistory(box, store, u"Cherry");
    EXPECT_EQ(box.items, (std::vector<std::u16string>{u"Cherry", u"BANANA", u"apple"}));
    // The newest entry itself is found by the wrap-around and replaced in place.
    AddToHistory(box, store, u"cherry");
    EXPECT_EQ(box.items, (std::vector<std::u16string>{u"cherry", u"BANANA", u"apple"}));
}

TEST_F(HistoryFixture, TheSearchForAnOlderEntryStartsAtTheSecondItemAndWraps) {
    // Two equal entries (a hand-edited store): the later one is found first.
    box.items = {u"dup", u"x", u"DUP"};
    EXPECT_EQ(box.FindExact(0, u"Dup"), 2);
    AddToHistory(box, store, u"Dup");
    EXPECT_EQ(box.items, (std::vector<std::u16string>{u"Dup", u"dup", u"x"}));
    // Only the first item matches: found after the wrap.
    box.items = {u"only", u"x"};
    EXPECT_EQ(box.FindExact(0, u"ONLY"), 0);
    EXPECT_EQ(box.FindExact(0, u"none"), -1);
    box.items.clear();
    EXPECT_EQ(box.FindExact(0, u"x"), -1);
}

TEST_F(HistoryFixture, ThirtyTwoEntriesStayThirtyTwoDroppingTheOldest) {
    Fill(32);
    AddToHistory(box, store, u"new");
    ASSERT_EQ(box.items.size(), 32u);
    EXPECT_EQ(box.items.front(), u"new");
    EXPECT_EQ(box.items.back(), u"q30");
    EXPECT_EQ(store.stored.size(), 32u);
}

TEST_F(HistoryFixture, ThirtyOneEntriesGrowToThirtyTwo) {
    Fill(31);
    AddToHistory(box, store, u"new");
    ASSERT_EQ(box.items.size(), 32u);
    EXPECT_EQ(box.items.back(), u"q30");
}

TEST_F(HistoryFixture, ALongerLoadedHistoryLosesOnlyTheEntryAtPosition32) {
    for (int i = 0; i < 40; ++i) store.stored.push_back(u"h" + Utf8ToUtf16(std::to_string(i)));
    ReloadHistory(box, store);
    ASSERT_EQ(box.items.size(), 40u);
    AddToHistory(box, store, u"new");
    ASSERT_EQ(box.items.size(), 40u);
    // h31 moved to position 32 and went; h32 follows h30.
    EXPECT_EQ(box.items[31], u"h30");
    EXPECT_EQ(box.items[32], u"h32");
    EXPECT_EQ(store.stored.size(), 40u);
    AddToHistory(box, store, u"newer");
    EXPECT_EQ(box.items.size(), 40u);
    EXPECT_EQ(box.items[32], u"h32");
    EXPECT_EQ(box.items[33], u"h33");
}

TEST_F(HistoryFixture, AnEmptyQueryIsListedButNotStored) {
    box.items = {u"a", u"b"};
    AddToHistory(box, store, u"");
    EXPECT_EQ(box.items, (std::vector<std::u16string>{u"", u"a", u"b"}));
    EXPECT_EQ(store.stored, (std::vector<std::u16string>{u"a", u"b"}));
    // Counted like any other item for the trim.
    box.items.clear();
    Fill(32);
    AddToHistory(box, store, u"");
    EXPECT_EQ(box.items.size(), 32u);
    EXPECT_EQ(store.stored.size(), 31u);
    EXPECT_EQ(store.stored.front(), u"q0");
}

TEST_F(HistoryFixture, ReloadEmptiesTheEditFieldAndTakesTheStoredOrder) {
    store.stored = {u"new", u"old"};
    box.items = {u"stale"};
    box.text = u"typed";
    ReloadHistory(box, store);
    EXPECT_EQ(box.items, store.stored);
    EXPECT_EQ(box.text, u"");
    // After the stored history was deleted the list empties, and the first search stores one entry.
    store.stored.clear();
    ReloadHistory(box, store);
    EXPECT_TRUE(box.items.empty());
    AddToHistory(box, store, u"first");
    EXPECT_EQ(store.stored, (std::vector<std::u16string>{u"first"}));
}

TEST(SearchMruStore, KeepsTheHistoryInTheSettingsKeyNewestFirst) {
    CMemoryKeyStore registry;
    CSearchMruStore stored(registry);
    FakeSearchBoxControl box;
    for (int i = 0; i < 32; ++i) box.items.push_back(u"q" + Utf8ToUtf16(std::to_string(i)));
    AddToHistory(box, stored, u"new");
    const auto names = testing::ValueNames(registry, testing::Sub(u"SearchMRU"));
    ASSERT_EQ(names.size(), 32u);
    EXPECT_EQ(names.front(), u"0");
    EXPECT_EQ(names.back(), u"31");
    EXPECT_EQ(testing::ReadStored(registry, testing::Sub(u"SearchMRU"), u"0"), testing::StoredText(u"new"));
    EXPECT_EQ(testing::ReadStored(registry, testing::Sub(u"SearchMRU"), u"31"), testing::StoredText(u"q30"));

    FakeSearchBoxControl other;  // another browser window's box
    ReloadHistory(other, stored);
    EXPECT_EQ(other.items, box.items);
    EXPECT_TRUE(CSearchMruStore(registry).Load() == box.items);
}

TEST(HistoryCase, FoldsLettersOfTheCommonScripts) {
    EXPECT_TRUE(EqualIgnoringCase(u"\u00c9COLE", u"\u00e9cole"));
    EXPECT_TRUE(EqualIgnoringCase(u"\uff21\uff22", u"\uff41\uff42"));  // full-width
    EXPECT_TRUE(EqualIgnoringCase(u"\u0416\u0401", u"\u0436\u0451"));  // Cyrillic
    EXPECT_TRUE(EqualIgnoringCase(u"\u0160\u0178", u"\u0161\u00ff"));
    EXPECT_FALSE(EqualIgnoringCase(u"\u00d7", u"\u00f7"));  // × and ÷ are not a pair
    EXPECT_FALSE(EqualIgnoringCase(u"\u3042", u"\u30a2"));  // hiragana and katakana differ
    EXPECT_FALSE(EqualIgnoringCase(u"ab", u"abc"));
    EXPECT_TRUE(StartsWithIgnoringCase(u"Apple", u"aP"));
    EXPECT_FALSE(StartsWithIgnoringCase(u"Ap", u"app"));
}

// ---- inline completion ----

struct CompletionFixture : ::testing::Test {
    FakeSearchBoxControl box;
    FakeHistoryStore store;
    FakeSearchHost host;
    FakeCodePageConverter converter;
    CSearchBox search{box, store, host, converter};

    void SetUp() override { box.items = {u"Apple", u"apricot"}; }
    void Type(const std::u16string& text, int caret) {
        box.text = text;
        box.selection = {caret, caret};
        box.selectionsSet.clear();
        search.OnEditUpdate();
    }
};

TEST_F(CompletionFixture, TypingAPrefixCompletesToTheFirstItemWithTheTailSelected) {
    Type(u"ap", 2);
    EXPECT_EQ(box.text, u"Apple");
    EXPECT_EQ(box.selected, 0);
    EXPECT_EQ(box.selection.start, 2);
    EXPECT_EQ(box.selection.end, -1);
    EXPECT_EQ(box.SelectedText(), u"ple");
    Type(u"apr", 3);
    EXPECT_EQ(box.text, u"apricot");
    EXPECT_EQ(box.SelectedText(), u"icot");
}

TEST_F(CompletionFixture, BackspaceRemovesTheTailWithoutCompletingAgain) {
    Type(u"ap", 2);
    ASSERT_EQ(box.text, u"Apple");
    // Backspace down: the edit deletes the selected tail and reports the change.
    search.SetAutoCompleteSuppressed(true);
    box.text = u"Ap";
    box.selection = {2, 2};
    box.selectionsSet.clear();
    search.OnEditUpdate();
    search.SetAutoCompleteSuppressed(false);
    EXPECT_EQ(box.text, u"Ap");
    EXPECT_TRUE(box.selectionsSet.empty());
}

TEST_F(CompletionFixture, ACaretInsideTheTextKeepsItsSelection) {
    Type(u"ap", 1);
    EXPECT_EQ(box.text, u"Apple");
    EXPECT_EQ(box.selection.start, 1);
    EXPECT_EQ(box.selection.end, 1);
}

TEST_F(CompletionFixture, TextThatMatchesNoItemStaysAsTyped) {
    Type(u"zz", 2);
    EXPECT_EQ(box.text, u"zz");
    EXPECT_EQ(box.selected, -1);
    EXPECT_EQ(box.selection.start, 2);
    EXPECT_EQ(box.selection.end, -1);
    Type(u"zzz", 1);
    EXPECT_EQ(box.text, u"zzz");
    EXPECT_EQ(box.selection.start, 1);
    EXPECT_EQ(box.selection.end, 1);
}

TEST_F(CompletionFixture, WithoutASelectionTheTailIsSelected) {
    box.canReportSelection = false;
    Type(u"APR", 0);
    EXPECT_EQ(box.text, u"apricot");
    EXPECT_EQ(box.selection.start, 3);
    EXPECT_EQ(box.selection.end, -1);
}

TEST_F(CompletionFixture, AnEmptiedBoxIsNotFilledFromTheHistory) {
    Type(u"", 0);
    EXPECT_EQ(box.text, u"");
    EXPECT_EQ(box.selected, -1);
}

TEST(SearchBoxKeys, EnterSearchesAndDeletingKeysHoldOffCompletion) {
    constexpr unsigned kDown = 0x100, kUp = 0x101, kChar = 0x102;
    EXPECT_EQ(ClassifySearchBoxKey(kDown, 0x0D, false), SearchBoxKey::StartWebSearch);
    EXPECT_EQ(ClassifySearchBoxKey(kDown, 0x0D, true), SearchBoxKey::StartWebSearch);
    EXPECT_EQ(ClassifySearchBoxKey(kUp, 0x0D, false), SearchBoxKey::None);
    EXPECT_EQ(ClassifySearchBoxKey(kChar, 0x0D, false), SearchBoxKey::None);
    for (unsigned key : {0x08u, 0x2Eu}) {
        EXPECT_EQ(ClassifySearchBoxKey(kDown, key, false), SearchBoxKey::SuppressCompletion);
        EXPECT_EQ(ClassifySearchBoxKey(kUp, key, false), SearchBoxKey::ResumeCompletion);
    }
    EXPECT_EQ(ClassifySearchBoxKey(kDown, 'X', true), SearchBoxKey::SuppressCompletion);
    EXPECT_EQ(ClassifySearchBoxKey(kUp, 'X', true), SearchBoxKey::ResumeCompletion);
    EXPECT_EQ(ClassifySearchBoxKey(kDown, 'X', false), SearchBoxKey::None);
    EXPECT_EQ(ClassifySearchBoxKey(kDown, 'A', false), SearchBoxKey::None);
}

// ---- searches ----

struct SearchFixture : ::testing::Test {
    FakeSearchBoxControl box;
    FakeHistoryStore store;
    FakeSearchHost host;
    FakeCodePageConverter converter;
    CSearchBox search{box, store, host, converter};

    void SetUp() override { store.log = &host.calls; }
    std::u16string OnlyUrl() {
        EXPECT_EQ(host.navigations.size(), 1u);
        return host.navigations.empty() ? std::u16string() : host.navigations.back().url;
    }
};

TEST_F(SearchFixture, WebSearchEscapesTheQueryAsUtf8) {
    const struct {
        std::u16string text, query;
    } cases[] = {
        {u"a b&c", u"a%20b%26c"}, {u"100%", u"100%"}, {u"\u3042", u"%e3%81%82"},
        {u"/:~", u"/:~"},         {u"1+1", u"1%2b1"},
    };
    for (const auto& c : cases) {
        host.navigations.clear();
        box.text = c.text;
        search.SearchWeb();
        EXPECT_EQ(OnlyUrl(), WebSearchUrl(c.query));
        EXPECT_NE(OnlyUrl().find(u"/search/?app=webSearch&pid=2&query=" + c.query + u"&enc=utf-8"),
                  std::u16string::npos);
    }
}

TEST_F(SearchFixture, WebSearchStoresTheQueryFirstAndFollowsTheNewTabSetting) {
    host.newTabSetting = true;
    host.allowed = false;  // the web search does not look at the permission
    host.serverUrl.clear();
    box.items = {u"old"};
    box.text = u"query";
    search.SearchWeb();
    EXPECT_EQ(host.calls, (std::vector<std::string>{"save history", "navigate"}));
    ASSERT_EQ(host.navigations.size(), 1u);
    EXPECT_TRUE(host.navigations[0].newTab);
    EXPECT_EQ(store.stored, (std::vector<std::u16string>{u"query", u"old"}));
    EXPECT_EQ(host.notPermittedShown, 0);
}

TEST_F(SearchFixture, AnEmptyWebSearchOpensThePortalInTheCurrentTab) {
    host.newTabSetting = true;
    box.items = {u"old"};
    search.SearchWeb();
    ASSERT_EQ(host.navigations.size(), 1u);
    EXPECT_EQ(host.navigations[0].url, LoadResourceString(kWebPortalPage));
    EXPECT_EQ(host.navigations[0].url.rfind(u"http", 0), 0u);
    EXPECT_FALSE(host.navigations[0].newTab);
    EXPECT_EQ(store.saves, 0);
    EXPECT_EQ(box.items, (std::vector<std::u16string>{u"old"}));
}

TEST_F(SearchFixture, BulletinSearchOpensTheSearchPageThenStoresTheQuery) {
    box.text = u"x";
    EXPECT_TRUE(search.SearchOrOpenIndex(2052, 2063));
    EXPECT_EQ(OnlyUrl(), kBase + u"?page=BulletinSimpleSearch&cp=bw&Text=x");
    EXPECT_FALSE(host.navigations[0].newTab);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"navigate", "save history"}));
    EXPECT_EQ(box.items.front(), u"x");
    EXPECT_TRUE(host.pagesOpened.empty());
}

TEST_F(SearchFixture, GroupwareSearchesUseTheThreadCodePageAndTheirOwnTemplates) {
    host.newTabSetting = true;
    const struct {
        unsigned templ, index;
        std::u16string page;
    } buttons[] = {
        {2052, 2063, u"?page=BulletinSimpleSearch&cp=bw&Text="},
        {2053, 2064, u"?page=MyFolderSimpleSearch&cp=ml&Text="},
        {2054, 2066, u"?page=AddressSimpleSearch&cp=ac&Text="},
        {2055, 2073, u"?page=FileSimpleSearch&cp=fl&Text="},
    };
    box.text = u"\u3042 b";
    for (const auto& b : buttons) {
        host.navigations.clear();
        EXPECT_TRUE(search.SearchOrOpenIndex(b.templ, b.index));
        EXPECT_EQ(OnlyUrl(), kBase + b.page + u"%82%a0%20b");
        EXPECT_TRUE(host.navigations.back().newTab);
    }
    EXPECT_EQ(converter.codePagesAsked, std::vector<unsigned>(4, kCodePageThreadAnsi));
    EXPECT_EQ(box.items, (std::vector<std::u16string>{u"\u3042 b"}));
}

TEST_F(SearchFixture, AnEmptyGroupwareSearchOpensTheIndexPageInTheCurrentTab) {
    host.newTabSetting = true;
    box.items = {u"old"};
    EXPECT_FALSE(search.SearchOrOpenIndex(2052, 2063));
    EXPECT_EQ(host.pagesOpened, (std::vector<unsigned>{2063}));
    EXPECT_TRUE(host.navigations.empty());
    EXPECT_EQ(store.saves, 0);
    EXPECT_EQ(box.items, (std::vector<std::u16string>{u"old"}));
}

TEST_F(SearchFixture, ARefusedToolbarShowsTheMessageAndStillRecordsTheQuery) {
    host.allowed = false;
    box.items = {u"old"};
    box.text = u"x";
    EXPECT_TRUE(search.SearchOrOpenIndex(2053, 2064));
    EXPECT_EQ(host.notPermittedShown, 1);
    EXPECT_TRUE(host.navigations.empty());
    EXPECT_TRUE(host.pagesOpened.empty());
    EXPECT_EQ(store.stored, (std::vector<std::u16string>{u"x", u"old"}));
    // An empty query too: an empty first item that the save leaves out, and no index page.
    box.text.clear();
    EXPECT_TRUE(search.SearchOrOpenIndex(2053, 2064));
    EXPECT_EQ(host.notPermittedShown, 2);
    EXPECT_TRUE(host.pagesOpened.empty());
    EXPECT_EQ(box.items, (std::vector<std::u16string>{u"", u"x", u"old"}));
    EXPECT_EQ(store.stored, (std::vector<std::u16string>{u"x", u"old"}));
}

TEST_F(SearchFixture, WithoutAServerUrlTheSearchAsksForOne) {
    host.serverUrl.clear();
    box.text = u"x";
    // Declined: nothing opens, not even the index page (it would ask again).
    EXPECT_TRUE(search.SearchOrOpenIndex(2052, 2063));
    EXPECT_EQ(host.asked, 1);
    EXPECT_TRUE(host.navigations.empty());
    EXPECT_TRUE(host.pagesOpened.empty());
    // Accepted and set: the search goes to the new server.
    host.askAnswer = true;
    host.urlSetByDialog = u"https://new.example.jp/ag.exe";
    EXPECT_TRUE(search.SearchOrOpenIndex(2052, 2063));
    EXPECT_EQ(OnlyUrl(), u"https://new.example.jp/ag.exe?page=BulletinSimpleSearch&cp=bw&Text=x");
    // Accepted but left empty: nothing opens.
    host.navigations.clear();
    host.serverUrl.clear();
    host.urlSetByDialog.clear();
    EXPECT_TRUE(search.SearchOrOpenIndex(2052, 2063));
    EXPECT_TRUE(host.navigations.empty());
    EXPECT_EQ(host.asked, 3);
}

TEST(SearchGroupwareDirect, AppendsTheSuffixAndIgnoresAnEmptyQuery) {
    FakeSearchHost host;
    FakeCodePageConverter converter;
    EXPECT_TRUE(SearchGroupware(host, converter, 2054, u"a&b", u"&tab=x"));
    ASSERT_EQ(host.navigations.size(), 1u);
    EXPECT_EQ(host.navigations[0].url, kBase + u"?page=AddressSimpleSearch&cp=ac&Text=a%26b&tab=x");
    EXPECT_FALSE(SearchGroupware(host, converter, 2054, u"", u""));
    EXPECT_EQ(host.navigations.size(), 1u);
    EXPECT_EQ(host.asked, 0);
}

}  // namespace
}  // namespace tt
