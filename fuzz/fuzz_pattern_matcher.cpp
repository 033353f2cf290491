// Compiles any pattern and matches it against any subject. Input: one byte of flags, the
// pattern, a zero byte, the subject. Checks that nothing crashes or hangs, that every reported
// span lies inside the match, and that the shortcuts (start-position filters, memo) give
// exactly what plain backtracking gives.
#include <cstdlib>

#include "fuzz_input.h"
#include "text/pattern_matcher.h"

using tt::CPatternMatch;
using tt::CPatternMatcher;
using tt::PatternSearchOptions;

namespace {

void Check(bool ok) {
    if (!ok) abort();
}

struct Outcome {
    bool found;
    bool limit;
    size_t start, end;
    std::vector<size_t> groups;
};

Outcome Run(const CPatternMatcher& m, const std::u16string& subject, size_t offset) {
    CPatternMatch r;
    size_t stop = 0;
    Outcome o{};
    o.found = m.Match(subject, r, &stop, offset);
    o.limit = r.LimitHit();
    if (!o.found) {
        Check(stop == subject.size());
        Check(r.GroupCount() == m.GroupCount());
        return o;
    }
    o.start = r.Start();
    o.end = r.End();
    Check(stop == o.end);
    Check(offset <= o.start && o.start <= o.end && o.end <= subject.size());
    Check(r.GroupCount() == m.GroupCount());
    for (size_t g = 0; g < r.GroupCount(); ++g) {
        const size_t b = r.GroupStart(g), e = r.GroupEnd(g);
        Check((b == CPatternMatch::npos) == (e == CPatternMatch::npos));
        Check(r.IsGroupSet(g) == (b != CPatternMatch::npos));
        if (b != CPatternMatch::npos) Check(o.start <= b && b <= e && e <= o.end);
        o.groups.push_back(b);
        o.groups.push_back(e);
        Check(r.GroupText(subject, g).size() == (b == CPatternMatch::npos ? 0 : e - b));
    }
    Check(r.MatchText(subject).size() == o.end - o.start);
    return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t flags = data[0];
    ++data;
    --size;
    const std::u16string pattern = fuzz::Decode(data, size, true);
    const std::u16string subject = fuzz::Decode(data, size, false);
    const bool caseSensitive = (flags & 1) == 0;
    const size_t offset = (flags & 2) ? (flags >> 3) % (subject.size() + 1) : 0;

    CPatternMatcher fast, plain;
    const tt::PatternParseError e = fast.Parse(pattern, caseSensitive);
    Check(e >= tt::PatternOk && e <= tt::PatternTooDeep);
    Check(plain.Parse(pattern, caseSensitive) == e);
    CPatternMatch r;
    if (e != tt::PatternOk) {
        Check(!fast.Match(subject, r));
        return 0;
    }

    // Work is capped so that pathological patterns end quickly (as no match).
    PatternSearchOptions o;
    o.stepLimit = 100000;
    o.memoAfterSteps = (flags & 4) ? 0 : 4096;
    fast.SetSearchOptions(o);
    o.prefilter = false;
    o.memo = false;
    plain.SetSearchOptions(o);

    const Outcome a = Run(fast, subject, offset);
    const Outcome b = Run(plain, subject, offset);
    if (!a.limit && !b.limit) {
        Check(a.found == b.found);
        if (a.found) {
            Check(a.start == b.start && a.end == b.end);
            Check(a.groups == b.groups);
        }
    }
    // Matching the rest alone gives the same spans, shifted.
    if (offset > 0 && !a.limit) {
        const Outcome c = Run(fast, subject.substr(offset), 0);
        if (!c.limit) {
            Check(c.found == a.found);
            if (a.found) Check(c.start + offset == a.start && c.end + offset == a.end);
        }
    }
    return 0;
}
