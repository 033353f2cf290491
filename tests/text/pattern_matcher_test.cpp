#include "text/pattern_matcher.h"

#include <gtest/gtest.h>

namespace tt {
namespace {

TEST(PatternMatcher, Smoke) {
    EXPECT_EQ(ExtractPatternGroup(u"text/html; charset=UTF-8", u"charset={[-a-zA-Z0-9]+}[;\\s]*", 0), u"UTF-8");
}

}  // namespace
}  // namespace tt
