// Runs a program under a file-size limit, as "ulimit -f" does, to see how it
// meets writes that fail part-way.
//   limit_file_size BYTES PROGRAM ARGS...
// The limit is set for PROGRAM alone (RLIMIT_FSIZE) and SIGXFSZ keeps its
// default action, which kills a program that does not ignore it. The
// program's streams and exit status are this one's. Prints "unsupported" and
// exits with 2 where the system has no such limit.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "limit_file_size/platform.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("usage: limit_file_size BYTES PROGRAM ARGS...\n", stderr);
    return 2;
  }
  std::vector<std::string> args(argv + 3, argv + argc);
  runLimited(std::strtoull(argv[1], nullptr, 10), argv[2], args);
  std::puts("unsupported");
  return 2;
}
