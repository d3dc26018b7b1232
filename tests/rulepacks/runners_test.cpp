// rules/all.xml on the real output of test runners, Meson, coloured
// compilers and quiet makefiles: each case writes a tiny project into the
// test's folder and runs it wrapped, as CI would:
//   tarnwick -cfg rules/all.xml -classifyoutput -toolstatus -exec sh -c <script>
// The script keeps a copy of the tool's output in run.log, which the pack
// then judges in log mode as well, line by line.
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "rulepack_support.h"

namespace {

struct RunnerCase {
  std::string name;
  /// A program that must be installed for the case to run.
  std::string needs;
  std::vector<std::pair<std::string, std::string>> files;
  /// Run by sh in the test's folder.
  std::string script;
  /// How the wrapped run ends: 0 for a clean build and passed tests.
  int status;
  /// The failure lines of run.log, in order, without ANSI sequences; '*'
  /// stands for any run of bytes.
  std::vector<std::string> failures;
  /// Words the wrapped run's output must hold (the failed tests' names).
  std::vector<std::string> named;
  /// Whether log mode can judge run.log: a quiet clean build leaves no line
  /// to tell that anything ran, only its exit code does.
  bool judgedAsLog = true;
};

const char kOk[] = "int main(void) { return 0; }\n";
const char kBad[] =
    "#include <stdio.h>\nint main(void) { puts(\"expected 3 got 4\"); return 1; }\n";
const char kUndeclared[] = "int main(void) { return x; }\n";

const char kCtestProject[] =
    "cmake_minimum_required(VERSION 3.13)\nproject(t C)\nenable_testing()\n"
    "add_executable(ok ok.c)\nadd_executable(bad bad.c)\n"
    "add_test(NAME parser_test COMMAND bad)\nadd_test(NAME lexer_test COMMAND ok)\n";
const char kCtestPassing[] =
    "cmake_minimum_required(VERSION 3.13)\nproject(t C)\nenable_testing()\n"
    "add_executable(ok ok.c)\nadd_test(NAME lexer_test COMMAND ok)\n";
const char kMesonProject[] =
    "project('t', 'c')\ntest('parser', executable('bad', 'bad.c'))\n"
    "test('lexer', executable('ok', 'ok.c'))\n";
const char kMesonMissingDependency[] = "project('t', 'c')\ndependency('zlibnosuchthing')\n";
const char kConfigureAc[] =
    "AC_INIT([t],[1])\nAM_INIT_AUTOMAKE([foreign])\nAC_PROG_CC\n"
    "AC_REQUIRE_AUX_FILE([tap-driver.sh])\nAC_CONFIG_FILES([Makefile])\nAC_OUTPUT\n";
const char kMakefileAm[] =
    "check_PROGRAMS = ok bad\nTESTS = bad ok tap.t\nTEST_EXTENSIONS = .t\n"
    "T_LOG_DRIVER = env AM_TAP_AWK='$(AWK)' $(SHELL) $(top_srcdir)/tap-driver.sh\n";
const char kTap[] =
    "#!/bin/sh\necho 1..3\necho ok 1 - reads\necho not ok 2 - parses\n"
    "echo 'not ok 3 - later # TODO not written'\n";
const char kGoogletest[] =
    "#include <gtest/gtest.h>\nTEST(Parser, Reads) { EXPECT_EQ(1, 1); }\n"
    "TEST(Parser, Fails) { EXPECT_EQ(2, 3); }\n";
const char kCatch2[] =
    "#define CATCH_CONFIG_MAIN\n#include <catch2/catch.hpp>\n"
    "TEST_CASE(\"adds\") { REQUIRE(1 + 1 == 2); }\nTEST_CASE(\"parses\") { CHECK(1 == 2); }\n";
const char kDoctest[] =
    "#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN\n#include <doctest/doctest.h>\n"
    "TEST_CASE(\"adds\") { CHECK(1 + 1 == 2); }\nTEST_CASE(\"parses\") { CHECK(1 == 2); }\n";
// A quiet makefile: its recipes are not echoed, a clean build prints one line.
const char kQuietMakefile[] =
    "libq.a: q.o\n\t@echo compiling static library\n\t@ar rc $@ q.o\n"
    "q.o: q.c\n\t@$(CC) -c -o $@ q.c\n";

// The tool's output into run.log and then onto stdout; the script ends as
// the tool did.
std::string keep(const std::string& command) {
  return "{ " + command + "; } >run.log 2>&1; status=$?; cat run.log; exit $status";
}

const std::vector<RunnerCase> kCases = {
    {"ctest, a test fails",
     "ctest",
     {{"CMakeLists.txt", kCtestProject}, {"ok.c", kOk}, {"bad.c", kBad}},
     "cmake -S . -B b -G Ninja >/dev/null && cmake --build b >/dev/null && " +
         keep("ctest --test-dir b"),
     1,
     {"1/2 Test #1: parser_test *Failed*",
      "The following tests FAILED:", "\t*1 - parser_test (Failed)", "Errors while running CTest"},
     {"parser_test"}},
    {"ctest, every test passes",
     "ctest",
     {{"CMakeLists.txt", kCtestPassing}, {"ok.c", kOk}},
     "cmake -S . -B b -G Ninja >/dev/null && cmake --build b >/dev/null && " +
         keep("ctest --test-dir b"),
     0,
     {},
     {}},
    {"meson test, a test fails",
     "meson",
     {{"meson.build", kMesonProject}, {"ok.c", kOk}, {"bad.c", kBad}},
     keep("meson setup b && meson compile -C b && meson test -C b --num-processes 1"),
     1,
     {"1/2 parser *FAIL*", "Fail: *1*"},
     {"parser"}},
    {"meson setup, a dependency is missing",
     "meson",
     {{"meson.build", kMesonMissingDependency}},
     keep("meson setup b"),
     1,
     {"meson.build:2:0: ERROR: Dependency \"zlibnosuchthing\" not found*"},
     {}},
    // Meson has the compilers colour their diagnostics (b_colorout=always).
    {"meson compile, coloured compiler error",
     "meson",
     {{"meson.build", "project('t', 'c')\nexecutable('u', 'u.c')\n"}, {"u.c", kUndeclared}},
     keep("meson setup b >/dev/null && meson compile -C b"),
     1,
     {"FAILED: u.p/u.c.o*", "../u.c:1:*: error: *"},
     {}},
    {"make check, automake's harness and TAP",
     "autoreconf",
     {{"configure.ac", kConfigureAc},
      {"Makefile.am", kMakefileAm},
      {"ok.c", kOk},
      {"bad.c", kBad},
      {"tap.t", kTap}},
     "chmod +x tap.t && autoreconf -fi >/dev/null 2>&1 && ./configure >/dev/null && " +
         keep("make check"),
     1,
     {"FAIL: bad", "FAIL: tap.t 2 - parses", "# FAIL:  2",
      "make[2]: *** [Makefile:*: test-suite.log] Error 1",
      "make[1]: *** [Makefile:*: check-TESTS] Error 2", "make: *** [Makefile:*: check-am] Error 2"},
     {"FAIL: bad"}},
    {"googletest",
     "g++",
     {{"g.cpp", kGoogletest}},
     "g++ g.cpp -o g -lgtest -lgtest_main -pthread && " + keep("./g"),
     1,
     {"[  FAILED  ] Parser.Fails (* ms)",
      "[  FAILED  ] 1 test, listed below:", "[  FAILED  ] Parser.Fails", " 1 FAILED TEST"},
     {"Parser.Fails"}},
    {"Catch2",
     "g++",
     {{"c.cpp", kCatch2}},
     "test -f /usr/include/catch2/catch.hpp || exit 0; g++ c.cpp -o c && " + keep("./c"),
     1,
     {"test cases: 2 | 1 passed | 1 failed"},
     {}},
    {"doctest",
     "g++",
     {{"d.cpp", kDoctest}},
     "test -f /usr/include/doctest/doctest.h || exit 0; g++ d.cpp -o d && " + keep("./d"),
     1,
     {"[doctest] test cases: 2 | 1 passed | 1 failed | 0 skipped", "[doctest] Status: FAILURE!"},
     {}},
    {"gcc with colour, called without make",
     "gcc",
     {{"u.c", kUndeclared}},
     keep("gcc -fdiagnostics-color=always -c u.c"),
     1,
     {"u.c:1:*: error: *x* undeclared*"},
     {}},
    {"clang with colour, called without make",
     "clang",
     {{"u.c", kUndeclared}},
     keep("clang -fdiagnostics-color=always -c u.c"),
     1,
     {"u.c:1:*: error: use of undeclared identifier 'x'"},
     {}},
    {"quiet make, clean",
     "make",
     {{"Makefile", kQuietMakefile}, {"q.c", kOk}},
     keep("make"),
     0,
     {},
     {},
     false},
    {"make -s, clean",
     "make",
     {{"Makefile", "q.o: q.c\n\t$(CC) -c -o $@ q.c\n"}, {"q.c", kOk}},
     keep("make -s"),
     0,
     {},
     {},
     false},
    {"quiet make, compile error",
     "make",
     {{"Makefile", kQuietMakefile}, {"q.c", kUndeclared}},
     keep("make"),
     1,
     {"q.c:1:*: error: *", "make: *** [Makefile:5: q.o] Error 1"},
     {}},
};

// text without the ANSI sequences the packs remove before matching (CSI
// sequences, and OSC sequences ended by BEL or ESC \).
std::string withoutAnsi(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\x1b' && i + 1 < text.size() && text[i + 1] == '[') {
      i += 2;
      while (i < text.size() && !(text[i] >= '@' && text[i] <= '~')) ++i;
    } else if (text[i] == '\x1b' && i + 1 < text.size() && text[i + 1] == ']') {
      for (i += 2; i < text.size() && text[i] != '\a'; ++i) {
        if (text[i] == '\x1b' && i + 1 < text.size() && text[i + 1] == '\\') {
          ++i;
          break;
        }
      }
    } else {
      out += text[i];
    }
  }
  return out;
}

