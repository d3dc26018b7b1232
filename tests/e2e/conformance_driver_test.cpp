// The driver seen from outside: how the option walk takes its words, what
// is prepared before the mode is judged, the order in which rules compile,
// the lines that end a run, the precedence of the rule categories, the
// built-in rules, how a log is cut into lines and the order of a scan.
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

const char kOpenFailed[] = "Error Parsing XML at line 0, col 0: Failed to open file";

class DriverTest : public E2ETest {
 protected:
  static std::string shown(const std::vector<std::string>& args) {
    std::string text;
    for (const std::string& arg : args) text += " " + arg;
    return text;
  }
};

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
    EXPECT_EQ(result.status, row.status) << shown(row.args);
    EXPECT_EQ(result.out, textMode(row.out)) << shown(row.args);
    EXPECT_EQ(result.err, "") << shown(row.args);
  }
}

TEST_F(DriverTest, EveryWordAfterExecBelongsToTheTool) {
  writeFile("x.log", "E1: scanned\n");
  struct Row {
    std::vector<std::string> words;  // after -exec tool argv
    std::string echoed;
  };
  const Row rows[] = {
      {{"-log"}, "[-log]\n"},
      {{"-cfg"}, "[-cfg]\n"},
      {{"-scan", "x.log"}, "[-scan]\n[x.log]\n"},
      {{"-D"}, "[-D]\n"},
      {{"-exec"}, "[-exec]\n"},
      {{"-debug", "-sanitize", "a\\\\b"}, "[-debug]\n[-sanitize]\n[a\\\\b]\n"},
  };
  for (const Row& row : rows) {
    std::vector<std::string> args = {"-exec", tool(), "argv"};
    args.insert(args.end(), row.words.begin(), row.words.end());
    RunResult result = run(args);
    EXPECT_EQ(result.status, 1) << shown(args);
    EXPECT_EQ(result.out, textMode("[argv]\n" + row.echoed + summary(0, 0, 0, 0, 0) + kNothing))
        << shown(args);
    EXPECT_EQ(result.err, "") << shown(args);
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

TEST_F(DriverTest, CategoriesAreTriedIgnoreSuccessFailureSummary) {
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

TEST_F(DriverTest, RulesWithoutTextNeverMatch) {
  struct Row {
    const char* name;
    std::string children;
    std::string log;
    std::string printed;
    std::string totals;
    std::string after;
    int status;
  };
  const Row rows[] = {
      {"an empty summary is the summary rule",
       inRoot("  <summary/>\n  <summary>^S</summary>\n  <success>^OK</success>\n"), "S\nOK\n",
       "S\n", summary(1, 0, 0, 0, 1), "", 0},
      {"empty rules of every kind",
       inRoot("  <ignore></ignore>\n  <success> </success>\n  <failure>\n</failure>\n"
              "  <summary><!-- later --></summary>\n  <copy dst='.'/>\n  <list file='e.lst'/>\n"),
       "any\n\tline\n", "any\n\tline\n", copySummary(0, 0, 0, 0, 2, 0, 0), kNothing, 1},
      {"an empty root", "<tarnwick/>", "I00020110: ok\nE1: x\n", "I00020110: ok\nE1: x\n",
       summary(0, 0, 0, 0, 2), kNothing, 1},
  };
  for (const Row& row : rows) {
    writeFile("rules.xml", row.children);
    writeFile("build.log", row.log);
    RunResult result = run({"-cfg", "rules.xml", "-log", "build.log"});
    EXPECT_EQ(result.status, row.status) << row.name;
    EXPECT_EQ(result.out,
              textMode("Processing build.log...\n" + row.printed + row.totals + row.after))
        << row.name;
    EXPECT_FALSE(exists("e.lst")) << row.name;
  }

  // In exec mode an empty logfile rule never names a log.
  writeFile("rules.xml", inRoot("  <logfile/>\n  <success>^OK</success>\n"));
  writeFile("srv.log", "OK\n");
  RunResult result = run({"-cfg", "rules.xml", "-exec", tool(), "serverlog:srv.log", "out:OK"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, textMode("See server log file srv.log for details\nOK\n" +
                                 summary(0, 0, 0, 0, 0) + kNothing));
}

TEST_F(DriverTest, TheBuiltInRulesJudgeByTheCodeAtTheLineStart) {
  struct Row {
    std::string line;
    char category;  // i, s, f, m or u
  };
  const Row rows[] = {
      {"I00060040: compiling", 'i'},
      {"I00060040:", 'i'},
      {"I00020110: built", 's'},
      {"I00020052: packaged", 's'},
      {"I00060080: 0 errors", 'm'},
      {"E42: broken", 'f'},
      {"E0: zero", 'f'},
      {"E123456789012345678901234567890: long", 'f'},
      {"E: no digits", 'u'},
      {"E42 no colon", 'u'},
      {"e42: lower case", 'u'},
      {"W00030017: warning", 'u'},
      {"I00060040 no colon", 'u'},
      {"I000600400: one digit more", 'u'},
      {"I0006004: one digit less", 'u'},
      {"x I00020110: not first", 'u'},
      {"\tE1: tab first", 'u'},
      {"I00020052:I00060040:", 's'},
      {"I00060080:E1:", 'm'},
      {"E1:I00020110:", 'f'},
  };
  std::string log, printed;
  int counts[5] = {0, 0, 0, 0, 0};
  const std::string order = "isfmu";
  for (const Row& row : rows) {
    log += row.line + "\r\n";
    ++counts[order.find(row.category)];
    if (row.category == 'f' || row.category == 'u') printed += row.line + "\n";
  }
  writeFile("build.log", log);
  RunResult result = run({"-log", "build.log"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("Processing build.log...\n" + printed +
                                 summary(counts[1], counts[2], counts[0], counts[3], counts[4]) +
                                 std::to_string(counts[2]) + " failures detected\n"));

  // The built-in server-log rule finds its sentence anywhere in a piece, and
  // its group runs to the last " for details".
  writeFile("srv.log", "I00020052: ok\n");
  result = run({"-exec", tool(), "out:Note: See server log file srv.log for details."});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("Note: See server log file srv.log for details.\n"
                                 "Processing srv.log...\n" +
                                 summary(1, 0, 0, 0, 0)));
  result = run({"-exec", tool(), "out:See server log file srv.log for details for details"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, textMode("See server log file srv.log for details for details\n"
                                 "Processing srv.log for details...\n"
                                 "Failed to open \"srv.log for details\"\n"));
}

TEST_F(DriverTest, TheReaderCutsLinesOfAnyLengthAndByte) {
  struct Row {
    const char* name;
    std::string log;
    std::string lines;  // as printed, one per line
  };
  const std::string a511(511, 'a'), b512(512, 'b'), c513(513, 'c'), d1024(1024, 'd');
  const Row rows[] = {
      {"byte 255 is content, not the end",
       "\xff\n"
       "a\xff"
       "b\n\xff\xff",
       "\xff\na\xff"
       "b\n\xff\xff\n"},
      {"high bytes at a line start", "\x80\xfe x\r\n", "\x80\xfe x\n"},
      {"lengths around the doublings", a511 + "\r" + b512 + "\n" + c513 + "\r\n" + d1024,
       a511 + "\n" + b512 + "\n" + c513 + "\n" + d1024 + "\n"},
      {"a doubled capacity ending at the end of the file", b512, b512 + "\n"},
      {"mixed runs of line ends", "\r\r\n\n\r\nx\n\r\n\r\r\ny\r\r", "x\ny\n"},
      {"percent signs are text", "%s%s%s%n\n100%\n", "%s%s%s%n\n100%\n"},
  };
  for (const Row& row : rows) {
    writeFile("cut.log", "I00020110: ok\n" + row.log);
    RunResult result = run({"-log", "cut.log"});
    int lines = 0;
    for (char c : row.lines) lines += c == '\n';
    EXPECT_EQ(result.status, 0) << row.name;
    EXPECT_EQ(result.out,
              textMode("Processing cut.log...\n" + row.lines + summary(1, 0, 0, 0, lines)))
        << row.name;
  }

  // A line end split over two reads of a large file is still one separator.
  const std::string block(size_t{1} << 20, 'q');
  writeFile("cut.log", block.substr(1) + "\r\nI00020110: ok\r" + block + "\n");
  RunResult result = run({"-log", "cut.log"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("Processing cut.log...\n" + block.substr(1) + "\n" + block + "\n" +
                                 summary(1, 0, 0, 0, 2)));

  // Paths with percent signs are printed as they are.
  writeFile("100%s%d.log", "I00020110: ok\n");
  result = run({"-log", "100%s%d.log"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("Processing 100%s%d.log...\n" + summary(1, 0, 0, 0, 0)));
  result = run({"-log", "%s%n.log"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, textMode("Processing %s%n.log...\nFailed to open \"%s%n.log\"\n"));
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
    EXPECT_EQ(result.status, 1) << shown(row.args);
    EXPECT_EQ(result.out, textMode(row.out)) << shown(row.args);
    EXPECT_EQ(result.err, "") << shown(row.args);
  }
}

TEST_F(DriverTest, TheScanListsCodesInTableOrder) {
  const std::string digits300(300, '7');
  struct Row {
    const char* name;
    std::string log;
    std::string listing;
  };
  const Row rows[] = {
      // E12 and E21 share bucket 8 (69 + 49 + 50 = 168): first seen first.
      {"one bucket keeps the order of first sight", "E21: b\nE12: a\nE21: c\n", "E21\t2\nE12\t1\n"},
      {"buckets in index order", "W1:\nE1:\nI1:\nE2:\nI2:\nW2:\n",
       "I1\t1\nI2\t1\nW1\t1\nW2\t1\nE1\t1\nE2\t1\n"},
      {"a long code, a long line", "E" + digits300 + ": x\nE7:" + std::string(1000, 'x') + "\n",
       "E7\t1\nE" + digits300 + "\t1\n"},
      {"codes and high bytes", "I5:\xff\n\xffI5:\nI5:\n", "I5\t2\n"},
      {"line ends of every kind", "E3:\r\r\nE3:\n\rW3:", "E3\t2\nW3\t1\n"},
  };
  for (const Row& row : rows) {
    writeFile("scan.log", row.log);
    RunResult result = run({"-scan", "scan.log", "-debug", "-nopurge"});
    EXPECT_EQ(result.status, 0) << row.name;
    EXPECT_EQ(result.out, textMode("Scanning scan.log...\n" + row.listing)) << row.name;
    EXPECT_EQ(result.err, "") << row.name;
  }

  writeFile("%s%d.log", "E1: x\n");
  RunResult result = run({"-scan", "%s%d.log"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("Scanning %s%d.log...\nE1\t1\n"));
}

}  // namespace
