// The copy and list actions driven through a configuration file: files
// collected into a drop folder, listing files written, appended and purged,
// and the errors that refuse a name or end the run.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "e2e_support.h"

namespace {

class ActionsTest : public E2ETest {
 protected:
  /// Writes rules.xml: the root (with basedir="..." when basedir is given),
  /// "OK" lines as successes, lines that begin with "#" ignored, then body.
  void writeConfig(const std::string& body, const char* basedir = nullptr) const {
    std::string root = "<tarnwick";
    if (basedir != nullptr) root += std::string(" basedir=\"") + basedir + "\"";
    writeFile("rules.xml", "<?xml version=\"1.0\"?>\n" + root +
                               ">\n  <success>^OK$</success>\n  <ignore>^#</ignore>\n" + body +
                               "</tarnwick>\n");
  }

  /// A copy rule "^<verb> (.+)$" into the folder rel.
  std::string copyRule(const std::string& verb, const std::string& rel) const {
    return "  <copy dst=\"" + targetPath(rel) + "\">^" + verb + " (.+)$</copy>\n";
  }
};

TEST_F(ActionsTest, CopiesIntoNestedFoldersBelowTheDestination) {
  writeBuildTree();
  writeConfig(copyRule("Copied", "drop"), targetPath("build").c_str());
  RunResult result = runLog({"Copied " + targetPath("build/bin/sub/a.dll"),
                             "# Copied " + targetPath("build/c.txt"),  // no copy rule matches
                             "#" + targetPath("x"), "Copied " + targetPath("build/c.txt")},
                            {"-debug"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("Processing build.log...\n"
                                 "unmatched: Copied " +
                                 targetPath("build/bin/sub/a.dll") + "\ncopying file \"" +
                                 targetPath("build/bin/sub/a.dll") + "\" to \"" +
                                 targetPath("drop/bin/sub/a.dll") + "\"\nunmatched: Copied " +
                                 targetPath("build/c.txt") + "\ncopying file \"" +
                                 targetPath("build/c.txt") + "\" to \"" + targetPath("drop/c.txt") +
                                 "\"\n" + copySummary(1, 0, 2, 0, 2, 2, 0)));
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(readFile("drop/bin/sub/a.dll"), "deep a");
  EXPECT_EQ(readFile("drop/c.txt"), "c");
}

TEST_F(ActionsTest, AnIgnoredLineCopiesToo) {
  writeBuildTree();
  writeConfig(copyRule("# Copied", "drop"), targetPath("build").c_str());
  RunResult result = runLog({"# Copied " + targetPath("build/bin/b.dll")});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("Processing build.log...\n" + copySummary(1, 0, 1, 0, 0, 1, 0)));
  EXPECT_EQ(readFile("drop/bin/b.dll"), "b");
}

TEST_F(ActionsTest, TheTargetIsTheDestinationAndTheRestJoinedByOneSeparator) {
  struct Row {
    const char* what;
    std::string basedir;
    std::string destination;  // as written in dst
    std::string name;
    std::string copy;  // where it lands, relative to the test's folder
    std::string content;
  };
  const Row rows[] = {
      {"base without trailing separator", targetPath("build"), targetPath("drop"),
       targetPath("build/bin/b.dll"), "drop/bin/b.dll", "b"},
      {"base with trailing separator", targetPath("build") + separator(), targetPath("drop"),
       targetPath("build/bin/b.dll"), "drop/bin/b.dll", "b"},
      {"both with trailing separator", targetPath("build") + separator(),
       targetPath("drop") + separator(), targetPath("build/c.txt"), "drop/c.txt", "c"},
      {"an empty base takes the whole name", "", targetPath("drop") + separator(),
       targetRelative("build/bin/sub/a.dll"), "drop/build/bin/sub/a.dll", "deep a"},
  };
  for (const Row& row : rows) {
    std::filesystem::remove_all(hostPath("drop"));  // rows may land in one place
    writeBuildTree();
    writeConfig("  <copy dst=\"" + row.destination + "\">^Copied (.+)$</copy>\n",
                row.basedir.c_str());
    RunResult result = runLog({"Copied " + row.name});
    EXPECT_EQ(result.status, 0) << row.what;
    EXPECT_EQ(result.out, textMode("Processing build.log...\nCopied " + row.name + "\n" +
                                   copySummary(1, 0, 0, 0, 1, 1, 0)))
        << row.what;
    EXPECT_EQ(readFile(row.copy), row.content) << row.what;
  }
}

// Under a file-size limit ("ulimit -f") a large copy fails with the
// system's text, as any failed write does, instead of killing the run.
TEST_F(ActionsTest, ACopyPastTheFileSizeLimitFailsWithAMessage) {
  SKIP_ON_WINDOWS("no file-size limit");
  writeBuildTree();
  writeFile("build/big.bin", std::string(300000, 'b'));
  writeConfig(copyRule("Copied", "drop"), targetPath("build").c_str());
  writeFile("build.log", "Copied " + targetPath("build/big.bin") + "\nOK\n");
  RunResult result = runTool("limit_file_size",
                             {"200000", programPath(), "-cfg", "rules.xml", "-log", "build.log"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Processing build.log...\nCopied " + targetPath("build/big.bin") +
                            "\nERROR: Failed to copy '" + targetPath("build/big.bin") + "' to '" +
                            targetPath("drop/big.bin") + "': File too large\n\n" +
                            copySummary(1, 0, 0, 0, 1, 0, 1) + "ERROR: File copy failed\n");
  EXPECT_FALSE(exists("drop/big.bin"));
}

TEST_F(ActionsTest, NeverOverwritesAndPrintsTheSystemText) {
  writeBuildTree();
  writeFile("drop/c.txt", "older");
  writeConfig(copyRule("Copied", "drop"), targetPath("build").c_str());
  RunResult result = runLog({"Copied " + targetPath("build/c.txt")});
  EXPECT_EQ(result.status, 1);
  std::string head = textMode("Processing build.log...\nCopied " + targetPath("build/c.txt") +
                              "\nERROR: Failed to copy '" + targetPath("build/c.txt") + "' to '" +
                              targetPath("drop/c.txt") + "': ");
  std::string tail = textMode(copySummary(1, 0, 0, 0, 1, 0, 1) + "ERROR: File copy failed\n");
  ASSERT_EQ(result.out.compare(0, head.size(), head), 0) << result.out;
  ASSERT_GE(result.out.size(), head.size() + tail.size());
  ASSERT_EQ(result.out.compare(result.out.size() - tail.size(), tail.size(), tail), 0)
      << result.out;
  std::string text = result.out.substr(head.size(), result.out.size() - head.size() - tail.size());
  if (windowsTarget()) {
    // The system's own text and line end, then an empty line.
    size_t lineEnd = text.find('\n');
    ASSERT_NE(lineEnd, std::string::npos) << text;
    std::string message = text.substr(0, lineEnd);
    message.erase(std::remove(message.begin(), message.end(), '\r'), message.end());
    EXPECT_NE(message, "") << text;
    EXPECT_EQ(text.substr(lineEnd + 1), textMode("\n")) << text;
  } else {
    EXPECT_EQ(text, std::string(std::strerror(EEXIST)) + "\n\n");
  }
  EXPECT_EQ(readFile("drop/c.txt"), "older");
}

TEST_F(ActionsTest, RefusesNamesOutsideTheBaseFolderAndParentSteps) {
  const std::string base = targetPath("build");
  const std::string sep(1, separator());
  struct Row {
    const char* what;
    std::string basedir;
    std::string name;
  };
  std::vector<Row> rows = {
      {"another folder", base, targetPath("secret.txt")},
      {"a parent step", base, base + sep + ".." + sep + "secret.txt"},
      {"two parent steps", base, base + sep + "bin" + sep + ".." + sep + ".." + sep + "secret.txt"},
      {"a parent step right after a base ending in a separator", base + sep,
       base + sep + ".." + sep + "secret.txt"},
  };
  if (!windowsTarget()) {
    // Windows names ignore letter case.
    rows.push_back({"letter case differs", targetPath("Build"), targetPath("build/c.txt")});
  }
  if (windowsTarget()) {
    rows.push_back({"a parent step between slashes", base, base + "/../secret.txt"});
    rows.push_back({"slash and backslash mixed", base, base + "\\bin/..\\..\\secret.txt"});
  }
  for (const Row& row : rows) {
    writeBuildTree();
    writeConfig(copyRule("Copied", "drop"), row.basedir.c_str());
    RunResult result = runLog({"Copied " + row.name}, {"-debug"});
    EXPECT_EQ(result.status, 1) << row.what;
    EXPECT_EQ(result.out,
              textMode("Processing build.log...\nunmatched: Copied " + row.name +
                       "\nERROR: Filename '" + row.name + "' does not start with '" + row.basedir +
                       "'\n" + copySummary(1, 0, 0, 0, 1, 0, 1) + "ERROR: File copy failed\n"))
        << row.what;
    EXPECT_FALSE(exists("drop/secret.txt")) << row.what;
    EXPECT_FALSE(exists("drop/c.txt")) << row.what;
    EXPECT_FALSE(exists("dropsecret.txt")) << row.what;
    EXPECT_FALSE(exists("drop/bin")) << row.what;
  }
}

TEST_F(ActionsTest, DotsThatAreNoParentStepAreCopied) {
  writeBuildTree();
  makeFolder("build/..x");
  writeFile("build/..x/a..b", "dots");
  writeConfig(copyRule("Copied", "drop"), targetPath("build").c_str());
  RunResult result = runLog({"Copied " + targetPath("build/..x/a..b")});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(readFile("drop/..x/a..b"), "dots");
}

TEST_F(ActionsTest, OnlyTheFirstMatchingCopyRuleActs) {
  writeBuildTree();
  makeFolder("other");
  writeConfig("  <copy dst=\"" + targetPath("other") + "\">^Moved (.+)$</copy>\n" +
                  copyRule("Copied", "drop") + copyRule("Copied", "other") + "  <copy dst=\"" +
                  targetPath("other") + "\">^Refused (x)?</copy>\n" + copyRule("Refused", "drop"),
              targetPath("build").c_str());
  RunResult result =
      runLog({"Copied " + targetPath("build/c.txt"), "Refused " + targetPath("build/bin/b.dll")});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            textMode("Processing build.log...\nCopied " + targetPath("build/c.txt") + "\nRefused " +
                     targetPath("build/bin/b.dll") + "\nERROR: Filename '' does not start with '" +
                     targetPath("build") + "'\n" + copySummary(1, 0, 0, 0, 2, 1, 1) +
                     "ERROR: File copy failed\n"));
  EXPECT_EQ(readFile("drop/c.txt"), "c");
  EXPECT_FALSE(exists("other/c.txt"));
  EXPECT_FALSE(exists("drop/bin"));
}

TEST_F(ActionsTest, WithoutBaseFolderCopyRulesNeverAct) {
  writeBuildTree();
  writeConfig(copyRule("Copied", "drop"));
  RunResult result = runLog({"Copied " + targetPath("build/c.txt")});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("Processing build.log...\nCopied " + targetPath("build/c.txt") +
                                 "\n" + copySummary(1, 0, 0, 0, 1, 0, 0)));
  EXPECT_FALSE(exists("drop/c.txt"));
}

