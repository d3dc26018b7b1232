#include "platform/process.h"

#include <cstdarg>
#include <cstdio>

void reportExecuteError(const char* format, ...) {
  std::printf("ERROR: ");
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::printf("\n");
  std::fflush(stdout);
}
