#include <sys/stat.h>

#include "platform/file_system.h"

const char kFolderSeparator = '/';

bool pathExists(const char* path) {
  struct stat status;
  return stat(path, &status) == 0;
}
