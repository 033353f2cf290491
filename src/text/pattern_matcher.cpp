#include "text/pattern_matcher.h"

#include <algorithm>
#include <cstring>
#include <new>

// Steps of the run loop written apart for the reader stay in the loop for the compiler: as
// calls they cost the hostile list-page line up to twice its time.
#if defined(__GNUC__)
#define TT_LOOP_STEP inline __attribute__((always_inline))
#else
#define TT_LOOP_STEP __forceinline
#endif

namespace tt {

using pattern_detail::CharSet;
using pattern_detail::Instruction;
using pattern_detail::StackEntry;

namespace {

// Instructions. Each is a kind plus one operand (`arg`); run instructions also name the
// single-character step they repeat (`item`, with the class's negation in `flag`).
enum Op : uint8_t {
    OpChar,        // arg: the character
    OpAny,         // any character (not the end)
    OpSet,         // arg: class number; flag: negated
    OpRunGreedy,   // item repeated as often as possible, then fewer on backtracking
    OpRunLazy,     // item repeated as rarely as possible, then more on backtracking
    OpBackRef,     // arg: group
    OpEnd,         // only at the end of the subject
    OpJump,        // arg: target
    OpSplit,       // go on; on backtracking resume at arg
    OpSplitTo,     // go to arg; on backtracking resume at the next instruction
    OpGroupStart,  // arg: group
    OpGroupEnd,    // arg: group
    OpSetSlot,     // arg: slot; remembers the position where a pass began
    OpProgress,    // arg: slot; a pass that consumed nothing fails
    OpLookStart,   // arg: slot; remembers the stack depth of a look-ahead
    OpLookFail,    // arg: slot; the look-ahead's atom matched: undo it and fail
    OpMatch,
};

// Backtracking stack entries.
enum EntryKind : uint32_t {
    EntryResume,     // index: instruction, a: position
    EntryRunGreedy,  // index: run instruction; a: lowest position, b: last position handed out
    EntryRunLazy,    // index: run instruction; a: position reached so far
    EntryGroup,      // index: group; a, b: the span to put back
    EntrySlot,       // index: slot; a: the value to put back
};

constexpr uint32_t kNoMemo = ~0u;
constexpr size_t kMaxMemoBits = size_t(1) << 27;  // 16 MiB of memo at most
constexpr uint64_t kDefaultStepBase = 100000000ull;

// The abbreviations: letter, then the text it stands for. Only the first (quantified) atom of
// each text is compiled. The line break holds real carriage-return and line-feed characters.
constexpr const char16_t* kAbbreviations[] = {
    u"a([a-zA-Z0-9])",
    u"b([ \\t])",
    u"c([a-zA-Z])",
    u"d([0-9])",
    u"h([0-9a-fA-F])",
    u"n((\r)|(\r?\n))",
    u"q(\"[^\"]*\")|('[^']*')",
    u"w([a-zA-Z]+)",
    u"z([0-9]+)",
};

const char16_t* FindAbbreviation(char16_t letter) {
    for (const char16_t* entry : kAbbreviations) {
        if (entry[0] == letter) return entry + 1;
    }
    return nullptr;
}

// Per code unit, so that positions in the folded copy are positions in the original.
char16_t FoldCase(char16_t c) {
    if (c >= u'A' && c <= u'Z') return char16_t(c + 32);
    if (c < 0xC0) return c;
    if (c <= 0xDE && c != 0xD7) return char16_t(c + 32);                  // Latin-1 letters
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return char16_t(c + 32);  // Greek
    if (c >= 0x410 && c <= 0x42F) return char16_t(c + 32);                // Cyrillic
    if (c >= 0xFF21 && c <= 0xFF3A) return char16_t(c + 32);              // full-width Latin
    return c;
}

void SetAdd(CharSet& set, char16_t lo, char16_t hi) {
    if (hi >= 256) set.high = true;
    const unsigned top = std::min<unsigned>(hi, 255);
    for (unsigned c = lo; c <= top; ++c) set.bits[c >> 5] |= 1u << (c & 31);
}

void SetAll(CharSet& set) {
    for (uint32_t& w : set.bits) w = ~0u;
    set.high = true;
}

void SetUnion(CharSet& into, const CharSet& other) {
    for (int k = 0; k < 8; ++k) into.bits[k] |= other.bits[k];
    into.high = into.high || other.high;
}

bool SetHas(const CharSet& set, char16_t c) {
    if (c >= 256) return set.high;
    return (set.bits[c >> 5] >> (c & 31)) & 1u;
}

// A rough size used to pick the most telling required set of a sequence.
unsigned SetSize(const CharSet& set) {
    unsigned n = set.high ? 65280u : 0u;
    for (uint32_t w : set.bits) {
        for (; w; w &= w - 1) ++n;
    }
    return n;
}

bool SetIsAll(const CharSet& set) {
    if (!set.high) return false;
    for (uint32_t w : set.bits) {
        if (w != ~0u) return false;
    }
    return true;
}

}  // namespace

class CPatternCompiler {
public:
    // What the compiler knows about a compiled piece: whether it can match the empty text, which
    // characters a non-empty match of it can begin with, and a set from which every match of it
    // consumes at least one character.
    struct Fragment {
        bool nullable = true;
        bool single = false;  // exactly one single-character step
        bool hasRequired = false;
        CharSet first{};
        CharSet required{};
    };

