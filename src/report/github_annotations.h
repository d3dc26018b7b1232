// GitHub Actions workflow commands, so that failures show as annotations.
#ifndef TARNWICK_REPORT_GITHUB_ANNOTATIONS_H
#define TARNWICK_REPORT_GITHUB_ANNOTATIONS_H

#include <cstdio>
#include <string>

#include "record/run_record.h"

/// After each failure line, prints "::error file=<log>,line=<n>::<text>"
/// on stream (a line that no file holds, of standard input or of the tool's
/// own output, gets "::error::<text>"); when the run ends with status 1, "::error::" and the
/// fatal message. Must be added to the record after the console printer, so
/// each annotation follows the line it annotates.
class GithubAnnotations : public RunListener {
 public:
  explicit GithubAnnotations(std::FILE* stream) : stream_(stream) {}

  void lineClassified(const ClassifiedLine& line) override;
  void runEnded(int status, const char* fatalMessage) override;

  /// text escaped as a command's message: %, CR and LF.
  static std::string escapeData(const std::string& text);
  /// text escaped as a command's property value: also ':' and ','.
  static std::string escapeProperty(const std::string& text);

 private:
  std::FILE* stream_;
};

#endif
