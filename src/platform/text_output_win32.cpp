#include <io.h>
#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/text_output.h"

bool writeTextLine(std::FILE* stream, const char* prefix, const char* data, size_t length) {
  // The runtime's text mode would turn the LF of a CR LF the tool wrote into
  // a second CR LF, and writes in chunks of its own; the line is converted
  // here and written past it in one call.
  thread_local std::string line;
  line.assign(prefix);
  line.reserve(line.size() + length + length / 8 + 2);
  for (size_t i = 0; i < length; ++i) {
    if (data[i] == '\n' && (i == 0 || data[i - 1] != '\r')) line += '\r';
    line += data[i];
  }
  line += "\r\n";

  _lock_file(stream);
  std::fflush(stream);
  HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  bool written = file != INVALID_HANDLE_VALUE;
  for (size_t at = 0; written && at < line.size();) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(line.size() - at, 1u << 30));
    DWORD put = 0;
    if (!WriteFile(file, line.data() + at, chunk, &put, nullptr) || put == 0) written = false;
    at += put;
  }
  _unlock_file(stream);
  return written;
}

void bufferForThroughput(std::FILE* stream) {
  // A buffer of our own: given none, the C library keeps its own size.
  static char buffer[kThroughputBuffer];
  if (_isatty(_fileno(stream)) == 0) std::setvbuf(stream, buffer, _IOFBF, sizeof buffer);
}

// The runtime has no switch for it: its locks stay.
void useFromOneThread(std::FILE* /*stream*/) {}

// The runtime the build links declares no unlocked fwrite: its lock stays.
void writeLineUnlocked(std::FILE* stream, const char* data, size_t length) {
  std::fwrite(data, 1, length, stream);
  std::fputc('\n', stream);
}