    explicit CPatternCompiler(CPatternMatcher& m) : m_(m) {}

    PatternParseError Compile(const std::u16string& pattern) {
        text_ = pattern.data();
        length_ = pattern.size();
        mainLength_ = pattern.size();
        inMain_ = true;
        pos_ = 0;
        if (length_ > 0 && text_[0] == u'^') {
            m_.anchored_ = true;
            pos_ = 1;
        }
        Fragment body;
        if (!Sequence(body)) return error_;
        // Whatever follows a closer that closes nothing is ignored.
        if (!Emit(OpMatch, 0)) return error_;
        Finish(body);
        return PatternOk;
    }

private:
    bool Fail(PatternParseError e) {
        if (error_ == PatternOk) error_ = e;
        return false;
    }

    bool Emit(uint8_t op, uint32_t arg, uint8_t item = 0, uint8_t flag = 0) {
        if (m_.program_.size() >= CPatternMatcher::kMaxInstructions) return Fail(PatternOutOfMemory);
        m_.program_.push_back(Instruction{op, item, flag, 0, arg});
        return true;
    }

    static bool HasTarget(uint8_t op) { return op == OpJump || op == OpSplit || op == OpSplitTo; }

    // Inserts `count` instructions at `at`, moving the code behind it; jumps inside the moved
    // code that point into it move along.
    bool Insert(size_t at, size_t count) {
        auto& p = m_.program_;
        if (p.size() + count > CPatternMatcher::kMaxInstructions) return Fail(PatternOutOfMemory);
        p.insert(p.begin() + static_cast<std::ptrdiff_t>(at), count, Instruction{OpJump, 0, 0, 0, 0});
        for (size_t k = at + count; k < p.size(); ++k) {
            if (HasTarget(p[k].op) && p[k].arg >= at) p[k].arg += static_cast<uint32_t>(count);
        }
        return true;
    }

    bool AtCloser() const {
        const char16_t c = text_[pos_];
        return c == u')' || c == u']' || c == u'}';
    }

    // terms until the end of the text or a closer
    bool Sequence(Fragment& out) {
        out = Fragment{};
        bool first = true;
        unsigned requiredSize = ~0u;
        while (pos_ < length_ && !AtCloser()) {
            Fragment term;
            if (!Alternation(term)) return false;
            if (first) {
                out.single = term.single;
                first = false;
            } else {
                out.single = false;
            }
            if (out.nullable) SetUnion(out.first, term.first);
            out.nullable = out.nullable && term.nullable;
            if (term.hasRequired) {
                const unsigned size = SetSize(term.required);
                if (!out.hasRequired || size <= requiredSize) {
                    out.required = term.required;
                    out.hasRequired = true;
                    requiredSize = size;
                }
            }
        }
        return true;
    }

    // x|y|z: each side a single quantified term; chains to the right.
    bool Alternation(Fragment& out) {
        size_t termStart = m_.program_.size();
        if (!QuantifiedTerm(out)) return false;
        if (pos_ >= length_ || text_[pos_] != u'|') return true;
        std::vector<size_t> exits;
        out.single = false;
        while (pos_ < length_ && text_[pos_] == u'|') {
            ++pos_;
            if (!Insert(termStart, 1)) return false;
            m_.program_[termStart] = Instruction{OpSplit, 0, 0, 0, 0};
            exits.push_back(m_.program_.size());
            if (!Emit(OpJump, 0)) return false;
            m_.program_[termStart].arg = static_cast<uint32_t>(m_.program_.size());
            termStart = m_.program_.size();
            Fragment right;
            if (pos_ < length_ && !AtCloser()) {
                if (!QuantifiedTerm(right)) return false;
            }
            out.nullable = out.nullable || right.nullable;
            SetUnion(out.first, right.first);
            if (out.hasRequired && right.hasRequired) {
                SetUnion(out.required, right.required);
            } else {
                out.hasRequired = false;
            }
        }
        const uint32_t end = static_cast<uint32_t>(m_.program_.size());
        for (size_t at : exits) m_.program_[at].arg = end;
        return true;
    }

