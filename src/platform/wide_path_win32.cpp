#include "platform/wide_path_win32.h"

#include <windows.h>

namespace {

// The narrow calls refuse a full path that leaves no room for an 8.3 name
// in a folder of MAX_PATH characters; from this length on, the prefix goes on.
constexpr size_t kLongPath = MAX_PATH - 12;

}  // namespace

std::wstring fullWidePath(const std::wstring& path) {
  DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return std::wstring();
  std::wstring full(size, L'\0');
  DWORD length = GetFullPathNameW(path.c_str(), size, &full[0], nullptr);
  if (length == 0 || length >= size) return std::wstring();
  full.resize(length);
  return full;
}

WidePath widePath(const char* path) {
  WidePath result;
  int size = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
  if (size <= 0) return result;
  result.text.resize(static_cast<size_t>(size));
  if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, -1, &result.text[0], size) != size) {
    return result;
  }
  result.text.resize(static_cast<size_t>(size) - 1);
  result.valid = true;
  if (result.text.compare(0, 4, L"\\\\?\\") == 0 || result.text.compare(0, 4, L"\\\\.\\") == 0) {
    return result;  // already the system's own form
  }
  std::wstring full = fullWidePath(result.text);
  if (full.size() < kLongPath) return result;
  result.isLong = true;
  if (full.compare(0, 2, L"\\\\") == 0) {
    result.text = L"\\\\?\\UNC\\" + full.substr(2);  // \\server\share\...
  } else {
    result.text = L"\\\\?\\" + full;
  }
  return result;
}
