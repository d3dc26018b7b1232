#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <string>

#include "platform/file_system.h"

const char kFolderSeparator = '\\';

bool isFolderSeparator(char c) { return c == '\\' || c == '/'; }

bool pathExists(const char* path) {
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

bool isOpenFolder(std::FILE* file) {
  // The runtime refuses to open a folder; asked anyway, should one differ.
  struct _stat64 status;
  return _fstat64(_fileno(file), &status) == 0 && (status.st_mode & _S_IFDIR) != 0;
}

bool replaceFile(const char* from, const char* to) {
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

unsigned long currentProcessId() { return GetCurrentProcessId(); }

std::FILE* binaryStandardInput() {
  _setmode(_fileno(stdin), _O_BINARY);
  return stdin;
}
