#include "analysis/line_classifier.h"

#include "analysis/copy_action.h"
#include "analysis/listing_files.h"
#include "record/run_record.h"
#include "rules/rule_set.h"

namespace {

/// The first rule of rules that matches the line, or null.
template <typename Rules>
const RegularExpression* firstMatch(const Rules& rules, const char* text) {
  for (const auto& rule : rules) {
    if (rule->matches(text)) return rule.get();
  }
  return nullptr;
}

}  // namespace

void classifyLine(const LogLine& line) {
  LineClass lineClass = LineClass::unmatched;
  const RegularExpression* rule = nullptr;
  if ((rule = firstMatch(ruleSet.ignoreRules, line.text)) != nullptr) {
    lineClass = LineClass::ignore;
  } else if ((rule = firstMatch(ruleSet.successRules, line.text)) != nullptr) {
    lineClass = LineClass::success;
  } else if ((rule = firstMatch(ruleSet.failureRules, line.text)) != nullptr) {
    lineClass = LineClass::failure;
  } else if (ruleSet.summaryRule && ruleSet.summaryRule->matches(line.text)) {
    rule = ruleSet.summaryRule.get();
    lineClass = LineClass::summary;
  }
  runRecord.lineClassified({lineClass, line.log, line.number, line.text, line.length,
                            rule != nullptr ? rule->pattern : nullptr});
  applyCopyRules(line.text);
  applyListRules(line.text);
}