    bool QuantifiedTerm(Fragment& out) {
        const size_t start = m_.program_.size();
        if (!Atom(out)) return false;
        if (pos_ >= length_) return true;
        const char16_t q = text_[pos_];
        if (q != u'*' && q != u'+' && q != u'?') return true;
        ++pos_;
        bool lazy = false;
        if (pos_ < length_ && text_[pos_] == u'?') {
            lazy = true;
            ++pos_;
        }
        auto& p = m_.program_;
        const bool repeats = q != u'?';
        if (repeats && out.nullable) return Fail(PatternEmptyLoop);
        const bool many = q == u'*';
        if (repeats && out.single) {
            // One single-character step: a run instruction does the loop without a stack
            // entry per character. x+ is x followed by x*.
            const Instruction item = p[start];
            const uint8_t op = lazy ? OpRunLazy : OpRunGreedy;
            if (many) {
                p[start] = Instruction{op, item.op, item.flag, 0, item.arg};
            } else if (!Emit(op, item.arg, item.op, item.flag)) {
                return false;
            }
        } else if (many) {
            // JMP C; M: x; C: split back to M (greedy: M first; lazy: on with the rest first)
            if (!Insert(start, 1)) return false;
            const uint32_t body = static_cast<uint32_t>(start + 1);
            p[start] = Instruction{OpJump, 0, 0, 0, static_cast<uint32_t>(p.size())};
            if (!Emit(lazy ? OpSplit : OpSplitTo, body)) return false;
        } else if (repeats) {
            // M: x; split back to M
            if (!Emit(lazy ? OpSplit : OpSplitTo, static_cast<uint32_t>(start))) return false;
        } else if (lazy) {
            // x??: skip x first, take it on backtracking.
            if (!Insert(start, 1)) return false;
            p[start] = Instruction{OpSplitTo, 0, 0, 0, static_cast<uint32_t>(p.size())};
        } else if (!out.nullable) {
            if (!Insert(start, 1)) return false;
            p[start] = Instruction{OpSplit, 0, 0, 0, static_cast<uint32_t>(p.size())};
        } else {
            // x? where x can match nothing: a pass that consumed nothing counts as failed.
            // The slot makes the states inside depend on more than (instruction, position),
            // so they are kept out of the memo.
            const uint32_t slot = static_cast<uint32_t>(m_.slotCount_++);
            if (!Insert(start, 2)) return false;
            p[start + 1] = Instruction{OpSetSlot, 0, 0, 0, slot};
            if (!Emit(OpProgress, slot)) return false;
            p[start] = Instruction{OpSplit, 0, 0, 0, static_cast<uint32_t>(p.size())};
            for (size_t k = start + 1; k < p.size(); ++k) p[k].unused = 1;
        }
        if (q != u'+') {
            out.nullable = true;
            out.hasRequired = false;
        }
        out.single = false;
        return true;
    }

    bool Enter() {
        if (++depth_ > CPatternMatcher::kMaxNesting) return Fail(PatternTooDeep);
        return true;
    }

    bool Literal(Fragment& out, char16_t c) {
        out = Fragment{};
        out.nullable = false;
        out.single = true;
        SetAdd(out.first, c, c);
        out.required = out.first;
        out.hasRequired = true;
        return Emit(OpChar, c);
    }

    bool Atom(Fragment& out) {
        const char16_t c = text_[pos_];
        switch (c) {
            case u'(': {
                ++pos_;
                if (!Enter()) return false;
                if (!Sequence(out)) return false;
                if (pos_ >= length_ || text_[pos_] != u')') return Fail(PatternUnclosedGroup);
                ++pos_;
                --depth_;
                return true;
            }
            case u'{': {
                ++pos_;
                if (!Enter()) return false;
                const uint32_t group = static_cast<uint32_t>(m_.groupCount_++);
                if (!Emit(OpGroupStart, group)) return false;
                if (!Sequence(out)) return false;
                if (pos_ >= length_ || text_[pos_] != u'}') return Fail(PatternUnclosedMatchGroup);
                ++pos_;
                --depth_;
                out.single = false;
                return Emit(OpGroupEnd, group);
            }
            case u'[':
                return Class(out);
            case u'.':
                ++pos_;
                out = Fragment{};
                out.nullable = false;
                out.single = true;
                SetAll(out.first);
                out.required = out.first;
                out.hasRequired = true;
                return Emit(OpAny, 0);
            case u'!': {
                if (pos_ + 1 >= length_ || text_[pos_ + 1] == u')' || text_[pos_ + 1] == u']' ||
                    text_[pos_ + 1] == u'}') {
                    ++pos_;
                    return Literal(out, c);
                }
                ++pos_;
                if (!Enter()) return false;
                const uint32_t slot = static_cast<uint32_t>(m_.slotCount_++);
                if (!Emit(OpLookStart, slot)) return false;
                const size_t split = m_.program_.size();
                if (!Emit(OpSplit, 0)) return false;
                Fragment inner;
                if (!Atom(inner)) return false;
                if (!Emit(OpLookFail, slot)) return false;
                m_.program_[split].arg = static_cast<uint32_t>(m_.program_.size());
                --depth_;
                m_.memoSafe_ = false;
                out = Fragment{};  // consumes nothing; can only hold a match back
                return true;
            }
            case u'\\':
                return Escape(out);
            case u'$':
                if (inMain_ && pos_ + 1 == mainLength_) {
                    ++pos_;
                    out = Fragment{};
                    return Emit(OpEnd, 0);
                }
                ++pos_;
                return Literal(out, c);
            default:
                // Also a quantifier or '|' with no atom before it, and '^' after the start.
                ++pos_;
                return Literal(out, c);
        }
    }

