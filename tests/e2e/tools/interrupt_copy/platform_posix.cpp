#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include "platform.h"

extern char** environ;

Child::~Child() {
  if (id_ != 0 && !ended_) kill();
}

bool Child::start(const std::string& program, const std::vector<std::string>& args) {
  std::vector<std::string> words = {program};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t child;
  int failed = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) return false;
  id_ = static_cast<unsigned long>(child);
  return true;
}

bool Child::ended() {
  if (!ended_) {
    int status;
    ended_ = waitpid(static_cast<pid_t>(id_), &status, WNOHANG) != 0;
  }
  return ended_;
}

void Child::kill() {
  if (ended_) return;
  ::kill(static_cast<pid_t>(id_), SIGKILL);
  int status;
  while (waitpid(static_cast<pid_t>(id_), &status, 0) < 0 && errno == EINTR) {
  }
  ended_ = true;
}
