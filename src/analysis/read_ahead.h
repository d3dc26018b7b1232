// Reading a file ahead of the line cutter, on a thread of its own, so that
// the system's copy of the next block, and the search for its line ends,
// overlap the work on this one.
#ifndef TARNWICK_ANALYSIS_READ_AHEAD_H
#define TARNWICK_ANALYSIS_READ_AHEAD_H

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

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

  /// The first CR or LF at or after from among the bytes read has handed
  /// out, as an offset from the first byte read, or kNoLineEnd. The helper
  /// found them; those before from are forgotten. The consumer's thread.
  uint64_t lineEndFrom(uint64_t from) {
    while (endsRead_ < lineEnds_.size() && lineEnds_[endsRead_] < from) ++endsRead_;
    return endsRead_ < lineEnds_.size() ? lineEnds_[endsRead_] : kNoLineEnd;
  }
  static constexpr uint64_t kNoLineEnd = UINT64_MAX;
  /// Forgets the line ends handed out so far (the bytes are not text the
  /// consumer cuts as they are).
  void forgetLineEnds() {
    lineEnds_.clear();
    endsRead_ = 0;
  }

  /// Whether reading ahead can pay on this machine: it needs a second
  /// processor to run on.
  static bool pays();

 private:
  void readBlocks();

  struct Block {
    std::unique_ptr<char[]> bytes;
    size_t size = 0;
    std::vector<uint32_t> ends;  // offsets of its CR and LF bytes, in order
  };
  static void findLineEnds(Block& block, size_t size);
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
  // The consumer's alone: bytes of blocks_[head_] handed out, its line ends
  // passed on, where it starts in the file, and the line ends handed out.
  size_t taken_ = 0;
  size_t endsPassed_ = 0;
  uint64_t headStart_ = 0;
  std::vector<uint64_t> lineEnds_;
  size_t endsRead_ = 0;  // lineEnds_ before it are forgotten
  std::thread helper_;
};

#endif
