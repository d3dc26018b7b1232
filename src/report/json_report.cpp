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

JsonReport::JsonReport(const std::string& path, const char* mode) : file_(path), mode_(mode) {
  if (!file_.open()) failReport(file_.path());
  file_.write("{\"version\":1,\"findings\":[");
}

void JsonReport::logStarted(const char* path) { logs_.emplace_back(path, 0); }

void JsonReport::lineClassified(const ClassifiedLine& line) {
  bool failure = line.lineClass == LineClass::failure;
  switch (line.lineClass) {
    case LineClass::ignore:
      ++totals_.ignoreCount;
      return;
    case LineClass::success:
      ++totals_.successCount;
      return;
    case LineClass::summary:
      ++totals_.summaryCount;
      return;
    case LineClass::failure:
      ++totals_.failureCount;
      break;
    case LineClass::unmatched:
      ++totals_.unmatchedCount;
      if (unmatchedKept_ == kUnmatchedCap) {
        ++omittedUnmatched_;
        return;
      }
      ++unmatchedKept_;
      break;
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
  ++(copy.ok ? totals_.copiedCount : totals_.copyFailCount);
  copies_.push_back({copy.from, copy.to, copy.error != nullptr ? copy.error : "", copy.ok});
}

void JsonReport::listingFile(const char* path) { listings_.emplace_back(path, 0); }

void JsonReport::listingEntryWritten(const char* listingPath, const char* /*entry*/) {
  for (auto& listing : listings_) {
    if (listing.first == listingPath) {
      ++listing.second;
      return;
    }
  }
  listings_.emplace_back(listingPath, 1);
}

void JsonReport::toolStarted(const char* commandLine) {
  toolStarted_ = true;
  command_ = commandLine;
}

void JsonReport::toolEnded(bool started, int32_t exitCode) {
  toolRan_ = started;
  exitCode_ = exitCode;
}

void JsonReport::runEnded(int status, const char* fatalMessage) {
  Json rest;
  rest["omittedUnmatched"] = omittedUnmatched_;
  rest["status"] = status;
  rest["error"] = nullable(fatalMessage);
  rest["mode"] = mode_;
  rest["counts"] = {{"success", totals_.successCount},     {"failure", totals_.failureCount},
                    {"ignore", totals_.ignoreCount},       {"summary", totals_.summaryCount},
                    {"unmatched", totals_.unmatchedCount}, {"copied", totals_.copiedCount},
                    {"copyFail", totals_.copyFailCount}};
  Json logs = Json::array();
  for (const auto& log : logs_) logs.push_back({{"path", log.first}, {"lines", log.second}});
  rest["logs"] = logs;
  if (mode_ == "exec") {
    rest["tool"] = {{"command", toolStarted_ ? Json(command_) : Json(nullptr)},
                    {"exitCode", toolRan_ ? Json(exitCode_) : Json(nullptr)}};
  }
  Json copies = Json::array();
  for (const Copy& copy : copies_) {
    Json entry = {{"from", copy.from}, {"to", copy.to}, {"ok", copy.ok}};
    entry["error"] = copy.ok ? Json(nullptr) : Json(copy.error);
    copies.push_back(entry);
  }
  rest["copies"] = copies;
  Json listings = Json::array();
  for (const auto& listing : listings_) {
    listings.push_back({{"path", listing.first}, {"entries", listing.second}});
  }
  rest["listings"] = listings;
  // The streamed findings close the array; the rest joins the same object.
  std::string text = dump(rest);
  file_.write("],");
  file_.write(text.data() + 1, text.size() - 1);
  file_.write("\n");
  if (!file_.commit()) failReport(file_.path());
}
