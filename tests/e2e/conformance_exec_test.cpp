// Exec mode as a careful user sees it: the command line as built and as the
// tool receives it, the log switches, the order of everything printed, the
// pieces that one read makes, where the server-log rule comes from, and what
// happens before the tool is run at all.
#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

const char kWarning[] = "WARNING: found -o/-oa switch, but no logfile give\n";

/// The rules most configured runs here share; the server-log rule is added
/// per test.
const char kRules[] =
    "  <success>^I00020110:</success>\n"
    "  <failure>^E[0-9]+:</failure>\n";

using ConformanceExecTest = E2ETest;

/// text without every "stdout: " in it: the echo under -debug whatever the
/// pieces were.
std::string withoutStdoutPrefixes(std::string text) {
  const std::string prefix = "stdout: ";
  for (size_t at = text.find(prefix); at != std::string::npos; at = text.find(prefix, at)) {
    text.erase(at, prefix.size());
  }
  return text;
}

TEST_F(ConformanceExecTest, TheCommandLineAndTheWordsTheToolReceives) {
  const std::string many(200, '\\');
  struct Row {
    const char* name;
    std::vector<std::string> words;  // after "argv"
    std::string line;                // the command line after the tool and "argv"
    std::string seen;                // the tool's argv after "[argv]\n"
  };
  const Row rows[] = {
      {"plain", {"plain", "two words"}, " \"plain\" \"two words\"", "[plain]\n[two words]\n"},
      {"empty word", {"", "x"}, " \"\" \"x\"", "[]\n[x]\n"},
      {"tab", {"a\tb"}, " \"a\tb\"", "[a\tb]\n"},
      {"inner backslash", {"a\\b"}, " \"a\\b\"", "[a\\b]\n"},
      // Trailing backslashes are doubled before the closing quote so that
      // they do not escape it.
      {"one trailing backslash",
       {"C:\\dir\\", "next"},
       " \"C:\\dir\\\\\" \"next\"",
       "[C:\\dir\\]\n[next]\n"},
      {"two trailing backslashes", {"two\\\\"}, " \"two\\\\\\\\\"", "[two\\\\]\n"},
      {"only a backslash", {"\\"}, " \"\\\\\"", "[\\]\n"},
      {"two hundred backslashes", {many}, " \"" + many + many + "\"", "[" + many + "]\n"},
      // A double quote inside a word is escaped, and so are the backslashes
      // before it: the tool gets the word as it was.
      {"quoted inside",
       {R"(say "hi there")", "x"},
       R"( "say \"hi there\"" "x")",
       "[say \"hi there\"]\n[x]\n"},
      {"escaped quote", {R"(a\"b)"}, R"( "a\\\"b")", "[a\\\"b]\n"},
      {"two backslashes before a quote", {R"(a\\"b")"}, R"( "a\\\\\"b\"")", "[a\\\\\"b\"]\n"},
      {"quote and a trailing backslash", {R"(x"y\)"}, R"( "x\"y\\")", "[x\"y\\]\n"},
      {"a value in quotes",
       {R"(-DVERSION="1.0")"},
       R"( "-DVERSION=\"1.0\"")",
       "[-DVERSION=\"1.0\"]\n"},
  };
  for (const Row& row : rows) {
    std::vector<std::string> words = {"argv"};
    words.insert(words.end(), row.words.begin(), row.words.end());
    RunResult result = runExec({"-debug"}, words);
    std::string line = "\"" + tool() + "\" \"argv\"" + row.line;
    EXPECT_EQ(result.status, 1) << row.name;
    EXPECT_EQ(withoutStdoutPrefixes(result.out),
              textMode("cmd = [" + line + "]\n[argv]\n" + row.seen + kNoTotals))
        << row.name;
    EXPECT_EQ(result.err, "") << row.name;
  }
}

TEST_F(ConformanceExecTest, ManyWordsReachTheTool) {
  std::vector<std::string> words = {"argv"};
  std::string seen = "[argv]\n";
  for (int n = 0; n < 300; ++n) {
    words.push_back("word " + std::to_string(n) + "\\");
    seen += "[" + words.back() + "]\n";
  }
  RunResult result = runExec({}, words);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, textMode(seen + kNoTotals));
}

