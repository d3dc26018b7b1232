#ifndef TARNWICK_ANALYSIS_LINE_CLASSIFIER_H
#define TARNWICK_ANALYSIS_LINE_CLASSIFIER_H

#include "analysis/line_match.h"

/// Puts the line into one category (ignore over success over failure over
/// summary over unmatched) and reports it to the run record, which raises
/// that counter and has failure and unmatched lines printed; then runs the
/// copy and list actions on it whatever the category. When the rule set asks
/// (stripAnsi), the rules, the actions and the record see the line without
/// its ANSI control sequences, and the record gets the tool's bytes as raw.
/// The line is neither changed nor kept. Matches with state, the calling
/// thread's own (see MatchState). Any thread; when two classify at once the
/// record is shared, and its lock keeps each line's counters, output and
/// actions together.
void classifyLine(const LogLine& line, MatchState& state);

#endif
