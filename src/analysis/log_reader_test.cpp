// The reader cuts a file into lines: checked against a plain reference cut
// on contents built so that lines and line ends fall on the edges of the
// reader's blocks and of its growth, and against the lines expected of
// files with byte-order marks, read whole and in small pieces.
#include "analysis/log_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

/// Every maximal run of bytes other than CR and LF, in order.
std::vector<std::string> referenceLines(const std::string& content) {
  std::vector<std::string> lines;
  std::string current;
  for (char c : content) {
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

std::vector<std::string> readAll(const std::string& content) {
  std::FILE* file = std::tmpfile();
  EXPECT_NE(file, nullptr);
  if (file == nullptr) return {};
  std::fwrite(content.data(), 1, content.size(), file);
  std::rewind(file);
  std::vector<std::string> lines;
  {
    LogReader reader(file, "test.log");
    while (const char* line = reader.readLogLine()) {
      lines.emplace_back(line, reader.lineLength());
    }
    EXPECT_EQ(reader.readLogLine(), nullptr) << "the end stays the end";
  }
  std::fclose(file);
  return lines;
}

/// The lines of content read through reads of at most chunk bytes each, in
/// blocks of blockSize, read ahead or not; with mayHoldNul, what the reader
/// said of each line's NULs.
std::vector<std::string> readInChunks(const std::string& content, size_t blockSize, size_t chunk,
                                      bool readAhead = false,
                                      std::vector<bool>* mayHoldNul = nullptr) {
  size_t at = 0;
  LogReader reader(
      [&](char* into, size_t room) {
        size_t count = std::min({room, chunk, content.size() - at});
        std::memcpy(into, content.data() + at, count);
        at += count;
        return count;
      },
      "test.log", blockSize, readAhead);
  std::vector<std::string> lines;
  while (const char* line = reader.readLogLine()) {
    lines.emplace_back(line, reader.lineLength());
    if (mayHoldNul != nullptr) mayHoldNul->push_back(reader.lineMayHoldNul());
    if (lines.back().find('\0') != std::string::npos) {
      EXPECT_TRUE(reader.lineMayHoldNul()) << "line " << lines.size();
    }
  }
  EXPECT_EQ(reader.readLogLine(), nullptr) << "the end stays the end";
  return lines;
}

constexpr size_t kBlock = size_t{1} << 20;

TEST(LogReaderTest, CutsLikeTheReference) {
  struct Row {
    const char* name;
    std::string content;
  };
  const std::string nul("a\0b", 3);
  const Row rows[] = {
      {"empty", ""},
      {"only line ends", "\r\n\n\r\r"},
      {"mixed ends", "a\r\nb\n\n\nc"},
      {"LF CR and lone CR", "a\n\rb\rc\r\n"},
      {"NUL kept inside the line", nul + "\n" + nul},
      {"short lines of every line end",
       [] {
         std::string s;
         for (int i = 0; s.size() < 3000; ++i) {
           s += "W" + std::to_string(i) +
                (i % 4 == 0   ? "\r\n"
                 : i % 4 == 1 ? "\n\n"
                 : i % 4 == 2 ? "\r"
                              : "\n\r");
         }
         return s;
       }()},
      {"line end exactly at the block edge", std::string(kBlock - 1, 'x') + "\n" + "tail"},
      {"CR LF split across the block edge", std::string(kBlock - 1, 'x') + "\r\nnext\r\n"},
      {"line crossing the block edge", std::string(kBlock - 10, 'x') + "\n" + std::string(30, 'y')},
      {"a run of line ends across the edge",
       std::string(kBlock - 3, 'x') + std::string(10, '\n') + "z"},
      {"CR early, LF only lines after it", "a\r" + std::string(kBlock, 'b') + "\nc\nd"},
      {"one line of three blocks", std::string(3 * kBlock + 7, 'l')},
      {"many short lines over blocks",
       [] {
         std::string s;
         for (int i = 0; s.size() < 2 * kBlock + 100; ++i) {
           s += "E" + std::to_string(i) + ": x" + (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n" : "\r");
         }
         return s;
       }()},
  };
  for (const Row& row : rows) {
    std::vector<std::string> expected = referenceLines(row.content);
    std::vector<std::string> actual = readAll(row.content);
    ASSERT_EQ(actual.size(), expected.size()) << row.name;
    for (size_t i = 0; i < expected.size(); ++i) {
      ASSERT_EQ(actual[i], expected[i]) << row.name << ", line " << i;
    }
    // Read ahead, with blocks and reads that put their edges everywhere.
    if (row.content.size() > 4096) continue;
    for (size_t blockSize : {4, 7, 64}) {
      for (size_t chunk : {1, 3, 1000}) {
        EXPECT_EQ(readInChunks(row.content, blockSize, chunk, true), expected)
            << row.name << ", blocks of " << blockSize << ", reads of " << chunk;
      }
    }
  }
}

// Read ahead, a line is known to hold no NUL unless it holds one.
TEST(LogReaderTest, ReadAheadKnowsWhichLinesHoldANul) {
  const std::string content("a\0b\nplain\r\n\0\nx\0\n\nlast", 21);
  const bool expected[] = {true, false, true, true, false};
  for (size_t blockSize : {4, 7, 64}) {
    for (size_t chunk : {1, 3, 100}) {
      std::vector<bool> mayHold;
      readInChunks(content, blockSize, chunk, true, &mayHold);
      EXPECT_EQ(mayHold, std::vector<bool>(std::begin(expected), std::end(expected)))
          << "blocks of " << blockSize << ", reads of " << chunk;
    }
  }
}

TEST(LogReaderTest, ReadsAHundredMegabyteLineWhole) {
  std::string content = "first\n" + std::string(100 << 20, 'h') + "\r\nlast";
  std::vector<std::string> lines = readAll(content);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "first");
  EXPECT_EQ(lines[1].size(), size_t{100} << 20);
  EXPECT_EQ(lines[1].find_first_not_of('h'), std::string::npos);
  EXPECT_EQ(lines[2], "last");
}

/// UTF-16 code units as bytes behind their byte-order mark. Units are given
/// one by one, so that unpaired surrogates can be written.
std::string utf16(const std::vector<uint16_t>& units, bool bigEndian = false) {
  std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (uint16_t unit : units) {
    char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    bytes += bigEndian ? std::string{high, low} : std::string{low, high};
  }
  return bytes;
}

/// The UTF-16 units of ASCII text.
std::vector<uint16_t> units(const std::string& ascii) {
  return std::vector<uint16_t>(ascii.begin(), ascii.end());
}

std::vector<uint16_t> operator+(std::vector<uint16_t> a, const std::vector<uint16_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const std::string kReplacement = "\xEF\xBF\xBD";

TEST(LogReaderTest, SkipsAUtf8MarkAndDecodesUtf16) {
  struct Row {
    const char* name;
    std::string content;
    std::vector<std::string> lines;
  };
  const std::string nul(1, '\0');
  const Row rows[] = {
      {"UTF-8 mark skipped",
       "\xEF\xBB\xBF"
       "E1: a\nb",
       {"E1: a", "b"}},
      {"UTF-8 mark alone", "\xEF\xBB\xBF", {}},
      {"UTF-8 mark before line ends", "\xEF\xBB\xBF\r\n\r\nx", {"x"}},
      {"only the first mark goes", "\xEF\xBB\xBF\xEF\xBB\xBFx", {"\xEF\xBB\xBFx"}},
      {"a mark later on is text",
       "a\n\xEF\xBB\xBF"
       "b",
       {"a",
        "\xEF\xBB\xBF"
        "b"}},
      {"part of a mark is text", "\xEF\xBB", {"\xEF\xBB"}},
      {"UTF-16 LE", utf16(units("E1: a\r\nI2: b\nc")), {"E1: a", "I2: b", "c"}},
      {"UTF-16 BE", utf16(units("E1: a\r\nI2: b\nc"), true), {"E1: a", "I2: b", "c"}},
      {"UTF-16 mark alone", "\xFF\xFE", {}},
      {"two and three byte characters",
       utf16({0xE9, 0x20AC, '\n', 0x7FF, 0x800, 0xFFFF}),
       {"\xC3\xA9\xE2\x82\xAC", "\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"}},
      {"a surrogate pair",
       utf16({'<', 0xD83D, 0xDE00, '>', 0xDBFF, 0xDFFF}, true),
       {"<\xF0\x9F\x98\x80>\xF4\x8F\xBF\xBF"}},
      {"a high surrogate before text", utf16({0xD83D, 'x'}), {kReplacement + "x"}},
      {"a high surrogate before a line end",
       utf16({'a', 0xD800, '\n', 'b'}),
       {"a" + kReplacement, "b"}},
      {"two high surrogates, then a low one",
       utf16({0xD83D, 0xD83D, 0xDE00}),
       {kReplacement + "\xF0\x9F\x98\x80"}},
      {"a lone low surrogate", utf16({'a', 0xDC00, 'b'}), {"a" + kReplacement + "b"}},
      {"a high surrogate last", utf16({'a', 0xDBFF}), {"a" + kReplacement}},
      {"a lone last byte", utf16(units("ab")) + "c", {"ab" + kReplacement}},
      {"a high surrogate, then a lone byte", utf16({0xD800}) + "c", {kReplacement + kReplacement}},
      {"the mark and one byte",
       "\xFF\xFE"
       "A",
       {kReplacement}},
      {"NUL characters are kept", utf16({'a', 0, 'b', '\r', 0}), {"a" + nul + "b", nul}},
      {"a second mark is text", utf16({0xFEFF, 'x'}), {"\xEF\xBB\xBFx"}},
      {"NULs without a mark stay bytes",
       std::string("E\0"
                   "1\0:\0\n\0",
                   8),
       {std::string("E\0"
                    "1\0:\0",
                    6),
        nul}},
      {"FF FE later on is text",
       "a\n\xFF\xFE"
       "b",
       {"a",
        "\xFF\xFE"
        "b"}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(readAll(row.content), row.lines) << row.name;
    // Whatever the edges of reads and blocks, the same lines.
    for (bool readAhead : {false, true}) {
      for (size_t blockSize : {4, 5, 16}) {
        for (size_t chunk : {1, 2, 3, 7}) {
          EXPECT_EQ(readInChunks(row.content, blockSize, chunk, readAhead), row.lines)
              << row.name << ", blocks of " << blockSize << ", reads of " << chunk
              << (readAhead ? ", read ahead" : "");
        }
      }
    }
  }
}

TEST(LogReaderTest, Utf16CrossesTheBlockEdges) {
  // The first read takes 1 MiB of raw bytes, and the decoded text fills
  // blocks of 1 MiB: characters are placed so that these edges cut them.
  const std::string euro = "\xE2\x82\xAC", smile = "\xF0\x9F\x98\x80";
  struct Row {
    const char* name;
    std::vector<uint16_t> units;
    std::vector<std::string> lines;
  };
  const size_t half = kBlock / 2;
  const Row rows[] = {
      {"a surrogate pair cut by the first read",
       units(std::string(half - 2, 'a')) + std::vector<uint16_t>{0xD83D, 0xDE00, '\n', 'z'},
       {std::string(half - 2, 'a') + smile, "z"}},
      {"a character cut by the decoded block's edge",
       units(std::string(kBlock - 1, 'c')) + std::vector<uint16_t>{0x20AC, '\r', '\n', 'z'},
       {std::string(kBlock - 1, 'c') + euro, "z"}},
      {"a pair cut by the decoded block's edge",
       units(std::string(kBlock - 2, 'd')) + std::vector<uint16_t>{0xD83D, 0xDE00, 'z'},
       {std::string(kBlock - 2, 'd') + smile + "z"}},
      {"a replacement cut by the decoded block's edge",
       units(std::string(kBlock - 1, 'e')) + std::vector<uint16_t>{0xD800, 'z'},
       {std::string(kBlock - 1, 'e') + kReplacement + "z"}},
      {"a line of three blocks", std::vector<uint16_t>(3 * half + 5, 0x20AC), {[&] {
         std::string line;
         for (size_t i = 0; i < 3 * half + 5; ++i) line += euro;
         return line;
       }()}},
  };
  for (const Row& row : rows) {
    std::vector<std::string> actual = readAll(utf16(row.units));
    ASSERT_EQ(actual.size(), row.lines.size()) << row.name;
    for (size_t i = 0; i < actual.size(); ++i) {
      EXPECT_TRUE(actual[i] == row.lines[i]) << row.name << ", line " << i;
    }
  }
}

}  // namespace

namespace {

struct Numbered {
  std::vector<std::pair<std::string, uint64_t>> lines;
  uint64_t total = 0;
};

/// Each non-empty line with its number, where LF, CR LF and a lone CR each
/// end one line; and the number of the last line.
Numbered referenceNumbers(const std::string& content) {
  Numbered result;
  uint64_t number = 1;
  std::string current;
  for (size_t i = 0; i < content.size(); ++i) {
    char c = content[i];
    if (c != '\r' && c != '\n') {
      current += c;
      continue;
    }
    if (!current.empty()) result.lines.emplace_back(current, number);
    current.clear();
    if (c == '\r' && i + 1 < content.size() && content[i + 1] == '\n') ++i;
    ++number;
  }
  if (!current.empty()) result.lines.emplace_back(current, number);
  result.total = current.empty() ? number - 1 : number;
  return result;
}

Numbered readNumbered(const std::string& content) {
  Numbered result;
  std::FILE* file = std::tmpfile();
  if (file == nullptr) return result;
  std::fwrite(content.data(), 1, content.size(), file);
  std::rewind(file);
  {
    LogReader reader(file, "test.log");
    while (const char* line = reader.readLogLine()) {
      result.lines.emplace_back(std::string(line, reader.lineLength()), reader.lineNumber());
    }
    result.total = reader.linesSeen();
  }
  std::fclose(file);
  return result;
}

TEST(LogReaderTest, NumbersLinesCountingEveryLineEnd) {
  struct Row {
    const char* name;
    std::string content;
  };
  const std::string edgeLine(kBlock - 1, 'x');
  const Row rows[] = {
      {"empty", ""},
      {"blank lines count", "a\n\n\nb\n"},
      {"CR LF is one end", "a\r\nb\r\n\r\nc"},
      {"LF CR is two ends", "a\n\rb"},
      {"lone CRs", "a\rb\r\rc\r"},
      {"only line ends", "\n\r\n\r"},
      {"no final end", "a\nb"},
      {"CR LF across the block edge", edgeLine + "\r\nb\nc"},
      {"CR then LF CR across the edge", std::string(kBlock - 2, 'y') + "\r\r\n\rz"},
      {"blank lines across the edge", std::string(kBlock - 3, 'w') + "\n\n\n\n\nv\n"},
  };
  for (const Row& row : rows) {
    Numbered expected = referenceNumbers(row.content);
    Numbered got = readNumbered(row.content);
    EXPECT_EQ(got.total, expected.total) << row.name;
    ASSERT_EQ(got.lines.size(), expected.lines.size()) << row.name;
    for (size_t i = 0; i < got.lines.size(); ++i) {
      EXPECT_EQ(got.lines[i].second, expected.lines[i].second) << row.name << " line " << i;
      EXPECT_EQ(got.lines[i].first.size(), expected.lines[i].first.size()) << row.name;
    }
  }
}

}  // namespace
