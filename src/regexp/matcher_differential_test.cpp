// Checks the matcher against a plain recursive walk of the same program, on
// many generated patterns and subjects. The recursive walk is the obvious
// reading of the matching rules: alternatives in order, repeats longest
// first, capture slots written as successful calls return ("unless already
// set"), every start position tried without hints. The real matcher must give
// the same answer and the same twenty slots, so its explicit stack, trail,
// hints and pruning all have to agree with it.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "regexp/compiler.h"
#include "regexp/matcher.h"
#include "regexp/regexp_test_support.h"

namespace {

class RecursiveMatcher {
 public:
  RecursiveMatcher(const Regexp& regexp, const char* subject)
      : program_(regexp.programBytes()), subject_(subject) {}

  int match() {
    const char* start = subject_;
    do {
      clear();
      position_ = start;
      if (walk(program_ + 1)) {
        groupStart[0] = start;
        groupEnd[0] = position_;
        return 1;
      }
    } while (*start++ != '\0');
    clear();
    return 0;
  }

  const char* groupStart[kGroupSlots];
  const char* groupEnd[kGroupSlots];

 private:
  void clear() {
    for (int n = 0; n < kGroupSlots; n++) groupStart[n] = groupEnd[n] = nullptr;
  }

  std::ptrdiff_t countRun(const unsigned char* node) {
    const char* text = reinterpret_cast<const char*>(nodeOperand(node));
    const char* p = position_;
    switch (nodeOpcode(node)) {
      case ANY_CHAR:
        while (*p) p++;
        break;
      case LITERAL:
        while (*p == text[0]) p++;
        break;
      case IN_SET:
        while (*p && std::strchr(text, *p)) p++;
        break;
      case NOT_IN_SET:
        while (*p && !std::strchr(text, *p)) p++;
        break;
    }
    std::ptrdiff_t count = p - position_;
    position_ = p;
    return count;
  }

  bool walk(const unsigned char* node) {
    while (node != nullptr) {
      const unsigned char* next = nextNode(node);
      const char* text = reinterpret_cast<const char*>(nodeOperand(node));
      unsigned char op = nodeOpcode(node);
      switch (op) {
        case MATCH_END:
          return true;
        case LINE_START:
          if (position_ != subject_) return false;
          break;
        case LINE_END:
          if (*position_ != '\0') return false;
          break;
        case ANY_CHAR:
          if (*position_ == '\0') return false;
          position_++;
          break;
        case LITERAL: {
          size_t length = std::strlen(text);
          if (std::strncmp(text, position_, length) != 0) return false;
          position_ += length;
          break;
        }
        case IN_SET:
        case NOT_IN_SET:
          if (*position_ == '\0') return false;
          if ((std::strchr(text, *position_) != nullptr) != (op == IN_SET)) return false;
          position_++;
          break;
        case EMPTY:
        case LOOP_BACK:
          break;
        case ALTERNATIVE:
          if (next == nullptr || nodeOpcode(next) != ALTERNATIVE) {
            next = nodeOperand(node);
            break;
          }
          for (const unsigned char* alt = node; alt != nullptr && nodeOpcode(alt) == ALTERNATIVE;
               alt = nextNode(alt)) {
            const char* saved = position_;
            if (walk(nodeOperand(alt))) return true;
            position_ = saved;
          }
          return false;
        case REPEAT_STAR:
        case REPEAT_PLUS: {
          std::ptrdiff_t minimum = op == REPEAT_PLUS ? 1 : 0;
          int lookahead = nodeOpcode(next) == LITERAL ? *nodeOperand(next) : -1;
          const char* start = position_;
          for (std::ptrdiff_t count = countRun(nodeOperand(node)); count >= minimum;) {
            if ((lookahead < 0 || static_cast<unsigned char>(*position_) == lookahead) &&
                walk(next))
              return true;
            count--;
            position_ = start + count;
          }
          return false;
        }
        default: {
          bool open = op < kGroupClose;
          int group = op - (open ? kGroupOpen : kGroupClose);
          const char** slot = open ? &groupStart[group] : &groupEnd[group];
          const char* saved = position_;
          if (!walk(next)) return false;
          if (*slot == nullptr) *slot = saved;
          return true;
        }
      }
      node = next;
    }
    return false;
  }

