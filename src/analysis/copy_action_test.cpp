#include "analysis/copy_action.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "analysis/action_test_support.h"
#include "platform/file_system.h"
#include "rules/rule_set.h"

namespace {

namespace fs = std::filesystem;

struct CopyRule {
  const char* pattern;
  const char* destination;  // through at()
};

class CopyActionTest : public ActionTest {
 protected:
  /// The tree every copy row starts from: four files and an empty drop.
  void writeTree() const {
    writeFile("@/build/bin/a.dll", "bin a");
    writeFile("@/build/a.dll", "a");
    writeFile("@/build/..a/x..y", "dots");
    writeFile("@/secret.txt", "secret");
    fs::create_directory(at("@/drop"));
  }

  void installCopyRules(const std::vector<CopyRule>& rules) const {
    for (const CopyRule& rule : rules) {
      ruleSet.copyRules.push_back(
          std::make_unique<CopyRegularExpression>(rule.pattern, at(rule.destination).c_str()));
      ruleSet.copyRules.back()->compile();
    }
  }

  int regularFileCount() const {
    int count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(scratch_)) {
      if (entry.is_regular_file()) ++count;
    }
    return count;
  }

  /// What applyCopyRules printed for line.
  std::string copyLine(const std::string& line) const {
    testing::internal::CaptureStdout();
    MatchState state;
    applyCopyRules({"build.log", 1, line.c_str(), line.size()}, state);
    return testing::internal::GetCapturedStdout();
  }
};

const std::vector<CopyRule> kToDrop = {{"^Copied (.+)$", "@/drop"}};

TEST_F(CopyActionTest, CopiesTheNamedFileBelowTheDestination) {
  struct Row {
    const char* what;
    const char* base;
    std::vector<CopyRule> rules;
    const char* name;  // the line is "Copied " and this
    const char* copy;  // where the copy lands
  };
  const Row rows[] = {
      {"missing folders are made", "@/build", kToDrop, "@/build/bin/a.dll", "@/drop/bin/a.dll"},
      {"a separator joins destination and rest", "@/build/", kToDrop, "@/build/bin/a.dll",
       "@/drop/bin/a.dll"},
      {"no separator is added to one there",
       "@/build",
       {{"^Copied (.+)$", "@/drop/"}},
       "@/build/a.dll",
       "@/drop/a.dll"},
      {"a dot at the end of the destination is a component",
       "@/build/",
       {{"^Copied (.+)$", "@/drop/."}},
       "@/build/./a.dll",
       "@/drop/a.dll"},
      {"a dot component in a folder still to be made", "@/build", kToDrop, "@/build/bin/./a.dll",
       "@/drop/bin/a.dll"},
      {"the whole name is the base folder's when it ends in a separator", "@/build/", kToDrop,
       "@/build/a.dll", "@/drop/a.dll"},
      {"the destination's own separator",
       "@/build/",
       {{"^Copied (.+)$", "@/drop/"}},
       "@/build/a.dll",
       "@/drop/a.dll"},
      {"an empty base takes the whole name",
       "",
       {{"^Copied (.+)$", "@/drop/"}},
       "build/a.dll",
       "@/drop/build/a.dll"},
      {"no separator in the target: the current folder",
       "@/build/",
       {{"^Copied (.+)$", ""}},
       "@/build/a.dll",
       "a.dll"},
      {"a base folder that climbs is the configuration's", "@/build/../build", kToDrop,
       "@/build/../build/a.dll", "@/drop/a.dll"},
      {"dots that are no parent step", "@/build", kToDrop, "@/build/..a/x..y", "@/drop/..a/x..y"},
      {"the first matching rule acts",
       "@/build",
       {{"^Nothing (.+)$", "@/other"}, {"^Copied (.+)$", "@/drop"}, {"(.+)", "@/other"}},
       "@/build/a.dll",
       "@/drop/a.dll"},
  };
  bool first = true;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    if (!first) TearDown(), SetUp();
    first = false;
    writeTree();
    ruleSet.basedir = std::make_unique<std::string>(at(row.base));
    installCopyRules(row.rules);
    EXPECT_EQ(copyLine("Copied " + at(row.name)), "");
    EXPECT_EQ(runTotals.copiedCount, 1);
    EXPECT_EQ(runTotals.copyFailCount, 0);
    EXPECT_EQ(readFile(row.copy), readFile(row.name));
    EXPECT_EQ(regularFileCount(), 5);
  }
}

