// For the unit tests of the layers above record/: a run's messages seen as
// the console shows them, without the console printer of report/, which
// those layers may not include.
#ifndef TARNWICK_RECORD_RECORD_TEST_SUPPORT_H
#define TARNWICK_RECORD_RECORD_TEST_SUPPORT_H

#include <cstddef>
#include <cstdio>

#include "record/run_record.h"

/// Writes every message the record hears to stream, byte for byte, on the
/// reporting thread; hears nothing else. stream stays the caller's.
class MessageEcho : public RunListener {
 public:
  explicit MessageEcho(std::FILE* stream) : stream_(stream) {}
  void message(const char* text, size_t length) override { std::fwrite(text, 1, length, stream_); }

 private:
  std::FILE* stream_;
};

#endif
