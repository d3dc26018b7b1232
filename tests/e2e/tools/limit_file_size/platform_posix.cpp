#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include "platform.h"

void runLimited(unsigned long long bytes, const std::string& program,
                const std::vector<std::string>& args) {
  rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
  if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return;
  signal(SIGXFSZ, SIG_DFL);
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  execv(argv[0], argv.data());
}
