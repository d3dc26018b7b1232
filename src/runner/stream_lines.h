// The tool's own output as logs: -classifyoutput classifies the lines that
// the tool writes on stdout and stderr.
#ifndef TARNWICK_RUNNER_STREAM_LINES_H
#define TARNWICK_RUNNER_STREAM_LINES_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "regexp/matcher.h"

/// Re-joins the bytes of one stream into whole lines, whatever the reads
/// cut, and classifies each non-empty line as a line of log (kStdoutLog or
/// kStderrLog). A line end is LF, CR LF (as one) or a lone CR, as in logs,
/// and every line end counts for the line numbers. Owned and called by the
/// stream's reader thread, which matches with the state kept here.
class StreamLines {
 public:
  explicit StreamLines(const char* log) : log_(log) {}

  /// Takes the next bytes of the stream; classifies the lines they end.
  void feed(const char* data, size_t length);
  /// The stream ended: classifies a last line without a line end.
  void finish();

 private:
  void endLine();

  const char* log_;
  MatchState state_;
  std::string line_;
  uint64_t lineEnds_ = 0;
  bool afterCr_ = false;
};

#endif
