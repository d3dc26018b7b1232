// The checks that keep a report from destroying a file the run reads, or
// from failing only after a long build.
#ifndef TARNWICK_DRIVER_REPORT_CHECKS_H
#define TARNWICK_DRIVER_REPORT_CHECKS_H

#include <string>
#include <vector>

/// A report asked for on the command line: its option ("-json") and file.
struct ReportRequest {
  const char* option;
  const char* path;
};

/// Ends the run before any report is made, in this order, when
/// - a report's folder is missing: "ERROR: Report folder for '<file>' does
///   not exist";
/// - a report names a folder: "ERROR: Report '<file>' is a folder";
/// - a new report's name is longer than its folder's file system allows:
///   "ERROR: Report '<file>' has a name longer than the file system allows";
/// - two reports are one file however spelt (see sameFile), devices and
///   pipes excepted: the usage error "<a> and <b> name the same file";
/// - a report is the configuration file or the log the mode analyses:
///   "ERROR: Report '<file>' is the configuration file '<config>'", "...
///   is the log file '<log>'" (a log "-" is standard input, compared by
///   identity; execLog is the exec -o/-oa log, empty for none).
/// configPath and logPath may be null. Main thread.
void checkReportTargets(const std::vector<ReportRequest>& reports, const char* configPath,
                        const char* logPath, const std::string& execLog);

/// Once the configuration is read: ends the run with "ERROR: Report '<file>'
/// is the configuration file '<config>'" or "... is the listing file
/// '<list>'" when a report is one of configFiles (the file -cfg names and
/// every file it includes) or a listing file of the run. Every report is
/// abandoned first, so that none is written over that file. Main thread,
/// before the purge and before the tool runs.
void rejectReportClashes(const std::vector<ReportRequest>& reports,
                         const std::vector<std::string>& configFiles);

#endif
