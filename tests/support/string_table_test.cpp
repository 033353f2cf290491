#include "resources/string_table.h"

#include <gtest/gtest.h>

namespace tt {
namespace {

TEST(StringTable, EntriesReadExactlyAndMissingOnesReadEmpty) {
    EXPECT_EQ(LoadResourceString(500), u"Tavelle(R) \u30c4\u30fc\u30eb\u30d0\u30fc");
    EXPECT_EQ(LoadResourceString(502), u"Software\\Tavelle\\TavelleToolbar");
    EXPECT_EQ(LoadResourceString(532), u"^{https?:\\/\\/.+\\/ag\\.(exe)|(cgi)}\\??");
    EXPECT_EQ(LoadResourceString(0), u"");
    EXPECT_EQ(LoadResourceString(501), u"");
    EXPECT_EQ(LoadResourceString(65535), u"");
}

}  // namespace
}  // namespace tt
