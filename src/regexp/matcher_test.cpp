// Tests for matchPattern: which match wins, what the capture slots hold after
// success and failure, how damaged programs are reported, and that long
// subjects do not exhaust the stack.
#include "regexp/matcher.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "regexp/compiler.h"
#include "regexp/regexp.h"
#include "regexp/regexp_test_support.h"

namespace {

// A capture as offsets into the subject; {-1, -1} when both slots are null.
struct Span {
  std::ptrdiff_t start;
  std::ptrdiff_t end;
  bool operator==(const Span& other) const { return start == other.start && end == other.end; }
};
constexpr Span kNull{-1, -1};

std::ostream& operator<<(std::ostream& out, const Span& span) {
  if (span == kNull) return out << "null";
  return out << "[" << span.start << "," << span.end << ")";
}

RegexpPtr compileOk(const char* pattern) {
  RegexpPtr regexp(compilePattern(pattern));
  EXPECT_NE(regexp, nullptr) << "pattern failed to compile: " << pattern;
  return regexp;
}

// A half-null pair is a fault in itself; -2 makes it show up as a mismatch.
Span slotSpan(const MatchState& state, int group, const char* subject) {
  const char* start = state.groupStart[group];
  const char* end = state.groupEnd[group];
  if (start == nullptr && end == nullptr) return kNull;
  return Span{start ? start - subject : -2, end ? end - subject : -2};
}

std::vector<Span> allSlots(const MatchState& state, const char* subject) {
  std::vector<Span> spans;
  for (int group = 0; group < kGroupSlots; ++group)
    spans.push_back(slotSpan(state, group, subject));
  return spans;
}

std::string readable(const char* text) {
  std::string out;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
    if (*p == '\n') {
      out += "\\n";
    } else if (*p == '\r') {
      out += "\\r";
    } else if (*p < 32 || *p >= 127) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\x%02x", *p);
      out += buffer;
    } else {
      out += static_cast<char>(*p);
    }
  }
  return out;
}

// Each test matches with a state of its own.
class MatcherTest : public RecordingHookTest {
 protected:
  MatchState state;
};

struct Row {
  const char* pattern;
  const char* subject;
  int result;
  // Group 0 first; groups past the end of the list must be null. Only
  // checked when result is 1.
  std::vector<Span> groups;
};

