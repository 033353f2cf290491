#include "text/url.h"

#include <gtest/gtest.h>

namespace tt {
namespace {

TEST(Url, Smoke) {
    CUrlParts parts;
    ASSERT_TRUE(SplitUrl(parts, u"http://host/path/ag.cgi?page=AGIndex#x"));
    EXPECT_EQ(parts.hostName, u"host");
    EXPECT_EQ(GetServerBaseUrl(u"http://host/cgi-bin/ag.exe?page=ScheduleIndex"), u"http://host/cgi-bin/ag.exe");
}

}  // namespace
}  // namespace tt
