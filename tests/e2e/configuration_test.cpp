// Configured runs: the XML rule file, its parse errors, the checks of copy
// and list rules, and "-Dname=value" variables in their paths.
//
// Copying files and writing listing files are mostly not observed here: the
// logs hold no line that a copy or list rule acts on, and listing files are
// never purged (-nopurge), since some test paths are not below the test's
// folder. The coloured logs write a listing file of the test's own.
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

using ConfigurationTest = E2ETest;

TEST_F(ConfigurationTest, AFileThatDoesNotParseEndsTheRun) {
  struct Row {
    const char* name;
    std::string content;  // written as rules.xml unless setUp says otherwise
    std::string message;
  };
  const Row rows[] = {
      {"missing", "", "Error Parsing XML at line 0, col 0: Failed to open file"},
      {"a folder", "", "Error Parsing XML at line 0, col 0: Failed to open file"},
      {"empty", "", "Error Parsing XML at line 0, col 0: Error document empty."},
      {"only blanks", " \n\t\r\n ", "Error Parsing XML at line 0, col 0: Error document empty."},
      {"bad end tag", "<tarnwick>\n  <ignore>x</ignre>\n</tarnwick>\n",
       "Error Parsing XML at line 2, col 12: Error reading end tag."},
      {"bad end tag, CR LF", "<tarnwick>\r\n  <ignore>x</ignre>\r\n</tarnwick>\r\n",
       "Error Parsing XML at line 2, col 12: Error reading end tag."},
      {"unclosed root", "<tarnwick>\n  <ignore>x</ignore>\n",
       "Error Parsing XML at line 3, col 1: Error reading end tag."},
      {"unterminated attribute", "<tarnwick><success a=\"1>x</success></tarnwick>",
       "Error Parsing XML at line 1, col 20: Error parsing Element."},
  };
  writeFile("build.log", "I00020110: never read\n");
  for (const Row& row : rows) {
    std::string name = row.name;
    std::string config = "rules.xml";
    if (name == "missing") {
      config = "missing.xml";
    } else if (name == "a folder") {
      config = "rules.d";
      makeFolder(config);
    } else {
      writeFile(config, row.content);
    }
    RunResult result = run({"-DOUT=x", "-cfg", config, "-debug", "-log", "build.log"});
    EXPECT_EQ(result.status, 1) << name;
    EXPECT_EQ(result.out, row.message) << name;  // no line end follows
    EXPECT_EQ(result.err, "") << name;
  }
}

