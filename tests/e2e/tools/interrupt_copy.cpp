// Stops a program in the middle of a copy, as a CI job's timeout or a power
// loss stops a run: starts it, watches the temporary file its copy writes
// and the target, and kills it hard the moment either holds data.
//   interrupt_copy SOURCE TARGET TEMPORARY PROGRAM ARGS...
// TEMPORARY names the temporary file of the copy of SOURCE to TARGET, with
// "%p" for the program's process id. The program's input and output are the
// null device. A program that ends before it was seen copying, or finishes
// the copy before the kill lands, is started again, its whole TARGET deleted
// first, up to kAttempts times. Prints "stopped mid-copy" and exits with 0;
// prints "never stopped" or, when the kill left a TARGET that is not whole,
// "partial target", and exits with 1.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "interrupt_copy/platform.h"

namespace {

constexpr int kAttempts = 20;

std::string withProcessId(const std::string& pattern, unsigned long id) {
  std::string path = pattern;
  size_t at = path.find("%p");
  if (at != std::string::npos) path.replace(at, 2, std::to_string(id));
  return path;
}

/// The size of the file at path, or -1 when there is none.
long long sizeOf(const std::string& path) {
  std::error_code error;
  auto size = std::filesystem::file_size(path, error);
  return error ? -1 : static_cast<long long>(size);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: interrupt_copy SOURCE TARGET TEMPORARY PROGRAM ARGS...\n");
    return 2;
  }
  const long long whole = sizeOf(argv[1]);
  const std::string target = argv[2];
  const std::string pattern = argv[3];
  const std::string program = argv[4];
  const std::vector<std::string> args(argv + 5, argv + argc);
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::error_code ignored;
    std::filesystem::remove(target, ignored);
    Child child;
    if (!child.start(program, args)) {
      std::printf("cannot start %s\n", program.c_str());
      return 2;
    }
    const std::string temporary = withProcessId(pattern, child.id());
    for (;;) {
      if (sizeOf(temporary) > 0 || sizeOf(target) > 0) {
        child.kill();
        long long left = sizeOf(target);
        if (left < 0) {
          std::printf("stopped mid-copy\n");
          return 0;
        }
        if (left != whole) {
          std::printf("partial target\n");
          return 1;
        }
        break;  // the copy was done before the kill: again
      }
      if (child.ended()) break;
      std::this_thread::yield();
    }
  }
  std::printf("never stopped\n");
  return 1;
}