TEST_F(ActionsTest, CopyDestinationsAreCheckedBeforeAnythingElse) {
  struct Row {
    const char* what;
    std::string copy;
    std::string message;
  };
  const Row rows[] = {
      {"no dst", "  <copy>^Copied (.+)$</copy>\n",
       "ERROR: copy '^Copied (.+)$' does not specify a destination\n"},
      {"a missing dst", "  <copy dst=\"" + targetPath("nowhere") + "\">^Copied (.+)$</copy>\n",
       "ERROR: destination folder '" + targetPath("nowhere") + "' does not exist\n"},
  };
  for (const Row& row : rows) {
    writeFile("stale.lst", "old\n");
    // The bad pattern shows that nothing was compiled yet.
    writeConfig(row.copy + "  <failure>(</failure>\n  <list file=\"stale.lst\">x</list>\n",
                targetPath("build").c_str());
    RunResult result = runLog({}, {"-debug"});
    EXPECT_EQ(result.status, 1) << row.what;
    EXPECT_EQ(result.out, textMode("Adding new listfile \"stale.lst\" for \"x\"\n" + row.message))
        << row.what;
    EXPECT_EQ(readFile("stale.lst"), "old\n") << row.what;
  }
}

TEST_F(ActionsTest, ListRulesWriteTheirEntriesInOrder) {
  struct Row {
    const char* what;
    std::string rules;
    std::vector<std::string> lines;
    std::string a;  // then the content of a.lst and b.lst; "-" for none
    std::string b;
  };
  const Row rows[] = {
      {"multi lets the next rule try",
       "  <list file=\"a.lst\">^Built (.+)$</list>\n"
       "  <list file=\"b.lst\" multi=\"yes\">^Built (.+)$</list>\n",
       {"Built x.dll", "# Built y.dll"},
       "x.dll\n",
       "x.dll\n"},
      {"the first matching rule without multi ends the pass",
       "  <list file=\"a.lst\" multi=\"no\">^Built (.+)$</list>\n"
       "  <list file=\"b.lst\">^Built (.+)$</list>\n",
       {"Built x.dll"},
       "x.dll\n",
       "-"},
      {"a rule that does not match never ends the pass",
       "  <list file=\"a.lst\" multi=\"no\">^Linked (.+)$</list>\n"
       "  <list file=\"b.lst\" multi=\"no\">^Built (.+)$</list>\n"
       "  <list file=\"a.lst\">^Built (.+)$</list>\n",
       {"Built x.dll", "Linked y.exe"},
       "y.exe\n",
       "x.dll\n"},
      {"a chain across three rules",
       "  <list file=\"a.lst\">(x)</list>\n"
       "  <list file=\"b.lst\" multi=\"no\">(.)</list>\n"
       "  <list file=\"a.lst\">(.+)</list>\n",
       {"xyz", "abc"},
       "x\n",
       "x\na\nO\n"},
      {"no capture group gives an empty line",
       "  <list file=\"a.lst\">^Built</list>\n",
       {"Built x.dll", "Built y.dll"},
       "\n\n",
       "-"},
  };
  for (const Row& row : rows) {
    for (const char* file : {"a.lst", "b.lst"}) {
      if (exists(file)) std::remove(hostPath(file).c_str());
    }
    writeConfig(row.rules);
    RunResult result = runLog(row.lines);
    EXPECT_EQ(result.status, 0) << row.what << "\n" << result.out;
    EXPECT_EQ(exists("a.lst") ? readFile("a.lst") : "-", row.a == "-" ? "-" : textMode(row.a))
        << row.what;
    EXPECT_EQ(exists("b.lst") ? readFile("b.lst") : "-", row.b == "-" ? "-" : textMode(row.b))
        << row.what;
  }
}

TEST_F(ActionsTest, TwoRulesShareOneRewrittenFile) {
  writeFile("shared.lst", "from an earlier run\n");
  writeConfig(
      "  <list file=\"shared.lst\">^Built (.+)$</list>\n"
      "  <list file=\"shared.lst\">^Linked (.+)$</list>\n");
  RunResult result = runLog({"Built a.dll", "Linked b.exe", "Built c.dll"}, {"-debug"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("Adding new listfile \"shared.lst\" for \"^Built (.+)$\"\n"
                                 "Reusing listfile \"shared.lst\" for \"^Linked (.+)$\"\n"
                                 "Deleting list file 'shared.lst'\n"
                                 "Processing build.log...\n"
                                 "unmatched: Built a.dll\n"
                                 "adding file \"a.dll\" to list \"shared.lst\" (write)\n"
                                 "unmatched: Linked b.exe\n"
                                 "adding file \"b.exe\" to list \"shared.lst\" (append)\n"
                                 "unmatched: Built c.dll\n"
                                 "adding file \"c.dll\" to list \"shared.lst\" (append)\n" +
                                 summary(1, 0, 0, 0, 3) + "shared.lst\t3\n"));
  EXPECT_EQ(readFile("shared.lst"), textMode("a.dll\nb.exe\nc.dll\n"));
}

TEST_F(ActionsTest, PurgeRemovesStaleRewrittenFilesUnlessNopurge) {
  const std::string rules =
      "  <list file=\"stale.lst\">Built (.+)$</list>\n"
      "  <list file=\"kept.lst\" append=\"yes\">Built (.+)$</list>\n"
      "  <list file=\"absent.lst\">^Never (.+)$</list>\n";
  struct Row {
    const char* what;
    std::vector<std::string> options;
    std::vector<std::string> lines;
    std::string purged;  // printed before "Processing"
    std::string stale;   // its content afterwards, "-" for none
    std::string kept;
  };
  const Row rows[] = {
      {"purged, no entry", {"-debug"}, {}, "Deleting list file 'stale.lst'\n", "-", "old\n"},
      {"purged, then written", {}, {"# Built a.dll"}, "", "a.dll\n", "old\na.dll\n"},
      {"kept with -nopurge", {"-nopurge", "-debug"}, {}, "", "old\n", "old\n"},
      {"truncated by the first entry with -nopurge",
       {"-nopurge"},
       {"# Built a.dll", "# Built b.dll"},
       "",
       "a.dll\nb.dll\n",
       "old\na.dll\nb.dll\n"},
  };
  for (const Row& row : rows) {
    writeFile("stale.lst", textMode("old\n"));
    writeFile("kept.lst", textMode("old\n"));
    writeConfig(rules);
    RunResult result = runLog(row.lines, row.options);
    EXPECT_EQ(result.status, 0) << row.what;
    std::string out = result.out;
    size_t processing = out.find("Processing build.log...");
    ASSERT_NE(processing, std::string::npos) << row.what;
    std::string before = out.substr(0, processing);
    std::string lists = textMode(
        "Adding new listfile \"stale.lst\" for \"Built (.+)$\"\n"
        "Adding new listfile \"kept.lst\" for \"Built (.+)$\"\n"
        "Adding new listfile \"absent.lst\" for \"^Never (.+)$\"\n");
    bool debug = std::find(row.options.begin(), row.options.end(), "-debug") != row.options.end();
    EXPECT_EQ(before, debug ? lists + textMode(row.purged) : "") << row.what;
    EXPECT_EQ(exists("stale.lst") ? readFile("stale.lst") : "-",
              row.stale == "-" ? "-" : textMode(row.stale))
        << row.what;
    EXPECT_EQ(readFile("kept.lst"), textMode(row.kept)) << row.what;
    EXPECT_FALSE(exists("absent.lst")) << row.what;
  }
}

TEST_F(ActionsTest, AFolderAtTheListingPathIsWarnedAbout) {
  makeFolder("folder.lst");
  writeConfig("  <list file=\"folder.lst\">^Never (.+)$</list>\n");
  RunResult result = runLog({});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out,
            textMode("WARNING: Failed to remove list file 'folder.lst'\nProcessing build.log...\n" +
                     summary(1, 0, 0, 0, 0)));
}

