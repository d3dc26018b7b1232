#include "record/run_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "record/record_test_support.h"

namespace {

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
         record.logStarted("a.log", LogKind::file);
         record.lineClassified(lineOf(LineClass::ignore, 1, "I1: skip", "^I1:"));
         record.lineClassified(lineOf(LineClass::success, 2, "OK", "^OK$"));
         record.lineClassified(lineOf(LineClass::failure, 4, "E1: bad", "^E"));
         record.lineClassified(lineOf(LineClass::failure, 5, "E2: worse", "^E"));
         record.lineClassified(lineOf(LineClass::summary, 6, "Done", "^Done$"));
         record.lineClassified(lineOf(LineClass::unmatched, 7, "what"));
         record.logFinished("a.log", LogKind::file, 7);
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

}  // namespace
