#include "scan/hash_set.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

int byteSum(const std::string& key) {
  int sum = 0;
  for (unsigned char byte : key) sum += byte;
  return sum;
}

void stableSortByBucket(std::vector<std::string>& order, int buckets) {
  std::stable_sort(order.begin(), order.end(), [buckets](const auto& a, const auto& b) {
    return byteSum(a) % buckets < byteSum(b) % buckets;
  });
}

// The order the table must list keys in, worked out step by step without
// the table: a new key joins the tail of its bucket's run; a growth visits
// the keys in table order and appends each to its new chain, which is a
// stable sort of the table order by the new bucket.
std::vector<std::string> modelOrder(const std::vector<std::string>& insertions) {
  std::vector<std::string> order;
  int buckets = 10;
  for (const std::string& key : insertions) {
    if (std::find(order.begin(), order.end(), key) != order.end()) continue;
    order.push_back(key);
    stableSortByBucket(order, buckets);
    int entries = static_cast<int>(order.size());
    if (entries / buckets > 5) {
      buckets = entries / 2;
      stableSortByBucket(order, buckets);
    }
  }
  return order;
}

// Single-byte keys from..to, whose bucket is simply their value modulo the count.
std::vector<std::string> byteKeys(int from, int to, int step) {
  std::vector<std::string> keys;
  for (int value = from; value != to + step; value += step) {
    keys.push_back(std::string(1, static_cast<char>(value)));
  }
  return keys;
}

void addAll(HashSet& set, const std::vector<std::string>& keys) {
  for (const std::string& key : keys) set.add(key.c_str());
}

TEST(HashSetTest, ListsKeysByBucketThenByFirstAddition) {
  struct Row {
    const char* name;
    std::vector<std::string> added;
    std::vector<std::string> keys;
  };
  const Row rows[] = {
      // Sums 118, 122, 136: buckets 8, 2, 6.
      {"three codes", {"E1", "I1", "W1"}, {"I1", "W1", "E1"}},
      {"repeats keep the first place", {"E1", "I1", "E1", "W1"}, {"I1", "W1", "E1"}},
      {"anagrams share a bucket in order", {"E21", "W9", "E12"}, {"W9", "E21", "E12"}},
      {"the reverse anagram order", {"E12", "E21"}, {"E12", "E21"}},
      // 0xE9 is 233 (bucket 3) as an unsigned byte, -23 as a signed one.
      {"high bytes count as 128..255", {"\xe9", "\x01\x01"}, {"\x01\x01", "\xe9"}},
      {"an empty key sums to 0", {"\x05", ""}, {"", "\x05"}},
      {"nothing added", {}, {}},
  };
  for (const Row& row : rows) {
    HashSet set;
    addAll(set, row.added);
    EXPECT_EQ(set.keys(), row.keys) << row.name;
    EXPECT_EQ(set.entryCount(), static_cast<int32_t>(row.keys.size())) << row.name;
  }
}

TEST(HashSetTest, AddReturnsThePreviousCount) {
  HashSet set;
  EXPECT_EQ(set.add("E123"), 0);
  EXPECT_EQ(set.add("E123"), 1);
  EXPECT_EQ(set.add("E123"), 2);
  EXPECT_EQ(set.countOf("E123"), 3);
  EXPECT_EQ(set.countOf("e123"), 0);
  EXPECT_EQ(set.countOf("E12"), 0);
  EXPECT_EQ(set.countOf("W0042"), 0);
  set.add("W0042");
  EXPECT_EQ(set.countOf("W42"), 0);
  EXPECT_EQ(set.countOf("W0042"), 1);
  EXPECT_EQ(set.entryCount(), 2);
}

TEST(HashSetTest, GrowsToThirtyBucketsAtTheSixtiethKey) {
  HashSet set;
  std::vector<std::string> keys = byteKeys(1, 60, 1);
  for (size_t i = 0; i < 59; ++i) set.add(keys[i].c_str());
  EXPECT_EQ(set.bucketCount(), 10);
  // Bucket r holds r, r+10, r+20, ... in order of addition.
  std::vector<std::string> expected;
  for (int bucket = 0; bucket < 10; ++bucket) {
    for (int value = bucket == 0 ? 10 : bucket; value <= 59; value += 10) {
      expected.push_back(std::string(1, static_cast<char>(value)));
    }
  }
  EXPECT_EQ(set.keys(), expected);

  set.add(keys[59].c_str());
  EXPECT_EQ(set.bucketCount(), 30);
  EXPECT_EQ(set.entryCount(), 60);
  expected.clear();
  for (int bucket = 0; bucket < 30; ++bucket) {
    int low = bucket == 0 ? 30 : bucket;
    expected.push_back(std::string(1, static_cast<char>(low)));
    expected.push_back(std::string(1, static_cast<char>(low + 30)));
  }
  EXPECT_EQ(set.keys(), expected);
  for (const std::string& key : keys) EXPECT_EQ(set.countOf(key.c_str()), 1);
}