TEST_F(ConformanceExecTest, LogSwitchesUnderDebug) {
  struct Row {
    const char* name;
    std::vector<std::string> words;
    std::string before;  // what comes before the command line
    std::string after;   // what comes after it
    int status;
  };
  const std::string built = "logline:I00020110: built";
  const Row rows[] = {
      {"-o last", {"-o"}, kWarning, kNoTotals, 1},
      {"-oa last", {"-oa"}, kWarning, kNoTotals, 1},
      {"a switch names a switch", {"-o", "-o"}, "", "Processing -o...\n" + kNoTotals, 1},
      {"-oa then -o names -o", {"-oa", "-o"}, "", "Processing -o...\n" + kNoTotals, 1},
      {"switches are case-sensitive", {built, "-O", "x.log"}, "", kNoTotals, 1},
      {"switches are whole words", {built, "-ox", "x.log", "-o=x.log"}, "", kNoTotals, 1},
      {"an earlier log stays after the warning",
       {built, "-oa", "a.log", "-o"},
       kWarning,
       "Processing a.log...\n" + summary(1, 0, 0, 0, 0),
       0},
      {"the last log wins",
       {built, "-o", "a.log", "-oa", "b.log"},
       "",
       "Processing b.log...\n" + summary(1, 0, 0, 0, 0),
       0},
  };
  for (const Row& row : rows) {
    RunResult result = runExec({"-debug"}, row.words);
    EXPECT_EQ(result.status, row.status) << row.name;
    EXPECT_EQ(result.out, textMode(row.before + cmd(row.words) + row.after)) << row.name;
    EXPECT_EQ(result.err, "") << row.name;
  }
}

TEST_F(ConformanceExecTest, OutputComesInItsOrder) {
  writeFile("srv.log", "I00020110: built\nE5: broken\nW1: odd\n");
  const std::vector<std::string> logLines = {"logline:E7: late", "logline:I00060080: done"};
  struct Row {
    const char* name;
    std::vector<std::string> options;
    std::vector<std::string> words;
    std::string out;
    std::string err;
    int status;
  };
  std::vector<std::string> plain = {"err:careful", "serverlog:srv.log", "exit:3", "-o", "out.log"};
  std::vector<std::string> noEnd = {"eol:none", "serverlog:srv.log", "exit:3", "-o", "out.log"};
  std::vector<std::string> noLog = {"serverlog:srv.log", "exit:3", "-o", "none/out.log"};
  for (auto* words : {&plain, &noEnd})
    words->insert(words->begin(), logLines.begin(), logLines.end());
  const std::string totals = summary(1, 2, 0, 1, 1) + "2 failures detected\n";
  const Row rows[] = {
      {"plain",
       {},
       plain,
       "See server log file srv.log for details\nProcessing srv.log...\nE5: broken\nW1: odd\n"
       "exit code 3 ignored\nProcessing out.log...\nE7: late\n" +
           totals,
       "careful\n",
       0},
      {"debug",
       {"-debug"},
       plain,
       cmd(plain) +
           "stdout: See server log file srv.log for details\nProcessing srv.log...\n"
           "failure: E5: broken\nunmatched: W1: odd\n"
           "exit code 3 ignored\nProcessing out.log...\nfailure: E7: late\n" +
           totals,
       "stderr: careful\n",
       0},
      {"the last piece has no line end",
       {},
       noEnd,
       "See server log file srv.log for details\nProcessing srv.log...\nE5: broken\nW1: odd\n"
       "exit code 3 ignored\nProcessing out.log...\nE7: late\n" +
           totals,
       "",
       0},
      {"the -o log is missing",
       {},
       noLog,
       "See server log file srv.log for details\nProcessing srv.log...\nE5: broken\nW1: odd\n"
       "exit code 3 ignored\nProcessing none/out.log...\nFailed to open \"none/out.log\"\n",
       "",
       1},
  };
  for (const Row& row : rows) {
    RunResult result = runExec(row.options, row.words);
    EXPECT_EQ(result.status, row.status) << row.name;
    EXPECT_EQ(result.out, textMode(row.out)) << row.name;
    EXPECT_EQ(result.err, textMode(row.err)) << row.name;
  }
}

