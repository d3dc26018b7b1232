// Reading a file ahead of the line cutter, on a thread of its own, so that
// the system's copy of the next block overlaps the work on this one.
#ifndef TARNWICK_ANALYSIS_READ_AHEAD_H
#define TARNWICK_ANALYSIS_READ_AHEAD_H

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>

#include "analysis/log_reader.h"

/// Calls read on a helper thread, one block of blockSize bytes after
/// another and at most two blocks ahead, until it returns 0; read() hands
/// the bytes out in order. The helper is the only caller of read from
/// construction to destruction.
class ReadAhead {
 public:
  ReadAhead(LogRead read, size_t blockSize);
  /// Waits for the helper: when read is blocked (a pipe), until it returns.
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  /// What a LogRead gives: up to room bytes into into, 0 once read gave 0.
  /// One thread at a time.
  size_t read(char* into, size_t room);

  /// Whether reading ahead can pay on this machine: it needs a second
  /// processor to run on.
  static bool pays();

 private:
  void readBlocks();

  struct Block {
    std::unique_ptr<char[]> bytes;
    size_t size = 0;
  };
  LogRead read_;
  size_t blockSize_;
  Block blocks_[2];
  std::mutex lock_;
  std::condition_variable changed_;
  // Under lock_: blocks read and not yet handed out whole, the first of
  // them, whether read has given 0, whether the helper is to stop.
  size_t ready_ = 0;
  size_t head_ = 0;
  bool ended_ = false;
  bool stopping_ = false;
  // Bytes of blocks_[head_] handed out; the consumer's alone.
  size_t taken_ = 0;
  std::thread helper_;
};

#endif