    bool Escape(Fragment& out) {
        ++pos_;
        if (pos_ >= length_) return Literal(out, u'\\');
        const char16_t c = text_[pos_];
        if (c >= u'0' && c <= u'9') {
            size_t number = 0;
            while (pos_ < length_ && text_[pos_] >= u'0' && text_[pos_] <= u'9') {
                if (number < 100000000) number = number * 10 + (text_[pos_] - u'0');
                ++pos_;
            }
            if (number >= m_.groupCount_) return Fail(PatternBadBackReference);
            m_.memoSafe_ = false;
            sawBackReference_ = true;
            out = Fragment{};
            SetAll(out.first);
            return Emit(OpBackRef, static_cast<uint32_t>(number));
        }
        if (const char16_t* expansion = FindAbbreviation(c)) {
            ++pos_;
            if (!Enter()) return false;
            const char16_t* savedText = text_;
            const size_t savedLength = length_, savedPos = pos_;
            const bool savedMain = inMain_;
            text_ = expansion;
            length_ = std::char_traits<char16_t>::length(expansion);
            pos_ = 0;
            inMain_ = false;
            const bool ok = QuantifiedTerm(out);
            text_ = savedText;
            length_ = savedLength;
            pos_ = savedPos;
            inMain_ = savedMain;
            if (!ok) {
                if (error_ != PatternOutOfMemory) error_ = PatternBadAbbreviation;
                return false;
            }
            --depth_;
            return true;
        }
        ++pos_;
        return Literal(out, c);
    }

    bool Class(Fragment& out) {
        ++pos_;
        bool negated = false;
        if (pos_ < length_ && text_[pos_] == u'^') {
            negated = true;
            ++pos_;
        }
        if (pos_ < length_ && text_[pos_] == u']') return Fail(PatternEmptyClass);
        auto& data = m_.classes_;
        if (data.capacity() == 0) data.reserve(mainLength_ + 16);
        const size_t offset = data.size();
        if (offset >= 4 * CPatternMatcher::kMaxInstructions) return Fail(PatternOutOfMemory);
        data.push_back(0);
        data.push_back(0);
        uint32_t count = 0;
        CharSet members{};
        for (;;) {
            if (pos_ >= length_) return Fail(PatternUnclosedClass);
            char16_t lo = text_[pos_];
            if (lo == u']') {
                ++pos_;
                break;
            }
            if (lo == u'\\') {
                if (pos_ + 1 >= length_) return Fail(PatternUnclosedClass);
                lo = text_[pos_ + 1] == u't' ? u'\t' : text_[pos_ + 1];
                pos_ += 2;
            } else {
                ++pos_;
            }
            char16_t hi = lo;
            if (pos_ < length_ && text_[pos_] == u'-') {
                // The upper bound is taken as written.
                if (pos_ + 1 >= length_ || text_[pos_ + 1] == u']') return Fail(PatternUnclosedClass);
                hi = text_[pos_ + 1];
                if (hi < lo) return Fail(PatternReversedRange);
                pos_ += 2;
            }
            data.push_back(lo);
            data.push_back(hi);
            ++count;
            SetAdd(members, lo, hi);
        }
        data[offset] = static_cast<char16_t>(count & 0xFFFFu);
        data[offset + 1] = static_cast<char16_t>(count >> 16);
        const uint32_t index = static_cast<uint32_t>(offset);
        out = Fragment{};
        out.nullable = false;
        out.single = true;
        if (negated) {
            for (uint32_t& w : members.bits) w = ~w;
            members.high = true;
        }
        out.first = members;
        out.required = members;
        out.hasRequired = true;
        return Emit(OpSet, index, 0, negated ? 1 : 0);
    }

