#include "driver/usage.h"

#include <cstdio>
#include <string>

#include "base/fatal.h"

void exitWithUsage(const char* message) {
  std::printf("Tarnwick version 0.10\n");
  std::string error;
  if (message != nullptr) {
    error = std::string("ERROR: ") + message;
    std::printf("%s\n", error.c_str());
  }
  std::printf(
      "Usage:\ttarnwick [-debug] [-sanitize] [-Dname=value] [-cfg <configfile>] -exec "
      "<cmd_to_run> [<arg1> ...]\n"
      "\ttarnwick [-debug] [-Dname=value] [-cfg <configfile>] -log <logfile>\n"
      "\ttarnwick -scan <logfile>\n");
  endRunEarly(message != nullptr ? error.c_str() : nullptr);
}
