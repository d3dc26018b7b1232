// The driver end to end: how the option walk takes its words, what is
// prepared before the mode is judged and before a missing command is
// noticed, the order in which rules compile, the lines that end a run, and
// a folder named as a log.
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

const char kOpenFailed[] = "Error Parsing XML at line 0, col 0: Failed to open file";

using DriverTest = E2ETest;

TEST_F(DriverTest, AnOptionTakesTheNextWordWhateverItLooksLike) {
  writeFile("good.log", "I00020110: ok\nplain\n");
  writeFile("x.log", "E1: scanned\n");
  writeFile("rules.xml", inRoot("  <success>^plain$</success>\n"));
  writeFile("other.xml", inRoot("  <failure>^plain$</failure>\n  <summary>^I0</summary>\n"));
  struct Row {
    std::vector<std::string> args;
    std::string out;
    int status;
  };
  const std::string goodRun = "Processing good.log...\nplain\n" + summary(1, 0, 0, 0, 1);
  const Row rows[] = {
      // The value of -log is never a further option.
      {{"-log", "-exec"}, "Processing -exec...\nFailed to open \"-exec\"\n", 1},
      {{"-log", "-scan", "x.log"}, "Processing -scan...\nFailed to open \"-scan\"\n", 1},
      {{"-log", "-log", "good.log"}, "Processing -log...\nFailed to open \"-log\"\n", 1},
      {{"-log", "-Dx"}, "Processing -Dx...\nFailed to open \"-Dx\"\n", 1},
      {{"-log", "-cfg"}, "Processing -cfg...\nFailed to open \"-cfg\"\n", 1},
      {{"-scan", "-log"}, "Scanning -log...\nFailed to open \"-log\"\n", 1},
      {{"-scan", "-debug"}, "Scanning -debug...\nFailed to open \"-debug\"\n", 1},
      // Nor is the value of -cfg: the file named -Dx or -log does not exist.
      {{"-cfg", "-Dx", "-log", "good.log"}, kOpenFailed, 1},
      {{"-cfg", "-log", "good.log"}, kOpenFailed, 1},
      {{"-cfg", "-exec", "-log", "good.log"}, kOpenFailed, 1},
      {{"-log", "good.log", "-cfg", "-cfg"}, kOpenFailed, 1},
      // The last -cfg wins, and the shared slot takes the last -log or -scan.
      {{"-cfg", "other.xml", "-cfg", "rules.xml", "-log", "good.log"},
       "Processing good.log...\nI00020110: ok\n" + summary(1, 0, 0, 0, 1),
       0},
      {{"-cfg", "rules.xml", "-cfg", "other.xml", "-log", "good.log"},
       "Processing good.log...\nplain\n" + summary(0, 1, 0, 1, 0) + "1 failures detected\n",
       0},
      {{"-log", "good.log", "-scan", "good.log", "-log", "x.log"}, "Scanning x.log...\nE1\t1\n", 0},
      // The whole walk comes before scan mode.
      {{"-scan", "x.log", "-Dbad"}, usageText("Argument must be of the form -Dname=value"), 1},
      {{"-scan", "x.log", "-cfg"}, usageText("-cfg requires a filename"), 1},
      {{"-scan", "x.log", "-log"}, usageText("-log requires a filename"), 1},
      {{"-Dx", "-scan", "x.log"}, usageText("Argument must be of the form -Dname=value"), 1},
      // Words that are no option are passed over, lookalikes included.
      {{"-Log", "x", "-debugx", "--debug", "-cfgx", "-exec2", "-log", "good.log", "-DEBUG=1",
        "debug", "-nopurge2"},
       goodRun,
       0},
      {{"-D-log=x", "-log", "good.log", "-D-exec="}, goodRun, 0},
      {{"-log", "good.log", "-debug"},
       "Processing good.log...\nunmatched: plain\n" + summary(1, 0, 0, 0, 1),
       0},
  };
  for (const Row& row : rows) {
    RunResult result = run(row.args);
    EXPECT_EQ(result.status, row.status) << argsShown(row.args);
    EXPECT_EQ(result.out, textMode(row.out)) << argsShown(row.args);
    EXPECT_EQ(result.err, "") << argsShown(row.args);
  }
}

