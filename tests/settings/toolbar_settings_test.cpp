#include "settings/toolbar_settings.h"

#include <gtest/gtest.h>

#include "settings/key_store_memory.h"
#include "settings/settings_test_support.h"
#include "support/threads.h"

namespace tt {
namespace {

using namespace tt::testing;

class ToolbarSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { clock.Set(2008, 3, 5, 14, 30); }
    void TearDown() override {
        EXPECT_EQ(store.UnflushedCloses(), 0) << "a written key was closed unflushed";
    }

    // Records a previous run as the full Save of an earlier process would have.
    void RecordRun(uint32_t lastExecute) {
        PutDword(store, kSettingsPath, u"Initialized", 1);
        PutDword(store, kSettingsPath, u"LastExecute", lastExecute);
    }

    CMemoryKeyStore store;
    FakeClock clock;
    CToolbarSettings settings{store, clock};
};

TEST_F(ToolbarSettingsTest, FirstRunWithoutKeyWritesTheDefaultLayout) {
    EXPECT_FALSE(settings.FirstRun());
    EXPECT_FALSE(settings.UpdateCheckDue());
    EXPECT_FALSE(settings.LoadedOnce());

    settings.Load(false);

    EXPECT_TRUE(settings.FirstRun());
    EXPECT_TRUE(settings.UpdateCheckDue());
    EXPECT_TRUE(settings.LoadedOnce());
    EXPECT_EQ(
        ValueNames(store, kSettingsPath),
        (std::vector<std::u16string>{u"Initialized", u"LastExecute", u"NoCheckVersion", u"EnableAsDefault"}));
    EXPECT_EQ(ReadStored(store, kSettingsPath, u"Initialized"), StoredDword(1));
    EXPECT_EQ(ReadStored(store, kSettingsPath, u"LastExecute"), StoredDword(2008030514));
    // An empty version is an empty string: just the terminator.
    EXPECT_EQ(ReadStored(store, kSettingsPath, u"NoCheckVersion"), (Stored{kRegSz, {0, 0}}));
    EXPECT_EQ(ReadStored(store, kSettingsPath, u"EnableAsDefault"), StoredDword(1));
    EXPECT_EQ(SubkeyNames(store, kSettingsPath),
              (std::vector<std::u16string>{u"EnableSites", u"Parameters"}));
    EXPECT_TRUE(ValueNames(store, Sub(u"EnableSites")).empty());
    EXPECT_TRUE(ValueNames(store, Sub(u"Parameters")).empty());
}

TEST_F(ToolbarSettingsTest, GetOfAnAbsentNameAddsAnEmptyEntryThatTheNextSaveWrites) {
    EXPECT_EQ(settings.Get(u"Username"), u"");
    EXPECT_EQ(settings.Parameters().count(u"Username"), 1u);
    EXPECT_EQ(settings.GetServerUrl(), u"");
    EXPECT_EQ(settings.Parameters().count(u"TavelleUrl"), 1u);
    EXPECT_FALSE(settings.GetBool(u"AutoLogin"));
    EXPECT_EQ(settings.Parameters().count(u"AutoLogin"), 1u);
    EXPECT_EQ(ValueNames(store, kSettingsPath), (std::vector<std::u16string>{u"<missing>"})) << "memory only";

    settings.Save(true);

    EXPECT_EQ(ReadStored(store, Sub(u"Parameters"), u"Username"), (Stored{kRegSz, {0, 0}}));
    EXPECT_EQ(ReadStored(store, Sub(u"Parameters"), u"TavelleUrl"), (Stored{kRegSz, {0, 0}}));
    EXPECT_EQ(ReadStored(store, Sub(u"Parameters"), u"AutoLogin"), (Stored{kRegSz, {0, 0}}));
    // Save(true) leaves the run bookkeeping alone.
    EXPECT_EQ(ReadStored(store, kSettingsPath, u"Initialized").type, 0u);
    EXPECT_EQ(ReadStored(store, kSettingsPath, u"LastExecute").type, 0u);
}

TEST_F(ToolbarSettingsTest, GetBoolIsTrueOnlyForExactlyYes) {
    settings.Set(u"AutoLogin", u"Yes");
    EXPECT_TRUE(settings.GetBool(u"AutoLogin"));
    for (const char16_t* text : {u"yes", u"YES", u"yEs", u" Yes", u"Yes ", u"Yes\n", u"No", u"", u"Y", u"1",
                                 u"true", u"\uff39es", u"Yess"}) {
        settings.Set(u"AutoLogin", text);
        EXPECT_FALSE(settings.GetBool(u"AutoLogin")) << std::u16string(text).size();
    }
}

TEST_F(ToolbarSettingsTest, NamesInAnotherLetterCaseAreTheSameEntryAndKeepTheirStoredSpelling) {
    RecordRun(2008030510);
    PutText(store, Sub(u"Parameters"), u"TavelleURL", u"http://gw/ag.cgi");
    settings.Load(false);
    EXPECT_EQ(settings.GetServerUrl(), u"http://gw/ag.cgi");
    settings.Set(u"newtabinnewitem", u"Yes");
    EXPECT_TRUE(settings.GetBool(u"NewTabInNewItem"));
    settings.Save(false);

    EXPECT_EQ(ValueNames(store, Sub(u"Parameters")),
              (std::vector<std::u16string>{u"TavelleURL", u"newtabinnewitem"}));
    EXPECT_EQ(ReadStored(store, Sub(u"Parameters"), u"TavelleURL"), StoredText(u"http://gw/ag.cgi"));
}

TEST_F(ToolbarSettingsTest, SetChangesMemoryOnlyAndSaveWritesEveryEntryAsText) {
    settings.Set(u"TavelleUrl", u"http://gw.example/cgi-bin/ag.cgi");
    settings.Set(u"Username", u"\u5c71\u7530");
    EXPECT_EQ(ValueNames(store, Sub(u"Parameters")), (std::vector<std::u16string>{u"<missing>"}));

    settings.Save(true);

    EXPECT_EQ(ReadStored(store, Sub(u"Parameters"), u"TavelleUrl"),
              StoredText(u"http://gw.example/cgi-bin/ag.cgi"));
    // (length + 1) * 2 bytes, UTF-16 little-endian.
    EXPECT_EQ(ReadStored(store, Sub(u"Parameters"), u"Username"),
              (Stored{kRegSz, {0x71, 0x5c, 0x30, 0x75, 0, 0}}));
}

TEST_F(ToolbarSettingsTest, UnknownEntriesSurviveConvertedToText) {
    RecordRun(2008030510);
    PutText(store, Sub(u"Parameters"), u"FutureOption", u"keep me");
    Put(store, Sub(u"Parameters"), u"Binary", kRegBinary, TextValueBytes(u"bytes"));
    Put(store, Sub(u"Parameters"), u"Number", kRegDword, {0x31, 0, 0, 0});      // reads as "1"
    Put(store, Sub(u"Parameters"), u"NoTerminator", kRegSz, {'a', 0, 'b', 0});  // bounded by its size
    Put(store, Sub(u"Parameters"), u"OddBytes", kRegSz, {'a', 0, 'b'});         // the odd byte is dropped
    Put(store, Sub(u"Parameters"), u"Embedded", kRegSz, {'a', 0, 0, 0, 'b', 0, 0, 0});
    Put(store, Sub(u"Parameters"), u"Empty", kRegBinary, {});

    for (int round = 0; round < 3; ++round) {
        settings.Load(false);
        EXPECT_EQ(settings.Parameters(), (NameMap<std::u16string>{{u"FutureOption", u"keep me"},
                                                                  {u"Binary", u"bytes"},
                                                                  {u"Number", u"1"},
                                                                  {u"NoTerminator", u"ab"},
                                                                  {u"OddBytes", u"a"},
                                                                  {u"Embedded", u"a"},
                                                                  {u"Empty", u""}}))
            << "round " << round;
        EXPECT_EQ(ReadStored(store, Sub(u"Parameters"), u"FutureOption"), StoredText(u"keep me"));
        EXPECT_EQ(ReadStored(store, Sub(u"Parameters"), u"Binary"), StoredText(u"bytes"));
        EXPECT_EQ(ReadStored(store, Sub(u"Parameters"), u"Number"), StoredText(u"1"));
        EXPECT_EQ(ReadStored(store, Sub(u"Parameters"), u"NoTerminator"), StoredText(u"ab"));
        EXPECT_EQ(ReadStored(store, Sub(u"Parameters"), u"Empty"), StoredText(u""));
    }
}

TEST_F(ToolbarSettingsTest, ASaveWritesWhatItChangedAndKeepsWhatOthersStoredSince) {
    store.CreateKey(Sub(u"Parameters"));
    PutText(store, Sub(u"Parameters"), u"TavelleUrl", u"http://old/ag.cgi");
    settings.Load(true);
    // Another process's entries since.
    PutText(store, Sub(u"Parameters"), u"TavelleUrl", u"http://new/ag.cgi");
    PutText(store, Sub(u"Parameters"), u"Other", u"theirs");
    PutText(store, Sub(u"Parameters\\Nested"), u"X", u"y");
    settings.Set(u"Fresh", u"new");
    EXPECT_EQ(settings.Get(u"Other"), u"") << "not loaded yet";

    settings.Save(true);

    EXPECT_EQ(ValueNames(store, Sub(u"Parameters")),
              (std::vector<std::u16string>{u"TavelleUrl", u"Other", u"Fresh"}));
    EXPECT_EQ(ReadStored(store, Sub(u"Parameters"), u"TavelleUrl"), StoredText(u"http://new/ag.cgi"));
    EXPECT_EQ(ReadStored(store, Sub(u"Parameters"), u"Other"), StoredText(u"theirs"));
    EXPECT_EQ(settings.Get(u"Other"), u"theirs");
    EXPECT_EQ(SubkeyNames(store, Sub(u"Parameters")), (std::vector<std::u16string>{u"Nested"}));
}

TEST_F(ToolbarSettingsTest, TwoProcessesSavingKeepEachOthersChanges) {
    CToolbarSettings a(store, clock), b(store, clock);
    a.Load(false);
    b.Load(false);
    a.Set(u"Username", u"yamada");
    a.Save(true);
    b.Set(u"AllowToolbar", u"Yes");
    b.Save(true);
    b.Save(false);

    CToolbarSettings c(store, clock);
    c.Load(false);
    EXPECT_EQ(c.Get(u"Username"), u"yamada");
    EXPECT_EQ(c.Get(u"AllowToolbar"), u"Yes");

    // A Load between one thread's Set and its Save keeps what was set.
    a.Set(u"TavelleUrl", u"http://gw/ag.cgi");
    a.Load(true);
    EXPECT_EQ(a.GetServerUrl(), u"http://gw/ag.cgi");
    c.Load(true);
    EXPECT_EQ(c.GetServerUrl(), u"http://gw/ag.cgi");
}

TEST_F(ToolbarSettingsTest, InitializedOfAnotherTypeOrSizeCountsAsAbsent) {
    struct Case {
        uint32_t type;
        std::vector<uint8_t> data;
    };
    for (const Case& c : {Case{kRegSz, TextValueBytes(u"1")}, Case{kRegBinary, DwordValueBytes(1)},
                          Case{kRegDword, {1, 0}}, Case{kRegDword, {1, 0, 0, 0, 0, 0, 0, 0}}}) {
        store.Clear();
        settings.Reset();
        Put(store, kSettingsPath, u"Initialized", c.type, c.data);
        PutDword(store, kSettingsPath, u"LastExecute", 2008030514);  // this very hour: not due by itself

        settings.Load(false);

        EXPECT_TRUE(settings.FirstRun()) << c.type << "/" << c.data.size();
        EXPECT_TRUE(settings.UpdateCheckDue()) << c.type << "/" << c.data.size();
        // The save that ends the load puts the proper value back.
        EXPECT_EQ(ReadStored(store, kSettingsPath, u"Initialized"), StoredDword(1));
    }
}

TEST_F(ToolbarSettingsTest, InitializedDeletedByHandWhileLastExecuteStaysIsAFirstRun) {
    RecordRun(2008030510);
    {
        auto key = store.OpenKey(kSettingsPath, KeyAccess::All);
        ASSERT_TRUE(key->DeleteValue(u"Initialized"));
        key->Flush();
    }
    settings.Load(false);
    EXPECT_TRUE(settings.FirstRun());
    EXPECT_TRUE(settings.UpdateCheckDue());
}

TEST_F(ToolbarSettingsTest, LastExecuteMissingOrOfAnotherTypeMakesTheCheckDue) {
    for (int variant = 0; variant < 3; ++variant) {
        store.Clear();
        settings.Reset();
        PutDword(store, kSettingsPath, u"Initialized", 7);  // only presence matters
        if (variant == 1) PutText(store, kSettingsPath, u"LastExecute", u"2008030514");
        if (variant == 2) Put(store, kSettingsPath, u"LastExecute", kRegDword, {1, 2, 3});

        settings.Load(false);

        EXPECT_FALSE(settings.FirstRun()) << variant;
        EXPECT_TRUE(settings.UpdateCheckDue()) << variant;
        EXPECT_EQ(ReadStored(store, kSettingsPath, u"LastExecute"), StoredDword(2008030514)) << variant;
    }
}

TEST(RunStamp, IsTheDecimalDigitsOfDateAndHour) {
    FakeClock clock;
    clock.Set(2008, 3, 5, 14, 59);
    EXPECT_EQ(MakeRunStamp(clock.Now()), 2008030514u);
    clock.Set(2008, 12, 31, 23, 59);
    EXPECT_EQ(MakeRunStamp(clock.Now()), 2008123123u);
    clock.Set(2009, 1, 1, 0, 0);
    EXPECT_EQ(MakeRunStamp(clock.Now()), 2009010100u);
    clock.Set(2099, 12, 31, 23);
    EXPECT_EQ(MakeRunStamp(clock.Now()), 2099123123u);
    // Stamps grow across the ends of days, months and years.
    EXPECT_LT(2008022923u, 2008030100u);
    const uint32_t now = MakeRunStamp();
    EXPECT_GE(now, 2020010100u);
    EXPECT_LE(now % 100, 23u);
}

struct DueCase {
    uint32_t lastExecute;
    int year, month, day, hour, minute;
    bool due;
};

TEST_F(ToolbarSettingsTest, CheckIsDueExactlyWhenTheCalendarDateIsLater) {
    const DueCase cases[] = {
        {2008030523, 2008, 3, 6, 0, 5, true},     // next day, minutes after midnight
        {2008030523, 2008, 3, 5, 23, 59, false},  // same hour
        {2008030500, 2008, 3, 5, 23, 55, false},  // same day, 23 hours later
        {2008030523, 2008, 3, 6, 23, 0, true},    {2008123123, 2009, 1, 1, 0, 0, true},  // year end
        {2008022923, 2008, 3, 1, 0, 0, true},  // month end, leap year
        {2008013123, 2008, 2, 1, 0, 0, true},     {2008043023, 2008, 5, 1, 0, 0, true},
        {2008030514, 2008, 3, 4, 10, 0, false},  // clock set back a day
        {2009010100, 2008, 12, 31, 23, 0, false}, {2008030514, 2008, 3, 5, 14, 0, false},  // same hour again
    };
    for (const DueCase& c : cases) {
        store.Clear();
        CToolbarSettings process(store, clock);  // each case is a new browser process
        RecordRun(c.lastExecute);
        clock.Set(c.year, c.month, c.day, c.hour, c.minute);

        process.Load(false);

        EXPECT_FALSE(process.FirstRun()) << c.lastExecute;
        EXPECT_EQ(process.UpdateCheckDue(), c.due)
            << c.lastExecute << " at " << c.year << "-" << c.month << "-" << c.day << " " << c.hour;
    }
}

TEST_F(ToolbarSettingsTest, ClockSetBackStoresTheEarlierStampSoTheNextDayIsDueAgain) {
    RecordRun(2008030614);
    clock.Set(2008, 3, 5, 9);
    settings.Load(false);
    EXPECT_FALSE(settings.UpdateCheckDue());
    EXPECT_EQ(ReadStored(store, kSettingsPath, u"LastExecute"), StoredDword(2008030509));

    clock.Set(2008, 3, 6, 8);
    CToolbarSettings nextProcess(store, clock);
    nextProcess.Load(false);
    EXPECT_TRUE(nextProcess.UpdateCheckDue());
}

TEST_F(ToolbarSettingsTest, LaterLoadsOfTheProcessLeaveTheRunFlags) {
    RecordRun(2008030409);  // yesterday: due
    settings.Load(false);
    EXPECT_FALSE(settings.FirstRun());
    EXPECT_TRUE(settings.UpdateCheckDue());
    EXPECT_EQ(ReadStored(store, kSettingsPath, u"LastExecute"), StoredDword(2008030514));

    // The first load rewrote LastExecute to today; a second process would not be due.
    settings.Load(false);
    EXPECT_FALSE(settings.FirstRun());
    EXPECT_TRUE(settings.UpdateCheckDue());

    // Once the helper object has acted on firstRun it stays clear.
    CToolbarSettings second(store, clock);
    second.Load(false);
    EXPECT_FALSE(second.UpdateCheckDue());
    second.SetFirstRun(true);
    EXPECT_TRUE(second.TakeFirstRun());
    EXPECT_FALSE(second.TakeFirstRun());
    second.Load(false);
    EXPECT_FALSE(second.FirstRun());
}

TEST_F(ToolbarSettingsTest, FirstRunFlagsOfTheProcessSurviveTheKeyItsOwnLoadCreated) {
    settings.Load(false);  // no key: first run, creates the key
    ASSERT_TRUE(settings.FirstRun());
    settings.Load(false);  // the next window of the same process finds Initialized and today's stamp
    EXPECT_TRUE(settings.FirstRun());
    EXPECT_TRUE(settings.UpdateCheckDue());
    EXPECT_TRUE(settings.TakeFirstRun());
    settings.Load(false);
    EXPECT_FALSE(settings.FirstRun());
    EXPECT_TRUE(settings.UpdateCheckDue());
}

TEST_F(ToolbarSettingsTest, LoadThatCannotOpenTheKeySetsBothFlagsAgainAndKeepsMemory) {
    RecordRun(2008030510);
    settings.Load(false);
    ASSERT_FALSE(settings.FirstRun());
    ASSERT_FALSE(settings.UpdateCheckDue());
    settings.Set(u"Username", u"kept");
    settings.SetNoCheckVersion(u"7.1");

    store.DenyAccess(kSettingsPath);
    settings.Load(false);

    EXPECT_TRUE(settings.FirstRun());
    EXPECT_TRUE(settings.UpdateCheckDue());
    EXPECT_EQ(settings.Get(u"Username"), u"kept");
    EXPECT_EQ(settings.NoCheckVersion(), u"7.1");
}

TEST_F(ToolbarSettingsTest, KeyNeitherOpenableNorCreatableWritesNothingAndShowsNothing) {
    store.DenyAccess(kSettingsPath);
    settings.Set(u"TavelleUrl", u"http://gw/ag.cgi");
    settings.Load(false);
    settings.Save(false);
    settings.Save(true);

    EXPECT_TRUE(settings.FirstRun());
    EXPECT_EQ(settings.GetServerUrl(), u"http://gw/ag.cgi");
    // The parent exists (created on the way) but nothing of the settings key does.
    EXPECT_EQ(SubkeyNames(store, u"Software\\Tavelle"), (std::vector<std::u16string>{}));

    CMemoryKeyStore other;
    other.FailCreate(kSettingsPath);
    CToolbarSettings process(other, clock);
    process.Load(false);
    EXPECT_TRUE(process.FirstRun());
    EXPECT_EQ(SubkeyNames(other, u"Software\\Tavelle"), (std::vector<std::u16string>{}));
}

TEST_F(ToolbarSettingsTest, KeyWithoutFullAccessIsReadAndWrittenWithNothingLost) {
    RecordRun(2008030510);
    PutText(store, Sub(u"Parameters"), u"TavelleUrl", u"http://gw/ag.cgi");
    PutText(store, Sub(u"Parameters"), u"Username", u"yamada");
    PutDword(store, Sub(u"EnableSites"), u"site", 1);
    store.LimitAccess(kSettingsPath, KeyAccess::ReadWrite);

    settings.Load(false);  // cannot open for full access: read for reading, written through create

    EXPECT_FALSE(settings.FirstRun());
    EXPECT_EQ(settings.GetServerUrl(), u"http://gw/ag.cgi");
    EXPECT_EQ(settings.EnableSites(), (NameMap<bool>{{u"site", true}}));
    EXPECT_EQ(ReadStored(store, kSettingsPath, u"LastExecute"), StoredDword(2008030514));
    EXPECT_EQ(ReadStored(store, Sub(u"Parameters"), u"Username"), StoredText(u"yamada"));
    EXPECT_EQ(ReadStored(store, Sub(u"EnableSites"), u"site"), StoredDword(1));

    // Read only: everything is read, nothing can be written, nothing is lost.
    store.LimitAccess(kSettingsPath, KeyAccess::Read);
    store.LimitAccess(Sub(u"Parameters"), KeyAccess::Read);
    clock.Set(2008, 3, 6, 9);
    CToolbarSettings other(store, clock);
    other.Load(false);
    other.Set(u"AllowToolbar", u"Yes");
    other.Save(true);
    EXPECT_EQ(other.Get(u"Username"), u"yamada");
    EXPECT_EQ(ValueNames(store, Sub(u"Parameters")),
              (std::vector<std::u16string>{u"TavelleUrl", u"Username"}));
    EXPECT_EQ(ReadStored(store, kSettingsPath, u"LastExecute"), StoredDword(2008030514));
}

TEST_F(ToolbarSettingsTest, ASaveNeverShowsTheStoredSettingsGoneOrHalfWritten) {
    RecordRun(2008030510);
    const std::vector<std::u16string> names{u"AllowToolbar", u"TavelleUrl", u"Username", u"Zeta"};
    for (const auto& name : names) PutText(store, Sub(u"Parameters"), name, u"v");
    PutDword(store, Sub(u"EnableSites"), u"site", 1);
    // What another window or process reading the store finds after each step of the saves.
    std::vector<std::pair<std::vector<std::u16string>, std::vector<std::u16string>>> seen;
    CObservedKeyStore observed(store, [&] {
        seen.push_back({ValueNames(store, Sub(u"Parameters")), ValueNames(store, Sub(u"EnableSites"))});
    });
    CToolbarSettings process(observed, clock);
    process.Load(false);
    process.Set(u"AllowToolbar", u"No");
    process.Save(true);

    ASSERT_GE(seen.size(), 5u);
    for (const auto& view : seen) {
        EXPECT_EQ(view.first, names);
        EXPECT_EQ(view.second, (std::vector<std::u16string>{u"site"}));
    }
    EXPECT_EQ(ReadStored(store, Sub(u"Parameters"), u"AllowToolbar"), StoredText(u"No"));
}

TEST_F(ToolbarSettingsTest, AMapThatWasNotReadAddsToTheStoredEntriesAndRemovesNone) {
    RecordRun(2008030510);
    PutText(store, Sub(u"Parameters"), u"Username", u"yamada");
    // Saved before any Load, and after a Load that could not read the subkey.
    settings.Set(u"AllowToolbar", u"Yes");
    settings.Save(true);
    store.DenyAccess(Sub(u"Parameters"));
    settings.Load(false);
    EXPECT_EQ(settings.Get(u"AllowToolbar"), u"Yes") << "memory kept";
    store.LimitAccess(Sub(u"Parameters"), KeyAccess::All);
    settings.Set(u"AutoLogin", u"No");
    settings.Save(true);

    EXPECT_EQ(ValueNames(store, Sub(u"Parameters")),
              (std::vector<std::u16string>{u"Username", u"AllowToolbar", u"AutoLogin"}));
}

TEST_F(ToolbarSettingsTest, SubkeysThatCannotBeCreatedKeepTheirValuesForTheNextGoodSave) {
    PutDword(store, Sub(u"EnableSites"), u"site", 1);
    RecordRun(2008030510);
    PutText(store, Sub(u"Parameters"), u"Username", u"yamada");
    store.FailCreate(Sub(u"Parameters"));
    store.FailCreate(Sub(u"EnableSites"));

    settings.Load(false);

    // Nothing is deleted before it is written: the stored subkeys are written in place.
    EXPECT_EQ(ReadStored(store, Sub(u"Parameters"), u"Username"), StoredText(u"yamada"));
    EXPECT_EQ(ReadStored(store, Sub(u"EnableSites"), u"site"), StoredDword(1));

    // Missing subkeys that cannot be created: the values stay in memory until they can.
    CMemoryKeyStore other;
    other.FailCreate(Sub(u"Parameters"));
    other.FailCreate(Sub(u"EnableSites"));
    CToolbarSettings process(other, clock);
    process.Set(u"Username", u"yamada");
    process.Save(false);
    EXPECT_EQ(SubkeyNames(other, kSettingsPath), (std::vector<std::u16string>{}));
    EXPECT_EQ(ReadStored(other, kSettingsPath, u"LastExecute"), StoredDword(2008030514));
    EXPECT_EQ(process.Get(u"Username"), u"yamada");
    other.Clear();  // creation works again
    process.Save(false);
    EXPECT_EQ(ReadStored(other, Sub(u"Parameters"), u"Username"), StoredText(u"yamada"));
}

TEST_F(ToolbarSettingsTest, ParamsOnlyLoadAndSaveTouchNothingElse) {
    RecordRun(2008030409);
    PutText(store, kSettingsPath, u"NoCheckVersion", u"7.2.0");
    PutText(store, Sub(u"Parameters"), u"Username", u"a");
    settings.Load(false);
    ASSERT_EQ(settings.NoCheckVersion(), u"7.2.0");
    ASSERT_TRUE(settings.UpdateCheckDue());

    PutText(store, kSettingsPath, u"NoCheckVersion", u"7.3.0");
    PutText(store, Sub(u"Parameters"), u"Username", u"b");
    PutDword(store, Sub(u"EnableSites"), u"s", 0);
    settings.Load(true);

    EXPECT_EQ(settings.Get(u"Username"), u"b");
    EXPECT_EQ(settings.NoCheckVersion(), u"7.2.0");
    EXPECT_TRUE(settings.EnableSites().empty());
    EXPECT_TRUE(settings.UpdateCheckDue());
    // The load still ends with a full save, which keeps the newer stored version.
    EXPECT_EQ(ReadStored(store, kSettingsPath, u"NoCheckVersion"), StoredText(u"7.3.0"));

    settings.SetNoCheckVersion(u"9");
    clock.Set(2008, 3, 7, 1);
    settings.Save(true);
    EXPECT_EQ(ReadStored(store, kSettingsPath, u"NoCheckVersion"), StoredText(u"7.3.0"));
    EXPECT_EQ(ReadStored(store, kSettingsPath, u"LastExecute"), StoredDword(2008030514));
}

TEST_F(ToolbarSettingsTest, NoCheckVersionIsReadOnlyAsProperText) {
    struct Case {
        uint32_t type;
        std::vector<uint8_t> data;
        const char16_t* expected;  // null: the in-memory value stays
    };
    const Case cases[] = {
        {kRegSz, TextValueBytes(u"7.1.2"), u"7.1.2"},
        {kRegExpandSz, TextValueBytes(u"7.1.3"), u"7.1.3"},
        {kRegSz, {0, 0}, u""},
        {kRegSz, {'7', 0, '.', 0, '1', 0}, u"7.1"},  // no terminator
        {kRegSz, {'7', 0, 0}, u"7"},                 // odd size
        {kRegSz, {}, u""},
        {kRegDword, DwordValueBytes(7), nullptr},
        {kRegBinary, TextValueBytes(u"7.1.4"), nullptr},
        {kRegSz, {'7', 0, 0, 0, '8', 0, 0, 0}, u"7"},  // up to the first zero
    };
    for (const Case& c : cases) {
        store.Clear();
        settings.Reset();
        PutText(store, kSettingsPath, u"NoCheckVersion", u"previous");
        settings.Load(false);
        Put(store, kSettingsPath, u"NoCheckVersion", c.type, c.data);
        settings.Load(false);
        EXPECT_EQ(settings.NoCheckVersion(), c.expected ? c.expected : u"previous")
            << c.type << "/" << c.data.size();
        EXPECT_EQ(ReadStored(store, kSettingsPath, u"NoCheckVersion"), StoredText(settings.NoCheckVersion()));
    }
}

TEST_F(ToolbarSettingsTest, PreservedValuesRoundTrip) {
    RecordRun(2008030510);
    PutDword(store, kSettingsPath, u"EnableAsDefault", 0);
    PutDword(store, Sub(u"EnableSites"), u"on", 1);
    PutDword(store, Sub(u"EnableSites"), u"off", 0);
    PutDword(store, Sub(u"EnableSites"), u"big", 0x100);
    Put(store, Sub(u"EnableSites"), u"text", kRegSz, TextValueBytes(u"1"));
    Put(store, Sub(u"EnableSites"), u"short", kRegBinary, {0, 1});
    Put(store, Sub(u"EnableSites"), u"empty", kRegBinary, {});
    Put(store, Sub(u"EnableSites"), u"wide", kRegBinary, {0, 0, 0, 0, 9, 9, 9, 9});  // only 32 bits count

    settings.Load(false);

    EXPECT_EQ(settings.EnableAsDefault(), 0u);
    EXPECT_EQ(settings.EnableSites(), (NameMap<bool>{{u"on", true},
                                                     {u"off", false},
                                                     {u"big", true},
                                                     {u"text", true},
                                                     {u"short", true},
                                                     {u"empty", false},
                                                     {u"wide", false}}));
    EXPECT_EQ(ReadStored(store, kSettingsPath, u"EnableAsDefault"), StoredDword(0));
    EXPECT_EQ(ReadStored(store, Sub(u"EnableSites"), u"big"), StoredDword(1));
    EXPECT_EQ(ReadStored(store, Sub(u"EnableSites"), u"text"), StoredDword(1));
    EXPECT_EQ(ReadStored(store, Sub(u"EnableSites"), u"wide"), StoredDword(0));

    // EnableAsDefault of another type keeps the in-memory value.
    Put(store, kSettingsPath, u"EnableAsDefault", kRegSz, TextValueBytes(u"1"));
    settings.Load(false);
    EXPECT_EQ(settings.EnableAsDefault(), 0u);
    EXPECT_EQ(ReadStored(store, kSettingsPath, u"EnableAsDefault"), StoredDword(0));
}

TEST_F(ToolbarSettingsTest, EntriesBeyondTheOldBufferLimitsAreReadWholeAndKept) {
    RecordRun(2008030510);
    const std::u16string url = u"http://gw.example/" + Repeat(u"a", 2084 - 25) + u"/ag.cgi";
    ASSERT_EQ(url.size(), 2084u);
    const std::u16string longName = Repeat(u"N", 300);
    const std::u16string hugeText = Repeat(u"\u6f22", 20000);
    PutText(store, Sub(u"Parameters"), u"Before", u"1");
    PutText(store, Sub(u"Parameters"), u"TavelleUrl", url);
    PutText(store, Sub(u"Parameters"), longName, u"long name");
    PutText(store, Sub(u"Parameters"), u"Huge", hugeText);
    PutText(store, Sub(u"Parameters"), u"After", u"2");
    PutText(store, Sub(u"Parameters"), Repeat(u"n", 259), Repeat(u"t", 259));
    PutText(store, Sub(u"Parameters"), Repeat(u"m", 260), Repeat(u"t", 260));
    PutDword(store, Sub(u"EnableSites"), Repeat(u"s", 400), 1);
    PutDword(store, Sub(u"EnableSites"), u"later", 1);
    PutText(store, kSettingsPath, u"NoCheckVersion", Repeat(u"9", 300));

    for (int round = 0; round < 2; ++round) {
        settings.Load(false);
        EXPECT_EQ(settings.GetServerUrl(), url);
        EXPECT_EQ(settings.Get(longName), u"long name");
        EXPECT_EQ(settings.Get(u"Huge"), hugeText);
        EXPECT_EQ(settings.Get(u"Before"), u"1");
        EXPECT_EQ(settings.Get(u"After"), u"2");
        EXPECT_EQ(settings.Get(Repeat(u"n", 259)), Repeat(u"t", 259));
        EXPECT_EQ(settings.Get(Repeat(u"m", 260)), Repeat(u"t", 260));
        EXPECT_EQ(settings.Parameters().size(), 7u);
        EXPECT_EQ(settings.EnableSites().size(), 2u);
        EXPECT_EQ(settings.NoCheckVersion(), Repeat(u"9", 300));
        EXPECT_EQ(ReadStored(store, Sub(u"Parameters"), u"TavelleUrl"), StoredText(url));
        EXPECT_EQ(ReadStored(store, Sub(u"Parameters"), longName), StoredText(u"long name"));
        EXPECT_EQ(ReadStored(store, Sub(u"Parameters"), u"Huge"), StoredText(hugeText));
        EXPECT_EQ(ReadStored(store, Sub(u"EnableSites"), Repeat(u"s", 400)), StoredDword(1));
    }
}

TEST(TheSettings, IsBuiltOnThePlatformStore) { EXPECT_EQ(&theSettings.Store(), &DefaultKeyStore()); }

TEST_F(ToolbarSettingsTest, ConcurrentUseFromSeveralThreadsIsSerialised) {
    settings.Load(false);
    std::vector<JoinableThread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < 200; ++i) {
                std::u16string name = u"Entry" + Decimal(static_cast<size_t>(t * 1000 + i % 10));
                settings.Set(name, Decimal(static_cast<size_t>(i)));
                settings.Get(u"Shared");
                settings.SetNoCheckVersion(Decimal(static_cast<size_t>(i)));
                if (i % 25 == 0) settings.Save(t % 2 == 0);
                (void)settings.Parameters();
            }
        });
    }
    for (auto& th : threads) th.Join();
    settings.Save(false);
    // Every thread's last writes are in memory and in the store.
    CToolbarSettings reader(store, clock);
    reader.Load(false);
    for (int t = 0; t < 4; ++t) {
        for (int k = 0; k < 10; ++k) {
            std::u16string name = u"Entry" + Decimal(static_cast<size_t>(t * 1000 + k));
            EXPECT_EQ(reader.Get(name), Decimal(static_cast<size_t>(190 + k))) << t << "/" << k;
        }
    }
    EXPECT_EQ(reader.NoCheckVersion(), u"199");
}

}  // namespace
}  // namespace tt
