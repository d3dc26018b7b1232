#include "analysis/read_ahead.h"

#include <algorithm>
#include <cstring>
#include <utility>

ReadAhead::ReadAhead(LogRead read, size_t blockSize)
    : read_(std::move(read)), blockSize_(std::max(blockSize, size_t{1})) {
  for (Block& block : blocks_) block.bytes = std::make_unique<char[]>(blockSize_);
  helper_ = std::thread([this] { readBlocks(); });
}

ReadAhead::~ReadAhead() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    stopping_ = true;
  }
  changed_.notify_all();
  helper_.join();
}

bool ReadAhead::pays() { return std::thread::hardware_concurrency() > 1; }

void ReadAhead::readBlocks() {
  size_t tail = 0;
  for (;;) {
    {
      std::unique_lock<std::mutex> guard(lock_);
      changed_.wait(guard, [this] { return stopping_ || ready_ < 2; });
      if (stopping_) return;
    }
    // The tail block is not handed out while it is not ready: it is ours.
    size_t got = read_(blocks_[tail].bytes.get(), blockSize_);
    {
      std::lock_guard<std::mutex> guard(lock_);
      blocks_[tail].size = got;
      if (got == 0) {
        ended_ = true;
      } else {
        ++ready_;
      }
    }
    changed_.notify_all();
    if (got == 0) return;
    tail ^= 1;
  }
}

size_t ReadAhead::read(char* into, size_t room) {
  {
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait(guard, [this] { return ready_ > 0 || ended_; });
    if (ready_ == 0) return 0;
  }
  // A ready block is not written until it is given back.
  const Block& block = blocks_[head_];
  size_t count = std::min(room, block.size - taken_);
  std::memcpy(into, block.bytes.get() + taken_, count);
  taken_ += count;
  if (taken_ == block.size) {
    taken_ = 0;
    {
      std::lock_guard<std::mutex> guard(lock_);
      --ready_;
      head_ ^= 1;
    }
    changed_.notify_all();
  }
  return count;
}