TEST_F(DriverTest, TheModeIsJudgedOnlyAfterTheRulesArePrepared) {
  const std::string nowhere = targetPath("nowhere");
  struct Row {
    const char* name;
    std::string children;  // of rules.xml; "-" for no -cfg, "!" for a broken file
    std::vector<std::string> options;
    std::string out;
    bool staleKept;
  };
  const std::string invalid = usageText("Invalid mode");
  const std::string noCommand = usageText("-exec requires a command to run");
  const std::string staleList = "  <list file='stale.lst'>^L (.+)$</list>\n";
  const Row rows[] = {
      {"built-in rules", "-", {"-debug", "x"}, invalid, true},
      {"a broken file",
       "!",
       {"x"},
       "Error Parsing XML at line 1, col 14: Error reading end tag.",
       true},
      {"a bad pattern",
       "  <failure>^E(</failure>\n",
       {"x"},
       "Failed to compile regexp \"^E(\"\n",
       true},
      {"a copy without destination",
       "  <copy>^C (.+)$</copy>\n" + staleList,
       {"x"},
       "ERROR: copy '^C (.+)$' does not specify a destination\n",
       true},
      {"a missing destination",
       "  <copy dst='" + nowhere + "'>^C</copy>\n" + staleList,
       {"x"},
       "ERROR: destination folder '" + nowhere + "' does not exist\n",
       true},
      {"a list without file",
       "  <list>^L</list>\n",
       {"x"},
       "ERROR: list '^L' does not specify a listing file\n",
       true},
      {"an undefined variable",
       "  <list file='$NONE.lst'>^L</list>\n",
       {"x"},
       "WARNING: $NONE is not defined\n" + invalid,
       true},
      {"a stale listing file is purged", staleList, {"x"}, invalid, false},
      {"and shown under -debug",
       staleList,
       {"-debug", "x"},
       "Adding new listfile \"stale.lst\" for \"^L (.+)$\"\nDeleting list file 'stale.lst'\n" +
           invalid,
       false},
      {"but kept with -nopurge", staleList, {"-nopurge", "x"}, invalid, true},
      {"purged before a bad pattern fails",
       staleList + "  <ignore>[</ignore>\n",
       {"x"},
       "Failed to compile regexp \"[\"\n",
       false},
      {"the logfile rule is not compiled without -exec",
       "  <logfile>(</logfile>\n",
       {"x"},
       invalid,
       true},
      // Without a command, exec mode still prepares everything first.
      {"exec: a bad pattern",
       "  <failure>^E(</failure>\n",
       {"-exec"},
       "Failed to compile regexp \"^E(\"\n",
       true},
      {"exec: a bad logfile pattern",
       "  <logfile>lo(</logfile>\n",
       {"-exec"},
       "Failed to compile regexp \"lo(\"\n",
       true},
      {"exec: a missing destination",
       "  <copy dst='" + nowhere + "'>^C</copy>\n",
       {"-exec"},
       "ERROR: destination folder '" + nowhere + "' does not exist\n",
       true},
      {"exec: a stale listing file is purged", staleList, {"-exec"}, noCommand, false},
      {"exec: a broken file",
       "!",
       {"-exec"},
       "Error Parsing XML at line 1, col 14: Error reading end tag.",
       true},
  };
  for (const Row& row : rows) {
    writeFile("stale.lst", "old\n");
    std::vector<std::string> args;
    std::string children = row.children;
    if (children == "!") {
      writeFile("rules.xml", "<tarnwick><x></y></tarnwick>");
    } else if (children != "-") {
      writeFile("rules.xml", inRoot(children));
    }
    if (children != "-") args = {"-cfg", "rules.xml"};
    args.insert(args.end(), row.options.begin(), row.options.end());
    RunResult result = run(args);
    EXPECT_EQ(result.status, 1) << row.name;
    EXPECT_EQ(result.out, textMode(row.out)) << row.name;
    EXPECT_EQ(result.err, "") << row.name;
    EXPECT_EQ(exists("stale.lst"), row.staleKept) << row.name;
  }
}

