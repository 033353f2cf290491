#pragma once
// The system's own pattern dialect: every value pulled out of text (a field of a server file,
// a character set, the base of a groupware URL, a field of a list page, a query) is found with
// it. A pattern is compiled into a small instruction program that a backtracking machine runs
// with an explicit stack (no recursion while matching).
//
// Dialect, in short: `{x}` numbered match group, `(x)` grouping, `[..]`/`[^..]` classes,
// `.` any character, `!x` negative look-ahead, `\N` back-reference, `\a \b \c \d \h \n \q \w \z`
// abbreviations, `^`/`$` only as the very first/last character, quantifiers `* + ? *? +? ??`,
// and `|` choosing between the single quantified terms on either side (binds tighter than
// sequence: `ab|cd` is a, b-or-c, d).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tt {

enum PatternParseError {
    PatternOk = 0,
    PatternOutOfMemory = 1,         // also: the compiled program would exceed its size cap
    PatternUnclosedMatchGroup = 2,  // `{` without `}`
    PatternUnclosedGroup = 3,       // `(` without `)`
    PatternUnclosedClass = 4,       // `[` without `]`, or a range with no upper bound (`[a-]`)
    PatternBadAbbreviation = 5,     // the expansion of an abbreviation failed to compile
    PatternEmptyClass = 6,          // `[]` or `[^]`
    PatternBadBackReference = 7,    // `\N` with N not below the number of groups opened so far
    PatternReversedRange = 8,       // `[z-a]`
    PatternEmptyLoop = 9,           // `*`, `+`, `*?`, `+?` on something that can match nothing
    PatternMissing = 10,            // no pattern text (the empty text)
    PatternTooDeep = 11,            // brackets, look-aheads and expansions nested too deep
};

// How hard one Match may work. Matching is bounded whatever the pattern and the subject:
// - `stepLimit`: instructions executed plus backtracking steps over one Match call. When it is
//   used up the call gives up and reports no match (CPatternMatch::LimitHit() tells). 0 picks
//   the default, 100 million plus 4 steps per (instruction, subject position) pair, far beyond
//   anything the system's constant patterns need.
// - `stackLimit`: entries of the backtracking stack; a match that would need more is no match.
// - `prefilter`: skip start positions that cannot begin a match (first-character set) and stop
//   once no later position holds a character that every match must contain.
// - `memo`: after `memoAfterSteps` steps, remember (instruction, position) states already
//   explored without success and do not explore them again. This never changes a result (only
//   states that cannot lead to a match are pruned); it keeps patterns without back-references
//   and look-aheads linear in the subject length instead of quadratic or exponential.
// prefilter = memo = false gives the plain backtracking machine.
struct PatternSearchOptions {
    uint64_t stepLimit = 0;
    size_t stackLimit = size_t(1) << 22;
    bool prefilter = true;
    bool memo = true;
    uint64_t memoAfterSteps = 4096;
};

namespace pattern_detail {
struct Instruction {
    uint8_t op;
    uint8_t item;  // what a run instruction repeats (a single-character step)
    uint8_t flag;  // run: minimum count (0 or 1); class: negated
    uint8_t unused;
    uint32_t arg;  // character, target index, group, slot or class number
};
struct StackEntry {
    uint32_t kind;
    uint32_t index;
    size_t a;
    size_t b;
};
struct CharSet {
    uint32_t bits[8];  // code units below 256
    bool high;         // every code unit from 256 up
};
}  // namespace pattern_detail

// One match: the whole-match span, one span per match group and the machine's working state.
// Positions index the subject the match was made on; a group never entered on the way to the
// match is unset (GroupStart/GroupEnd give npos) and reads as the empty text.
class CPatternMatch {
public:
    static constexpr size_t npos = static_cast<size_t>(-1);

    size_t GroupCount() const { return spans_.size() / 2; }
    size_t Start() const { return start_; }
    size_t End() const { return end_; }
    bool IsGroupSet(size_t i) const;
    size_t GroupStart(size_t i) const;  // npos when unset or i out of range
    size_t GroupEnd(size_t i) const;    // npos when unset or i out of range
    std::u16string GroupText(const std::u16string& subject, size_t i) const;
    std::u16string MatchText(const std::u16string& subject) const;
    // The last Match gave up on its step or stack limit (and so reported no match).
    bool LimitHit() const { return limitHit_; }

private:
    friend class CPatternMatcher;
    friend class CPatternMachine;
    size_t start_ = npos;
    size_t end_ = npos;
    bool limitHit_ = false;
    std::vector<size_t> spans_;  // start, end of each group
    std::vector<size_t> slots_;
    std::vector<pattern_detail::StackEntry> stack_;
    std::vector<uint64_t> memo_;
    std::vector<uint32_t> memoRow_;  // per instruction, built when the memo starts
    std::u16string folded_;          // the lower-cased subject in case-insensitive mode
};

// A compiled pattern. Build, Parse once, Match one or more times.
class CPatternMatcher {
public:
    CPatternMatcher() = default;

    // Discards any previous program, stores the case flag and compiles. On an error the
    // program is unusable (Match reports no match) and the code is also kept in LastError().
    PatternParseError Parse(const std::u16string& pattern, bool caseSensitive = true);

    // True when the pattern matches somewhere in the subject; `result` then holds the spans.
    // `stopPos` (optional) receives where matching stopped: the end of the whole match, or the
    // subject's length when there was no match.
    bool Match(const std::u16string& subject, CPatternMatch& result, size_t* stopPos = nullptr) const;

    // Goes on matching from `startOffset`: behaves exactly as matching the text
    // subject.substr(startOffset) (so `^` anchors there and back-references see only that
    // text), but every reported position indexes the whole subject. The list-page parser
    // calls this with the previous match's End() to take one field after the other.
    bool Match(const std::u16string& subject, CPatternMatch& result, size_t* stopPos,
               size_t startOffset) const;

    size_t GroupCount() const { return groupCount_; }
    PatternParseError LastError() const { return error_; }
    bool IsCaseSensitive() const { return caseSensitive_; }
    void SetSearchOptions(const PatternSearchOptions& options) { options_ = options; }
    const PatternSearchOptions& SearchOptions() const { return options_; }

    // Bounds of the compiler: nesting of `(`, `{`, `!` and abbreviation expansions, and the
    // size of the instruction program.
    static constexpr int kMaxNesting = 200;
    static constexpr size_t kMaxInstructions = size_t(1) << 20;

private:
    friend class CPatternCompiler;
    friend class CPatternMachine;

    void Reset();

    std::vector<pattern_detail::Instruction> program_;
    std::vector<char16_t> classes_;  // per class: its pair count (two units), its (low, high) pairs
    size_t groupCount_ = 0;
    size_t slotCount_ = 0;
    bool anchored_ = false;
    bool caseSensitive_ = true;
    bool canMatchEmpty_ = true;
    bool memoSafe_ = false;  // no back-references, no look-aheads
    bool hasFirstSet_ = false;
    bool hasRequiredSet_ = false;
    pattern_detail::CharSet firstSet_{};
    pattern_detail::CharSet requiredSet_{};
    PatternParseError error_ = PatternMissing;
    PatternSearchOptions options_;
};

// Compiles `pattern` case-sensitively, matches it against `subject` and returns the text of
// match group `group`; the empty text when the pattern does not compile, does not match, the
// group was not entered or does not exist.
std::u16string ExtractPatternGroup(const std::u16string& subject, const std::u16string& pattern,
                                   size_t group);

}  // namespace tt