TEST_F(ConfigurationTest, TheWorkedExampleLoadsAsDocumented) {
  const std::string sep(1, separator());
  const std::string out = targetPath("drop");
  makeFolder("drop/bin");
  writeFile("rules.xml",
            "<?xml version=\"1.0\"?>\n"
            "<!-- the rules of one build -->\n"
            "<tarnwick basedir='" +
                targetPath("build/out") +
                "'>\n"
                "  <logfile>See server log file (.+) for details</logfile>\n"
                "  <ignore>^I00060040:</ignore>\n"
                "  <ignore>^W[0-9]+:</ignore>\n"
                "  <success>^I00020110:</success>\n"
                "  <failure>^E[0-9]+:</failure>\n"
                "  <summary>^I00060080:</summary>\n"
                "  <copy dst='$OUT" +
                sep +
                "bin'>^Copied (.+)$</copy>\n"
                "  <list file='$OUT" +
                sep +
                "files.lst'>^Built (.+)$</list>\n"
                "  <list file='$OUT" +
                sep +
                "files.lst' append='yes' multi='no'>^Linked (.+)$</list>\n"
                "  <list file='$TMP" +
                sep + "other.lst'>^Other (.+)$</list>\n</tarnwick>\n");
  writeFile("build.log",
            "I00010001: Starting build\n"
            "I00060040: Compiling a.c\n"
            "W00030017: Unused variable\n"
            "E00040012: Cannot open b.h\n"
            "See server log file srv.log for details\n"
            "I00020110: Build succeeded\n"
            "I00060080: 1 error, 1 warning\n");
  const std::string files = out + sep + "files.lst";
  const std::string other = sep + "other.lst";

  RunResult result =
      run({"-DOUT=" + out, "-cfg", "rules.xml", "-nopurge", "-log", "build.log", "-debug"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(
      result.out,
      textMode("Adding new listfile \"" + files + "\" for \"^Built (.+)$\"\n" +
               "WARNING: List entries for file \"" + files + "\" have different append settings\n" +
               "Reusing listfile \"" + files + "\" for \"^Linked (.+)$\"\n" +
               "WARNING: $TMP is not defined\n" + "Adding new listfile \"" + other +
               "\" for \"^Other (.+)$\"\n" + "Processing build.log...\n" +
               "unmatched: I00010001: Starting build\n" + "failure: E00040012: Cannot open b.h\n" +
               "unmatched: See server log file srv.log for details\n" +
               copySummary(1, 1, 2, 1, 2, 0, 0) + "1 failures detected\n" + files + "\t0\n" +
               other + "\t0\n"));
  EXPECT_EQ(result.err, "");

  // Without -debug only the warnings remain.
  result = run({"-DOUT=" + out, "-cfg", "rules.xml", "-nopurge", "-log", "build.log"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("WARNING: List entries for file \"" + files +
                                 "\" have different append settings\n"
                                 "WARNING: $TMP is not defined\n"
                                 "Processing build.log...\n"
                                 "I00010001: Starting build\n"
                                 "E00040012: Cannot open b.h\n"
                                 "See server log file srv.log for details\n" +
                                 copySummary(1, 1, 2, 1, 2, 0, 0) + "1 failures detected\n"));
}

TEST_F(ConfigurationTest, ConfiguredRulesClassifyTheLines) {
  struct Row {
    const char* name;
    std::vector<std::string> options;
    std::string xml;
    std::string log;
    std::string printed;  // between "Processing" and the summary
    std::string totals;
    std::string after;
    int status;
  };
  const Row rows[] = {
      {"a pattern across lines is condensed to one",
       {},
       inRoot("  <success>\n      ^Build\n\t\tdone$\n  </success>\n"),
       "Build done\nBuild  done\nBuild\tdone\n",
       "Build  done\nBuild\tdone\n",
       summary(1, 0, 0, 0, 2),
       "",
       0},
      {"CDATA keeps blanks and markup",
       {},
       inRoot("  <success><![CDATA[^a  <b>&amp; $]]></success>\n"),
       "a  <b>&amp; \na <b>&amp; \n",
       "a <b>&amp; \n",
       summary(1, 0, 0, 0, 1),
       "",
       0},
      {"entities are decoded",
       {},
       inRoot("  <success>^&lt;ok&gt; &amp; &quot;&apos;&#65;</success>\n"),
       "<ok> & \"'A\n",
       "",
       summary(1, 0, 0, 0, 0),
       "",
       0},
      {"a $ in a pattern is no variable",
       {"-DOUT=1"},
       inRoot("  <success>^x$OUT</success>\n  <summary>^done</summary>\n"),
       "x1\nx$OUT\ndone\n",
       "x1\nx$OUT\n",
       summary(0, 0, 0, 1, 2),
       "",
       0},
      {"the first summary and logfile count, every other rule",
       {},
       inRoot("  <summary>^S1</summary>\n  <logfile>^L1</logfile>\n  <failure>^F1</failure>\n"
              "  <summary>^S2</summary>\n  <failure>^F2</failure>\n"
              "  <logfile>^L2</logfile>\n"),
       "S1\nS2\nF1\nF2\nL1\n",
       "S2\nF1\nF2\nL1\n",
       summary(0, 2, 0, 1, 2),
       "2 failures detected\n",
       0},
      {"rules without text never match",
       {"-debug"},
       inRoot("  <success/>\n  <success><!-- not yet -->^OK</success>\n  <success>  </success>\n"
              "  <summary>^S</summary>\n"),
       "OK\nS\n",
       "unmatched: OK\n",
       summary(0, 0, 0, 1, 1),
       "",
       0},
      {"categories are tried in their order, not the document's",
       {},
       inRoot("  <success>^A</success>\n  <failure>^A</failure>\n  <ignore>^A1</ignore>\n"),
       "A1\nA2\nB\n",
       "B\n",
       summary(1, 0, 1, 0, 1),
       "",
       0},
      {"only direct children of the first root are rules",
       {},
       "<!-- prolog --><other><success>^B</success></other>\n"
       "<tarnwick><group><failure>^E</failure></group><success>^OK</success></tarnwick>\n"
       "<tarnwick><failure>^O</failure></tarnwick>\n",
       "E1\nOK\nOK2\nB\n",
       "E1\nB\n",
       summary(2, 0, 0, 0, 2),
       "",
       0},
      {"names are case-sensitive",
       {},
       inRoot("  <Success>^OK</Success>\n  <success>^ok</success>\n"),
       "OK\nok\n",
       "OK\n",
       summary(1, 0, 0, 0, 1),
       "",
       0},
      {"no root element: no rules",
       {},
       "<?xml version=\"1.0\"?>\n<rules><success>^OK</success></rules>\n",
       "OK\n",
       "OK\n",
       summary(0, 0, 0, 0, 1),
       "ERROR: Nothing was processed\n",
       1},
      {"a comment alone is a document without a root",
       {},
       "<!-- nothing here -->\n",
       "I00020110: ok\n",
       "I00020110: ok\n",
       summary(0, 0, 0, 0, 1),
       "ERROR: Nothing was processed\n",
       1},
  };
  for (const Row& row : rows) {
    writeFile("rules.xml", row.xml);
    writeFile("build.log", row.log);
    std::vector<std::string> args = row.options;
    for (const char* arg : {"-cfg", "rules.xml", "-log", "build.log"}) args.push_back(arg);
    RunResult result = run(args);
    EXPECT_EQ(result.status, row.status) << row.name;
    EXPECT_EQ(result.out,
              textMode("Processing build.log...\n" + row.printed + row.totals + row.after))
        << row.name;
    EXPECT_EQ(result.err, "") << row.name;
  }
}

TEST_F(ConfigurationTest, BadRulesStopTheRunBeforeAnyLine) {
  makeFolder("out");
  writeFile("plain.txt", "a file, not a folder\n");
  const std::string outDst = " dst='" + targetPath("out") + "'";
  const std::string nowhere = targetPath("nowhere");
  struct Row {
    const char* name;
    std::string children;
    std::string out;
  };
  const Row rows[] = {
      {"a copy without dst", "  <copy>^C (.+)$</copy>\n",
       "ERROR: copy '^C (.+)$' does not specify a destination\n"},
      {"a copy without dst or text", "  <copy/>\n",
       "ERROR: copy '(null)' does not specify a destination\n"},
      {"a missing destination folder", "  <copy dst='" + nowhere + "'>^C (.+)$</copy>\n",
       "ERROR: destination folder '" + nowhere + "' does not exist\n"},
      {"copy rules are checked in order",
       "  <copy" + outDst + ">^A</copy>\n  <copy dst='" + nowhere + "'/>\n  <copy/>\n",
       "ERROR: destination folder '" + nowhere + "' does not exist\n"},
      {"an undefined variable leaves an empty destination", "  <copy dst='$NOPE'>^C</copy>\n",
       "WARNING: $NOPE is not defined\nERROR: destination folder '' does not exist\n"},
      {"destinations are checked before patterns compile",
       "  <failure>(</failure>\n  <copy>^C</copy>\n",
       "ERROR: copy '^C' does not specify a destination\n"},
      {"a bad pattern",
       "  <ignore>^ok</ignore>\n  <failure>^E(</failure>\n  <failure>*</failure>\n",
       "Failed to compile regexp \"^E(\"\n"},
      {"a bad pattern in a copy rule", "  <copy" + outDst + ">a**</copy>\n",
       "Failed to compile regexp \"a**\"\n"},
      {"a bad pattern in a list rule", "  <list file='a.lst'>[z-a]</list>\n",
       "Failed to compile regexp \"[z-a]\"\n"},
      {"a $ in a bad pattern stays", "  <success>($OUT</success>\n",
       "Failed to compile regexp \"($OUT\"\n"},
      {"a bad logfile pattern is not compiled in log mode",
       "  <logfile>(</logfile>\n  <success>^I</success>\n", ""},
      {"a list without file", "  <list>^L (.+)$</list>\n",
       "ERROR: list '^L (.+)$' does not specify a listing file\n"},
      {"a list without file or text", "  <list append='yes'/>\n",
       "ERROR: list '(null)' does not specify a listing file\n"},
      {"a list with a FILE", "  <list FILE='a.lst'>^L</list>\n",
       "ERROR: list '^L' does not specify a listing file\n"},
  };
  writeFile("build.log", "I00020110: ok\n");
  for (const Row& row : rows) {
    writeFile("rules.xml", inRoot(row.children));
    RunResult result = run({"-DOUT=1", "-nopurge", "-cfg", "rules.xml", "-log", "build.log"});
    std::string name = row.name;
    if (row.out.empty()) {
      EXPECT_EQ(result.status, 0) << name;
      EXPECT_EQ(result.out, textMode("Processing build.log...\n" + summary(1, 0, 0, 0, 0))) << name;
    } else {
      EXPECT_EQ(result.status, 1) << name;
      EXPECT_EQ(result.out, textMode(row.out)) << name;
    }
    EXPECT_EQ(result.err, "") << name;
  }
}

// Rules whose plain backtracking walk is exponential in the line: a run
// over long lines still ends at once with the usual verdict.
TEST_F(ConfigurationTest, NestedRepeatsOnLongLinesEndInTime) {
  writeFile("rules.xml", inRoot("  <success>^I00020110: ([a-zA-Z0-9_.]+ ?)*$</success>\n"
                                "  <failure>^E[0-9]+: (x+x+)+y</failure>\n"));
  std::string words;
  for (int i = 0; i < 200; ++i) words += "abcd ";
  const std::string stuck = "I00020110: " + words + "!";
  const std::string xs = "E1: " + std::string(2000, 'x');
  writeFile("build.log", stuck + "\nI00020110: " + words + "done\n" + xs + "\n" + xs + "y\n");
  RunResult result = run({"-cfg", "rules.xml", "-log", "build.log"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("Processing build.log...\n" + stuck + "\n" + xs + "\n" + xs +
                                 "y\n" + summary(1, 1, 0, 0, 2) + "1 failures detected\n"));
  EXPECT_EQ(result.err, "");
}

TEST_F(ConfigurationTest, CopyRulesAddTwoLinesToTheSummary) {
  makeFolder("out");
  writeFile("plain.txt", "a file passes the existence check\n");
  writeFile("rules.xml", inRoot("  <success>^I00020110:</success>\n  <failure>^E</failure>\n"
                                "  <copy dst='" +
                                targetPath("out") + "'>^Copied (.+)$</copy>\n  <copy dst='" +
                                targetRelative("plain.txt") + "'>^Other (.+)$</copy>\n"));
  // Without a base folder the copy rules never act.
  writeFile("build.log", "I00020110: ok\nE1: bad\nCopied a.dll\n");
  RunResult result = run({"-cfg", "rules.xml", "-log", "build.log"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("Processing build.log...\nE1: bad\nCopied a.dll\n" +
                                 copySummary(1, 1, 0, 0, 1, 0, 0) + "1 failures detected\n"));
  EXPECT_EQ(result.err, "");

  // Nothing processed: the seven lines come before the error.
  writeFile("build.log", "E1: bad\n");
  result = run({"-cfg", "rules.xml", "-log", "build.log"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            textMode("Processing build.log...\nE1: bad\n" + copySummary(0, 1, 0, 0, 0, 0, 0) +
                     "ERROR: Nothing was processed\n"));
}

TEST_F(ConfigurationTest, ListRulesShareOneRecordPerPath) {
  struct Row {
    const char* name;
    std::string children;
    std::string loading;  // printed while loading under -debug
    std::string files;    // the listing files at the end
  };
  const Row rows[] = {
      {"the same path, the second appends",
       "  <list file='a.lst'>^A</list>\n  <list file='a.lst' append='yes'>^B</list>\n",
       "Adding new listfile \"a.lst\" for \"^A\"\n"
       "WARNING: List entries for file \"a.lst\" have different append settings\n"
       "Reusing listfile \"a.lst\" for \"^B\"\n",
       "a.lst\t0\n"},
      {"the same path and setting, three times",
       "  <list file='a.lst' multi='no'>^A</list>\n  <list file='a.lst'>^B</list>\n"
       "  <list file='a.lst' append='0'/>\n",
       "Adding new listfile \"a.lst\" for \"^A\"\n"
       "Reusing listfile \"a.lst\" for \"^B\"\n"
       "Reusing listfile \"a.lst\" for \"(null)\"\n",
       "a.lst\t0\n"},
      {"once appending, the record warns at every plain rule",
       "  <list file='a.lst' append='T'/>\n  <list file='a.lst'/>\n  <list file='a.lst'/>\n"
       "  <list file='a.lst' append='y'/>\n",
       "Adding new listfile \"a.lst\" for \"(null)\"\n"
       "WARNING: List entries for file \"a.lst\" have different append settings\n"
       "Reusing listfile \"a.lst\" for \"(null)\"\n"
       "WARNING: List entries for file \"a.lst\" have different append settings\n"
       "Reusing listfile \"a.lst\" for \"(null)\"\n"
       "Reusing listfile \"a.lst\" for \"(null)\"\n",
       "a.lst\t0\n"},
      // Windows reads all of a.lst's spellings as one name, and x/y.lst's.
      {"case and separators make different paths (one path on Windows)",
       "  <list file='a.lst'>^1</list>\n  <list file='A.lst'>^2</list>\n"
       "  <list file='x/y.lst'>^3</list>\n  <list file='x\\y.lst'>^4</list>\n"
       "  <list file='./a.lst'>^5</list>\n  <list file='a.lst '>^6</list>\n",
       windowsTarget() ? "Adding new listfile \"a.lst\" for \"^1\"\n"
                         "Reusing listfile \"a.lst\" for \"^2\"\n"
                         "Adding new listfile \"x/y.lst\" for \"^3\"\n"
                         "Reusing listfile \"x/y.lst\" for \"^4\"\n"
                         "Reusing listfile \"a.lst\" for \"^5\"\n"
                         "Reusing listfile \"a.lst\" for \"^6\"\n"
                       : "Adding new listfile \"a.lst\" for \"^1\"\n"
                         "Adding new listfile \"A.lst\" for \"^2\"\n"
                         "Adding new listfile \"x/y.lst\" for \"^3\"\n"
                         "Adding new listfile \"x\\y.lst\" for \"^4\"\n"
                         "Adding new listfile \"./a.lst\" for \"^5\"\n"
                         "Adding new listfile \"a.lst \" for \"^6\"\n",
       windowsTarget() ? "a.lst\t0\nx/y.lst\t0\n"
                       : "a.lst\t0\nA.lst\t0\nx/y.lst\t0\nx\\y.lst\t0\n./a.lst\t0\na.lst \t0\n"},
      {"an empty file is a path",
       "  <list file=''>^E</list>\n  <list file='' append=''>^F</list>\n",
       "Adding new listfile \"\" for \"^E\"\n"
       "Reusing listfile \"\" for \"^F\"\n",
       "\t0\n"},
      {"the records keep the order of first mention",
       "  <list file='b.lst'/>\n  <copy dst='.'/>\n  <list file='a.lst'/>\n"
       "  <list file='b.lst'/>\n",
       "Adding new listfile \"b.lst\" for \"(null)\"\n"
       "Adding new listfile \"a.lst\" for \"(null)\"\n"
       "Reusing listfile \"b.lst\" for \"(null)\"\n",
       "b.lst\t0\na.lst\t0\n"},
      {"a list without file after others",
       "  <list file='a.lst'>^A</list>\n  <list>^B</list>\n  <list file='c.lst'>^C</list>\n",
       "Adding new listfile \"a.lst\" for \"^A\"\n"
       "ERROR: list '^B' does not specify a listing file\n",
       ""},
  };
  writeFile("build.log", "I00020110: ok\n");
  for (const Row& row : rows) {
    writeFile("rules.xml", inRoot("  <success>^I00020110:</success>\n" + row.children));
    RunResult result = run({"-debug", "-nopurge", "-cfg", "rules.xml", "-log", "build.log"});
    std::string name = row.name;
    bool copies = row.children.find("<copy") != std::string::npos;
    if (row.files.empty()) {
      EXPECT_EQ(result.status, 1) << name;
      EXPECT_EQ(result.out, textMode(row.loading)) << name;
    } else {
      EXPECT_EQ(result.status, 0) << name;
      EXPECT_EQ(result.out,
                textMode(row.loading + "Processing build.log...\n" +
                         (copies ? copySummary(1, 0, 0, 0, 0, 0, 0) : summary(1, 0, 0, 0, 0)) +
                         row.files))
          << name;
    }
    EXPECT_EQ(result.err, "") << name;
  }
}

TEST_F(ConfigurationTest, AppendIsReadFromTheFirstCharacter) {
  struct Row {
    const char* value;
    bool append;
  };
  const Row rows[] = {{"yes", true}, {"Yes", true}, {"true", true},   {"T", true},
                      {"y", true},   {"no", false}, {"false", false}, {"1", false},
                      {"on", false}, {"", false},   {" yes", false},  {"N", false}};
  writeFile("build.log", "I00020110: ok\n");
  for (const Row& row : rows) {
    // A plain rule, then one with the value: they differ when the value
    // means append.
    writeFile("rules.xml", inRoot("  <success>^I00020110:</success>\n  <list file='a.lst'/>\n"
                                  "  <list file='a.lst' append='" +
                                  std::string(row.value) + "' multi='" + row.value + "'/>\n"));
    RunResult result = run({"-nopurge", "-cfg", "rules.xml", "-log", "build.log"});
    std::string warning =
        row.append ? "WARNING: List entries for file \"a.lst\" have different append settings\n"
                   : "";
    EXPECT_EQ(result.status, 0) << row.value;
    EXPECT_EQ(result.out, textMode(warning + "Processing build.log...\n" + summary(1, 0, 0, 0, 0)))
        << row.value;
  }
}

TEST_F(ConfigurationTest, VariablesExpandInListAndCopyPaths) {
  const std::string name255(255, 'N');
  struct Row {
    std::string file;
    std::string path;
    std::string warnings;
  };
  const Row rows[] = {
      {"$OUT\\bin", "D:\\drop\\bin", ""},
      {"$OUT/bin", "D:\\drop/bin", ""},
      {"$OUT_DIR", "D:\\drop_DIR", ""},
      {"${OUT}", "${OUT}", ""},
      {"$1", "$1", ""},
      {"tail$", "tail$", ""},
      {"$$OUT", "$D:\\drop", ""},
      {"$A$B", "xy", ""},
      {"$REF", "$B", ""},
      {"$out.1", ".1", "WARNING: $out is not defined\n"},
      {"$EMPTY.2", ".2", ""},
      {"$X", "a=b", ""},
      {"$.3", "$.3", ""},
      {"$" + name255 + "NNN", "vNNN", ""},
      {"$Nope$Nope.4", ".4", "WARNING: $Nope is not defined\nWARNING: $Nope is not defined\n"},
      {"$EQ", "=", ""},
  };
  std::string children = "  <success>^I00020110:</success>\n";
  std::string loading;
  std::string files;
  for (size_t i = 0; i < std::size(rows); ++i) {
    std::string pattern = "^row" + std::to_string(i) + "$";
    children += "  <list file='" + rows[i].file + "'>" + pattern + "</list>\n";
    // Windows reads D:\drop/bin as D:\drop\bin: the second row shares the first's file.
    if (windowsTarget() && i == 1) {
      loading += "Reusing listfile \"" + rows[0].path + "\" for \"" + pattern + "\"\n";
      continue;
    }
    loading +=
        rows[i].warnings + "Adding new listfile \"" + rows[i].path + "\" for \"" + pattern + "\"\n";
    files += rows[i].path + "\t0\n";
  }
  writeFile("rules.xml", inRoot(children));
  writeFile("build.log", "I00020110: ok\n");
  // Definitions take effect wherever they stand; the last one of a name wins.
  std::vector<std::string> args = {"-DOUT=first",   "-DA=x",     "-debug",
                                   "-DB=y",         "-DREF=$B",  "-DEMPTY=",
                                   "-DX=a=b",       "-D=v",      "-D" + name255 + "=v",
                                   "-cfg",          "rules.xml", "-nopurge",
                                   "-log",          "build.log", "-DEQ==",
                                   "-DOUT=D:\\drop"};
  RunResult result = run(args);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out,
            textMode(loading + "Processing build.log...\n" + summary(1, 0, 0, 0, 0) + files));
  EXPECT_EQ(result.err, "");

  // One definition without "=" anywhere rejects the command line before
  // anything is loaded.
  args.push_back("-DOUT");
  result = run(args);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, textMode(usageText("Argument must be of the form -Dname=value")));
}

TEST_F(ConfigurationTest, WarningsFollowTheLoadingOrder) {
  makeFolder("out");
  // Copy elements are loaded before list elements, whatever the document says.
  writeFile("rules.xml", inRoot("  <list file='$L1.lst'/>\n  <success>^I00020110:</success>\n"
                                "  <copy dst='" +
                                targetPath("out") +
                                "$C1'/>\n  <list file='$L2.lst'/>\n"
                                "  <copy dst='" +
                                targetPath("out") + "$C2'/>\n"));
  writeFile("build.log", "I00020110: ok\n");
  RunResult result = run({"-nopurge", "-cfg", "rules.xml", "-log", "build.log"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("WARNING: $C1 is not defined\nWARNING: $C2 is not defined\n"
                                 "WARNING: $L1 is not defined\nWARNING: $L2 is not defined\n"
                                 "Processing build.log...\n" +
                                 copySummary(1, 0, 0, 0, 0, 0, 0)));
}

}  // namespace

namespace {

TEST_F(ConfigurationTest, ParseErrorsGiveTinyXmlsRowColumnAndText) {
  struct Row {
    const char* what;
    std::string content;
    std::string message;
  };
  const Row rows[] = {
      {"a tab counts four columns", "<tarnwick>\n\t\t<ignore>x</Ignore>\n</tarnwick>\n",
       "Error Parsing XML at line 2, col 18: Error reading end tag."},
      {"a byte order mark is no column",
       "\xef\xbb\xbf<tarnwick>\n  <ignore>x</ignre>\n</tarnwick>\n",
       "Error Parsing XML at line 2, col 12: Error reading end tag."},
      {"a lone CR ends a line", "<tarnwick>\r  <ignore>x</ignre>\r</tarnwick>\r",
       "Error Parsing XML at line 2, col 12: Error reading end tag."},
      {"an attribute given twice",
       "<tarnwick>\n  <ignore a=\"1\" a=\"2\">x</ignore>\n</tarnwick>\n",
       "Error Parsing XML at line 2, col 17: Error parsing Element."},
      {"an element without a name", "<tarnwick>\n  <>x</>\n</tarnwick>\n",
       "Error Parsing XML at line 2, col 6: Error reading end tag."},
      {"the file ends inside an element", "<tarnwick>\n  <ignore>x",
       "Error Parsing XML at line 0, col 0: Error reading Element value."},
      {"an unterminated CDATA section",
       "<tarnwick>\n  <success><![CDATA[x</success>\n</tarnwick>\n",
       "Error Parsing XML at line 0, col 0: Error reading Element value."},
      {"text without any element", "just text\n",
       "Error Parsing XML at line 0, col 0: Error document empty."},
  };
  writeFile("build.log", "OK\n");
  for (const Row& row : rows) {
    writeFile("rules.xml", row.content);
    RunResult result = run({"-debug", "-cfg", "rules.xml", "-log", "build.log"});
    EXPECT_EQ(result.status, 1) << row.what;
    EXPECT_EQ(result.out, row.message) << row.what;  // no line end follows
    EXPECT_EQ(result.err, "") << row.what;
  }
}

TEST_F(ConfigurationTest, ElementTextIsTheFirstTextChildOnly) {
  struct Row {
    const char* what;
    std::string rule;
    std::vector<std::string> lines;
    std::string printed;  // unmatched lines
    int success;
  };
  const Row rows[] = {
      {"text before a nested element", "<success>^A$<b/>x</success>", {"A", "Ax"}, "Ax\n", 1},
      {"text before a comment", "<success>^x<!-- c -->$</success>", {"xy"}, "", 1},
      {"text before a CDATA section", "<success>^x<![CDATA[y]]></success>", {"xz", "y"}, "y\n", 1},
      {"blanks around a CDATA section",
       "<success> <![CDATA[ y ]]> </success>",
       {"a y b", "ay b"},
       "ay b\n",
       1},
      {"a comment first gives no pattern", "<success>\n  <!-- c -->x</success>", {"x"}, "x\n", 0},
      {"a nested element first gives no pattern", "<success><b>x</b></success>", {"x"}, "x\n", 0},
  };
  for (const Row& row : rows) {
    writeFile("rules.xml",
              "<tarnwick>\n  " + row.rule + "\n  <summary>^Done$</summary>\n</tarnwick>\n");
    std::string log;
    for (const std::string& line : row.lines) log += line + "\n";
    writeFile("build.log", log + "Done\n");
    RunResult result = run({"-cfg", "rules.xml", "-log", "build.log"});
    EXPECT_EQ(result.status, 0) << row.what;
    int unmatched = static_cast<int>(row.lines.size()) - row.success;
    EXPECT_EQ(result.out, textMode("Processing build.log...\n" + row.printed +
                                   summary(row.success, 0, 0, 1, unmatched)))
        << row.what;
  }
}

TEST_F(ConfigurationTest, AttributeValuesKeepBlanksAndDecodeEntities) {
  makeFolder("drop");
  const std::string drop = targetPath("drop");
  struct Row {
    const char* what;
    std::string children;
    std::string out;
    std::string listing = "";  // the listing file's path, for list rules
  };
  std::vector<Row> rows = {
      {"a blank before dst", "  <copy dst=\" " + drop + "\">^C</copy>\n",
       "ERROR: destination folder ' " + drop + "' does not exist\n"},
      {"an entity in dst", "  <copy dst=\"" + drop + "&amp;x\">^C</copy>\n",
       "ERROR: destination folder '" + drop + "&x' does not exist\n"},
      {"single quotes", "  <copy dst='" + drop + "\"q'>^C</copy>\n",
       "ERROR: destination folder '" + drop + "\"q' does not exist\n"},
      {"an entity in file", "  <list file=\"a&amp;b &lt;1&gt;.lst\">^L</list>\n",
       "Adding new listfile \"a&b <1>.lst\" for \"^L\"\n", "a&b <1>.lst"},
      {"blanks in file", "  <list file=\"  two  blanks  \">^L</list>\n",
       "Adding new listfile \"  two  blanks  \" for \"^L\"\n", "  two  blanks  "},
  };
  if (!windowsTarget()) {
    // Windows drops trailing blanks from a path's last name, so there the
    // folder is found.
    rows.push_back({"a blank after dst", "  <copy dst=\"" + drop + " \">^C</copy>\n",
                    "ERROR: destination folder '" + drop + " ' does not exist\n"});
  }
  writeFile("build.log", "OK\n");
  for (const Row& row : rows) {
    writeRules(row.children);
    RunResult result = run({"-debug", "-nopurge", "-cfg", "rules.xml", "-log", "build.log"});
    if (!row.listing.empty()) {
      EXPECT_EQ(result.status, 0) << row.what;
      EXPECT_EQ(result.out, textMode(row.out + "Processing build.log...\n" +
                                     summary(1, 0, 0, 0, 0) + row.listing + "\t0\n"))
          << row.what;
    } else {
      EXPECT_EQ(result.status, 1) << row.what;
      EXPECT_EQ(result.out, textMode(row.out)) << row.what;
    }
  }
}

TEST_F(ConfigurationTest, VariableReferencesAtTheirEdges) {
  const std::string letters300(300, 'N');
  const std::string letters255(255, 'M');
  struct Row {
    std::string file;
    std::string path;
    std::string warnings;
  };
  const Row rows[] = {
      {"$" + letters300 + ".a", std::string(45, 'N') + ".a",
       "WARNING: $" + std::string(255, 'N') + " is not defined\n"},
      {"$" + letters255 + "12.b", "v12.b", ""},
      {"$A1.c", ".c", "WARNING: $A1 is not defined\n"},
      {"$A.d", "x.d", ""},
      {"$U1/$U2-$A.e", "/-x.e", "WARNING: $U1 is not defined\nWARNING: $U2 is not defined\n"},
      {"$A\xc3\xa9.f", "x\xc3\xa9.f", ""},
      {"$DOLLAR$A.g", "$x.g", ""},
      {"$$$.i", "$$$.i", ""},
      {"a$ A.j", "a$ A.j", ""},
  };
  std::string children;
  std::string loading;
  std::string files;
  for (size_t i = 0; i < std::size(rows); ++i) {
    std::string pattern = "^row" + std::to_string(i) + "$";
    children += "  <list file=\"" + rows[i].file + "\">" + pattern + "</list>\n";
    loading +=
        rows[i].warnings + "Adding new listfile \"" + rows[i].path + "\" for \"" + pattern + "\"\n";
    files += rows[i].path + "\t0\n";
  }
  writeRules(children);
  writeFile("build.log", "OK\n");
  RunResult result = run({"-DA=x", "-D" + letters255 + "=v", "-DDOLLAR=$", "-debug", "-nopurge",
                          "-cfg", "rules.xml", "-log", "build.log"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out,
            textMode(loading + "Processing build.log...\n" + summary(1, 0, 0, 0, 0) + files));
  EXPECT_EQ(result.err, "");
}

TEST_F(ConfigurationTest, RulesWithoutTextNeverMatch) {
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

TEST_F(ConfigurationTest, AFileNestedTooDeeplyIsAParseErrorNotACrash) {
  std::string deep = "<tarnwick>\n";
  for (int i = 0; i < 100000; ++i) deep += "<a>";
  writeFile("deep.xml", deep);
  writeFile("build.log", "I00020110: ok\n");
  RunResult result = run({"-cfg", "deep.xml", "-log", "build.log"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Error Parsing XML at line 2, col 2998: Elements nested too deeply.");
  EXPECT_EQ(result.err, "");
}

// Captured from gcc 12.2 (-fdiagnostics-color=always -fdiagnostics-urls=always
// -Wall -c b.c, in a UTF-8 locale) and clang 14 (-fcolor-diagnostics -c a.c).
const char kColouredGcc[] =
    "\x1B[01m\x1B[Kb.c:\x1B[m\x1B[K In function "
    "\xE2\x80\x98\x1B[01m\x1B[Kmain\x1B[m\x1B[K\xE2\x80\x99:\n"
    "\x1B[01m\x1B[Kb.c:1:26:\x1B[m\x1B[K \x1B[01;31m\x1B[Kerror: "
    "\x1B[m\x1B[K\xE2\x80\x98\x1B[01m\x1B[Kx\x1B[m\x1B[K\xE2\x80\x99 undeclared (first use in this "
    "function)\n"
    "    1 | int main(){int y; return \x1B[01;31m\x1B[Kx\x1B[m\x1B[K;}\n"
    "      |                          \x1B[01;31m\x1B[K^\x1B[m\x1B[K\n"
    "\x1B[01m\x1B[Kb.c:1:26:\x1B[m\x1B[K \x1B[01;36m\x1B[Knote: \x1B[m\x1B[Keach undeclared "
    "identifier is reported only once for each function it appears in\n"
    "\x1B[01m\x1B[Kb.c:1:16:\x1B[m\x1B[K \x1B[01;35m\x1B[Kwarning: \x1B[m\x1B[Kunused variable "
    "\xE2\x80\x98\x1B[01m\x1B[Ky\x1B[m\x1B[K\xE2\x80\x99 "
    "[\x1B[01;35m\x1B[K\x1B]8;;https://gcc.gnu.org/onlinedocs/gcc/"
    "Warning-Options.html#index-Wunused-variable\a-Wunused-variable\x1B]8;;\a\x1B[m\x1B[K]\n"
    "    1 | int main(){int \x1B[01;35m\x1B[Ky\x1B[m\x1B[K; return x;}\n"
    "      |                \x1B[01;35m\x1B[K^\x1B[m\x1B[K\n";
const char kColouredClang[] =
    "\x1B[1ma.c:1:19: \x1B[0m\x1B[0;1;31merror: \x1B[0m\x1B[1muse of undeclared identifier "
    "'x'\x1B[0m\n"
    "int main(){return x;}\n"
    "\x1B[0;1;32m                  ^\n"
    "\x1B[0m1 error generated.\n";

/// Rules for those logs that anchor at the start of a line, as packs do.
std::string compilerRules(const std::string& rootAttributes) {
  return "<tarnwick" + rootAttributes +
         ">\n"
         "  <ignore>^ +[0-9]* \\|</ignore>\n"
         "  <ignore>^int main</ignore>\n"
         "  <ignore>^ +\\^</ignore>\n"
         "  <success>^[^ :]+:[0-9]+:[0-9]+: note: </success>\n"
         "  <success>^[0-9]+ errors? generated</success>\n"
         "  <failure>^[^ :]+:[0-9]+:[0-9]+: (fatal )?error: </failure>\n"
         "  <summary>warning</summary>\n"
         "  <list file='files.lst'>^([^ :]+):[0-9]+:[0-9]+: [a-z]+: </list>\n"
         "</tarnwick>\n";
}

/// The lines of text, each without its line end.
std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

TEST_F(ConfigurationTest, StripansiMatchesColouredCompilerOutput) {
  const std::vector<std::string> gcc = linesOf(kColouredGcc);
  const std::vector<std::string> clang = linesOf(kColouredClang);
  ASSERT_EQ(gcc.size(), 8u);
  ASSERT_EQ(clang.size(), 4u);
  writeFile("gcc.log", kColouredGcc);
  writeFile("clang.log", kColouredClang);
  struct Row {
    const char* name;
    std::string attributes;
    const char* log;
    std::string printed;  // the tool's bytes, as they came
    std::string totals;
    std::string listed;
    std::string reported;  // the text of the JSON report's first finding
  };
  const Row rows[] = {
      {"gcc, stripped", " stripansi='yes'", "gcc.log", gcc[0] + "\n" + gcc[1] + "\n",
       summary(1, 1, 4, 1, 1) + "1 failures detected\n", "b.c\nb.c\nb.c\n",
       "b.c: In function \xE2\x80\x98main\xE2\x80\x99:"},
      {"clang, stripped", " stripansi='Y'", "clang.log", clang[0] + "\n",
       summary(1, 1, 2, 0, 0) + "1 failures detected\n", "a.c\n",
       "a.c:1:19: error: use of undeclared identifier 'x'"},
      // As before: a coloured line begins with ESC, no anchored rule matches
      // it, and the listing stays empty.
      {"gcc, without the attribute", "", "gcc.log", gcc[0] + "\n" + gcc[1] + "\n" + gcc[4] + "\n",
       summary(0, 0, 4, 1, 3), "", gcc[0]},
      {"gcc, stripansi='no'", " stripansi='no'", "gcc.log",
       gcc[0] + "\n" + gcc[1] + "\n" + gcc[4] + "\n", summary(0, 0, 4, 1, 3), "", gcc[0]},
  };
  for (const Row& row : rows) {
    writeFile("rules.xml", compilerRules(row.attributes));
    writeFile("files.lst", "");
    RunResult result = run({"-cfg", "rules.xml", "-json", "r.json", "-log", row.log});
    EXPECT_EQ(result.status, 0) << row.name;
    EXPECT_EQ(result.out,
              textMode("Processing " + std::string(row.log) + "...\n" + row.printed + row.totals))
        << row.name;
    EXPECT_EQ(readFile("files.lst"), textMode(row.listed)) << row.name;
    nlohmann::json report = nlohmann::json::parse(readFile("r.json"));
    ASSERT_FALSE(report["findings"].empty()) << row.name;
    EXPECT_EQ(report["findings"][0]["text"], row.reported) << row.name;
  }
}

}  // namespace

namespace {

using IncludeTest = E2ETest;

TEST_F(IncludeTest, IncludedRulesComeAtThePlaceOfTheirInclude) {
  // Each list rule adds its capture of the line: the listing shows the
  // order in which the rules were tried.
  makeFolder("rules/packs");
  makeFolder("rules/sub");
  writeFile("rules/all.xml",
            "<tarnwick>\n"
            "  <list file='$LST'>^(a)</list>\n"
            "  <include file='$PACKS/gnu.xml'/>\n"
            "  <list file='$LST'>^(abc)</list>\n"
            "  <include file='sub/own.xml'/>\n"
            "  <success>^S-top</success>\n"
            "  <summary>^Top summary</summary>\n"
            "</tarnwick>\n");
  writeFile("rules/packs/gnu.xml",
            "<tarnwick>\n"
            "  <success>^S-gnu</success>\n"
            "  <list file='$LST'>^(ab)</list>\n"
            "  <summary>^Gnu summary</summary>\n"
            "  <summary>^Gnu second summary</summary>\n"
            "</tarnwick>\n");
  // Resolved from its own folder, not from the one that includes it.
  writeFile("rules/sub/own.xml",
            "<tarnwick>\n"
            "  <include file='" +
                targetRelative("../common.xml") +
                "'/>\n"
                "  <list file='$LST'>^(abcde)</list>\n"
                "  <summary>^Own summary</summary>\n"
                "</tarnwick>\n");
  writeFile("rules/common.xml",
            "<tarnwick><list file='$LST'>^(abcd)</list><failure>^E</failure></tarnwick>\n");
  writeFile("build.log",
            "abcdef\nS-gnu\nS-top\nE1\nTop summary\nGnu summary\nGnu second summary\n"
            "Own summary\nOther\n");
  RunResult result = run({"-DPACKS=packs", "-DLST=" + targetPath("order.lst"), "-cfg",
                          targetRelative("rules/all.xml"), "-log", "build.log"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("Processing build.log...\nabcdef\nE1\nOther\n" +
                                 summary(2, 1, 0, 4, 2) + "1 failures detected\n"));
  EXPECT_EQ(readFile("order.lst"), textMode("a\nab\nabc\nabcd\nabcde\n"));
}

TEST_F(IncludeTest, AFileIncludedTwiceIsReadOnce) {
  writeFile("all.xml",
            "<tarnwick><include file='a.xml'/><include file='b.xml'/>"
            "<include file='./a.xml'/></tarnwick>");
  writeFile("a.xml", "<tarnwick><list file='files.lst'>^Built (.+)</list></tarnwick>");
  writeFile("b.xml", "<tarnwick><include file='a.xml'/><success>^Built</success></tarnwick>");
  writeFile("build.log", "Built x.o\n");
  RunResult result = run({"-cfg", "all.xml", "-log", "build.log"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("Processing build.log...\n" + summary(1, 0, 0, 0, 0)));
  EXPECT_EQ(readFile("files.lst"), textMode("x.o\n"));
}

TEST_F(IncludeTest, RootAttributesComeFromTheNearestFileThatSetsThem) {
  const std::string coloured = "\x1B[01;31merror: x\x1B[m";
  writeFile("pack.xml",
            "<tarnwick stripansi='yes'><failure>^error: </failure>"
            "<success>^ok</success></tarnwick>");
  writeFile("plain.xml", "<tarnwick><include file='pack.xml'/></tarnwick>");
  writeFile("no.xml", "<tarnwick stripansi='no'><include file='pack.xml'/></tarnwick>");
  writeFile("build.log", coloured + "\nok\n");
  struct Row {
    const char* config;
    std::string printed;
    std::string totals;
  };
  const Row rows[] = {
      {"pack.xml", coloured + "\n", summary(1, 1, 0, 0, 0) + "1 failures detected\n"},
      {"plain.xml", coloured + "\n", summary(1, 1, 0, 0, 0) + "1 failures detected\n"},
      {"no.xml", coloured + "\n", summary(1, 0, 0, 0, 1)},
  };
  for (const Row& row : rows) {
    RunResult result = run({"-cfg", row.config, "-log", "build.log"});
    EXPECT_EQ(result.status, 0) << row.config;
    EXPECT_EQ(result.out, textMode("Processing build.log...\n" + row.printed + row.totals))
        << row.config;
  }
}

TEST_F(IncludeTest, NoListingFileMayBeAnIncludedFile) {
  makeFolder("packs");
  writeFile("all.xml",
            "<tarnwick><include file='" + targetRelative("packs/gnu.xml") + "'/></tarnwick>");
  const std::string pack = "<tarnwick><list file='" + targetRelative("packs/gnu.xml") +
                           "'>^Built (.+)</list><success>^OK</success></tarnwick>";
  writeFile("packs/gnu.xml", pack);
  writeFile("build.log", "OK\nBuilt x\n");
  RunResult result = run({"-cfg", "all.xml", "-log", "build.log"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            textMode("ERROR: Listing file '" + targetRelative("packs/gnu.xml") +
                     "' is the configuration file '" + targetRelative("packs/gnu.xml") + "'\n"));
  EXPECT_EQ(readFile("packs/gnu.xml"), pack);
}

TEST_F(IncludeTest, BadIncludesEndTheRunNamingTheFiles) {
  struct File {
    const char* name;
    const char* content;
  };
  struct Row {
    const char* name;
    std::vector<File> files;  // the first is the one -cfg names
    std::string message;
  };
  std::vector<File> nine;
  const Row rows[] = {
      {"itself",
       {{"a.xml", "<tarnwick><include file='a.xml'/></tarnwick>"}},
       "ERROR: Configuration 'a.xml' includes itself\n"},
      {"itself by another name",
       {{"a.xml", "<tarnwick><include file='./a.xml'/></tarnwick>"}},
       "ERROR: Configuration 'a.xml' includes itself\n"},
      {"through one",
       {{"a.xml", "<tarnwick><include file='b.xml'/></tarnwick>"},
        {"b.xml", "<tarnwick><include file='a.xml'/></tarnwick>"}},
       "ERROR: Configuration 'a.xml' includes itself through 'b.xml'\n"},
      {"through two, below the top",
       {{"top.xml", "<tarnwick><include file='a.xml'/></tarnwick>"},
        {"a.xml", "<tarnwick><include file='b.xml'/></tarnwick>"},
        {"b.xml", "<tarnwick><include file='c.xml'/></tarnwick>"},
        {"c.xml", "<tarnwick><include file='a.xml'/></tarnwick>"}},
       "ERROR: Configuration 'a.xml' includes itself through 'b.xml' and 'c.xml'\n"},
      {"missing",
       {{"a.xml", "<tarnwick><include file='gone.xml'/></tarnwick>"}},
       "Error Parsing XML at line 0, col 0 of 'gone.xml', included by 'a.xml': Failed to open "
       "file\n"},
      {"a variable that names nothing",
       {{"a.xml", "<tarnwick><include file='$NOPE'/></tarnwick>"}},
       "WARNING: $NOPE is not defined\n"
       "Error Parsing XML at line 0, col 0 of '', included by 'a.xml': Failed to open file\n"},
      {"not well-formed",
       {{"a.xml", "<tarnwick>\n<include file='b.xml'/></tarnwick>"},
        {"b.xml", "<tarnwick>\n  <ignore>x</ignre>\n</tarnwick>\n"}},
       "Error Parsing XML at line 2, col 12 of 'b.xml', included by 'a.xml': Error reading end "
       "tag.\n"},
      {"without a file",
       {{"a.xml", "<tarnwick><include name='b.xml'/></tarnwick>"}},
       "ERROR: include in 'a.xml' does not specify a file\n"},
      {"a bad gate in an included file",
       {{"a.xml", "<tarnwick maxfailures='0'><include file='b.xml'/></tarnwick>"},
        {"b.xml", "<tarnwick maxunmatched='-1'/>"}},
       "ERROR: maxunmatched=\"-1\" in 'b.xml' is not a non-negative decimal number\n"},
      {"nine deep",
       {{"d0.xml", "<tarnwick><include file='d1.xml'/></tarnwick>"},
        {"d1.xml", "<tarnwick><include file='d2.xml'/></tarnwick>"},
        {"d2.xml", "<tarnwick><include file='d3.xml'/></tarnwick>"},
        {"d3.xml", "<tarnwick><include file='d4.xml'/></tarnwick>"},
        {"d4.xml", "<tarnwick><include file='d5.xml'/></tarnwick>"},
        {"d5.xml", "<tarnwick><include file='d6.xml'/></tarnwick>"},
        {"d6.xml", "<tarnwick><include file='d7.xml'/></tarnwick>"},
        {"d7.xml", "<tarnwick><include file='d8.xml'/></tarnwick>"},
        {"d8.xml", "<tarnwick><include file='d9.xml'/></tarnwick>"},
        {"d9.xml", "<tarnwick><success>^OK</success></tarnwick>"}},
       "ERROR: Includes nested more than 8 deep: 'd8.xml' includes 'd9.xml'\n"},
  };
  writeFile("build.log", "OK\n");
  for (const Row& row : rows) {
    for (const File& file : row.files) writeFile(file.name, file.content);
    RunResult result = run({"-cfg", row.files.front().name, "-log", "build.log"});
    EXPECT_EQ(result.status, 1) << row.name;
    EXPECT_EQ(result.out, textMode(row.message)) << row.name;
    EXPECT_EQ(result.err, "") << row.name;
  }
  // Eight deep is allowed.
  RunResult result = run({"-cfg", "d1.xml", "-log", "build.log"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("Processing build.log...\n" + summary(1, 0, 0, 0, 0)));
}

}  // namespace

namespace {

using SafeDefaultsTest = E2ETest;

TEST_F(SafeDefaultsTest, TheConfigurationsGatesHoldUnlessTheCommandLineSetsItsOwn) {
  const std::string rules = "<success>^OK</success><failure>^E</failure>";
  struct Row {
    const char* name;
    std::string root;  // attributes of the root
    std::vector<std::string> options;
    int status;
    std::string after;  // after the summary and the failure count
  };
  const Row rows[] = {
      {"no gate", "", {}, 0, ""},
      {"maxfailures 0", " maxfailures='0'", {}, 1, "ERROR: 2 failures, more than the 0 allowed\n"},
      {"maxfailures 2", " maxfailures='2'", {}, 0, ""},
      {"overridden", " maxfailures='0'", {"-maxfailures", "5"}, 0, ""},
      {"overridden lower",
       " maxfailures='5'",
       {"-maxfailures", "1"},
       1,
       "ERROR: 2 failures, more than the 1 allowed\n"},
      {"maxunmatched 0",
       " maxunmatched='0'",
       {},
       1,
       "ERROR: 1 unmatched lines, more than the 0 allowed\n"},
      {"both, failures first",
       " maxunmatched='0' maxfailures='1'",
       {},
       1,
       "ERROR: 2 failures, more than the 1 allowed\n"},
      {"unmatched overridden", " maxunmatched='0'", {"-maxunmatched", "1"}, 0, ""},
      {"saturating", " maxfailures='99999999999999999999999'", {}, 0, ""},
  };
  writeFile("build.log", "E1\nE2\nOK\nother\n");
  for (const Row& row : rows) {
    writeFile("rules.xml", "<tarnwick" + row.root + ">" + rules + "</tarnwick>");
    std::vector<std::string> args = row.options;
    for (const char* arg : {"-json", "r.json", "-cfg", "rules.xml", "-log", "build.log"}) {
      args.push_back(arg);
    }
    RunResult result = run(args);
    EXPECT_EQ(result.status, row.status) << row.name;
    EXPECT_EQ(result.out, textMode("Processing build.log...\nE1\nE2\nother\n" +
                                   summary(1, 2, 0, 0, 1) + "2 failures detected\n" + row.after))
        << row.name;
    // The report tells the same verdict as for the option.
    nlohmann::json report = nlohmann::json::parse(readFile("r.json"));
    EXPECT_EQ(report["status"], row.status) << row.name;
    if (row.after.empty()) {
      EXPECT_TRUE(report["error"].is_null()) << row.name;
    } else {
      EXPECT_EQ(report["error"], row.after.substr(0, row.after.size() - 1)) << row.name;
    }
  }
}

TEST_F(SafeDefaultsTest, BadGateValuesEndTheRun) {
  const char* values[] = {"", "-1", "+1", "1.5", " 1", "0x10", "ten"};
  writeFile("build.log", "OK\n");
  for (const char* value : values) {
    for (const char* gate : {"maxfailures", "maxunmatched"}) {
      writeFile("rules.xml", std::string("<tarnwick ") + gate + "='" + value +
                                 "'><success>^OK</success></tarnwick>");
      RunResult result = run({"-cfg", "rules.xml", "-log", "build.log"});
      EXPECT_EQ(result.status, 1) << gate << value;
      EXPECT_EQ(result.out, textMode("ERROR: " + std::string(gate) + "=\"" + value +
                                     "\" in 'rules.xml' is not a non-negative decimal number\n"))
          << gate << value;
    }
  }
}

TEST_F(SafeDefaultsTest, StrictOptionsRefuseAWordThatIsNoOption) {
  struct Row {
    const char* name;
    const char* strict;  // the strictoptions attribute, or null
    std::vector<std::string> options;
    std::string unknown;  // the word refused; empty: the run goes on
  };
  const Row rows[] = {
      {"a mistyped gate", "yes", {"-maxfailure", "0"}, "-maxfailure"},
      {"a mistyped report", "true", {"-junt", "r.xml"}, "-junt"},
      {"the first of two", "y", {"-a", "-b"}, "-a"},
      {"a lone dash", "yes", {"-"}, "-"},
      {"case matters", "yes", {"-Debug=1", "-Nopurge"}, "-Nopurge"},
      {"words without a dash pass", "yes", {"word", "-nopurge"}, ""},
      {"every option passes",
       "yes",
       {"-debug", "-nopurge", "-sanitize", "-github", "-classifyoutput", "-toolstatus",
        "-maxfailures", "9", "-maxunmatched", "9", "-Dx=1"},
       ""},
      {"an option's value is not looked at", "yes", {"-maxfailures", "9", "-json", "-r.json"}, ""},
      {"not asked for", nullptr, {"-maxfailure", "0", "-junt", "r.xml"}, ""},
      {"asked not to", "no", {"-maxfailure", "0"}, ""},
  };
  writeFile("build.log", "OK\n");
  for (const Row& row : rows) {
    std::string root =
        row.strict != nullptr ? std::string(" strictoptions='") + row.strict + "'" : "";
    writeFile("rules.xml", "<tarnwick" + root +
                               "><list file='files.lst'>^(OK)</list>"
                               "<success>^OK</success></tarnwick>");
    // A listing file from before the run shows whether it was purged.
    writeFile("files.lst", "stale\n");
    std::vector<std::string> args = row.options;
    for (const char* arg : {"-cfg", "rules.xml", "-log", "build.log"}) args.push_back(arg);
    RunResult result = run(args);
    if (row.unknown.empty()) {
      EXPECT_EQ(result.status, 0) << row.name;
      continue;
    }
    EXPECT_EQ(result.status, 1) << row.name;
    EXPECT_EQ(result.out, textMode(usageText("Unknown option '" + row.unknown + "'"))) << row.name;
    EXPECT_EQ(readFile("files.lst"), "stale\n") << row.name;
  }
}

// Exec mode starts reader threads: these run under ThreadSanitizer too.
using SafeDefaultsExecTest = E2ETest;

TEST_F(SafeDefaultsExecTest, StrictOptionsRefuseAWordBeforeTheToolStarts) {
  writeFile("rules.xml", "<tarnwick strictoptions='yes'><success>^OK</success></tarnwick>");
  // Before anything is run: the tool never starts.
  RunResult result = run({"-cfg", "rules.xml", "-maxfailure", "0", "-exec", tool(),
                          "note:" + targetPath("ran") + ":yes"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, textMode(usageText("Unknown option '-maxfailure'")));
  EXPECT_FALSE(exists("ran"));
  // After -exec every word is the tool's.
  result = run({"-cfg", "rules.xml", "-toolstatus", "-exec", tool(), "exit:0", "-maxfailure"});
  EXPECT_EQ(result.status, 0);
}

TEST_F(SafeDefaultsExecTest, UnderToolstatusAQuietToolThatSucceedsHasProcessed) {
  writeFile("rules.xml", inRoot("<success>^OK</success><failure>^E</failure>"));
  struct Row {
    const char* name;
    std::vector<std::string> options;
    std::vector<std::string> words;
    int status;
    std::string out;  // after the echo
  };
  const Row rows[] = {
      {"quiet, exit code 0", {"-toolstatus"}, {"exit:0"}, 0, summary(0, 0, 0, 0, 0)},
      {"an unmatched line, exit code 0",
       {"-toolstatus"},
       {"out:compiling", "exit:0"},
       0,
       summary(0, 0, 0, 0, 0)},
      {"a failure line, exit code 0",
       {"-toolstatus"},
       {"out:E1", "exit:0"},
       0,
       summary(0, 0, 0, 0, 0)},
      {"quiet, exit code 2",
       {"-toolstatus"},
       {"exit:2"},
       1,
       summary(0, 0, 0, 0, 0) + "ERROR: The tool ended with exit code 2\n"},
      {"quiet, without -toolstatus", {}, {"exit:0"}, 1, kNoTotals},
  };
  for (const Row& row : rows) {
    std::vector<std::string> options = row.options;
    options.insert(options.begin(), {"-cfg", "rules.xml"});
    RunResult result = runExec(options, row.words);
    EXPECT_EQ(result.status, row.status) << row.name;
    std::string echo;
    for (const std::string& word : row.words) {
      if (word.rfind("out:", 0) == 0) echo += word.substr(4) + "\n";
    }
    EXPECT_EQ(result.out, textMode(echo + row.out)) << row.name;
  }
}

}  // namespace

namespace {

using StripansiExecTest = E2ETest;

TEST_F(StripansiExecTest, TheEchoKeepsTheToolsBytesAndTheRulesSeeTheText) {
  writeFile("rules.xml",
            "<tarnwick stripansi='yes'><success>^ok$</success><failure>^E[0-9]+: </failure>"
            "<list file='files.lst'>^E[0-9]+: (.+)$</list></tarnwick>");
  const std::string failure = "\x1B[01;31mE1: \x1B[Ka.c\x1B[m";
  const std::string success = "\x1B]8;;file:///x\x1B\\ok\x1B]8;;\x1B\\";
  RunResult result = runExec({"-cfg", "rules.xml", "-classifyoutput", "-json", "r.json"},
                             {"out:" + success, "err:" + failure});
  EXPECT_EQ(result.status, 0);
  // The tool's lines were echoed as they came and are not printed again.
  EXPECT_EQ(result.out,
            textMode(success + "\n" + summary(1, 1, 0, 0, 0) + "1 failures detected\n"));
  EXPECT_EQ(result.err, textMode(failure + "\n"));
  EXPECT_EQ(readFile("files.lst"), textMode("a.c\n"));
  nlohmann::json report = nlohmann::json::parse(readFile("r.json"));
  ASSERT_EQ(report["findings"].size(), 1u);
  EXPECT_EQ(report["findings"][0]["text"], "E1: a.c");
}

}  // namespace
