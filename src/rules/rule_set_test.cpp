#include "rules/rule_set.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "regexp/compiler.h"
#include "regexp/matcher.h"

namespace {

TEST(RegularExpressionTest, MatchesWithOrWithoutTheLength) {
  struct Row {
    const char* pattern;
    const char* line;
    bool matched;
    const char* captured;
  };
  const Row rows[] = {
      {"^([EIW][0-9]+):", "E12: x", true, "E12"},
      {"^([EIW][0-9]+):", "X12: x", false, ""},
      {"^I00060040:", "I00060040: Compiling a.cpp", true, ""},
      {"^I00060040:", "I00060041: Compiling a.cpp", false, ""},
      {"file (.+) for", "a file x.dll for b", true, "x.dll"},
      {".*render_(.*)'", "E1: symbol 'render_frame'", true, "frame"},
      {".*render_(.*)'", "E1: symbol 'draw_frame'", false, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.pattern) + " on " + row.line);
    RegularExpression rule(row.pattern);
    rule.compile();
    MatchState state;
    EXPECT_EQ(rule.matches(row.line, state), row.matched);
    EXPECT_EQ(state.lastOutcome(),
              row.matched ? MatchOutcome::kMatched : MatchOutcome::kNotMatched);
    if (row.matched) {
      EXPECT_EQ(capturedName(state), row.captured);
    }
    EXPECT_EQ(rule.matches(row.line, std::strlen(row.line), state), row.matched);
    EXPECT_EQ(state.lastOutcome(),
              row.matched ? MatchOutcome::kMatched : MatchOutcome::kNotMatched);
    if (row.matched) {
      EXPECT_EQ(capturedName(state), row.captured);
    }
  }
}

TEST(RegularExpressionTest, RuleWithoutPatternNeverMatches) {
  RegularExpression rule(nullptr);
  rule.compile();
  MatchState state;
  EXPECT_FALSE(rule.matches("anything", state));
  EXPECT_FALSE(rule.matches("anything", 8, state));
  EXPECT_EQ(state.lastOutcome(), MatchOutcome::kNotMatched);
}

// A match that cannot finish is told apart from a line that does not match.
TEST(RegularExpressionTest, OutcomeOfAMatchThatCannotFinish) {
  const std::string xs(40, 'x');
  const std::string loop = std::string(300000, 'a') + "c";
  struct Row {
    const char* pattern;
    const std::string& line;
    MatchLimits limits;
    MatchOutcome outcome;
  };
  MatchLimits noMemo = defaultMatchLimits();
  noMemo.memoBits = 0;
  noMemo.budgetSteps = 10000;
  MatchLimits smallStacks = defaultMatchLimits();
  smallStacks.stackBytes = 4 << 20;
  const Row rows[] = {
      {"(x+x+)+y", xs, noMemo, MatchOutcome::kOutOfTime},
      {"(x+x+)+y", xs, defaultMatchLimits(), MatchOutcome::kNotMatched},
      {"(a|b)*c", loop, smallStacks, MatchOutcome::kOutOfMemory},
      {"(a|b)*c", loop, defaultMatchLimits(), MatchOutcome::kMatched},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.pattern);
    MatchState state;
    state.setLimits(row.limits);
    RegularExpression rule(row.pattern);
    rule.compile();
    EXPECT_EQ(rule.matches(row.line.c_str(), state), row.outcome == MatchOutcome::kMatched);
    EXPECT_EQ(state.lastOutcome(), row.outcome);
    EXPECT_EQ(rule.matches(row.line.c_str(), row.line.size(), state),
              row.outcome == MatchOutcome::kMatched);
    EXPECT_EQ(state.lastOutcome(), row.outcome);
    // The next match starts afresh.
    EXPECT_FALSE(rule.matches("z", state));
    EXPECT_EQ(state.lastOutcome(), MatchOutcome::kNotMatched);
  }
}

}  // namespace

