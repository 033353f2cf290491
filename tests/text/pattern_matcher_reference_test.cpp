// Random patterns checked against a second, independent matcher: a small recursive one that
// walks the pattern's tree with continuations, straight from the dialect's rules. The
// instruction machine must agree with it on every result (found or not, the whole-match span
// and every group span), both as plain backtracking and with its shortcuts (start-position
// filters, the memo of explored states) switched on.
#include "text/pattern_matcher.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tt {
namespace {

constexpr size_t npos = CPatternMatch::npos;

// Deterministic on every platform.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed * 2862933555777941757ull + 3037000493ull) {}
    unsigned Below(unsigned n) {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return static_cast<unsigned>(state_ % n);
    }

private:
    uint64_t state_;
};

enum class Kind {
    Char,
    Any,
    Class,
    Seq,
    Group,
    Capture,
    Alt,
    Star,
    Plus,
    LazyStar,
    LazyPlus,
    Opt,
    LazyOpt,
    Look,
    BackRef,
    End
};

struct Node {
    Kind kind;
    char16_t c = 0;                                     // Char
    std::vector<std::pair<char16_t, char16_t>> ranges;  // Class
    bool negated = false;                               // Class
    size_t group = 0;                                   // Capture, BackRef
    std::vector<std::unique_ptr<Node>> kids;            // Seq: all; others: kids[0] (Alt: two)
};

using NodePtr = std::unique_ptr<Node>;

const char16_t kAlphabet[] = {u'a', u'b', u'c', u'-'};

class Generator {
public:
    explicit Generator(Random& rnd) : rnd_(rnd) {}
    size_t groups = 0;

    NodePtr Sequence(int depth) {
        auto n = Make(Kind::Seq);
        const unsigned count = 1 + rnd_.Below(depth > 2 ? 2 : 4);
        for (unsigned k = 0; k < count; ++k) n->kids.push_back(Term(depth));
        return n;
    }

private:
    NodePtr Make(Kind k) {
        auto n = std::make_unique<Node>();
        n->kind = k;
        return n;
    }

    NodePtr Term(int depth) {
        NodePtr atom = Atom(depth);
        switch (rnd_.Below(10)) {
            case 0:
            case 1: {
                const bool empty = Nullable(*atom);
                static const Kind loops[] = {Kind::Star, Kind::Plus, Kind::LazyStar, Kind::LazyPlus};
                auto q = Make(empty ? (rnd_.Below(2) ? Kind::Opt : Kind::LazyOpt) : loops[rnd_.Below(4)]);
                q->kids.push_back(std::move(atom));
                return q;
            }
            case 2: {
                auto q = Make(rnd_.Below(2) ? Kind::Opt : Kind::LazyOpt);
                q->kids.push_back(std::move(atom));
                return q;
            }
            case 3: {
                auto alt = Make(Kind::Alt);
                alt->kids.push_back(std::move(atom));
                alt->kids.push_back(Term(depth + 1));
                return alt;
            }
            default:
                return atom;
        }
    }

