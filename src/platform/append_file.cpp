#include "platform/append_file.h"

#include <cstring>
#include <string>

namespace {

bool writeAll(const ChunkWrite& write, const char* bytes, size_t count, size_t maxChunk) {
  while (count > 0) {
    std::ptrdiff_t put = write(bytes, count < maxChunk ? count : maxChunk);
    if (put <= 0) return false;
    bytes += put;
    count -= static_cast<size_t>(put);
  }
  return true;
}

}  // namespace

bool writeLineInChunks(const ChunkWrite& write, const char* data, size_t length,
                       const char* lineEnd, size_t maxChunk) {
  // Everything but the last chunk goes straight from data; the last chunk
  // is copied together with the line end, so that the two are one write.
  size_t lineEndLength = std::strlen(lineEnd);
  size_t total = length + lineEndLength;
  size_t head = total > maxChunk ? total - maxChunk : 0;
  if (!writeAll(write, data, head, maxChunk)) return false;
  std::string tail(data + head, length - head);
  tail.append(lineEnd, lineEndLength);
  return writeAll(write, tail.data(), tail.size(), maxChunk);
}
