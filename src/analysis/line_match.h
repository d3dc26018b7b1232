// Matching one log line against one rule, for the classifier and the copy
// and list actions alike.
#ifndef TARNWICK_ANALYSIS_LINE_MATCH_H
#define TARNWICK_ANALYSIS_LINE_MATCH_H

#include <cstddef>
#include <cstdint>

#include "record/run_record.h"
#include "regexp/matcher.h"

/// One line of a log as the reader hands it out, borrowed for the call.
struct LogLine {
  const char* log;   // the log as named in "Processing <log>..."
  uint64_t number;   // 1-based, blank lines counted
  const char* text;  // length bytes, then a NUL
  size_t length;
  bool mayHoldNul = true;  // false when the reader knows text holds no NUL
  LogKind kind = LogKind::file;
};

class RegularExpression;

/// Whether rule matches the line, with the caller's state, whose slots then
/// hold the captures. A match that runs out of its time budget or of memory
/// has no answer: the run ends with "ERROR: Pattern ... needs too much time
/// (memory) on line <n> of <log>" rather than guess. Any thread, with a
/// state of its own.
bool lineMatches(const RegularExpression& rule, const LogLine& line, MatchState& state);

#endif
