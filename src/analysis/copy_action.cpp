#include "analysis/copy_action.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "analysis/line_match.h"
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

/// True when name begins with the base folder, compared as the file system
/// compares names, and the base ends there at a component boundary: base
/// "/w/src" holds "/w/src/f" but not "/w/srcX/f".
bool startsWithFolder(const std::string& name, const std::string& base) {
  if (name.size() < base.size()) return false;
  for (size_t i = 0; i < base.size(); ++i) {
    if (!sameNameCharacter(name[i], base[i])) return false;
  }
  return base.empty() || name.size() == base.size() || isFolderSeparator(base.back()) ||
         isFolderSeparator(name[base.size()]);
}

/// The destination and the rest of a name, with one separator between them
/// when neither brings one: "drop" and "bin/a.dll" give "drop/bin/a.dll",
/// not the sibling folder "dropbin". Separators already there are kept.
std::string joinTarget(const std::string& destination, const std::string& rest) {
  if (destination.empty() || rest.empty() || isFolderSeparator(destination.back()) ||
      isFolderSeparator(rest.front())) {
    return destination + rest;
  }
  return destination + kFolderSeparator + rest;
}

/// Where the folder part of path ends, or npos when it has none.
size_t lastSeparator(const std::string& path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (isFolderSeparator(path[i - 1])) return i - 1;
  }
  return std::string::npos;
}

void copyCapturedFile(const CopyRegularExpression& rule, const MatchState& state) {
  const std::string name = capturedName(state);
  const std::string& base = *ruleSet.basedir;
  const std::string destination = rule.destination;
  std::string target;
  // A ".." from the log would read from above the base folder or write
  // above the destination: refused like a name outside the base folder.
  bool accepted = startsWithFolder(name, base) && !climbsAbove(name, base.size());
  if (accepted) {
    target = joinTarget(destination, name.substr(base.size()));
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
  size_t folderEnd = lastSeparator(target);
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

void applyCopyRules(const LogLine& line, MatchState& state) {
  if (ruleSet.copyRules.empty() || !ruleSet.basedir) return;
  for (const auto& rule : ruleSet.copyRules) {
    if (lineMatches(*rule, line, state)) {
      copyCapturedFile(*rule, state);
      return;
    }
  }
}

bool makeFolderPath(const char* path) {
  if (pathExists(path)) return true;
  if (tryCreateFolder(path)) return true;
  int error = errno != 0 ? errno : ENOENT;
  // A folder that appears meanwhile (another run making the same path) is
  // no failure.
  if (error != ENOENT) return pathExists(path);
  const std::string folder = path;
  size_t parentEnd = lastSeparator(folder);
  if (parentEnd == std::string::npos) return false;
  makeFolderPath(folder.substr(0, parentEnd).c_str());
  // A last component "." names the parent just made: it exists already.
  return tryCreateFolder(path) || pathExists(path);
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
