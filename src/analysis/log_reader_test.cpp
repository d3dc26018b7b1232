// The reader cuts a file into lines: checked against a plain reference cut
// on contents built so that lines and line ends fall on the edges of the
// reader's blocks and of its growth.
#include "analysis/log_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
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
