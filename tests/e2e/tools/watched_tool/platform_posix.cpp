#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform.h"

extern char** environ;

void useBinaryStreams() {}

std::string ownPath(const char* argv0) { return argv0; }

namespace {

/// Starts program with args, its stdout and stderr into outputFile when that
/// is not empty; the child's id, or -1 when it did not start.
pid_t spawnProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::string& outputFile, bool detached) {
  std::vector<std::string> words = {program};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  if (!outputFile.empty()) {
    posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
  }
  if (detached) {
    for (int fd : {0, 1, 2}) posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  }
  pid_t child;
  int failed = posix_spawn(&child, program.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return failed != 0 ? -1 : child;
}

int waitFor(pid_t child) {
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

int startProgram(const std::string& program, const std::vector<std::string>& args,
                 const std::string& outputFile, bool wait) {
  pid_t child = spawnProgram(program, args, outputFile, false);
  if (child < 0) return -1;
  return wait ? waitFor(child) : 0;
}

int startDetached(const std::string& program, const std::vector<std::string>& args) {
  return spawnProgram(program, args, "", true) < 0 ? -1 : 0;
}

std::vector<int> runTogether(int count, const std::string& program,
                             const std::vector<std::string>& args,
                             const std::string& outputPrefix) {
  std::vector<pid_t> children;
  for (int i = 1; i <= count; ++i) {
    children.push_back(spawnProgram(program, args, outputPrefix + "." + std::to_string(i), false));
  }
  std::vector<int> statuses;
  for (pid_t child : children) statuses.push_back(child < 0 ? -1 : waitFor(child));
  return statuses;
}

bool serveOnce(const std::string& path, const std::string& content,
               const std::function<void()>& announce, int timeoutMs) {
  if (mkfifo(path.c_str(), 0600) != 0 && errno != EEXIST) return false;
  announce();
  // Opening for writing without blocking fails until a reader has it open.
  int fd = -1;
  for (int waited = 0; fd < 0 && waited < timeoutMs; waited += 5) {
    fd = open(path.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd < 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  bool served = fd >= 0;
  if (served) {
    fcntl(fd, F_SETFL, 0);
    for (size_t at = 0; at < content.size();) {
      ssize_t put = write(fd, content.data() + at, content.size() - at);
      if (put <= 0) break;
      at += static_cast<size_t>(put);
    }
    close(fd);
  }
  unlink(path.c_str());
  return served;
}

bool signalParent(int signal) { return kill(getppid(), signal) == 0; }
