#include "record/run_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

/// Writes each event it hears as one line of a transcript that listeners
/// may share, after its own name: the order of the lines is the order in
/// which the listeners heard the events.
class Transcript : public RunListener {
 public:
  Transcript(std::string name, std::vector<std::string>& lines) : name_(name), lines_(lines) {}

  void logStarted(const char* path) override { add("logStarted " + std::string(path)); }
  void lineClassified(const ClassifiedLine& line) override {
    static const char* const kNames[] = {"ignore", "success", "failure", "summary", "unmatched"};
    add("line " + std::string(kNames[static_cast<int>(line.lineClass)]) + " " + line.log + ":" +
        std::to_string(line.lineNumber) + " [" + std::string(line.text, line.length) + "] " +
        (line.rule != nullptr ? line.rule : "-"));
  }
  void logFinished(const char* path, uint64_t lines) override {
    add("logFinished " + std::string(path) + " " + std::to_string(lines));
  }
  void copyTried(const CopyAttempt& copy) override {
    add("copy " + std::string(copy.from) + " -> " + copy.to + (copy.ok ? " ok" : " failed: ") +
        (copy.error != nullptr ? copy.error : ""));
  }
  void listingEntryWritten(const char* listingPath, const char* entry) override {
    add("entry " + std::string(listingPath) + " " + entry);
  }
  void listingFile(const char* path) override { add("listingFile " + std::string(path)); }
  void toolStarted(const char* commandLine) override {
    add("toolStarted " + std::string(commandLine));
  }
  void toolEnded(bool started, int32_t exitCode) override {
    add("toolEnded " + std::string(started ? "started " : "not started ") +
        std::to_string(exitCode));
  }
  void message(const char* text, size_t length) override {
    add("message [" + std::string(text, length) + "]");
  }
  void runEnded(int status, const char* fatalMessage) override {
    add("runEnded " + std::to_string(status) + " " +
        (fatalMessage != nullptr ? fatalMessage : "-"));
    if (onEnd) onEnd();
  }

  /// Called from runEnded, as the fatal path would be from inside a listener.
  std::function<void()> onEnd;

 private:
  void add(const std::string& line) { lines_.push_back(name_ + ": " + line); }

  std::string name_;
  std::vector<std::string>& lines_;
};

ClassifiedLine lineOf(LineClass lineClass, uint64_t number, const char* text,
                      const char* rule = nullptr) {
  return ClassifiedLine{lineClass, "a.log", number, text, std::strlen(text), rule};
}

