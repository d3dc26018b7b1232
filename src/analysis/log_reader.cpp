// Lines are found by scanning large blocks with memchr instead of reading a
// byte at a time. The block buffer doubles as the line buffer: a line that
// runs past the end of the block is moved to the front and the block is
// refilled behind it, doubling the buffer only when one line fills it whole.
// A line is handed out in place, its line end overwritten by the NUL, so a
// line costs no allocation and no copy. The next CR is remembered across
// lines, so files with LF line ends pay one memchr over each block for CR.
// The byte-order mark is looked for once, in the first block; only a UTF-16
// file pays for decoding.
#include "analysis/log_reader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <utility>

#include "analysis/line_classifier.h"
#include "analysis/read_ahead.h"
#include "analysis/utf16_decoder.h"
#include "base/fatal.h"
#include "platform/file_system.h"
#include "record/run_record.h"

LogReader::LogReader(std::FILE* file, const char* path)
    : LogReader([file](char* into, size_t room) { return std::fread(into, 1, room, file); }, path,
                kDefaultBlockSize, ReadAhead::pays()) {}

LogReader::LogReader(LogRead read, const char* path, size_t blockSize, bool readAhead)
    : read_(std::move(read)), path_(path), blockSize_(std::max(blockSize, size_t{4})) {
  if (!readAhead) return;
  // Without a thread or the memory for its blocks, the file is read here.
  try {
    readAhead_ = std::make_unique<ReadAhead>(read_, blockSize_ / 2);
  } catch (const std::exception&) {
    return;
  }
  read_ = [ahead = readAhead_.get()](char* into, size_t room) { return ahead->read(into, room); };
}

LogReader::~LogReader() { std::free(buffer_); }

bool LogReader::fill() {
  if (atEnd_) return false;
  // A remembered CR behind the line, or "no CR up to the end", goes stale.
  if (crKnown_ && (nextCr_ < start_ || nextCr_ >= end_)) crKnown_ = false;
  if (start_ > 0) {
    // Keep the unfinished line, moved to the front.
    std::memmove(buffer_, buffer_ + start_, end_ - start_);
    bufferStart_ += start_;
    end_ -= start_;
    if (crKnown_) nextCr_ -= start_;
    start_ = 0;
  }
  if (capacity_ - end_ < blockSize_ / 2) {
    // One byte more than the data always stays free for the closing NUL.
    size_t grown = capacity_ == 0 ? blockSize_ + 1 : (capacity_ - 1) * 2 + 1;
    char* bigger = static_cast<char*>(std::realloc(buffer_, grown));
    if (bigger == nullptr) {
      exitWithError("ERROR: Not enough memory for a line of %llu bytes in \"%s\"\n",
                    static_cast<unsigned long long>(end_), path_);
    }
    buffer_ = bigger;
    capacity_ = grown;
  }
  size_t room = capacity_ - 1 - end_;
  size_t got = utf16_ ? utf16_->decode(buffer_ + end_, room) : read_(buffer_ + end_, room);
  // The line ends the helper found are those of the encoded bytes.
  if (utf16_ && readAhead_) {
    readAhead_->lineEnds().clear();
    readAhead_->nuls().clear();
  }
  if (got == 0) {
    atEnd_ = true;
    return false;
  }
  end_ += got;
  return started_ || readStart();
}

bool LogReader::readStart() {
  started_ = true;
  // A mark cut by a short first read still counts.
  while (end_ < 3) {
    size_t got = read_(buffer_ + end_, capacity_ - 1 - end_);
    if (got == 0) break;
    end_ += got;
  }
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(buffer_);
  if (end_ >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    start_ = 3;
    return true;
  }
  bool littleEndian = end_ >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE;
  bool bigEndian = end_ >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF;
  if (!littleEndian && !bigEndian) return true;
  // What was read after the mark is the decoder's first input.
  utf16_ = std::make_unique<Utf16Decoder>(read_, bigEndian, buffer_ + 2, end_ - 2, blockSize_);
  end_ = utf16_->decode(buffer_, capacity_ - 1);
  if (end_ == 0) {
    atEnd_ = true;
    return false;
  }
  return true;
}

