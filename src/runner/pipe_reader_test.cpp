#include "runner/pipe_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// What one scripted read returns: bytes (taken in reads of at most the room
// offered, the rest left for the next read), or a failed read.
struct Read {
  std::string bytes;
  bool fails = false;
};

std::vector<std::string> delivered;
bool terminated = true;

void collect(const char* piece, size_t length) {
  delivered.emplace_back(piece, length);
  if (piece[length] != '\0') terminated = false;
}

struct Outcome {
  std::vector<std::string> pieces;
  std::vector<size_t> rooms;  // offered to each read, in order
};

Outcome runScript(std::vector<Read> script) {
  delivered.clear();
  terminated = true;
  Outcome outcome;
  size_t next = 0;
  readPipeLines(
      [&](char* into, size_t room) -> std::ptrdiff_t {
        outcome.rooms.push_back(room);
        if (next == script.size()) return 0;
        Read& read = script[next];
        if (read.fails) {
          ++next;
          return -1;
        }
        size_t taken = std::min(room, read.bytes.size());
        std::memcpy(into, read.bytes.data(), taken);
        read.bytes.erase(0, taken);
        if (read.bytes.empty()) ++next;
        return static_cast<std::ptrdiff_t>(taken);
      },
      collect);
  outcome.pieces = delivered;
  EXPECT_TRUE(terminated) << "a piece was not followed by a NUL";
  return outcome;
}

std::string bytes(const char* text, size_t length) { return std::string(text, length); }

TEST(PipeReaderTest, CutsPiecesAtTheLastLineBreak) {
  struct Row {
    const char* name;
    std::vector<Read> reads;
    std::vector<std::string> pieces;
  };
  const Row rows[] = {
      {"inner CR LF stays, the last pair goes", {{"a\r\nb\r\n"}}, {"a\r\nb"}},
      {"a doubled LF is not a pair", {{"a\n\n"}}, {"a\n"}},
      {"a doubled CR is not a pair", {{"a\r\r"}}, {"a\r"}},
      {"LF CR is a pair", {{"a\n\r"}}, {"a"}},
      {"a pair behind a lone break", {{"a\n\rb\n"}}, {"a\n\rb"}},
      {"CR LF split between reads", {{"x\r"}, {"\ny"}}, {"x", "y"}},
      {"a lone break is an empty piece", {{"\n"}}, {""}},
      {"a lone pair is an empty piece", {{"\r\n"}}, {""}},
      {"a lone CR ends a line", {{"a\rb\r"}}, {"a\rb"}},
      {"one line per read", {{"one\n"}, {"two\n"}}, {"one", "two"}},
      {"a line over two reads", {{"par"}, {"tial\n"}}, {"partial"}},
      {"the rest comes at the end", {{"a\nb"}}, {"a", "b"}},
      {"an empty stream delivers nothing", {}, {}},
      {"a failed first read delivers nothing", {{"", true}, {"never\n"}}, {}},
      {"a failed read ends the stream", {{"abc"}, {"", true}, {"never\n"}}, {"abc"}},
      {"NULs are delivered", {{bytes("a\0b\nc\0", 6)}}, {bytes("a\0b", 3), bytes("c\0", 2)}},
      {"a break behind a NUL is found", {{bytes("\0\nz", 3)}}, {bytes("\0", 1), "z"}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(runScript(row.reads).pieces, row.pieces) << row.name;
  }
}

TEST(PipeReaderTest, AnLfAfterASplitCrEndsNoSecondLine) {
  struct Row {
    const char* name;
    std::vector<Read> reads;
    std::vector<std::string> pieces;
  };
  const Row rows[] = {
      {"the LF alone in its read", {{"x\r"}, {"\n"}, {"y\r\n"}}, {"x", "y"}},
      {"an LF at the end of the stream", {{"x\r"}, {"\n"}}, {"x"}},
      {"a second LF is a line", {{"x\r"}, {"\n\ny\n"}}, {"x", "\ny"}},
      {"CR CR, then LF", {{"x\r\r"}, {"\ny\n"}}, {"x\r", "y"}},
      {"only right behind the CR", {{"x\ry"}, {"\nz\n"}}, {"x", "y\nz"}},
      {"not behind an LF CR pair", {{"x\n\r"}, {"\ny\n"}}, {"x", "\ny"}},
      {"not behind an LF", {{"x\n"}, {"\ny\n"}}, {"x", "\ny"}},
      {"a later LF is its own", {{"x\r"}, {"y"}, {"\n"}}, {"x", "y"}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(runScript(row.reads).pieces, row.pieces) << row.name;
  }
}

TEST(PipeReaderTest, LongTextWithoutBreaksGoesOutWhenTheBufferIsNearlyFull) {
  const std::string a896(896, 'a'), a897(897, 'a'), z1024(1024, 'z'), x1023(1023, 'x');
  struct Row {
    const char* name;
    std::vector<Read> reads;
    std::vector<std::string> pieces;
  };
  const Row rows[] = {
      {"896 bytes wait for more", {{a896}, {"b\n"}}, {a896 + "b"}},
      {"897 bytes go at once", {{a897}, {"b\n"}}, {a897, "b"}},
      {"a full buffer goes at once", {{z1024 + "\n"}}, {z1024, ""}},
      {"a break as the 1024th byte", {{x1023 + "\n"}}, {x1023}},
      {"2500 bytes and the end",
       {{std::string(2500, 'q')}},
       {std::string(1024, 'q'), std::string(1024, 'q'), std::string(452, 'q')}},
      {"3000 bytes and the end",
       {{std::string(3000, 'q')}},
       {std::string(1024, 'q'), std::string(1024, 'q'), std::string(952, 'q')}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(runScript(row.reads).pieces, row.pieces) << row.name;
  }
}

TEST(PipeReaderTest, TheHeldTailLimitsTheNextRead) {
  // 23 bytes and a break: the 1000 bytes behind it stay, and the next read
  // may only fill the 24 bytes left, which fills the buffer.
  Outcome outcome =
      runScript({{std::string(23, 'x') + "\n" + std::string(1000, 'y')}, {std::string(50, 'z')}});
  EXPECT_EQ(outcome.pieces, (std::vector<std::string>{std::string(23, 'x'),
                                                      std::string(1000, 'y') + std::string(24, 'z'),
                                                      std::string(26, 'z')}));
  EXPECT_EQ(outcome.rooms, (std::vector<size_t>{1024, 24, 1024, 998}));

  outcome =
      runScript({{std::string(1000, 'x') + "\n" + std::string(23, 'y')}, {std::string(30, 'z')}});
  EXPECT_EQ(outcome.pieces,
            (std::vector<std::string>{std::string(1000, 'x'),
                                      std::string(23, 'y') + std::string(30, 'z')}));
  EXPECT_EQ(outcome.rooms, (std::vector<size_t>{1024, 1001, 971}));
}

TEST(PipeReaderTest, EveryByteButTheCutBreaksArrives) {
  // Many short lines in reads that fall anywhere: joined with LF again, the
  // pieces give back the stream.
  std::string stream;
  for (int i = 0; i < 2000; ++i) stream += "line " + std::to_string(i) + "\n";
  std::vector<Read> reads;
  for (size_t at = 0; at < stream.size(); at += 37) reads.push_back({stream.substr(at, 37)});
  std::string joined;
  for (const std::string& piece : runScript(reads).pieces) joined += piece + "\n";
  EXPECT_EQ(joined, stream);
}

}  // namespace
