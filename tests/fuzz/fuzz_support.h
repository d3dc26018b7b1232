// What several fuzz targets share: reading the input as a few parameters
// and a rest, and catching what the code under test prints on stdout.
#ifndef TARNWICK_TESTS_FUZZ_FUZZ_SUPPORT_H
#define TARNWICK_TESTS_FUZZ_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

/// Takes parameters off the front of the input; past its end, zeros.
class InputBytes {
 public:
  InputBytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t take() { return at_ < size_ ? data_[at_++] : 0; }
  /// Whatever is left, as bytes.
  std::string rest() {
    std::string bytes(reinterpret_cast<const char*>(data_ + at_), size_ - at_);
    at_ = size_;
    return bytes;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

/// A small deterministic generator for read sizes and the like.
class Steps {
 public:
  explicit Steps(uint32_t seed) : state_(seed * 2654435761u + 1) {}
  uint32_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }

 private:
  uint32_t state_;
};

/// While it lives, what is printed on stdout goes into a memory buffer
/// (glibc lets stdout be assigned). text() gives it so far.
class CapturedStdout {
 public:
  CapturedStdout() : saved_(stdout) {
    std::fflush(stdout);
    stream_ = open_memstream(&buffer_, &length_);
    if (stream_ == nullptr) std::abort();
    stdout = stream_;
  }
  ~CapturedStdout() {
    stdout = saved_;
    std::fclose(stream_);
    std::free(buffer_);
  }
  CapturedStdout(const CapturedStdout&) = delete;
  CapturedStdout& operator=(const CapturedStdout&) = delete;

  std::string text() {
    std::fflush(stream_);
    return std::string(buffer_, length_);
  }

 private:
  std::FILE* saved_;
  std::FILE* stream_;
  char* buffer_ = nullptr;
  size_t length_ = 0;
};

#endif
