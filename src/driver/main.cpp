// The entry: walks the options, prepares and checks the rules, runs the
// chosen mode and judges the run by its totals.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "analysis/listing_files.h"
#include "analysis/log_reader.h"
#include "base/fatal.h"
#include "driver/help.h"
#include "driver/options.h"
#include "driver/usage.h"
#include "platform/code_page.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/text_output.h"
#include "record/run_record.h"
#include "report/console_printer.h"
#include "report/github_annotations.h"
#include "report/html_report.h"
#include "report/json_report.h"
#include "report/junit_report.h"
#include "report/report_file.h"
#include "rules/builtin_rules.h"
#include "rules/configuration.h"
#include "rules/rule_set.h"
#include "rules/variable_table.h"
#include "runner/exec_mode.h"
#include "scan/code_scan.h"

namespace {

/// A long build must not run only to lose its report: each report's folder
/// must exist before anything else happens.
void checkReportFolders(const CommandLine& options) {
  for (const char* report : {options.jsonFile, options.junitFile, options.htmlFile}) {
    if (report != nullptr && !reportFolderExists(report)) {
      exitWithError("ERROR: Report folder for '%s' does not exist\n", report);
    }
  }
}

/// The quality gates, after everything else a run prints: the tool's exit
/// code, then the failures, then the unmatched lines.
void checkGates(const CommandLine& options) {
  const RunTotals& totals = runRecord.totals();
  if (options.toolStatusGate && runRecord.toolRan() && runRecord.toolExitCode() != 0) {
    exitWithError("ERROR: The tool ended with exit code %s\n",
                  exitCodeText(runRecord.toolExitCode()).c_str());
  }
  if (options.maxFailures >= 0 && totals.failureCount > options.maxFailures) {
    exitWithError("ERROR: %d failures, more than the %lld allowed\n", totals.failureCount,
                  options.maxFailures);
  }
  if (options.maxUnmatched >= 0 && totals.unmatchedCount > options.maxUnmatched) {
    exitWithError("ERROR: %d unmatched lines, more than the %lld allowed\n", totals.unmatchedCount,
                  options.maxUnmatched);
  }
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

/// Prints the counters and judges the run by them: ends it through the
/// fatal path when nothing was processed or a copy failed.
int printSummary(int result) {
  const RunTotals& totals = runRecord.totals();
  runRecord.message("success:   %d\nfailure:   %d\nignore:    %d\nsummary:   %d\nunmatched: %d\n",
                    totals.successCount, totals.failureCount, totals.ignoreCount,
                    totals.summaryCount, totals.unmatchedCount);
  bool withCopyRules = !ruleSet.copyRules.empty();
  if (withCopyRules) {
    runRecord.message("copied:    %d\ncopy fail: %d\n", totals.copiedCount, totals.copyFailCount);
  }
  if (totals.successCount == 0 && totals.summaryCount == 0) {
    exitWithError("ERROR: Nothing was processed\n");
  }
  if (totals.failureCount != 0) runRecord.message("%d failures detected\n", totals.failureCount);
  if (debugEnabled) {
    for (const auto& file : ruleSet.listingFiles) {
      runRecord.message("%s\t%d\n", file->path.c_str(), file->entriesWritten);
    }
  }
  if (withCopyRules && totals.copyFailCount != 0) exitWithError("ERROR: File copy failed\n");
  return result;
}

/// The end-of-run work of the fatal path: the listeners hear how it ended.
void endRecordedRun(int status, const char* message) { runRecord.runEnded(status, message); }

}  // namespace

int main(int argc, char** argv) {
  bufferForThroughput(stdout);
  if (answerInformationRequest(argc, argv)) return 0;
  if (!argumentsArriveWhole()) {
    exitWithError(
        "ERROR: The command line holds characters the system code page cannot represent\n");
  }
  if (argc < 3) exitWithUsage("Insufficient arguments");
  CommandLine options = walkOptions(argc, argv);
  // Only exec mode starts threads; elsewhere every printed line would pay
  // for a lock nobody else takes.
  if (!options.execRequested) useFromOneThread(stdout);

  if (options.scanRequested) {
    scanCodes(options.logFileName);
    return 0;
  }

  checkReportFolders(options);
  ConsolePrinter console(stdout, debugEnabled);
  runRecord.addListener(&console);
  std::unique_ptr<GithubAnnotations> github;
  if (options.github) {
    github = std::make_unique<GithubAnnotations>(stdout);
    runRecord.addListener(github.get());
  }
  std::unique_ptr<JsonReport> json;
  if (options.jsonFile != nullptr) {
    json = std::make_unique<JsonReport>(options.jsonFile, options.execRequested ? "exec" : "log");
    runRecord.addListener(json.get());
  }
  std::unique_ptr<JunitReport> junit;
  if (options.junitFile != nullptr) {
    junit = std::make_unique<JunitReport>(options.junitFile);
    runRecord.addListener(junit.get());
  }
  std::unique_ptr<HtmlReport> html;
  if (options.htmlFile != nullptr) {
    html = std::make_unique<HtmlReport>(options.htmlFile, options.execRequested ? "exec" : "log");
    runRecord.addListener(html.get());
  }
  setEndOfRunWork(endRecordedRun);

  if (options.configFileName != nullptr) {
    loadConfiguration(options.configFileName);
  } else {
    loadBuiltinRules();
  }
  for (const auto& file : ruleSet.listingFiles) runRecord.listingFile(file->path.c_str());
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
    if (wordCount < 1) exitWithUsage("-exec requires a command to run");
    char** words = argv + options.commandStart + 1;
    char** sanitized = nullptr;
    if (options.sanitizeRequested) words = sanitized = sanitizeArguments(wordCount, words);
    result = execMode(wordCount, words, options.classifyOutput, options.toolStatusGate);
    std::free(sanitized);
  } else if (options.logRequested) {
    processLogFile(options.logFileName);
  } else {
    exitWithUsage("Invalid mode");
  }
  result = printSummary(result);
  checkGates(options);
  setEndOfRunWork(nullptr);
  runRecord.runEnded(result, nullptr);
  std::fflush(stdout);
  return result;
}