TEST(HashSetTest, AGrowthKeepsEachChainInItsOldOrder) {
  // Added 60 down to 1: each new chain takes its keys from one old chain,
  // high value first, and keeps them so.
  HashSet set;
  addAll(set, byteKeys(60, 1, -1));
  ASSERT_EQ(set.bucketCount(), 30);
  std::vector<std::string> expected;
  for (int bucket = 0; bucket < 30; ++bucket) {
    int low = bucket == 0 ? 30 : bucket;
    expected.push_back(std::string(1, static_cast<char>(low + 30)));
    expected.push_back(std::string(1, static_cast<char>(low)));
  }
  EXPECT_EQ(set.keys(), expected);

  // Keys added after the growth go behind the re-linked ones.
  set.add("\x1e\x01");  // 31: bucket 1, behind 31 and 1
  set.add("\x01");      // present: nothing moves
  EXPECT_EQ(set.keys()[2], "\x1f");
  EXPECT_EQ(set.keys()[3], "\x01");
  EXPECT_EQ(set.keys()[4], "\x1e\x01");
}

TEST(HashSetTest, TriplesAtEachGrowthAndKeepsTheModelOrder) {
  struct Step {
    int keys;
    int buckets;
  };
  const Step steps[] = {{59, 10}, {60, 30}, {179, 30}, {180, 90}, {539, 90}, {540, 270}};
  HashSet set;
  std::vector<std::string> added;
  int next = 0;
  for (const Step& step : steps) {
    while (static_cast<int>(added.size()) < step.keys) {
      // Codes as scan mode sees them, spread unevenly over the buckets.
      std::string code = std::string(1, "EIW"[next % 3]) + std::to_string(next * 7 % 1000);
      ++next;
      if (set.countOf(code.c_str()) != 0) continue;
      set.add(code.c_str());
      added.push_back(code);
    }
    EXPECT_EQ(set.bucketCount(), step.buckets) << step.keys << " keys";
    EXPECT_EQ(set.keys(), modelOrder(added)) << step.keys << " keys";
  }
  for (const std::string& code : added) set.add(code.c_str());
  for (const std::string& code : added) EXPECT_EQ(set.countOf(code.c_str()), 2) << code;
  EXPECT_EQ(set.entryCount(), 540);
}

TEST(HashSetTest, ForEachGivesKeysInTableOrderWithTheirCounts) {
  HashSet set;
  addAll(set, {"E21", "W9", "E12", "W9", "I1", "E21", "W9"});
  std::vector<std::string> keys;
  std::vector<int32_t> counts;
  set.forEach([&](const std::string& key, int32_t count) {
    keys.push_back(key);
    counts.push_back(count);
  });
  EXPECT_EQ(keys, set.keys());
  EXPECT_EQ(keys, (std::vector<std::string>{"I1", "W9", "E21", "E12"}));
  EXPECT_EQ(counts, (std::vector<int32_t>{1, 3, 2, 1}));
}

// Codes such as E123456 have few byte sums, so their chains grow long. The
// order must still be the one the chains give, here worked out with one
// list per bucket, and every count must be found.
TEST(HashSetTest, ManyCodesOfFewByteSums) {
  struct Row {
    int distinct;
    int additions;
  };
  const Row rows[] = {{1000, 3000}, {30000, 30000}, {20000, 60000}};
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.distinct) + " codes");
    HashSet set;
    std::vector<std::vector<std::string>> buckets(10);
    std::vector<int> counts(static_cast<size_t>(row.distinct), 0);
    int entries = 0;
    for (int i = 0; i < row.additions; ++i) {
      int number = static_cast<int>((i * 7919LL) % row.distinct);
      char code[16];
      std::snprintf(code, sizeof code, "E%06d", number);
      EXPECT_EQ(set.add(code), counts[static_cast<size_t>(number)]++);
      if (counts[static_cast<size_t>(number)] > 1) continue;
      buckets[static_cast<size_t>(byteSum(code)) % buckets.size()].push_back(code);
      ++entries;
      if (entries / static_cast<int>(buckets.size()) <= 5) continue;
      std::vector<std::vector<std::string>> grown(static_cast<size_t>(entries / 2));
      for (const auto& chain : buckets) {
        for (const std::string& key : chain) {
          grown[static_cast<size_t>(byteSum(key)) % grown.size()].push_back(key);
        }
      }
      buckets = std::move(grown);
    }
    std::vector<std::string> expected;
    for (const auto& chain : buckets) expected.insert(expected.end(), chain.begin(), chain.end());
    EXPECT_EQ(set.bucketCount(), static_cast<int32_t>(buckets.size()));
    EXPECT_EQ(set.entryCount(), row.distinct);
    EXPECT_EQ(set.keys(), expected);
    for (int number = 0; number < row.distinct; ++number) {
      char code[16];
      std::snprintf(code, sizeof code, "E%06d", number);
      ASSERT_EQ(set.countOf(code), counts[static_cast<size_t>(number)]) << code;
    }
    EXPECT_EQ(set.countOf("E"), 0);
    EXPECT_EQ(set.countOf("E0000000"), 0);
    EXPECT_EQ(set.countOf("W000001"), 0);
  }
}

}  // namespace
