// Learning the server URL from the pages the user opens: one offer while none is stored,
// stored on Yes, disabled on any other answer, never stacked while an offer is open.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "browser/auto_setting.h"
#include "settings/key_store_memory.h"
#include "settings/settings_test_support.h"
#include "settings/toolbar_settings.h"

namespace {

class ScriptedPrompts final : public tt::IAutoSettingPrompts {
public:
    std::vector<bool> answers;  // in the order asked
    std::vector<std::string> asked;
    std::function<void()> whileFirstOpen;  // runs while the first question is on screen

    bool AskStoreServerUrl() override {
        asked.push_back("545");
        if (whileFirstOpen) whileFirstOpen();
        return Next();
    }
    bool AskOpenOptions() override {
        asked.push_back("546");
        return Next();
    }
    void OpenOptions() override { asked.push_back("options"); }

private:
    bool Next() {
        bool a = next_ < answers.size() ? answers[next_] : false;
        ++next_;
        return a;
    }
    size_t next_ = 0;
};

class AutoSettingTest : public ::testing::Test {
protected:
    tt::CMemoryKeyStore store;
    tt::testing::FakeClock clock;
    tt::CToolbarSettings settings{store, clock};
    ScriptedPrompts prompts;
    const std::u16string base = u"http://gw.example/cgi-bin/ag.cgi";

    void SetUp() override {
        clock.Set(2024, 5, 1, 9);
        settings.Load(false);
    }
    std::u16string StoredParameter(const std::u16string& name) {
        tt::CToolbarSettings reread(store, clock);
        reread.Load(true);
        return reread.Get(name);
    }
};

TEST_F(AutoSettingTest, NoDisablesTheOfferForGood) {
    prompts.answers = {false};
    EXPECT_FALSE(tt::RunAutomaticSetting(base, settings, prompts));
    EXPECT_EQ(std::vector<std::string>{"545"}, prompts.asked);
    EXPECT_EQ(u"Yes", StoredParameter(u"DisableAutoSetting")) << "written to the registry at once";
    EXPECT_EQ(u"", settings.Get(u"TavelleUrl"));

    EXPECT_FALSE(tt::RunAutomaticSetting(base, settings, prompts));
    EXPECT_EQ(1u, prompts.asked.size()) << "further groupware pages ask nothing";
}

TEST_F(AutoSettingTest, YesStoresTheBaseUrlExactlyAndOffersTheOptions) {
    prompts.answers = {true, false};
    const std::u16string mixedCase = u"HTTP://GW.example/Cgi-Bin/ag.exe";
    EXPECT_TRUE(tt::RunAutomaticSetting(mixedCase, settings, prompts));
    EXPECT_EQ((std::vector<std::string>{"545", "546"}), prompts.asked) << "No to 546 opens no dialog";
    EXPECT_EQ(mixedCase, StoredParameter(u"TavelleUrl"));
    EXPECT_EQ(mixedCase, settings.GetServerUrl());

    ScriptedPrompts both;
    both.answers = {true, true};
    tt::CMemoryKeyStore otherStore;
    tt::CToolbarSettings other(otherStore, clock);
    EXPECT_TRUE(tt::RunAutomaticSetting(base, other, both));
    EXPECT_EQ((std::vector<std::string>{"545", "546", "options"}), both.asked);
}

TEST_F(AutoSettingTest, OnlyTheExactWordYesDisables) {
    settings.Set(u"DisableAutoSetting", u"yes");
    prompts.answers = {false};
    EXPECT_FALSE(tt::RunAutomaticSetting(base, settings, prompts));
    EXPECT_EQ(1u, prompts.asked.size()) << "the word in lower case does not disable the offer";
    EXPECT_EQ(u"Yes", settings.Get(u"DisableAutoSetting"));
}

TEST_F(AutoSettingTest, EmptyBaseUrlAsksNothingAndWritesNothing) {
    EXPECT_FALSE(tt::RunAutomaticSetting(u"", settings, prompts));
    EXPECT_TRUE(prompts.asked.empty());
    EXPECT_EQ(u"", StoredParameter(u"DisableAutoSetting"));
}

TEST_F(AutoSettingTest, PagesCompletingWhileTheOfferIsOpenGetNoSecondOffer) {
    ScriptedPrompts inner;
    inner.answers = {true, true};
    bool innerResult = true;
    prompts.answers = {true, false};
    prompts.whileFirstOpen = [&] { innerResult = tt::RunAutomaticSetting(base + u"?x", settings, inner); };
    EXPECT_TRUE(tt::RunAutomaticSetting(base, settings, prompts));
    EXPECT_FALSE(innerResult);
    EXPECT_TRUE(inner.asked.empty());
    EXPECT_EQ(base, settings.GetServerUrl());

    // An address the user stored while the question was open is not overwritten by the offer.
    const std::u16string chosen = u"http://other.example/cgi-bin/ag.exe";
    tt::CMemoryKeyStore chosenStore;
    tt::CToolbarSettings meanwhile(chosenStore, clock);
    ScriptedPrompts stale;
    stale.answers = {true, true};
    stale.whileFirstOpen = [&] { meanwhile.Set(u"TavelleUrl", chosen); };
    EXPECT_FALSE(tt::RunAutomaticSetting(base, meanwhile, stale));
    EXPECT_EQ(chosen, meanwhile.GetServerUrl());
    EXPECT_EQ(std::vector<std::string>{"545"}, stale.asked);

    // Once it is closed, offers are possible again (here for another settings object).
    tt::CMemoryKeyStore otherStore;
    tt::CToolbarSettings other(otherStore, clock);
    ScriptedPrompts later;
    later.answers = {false};
    tt::RunAutomaticSetting(base, other, later);
    EXPECT_EQ(1u, later.asked.size());
}

}  // namespace
