#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/file_system.h"
#include "platform/wide_path_win32.h"

const char kFolderSeparator = '\\';

// Bit 29 marks an application's own code: the system never gives it.
const int kNotRegularFile = 0x20000001;

namespace {

CopyStepHook copyStepHook = nullptr;

/// True when a test's hook fails step; GetLastError then tells its code.
bool injectedFault(CopyStep step, const std::string& temporary) {
  if (copyStepHook == nullptr) return false;
  int error = copyStepHook(step, temporary.c_str());
  if (error == 0) return false;
  SetLastError(static_cast<DWORD>(error));
  return true;
}

/// Deletes the file at path (a name as widePath gives it), read-only or not;
/// nothing when there is none.
void discard(const std::wstring& path) {
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(path.c_str());
}

/// Flushes the file at path (as widePath gives it; temporary is its name
/// for the hook) to stable storage.
bool flushToDisk(const std::wstring& path, const std::string& temporary) {
  if (injectedFault(CopyStep::kFlush, temporary)) return false;
  // Only a handle open for writing flushes, and a read-only file (CopyFile
  // keeps that attribute) opens so only once the attribute is off.
  DWORD attributes = GetFileAttributesW(path.c_str());
  bool readOnly =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  DWORD writable = attributes & ~FILE_ATTRIBUTE_READONLY;
  if (readOnly) SetFileAttributesW(path.c_str(), writable != 0 ? writable : FILE_ATTRIBUTE_NORMAL);
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  // Told once done, so that a test sees that the flush happened at all.
  bool flushed = file != INVALID_HANDLE_VALUE && FlushFileBuffers(file) != 0 &&
                 !injectedFault(CopyStep::kFlushed, temporary);
  DWORD error = GetLastError();
  if (file != INVALID_HANDLE_VALUE) {
    bool injected = flushed && injectedFault(CopyStep::kClose, temporary);
    if (injected) error = GetLastError();
    if (CloseHandle(file) == 0 && flushed) {
      flushed = false;
      error = GetLastError();
    }
    if (injected) flushed = false;
  }
  if (readOnly) SetFileAttributesW(path.c_str(), attributes);
  SetLastError(error);
  return flushed;
}

}  // namespace

bool isFolderSeparator(char c) { return c == '\\' || c == '/'; }

bool isRootedPath(const char* path) {
  if (isFolderSeparator(path[0])) return true;
  char letter = static_cast<char>(path[0] | 0x20);
  return letter >= 'a' && letter <= 'z' && path[1] == ':';
}

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

bool sameNameCharacter(char a, char b) {
  if (isFolderSeparator(a) && isFolderSeparator(b)) return true;
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return lower(a) == lower(b);
}

void setCopyStepHook(CopyStepHook hook) { copyStepHook = hook; }

bool copyFileNoOverwrite(const char* source, const char* target) {
  WidePath from = widePath(source);
  WidePath to = widePath(target);
  if (!from.valid || !to.valid) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return false;
  }
  // Every name takes the wide calls, each in the form its own length needs:
  // the temporary name is longer than the target's, so a target just short
  // of the limit has a temporary file beyond it.
  const std::string temporary = temporaryCopyName(target, GetCurrentProcessId());
  WidePath spare = widePath(temporary.c_str());
  // Opened only to ask what it is (no access to its data): a device or pipe
  // would be read without end. One that does not open fails in CopyFileW
  // below with the error it always gave.
  HANDLE probe =
      CreateFileW(from.text.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    DWORD type = GetFileType(probe);
    CloseHandle(probe);
    if (type != FILE_TYPE_DISK) {
      SetLastError(static_cast<DWORD>(kNotRegularFile));
      return false;
    }
    // An existing target fails before any data is copied, as CopyFile
    // failed for it; the final move catches one that appears meanwhile.
    if (GetFileAttributesW(to.text.c_str()) != INVALID_FILE_ATTRIBUTES) {
      SetLastError(ERROR_FILE_EXISTS);
      return false;
    }
  }
  // One of this name can only be left by a killed run whose process id this
  // one now has.
  discard(spare.text);
  // CopyFileW keeps the attributes and the last-write time.
  bool copied = CopyFileW(from.text.c_str(), spare.text.c_str(), TRUE) != 0 &&
                !injectedFault(CopyStep::kData, temporary) && flushToDisk(spare.text, temporary);
  if (copied) {
    copied = !injectedFault(CopyStep::kRename, temporary) &&
             MoveFileExW(spare.text.c_str(), to.text.c_str(), 0) != 0;
    // The text CopyFile gave for an existing target, whoever took it first.
    if (!copied && GetLastError() == ERROR_ALREADY_EXISTS) SetLastError(ERROR_FILE_EXISTS);
    if (copied) return true;
  }
  DWORD error = GetLastError();
  discard(spare.text);
  SetLastError(error);
  return false;
}

int lastSystemError() { return static_cast<int>(GetLastError()); }

