// Scan mode: every message code at a line start with the number of lines
// that begin with it, in the count table's order.
#include <string>
#include <utility>
#include <vector>

#include "e2e_support.h"

namespace {

using ScanTest = E2ETest;

/// The order the count table lists keys in, worked out here from its rules:
/// 10 buckets to start, bucket = byte sum modulo the count, new keys at the
/// chain tail, and when keys / buckets exceeds 5 the chains are re-linked
/// into keys / 2 buckets, old buckets in order, each chain head to tail.
std::vector<std::string> tableOrder(const std::vector<std::string>& firstSeen) {
  std::vector<std::vector<std::string>> buckets(10);
  auto bucketOf = [](const std::string& key, size_t count) {
    unsigned sum = 0;
    for (unsigned char c : key) sum += c;
    return sum % count;
  };
  size_t entries = 0;
  for (const std::string& key : firstSeen) {
    buckets[bucketOf(key, buckets.size())].push_back(key);
    ++entries;
    if (entries / buckets.size() > 5) {
      std::vector<std::vector<std::string>> grown(entries / 2);
      for (const auto& chain : buckets) {
        for (const std::string& old : chain) grown[bucketOf(old, grown.size())].push_back(old);
      }
      buckets = std::move(grown);
    }
  }
  std::vector<std::string> order;
  for (const auto& chain : buckets) order.insert(order.end(), chain.begin(), chain.end());
  return order;
}

TEST_F(ScanTest, CountsTheCodeAtEachLineStart) {
  struct Row {
    const char* name;
    std::string log;
    std::string listing;
  };
  const Row rows[] = {
      {"table order, not file order", "E1: a\nI1: b\nE1: c\nW1: d\n", "I1\t1\nW1\t1\nE1\t2\n"},
      {"lines that hold no code",
       " E1: space first\ne12: lower case\nX12: other letter\nE: no digits\nE12x: no colon\n"
       "E12 : blank before the colon\n",
       ""},
      {"leading zeros stay", "W0042: a\nW42: b\nW0042: c\n", "W0042\t2\nW42\t1\n"},
      {"only the first code of a line", "E5: see W7: and I9:\n", "E5\t1\n"},
      {"nothing after the colon, any line end", "I7:\r\nI7:\rI7:", "I7\t3\n"},
      {"an empty log", "", ""},
  };
  for (const Row& row : rows) {
    writeFile("build.log", row.log);
    RunResult result = run({"-scan", "build.log"});
    EXPECT_EQ(result.status, 0) << row.name;
    EXPECT_EQ(result.out, textMode("Scanning build.log...\n" + row.listing)) << row.name;
    EXPECT_EQ(result.err, "") << row.name;
  }
}

TEST_F(ScanTest, ACodeOnAHundredLinesPrintsOnce) {
  std::string log;
  for (int i = 0; i < 100; ++i) log += "E00040012: line " + std::to_string(i) + "\n";
  writeFile("build.log", log);
  RunResult result = run({"-scan", "build.log"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("Scanning build.log...\nE00040012\t100\n"));
}

TEST_F(ScanTest, ManyCodesFollowTheGrownTable) {
  // 200 distinct codes make the table grow twice (at 60 and 180 keys);
  // each code i appears i % 4 + 1 times, spread over the file.
  std::vector<std::string> codes;
  const char letters[] = {'E', 'I', 'W'};
  for (int i = 0; i < 200; ++i) {
    codes.push_back(letters[i % 3] + std::to_string(i * 37 % 1000));
  }
  std::string log;
  for (int pass = 0; pass < 4; ++pass) {
    for (int i = 0; i < 200; ++i) {
      if (i % 4 >= pass) log += codes[static_cast<size_t>(i)] + ": message\n";
    }
  }
  writeFile("build.log", log);
  std::string expected = "Scanning build.log...\n";
  for (const std::string& code : tableOrder(codes)) {
    size_t i = 0;
    while (codes[i] != code) ++i;
    expected += code + "\t" + std::to_string(i % 4 + 1) + "\n";
  }
  RunResult result = run({"-scan", "build.log"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode(expected));

  // 59 codes keep the start table, the 60th re-links it.
  for (size_t count : {59, 60}) {
    std::vector<std::string> some(codes.begin(), codes.begin() + static_cast<long>(count));
    std::string text, listing = "Scanning build.log...\n";
    for (const std::string& code : some) text += code + ":\n";
    for (const std::string& code : tableOrder(some)) listing += code + "\t1\n";
    writeFile("build.log", text);
    result = run({"-scan", "build.log"});
    EXPECT_EQ(result.out, textMode(listing)) << count << " codes";
  }
}

TEST_F(ScanTest, ACodeAfterAControlZByteIsCounted) {
  writeFile("build.log", "E1: a\x1a\n\x1a\nE2: b\r\nW3:\x1a\nE2: c");
  std::string listing = "Scanning build.log...\n";
  for (const std::string& code : tableOrder({"E1", "E2", "W3"})) {
    listing += code + (code == "E2" ? "\t2\n" : "\t1\n");
  }
  RunResult result = run({"-scan", "build.log"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode(listing));
}

TEST_F(ScanTest, AByteOrderMarkHidesNoCode) {
  std::string listing = "Scanning build.log...\n";
  for (const std::string& code : tableOrder({"E00040012", "W1"})) listing += code + "\t1\n";
  const std::u16string text = u"E00040012: Cannot open b.h\r\nW1: \u00e9\r\n";
  const std::string logs[] = {
      "\xEF\xBB\xBF"
      "E00040012: Cannot open b.h\r\nW1: x\r\n",
      utf16WithMark(text), utf16WithMark(text, true)};
  for (const std::string& log : logs) {
    writeFile("build.log", log);
    RunResult result = run({"-scan", "build.log"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, textMode(listing)) << log;
  }
}

TEST_F(ScanTest, ScanModeReadsNoRulesAndWinsOverTheOtherModes) {
  writeFile("build.log", "W1: x\n");
  const std::vector<std::string> commandLines[] = {
      {"-scan", "build.log", "-exec", "no-such-program"},
      {"-cfg", "missing.xml", "-scan", "build.log"},
      {"-log", "other.log", "-scan", "build.log", "-debug"},
  };
  for (const auto& args : commandLines) {
    RunResult result = run(args);
    EXPECT_EQ(result.status, 0) << args[0];
    EXPECT_EQ(result.out, textMode("Scanning build.log...\nW1\t1\n")) << args[0];
  }
}

TEST_F(ScanTest, TheScanListsCodesInTableOrder) {
  const std::string digits300(300, '7');
  struct Row {
    const char* name;
    std::string log;
    std::string listing;
  };
  const Row rows[] = {
      // E12 and E21 share bucket 8 (69 + 49 + 50 = 168): first seen first.
      {"one bucket keeps the order of first sight", "E21: b\nE12: a\nE21: c\n", "E21\t2\nE12\t1\n"},
      {"buckets in index order", "W1:\nE1:\nI1:\nE2:\nI2:\nW2:\n",
       "I1\t1\nI2\t1\nW1\t1\nW2\t1\nE1\t1\nE2\t1\n"},
      {"a long code, a long line", "E" + digits300 + ": x\nE7:" + std::string(1000, 'x') + "\n",
       "E7\t1\nE" + digits300 + "\t1\n"},
      {"codes and high bytes", "I5:\xff\n\xffI5:\nI5:\n", "I5\t2\n"},
      {"line ends of every kind", "E3:\r\r\nE3:\n\rW3:", "E3\t2\nW3\t1\n"},
  };
  for (const Row& row : rows) {
    writeFile("scan.log", row.log);
    RunResult result = run({"-scan", "scan.log", "-debug", "-nopurge"});
    EXPECT_EQ(result.status, 0) << row.name;
    EXPECT_EQ(result.out, textMode("Scanning scan.log...\n" + row.listing)) << row.name;
    EXPECT_EQ(result.err, "") << row.name;
  }

  writeFile("%s%d.log", "E1: x\n");
  RunResult result = run({"-scan", "%s%d.log"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("Scanning %s%d.log...\nE1\t1\n"));
}

TEST_F(ScanTest, AMissingLogEndsTheRun) {
  RunResult result = run({"-scan", "missing.log"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, textMode("Scanning missing.log...\nFailed to open \"missing.log\"\n"));
  EXPECT_EQ(result.err, "");
}

}  // namespace
