// Exec mode end to end: the watched tool (tools/watched_tool) is run, its
// output echoed live, its logs analysed, its exit code reported.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "e2e_support.h"

namespace {

/// The lines of text, each without its line end, which must be the target's
/// text line end (on Windows exactly CR LF; elsewhere LF, or CR LF where the
/// tool wrote it inside a piece). Adds a failure for any other, for a CR
/// doubled anywhere, and for text after the last line end.
std::vector<std::string> linesOf(const std::string& text, bool windows) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = text.substr(start, end - start);
    bool cr = !line.empty() && line.back() == '\r';
    if (cr) line.pop_back();
    EXPECT_TRUE(cr || !windows) << "a line end without its CR after \"" << line << "\"";
    EXPECT_EQ(line.find('\r'), std::string::npos) << "a stray CR in \"" << line << "\"";
    lines.push_back(line);
  }
  EXPECT_EQ(start, text.size()) << "text after the last line end";
  return lines;
}

using ExecTest = E2ETest;

TEST_F(ExecTest, TheCommandStartsAfterExec) {
  struct Row {
    std::vector<std::string> args;
    std::string out;
  };
  const Row rows[] = {
      {{"-exec"}, usageText("Insufficient arguments")},
      {{"-debug", "-exec"}, usageText("-exec requires a command to run")},
      {{"-sanitize", "-exec"}, usageText("-exec requires a command to run")},
      {{"-log", "a.log", "-exec"}, usageText("-exec requires a command to run")},
      {{"-exec", "-exec"},
       "ERROR: Execute - Couldn't create process, \"-exec\"\n"
       "ERROR: Failed to start '\"-exec\"': " +
           noSuchProgramText() + "\n"},
  };
  for (const Row& row : rows) {
    RunResult result = run(row.args);
    EXPECT_EQ(result.status, 1) << row.args.back();
    EXPECT_EQ(result.out, textMode(row.out)) << row.args.back();
    EXPECT_EQ(result.err, "");
  }
}

