#include "analysis/line_match.h"

#include "base/fatal.h"
#include "rules/rule_set.h"

bool lineMatches(const RegularExpression& rule, const LogLine& line, MatchState& state) {
  bool matched = rule.matches(line.text, line.length, state);
  MatchOutcome outcome = state.lastOutcome();
  if (outcome != MatchOutcome::kOutOfTime && outcome != MatchOutcome::kOutOfMemory) return matched;
  const char* need = outcome == MatchOutcome::kOutOfTime ? "time" : "memory";
  exitWithError("ERROR: Pattern \"%s\" needs too much %s on line %llu of \"%s\"\n", rule.pattern,
                need, static_cast<unsigned long long>(line.number), line.log);
}
