#include "report/junit_report.h"

#include <tinyxml.h>

#include <cstring>

#include "platform/file_system.h"
#include "report/text_sanitizer.h"

namespace {

/// text as XML character data or an attribute value.
std::string xmlText(const char* text, size_t length) {
  std::string escaped;
  TiXmlBase::EncodeString(validUtf8(text, length, true), &escaped);
  return escaped;
}

std::string xmlText(const std::string& text) { return xmlText(text.data(), text.size()); }

/// A spool file beside the report; removed when the report is done.
std::FILE* openSpool(const std::string& path) { return openFile(path.c_str(), "w+b"); }

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

JunitReport::JunitReport(const std::string& path) : file_(path) {
  std::string stem = path + ".tarnwick-" + std::to_string(currentProcessId());
  casesPath_ = stem + ".cases";
  bodyPath_ = stem + ".body";
  streams_[0].path = stem + ".stdout";
  streams_[1].path = stem + ".stderr";
  cases_ = openSpool(casesPath_);
  body_ = openSpool(bodyPath_);
  if (cases_ == nullptr || body_ == nullptr || !file_.open()) {
    dropSpools();
    failReport(path);
  }
}

JunitReport::~JunitReport() { dropSpools(); }

void JunitReport::dropSpools() {
  for (std::FILE** spool : {&cases_, &body_, &streams_[0].spool, &streams_[1].spool}) {
    if (*spool != nullptr) std::fclose(*spool);
    *spool = nullptr;
  }
  deleteFile(casesPath_.c_str());
  deleteFile(bodyPath_.c_str());
  for (Stream& stream : streams_) {
    if (stream.seen) deleteFile(stream.path.c_str());
  }
}

void JunitReport::logStarted(const char* path) {
  if (logOpen_) closeTestCase();
  logOpen_ = true;
  log_ = path;
  logFailures_ = 0;
  std::rewind(body_);
}

void JunitReport::lineClassified(const ClassifiedLine& line) {
  Stream* stream = nullptr;
  if (isStreamLog(line.log)) {
    stream = &streams_[std::strcmp(line.log, kStdoutLog) == 0 ? 0 : 1];
    if (!stream->seen) {
      stream->seen = true;
      stream->spool = openSpool(stream->path);
      if (stream->spool == nullptr) failed_ = true;
    }
  }
  if (line.lineClass != LineClass::failure) return;
  std::string entry = std::string(line.log) + ":" + std::to_string(line.lineNumber) + ": ";
  entry.append(line.text, line.length);
  entry = xmlText(entry) + "\n";
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

void JunitReport::logFinished(const char* /*path*/, uint64_t /*lines*/) {
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

void JunitReport::runEnded(int status, const char* fatalMessage) {
  if (logOpen_) closeTestCase();
  for (Stream& stream : streams_) writeStreamCase(stream);
  bool verdictFailed = status != 0;
  uint64_t tests = testCases_ + 1;
  uint64_t failures = failedCases_ + (verdictFailed ? 1 : 0);
  std::string counts =
      " tests=\"" + std::to_string(tests) + "\" failures=\"" + std::to_string(failures) + "\"";
  file_.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites" + counts +
              ">\n  <testsuite name=\"tarnwick\"" + counts + " errors=\"0\" skipped=\"0\">\n");
  if (!copySpool(cases_, &file_)) failed_ = true;
  std::string verdict = "    <testcase name=\"verdict\" classname=\"tarnwick\">\n";
  if (verdictFailed) {
    std::string message = xmlText(fatalMessage != nullptr ? fatalMessage : "the run failed");
    verdict +=
        "      <failure message=\"" + message + "\" type=\"verdict\">" + message + "</failure>\n";
  }
  verdict += "    </testcase>\n  </testsuite>\n</testsuites>\n";
  file_.write(verdict);
  // The process may end without destructors: the spools go now.
  dropSpools();
  if (failed_ || !file_.commit()) failReport(file_.path());
}