TEST_F(ActionsTest, AMissingListingFolderEndsTheRun) {
  const std::string missing = targetRelative("missing/out.lst");
  writeConfig("  <list file=\"first.lst\">Built (.+)$</list>\n  <list file=\"" + missing +
              "\">Built (.+)$</list>\n");
  RunResult result = runLog({"# Built a.dll", "# Built b.dll"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, textMode("Processing build.log...\nERROR: Unable to open listing file '" +
                                 missing + "'\n"));
  EXPECT_EQ(readFile("first.lst"), textMode("a.dll\n"));  // written before stays
  EXPECT_FALSE(exists("missing"));
}

TEST_F(ActionsTest, AnEntryThatCannotBeWrittenEndsTheRun) {
  SKIP_ON_WINDOWS("/dev/full exists on Linux only");
  // Append mode: the purge must never delete /dev/full, even as root.
  writeConfig(
      "  <list file=\"first.lst\">Built (.+)$</list>\n"
      "  <list file=\"/dev/full\" append=\"yes\">Built (.+)$</list>\n");
  RunResult result = runLog({"# Built a.dll", "# Built b.dll"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            "Processing build.log...\nERROR: Unable to write listing file '/dev/full'\n");
  EXPECT_EQ(readFile("first.lst"), "a.dll\n");
}

// The base folder holds a name only when it ends there at a separator, and
// the target stays inside the destination: one separator joins them when
// neither brings one. On Windows names compare as Windows compares them.
TEST_F(ActionsTest, TheBaseFolderMatchesWholeComponentsAndTargetsStayInTheDestination) {
  const std::string sep(1, separator());
  const std::string build = targetPath("build");
  const std::string drop = targetPath("drop");
  struct Row {
    const char* what;
    std::string basedir;
    std::string destination;
    std::string name;
    std::string target;  // as printed; "" when the name is refused
    std::string copy;    // where it lands
    std::string content;
  };
  std::vector<Row> rows = {
      {"a folder whose name begins like the base", build, drop, targetPath("buildX/f.dll"), "", "",
       ""},
      {"a file whose name begins like the base", build, drop, targetPath("build.dll"), "", "", ""},
      {"a base with a separator, a destination without", build + sep, drop, build + sep + "c.txt",
       drop + sep + "c.txt", "drop/c.txt", "c"},
      {"an empty base and a relative name", "", drop, targetRelative("build/c.txt"),
       drop + sep + targetRelative("build/c.txt"), "drop/build/c.txt", "c"},
      {"a relative destination", build + sep, "drop", build + sep + "bin" + sep + "b.dll",
       "drop" + sep + "bin" + sep + "b.dll", "drop/bin/b.dll", "b"},
      {"separators on both sides are kept", build, drop + sep, build + sep + "c.txt",
       drop + sep + sep + "c.txt", "drop/c.txt", "c"},
  };
  if (windowsTarget()) {
    std::string upper = build;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string slashed = build;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    const std::string lowerDrive = "z" + build.substr(1);
    rows.push_back({"the base's letter case differs", upper, drop, build + sep + "c.txt",
                    drop + sep + "c.txt", "drop/c.txt", "c"});
    rows.push_back({"the drive letter's case differs", build, drop, lowerDrive + sep + "c.txt",
                    drop + sep + "c.txt", "drop/c.txt", "c"});
    rows.push_back({"slashes in the base", slashed, drop, build + sep + "c.txt",
                    drop + sep + "c.txt", "drop/c.txt", "c"});
    rows.push_back({"slashes in the name make the folders", build, drop, build + "/bin/sub/a.dll",
                    drop + "/bin/sub/a.dll", "drop/bin/sub/a.dll", "deep a"});
    rows.push_back({"ignoring case, still whole components", upper, drop,
                    targetPath("buildX/f.dll"), "", "", ""});
  }
  for (const Row& row : rows) {
    std::filesystem::remove_all(hostPath("drop"));
    writeBuildTree();
    makeFolder("buildX");
    writeFile("buildX/f.dll", "f");
    writeFile("build.dll", "dll");
    writeConfig("  <copy dst=\"" + row.destination + "\">^Copied (.+)$</copy>\n",
                row.basedir.c_str());
    RunResult result = runLog({"Copied " + row.name}, {"-debug"});
    std::string head = "Processing build.log...\nunmatched: Copied " + row.name + "\n";
    if (row.target.empty()) {
      EXPECT_EQ(result.status, 1) << row.what;
      EXPECT_EQ(
          result.out,
          textMode(head + "ERROR: Filename '" + row.name + "' does not start with '" + row.basedir +
                   "'\n" + copySummary(1, 0, 0, 0, 1, 0, 1) + "ERROR: File copy failed\n"))
          << row.what;
    } else {
      EXPECT_EQ(result.status, 0) << row.what;
      EXPECT_EQ(result.out, textMode(head + "copying file \"" + row.name + "\" to \"" + row.target +
                                     "\"\n" + copySummary(1, 0, 0, 0, 1, 1, 0)))
          << row.what;
      EXPECT_EQ(readFile(row.copy), row.content) << row.what;
    }
    for (const char* outside : {"dropX", "drop.dll", "dropc.txt", "dropbuild", "dropbin"}) {
      EXPECT_FALSE(exists(outside)) << row.what << ": " << outside;
    }
  }
}

// A "." component names a folder that exists once the path up to it is
// made: the first run copies as a second run would.
TEST_F(ActionsTest, ADotComponentCopiesOnTheFirstRun) {
  const std::string sep(1, separator());
  const std::string build = targetPath("build");
  struct Row {
    const char* what;
    std::string name;
    std::string copy;
    std::string content;
  };
  const Row rows[] = {
      {"a dot before the file", build + sep + "bin" + sep + "." + sep + "b.dll", "drop/bin/b.dll",
       "b"},
      {"a dot between folders still to be made",
       build + sep + "bin" + sep + "." + sep + "sub" + sep + "a.dll", "drop/bin/sub/a.dll",
       "deep a"},
      {"a dot right after the base", build + sep + "." + sep + "c.txt", "drop/c.txt", "c"},
  };
  for (const Row& row : rows) {
    std::filesystem::remove_all(hostPath("drop"));
    writeBuildTree();
    writeConfig(copyRule("Copied", "drop"), build.c_str());
    RunResult result = runLog({"Copied " + row.name});
    EXPECT_EQ(result.status, 0) << row.what;
    EXPECT_EQ(result.out, textMode("Processing build.log...\nCopied " + row.name + "\n" +
                                   copySummary(1, 0, 0, 0, 1, 1, 0)))
        << row.what;
    EXPECT_EQ(readFile(row.copy), row.content) << row.what;
  }
}

// A FIFO would hold the run in the open of its source until a writer came; a
// device could give data without end. Only regular files are copied, and the
// run goes on.
TEST_F(ActionsTest, OnlyRegularFilesAreCopied) {
  SKIP_ON_WINDOWS("FIFOs and links to devices are POSIX file types; a Windows name is neither");
  writeBuildTree();
  ASSERT_EQ(mkfifo(hostPath("build/pipe.dll").c_str(), 0600), 0) << std::strerror(errno);
  ASSERT_EQ(symlink("/dev/null", hostPath("build/null.dll").c_str()), 0) << std::strerror(errno);
  ASSERT_EQ(symlink(hostPath("build/c.txt").c_str(), hostPath("build/link.txt").c_str()), 0);
  writeConfig(copyRule("Copied", "drop"), targetPath("build").c_str());
  std::string expected = "Processing build.log...\n";
  std::vector<std::string> lines;
  for (const char* name : {"pipe.dll", "null.dll"}) {
    const std::string source = targetPath("build/") + name;
    lines.push_back("Copied " + source);
    expected += lines.back() + "\nERROR: Failed to copy '" + source + "' to '" +
                targetPath("drop/") + name + "': Not a regular file\n\n";
  }
  lines.push_back("Copied " + targetPath("build/link.txt"));
  expected += lines.back() + "\n" + copySummary(1, 0, 0, 0, 3, 1, 2) + "ERROR: File copy failed\n";
  RunResult result = runLog(lines);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, expected);
  EXPECT_EQ(readFile("drop/link.txt"), "c");
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(hostPath("drop"))) {
    left.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(left, std::vector<std::string>{"link.txt"});
}

// The system's text of a failed copy ends in one line end, and the empty
// line follows: on Windows the text's own CR LF is not given a second CR.
TEST_F(ActionsTest, TheSystemTextOfAFailedCopyEndsInOneLineEnd) {
  struct Row {
    const char* what;
    std::string name;
    std::string target;
    int error;  // natively the text is strerror(error)
  };
  const Row rows[] = {
      {"an existing target", targetPath("build/c.txt"), targetPath("drop/c.txt"), EEXIST},
      {"a missing source", targetPath("build/none.dll"), targetPath("drop/none.dll"), ENOENT},
  };
  for (const Row& row : rows) {
    writeBuildTree();
    writeFile("drop/c.txt", "older");
    writeConfig(copyRule("Copied", "drop"), targetPath("build").c_str());
    RunResult result = runLog({"Copied " + row.name});
    EXPECT_EQ(result.status, 1) << row.what;
    const std::string head =
        textMode("Processing build.log...\nCopied " + row.name + "\nERROR: Failed to copy '" +
                 row.name + "' to '" + row.target + "': ");
    const std::string end =
        textMode("\n\n" + copySummary(1, 0, 0, 0, 1, 0, 1) + "ERROR: File copy failed\n");
    ASSERT_GT(result.out.size(), head.size() + end.size()) << row.what << ": " << result.out;
    ASSERT_EQ(result.out.substr(0, head.size()), head) << row.what;
    ASSERT_EQ(result.out.substr(result.out.size() - end.size()), end) << row.what;
    std::string text = result.out.substr(head.size(), result.out.size() - head.size() - end.size());
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << row.what << ": " << text;
    if (!windowsTarget()) {
      EXPECT_EQ(text, std::strerror(row.error)) << row.what;
    } else {
      EXPECT_NE(text, "") << row.what;
    }
  }
}

// A run killed in the middle of a copy (a CI job's timeout, a lost machine)
// leaves nothing under the target's name, only its hidden temporary file; the
// next run copies the file whole.
TEST_F(ActionsTest, ARunKilledMidCopyLeavesNoFileUnderTheTargetsName) {
  writeBuildTree();
  std::string big(64 << 20, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 23);
  writeFile("build/big.bin", big);
  writeConfig(copyRule("Copied", "drop"), targetPath("build").c_str());
  const std::string line = "Copied " + targetPath("build/big.bin");
  writeFile("build.log", line + "\nOK\n");
  RunResult stopped =
      runTool("interrupt_copy", {targetPath("build/big.bin"), targetPath("drop/big.bin"),
                                 targetPath("drop/.big.bin.tarnwick-%p.tmp"), programPath(), "-cfg",
                                 "rules.xml", "-log", "build.log"});
  EXPECT_EQ(stopped.out, textMode("stopped mid-copy\n"));
  EXPECT_EQ(stopped.status, 0);
  EXPECT_FALSE(exists("drop/big.bin"));
  size_t temporaryFiles = 0;
  for (const auto& entry : std::filesystem::directory_iterator(hostPath("drop"))) {
    const std::string name = entry.path().filename().string();
    EXPECT_EQ(name.rfind(".big.bin.tarnwick-", 0), 0u) << name;
    EXPECT_LT(entry.file_size(), big.size()) << name;
    ++temporaryFiles;
  }
  EXPECT_EQ(temporaryFiles, 1u);

  RunResult result = run({"-cfg", "rules.xml", "-log", "build.log"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out,
            textMode("Processing build.log...\n" + line + "\n" + copySummary(1, 0, 0, 0, 1, 1, 0)));
  EXPECT_TRUE(readFile("drop/big.bin") == big);
}

// Two runs copying to one target at once: one copies, the other fails just
// as for a target that existed before; the target is whole and no temporary
// file is left.
TEST_F(ActionsTest, TwoRunsCopyingToOneTargetGiveOneWholeFileAndOneFailure) {
  writeBuildTree();
  std::string big(16 << 20, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('A' + i % 19);
  writeFile("build/big.bin", big);
  writeConfig(copyRule("Copied", "drop"), targetPath("build").c_str());
  const std::string line = "Copied " + targetPath("build/big.bin");
  writeFile("build.log", line + "\nOK\n");
  const std::vector<std::string> args = {"-cfg", "rules.xml", "-log", "build.log"};
  RunResult results[2];
  std::thread other([&] { results[1] = run(args); });
  results[0] = run(args);
  other.join();
  if (results[0].status != 0) std::swap(results[0], results[1]);
  EXPECT_EQ(results[0].status, 0);
  EXPECT_EQ(results[0].out,
            textMode("Processing build.log...\n" + line + "\n" + copySummary(1, 0, 0, 0, 1, 1, 0)));
  EXPECT_EQ(results[1].status, 1);
  // The loser's report is the one for a target that is already there.
  RunResult again = run(args);
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(results[1].out, again.out);
  if (!windowsTarget()) {
    EXPECT_EQ(again.out, "Processing build.log...\n" + line + "\nERROR: Failed to copy '" +
                             targetPath("build/big.bin") + "' to '" + targetPath("drop/big.bin") +
                             "': " + std::strerror(EEXIST) + "\n\n" +
                             copySummary(1, 0, 0, 0, 1, 0, 1) + "ERROR: File copy failed\n");
  }
  EXPECT_TRUE(readFile("drop/big.bin") == big);
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(hostPath("drop"))) {
    left.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(left, std::vector<std::string>{"big.bin"});
}

TEST_F(ActionsTest, RunsAppendingToOneFileAtOnceLoseNoEntry) {
  // Four runs at once, as parallel builds sharing a drop folder do.
  const int kRuns = 4;
  const int kEntries = 1000;
  writeConfig("  <list file=\"all.lst\" append=\"yes\">Built (.+)$</list>\n");
  std::string log;
  for (int n = 1; n <= kEntries; ++n) log += "# Built f" + std::to_string(n) + ".dll\n";
  writeFile("build.log", log + "OK\n");
  RunResult result =
      runTool("watched_tool", {"together", std::to_string(kRuns), "run", programPath(), "-cfg",
                               "rules.xml", "-log", "build.log"});
  std::string statuses;
  for (int run = 1; run <= kRuns; ++run) {
    statuses += "status 0\n";
    EXPECT_EQ(readFile("run." + std::to_string(run)),
              textMode("Processing build.log...\n" + summary(1, 0, kEntries, 0, 0)));
  }
  EXPECT_EQ(result.out, statuses);
  std::map<std::string, int> seen;
  std::string content = readFile("all.lst");
  const std::string end = textMode("\n");
  size_t start = 0;
  for (size_t at; (at = content.find(end, start)) != std::string::npos; start = at + end.size()) {
    ++seen[content.substr(start, at - start)];
  }
  EXPECT_EQ(start, content.size());
  EXPECT_EQ(seen.size(), static_cast<size_t>(kEntries));
  for (int n = 1; n <= kEntries; ++n) {
    EXPECT_EQ(seen["f" + std::to_string(n) + ".dll"], kRuns) << n;
  }
}

TEST_F(ActionsTest, SpellingsOfOneNameAreOneListingFileOnWindows) {
  // On Windows both rules name one file (case and separators aside): it is
  // appended to, with the warning, and keeps its history. Elsewhere they
  // are two files.
  makeFolder("ls2");
  writeFile("ls2/all.lst", textMode("history\n"));
  const std::string lower = targetRelative("ls2/all.lst");
  const std::string upper = targetRelative("ls2/ALL.LST");
  writeConfig("  <list file=\"" + lower + "\" append=\"yes\">^# Built (.+)$</list>\n" +
              "  <list file=\"" + upper + "\">^# Linked (.+)$</list>\n" +
              "  <list file=\"ls2/all.lst\" append=\"yes\">^# Copied (.+)$</list>\n");
  RunResult result = runLog({"# Built a.dll", "# Linked b.exe", "# Copied c.txt"});
  EXPECT_EQ(result.status, 0);
  if (windowsTarget()) {
    EXPECT_EQ(result.out, textMode("WARNING: List entries for file \"" + upper +
                                   "\" have different append settings\n"
                                   "Processing build.log...\n" +
                                   summary(1, 0, 3, 0, 0)));
    EXPECT_EQ(readFile("ls2/all.lst"), textMode("history\na.dll\nb.exe\nc.txt\n"));
  } else {
    EXPECT_EQ(result.out, "Processing build.log...\n" + summary(1, 0, 3, 0, 0));
    EXPECT_EQ(readFile("ls2/all.lst"), "history\na.dll\nc.txt\n");
    EXPECT_EQ(readFile("ls2/ALL.LST"), "b.exe\n");
  }
}

TEST_F(ActionsTest, AListingFileThatIsAnInputIsRefusedBeforeAnythingHappens) {
  const std::string rules = "<?xml version=\"1.0\"?>\n<tarnwick>\n  <success>^OK$</success>\n";
  struct Row {
    const char* what;
    std::string listFile;
    std::vector<std::string> args;  // after -cfg rules.xml
    std::string message;
  };
  const std::vector<std::string> execOut = {"-exec", tool(), "out:ran", "logline:OK"};
  auto exec = [&](std::vector<std::string> switches) {
    std::vector<std::string> args = execOut;
    args.insert(args.end(), switches.begin(), switches.end());
    return args;
  };
  const Row rows[] = {
      {"the -log file",
       "build.log",
       {"-log", "build.log"},
       "ERROR: Listing file 'build.log' is the log file 'build.log'\n"},
      {"the -log file, named otherwise",
       targetPath("build.log"),
       {"-nopurge", "-log", "build.log"},
       "ERROR: Listing file '" + targetPath("build.log") + "' is the log file 'build.log'\n"},
      {"a link to the -log file",
       "linked.log",
       {"-log", "build.log"},
       "ERROR: Listing file 'linked.log' is the log file 'build.log'\n"},
      {"the configuration",
       "rules.xml",
       {"-log", "build.log"},
       "ERROR: Listing file 'rules.xml' is the configuration file 'rules.xml'\n"},
      {"the -o log, yet to be written", "out.log", exec({"-o", "out.log"}),
       "ERROR: Listing file 'out.log' is the log file 'out.log'\n"},
      {"the last -oa log", targetRelative("./out.log"), exec({"-o", "a.log", "-oa", "out.log"}),
       "ERROR: Listing file '" + targetRelative("./out.log") + "' is the log file 'out.log'\n"},
  };
  for (const Row& row : rows) {
    writeFile("build.log", "OK\n");
    std::filesystem::remove(hostPath("linked.log"));
    std::filesystem::create_hard_link(hostPath("build.log"), hostPath("linked.log"));
    const std::string config =
        rules + "  <list file=\"" + row.listFile + "\">^(O)K$</list>\n</tarnwick>\n";
    writeFile("rules.xml", config);
    std::vector<std::string> args = {"-cfg", "rules.xml"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    RunResult result = run(args);
    EXPECT_EQ(result.status, 1) << row.what;
    EXPECT_EQ(result.out, textMode(row.message)) << row.what;
    EXPECT_EQ(readFile("build.log"), "OK\n") << row.what;
    EXPECT_EQ(readFile("rules.xml"), config) << row.what;
    EXPECT_FALSE(exists("out.log")) << row.what;
  }

  // Other files still make a run.
  writeFile("rules.xml", rules + "  <list file=\"ok.lst\">^(O)K$</list>\n</tarnwick>\n");
  RunResult result = run({"-cfg", "rules.xml", "-log", "build.log"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(readFile("ok.lst"), textMode("O\n"));
}

TEST_F(ActionsTest, AServerLogThatIsAListingFileIsRefusedWhenNamed) {
  writeFile("srv.log", "E1: broken\n");
  writeFile("rules.xml",
            "<tarnwick>\n  <logfile>See server log file (.+) for details</logfile>\n"
            "  <failure>^E</failure>\n"
            "  <list file=\"srv.log\" append=\"yes\">^(E)1</list>\n</tarnwick>\n");
  RunResult result = run({"-cfg", "rules.xml", "-exec", tool(), "out:first", "serverlog:srv.log"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, textMode("first\nSee server log file srv.log for details\n"
                                 "ERROR: Listing file 'srv.log' is the log file 'srv.log'\n"));
  EXPECT_EQ(readFile("srv.log"), "E1: broken\n");
}

TEST_F(ActionsTest, NamesOutsideAsciiReachTheFileSystemUnchanged) {
  // UTF-8, XML's own encoding: on Windows the program runs with UTF-8 as
  // its code page, so these are the names the files get.
  writeBuildTree();
  writeFile("build/\xc3\xa4.dll", "umlaut");
  makeFolder("dst-\xc3\xa9");
  writeConfig(copyRule("# Copied", "dst-\xc3\xa9") +
                  "  <list file=\"liste-\xc3\xa9.lst\">^# Copied (.+)$</list>\n",
              targetPath("build").c_str());
  const std::string source = targetPath("build/\xc3\xa4.dll");
  RunResult result = runLog({"# Copied " + source});
  EXPECT_EQ(result.status, 0) << result.out;
  EXPECT_EQ(result.out, textMode("Processing build.log...\n" + copySummary(1, 0, 1, 0, 0, 1, 0)));
  EXPECT_EQ(readFile("dst-\xc3\xa9/\xc3\xa4.dll"), "umlaut");
  EXPECT_EQ(readFile("liste-\xc3\xa9.lst"), textMode(source + "\n"));
}

TEST_F(ActionsTest, ANameThatIsNoTextNeverBecomesAnotherFilesName) {
  // Latin-1 bytes are no UTF-8: Windows would read "dst-\xe9" as the name
  // "dst-" and a replacement character, which is the folder made here.
  writeBuildTree();
  makeFolder("dst-\xef\xbf\xbd");
  const std::string declaration = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n";
  writeFile("rules.xml", declaration + "<tarnwick basedir=\"" + targetPath("build") +
                             "\">\n  <success>^OK$</success>\n" + copyRule("Copied", "dst-\xe9") +
                             "</tarnwick>\n");
  RunResult result = run({"-cfg", "rules.xml", "-log", "build.log"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, textMode("ERROR: destination folder '" + targetPath("dst-\xe9") +
                                 "' does not exist\n"));

  writeFile("rules.xml", declaration + "<tarnwick>\n  <success>^OK$</success>\n" +
                             "  <ignore>^#</ignore>\n" +
                             "  <list file=\"a\xe9.lst\">^# Built (.+)$</list>\n</tarnwick>\n");
  result = runLog({"# Built x.dll"});
  EXPECT_FALSE(exists("a\xef\xbf\xbd.lst"));
  if (windowsTarget()) {
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, textMode("Processing build.log...\n"
                                   "ERROR: Unable to open listing file 'a\xe9.lst'\n"));
  } else {
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(readFile("a\xe9.lst"), "x.dll\n");
  }
}

TEST_F(ActionsTest, TheBaseFolderComesFromTheAttributeElseTheFirstElement) {
  const std::string sep(1, separator());
  const std::string build = targetPath("build");
  const std::string other = targetPath("other");
  struct Row {
    const char* what;
    std::string rootAttributes;
    std::string children;
    std::string name;     // the file a log line names
    std::string refused;  // the base folder of the refusal, or "-" when copied, "" when inert
    std::string copy;     // where the file lands when copied
    std::string dst = "drop";
  };
  const Row rows[] = {
      {"the attribute", " basedir=\"" + build + "\"", "", build + sep + "c.txt", "-", "drop/c.txt"},
      {"the element", "", "  <basedir>" + build + "</basedir>\n", build + sep + "c.txt", "-",
       "drop/c.txt"},
      {"the element's text is trimmed", "", "  <basedir>\n      " + build + "\n  </basedir>\n",
       build + sep + "c.txt", "-", "drop/c.txt"},
      {"the attribute wins over the element", " basedir=\"" + build + "\"",
       "  <basedir>" + other + "</basedir>\n", build + sep + "c.txt", "-", "drop/c.txt"},
      {"an empty attribute wins too", " basedir=\"\"", "  <basedir>" + build + "</basedir>\n",
       targetRelative("build/c.txt"), "-", "drop/build/c.txt", "drop/"},
      {"the first element wins", "",
       "  <basedir>" + other + "</basedir>\n  <basedir>" + build + "</basedir>\n",
       build + sep + "c.txt", other, ""},
      {"the attribute keeps its blanks", " basedir=\" " + build + "\"", "", build + sep + "c.txt",
       " " + build, ""},
      {"entities in the attribute are decoded", " basedir=\"" + targetPath("b&amp;d") + "\"", "",
       targetPath("b&d/c.txt"), "-", "drop/c.txt"},
      {"no $ expansion in the base folder", " basedir=\"$B\"", "", build + sep + "c.txt", "$B", ""},
      {"an element without text gives no base folder", "", "  <basedir/>\n", build + sep + "c.txt",
       "", ""},
      {"an element that begins with a comment neither", "",
       "  <basedir><!-- later -->" + build + "</basedir>\n", build + sep + "c.txt", "", ""},
      {"attribute names are case-sensitive", " BaseDir=\"" + build + "\"", "",
       build + sep + "c.txt", "", ""},
  };
  for (const Row& row : rows) {
    std::filesystem::remove_all(hostPath("drop"));
    writeBuildTree();
    makeFolder("b&d");
    writeFile("b&d/c.txt", "c");
    writeRules(row.children + copyRule("Copied", row.dst), row.rootAttributes);
    RunResult result = runLog({"Copied " + row.name}, {"-DB=" + build});
    std::string printed = "Processing build.log...\nCopied " + row.name + "\n";
    if (row.refused == "-") {
      EXPECT_EQ(result.status, 0) << row.what;
      EXPECT_EQ(result.out, textMode(printed + copySummary(1, 0, 0, 0, 1, 1, 0))) << row.what;
      EXPECT_EQ(readFile(row.copy), "c") << row.what;
    } else if (row.refused.empty()) {
      EXPECT_EQ(result.status, 0) << row.what;
      EXPECT_EQ(result.out, textMode(printed + copySummary(1, 0, 0, 0, 1, 0, 0))) << row.what;
    } else {
      EXPECT_EQ(result.status, 1) << row.what;
      EXPECT_EQ(result.out,
                textMode(printed + "ERROR: Filename '" + row.name + "' does not start with '" +
                         row.refused + "'\n" + copySummary(1, 0, 0, 0, 1, 0, 1) +
                         "ERROR: File copy failed\n"))
          << row.what;
    }
    EXPECT_FALSE(exists("drop/bin")) << row.what;
  }
}

TEST_F(ActionsTest, TargetsKeepEverySeparatorAsWritten) {
  const std::string sep(1, separator());
  const std::string build = targetPath("build");
  struct Row {
    const char* what;
    std::string basedir;
    std::string dst;
    std::string name;
    std::string target;  // as printed
    std::string copy;    // where it lands, relative to the test's folder
  };
  const Row rows[] = {
      {"a destination that ends in a separator", build, targetPath("drop") + sep,
       build + sep + "bin" + sep + "b.dll", targetPath("drop") + sep + sep + "bin" + sep + "b.dll",
       "drop/bin/b.dll"},
      {"one separator joins a destination and a rest without one", build + sep, "drop",
       build + sep + "c.txt", "drop" + sep + "c.txt", "drop/c.txt"},
      {"a relative destination", build, "drop", build + sep + "bin" + sep + "b.dll",
       "drop" + sep + "bin" + sep + "b.dll", "drop/bin/b.dll"},
      {"a destination from a variable", build, "$OUT" + sep + "sub", build + sep + "c.txt",
       targetPath("drop/sub/c.txt"), "drop/sub/c.txt"},
      {"a single dot is no parent step", build, "drop",
       build + sep + "." + sep + "bin" + sep + "b.dll",
       "drop" + sep + "." + sep + "bin" + sep + "b.dll", "drop/bin/b.dll"},
  };
  for (const Row& row : rows) {
    std::filesystem::remove_all(hostPath("drop"));
    std::filesystem::remove(hostPath("dropc.txt"));
    writeBuildTree();
    makeFolder("drop/sub");
    writeRules("  <copy dst=\"" + row.dst + "\">^Copied (.+)$</copy>\n",
               " basedir=\"" + row.basedir + "\"");
    RunResult result = runLog({"Copied " + row.name}, {"-debug", "-DOUT=" + targetPath("drop")});
    EXPECT_EQ(result.status, 0) << row.what;
    EXPECT_EQ(result.out, textMode("Processing build.log...\nunmatched: Copied " + row.name +
                                   "\ncopying file \"" + row.name + "\" to \"" + row.target +
                                   "\"\n" + copySummary(1, 0, 0, 0, 1, 1, 0)))
        << row.what;
    EXPECT_EQ(readFile(row.copy), row.copy.find("b.dll") != std::string::npos ? "b" : "c")
        << row.what;
  }
}

TEST_F(ActionsTest, ANameEndingInAParentStepIsRefused) {
  const std::string sep(1, separator());
  const std::string build = targetPath("build");
  writeBuildTree();
  writeRules(copyRule("Copied", "drop"), " basedir=\"" + build + "\"");
  const std::string name = build + sep + "bin" + sep + "..";
  RunResult result = runLog({"Copied " + name});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, textMode("Processing build.log...\nCopied " + name + "\nERROR: Filename '" +
                                 name + "' does not start with '" + build + "'\n" +
                                 copySummary(1, 0, 0, 0, 1, 0, 1) + "ERROR: File copy failed\n"));
  EXPECT_FALSE(exists("drop/bin"));
}

TEST_F(ActionsTest, FolderAndCopyFailuresAreCountedAndTheRunGoesOn) {
  const std::string sep(1, separator());
  const std::string build = targetPath("build");
  // text is the system's description of an error followed by an empty
  // line; natively that description is strerror(error).
  auto expectSystemText = [](const std::string& text, int error, const std::string& what) {
    if (!windowsTarget()) {
      EXPECT_EQ(text, std::string(std::strerror(error)) + "\n\n") << what;
      return;
    }
    size_t lineEnd = text.find('\n');
    ASSERT_NE(lineEnd, std::string::npos) << what << ": " << text;
    std::string message = text.substr(0, lineEnd);
    message.erase(std::remove(message.begin(), message.end(), '\r'), message.end());
    EXPECT_NE(message, "") << what;
    EXPECT_EQ(text.substr(lineEnd + 1), textMode("\n")) << what;
  };
  writeBuildTree();
  makeFolder("build/x/y");
  writeFile("build/x/y/d.dll", "d");
  writeFile("drop/x", "a plain file where a folder belongs");
  makeFolder("drop2");
  writeFile("drop2/bin", "a plain file as the target's folder");
  writeRules(copyRule("Copied", "drop") + "  <copy dst=\"" + targetPath("drop2") +
                 "\">^Again (.+)$</copy>\n",
             " basedir=\"" + build + "\"");
  const std::string deep = build + sep + "x" + sep + "y" + sep + "d.dll";
  const std::string missing = build + sep + "bin" + sep + "none.dll";
  const std::string blocked = build + sep + "bin" + sep + "b.dll";
  RunResult result = runLog({"Copied " + deep, "Copied " + missing, "Again " + blocked,
                             "Copied " + build + sep + "c.txt"},
                            {"-debug"});
  EXPECT_EQ(result.status, 1);
  std::string out = result.out;

  // A plain file in the folder chain: the folder cannot be made.
  std::string head = textMode(
      "Processing build.log...\nunmatched: Copied " + deep + "\ncopying file \"" + deep +
      "\" to \"" + targetPath("drop/x/y/d.dll") + "\"\nERROR: Failed to create folder '" +
      targetPath("drop/x/y") + "'\nunmatched: Copied " + missing + "\ncopying file \"" + missing +
      "\" to \"" + targetPath("drop/bin/none.dll") + "\"\nERROR: Failed to copy '" + missing +
      "' to '" + targetPath("drop/bin/none.dll") + "': ");
  ASSERT_EQ(out.compare(0, head.size(), head), 0) << out;
  out.erase(0, head.size());

  // A missing source: the system's text, an empty line, and no target,
  // though the folder on the way was made.
  std::string next = textMode("unmatched: Again " + blocked + "\n");
  size_t at = out.find(next);
  ASSERT_NE(at, std::string::npos) << out;
  expectSystemText(out.substr(0, at), ENOENT, "a missing source");
  out.erase(0, at + next.size());

  // A plain file as the target's folder counts as present; the copy fails.
  head = textMode("copying file \"" + blocked + "\" to \"" + targetPath("drop2/bin/b.dll") +
                  "\"\nERROR: Failed to copy '" + blocked + "' to '" +
                  targetPath("drop2/bin/b.dll") + "': ");
  ASSERT_EQ(out.compare(0, head.size(), head), 0) << out;
  out.erase(0, head.size());
  next = textMode("unmatched: Copied " + build + sep + "c.txt\n");
  at = out.find(next);
  ASSERT_NE(at, std::string::npos) << out;
  expectSystemText(out.substr(0, at), ENOTDIR, "a plain file as folder");
  out.erase(0, at + next.size());

  // The run went on: the last line still copies.
  EXPECT_EQ(out,
            textMode("copying file \"" + build + sep + "c.txt\" to \"" + targetPath("drop/c.txt") +
                     "\"\n" + copySummary(1, 0, 0, 0, 4, 1, 3) + "ERROR: File copy failed\n"));
  EXPECT_EQ(readFile("drop/c.txt"), "c");
  EXPECT_TRUE(std::filesystem::is_directory(hostPath("drop/bin")));
  EXPECT_FALSE(exists("drop/bin/none.dll"));
  EXPECT_EQ(readFile("drop/x"), "a plain file where a folder belongs");
  EXPECT_EQ(readFile("drop2/bin"), "a plain file as the target's folder");
}

TEST_F(ActionsTest, CopiesAreExactAndNeverOverwritten) {
  const std::string sep(1, separator());
  const std::string build = targetPath("build");
  const std::string binary("a\r\nb\0c\n\xff\x80\r", 9);
  makeFolder("build/bin");
  makeFolder("drop");
  writeFile("build/bin/raw.bin", binary);
  writeFile("build/c.txt", "c\n");
  const auto when = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 400);
  std::filesystem::last_write_time(hostPath("build/bin/raw.bin"), when);
  // Unanchored, so that a failure line copies too.
  writeRules("  <copy dst=\"" + targetPath("drop") + "\">Copied (.+)$</copy>\n",
             " basedir=\"" + build + "\"");
  const std::vector<std::string> lines = {"Copied " + build + sep + "bin" + sep + "raw.bin",
                                          "E1: Copied " + build + sep + "c.txt"};

  RunResult result = runLog(lines);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("Processing build.log...\n" + lines[0] + "\n" + lines[1] + "\n" +
                                 copySummary(1, 1, 0, 0, 1, 2, 0) + "1 failures detected\n"));
  EXPECT_EQ(readFile("drop/bin/raw.bin"), binary);
  EXPECT_EQ(readFile("drop/c.txt"), "c\n");
  auto difference = std::filesystem::last_write_time(hostPath("drop/bin/raw.bin")) - when;
  EXPECT_LT(std::chrono::abs(difference), std::chrono::seconds(2));

  // A second run into the same folder: every file is a failure, none changes.
  writeFile("build/c.txt", "newer\n");
  result = runLog(lines);
  EXPECT_EQ(result.status, 1);
  size_t failures = 0;
  for (size_t at = 0; (at = result.out.find("ERROR: Failed to copy '", at)) != std::string::npos;
       ++at) {
    ++failures;
  }
  EXPECT_EQ(failures, 2u) << result.out;
  const std::string tail =
      textMode(copySummary(1, 1, 0, 0, 1, 0, 2) + "1 failures detected\nERROR: File copy failed\n");
  ASSERT_GE(result.out.size(), tail.size());
  EXPECT_EQ(result.out.substr(result.out.size() - tail.size()), tail);
  EXPECT_EQ(readFile("drop/bin/raw.bin"), binary);
  EXPECT_EQ(readFile("drop/c.txt"), "c\n");
}

TEST_F(ActionsTest, TheEndOfARunWithAFailedCopy) {
  const std::string build = targetPath("build");
  writeBuildTree();
  writeRules(copyRule("Copied", "drop") + "  <list file=\"a.lst\">^E1 (.+)$</list>\n",
             " basedir=\"" + build + "\"");
  const std::string outside = "Copied " + targetPath("elsewhere.txt");
  const std::string refusal =
      "ERROR: Filename '" + targetPath("elsewhere.txt") + "' does not start with '" + build + "'\n";

  // Summary, failures, listing files, then the copy error.
  RunResult result = runLog({"E1 x.dll", outside}, {"-debug"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, textMode("Adding new listfile \"a.lst\" for \"^E1 (.+)$\"\n"
                                 "Processing build.log...\n"
                                 "failure: E1 x.dll\n"
                                 "adding file \"x.dll\" to list \"a.lst\" (write)\n"
                                 "unmatched: " +
                                 outside + "\n" + refusal + copySummary(1, 1, 0, 0, 1, 0, 1) +
                                 "1 failures detected\na.lst\t1\nERROR: File copy failed\n"));

  // Nothing processed comes first and ends the run alone.
  result = runLog({"E1 x.dll", outside}, {"-debug"}, false);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, textMode("Adding new listfile \"a.lst\" for \"^E1 (.+)$\"\n"
                                 "Deleting list file 'a.lst'\n"
                                 "Processing build.log...\n"
                                 "failure: E1 x.dll\n"
                                 "adding file \"x.dll\" to list \"a.lst\" (write)\n"
                                 "unmatched: " +
                                 outside + "\n" + refusal + copySummary(0, 1, 0, 0, 1, 0, 1) +
                                 "ERROR: Nothing was processed\n"));
}

TEST_F(ActionsTest, ThePurgeComesAfterTheCopyCheckAndBeforeCompiling) {
  struct Row {
    const char* what;
    std::string children;
    std::vector<std::string> args;
    std::string after;  // printed after the purge
  };
  const Row rows[] = {
      {"a bad pattern",
       "  <ignore>(</ignore>\n",
       {"-log", "build.log"},
       "Failed to compile regexp \"(\"\n"},
      {"no mode", "", {"-nomode"}, usageText("Invalid mode")},
  };
  writeFile("build.log", "OK\n");
  for (const Row& row : rows) {
    writeFile("stale.lst", "old\n");
    writeRules("  <list file=\"stale.lst\">^S</list>\n" + row.children);
    std::vector<std::string> args = {"-debug", "-cfg", "rules.xml"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    RunResult result = run(args);
    EXPECT_EQ(result.status, 1) << row.what;
    EXPECT_EQ(result.out, textMode("Adding new listfile \"stale.lst\" for \"^S\"\n"
                                   "Deleting list file 'stale.lst'\n" +
                                   row.after))
        << row.what;
    EXPECT_FALSE(exists("stale.lst")) << row.what;
  }
}

TEST_F(ActionsTest, ThePurgeVisitsFilesInOrderOfFirstMention) {
  writeFile("b.lst", "old b\n");
  writeFile("a.lst", "old a\n");
  makeFolder("folder.lst");
  writeFile("kept.lst", textMode("old kept\n"));
  writeFile("shared.lst", textMode("old shared\n"));
  writeRules(
      "  <list file=\"b.lst\">^B (.+)$</list>\n"
      "  <list file=\"shared.lst\">^S (.+)$</list>\n"
      "  <list file=\"missing.lst\">^M (.+)$</list>\n"
      "  <list file=\"folder.lst\">^F (.+)$</list>\n"
      "  <list file=\"kept.lst\" append=\"yes\">^K (.+)$</list>\n"
      "  <list file=\"a.lst\">^A (.+)$</list>\n"
      "  <list file=\"shared.lst\" append=\"yes\">^T (.+)$</list>\n"
      "  <list file=\"new.lst\" append=\"yes\">^N (.+)$</list>\n");
  RunResult result = runLog({"S one", "K two", "N three", "T four"}, {"-debug"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out,
            textMode("Adding new listfile \"b.lst\" for \"^B (.+)$\"\n"
                     "Adding new listfile \"shared.lst\" for \"^S (.+)$\"\n"
                     "Adding new listfile \"missing.lst\" for \"^M (.+)$\"\n"
                     "Adding new listfile \"folder.lst\" for \"^F (.+)$\"\n"
                     "Adding new listfile \"kept.lst\" for \"^K (.+)$\"\n"
                     "Adding new listfile \"a.lst\" for \"^A (.+)$\"\n"
                     "WARNING: List entries for file \"shared.lst\" have different append "
                     "settings\n"
                     "Reusing listfile \"shared.lst\" for \"^T (.+)$\"\n"
                     "Adding new listfile \"new.lst\" for \"^N (.+)$\"\n"
                     "Deleting list file 'b.lst'\n"
                     "Deleting list file 'folder.lst'\n"
                     "WARNING: Failed to remove list file 'folder.lst'\n"
                     "Deleting list file 'a.lst'\n"
                     "Processing build.log...\n"
                     "unmatched: S one\n"
                     "adding file \"one\" to list \"shared.lst\" (append)\n"
                     "unmatched: K two\n"
                     "adding file \"two\" to list \"kept.lst\" (append)\n"
                     "unmatched: N three\n"
                     "adding file \"three\" to list \"new.lst\" (append)\n"
                     "unmatched: T four\n"
                     "adding file \"four\" to list \"shared.lst\" (append)\n" +
                     summary(1, 0, 0, 0, 4) +
                     "b.lst\t0\nshared.lst\t2\nmissing.lst\t0\nfolder.lst\t0\nkept.lst\t1\n"
                     "a.lst\t0\nnew.lst\t1\n"));
  EXPECT_FALSE(exists("b.lst"));
  EXPECT_FALSE(exists("a.lst"));
  EXPECT_FALSE(exists("missing.lst"));
  EXPECT_EQ(readFile("shared.lst"), textMode("old shared\none\nfour\n"));
  EXPECT_EQ(readFile("kept.lst"), textMode("old kept\ntwo\n"));
  EXPECT_EQ(readFile("new.lst"), textMode("three\n"));
}

TEST_F(ActionsTest, OneLineTwiceIntoOneFileAndAnEmptyPath) {
  writeFile("a.lst", "old\n");
  writeRules(
      "  <list file=\"a.lst\">^Built (.+)$</list>\n"
      "  <list file=\"a.lst\" multi=\"no\">^Built (.+)$</list>\n"
      "  <list file=\"\">^Built (.+)$</list>\n"
      "  <list file=\"\">^Linked (.+)$</list>\n");
  RunResult result = runLog({"Built x.dll", "Linked y.exe"}, {"-debug", "-nopurge"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, textMode("Adding new listfile \"a.lst\" for \"^Built (.+)$\"\n"
                                 "Reusing listfile \"a.lst\" for \"^Built (.+)$\"\n"
                                 "Adding new listfile \"\" for \"^Built (.+)$\"\n"
                                 "Reusing listfile \"\" for \"^Linked (.+)$\"\n"
                                 "Processing build.log...\n"
                                 "unmatched: Built x.dll\n"
                                 "adding file \"x.dll\" to list \"a.lst\" (write)\n"
                                 "adding file \"x.dll\" to list \"a.lst\" (append)\n"
                                 "unmatched: Linked y.exe\n"
                                 "adding file \"y.exe\" to list \"\" (write)\n"
                                 "ERROR: Unable to open listing file ''\n"));
  EXPECT_EQ(readFile("a.lst"), textMode("x.dll\nx.dll\n"));
}

TEST_F(ActionsTest, MultiIsReadFromTheFirstCharacter) {
  struct Row {
    const char* attribute;  // written into the first rule's start tag
    bool goesOn;
  };
  const Row rows[] = {
      {" multi=\"no\"", false},
      {" multi=\"false\"", false},
      {" multi=\"0\"", false},
      {" multi=\"\"", false},
      {" multi=\"N\"", false},
      {" multi=\"1\"", false},
      {" multi=\" yes\"", false},
      {" multi=\"yes\"", true},
      {" multi=\"true\"", true},
      {" multi=\"Y\"", true},
      {" multi=\"t\"", true},
      {" multi=\"Tnot\"", true},
      {"", true},
      {" Multi=\"no\"", true},
  };
  for (const Row& row : rows) {
    std::filesystem::remove(hostPath("a.lst"));
    std::filesystem::remove(hostPath("b.lst"));
    writeRules("  <list file=\"a.lst\"" + std::string(row.attribute) +
               ">^Built (.+)$</list>\n  <list file=\"b.lst\">^Built (.+)$</list>\n");
    RunResult result = runLog({"Built x.dll"});
    EXPECT_EQ(result.status, 0) << row.attribute;
    EXPECT_EQ(readFile("a.lst"), textMode("x.dll\n")) << row.attribute;
    EXPECT_EQ(exists("b.lst"), row.goesOn) << row.attribute;
  }
}

TEST_F(ActionsTest, CategoriesAreTriedIgnoreSuccessFailureSummary) {
  // Each letter is a rule of one category that matches anywhere in a line.
  const std::string rules =
      "  <ignore/>\n  <ignore>i</ignore>\n  <success><b/>never</success>\n  <success>s</success>\n"
      "  <success>t</success>\n  <failure/>\n  <failure>f</failure>\n  <summary>m</summary>\n"
      "  <list file='all.lst'>^(.*)$</list>\n";
  struct Row {
    std::string line;
    std::string category;  // i, s, f, m or u
  };
  const Row rows[] = {
      {"ifsm", "i"}, {"fsmi", "i"}, {"if", "i"},     {"im", "i"},    {"fsm", "s"}, {"fm t", "s"},
      {"sm", "s"},   {"fs", "s"},   {"mf", "f"},     {"f%d%n", "f"}, {"f", "f"},   {"m", "m"},
      {"xm", "m"},   {"x", "u"},    {"%d%n%p", "u"}, {"never", "u"}, {"I", "u"},   {"M", "u"},
  };
  writeFile("rules.xml", inRoot(rules));
  std::string log, plain, debug, listed;
  int counts[5] = {0, 0, 0, 0, 0};
  const std::string order = "isfmu";
  for (const Row& row : rows) {
    log += row.line + "\n";
    listed += row.line + "\n";
    ++counts[order.find(row.category)];
    if (row.category == "f") debug += "failure: ";
    if (row.category == "u") debug += "unmatched: ";
    if (row.category == "f" || row.category == "u") {
      plain += row.line + "\n";
      debug += row.line + "\n";
    }
  }
  writeFile("build.log", log);
  const std::string totals = summary(counts[1], counts[2], counts[0], counts[3], counts[4]) +
                             std::to_string(counts[2]) + " failures detected\n";
  RunResult result = run({"-cfg", "rules.xml", "-log", "build.log"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("Processing build.log...\n" + plain + totals));
  EXPECT_EQ(result.err, "");
  // Every line reaches the list action, whatever its category.
  EXPECT_EQ(readFile("all.lst"), textMode(listed));

  std::string adding;
  for (const Row& row : rows) {
    if (row.category == "f") adding += "failure: " + row.line + "\n";
    if (row.category == "u") adding += "unmatched: " + row.line + "\n";
    adding += "adding file \"" + row.line + "\" to list \"all.lst\" (" +
              (&row == &rows[0] ? "write" : "append") + ")\n";
  }
  result = run({"-cfg", "rules.xml", "-log", "build.log", "-debug"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out,
            textMode("Adding new listfile \"all.lst\" for \"^(.*)$\"\n"
                     "Deleting list file 'all.lst'\nProcessing build.log...\n" +
                     adding + totals + "all.lst\t" + std::to_string(std::size(rows)) + "\n"));
}

TEST_F(ActionsTest, ADestinationBeyondMaxPathIsFound) {
  // Windows' MAX_PATH is 260 characters: the destination, the folders made
  // below it and the listing file all lie beyond.
  writeBuildTree();
  std::string deep = "drop";
  for (int level = 0; level < 12; ++level)
    deep += "/folder-with-a-long-name-" + std::to_string(level);
  makeFolder(deep);
  ASSERT_GT(targetPath(deep).size(), 300u);
  writeConfig(copyRule("# Copied", deep) + "  <list file=\"" + targetPath(deep + "/files.lst") +
                  "\">^# Copied (.+)$</list>\n",
              targetPath("build").c_str());
  const std::string source = targetPath("build/bin/sub/a.dll");
  RunResult result = runLog({"# Copied " + source});
  EXPECT_EQ(result.status, 0) << result.out;
  EXPECT_EQ(result.out, textMode("Processing build.log...\n" + copySummary(1, 0, 1, 0, 0, 1, 0)));
  EXPECT_EQ(readFile(deep + "/bin/sub/a.dll"), "deep a");
  EXPECT_EQ(readFile(deep + "/files.lst"), textMode(source + "\n"));
}

TEST_F(ActionsTest, TargetsAroundTheLongNameLimitAreCopiedWhole) {
  // On Windows a name of 248 characters or more needs the wide calls; the
  // temporary file beside the target has a longer name than the target.
  writeBuildTree();
  const std::string rest = "/bin/sub/a.dll";
  const size_t start = targetPath("drop/").size();
  for (size_t length : {240u, 243u, 244u, 246u, 247u, 248u, 252u, 270u}) {
    const std::string pad(length - start - rest.size(), 'p');
    makeFolder("drop/" + pad);
    writeConfig(copyRule("# Copied", "drop/" + pad), targetPath("build").c_str());
    RunResult result = runLog({"# Copied " + targetPath("build/bin/sub/a.dll")});
    const std::string target = "drop/" + pad + rest;
    ASSERT_EQ(targetPath(target).size(), length);
    EXPECT_EQ(result.status, 0) << length << ": " << result.out;
    EXPECT_EQ(result.out, textMode("Processing build.log...\n" + copySummary(1, 0, 1, 0, 0, 1, 0)))
        << length;
    EXPECT_EQ(readFile(target), "deep a") << length;
    std::vector<std::string> names;
    for (const auto& entry :
         std::filesystem::directory_iterator(folder_ + "/drop/" + pad + "/bin/sub")) {
      names.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(names, std::vector<std::string>{"a.dll"}) << length << ": a temporary file was left";
  }
}

}  // namespace
