#include "analysis/listing_files.h"

#include <cstdio>
#include <string>

#include "base/fatal.h"
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
  std::FILE* stream = std::fopen(path, rewrite ? "w" : "a");
  if (stream == nullptr) exitWithError("ERROR: Unable to open listing file '%s'\n", path);
  // The entry usually reaches the disk only at the close, so a full disk
  // shows there.
  bool written = std::fprintf(stream, "%s\n", entry.c_str()) >= 0;
  if (std::fclose(stream) != 0) written = false;
  if (!written) exitWithError("ERROR: Unable to write listing file '%s'\n", path);
  ++file.entriesWritten;
  runRecord.listingEntryWritten(path, entry.c_str());
}

}  // namespace

void applyListRules(const char* line) {
  for (const auto& rule : ruleSet.listRules) {
    if (!rule->matches(line)) continue;
    writeEntry(*rule->listingFile, rule->capturedName());
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