    NodePtr Atom(int depth) {
        const unsigned roll = rnd_.Below(depth > 3 ? 6 : 13);
        if (roll < 3) {
            auto n = Make(Kind::Char);
            n->c = kAlphabet[rnd_.Below(4)];
            return n;
        }
        if (roll == 3) return Make(Kind::Any);
        if (roll == 4) {
            auto n = Make(Kind::Class);
            n->negated = rnd_.Below(3) == 0;
            const unsigned count = 1 + rnd_.Below(2);
            for (unsigned k = 0; k < count; ++k) {
                const char16_t lo = kAlphabet[rnd_.Below(3)];
                const char16_t hi = rnd_.Below(2) ? lo : char16_t(lo + rnd_.Below(u'c' - lo + 1));
                n->ranges.emplace_back(lo, hi);
            }
            return n;
        }
        if (roll == 5) {
            if (groups > 0 && rnd_.Below(2)) {
                auto n = Make(Kind::BackRef);
                n->group = rnd_.Below(static_cast<unsigned>(groups < 10 ? groups : 10));
                return n;
            }
            auto n = Make(Kind::Char);
            n->c = u'a';
            return n;
        }
        if (roll < 9) {
            auto n = Make(Kind::Capture);
            n->group = groups++;  // numbered in the order of their '{'
            n->kids.push_back(Sequence(depth + 1));
            return n;
        }
        if (roll < 12) {
            auto n = Make(Kind::Group);
            n->kids.push_back(Sequence(depth + 1));
            return n;
        }
        auto n = Make(Kind::Look);
        n->kids.push_back(Atom(depth + 1));
        return n;
    }

public:
    static bool Nullable(const Node& n) {
        switch (n.kind) {
            case Kind::Char:
            case Kind::Any:
            case Kind::Class:
                return false;
            case Kind::Seq:
                for (const auto& k : n.kids) {
                    if (!Nullable(*k)) return false;
                }
                return true;
            case Kind::Group:
            case Kind::Capture:
            case Kind::Plus:
            case Kind::LazyPlus:
                return Nullable(*n.kids[0]);
            case Kind::Alt:
                return Nullable(*n.kids[0]) || Nullable(*n.kids[1]);
            default:
                return true;
        }
    }

private:
    Random& rnd_;
};

// Pattern text. Alternation sides and quantified atoms are single atoms, bracketed if need be.
class Renderer {
public:
    std::u16string Render(const Node& n) {
        switch (n.kind) {
            case Kind::Char:
                return n.c == u'-' ? u"\\-" : std::u16string(1, n.c);
            case Kind::Any:
                return u".";
            case Kind::Class: {
                std::u16string t = n.negated ? u"[^" : u"[";
                for (const auto& r : n.ranges) {
                    t += r.first;
                    if (r.second != r.first) {
                        t += u'-';
                        t += r.second;
                    }
                }
                return t + u"]";
            }
            case Kind::Seq: {
                std::u16string t;
                for (const auto& k : n.kids) t += Render(*k);
                return t;
            }
            case Kind::Group:
                return u"(" + Render(*n.kids[0]) + u")";
            case Kind::Capture:
                return u"{" + Render(*n.kids[0]) + u"}";
            case Kind::Alt:
                // The right side may chain on without brackets: x|y|z.
                return AtomText(*n.kids[0]) + u"|" +
                       (n.kids[1]->kind == Kind::Alt ? Render(*n.kids[1]) : TermText(*n.kids[1]));
            case Kind::Star:
                return AtomText(*n.kids[0]) + u"*";
            case Kind::Plus:
                return AtomText(*n.kids[0]) + u"+";
            case Kind::LazyStar:
                return AtomText(*n.kids[0]) + u"*?";
            case Kind::LazyPlus:
                return AtomText(*n.kids[0]) + u"+?";
            case Kind::Opt:
                return AtomText(*n.kids[0]) + u"?";
            case Kind::LazyOpt:
                return AtomText(*n.kids[0]) + u"??";
            case Kind::Look:
                return u"!" + AtomText(*n.kids[0]);
            case Kind::BackRef:
                return u"\\" + std::u16string(1, char16_t(u'0' + n.group));
            case Kind::End:
                return u"$";
        }
        return u"";
    }

private:
    static bool IsAtom(Kind k) {
        return k == Kind::Char || k == Kind::Any || k == Kind::Class || k == Kind::Group ||
               k == Kind::Capture || k == Kind::BackRef || k == Kind::Look;
    }
    static bool IsTerm(Kind k) { return IsAtom(k) || (k != Kind::Seq && k != Kind::Alt && k != Kind::End); }

    std::u16string AtomText(const Node& n) {
        // A look-ahead followed by a quantifier would take the quantifier onto itself.
        if (IsAtom(n.kind)) return Render(n);
        return u"(" + Render(n) + u")";
    }
    std::u16string TermText(const Node& n) {
        if (IsTerm(n.kind)) return Render(n);
        return u"(" + Render(n) + u")";
    }
};

