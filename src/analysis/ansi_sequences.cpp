#include "analysis/ansi_sequences.h"

#include <cstring>

namespace {

constexpr char kBell = '\x07';

bool within(char c, unsigned low, unsigned high) {
  unsigned byte = static_cast<unsigned char>(c);
  return byte >= low && byte <= high;
}

/// Where the sequence whose ESC is at text[at] ends: the index of the
/// first byte after it.
size_t sequenceEnd(const char* text, size_t length, size_t at) {
  size_t next = at + 1;
  if (next == length) return next;
  char kind = text[next];
  if (kind == '[') {
    size_t end = next + 1;
    while (end < length && within(text[end], 0x30, 0x3F)) ++end;
    while (end < length && within(text[end], 0x20, 0x2F)) ++end;
    if (end < length && within(text[end], 0x40, 0x7E)) ++end;
    return end;
  }
  if (kind != '\0' && std::strchr("]PX^_", kind) != nullptr) {
    // A terminal would swallow an unended string to the end of the line;
    // the rules would then miss a line that holds one stray introducer.
    for (size_t end = next + 1; end < length; ++end) {
      if (text[end] == kBell) return end + 1;
      if (text[end] == kEscape) {
        if (end + 1 < length && text[end + 1] == '\\') return end + 2;
        break;
      }
    }
    return next + 1;
  }
  if (within(kind, 0x20, 0x2F)) {
    size_t end = next + 1;
    while (end < length && within(text[end], 0x20, 0x2F)) ++end;
    if (end < length && within(text[end], 0x30, 0x7E)) ++end;
    return end;
  }
  if (within(kind, 0x30, 0x7E)) return next + 1;
  return next;  // a control, DEL or a non-ASCII byte is no part of it
}

}  // namespace

void stripAnsiSequences(const char* text, size_t length, std::string& out) {
  out.clear();
  size_t at = 0;
  while (at < length) {
    const void* found = std::memchr(text + at, kEscape, length - at);
    size_t escape =
        found != nullptr ? static_cast<size_t>(static_cast<const char*>(found) - text) : length;
    out.append(text + at, escape - at);
    if (escape == length) break;
    at = sequenceEnd(text, length, escape);
  }
}