TEST_F(CopyActionTest, RefusesNamesOutsideTheBaseFolder) {
  struct Row {
    const char* what;
    const char* base;
    std::vector<CopyRule> rules;
    const char* name;
    const char* refused;  // the name in the message
  };
  const Row rows[] = {
      {"another folder", "@/build", kToDrop, "@/secret.txt", "@/secret.txt"},
      {"a folder whose name begins like the base", "@/build", kToDrop, "@/buildX/a.dll",
       "@/buildX/a.dll"},
      {"a file whose name begins like the base", "@/build", kToDrop, "@/build.dll", "@/build.dll"},
      {"no capture group: empty name", "@/build", {{"^Copied ", "@/drop"}}, "@/build/a.dll", ""},
      {"the first rule refuses, the second is not tried",
       "@/build",
       {{"^Copied (x)?", "@/drop"}, {"^Copied (.+)$", "@/drop"}},
       "@/build/a.dll",
       ""},
      {"a parent step", "@/build", kToDrop, "@/build/../secret.txt", "@/build/../secret.txt"},
      {"two parent steps", "@/build", kToDrop, "@/build/bin/../../secret.txt",
       "@/build/bin/../../secret.txt"},
      {"a parent step at the end", "@/build", kToDrop, "@/build/bin/..", "@/build/bin/.."},
      {"a parent step right after the base", "@/build/", kToDrop, "@/build/../secret.txt",
       "@/build/../secret.txt"},
      {"a parent step across the base's end", "@/build/.", kToDrop, "@/build/../secret.txt",
       "@/build/../secret.txt"},
      {"a parent step between slashes", "@/build", kToDrop, "@/build|..|secret.txt",
       "@/build|..|secret.txt"},
  };
  bool first = true;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    if (!first) TearDown(), SetUp();
    first = false;
    writeTree();
    ruleSet.basedir = std::make_unique<std::string>(at(row.base));
    installCopyRules(row.rules);
    debugEnabled = true;  // a refused name prints no "copying file" line
    EXPECT_EQ(
        copyLine("Copied " + at(row.name)),
        "ERROR: Filename '" + at(row.refused) + "' does not start with '" + at(row.base) + "'\n");
    EXPECT_EQ(runTotals.copiedCount, 0);
    EXPECT_EQ(runTotals.copyFailCount, 1);
    EXPECT_EQ(regularFileCount(), 4);
  }
}

// The base folder is compared as the file system compares names: on
// Windows letter case does not count and '/' is '\\'.
TEST_F(CopyActionTest, TheBaseFolderIsComparedAsTheFileSystemComparesNames) {
  const bool windows = sameNameCharacter('b', 'B');
  struct Row {
    const char* what;
    const char* base;
    const char* name;
    bool copiedOnWindows;
    bool copiedOnPosix;
    const char* copy;  // where the copy lands
  };
  const Row rows[] = {
      {"letter case differs", "@/BUILD", "@/build/a.dll", true, false, "@/drop/a.dll"},
      {"slashes in the name", "@/build", "@/build|bin|a.dll", true, true, "@/drop/bin/a.dll"},
      {"slashes in the base", "@|build", "@/build/bin/a.dll", true, true, "@/drop/bin/a.dll"},
      {"a case-blind match must still end at a separator", "@/BUILD", "@/buildX/a.dll", false,
       false, ""},
  };
  bool first = true;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    if (!first) TearDown(), SetUp();
    first = false;
    writeTree();
    writeFile("@/buildX/a.dll", "x");
    ruleSet.basedir = std::make_unique<std::string>(at(row.base));
    installCopyRules(kToDrop);
    std::string printed = copyLine("Copied " + at(row.name));
    if (windows ? row.copiedOnWindows : row.copiedOnPosix) {
      EXPECT_EQ(printed, "");
      EXPECT_EQ(runTotals.copiedCount, 1);
      EXPECT_EQ(readFile(row.copy), readFile(row.name));
    } else {
      EXPECT_EQ(printed, "ERROR: Filename '" + at(row.name) + "' does not start with '" +
                             at(row.base) + "'\n");
      EXPECT_EQ(runTotals.copyFailCount, 1);
      EXPECT_EQ(regularFileCount(), 5);
    }
  }
}

TEST_F(CopyActionTest, WithoutBaseFolderOrRulesNothingHappens) {
  writeTree();
  installCopyRules(kToDrop);
  EXPECT_EQ(copyLine("Copied " + at("@/build/a.dll")), "");
  ruleSet = RuleSet();
  ruleSet.basedir = std::make_unique<std::string>("");
  EXPECT_EQ(copyLine("Copied " + at("@/build/a.dll")), "");
  EXPECT_EQ(runTotals.copiedCount, 0);
  EXPECT_EQ(runTotals.copyFailCount, 0);
  EXPECT_EQ(regularFileCount(), 4);
}

TEST_F(CopyActionTest, DebugNamesEveryAcceptedAttempt) {
  writeTree();
  ruleSet.basedir = std::make_unique<std::string>(at("@/build"));
  installCopyRules(kToDrop);
  debugEnabled = true;
  EXPECT_EQ(copyLine("Copied " + at("@/build/bin/a.dll")),
            at("copying file \"@/build/bin/a.dll\" to \"@/drop/bin/a.dll\"\n"));
  EXPECT_EQ(runTotals.copiedCount, 1);
}

