#ifndef TARNWICK_ANALYSIS_COPY_ACTION_H
#define TARNWICK_ANALYSIS_COPY_ACTION_H

#include "analysis/line_match.h"

/// The first copy rule matching line copies the file its group 1 names from
/// below the base folder into the rule's destination, never overwriting.
/// Reports each copy tried to the run record, which raises copiedCount or
/// copyFailCount, with an "ERROR: " message for a refused name or a failed
/// folder or copy. Matches with state, the calling thread's own. One thread
/// at a time (the classifier holds the record's lock when two classify).
void applyCopyRules(const LogLine& line, MatchState& state);

/// Makes the folder path and any missing folders above it, outermost first.
/// True when the folder exists afterwards. Reports nothing.
bool makeFolderPath(const char* path);

/// Copies source to target unless target exists, and reports the copy to
/// the run record; on failure with the message "ERROR: Failed to copy" and
/// the system's text, and returns false.
bool copyOneFile(const char* source, const char* target);

#endif
