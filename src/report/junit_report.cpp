#include "report/junit_report.h"

#include <cstring>

#include "platform/file_system.h"
#include "report/text_sanitizer.h"

namespace {

/// text as XML character data or an attribute value.
std::string xmlText(const char* text, size_t length) {
  std::string escaped;
  appendXmlText(&escaped, text, length);
  return escaped;
}

std::string xmlText(const std::string& text) { return xmlText(text.data(), text.size()); }

bool append(std::FILE* to, const std::string& text) {
  return std::fwrite(text.data(), 1, text.size(), to) == text.size();
}

/// Appends what was written to from, from its start, to report.
bool copySpool(std::FILE* from, ReportFile* report) {
  if (std::fflush(from) != 0) return false;
  std::rewind(from);
  char buffer[64 * 1024];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, from)) > 0) {
    report->write(buffer, got);
  }
  return std::ferror(from) == 0;
}

}  // namespace

JunitReport::JunitReport(const std::string& path) : FileReport(path) {
  cases_ = createReportPart(path, "cases", &casesPath_);
  body_ = createReportPart(path, "body", &bodyPath_);
  if (cases_ == nullptr || body_ == nullptr || !file_.open()) {
    dropSpools();
    failReportAtStart(path);
  }
}

JunitReport::~JunitReport() { dropSpools(); }

void JunitReport::dropSpools() {
  for (std::FILE** spool : {&cases_, &body_, &streams_[0].spool, &streams_[1].spool}) {
    if (*spool != nullptr) std::fclose(*spool);
    *spool = nullptr;
  }
  for (std::string* spool : {&casesPath_, &bodyPath_, &streams_[0].path, &streams_[1].path}) {
    if (!spool->empty()) deleteFile(spool->c_str());
    spool->clear();
  }
}

void JunitReport::logStarted(const char* path, LogKind kind) {
  // The streams' test cases are written at the end; they start before any
  // file log and finish after it.
  if (isToolStream(kind)) return;
  if (logOpen_) closeTestCase();
  logOpen_ = true;
  log_ = path;
  logFailures_ = 0;
  std::rewind(body_);
}

void JunitReport::lineClassified(const ClassifiedLine& line) {
  Stream* stream = nullptr;
  if (isToolStream(line.logKind)) {
    stream = &streams_[line.logKind == LogKind::toolStdout ? 0 : 1];
    if (!stream->seen) {
      stream->seen = true;
      stream->spool = createReportPart(file_.path(), stream == &streams_[0] ? "stdout" : "stderr",
                                       &stream->path);
      if (stream->spool == nullptr) failed_ = true;
    }
  }
  if (line.lineClass != LineClass::failure) return;
  appendBodyEntry(line, &entry_);
  const std::string& entry = entry_;
  if (stream != nullptr) {
    ++stream->failures;
    if (stream->spool == nullptr || !append(stream->spool, entry)) failed_ = true;
    return;
  }
  ++logFailures_;
  if (!append(body_, entry)) failed_ = true;
}

void JunitReport::writeStreamCase(Stream& stream) {
  if (!stream.seen) return;
  ++testCases_;
  const char* name = &stream == &streams_[0] ? kStdoutLog : kStderrLog;
  std::string head = "    <testcase name=\"" + xmlText(name) + "\" classname=\"tarnwick\">\n";
  if (stream.failures == 0 || stream.spool == nullptr) {
    failed_ |= !append(cases_, head + "    </testcase>\n");
    return;
  }
  ++failedCases_;
  head += "      <failure message=\"" + std::to_string(stream.failures) +
          " failure lines\" type=\"failure\">";
  failed_ |= !append(cases_, head);
  if (std::fflush(stream.spool) != 0) failed_ = true;
  std::rewind(stream.spool);
  char buffer[64 * 1024];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, stream.spool)) > 0) {
    if (std::fwrite(buffer, 1, got, cases_) != got) failed_ = true;
  }
  failed_ |= !append(cases_, "</failure>\n    </testcase>\n");
}

void JunitReport::appendBodyEntry(const ClassifiedLine& line, std::string* entry) {
  entry->clear();
  appendXmlText(entry, line.log, std::strlen(line.log));
  *entry += ':';
  *entry += std::to_string(line.lineNumber);
  *entry += ": ";
  size_t kept = utf8CutLength(line.text, line.length, kTextCap);
  appendXmlText(entry, line.text, kept);
  // A 69 MB text node is more than a parser takes: a line is cut as the
  // JSON report cuts it, and says so.
  if (kept < line.length) {
    *entry += " [cut: " + std::to_string(kept) + " of " + std::to_string(line.length) + " bytes]";
  }
  *entry += '\n';
}

void JunitReport::logFinished(const char* /*path*/, LogKind kind, uint64_t /*lines*/) {
  if (isToolStream(kind)) return;
  if (logOpen_) closeTestCase();
}

void JunitReport::closeTestCase() {
  logOpen_ = false;
  ++testCases_;
  std::string head = "    <testcase name=\"" + xmlText(log_) + "\" classname=\"tarnwick\">\n";
  if (logFailures_ == 0) {
    failed_ |= !append(cases_, head + "    </testcase>\n");
    return;
  }
  ++failedCases_;
  head += "      <failure message=\"" + std::to_string(logFailures_) +
          " failure lines\" type=\"failure\">";
  failed_ |= !append(cases_, head);
  // Only what this log wrote: the spool is reused from its start per log.
  long written = std::ftell(body_);
  if (written < 0 || std::fflush(body_) != 0) failed_ = true;
  std::rewind(body_);
  char buffer[64 * 1024];
  long left = written;
  while (left > 0 && !failed_) {
    size_t want =
        static_cast<size_t>(left) < sizeof buffer ? static_cast<size_t>(left) : sizeof buffer;
    size_t got = std::fread(buffer, 1, want, body_);
    if (got == 0 || std::fwrite(buffer, 1, got, cases_) != got) failed_ = true;
    left -= static_cast<long>(got);
  }
  failed_ |= !append(cases_, "</failure>\n    </testcase>\n");
  std::rewind(body_);
}

void JunitReport::writeEnding(int status, const char* fatalMessage) {
  // The cases are closed once; a second ending only writes the file again.
  if (!casesClosed_) {
    casesClosed_ = true;
    if (logOpen_) closeTestCase();
    for (Stream& stream : streams_) writeStreamCase(stream);
  }
  bool verdictFailed = status != 0;
  uint64_t tests = testCases_ + 1;
  uint64_t failures = failedCases_ + (verdictFailed ? 1 : 0);
  std::string counts =
      " tests=\"" + std::to_string(tests) + "\" failures=\"" + std::to_string(failures) + "\"";
  file_.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites" + counts +
              ">\n  <testsuite name=\"tarnwick\"" + counts + " errors=\"0\" skipped=\"0\">\n");
  if (!copySpool(cases_, &file_)) failed_ = true;
  std::fseek(cases_, 0, SEEK_END);
  std::string verdict = "    <testcase name=\"verdict\" classname=\"tarnwick\">\n";
  if (verdictFailed) {
    std::string message = xmlText(fatalMessage != nullptr ? fatalMessage : "the run failed");
    verdict +=
        "      <failure message=\"" + message + "\" type=\"verdict\">" + message + "</failure>\n";
  }
  verdict += "    </testcase>\n  </testsuite>\n</testsuites>\n";
  file_.write(verdict);
}
