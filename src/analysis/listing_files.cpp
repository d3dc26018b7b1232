#include "analysis/listing_files.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "analysis/line_match.h"
#include "base/fatal.h"
#include "platform/append_file.h"
#include "platform/file_identity.h"
#include "platform/file_system.h"
#include "record/run_record.h"
#include "rules/rule_set.h"

namespace {

/// Adds entry as one line of file; a rewritten file is truncated by its
/// first entry of the run.
void writeEntry(ListingFile& file, const std::string& entry) {
  bool rewrite = file.entriesWritten == 0 && !file.append;
  const char* path = file.path.c_str();
  if (debugEnabled) {
    runRecord.message("adding file \"%s\" to list \"%s\" (%s)\n", entry.c_str(), path,
                      rewrite ? "write" : "append");
  }
  // One write per entry at the end of the file, so that runs appending to
  // one file at once never lose or tear each other's entries.
  AppendResult result = appendLine(path, entry.data(), entry.size(), rewrite);
  if (result == AppendResult::kOpenFailed) {
    exitWithError("ERROR: Unable to open listing file '%s'\n", path);
  }
  if (result == AppendResult::kWriteFailed) {
    exitWithError("ERROR: Unable to write listing file '%s'\n", path);
  }
  ++file.entriesWritten;
  runRecord.listingEntryWritten(path, entry.c_str());
}

}  // namespace

void applyListRules(const LogLine& line, MatchState& state) {
  for (const auto& rule : ruleSet.listRules) {
    if (!lineMatches(*rule, line, state)) continue;
    writeEntry(*rule->listingFile, capturedName(state));
    if (!rule->multi) return;
  }
}

void purgeListingFiles() {
  for (const auto& file : ruleSet.listingFiles) {
    const char* path = file->path.c_str();
    if (file->append || !pathExists(path)) continue;
    if (debugEnabled) runRecord.message("Deleting list file '%s'\n", path);
    if (!deleteFile(path)) runRecord.message("WARNING: Failed to remove list file '%s'\n", path);
  }
}

void rejectListingFileClashes(const char* configPath, const char* logPath) {
  bool withLog = logPath != nullptr && *logPath != '\0';
  for (const auto& file : ruleSet.listingFiles) {
    const char* path = file->path.c_str();
    if (configPath != nullptr && sameFile(path, configPath)) {
      exitWithError("ERROR: Listing file '%s' is the configuration file '%s'\n", path, configPath);
    }
    // "-" is standard input: a listing file read there would be read
    // without end, its own entries appended as it goes.
    bool isLog = withLog &&
                 (std::strcmp(logPath, "-") == 0 ? isStandardInput(path) : sameFile(path, logPath));
    if (isLog) {
      exitWithError("ERROR: Listing file '%s' is the log file '%s'\n", path, logPath);
    }
  }
}

void rejectListedLog(const char* logPath) { rejectListingFileClashes(nullptr, logPath); }
