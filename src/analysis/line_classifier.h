#ifndef TARNWICK_ANALYSIS_LINE_CLASSIFIER_H
#define TARNWICK_ANALYSIS_LINE_CLASSIFIER_H

/// Puts line into one category (ignore over success over failure over
/// summary over unmatched), raises that counter, prints failure and
/// unmatched lines, then runs the copy and list actions on it whatever the
/// category. line is neither changed nor kept. One thread at a time.
void classifyLine(const char* line);

#endif
