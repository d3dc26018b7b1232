// The entry: walks the options, prepares and checks the rules, runs the
// chosen mode and judges the run by its totals.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "analysis/listing_files.h"
#include "analysis/log_reader.h"
#include "base/fatal.h"
#include "driver/help.h"
#include "driver/options.h"
#include "driver/report_checks.h"
#include "driver/usage.h"
#include "platform/code_page.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/signals.h"
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

/// The reports asked for, in the order they are made.
std::vector<ReportRequest> reportRequests(const CommandLine& options) {
  std::vector<ReportRequest> reports;
  if (options.jsonFile != nullptr) reports.push_back({"-json", options.jsonFile});
  if (options.junitFile != nullptr) reports.push_back({"-junit", options.junitFile});
  if (options.htmlFile != nullptr) reports.push_back({"-html", options.htmlFile});
  return reports;
}

/// The log exec mode analyses once the tool ended (-o/-oa), or empty.
std::string execLogOf(const CommandLine& options, int argc, char** argv) {
  if (!options.execRequested) return std::string();
  return finalLogPath(argc - options.commandStart - 1, argv + options.commandStart + 1,
                      options.sanitizeRequested);
}

/// A long build must not run only to lose its report, nor end by writing
/// it over a file it read: checked before anything else happens.
void checkReports(const CommandLine& options, int argc, char** argv) {
  checkReportTargets(reportRequests(options), options.configFileName,
                     options.logRequested ? options.logFileName : nullptr,
                     execLogOf(options, argc, argv));
}

/// The configuration files the run read: the one named, then those it
/// included.
std::vector<std::string> configurationFiles(const CommandLine& options) {
  if (options.configFileName == nullptr) return {};
  std::vector<std::string> files = {options.configFileName};
  for (const std::string& included : includedConfigurationFiles()) files.push_back(included);
  return files;
}

/// Scan mode writes only its listing and a JSON report: the other reports
/// and the gates, which judge a classified run, are refused rather than
/// silently ignored.
void checkScanOptions(const CommandLine& options) {
  const std::pair<const char*, bool> refused[] = {{"-junit", options.junitFile != nullptr},
                                                  {"-html", options.htmlFile != nullptr},
                                                  {"-github", options.github},
                                                  {"-maxfailures", options.maxFailures >= 0},
                                                  {"-maxunmatched", options.maxUnmatched >= 0},
                                                  {"-toolstatus", options.toolStatusGate},
                                                  {"-classifyoutput", options.classifyOutput}};
  for (const auto& option : refused) {
    if (!option.second) continue;
    std::string message = std::string(option.first) + " does not apply to -scan";
    exitWithUsage(message.c_str());
  }
}

/// The scan's JSON report, for the fatal path.
ScanJsonReport* scanReport = nullptr;

void endScanRun(int status, const char* message) {
  if (scanReport != nullptr) scanReport->write(status, message, {});
}

/// Scan mode, with its JSON report when one is asked for.
void runScan(const CommandLine& options) {
  checkScanOptions(options);
  checkReportTargets(reportRequests(options), nullptr, options.logFileName, std::string());
  std::unique_ptr<ScanJsonReport> report;
  if (options.jsonFile != nullptr) {
    report = std::make_unique<ScanJsonReport>(options.jsonFile, options.logFileName);
    scanReport = report.get();
    setEndOfRunWork(endScanRun);
  }
  std::vector<std::pair<std::string, int32_t>> codes = scanCodes(options.logFileName);
  setEndOfRunWork(nullptr);
  if (report != nullptr) report->write(0, nullptr, codes);
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
/// fatal path when nothing was processed or a copy failed. Under
/// -toolstatus a tool that ended with exit code 0 has processed something,
/// however quiet it was.
int printSummary(int result, const CommandLine& options) {
  const RunTotals& totals = runRecord.totals();
  runRecord.message("success:   %d\nfailure:   %d\nignore:    %d\nsummary:   %d\nunmatched: %d\n",
                    totals.successCount, totals.failureCount, totals.ignoreCount,
                    totals.summaryCount, totals.unmatchedCount);
  bool withCopyRules = !ruleSet.copyRules.empty();
  if (withCopyRules) {
    runRecord.message("copied:    %d\ncopy fail: %d\n", totals.copiedCount, totals.copyFailCount);
  }
  bool toolVouches = options.toolStatusGate && runRecord.toolRan() && runRecord.toolExitCode() == 0;
  if (totals.successCount == 0 && totals.summaryCount == 0 && !toolVouches) {
    // The gate's verdict says the code once, where "ignored" would not.
    if (options.toolStatusGate && runRecord.toolRan() && runRecord.toolExitCode() != 0) {
      exitWithError("ERROR: The tool ended with exit code %s\n",
                    exitCodeText(runRecord.toolExitCode()).c_str());
    }
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

/// The end-of-run work of the fatal path and of a run that ends well: the
/// reports are written, then the listeners hear how the run ended, which a
/// report that could not be written may have changed. Returns the status.
int endRecordedRun(int status, const char* message) {
  // Shared by two classifying readers, the record is held: no line is being
  // told while the reports are finished, and none is told after.
  std::unique_lock<std::recursive_mutex> guard = runRecord.hold();
  runRecord.silence();
  ReportsEnd end = finishReports(status, message);
  runRecord.runEnded(end.status, end.hasMessage ? end.message.c_str() : nullptr);
  return end.status;
}

void endEarly(int status, const char* message) { endRecordedRun(status, message); }

/// Ctrl+C, SIGTERM and the like end the run as a fatal error does.
void endInterruptedRun(const char* message) { endRunOnRequest(message); }

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
    runScan(options);
    std::fflush(stdout);
    return 0;
  }

  checkReports(options, argc, argv);
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
  setEndOfRunWork(endEarly);
  handleInterruptions(endInterruptedRun);

  if (options.configFileName != nullptr) {
    loadConfiguration(options.configFileName);
  } else {
    loadBuiltinRules();
  }
  // Only now is it known whether a mistyped option is an error, and still
  // before anything is purged or run.
  if (ruleSet.strictOptions && options.firstUnknownOption != nullptr) {
    std::string message = std::string("Unknown option '") + options.firstUnknownOption + "'";
    exitWithUsage(message.c_str());
  }
  // The configuration's gates hold unless the command line sets its own.
  if (options.maxFailures < 0) options.maxFailures = ruleSet.maxFailures;
  if (options.maxUnmatched < 0) options.maxUnmatched = ruleSet.maxUnmatched;
  for (const auto& file : ruleSet.listingFiles) runRecord.listingFile(file->path.c_str());
  validateCopyRules();
  // No listing file may be the configuration or the log the mode analyses.
  std::string execLog = execLogOf(options, argc, argv);
  rejectListingFileClashes(options.configFileName,
                           options.execRequested ? execLog.c_str() : options.logFileName);
  for (const std::string& included : includedConfigurationFiles()) {
    rejectListingFileClashes(included.c_str(), nullptr);
  }
  rejectReportClashes(reportRequests(options), configurationFiles(options));
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
  result = printSummary(result, options);
  checkGates(options);
  claimRunEnd();
  result = endRecordedRun(result, nullptr);
  std::fflush(stdout);
  return result;
}
