#include "analysis/line_classifier.h"

#include <cstring>
#include <string>

#include "analysis/ansi_sequences.h"
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

/// classifyLine, with seen the line as the rules see it (line itself, or
/// line without its ANSI control sequences).
void classifyText(const LogLine& line, const LogLine& seen, MatchState& state) {
  // Both of the tool's streams may be classified at once: the line, its
  // counters, its listing entries and its copy go together. The matching
  // itself needs no lock: the rules are only read, the state is ours.
  std::unique_lock<std::recursive_mutex> guard = runRecord.hold();
  // Lists whose rules all want another first byte are not tried: most
  // lines of a log need one lookup instead of a test per rule.
  uint8_t lists = ruleSet.listsByFirstByte[static_cast<unsigned char>(seen.text[0])];
  LineClass lineClass = LineClass::unmatched;
  const RegularExpression* rule = nullptr;
  if ((lists & kIgnoreList) && (rule = firstMatch(ruleSet.ignoreRules, seen, state)) != nullptr) {
    lineClass = LineClass::ignore;
  } else if ((lists & kSuccessList) &&
             (rule = firstMatch(ruleSet.successRules, seen, state)) != nullptr) {
    lineClass = LineClass::success;
  } else if ((lists & kFailureList) &&
             (rule = firstMatch(ruleSet.failureRules, seen, state)) != nullptr) {
    lineClass = LineClass::failure;
  } else if ((lists & kSummaryList) && ruleSet.summaryRule &&
             lineMatches(*ruleSet.summaryRule, seen, state)) {
    rule = ruleSet.summaryRule.get();
    lineClass = LineClass::summary;
  } else if ((lists & kSummaryList) &&
             (rule = firstMatch(ruleSet.moreSummaryRules, seen, state)) != nullptr) {
    lineClass = LineClass::summary;
  }
  ClassifiedLine classified{lineClass,       seen.log,    seen.number,
                            seen.text,       seen.length, rule != nullptr ? rule->pattern : nullptr,
                            seen.mayHoldNul, line.kind};
  if (seen.text != line.text) {
    classified.raw = line.text;
    classified.rawLength = line.length;
  }
  runRecord.lineClassified(classified);
  // Most runs have neither: no call for them.
  if (!ruleSet.copyRules.empty()) applyCopyRules(seen, state);
  if (!ruleSet.listRules.empty()) applyListRules(seen, state);
}

}  // namespace

void classifyLine(const LogLine& line, MatchState& state) {
  // Only a line that holds an ESC is copied, and only when asked.
  if (ruleSet.stripAnsi && std::memchr(line.text, kEscape, line.length) != nullptr) {
    // Per thread: both of the tool's streams may be classified at once.
    thread_local std::string stripped;
    stripAnsiSequences(line.text, line.length, stripped);
    LogLine seen = line;
    seen.text = stripped.c_str();
    seen.length = stripped.size();
    classifyText(line, seen, state);
    return;
  }
  classifyText(line, line, state);
}
