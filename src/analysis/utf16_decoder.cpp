#include "analysis/utf16_decoder.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

constexpr uint32_t kReplacement = 0xFFFD;

bool isHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

/// The UTF-8 bytes of codePoint (at most U+10FFFF, no surrogate) into bytes;
/// returns how many.
size_t encodeUtf8(uint32_t codePoint, char bytes[4]) {
  if (codePoint < 0x80) {
    bytes[0] = static_cast<char>(codePoint);
    return 1;
  }
  if (codePoint < 0x800) {
    bytes[0] = static_cast<char>(0xC0 | (codePoint >> 6));
    bytes[1] = static_cast<char>(0x80 | (codePoint & 0x3F));
    return 2;
  }
  if (codePoint < 0x10000) {
    bytes[0] = static_cast<char>(0xE0 | (codePoint >> 12));
    bytes[1] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    bytes[2] = static_cast<char>(0x80 | (codePoint & 0x3F));
    return 3;
  }
  bytes[0] = static_cast<char>(0xF0 | (codePoint >> 18));
  bytes[1] = static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
  bytes[2] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
  bytes[3] = static_cast<char>(0x80 | (codePoint & 0x3F));
  return 4;
}

}  // namespace

Utf16Decoder::Utf16Decoder(LogRead read, bool bigEndian, const char* pending, size_t count,
                           size_t rawBlock)
    : read_(std::move(read)), bigEndian_(bigEndian) {
  raw_.resize(std::max({rawBlock, count, size_t{2}}));
  std::memcpy(raw_.data(), pending, count);
  rawEnd_ = count;
}

bool Utf16Decoder::refill() {
  // Keeps the odd byte of a unit cut by the last read.
  size_t kept = rawEnd_ - rawStart_;
  std::memmove(raw_.data(), raw_.data() + rawStart_, kept);
  rawStart_ = 0;
  rawEnd_ = kept;
  size_t got = read_(reinterpret_cast<char*>(raw_.data()) + kept, raw_.size() - kept);
  if (got == 0) {
    ended_ = true;
    return false;
  }
  rawEnd_ += got;
  return true;
}

void Utf16Decoder::emit(uint32_t codePoint, char* into, size_t room, size_t& out) {
  if (room - out >= 4) {
    out += encodeUtf8(codePoint, into + out);
    return;
  }
  char bytes[4];
  size_t length = encodeUtf8(codePoint, bytes);
  size_t fits = std::min(length, room - out);
  std::memcpy(into + out, bytes, fits);
  out += fits;
  std::memcpy(carry_, bytes + fits, length - fits);
  carryStart_ = 0;
  carryEnd_ = length - fits;
}

size_t Utf16Decoder::decode(char* into, size_t room) {
  size_t out = 0;
  while (carryStart_ < carryEnd_ && out < room) into[out++] = carry_[carryStart_++];
  while (out < room) {
    if (rawEnd_ - rawStart_ < 2 && (ended_ || !refill())) {
      // The end: what waits for a partner never gets one.
      if (highSurrogate_ != 0) {
        highSurrogate_ = 0;
        emit(kReplacement, into, room, out);
      } else if (rawStart_ < rawEnd_) {
        rawStart_ = rawEnd_;
        emit(kReplacement, into, room, out);
      } else {
        break;
      }
      continue;
    }
    if (rawEnd_ - rawStart_ < 2) continue;
    const unsigned char* bytes = raw_.data() + rawStart_;
    rawStart_ += 2;
    uint32_t unit =
        bigEndian_ ? (uint32_t{bytes[0]} << 8 | bytes[1]) : (uint32_t{bytes[1]} << 8 | bytes[0]);
    if (highSurrogate_ != 0) {
      uint32_t high = highSurrogate_;
      highSurrogate_ = 0;
      if (isLowSurrogate(unit)) {
        emit(0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00), into, room, out);
        continue;
      }
      emit(kReplacement, into, room, out);
      if (out == room) {
        // No room for this unit's character: read it again next time.
        rawStart_ -= 2;
        continue;
      }
    }
    if (isHighSurrogate(unit)) {
      highSurrogate_ = unit;
    } else {
      emit(isLowSurrogate(unit) ? kReplacement : unit, into, room, out);
    }
  }
  return out;
}
