// The copy and list actions driven through a configuration file: files
// collected into a drop folder, listing files written, appended and purged,
// and the errors that refuse a name or end the run.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

std::string summaryWithCopies(int success, int ignore, int unmatched, int copied, int failed) {
  return summary(success, 0, ignore, 0, unmatched) + "copied:    " + std::to_string(copied) +
         "\ncopy fail: " + std::to_string(failed) + "\n";
}

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

  /// Writes build.log with lines and a closing "OK", and runs on it.
  RunResult runLog(const std::vector<std::string>& lines,
                   const std::vector<std::string>& options = {}) {
    std::string log;
    for (const std::string& line : lines) log += line + "\n";
    writeFile("build.log", log + "OK\n");
    std::vector<std::string> args = options;
    for (const char* arg : {"-cfg", "rules.xml", "-log", "build.log"}) args.push_back(arg);
    return run(args);
  }

  /// The build tree the copy tests collect from.
  void writeBuildTree() const {
    makeFolder("build/bin/sub");
    writeFile("build/bin/sub/a.dll", "deep a");
    writeFile("build/bin/b.dll", "b");
    writeFile("build/c.txt", "c");
    writeFile("secret.txt", "secret");
    makeFolder("drop");
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
                                 "\"\n" + summaryWithCopies(1, 2, 2, 2, 0)));
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(readFile("drop/bin/sub/a.dll"), "deep a");
  EXPECT_EQ(readFile("drop/c.txt"), "c");
}

TEST_F(ActionsTest, AnIgnoredLineCopiesToo) {
  writeBuildTree();
  writeConfig(copyRule("# Copied", "drop"), targetPath("build").c_str());
  RunResult result = runLog({"# Copied " + targetPath("build/bin/b.dll")});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("Processing build.log...\n" + summaryWithCopies(1, 1, 0, 1, 0)));
  EXPECT_EQ(readFile("drop/bin/b.dll"), "b");
}

TEST_F(ActionsTest, TheTargetIsTheDestinationAndTheRestWithoutAddedSeparator) {
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
       targetPath("build/bin/b.dll"), "dropbin/b.dll", "b"},
      {"both with trailing separator", targetPath("build") + separator(),
       targetPath("drop") + separator(), targetPath("build/c.txt"), "drop/c.txt", "c"},
      {"an empty base takes the whole name", "", targetPath("drop") + separator(),
       targetRelative("build/bin/sub/a.dll"), "drop/build/bin/sub/a.dll", "deep a"},
  };
  for (const Row& row : rows) {
    writeBuildTree();
    writeConfig("  <copy dst=\"" + row.destination + "\">^Copied (.+)$</copy>\n",
                row.basedir.c_str());
    RunResult result = runLog({"Copied " + row.name});
    EXPECT_EQ(result.status, 0) << row.what;
    EXPECT_EQ(result.out, textMode("Processing build.log...\nCopied " + row.name + "\n" +
                                   summaryWithCopies(1, 0, 1, 1, 0)))
        << row.what;
    EXPECT_EQ(readFile(row.copy), row.content) << row.what;
  }
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
  std::string tail = textMode(summaryWithCopies(1, 0, 1, 0, 1) + "ERROR: File copy failed\n");
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
      {"letter case differs", targetPath("Build"), targetPath("build/c.txt")},
      {"a parent step", base, base + sep + ".." + sep + "secret.txt"},
      {"two parent steps", base, base + sep + "bin" + sep + ".." + sep + ".." + sep + "secret.txt"},
      {"a parent step right after a base ending in a separator", base + sep,
       base + sep + ".." + sep + "secret.txt"},
  };
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
                       "'\n" + summaryWithCopies(1, 0, 1, 0, 1) + "ERROR: File copy failed\n"))
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
                     targetPath("build") + "'\n" + summaryWithCopies(1, 0, 2, 1, 1) +
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
                                 "\n" + summaryWithCopies(1, 0, 1, 0, 0)));
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
  EXPECT_EQ(result.out, textMode("Processing build.log...\n" + summaryWithCopies(1, 1, 0, 1, 0)));
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
  EXPECT_EQ(result.out, textMode("Processing build.log...\n" + summaryWithCopies(1, 1, 0, 1, 0)));
  EXPECT_EQ(readFile(deep + "/bin/sub/a.dll"), "deep a");
  EXPECT_EQ(readFile(deep + "/files.lst"), textMode(source + "\n"));
}

}  // namespace
