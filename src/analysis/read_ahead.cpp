#include "analysis/read_ahead.h"

#include <algorithm>
#include <cstring>
#include <utility>

ReadAhead::ReadAhead(LogRead read, size_t blockSize)
    : read_(std::move(read)),
      // Line ends are kept as 32-bit offsets into a block.
      blockSize_(std::min(std::max(blockSize, size_t{1}), size_t{1} << 30)) {
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

namespace {

void collect(const char* bytes, size_t size, char value, std::vector<uint32_t>& offsets) {
  const char* end = bytes + size;
  for (const char* at = bytes;
       (at = static_cast<const char*>(std::memchr(at, value, static_cast<size_t>(end - at)))) !=
       nullptr;
       ++at) {
    offsets.push_back(static_cast<uint32_t>(at - bytes));
  }
}

}  // namespace

void ReadAhead::findLineEnds(Block& block, size_t size) {
  block.ends.clear();
  collect(block.bytes.get(), size, '\n', block.ends);
  if (std::memchr(block.bytes.get(), '\r', size) == nullptr) return;
  std::vector<uint32_t> crs;
  collect(block.bytes.get(), size, '\r', crs);
  std::vector<uint32_t> both(block.ends.size() + crs.size());
  std::merge(block.ends.begin(), block.ends.end(), crs.begin(), crs.end(), both.begin());
  block.ends.swap(both);
}

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
    findLineEnds(blocks_[tail], got);
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
  if (endsRead_ > lineEnds_.size() / 2) {
    lineEnds_.erase(lineEnds_.begin(), lineEnds_.begin() + static_cast<std::ptrdiff_t>(endsRead_));
    endsRead_ = 0;
  }
  for (; endsPassed_ < block.ends.size() && block.ends[endsPassed_] < taken_; ++endsPassed_) {
    lineEnds_.push_back(headStart_ + block.ends[endsPassed_]);
  }
  if (taken_ == block.size) {
    headStart_ += block.size;
    taken_ = 0;
    endsPassed_ = 0;
    {
      std::lock_guard<std::mutex> guard(lock_);
      --ready_;
      head_ ^= 1;
    }
    changed_.notify_all();
  }
  return count;
}
