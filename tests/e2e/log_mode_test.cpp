// Log mode with the built-in rules: the command line, classification, the
// summary and exit status, and how a log is cut into lines.
#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

using LogModeTest = E2ETest;

const char kSuccess[] = "I00020110: Build succeeded\n";

TEST_F(LogModeTest, CommandLineErrorsPrintTheUsage) {
  struct Row {
    std::vector<std::string> args;
    std::string message;
  };
  const Row rows[] = {
      {{}, "Insufficient arguments"},
      {{"-log"}, "Insufficient arguments"},
      {{"-debug"}, "Insufficient arguments"},
      {{"-debug", "-log"}, "-log requires a filename"},
      {{"-debug", "-scan"}, "-scan requires a filename"},
      {{"-debug", "-cfg"}, "-cfg requires a filename"},
      {{"-log", "a.log", "-log"}, "-log requires a filename"},
      {{"-cfg", "missing.xml", "-log"}, "-log requires a filename"},
      {{"-Dx", "-log", "a.log"}, "Argument must be of the form -Dname=value"},
      {{"-log", "a.log", "-Debug"}, "Argument must be of the form -Dname=value"},
      {{"-D", "x"}, "Argument must be of the form -Dname=value"},
      {{"a", "b"}, "Invalid mode"},
      {{"-verbose", "foo"}, "Invalid mode"},
      {{"-debug", "-nopurge", "-sanitize"}, "Invalid mode"},
      {{"-D=v", "-Da=b=c", "-Dempty="}, "Invalid mode"},
      {{"-LOG", "a.log"}, "Invalid mode"},
  };
  for (const Row& row : rows) {
    RunResult result = run(row.args);
    std::string shown;
    for (const std::string& arg : row.args) shown += " " + arg;
    EXPECT_EQ(result.status, 1) << shown;
    EXPECT_EQ(result.out, textMode(usageText(row.message))) << shown;
    EXPECT_EQ(result.err, "") << shown;
  }
}

TEST_F(LogModeTest, ALoneHelpOrVersionAnswersAndEndsWell) {
  struct Row {
    std::vector<std::string> args;
    std::string out;
    int status;
  };
  const Row rows[] = {
      {{"--version"}, "tarnwick 0.10\n", 0},
      // Anything else is a command line as before.
      {{"-help"}, usageText("Insufficient arguments"), 1},
      {{"--Version"}, usageText("Insufficient arguments"), 1},
      {{"--help", "--version"}, usageText("Invalid mode"), 1},
      {{"-debug", "--help"}, usageText("Invalid mode"), 1},
      {{"-log", "--version"}, "Processing --version...\nFailed to open \"--version\"\n", 1},
  };
  for (const Row& row : rows) {
    RunResult result = run(row.args);
    std::string shown;
    for (const std::string& arg : row.args) shown += " " + arg;
    EXPECT_EQ(result.status, row.status) << shown;
    EXPECT_EQ(result.out, textMode(row.out)) << shown;
    EXPECT_EQ(result.err, "") << shown;
  }
}