const Row kRows[] = {
    // Leftmost start wins; at that start, the first alternative that works.
    {"b|ab", "ab", 1, {{0, 2}}},
    {"a|b", "cba", 1, {{1, 2}}},
    {"a|ab", "ab", 1, {{0, 1}}},
    {"(a|ab)", "ab", 1, {{0, 1}, {0, 1}}},
    {"(a|abc)", "abc", 1, {{0, 1}, {0, 1}}},
    {"(a|ab)c", "abc", 1, {{0, 3}, {0, 2}}},
    {"(a|ab)(c|bcd)", "abcd", 1, {{0, 4}, {0, 1}, {1, 4}}},
    {"(a|ab)*c", "ababc", 1, {{0, 5}, {2, 4}}},
    {"|a", "a", 1, {{0, 0}}},
    {"a|", "xyz", 1, {{0, 0}}},
    {"a|", "ba", 1, {{0, 0}}},
    {"x|^b", "ab", 0, {}},
    {"a|^b", "ba", 1, {{0, 1}}},
    // Greedy repeats, backing off only as far as needed.
    {"a*", "aaa", 1, {{0, 3}}},
    {"a*ab", "aaab", 1, {{0, 4}}},
    {"x(.*)y", "x1y2y", 1, {{0, 5}, {1, 4}}},
    {".*abc", "abcabcab", 1, {{0, 6}}},
    {"(.*)(.*)", "abc", 1, {{0, 3}, {0, 3}, {3, 3}}},
    {"(a?)(a?)a", "aa", 1, {{0, 2}, {0, 1}, {1, 1}}},
    {"a?a", "a", 1, {{0, 1}}},
    {"(a?)a", "a", 1, {{0, 1}, {0, 0}}},
    {"a+b", "xaaab", 1, {{1, 5}}},
    {"[0-9]*x", "12x", 1, {{0, 3}}},
    {"[^,]*,", "ab,cd,", 1, {{0, 3}}},
    {".+", "", 0, {}},
    {".+", "\n", 1, {{0, 1}}},
    {"(ab)*", "ababa", 1, {{0, 4}, {2, 4}}},
    {"(ab)*", "x", 1, {{0, 0}, kNull}},
    {"(ab)+", "xabab", 1, {{1, 5}, {3, 5}}},
    {"(ab)+$", "ababab", 1, {{0, 6}, {4, 6}}},
    {"(ab)?c", "abc", 1, {{0, 3}, {0, 2}}},
    {"(ab)?c", "c", 1, {{0, 1}, kNull}},
    {"(ab)?abc", "abc", 1, {{0, 3}, kNull}},
    {"(a|b)*b", "abab", 1, {{0, 4}, {2, 3}}},
    {"(a+)+b", "aab", 1, {{0, 3}, {0, 2}}},
    {"(a+)+b", "aaaa", 0, {}},
    {"(a|b)+", "", 0, {}},
    {"a(b|c)*d", "xabcbd", 1, {{1, 6}, {4, 5}}},
    // Captures: only the successful path counts; a loop keeps its last pass.
    {"(a|b)*c", "abac", 1, {{0, 4}, {2, 3}}},
    {"(a|b)*c", "c", 1, {{0, 1}, kNull}},
    {"((a)|b)*c", "abc", 1, {{0, 3}, {1, 2}, {0, 1}}},
    {"(a(b)?)+", "aba", 1, {{0, 3}, {2, 3}, {1, 2}}},
    {"(a)*ab", "aab", 1, {{0, 3}, {0, 1}}},
    {"(a)*ab", "ab", 1, {{0, 2}, kNull}},
    {"(x)?(x)y", "xy", 1, {{0, 2}, kNull, {0, 1}}},
    {"(a)|b", "b", 1, {{0, 1}, kNull}},
    {"(a)|(b)", "b", 1, {{0, 1}, kNull, {0, 1}}},
    {"(a*)b", "b", 1, {{0, 1}, {0, 0}}},
    {"(a|)b", "b", 1, {{0, 1}, {0, 0}}},
    {"x()y", "xy", 1, {{0, 2}, {1, 1}}},
    {"()", "abc", 1, {{0, 0}, {0, 0}}},
    {"((a)b)(c)", "abc", 1, {{0, 3}, {0, 2}, {0, 1}, {2, 3}}},
    // Anchors stand for the ends of the whole subject, wherever they appear.
    {"a^b", "a^b", 0, {}},
    {"a^b", "ab", 0, {}},
    {"a$b", "a$b", 0, {}},
    {"^ab", "abab", 1, {{0, 2}}},
    {"^ab", "xab", 0, {}},
    {"^a*", "baa", 1, {{0, 0}}},
    {"x*^a", "a", 1, {{0, 1}}},
    {"x*^a", "xa", 0, {}},
    {"(^a)", "ba", 0, {}},
    {"(^a)", "ab", 1, {{0, 1}, {0, 1}}},
    {"a$", "a", 1, {{0, 1}}},
    {"a$", "ba", 1, {{1, 2}}},
    {"a$", "aba", 1, {{2, 3}}},
    {"a$", "a\n", 0, {}},
    {"a$", "a\r", 0, {}},
    {"$", "abc", 1, {{3, 3}}},
    {"^$", "", 1, {{0, 0}}},
    {"^$", "a", 0, {}},
    {"^", "abc", 1, {{0, 0}}},
    {"a*$", "baa", 1, {{1, 3}}},
    {"a.b", "a\nb", 1, {{0, 3}}},
    {"a.b", "a\rb", 1, {{0, 3}}},
    {"a.$", "a\n", 1, {{0, 2}}},
    {"a.*", "xa\r\n", 1, {{1, 4}}},
    // Empty patterns and empty subjects: the terminating NUL is a start too.
    {"", "", 1, {{0, 0}}},
    {"", "abc", 1, {{0, 0}}},
    {".*", "", 1, {{0, 0}}},
    {"a*", "", 1, {{0, 0}}},
    {"$", "", 1, {{0, 0}}},
    {"a", "", 0, {}},
    {"x*", "abc", 1, {{0, 0}}},
    // Literal runs; a repeat after a run applies to its last byte only.
    {"ab*", "a", 1, {{0, 1}}},
    {"ab*", "abbbc", 1, {{0, 4}}},
    {"ab*", "abab", 1, {{0, 2}}},
    {"ab*", "xbb", 0, {}},
    {"abc+", "abcabc", 1, {{0, 3}}},
    {"ab+", "aab", 1, {{1, 3}}},
    {"ab+", "aa", 0, {}},
    {"abc?", "ab", 1, {{0, 2}}},
    {"abc?d", "abd", 1, {{0, 3}}},
    {"ab?c", "ac", 1, {{0, 2}}},
    {"abc", "aabc", 1, {{1, 4}}},
    {"abc", "ababc", 1, {{2, 5}}},
    {"a{2}", "aa", 0, {}},
    {"a{2}", "xa{2}", 1, {{1, 5}}},
    {"\xff\xfe", "a\xff\xfe", 1, {{1, 3}}},
    // A backslash quotes the next byte; there are no escape sequences.
    {"a\\nb", "anb", 1, {{0, 3}}},
    {"a\\nb", "a\nb", 0, {}},
    {"\\d", "9d", 1, {{1, 2}}},
    {"\\.", "ab", 0, {}},
    {"\\.", "a.b", 1, {{1, 2}}},
    {"\\.+", "a...b", 1, {{1, 4}}},
    {"\\\\", "a\\b", 1, {{1, 2}}},
    {"\\*", "a*", 1, {{1, 2}}},
    {"\\^a", "b^a", 1, {{1, 3}}},
    {"\\$", "a$", 1, {{1, 2}}},
    {"a\\|b", "a|b", 1, {{0, 3}}},
    {"a\\|b", "b", 0, {}},
    {"\\(a\\)", "(a)", 1, {{0, 3}}},
    {"\\[a]", "[a]", 1, {{0, 3}}},
    {"a]", "a]", 1, {{0, 2}}},
    // Sets.
    {"[abc]+", "xxbcay", 1, {{2, 5}}},
    {"[a-c]+", "dcbad", 1, {{1, 4}}},
    {"[^a-c]+", "abxyzc", 1, {{2, 5}}},
    {"[]a]+", "x]a]b", 1, {{1, 4}}},
    {"[^]a]+", "]a]bc]", 1, {{3, 5}}},
    {"[a-]+", "b-a-c", 1, {{1, 4}}},
    {"[-a]+", "b-a-c", 1, {{1, 4}}},
    {"[^-z]+", "-zab-", 1, {{2, 4}}},
    {"[a-c-e]+", "xabcdef", 1, {{1, 6}}},
    {"[a-a]+", "baab", 1, {{1, 3}}},
    {"[\\n]+", "\n\\nx", 1, {{1, 3}}},
    {"[[^]+", "a[^b", 1, {{1, 3}}},
    {"[^a]", "", 0, {}},
    {"[^a]", "aaa", 0, {}},
    {"x[^a]*", "x", 1, {{0, 1}}},
    // Bytes from 128 up compare as unsigned values.
    {"[\xe0-\xff]+", "ab\xe0\xf5\xffz", 1, {{2, 5}}},
    {"[\xe0-\xff]", "abc\x7f\xdf", 0, {}},
    {"[~-\x81]+", "a~\x80\x81\x82", 1, {{1, 4}}},
    {"[^\x80-\xff]+",
     "\xc3\xa9"
     "ab\xc3",
     1,
     {{2, 4}}},
    // Patterns whose hints (must-contain text, first byte) do the skipping.
    {"x*abc", "xxabd abc", 1, {{6, 9}}},
    {"x*abc", "xxab", 0, {}},
    {"x*aab", "aaab", 1, {{1, 4}}},
    {"a?bc", "xbc", 1, {{1, 3}}},
    {"a?bc", "ab", 0, {}},
    {".*ab", "xxab", 1, {{0, 4}}},
    {"a*bc", "bcx", 1, {{0, 2}}},
    // Rule patterns of the kind the program itself uses.
    {"See server log file (.+) for details",
     "See server log file a for details for details",
     1,
     {{0, 45}, {20, 33}}},
    {"See server log file (.+) for details", "See server log file  for details", 0, {}},
    {"^([EIW][0-9]+):", "E123: x", 1, {{0, 5}, {0, 4}}},
    {"^([EIW][0-9]+):", "W7:", 1, {{0, 3}, {0, 2}}},
    {"^([EIW][0-9]+):", "X1:", 0, {}},
    {"^([EIW][0-9]+):", " E1:", 0, {}},
};

