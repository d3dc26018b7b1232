#include <sys/stat.h>

#include "platform/file_system.h"

const char kFolderSeparator = '\\';

bool pathExists(const char* path) {
  struct _stat status;
  return _stat(path, &status) == 0;
}
