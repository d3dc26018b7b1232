#include <errno.h>
#include <fcntl.h>
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

int startProgram(const std::string& program, const std::vector<std::string>& args,
                 const std::string& outputFile, bool wait) {
  std::vector<std::string> words = {program};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!outputFile.empty()) {
    posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
  }
  pid_t child;
  int failed = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) return -1;
  if (!wait) return 0;
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
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