char* LogReader::findLineEnd(size_t from) {
  if (readAhead_ && !utf16_) {
    // The helper found them.
    uint64_t lineEnd = readAhead_->lineEnds().from(bufferStart_ + from);
    return lineEnd < bufferStart_ + end_ ? buffer_ + (lineEnd - bufferStart_) : nullptr;
  }
  if (!crKnown_ || nextCr_ < from) {
    void* cr = std::memchr(buffer_ + from, '\r', end_ - from);
    nextCr_ = cr != nullptr ? static_cast<size_t>(static_cast<char*>(cr) - buffer_) : end_;
    crKnown_ = true;
  }
  void* lf = std::memchr(buffer_ + from, '\n', nextCr_ - from);
  if (lf != nullptr) return static_cast<char*>(lf);
  return nextCr_ < end_ ? buffer_ + nextCr_ : nullptr;
}

bool LogReader::nulMayLieBefore(size_t lineEnd) {
  if (!readAhead_ || utf16_) return true;
  return readAhead_->nuls().from(bufferStart_ + start_) < bufferStart_ + lineEnd;
}

char* LogReader::readLogLine() {
  for (;;) {
    while (start_ < end_ && (buffer_[start_] == '\r' || buffer_[start_] == '\n')) {
      countLineEnd(buffer_[start_]);
      ++start_;
    }
    if (start_ < end_) break;
    if (!fill()) return nullptr;
  }
  afterCr_ = false;
  lineNumber_ = lineEnds_ + 1;
  size_t scanned = start_;
  for (;;) {
    if (char* lineEnd = findLineEnd(scanned)) {
      countLineEnd(*lineEnd);
      lineMayHoldNul_ = nulMayLieBefore(static_cast<size_t>(lineEnd - buffer_));
      *lineEnd = '\0';
      char* line = buffer_ + start_;
      lineLength_ = static_cast<size_t>(lineEnd - line);
      start_ = static_cast<size_t>(lineEnd - buffer_) + 1;
      return line;
    }
    size_t lineSoFar = end_ - start_;
    if (!fill()) {
      // The last line of the file, without a line end.
      midLine_ = true;
      lineMayHoldNul_ = nulMayLieBefore(end_);
      buffer_[end_] = '\0';
      char* line = buffer_ + start_;
      lineLength_ = end_ - start_;
      start_ = end_;
      return line;
    }
    scanned = start_ + lineSoFar;
  }
}

std::FILE* openLogFile(const char* path) {
  if (std::strcmp(path, "-") == 0) return binaryStandardInput();
  // Binary: in text mode the Windows C runtime ends the file at the first
  // Ctrl-Z byte, and the lines after it would go unseen. The cutter handles
  // CR LF itself.
  std::FILE* file = std::fopen(path, "rb");
  if (file != nullptr && isOpenFolder(file)) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

void closeLogFile(std::FILE* file) {
  if (file != stdin) std::fclose(file);
}

void processLogFile(const char* path) {
  // openLogFile takes "-" for standard input, whatever the mode.
  LogKind kind = std::strcmp(path, "-") == 0 ? LogKind::standardInput : LogKind::file;
  runRecord.logStarted(path, kind);
  std::FILE* file = openLogFile(path);
  if (file == nullptr) exitWithError("Failed to open \"%s\"\n", path);
  uint64_t lines = 0;
  {
    LogReader reader(file, path);
    MatchState state;
    while (const char* line = reader.readLogLine()) {
      classifyLine(
          {path, reader.lineNumber(), line, reader.lineLength(), reader.lineMayHoldNul(), kind},
          state);
    }
    lines = reader.linesSeen();
  }
  closeLogFile(file);
  runRecord.logFinished(path, kind, lines);
}
