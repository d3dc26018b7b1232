#include "runner/pipe_reader.h"

#include <cstring>
#include <memory>

namespace {

constexpr size_t kBufferSize = 1024;
// Once less room than this is left and no break has come, the buffer goes
// out as it is: a line longer than the buffer arrives in pieces.
constexpr size_t kMinimumRoom = 128;

bool isLineBreak(char c) { return c == '\n' || c == '\r'; }

}  // namespace

void readPipeLines(const PipeRead& read, LineHandler handler) {
  // One byte more for the NUL behind a full buffer.
  std::unique_ptr<char[]> storage(new char[kBufferSize + 1]);
  char* buffer = storage.get();
  size_t held = 0;
  size_t room = kBufferSize;
  // The last piece ended at a CR that was the last byte read: an LF that
  // comes next is the rest of that CR LF, which a read happened to split.
  bool crEnded = false;
  std::ptrdiff_t got = read(buffer, room);
  while (got > 0) {
    size_t fresh = static_cast<size_t>(got);
    if (crEnded) {
      crEnded = false;
      if (buffer[held] == '\n') {
        std::memmove(buffer + held, buffer + held + 1, --fresh);
        if (fresh == 0) {
          got = read(buffer + held, room);
          continue;
        }
      }
    }
    size_t end = held + fresh;
    buffer[end] = '\0';
    room -= fresh;
    // The held bytes hold no break, so the last break lies among the new
    // ones. Searching by length rather than as text sees past NUL bytes.
    size_t cut = end;
    for (size_t i = end; i > held; --i) {
      if (isLineBreak(buffer[i - 1])) {
        cut = i - 1;
        break;
      }
    }
    if (cut == end) {
      if (room >= kMinimumRoom) {
        held = end;
      } else {
        handler(buffer, end);
        held = 0;
        room = kBufferSize;
      }
    } else {
      size_t pieceEnd = cut;
      if (cut > 0 && isLineBreak(buffer[cut - 1]) && buffer[cut - 1] != buffer[cut]) {
        pieceEnd = cut - 1;
      }
      crEnded = pieceEnd == cut && cut + 1 == end && buffer[cut] == '\r';
      buffer[pieceEnd] = '\0';
      buffer[cut] = '\0';
      handler(buffer, pieceEnd);
      held = end - cut - 1;
      std::memmove(buffer, buffer + cut + 1, held);
      room = kBufferSize - held;
    }
    got = read(buffer + held, room);
  }
  if (held != 0) {
    buffer[held] = '\0';
    handler(buffer, held);
  }
}
