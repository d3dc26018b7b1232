#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/file_identity.h"

namespace {

/// The name with its folder resolved (links included) where the folder
/// exists, else made absolute and tidied by its text alone.
std::string resolvedName(const char* path) {
  const char* slash = std::strrchr(path, '/');
  std::string folder = slash == nullptr ? "." : slash == path ? "/" : std::string(path, slash);
  std::string last = slash == nullptr ? path : slash + 1;
  char resolved[PATH_MAX];
  if (!last.empty() && last != "." && last != ".." && realpath(folder.c_str(), resolved)) {
    return std::string(resolved) + "/" + last;
  }
  std::error_code ignored;
  return std::filesystem::absolute(path, ignored).lexically_normal().string();
}

}  // namespace

bool sameFileName(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

bool sameFile(const char* a, const char* b) {
  struct stat first, second;
  bool firstExists = stat(a, &first) == 0;
  bool secondExists = stat(b, &second) == 0;
  if (firstExists && secondExists) {
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
  }
  if (firstExists != secondExists) return false;
  return resolvedName(a) == resolvedName(b);
}

bool isStandardInput(const char* path) {
  struct stat input, named;
  return fstat(0, &input) == 0 && stat(path, &named) == 0 && input.st_dev == named.st_dev &&
         input.st_ino == named.st_ino;
}
