// libFuzzer target for the log reader: the first bytes choose the block size,
// whether the file is read ahead and the sizes of the reads, the rest is the
// file. Whatever the edges of
// reads and blocks, the reader must give the lines a plain reference cut of
// the whole file gives, in order; a byte-order mark is handled by a plain
// reference decoder of the whole file.
#include <algorithm>
#include <cstring>
#include <vector>

#include "analysis/log_reader.h"
#include "fuzz_support.h"

namespace {

const std::string kReplacement = "\xEF\xBF\xBD";

void appendUtf8(uint32_t codePoint, std::string& out) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (codePoint >> 18));
    out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

/// The whole of a UTF-16 text at once, looking ahead for the low half of a pair.
std::string decodeUtf16(const std::string& bytes, bool bigEndian) {
  std::vector<uint32_t> units;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
    units.push_back(bigEndian ? (a << 8 | b) : (b << 8 | a));
  }
  std::string text;
  for (size_t i = 0; i < units.size(); ++i) {
    uint32_t unit = units[i];
    bool high = unit >= 0xD800 && unit <= 0xDBFF;
    if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      appendUtf8(0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00), text);
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      text += kReplacement;
    } else {
      appendUtf8(unit, text);
    }
  }
  if (bytes.size() % 2 == 1) text += kReplacement;
  return text;
}

std::vector<std::string> referenceLines(const std::string& file) {
  std::string text = file;
  if (file.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    text = file.substr(3);
  } else if (file.compare(0, 2, "\xFF\xFE") == 0 || file.compare(0, 2, "\xFE\xFF") == 0) {
    text = decodeUtf16(file.substr(2), file[0] == '\xFE');
  }
  std::vector<std::string> lines;
  std::string current;
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      if (!current.empty()) lines.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) lines.push_back(current);
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InputBytes input(data, size);
  uint8_t shape = input.take();
  size_t blockSize = 4 + shape % 61;
  // One input in 64: with blocks this small, each block handed over costs
  // a thread switch.
  bool readAhead = (shape & 0xFC) == 0xFC;
  Steps steps(input.take());
  std::string file = input.rest();

  size_t at = 0;
  LogReader reader(
      [&](char* into, size_t room) {
        // Mostly short reads, now and then as much as there is room for.
        uint32_t step = steps.next();
        size_t want = step % 4 == 0 ? room : 1 + step / 4 % 9;
        size_t count = std::min({room, want, file.size() - at});
        std::memcpy(into, file.data() + at, count);
        at += count;
        return count;
      },
      "fuzz.log", blockSize, readAhead);
  std::vector<std::string> expected = referenceLines(file);
  size_t next = 0;
  while (const char* line = reader.readLogLine()) {
    size_t length = reader.lineLength();
    if (next == expected.size() || line[length] != '\0' ||
        std::string(line, length) != expected[next]) {
      std::abort();
    }
    if (!reader.lineMayHoldNul() && std::memchr(line, '\0', length) != nullptr) std::abort();
    ++next;
  }
  if (next != expected.size() || reader.readLogLine() != nullptr) std::abort();
  return 0;
}
