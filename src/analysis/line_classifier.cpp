#include "analysis/line_classifier.h"

#include <cstdio>

#include "analysis/copy_action.h"
#include "analysis/listing_files.h"
#include "rules/rule_set.h"

namespace {

template <typename Rules>
bool anyMatches(const Rules& rules, const char* line) {
  for (const auto& rule : rules) {
    if (rule->matches(line)) return true;
  }
  return false;
}

}  // namespace

void classifyLine(const char* line) {
  if (anyMatches(ruleSet.ignoreRules, line)) {
    ++runTotals.ignoreCount;
  } else if (anyMatches(ruleSet.successRules, line)) {
    ++runTotals.successCount;
  } else if (anyMatches(ruleSet.failureRules, line)) {
    std::printf(debugEnabled ? "failure: %s\n" : "%s\n", line);
    ++runTotals.failureCount;
  } else if (ruleSet.summaryRule && ruleSet.summaryRule->matches(line)) {
    ++runTotals.summaryCount;
  } else {
    std::printf(debugEnabled ? "unmatched: %s\n" : "%s\n", line);
    ++runTotals.unmatchedCount;
  }
  applyCopyRules(line);
  applyListRules(line);
}
