#ifndef TARNWICK_REGEXP_MATCHER_H
#define TARNWICK_REGEXP_MATCHER_H

#include "regexp/regexp.h"

/// Returns 1 when regexp matches somewhere in subject, 0 when it does not
/// or on an error (reported to errorHook). After a 1 the capture slots of
/// regexp point into subject: valid while subject lives and until the next
/// match with the same regexp. Leftmost start wins; at that start, the first
/// path found trying alternatives in pattern order and repeats longest first.
/// Not re-entrant: the backtracking state is process-wide, so one match at a
/// time in the process.
int matchPattern(Regexp* regexp, const char* subject);

#endif
