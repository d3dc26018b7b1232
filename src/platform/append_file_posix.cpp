#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/append_file.h"

AppendResult appendLine(const char* path, const char* data, size_t length, bool truncate) {
  // O_APPEND moves to the end and writes as one step, whoever else appends.
  int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | (truncate ? O_TRUNC : 0);
  int fd = open(path, flags, 0666);
  if (fd < 0) return AppendResult::kOpenFailed;
  bool written = writeLineInChunks(
      [fd](const char* bytes, size_t count) -> std::ptrdiff_t {
        for (;;) {
          ssize_t put = write(fd, bytes, count);
          if (put >= 0 || errno != EINTR) return put;
        }
      },
      data, length, "\n", kAppendChunk);
  // A close that fails may have lost the data on network file systems.
  if (close(fd) != 0) written = false;
  return written ? AppendResult::kWritten : AppendResult::kWriteFailed;
}
