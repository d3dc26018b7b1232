#ifndef TARNWICK_ANALYSIS_LISTING_FILES_H
#define TARNWICK_ANALYSIS_LISTING_FILES_H

#include "analysis/line_match.h"

/// Each matching list rule, in order, writes its group 1 as a line of its
/// listing file, until one without multi has matched. The file is opened and
/// closed for every entry (see appendLine): emptied by the first entry of a
/// rewritten file, appended to otherwise. A file that cannot be opened,
/// written or closed ends the run with "ERROR: Unable to open listing file"
/// or "ERROR: Unable to write listing file". Matches with state, the calling
/// thread's own. One thread at a time (the classifier holds the record's
/// lock when two classify).
void applyListRules(const LogLine& line, MatchState& state);

/// Ends the run with "ERROR: Listing file '<file>' is the configuration
/// file '<configPath>'" or "... is the log file '<logPath>'" when a listing
/// file of the run is the same file as either (see sameFile), which the
/// purge or the entries would destroy or corrupt. Either may be null, and an
/// empty logPath names no log; "-" is standard input, compared by identity. Checks the listing
/// files in order, each against the configuration first. Main thread, before the purge.
void rejectListingFileClashes(const char* configPath, const char* logPath);

/// Ends the run likewise when logPath, a log named while the tool runs, is
/// a listing file of the run. Stdout reader thread, before the log is read.
void rejectListedLog(const char* logPath);

/// Deletes every existing listing file that this run rewrites; one that
/// cannot be deleted gets a "WARNING: " line. Main thread, once, before any
/// pattern is compiled.
void purgeListingFiles();

#endif
