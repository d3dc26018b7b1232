#ifndef TARNWICK_ANALYSIS_LINE_CLASSIFIER_H
#define TARNWICK_ANALYSIS_LINE_CLASSIFIER_H

#include <cstddef>
#include <cstdint>

#include "record/run_record.h"

/// One line of a log as the reader hands it out, borrowed for the call.
struct LogLine {
  const char* log;   // the log as named in "Processing <log>..."
  uint64_t number;   // 1-based, blank lines counted
  const char* text;  // length bytes, then a NUL
  size_t length;
  bool mayHoldNul = true;  // false when the reader knows text holds no NUL
  LogKind kind = LogKind::file;
};

/// Puts the line into one category (ignore over success over failure over
/// summary over unmatched) and reports it to the run record, which raises
/// that counter and has failure and unmatched lines printed; then runs the
/// copy and list actions on it whatever the category. The line is neither
/// changed nor kept. One thread at a time, unless the record is shared.
void classifyLine(const LogLine& line);

class RegularExpression;

/// Whether rule matches text (length bytes, then a NUL), for the line being
/// classified on this thread. A match that runs out of its time budget or
/// of memory has no answer: the run ends with "ERROR: Pattern ... needs too
/// much time (memory) on line <n> of <log>" rather than guess.
bool lineMatches(const RegularExpression& rule, const char* text, size_t length);

#endif
