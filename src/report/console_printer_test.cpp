#include "report/console_printer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

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

}  // namespace