  const unsigned char* program_;
  const char* subject_;
  const char* position_ = nullptr;
};

// Small random patterns over a three-letter alphabet, so that subjects of a
// dozen bytes exercise every kind of backtracking.
class PatternGenerator {
 public:
  explicit PatternGenerator(unsigned seed) : rng_(seed) {}

  std::string pattern() { return alternation(0); }

  /// Any bytes at all, weighted towards the special ones, so that the
  /// compiler meets malformed patterns of every kind.
  std::string noise() {
    static const char kBytes[] = "()|*+?[]^$.\\-ab\xe0";
    std::string s;
    int length = pick(17);
    for (int i = 0; i < length; i++) s += kBytes[pick(sizeof kBytes - 1)];
    return s;
  }

  std::string subject() {
    std::string s;
    int length = pick(13);
    for (int i = 0; i < length; i++) s += "abc"[pick(3)];
    return s;
  }

 private:
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  std::string alternation(int depth) {
    std::string s = branch(depth);
    while (pick(4) == 0) s += "|" + branch(depth);
    return s;
  }

  std::string branch(int depth) {
    std::string s;
    int pieces = pick(4);
    for (int i = 0; i < pieces; i++) s += piece(depth);
    return s;
  }

  std::string piece(int depth) {
    static const char* const kOperators[] = {"", "", "", "*", "+", "?"};
    return atom(depth) + kOperators[pick(6)];
  }

  std::string atom(int depth) {
    static const char* const kAtoms[] = {"a", "b", "ab",  ".",     "[ab]", "[^a]",
                                         "^", "$", "\\c", "[a-b]", "ba"};
    if (depth < 3 && pick(4) == 0) return "(" + alternation(depth + 1) + ")";
    return kAtoms[pick(11)];
  }

  std::mt19937 rng_;
};

// Matches subject with both matchers; false when they disagree, after
// recording the difference.
bool matchesLikeReference(Regexp* regexp, const std::string& pattern, const std::string& subject,
                          int* matched, MatchState& state) {
  const char* text = subject.c_str();
  RecursiveMatcher reference(*regexp, text);
  int expected = reference.match();
  int actual = matchPattern(regexp, text, state);
  std::string where = "pattern " + pattern + " subject " + subject;
  EXPECT_EQ(actual, expected) << where;
  if (actual != expected) return false;
  *matched += actual;
  for (int n = 0; actual == 1 && n < kGroupSlots; n++) {
    EXPECT_EQ(state.groupStart[n], reference.groupStart[n]) << "group " << n << ", " << where;
    EXPECT_EQ(state.groupEnd[n], reference.groupEnd[n]) << "group " << n << ", " << where;
    if (state.groupStart[n] != reference.groupStart[n]) return false;
    if (state.groupEnd[n] != reference.groupEnd[n]) return false;
  }
  return true;
}

TEST(MatcherDifferentialTest, AgreesWithRecursiveWalk) {
  MatchState state;
  PatternGenerator generator(20261207);
  int matched = 0;
  for (int p = 0; p < 4000; p++) {
    std::string pattern = generator.pattern();
    RegexpPtr regexp(compilePattern(pattern.c_str()));
    if (regexp == nullptr) continue;  // repeats of what may be empty, too many groups
    for (int s = 0; s < 12; s++) {
      ASSERT_TRUE(
          matchesLikeReference(regexp.get(), pattern, generator.subject(), &matched, state));
    }
  }
  // The generator must keep producing matches worth comparing.
  EXPECT_GT(matched, 10000);
}

// Malformed input must be turned down cleanly, and whatever compiles must
// still match like the reference (the sanitizer build watches for overruns).
TEST(MatcherDifferentialTest, ArbitraryPatternBytes) {
  MatchState state;
  PatternGenerator generator(7);
  int compiled = 0;
  int matched = 0;
  for (int p = 0; p < 20000; p++) {
    std::string pattern = generator.noise();
    RegexpPtr regexp(compilePattern(pattern.c_str()));
    if (regexp == nullptr) continue;
    compiled++;
    for (int s = 0; s < 4; s++) {
      ASSERT_TRUE(
          matchesLikeReference(regexp.get(), pattern, generator.subject(), &matched, state));
    }
  }
  EXPECT_GT(compiled, 1000);
  EXPECT_GT(matched, 1000);
}

// The same comparisons with the matcher's memo of failed (node, position)
// pairs: switched on before the first step, or a few steps into a try, so
// that the restart is exercised too.
class MemoLimits {
 public:
  MemoLimits(MatchState& state, uint64_t plainSteps) : state_(state) {
    MatchLimits limits = defaultMatchLimits();
    limits.plainSteps = plainSteps;
    previous_ = state.setLimits(limits);
  }
  ~MemoLimits() { state_.setLimits(previous_); }

