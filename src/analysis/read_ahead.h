// Reading a file ahead of the line cutter, on a thread of its own, so that
// the system's copy of the next block, and the search for its line ends and
// NULs, overlap the work on this one.
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

/// Offsets in the file of bytes of one kind, in order, as they are handed
/// out; the consumer asks for the first at or after a place and forgets
/// those before it.
class FoundBytes {
 public:
  static constexpr uint64_t kNone = UINT64_MAX;
  /// The first offset at or after from, or kNone.
  uint64_t from(uint64_t from) {
    while (read_ < offsets_.size() && offsets_[read_] < from) ++read_;
    return read_ < offsets_.size() ? offsets_[read_] : kNone;
  }
  void add(uint64_t offset) { offsets_.push_back(offset); }
  /// Drops the offsets forgotten, once they are half of what is held.
  void compact() {
    if (read_ <= offsets_.size() / 2) return;
    offsets_.erase(offsets_.begin(), offsets_.begin() + static_cast<std::ptrdiff_t>(read_));
    read_ = 0;
  }
  void clear() {
    offsets_.clear();
    read_ = 0;
  }

 private:
  std::vector<uint64_t> offsets_;
  size_t read_ = 0;  // offsets_ before it are forgotten
};

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

  /// The CR and LF bytes, and the NUL bytes, among those read has handed
  /// out, as offsets from the first byte read; found by the helper. The
  /// consumer's thread only.
  FoundBytes& lineEnds() { return lineEnds_; }
  FoundBytes& nuls() { return nuls_; }

  /// Whether reading ahead can pay on this machine: it needs a second
  /// processor to run on.
  static bool pays();

 private:
  struct Block {
    std::unique_ptr<char[]> bytes;
    size_t size = 0;
    std::vector<uint32_t> ends;  // offsets of its CR and LF bytes, in order
    std::vector<uint32_t> nuls;  // offsets of its NUL bytes, in order
  };
  void readBlocks();
  static void findBytes(Block& block);
  /// Passes on the offsets of block below taken that were not yet.
  void handOut(const std::vector<uint32_t>& offsets, size_t& passed, FoundBytes& found);

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
  // The consumer's alone: bytes of blocks_[head_] handed out, how many of
  // its line ends and NULs were passed on, and where it starts in the file.
  size_t taken_ = 0;
  size_t endsPassed_ = 0;
  size_t nulsPassed_ = 0;
  uint64_t headStart_ = 0;
  FoundBytes lineEnds_;
  FoundBytes nuls_;
  std::thread helper_;
};

#endif
