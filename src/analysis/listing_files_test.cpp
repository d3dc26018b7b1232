#include "analysis/listing_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "analysis/action_test_support.h"
#include "rules/rule_set.h"

namespace {

struct ListRule {
  const char* pattern;
  const char* file;  // relative to the scratch folder
  bool multi;
};

class ListingFilesTest : public ActionTest {
 protected:
  /// Installs the rules, sharing one ListingFile per path; append is taken
  /// from appendFiles.
  void installListRules(const std::vector<ListRule>& rules,
                        const std::vector<std::string>& appendFiles = {}) const {
    for (const ListRule& rule : rules) {
      ListingFile* file = nullptr;
      for (const auto& known : ruleSet.listingFiles) {
        if (known->path == rule.file) file = known.get();
      }
      if (file == nullptr) {
        ruleSet.listingFiles.push_back(std::make_unique<ListingFile>());
        file = ruleSet.listingFiles.back().get();
        file->path = rule.file;
        for (const std::string& name : appendFiles) file->append |= name == rule.file;
        ++ruleSet.listingFileCount;
      }
      ruleSet.listRules.push_back(
          std::make_unique<ListRegularExpression>(rule.pattern, file, rule.multi));
      ruleSet.listRules.back()->compile();
    }
  }

  /// What applyListRules printed for each line in turn.
  static std::string listLines(const std::vector<std::string>& lines) {
    testing::internal::CaptureStdout();
    MatchState state;
    for (const std::string& line : lines) {
      applyListRules({"build.log", 1, line.c_str(), line.size()}, state);
    }
    return testing::internal::GetCapturedStdout();
  }

  static std::string purge() {
    testing::internal::CaptureStdout();
    purgeListingFiles();
    return testing::internal::GetCapturedStdout();
  }

  int entriesOf(const std::string& path) const {
    for (const auto& file : ruleSet.listingFiles) {
      if (file->path == path) return file->entriesWritten;
    }
    return -1;
  }
};

TEST_F(ListingFilesTest, MatchingRulesAddTheirEntriesInOrder) {
  struct Row {
    const char* what;
    std::vector<ListRule> rules;
    std::vector<std::string> lines;
    std::string a;  // then the content of a.lst and b.lst
    std::string b;
  };
  const Row rows[] = {
      {"multi lets the next rule try",
       {{"^Built (.+)$", "a.lst", true}, {"^Built (.+)$", "b.lst", true}},
       {"Built x.dll", "Built y.dll"},
       "x.dll\ny.dll\n",
       "x.dll\ny.dll\n"},
      {"the first matching rule without multi ends the pass",
       {{"^Built (.+)$", "a.lst", false}, {"^Built (.+)$", "b.lst", true}},
       {"Built x.dll"},
       "x.dll\n",
       "<missing>"},
      {"a rule that does not match never ends the pass",
       {{"^Linked (.+)$", "a.lst", false}, {"^Built (.+)$", "b.lst", false}},
       {"Built x.dll", "Linked y.exe"},
       "y.exe\n",
       "x.dll\n"},
      {"one line twice into one file",
       {{"^Built (.+)$", "a.lst", true}, {"^Built (.+)\\.dll$", "a.lst", true}},
       {"Built x.dll"},
       "x.dll\nx\n",
       "<missing>"},
      {"no capture group gives an empty line",
       {{"^Built", "a.lst", true}},
       {"Built x.dll", "other", "Built y.dll"},
       "\n\n",
       "<missing>"},
      {"a chain stops where multi is off",
       {{"(x)", "a.lst", true}, {"(.)", "b.lst", false}, {"(.+)", "a.lst", true}},
       {"xyz", "abc"},
       "x\n",
       "x\na\n"},
  };
  bool first = true;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    if (!first) TearDown(), SetUp();
    first = false;
    installListRules(row.rules);
    EXPECT_EQ(listLines(row.lines), "");
    EXPECT_EQ(readFile("a.lst"), row.a == "<missing>" ? row.a : textMode(row.a));
    EXPECT_EQ(readFile("b.lst"), row.b == "<missing>" ? row.b : textMode(row.b));
  }
}

