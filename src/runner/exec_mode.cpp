#include "runner/exec_mode.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "analysis/listing_files.h"
#include "analysis/log_reader.h"
#include "base/fatal.h"
#include "platform/process.h"
#include "platform/text_output.h"
#include "record/run_record.h"
#include "rules/rule_set.h"
#include "runner/pipe_reader.h"
#include "runner/stream_lines.h"

namespace {

void* allocate(size_t size) {
  void* memory = std::malloc(size);
  if (memory == nullptr) exitWithError("ERROR: Out of memory\n");
  return memory;
}

/// The word after the last -o or -oa that has one, or null; with warn,
/// a switch without a word is reported.
const char* findLogPath(int wordCount, char** words, bool warn) {
  const char* logPath = nullptr;
  for (int i = 0; i < wordCount; ++i) {
    if (std::strcmp(words[i], "-o") != 0 && std::strcmp(words[i], "-oa") != 0) continue;
    if (i + 1 < wordCount) {
      logPath = words[++i];
    } else if (warn) {
      runRecord.message("WARNING: found -o/-oa switch, but no logfile give\n");
    }
  }
  return logPath;
}

/// Appends word to out enclosed in double quotes, so that the runtime's
/// splitting gives it back: a quote inside becomes \" with the backslashes
/// before it doubled, and the backslashes before the closing quote are
/// doubled. Other backslashes stay single, as the runtime reads them.
char* appendQuoted(char* out, const char* word) {
  *out++ = '"';
  for (const char* p = word;;) {
    size_t backslashes = 0;
    while (p[backslashes] == '\\') ++backslashes;
    p += backslashes;
    bool beforeQuote = *p == '"' || *p == '\0';
    size_t written = beforeQuote ? 2 * backslashes : backslashes;
    std::memset(out, '\\', written);
    out += written;
    if (*p == '\0') break;
    if (*p == '"') *out++ = '\\';
    *out++ = *p++;
  }
  *out++ = '"';
  return out;
}

/// Echoes every byte of the piece, NULs included, and shows it at once even
/// when the stream is a pipe or a file. Prefix, piece and line end go in one
/// write, so that the other stream, joined to this one, never lands inside.
void echo(std::FILE* stream, const char* prefix, const char* piece, size_t length) {
  writeTextLine(stream, debugEnabled ? prefix : "", piece, length);
}

}  // namespace

char* buildCommandLine(int wordCount, char** words) {
  // At worst every byte doubles (a quote behind a backslash), plus a
  // blank and two quotes per word.
  size_t size = 1;
  for (int i = 0; i < wordCount; ++i) size += 2 * std::strlen(words[i]) + 3;
  char* commandLine = static_cast<char*>(allocate(size));
  char* out = commandLine;
  for (int i = 0; i < wordCount; ++i) {
    if (i > 0) *out++ = ' ';
    // The program name is split without escapes, so no quoting can carry
    // a quote in it (no Windows file name has one): such a name goes as
    // written, its quoting left to the user.
    if (i == 0 && std::strchr(words[0], '"') != nullptr) {
      size_t length = std::strlen(words[0]);
      std::memcpy(out, words[0], length);
      out += length;
      continue;
    }
    out = appendQuoted(out, words[i]);
  }
  *out = '\0';
  return commandLine;
}

char** sanitizeArguments(int wordCount, char** words) {
  // The array and the copies behind it share one block, released by one free.
  size_t count = static_cast<size_t>(wordCount);
  size_t size = sizeof(char*) * (count + 1);
  for (size_t i = 0; i < count; ++i) size += std::strlen(words[i]) + 1;
  char** sanitized = static_cast<char**>(allocate(size));
  char* out = reinterpret_cast<char*>(sanitized + count + 1);
  for (size_t i = 0; i < count; ++i) {
    sanitized[i] = out;
    for (const char* p = words[i]; *p != '\0'; ++p) {
      *out++ = *p;
      if (p[0] == '\\' && p[1] == '\\') ++p;
    }
    *out++ = '\0';
  }
  sanitized[count] = nullptr;
  return sanitized;
}

void onStdoutLine(const char* piece, size_t length) {
  echo(stdout, "stdout: ", piece, length);
  const RegularExpression* rule = ruleSet.serverLogRule.get();
  if (rule == nullptr) return;
  // The stdout reader's own: the stderr reader may be classifying meanwhile.
  // Kept for the thread's life, so a line costs no allocation.
  thread_local MatchState state;
  if (rule->matches(piece, state)) {
    std::string path = capturedName(state);
    rejectListedLog(path.c_str());
    processLogFile(path.c_str());
    // The lines it printed may be all there is for a long while.
    std::fflush(stdout);
  }
}