TEST_F(ExecTest, WordsAfterExecAreTheTools) {
  RunResult result = runExec({}, {"argv", "-debug", "-nopurge", "-log", "a.log", "-Dx"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            textMode("[argv]\n[-debug]\n[-nopurge]\n[-log]\n[a.log]\n[-Dx]\n" + kNoTotals));

  // -log before -exec has no effect: a.log does not exist and is never read.
  result = runExec({"-log", "a.log"}, {"logline:I00020110: built", "-o", "out.log"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("Processing out.log...\n" + summary(1, 0, 0, 0, 0)));

  // Scan mode wins: the tool is not run.
  writeFile("x.log", "E1: broken\n");
  result = run({"-scan", "x.log", "-exec", tool(), "out:never"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("Scanning x.log...\nE1\t1\n"));
}

TEST_F(ExecTest, EchoesBothStreams) {
  std::string lines;
  for (int n = 1; n <= 5000; ++n) lines += "line " + std::to_string(n) + "\n";
  struct Row {
    const char* name;
    std::vector<std::string> options;
    std::vector<std::string> words;
    std::string out;  // before the totals
    std::string err;
    // What Windows shows instead, when it differs from out and err in text
    // mode: the tool's own CR LF stays one CR LF there.
    std::string windowsOut = "";
    std::string windowsErr = "";
  };
  const Row rows[] = {
      {"both streams",
       {},
       {"out:one", "err:two", "out:three", "err:four"},
       "one\nthree\n",
       "two\nfour\n"},
      {"debug prefixes",
       {"-debug"},
       {"out:one", "err:two"},
       "cmd = [" + quoted({"out:one", "err:two"}) + "]\nstdout: one\n",
       "stderr: two\n"},
      {"empty lines", {}, {"out:", "err:", "out:"}, "\n\n", "\n"},
      {"no line end at the end", {}, {"eol:none", "out:tail", "err:rest"}, "tail\n", "rest\n"},
      {"CR LF", {}, {"eol:crlf", "out:a", "err:b"}, "a\n", "b\n"},
      {"inner CR LF stays in one piece",
       {},
       {"eol:none", "out:a\\r\\nb\\r\\n", "err:c\\r\\nd\\r\\n"},
       "a\r\nb\n",
       "c\r\nd\n",
       "a\r\nb\r\n",
       "c\r\nd\r\n"},
      {"NUL bytes",
       {},
       {"out:a\\0b", "err:\\0c"},
       std::string("a\0b\n", 4),
       std::string("\0c\n", 3)},
      {"five thousand lines", {}, {"count:5000"}, lines, ""},
  };
  for (const Row& row : rows) {
    RunResult result = runExec(row.options, row.words);
    EXPECT_EQ(result.status, 1) << row.name;
    bool own = windowsTarget() && !row.windowsOut.empty();
    EXPECT_EQ(result.out, (own ? row.windowsOut : textMode(row.out)) + textMode(kNoTotals))
        << row.name;
    EXPECT_EQ(result.err, own ? row.windowsErr : textMode(row.err)) << row.name;
  }
}

TEST_F(ExecTest, ALineLongerThanTheBufferComesInPieces) {
  RunResult result = runExec({}, {"long:5000"});
  std::string echo = result.out.substr(0, result.out.find("success:"));
  std::vector<std::string> pieces;
  std::string piece;
  for (char c : echo) {
    if (c == '\n') {
      pieces.push_back(piece);
      piece.clear();
    } else if (c != '\r') {
      piece += c;
    }
  }
  ASSERT_GE(pieces.size(), 5u) << echo;
  size_t total = 0;
  for (size_t i = 0; i < pieces.size(); ++i) {
    EXPECT_EQ(pieces[i], std::string(pieces[i].size(), 'x'));
    EXPECT_LE(pieces[i].size(), 1024u);
    if (i + 1 < pieces.size()) {
      EXPECT_GT(pieces[i].size(), 896u);
    }
    total += pieces[i].size();
  }
  EXPECT_EQ(total, 5000u);
}

TEST_F(ExecTest, TheToolGetsEachWordAsItWas) {
  const std::vector<std::string> words = {"with space",  "",          "tab\there",
                                          "back\\slash", "C:\\dir\\", "two\\\\"};
  std::vector<std::string> args = {"argv"};
  std::string seen = "[argv]\n";
  for (const std::string& word : words) {
    args.push_back(word);
    seen += "[" + word + "]\n";
  }
  // Words with double quotes reach the tool whole too, backslashes and all.
  for (const char* word : {R"(say "hi there")", R"(a\"b)", R"(-DVERSION="1.0")", R"(x"y)", R"(")",
                           R"(\\"\)", "\t\"\t", R"(echo "hello world"; echo second)"}) {
    args.push_back(word);
    seen += "[" + std::string(word) + "]\n";
  }
  args.push_back("-o");
  seen += "[-o]\n";
  RunResult result = runExec({}, args);
  EXPECT_EQ(result.out,
            textMode("WARNING: found -o/-oa switch, but no logfile give\n" + seen + kNoTotals));

  result = runExec({"-sanitize"}, {"argv", "a\\b", "a\\\\b", "a\\\\\\b", "a\\\\\\\\b", "end\\\\"});
  EXPECT_EQ(result.out,
            textMode("[argv]\n[a\\b]\n[a\\b]\n[a\\\\b]\n[a\\\\b]\n[end\\]\n" + kNoTotals));
}

TEST_F(ExecTest, TheLastLogSwitchNamesTheLogAnalysedAtTheEnd) {
  const std::string warning = "WARNING: found -o/-oa switch, but no logfile give\n";
  struct Row {
    const char* name;
    std::vector<std::string> words;
    std::string out;
    int status;
  };
  const Row rows[] = {
      {"-o",
       {"logline:I00020110: built", "logline:E3: broken", "-o", "out.log"},
       "Processing out.log...\nE3: broken\n" + summary(1, 1, 0, 0, 0) + "1 failures detected\n",
       0},
      {"-o then -oa",
       {"logline:I00020110: built", "-o", "a.log", "-oa", "b.log"},
       "Processing b.log...\n" + summary(1, 0, 0, 0, 0),
       0},
      {"-o last", {"out:ran", "-o"}, warning + "ran\n" + kNoTotals, 1},
      {"an earlier switch still counts",
       {"logline:I00020110: built", "-oa", "x.log", "-o"},
       warning + "Processing x.log...\n" + summary(1, 0, 0, 0, 0),
       0},
      {"the word after a switch is no switch",
       {"logline:I00020110: built", "-o", "-oa"},
       "Processing -oa...\n" + summary(1, 0, 0, 0, 0),
       0},
      {"a log the tool did not write",
       {"-o", "none/out.log"},
       "Processing none/out.log...\nFailed to open \"none/out.log\"\n",
       1},
  };
  for (const Row& row : rows) {
    RunResult result = runExec({}, row.words);
    EXPECT_EQ(result.status, row.status) << row.name;
    EXPECT_EQ(result.out, textMode(row.out)) << row.name;
  }
  EXPECT_EQ(readFile("a.log"), "I00020110: built\n");
}

TEST_F(ExecTest, ServerLogsAreAnalysedWhenNamed) {
  writeFile("srv.log", "I00020110: built\nE5: broken\n");
  const std::string named = "See server log file srv.log for details";
  const std::string analysed = "Processing srv.log...\nE5: broken\n";
  const std::string totals = summary(1, 1, 0, 0, 0) + "1 failures detected\n";
  struct Row {
    const char* name;
    std::vector<std::string> words;
    std::string out;
    std::string err;
    int status;
  };
  const Row rows[] = {
      {"named on stdout",
       {"out:first", "serverlog:srv.log"},
       "first\n" + named + "\n" + analysed + totals,
       "",
       0},
      {"named on stderr", {"err:" + named}, kNoTotals, named + "\n", 1},
      {"text behind a NUL is not matched",
       {"out:junk\\0" + named},
       "junk" + std::string(1, '\0') + named + "\n" + kNoTotals,
       "",
       1},
      {"text before a NUL is",
       {"out:" + named + "\\0junk"},
       named + std::string(1, '\0') + "junk\n" + analysed + totals,
       "",
       0},
      {"a missing server log ends the run",
       {"serverlog:missing.log"},
       "See server log file missing.log for details\nProcessing missing.log...\n"
       "Failed to open \"missing.log\"\n",
       "",
       1},
  };
  for (const Row& row : rows) {
    RunResult result = runExec({}, row.words);
    EXPECT_EQ(result.status, row.status) << row.name;
    EXPECT_EQ(result.out, textMode(row.out)) << row.name;
    EXPECT_EQ(result.err, textMode(row.err)) << row.name;
  }
}

TEST_F(ExecTest, ServerLogsAndTheToolsLogAreReadPastAControlZByte) {
  writeFile("srv.log", "E1: a\x1a\n\x1a\nE2: b\n");
  // -oa appends the tool's (empty) log lines: the file stays as written here.
  writeFile("tool.log", "E3: c\x1a\r\nI00020110: built\r\n");
  RunResult result = runExec({}, {"serverlog:srv.log", "-oa", "tool.log"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("See server log file srv.log for details\n"
                                 "Processing srv.log...\nE1: a\x1a\n\x1a\nE2: b\n"
                                 "Processing tool.log...\nE3: c\x1a\n" +
                                 summary(1, 3, 0, 0, 1) + "3 failures detected\n"));
  EXPECT_EQ(result.err, "");
}

TEST_F(ExecTest, LogsWithAByteOrderMarkAreDecoded) {
  writeFile("srv.log", utf16WithMark(u"E1: server\r\nI00020110: built\r\n"));
  writeFile("tool.log",
            "\xEF\xBB\xBF"
            "E2: tool\n");
  RunResult result = runExec({}, {"serverlog:srv.log", "-oa", "tool.log"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("See server log file srv.log for details\n"
                                 "Processing srv.log...\nE1: server\n"
                                 "Processing tool.log...\nE2: tool\n" +
                                 summary(1, 2, 0, 0, 0) + "2 failures detected\n"));
}

TEST_F(ExecTest, AServerLogIsReadBeforeTheToolGoesOn) {
  // The tool serves the log through a named pipe and waits until it has been
  // read, so what it prints next comes after the analysis; named twice, the
  // log is analysed twice, and the -o log comes last.
  std::string pipe =
      windowsTarget() ? "\\\\.\\pipe\\" + folder_.substr(folder_.rfind('/') + 1) : "served.log";
  const std::string named =
      "See server log file " + pipe + " for details\nProcessing " + pipe + "...\n";
  RunResult result =
      runExec({}, {"logline:I00020110: built", "serve:" + pipe, "out:between", "logline:E6: broken",
                   "serve:" + pipe, "out:after", "-o", "out.log"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode(named + "between\n" + named + "E6: broken\nafter\n" +
                                 "Processing out.log...\nE6: broken\n" + summary(3, 2, 0, 0, 0) +
                                 "2 failures detected\n"));
  EXPECT_EQ(result.err, "");
}

TEST_F(ExecTest, AServerLogThatDoesNotOpenEndsTheRunWhileStderrIsEchoed) {
  // The fatal path is taken on the stdout reader (after about 1 MB) while
  // the stderr reader is busy with the tool's flood (far longer, so that it
  // is still going whichever reader is faster): the run ends with the
  // message last on stdout and status 1, and stderr holds the flood's
  // start, unaltered.
  RunResult result = runExec({}, {"flood:64000000:10000:nofolder/srv"});
  const std::string named = "See server log file nofolder/srv1.log for details\n";
  const std::string failed =
      "Processing nofolder/srv1.log...\nFailed to open \"nofolder/srv1.log\"\n";
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find(textMode(named)), std::string::npos);
  ASSERT_GE(result.out.size(), textMode(failed).size());
  EXPECT_EQ(result.out.substr(result.out.size() - textMode(failed).size()), textMode(failed));
  std::string flood;
  for (int line = 1; flood.size() < result.err.size(); ++line) {
    std::string text =
        "err " + std::string(9 - std::to_string(line).size(), '0') + std::to_string(line) + " ";
    flood += textMode(text + std::string(99 - text.size(), '.') + "\n");
  }
  EXPECT_TRUE(flood.compare(0, result.err.size(), result.err) == 0)
      << "stderr is no start of the tool's: " << result.err.substr(0, 300);
}

TEST_F(ExecTest, TheExitCodeIsReportedAndIgnored) {
  struct Row {
    const char* name;
    std::string ending;
    std::string reported;
  };
  const Row rows[] = {
      {"zero", "exit:0", ""},
      {"three", "exit:3", "exit code 3 ignored\n"},
      // Windows keeps all 32 bits; POSIX keeps the low 8.
      {"negative", "exit:-2",
       windowsTarget() ? "exit code -2 ignored\n" : "exit code 254 ignored\n"},
      // POSIX reports 128 + the signal; Windows' runtime exits with 3.
      {"killed", "raise:term",
       windowsTarget() ? "exit code 3 ignored\n" : "exit code 143 ignored\n"},
  };
  for (const Row& row : rows) {
    RunResult result =
        runExec({}, {"out:working", "logline:I00020110: built", "-o", "out.log", row.ending});
    EXPECT_EQ(result.status, 0) << row.name;
    EXPECT_EQ(result.out, textMode("working\n" + row.reported + "Processing out.log...\n" +
                                   summary(1, 0, 0, 0, 0)))
        << row.name;
  }
}

TEST_F(ExecTest, AToolThatDoesNotStartEndsTheRun) {
  writeFile("plain.txt", "not a program\n");
  struct Row {
    std::vector<std::string> args;
    std::string commandLine;
    bool debug;
    std::string reason;  // the system's, after the command line
  };
  const std::string notFound = noSuchProgramText();
  // POSIX refuses a file without execute permission and a folder alike;
  // the Windows texts are Wine's, which leaves the system's %1 as it is.
  const std::string notProgram = windowsTarget() ? "Bad EXE format for %1." : "Permission denied";
  const std::string folder = windowsTarget() ? "Access denied." : "Permission denied";
  const Row rows[] = {
      {{"-exec", "no-such-tool-here", "a b"}, "\"no-such-tool-here\" \"a b\"", false, notFound},
      {{"-debug", "-exec", "no-such-tool-here"}, "\"no-such-tool-here\"", true, notFound},
      {{"-exec", targetPath("plain.txt")},
       "\"" + targetPath("plain.txt") + "\"",
       false,
       notProgram},
      {{"-exec", targetPath("")}, "\"" + targetPath("") + "\"", false, folder},
      {{"-exec", ""}, "\"\"", false, windowsTarget() ? "Invalid parameter." : notFound},
  };
  for (const Row& row : rows) {
    RunResult result = run(row.args);
    EXPECT_EQ(result.status, 1) << row.commandLine;
    EXPECT_EQ(result.out,
              textMode((row.debug ? "cmd = [" + row.commandLine + "]\n" : std::string()) +
                       "ERROR: Execute - Couldn't create process, " + row.commandLine +
                       "\nERROR: Failed to start '" + row.commandLine + "'" +
                       (row.reason.empty() ? "" : ": " + row.reason) + "\n"))
        << row.commandLine;
    EXPECT_EQ(result.err, "");
  }
}

TEST_F(ExecTest, TheToolsInputIsAtItsEnd) {
  RunResult result = runExec({}, {"stdin"}, "meant for tarnwick, not for the tool\n");
  EXPECT_EQ(result.out, textMode("stdin: 0 bytes\n" + kNoTotals));
}

TEST_F(ExecTest, ADescendantHoldingTheOutputKeepsTheRunGoing) {
  RunResult result = runExec({}, {"out:parent", "spawn:300:late", "exit:4"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, textMode("parent\nlate\nexit code 4 ignored\n" + kNoTotals));
}

TEST_F(ExecTest, TheEchoIsWrittenAtOnceEvenIntoAFile) {
  // tarnwick writes into echo.txt; the tool goes on only once what it wrote
  // has arrived there (after a minute it says that it has not).
  RunResult result = runTool(
      "watched_tool", {"launch", "echo.txt", programPath(), "-exec", tool(), "out:first",
                       "await:echo.txt:first", "err:second", "await:echo.txt:second", "out:third"});
  EXPECT_EQ(result.out, "status 1\n");
  EXPECT_EQ(readFile("echo.txt"), textMode("first\nsecond\nthird\n" + kNoTotals));
}

TEST_F(ExecTest, ACrLfTheToolWroteComesOutAsOneCrLf) {
  // Written in bulk, the lines reach tarnwick many to a read, and now and
  // then a read ends between a CR and its LF.
  const int kLines = 5000;
  RunResult result = runExec({}, {"eol:crlf", "both:" + std::to_string(kLines)});
  EXPECT_EQ(result.status, 1);
  const std::string totals = textMode(kNoTotals);
  ASSERT_GE(result.out.size(), totals.size());
  ASSERT_EQ(result.out.substr(result.out.size() - totals.size()), totals);
  std::vector<std::string> out =
      linesOf(result.out.substr(0, result.out.size() - totals.size()), windowsTarget());
  std::vector<std::string> err = linesOf(result.err, windowsTarget());
  ASSERT_EQ(out.size(), static_cast<size_t>(kLines));
  ASSERT_EQ(err.size(), static_cast<size_t>(kLines));
  for (int n = 1; n <= kLines; ++n) {
    ASSERT_EQ(out[n - 1], "OUT " + std::to_string(n));
    ASSERT_EQ(err[n - 1], "ERR " + std::to_string(n));
  }

  // A lone CR (a progress line) passes as it is.
  result = runExec({}, {"eol:none", "out:50%\\r60%\\r\\n", "err:a\\rb\\n"});
  EXPECT_EQ(result.out, textMode("50%\r60%\n" + kNoTotals));
  EXPECT_EQ(result.err, textMode("a\rb\n"));
}

TEST_F(ExecTest, JoinedStreamsNeverGlueLines) {
  // Under 2>&1 both echoes share one pipe: a piece, its prefix and its line
  // end go in one write, so the other stream only comes between lines. A
  // piece may hold several lines; under -debug only its first has a prefix.
  const int kLines = 10000;
  for (bool debug : {false, true}) {
    std::vector<std::string> args = {"-exec", tool(), "both:" + std::to_string(kLines)};
    if (debug) args.insert(args.begin(), "-debug");
    RunResult result = runJoined(args);
    EXPECT_EQ(result.status, 1);
    int out = 0, err = 0;
    for (std::string line : linesOf(result.out, windowsTarget())) {
      if (out + err == 2 * kLines) break;
      if (debug && line.rfind("cmd = [", 0) == 0) continue;
      bool fromOut = line.rfind("stdout: ", 0) == 0;
      bool fromErr = line.rfind("stderr: ", 0) == 0;
      EXPECT_TRUE(debug || !(fromOut || fromErr)) << line;
      if (fromOut || fromErr) line.erase(0, 8);
      if (!fromErr && line == "OUT " + std::to_string(out + 1)) {
        ++out;
      } else if (!fromOut && line == "ERR " + std::to_string(err + 1)) {
        ++err;
      } else {
        ADD_FAILURE() << "after OUT " << out << " and ERR " << err << ": \"" << line << "\"";
        break;
      }
    }
    EXPECT_EQ(out, kLines) << debug;
    EXPECT_EQ(err, kLines) << debug;
  }
}

class LeftHelperTest : public ExecTest {
 protected:
  // The tool leaves a helper behind that runs until it is released (or a
  // minute has passed) and then notes that it is done. The helper holds none
  // of the tool's pipes but whatever else the tool could hand down: given
  // tarnwick's own output, it would keep it open, and tarnwick's output
  // would end only when the helper did.
  const std::vector<std::string> args_ = {
      "-exec", tool(), "out:started", "detach", "await:release:go", "note:helper.txt:done"};

  void expectEndedBeforeTheHelper(const RunResult& result) {
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, textMode("started\n" + kNoTotals));
    EXPECT_FALSE(exists("helper.txt")) << "the output ended only once the helper had";
    writeFile("release", "go");
    for (int waited = 0; !exists("helper.txt") && waited < 120000; waited += 20) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(readFile("helper.txt"), "done\n");
  }
};

TEST_F(LeftHelperTest, AHelperLeftRunningDoesNotHoldTheOutputOpen) {
  expectEndedBeforeTheHelper(runWithoutStderr(args_));
}

TEST_F(LeftHelperTest, AHelperLeftRunningDoesNotHoldStderrOpen) {
  SKIP_ON_WINDOWS(
      "Wine hands its own Unix stderr (its debug output) down to every process it starts, "
      "whatever the handles say: the helper holds tarnwick's stderr there");
  expectEndedBeforeTheHelper(run(args_));
}

// Both streams at full speed under -classifyoutput: the stdout reader tries
// the server-log rule on each of its lines while the stderr reader
// classifies, and each stream's lines are each counted once.
std::string numbered(int count, const std::string& text) {
  std::string lines;
  for (int n = 1; n <= count; ++n) {
    std::string line = text;
    line.replace(line.find('#'), 1, std::to_string(n));
    lines += line + "\n";
  }
  return lines;
}

TEST_F(ExecTest, BothStreamsAreClassifiedAtFullSpeedWhileTheServerLogRuleIsTried) {
  const int lines = 20000;
  const std::string out = "Compiling module # of the Server build";
  const std::string err = "E00040012: Cannot resolve symbol #";
  const std::vector<std::string> words = {"errs:" + std::to_string(lines) + ":" + err,
                                          "outs:" + std::to_string(lines) + ":" + out,
                                          "out:I00020110: done"};
  const std::string echoed = numbered(lines, out) + "I00020110: done\n";
  const std::string totals =
      summary(1, lines, 0, 0, lines) + std::to_string(lines) + " failures detected\n";
  // A fault that loses a line or mixes the readers' matches up need not
  // show at every run.
  for (int round = 1; round <= 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    RunResult result = runExec({"-classifyoutput"}, words);
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.out == textMode(echoed + totals))
        << "ends with: "
        << result.out.substr(result.out.size() - std::min<size_t>(200, result.out.size()));
    EXPECT_TRUE(result.err == textMode(numbered(lines, err)))
        << "stderr of " << result.err.size() << " bytes";
  }
}

TEST_F(ExecTest, AServerLogNamedWhileStderrFloodsIsAnalysedThere) {
  // The tool serves each log through a named pipe and goes on once it has
  // been read, so the analysis comes right after the line that names it,
  // while the stderr reader classifies the flood.
  std::string pipe =
      windowsTarget() ? "\\\\.\\pipe\\" + folder_.substr(folder_.rfind('/') + 1) : "served.log";
  const int lines = 20000;
  const int logs = 5;
  const std::string err = "E00040012: Cannot resolve symbol #";
  const std::string compiling = "Compiling module # of the Server build";
  std::vector<std::string> words = {"errs:" + std::to_string(lines) + ":" + err,
                                    "logline:E1: server", "logline:I00020110: built"};
  std::string echoed;
  for (int log = 1; log <= logs; ++log) {
    words.push_back("outs:1000:" + compiling);
    words.push_back("serve:" + pipe);
    echoed += numbered(1000, compiling) + "See server log file " + pipe +
              " for details\nProcessing " + pipe + "...\nE1: server\n";
  }
  words.push_back("out:I00020110: done");
  echoed += "I00020110: done\n";
  // The stdout lines, the server logs' lines and the flood are each counted.
  const std::string totals = summary(logs + 1, lines + logs, 0, 0, 1000 * logs + logs) +
                             std::to_string(lines + logs) + " failures detected\n";
  RunResult result = runExec({"-classifyoutput"}, words);
  EXPECT_EQ(result.status, 0);
  EXPECT_TRUE(result.out == textMode(echoed + totals))
      << "ends with: "
      << result.out.substr(result.out.size() - std::min<size_t>(300, result.out.size()));
  EXPECT_TRUE(result.err == textMode(numbered(lines, err)))
      << "stderr of " << result.err.size() << " bytes";
}

// The copy and list actions of both streams at once: every entry listed,
// every copy made, every counter and report entry kept. The classifier
// holds the record's lock around each line's counters and actions; without
// it the two readers race on the listing file's count, the counters and the
// listeners, which ThreadSanitizer reports at once (a plain build shows it
// in some runs only).
TEST_F(ExecTest, ListingsAndCopiesOfBothStreamsAtOnceLoseNothing) {
  const int lines = 5000;
  const int every = 100;  // a line whose number ends in 00 also copies its file
  makeFolder("src");
  for (const char* stream : {"o", "e"}) {
    for (int n = every; n <= lines; n += every) {
      writeFile("src/" + std::string(stream) + std::to_string(n) + ".dll", stream);
    }
  }
  makeFolder("drop");
  writeFile("rules.xml", "<?xml version=\"1.0\"?>\n<tarnwick basedir=\"" + targetPath("src") +
                             "\">\n  <success>^I00020110:</success>\n"
                             "  <copy dst=\"" +
                             targetPath("drop") +
                             "\">^Built (.*00\\.dll)$</copy>\n"
                             "  <list file=\"built.lst\">^Built (.+)$</list>\n</tarnwick>\n");
  const std::string source = targetPath("src") + separator();
  const std::string out = "Built " + source + "o#.dll";
  const std::string err = "Built " + source + "e#.dll";
  // The tool reads a backslash as the start of an escape.
  auto escaped = [](std::string text) {
    for (size_t at = 0; (at = text.find('\\', at)) != std::string::npos; at += 2) {
      text.insert(at, 1, '\\');
    }
    return text;
  };
  RunResult result =
      runExec({"-cfg", "rules.xml", "-classifyoutput", "-json", "r.json"},
              {"errs:" + std::to_string(lines) + ":" + escaped(err),
               "outs:" + std::to_string(lines) + ":" + escaped(out), "out:I00020110: done"});
  const int copies = 2 * lines / every;
  EXPECT_EQ(result.status, 0) << result.out.substr(0, 300);
  EXPECT_TRUE(result.out == textMode(numbered(lines, out) + "I00020110: done\n" +
                                     copySummary(1, 0, 0, 0, 2 * lines, copies, 0)))
      << "ends with: "
      << result.out.substr(result.out.size() - std::min<size_t>(300, result.out.size()));

  // Each stream's entries in its own order, the two interleaved anyhow.
  std::vector<std::string> entries[2];
  std::string listed = exists("built.lst") ? readFile("built.lst") : "";
  for (size_t start = 0, end; (end = listed.find('\n', start)) != std::string::npos;
       start = end + 1) {
    std::string entry = listed.substr(start, end - start);
    if (!entry.empty() && entry.back() == '\r') entry.pop_back();
    entries[entry.compare(0, source.size() + 1, source + "e") == 0].push_back(entry);
  }
  const std::string wanted[2] = {numbered(lines, source + "o#.dll"),
                                 numbered(lines, source + "e#.dll")};
  for (int stream = 0; stream < 2; ++stream) {
    std::string got;
    for (const std::string& entry : entries[stream]) got += entry + "\n";
    EXPECT_TRUE(got == wanted[stream])
        << "stream " << stream << ": " << entries[stream].size() << " entries";
  }
  int copied = 0;
  for (const char* stream : {"o", "e"}) {
    for (int n = every; n <= lines; n += every) {
      std::string name = std::string(stream) + std::to_string(n) + ".dll";
      copied += exists("drop/" + name) && readFile("drop/" + name) == stream;
    }
  }
  EXPECT_EQ(copied, copies);
  std::string report = exists("r.json") ? readFile("r.json") : "";
  EXPECT_NE(report.find("\"entries\":" + std::to_string(2 * lines)), std::string::npos)
      << report.substr(0, 300);
}

const char kWarning[] = "WARNING: found -o/-oa switch, but no logfile give\n";

/// The rules most configured runs here share; the server-log rule is added
/// per test.
const char kRules[] =
    "  <success>^I00020110:</success>\n"
    "  <failure>^E[0-9]+:</failure>\n";

/// text without every "stdout: " in it: the echo under -debug whatever the
/// pieces were.
std::string withoutStdoutPrefixes(std::string text) {
  const std::string prefix = "stdout: ";
  for (size_t at = text.find(prefix); at != std::string::npos; at = text.find(prefix, at)) {
    text.erase(at, prefix.size());
  }
  return text;
}

TEST_F(ExecTest, EveryWordAfterExecBelongsToTheTool) {
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
    EXPECT_EQ(result.status, 1) << argsShown(args);
    EXPECT_EQ(result.out, textMode("[argv]\n" + row.echoed + summary(0, 0, 0, 0, 0) + kNothing))
        << argsShown(args);
    EXPECT_EQ(result.err, "") << argsShown(args);
  }
}

TEST_F(ExecTest, TheCommandLineAndTheWordsTheToolReceives) {
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

TEST_F(ExecTest, ManyWordsReachTheTool) {
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

TEST_F(ExecTest, LogSwitchesUnderDebug) {
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

TEST_F(ExecTest, OutputComesInItsOrder) {
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

TEST_F(ExecTest, OneReadMakesOnePiece) {
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

TEST_F(ExecTest, APieceIsMatchedAsAWhole) {
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

TEST_F(ExecTest, TheServerLogRuleComesFromTheConfiguration) {
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

TEST_F(ExecTest, TheServerLogPatternIsCompiledInExecModeOnlyAndLast) {
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

TEST_F(ExecTest, SanitizeRewritesEveryWordAndOnlyBeforeExec) {
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

TEST_F(ExecTest, AToolThatDoesNotStartAfterTheWarning) {
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

TEST_F(ExecTest, TheLogsAloneJudgeTheRun) {
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
       std::string(windowsTarget() ? "exit code -2147483648 (0x80000000) ignored\n" : "") +
           "Processing out.log...\n" + summary(1, 0, 0, 0, 0),
       0},
  };
  for (const Row& row : rows) {
    RunResult result = runExec({}, row.words);
    EXPECT_EQ(result.status, row.status) << row.name;
    EXPECT_EQ(result.out, textMode(row.out)) << row.name;
  }
}

TEST_F(ExecTest, CopyRulesGiveTheLongSummary) {
  writeFile("rules.xml", inRoot(std::string(kRules) + "<copy dst=\".\">^C (.+)$</copy>\n" +
                                "<logfile>^LOG (.+)$</logfile>\n"));
  writeFile("srv.log", "I00020110: built\nC x\n");
  RunResult result = runExec({"-cfg", "rules.xml"}, {"out:LOG srv.log"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("LOG srv.log\nProcessing srv.log...\nC x\n" +
                                 summary(1, 0, 0, 0, 1) + "copied:    0\ncopy fail: 0\n"));
}

TEST_F(ExecTest, NamesOutsideAsciiReachTheToolUnchanged) {
  RunResult result =
      runExec({}, {"argv", "\xce\xa9 \xe6\x97\xa5\xe6\x9c\xac", "d\xc3\xa9j\xc3\xa0"});
  EXPECT_EQ(
      result.out,
      textMode("[argv]\n[\xce\xa9 \xe6\x97\xa5\xe6\x9c\xac]\n[d\xc3\xa9j\xc3\xa0]\n" + kNoTotals));
}

}  // namespace

namespace {

// A stop request (Ctrl+C, a CI job's timeout, a closed terminal) ends the
// run as a fatal error does: the message, every report whole with status 1,
// no temporary or spool file left.
TEST_F(ExecTest, AStopSignalEndsTheRunWithItsReports) {
  SKIP_ON_WINDOWS("POSIX signals");
  struct Row {
    int signal;
    std::string message;
  };
  const Row rows[] = {
      {15, "ERROR: Interrupted by SIGTERM"},
      {2, "ERROR: Interrupted by SIGINT"},
      {1, "ERROR: Interrupted by SIGHUP"},
  };
  for (const Row& row : rows) {
    for (const char* name : {"r.json", "r.xml", "r.html"}) std::filesystem::remove(hostPath(name));
    // The tool outlives the signal by far: the run ends without waiting.
    RunResult result =
        runExec({"-json", "r.json", "-junit", "r.xml", "-html", "r.html", "-classifyoutput"},
                {"out:I00020110: ok", "out:E1: bad", "signalparent:" + std::to_string(row.signal),
                 "sleep:3000", "out:never"});
    EXPECT_EQ(result.status, 1) << row.message;
    // The tool's lines may still be on their way, and echoed, when the
    // signal lands: the message is a line of its own, once.
    std::string line = row.message + "\n";
    size_t at = result.out.find(line);
    ASSERT_NE(at, std::string::npos) << result.out;
    EXPECT_TRUE(at == 0 || result.out[at - 1] == '\n') << result.out;
    EXPECT_EQ(result.out.find(line, at + 1), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find("never"), std::string::npos) << result.out;
    std::string json = readFile("r.json");
    EXPECT_NE(json.find("\"status\":1,\"error\":\"" + row.message + "\""), std::string::npos)
        << json;
    std::string junit = readFile("r.xml");
    EXPECT_NE(junit.find("<failure message=\"" + row.message + "\" type=\"verdict\">"),
              std::string::npos)
        << junit;
    std::string page = readFile("r.html");
    EXPECT_EQ(page.substr(page.size() - 16), "</body>\n</html>\n") << row.message;
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
      std::string name = entry.path().filename().string();
      EXPECT_TRUE(name[0] != '.' && name.find(".tarnwick-") == std::string::npos) << name;
    }
  }
}

}  // namespace