std::string systemErrorText(int code) {
  if (code == kNotRegularFile) return "Not a regular file\n";
  char* buffer = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0x0400, reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
  std::string text;
  if (length != 0 && buffer != nullptr) {
    // The system writes CR LF; printed in text mode, "\n" becomes that.
    for (DWORD i = 0; i < length; ++i) {
      if (buffer[i] == '\r' && i + 1 < length && buffer[i + 1] == '\n') continue;
      text += buffer[i];
    }
  }
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

bool replaceFile(const char* from, const char* to) {
  WidePath source = widePath(from);
  WidePath target = widePath(to);
  if (!source.valid || !target.valid) return false;
  return MoveFileExW(source.text.c_str(), target.text.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

std::FILE* openFile(const char* path, const char* mode) {
  WidePath wide = widePath(path);
  if (!wide.valid) {
    errno = EINVAL;
    return nullptr;
  }
  if (!wide.isLong) return std::fopen(path, mode);
  std::wstring wideMode(mode, mode + std::strlen(mode));
  return _wfopen(wide.text.c_str(), wideMode.c_str());
}

namespace {

/// "\\.\pipe\x", "\\.\NUL" and the like are never opened to be asked
/// about: opening a pipe would take the place of its reader.
bool isDeviceName(const char* path) {
  return std::strncmp(path, "\\\\.\\", 4) == 0 || std::strncmp(path, "//./", 4) == 0;
}

/// A stream over handle, which it then owns; null (the handle closed) when
/// the runtime cannot take it.
std::FILE* streamOf(HANDLE handle, int flags, const char* mode) {
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, mode);
  if (file == nullptr) _close(fd);
  return file;
}

/// Volume and file index of the disk file behind handle.
bool diskIdentity(HANDLE handle, BY_HANDLE_FILE_INFORMATION* info) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
         GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, info) != 0;
}

}  // namespace

PathKind pathKind(const char* path) {
  if (isDeviceName(path)) return PathKind::kOther;
  WidePath wide = widePath(path);
  if (!wide.valid) return PathKind::kMissing;
  // Opened only to ask what it is; "NUL" and "CON" are devices.
  HANDLE probe =
      CreateFileW(wide.text.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (probe == INVALID_HANDLE_VALUE) {
    DWORD attributes = GetFileAttributesW(wide.text.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::kFolder
                                                        : PathKind::kRegularFile;
  }
  PathKind kind = PathKind::kOther;
  BY_HANDLE_FILE_INFORMATION info;
  if (diskIdentity(probe, &info)) {
    kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::kFolder
                                                                   : PathKind::kRegularFile;
  }
  CloseHandle(probe);
  return kind;
}

std::FILE* createNewFile(const char* path) {
  WidePath wide = widePath(path);
  if (!wide.valid) return nullptr;
  auto create = [&wide]() {
    return CreateFileW(wide.text.c_str(), GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  HANDLE file = create();
  if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) {
    SetFileAttributesW(wide.text.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileW(wide.text.c_str()) != 0) file = create();
  }
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  return streamOf(file, _O_RDWR, "w+b");
}

std::FILE* openForWriting(const char* path) {
  WidePath wide = widePath(path);
  if (!wide.valid) return nullptr;
  HANDLE file = CreateFileW(wide.text.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  return streamOf(file, _O_WRONLY, "wb");
}

int standardStreamOf(const char* path) {
  if (isDeviceName(path)) return 0;
  WidePath wide = widePath(path);
  if (!wide.valid) return 0;
  HANDLE named =
      CreateFileW(wide.text.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  BY_HANDLE_FILE_INFORMATION namedInfo;
  bool known = diskIdentity(named, &namedInfo);
  if (named != INVALID_HANDLE_VALUE) CloseHandle(named);
  if (!known) return 0;
  const DWORD streams[2] = {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  for (int i = 0; i < 2; ++i) {
    BY_HANDLE_FILE_INFORMATION info;
    if (diskIdentity(GetStdHandle(streams[i]), &info) &&
        info.dwVolumeSerialNumber == namedInfo.dwVolumeSerialNumber &&
        info.nFileIndexHigh == namedInfo.nFileIndexHigh &&
        info.nFileIndexLow == namedInfo.nFileIndexLow) {
      return i + 1;
    }
  }
  return 0;
}

// Links are rare on Windows, and a move onto one replaces the link itself.
std::string linkTarget(const std::string& path) { return path; }

bool truncateOpenFile(std::FILE* file, long long size) {
  return std::fflush(file) == 0 && _chsize_s(_fileno(file), size) == 0 &&
         _fseeki64(file, size, SEEK_SET) == 0;
}

bool nameFitsFolder(const char* path) {
  const char* name = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (isFolderSeparator(*p) || *p == ':') name = p + 1;
  }
  // NTFS, FAT and exFAT all hold 255 UTF-16 units in one name.
  int units = MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
  return units == 0 || units - 1 <= 255;
}

unsigned long currentProcessId() { return GetCurrentProcessId(); }

std::FILE* binaryStandardInput() {
  _setmode(_fileno(stdin), _O_BINARY);
  return stdin;
}
