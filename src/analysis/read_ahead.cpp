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

void ReadAhead::findBytes(Block& block) {
  const char* bytes = block.bytes.get();
  block.ends.clear();
  block.nuls.clear();
  collect(bytes, block.size, '\n', block.ends);
  collect(bytes, block.size, '\0', block.nuls);
  if (std::memchr(bytes, '\r', block.size) == nullptr) return;
  std::vector<uint32_t> crs;
  collect(bytes, block.size, '\r', crs);
  std::vector<uint32_t> both(block.ends.size() + crs.size());
  std::merge(block.ends.begin(), block.ends.end(), crs.begin(), crs.end(), both.begin());
  block.ends.swap(both);
}

void ReadAhead::handOut(const std::vector<uint32_t>& offsets, size_t& passed, FoundBytes& found) {
  found.compact();
  for (; passed < offsets.size() && offsets[passed] < taken_; ++passed) {
    found.add(headStart_ + offsets[passed]);
  }
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
    blocks_[tail].size = got;
    findBytes(blocks_[tail]);
    {
      std::lock_guard<std::mutex> guard(lock_);
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
  handOut(block.ends, endsPassed_, lineEnds_);
  handOut(block.nuls, nulsPassed_, nuls_);
  if (taken_ == block.size) {
    headStart_ += block.size;
    taken_ = 0;
    endsPassed_ = 0;
    nulsPassed_ = 0;
    {
      std::lock_guard<std::mutex> guard(lock_);
      --ready_;
      head_ ^= 1;
    }
    changed_.notify_all();
  }
  return count;
}