void expectRow(Regexp* regexp, const Row& row, MatchState& state) {
  EXPECT_EQ(matchPattern(regexp, row.subject, state), row.result);
  if (row.result != 1) return;
  std::vector<Span> actual = allSlots(state, row.subject);
  for (int group = 0; group < kGroupSlots; ++group) {
    Span expected = group < static_cast<int>(row.groups.size()) ? row.groups[group] : kNull;
    EXPECT_EQ(actual[group], expected) << "group " << group;
  }
}

TEST_F(MatcherTest, TableOfPatternsAndSubjects) {
  for (const Row& row : kRows) {
    SCOPED_TRACE("pattern /" + readable(row.pattern) + "/ subject \"" + readable(row.subject) +
                 "\"");
    RegexpPtr regexp = compileOk(row.pattern);
    if (!regexp) continue;
    expectRow(regexp.get(), row, state);
    // The hints only skip hopeless starts: a plain scan must agree.
    {
      SCOPED_TRACE("with hints cleared");
      regexp->firstChar = 0;
      regexp->anchored = 0;
      regexp->mustText = nullptr;
      regexp->mustLength = 0;
      expectRow(regexp.get(), row, state);
    }
    EXPECT_TRUE(reported.empty()) << "unexpected error report: " << reported.front();
    reported.clear();
  }
}

