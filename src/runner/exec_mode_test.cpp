#include "runner/exec_mode.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/command_line.h"

namespace {

std::vector<char*> pointers(std::vector<std::string>& words) {
  std::vector<char*> result;
  for (std::string& word : words) result.push_back(&word[0]);
  return result;
}

std::string commandLineOf(std::vector<std::string> words) {
  std::vector<char*> argv = pointers(words);
  char* built = buildCommandLine(static_cast<int>(argv.size()), argv.data());
  std::string result = built;
  std::free(built);
  return result;
}

TEST(ExecModeTest, BuildsTheCommandLine) {
  struct Row {
    std::vector<std::string> words;
    std::string commandLine;
  };
  const Row rows[] = {
      {{"tool", "-o", "out.log"}, R"("tool" "-o" "out.log")"},
      {{"tool"}, R"("tool")"},
      {{"my tool", "a b", ""}, R"("my tool" "a b" "")"},
      // A quote inside a word is escaped, with the backslashes before it.
      {{"tool", R"(say "hi")", "x"}, R"("tool" "say \"hi\"" "x")"},
      {{"tool", R"(")", R"(a\"b)"}, R"("tool" "\"" "a\\\"b")"},
      {{"tool", R"(-DVERSION="1.0")"}, R"("tool" "-DVERSION=\"1.0\"")"},
      {{"tool", R"(a\\"b\)"}, R"("tool" "a\\\\\"b\\")"},
      {{"tool", R"(a\b\\c)"}, R"("tool" "a\b\\c")"},
      // A closing quote behind backslashes needs them doubled.
      {{"tool", R"(C:\out\)", R"(x\\)"}, R"("tool" "C:\out\\" "x\\\\")"},
      {{"tool", R"(\)"}, R"("tool" "\\")"},
      // The program name takes no escapes: one with a quote goes as written.
      {{R"("C:\x y\t.exe")", R"(a"b)"}, R"("C:\x y\t.exe" "a\"b")"},
      {{R"(C:\bin\)", "x"}, R"("C:\bin\\" "x")"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(commandLineOf(row.words), row.commandLine) << row.commandLine;
  }
}

TEST(ExecModeTest, WordsWithoutQuotesComeBackWhole) {
  const std::vector<std::string> words = {"tool",       "plain", "two words", "",   "tab\there",
                                          R"(C:\dir\)", R"(\\)", R"(a\\b)",   "-o", "x"};
  EXPECT_EQ(splitCommandLine(commandLineOf(words).c_str()), words);
}

TEST(ExecModeTest, EveryWordComesBackWhole) {
  // Each row is the tool's arguments; the runtime's splitting of the joined
  // line must give back the program name and exactly these words.
  const std::vector<std::vector<std::string>> rows = {
      {R"(-DVERSION="1.0")", R"(x"y)"},
      {R"(")", R"("")", R"(""")", R"(" ")"},
      {R"(\")", R"(\\")", R"(\\\")", R"(a\"b\")", R"("\)"},
      {R"(\)", R"(\\)", R"(a\)", R"(a\\)", R"( \)", "\t\\"},
      {"", "", " ", "\t", "a b\tc", "  "},
      {R"(echo "hello world"; echo second)"},
      {R"(C:\Program Files\x\)", R"(\\server\share\)", R"(\\?\C:\long)"},
      {R"(say "hi" \"there\")", R"(a\\\"b)", R"("\")"},
  };
  for (const auto& arguments : rows) {
    std::vector<std::string> words = {"tool"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::string line = commandLineOf(words);
    EXPECT_EQ(splitCommandLine(line.c_str()), words) << line;
  }
}

TEST(ExecModeTest, SanitizingHalvesBackslashPairs) {
  struct Row {
    std::string word;
    std::string sanitized;
  };
  const Row rows[] = {
      {R"(a\b)", R"(a\b)"},
      {R"(a\\b)", R"(a\b)"},
      {R"(a\\\b)", R"(a\\b)"},
      {R"(a\\\\b)", R"(a\\b)"},
      {R"(\\\\\)", R"(\\\)"},
      {R"(\\"x\\")", R"(\"x\")"},
      {"", ""},
      {"plain", "plain"},
      {R"(\)", R"(\)"},
  };
  std::vector<std::string> words;
  for (const Row& row : rows) words.push_back(row.word);
  std::vector<char*> argv = pointers(words);
  char** sanitized = sanitizeArguments(static_cast<int>(argv.size()), argv.data());
  for (size_t i = 0; i < argv.size(); ++i) {
    EXPECT_EQ(sanitized[i], rows[i].sanitized) << rows[i].word;
    EXPECT_EQ(words[i], rows[i].word) << "the given word changed";
  }
  EXPECT_EQ(sanitized[argv.size()], nullptr);
  std::free(sanitized);
}

}  // namespace
