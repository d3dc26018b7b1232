#include "report/console_printer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "report/fresh_run_test_support.h"

namespace {

// Every unit test starts in a fresh run whose messages reach stdout.
class FreshRunEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { startFreshRun(); }
};
const ::testing::Environment* const kFreshRun =
    ::testing::AddGlobalTestEnvironment(new FreshRunEnvironment);

std::string printed(bool debug, const ClassifiedLine& line) {
  std::FILE* stream = std::tmpfile();
  ConsolePrinter printer(stream, debug);
  printer.lineClassified(line);
  std::rewind(stream);
  std::string text;
  for (int c; (c = std::fgetc(stream)) != EOF;) text += static_cast<char>(c);
  std::fclose(stream);
  return text;
}

TEST(ConsolePrinterTest, PrintsFailureAndUnmatchedLinesUpToTheirFirstNul) {
  struct Row {
    LineClass lineClass;
    bool debug;
    std::string text;
    const char* expected;
  };
  const Row rows[] = {
      {LineClass::failure, false, "E1: bad", "E1: bad\n"},
      {LineClass::failure, true, "E1: bad", "failure: E1: bad\n"},
      {LineClass::unmatched, false, "odd", "odd\n"},
      {LineClass::unmatched, true, "odd", "unmatched: odd\n"},
      {LineClass::unmatched, false, std::string("a\0b", 3), "a\n"},
      {LineClass::ignore, true, "I1: quiet", ""},
      {LineClass::success, true, "I2: fine", ""},
      {LineClass::summary, true, "I3: total", ""},
  };
  for (const Row& row : rows) {
    ClassifiedLine line{row.lineClass, "x.log", 1, row.text.c_str(), row.text.size(), nullptr};
    EXPECT_EQ(printed(row.debug, line), row.expected) << row.text;
  }
}

TEST(ConsolePrinterTest, LeavesOutOnlyTheToolsOwnStreamsByTheirKind) {
  struct Row {
    const char* log;
    LogKind kind;
    const char* expected;  // for the start of the log, then its failure line
  };
  const Row rows[] = {
      {"<stdout>", LogKind::toolStdout, ""},
      {"<stderr>", LogKind::toolStderr, ""},
      {"<stdout>", LogKind::file, "Processing <stdout>...\nE1: bad\n"},
      {"<stderr>", LogKind::file, "Processing <stderr>...\nE1: bad\n"},
      {"-", LogKind::standardInput, "Processing -...\nE1: bad\n"},
  };
  for (const Row& row : rows) {
    std::FILE* stream = std::tmpfile();
    ConsolePrinter printer(stream, false);
    printer.logStarted(row.log, row.kind);
    printer.lineClassified({LineClass::failure, row.log, 1, "E1: bad", 7, "^E", true, row.kind});
    std::rewind(stream);
    std::string text;
    for (int c; (c = std::fgetc(stream)) != EOF;) text += static_cast<char>(c);
    std::fclose(stream);
    EXPECT_EQ(text, row.expected) << row.log << " " << static_cast<int>(row.kind);
  }
}

TEST(RunRecordTest, CountsEachClassAndEachCopyOutcome) {
  RunRecord record;
  const LineClass classes[] = {LineClass::ignore,  LineClass::success,   LineClass::failure,
                               LineClass::failure, LineClass::summary,   LineClass::unmatched,
                               LineClass::ignore,  LineClass::unmatched, LineClass::ignore};
  for (LineClass lineClass : classes) record.lineClassified({lineClass, "l", 1, "t", 1, nullptr});
  record.copyTried({"a", "b", true, nullptr});
  record.copyTried({"a", "c", false, "File exists"});
  record.copyTried({"a", "d", true, nullptr});
  const RunTotals& totals = record.totals();
  EXPECT_EQ(totals.ignoreCount, 3);
  EXPECT_EQ(totals.successCount, 1);
  EXPECT_EQ(totals.failureCount, 2);
  EXPECT_EQ(totals.summaryCount, 1);
  EXPECT_EQ(totals.unmatchedCount, 2);
  EXPECT_EQ(totals.copiedCount, 2);
  EXPECT_EQ(totals.copyFailCount, 1);
}

TEST(RunRecordTest, TellsTheEndOfTheRunOnce) {
  struct Ends : RunListener {
    std::string heard;
    void runEnded(int status, const char* message) override {
      heard += std::to_string(status) + (message != nullptr ? message : "-") + ";";
    }
  } ends;
  RunRecord record;
  record.addListener(&ends);
  record.runEnded(1, "ERROR: Nothing was processed");
  record.runEnded(0, nullptr);
  EXPECT_EQ(ends.heard, "1ERROR: Nothing was processed;");
}

}  // namespace