// Sets match limits for one test and puts the previous ones back.
class LimitsForTest {
 public:
  LimitsForTest(MatchState& state, const MatchLimits& limits)
      : state_(state), previous_(state.setLimits(limits)) {}
  ~LimitsForTest() { state_.setLimits(previous_); }

 private:
  MatchState& state_;
  MatchLimits previous_;
};

// A compiled program is only read by a match, whatever the outcome: that is
// what lets threads share it.
TEST_F(MatcherTest, MatchingNeverWritesTheProgram) {
  MatchLimits memoAtOnce = defaultMatchLimits();
  memoAtOnce.plainSteps = 0;
  for (const Row& row : kRows) {
    SCOPED_TRACE("pattern /" + readable(row.pattern) + "/ subject \"" + readable(row.subject) +
                 "\"");
    RegexpPtr regexp = compileOk(row.pattern);
    if (!regexp) continue;
    const std::string before(reinterpret_cast<const char*>(regexp.get()),
                             sizeof(Regexp) + static_cast<size_t>(regexp->programSize));
    for (bool memo : {false, true}) {
      LimitsForTest limits(state, memo ? memoAtOnce : defaultMatchLimits());
      EXPECT_EQ(matchPattern(regexp.get(), row.subject, state), row.result);
      matchSubject(regexp.get(), row.subject, std::strlen(row.subject), state);
    }
    EXPECT_TRUE(std::string(reinterpret_cast<const char*>(regexp.get()), before.size()) == before);
  }
}

TEST_F(MatcherTest, NineGroupsEachGetTheirByte) {
  RegexpPtr regexp = compileOk("(a)(b)(c)(d)(e)(f)(g)(h)(i)");
  const char* subject = "xabcdefghi";
  ASSERT_EQ(matchPattern(regexp.get(), subject, state), 1);
  EXPECT_EQ(slotSpan(state, 0, subject), (Span{1, 10}));
  for (int group = 1; group <= 9; ++group) {
    EXPECT_EQ(slotSpan(state, group, subject), (Span{group, group + 1})) << "group " << group;
  }
}

TEST_F(MatcherTest, EveryCallStartsFromClearSlots) {
  RegexpPtr regexp = compileOk("(a)|b");
  const char* first = "a";
  ASSERT_EQ(matchPattern(regexp.get(), first, state), 1);
  EXPECT_EQ(slotSpan(state, 1, first), (Span{0, 1}));
  const char* second = "b";
  ASSERT_EQ(matchPattern(regexp.get(), second, state), 1);
  EXPECT_EQ(slotSpan(state, 1, second), kNull);
}

TEST_F(MatcherTest, OpeningLiteralOnlyWhereItIsTheFirstCheck) {
  const struct {
    const char* pattern;
    const char* literal;
    bool literalOnly;
  } rows[] = {
      {"^I00060040:", "I00060040:", true},
      {"^E[0-9]+:", "E", false},
      {"^abc$", "abc", false},
      {"^(ab)c", "", false},
      {"^a*b", "", false},
      {"^ab|x", "", false},
      {"ab", "", false},
      {"^", "", false},
  };
  for (const auto& row : rows) {
    RegexpPtr regexp = compileOk(row.pattern);
    EXPECT_EQ(openingLiteral(regexp.get()), row.literal) << row.pattern;
    EXPECT_EQ(isOpeningLiteralOnly(regexp.get()), row.literalOnly) << row.pattern;
  }
}

TEST_F(MatcherTest, HintRejectionLeavesEarlierSlots) {
  RegexpPtr regexp = compileOk("(a|b)*c");
  const char* first = "c";
  ASSERT_EQ(matchPattern(regexp.get(), first, state), 1);
  // No c in the subject, so no position is tried and nothing is cleared.
  EXPECT_EQ(matchPattern(regexp.get(), "xyz", state), 0);
  EXPECT_EQ(state.groupStart[0], first);
  EXPECT_EQ(state.groupEnd[0], first + 1);
  for (int group = 1; group < kGroupSlots; ++group) {
    EXPECT_EQ(slotSpan(state, group, first), kNull) << "group " << group;
  }
}

TEST_F(MatcherTest, FailedTriesLeaveAllSlotsNull) {
  struct Case {
    const char* pattern;
    const char* matching;
    const char* failing;
  };
  const Case cases[] = {
      {"(a)b", "ab", "xa"},     // no hints: every position tried
      {"a(b)", "ab", "xac"},    // tried at each a
      {"^(a)", "a", "ba"},      // one anchored try
      {"x*(a)b", "ab", "bba"},  // must-contain b is present, so positions are tried
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    RegexpPtr regexp = compileOk(c.pattern);
    ASSERT_EQ(matchPattern(regexp.get(), c.matching, state), 1);
    ASSERT_EQ(matchPattern(regexp.get(), c.failing, state), 0);
    for (int group = 0; group < kGroupSlots; ++group) {
      EXPECT_EQ(state.groupStart[group], nullptr) << "group " << group;
      EXPECT_EQ(state.groupEnd[group], nullptr) << "group " << group;
    }
  }
}

