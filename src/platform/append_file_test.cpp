// Appending lines: whole, at the end, never lost to another appender.
#include "platform/append_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/scratch_folder_test_support.h"

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
const std::string kLineEnd = "\r\n";
#else
const std::string kLineEnd = "\n";
#endif

TEST(WriteLineInChunksTest, TheLineEndTravelsWithTheLastChunk) {
  struct Row {
    const char* name;
    std::string data;
    size_t maxChunk;
    size_t cap;  // the most the writer takes per call
    std::vector<std::string> calls;
  };
  const Row rows[] = {
      {"one call", "abc", 16, 100, {"abc\r\n"}},
      {"an empty line", "", 16, 100, {"\r\n"}},
      {"exactly one chunk", "abc", 5, 100, {"abc\r\n"}},
      {"one byte over", "abcd", 5, 100, {"a", "bcd\r\n"}},
      {"several chunks", "abcdefghij", 4, 100, {"abcd", "efgh", "ij\r\n"}},
      {"the head in chunks, the tail with the line end", "abcde", 3, 100, {"abc", "d", "e\r\n"}},
      {"short writes resume", "abcdef", 16, 3, {"abcdef\r\n", "def\r\n", "\r\n"}},
  };
  for (const Row& row : rows) {
    std::vector<std::string> calls;
    std::string out;
    bool written = writeLineInChunks(
        [&](const char* bytes, size_t count) -> std::ptrdiff_t {
          EXPECT_LE(count, row.maxChunk) << row.name;
          calls.emplace_back(bytes, count);
          size_t taken = std::min(count, row.cap);
          out.append(bytes, taken);
          return static_cast<std::ptrdiff_t>(taken);
        },
        row.data.data(), row.data.size(), "\r\n", row.maxChunk);
    EXPECT_TRUE(written) << row.name;
    EXPECT_EQ(out, row.data + "\r\n") << row.name;
    EXPECT_EQ(calls, row.calls) << row.name;
  }
}

TEST(WriteLineInChunksTest, AFailedOrEmptyWriteEndsIt) {
  for (std::ptrdiff_t answer : {std::ptrdiff_t{-1}, std::ptrdiff_t{0}}) {
    int calls = 0;
    bool written = writeLineInChunks(
        [&](const char*, size_t count) -> std::ptrdiff_t {
          return ++calls == 1 ? static_cast<std::ptrdiff_t>(count) : answer;
        },
        "abcdefgh", 8, "\n", 4);
    EXPECT_FALSE(written) << answer;
    EXPECT_EQ(calls, 2) << answer;
  }
}

class AppendLineTest : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = makeScratchFolder("tarnwick-append-"); }
  void TearDown() override { removeScratchFolder(folder_); }
  std::string path(const std::string& name) const { return (folder_ / name).string(); }
  std::string read(const std::string& name) const {
    std::ifstream stream(folder_ / name, std::ios::binary);
    std::ostringstream content;
    content << stream.rdbuf();
    return content.str();
  }
  AppendResult append(const std::string& name, const std::string& line, bool truncate) const {
    return appendLine(path(name).c_str(), line.data(), line.size(), truncate);
  }

  fs::path folder_;
};

TEST_F(AppendLineTest, AppendsOrTruncatesFirst) {
  EXPECT_EQ(append("a.lst", "one", false), AppendResult::kWritten);
  EXPECT_EQ(append("a.lst", "two", false), AppendResult::kWritten);
  EXPECT_EQ(read("a.lst"), "one" + kLineEnd + "two" + kLineEnd);
  EXPECT_EQ(append("a.lst", "three", true), AppendResult::kWritten);
  EXPECT_EQ(read("a.lst"), "three" + kLineEnd);
  EXPECT_EQ(append("b.lst", "new", true), AppendResult::kWritten);
  EXPECT_EQ(read("b.lst"), "new" + kLineEnd);
  std::string nul("a\0b", 3);
  EXPECT_EQ(append("c.lst", nul, false), AppendResult::kWritten);
  EXPECT_EQ(read("c.lst"), nul + kLineEnd);
}

TEST_F(AppendLineTest, AMissingFolderOrAFolderCannotBeOpened) {
  fs::create_directory(folder_ / "folder");
  EXPECT_EQ(append("missing/a.lst", "x", false), AppendResult::kOpenFailed);
  EXPECT_EQ(append("folder", "x", false), AppendResult::kOpenFailed);
  EXPECT_EQ(append("folder", "x", true), AppendResult::kOpenFailed);
  EXPECT_FALSE(fs::exists(folder_ / "missing"));
}

#ifndef _WIN32
TEST_F(AppendLineTest, AFullDiskFailsTheWrite) {
  EXPECT_EQ(appendLine("/dev/full", "x", 1, false), AppendResult::kWriteFailed);
}
#endif

TEST_F(AppendLineTest, WritersAtOnceLoseNothing) {
  constexpr int kWriters = 4;
  constexpr int kLines = 400;
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([this, w] {
      for (int n = 0; n < kLines; ++n) {
        std::string line = "writer " + std::to_string(w) + " line " + std::to_string(n);
        line.resize(100, '.');
        append("shared.lst", line, false);
      }
    });
  }
  for (std::thread& writer : writers) writer.join();
  std::string content = read("shared.lst");
  std::vector<int> seen(kWriters, 0);
  size_t start = 0;
  int lines = 0;
  for (size_t end; (end = content.find(kLineEnd, start)) != std::string::npos;
       start = end + kLineEnd.size()) {
    std::string line = content.substr(start, end - start);
    ASSERT_EQ(line.size(), 100u) << line;
    ++seen.at(static_cast<size_t>(line[7] - '0'));
    ++lines;
  }
  EXPECT_EQ(start, content.size());
  EXPECT_EQ(lines, kWriters * kLines);
  for (int count : seen) EXPECT_EQ(count, kLines);
}

}  // namespace
