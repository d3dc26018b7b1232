// The tool's own output as logs: -classifyoutput classifies the lines that
// the tool writes on stdout and stderr.
#ifndef TARNWICK_RUNNER_STREAM_LINES_H
#define TARNWICK_RUNNER_STREAM_LINES_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "record/run_record.h"
#include "regexp/matcher.h"

/// Re-joins the bytes of one stream into whole lines, whatever the reads
/// cut, and classifies each non-empty line as a line of log (kStdoutLog or
/// kStderrLog, of kind toolStdout or toolStderr). A line end is LF, CR LF
/// (as one) or a lone CR, as in logs, and every line end counts for the
/// line numbers. Owned and called by the stream's reader thread, which
/// matches with the state kept here.
class StreamLines {
 public:
  StreamLines(const char* log, LogKind kind) : log_(log), kind_(kind) {}

  /// Takes the next bytes of the stream; classifies the lines they end.
  void feed(const char* data, size_t length);
  /// The stream ended: classifies a last line without a line end.
  void finish();
  /// Lines met so far, blank ones and a last one without a line end
  /// included.
  uint64_t linesSeen() const { return lineEnds_ + (midLine_ ? 1 : 0); }

 private:
  void endLine();

  const char* log_;
  MatchState state_;
  LogKind kind_;
  std::string line_;
  uint64_t lineEnds_ = 0;
  bool afterCr_ = false;
  bool midLine_ = false;  // bytes came after the last line end
};

#endif