    void Finish(const Fragment& body) {
        CPatternMatcher& m = m_;
        m.canMatchEmpty_ = body.nullable;
        m.hasFirstSet_ = !body.nullable && !SetIsAll(body.first);
        m.firstSet_ = body.first;
        m.hasRequiredSet_ = body.hasRequired && !SetIsAll(body.required);
        m.requiredSet_ = body.required;
        // A back-reference may read a group from inside that group after backtracking there:
        // the end the group had before must come back too.
        if (sawBackReference_) {
            for (Instruction& in : m.program_) {
                if (in.op == OpGroupEnd) in.flag = 1;
            }
        }
    }

    CPatternMatcher& m_;
    const char16_t* text_ = nullptr;
    size_t length_ = 0;
    size_t mainLength_ = 0;
    size_t pos_ = 0;
    bool inMain_ = true;
    int depth_ = 0;
    bool sawBackReference_ = false;
    PatternParseError error_ = PatternOk;
};

void CPatternMatcher::Reset() {
    program_.clear();
    classes_.clear();
    groupCount_ = 0;
    slotCount_ = 0;
    anchored_ = false;
    canMatchEmpty_ = true;
    memoSafe_ = true;
    hasFirstSet_ = false;
    hasRequiredSet_ = false;
    firstSet_ = CharSet{};
    requiredSet_ = CharSet{};
}

PatternParseError CPatternMatcher::Parse(const std::u16string& pattern, bool caseSensitive) {
    Reset();
    caseSensitive_ = caseSensitive;
    if (pattern.empty()) {
        error_ = PatternMissing;
        return error_;
    }
    try {
        program_.reserve(pattern.size() + 8);
        CPatternCompiler compiler(*this);
        if (caseSensitive) {
            error_ = compiler.Compile(pattern);
        } else {
            std::u16string lowered(pattern);
            for (char16_t& c : lowered) c = FoldCase(c);
            error_ = compiler.Compile(lowered);
        }
    } catch (const std::bad_alloc&) {
        error_ = PatternOutOfMemory;
    }
    if (error_ != PatternOk) Reset();
    return error_;
}

namespace {

// Memo rows: the places where paths join (jump and resume targets, runs and what follows
// them); every other instruction is reached only straight from one of these. Instructions
// marked as depending on more than (instruction, position) get no row. Returns the row count.
uint32_t BuildMemoRows(const std::vector<Instruction>& p, std::vector<uint32_t>& row) {
    row.assign(p.size() + 1, 0);
    row[0] = 1;
    for (size_t k = 0; k < p.size(); ++k) {
        switch (p[k].op) {
            case OpJump:
            case OpSplit:
                row[p[k].arg] = 1;
                break;
            case OpSplitTo:
                row[p[k].arg] = 1;
                row[k + 1] = 1;
                break;
            case OpRunGreedy:
            case OpRunLazy:
                row[k] = 1;
                row[k + 1] = 1;
                break;
            default:
                break;
        }
    }
    uint32_t rows = 0;
    for (size_t k = 0; k < p.size(); ++k) {
        row[k] = (row[k] && !p[k].unused && p[k].op != OpMatch) ? rows++ : kNoMemo;
    }
    return rows;
}

}  // namespace

// Runs a compiled program over one subject. Lives for one Match call.
class CPatternMachine {
public:
    CPatternMachine(const CPatternMatcher& m, CPatternMatch& r, const char16_t* s, size_t base, size_t end)
        : m_(m), r_(r), prog_(m.program_.data()), s_(s), base_(base), n_(end) {
        const PatternSearchOptions& o = m.options_;
        stackLimit_ = o.stackLimit ? o.stackLimit : 1;
        if (o.stepLimit) {
            stepLimit_ = o.stepLimit;
        } else {
            // Saturating: 100 million plus 4 per (instruction, position) pair.
            const uint64_t room = (~uint64_t(0) - kDefaultStepBase) / 4;
            const uint64_t rows = m.program_.size(), width = uint64_t(end - base) + 1;
            const uint64_t states = rows > room / width ? room : rows * width;
            stepLimit_ = kDefaultStepBase + 4 * states;
        }
        memoWanted_ = o.memo && m.memoSafe_;
        memoAfter_ = o.memoAfterSteps;
        nextCheck_ = std::min(stepLimit_, memoWanted_ ? memoAfter_ : stepLimit_);
    }

