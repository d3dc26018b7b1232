// Whole lines on a text stream: one write, the stream's own line ends.
#include "platform/text_output.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "base/scratch_folder_test_support.h"

namespace {

namespace fs = std::filesystem;

class TextOutputTest : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = makeScratchFolder("tarnwick-out-"); }
  void TearDown() override { removeScratchFolder(folder_); }

  /// What a text stream holds after "before" went in by printf, then the
  /// line, then "after" by printf again.
  std::string written(const char* prefix, const std::string& data) const {
    std::string path = (folder_ / "out.txt").string();
    std::FILE* stream = std::fopen(path.c_str(), "w");
    EXPECT_NE(stream, nullptr);
    if (stream == nullptr) return "";
    std::fprintf(stream, "before\n");
    EXPECT_TRUE(writeTextLine(stream, prefix, data.data(), data.size()));
    std::fprintf(stream, "after\n");
    std::fclose(stream);
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
  }

  fs::path folder_;
};

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

TEST_F(TextOutputTest, WritesPrefixDataAndLineEndInOrder) {
  struct Row {
    const char* name;
    const char* prefix;
    std::string data;
    std::string posix;  // the line as written, between "before" and "after"
    std::string windows;
  };
  const Row rows[] = {
      {"plain", "", "abc", "abc\n", "abc\r\n"},
      {"with a prefix", "stdout: ", "abc", "stdout: abc\n", "stdout: abc\r\n"},
      {"empty", "", "", "\n", "\r\n"},
      {"inner CR LF stays one", "", "a\r\nb", "a\r\nb\n", "a\r\nb\r\n"},
      {"inner LF gets its CR", "", "a\nb", "a\nb\n", "a\r\nb\r\n"},
      {"a lone CR stays", "", "50%\r60%", "50%\r60%\n", "50%\r60%\r\n"},
      {"a CR at the end stays", "", "a\r", "a\r\n", "a\r\r\n"},
      {"LF CR", "", "a\n\rb", "a\n\rb\n", "a\r\n\rb\r\n"},
      {"a leading LF", "", "\nb", "\nb\n", "\r\nb\r\n"},
      {"NULs", "", std::string("a\0b", 3), std::string("a\0b\n", 4), std::string("a\0b\r\n", 5)},
  };
  const std::string before = kWindows ? "before\r\n" : "before\n";
  const std::string after = kWindows ? "after\r\n" : "after\n";
  for (const Row& row : rows) {
    EXPECT_EQ(written(row.prefix, row.data), before + (kWindows ? row.windows : row.posix) + after)
        << row.name;
  }
}

TEST_F(TextOutputTest, ALongLineGoesWhole) {
  std::string data(1 << 20, 'x');
  std::string end = kWindows ? "\r\n" : "\n";
  EXPECT_EQ(written("", data), "before" + end + data + end + "after" + end);
}

}  // namespace