void onStderrLine(const char* piece, size_t length) { echo(stderr, "stderr: ", piece, length); }

namespace {

bool classifyOutput = false;
/// The lines each stream's reader met (stdout, stderr); written by the
/// readers, read by the main thread once both ended.
uint64_t streamLinesSeen[2] = {0, 0};
/// The last failure Execute handed up (main thread only): the one that
/// stopped the start when Execute fails.
ExecuteError lastExecuteError;

/// Execute's failures are told to the record as the runner printed them.
void reportExecuteError(const ExecuteError& error) {
  runRecord.message("ERROR: %s\n", error.message.c_str());
  lastExecuteError = error;
}

/// Cuts and echoes one stream; under -classifyoutput also classifies its
/// lines, each once the reader has echoed it (one read later).
void consume(const PipeRead& read, LineHandler handler, const char* log, LogKind kind,
             uint64_t* seen) {
  if (!classifyOutput) {
    readPipeLines(read, handler);
    return;
  }
  StreamLines lines(log, kind);
  std::string echoed;
  PipeRead teed = [&](char* into, size_t room) {
    lines.feed(echoed.data(), echoed.size());
    std::ptrdiff_t got = read(into, room);
    echoed.assign(into, got > 0 ? static_cast<size_t>(got) : 0);
    return got;
  };
  readPipeLines(teed, handler);
  lines.feed(echoed.data(), echoed.size());
  lines.finish();
  *seen = lines.linesSeen();
}

void readStdout(const PipeRead& read) {
  consume(read, onStdoutLine, kStdoutLog, LogKind::toolStdout, &streamLinesSeen[0]);
}
void readStderr(const PipeRead& read) {
  consume(read, onStderrLine, kStderrLog, LogKind::toolStderr, &streamLinesSeen[1]);
}

}  // namespace

int execMode(int wordCount, char** words, bool classifyToolOutput, bool exitCodeJudged) {
  classifyOutput = classifyToolOutput;
  lastExecuteError = ExecuteError();
  const char* logPath = findLogPath(wordCount, words, true);
  char* commandLine = buildCommandLine(wordCount, words);
  if (debugEnabled) runRecord.message("cmd = [%s]\n", commandLine);
  runRecord.toolStarted(commandLine);
  // Shown before the tool starts, not when the buffer happens to fill.
  std::fflush(stdout);

  uint32_t exitCode = 0;
  // While the tool runs, the readers (both classify under -classifyoutput)
  // and a stop request's thread may all reach the record: it serialises
  // them.
  runRecord.setShared(true);
  // The streams are logs of the run, told from this thread in a fixed order.
  if (classifyToolOutput) {
    runRecord.logStarted(kStdoutLog, LogKind::toolStdout);
    runRecord.logStarted(kStderrLog, LogKind::toolStderr);
  }
  int32_t started = Execute(commandLine, &exitCode, readStdout, readStderr, reportExecuteError);
  if (classifyToolOutput) {
    runRecord.logFinished(kStdoutLog, LogKind::toolStdout, streamLinesSeen[0]);
    runRecord.logFinished(kStderrLog, LogKind::toolStderr, streamLinesSeen[1]);
  }
  runRecord.setShared(false);
  if (started != 0) {
    runRecord.toolEnded(false, 0);
    if (lastExecuteError.reason.empty())
      exitWithError("ERROR: Failed to start '%s'\n", commandLine);
    exitWithError("ERROR: Failed to start '%s': %s\n", commandLine,
                  lastExecuteError.reason.c_str());
  }
  int32_t code = static_cast<int32_t>(exitCode);
  runRecord.toolEnded(true, code);
  // A judged code is reported once, by the verdict that fails the run.
  if (code != 0 && !exitCodeJudged) {
    runRecord.message("exit code %s ignored\n", exitCodeText(code).c_str());
  }
  if (logPath != nullptr) processLogFile(logPath);
  std::free(commandLine);
  return 0;
}

std::string finalLogPath(int wordCount, char** words, bool sanitize) {
  const char* logPath = findLogPath(wordCount, words, false);
  if (logPath == nullptr) return std::string();
  if (!sanitize) return logPath;
  char* word = const_cast<char*>(logPath);
  char** sanitized = sanitizeArguments(1, &word);
  std::string path = sanitized[0];
  std::free(sanitized);
  return path;
}