TEST_F(ConformanceExecTest, OneReadMakesOnePiece) {
  // Each text is written by one write, so it arrives in one read.
  struct Row {
    std::string written;  // as the tool's out: word spells it
    std::string echoed;   // what -debug shows for it
    // What Windows shows, when it differs from echoed in text mode: the
    // tool's own CR LF stays one CR LF there.
    std::string windowsEchoed = "";
  };
  const Row rows[] = {
      {"a\\nb\\n", "stdout: a\nb\n"},
      {"a\\r\\nb\\r\\n", "stdout: a\r\nb\n", "stdout: a\r\nb\r\n"},
      {"a\\n\\n", "stdout: a\n\n"},
      {"a\\n\\r", "stdout: a\n"},
      {"a\\r\\n", "stdout: a\n"},
      {"a\\r\\r", "stdout: a\r\n"},
      {"a\\rb\\r", "stdout: a\rb\n"},
      {"a\\nb", "stdout: a\nstdout: b\n"},
      {"\\n", "stdout: \n"},
      {"\\r\\n", "stdout: \n"},
      {"\\n\\nb\\n", "stdout: \n\nb\n"},
      {"a\\0b", std::string("stdout: a\0b\n", 12)},
      {"a\\0b\\nc\\n", std::string("stdout: a\0b\nc\n", 14)},
  };
  for (const Row& row : rows) {
    std::vector<std::string> words = {"eol:none", "out:" + row.written};
    RunResult result = runExec({"-debug"}, words);
    std::string echoed =
        windowsTarget() && !row.windowsEchoed.empty() ? row.windowsEchoed : textMode(row.echoed);
    EXPECT_EQ(result.out, textMode(cmd(words)) + echoed + textMode(kNoTotals)) << row.written;
    EXPECT_EQ(result.err, "") << row.written;
  }
  std::vector<std::string> words = {"eol:none", "err:a\\nb\\n", "err:c"};
  RunResult result = runExec({"-debug"}, words);
  EXPECT_EQ(result.out, textMode(cmd(words) + kNoTotals));
  EXPECT_EQ(result.err, textMode("stderr: a\nb\nstderr: c\n"));
}

TEST_F(ConformanceExecTest, APieceIsMatchedAsAWhole) {
  writeFile("srv.log", "I00020110: built\n");
  const std::string a = "See server log file a.log for details";
  const std::string b = "See server log file b.log for details";
  const std::string srv = "See server log file srv.log for details";
  struct Row {
    const char* name;
    std::string written;
    std::string out;
    int status;
  };
  const Row rows[] = {
      // The any-character item also takes line breaks: one match, spanning.
      {"two names in one piece", a + "\\n" + b + "\\n",
       a + "\n" + b + "\nProcessing a.log for details\nSee server log file b.log...\n" +
           "Failed to open \"a.log for details\nSee server log file b.log\"\n",
       1},
      {"a line after the name", srv + "\\nmore\\n",
       srv + "\nmore\nProcessing srv.log...\n" + summary(1, 0, 0, 0, 0), 0},
      {"a line before the name", "first\\n" + srv + "\\n",
       "first\n" + srv + "\nProcessing srv.log...\n" + summary(1, 0, 0, 0, 0), 0},
  };
  for (const Row& row : rows) {
    RunResult result = runExec({}, {"eol:none", "out:" + row.written});
    EXPECT_EQ(result.status, row.status) << row.name;
    EXPECT_EQ(result.out, textMode(row.out)) << row.name;
  }
}

