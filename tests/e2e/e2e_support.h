// What every end-to-end test needs: a temporary folder to run in, the real
// program run with exact output captured, and paths and line ends in the
// form of the target platform.
//
// The target is the native build unless these are set in the environment:
//   TARNWICK_E2E_BINARY  the program to test
//   TARNWICK_E2E_TOOLS   the folder of the helper programs built with it
//   TARNWICK_E2E_RUNNER  a loader to start them with (the Wine loader)
//   TARNWICK_E2E_TARGET  "windows" when they are Windows programs
#ifndef TARNWICK_TESTS_E2E_E2E_SUPPORT_H
#define TARNWICK_TESTS_E2E_E2E_SUPPORT_H

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

/// Tells a test why it cannot run against this target.
#define SKIP_ON_WINDOWS(why) \
  if (E2ETest::windowsTarget()) GTEST_SKIP() << why

class E2ETest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  /// Runs the program under test in the test's folder with args; stdin
  /// holds stdinText and then ends.
  RunResult run(const std::vector<std::string>& args, const std::string& stdinText = "");
  /// run() with the program's address space limited to limitBytes (native
  /// targets only).
  RunResult runWithMemoryLimit(const std::vector<std::string>& args, size_t limitBytes);
  /// run() with stdin read from the file at rel, as after "< rel".
  RunResult runWithStdinFile(const std::vector<std::string>& args, const std::string& rel);
  /// run() with stdout written to the file at rel (made anew), as after "> rel".
  RunResult runWithStdoutFile(const std::vector<std::string>& args, const std::string& rel);
  /// run() with the program's stderr joined to its stdout, as after 2>&1:
  /// both in out, in the order written.
  RunResult runJoined(const std::vector<std::string>& args);
  /// run() with the program's stderr on the null device: out alone is read.
  RunResult runWithoutStderr(const std::vector<std::string>& args);
  /// Runs a helper program of tools/ (by name, without suffix) likewise.
  RunResult runTool(const std::string& name, const std::vector<std::string>& args);

  /// Where rel (written with '/') lies, for this test to read and write.
  std::string hostPath(const std::string& rel) const;
  /// The same place as the program under test names it: an absolute path
  /// with the target's separator (on Windows through drive Z:).
  std::string targetPath(const std::string& rel) const;
  /// rel with '/' turned into the target's separator (a relative path).
  static std::string targetRelative(const std::string& rel);
  /// The path of helper program name as the target names it.
  static std::string toolPath(const std::string& name);
  /// The program under test as the target names it, for a helper to start.
  static std::string programPath();
  /// The watched-tool helper program as the target names it.
  static std::string tool() { return toolPath("watched_tool"); }
  /// The command line exec mode builds for the watched tool and words that
  /// need no more than quotes.
  static std::string quoted(const std::vector<std::string>& words);
  /// "cmd = [...]\n", as -debug shows that command line.
  static std::string cmd(const std::vector<std::string>& words);
  /// tarnwick [options] -exec <watched tool> words...
  RunResult runExec(const std::vector<std::string>& options, const std::vector<std::string>& words,
                    const std::string& stdinText = "");

  /// Writes build.log with lines and a closing "OK" (unless closed is
  /// false), and runs -cfg rules.xml -log build.log after options.
  RunResult runLog(const std::vector<std::string>& lines,
                   const std::vector<std::string>& options = {}, bool closed = true);
  /// Writes rules.xml: a root with rootAttributes, "OK" lines as successes,
  /// lines that begin with "E" as failures, then children.
  void writeRules(const std::string& children, const std::string& rootAttributes = "") const;
  /// The build tree the copy tests collect from, and an empty drop folder.
  void writeBuildTree() const;

  void writeFile(const std::string& rel, const std::string& content) const;
  std::string readFile(const std::string& rel) const;
  bool exists(const std::string& rel) const;
  void makeFolder(const std::string& rel) const;

  /// text with each "\n" as the target's C runtime writes it in text mode.
  static std::string textMode(const std::string& text);
  /// The target's folder separator.
  static char separator();
  static bool windowsTarget();
  /// The system's text for a program that does not exist, as a failed start
  /// of the tool shows it.
  static std::string noSuchProgramText();

  std::string folder_;
};

/// The usage text printed by every command-line error, after its message.
std::string usageText(const std::string& message);

/// The five-counter summary that ends a run without copy rules.
std::string summary(int success, int failure, int ignore, int summaryCount, int unmatched);
/// The seven-counter summary of a run with copy rules.
std::string copySummary(int success, int failure, int ignore, int summaryCount, int unmatched,
                        int copied, int copyFailed);
/// args as a failed assertion names them: each after a blank.
std::string argsShown(const std::vector<std::string>& args);
/// A configuration file whose root holds children.
std::string inRoot(const std::string& children);
/// text as a UTF-16 file writes it: the byte-order mark (FF FE, or FE FF
/// when bigEndian), then each code unit, low byte first unless bigEndian.
std::string utf16WithMark(const std::u16string& text, bool bigEndian = false);
/// How a run that saw neither a success nor a summary line ends.
extern const char kNothing[];
/// The summary and the end of a run that analysed nothing.
extern const std::string kNoTotals;

#endif