    // Tries one start position. False with limitHit_ set when a limit ended the search.
    bool Run(size_t start);
    bool LimitHit() const { return limitHit_; }

private:
    // A greedy run of one item from pos, as far as it goes, remembered for giving back;
    // false when the stack is full.
    TT_LOOP_STEP bool RunGreedy(const Instruction& in, size_t pc, size_t& pos);
    // Goes back to the most recent resume point (undoing groups and slots on the way);
    // false when none is left or a limit ended the search.
    TT_LOOP_STEP bool Backtrack(size_t& pc, size_t& pos);
    void DropLookAhead(size_t depth);

    bool ItemMatches(const Instruction& in, char16_t c) const {
        switch (in.item) {
            case OpChar:
                return c == in.arg;
            case OpAny:
                return true;
            default:
                return InClass(in.arg, c) != (in.flag != 0);
        }
    }

    bool InClass(uint32_t offset, char16_t c) const {
        const char16_t* data = m_.classes_.data() + offset;
        const char16_t* pair = data + 2;
        const char16_t* end = pair + 2 * (size_t(data[0]) | (size_t(data[1]) << 16));
        for (; pair != end; pair += 2) {
            if (c >= pair[0] && c <= pair[1]) return true;
        }
        return false;
    }

    // Marks (row, pos) as explored; true when it already was.
    bool Seen(uint32_t row, size_t pos) {
        const size_t bit = size_t(row) * width_ + (pos - base_);
        uint64_t& word = r_.memo_[bit >> 6];
        const uint64_t mask = uint64_t(1) << (bit & 63);
        if (word & mask) return true;
        word |= mask;
        return false;
    }

    bool Push(uint32_t kind, uint32_t index, size_t a, size_t b = 0) {
        auto& stack = r_.stack_;
        if (stack.size() >= stackLimit_) {
            limitHit_ = true;
            return false;
        }
        stack.push_back(StackEntry{kind, index, a, b});
        return true;
    }

    // Called when the step count reaches nextCheck_: enforces the limit, switches the memo on.
    bool Checkpoint() {
        if (steps_ >= stepLimit_) {
            limitHit_ = true;
            return false;
        }
        if (memoWanted_ && !memoOn_ && steps_ >= memoAfter_) {
            memoWanted_ = false;
            width_ = n_ - base_ + 1;
            try {
                const uint32_t rows = BuildMemoRows(m_.program_, r_.memoRow_);
                if (rows > 0 && width_ <= kMaxMemoBits / rows) {
                    r_.memo_.assign((size_t(rows) * width_ + 63) / 64, 0);
                    memoIndex_ = r_.memoRow_.data();
                    memoOn_ = true;
                }
            } catch (const std::bad_alloc&) {
                r_.memo_.clear();
            }
        }
        nextCheck_ = stepLimit_;
        return true;
    }

