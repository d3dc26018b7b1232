// Reading ahead hands out the source's bytes in order, whatever the sizes
// of the source's reads, of the blocks and of the consumer's reads, and
// then the end for good.
#include "analysis/read_ahead.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

TEST(ReadAheadTest, HandsOutTheBytesInOrderThenTheEnd) {
  struct Row {
    size_t size;       // bytes in the source
    size_t sourceMax;  // most the source gives per read
    size_t block;      // the read-ahead block
    size_t room;       // what the consumer asks for
  };
  const Row rows[] = {
      {0, 7, 4, 5},           // empty source
      {1, 7, 4, 5},           // less than a block
      {64, 64, 16, 16},       // whole blocks, read whole
      {100, 3, 16, 5},        // short source reads inside each block
      {100, 64, 16, 1},       // the consumer takes a byte at a time
      {1000, 1000, 7, 1000},  // the consumer asks for more than a block
      {5000, 512, 256, 300},  // room across block edges
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.size << " bytes, source " << row.sourceMax
                                      << ", block " << row.block << ", room " << row.room);
    std::string source;
    for (size_t i = 0; i < row.size; ++i) source += static_cast<char>('a' + i * 7 % 26);
    size_t at = 0;
    int calls = 0;
    LogRead read = [&](char* into, size_t room) {
      ++calls;
      size_t count = std::min({room, row.sourceMax, source.size() - at});
      source.copy(into, count, at);
      at += count;
      return count;
    };
    std::string got;
    {
      ReadAhead ahead(read, row.block);
      std::string buffer(row.room, '\0');
      while (size_t count = ahead.read(&buffer[0], row.room)) got.append(buffer, 0, count);
      EXPECT_EQ(ahead.read(&buffer[0], row.room), 0u) << "the end stays the end";
    }
    EXPECT_EQ(got, source);
    EXPECT_EQ(at, source.size());
    EXPECT_GE(calls, 1);
  }
}

// A reader that stops early leaves the helper waiting with blocks ready;
// destroying it must stop the helper, not hang.
TEST(ReadAheadTest, StopsWhenTheConsumerLeavesEarly) {
  LogRead endless = [](char* into, size_t room) {
    std::fill(into, into + room, 'x');
    return room;
  };
  ReadAhead ahead(endless, 8);
  char byte = 0;
  EXPECT_EQ(ahead.read(&byte, 1), 1u);
  EXPECT_EQ(byte, 'x');
}

}  // namespace