TEST_F(CopyActionTest, NeverOverwritesAndReportsTheSystemText) {
  writeTree();
  writeFile("@/drop/a.dll", "older");
  ruleSet.basedir = std::make_unique<std::string>(at("@/build"));
  installCopyRules(kToDrop);
  std::string printed = copyLine("Copied " + at("@/build/a.dll"));
  std::string prefix = at("ERROR: Failed to copy '@/build/a.dll' to '@/drop/a.dll': ");
  ASSERT_EQ(printed.compare(0, prefix.size(), prefix), 0) << printed;
  // The system's text and its own line end, then an empty line. Line ends
  // are compared without CR: the Windows text has its own CR LF, which
  // reaches the capture in text mode.
  std::string text;
  for (char c : printed.substr(prefix.size())) {
    if (c != '\r') text += c;
  }
  EXPECT_GT(text.size(), 2u);
  EXPECT_EQ(text.find('\n'), text.size() - 2) << text;
  EXPECT_EQ(readFile("@/drop/a.dll"), "older");
  EXPECT_EQ(runTotals.copyFailCount, 1);

  // A second run into the same destination fails for every present file.
  EXPECT_EQ(copyLine("Copied " + at("@/build/a.dll")), printed);
  EXPECT_EQ(runTotals.copyFailCount, 2);
}

TEST_F(CopyActionTest, AMissingSourceLeavesNoTarget) {
  writeTree();
  ruleSet.basedir = std::make_unique<std::string>(at("@/build"));
  installCopyRules(kToDrop);
  std::string printed = copyLine("Copied " + at("@/build/gone.dll"));
  std::string prefix = at("ERROR: Failed to copy '@/build/gone.dll' to '@/drop/gone.dll': ");
  EXPECT_EQ(printed.compare(0, prefix.size(), prefix), 0) << printed;
  EXPECT_FALSE(fs::exists(at("@/drop/gone.dll")));
  EXPECT_EQ(runTotals.copyFailCount, 1);
}

TEST_F(CopyActionTest, AFolderThatCannotBeMadeFailsTheCopy) {
  writeTree();
  writeFile("@/drop/bin", "a plain file where a folder should be");
  ruleSet.basedir = std::make_unique<std::string>(at("@/build"));
  installCopyRules(kToDrop);
  EXPECT_EQ(copyLine("Copied " + at("@/build/bin/sub/a.dll")),
            at("ERROR: Failed to create folder '@/drop/bin/sub'\n"));
  EXPECT_EQ(runTotals.copyFailCount, 1);
  EXPECT_EQ(readFile("@/drop/bin"), "a plain file where a folder should be");
}

TEST_F(CopyActionTest, MakeFolderPathCreatesTheWholeChain) {
  EXPECT_TRUE(makeFolderPath(at("@/a/b/c/d").c_str()));
  EXPECT_TRUE(fs::is_directory(at("@/a/b/c/d")));
  EXPECT_TRUE(makeFolderPath(at("@/a/b").c_str()));  // already there

  writeFile("@/file", "x");
  EXPECT_TRUE(makeFolderPath(at("@/file").c_str()));  // any existing path counts
  EXPECT_FALSE(makeFolderPath(at("@/file/below").c_str()));
  EXPECT_FALSE(makeFolderPath(at("@/file/below/deeper").c_str()));
  EXPECT_FALSE(makeFolderPath(""));  // missing and no parent to make

  // A last "." names the folder made on the way.
  EXPECT_TRUE(makeFolderPath(at("@/e/f/.").c_str()));
  EXPECT_TRUE(fs::is_directory(at("@/e/f")));
  // '/' splits where the file system takes it as a separator.
  EXPECT_TRUE(makeFolderPath(at("@/g|h|i").c_str()));
  EXPECT_TRUE(fs::is_directory(at("@/g/h/i")));
}

TEST_F(CopyActionTest, TheCopyKeepsPermissionsAndModificationTime) {
  writeFile("@/source", std::string(200000, 'x'));
  auto stamp = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
  fs::last_write_time(at("@/source"), stamp);
  fs::permissions(at("@/source"), fs::perms::owner_read | fs::perms::owner_write |
                                      fs::perms::owner_exec | fs::perms::group_read |
                                      fs::perms::others_exec);
  ASSERT_TRUE(copyOneFile(at("@/source").c_str(), at("@/target").c_str()));
  EXPECT_EQ(readFile("@/target"), readFile("@/source"));
  EXPECT_EQ(fs::status(at("@/target")).permissions(), fs::status(at("@/source")).permissions());
  auto kept = fs::last_write_time(at("@/target")) - stamp;
  EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(kept < kept.zero() ? -kept : kept),
            std::chrono::seconds(3));
}

}  // namespace