TEST_F(MatcherTest, NullArgumentsAreReported) {
  const char* subject = "ab";
  EXPECT_EQ(matchPattern(nullptr, subject, state), 0);
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0], "NULL parameter");

  RegexpPtr regexp = compileOk("(a)b");
  ASSERT_EQ(matchPattern(regexp.get(), subject, state), 1);
  reported.clear();
  EXPECT_EQ(matchPattern(regexp.get(), nullptr, state), 0);
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0], "NULL parameter");
  // The refused call did not touch the slots of the earlier match.
  EXPECT_EQ(slotSpan(state, 0, subject), (Span{0, 2}));
  EXPECT_EQ(slotSpan(state, 1, subject), (Span{0, 1}));
}

TEST_F(MatcherTest, ErrorsAreSilentWithoutHook) {
  errorHook = nullptr;
  EXPECT_EQ(matchPattern(nullptr, "a", state), 0);
  EXPECT_TRUE(reported.empty());
}

TEST_F(MatcherTest, WrongMagicByteIsRefused) {
  RegexpPtr regexp = compileOk("(a)b");
  const char* subject = "ab";
  ASSERT_EQ(matchPattern(regexp.get(), subject, state), 1);
  regexp->programBytes()[0] = kProgramMagic + 1;
  EXPECT_EQ(matchPattern(regexp.get(), subject, state), 0);
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0], "corrupted program");
  EXPECT_EQ(slotSpan(state, 0, subject), (Span{0, 2}));
  EXPECT_EQ(slotSpan(state, 1, subject), (Span{0, 1}));
}

// A hand-made Regexp with no hints, so every position of the subject is tried.
RegexpPtr buildProgram(const std::vector<unsigned char>& bytes) {
  RegexpPtr regexp(static_cast<Regexp*>(std::malloc(sizeof(Regexp) + bytes.size())));
  std::memset(regexp.get(), 0, sizeof(Regexp));
  regexp->programSize = static_cast<int32_t>(bytes.size());
  std::memcpy(regexp->programBytes(), bytes.data(), bytes.size());
  return regexp;
}