TEST_F(ConformanceExecTest, TheServerLogRuleComesFromTheConfiguration) {
  writeFile("srv.log", "I00020110: built\nE5: broken\n");
  const std::string analysed =
      "Processing srv.log...\nE5: broken\n" + summary(1, 1, 0, 0, 0) + "1 failures detected\n";
  const std::string builtIn = "See server log file srv.log for details";
  struct Row {
    const char* name;
    std::string logfile;  // elements added to kRules
    std::vector<std::string> words;
    std::string out;
    int status;
  };
  const Row rows[] = {
      {"no logfile element", "", {"serverlog:srv.log"}, builtIn + "\n" + kNoTotals, 1},
      {"its own pattern",
       "<logfile>^LOG (.+)$</logfile>",
       {"out:LOG srv.log"},
       "LOG srv.log\n" + analysed,
       0},
      {"the built-in sentence is not it",
       "<logfile>^LOG (.+)$</logfile>",
       {"serverlog:srv.log"},
       builtIn + "\n" + kNoTotals,
       1},
      {"the first logfile element wins",
       "<logfile>^LOG (.+)$</logfile><logfile>^OTHER (.+)$</logfile>",
       {"out:OTHER srv.log"},
       "OTHER srv.log\n" + kNoTotals,
       1},
      {"an empty logfile element",
       "<logfile/>",
       {"out:LOG srv.log", "serverlog:srv.log"},
       "LOG srv.log\n" + builtIn + "\n" + kNoTotals,
       1},
      {"a logfile element without text",
       "<logfile><!-- none --></logfile>",
       {"serverlog:srv.log"},
       builtIn + "\n" + kNoTotals,
       1},
      {"a pattern without a group names the empty path",
       "<logfile>^named</logfile>",
       {"out:named here"},
       "named here\nProcessing ...\nFailed to open \"\"\n",
       1},
  };
  for (const Row& row : rows) {
    writeFile("rules.xml", inRoot(std::string(kRules) + row.logfile + "\n"));
    RunResult result = runExec({"-cfg", "rules.xml"}, row.words);
    EXPECT_EQ(result.status, row.status) << row.name;
    EXPECT_EQ(result.out, textMode(row.out)) << row.name;
    EXPECT_EQ(result.err, "") << row.name;
  }
}

TEST_F(ConformanceExecTest, TheServerLogPatternIsCompiledInExecModeOnlyAndLast) {
  writeFile("build.log", "I00020110: built\n");
  struct Row {
    const char* name;
    std::string children;
    bool exec;
    std::string out;
    int status;
  };
  const Row rows[] = {
      {"log mode never compiles it", std::string(kRules) + "<logfile>(</logfile>\n", false,
       "Processing build.log...\n" + summary(1, 0, 0, 0, 0), 0},
      {"exec mode does, before the tool runs", std::string(kRules) + "<logfile>(</logfile>\n", true,
       "Failed to compile regexp \"(\"\n", 1},
      {"after every other rule",
       "<logfile>(</logfile>\n<list file=\"x.lst\">a)</list>\n<success>^I00020110:</success>\n",
       true, "Failed to compile regexp \"a)\"\n", 1},
  };
  for (const Row& row : rows) {
    writeFile("rules.xml", inRoot(row.children));
    RunResult result = row.exec ? runExec({"-cfg", "rules.xml"}, {"out:ran"})
                                : run({"-cfg", "rules.xml", "-log", "build.log"});
    EXPECT_EQ(result.status, row.status) << row.name;
    EXPECT_EQ(result.out, textMode(row.out)) << row.name;
  }
}

