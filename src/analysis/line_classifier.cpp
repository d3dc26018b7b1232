#include "analysis/line_classifier.h"

#include "analysis/copy_action.h"
#include "analysis/listing_files.h"
#include "base/fatal.h"
#include "record/run_record.h"
#include "rules/rule_set.h"

namespace {

/// The line being classified on this thread, for the message of a match
/// that cannot finish.
thread_local const LogLine* currentLine = nullptr;

/// The first rule of rules that matches the line, or null.
template <typename Rules>
const RegularExpression* firstMatch(const Rules& rules, const LogLine& line) {
  for (const auto& rule : rules) {
    if (lineMatches(*rule, line.text, line.length)) return rule.get();
  }
  return nullptr;
}

}  // namespace

bool lineMatches(const RegularExpression& rule, const char* text, size_t length) {
  bool matched = rule.matches(text, length);
  MatchOutcome outcome = rule.lastOutcome();
  if (outcome != MatchOutcome::kOutOfTime && outcome != MatchOutcome::kOutOfMemory) return matched;
  const char* need = outcome == MatchOutcome::kOutOfTime ? "time" : "memory";
  if (currentLine == nullptr) {
    exitWithError("ERROR: Pattern \"%s\" needs too much %s\n", rule.pattern, need);
  }
  exitWithError("ERROR: Pattern \"%s\" needs too much %s on line %llu of \"%s\"\n", rule.pattern,
                need, static_cast<unsigned long long>(currentLine->number), currentLine->log);
}

void classifyLine(const LogLine& line) {
  // Both of the tool's streams may be classified at once: the line, its
  // counters, its listing entries and its copy go together.
  std::unique_lock<std::recursive_mutex> guard = runRecord.hold();
  currentLine = &line;
  // Lists whose rules all want another first byte are not tried: most
  // lines of a log need one lookup instead of a test per rule.
  uint8_t lists = ruleSet.listsByFirstByte[static_cast<unsigned char>(line.text[0])];
  LineClass lineClass = LineClass::unmatched;
  const RegularExpression* rule = nullptr;
  if ((lists & kIgnoreList) && (rule = firstMatch(ruleSet.ignoreRules, line)) != nullptr) {
    lineClass = LineClass::ignore;
  } else if ((lists & kSuccessList) && (rule = firstMatch(ruleSet.successRules, line)) != nullptr) {
    lineClass = LineClass::success;
  } else if ((lists & kFailureList) && (rule = firstMatch(ruleSet.failureRules, line)) != nullptr) {
    lineClass = LineClass::failure;
  } else if ((lists & kSummaryList) && ruleSet.summaryRule &&
             lineMatches(*ruleSet.summaryRule, line.text, line.length)) {
    rule = ruleSet.summaryRule.get();
    lineClass = LineClass::summary;
  }
  runRecord.lineClassified({lineClass, line.log, line.number, line.text, line.length,
                            rule != nullptr ? rule->pattern : nullptr, line.mayHoldNul, line.kind});
  // Most runs have neither: no call for them.
  if (!ruleSet.copyRules.empty()) applyCopyRules(line.text, line.length);
  if (!ruleSet.listRules.empty()) applyListRules(line.text, line.length);
  currentLine = nullptr;
}
