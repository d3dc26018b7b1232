#include "analysis/copy_action.h"

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/file_system.h"
#include "record/run_record.h"
#include "rules/rule_set.h"

namespace {

/// True when a ".." component of path comes, wholly or in part, from the
/// text after its first prefixLength bytes. The component that text
/// completes at the junction counts too (a prefix ending in "/." and a rest
/// beginning with "./"); components wholly inside the prefix are the
/// configuration's own and are not judged.
bool climbsAbove(const std::string& path, size_t prefixLength) {
  size_t start = prefixLength;
  while (start > 0 && !isFolderSeparator(path[start - 1])) --start;
  while (start <= path.size()) {
    size_t end = start;
    while (end < path.size() && !isFolderSeparator(path[end])) ++end;
    if (end > prefixLength && path.compare(start, end - start, "..") == 0) return true;
    start = end + 1;
  }
  return false;
}

void copyCapturedFile(const CopyRegularExpression& rule) {
  const std::string name = rule.capturedName();
  const std::string& base = *ruleSet.basedir;
  const std::string destination = rule.destination;
  std::string target;
  // A ".." from the log would read from above the base folder or write
  // above the destination: refused like a name outside the base folder.
  bool accepted = name.compare(0, base.size(), base) == 0 && !climbsAbove(name, base.size());
  if (accepted) {
    target = destination + name.substr(base.size());
    accepted = !climbsAbove(target, destination.size());
  }
  if (!accepted) {
    runRecord.message("ERROR: Filename '%s' does not start with '%s'\n", name.c_str(),
                      base.c_str());
    runRecord.copyTried({name.c_str(), "", false, "does not start with the base folder"});
    return;
  }
  if (debugEnabled) {
    runRecord.message("copying file \"%s\" to \"%s\"\n", name.c_str(), target.c_str());
  }
  size_t folderEnd = target.rfind(kFolderSeparator);
  if (folderEnd != std::string::npos) {
    const std::string folder = target.substr(0, folderEnd);
    if (!makeFolderPath(folder.c_str())) {
      runRecord.message("ERROR: Failed to create folder '%s'\n", folder.c_str());
      runRecord.copyTried({name.c_str(), target.c_str(), false, "Failed to create folder"});
      return;
    }
  }
  copyOneFile(name.c_str(), target.c_str());
}

/// One creation attempt with errno cleared first, so that a failure which
/// sets no code can be told apart.
bool tryCreateFolder(const char* path) {
  errno = 0;
  return createFolder(path);
}

}  // namespace

void applyCopyRules(const char* line) {
  if (ruleSet.copyRules.empty() || !ruleSet.basedir) return;
  for (const auto& rule : ruleSet.copyRules) {
    if (rule->matches(line)) {
      copyCapturedFile(*rule);
      return;
    }
  }
}

bool makeFolderPath(const char* path) {
  if (pathExists(path)) return true;
  if (tryCreateFolder(path)) return true;
  int error = errno != 0 ? errno : ENOENT;
  if (error != ENOENT) return false;
  const std::string folder = path;
  size_t parentEnd = folder.rfind(kFolderSeparator);
  if (parentEnd == std::string::npos) return false;
  makeFolderPath(folder.substr(0, parentEnd).c_str());
  return tryCreateFolder(path);
}

bool copyOneFile(const char* source, const char* target) {
  if (copyFileNoOverwrite(source, target)) {
    runRecord.copyTried({source, target, true, nullptr});
    return true;
  }
  const std::string text = systemErrorText(lastSystemError());
  runRecord.message("ERROR: Failed to copy '%s' to '%s': %s\n", source, target, text.c_str());
  std::string reason = text;
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) reason.pop_back();
  runRecord.copyTried({source, target, false, reason.c_str()});
  return false;
}