TEST_F(DriverTest, TheRulesAreReadyBeforeAMissingCommandIsNoticed) {
  struct Row {
    const char* name;
    std::string config;  // rules.xml, or none
    std::string out;
  };
  const Row rows[] = {
      {"a configuration that does not load", "",
       "Error Parsing XML at line 0, col 0: Failed to open file"},
      {"a copy rule without a destination", inRoot("<copy>^C (.+)$</copy>\n"),
       "ERROR: copy '^C (.+)$' does not specify a destination\n"},
      {"a pattern that does not compile", inRoot("<failure>(</failure>\n"),
       "Failed to compile regexp \"(\"\n"},
      {"the server-log pattern counts", inRoot("<logfile>a)</logfile>\n"),
       "Failed to compile regexp \"a)\"\n"},
      {"stale listing files are purged first", inRoot("<list file=\"old.lst\">^B (.+)$</list>\n"),
       usageText("-exec requires a command to run")},
  };
  for (const Row& row : rows) {
    std::string config = row.config.empty() ? "missing.xml" : "rules.xml";
    if (!row.config.empty()) writeFile(config, row.config);
    writeFile("old.lst", "stale\n");
    RunResult result = run({"-cfg", config, "-exec"});
    EXPECT_EQ(result.status, 1) << row.name;
    EXPECT_EQ(result.out, row.config.empty() ? row.out : textMode(row.out)) << row.name;
  }
  EXPECT_FALSE(exists("old.lst"));
}

TEST_F(DriverTest, OnlyAnOptionItselfRequestsExecMode) {
  struct Row {
    std::vector<std::string> args;
    std::string out;  // no line end is added
  };
  const Row rows[] = {
      {{"-log", "-exec", tool(), "out:never"}, "Processing -exec...\nFailed to open \"-exec\"\n"},
      {{"-scan", "-exec", tool()}, "Scanning -exec...\nFailed to open \"-exec\"\n"},
      {{"-cfg", "-exec", "-log", "b.log"},
       "Error Parsing XML at line 0, col 0: Failed to open file"},
      // -sanitize rewrites nothing outside exec mode.
      {{"-sanitize", "-log", "a\\\\b.log"},
       "Processing a\\\\b.log...\nFailed to open \"a\\\\b.log\"\n"},
  };
  for (const Row& row : rows) {
    RunResult result = run(row.args);
    EXPECT_EQ(result.status, 1) << row.args[0];
    EXPECT_EQ(result.out, textMode(row.out)) << row.args[0];
  }
}

