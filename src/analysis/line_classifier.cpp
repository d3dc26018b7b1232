#include "analysis/line_classifier.h"

#include "analysis/copy_action.h"
#include "analysis/listing_files.h"
#include "record/run_record.h"
#include "rules/rule_set.h"

namespace {

/// The first rule of rules that matches the line, or null.
template <typename Rules>
const RegularExpression* firstMatch(const Rules& rules, const LogLine& line, MatchState& state) {
  for (const auto& rule : rules) {
    if (lineMatches(*rule, line, state)) return rule.get();
  }
  return nullptr;
}

}  // namespace

void classifyLine(const LogLine& line, MatchState& state) {
  // Both of the tool's streams may be classified at once: the line, its
  // counters, its listing entries and its copy go together. The matching
  // itself needs no lock: the rules are only read, the state is ours.
  std::unique_lock<std::recursive_mutex> guard = runRecord.hold();
  // Lists whose rules all want another first byte are not tried: most
  // lines of a log need one lookup instead of a test per rule.
  uint8_t lists = ruleSet.listsByFirstByte[static_cast<unsigned char>(line.text[0])];
  LineClass lineClass = LineClass::unmatched;
  const RegularExpression* rule = nullptr;
  if ((lists & kIgnoreList) && (rule = firstMatch(ruleSet.ignoreRules, line, state)) != nullptr) {
    lineClass = LineClass::ignore;
  } else if ((lists & kSuccessList) &&
             (rule = firstMatch(ruleSet.successRules, line, state)) != nullptr) {
    lineClass = LineClass::success;
  } else if ((lists & kFailureList) &&
             (rule = firstMatch(ruleSet.failureRules, line, state)) != nullptr) {
    lineClass = LineClass::failure;
  } else if ((lists & kSummaryList) && ruleSet.summaryRule &&
             lineMatches(*ruleSet.summaryRule, line, state)) {
    rule = ruleSet.summaryRule.get();
    lineClass = LineClass::summary;
  }
  runRecord.lineClassified({lineClass, line.log, line.number, line.text, line.length,
                            rule != nullptr ? rule->pattern : nullptr, line.mayHoldNul});
  // Most runs have neither: no call for them.
  if (!ruleSet.copyRules.empty()) applyCopyRules(line, state);
  if (!ruleSet.listRules.empty()) applyListRules(line, state);
}
