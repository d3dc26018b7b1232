#ifndef TARNWICK_ANALYSIS_COPY_ACTION_H
#define TARNWICK_ANALYSIS_COPY_ACTION_H

/// The first copy rule matching line copies the file its group 1 names from
/// below the base folder into the rule's destination, never overwriting.
/// Raises copiedCount or copyFailCount. One thread at a time.
void applyCopyRules(const char* line);

#endif
