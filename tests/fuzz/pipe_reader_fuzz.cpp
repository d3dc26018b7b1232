// libFuzzer target for the pipe cutter: the first bytes choose the sizes of
// the reads and whether the stream ends in a failed read, the rest is what
// the tool writes. Whatever the reads, every byte received must arrive, in
// order, except the line break that ends a piece (one break, or a CR LF or
// LF CR pair); a piece that ends without a break is a full buffer holding
// none, or the rest of the stream; each piece is at most 1024 bytes and
// followed by a NUL; and a stream without long runs between breaks gives
// the lines it holds whatever the reads.
#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

#include "fuzz_support.h"
#include "runner/pipe_reader.h"

namespace {

constexpr size_t kBufferSize = 1024;
constexpr size_t kFlushAbove = 896;

bool isBreak(char c) { return c == '\r' || c == '\n'; }

std::vector<std::string> pieces;

void collect(const char* piece, size_t length) {
  if (length > kBufferSize || piece[length] != '\0') std::abort();
  pieces.emplace_back(piece, length);
}

/// The non-empty runs between breaks.
std::vector<std::string> runsOf(const std::vector<std::string>& texts) {
  std::vector<std::string> runs;
  for (const std::string& text : texts) {
    std::string current;
    for (char c : text) {
      if (!isBreak(c)) {
        current += c;
      } else if (!current.empty()) {
        runs.push_back(current);
        current.clear();
      }
    }
    if (!current.empty()) runs.push_back(current);
  }
  return runs;
}

/// The dropped breaks are not known, only their possible lengths: follows
/// every way of reading the pieces back into the stream.
bool piecesRebuildTheStream(const std::string& stream) {
  std::set<size_t> positions = {0};
  for (size_t n = 0; n < pieces.size(); ++n) {
    const std::string& piece = pieces[n];
    bool flushable =
        piece.size() > kFlushAbove && std::none_of(piece.begin(), piece.end(), isBreak);
    std::set<size_t> after;
    for (size_t at : positions) {
      if (stream.compare(at, piece.size(), piece) != 0) continue;
      size_t end = at + piece.size();
      if (end == stream.size() || flushable) after.insert(end);
      if (end < stream.size() && isBreak(stream[end])) {
        after.insert(end + 1);
        if (end + 1 < stream.size() && isBreak(stream[end + 1]) && stream[end] != stream[end + 1]) {
          after.insert(end + 2);
        }
      }
    }
    positions = after;
  }
  return positions.count(stream.size()) != 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InputBytes input(data, size);
  uint8_t mode = input.take();
  Steps steps(input.take());
  std::string written = input.rest();
  // A failed read ends the stream where it comes.
  size_t failAt = mode % 2 == 1 ? steps.next() % (written.size() + 1) : written.size();

  pieces.clear();
  size_t at = 0;
  readPipeLines(
      [&](char* into, size_t room) -> std::ptrdiff_t {
        if (room == 0 || room > kBufferSize) std::abort();
        if (at == failAt && failAt < written.size()) return -1;
        uint32_t step = steps.next();
        size_t want = step % 4 == 0 ? room : 1 + step / 4 % 200;
        size_t count = std::min({room, want, failAt - at});
        std::memcpy(into, written.data() + at, count);
        at += count;
        return static_cast<std::ptrdiff_t>(count);
      },
      collect);
  std::string stream = written.substr(0, failAt);
  if (!piecesRebuildTheStream(stream)) std::abort();
  size_t longestRun = 0;
  for (size_t run = 0, i = 0; i < stream.size(); ++i) {
    run = isBreak(stream[i]) ? 0 : run + 1;
    longestRun = std::max(longestRun, run);
  }
  if (longestRun <= kFlushAbove && runsOf(pieces) != runsOf({stream})) std::abort();
  return 0;
}
