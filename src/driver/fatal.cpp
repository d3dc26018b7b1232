#include "driver/fatal.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

void exitWithError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fflush(stdout);
#if defined(TARNWICK_FATAL_THROWS)
  throw FatalExit{1};
#endif
  std::exit(1);
}

void exitWithUsage(const char* message) {
  std::printf("Tarnwick version 0.10\n");
  if (message != nullptr) std::printf("ERROR: %s\n", message);
  std::printf(
      "Usage:\ttarnwick [-debug] [-sanitize] [-Dname=value] [-cfg <configfile>] -exec "
      "<cmd_to_run> [<arg1> ...]\n"
      "\ttarnwick [-debug] [-Dname=value] [-cfg <configfile>] -log <logfile>\n"
      "\ttarnwick -scan <logfile>\n");
  std::fflush(stdout);
#if defined(TARNWICK_FATAL_THROWS)
  throw FatalExit{1};
#endif
  std::exit(1);
}
