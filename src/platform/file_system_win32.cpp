#include <direct.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <string>

#include "platform/file_system.h"
#include "platform/wide_path_win32.h"

const char kFolderSeparator = '\\';

bool isFolderSeparator(char c) { return c == '\\' || c == '/'; }

// A short name takes the narrow call it always took; a name too long for
// the narrow calls takes the wide one with the long-path prefix; a name that
// is no text in the code page is refused rather than turned into another.

bool pathExists(const char* path) {
  WidePath wide = widePath(path);
  if (!wide.valid) return false;
  if (wide.isLong) return GetFileAttributesW(wide.text.c_str()) != INVALID_FILE_ATTRIBUTES;
  // The Microsoft runtime's _stat does not find a folder written with a
  // trailing separator ("D:\drop\"), except a root ("D:\").
  std::string trimmed = path;
  while (trimmed.size() > 1 && isFolderSeparator(trimmed.back()) &&
         trimmed[trimmed.size() - 2] != ':') {
    trimmed.pop_back();
  }
  struct _stat status;
  return _stat(trimmed.c_str(), &status) == 0;
}

bool createFolder(const char* path) {
  WidePath wide = widePath(path);
  if (!wide.valid) {
    errno = EINVAL;
    return false;
  }
  if (!wide.isLong) return _mkdir(path) == 0;
  if (CreateDirectoryW(wide.text.c_str(), nullptr)) return true;
  DWORD error = GetLastError();
  errno = error == ERROR_PATH_NOT_FOUND ? ENOENT : error == ERROR_ALREADY_EXISTS ? EEXIST : EACCES;
  return false;
}

bool copyFileNoOverwrite(const char* source, const char* target) {
  WidePath from = widePath(source);
  WidePath to = widePath(target);
  if (!from.valid || !to.valid) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return false;
  }
  // CopyFile keeps the attributes and the last-write time, refuses an
  // existing target when told to fail if it exists, and removes a target it
  // could not finish.
  if (from.isLong || to.isLong) return CopyFileW(from.text.c_str(), to.text.c_str(), TRUE) != 0;
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

bool deleteFile(const char* path) {
  WidePath wide = widePath(path);
  if (!wide.valid) return false;
  if (wide.isLong) return DeleteFileW(wide.text.c_str()) != 0;
  return _unlink(path) == 0;
}

bool isOpenFolder(std::FILE* file) {
  // The runtime refuses to open a folder; asked anyway, should one differ.
  struct _stat64 status;
  return _fstat64(_fileno(file), &status) == 0 && (status.st_mode & _S_IFDIR) != 0;
}
