#include "report/json_report.h"

#include <cstring>
#include <nlohmann/json.hpp>

#include "report/text_sanitizer.h"

using Json = nlohmann::ordered_json;

namespace {

/// Invalid UTF-8 becomes U+FFFD rather than failing the report.
std::string dump(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Json nullable(const char* text) { return text != nullptr ? Json(text) : Json(nullptr); }

}  // namespace

JsonReport::JsonReport(const std::string& path, const char* mode) : FileReport(path), mode_(mode) {
  if (!file_.open()) failReportAtStart(file_.path());
  file_.write("{\"version\":" + std::to_string(kReportVersion) + ",\"findings\":[");
}

namespace {

/// Where the entry of a log of kind is kept among a report's open logs.
size_t* openSlot(LogKind kind, size_t* openFile, size_t* openStream) {
  switch (kind) {
    case LogKind::toolStdout:
      return &openStream[0];
    case LogKind::toolStderr:
      return &openStream[1];
    case LogKind::file:
    case LogKind::standardInput:
      break;
  }
  return openFile;
}

void appendNumber(std::string* out, uint64_t n) {
  char digits[20];
  size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n != 0);
  while (count > 0) out->push_back(digits[--count]);
}

constexpr size_t kFindingsBlock = 64 * 1024;

}  // namespace

void JsonReport::logStarted(const char* path, LogKind kind) {
  *openSlot(kind, &openFile_, openStream_) = logs_.size();
  logs_.push_back({path, 0});
}

void JsonReport::lineClassified(const ClassifiedLine& line) {
  facts_.lineClassified(line.lineClass);
  // A run that ends part-way still tells how far each log was read.
  size_t open = *openSlot(line.logKind, &openFile_, openStream_);
  if (open != kNoLog) logs_[open].lines = line.lineNumber;
  bool failure = line.lineClass == LineClass::failure;
  if (!failure && line.lineClass != LineClass::unmatched) return;
  if (!failure) {
    if (unmatchedKept_ == kUnmatchedCap) {
      ++omittedUnmatched_;
      return;
    }
    ++unmatchedKept_;
  }
  // Written as text, key by key as the rest of the document is: a JSON
  // object per finding cost more than reading the log.
  bool truncated = line.length > kTextCap;
  if (anyFinding_) findings_ += ',';
  anyFinding_ = true;
  findings_ += failure ? "{\"class\":\"failure\",\"log\":" : "{\"class\":\"unmatched\",\"log\":";
  appendJsonString(&findings_, line.log, std::strlen(line.log));
  findings_ += ",\"line\":";
  appendNumber(&findings_, line.lineNumber);
  findings_ += ",\"text\":";
  appendJsonString(&findings_, line.text, truncated ? kTextCap : line.length);
  findings_ += ",\"rule\":";
  if (failure && line.rule != nullptr) {
    appendJsonString(&findings_, line.rule, std::strlen(line.rule));
  } else {
    findings_ += "null";
  }
  findings_ += truncated ? ",\"truncated\":true}" : "}";
  if (findings_.size() >= kFindingsBlock) flushFindings();
}

void JsonReport::flushFindings() {
  file_.write(findings_);
  findings_.clear();
}

void JsonReport::logFinished(const char* /*path*/, LogKind kind, uint64_t lines) {
  size_t* open = openSlot(kind, &openFile_, openStream_);
  if (*open == kNoLog) return;
  logs_[*open].lines = lines;
  *open = kNoLog;
}

void JsonReport::copyTried(const CopyAttempt& copy) {
  facts_.copyTried(copy.ok);
  copies_.push_back({copy.from, copy.to, copy.error != nullptr ? copy.error : "", copy.ok});
}

void JsonReport::listingFile(const char* path) { facts_.listingFile(path); }

void JsonReport::listingEntryWritten(const char* listingPath, const char* /*entry*/) {
  facts_.listingEntryWritten(listingPath);
}

void JsonReport::toolStarted(const char* commandLine) { facts_.toolStartedWith(commandLine); }

void JsonReport::toolEnded(bool started, int32_t exitCode) {
  facts_.toolEndedWith(started, exitCode);
}

void JsonReport::writeEnding(int status, const char* fatalMessage) {
  Json rest;
  rest["omittedUnmatched"] = omittedUnmatched_;
  rest["status"] = status;
  rest["error"] = nullable(fatalMessage);
  rest["mode"] = mode_;
  rest["counts"] = {
      {"success", facts_.totals.successCount},     {"failure", facts_.totals.failureCount},
      {"ignore", facts_.totals.ignoreCount},       {"summary", facts_.totals.summaryCount},
      {"unmatched", facts_.totals.unmatchedCount}, {"copied", facts_.totals.copiedCount},
      {"copyFail", facts_.totals.copyFailCount}};
  Json logs = Json::array();
  for (const Log& log : logs_) logs.push_back({{"path", log.path}, {"lines", log.lines}});
  rest["logs"] = logs;
  if (mode_ == "exec") {
    rest["tool"] = {{"command", facts_.toolStarted ? Json(facts_.command) : Json(nullptr)},
                    {"exitCode", facts_.toolRan ? Json(facts_.exitCode) : Json(nullptr)}};
  }
  Json copies = Json::array();
  for (const Copy& copy : copies_) {
    Json entry = {{"from", copy.from}, {"to", copy.to}, {"ok", copy.ok}};
    entry["error"] = copy.ok ? Json(nullptr) : Json(copy.error);
    copies.push_back(entry);
  }
  rest["copies"] = copies;
  Json listings = Json::array();
  for (const auto& listing : facts_.listings) {
    listings.push_back({{"path", listing.first}, {"entries", listing.second}});
  }
  rest["listings"] = listings;
  // The streamed findings close the array; the rest joins the same object.
  std::string text = dump(rest);
  flushFindings();
  file_.write("],");
  file_.write(text.data() + 1, text.size() - 1);
  file_.write("\n");
}

ScanJsonReport::ScanJsonReport(const std::string& path, const char* log) : file_(path), log_(log) {
  if (!file_.open()) failReportAtStart(file_.path());
}

void ScanJsonReport::write(int status, const char* fatalMessage,
                           const std::vector<std::pair<std::string, int32_t>>& codes) {
  Json report;
  report["version"] = kReportVersion;
  report["status"] = status;
  report["error"] = nullable(fatalMessage);
  report["mode"] = "scan";
  report["log"] = log_;
  Json list = Json::array();
  for (const auto& code : codes) list.push_back({{"code", code.first}, {"count", code.second}});
  report["codes"] = list;
  file_.write(dump(report));
  file_.write("\n");
  if (!file_.commit()) failReport(file_.path());
}
