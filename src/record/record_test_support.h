// For the unit tests that watch a run record: a transcript of the events
// listeners hear, and, for the layers above record/, a run's messages seen as
// the console shows them without the console printer of report/, which those
// layers may not include.
#ifndef TARNWICK_RECORD_RECORD_TEST_SUPPORT_H
#define TARNWICK_RECORD_RECORD_TEST_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "record/run_record.h"

/// Writes every message the record hears to stream, byte for byte, on the
/// reporting thread; hears nothing else. stream stays the caller's.
class MessageEcho : public RunListener {
 public:
  explicit MessageEcho(std::FILE* stream) : stream_(stream) {}
  void message(const char* text, size_t length) override { std::fwrite(text, 1, length, stream_); }

 private:
  std::FILE* stream_;
};

/// Writes each event it hears as one line of a transcript that listeners
/// may share, after its own name: the order of the lines is the order in
/// which the listeners heard the events.
class Transcript : public RunListener {
 public:
  Transcript(std::string name, std::vector<std::string>& lines) : name_(name), lines_(lines) {}

  void logStarted(const char* path, LogKind kind) override {
    add("logStarted " + std::string(path) + kindName(kind));
  }
  void lineClassified(const ClassifiedLine& line) override {
    static const char* const kNames[] = {"ignore", "success", "failure", "summary", "unmatched"};
    add("line " + std::string(kNames[static_cast<int>(line.lineClass)]) + " " + line.log + ":" +
        std::to_string(line.lineNumber) + " [" + std::string(line.text, line.length) + "] " +
        (line.rule != nullptr ? line.rule : "-"));
  }
  void logFinished(const char* path, LogKind kind, uint64_t lines) override {
    add("logFinished " + std::string(path) + kindName(kind) + " " + std::to_string(lines));
  }
  void copyTried(const CopyAttempt& copy) override {
    add("copy " + std::string(copy.from) + " -> " + copy.to + (copy.ok ? " ok" : " failed: ") +
        (copy.error != nullptr ? copy.error : ""));
  }
  void listingEntryWritten(const char* listingPath, const char* entry) override {
    add("entry " + std::string(listingPath) + " " + entry);
  }
  void listingFile(const char* path) override { add("listingFile " + std::string(path)); }
  void toolStarted(const char* commandLine) override {
    add("toolStarted " + std::string(commandLine));
  }
  void toolEnded(bool started, int32_t exitCode) override {
    add("toolEnded " + std::string(started ? "started " : "not started ") +
        std::to_string(exitCode));
  }
  void message(const char* text, size_t length) override {
    add("message [" + std::string(text, length) + "]");
  }
  void runEnded(int status, const char* fatalMessage) override {
    add("runEnded " + std::to_string(status) + " " +
        (fatalMessage != nullptr ? fatalMessage : "-"));
    if (onEnd) onEnd();
  }

  /// Called from runEnded, as the fatal path would be from inside a listener.
  std::function<void()> onEnd;

 private:
  /// Nothing for a file, else the kind in brackets.
  static std::string kindName(LogKind kind) {
    switch (kind) {
      case LogKind::file:
        return "";
      case LogKind::standardInput:
        return " (stdin)";
      case LogKind::toolStdout:
        return " (tool stdout)";
      case LogKind::toolStderr:
        return " (tool stderr)";
    }
    return "";
  }

  void add(const std::string& line) { lines_.push_back(name_ + ": " + line); }

  std::string name_;
  std::vector<std::string>& lines_;
};

inline ClassifiedLine lineOf(LineClass lineClass, uint64_t number, const char* text,
                             const char* rule = nullptr) {
  return ClassifiedLine{lineClass, "a.log", number, text, std::strlen(text), rule};
}

/// The counters as "ignore success failure summary unmatched copied copyFail".
inline std::string countersOf(const RunTotals& totals) {
  return std::to_string(totals.ignoreCount) + " " + std::to_string(totals.successCount) + " " +
         std::to_string(totals.failureCount) + " " + std::to_string(totals.summaryCount) + " " +
         std::to_string(totals.unmatchedCount) + " " + std::to_string(totals.copiedCount) + " " +
         std::to_string(totals.copyFailCount);
}

#endif