TEST_F(ListingFilesTest, ARewrittenFileIsTruncatedOnceAndSharedCountsBoth) {
  writeFile("shared.lst", "old 1\nold 2\n");
  writeFile("kept.lst", textMode("old\n"));
  installListRules({{"^Built (.+)$", "shared.lst", true},
                    {"^Linked (.+)$", "shared.lst", true},
                    {"^Built (.+)$", "kept.lst", true}},
                   {"kept.lst"});
  debugEnabled = true;
  EXPECT_EQ(listLines({"Built a.dll", "Linked b.exe", "Built c.dll"}),
            "adding file \"a.dll\" to list \"shared.lst\" (write)\n"
            "adding file \"a.dll\" to list \"kept.lst\" (append)\n"
            "adding file \"b.exe\" to list \"shared.lst\" (append)\n"
            "adding file \"c.dll\" to list \"shared.lst\" (append)\n"
            "adding file \"c.dll\" to list \"kept.lst\" (append)\n");
  EXPECT_EQ(readFile("shared.lst"), textMode("a.dll\nb.exe\nc.dll\n"));
  EXPECT_EQ(readFile("kept.lst"), textMode("old\na.dll\nc.dll\n"));
  EXPECT_EQ(entriesOf("shared.lst"), 3);
  EXPECT_EQ(entriesOf("kept.lst"), 2);
}

TEST_F(ListingFilesTest, PurgeDeletesOnlyExistingRewrittenFiles) {
  writeFile("stale.lst", "old\n");
  writeFile("kept.lst", "old\n");
  std::filesystem::create_directory(at("folder.lst"));
  installListRules({{"a", "stale.lst", true},
                    {"b", "kept.lst", true},
                    {"c", "absent.lst", true},
                    {"d", "folder.lst", true}},
                   {"kept.lst"});
  EXPECT_EQ(purge(), "WARNING: Failed to remove list file 'folder.lst'\n");
  EXPECT_EQ(readFile("stale.lst"), "<missing>");
  EXPECT_EQ(readFile("kept.lst"), "old\n");
  EXPECT_TRUE(std::filesystem::is_directory(at("folder.lst")));

  writeFile("stale.lst", "old\n");
  debugEnabled = true;
  EXPECT_EQ(purge(),
            "Deleting list file 'stale.lst'\n"
            "Deleting list file 'folder.lst'\n"
            "WARNING: Failed to remove list file 'folder.lst'\n");
  EXPECT_EQ(readFile("stale.lst"), "<missing>");
}

TEST_F(ListingFilesTest, AFileThatCannotBeOpenedEndsTheRun) {
  installListRules({{"^Built (.+)$", "a.lst", true}, {"^Built (.+)$", "missing/b.lst", true}});
  MatchState state;
  EXPECT_EXIT(applyListRules({"build.log", 1, "Built x.dll", 11}, state),
              testing::ExitedWithCode(1), "");
}

TEST_F(ListingFilesTest, AListingFileThatIsAnInputEndsTheRunBeforeAnythingHappens) {
  writeFile("rules.xml", "<tarnwick/>");
  writeFile("build.log", "I00020110: built\n");
  std::filesystem::create_hard_link(at("build.log"), at("linked.log"));
  struct Row {
    const char* what;
    const char* listing;
    const char* config;
    const char* log;
    bool refused;
  };
  // Each refusal runs in a process of its own, so the rows are few; which
  // spellings are one file is sameFile's test.
  const Row rows[] = {
      {"other files", "a.lst", "rules.xml", "build.log", false},
      {"the configuration spelt otherwise", "./rules.xml", "rules.xml", nullptr, true},
      {"a link to the log", "linked.log", "rules.xml", "build.log", true},
      {"no log", "build.log", "rules.xml", nullptr, false},
      {"an empty log name", "build.log", "rules.xml", "", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ruleSet = RuleSet();
    installListRules({{"^Built (.+)$", "a.lst", true}, {"^Built (.+)$", row.listing, true}});
    if (row.refused) {
      EXPECT_EXIT(rejectListingFileClashes(row.config, row.log), testing::ExitedWithCode(1), "");
    } else {
      rejectListingFileClashes(row.config, row.log);
    }
  }
  EXPECT_EQ(readFile("rules.xml"), "<tarnwick/>");
  EXPECT_EQ(readFile("build.log"), "I00020110: built\n");
}

TEST_F(ListingFilesTest, AServerLogThatIsAListingFileEndsTheRun) {
  installListRules({{"^Built (.+)$", "a.lst", true}, {"^Built (.+)$", "b.lst", true}});
  rejectListedLog("server.log");
  EXPECT_EXIT(rejectListedLog(at("@/./a.lst").c_str()), testing::ExitedWithCode(1), "");
}

}  // namespace
