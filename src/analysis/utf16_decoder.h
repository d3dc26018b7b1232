// UTF-16 logs (what PowerShell 5's ">" writes) decoded to UTF-8 as they are
// read, so that the log reader cuts and classifies them like any other.
#ifndef TARNWICK_ANALYSIS_UTF16_DECODER_H
#define TARNWICK_ANALYSIS_UTF16_DECODER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "analysis/log_reader.h"

class Utf16Decoder {
 public:
  /// Decodes what read delivers, after the byte-order mark: bigEndian for
  /// FE FF, little endian for FF FE. pending (count bytes) was read already
  /// and comes first. Reads in blocks of rawBlock bytes, or of count when more.
  Utf16Decoder(LogRead read, bool bigEndian, const char* pending, size_t count, size_t rawBlock);

  /// Up to room UTF-8 bytes into into; returns how many, 0 only at the end.
  /// An unpaired surrogate and a lone last byte each become U+FFFD.
  size_t decode(char* into, size_t room);

 private:
  bool refill();
  void emit(uint32_t codePoint, char* into, size_t room, size_t& out);

  LogRead read_;
  bool bigEndian_;
  std::vector<unsigned char> raw_;
  size_t rawStart_ = 0;
  size_t rawEnd_ = 0;
  uint32_t highSurrogate_ = 0;  // waiting for its low half, or 0
  bool ended_ = false;          // read has delivered its last byte
  // The tail of a character that did not fit into the caller's room.
  char carry_[4] = {};
  size_t carryStart_ = 0;
  size_t carryEnd_ = 0;
};

#endif