/// The counters as "ignore success failure summary unmatched copied copyFail".
std::string countersOf(const RunTotals& totals) {
  return std::to_string(totals.ignoreCount) + " " + std::to_string(totals.successCount) + " " +
         std::to_string(totals.failureCount) + " " + std::to_string(totals.summaryCount) + " " +
         std::to_string(totals.unmatchedCount) + " " + std::to_string(totals.copiedCount) + " " +
         std::to_string(totals.copyFailCount);
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

TEST(RunRecordTest, EveryListenerHearsEveryEventInOrderAndTheCountersAddUp) {
  using Events = std::function<void(RunRecord&)>;
  struct Row {
    const char* what;
    Events events;
    std::vector<std::string> heard;  // by listener A; B hears each right after A
    std::string counters;
  };
  const Row rows[] = {
      {"no event", [](RunRecord&) {}, {}, "0 0 0 0 0 0 0"},
      {"a log of every class",
       [](RunRecord& record) {
         record.logStarted("a.log");
         record.lineClassified(lineOf(LineClass::ignore, 1, "I1: skip", "^I1:"));
         record.lineClassified(lineOf(LineClass::success, 2, "OK", "^OK$"));
         record.lineClassified(lineOf(LineClass::failure, 4, "E1: bad", "^E"));
         record.lineClassified(lineOf(LineClass::failure, 5, "E2: worse", "^E"));
         record.lineClassified(lineOf(LineClass::summary, 6, "Done", "^Done$"));
         record.lineClassified(lineOf(LineClass::unmatched, 7, "what"));
         record.logFinished("a.log", 7);
       },
       {"logStarted a.log", "line ignore a.log:1 [I1: skip] ^I1:", "line success a.log:2 [OK] ^OK$",
        "line failure a.log:4 [E1: bad] ^E", "line failure a.log:5 [E2: worse] ^E",
        "line summary a.log:6 [Done] ^Done$", "line unmatched a.log:7 [what] -",
        "logFinished a.log 7"},
       "1 1 2 1 1 0 0"},
      {"copies raise copied and copy fail, entries raise nothing",
       [](RunRecord& record) {
         record.listingFile("x.lst");
         record.copyTried({"b/a.dll", "d/a.dll", true, nullptr});
         record.copyTried({"b/c.dll", "d/c.dll", false, "File exists"});
         record.copyTried({"b/e.dll", "d/e.dll", true, nullptr});
         record.listingEntryWritten("x.lst", "a.dll");
       },
       {"listingFile x.lst", "copy b/a.dll -> d/a.dll ok",
        "copy b/c.dll -> d/c.dll failed: File exists", "copy b/e.dll -> d/e.dll ok",
        "entry x.lst a.dll"},
       "0 0 0 0 0 2 1"},
      {"messages are formatted once for all listeners",
       [](RunRecord& record) {
         record.message("WARNING: $%s is not defined\n", "OUT");
         record.message("%d%% of %s", 50, "100%s");
         record.message("plain");
       },
       {"message [WARNING: $OUT is not defined\n]", "message [50% of 100%s]", "message [plain]"},
       "0 0 0 0 0 0 0"},
      {"a tool's run and the end",
       [](RunRecord& record) {
         record.toolStarted("\"tool\" \"a b\"");
         record.toolEnded(true, 3);
         record.runEnded(0, nullptr);
       },
       {"toolStarted \"tool\" \"a b\"", "toolEnded started 3", "runEnded 0 -"},
       "0 0 0 0 0 0 0"},
      {"the run ends once: later ends are not heard",
       [](RunRecord& record) {
         record.runEnded(1, "ERROR: Nothing was processed");
         record.runEnded(0, nullptr);
         record.runEnded(1, "again");
       },
       {"runEnded 1 ERROR: Nothing was processed"},
       "0 0 0 0 0 0 0"},
      {"events after the end are still heard",
       [](RunRecord& record) {
         record.runEnded(1, "early");
         record.message("late");
         record.lineClassified(lineOf(LineClass::unmatched, 9, "after"));
       },
       {"runEnded 1 early", "message [late]", "line unmatched a.log:9 [after] -"},
       "0 0 0 0 1 0 0"},
  };
  for (const Row& row : rows) {
    std::vector<std::string> lines;
    Transcript a("A", lines), b("B", lines);
    RunRecord record;
    record.addListener(&a);
    record.addListener(&b);
    row.events(record);
    std::vector<std::string> expected;
    for (const std::string& line : row.heard) {
      expected.push_back("A: " + line);
      expected.push_back("B: " + line);
    }
    EXPECT_EQ(lines, expected) << row.what;
    EXPECT_EQ(countersOf(record.totals()), row.counters) << row.what;
  }
}

TEST(RunRecordTest, TheToolsEndIsKeptForTheSummary) {
  struct Row {
    const char* what;
    bool report;  // whether toolEnded is reported at all
    bool started;
    int32_t exitCode;
    bool ran;
    int32_t kept;
  };
  const Row rows[] = {
      {"not reported", false, false, 0, false, 0},
      {"ended with 0", true, true, 0, true, 0},
      {"ended with a negative code", true, true, -2147483647 - 1, true, -2147483647 - 1},
      {"did not start", true, false, 0, false, 0},
  };
  for (const Row& row : rows) {
    RunRecord record;
    if (row.report) record.toolEnded(row.started, row.exitCode);
    EXPECT_EQ(record.toolRan(), row.ran) << row.what;
    EXPECT_EQ(record.toolExitCode(), row.kept) << row.what;
  }
}

TEST(RunRecordTest, AnEndReportedFromInsideTheEndIsNotHeardAgain) {
  // The fatal path, taken by a listener while it hears the end, ends the run
  // a second time from inside the first.
  std::vector<std::string> lines;
  Transcript a("A", lines), b("B", lines);
  RunRecord record;
  a.onEnd = [&] { record.runEnded(1, "from inside"); };
  record.addListener(&a);
  record.addListener(&b);
  record.runEnded(0, nullptr);
  EXPECT_EQ(lines, (std::vector<std::string>{"A: runEnded 0 -", "B: runEnded 0 -"}));
}

TEST(RunRecordTest, ResetForgetsListenersCountersTheToolAndTheEnd) {
  std::vector<std::string> lines;
  Transcript a("A", lines), b("B", lines);
  RunRecord record;
  record.addListener(&a);
  record.setShared(true);
  record.lineClassified(lineOf(LineClass::failure, 1, "E1"));
  record.copyTried({"x", "y", false, "no"});
  record.toolEnded(true, 4);
  record.runEnded(1, "first");

  record.reset();
  EXPECT_EQ(countersOf(record.totals()), "0 0 0 0 0 0 0");
  EXPECT_FALSE(record.shared());
  EXPECT_FALSE(record.toolRan());
  EXPECT_EQ(record.toolExitCode(), 0);
  record.addListener(&b);
  record.message("fresh");
  record.runEnded(0, nullptr);
  EXPECT_EQ(lines,
            (std::vector<std::string>{"A: line failure a.log:1 [E1] -", "A: copy x -> y failed: no",
                                      "A: toolEnded started 4", "A: runEnded 1 first",
                                      "B: message [fresh]", "B: runEnded 0 -"}));
}

TEST(RunRecordTest, OnlyASharedRecordHoldsItsLock) {
  RunRecord record;
  EXPECT_FALSE(record.shared());
  EXPECT_FALSE(record.hold().owns_lock());
  record.setShared(true);
  EXPECT_TRUE(record.shared());
  {
    std::unique_lock<std::recursive_mutex> outer = record.hold();
    EXPECT_TRUE(outer.owns_lock());
    // The same thread may report while it holds the lock (a line's actions
    // under its classification).
    EXPECT_TRUE(record.hold().owns_lock());
  }
  record.setShared(false);
  EXPECT_FALSE(record.hold().owns_lock());
}

// Starts threads: runs under ThreadSanitizer with the other thread tests.
TEST(RunRecordTest, ASharedRecordLosesNoEventOfTwoThreads) {
  // Both readers of exec mode classify the tool's lines at once, each line
  // under the record's lock as exec mode holds it.
  const int kLines = 20000;
  std::vector<std::string> lines;
  Transcript a("A", lines);
  RunRecord record;
  record.addListener(&a);
  record.setShared(true);
  auto classify = [&](const char* log, LineClass lineClass) {
    for (int n = 1; n <= kLines; ++n) {
      std::unique_lock<std::recursive_mutex> line = record.hold();
      record.lineClassified({lineClass, log, static_cast<uint64_t>(n), "x", 1, nullptr});
      if (n % 100 == 0) record.copyTried({"f", "t", lineClass == LineClass::failure, nullptr});
    }
  };
  std::thread out(classify, kStdoutLog, LineClass::failure);
  std::thread err(classify, kStderrLog, LineClass::unmatched);
  out.join();
  err.join();
  record.runEnded(0, nullptr);
  EXPECT_EQ(countersOf(record.totals()), "0 0 20000 0 20000 200 200");
  ASSERT_EQ(lines.size(), static_cast<size_t>(2 * kLines + 400 + 1));
  EXPECT_EQ(lines.back(), "A: runEnded 0 -");
  // Each thread's events keep their own order.
  uint64_t next[2] = {1, 1};
  for (const std::string& line : lines) {
    bool fromOut = line.find(" <stdout>:") != std::string::npos;
    if (!fromOut && line.find(" <stderr>:") == std::string::npos) continue;
    const std::string expected = std::to_string(next[fromOut ? 0 : 1]++) + " [x]";
    EXPECT_NE(line.find(":" + expected), std::string::npos) << line;
  }
  EXPECT_EQ(next[0], static_cast<uint64_t>(kLines + 1));
  EXPECT_EQ(next[1], static_cast<uint64_t>(kLines + 1));
}

}  // namespace
