#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/file_system.h"

const char kFolderSeparator = '/';

// No errno value is negative.
const int kNotRegularFile = -1;

namespace {

constexpr size_t kCopyBlock = 64 * 1024;

CopyStepHook copyStepHook = nullptr;

/// True when a test's hook fails step; errno then holds its code.
bool injectedFault(CopyStep step, const std::string& temporary) {
  if (copyStepHook == nullptr) return false;
  int error = copyStepHook(step, temporary.c_str());
  if (error == 0) return false;
  errno = error;
  return true;
}

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

/// Copies every byte of in to out. With a temporary name, a test's hook may
/// fail the copy once the first block is written.
bool copyBytes(int in, int out, const std::string* temporary) {
  char buffer[kCopyBlock];
  bool asked = temporary == nullptr;
  for (;;) {
    ssize_t got = read(in, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) break;
    if (!writeAll(out, buffer, static_cast<size_t>(got))) return false;
    if (!asked) {
      asked = true;
      if (injectedFault(CopyStep::kData, *temporary)) return false;
    }
  }
  return asked || !injectedFault(CopyStep::kData, *temporary);
}

/// Gives out the source's permission bits and times where the file system
/// allows. Best effort, as with cp: vfat, exFAT and some CIFS mounts refuse
/// them, and the copy is good without.
void copyMetadata(int out, const struct stat& source, const std::string& temporary) {
  // The creation mode was narrowed by the umask; the copy keeps the source's.
  if (!injectedFault(CopyStep::kPermissions, temporary)) fchmod(out, source.st_mode & 0777);
  const struct timespec times[2] = {source.st_atim, source.st_mtim};
  if (!injectedFault(CopyStep::kTimes, temporary)) futimens(out, times);
}

/// Fills out from in, sets the metadata and flushes it to stable storage.
bool fillFile(int in, int out, const struct stat& source, const std::string& temporary,
              bool hooked) {
  if (!copyBytes(in, out, hooked ? &temporary : nullptr)) return false;
  copyMetadata(out, source, temporary);
  if (injectedFault(CopyStep::kFlush, temporary)) return false;
  // Told once done, so that a test sees that the flush happened at all.
  return fsync(out) == 0 && !injectedFault(CopyStep::kFlushed, temporary);
}

/// Closes fd, a file the copy wrote. A close that fails may have lost
/// buffered data on network file systems: false then, with errno set.
bool closeWritten(int fd, const std::string& temporary) {
  bool injected = injectedFault(CopyStep::kClose, temporary);
  int error = errno;
  bool closed = close(fd) == 0;
  if (injected) errno = error;
  return closed && !injected;
}

/// Errors of a rename without replacing that the file system or kernel
/// cannot do at all, rather than one that failed for this file.
bool renameUnsupported(int error) {
  return error == EINVAL || error == ENOSYS || error == EPERM || error == EOPNOTSUPP ||
         error == ENOTSUP;
}

/// Likewise for a hard link (vfat, exFAT).
bool linkUnsupported(int error) {
  return error == ENOSYS || error == EPERM || error == EOPNOTSUPP || error == ENOTSUP;
}

enum class Move { kDone, kFailed, kUnsupported };

/// Gives the finished temporary file the target's name in one step that fails
/// with EEXIST when the name is taken.
Move moveWithoutReplacing(const std::string& temporary, const char* target) {
#ifdef RENAME_NOREPLACE
  if (!injectedFault(CopyStep::kRename, temporary) &&
      renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target, RENAME_NOREPLACE) == 0) {
    return Move::kDone;
  }
  if (!renameUnsupported(errno)) return Move::kFailed;
#endif
  // Older kernels and NFS cannot rename that way; a hard link refuses an
  // existing name too, and the temporary name then goes.
  if (!injectedFault(CopyStep::kLink, temporary) && link(temporary.c_str(), target) == 0) {
    unlink(temporary.c_str());
    return Move::kDone;
  }
  return linkUnsupported(errno) ? Move::kUnsupported : Move::kFailed;
}

