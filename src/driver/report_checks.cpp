#include "driver/report_checks.h"

#include <cstring>

#include "base/fatal.h"
#include "driver/usage.h"
#include "platform/file_identity.h"
#include "platform/file_system.h"
#include "report/report_file.h"
#include "rules/rule_set.h"

namespace {

/// True when report and the log the run reads ("-": standard input) are
/// one file.
bool isLog(const char* report, const char* log) {
  if (std::strcmp(log, "-") == 0) return isStandardInput(report);
  return sameFile(report, log);
}

void checkTarget(const char* report) {
  if (!reportFolderExists(report)) {
    exitWithError("ERROR: Report folder for '%s' does not exist\n", report);
  }
  PathKind kind = pathKind(report);
  if (kind == PathKind::kFolder) exitWithError("ERROR: Report '%s' is a folder\n", report);
  if (kind == PathKind::kMissing && !nameFitsFolder(report)) {
    exitWithError("ERROR: Report '%s' has a name longer than the file system allows\n", report);
  }
}

}  // namespace

void checkReportTargets(const std::vector<ReportRequest>& reports, const char* configPath,
                        const char* logPath, const std::string& execLog) {
  for (const ReportRequest& report : reports) checkTarget(report.path);
  // Two reports in one file would leave only the last; a device or pipe
  // takes both, one after the other.
  for (size_t a = 0; a < reports.size(); ++a) {
    for (size_t b = a + 1; b < reports.size(); ++b) {
      if (reportWrittenInPlace(reports[a].path) || reportWrittenInPlace(reports[b].path)) continue;
      if (sameFile(reports[a].path, reports[b].path)) {
        std::string message =
            std::string(reports[a].option) + " and " + reports[b].option + " name the same file";
        exitWithUsage(message.c_str());
      }
    }
  }
  // Written into a device or pipe, a report replaces no file.
  for (const ReportRequest& report : reports) {
    if (reportWrittenInPlace(report.path)) continue;
    if (configPath != nullptr && sameFile(report.path, configPath)) {
      exitWithError("ERROR: Report '%s' is the configuration file '%s'\n", report.path, configPath);
    }
    if (logPath != nullptr && *logPath != '\0' && isLog(report.path, logPath)) {
      exitWithError("ERROR: Report '%s' is the log file '%s'\n", report.path, logPath);
    }
    if (!execLog.empty() && sameFile(report.path, execLog.c_str())) {
      exitWithError("ERROR: Report '%s' is the log file '%s'\n", report.path, execLog.c_str());
    }
  }
}

void rejectReportClashes(const std::vector<ReportRequest>& reports,
                         const std::vector<std::string>& configFiles) {
  for (const ReportRequest& report : reports) {
    if (reportWrittenInPlace(report.path)) continue;
    for (const std::string& config : configFiles) {
      if (sameFile(report.path, config.c_str())) {
        abandonReports();
        exitWithError("ERROR: Report '%s' is the configuration file '%s'\n", report.path,
                      config.c_str());
      }
    }
    for (const auto& file : ruleSet.listingFiles) {
      if (sameFile(report.path, file->path.c_str())) {
        abandonReports();
        exitWithError("ERROR: Report '%s' is the listing file '%s'\n", report.path,
                      file->path.c_str());
      }
    }
  }
}
