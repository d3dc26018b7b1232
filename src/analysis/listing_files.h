#ifndef TARNWICK_ANALYSIS_LISTING_FILES_H
#define TARNWICK_ANALYSIS_LISTING_FILES_H

/// Each matching list rule, in order, writes its group 1 as a line of its
/// listing file, until one without multi has matched. The file is opened and
/// closed for every entry (see appendLine): emptied by the first entry of a
/// rewritten file, appended to otherwise. A file that cannot be opened,
/// written or closed ends the run with "ERROR: Unable to open listing file"
/// or "ERROR: Unable to write listing file". One thread at a time.
void applyListRules(const char* line);

/// Deletes every existing listing file that this run rewrites; one that
/// cannot be deleted gets a "WARNING: " line. Main thread, once, before any
/// pattern is compiled.
void purgeListingFiles();

#endif
