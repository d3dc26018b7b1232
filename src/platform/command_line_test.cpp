#include "platform/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(CommandLineTest, SplitsLikeTheMicrosoftRuntime) {
  struct Row {
    const char* commandLine;
    std::vector<std::string> words;
  };
  const Row rows[] = {
      {R"("tool" "a b" "c")", {"tool", "a b", "c"}},
      {"tool a  b\t c   ", {"tool", "a", "b", "c"}},
      {"tool", {"tool"}},
      {"", {""}},
      {R"("" x)", {"", "x"}},
      // The program name takes no escapes and may be quoted in parts.
      {R"("C:\Program Files\x.exe" arg)", {R"(C:\Program Files\x.exe)", "arg"}},
      {R"("C:\dir\"x y)", {R"(C:\dir\x)", "y"}},
      {R"(C:\dir\"x y")", {R"(C:\dir\x y)"}},
      // The examples of the runtime's documentation.
      {R"(tool "abc" d e)", {"tool", "abc", "d", "e"}},
      {R"(tool a\\b d"e f"g h)", {"tool", R"(a\\b)", "de fg", "h"}},
      {R"(tool a\\\"b c d)", {"tool", R"(a\"b)", "c", "d"}},
      {R"(tool a\\\\"b c" d e)", {"tool", R"(a\\b c)", "d", "e"}},
      {R"(tool a"b"" c d)", {"tool", R"(ab" c d)"}},
      // Backslashes and quotes.
      {R"(tool "" "")", {"tool", "", ""}},
      {R"(tool "a\\")", {"tool", R"(a\)"}},
      {R"(tool "a\\\\" b)", {"tool", R"(a\\)", "b"}},
      {R"(tool "a\" b)", {"tool", R"(a" b)"}},
      {R"(tool \")", {"tool", R"(")"}},
      {R"(tool \\\\ \\\x)", {"tool", R"(\\\\)", R"(\\\x)"}},
      {R"(tool a\)", {"tool", R"(a\)"}},
      {R"(tool a"b c)", {"tool", "ab c"}},
      {R"(tool "x"y"z")", {"tool", "xyz"}},
      {R"(tool """")", {"tool", R"(")"}},
      {R"(tool """ x)", {"tool", R"(" x)"}},
      {"tool \"a\tb\"\tc", {"tool", "a\tb", "c"}},
      // Words as the exec mode quotes them: every word in quotes, a quote
      // inside as \", backslashes before a quote or the end doubled.
      {R"("tool" "-DVERSION=\"1.0\"" "x\"y")", {"tool", R"(-DVERSION="1.0")", R"(x"y)"}},
      {R"("tool" "a\\\"b" "c\\" "\\\\")", {"tool", R"(a\"b)", R"(c\)", R"(\\)"}},
      {"\"tool\" \"\" \"\\\"\" \" \" \"\t\"", {"tool", "", R"(")", " ", "\t"}},
      {R"("tool" "a\b\\c\\")", {"tool", R"(a\b\\c\)"}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(splitCommandLine(row.commandLine), row.words) << "[" << row.commandLine << "]";
  }
}

}  // namespace
