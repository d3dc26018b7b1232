#include "analysis/line_classifier.h"

#include <cstring>
#include <string>

#include "analysis/ansi_sequences.h"
#include "analysis/copy_action.h"
#include "analysis/listing_files.h"
#include "base/fatal.h"
#include "record/run_record.h"
#include "rules/rule_set.h"

namespace {

/// The line being classified on this thread, for the message of a match
/// that cannot finish.
thread_local const LogLine* currentLine = nullptr;

/// The first rule of rules that matches text, or null.
template <typename Rules>
const RegularExpression* firstMatch(const Rules& rules, const char* text, size_t length) {
  for (const auto& rule : rules) {
    if (lineMatches(*rule, text, length)) return rule.get();
  }
  return nullptr;
}

/// classifyLine, with text (length bytes, then a NUL) the line as the rules
/// see it.
void classifyText(const LogLine& line, const char* text, size_t length) {
  // Both of the tool's streams may be classified at once: the line, its
  // counters, its listing entries and its copy go together.
  std::unique_lock<std::recursive_mutex> guard = runRecord.hold();
  currentLine = &line;
  // Lists whose rules all want another first byte are not tried: most
  // lines of a log need one lookup instead of a test per rule.
  uint8_t lists = ruleSet.listsByFirstByte[static_cast<unsigned char>(text[0])];
  LineClass lineClass = LineClass::unmatched;
  const RegularExpression* rule = nullptr;
  if ((lists & kIgnoreList) && (rule = firstMatch(ruleSet.ignoreRules, text, length)) != nullptr) {
    lineClass = LineClass::ignore;
  } else if ((lists & kSuccessList) &&
             (rule = firstMatch(ruleSet.successRules, text, length)) != nullptr) {
    lineClass = LineClass::success;
  } else if ((lists & kFailureList) &&
             (rule = firstMatch(ruleSet.failureRules, text, length)) != nullptr) {
    lineClass = LineClass::failure;
  } else if ((lists & kSummaryList) && ruleSet.summaryRule &&
             lineMatches(*ruleSet.summaryRule, text, length)) {
    rule = ruleSet.summaryRule.get();
    lineClass = LineClass::summary;
  } else if ((lists & kSummaryList) &&
             (rule = firstMatch(ruleSet.moreSummaryRules, text, length)) != nullptr) {
    lineClass = LineClass::summary;
  }
  ClassifiedLine classified{lineClass,      line.log, line.number,
                            text,           length,   rule != nullptr ? rule->pattern : nullptr,
                            line.mayHoldNul};
  if (text != line.text) {
    classified.raw = line.text;
    classified.rawLength = line.length;
  }
  runRecord.lineClassified(classified);
  // Most runs have neither: no call for them.
  if (!ruleSet.copyRules.empty()) applyCopyRules(text, length);
  if (!ruleSet.listRules.empty()) applyListRules(text, length);
  currentLine = nullptr;
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
  // Only a line that holds an ESC is copied, and only when asked.
  if (ruleSet.stripAnsi && std::memchr(line.text, kEscape, line.length) != nullptr) {
    // Per thread: both of the tool's streams may be classified at once.
    thread_local std::string stripped;
    stripAnsiSequences(line.text, line.length, stripped);
    classifyText(line, stripped.c_str(), stripped.size());
    return;
  }
  classifyText(line, line.text, line.length);
}