bool installed(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// One test per case, so that ctest runs them side by side.
class RunnersTest : public RulePackTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(RunnersTest, AllPackJudgesTheRunAndItsLog) {
  const RunnerCase& c = kCases[GetParam()];
  SCOPED_TRACE(c.name);
  ASSERT_TRUE(installed(c.needs)) << c.needs << " is not installed (scripts/deps --rulepacks)";
  std::string dir = "case";
  makeFolder(dir);
  for (const auto& [name, text] : c.files) writeFile(dir + "/" + name, text);
  std::string all = std::string(TARNWICK_RULES_DIR) + "/all.xml";
  RunResult wrapped = run({"-cfg", all, "-classifyoutput", "-toolstatus", "-exec", "sh", "-c",
                           "cd '" + hostPath(dir) + "' && " + c.script});
  std::string log = readFile(dir + "/run.log");
  if (log.empty() && c.judgedAsLog) GTEST_SKIP() << "Catch2 or doctest is not installed";
  EXPECT_EQ(wrapped.status, c.status) << log << wrapped.out << wrapped.err;
  for (const std::string& word : c.named) {
    EXPECT_NE(wrapped.out.find(word), std::string::npos) << word << "\n" << wrapped.out;
  }
  if (!c.judgedAsLog) return;
  PackRun judged = analyse("all", dir + "/run.log");
  EXPECT_EQ(judged.status, c.status) << log << judged.out;
  // A log of a compiler alone, or of a quiet make, has no step line: it
  // fails as "Nothing was processed" when its failures do not fail it.
  if (c.status == 0) {
    EXPECT_EQ(judged.verdict(), "passed") << log << judged.out;
  } else {
    EXPECT_NE(judged.verdict(), "passed") << log << judged.out;
  }
  ASSERT_EQ(judged.failures.size(), c.failures.size()) << log << judged.out;
  for (size_t f = 0; f < c.failures.size(); ++f) {
    std::string text = withoutAnsi(judged.failures[f]);
    EXPECT_TRUE(globMatches(c.failures[f], text))
        << "expected " << c.failures[f] << "\n     got " << text;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, RunnersTest, ::testing::Range<size_t>(0, kCases.size()));

}  // namespace
