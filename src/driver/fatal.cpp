#include "driver/fatal.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "driver/help.h"

void exitWithError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fflush(stdout);
  std::exit(1);
}

void exitWithUsage(const char* message) {
  printBanner();
  if (message != nullptr) std::printf("ERROR: %s\n", message);
  printUsage();
  std::fflush(stdout);
  std::exit(1);
}
