// The run record shared by two threads, as under -classifyoutput. Starts
// threads: ThreadSanitizer runs it.
#include <gtest/gtest.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "record/record_test_support.h"
#include "record/run_record.h"

namespace {

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