TEST_F(ConformanceExecTest, TheRulesAreReadyBeforeAMissingCommandIsNoticed) {
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

TEST_F(ConformanceExecTest, SanitizeRewritesEveryWordAndOnlyBeforeExec) {
  makeFolder("sub");
  struct Row {
    const char* name;
    std::vector<std::string> args;
    std::string out;
    int status;
  };
  const Row rows[] = {
      {"the tool's own name, as the command line shows",
       {"-debug", "-sanitize", "-exec", "no\\\\such\\\\\\tool"},
       "cmd = [\"no\\such\\\\tool\"]\n"
       "ERROR: Execute - Couldn't create process, \"no\\such\\\\tool\"\n"
       "ERROR: Failed to start '\"no\\such\\\\tool\"': " +
           noSuchProgramText() + "\n",
       1},
      {"after -exec it is the tool's word",
       {"-exec", tool(), "argv", "-sanitize", "a\\\\b"},
       "[argv]\n[-sanitize]\n[a\\\\b]\n" + kNoTotals,
       1},
      {"a quote reaches the tool with the rewritten backslashes",
       {"-sanitize", "-exec", tool(), "argv", "a\\\\\\\\\"b\""},
       "[argv]\n[a\\\\\"b\"]\n" + kNoTotals,
       1},
      {"the log path is the rewritten word",
       {"-sanitize", "-exec", tool(), "logline:I00020110: built", "-o", "sub\\\\out.log"},
       "Processing sub\\out.log...\n" + summary(1, 0, 0, 0, 0),
       0},
  };
  for (const Row& row : rows) {
    RunResult result = run(row.args);
    EXPECT_EQ(result.status, row.status) << row.name;
    EXPECT_EQ(result.out, textMode(row.out)) << row.name;
  }
}

TEST_F(ConformanceExecTest, OnlyAnOptionItselfRequestsExecMode) {
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

TEST_F(ConformanceExecTest, AToolThatDoesNotStartAfterTheWarning) {
  struct Row {
    std::vector<std::string> args;
    std::string out;
  };
  const std::string failed = "ERROR: Execute - Couldn't create process, ";
  const std::string notFound = noSuchProgramText();
  const Row rows[] = {
      {{"-exec", "-o"},
       kWarning + failed + "\"-o\"\nERROR: Failed to start '\"-o\"': " + notFound + "\n"},
      {{"-debug", "-exec", "-oa"},
       kWarning + std::string("cmd = [\"-oa\"]\n") + failed +
           "\"-oa\"\nERROR: Failed to start '\"-oa\"': " + notFound + "\n"},
      // The program name takes no escapes: one with a quote goes as written.
      {{"-exec", "no-such-tool \"x\"", "y\\"},
       failed +
           "no-such-tool \"x\" \"y\\\\\"\nERROR: Failed to start 'no-such-tool \"x\" \"y\\\\\"': " +
           notFound + "\n"},
  };
  for (const Row& row : rows) {
    RunResult result = run(row.args);
    EXPECT_EQ(result.status, 1) << row.args.back();
    EXPECT_EQ(result.out, textMode(row.out)) << row.args.back();
    EXPECT_EQ(result.err, "") << row.args.back();
  }
}

TEST_F(ConformanceExecTest, TheLogsAloneJudgeTheRun) {
  struct Row {
    const char* name;
    std::vector<std::string> words;
    std::string out;
    int status;
  };
  const Row rows[] = {
      {"only failures and unmatched lines",
       {"logline:E1: bad", "logline:W2: odd", "-o", "out.log"},
       "Processing out.log...\nE1: bad\nW2: odd\n" + summary(0, 1, 0, 0, 1) + kNothing,
       1},
      {"a summary line is enough",
       {"logline:I00060080: done", "-o", "out.log", "exit:1"},
       "exit code 1 ignored\nProcessing out.log...\n" + summary(0, 0, 0, 1, 0),
       0},
      {"the tool's own output is not analysed",
       {"out:I00020110: built", "err:I00060080: done"},
       "I00020110: built\n" + kNoTotals,
       1},
      // The low 32 bits, read as a signed number; POSIX keeps only 8 of them.
      {"the highest bit of the exit code",
       {"logline:I00020110: built", "-o", "out.log", "exit:-2147483648"},
       std::string(windowsTarget() ? "exit code -2147483648 ignored\n" : "") +
           "Processing out.log...\n" + summary(1, 0, 0, 0, 0),
       0},
  };
  for (const Row& row : rows) {
    RunResult result = runExec({}, row.words);
    EXPECT_EQ(result.status, row.status) << row.name;
    EXPECT_EQ(result.out, textMode(row.out)) << row.name;
  }
}

TEST_F(ConformanceExecTest, CopyRulesGiveTheLongSummary) {
  writeFile("rules.xml", inRoot(std::string(kRules) + "<copy dst=\".\">^C (.+)$</copy>\n" +
                                "<logfile>^LOG (.+)$</logfile>\n"));
  writeFile("srv.log", "I00020110: built\nC x\n");
  RunResult result = runExec({"-cfg", "rules.xml"}, {"out:LOG srv.log"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("LOG srv.log\nProcessing srv.log...\nC x\n" +
                                 summary(1, 0, 0, 0, 1) + "copied:    0\ncopy fail: 0\n"));
}

}  // namespace
