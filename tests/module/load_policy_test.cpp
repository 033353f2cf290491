// The module refuses the Windows shell's process whatever the letter case of its path, and
// accepts the browser's.
#include <gtest/gtest.h>

#include "module/load_policy.h"

namespace {

TEST(LoadPolicy, ShellRefusedInAnyCaseBrowserAccepted) {
    EXPECT_TRUE(tt::IsRefusedHostPath(u"C:\\Windows\\explorer.exe"));
    EXPECT_TRUE(tt::IsRefusedHostPath(u"C:\\WINDOWS\\EXPLORER.EXE"));
    EXPECT_TRUE(tt::IsRefusedHostPath(u"c:\\windows\\Explorer.Exe"));
    EXPECT_TRUE(tt::IsRefusedHostPath(u"D:\\tools\\MyExplorer.exe"));

    EXPECT_FALSE(tt::IsRefusedHostPath(u"C:\\Program Files\\Internet Explorer\\iexplore.exe"));
    EXPECT_FALSE(tt::IsRefusedHostPath(u"C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE"));
    EXPECT_TRUE(tt::IsRefusedHostPath(u"C:\\explorer.exe.d\\host.exe")) << "a folder of that name counts too";
    EXPECT_FALSE(tt::IsRefusedHostPath(u"C:\\Windows\\explorer.ex"));
    EXPECT_FALSE(tt::IsRefusedHostPath(u""));
}

}  // namespace
