#include "text/pattern_matcher.h"

#include <gtest/gtest.h>

#include <string>

namespace tt {
namespace {

constexpr size_t npos = CPatternMatch::npos;

PatternParseError ParseCode(const std::u16string& pattern) {
    CPatternMatcher m;
    return m.Parse(pattern);
}

// The whole match as text, or "<none>".
std::u16string Whole(const std::u16string& pattern, const std::u16string& subject,
                     bool caseSensitive = true) {
    CPatternMatcher m;
    EXPECT_EQ(m.Parse(pattern, caseSensitive), PatternOk) << "pattern does not compile";
    CPatternMatch r;
    if (!m.Match(subject, r)) return u"<none>";
    return r.MatchText(subject);
}

std::u16string Group(const std::u16string& subject, const std::u16string& pattern, size_t group = 0) {
    return ExtractPatternGroup(subject, pattern, group);
}

TEST(PatternMatcher, AlternationBindsTighterThanSequence) {
    EXPECT_EQ(Whole(u"ab|cd", u"acd"), u"acd");
    EXPECT_EQ(Whole(u"ab|cd", u"abd"), u"abd");
    EXPECT_EQ(Whole(u"ab|cd", u"ab"), u"<none>");
    EXPECT_EQ(Whole(u"ab|cd", u"cd"), u"<none>");
    // Longer choices are bracketed; a chain of '|' chooses among all its terms.
    EXPECT_EQ(Whole(u"x(ab)|(cd)y", u"xcdy"), u"xcdy");
    EXPECT_EQ(Whole(u"a|b|c", u"zzc"), u"c");
    EXPECT_EQ(Whole(u"1a|b|c2", u"1c2"), u"1c2");
    // Each side is one quantified term.
    EXPECT_EQ(Whole(u"xa*|b+y", u"xbby"), u"xbby");
    EXPECT_EQ(Whole(u"xa*|b+y", u"xaay"), u"xaay");
    EXPECT_EQ(Whole(u"xa*|b+y", u"xy"), u"xy");
    // Nothing after '|' is an empty choice.
    EXPECT_EQ(Whole(u"xa|", u"xb"), u"x");
    EXPECT_EQ(Whole(u"(xa|)b", u"xb"), u"xb");
}

TEST(PatternMatcher, PreferenceOrder) {
    // Leftmost start wins over a longer match further right.
    EXPECT_EQ(Whole(u"b+|c+", u"abccc"), u"b");
    // At one start, the first alternative wins even when the second is longer.
    EXPECT_EQ(Whole(u"a|(ab)", u"ab"), u"a");
    EXPECT_EQ(Whole(u"(ab)|a", u"ab"), u"ab");
    // Greedy takes the most, lazy the fewest, with the rest still matching.
    EXPECT_EQ(Whole(u"a.*b", u"aXbYbZ"), u"aXbYb");
    EXPECT_EQ(Whole(u"a.*?b", u"aXbYbZ"), u"aXb");
    EXPECT_EQ(Whole(u"a.+b", u"abbb"), u"abbb");
    EXPECT_EQ(Whole(u"a.+?b", u"abbb"), u"abb");
    EXPECT_EQ(Whole(u"a(bc)*", u"abcbcb"), u"abcbc");
    EXPECT_EQ(Whole(u"a(bc)*?", u"abcbcb"), u"a");
    EXPECT_EQ(Whole(u"a(bc)+?", u"abcbcb"), u"abc");
    // '?' tries the atom first, '??' tries without it first.
    EXPECT_EQ(Whole(u"ab?", u"abc"), u"ab");
    EXPECT_EQ(Whole(u"ab??", u"abc"), u"a");
    EXPECT_EQ(Whole(u"ab??c", u"abc"), u"abc");
    EXPECT_EQ(Group(u"xaaay", u"x{a*}{a*}y", 0), u"aaa");
    EXPECT_EQ(Group(u"xaaay", u"x{a*?}{a*}y", 1), u"aaa");
    EXPECT_EQ(Group(u"xaaay", u"x{a+?}{a*}y", 0), u"a");
}

TEST(PatternMatcher, GroupsComeBackOnBacktracking) {
    CPatternMatcher m;
    CPatternMatch r;
    // The pass that set the group failed later: the group is unset again.
    ASSERT_EQ(m.Parse(u"({x}y)?xz"), PatternOk);
    ASSERT_TRUE(m.Match(u"xz", r));
    EXPECT_FALSE(r.IsGroupSet(0));
    EXPECT_EQ(r.GroupStart(0), npos);
    EXPECT_EQ(r.GroupText(u"xz", 0), u"");
    // A loop's failed last pass gives back the group of the pass before it.
    ASSERT_EQ(m.Parse(u"({a}b)*ac"), PatternOk);
    ASSERT_TRUE(m.Match(u"ababac", r));
    EXPECT_EQ(r.GroupStart(0), 2u);
    EXPECT_EQ(r.GroupEnd(0), 3u);
    // An alternative that failed after setting a group leaves no trace.
    ASSERT_EQ(m.Parse(u"({a}x)|({a}y)"), PatternOk);
    ASSERT_TRUE(m.Match(u"ay", r));
    EXPECT_FALSE(r.IsGroupSet(0));
    EXPECT_EQ(r.GroupText(u"ay", 1), u"a");
    // Groups are numbered by their '{' in the pattern, nested ones included.
    ASSERT_EQ(m.Parse(u"{a{b}}{c}"), PatternOk);
    EXPECT_EQ(m.GroupCount(), 3u);
    ASSERT_TRUE(m.Match(u"xabc", r));
    EXPECT_EQ(r.GroupCount(), 3u);
    EXPECT_EQ(r.GroupText(u"xabc", 0), u"ab");
    EXPECT_EQ(r.GroupText(u"xabc", 1), u"b");
    EXPECT_EQ(r.GroupText(u"xabc", 2), u"c");
    EXPECT_EQ(r.Start(), 1u);
    EXPECT_EQ(r.End(), 4u);
    // Out of range asks read as unset.
    EXPECT_FALSE(r.IsGroupSet(3));
    EXPECT_EQ(r.GroupText(u"xabc", 7), u"");
}

TEST(PatternMatcher, ParseErrorCodes) {
    EXPECT_EQ(ParseCode(u"[]"), PatternEmptyClass);
    EXPECT_EQ(ParseCode(u"[^]"), PatternEmptyClass);
    EXPECT_EQ(ParseCode(u"[a-]"), PatternUnclosedClass);
    EXPECT_EQ(ParseCode(u"[a-"), PatternUnclosedClass);
    EXPECT_EQ(ParseCode(u"[abc"), PatternUnclosedClass);
    EXPECT_EQ(ParseCode(u"[a\\"), PatternUnclosedClass);
    EXPECT_EQ(ParseCode(u"[z-a]"), PatternReversedRange);
    EXPECT_EQ(ParseCode(u"{a"), PatternUnclosedMatchGroup);
    EXPECT_EQ(ParseCode(u"{a)"), PatternUnclosedMatchGroup);
    EXPECT_EQ(ParseCode(u"(a"), PatternUnclosedGroup);
    EXPECT_EQ(ParseCode(u"(a}b)"), PatternUnclosedGroup);
    EXPECT_EQ(ParseCode(u"(a*)*"), PatternEmptyLoop);
    EXPECT_EQ(ParseCode(u"(a?)+"), PatternEmptyLoop);
    EXPECT_EQ(ParseCode(u"(a|b*)*?"), PatternEmptyLoop);
    EXPECT_EQ(ParseCode(u"{}+?"), PatternEmptyLoop);
    EXPECT_EQ(ParseCode(u"(!a)*"), PatternEmptyLoop);
    EXPECT_EQ(ParseCode(u"{a}(\\0)*"), PatternEmptyLoop);
    EXPECT_EQ(ParseCode(u"{a}\\5"), PatternBadBackReference);
    EXPECT_EQ(ParseCode(u"\\0{a}"), PatternBadBackReference);
    EXPECT_EQ(ParseCode(u"{a}\\1"), PatternBadBackReference);
    EXPECT_EQ(ParseCode(u""), PatternMissing);
    // '?' and '??' may apply to something that can be empty.
    EXPECT_EQ(ParseCode(u"(a*)?"), PatternOk);
    EXPECT_EQ(ParseCode(u"(a*)?\?"), PatternOk);
    // A back-reference may name the group it stands in.
    EXPECT_EQ(ParseCode(u"{a\\0}"), PatternOk);
}

TEST(PatternMatcher, CompilerLimits) {
    const int max = CPatternMatcher::kMaxNesting;
    auto nested = [](int depth, const std::u16string& open, const std::u16string& inner,
                     const std::u16string& close) {
        std::u16string p;
        for (int k = 0; k < depth; ++k) p += open;
        p += inner;
        for (int k = 0; k < depth; ++k) p += close;
        return p;
    };
    EXPECT_EQ(ParseCode(nested(max, u"(", u"a", u")")), PatternOk);
    EXPECT_EQ(ParseCode(nested(max + 1, u"(", u"a", u")")), PatternTooDeep);
    EXPECT_EQ(ParseCode(nested(max + 1, u"{", u"a", u"}")), PatternTooDeep);
    EXPECT_EQ(ParseCode(std::u16string(100000, u'(')), PatternTooDeep);
    EXPECT_EQ(ParseCode(std::u16string(100000, u'!') + u"a"), PatternTooDeep);
    // An abbreviation expands to a bracketed atom: at the limit its expansion cannot compile.
    EXPECT_EQ(ParseCode(nested(max - 2, u"(", u"\\d", u")")), PatternOk);
    EXPECT_EQ(ParseCode(nested(max - 1, u"(", u"\\d", u")")), PatternBadAbbreviation);
    // A program too large to hold is reported as out of memory.
    EXPECT_EQ(ParseCode(std::u16string(CPatternMatcher::kMaxInstructions + 1, u'a')), PatternOutOfMemory);
    // Long flat patterns are fine, however many alternatives they chain.
    std::u16string chain;
    for (int k = 0; k < 20000; ++k) chain += u"a|";
    chain += u"b";
    CPatternMatcher m;
    ASSERT_EQ(m.Parse(chain), PatternOk);
    CPatternMatch r;
    EXPECT_TRUE(m.Match(u"xxb", r));
    EXPECT_EQ(r.Start(), 2u);
}

TEST(PatternMatcher, FailedParseLeavesNothingToMatch) {
    CPatternMatcher m;
    CPatternMatch r;
    ASSERT_EQ(m.Parse(u"a"), PatternOk);
    EXPECT_EQ(m.Parse(u"(a"), PatternUnclosedGroup);
    EXPECT_EQ(m.LastError(), PatternUnclosedGroup);
    EXPECT_FALSE(m.Match(u"a", r));
    CPatternMatcher never;
    EXPECT_FALSE(never.Match(u"a", r));
    // Compiling again replaces the old program.
    ASSERT_EQ(m.Parse(u"{b}"), PatternOk);
    ASSERT_TRUE(m.Match(u"ab", r));
    EXPECT_EQ(r.GroupText(u"ab", 0), u"b");
    EXPECT_EQ(Group(u"abc", u"(b", 0), u"");
}

TEST(PatternMatcher, UnmatchedCloserEndsThePattern) {
    EXPECT_EQ(ParseCode(u"abc)def"), PatternOk);
    EXPECT_EQ(Whole(u"abc)def", u"xxabcxx"), u"abc");
    EXPECT_EQ(Whole(u"abc]def", u"abc"), u"abc");
    EXPECT_EQ(Whole(u"a}[", u"ba"), u"a");
    EXPECT_EQ(Whole(u"(a)b)c", u"ab"), u"ab");
}

TEST(PatternMatcher, OrdinaryCharactersWhereNoAtomPrecedes) {
    EXPECT_EQ(Whole(u"*a", u"x*a"), u"*a");
    EXPECT_EQ(Whole(u"a**", u"aaa*"), u"aaa*");
    EXPECT_EQ(Whole(u"+b", u"+b"), u"+b");
    EXPECT_EQ(Whole(u"?", u"a?"), u"?");
    EXPECT_EQ(Whole(u"|x", u"a|x"), u"|x");
    EXPECT_EQ(Whole(u"a+*", u"aa*"), u"aa*");
    EXPECT_EQ(Whole(u"a??*", u"*"), u"*");
    EXPECT_EQ(Whole(u"^*", u"*"), u"*");
    // '^' away from the start and '$' away from the end are ordinary.
    EXPECT_EQ(Whole(u"a^b", u"xa^b"), u"a^b");
    EXPECT_EQ(Whole(u"a$b", u"a$b"), u"a$b");
    EXPECT_EQ(Whole(u"$a", u"$a"), u"$a");
    // An escaped '$' at the end is a dollar sign, not the end.
    EXPECT_EQ(Whole(u"a\\$", u"a$b"), u"a$");
    // A lone '!' before the end or a closer is ordinary; a lone trailing '\' too.
    EXPECT_EQ(Whole(u"a!", u"ba!"), u"a!");
    EXPECT_EQ(Whole(u"(a!)", u"a!"), u"a!");
    EXPECT_EQ(Whole(u"a\\", u"a\\"), u"a\\");
}

TEST(PatternMatcher, AnchorsAtTheVeryEnds) {
    EXPECT_EQ(Whole(u"^b", u"ab"), u"<none>");
    EXPECT_EQ(Whole(u"^a", u"ab"), u"a");
    EXPECT_EQ(Whole(u"b$", u"bab"), u"b");
    CPatternMatcher m;
    CPatternMatch r;
    ASSERT_EQ(m.Parse(u"b$"), PatternOk);
    ASSERT_TRUE(m.Match(u"bab", r));
    EXPECT_EQ(r.Start(), 2u);
    EXPECT_EQ(Whole(u"a$", u"ab"), u"<none>");
    EXPECT_EQ(Whole(u"^$", u""), u"");
    EXPECT_EQ(Whole(u"^$", u"a"), u"<none>");
    EXPECT_EQ(Whole(u"^", u"abc"), u"");
    // The end of a non-empty subject is never a start position.
    EXPECT_EQ(Whole(u"x?$", u"abc"), u"<none>");
    EXPECT_EQ(Whole(u"c?$", u"abc"), u"c");
}

TEST(PatternMatcher, EmptySubjectIsTriedOnceAtItsStart) {
    EXPECT_EQ(Whole(u"a*", u""), u"");
    EXPECT_EQ(Whole(u"a", u""), u"<none>");
    EXPECT_EQ(Whole(u".", u""), u"<none>");
    EXPECT_EQ(Whole(u"[^a]", u""), u"<none>");
    EXPECT_EQ(Whole(u"a*", u"bbb"), u"");
    CPatternMatcher m;
    CPatternMatch r;
    ASSERT_EQ(m.Parse(u"{x?}"), PatternOk);
    ASSERT_TRUE(m.Match(u"", r));
    EXPECT_EQ(r.Start(), 0u);
    EXPECT_EQ(r.End(), 0u);
    EXPECT_TRUE(r.IsGroupSet(0));
}

TEST(PatternMatcher, AnyCharacterTakesLineBreaksButNotTheEnd) {
    EXPECT_EQ(Whole(u"a.b", u"a\rb"), u"a\rb");
    EXPECT_EQ(Whole(u"a.b", u"a\nb"), u"a\nb");
    EXPECT_EQ(Whole(u"a.", u"a"), u"<none>");
    EXPECT_EQ(Whole(u"a.*", u"a\r\nb"), u"a\r\nb");
}

TEST(PatternMatcher, CharacterClasses) {
    EXPECT_EQ(Whole(u"[abc]+", u"xxcabz"), u"cab");
    EXPECT_EQ(Whole(u"[^abc]+", u"abxyzc"), u"xyz");
    EXPECT_EQ(Whole(u"[a-c0-2]+", u"za1c2d"), u"a1c2");
    // '-' first or after a complete range is a member.
    EXPECT_EQ(Whole(u"[-a]+", u"x-a-y"), u"-a-");
    EXPECT_EQ(Whole(u"[a-c-e]+", u"d-be"), u"-be");
    EXPECT_EQ(ParseCode(u"[ab-]"), PatternUnclosedClass);  // a range up to ']'
    // Escapes inside a class: \t is a tab, anything else stands for itself.
    EXPECT_EQ(Whole(u"[\\t]", u"t\t"), u"\t");
    EXPECT_EQ(Whole(u"[\\]]", u"a]"), u"]");
    EXPECT_EQ(Whole(u"[\\-]", u"a-"), u"-");
    EXPECT_EQ(Whole(u"[\\\\]", u"a\\"), u"\\");
    EXPECT_EQ(Whole(u"[;\\s]+", u"x;s;y"), u";s;");
    EXPECT_EQ(Whole(u"[\\s]", u" "), u"<none>");
    // The upper bound of a range is taken as written: here '+' to '\', which holds 'A'.
    EXPECT_EQ(Whole(u"[+-\\]", u"A"), u"A");
    EXPECT_EQ(Whole(u"[\\--/]+", u"a-./b"), u"-./");
    // Other characters inside a class are members.
    EXPECT_EQ(Whole(u"[.*^[]+", u"a.*^[b"), u".*^[");
    EXPECT_EQ(Whole(u"[^^]", u"^a"), u"a");
    // Characters beyond Latin-1 are compared as code units.
    EXPECT_EQ(Whole(u"[\u3041-\u3096]+", u"abc\u3042\u3044x"), u"\u3042\u3044");
    EXPECT_EQ(Whole(u"[^a]", u"\uFFFF"), u"\uFFFF");
}

TEST(PatternMatcher, EscapesOutsideClasses) {
    EXPECT_EQ(Whole(u"\\t", u"a\tt"), u"t");
    EXPECT_EQ(Whole(u"\\r", u"\rr"), u"r");
    EXPECT_EQ(Whole(u"\\.\\/\\?\\\\\\{\\(\\[\\*\\$", u"x./?\\{([*$"), u"./?\\{([*$");
    EXPECT_EQ(Whole(u"a\\.b", u"axb"), u"<none>");
}

TEST(PatternMatcher, Abbreviations) {
    EXPECT_EQ(Whole(u"\\a+", u"--aZ9--"), u"aZ9");
    EXPECT_EQ(Whole(u"x\\by", u"x\ty x y"), u"x\ty");
    EXPECT_EQ(Whole(u"\\b+", u"a \t b"), u" \t ");
    EXPECT_EQ(Whole(u"\\c+", u"1ab2"), u"ab");
    EXPECT_EQ(Whole(u"\\d+", u"ab123c"), u"123");
    EXPECT_EQ(Whole(u"\\h+", u"xx0fAgz"), u"0fA");
    EXPECT_EQ(Whole(u"\\w", u"1abc2"), u"abc");
    EXPECT_EQ(Whole(u"\\z", u"a123b"), u"123");
    // The quoted text: only the double-quoted form is compiled.
    EXPECT_EQ(Whole(u"\\q", u"'x'"), u"<none>");
    EXPECT_EQ(Whole(u"\\q", u"a\"x\"b"), u"\"x\"");
    EXPECT_EQ(Whole(u"\\q", u"\"\""), u"\"\"");
    // A quantifier applies to the whole expansion.
    EXPECT_EQ(Whole(u"\\w+", u"1ab2"), u"ab");
    EXPECT_EQ(Whole(u"\\d{\\d}?", u"12"), u"12");
    EXPECT_EQ(Whole(u"\\q*x", u"\"a\"\"b\"x"), u"\"a\"\"b\"x");
    // A letter with no abbreviation stands for itself.
    EXPECT_EQ(Whole(u"\\e\\s", u"es"), u"es");
}

TEST(PatternMatcher, LineBreakAbbreviation) {
    // A lone carriage return is tried first, then an optional carriage return and a line feed.
    EXPECT_EQ(Whole(u"a\\nb", u"a\rb"), u"a\rb");
    EXPECT_EQ(Whole(u"a\\nb", u"a\nb"), u"a\nb");
    EXPECT_EQ(Whole(u"a\\nb", u"a\r\nb"), u"a\r\nb");
    EXPECT_EQ(Whole(u"a\\n", u"a\r\n"), u"a\r");
    EXPECT_EQ(Whole(u"a\\n", u"a"), u"<none>");
    EXPECT_EQ(Whole(u"a\\n+b", u"a\r\n\nb"), u"a\r\n\nb");
    // \n is not the letter n.
    EXPECT_EQ(Whole(u"a\\n", u"an"), u"<none>");
}

TEST(PatternMatcher, NegativeLookAhead) {
    EXPECT_EQ(Whole(u"a!b", u"ab"), u"<none>");
    EXPECT_EQ(Whole(u"a!b", u"abac"), u"a");
    CPatternMatcher m;
    CPatternMatch r;
    ASSERT_EQ(m.Parse(u"a!b"), PatternOk);
    ASSERT_TRUE(m.Match(u"abac", r));
    EXPECT_EQ(r.Start(), 2u);
    // It consumes nothing: the next atom looks at the same character.
    EXPECT_EQ(Whole(u"!a.", u"ab"), u"b");
    EXPECT_EQ(Whole(u"(!\\d.)+", u"12ab3"), u"ab");
    // It also fails at the end of the subject only when its atom can match there.
    EXPECT_EQ(Whole(u"a!.", u"ba"), u"a");
    // The look-ahead's atom is one atom; a quantifier after it applies to the look-ahead.
    EXPECT_EQ(Whole(u"x!(ab)", u"xac"), u"x");
    EXPECT_EQ(Whole(u"x!(ab)", u"xab"), u"<none>");
    EXPECT_EQ(Whole(u"x!a?b", u"xab"), u"<none>");
    // Nested: not not-a means a follows.
    EXPECT_EQ(Whole(u"x!!a", u"xb xa"), u"x");
    ASSERT_EQ(m.Parse(u"x!!a"), PatternOk);
    ASSERT_TRUE(m.Match(u"xb xa", r));
    EXPECT_EQ(r.Start(), 3u);
    // Groups inside a look-ahead never leak out of it.
    ASSERT_EQ(m.Parse(u"{x}!({a}b)."), PatternOk);
    ASSERT_TRUE(m.Match(u"xac", r));
    EXPECT_EQ(r.GroupText(u"xac", 0), u"x");
    EXPECT_FALSE(r.IsGroupSet(1));
}

TEST(PatternMatcher, BackReferences) {
    EXPECT_EQ(Whole(u"{[ab]+}-\\0", u"ab-ab"), u"ab-ab");
    EXPECT_EQ(Whole(u"{[ab]+}-\\0", u"ab-ba"), u"b-b");
    EXPECT_EQ(Whole(u"{\\q}\\0", u"\"x\"\"x\""), u"\"x\"\"x\"");
    // A group never entered reads as empty, so the reference matches nothing.
    EXPECT_EQ(Whole(u"({a})?b\\0c", u"bc"), u"bc");
    EXPECT_EQ(Whole(u"{x}|{y}\\1z", u"yz"), u"<none>");  // \1 compiles: group 1 opened before it
    EXPECT_EQ(Whole(u"{x}|{y}\\0z", u"yz"), u"yz");
    // All digits belong to the number.
    std::u16string eleven;
    for (int k = 0; k < 11; ++k) eleven += u"{.}";
    EXPECT_EQ(Whole(eleven + u"\\10", u"abcdefghijkk"), u"abcdefghijkk");
    EXPECT_EQ(Whole(eleven + u"\\10", u"abcdefghijkb0"), u"<none>");  // not \1 then '0'
    // Inside its own group it sees the group as it stands on the current path.
    EXPECT_EQ(Whole(u"{a\\0}b", u"ab"), u"ab");
    EXPECT_EQ(Whole(u"({a}\\0)+", u"aaaa"), u"aaaa");
}

TEST(PatternMatcher, OptionalPassThatConsumesNothingCountsAsFailed) {
    // The pass is tried with the atom's consuming ways first.
    EXPECT_EQ(Group(u"b", u"{(b?\?)?}", 0), u"b");
    EXPECT_EQ(Group(u"c", u"({a*})?c", 0), u"");
    CPatternMatcher m;
    CPatternMatch r;
    ASSERT_EQ(m.Parse(u"({a*})?c"), PatternOk);
    ASSERT_TRUE(m.Match(u"c", r));
    EXPECT_FALSE(r.IsGroupSet(0));  // the empty pass was undone
}

TEST(PatternMatcher, CaseInsensitiveMode) {
    CPatternMatcher m;
    CPatternMatch r;
    ASSERT_EQ(m.Parse(u"Charset={[A-Z-]+}", false), PatternOk);
    EXPECT_FALSE(m.IsCaseSensitive());
    const std::u16string subject = u"text/html; CHARSET=Shift-JIS";
    ASSERT_TRUE(m.Match(subject, r));
    EXPECT_EQ(r.Start(), 11u);
    EXPECT_EQ(r.GroupText(subject, 0), u"Shift-JIS");  // the caller's own characters
    ASSERT_EQ(m.Parse(u"{[a-z]+}-\\0", false), PatternOk);
    EXPECT_TRUE(m.Match(u"Ab-aB", r));
    ASSERT_EQ(m.Parse(u"\u00C9t\u00C9", false), PatternOk);
    EXPECT_TRUE(m.Match(u"\u00E9T\u00E9", r));
    // Case-sensitive by default.
    EXPECT_EQ(Whole(u"abc", u"ABC"), u"<none>");
}

TEST(PatternMatcher, StopPositionAndStartOffset) {
    CPatternMatcher m;
    CPatternMatch r;
    ASSERT_EQ(m.Parse(u"{[a-z]+}"), PatternOk);
    const std::u16string subject = u"12ab34cd5";
    size_t stop = 0;
    ASSERT_TRUE(m.Match(subject, r, &stop));
    EXPECT_EQ(stop, 4u);
    ASSERT_TRUE(m.Match(subject, r, &stop, stop));
    EXPECT_EQ(r.Start(), 6u);
    EXPECT_EQ(stop, 8u);
    EXPECT_EQ(r.GroupText(subject, 0), u"cd");
    EXPECT_FALSE(m.Match(subject, r, &stop, stop));
    EXPECT_EQ(stop, subject.size());
    EXPECT_FALSE(m.Match(subject, r, &stop, subject.size() + 1));
    // '^' anchors at the offset, as on the rest taken alone.
    ASSERT_EQ(m.Parse(u"^{\\d}"), PatternOk);
    ASSERT_TRUE(m.Match(subject, r, nullptr, 4));
    EXPECT_EQ(r.GroupStart(0), 4u);
    EXPECT_FALSE(m.Match(subject, r, nullptr, 2));
    // An empty rest is tried once.
    ASSERT_EQ(m.Parse(u"x*"), PatternOk);
    ASSERT_TRUE(m.Match(subject, r, nullptr, subject.size()));
    EXPECT_EQ(r.Start(), subject.size());
}

// The field pattern of the list pages, applied field after field from the end of each match;
// without a further match the rest is the last field.
std::vector<std::u16string> Fields(const std::u16string& line) {
    CPatternMatcher m;
    EXPECT_EQ(m.Parse(u"{(\"[^\"]*\")|([^,\"]*?)},"), PatternOk);
    std::vector<std::u16string> fields;
    CPatternMatch r;
    size_t at = 0;
    while (m.Match(line, r, nullptr, at)) {
        fields.push_back(r.GroupText(line, 0));
        at = r.End();
    }
    fields.push_back(line.substr(at));
    return fields;
}

TEST(PatternMatcher, ListPageFieldsOneAfterTheOther) {
    EXPECT_EQ(Fields(u"1,\"a,b\",,x y,last"),
              (std::vector<std::u16string>{u"1", u"\"a,b\"", u"", u"x y", u"last"}));
    EXPECT_EQ(Fields(u"no comma"), (std::vector<std::u16string>{u"no comma"}));
    // A quote inside an unquoted field cannot be part of a field: matching resumes after it.
    EXPECT_EQ(Fields(u"ab\"c,d"), (std::vector<std::u16string>{u"c", u"d"}));
}

TEST(PatternMatcher, LimitsTurnIntoNoMatch) {
    CPatternMatcher m;
    CPatternMatch r;
    // Exponential with a back-reference in it (no memo): the step limit ends it.
    ASSERT_EQ(m.Parse(u"{}(a|a)*\\0b"), PatternOk);
    PatternSearchOptions o;
    o.stepLimit = 200000;
    m.SetSearchOptions(o);
    const std::u16string as = std::u16string(40, u'a') + u"cb";
    EXPECT_FALSE(m.Match(as, r));
    EXPECT_TRUE(r.LimitHit());
    EXPECT_TRUE(m.Match(u"aab", r));
    EXPECT_FALSE(r.LimitHit());
    // A pass per character of a bracketed loop needs stack: past the cap there is no match.
    ASSERT_EQ(m.Parse(u"({a})*"), PatternOk);
    o = PatternSearchOptions{};
    o.stackLimit = 1000;
    m.SetSearchOptions(o);
    EXPECT_FALSE(m.Match(std::u16string(5000, u'a'), r));
    EXPECT_TRUE(r.LimitHit());
    EXPECT_TRUE(m.Match(std::u16string(100, u'a'), r));
    EXPECT_EQ(r.End(), 100u);
}

TEST(PatternMatcher, HostileInputStaysCheap) {
    CPatternMatcher m;
    CPatternMatch r;
    // Catastrophic for plain backtracking; the memo keeps it linear and exact.
    ASSERT_EQ(m.Parse(u"(a|a)*b"), PatternOk);
    std::u16string as(20000, u'a');
    ASSERT_TRUE(m.Match(as + u"cb", r));
    EXPECT_EQ(r.Start(), as.size() + 1);
    EXPECT_FALSE(r.LimitHit());
    as += u'b';
    ASSERT_TRUE(m.Match(as, r));
    EXPECT_EQ(r.Start(), 0u);
    EXPECT_EQ(r.End(), as.size());
    ASSERT_EQ(m.Parse(u"\\w+!"), PatternOk);
    EXPECT_FALSE(m.Match(std::u16string(20000, u'x') + u"1!", r));
    EXPECT_FALSE(r.LimitHit());
    // Runs of single characters need no stack per character.
    ASSERT_EQ(m.Parse(u"{.*}x"), PatternOk);
    std::u16string big(1 << 20, u'y');
    big += u"x";
    ASSERT_TRUE(m.Match(big, r));
    EXPECT_EQ(r.GroupEnd(0), big.size() - 1);
}

// The patterns the system uses, on the texts they meet.
TEST(PatternMatcher, SystemPatternsOnRealisticTexts) {
    const std::u16string charset = u"charset={[-a-zA-Z0-9]+}[;\\s]*";
    EXPECT_EQ(Group(u"text/html; charset=EUC-JP", charset), u"EUC-JP");
    EXPECT_EQ(Group(u"text/plain;charset=utf-8;format=flowed", charset), u"utf-8");
    EXPECT_EQ(Group(u"text/html", charset), u"");
    EXPECT_EQ(Group(u"text/html; charset=\"UTF-8\"", charset), u"");

    const std::u16string allowToolbar = u"AllowToolbar={.+?}\\n";
    const std::u16string allowAutoLogin = u"AllowAutoLogin={.+?}\\n";
    const std::u16string permission = u"AllowToolbar=Yes\r\nAllowAutoLogin=No\r\n";
    EXPECT_EQ(Group(permission, allowToolbar), u"Yes");
    EXPECT_EQ(Group(permission, allowAutoLogin), u"No");
    EXPECT_EQ(Group(u"AllowToolbar=No\nAllowAutoLogin=Yes\n", allowAutoLogin), u"Yes");
    EXPECT_EQ(Group(u"AllowToolbar=\r\nX", allowToolbar), u"\r");
    EXPECT_EQ(Group(u"AllowAutoLogin=No\r\nAllowToolbar=Yes", allowToolbar), u"");

    const std::u16string version = u"LatestVersion={[\\.0-9]+}";
    const std::u16string downloadPath = u"DownloadPath={.+?}\\n";
    const std::u16string versionFile =
        u"LatestVersion=7.2.1\r\nDownloadPath=http://update.example/tools/toolbar/setup.exe\r\n";
    EXPECT_EQ(Group(versionFile, version), u"7.2.1");
    EXPECT_EQ(Group(u"LatestVersion=1.2.3rc", version), u"1.2.3");
    EXPECT_EQ(Group(u"LatestVersion=beta LatestVersion=2.0", version), u"2.0");
    EXPECT_EQ(Group(versionFile, downloadPath), u"http://update.example/tools/toolbar/setup.exe");

    const std::u16string base = u"^{https?:\\/\\/.+\\/ag\\.(exe)|(cgi)}\\??";
    EXPECT_EQ(Group(u"http://gw.example.jp/cgi-bin/tv70/ag.exe?page=AGIndex", base),
              u"http://gw.example.jp/cgi-bin/tv70/ag.exe");
    EXPECT_EQ(Group(u"https://gw/scripts/ag.cgi", base), u"https://gw/scripts/ag.cgi");
    EXPECT_EQ(Group(u"http://gw/a/ag.cgi?page=X&back=/b/ag.cgi", base),
              u"http://gw/a/ag.cgi?page=X&back=/b/ag.cgi");
    EXPECT_EQ(Group(u"HTTP://gw/ag.cgi", base), u"");
    EXPECT_EQ(Group(u"ftp://gw/ag.cgi", base), u"");
    EXPECT_EQ(Group(u"see http://gw/ag.cgi", base), u"");

    const std::u16string query = u"\\?{.*?}(#.*)?$";
    EXPECT_EQ(Group(u"http://gw/ag.exe?page=AGIndex#top", query), u"page=AGIndex");
    EXPECT_EQ(Group(u"http://gw/ag.exe?page=AGIndex", query), u"page=AGIndex");
    EXPECT_EQ(Group(u"http://gw/ag.exe?", query), u"");
    EXPECT_EQ(Group(u"http://gw/ag.exe?a?b#x#y", query), u"a?b");
    EXPECT_EQ(Group(u"http://gw/ag.exe#x", query), u"");
}

}  // namespace
}  // namespace tt