TEST_F(DriverTest, RulesCompileByCategoryAndTheFirstBadPatternStops) {
  // Each category's element holds a pattern of its own; the document lists
  // them in the reverse of the order in which they are compiled.
  struct Pattern {
    const char* element;
    std::string good;
    std::string bad;
  };
  const std::vector<Pattern> categories = {
      {"list file='a.lst'", "^L (.+)$", "li\\"},
      {"copy dst='.'", "^C (.+)$", "co**"},
      {"summary", "^S", "*su"},
      {"failure", "^F", "fa)"},
      {"success", "^I00020110:", "su["},
      {"ignore", "^#", "ig("},
  };
  auto config = [&](size_t firstBad, const std::string& more) {
    std::string children = more;
    for (size_t i = 0; i < categories.size(); ++i) {
      const Pattern& p = categories[i];
      std::string name = p.element;
      name = name.substr(0, name.find(' '));
      // Compilation order is the reverse of the table's order.
      bool bad = categories.size() - 1 - i >= firstBad;
      children +=
          "  <" + std::string(p.element) + ">" + (bad ? p.bad : p.good) + "</" + name + ">\n";
    }
    return inRoot(children);
  };
  writeFile("build.log", "I00020110: ok\n");
  for (size_t firstBad = 0; firstBad < categories.size(); ++firstBad) {
    writeFile("rules.xml", config(firstBad, ""));
    RunResult result = run({"-nopurge", "-cfg", "rules.xml", "-log", "build.log"});
    const std::string expected =
        "Failed to compile regexp \"" + categories[categories.size() - 1 - firstBad].bad + "\"\n";
    EXPECT_EQ(result.status, 1) << firstBad;
    EXPECT_EQ(result.out, textMode(expected)) << firstBad;
  }

  struct Row {
    const char* name;
    std::string config;
    std::vector<std::string> options;
    std::string out;
    int status;
  };
  const Row rows[] = {
      {"within a category, document order",
       inRoot("  <failure>^ok</failure>\n  <failure>(a|b</failure>\n  <failure>)</failure>\n"),
       {"-log", "build.log"},
       "Failed to compile regexp \"(a|b\"\n",
       1},
      {"a rule without text is passed over",
       inRoot("  <ignore/>\n  <ignore><!-- x --></ignore>\n  <ignore>a+*</ignore>\n"),
       {"-log", "build.log"},
       "Failed to compile regexp \"a+*\"\n",
       1},
      {"the message prints the pattern as text",
       inRoot("  <success>%s%d(</success>\n"),
       {"-log", "build.log"},
       "Failed to compile regexp \"%s%d(\"\n",
       1},
      {"a second summary is no rule",
       inRoot("  <summary>^S</summary>\n  <summary>(</summary>\n  <success>^I</success>\n"),
       {"-log", "build.log"},
       "Processing build.log...\n" + summary(1, 0, 0, 0, 0),
       0},
      {"exec: every rule bad",
       config(0, "  <logfile>lo(</logfile>\n"),
       {"-exec", tool(), "out:never"},
       "Failed to compile regexp \"ig(\"\n",
       1},
      {"exec: the logfile rule after a bad list rule",
       config(5, "  <logfile>lo(</logfile>\n"),
       {"-exec", tool(), "out:never"},
       "Failed to compile regexp \"li\\\"\n",
       1},
      {"exec: the logfile rule last",
       config(6, "  <logfile>lo(</logfile>\n"),
       {"-exec", tool(), "out:never"},
       "Failed to compile regexp \"lo(\"\n",
       1},
      {"log: the logfile rule is never compiled",
       config(6, "  <logfile>lo(</logfile>\n"),
       {"-log", "build.log"},
       "Processing build.log...\n" + copySummary(1, 0, 0, 0, 0, 0, 0),
       0},
  };
  for (const Row& row : rows) {
    writeFile("rules.xml", row.config);
    std::vector<std::string> args = {"-nopurge", "-cfg", "rules.xml"};
    args.insert(args.end(), row.options.begin(), row.options.end());
    RunResult result = run(args);
    EXPECT_EQ(result.status, row.status) << row.name;
    EXPECT_EQ(result.out, textMode(row.out)) << row.name;
    EXPECT_EQ(result.err, "") << row.name;
  }
}

