#include "driver/options.h"

#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "driver/help.h"
#include "rules/rule_set.h"

namespace {

std::string textOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::set<std::string> tableNames() {
  std::set<std::string> names;
  for (size_t i = 0; i < optionCount(); ++i) names.insert(optionTable()[i].name);
  return names;
}

/// The options the manual page documents: the first word of each entry
/// (the line after .TP) of its OPTIONS section, "\-" read as "-".
std::set<std::string> manualPageOptions(const std::string& page) {
  std::set<std::string> names;
  size_t start = page.find("\n.SH OPTIONS\n");
  size_t end = page.find("\n.SH ", start + 1);
  std::istringstream lines(page.substr(start, end - start));
  std::string line;
  bool entry = false;
  while (std::getline(lines, line)) {
    if (entry && (line.rfind(".B ", 0) == 0 || line.rfind(".BI ", 0) == 0)) {
      std::string word = line.substr(line.find(' ') + 1);
      word = word.substr(0, word.find(' '));
      for (size_t at; (at = word.find("\\-")) != std::string::npos;) word.erase(at, 1);
      names.insert(word);
    }
    entry = line == ".TP";
  }
  return names;
}

/// The words of the completion's option list and of its case that skips
/// an option's value.
void completionOptions(const std::string& script, std::set<std::string>* all,
                       std::set<std::string>* withValue) {
  std::istringstream lines(script);
  std::string line;
  while (std::getline(lines, line)) {
    size_t list = line.find("options=\"");
    if (list == std::string::npos) list = line.find("options+=\"");
    if (list != std::string::npos && line.find("--help") == std::string::npos) {
      std::istringstream words(line.substr(line.find('"') + 1));
      std::string word;
      while (words >> word)
        all->insert(word.back() == '"' ? word.substr(0, word.size() - 1) : word);
    }
    if (line.find("((i++))") != std::string::npos) {
      std::istringstream words(line.substr(0, line.find(')')));
      std::string word;
      while (words >> word) {
        if (word != "|") withValue->insert(word);
      }
    }
  }
}

TEST(OptionsTest, TheManualPageDocumentsEveryOptionAndNoOther) {
  std::set<std::string> expected = tableNames();
  expected.insert({"--help", "--version"});
  EXPECT_EQ(manualPageOptions(textOf(TARNWICK_SOURCE_DIR "/docs/tarnwick.1")), expected);
}

TEST(OptionsTest, TheCompletionOffersEveryOptionAndSkipsEveryValue) {
  std::set<std::string> all;
  std::set<std::string> withValue;
  completionOptions(textOf(TARNWICK_SOURCE_DIR "/completion/tarnwick"), &all, &withValue);
  EXPECT_EQ(all, tableNames());
  std::set<std::string> expected;
  for (size_t i = 0; i < optionCount(); ++i) {
    if (optionTable()[i].value == OptionValue::next) expected.insert(optionTable()[i].name);
  }
  EXPECT_EQ(withValue, expected);
}

/// How the completion completes the value after each option of its
/// "case $prev" block, in the table's terms: "file", "file:<ext>" or "".
std::map<std::string, std::string> completionValues(const std::string& script) {
  std::map<std::string, std::string> values;
  std::istringstream lines(script.substr(script.find("case $prev in")));
  std::string line;
  std::vector<std::string> pending;
  while (std::getline(lines, line) && line.find("esac") == std::string::npos) {
    size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos) continue;
    line = line.substr(first);
    if (line[0] == '-' && line.back() == ')') {
      std::istringstream words(line.substr(0, line.size() - 1));
      std::string word;
      while (words >> word) {
        if (word != "|") pending.push_back(word);
      }
      continue;
    }
    std::string value;
    if (line == "_filedir") value = "file";
    if (line.rfind("_filedir ", 0) == 0) value = "file:" + line.substr(9);
    if (line == "_filedir" || line.rfind("_filedir ", 0) == 0 || line == "return") {
      for (const std::string& option : pending) values.emplace(option, value);
      pending.clear();
    }
  }
  return values;
}

TEST(OptionsTest, TheCompletionCompletesEachValueAsTheTableSays) {
  std::map<std::string, std::string> expected;
  for (size_t i = 0; i < optionCount(); ++i) {
    const OptionRow& row = optionTable()[i];
    if (row.value == OptionValue::next) expected[row.name] = row.completion;
  }
  EXPECT_EQ(completionValues(textOf(TARNWICK_SOURCE_DIR "/completion/tarnwick")), expected);
}

TEST(OptionsTest, HelpListsEveryOption) {
  testing::internal::CaptureStdout();
  const char* argv[] = {"tarnwick", "--help", nullptr};
  ASSERT_TRUE(answerInformationRequest(2, argv));
  std::string help = testing::internal::GetCapturedStdout();
  for (size_t i = 0; i < optionCount(); ++i) {
    const OptionRow& row = optionTable()[i];
    std::string shown = std::string("\n  ") + row.name +
                        (row.value == OptionValue::attached || *row.valueText == '\0' ? "" : " ") +
                        row.valueText + "  ";
    EXPECT_NE(help.find(shown), std::string::npos) << row.name;
    EXPECT_NE(help.find(std::string(row.help) + "\n"), std::string::npos) << row.name;
  }
}