// A rule that refuses a line by its opening literal leaves the same answer
// and the same twenty slots as the matcher, whatever line came before.
TEST(RegularExpressionTest, RefusalByOpeningLiteralIsTheMatchersAnswer) {
  const char* patterns[] = {"^I00060040:", "^E[0-9]+:", "^(ab)c", "^a*(b)",
                            "^ab|x",       "(a)b",      "^abc",   "^abc$"};
  const std::string lines[] = {
      "I00060040: Compiling a.cpp", "E12: x", "abc", "ab",  "",    "I0006004",   "bb",   "abc",
      std::string("ab\0c", 4),      "x",      "abd", "E1:", "xab", "I00060040:", "abcd",
  };
  for (const char* pattern : patterns) {
    SCOPED_TRACE(pattern);
    RegularExpression rule(pattern);
    rule.compile();
    Regexp* reference = compilePattern(pattern);
    ASSERT_NE(reference, nullptr);
    MatchState referenceState;
    MatchState state;
    for (const std::string& line : lines) {
      SCOPED_TRACE(line);
      bool expected = matchSubject(reference, line.c_str(), line.size(), referenceState) ==
                      MatchOutcome::kMatched;
      EXPECT_EQ(rule.matches(line.c_str(), line.size(), state), expected);
      EXPECT_EQ(state.lastOutcome(), referenceState.lastOutcome());
      for (int slot = 0; slot < kGroupSlots; ++slot) {
        const char* start = referenceState.groupStart[slot];
        const char* end = referenceState.groupEnd[slot];
        EXPECT_EQ(state.groupStart[slot], start) << "slot " << slot;
        EXPECT_EQ(state.groupEnd[slot], end) << "slot " << slot;
      }
    }
    std::free(reference);
  }
}

// A list left out for a first byte must hold no rule that matches a line
// beginning with it; the index is of use only if it leaves lists out.
TEST(RuleSetTest, FirstByteIndexLeavesOutOnlyListsThatCannotMatch) {
  ruleSet = RuleSet();
  ruleSet.ignoreRules.push_back(std::make_unique<RegularExpression>("^I00060040:"));
  ruleSet.successRules.push_back(std::make_unique<RegularExpression>("^I00020110:"));
  ruleSet.successRules.push_back(std::make_unique<RegularExpression>("^Build succeeded"));
  ruleSet.failureRules.push_back(std::make_unique<RegularExpression>("^E[0-9]+:"));
  ruleSet.failureRules.push_back(std::make_unique<RegularExpression>("error:"));
  ruleSet.summaryRule = std::make_unique<RegularExpression>("^(I00060080):");
  compileAllRules(false);

  const struct {
    unsigned char first;
    uint8_t lists;
  } rows[] = {
      {'I', kIgnoreList | kSuccessList | kFailureList | kSummaryList},
      {'B', kSuccessList | kFailureList | kSummaryList},
      {'E', kFailureList | kSummaryList},
      {'W', kFailureList | kSummaryList},
      {'\0', kFailureList | kSummaryList},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(ruleSet.listsByFirstByte[row.first], row.lists) << row.first;
  }

  const char* lines[] = {"I00060040: x",
                         "I00020110: y",
                         "Build succeeded",
                         "E1: z",
                         "a.c:1: error: w",
                         "I00060080: 3",
                         "",
                         "W1: v"};
  const std::pair<RuleList, const std::vector<std::unique_ptr<RegularExpression>>*> lists[] = {
      {kIgnoreList, &ruleSet.ignoreRules},
      {kSuccessList, &ruleSet.successRules},
      {kFailureList, &ruleSet.failureRules}};
  MatchState state;
  for (const char* line : lines) {
    uint8_t indexed = ruleSet.listsByFirstByte[static_cast<unsigned char>(line[0])];
    for (const auto& [bit, rules] : lists) {
      for (const auto& rule : *rules) {
        if (rule->matches(line, std::strlen(line), state)) {
          EXPECT_TRUE(indexed & bit) << line;
        }
      }
    }
    if (ruleSet.summaryRule->matches(line, state)) {
      EXPECT_TRUE(indexed & kSummaryList) << line;
    }
  }
  ruleSet = RuleSet();
  EXPECT_EQ(ruleSet.listsByFirstByte, everyListForEveryByte());
}
