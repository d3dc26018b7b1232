#include <windows.h>

#include "platform/append_file.h"
#include "platform/wide_path_win32.h"

AppendResult appendLine(const char* path, const char* data, size_t length, bool truncate) {
  WidePath wide = widePath(path);
  if (!wide.valid) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return AppendResult::kOpenFailed;
  }
  // Without the right to write anywhere but at the end, every write appends.
  HANDLE file = CreateFileW(wide.text.c_str(),
                            FILE_APPEND_DATA | SYNCHRONIZE | (truncate ? GENERIC_WRITE : 0),
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            truncate ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return AppendResult::kOpenFailed;
  // Wine appends by moving to the end and then writing, two steps another
  // process can come between; a lock on a byte far past any data makes the
  // writers take turns there, and costs Windows nothing.
  OVERLAPPED turn = {};
  turn.Offset = 0xFFFFFFFE;
  turn.OffsetHigh = 0x7FFFFFFF;
  bool locked = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &turn) != 0;
  bool written = writeLineInChunks(
      [file](const char* bytes, size_t count) -> std::ptrdiff_t {
        DWORD put = 0;
        if (!WriteFile(file, bytes, static_cast<DWORD>(count), &put, nullptr)) return -1;
        return static_cast<std::ptrdiff_t>(put);
      },
      data, length, "\r\n", kAppendChunk);
  if (locked) UnlockFileEx(file, 0, 1, 0, &turn);
  if (!CloseHandle(file)) written = false;
  return written ? AppendResult::kWritten : AppendResult::kWriteFailed;
}