 private:
  MatchState& state_;
  MatchLimits previous_;
};

TEST(MatcherDifferentialTest, AgreesWithRecursiveWalkThroughTheMemo) {
  MatchState state;
  for (uint64_t plainSteps : {uint64_t{0}, uint64_t{3}, uint64_t{9}}) {
    SCOPED_TRACE("memo after " + std::to_string(plainSteps) + " steps");
    MemoLimits memo(state, plainSteps);
    PatternGenerator generator(20261207);
    int matched = 0;
    for (int p = 0; p < 4000; p++) {
      std::string pattern = generator.pattern();
      RegexpPtr regexp(compilePattern(pattern.c_str()));
      if (regexp == nullptr) continue;
      for (int s = 0; s < 12; s++) {
        ASSERT_TRUE(
            matchesLikeReference(regexp.get(), pattern, generator.subject(), &matched, state));
      }
    }
    EXPECT_GT(matched, 10000);
  }
}

// Patterns whose plain walk grows exponentially or polynomially, at lengths
// the recursive walk still finishes, with and without the memo.
TEST(MatcherDifferentialTest, PathologicalPatternsAgreeWithRecursiveWalk) {
  MatchState state;
  struct Row {
    const char* pattern;
    std::string subject;
  };
  auto run = [](char byte, size_t length) { return std::string(length, byte); };
  std::string words = "I00020110: ab1 c.d e_f ";
  const Row rows[] = {
      {"^I00020110: ([a-zA-Z0-9_.]+ ?)*$", words + "!"},
      {"^I00020110: ([a-zA-Z0-9_.]+ ?)*$", words + "ghi"},
      {"^I00020110: ([a-zA-Z0-9_.]+ ?)*$", words},
      {"(x+x+)+y", run('x', 14)},
      {"(x+x+)+y", run('x', 14) + "y"},
      {"(x+x+)+y", "xy" + run('x', 13) + "y"},
      {"(a+)+b", run('a', 14)},
      {"(a+)+b", run('a', 14) + "b"},
      {"(a*a)*b", run('a', 14)},
      {"(a*a)*b", run('a', 14) + "b"},
      {"(a|aa)*c", run('a', 16) + "bc"},
      {"(a|aa)*c", run('a', 17) + "c"},
      {"((a|b)+)+c", "ab" + run('a', 10) + "bab"},
      {"((a|b)+)+c", "ab" + run('a', 10) + "bc"},
      {"(a|ab|b)+d", "abab" + run('b', 9) + "a"},
      {"[a-z]*a*[0-9]", run('a', 40) + "!"},
      {"[a-z]*a*[0-9]", run('a', 40) + "7"},
      {"(.*a)+b", run('a', 12)},
      {"(.*a)+b", run('a', 12) + "b"},
      {"(([ab])*b)+c", "ab" + run('b', 12) + "a"},
      {"x(a|b)*(a|b)*y", "x" + run('a', 12) + "b"},
  };
  for (uint64_t plainSteps : {UINT64_MAX, uint64_t{0}, uint64_t{50}}) {
    MemoLimits memo(state, plainSteps);
    int matched = 0;
    for (const Row& row : rows) {
      SCOPED_TRACE("memo after " + std::to_string(plainSteps) + " steps");
      RegexpPtr regexp(compilePattern(row.pattern));
      ASSERT_NE(regexp, nullptr) << row.pattern;
      ASSERT_TRUE(matchesLikeReference(regexp.get(), row.pattern, row.subject, &matched, state));
    }
    EXPECT_EQ(matched, 11);
  }
}

}  // namespace