TEST_F(MatcherTest, DamagedProgramsFailTheirPath) {
  struct Case {
    const char* what;
    std::vector<unsigned char> program;
    const char* message;
  };
  // Each is ALTERNATIVE at 1 leading to MATCH_END, its body the damaged part.
  const Case cases[] = {
      {"opcode 12", {156, 6, 0, 6, 12, 0, 3, 0, 0, 0}, "memory corruption"},
      {"opcode 15", {156, 6, 0, 6, 15, 0, 3, 0, 0, 0}, "memory corruption"},
      {"group open 0", {156, 6, 0, 6, 20, 0, 3, 0, 0, 0}, "memory corruption"},
      {"group close 0", {156, 6, 0, 6, 30, 0, 3, 0, 0, 0}, "memory corruption"},
      {"opcode 40", {156, 6, 0, 6, 40, 0, 3, 0, 0, 0}, "memory corruption"},
      {"opcode 255", {156, 6, 0, 6, 255, 0, 3, 0, 0, 0}, "memory corruption"},
      {"EMPTY without next", {156, 6, 0, 6, EMPTY, 0, 0, 0, 0, 0}, "corrupted pointers"},
      {"group open without next",
       {156, 6, 0, 6, kGroupOpen + 1, 0, 0, 0, 0, 0},
       "corrupted pointers"},
      {"plus over EMPTY",
       {156, 6, 0, 9, REPEAT_PLUS, 0, 6, EMPTY, 0, 0, 0, 0, 0},
       "internal foulup"},
      {"star over LINE_START, then z",
       {156, 6, 0, 14, REPEAT_STAR, 0, 6, LINE_START, 0, 0, LITERAL, 0, 5, 'z', 0, 0, 0, 0},
       "internal foulup"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    reported.clear();
    RegexpPtr regexp = buildProgram(c.program);
    const char* subject = "ab";
    for (int group = 0; group < kGroupSlots; ++group) {
      state.groupStart[group] = subject;
      state.groupEnd[group] = subject + 1;
    }
    EXPECT_EQ(matchPattern(regexp.get(), subject, state), 0);
    ASSERT_FALSE(reported.empty());
    for (const std::string& message : reported) EXPECT_EQ(message, c.message);
    for (int group = 0; group < kGroupSlots; ++group) {
      EXPECT_EQ(slotSpan(state, group, subject), kNull) << "group " << group;
    }
  }
}

TEST_F(MatcherTest, StarOverNonSingleCharCountsZero) {
  // REPEAT_STAR over EMPTY, then MATCH_END: the bad operand is reported and
  // counts as no bytes, which a star accepts.
  RegexpPtr regexp = buildProgram({156, 6, 0, 9, REPEAT_STAR, 0, 6, EMPTY, 0, 0, 0, 0, 0});
  const char* subject = "ab";
  EXPECT_EQ(matchPattern(regexp.get(), subject, state), 1);
  EXPECT_EQ(slotSpan(state, 0, subject), (Span{0, 0}));
  ASSERT_FALSE(reported.empty());
  EXPECT_EQ(reported[0], "internal foulup");
}

// Long subjects drive loops through hundreds of thousands of passes; the
// matcher must not turn that into native stack depth.
TEST_F(MatcherTest, LoopOverMillionByteLine) {
  std::string subject;
  for (int i = 0; i < 999999; ++i) subject += (i % 3 == 0) ? 'b' : 'a';
  subject += 'c';
  RegexpPtr regexp = compileOk("(a|b)*c");
  ASSERT_EQ(matchPattern(regexp.get(), subject.c_str(), state), 1);
  EXPECT_EQ(slotSpan(state, 0, subject.c_str()), (Span{0, 1000000}));
  EXPECT_EQ(slotSpan(state, 1, subject.c_str()), (Span{999998, 999999}));
}

TEST_F(MatcherTest, GroupPlusOverHalfMillionPasses) {
  std::string subject;
  for (int i = 0; i < 500000; ++i) subject += "ab";
  RegexpPtr regexp = compileOk("(ab)+$");
  ASSERT_EQ(matchPattern(regexp.get(), subject.c_str(), state), 1);
  EXPECT_EQ(slotSpan(state, 0, subject.c_str()), (Span{0, 1000000}));
  EXPECT_EQ(slotSpan(state, 1, subject.c_str()), (Span{999998, 1000000}));
}

// The loop runs to the end of the line, then every pass is given back one
// by one: the whole choice stack unwinds and the trail restores the slots.
TEST_F(MatcherTest, DeepBacktrackingOverMillionPasses) {
  std::string subject = "x";
  for (int i = 0; i < 500000; ++i) subject += "ab";
  subject += 'z';
  RegexpPtr giveBack = compileOk("x(a|b)*ab");
  ASSERT_EQ(matchPattern(giveBack.get(), subject.c_str(), state), 1);
  EXPECT_EQ(slotSpan(state, 0, subject.c_str()), (Span{0, 1000001}));
  EXPECT_EQ(slotSpan(state, 1, subject.c_str()), (Span{999998, 999999}));

  RegexpPtr never = compileOk("x(a|b)*y");
  EXPECT_EQ(matchPattern(never.get(), subject.c_str(), state), 0);
  for (int group = 0; group < kGroupSlots; ++group) {
    EXPECT_EQ(slotSpan(state, group, subject.c_str()), kNull) << "group " << group;
  }
}

TEST_F(MatcherTest, DotStarOverTenMegabytes) {
  const long filler = 10000000;
  std::string subject = "x";
  subject.reserve(filler + 3);
  for (long i = 0; i < filler; ++i) subject += (i % 4096 == 0) ? 'y' : (i % 61 == 0 ? '\n' : 'q');
  subject += "yz";
  RegexpPtr regexp = compileOk("x(.*)y");
  ASSERT_EQ(matchPattern(regexp.get(), subject.c_str(), state), 1);
  EXPECT_EQ(slotSpan(state, 0, subject.c_str()), (Span{0, filler + 2}));
  EXPECT_EQ(slotSpan(state, 1, subject.c_str()), (Span{1, filler + 1}));
}

// An anchored pattern that opens with a literal turns a line down before
// its try when the line does not begin so, and leaves the slots as the
// failed try would: null. The must-contain text still leaves them as they
// were, with or without the length.
TEST_F(MatcherTest, HintRejectionsLeaveTheSlotsAsBefore) {
  struct Case {
    const char* pattern;
    const char* matching;
    const char* refused;
    bool slotsKept;
  };
  const Case cases[] = {
      {"^ab(c)", "abc", "xbc", false}, {"^ab(c)", "abc", "abd", false},
      {"^ab(c)", "abc", "a", false},   {"^I0006(.*)", "I00060040: x", "I00020110: x", false},
      {"x*a(b)c", "abc", "xyz", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " on " + c.refused);
    RegexpPtr regexp = compileOk(c.pattern);
    for (bool withLength : {false, true}) {
      ASSERT_EQ(matchPattern(regexp.get(), c.matching, state), 1);
      MatchOutcome outcome =
          withLength ? matchSubject(regexp.get(), c.refused, std::strlen(c.refused), state)
                     : matchSubject(regexp.get(), c.refused, state);
      EXPECT_EQ(outcome, MatchOutcome::kNotMatched);
      for (int group = 0; group < kGroupSlots; ++group) {
        bool kept = c.slotsKept && group <= 1;
        EXPECT_EQ(state.groupStart[group] != nullptr, kept) << "group " << group;
        EXPECT_EQ(state.groupEnd[group] != nullptr, kept) << "group " << group;
      }
    }
  }
}

std::string words(int count, const char* end) {
  std::string line = "I00020110: ";
  for (int i = 0; i < count; ++i) line += "abcd ";
  return line + end;
}

struct LongRow {
  const char* pattern;
  std::string subject;
  int result;
  std::vector<Span> groups;
};

// Patterns whose plain backtracking walk would not end in a lifetime on
// these lines: the memo finds the same answer and spans in linear time.
TEST_F(MatcherTest, PathologicalPatternsOnLongLines) {
  const std::ptrdiff_t n = 20000;
  const std::string as(n, 'a');
  const std::string xs(n, 'x');
  const std::string success = words(4000, "abcd");
  const std::ptrdiff_t last = static_cast<std::ptrdiff_t>(success.size());
  std::string abs;
  for (int i = 0; i < n / 2; ++i) abs += "ab";
  const LongRow rows[] = {
      {"^I00020110: ([a-zA-Z0-9_.]+ ?)*$", words(4000, "!"), 0, {}},
      {"^I00020110: ([a-zA-Z0-9_.]+ ?)*$", words(4000, "abcd !"), 0, {}},
      {"^I00020110: ([a-zA-Z0-9_.]+ ?)*$", success, 1, {{0, last}, {last - 4, last}}},
      {"(x+x+)+y", xs, 0, {}},
      {"(x+x+)+y", xs + "y", 1, {{0, n + 1}, {0, n}}},
      {"((x+)+)+y", xs, 0, {}},
      {"(a+)+b", as, 0, {}},
      {"(a+)+b", as + "b", 1, {{0, n + 1}, {0, n}}},
      {"(a*a)*b", as, 0, {}},
      {"(a*a)*b", as + "b", 1, {{0, n + 1}, {0, n}}},
      {"(.*a)+b", as, 0, {}},
      {"(.*a)+b", as + "b", 1, {{0, n + 1}, {0, n}}},
      {"(a|aa)*c", as + "bc", 1, {{n + 1, n + 2}, kNull}},
      {"((a|b)+)+c", abs, 0, {}},
      {"((a|b)+)+c", abs + "c", 1, {{0, n + 1}, {0, n}, {n - 1, n}}},
      {"[a-z]*a*[0-9]", as + "!", 0, {}},
      {"[a-z]*a*[0-9]", as + "7", 1, {{0, n + 1}}},
      {"x(a|b)*(a|b)*y", "x" + as + "b", 0, {}},
  };
  for (const LongRow& row : rows) {
    SCOPED_TRACE(std::string("pattern /") + row.pattern + "/ subject of " +
                 std::to_string(row.subject.size()) + " bytes");
    RegexpPtr regexp = compileOk(row.pattern);
    if (!regexp) continue;
    const char* subject = row.subject.c_str();
    EXPECT_EQ(matchSubject(regexp.get(), subject, state),
              row.result == 1 ? MatchOutcome::kMatched : MatchOutcome::kNotMatched);
    std::vector<Span> actual = allSlots(state, subject);
    for (int group = 0; row.result == 1 && group < kGroupSlots; ++group) {
      Span expected = group < static_cast<int>(row.groups.size()) ? row.groups[group] : kNull;
      EXPECT_EQ(actual[group], expected) << "group " << group;
    }
  }
  EXPECT_TRUE(reported.empty());
}

TEST_F(MatcherTest, RepeatOfWhatMayBeEmptyIsRefused) {
  for (const char* pattern : {"(a*)*b", "(a?)+b", "(a|)*b", "((a*)?)*b"}) {
    EXPECT_EQ(compilePattern(pattern), nullptr) << pattern;
  }
  ASSERT_EQ(reported.size(), 4u);
  for (const std::string& message : reported) EXPECT_EQ(message, "*+ operand could be empty");
}

// Without the memo (as for lines too long for it) a walk that needs more
// steps than the budget ends as out of time, not as a silent no-match.
TEST_F(MatcherTest, BudgetRunsOutWithoutTheMemo) {
  MatchLimits limits = defaultMatchLimits();
  limits.memoBits = 0;
  limits.budgetSteps = 100000;
  LimitsForTest small(state, limits);
  struct Case {
    const char* pattern;
    std::string subject;
    MatchOutcome outcome;
  };
  const Case cases[] = {
      {"(x+x+)+y", std::string(40, 'x'), MatchOutcome::kOutOfTime},
      {"^I00020110: ([a-zA-Z0-9_.]+ ?)*$", words(12, "!"), MatchOutcome::kOutOfTime},
      {"(a|aa)*c", std::string(60, 'a') + "bc", MatchOutcome::kOutOfTime},
      // 16 steps per byte come on top of the budget: linear walks end.
      {"(a|b)*c", std::string(200000, 'a') + "c", MatchOutcome::kMatched},
      {"x(.*)y", "x" + std::string(1000000, 'q'), MatchOutcome::kNotMatched},
      {"(x+x+)+y", std::string(12, 'x'), MatchOutcome::kNotMatched},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    RegexpPtr regexp = compileOk(c.pattern);
    const char* subject = c.subject.c_str();
    EXPECT_EQ(matchSubject(regexp.get(), subject, state), c.outcome);
    EXPECT_EQ(matchSubject(regexp.get(), subject, c.subject.size(), state), c.outcome);
    EXPECT_EQ(matchPattern(regexp.get(), subject, state),
              c.outcome == MatchOutcome::kMatched ? 1 : 0);
    if (c.outcome == MatchOutcome::kMatched) continue;
    for (int group = 0; group < kGroupSlots; ++group) {
      EXPECT_EQ(slotSpan(state, group, subject), kNull) << "group " << group;
    }
  }
}

TEST_F(MatcherTest, StackLimitEndsTheMatchAsOutOfMemory) {
  std::string subject;
  for (int i = 0; i < 1000000; ++i) subject += (i % 3 == 0) ? 'b' : 'a';
  subject += 'c';
  RegexpPtr regexp = compileOk("(a|b)*c");
  {
    MatchLimits limits = defaultMatchLimits();
    limits.stackBytes = 4 << 20;
    LimitsForTest small(state, limits);
    EXPECT_EQ(matchSubject(regexp.get(), subject.c_str(), state), MatchOutcome::kOutOfMemory);
    EXPECT_EQ(slotSpan(state, 0, subject.c_str()), kNull);
    EXPECT_EQ(slotSpan(state, 1, subject.c_str()), kNull);
    // A short line still fits.
    EXPECT_EQ(matchSubject(regexp.get(), "abac", state), MatchOutcome::kMatched);
  }
  ASSERT_EQ(matchSubject(regexp.get(), subject.c_str(), state), MatchOutcome::kMatched);
  EXPECT_EQ(slotSpan(state, 1, subject.c_str()), (Span{999999, 1000000}));
}

// The memo is one bit per node and subject position; a memo over the limit
// leaves the walk to the budget, which a linear walk does not exhaust.
TEST_F(MatcherTest, MemoLimitLeavesLongLinesToTheBudget) {
  std::string subject(300000, 'x');
  subject += 'y';
  RegexpPtr regexp = compileOk("(x+x+)+y");
  MatchLimits limits = defaultMatchLimits();
  limits.plainSteps = 0;
  for (uint64_t memoBits : {uint64_t{0}, uint64_t{1000}, uint64_t{1} << 28}) {
    SCOPED_TRACE(memoBits);
    limits.memoBits = memoBits;
    LimitsForTest memo(state, limits);
    ASSERT_EQ(matchSubject(regexp.get(), subject.c_str(), state), MatchOutcome::kMatched);
    EXPECT_EQ(slotSpan(state, 1, subject.c_str()), (Span{0, 300000}));
  }
}

// With the length given, a NUL before it still ends the subject.
TEST_F(MatcherTest, LengthTakingEntry) {
  struct Case {
    const char* pattern;
    std::string subject;
    MatchOutcome outcome;
    Span whole;
  };
  using namespace std::string_literals;
  const Case cases[] = {
      {"^E[0-9]+:", "E12: x", MatchOutcome::kMatched, {0, 4}},
      {"^E[0-9]+:", "W12: x", MatchOutcome::kNotMatched, kNull},
      {"x*abc", "xxabd abc", MatchOutcome::kMatched, {6, 9}},
      {"x*abc", "xxabd ab", MatchOutcome::kNotMatched, kNull},
      {"cd", "ab\0cd"s, MatchOutcome::kNotMatched, kNull},
      {"x*cd", "ab\0cd"s, MatchOutcome::kNotMatched, kNull},
      {"b$", "ab\0cd"s, MatchOutcome::kMatched, {1, 2}},
      {".*", "ab\0cd"s, MatchOutcome::kMatched, {0, 2}},
      {"", "", MatchOutcome::kMatched, {0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " on " + readable(c.subject.c_str()));
    RegexpPtr regexp = compileOk(c.pattern);
    const char* subject = c.subject.c_str();
    EXPECT_EQ(matchSubject(regexp.get(), subject, c.subject.size(), state), c.outcome);
    if (c.outcome == MatchOutcome::kMatched) {
      EXPECT_EQ(slotSpan(state, 0, subject), c.whole);
    }
    EXPECT_EQ(matchSubject(regexp.get(), subject, state), c.outcome);
  }
}

}  // namespace
