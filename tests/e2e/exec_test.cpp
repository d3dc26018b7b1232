// Exec mode end to end: the watched tool (tools/watched_tool) is run, its
// output echoed live, its logs analysed, its exit code reported.
#include <chrono>
#include <cstdlib>
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

TEST_F(ExecTest, NamesOutsideAsciiReachTheToolUnchanged) {
  RunResult result =
      runExec({}, {"argv", "\xce\xa9 \xe6\x97\xa5\xe6\x9c\xac", "d\xc3\xa9j\xc3\xa0"});
  EXPECT_EQ(
      result.out,
      textMode("[argv]\n[\xce\xa9 \xe6\x97\xa5\xe6\x9c\xac]\n[d\xc3\xa9j\xc3\xa0]\n" + kNoTotals));
}

}  // namespace