// The dialect's rules, walked directly: match(node, pos, continuation).
class Reference {
public:
    Reference(const std::u16string& s, size_t groups) : start_(groups, npos), end_(groups, npos), s_(s) {}

    bool Search(const Node& body, bool anchored, size_t& from, size_t& to) {
        const size_t last = s_.empty() ? 0 : s_.size() - 1;
        for (size_t p = 0; p <= last; ++p) {
            std::fill(start_.begin(), start_.end(), npos);
            std::fill(end_.begin(), end_.end(), npos);
            size_t matchEnd = npos;
            if (M(body, p, [&](size_t e) {
                    matchEnd = e;
                    return true;
                })) {
                from = p;
                to = matchEnd;
                return true;
            }
            if (anchored || budget_ <= 0) break;
        }
        return false;
    }
    bool OutOfBudget() const { return budget_ <= 0; }
    std::vector<size_t> start_, end_;

private:
    using K = std::function<bool(size_t)>;

    bool M(const Node& n, size_t pos, const K& k) {
        if (--budget_ <= 0) return false;
        switch (n.kind) {
            case Kind::Char:
                return pos < s_.size() && s_[pos] == n.c && k(pos + 1);
            case Kind::Any:
                return pos < s_.size() && k(pos + 1);
            case Kind::Class: {
                if (pos >= s_.size()) return false;
                bool in = false;
                for (const auto& r : n.ranges) in = in || (s_[pos] >= r.first && s_[pos] <= r.second);
                return in != n.negated && k(pos + 1);
            }
            case Kind::Seq:
                return SeqFrom(n, 0, pos, k);
            case Kind::Group:
                return M(*n.kids[0], pos, k);
            case Kind::Capture: {
                const size_t g = n.group, oldStart = start_[g], oldEnd = end_[g];
                start_[g] = pos;
                end_[g] = npos;
                if (M(*n.kids[0], pos, [&](size_t e) {
                        const size_t before = end_[g];
                        end_[g] = e;
                        if (k(e)) return true;
                        end_[g] = before;
                        return false;
                    })) {
                    return true;
                }
                start_[g] = oldStart;
                end_[g] = oldEnd;
                return false;
            }
            case Kind::Alt:
                return M(*n.kids[0], pos, k) || M(*n.kids[1], pos, k);
            case Kind::Star:
                return Star(*n.kids[0], pos, k);
            case Kind::Plus:
                return M(*n.kids[0], pos, [&](size_t e) { return Star(*n.kids[0], e, k); });
            case Kind::LazyStar:
                return LazyStar(*n.kids[0], pos, k);
            case Kind::LazyPlus:
                return M(*n.kids[0], pos, [&](size_t e) { return LazyStar(*n.kids[0], e, k); });
            case Kind::Opt:
                // A pass that consumed nothing counts as failed.
                return M(*n.kids[0], pos, [&](size_t e) { return e != pos && k(e); }) || k(pos);
            case Kind::LazyOpt:
                return k(pos) || M(*n.kids[0], pos, k);
            case Kind::Look: {
                std::vector<size_t> savedStart = start_, savedEnd = end_;
                const bool atomMatches = M(*n.kids[0], pos, [](size_t) { return true; });
                start_ = savedStart;
                end_ = savedEnd;
                return !atomMatches && k(pos);
            }
            case Kind::BackRef: {
                const size_t b = start_[n.group], e = end_[n.group];
                if (b == npos || e == npos || e <= b) return k(pos);
                const size_t len = e - b;
                if (len > s_.size() - pos || s_.compare(pos, len, s_, b, len) != 0) return false;
                return k(pos + len);
            }
            case Kind::End:
                return pos == s_.size() && k(pos);
        }
        return false;
    }

    bool SeqFrom(const Node& n, size_t i, size_t pos, const K& k) {
        if (i == n.kids.size()) return k(pos);
        return M(*n.kids[i], pos, [&](size_t e) { return SeqFrom(n, i + 1, e, k); });
    }

    bool Star(const Node& x, size_t pos, const K& k) {
        return M(x, pos, [&](size_t e) { return e != pos && Star(x, e, k); }) || k(pos);
    }

