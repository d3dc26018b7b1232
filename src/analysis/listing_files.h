#ifndef TARNWICK_ANALYSIS_LISTING_FILES_H
#define TARNWICK_ANALYSIS_LISTING_FILES_H

/// Each matching list rule, in order, writes its group 1 as a line of its
/// listing file, until one without multi has matched. One thread at a time.
void applyListRules(const char* line);

/// Deletes every listing file that this run rewrites. Main thread, once,
/// before any pattern is compiled.
void purgeListingFiles();

#endif
