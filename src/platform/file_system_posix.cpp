#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/file_system.h"

const char kFolderSeparator = '/';

namespace {

constexpr size_t kCopyBlock = 64 * 1024;

/// Writes all of data, across short writes and interruptions.
bool writeAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t put = write(fd, data, size);
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += put;
    size -= static_cast<size_t>(put);
  }
  return true;
}

/// Copies the bytes and the metadata from in to the freshly created out.
bool fillTarget(int in, int out, const struct stat& source) {
  char buffer[kCopyBlock];
  for (;;) {
    ssize_t got = read(in, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) break;
    if (!writeAll(out, buffer, static_cast<size_t>(got))) return false;
  }
  // The creation mode was narrowed by the umask; the copy keeps the source's.
  if (fchmod(out, source.st_mode & 0777) != 0) return false;
  const struct timespec times[2] = {source.st_atim, source.st_mtim};
  return futimens(out, times) == 0;
}

}  // namespace

bool isFolderSeparator(char c) { return c == '/'; }

bool pathExists(const char* path) {
  struct stat status;
  return stat(path, &status) == 0;
}

bool createFolder(const char* path) { return mkdir(path, 0777) == 0; }

bool copyFileNoOverwrite(const char* source, const char* target) {
  int in = open(source, O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat status;
  if (fstat(in, &status) != 0) {
    int error = errno;
    close(in);
    errno = error;
    return false;
  }
  int out = open(target, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, status.st_mode & 0777);
  if (out < 0) {
    int error = errno;
    close(in);
    errno = error;
    return false;
  }
  bool copied = fillTarget(in, out, status);
  int error = errno;
  // A close that fails may have lost buffered data on network file systems.
  if (close(out) != 0 && copied) {
    copied = false;
    error = errno;
  }
  close(in);
  if (!copied) {
    unlink(target);  // never leave a truncated copy behind
    errno = error;
  }
  return copied;
}

int lastSystemError() { return errno; }

std::string systemErrorText(int code) { return std::string(std::strerror(code)) + "\n"; }

bool deleteFile(const char* path) { return unlink(path) == 0; }

bool isOpenFolder(std::FILE* file) {
  struct stat status;
  return fstat(fileno(file), &status) == 0 && S_ISDIR(status.st_mode);
}

bool replaceFile(const char* from, const char* to) { return std::rename(from, to) == 0; }

unsigned long currentProcessId() { return static_cast<unsigned long>(getpid()); }

std::FILE* binaryStandardInput() { return stdin; }
