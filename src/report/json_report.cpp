#include "report/json_report.h"

#include <cstring>
#include <nlohmann/json.hpp>

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
  file_.write("{\"version\":1,\"findings\":[");
}

void JsonReport::logStarted(const char* path) { logs_.emplace_back(path, 0); }

void JsonReport::lineClassified(const ClassifiedLine& line) {
  facts_.lineClassified(line.lineClass);
  bool failure = line.lineClass == LineClass::failure;
  if (!failure && line.lineClass != LineClass::unmatched) return;
  if (!failure) {
    if (unmatchedKept_ == kUnmatchedCap) {
      ++omittedUnmatched_;
      return;
    }
    ++unmatchedKept_;
  }
  bool truncated = line.length > kTextCap;
  Json finding;
  finding["class"] = failure ? "failure" : "unmatched";
  finding["log"] = line.log;
  finding["line"] = line.lineNumber;
  finding["text"] = std::string(line.text, truncated ? kTextCap : line.length);
  finding["rule"] = nullable(failure ? line.rule : nullptr);
  if (truncated) finding["truncated"] = true;
  if (anyFinding_) file_.write(",");
  anyFinding_ = true;
  file_.write(dump(finding));
}

void JsonReport::logFinished(const char* /*path*/, uint64_t lines) {
  if (!logs_.empty()) logs_.back().second = lines;
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
  for (const auto& log : logs_) logs.push_back({{"path", log.first}, {"lines", log.second}});
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
  file_.write("],");
  file_.write(text.data() + 1, text.size() - 1);
  file_.write("\n");
}
