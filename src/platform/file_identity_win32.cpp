#include <windows.h>

#include <cstring>
#include <string>

#include "platform/file_identity.h"
#include "platform/wide_path_win32.h"

namespace {

/// The absolute form of path, or empty when it is no text in the code page.
std::wstring absoluteName(const char* path) {
  WidePath wide = widePath(path);
  return wide.valid ? fullWidePath(wide.text) : std::wstring();
}

/// A device name ("\\.\pipe\x", "\\.\NUL") is never opened: opening a
/// pipe would take the place of its reader.
bool isDevice(const std::wstring& name) { return name.compare(0, 4, L"\\\\.\\") == 0; }

/// Volume and file index of the file or folder at path (whose absolute
/// form is full), without opening its data; false when it cannot be had.
bool identity(const char* path, const std::wstring& full, BY_HANDLE_FILE_INFORMATION* info) {
  if (isDevice(full)) return false;
  WidePath wide = widePath(path);
  HANDLE file =
      CreateFileW(wide.text.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool known = GetFileInformationByHandle(file, info) != 0;
  CloseHandle(file);
  return known;
}

bool sameAbsoluteName(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

bool sameFileName(const char* a, const char* b) {
  std::wstring first = absoluteName(a);
  std::wstring second = absoluteName(b);
  // A name that is no text names no file: only the same bytes are the same.
  if (first.empty() || second.empty()) return std::strcmp(a, b) == 0;
  return sameAbsoluteName(first, second);
}

bool sameFile(const char* a, const char* b) {
  std::wstring first = absoluteName(a);
  std::wstring second = absoluteName(b);
  if (first.empty() || second.empty()) return std::strcmp(a, b) == 0;
  BY_HANDLE_FILE_INFORMATION firstInfo, secondInfo;
  if (identity(a, first, &firstInfo) && identity(b, second, &secondInfo)) {
    return firstInfo.dwVolumeSerialNumber == secondInfo.dwVolumeSerialNumber &&
           firstInfo.nFileIndexHigh == secondInfo.nFileIndexHigh &&
           firstInfo.nFileIndexLow == secondInfo.nFileIndexLow;
  }
  return sameAbsoluteName(first, second);
}

bool isStandardInput(const char* path) {
  std::wstring full = absoluteName(path);
  BY_HANDLE_FILE_INFORMATION named, input;
  HANDLE handle = GetStdHandle(STD_INPUT_HANDLE);
  if (full.empty() || !identity(path, full, &named) || handle == nullptr ||
      handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK ||
      GetFileInformationByHandle(handle, &input) == 0) {
    return false;
  }
  return input.dwVolumeSerialNumber == named.dwVolumeSerialNumber &&
         input.nFileIndexHigh == named.nFileIndexHigh && input.nFileIndexLow == named.nFileIndexLow;
}