TEST_F(DriverTest, TheEndOfRunLinesComeInTheirOrder) {
  makeFolder("build");
  makeFolder("drop");
  writeFile("build/a.txt", "a");
  const std::string base = targetPath("build");
  const std::string inside = targetPath("build/a.txt");
  const std::string outside = targetPath("elsewhere/b.txt");
  const std::string refused =
      "ERROR: Filename '" + outside + "' does not start with '" + base + "'\n";
  const std::string lists =
      "  <list file='a.lst'>^# Listed (.+)$</list>\n  <list file='b.lst'>^# Never (.+)$</list>\n";
  const std::string adding =
      "Adding new listfile \"a.lst\" for \"^# Listed (.+)$\"\n"
      "Adding new listfile \"b.lst\" for \"^# Never (.+)$\"\n";
  const std::string copy = "  <copy dst='" + targetPath("drop") + "'>^# Copied (.+)$</copy>\n";
  struct Row {
    const char* name;
    bool copyRules;
    std::vector<std::string> options;
    std::vector<std::string> lines;
    std::string out;  // after "Processing"
    int status;
  };
  const Row rows[] = {
      {"copied, with failures, debug",
       true,
       {"-debug"},
       {"OK", "F1", "# Listed x.dll", "# Copied " + inside},
       "failure: F1\nadding file \"x.dll\" to list \"a.lst\" (write)\ncopying file \"" + inside +
           "\" to \"" + targetPath("drop/a.txt") + "\"\n" + copySummary(1, 1, 2, 0, 0, 1, 0) +
           "1 failures detected\na.lst\t1\nb.lst\t0\n",
       0},
      {"a refused copy after the failures and the listing files",
       true,
       {"-debug"},
       {"OK", "F1", "F2", "# Listed x.dll", "# Listed y.dll", "# Copied " + outside},
       "failure: F1\nfailure: F2\nadding file \"x.dll\" to list \"a.lst\" (write)\n"
       "adding file \"y.dll\" to list \"a.lst\" (append)\n" +
           refused + copySummary(1, 2, 3, 0, 0, 0, 1) +
           "2 failures detected\na.lst\t2\nb.lst\t0\nERROR: File copy failed\n",
       1},
      {"a refused copy without debug",
       true,
       {},
       {"S", "# Copied " + outside},
       refused + copySummary(0, 0, 1, 1, 0, 0, 1) + "ERROR: File copy failed\n",
       1},
      {"nothing processed comes before everything else",
       true,
       {"-debug"},
       {"F1", "# Listed x.dll", "# Copied " + outside},
       "failure: F1\nadding file \"x.dll\" to list \"a.lst\" (write)\n" + refused +
           copySummary(0, 1, 2, 0, 0, 0, 1) + kNothing,
       1},
      {"without copy rules: five lines, then the listing files",
       false,
       {"-debug"},
       {"S", "F1", "unknown", "# Copied " + outside},
       "failure: F1\nunmatched: unknown\n" + summary(0, 1, 1, 1, 1) +
           "1 failures detected\na.lst\t0\nb.lst\t0\n",
       0},
      {"a summary line alone suffices",
       true,
       {},
       {"S", "F1"},
       "F1\n" + copySummary(0, 1, 0, 1, 0, 0, 0) + "1 failures detected\n",
       0},
  };
  for (const Row& row : rows) {
    for (const char* stale : {"a.lst", "b.lst", "drop/a.txt"}) std::remove(hostPath(stale).c_str());
    writeFile("rules.xml", "<tarnwick basedir='" + base +
                               "'>\n  <success>^OK$</success>\n  <failure>^F</failure>\n"
                               "  <ignore>^#</ignore>\n  <summary>^S$</summary>\n" +
                               lists + (row.copyRules ? copy : "") + "</tarnwick>\n");
    std::string log;
    for (const std::string& line : row.lines) log += line + "\n";
    writeFile("build.log", log);
    std::vector<std::string> args = row.options;
    for (const char* arg : {"-cfg", "rules.xml", "-log", "build.log"}) args.push_back(arg);
    RunResult result = run(args);
    const std::string loading = args[0] == "-debug" ? adding : "";
    EXPECT_EQ(result.status, row.status) << row.name;
    EXPECT_EQ(result.out, textMode(loading + "Processing build.log...\n" + row.out)) << row.name;
    EXPECT_EQ(result.err, "") << row.name;
  }
}

TEST_F(DriverTest, AFolderIsALogThatCannotBeOpened) {
  makeFolder("logs.d");
  writeFile("rules.xml", inRoot("  <logfile>^srv (.+)$</logfile>\n"));
  const std::string folder = targetPath("logs.d");
  struct Row {
    std::vector<std::string> args;
    std::string out;
  };
  const Row rows[] = {
      {{"-log", "logs.d"}, "Processing logs.d...\nFailed to open \"logs.d\"\n"},
      {{"-log", folder}, "Processing " + folder + "...\nFailed to open \"" + folder + "\"\n"},
      {{"-scan", "logs.d"}, "Scanning logs.d...\nFailed to open \"logs.d\"\n"},
      {{"-exec", tool(), "-o", "logs.d"}, "Processing logs.d...\nFailed to open \"logs.d\"\n"},
      {{"-cfg", "rules.xml", "-exec", tool(), "out:srv logs.d"},
       "srv logs.d\nProcessing logs.d...\nFailed to open \"logs.d\"\n"},
  };
  for (const Row& row : rows) {
    RunResult result = run(row.args);
    EXPECT_EQ(result.status, 1) << argsShown(row.args);
    EXPECT_EQ(result.out, textMode(row.out)) << argsShown(row.args);
    EXPECT_EQ(result.err, "") << argsShown(row.args);
  }
}

}  // namespace
