#ifndef TARNWICK_ANALYSIS_LOG_READER_H
#define TARNWICK_ANALYSIS_LOG_READER_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>

/// Reads at most room bytes into into and returns how many; 0 at the end of
/// the file (a read error counts as the end). Fewer than room is no end.
using LogRead = std::function<size_t(char* into, size_t room)>;

class ReadAhead;
class Utf16Decoder;

/// Cuts an open text file into its non-empty lines. CR and LF both end a
/// line and any run of them is one separator; the last line needs no line
/// end; a NUL inside a line is kept (so the line as a C string ends there).
/// Lines may be of any length. A read error counts as the end of the file.
/// The first bytes decide how the rest is read: a UTF-8 byte-order mark is
/// skipped, and after a UTF-16 one (FF FE little endian, FE FF big endian)
/// the text is decoded to UTF-8 as it is read, an unpaired surrogate or a
/// lone last byte becoming U+FFFD. Any other file is taken byte for byte.
class LogReader {
 public:
  static constexpr size_t kDefaultBlockSize = size_t{1} << 20;

  /// file stays the caller's: open it before and close it after. path only
  /// names the file in an out-of-memory message. The file is read ahead
  /// when that pays (see ReadAhead).
  LogReader(std::FILE* file, const char* path);
  /// Reads through read, in blocks of blockSize bytes (at least 4; small
  /// ones let tests reach every block edge); with readAhead, on a helper
  /// thread that also finds the line ends.
  LogReader(LogRead read, const char* path, size_t blockSize = kDefaultBlockSize,
            bool readAhead = false);
  ~LogReader();
  LogReader(const LogReader&) = delete;
  LogReader& operator=(const LogReader&) = delete;

  /// The next non-empty line, NUL-terminated and without its line end, or
  /// null at the end of the file. The text lives in the reader's buffer
  /// until the next call. Ends the run with "ERROR: " when memory for a
  /// line cannot be had.
  char* readLogLine();

  /// Length of the line last returned, NULs inside it included.
  size_t lineLength() const { return lineLength_; }
  /// False when the line last returned is known to hold no NUL (the file is
  /// read ahead, and the helper found none in it).
  bool lineMayHoldNul() const { return lineMayHoldNul_; }

  /// The 1-based number of the line last returned, counting every line end
  /// (LF, CR LF as one, a lone CR), so skipped blank lines count too.
  uint64_t lineNumber() const { return lineNumber_; }

  /// Lines met so far, blank ones included; at the end of the file, the
  /// number of its last line.
  uint64_t linesSeen() const { return lineEnds_ + (midLine_ ? 1 : 0); }

 private:
  bool fill();
  bool readStart();
  char* findLineEnd(size_t from);
  /// Whether a NUL may lie between start_ and lineEnd (a buffer offset).
  bool nulMayLieBefore(size_t lineEnd);
  /// Counts the line end c, of which a CR before it may be the first half.
  void countLineEnd(char c) {
    if (c != '\n' || !afterCr_) ++lineEnds_;
    afterCr_ = c == '\r';
  }

  std::unique_ptr<ReadAhead> readAhead_;  // set when the file is read ahead
  LogRead read_;
  const char* path_;
  size_t blockSize_;
  std::unique_ptr<Utf16Decoder> utf16_;  // set once a UTF-16 mark was read
  char* buffer_ = nullptr;
  size_t capacity_ = 0;
  size_t start_ = 0;          // first unconsumed byte
  size_t end_ = 0;            // one past the last byte read
  uint64_t bufferStart_ = 0;  // offset in the file of buffer_[0], while undecoded
  size_t nextCr_ = 0;         // first CR at or after start_, or end_ when none
  bool crKnown_ = false;
  bool started_ = false;  // the start of the file has been looked at
  bool atEnd_ = false;
  size_t lineLength_ = 0;
  bool lineMayHoldNul_ = true;
  uint64_t lineNumber_ = 0;
  uint64_t lineEnds_ = 0;  // line ends consumed
  bool afterCr_ = false;   // the last byte consumed was a CR ending a line
  bool midLine_ = false;   // the file ended inside a line
};

/// Opens path for reading in binary mode, or returns null when it cannot be
/// opened. A folder cannot: some C runtimes open one and fail every read,
/// which would pass it off as an empty log. "-" is the standard input (a file
/// named "-" is still "./-"). The caller closes the file with closeLogFile.
std::FILE* openLogFile(const char* path);

/// Closes a file of openLogFile; the standard input stays open.
void closeLogFile(std::FILE* file);

/// Tells the run record that the log starts (the console shows "Processing
/// <path>..."), classifies every line of the file in order, tells the record
/// that the log ended, and closes it. A file that does not open ends the run
/// with "Failed to open". Matches with a state of its own, so it may run on
/// any thread (main or stdout reader) while another classifies.
void processLogFile(const char* path);

#endif
