#include <unistd.h>
#if defined(__GLIBC__)
#include <stdio_ext.h>
#endif

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/text_output.h"

bool writeTextLine(std::FILE* stream, const char* prefix, const char* data, size_t length) {
  // Kept from call to call: an echo costs no allocation once lines stop growing.
  thread_local std::string line;
  size_t prefixLength = std::strlen(prefix);
  line.resize(prefixLength + length + 1);
  std::memcpy(&line[0], prefix, prefixLength);
  std::memcpy(&line[prefixLength], data, length);
  line.back() = '\n';

  flockfile(stream);
  std::fflush(stream);
  bool written = true;
  int fd = fileno(stream);
  for (size_t at = 0; written && at < line.size();) {
    ssize_t put = write(fd, line.data() + at, line.size() - at);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) written = false;
    if (put > 0) at += static_cast<size_t>(put);
  }
  funlockfile(stream);
  return written;
}

void bufferForThroughput(std::FILE* stream) {
  // A buffer of our own: given none, the C library keeps its own size.
  static char buffer[kThroughputBuffer];
  if (isatty(fileno(stream)) == 0) std::setvbuf(stream, buffer, _IOFBF, sizeof buffer);
}

void useFromOneThread(std::FILE* stream) {
#if defined(__GLIBC__)
  __fsetlocking(stream, FSETLOCKING_BYCALLER);
#else
  (void)stream;
#endif
}

void writeLineUnlocked(std::FILE* stream, const char* data, size_t length) {
#if defined(__GLIBC__)
  fwrite_unlocked(data, 1, length, stream);
#else
  std::fwrite(data, 1, length, stream);
#endif
  putc_unlocked('\n', stream);
}
