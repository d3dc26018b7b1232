#include <direct.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include "platform/file_system.h"

const char kFolderSeparator = '\\';

bool isFolderSeparator(char c) { return c == '\\' || c == '/'; }

bool pathExists(const char* path) {
  struct _stat status;
  return _stat(path, &status) == 0;
}

bool createFolder(const char* path) { return _mkdir(path) == 0; }

bool copyFileNoOverwrite(const char* source, const char* target) {
  // CopyFileA keeps the attributes and the last-write time, refuses an
  // existing target when told to fail if it exists, and removes a target it
  // could not finish.
  return CopyFileA(source, target, TRUE) != 0;
}

int lastSystemError() { return static_cast<int>(GetLastError()); }

std::string systemErrorText(int code) {
  char* buffer = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0x0400, reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
  std::string text;
  if (length != 0 && buffer != nullptr) text.assign(buffer, length);
  if (buffer != nullptr) LocalFree(buffer);
  return text;
}

bool deleteFile(const char* path) { return _unlink(path) == 0; }
