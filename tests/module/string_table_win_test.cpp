// The module reads its numbered texts from its STRINGTABLE resource, exactly as written in the
// string table's source, line feeds and Japanese included.
#include <gtest/gtest.h>

#include "resources/string_table.h"

namespace {

TEST(ResourceStringTable, ReadsTheModulesOwnTexts) {
    EXPECT_EQ(u"Tavelle(R) ツールバー", tt::LoadResourceString(500));
    EXPECT_EQ(u"Software\\Tavelle\\TavelleToolbar", tt::LoadResourceString(502));
    EXPECT_EQ(
        u"ツールバーに「Tavelle Office "
        u"7」のURLが設定されました。\n引き続き、自動ログインなどの設定を変更しますか?",
        tt::LoadResourceString(546));
    EXPECT_EQ(u"", tt::LoadResourceString(9999)) << "a missing entry reads as the empty text";
}

}  // namespace