TEST(OptionsTest, WalksLeftToRight) {
  struct Row {
    std::vector<const char*> args;  // after the program name
    std::string log;                // the shared -log/-scan slot
    bool logRequested, scanRequested, execRequested;
    int commandStart;
    std::string config;
    std::string firstUnknown;
  };
  const Row rows[] = {
      {{"-log", "a.log", "-scan", "b.log"}, "b.log", true, true, false, 0, "", ""},
      {{"-scan", "a.log", "-log", "b.log"}, "b.log", true, true, false, 0, "", ""},
      // A value is the next word, whatever it looks like.
      {{"-log", "-debug", "-cfg", "-exec"}, "-debug", true, false, false, 0, "-exec", ""},
      {{"-cfg", "a.xml", "-cfg", "b.xml", "-log", "x"}, "x", true, false, false, 0, "b.xml", ""},
      // Every word after -exec is the tool's.
      {{"-exec", "tool", "-log", "x", "-bogus"}, "", false, false, true, 1, "", ""},
      {{"-log", "x", "-exec", "-scan", "y"}, "x", true, false, true, 3, "", ""},
      // Unknown words are ignored; the first that looks like an option is noted.
      {{"foo", "-verbose", "-Log", "-log", "x", "--help"},
       "x",
       true,
       false,
       false,
       0,
       "",
       "-verbose"},
      // A lone "-" that is no option's value is unknown; as -log's it is stdin.
      {{"-", "-log", "-", "-exe"}, "-", true, false, false, 0, "", "-"},
      {{"-log", "-", "-exe"}, "-", true, false, false, 0, "", "-exe"},
  };
  for (const Row& row : rows) {
    std::vector<char*> argv = {const_cast<char*>("tarnwick")};
    for (const char* arg : row.args) argv.push_back(const_cast<char*>(arg));
    CommandLine options = walkOptions(static_cast<int>(argv.size()), argv.data());
    std::string shown = row.args[0];
    EXPECT_EQ(options.logFileName != nullptr ? options.logFileName : "", row.log) << shown;
    EXPECT_EQ(options.logRequested, row.logRequested) << shown;
    EXPECT_EQ(options.scanRequested, row.scanRequested) << shown;
    EXPECT_EQ(options.execRequested, row.execRequested) << shown;
    EXPECT_EQ(options.commandStart, row.commandStart) << shown;
    EXPECT_EQ(options.configFileName != nullptr ? options.configFileName : "", row.config) << shown;
    EXPECT_EQ(options.firstUnknownOption != nullptr ? options.firstUnknownOption : "",
              row.firstUnknown)
        << shown;
  }
}

TEST(OptionsTest, SwitchesReportsAndGates) {
  std::vector<const char*> args = {"tarnwick",
                                   "-json",
                                   "r.json",
                                   "-junit",
                                   "r.xml",
                                   "-html",
                                   "r.html",
                                   "-github",
                                   "-toolstatus",
                                   "-classifyoutput",
                                   "-sanitize",
                                   "-maxfailures",
                                   "007",
                                   "-maxunmatched",
                                   "99999999999999999999999",
                                   "-log",
                                   "x"};
  std::vector<char*> argv;
  for (const char* arg : args) argv.push_back(const_cast<char*>(arg));
  CommandLine options = walkOptions(static_cast<int>(argv.size()), argv.data());
  EXPECT_STREQ(options.jsonFile, "r.json");
  EXPECT_STREQ(options.junitFile, "r.xml");
  EXPECT_STREQ(options.htmlFile, "r.html");
  EXPECT_TRUE(options.github);
  EXPECT_TRUE(options.toolStatusGate);
  EXPECT_TRUE(options.classifyOutput);
  EXPECT_TRUE(options.sanitizeRequested);
  EXPECT_EQ(options.maxFailures, 7);
  EXPECT_EQ(options.maxUnmatched, LLONG_MAX);
  EXPECT_EQ(options.firstUnknownOption, nullptr);
}

TEST(OptionsTest, FindsOptionsByWholeNameOrTheDefinePrefix) {
  struct Row {
    const char* word;
    const char* option;  // null: no option
  };
  const Row rows[] = {
      {"-log", "-log"},   {"-logx", nullptr},
      {"-Log", nullptr},  {"log", nullptr},
      {"-D", "-D"},       {"-Dx=1", "-D"},
      {"-Debug", "-D"},   {"-debug", "-debug"},
      {"-d", nullptr},    {"--help", nullptr},
      {"-exec", "-exec"}, {"", nullptr},
      {"-json", "-json"}, {"-toolstatus", "-toolstatus"},
  };
  for (const Row& row : rows) {
    const OptionRow* found = findOption(row.word);
    if (row.option != nullptr) {
      ASSERT_NE(found, nullptr) << row.word;
      EXPECT_STREQ(found->name, row.option) << row.word;
    }
    EXPECT_EQ(isOption(row.word), row.option != nullptr) << row.word;
  }
}

}  // namespace
