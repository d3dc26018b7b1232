// The watched tool on POSIX: fork and execvp with the three pipe ends as the
// child's standard streams. Every pipe end is made close-on-exec, so the
// child keeps only its three standard streams and no descendant ever holds
// a parent's end; the child's dup2 onto 0, 1 and 2 makes those inheritable.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/command_line.h"
#include "platform/process.h"
#include "platform/signals.h"

namespace {

void closeIfOpen(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

std::ptrdiff_t readRetrying(int fd, char* into, size_t room) {
  for (;;) {
    ssize_t got = read(fd, into, room);
    if (got >= 0 || errno != EINTR) return got;
  }
}

void readerThread(int fd, StreamConsumer consumer) {
  consumer([fd](char* into, size_t room) { return readRetrying(fd, into, room); });
}

/// Starts the reader of fd; a reader that cannot start gets its pipe closed,
/// so that the child's writes fail instead of filling the pipe for ever.
std::thread startReader(int& fd, StreamConsumer handler, const char* name,
                        ExecuteErrorSink onError) {
  try {
    return std::thread(readerThread, fd, handler);
  } catch (const std::system_error& error) {
    int code = error.code().value();
    onError(executeError(code, "Execute - Error creating %s, ThreadError=%ld", name,
                         static_cast<long>(code)));
    closeIfOpen(fd);
    return std::thread();
  }
}

/// The child's side of fork: only async-signal-safe calls. An exec failure
/// goes back to the parent as errno through the status pipe.
[[noreturn]] void runChild(const int streams[3], int statusPipe, char* const* argv) {
  // The tool gets Ctrl+C and a file-size limit as it would without us.
  restoreSignalsForChild();
  // Moved above 2 first, so that no dup2 overwrites an end still needed.
  int moved[3] = {-1, -1, -1};
  for (int i = 0; i < 3; ++i) {
    moved[i] = fcntl(streams[i], F_DUPFD_CLOEXEC, 3);
    if (moved[i] < 0) break;
  }
  if (moved[0] >= 0 && moved[1] >= 0 && moved[2] >= 0 && dup2(moved[0], 0) == 0 &&
      dup2(moved[1], 1) == 1 && dup2(moved[2], 2) == 2) {
    execvp(argv[0], argv);
  }
  int error = errno;
  ssize_t ignored = write(statusPipe, &error, sizeof error);
  (void)ignored;
  _exit(127);
}

}  // namespace

std::string exitCodeText(int32_t exitCode) { return std::to_string(exitCode); }

int32_t Execute(char* commandLine, uint32_t* exitCode, StreamConsumer onStdout,
                StreamConsumer onStderr, ExecuteErrorSink onError) {
  int stdinPipe[2], stdoutPipe[2], stderrPipe[2], statusPipe[2];
  if (pipe2(stdinPipe, O_CLOEXEC) != 0) {
    onError(executeError(errno, "Execute - Couldn't create StdIn pipe"));
    return -1;
  }
  if (pipe2(stdoutPipe, O_CLOEXEC) != 0) {
    onError(executeError(errno, "Execute - Couldn't create StdOut pipe"));
    return -1;
  }
  if (pipe2(stderrPipe, O_CLOEXEC) != 0) {
    onError(executeError(errno, "Execute - Couldn't create StdErr pipe"));
    return -1;
  }

  // Everything the child needs is made before fork: it may not allocate.
  std::vector<std::string> words = splitCommandLine(commandLine);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);

  int startError = 0;
  pid_t child = -1;
  if (pipe2(statusPipe, O_CLOEXEC) != 0) {
    startError = errno;
  } else {
    const int streams[3] = {stdinPipe[0], stdoutPipe[1], stderrPipe[1]};
    child = fork();
    if (child == 0) runChild(streams, statusPipe[1], argv.data());
    if (child < 0) startError = errno;
    close(statusPipe[1]);
    if (child > 0) {
      // Closed by a successful exec: no bytes. A failed one sends its errno.
      int childError = 0;
      ssize_t got;
      do {
        got = read(statusPipe[0], &childError, sizeof childError);
      } while (got < 0 && errno == EINTR);
      if (got == static_cast<ssize_t>(sizeof childError)) {
        startError = childError != 0 ? childError : ENOEXEC;
        int ignored;
        while (waitpid(child, &ignored, 0) < 0 && errno == EINTR) {
        }
      }
    }
    close(statusPipe[0]);
  }
  if (startError != 0) {
    onError(executeError(startError, "Execute - Couldn't create process, %s", commandLine));
    for (int* ends : {stdinPipe, stdoutPipe, stderrPipe}) {
      close(ends[0]);
      close(ends[1]);
    }
    return startError;
  }

  // From here the child and its descendants hold the only write ends, and
  // the child's stdin is at end of input.
  close(stdoutPipe[1]);
  close(stderrPipe[1]);
  close(stdinPipe[0]);
  close(stdinPipe[1]);

  int stdoutRead = stdoutPipe[0];
  int stderrRead = stderrPipe[0];
  std::thread outThread = startReader(stdoutRead, onStdout, "OutThread", onError);
  std::thread errThread = startReader(stderrRead, onStderr, "ErrThread", onError);

  int status = 0;
  pid_t waited;
  do {
    waited = waitpid(child, &status, 0);
  } while (waited < 0 && errno == EINTR);
  if (waited < 0) {
    onError(executeError(errno, "GetExitCodeProcess fails\n"));
  } else if (WIFSIGNALED(status)) {
    *exitCode = 128 + static_cast<uint32_t>(WTERMSIG(status));
  } else {
    *exitCode = static_cast<uint32_t>(WEXITSTATUS(status));
  }

  if (outThread.joinable()) outThread.join();
  if (errThread.joinable()) errThread.join();
  closeIfOpen(stdoutRead);
  closeIfOpen(stderrRead);
  return 0;
}
