#include "driver/usage.h"

#include <cstdio>
#include <string>

#include "base/fatal.h"
#include "driver/help.h"

void exitWithUsage(const char* message) {
  printBanner();
  std::string error;
  if (message != nullptr) {
    error = std::string("ERROR: ") + message;
    std::printf("%s\n", error.c_str());
  }
  printUsage();
  endRunEarly(message != nullptr ? error.c_str() : nullptr);
}