    const CPatternMatcher& m_;
    CPatternMatch& r_;
    const Instruction* prog_;
    const char16_t* s_;
    size_t base_;
    size_t n_;
    size_t width_ = 0;
    const uint32_t* memoIndex_ = nullptr;  // per instruction: its memo row, or kNoMemo
    size_t stackLimit_;
    uint64_t stepLimit_;
    uint64_t steps_ = 0;
    uint64_t nextCheck_;
    uint64_t memoAfter_;
    bool memoWanted_;
    bool memoOn_ = false;
    bool limitHit_ = false;
};

bool CPatternMachine::Run(size_t start) {
    auto& stack = r_.stack_;
    auto& sp = r_.spans_;
    auto& slots = r_.slots_;
    stack.clear();
    size_t pc = 0;
    size_t pos = start;

    for (;;) {
        // Executes instructions until one fails.
        for (;;) {
            if (++steps_ >= nextCheck_ && !Checkpoint()) return false;
            const Instruction& in = prog_[pc];
            if (memoOn_ && memoIndex_[pc] != kNoMemo && Seen(memoIndex_[pc], pos)) break;
            bool ok = true;
            switch (in.op) {
                case OpChar:
                    ok = pos < n_ && s_[pos] == in.arg;
                    ++pos;
                    ++pc;
                    break;
                case OpAny:
                    ok = pos < n_;
                    ++pos;
                    ++pc;
                    break;
                case OpSet:
                    ok = pos < n_ && InClass(in.arg, s_[pos]) != (in.flag != 0);
                    ++pos;
                    ++pc;
                    break;
                case OpRunGreedy:
                    if (!RunGreedy(in, pc, pos)) return false;
                    ++pc;
                    break;
                case OpRunLazy:
                    if (!Push(EntryRunLazy, static_cast<uint32_t>(pc), pos)) return false;
                    ++pc;
                    break;
                case OpBackRef: {
                    const size_t gStart = sp[2 * in.arg], gEnd = sp[2 * in.arg + 1];
                    if (gStart != CPatternMatch::npos && gEnd != CPatternMatch::npos && gEnd > gStart) {
                        const size_t len = gEnd - gStart;
                        ok = len <= n_ - pos &&
                             std::char_traits<char16_t>::compare(s_ + gStart, s_ + pos, len) == 0;
                        steps_ += len;
                        pos += len;
                    }
                    ++pc;
                    break;
                }
                case OpEnd:
                    ok = pos == n_;
                    ++pc;
                    break;
                case OpJump:
                    pc = in.arg;
                    break;
                case OpSplit:
                    if (!Push(EntryResume, in.arg, pos)) return false;
                    ++pc;
                    break;
                case OpSplitTo:
                    if (!Push(EntryResume, static_cast<uint32_t>(pc + 1), pos)) return false;
                    pc = in.arg;
                    break;
                case OpGroupStart:
                    if (!Push(EntryGroup, in.arg, sp[2 * in.arg], sp[2 * in.arg + 1])) return false;
                    sp[2 * in.arg] = pos;
                    sp[2 * in.arg + 1] = CPatternMatch::npos;
                    ++pc;
                    break;
                case OpGroupEnd:
                    if (in.flag && !Push(EntryGroup, in.arg, sp[2 * in.arg], sp[2 * in.arg + 1]))
                        return false;
                    sp[2 * in.arg + 1] = pos;
                    ++pc;
                    break;
                case OpSetSlot:
                    if (!Push(EntrySlot, in.arg, slots[in.arg])) return false;
                    slots[in.arg] = pos;
                    ++pc;
                    break;
                case OpProgress:
                    ok = pos != slots[in.arg];
                    ++pc;
                    break;
                case OpLookStart:
                    if (!Push(EntrySlot, in.arg, slots[in.arg])) return false;
                    slots[in.arg] = stack.size();
                    ++pc;
                    break;
                case OpLookFail:
                    DropLookAhead(slots[in.arg]);
                    ok = false;
                    break;
                case OpMatch:
                    r_.end_ = pos;
                    return true;
            }
            if (!ok) break;
        }

        if (!Backtrack(pc, pos)) return false;
    }
}

bool CPatternMachine::Backtrack(size_t& pc, size_t& pos) {
    auto& stack = r_.stack_;
    auto& sp = r_.spans_;
    auto& slots = r_.slots_;
    for (;;) {
        if (stack.empty()) return false;
        if (++steps_ >= nextCheck_ && !Checkpoint()) return false;
        StackEntry& e = stack.back();
        if (e.kind == EntryResume) {
            pc = e.index;
            pos = e.a;
            stack.pop_back();
            return true;
        }
        if (e.kind == EntryGroup) {
            sp[2 * e.index] = e.a;
            sp[2 * e.index + 1] = e.b;
            stack.pop_back();
            continue;
        }
        if (e.kind == EntrySlot) {
            slots[e.index] = e.a;
            stack.pop_back();
            continue;
        }
        if (e.kind == EntryRunGreedy) {
            // One character fewer for the run, then the rest again.
            pos = e.b - 1;
            pc = e.index + 1;
            if (pos > e.a) {
                e.b = pos;
            } else {
                stack.pop_back();
            }
            return true;
        }
        // EntryRunLazy: one more character, then the rest again.
        const Instruction& in = prog_[e.index];
        size_t p = e.a;
        if (p < n_ && ItemMatches(in, s_[p])) {
            ++p;
            if (memoOn_ && memoIndex_[e.index] != kNoMemo && Seen(memoIndex_[e.index], p)) {
                stack.pop_back();
                continue;
            }
            e.a = p;
            pos = p;
            pc = e.index + 1;
            return true;
        }
        stack.pop_back();
    }
}

bool CPatternMachine::RunGreedy(const Instruction& in, size_t pc, size_t& pos) {
    size_t q = pos;
    bool stopped = false;
    if (memoOn_ && memoIndex_[pc] != kNoMemo) {
        const uint32_t row = memoIndex_[pc];
        while (q < n_ && ItemMatches(in, s_[q])) {
            ++q;
            if (Seen(row, q)) {
                stopped = true;  // the rest of this run was explored already
                break;
            }
        }
    } else if (in.item == OpAny) {
        q = n_;
    } else {
        while (q < n_ && ItemMatches(in, s_[q])) ++q;
    }
    steps_ += q - pos;
    const size_t top = stopped ? q - 1 : q;
    if (top > pos && !Push(EntryRunGreedy, static_cast<uint32_t>(pc), pos, top)) return false;
    pos = top;
    return true;
}

void CPatternMachine::DropLookAhead(size_t depth) {
    // The atom matched, so the look-ahead fails: drop everything it pushed (putting groups
    // and slots back) down to and including its resume point.
    auto& stack = r_.stack_;
    while (stack.size() > depth) {
        const StackEntry& e = stack.back();
        if (e.kind == EntryGroup) {
            r_.spans_[2 * e.index] = e.a;
            r_.spans_[2 * e.index + 1] = e.b;
        } else if (e.kind == EntrySlot) {
            r_.slots_[e.index] = e.a;
        }
        stack.pop_back();
        ++steps_;
    }
}

bool CPatternMatch::IsGroupSet(size_t i) const {
    return i < GroupCount() && spans_[2 * i] != npos && spans_[2 * i + 1] != npos &&
           spans_[2 * i + 1] >= spans_[2 * i];
}

size_t CPatternMatch::GroupStart(size_t i) const { return IsGroupSet(i) ? spans_[2 * i] : npos; }

size_t CPatternMatch::GroupEnd(size_t i) const { return IsGroupSet(i) ? spans_[2 * i + 1] : npos; }

std::u16string CPatternMatch::GroupText(const std::u16string& subject, size_t i) const {
    if (!IsGroupSet(i) || spans_[2 * i + 1] > subject.size()) return std::u16string();
    return subject.substr(spans_[2 * i], spans_[2 * i + 1] - spans_[2 * i]);
}

std::u16string CPatternMatch::MatchText(const std::u16string& subject) const {
    if (start_ == npos || end_ == npos || end_ > subject.size() || end_ < start_) return std::u16string();
    return subject.substr(start_, end_ - start_);
}

bool CPatternMatcher::Match(const std::u16string& subject, CPatternMatch& result, size_t* stopPos) const {
    return Match(subject, result, stopPos, 0);
}

bool CPatternMatcher::Match(const std::u16string& subject, CPatternMatch& result, size_t* stopPos,
                            size_t startOffset) const {
    if (stopPos) *stopPos = subject.size();
    result.start_ = CPatternMatch::npos;
    result.end_ = CPatternMatch::npos;
    result.limitHit_ = false;
    try {
        result.spans_.assign(2 * groupCount_, CPatternMatch::npos);
        result.slots_.assign(slotCount_, CPatternMatch::npos);
        if (result.stack_.capacity() < 64) result.stack_.reserve(64);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (error_ != PatternOk || program_.empty() || startOffset > subject.size()) return false;

    const size_t n = subject.size();
    const char16_t* s = subject.data();
    if (!caseSensitive_) {
        try {
            result.folded_.assign(subject);
        } catch (const std::bad_alloc&) {
            return false;
        }
        for (size_t k = startOffset; k < n; ++k) result.folded_[k] = FoldCase(result.folded_[k]);
        s = result.folded_.data();
    }

    // Start positions: every character of the rest; the end only when the rest is empty.
    size_t last = n > startOffset ? n - 1 : startOffset;
    const bool prefilter = options_.prefilter;
    if (prefilter && hasRequiredSet_) {
        // Every match holds a character of the required set at or after its start.
        size_t k = n;
        while (k > startOffset && !SetHas(requiredSet_, s[k - 1])) --k;
        if (k == startOffset) return false;
        last = std::min(last, k - 1);
    }
    if (anchored_) last = startOffset;

    bool found = false;
    try {
        CPatternMachine machine(*this, result, s, startOffset, n);
        for (size_t p = startOffset; p <= last; ++p) {
            if (prefilter && hasFirstSet_) {
                while (p < n && p <= last && !SetHas(firstSet_, s[p])) ++p;
                if (p >= n || p > last) break;
            }
            result.start_ = p;
            if (machine.Run(p)) {
                found = true;
                break;
            }
            if (machine.LimitHit()) {
                result.limitHit_ = true;
                break;
            }
        }
    } catch (const std::bad_alloc&) {
        result.limitHit_ = true;
    }
    if (!found) {
        result.start_ = CPatternMatch::npos;
        result.end_ = CPatternMatch::npos;
        std::fill(result.spans_.begin(), result.spans_.end(), CPatternMatch::npos);
        return false;
    }
    if (stopPos) *stopPos = result.end_;
    return true;
}

std::u16string ExtractPatternGroup(const std::u16string& subject, const std::u16string& pattern,
                                   size_t group) {
    CPatternMatcher matcher;
    if (matcher.Parse(pattern, true) != PatternOk) return std::u16string();
    CPatternMatch match;
    if (!matcher.Match(subject, match)) return std::u16string();
    return match.GroupText(subject, group);
}

}  // namespace tt