/// The last resort on a file system that can neither rename without
/// replacing nor link: the finished temporary file is copied into a target
/// created exclusively, as a plain copy would be. It still never overwrites;
/// only a kill during this second copy could leave the target partial.
bool copyIntoNewTarget(const std::string& temporary, const char* target,
                       const struct stat& source) {
  int in = open(temporary.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  int out = open(target, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, source.st_mode & 0777);
  if (out < 0) {
    int error = errno;
    close(in);
    errno = error;
    return false;
  }
  bool copied = fillFile(in, out, source, temporary, false);
  int error = errno;
  if (!closeWritten(out, temporary) && copied) {
    copied = false;
    error = errno;
  }
  if (!copied) unlink(target);
  close(in);
  errno = error;
  return copied;
}

/// Opens the regular file source for reading, with its status. A FIFO would
/// block the open until a writer came and a device could give data without
/// end: anything but a regular file fails with kNotRegularFile. A folder
/// keeps the error it always gave (reading it fails).
int openSource(const char* source, struct stat* status) {
  if (stat(source, status) != 0) return -1;
  bool copyable = S_ISREG(status->st_mode) || S_ISDIR(status->st_mode);
  if (copyable) {
    // Checked again on what was opened, should the name have changed since;
    // O_NONBLOCK keeps the open of a FIFO put there from waiting.
    int in = open(source, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (in < 0) return -1;
    if (fstat(in, status) != 0) {
      int error = errno;
      close(in);
      errno = error;
      return -1;
    }
    if (S_ISREG(status->st_mode) || S_ISDIR(status->st_mode)) return in;
    close(in);
  }
  errno = kNotRegularFile;
  return -1;
}

/// Creates the temporary file exclusively. One of its name can only be left
/// by a killed run whose process id this one now has: it is replaced.
int createTemporary(const std::string& temporary, const struct stat& source) {
  const int flags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
  int out = open(temporary.c_str(), flags, source.st_mode & 0777);
  if (out < 0 && errno == EEXIST && unlink(temporary.c_str()) == 0) {
    out = open(temporary.c_str(), flags, source.st_mode & 0777);
  }
  return out;
}

}  // namespace

bool isFolderSeparator(char c) { return c == '/'; }

bool isRootedPath(const char* path) { return path[0] == '/'; }

bool sameNameCharacter(char a, char b) { return a == b; }

bool pathExists(const char* path) {
  struct stat status;
  return stat(path, &status) == 0;
}

bool createFolder(const char* path) { return mkdir(path, 0777) == 0; }

void setCopyStepHook(CopyStepHook hook) { copyStepHook = hook; }

bool copyFileNoOverwrite(const char* source, const char* target) {
  struct stat status;
  int in = openSource(source, &status);
  if (in < 0) return false;
  // An existing target fails before any data is copied; the final move
  // catches one that appears meanwhile.
  struct stat existing;
  if (lstat(target, &existing) == 0) {
    close(in);
    errno = EEXIST;
    return false;
  }
  const std::string temporary = temporaryCopyName(target, static_cast<unsigned long>(getpid()));
  int out = createTemporary(temporary, status);
  if (out < 0) {
    int error = errno;
    close(in);
    errno = error;
    return false;
  }
  bool copied = fillFile(in, out, status, temporary, true);
  int error = errno;
  if (!closeWritten(out, temporary) && copied) {
    copied = false;
    error = errno;
  }
  if (copied) {
    switch (moveWithoutReplacing(temporary, target)) {
      case Move::kDone:
        close(in);
        return true;
      case Move::kUnsupported:
        copied = copyIntoNewTarget(temporary, target, status);
        break;
      case Move::kFailed:
        copied = false;
        break;
    }
    error = errno;
  }
  close(in);
  unlink(temporary.c_str());  // never left behind
  errno = error;
  return copied;
}

int lastSystemError() { return errno; }

std::string systemErrorText(int code) {
  if (code == kNotRegularFile) return "Not a regular file\n";
  return std::string(std::strerror(code)) + "\n";
}

bool deleteFile(const char* path) { return unlink(path) == 0; }

bool isOpenFolder(std::FILE* file) {
  struct stat status;
  return fstat(fileno(file), &status) == 0 && S_ISDIR(status.st_mode);
}

bool replaceFile(const char* from, const char* to) { return std::rename(from, to) == 0; }

PathKind pathKind(const char* path) {
  struct stat status;
  if (stat(path, &status) != 0) return PathKind::kMissing;
  if (S_ISREG(status.st_mode)) return PathKind::kRegularFile;
  return S_ISDIR(status.st_mode) ? PathKind::kFolder : PathKind::kOther;
}

std::FILE* createNewFile(const char* path) {
  // O_EXCL alone already refuses a link; O_NOFOLLOW says so on every system.
  const int flags = O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  int fd = open(path, flags, 0666);
  if (fd < 0 && errno == EEXIST && unlink(path) == 0) fd = open(path, flags, 0666);
  if (fd < 0) return nullptr;
  std::FILE* file = fdopen(fd, "w+b");
  if (file == nullptr) close(fd);
  return file;
}

std::FILE* openForWriting(const char* path) {
  int fd = open(path, O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  std::FILE* file = fdopen(fd, "wb");
  if (file == nullptr) close(fd);
  return file;
}

int standardStreamOf(const char* path) {
  struct stat named;
  if (stat(path, &named) != 0) return 0;
  for (int fd : {1, 2}) {
    struct stat stream;
    if (fstat(fd, &stream) == 0 && stream.st_dev == named.st_dev && stream.st_ino == named.st_ino) {
      return fd;
    }
  }
  return 0;
}

std::string linkTarget(const std::string& path) {
  std::string current = path;
  // As many links as the kernel itself follows; a loop stops there.
  for (int hop = 0; hop < 40; ++hop) {
    struct stat status;
    if (lstat(current.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) break;
    char buffer[PATH_MAX];
    ssize_t length = readlink(current.c_str(), buffer, sizeof buffer);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer) break;
    std::string next(buffer, static_cast<size_t>(length));
    size_t slash = current.rfind('/');
    if (next[0] != '/' && slash != std::string::npos) next = current.substr(0, slash + 1) + next;
    current = next;
  }
  return current;
}

bool truncateOpenFile(std::FILE* file, long long size) {
  return std::fflush(file) == 0 && ftruncate(fileno(file), static_cast<off_t>(size)) == 0 &&
         fseeko(file, static_cast<off_t>(size), SEEK_SET) == 0;
}

bool nameFitsFolder(const char* path) {
  const char* slash = std::strrchr(path, '/');
  std::string folder = slash == nullptr ? "." : slash == path ? "/" : std::string(path, slash);
  size_t length = std::strlen(slash == nullptr ? path : slash + 1);
  long longest = pathconf(folder.c_str(), _PC_NAME_MAX);
  return longest < 0 || length <= static_cast<size_t>(longest);
}

std::FILE* openFile(const char* path, const char* mode) { return std::fopen(path, mode); }

unsigned long currentProcessId() { return static_cast<unsigned long>(getpid()); }

std::FILE* binaryStandardInput() { return stdin; }