    bool LazyStar(const Node& x, size_t pos, const K& k) {
        return k(pos) || M(x, pos, [&](size_t e) { return e != pos && LazyStar(x, e, k); });
    }

    const std::u16string& s_;
    long budget_ = 200000;
};

struct Outcome {
    bool found = false;
    size_t start = npos, end = npos;
    std::vector<size_t> groups;  // start, end per group; npos when unset
    bool operator==(const Outcome& o) const {
        return found == o.found && start == o.start && end == o.end && groups == o.groups;
    }
};

std::string Show(const Outcome& o) {
    if (!o.found) return "no match";
    std::string t = "[" + std::to_string(o.start) + "," + std::to_string(o.end) + ")";
    for (size_t k = 0; k < o.groups.size(); k += 2) {
        t += o.groups[k] == npos ? " -"
                                 : " " + std::to_string(o.groups[k]) + ":" + std::to_string(o.groups[k + 1]);
    }
    return t;
}

std::string Narrow(const std::u16string& s) { return std::string(s.begin(), s.end()); }

Outcome RunMachine(const CPatternMatcher& m, const std::u16string& subject) {
    CPatternMatch r;
    Outcome o;
    o.found = m.Match(subject, r);
    EXPECT_FALSE(r.LimitHit());
    if (!o.found) return o;
    o.start = r.Start();
    o.end = r.End();
    for (size_t g = 0; g < r.GroupCount(); ++g) {
        o.groups.push_back(r.GroupStart(g));
        o.groups.push_back(r.GroupEnd(g));
    }
    return o;
}

TEST(PatternMatcherReference, RandomPatternsAgreeWithTheDialectsRules) {
    Random rnd(20240611);
    int compared = 0;
    for (int round = 0; round < 1500; ++round) {
        Generator gen(rnd);
        NodePtr body = gen.Sequence(0);
        const bool anchored = rnd.Below(6) == 0;
        if (rnd.Below(6) == 0) {
            body->kids.push_back(std::make_unique<Node>());
            body->kids.back()->kind = Kind::End;
        }
        const std::u16string text = (anchored ? u"^" : u"") + Renderer().Render(*body);

        CPatternMatcher plain, fast, memoAlways;
        ASSERT_EQ(plain.Parse(text), PatternOk) << Narrow(text);
        ASSERT_EQ(plain.GroupCount(), gen.groups) << Narrow(text);
        fast.Parse(text);
        memoAlways.Parse(text);
        PatternSearchOptions o;
        o.prefilter = false;
        o.memo = false;
        plain.SetSearchOptions(o);
        o = PatternSearchOptions{};
        o.memoAfterSteps = 0;
        memoAlways.SetSearchOptions(o);

        for (int s = 0; s < 6; ++s) {
            std::u16string subject;
            const unsigned len = rnd.Below(11);
            for (unsigned k = 0; k < len; ++k) subject += kAlphabet[rnd.Below(4)];
            Reference ref(subject, gen.groups);
            Outcome want;
            size_t from = 0, to = 0;
            want.found = ref.Search(*body, anchored, from, to);
            if (ref.OutOfBudget()) continue;
            if (want.found) {
                want.start = from;
                want.end = to;
                for (size_t g = 0; g < gen.groups; ++g) {
                    const bool set = ref.start_[g] != npos && ref.end_[g] != npos;
                    want.groups.push_back(set ? ref.start_[g] : npos);
                    want.groups.push_back(set ? ref.end_[g] : npos);
                }
            }
            const std::string where = Narrow(text) + " on \"" + Narrow(subject) + "\"";
            EXPECT_EQ(Show(RunMachine(plain, subject)), Show(want)) << "plain: " << where;
            EXPECT_EQ(Show(RunMachine(fast, subject)), Show(want)) << "default: " << where;
            EXPECT_EQ(Show(RunMachine(memoAlways, subject)), Show(want)) << "memo: " << where;
            ++compared;
            if (HasFailure()) return;
        }
    }
    EXPECT_GT(compared, 6000);
}

}  // namespace
}  // namespace tt
