// The entry: walks the options, prepares and checks the rules, runs the
// chosen mode and judges the run by its totals.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "analysis/listing_files.h"
#include "analysis/log_reader.h"
#include "driver/fatal.h"
#include "platform/code_page.h"
#include "platform/file_system.h"
#include "rules/builtin_rules.h"
#include "rules/configuration.h"
#include "rules/rule_set.h"
#include "rules/variable_table.h"
#include "runner/exec_mode.h"
#include "scan/code_scan.h"

namespace {

struct CommandLine {
  bool execRequested = false;
  bool logRequested = false;
  bool scanRequested = false;
  bool sanitizeRequested = false;
  const char* logFileName = nullptr;  // shared by -log and -scan
  const char* configFileName = nullptr;
  int commandStart = 0;
};

/// "-Dname=value": split at the first "=" and defined at once.
void defineVariable(const char* argument) {
  const char* text = argument + 2;
  const char* equals = std::strchr(text, '=');
  if (equals == nullptr) exitWithUsage("Argument must be of the form -Dname=value");
  std::string name(text, equals);
  variables.define(name.c_str(), std::string(equals + 1));
}

CommandLine walkOptions(int argc, char** argv) {
  CommandLine options;
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    bool hasValue = i + 1 < argc;
    if (std::strcmp(argument, "-exec") == 0) {
      options.execRequested = true;
      options.commandStart = i;
      break;
    } else if (std::strcmp(argument, "-log") == 0) {
      if (!hasValue) exitWithUsage("-log requires a filename");
      options.logRequested = true;
      options.logFileName = argv[++i];
    } else if (std::strcmp(argument, "-scan") == 0) {
      if (!hasValue) exitWithUsage("-scan requires a filename");
      options.scanRequested = true;
      options.logFileName = argv[++i];
    } else if (std::strcmp(argument, "-cfg") == 0) {
      if (!hasValue) exitWithUsage("-cfg requires a filename");
      options.configFileName = argv[++i];
    } else if (std::strncmp(argument, "-D", 2) == 0) {
      defineVariable(argument);
    } else if (std::strcmp(argument, "-nopurge") == 0) {
      purgeEnabled = false;
    } else if (std::strcmp(argument, "-debug") == 0) {
      debugEnabled = true;
    } else if (std::strcmp(argument, "-sanitize") == 0) {
      options.sanitizeRequested = true;
    }
  }
  return options;
}

void validateCopyRules() {
  for (const auto& rule : ruleSet.copyRules) {
    if (rule->destination == nullptr) {
      exitWithError("ERROR: copy '%s' does not specify a destination\n",
                    rule->pattern != nullptr ? rule->pattern : "(null)");
    }
    if (!pathExists(rule->destination)) {
      exitWithError("ERROR: destination folder '%s' does not exist\n", rule->destination);
    }
  }
}

int printSummary(int result) {
  const RunTotals& totals = runTotals;
  std::printf("success:   %d\nfailure:   %d\nignore:    %d\nsummary:   %d\nunmatched: %d\n",
              totals.successCount, totals.failureCount, totals.ignoreCount, totals.summaryCount,
              totals.unmatchedCount);
  bool withCopyRules = !ruleSet.copyRules.empty();
  if (withCopyRules) {
    std::printf("copied:    %d\ncopy fail: %d\n", totals.copiedCount, totals.copyFailCount);
  }
  if (totals.successCount == 0 && totals.summaryCount == 0) {
    exitWithError("ERROR: Nothing was processed\n");
  }
  if (totals.failureCount != 0) std::printf("%d failures detected\n", totals.failureCount);
  if (debugEnabled) {
    for (const auto& file : ruleSet.listingFiles) {
      std::printf("%s\t%d\n", file->path.c_str(), file->entriesWritten);
    }
  }
  if (withCopyRules && totals.copyFailCount != 0) exitWithError("ERROR: File copy failed\n");
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  if (!argumentsArriveWhole()) {
    exitWithError(
        "ERROR: The command line holds characters the system code page cannot represent\n");
  }
  if (argc < 3) exitWithUsage("Insufficient arguments");
  CommandLine options = walkOptions(argc, argv);

  if (options.scanRequested) {
    scanCodes(options.logFileName);
    return 0;
  }

  if (options.configFileName != nullptr) {
    loadConfiguration(options.configFileName);
  } else {
    loadBuiltinRules();
  }
  validateCopyRules();
  // No listing file may be the configuration or the log the mode analyses.
  std::string execLog = options.execRequested ? finalLogPath(argc - options.commandStart - 1,
                                                             argv + options.commandStart + 1,
                                                             options.sanitizeRequested)
                                              : std::string();
  rejectListingFileClashes(options.configFileName,
                           options.execRequested ? execLog.c_str() : options.logFileName);
  if (!ruleSet.listingFiles.empty() && purgeEnabled) purgeListingFiles();
  compileAllRules(options.execRequested);

  int result = 0;
  if (options.execRequested) {
    int wordCount = argc - options.commandStart - 1;
    char** words = argv + options.commandStart + 1;
    char** sanitized = nullptr;
    if (options.sanitizeRequested) words = sanitized = sanitizeArguments(wordCount, words);
    result = execMode(wordCount, words);
    std::free(sanitized);
  } else if (options.logRequested) {
    processLogFile(options.logFileName);
  } else {
    exitWithUsage("Invalid mode");
  }
  result = printSummary(result);
  std::fflush(stdout);
  return result;
}