TEST_F(LogModeTest, HelpShowsTheUsageTextAndEveryOption) {
  RunResult result = run({"--help"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  const std::string usage = textMode(usageText(""));
  EXPECT_EQ(result.out.substr(0, usage.size()), usage);
  for (const char* option :
       {"-exec <cmd_to_run> [<arg1> ...]", "-log <logfile>", "-scan <logfile>", "-cfg <configfile>",
        "-Dname=value", "-nopurge", "-debug", "-sanitize", "-json <file>", "-junit <file>",
        "-html <file>", "-github", "-maxfailures <n>", "-maxunmatched <n>", "-toolstatus",
        "-classifyoutput", "--help", "--version"}) {
    EXPECT_NE(result.out.find(textMode(std::string("\n  ") + option + " ")), std::string::npos)
        << option;
  }
}

TEST_F(LogModeTest, ClassifiesEveryLineAndJudgesTheRun) {
  struct Row {
    const char* name;
    std::vector<std::string> options;
    std::string log;
    std::string printed;  // between "Processing" and the summary
    std::string totals;
    std::string after;  // after the summary
    int status;
  };
  const Row rows[] = {
      {"a mixed build",
       {},
       "I00010001: Starting build\n"
       "I00060040: Compiling a.c\n"
       "W00030017: Unused variable\n"
       "E00040012: Cannot open b.h\n"
       "I00020052: Packaged\n"
       "E7: Linker failed\n"
       "I00020110: Build succeeded\n"
       "I00060080: 2 errors, 1 warning\n"
       " I00060040: indented code is no code\n"
       "E: no digits\n",
       "I00010001: Starting build\nW00030017: Unused variable\nE00040012: Cannot open b.h\n"
       "E7: Linker failed\n I00060040: indented code is no code\nE: no digits\n",
       summary(2, 2, 1, 1, 4),
       "2 failures detected\n",
       0},
      {"debug prefixes",
       {"-debug"},
       "E1: broken\nplain text\nI00060080: done\n",
       "failure: E1: broken\nunmatched: plain text\n",
       summary(0, 1, 0, 1, 1),
       "1 failures detected\n",
       0},
      {"only failures and unmatched lines",
       {},
       "E1: broken\nsomething else\n",
       "E1: broken\nsomething else\n",
       summary(0, 1, 0, 0, 1),
       "ERROR: Nothing was processed\n",
       1},
      {"a summary line alone is enough",
       {},
       "I00060080: done\n",
       "",
       summary(0, 0, 0, 1, 0),
       "",
       0},
      {"only ignored lines",
       {},
       "I00060040: a\nI00060040: b\n",
       "",
       summary(0, 0, 2, 0, 0),
       "ERROR: Nothing was processed\n",
       1},
      {"an empty log", {}, "", "", summary(0, 0, 0, 0, 0), "ERROR: Nothing was processed\n", 1},
      {"codes count only at the line start",
       {},
       "x I00020110: not a success\nI00020110: yes\nE42 without colon\n",
       "x I00020110: not a success\nE42 without colon\n",
       summary(1, 0, 0, 0, 2),
       "",
       0},
      {"debug without listing files adds nothing at the end",
       {"-debug"},
       "I00020052: ok\n",
       "",
       summary(1, 0, 0, 0, 0),
       "",
       0},
  };
  for (const Row& row : rows) {
    writeFile("build.log", row.log);
    std::vector<std::string> args = row.options;
    args.push_back("-log");
    args.push_back("build.log");
    RunResult result = run(args);
    EXPECT_EQ(result.status, row.status) << row.name;
    EXPECT_EQ(result.out,
              textMode("Processing build.log...\n" + row.printed + row.totals + row.after))
        << row.name;
    EXPECT_EQ(result.err, "") << row.name;
  }
}

TEST_F(LogModeTest, TheLastLogOrScanOptionNamesTheFile) {
  writeFile("a.log", "E1: from a\n");
  writeFile("b.log", std::string(kSuccess) + "E2: from b\n");
  RunResult result = run({"-log", "a.log", "-log", "b.log"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("Processing b.log...\nE2: from b\n" + summary(1, 1, 0, 0, 0) +
                                 "1 failures detected\n"));

  // Scan mode wins over log mode and reads the shared slot's last value.
  result = run({"-scan", "a.log", "-log", "b.log"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("Scanning b.log...\nI00020110\t1\nE2\t1\n"));

  // The value of an option is taken whatever it looks like.
  result = run({"-log", "-debug"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, textMode("Processing -debug...\nFailed to open \"-debug\"\n"));
}

TEST_F(LogModeTest, AMissingLogEndsTheRun) {
  std::string missing = targetPath("no/such.log");
  RunResult result = run({"-log", missing});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            textMode("Processing " + missing + "...\nFailed to open \"" + missing + "\"\n"));
  EXPECT_EQ(result.err, "");
}

TEST_F(LogModeTest, LinesAreCutAtEveryRunOfLineEnds) {
  struct Row {
    const char* name;
    std::string log;
    std::string lines;  // as printed, one per line
  };
  const std::string x255(255, 'x'), y256(256, 'y'), z257(257, 'z'), w100k(100000, 'w');
  const Row rows[] = {
      {"CR LF, LF and runs of LF", "a\r\nb\n\n\nc", "a\nb\nc\n"},
      {"lone CR and LF CR", "a\rb\n\rc\r", "a\nb\nc\n"},
      {"only line ends", "\r\n\n\r\r\n", ""},
      {"line ends before the first line", "\n\n\ra\n", "a\n"},
      {"no line end at the end", "first\nlast", "first\nlast\n"},
      {"a NUL ends the line as text", std::string("ab\0cd\nef", 8), "ab\nef\n"},
      {"a NUL first gives an empty text", std::string("\0hidden\nshown", 13), "\nshown\n"},
      {"tabs and high bytes are content", "\ta\tb\n\xe9t\xe9\n", "\ta\tb\n\xe9t\xe9\n"},
      {"255, 256, 257 bytes", x255 + "\n" + y256 + "\r\n" + z257,
       x255 + "\n" + y256 + "\n" + z257 + "\n"},
      {"256 bytes at the end", x255 + "\n" + y256, x255 + "\n" + y256 + "\n"},
      {"a hundred thousand bytes", w100k + "\r" + w100k, w100k + "\n" + w100k + "\n"},
  };
  for (const Row& row : rows) {
    writeFile("split.log", std::string(kSuccess) + row.log);
    RunResult result = run({"-log", "split.log"});
    int lines = 0;
    for (char c : row.lines) lines += c == '\n';
    EXPECT_EQ(result.status, 0) << row.name;
    EXPECT_EQ(result.out,
              textMode("Processing split.log...\n" + row.lines + summary(1, 0, 0, 0, lines)))
        << row.name;
  }
}

TEST_F(LogModeTest, AControlZByteIsContentAndTheLogGoesOn) {
  // A text-mode read on Windows would end the file at the 0x1A byte.
  struct Row {
    const char* name;
    std::string log;
    std::string printed;
    std::string totals;
  };
  const Row rows[] = {
      {"mid-line, in a failure", "E1: before\nE2: mid\x1aline\nE3: after\n" + std::string(kSuccess),
       "E1: before\nE2: mid\x1aline\nE3: after\n",
       summary(1, 3, 0, 0, 0) + "3 failures detected\n"},
      {"on a line of its own", "E1: before\n\x1a\nE2: after\n" + std::string(kSuccess),
       "E1: before\n\x1a\nE2: after\n", summary(1, 2, 0, 0, 1) + "2 failures detected\n"},
      {"first on a line, before a code",
       "\x1aI00020110: no success\r\nE4: after\r\n" + std::string(kSuccess),
       "\x1aI00020110: no success\nE4: after\n", summary(1, 1, 0, 0, 1) + "1 failures detected\n"},
      {"twice, the last byte of the file", std::string(kSuccess) + "E5: end\x1a\x1a",
       "E5: end\x1a\x1a\n", summary(1, 1, 0, 0, 0) + "1 failures detected\n"},
  };
  for (const Row& row : rows) {
    writeFile("ctrlz.log", row.log);
    RunResult result = run({"-log", "ctrlz.log"});
    EXPECT_EQ(result.status, 0) << row.name;
    EXPECT_EQ(result.out, textMode("Processing ctrlz.log...\n" + row.printed + row.totals))
        << row.name;
    EXPECT_EQ(result.err, "") << row.name;
  }
}

TEST_F(LogModeTest, AByteOrderMarkIsNoPartOfTheFirstLine) {
  // What PowerShell, .NET and many Windows tools write: a UTF-8 mark, or
  // UTF-16 text (PowerShell 5's ">"), which is decoded to UTF-8.
  const std::string failure = "E00040012: Cannot open b.h\n";
  const std::string failed = summary(1, 1, 0, 0, 0) + "1 failures detected\n";
  const std::u16string text = u"E00040012: Cannot open b.h\r\nI00020110: Build succeeded\r\n";
  struct Row {
    const char* name;
    std::string log;
    std::string printed;
    std::string totals;
  };
  const Row rows[] = {
      {"UTF-8 mark",
       "\xEF\xBB\xBF"
       "E00040012: Cannot open b.h\r\nI00020110: Build succeeded\r\n",
       failure, failed},
      {"UTF-16 little endian", utf16WithMark(text), failure, failed},
      {"UTF-16 big endian", utf16WithMark(text, true), failure, failed},
      {"UTF-16 beyond ASCII",
       utf16WithMark(u"E1: caf\u00e9 \u20ac \U0001F600\nI00020052: \u00fc\n\xd800"),
       "E1: caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\n\xEF\xBF\xBD\n",
       summary(1, 1, 0, 0, 1) + "1 failures detected\n"},
      {"NULs without a mark are read as bytes",
       kSuccess + std::string("E\0"
                              "1\0:\0 \0x\0\n\0",
                              12),
       "E\n\n", summary(1, 0, 0, 0, 2)},
  };
  for (const Row& row : rows) {
    writeFile("marked.log", row.log);
    RunResult result = run({"-log", "marked.log"});
    EXPECT_EQ(result.status, 0) << row.name;
    EXPECT_EQ(result.out, textMode("Processing marked.log...\n" + row.printed + row.totals))
        << row.name;
    EXPECT_EQ(result.err, "") << row.name;
  }
}

TEST_F(LogModeTest, AHundredMegabyteLineIsReadWhole) {
  std::string line(100 << 20, 'q');
  line.replace(line.size() - 6, 6, "E9: x\n");  // not at the start: unmatched
  writeFile("huge.log", "E9: first\n" + line + kSuccess);
  RunResult result = run({"-log", "huge.log"});
  EXPECT_EQ(result.status, 0);
  ASSERT_EQ(result.out.size(),
            textMode("Processing huge.log...\nE9: first\n").size() + line.size() +
                (windowsTarget() ? 1 : 0) +
                textMode(summary(1, 1, 0, 0, 1) + "1 failures detected\n").size());
  EXPECT_EQ(result.out.find(std::string(1000, 'q')),
            textMode("Processing huge.log...\nE9: first\n").size());
}

TEST_F(LogModeTest, ALineBeyondTheMemoryEndsTheRunWithAMessage) {
  SKIP_ON_WINDOWS("Wine offers no limit on a Windows program's memory");
#ifdef TARNWICK_E2E_SANITIZED
  GTEST_SKIP() << "the sanitizers reserve more address space than the limit";
#endif
  writeFile("huge.log", std::string(kSuccess) + std::string(200 << 20, 'm'));
  RunResult result = runWithMemoryLimit({"-log", "huge.log"}, size_t{96} << 20);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out.rfind("Processing huge.log...\nERROR: Not enough memory for a line of ", 0),
            0u)
      << result.out;
  const std::string end = " bytes in \"huge.log\"\n";
  ASSERT_GT(result.out.size(), end.size());
  EXPECT_EQ(result.out.substr(result.out.size() - end.size()), end) << result.out;
  EXPECT_EQ(result.err, "");
}

TEST_F(LogModeTest, TheBuiltInRulesJudgeByTheCodeAtTheLineStart) {
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

TEST_F(LogModeTest, TheReaderCutsLinesOfAnyLengthAndByte) {
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

TEST_F(LogModeTest, ALogNamedOutsideAsciiIsTheOneRead) {
  // Windows best-fit "\xce\xa9" (omega) to "O" in a legacy code page: the
  // program runs with UTF-8 as its code page, so the name is read as given.
  writeFile("\xce\xa9.log", std::string("E1: omega\n") + kSuccess);
  writeFile("O.log", "E2: the wrong file\n");
  RunResult result = run({"-log", "\xce\xa9.log"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("Processing \xce\xa9.log...\nE1: omega\n" +
                                 summary(1, 1, 0, 0, 0) + "1 failures detected\n"));
}

}  // namespace

namespace {

// "-log - < list.txt" with a rule that appends to list.txt would read its
// own entries without end: standard input is compared with every file the
// run writes, as "-log /dev/stdin" is.
TEST_F(LogModeTest, StandardInputThatTheRunWritesIsRefused) {
  // Wine hands a redirected stdin over without the file's identity.
  SKIP_ON_WINDOWS("no identity of standard input under Wine");
  const std::string config = inRoot(
      "  <success>^I00020110</success>\n  <list file=\"list.txt\" append=\"yes\">^(I)0</list>\n");
  struct Row {
    std::vector<std::string> args;
    const char* input;
    std::string out;
  };
  const Row rows[] = {
      {{"-cfg", "rules.xml", "-log", "-"},
       "list.txt",
       "ERROR: Listing file 'list.txt' is the log file '-'\n"},
      {{"-json", "r.json", "-log", "-"}, "r.json", "ERROR: Report 'r.json' is the log file '-'\n"},
      {{"-cfg", "rules.xml", "-junit", "r.json", "-log", "-"},
       "r.json",
       "ERROR: Report 'r.json' is the log file '-'\n"},
  };
  for (const Row& row : rows) {
    writeFile("rules.xml", config);
    writeFile("list.txt", kSuccess);
    writeFile("r.json", kSuccess);
    RunResult result = runWithStdinFile(row.args, row.input);
    EXPECT_EQ(result.status, 1) << row.out;
    EXPECT_EQ(result.out, textMode(row.out)) << row.out;
    EXPECT_EQ(readFile("list.txt"), kSuccess) << row.out;
    EXPECT_EQ(readFile("r.json"), kSuccess) << row.out;
  }
  // Another file on standard input is read as ever.
  writeFile("b.log", kSuccess);
  RunResult result = runWithStdinFile({"-cfg", "rules.xml", "-log", "-"}, "b.log");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("Processing -...\n" + summary(1, 0, 0, 0, 0)));
  EXPECT_EQ(readFile("list.txt"), std::string(kSuccess) + textMode("I\n"));
}

}  // namespace
