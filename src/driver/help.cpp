#include "driver/help.h"

#include <cstdio>
#include <cstring>

#include "driver/options.h"
#include "tarnwick_version.h"

InformationRequest informationRequest(int argc, const char* const* argv) {
  if (argc != 2) return InformationRequest::none;
  if (std::strcmp(argv[1], "--help") == 0) return InformationRequest::help;
  if (std::strcmp(argv[1], "--version") == 0) return InformationRequest::version;
  return InformationRequest::none;
}

bool answerInformationRequest(int argc, const char* const* argv) {
  switch (informationRequest(argc, argv)) {
    case InformationRequest::help:
      printBanner();
      printUsage();
      printOptionList();
      break;
    case InformationRequest::version:
      std::printf("tarnwick %s\n", TARNWICK_VERSION);
      break;
    case InformationRequest::none:
      return false;
  }
  std::fflush(stdout);
  return true;
}

void printBanner() { std::printf("Tarnwick version %s\n", TARNWICK_VERSION); }

void printUsage() {
  std::printf(
      "Usage:\ttarnwick [-debug] [-sanitize] [-Dname=value] [-cfg <configfile>] -exec "
      "<cmd_to_run> [<arg1> ...]\n"
      "\ttarnwick [-debug] [-Dname=value] [-cfg <configfile>] -log <logfile>\n"
      "\ttarnwick -scan <logfile>\n");
}
