#include "report/report_file.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "base/fatal.h"
#include "platform/file_system.h"

namespace {

/// Where the folder part of path ends (one past its last separator), 0 for
/// a bare name.
size_t folderEnd(const std::string& path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (isFolderSeparator(path[i - 1])) return i;
  }
  return 0;
}

/// The reports of the process that are not ended yet, in the order made.
std::vector<FileReport*>& openReports() {
  static std::vector<FileReport*> reports;
  return reports;
}

/// Copies the rest of from, from its present position, to to.
bool copyStream(std::FILE* from, std::FILE* to) {
  char buffer[64 * 1024];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, from)) > 0) {
    if (std::fwrite(buffer, 1, got, to) != got) return false;
  }
  return std::ferror(from) == 0;
}

}  // namespace

bool reportFolderExists(const std::string& path) {
  size_t end = folderEnd(path);
  if (end == 0) return true;
  return pathExists(path.substr(0, end).c_str());
}

bool reportWrittenInPlace(const std::string& path) {
  return standardStreamOf(path.c_str()) != 0 || pathKind(path.c_str()) == PathKind::kOther;
}

namespace {

/// Reports and their parts take findings by the hundred thousand: few,
/// large writes.
std::FILE* withLargeBuffer(std::FILE* file) {
  std::setvbuf(file, nullptr, _IOFBF, 64 * 1024);
  return file;
}

}  // namespace

std::FILE* createReportPart(const std::string& reportPath, const char* kind, std::string* name) {
  name->clear();
  if (reportWrittenInPlace(reportPath)) {
    // Nothing may be made beside a device ("/dev/stdout"): the system's own
    // temporary folder holds the part, nameless.
    if (std::FILE* file = std::tmpfile()) return withLargeBuffer(file);
    *name = ".tarnwick-" + std::to_string(currentProcessId()) + "." + kind;
  } else {
    std::string target = linkTarget(reportPath);
    std::string hidden = temporaryCopyName(target, currentProcessId());
    // ".tmp" becomes the kind.
    *name = hidden.substr(0, hidden.size() - 3) + kind;
  }
  std::FILE* file = createNewFile(name->c_str());
  if (file == nullptr) name->clear();
  return file != nullptr ? withLargeBuffer(file) : nullptr;
}

ReportFile::ReportFile(std::string path) : path_(std::move(path)) {}

bool ReportFile::open() {
  standardStream_ = standardStreamOf(path_.c_str());
  inPlace_ = standardStream_ != 0 || pathKind(path_.c_str()) == PathKind::kOther;
  target_ = inPlace_ ? path_ : linkTarget(path_);
  stream_ = createReportPart(path_, "tmp", &temporary_);
  return stream_ != nullptr;
}

void ReportFile::write(const char* data, size_t length) {
  if (stream_ == nullptr || failed_) return;
  if (std::fwrite(data, 1, length, stream_) != length) failed_ = true;
}

void ReportFile::startEnding() {
  if (stream_ == nullptr || failed_) return;
  if (mark_ < 0) {
    if (std::fflush(stream_) != 0) failed_ = true;
    long position = std::ftell(stream_);
    if (position < 0) failed_ = true;
    mark_ = position;
    return;
  }
  if (!truncateOpenFile(stream_, mark_)) failed_ = true;
}

bool ReportFile::intact() {
  if (stream_ == nullptr || failed_) return false;
  if (std::fflush(stream_) != 0) failed_ = true;
  return !failed_;
}

bool ReportFile::copyIntoTarget() {
  std::rewind(stream_);
  if (standardStream_ != 0) {
    std::FILE* out = standardStream_ == 1 ? stdout : stderr;
    // After what the run printed there: the one stream keeps the order.
    return std::fflush(out) == 0 && copyStream(stream_, out) && std::fflush(out) == 0;
  }
  std::FILE* out = openForWriting(target_.c_str());
  if (out == nullptr) return false;
  bool ok = copyStream(stream_, out);
  ok = std::fclose(out) == 0 && ok;
  return ok;
}

bool ReportFile::commit() {
  if (!intact()) {
    discard();
    return false;
  }
  bool ok = true;
  if (inPlace_) {
    ok = copyIntoTarget();
    discard();
    return ok;
  }
  ok = std::fclose(stream_) == 0;
  stream_ = nullptr;
  if (ok) ok = replaceFile(temporary_.c_str(), target_.c_str());
  if (!ok) deleteFile(temporary_.c_str());
  temporary_.clear();
  return ok;
}

void ReportFile::discard() {
  if (stream_ == nullptr) return;
  std::fclose(stream_);
  stream_ = nullptr;
  if (!temporary_.empty()) deleteFile(temporary_.c_str());
  temporary_.clear();
}

bool ReportSpool::open() {
  stream_ = createReportPart(reportPath_, kind_, &path_);
  return stream_ != nullptr;
}

void ReportSpool::write(const std::string& text) {
  if (stream_ == nullptr || failed_) return;
  if (std::fwrite(text.data(), 1, text.size(), stream_) != text.size()) failed_ = true;
}

bool ReportSpool::copyTo(ReportFile* report) {
  if (stream_ == nullptr || failed_ || std::fflush(stream_) != 0) return false;
  std::rewind(stream_);
  char buffer[64 * 1024];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, stream_)) > 0) report->write(buffer, got);
  bool ok = std::ferror(stream_) == 0;
  std::fseek(stream_, 0, SEEK_END);
  return ok;
}

void ReportSpool::drop() {
  if (stream_ == nullptr) return;
  std::fclose(stream_);
  stream_ = nullptr;
  if (!path_.empty()) deleteFile(path_.c_str());
  path_.clear();
}

FileReport::FileReport(const std::string& path) : file_(path) { openReports().push_back(this); }

FileReport::~FileReport() {
  auto& reports = openReports();
  reports.erase(std::remove(reports.begin(), reports.end(), this), reports.end());
}

bool FileReport::endAs(int status, const char* fatalMessage) {
  file_.startEnding();
  writeEnding(status, fatalMessage);
  return partsIntact() && file_.intact();
}

void FileReport::runEnded(int status, const char* fatalMessage) {
  if (finished_) return;
  finished_ = true;
  auto& reports = openReports();
  reports.erase(std::remove(reports.begin(), reports.end(), this), reports.end());
  bool ok = endAs(status, fatalMessage);
  dropParts();
  if (!ok || !file_.commit()) {
    file_.discard();
    failReport(file_.path());
  }
}

ReportsEnd finishReports(int status, const char* fatalMessage) {
  ReportsEnd end{status, fatalMessage != nullptr ? fatalMessage : "", fatalMessage != nullptr};
  std::vector<FileReport*> pending;
  pending.swap(openReports());
  for (FileReport* report : pending) report->finished_ = true;
  // Reports written into a device or pipe cannot be taken back: they go
  // last, once the files have said how the run ended.
  std::vector<FileReport*> good = pending;
  std::stable_partition(good.begin(), good.end(),
                        [](FileReport* report) { return !report->file_.inPlace(); });
  // A report that fails turns a passing run into a failed one; every report
  // not committed yet is then written again, so that all say the same.
  bool rewrite = false;
  auto fail = [&end, &rewrite](FileReport* report) {
    report->file_.discard();
    std::string line = "ERROR: Unable to write report '" + report->path() + "'";
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fwrite("\n", 1, 1, stdout);
    if (end.status == 1 && end.hasMessage) return;
    end = ReportsEnd{1, line, true};
    rewrite = true;
  };
  auto endFrom = [&](size_t first) {
    for (size_t i = first; i < good.size();) {
      if (good[i]->endAs(end.status, end.hasMessage ? end.message.c_str() : nullptr)) {
        ++i;
      } else {
        fail(good[i]);
        good.erase(good.begin() + static_cast<std::ptrdiff_t>(i));
      }
    }
  };
  endFrom(0);
  size_t committed = 0;
  while (committed < good.size()) {
    if (rewrite) {
      rewrite = false;
      endFrom(committed);
      continue;
    }
    if (good[committed]->file_.commit()) {
      ++committed;
    } else {
      fail(good[committed]);
      good.erase(good.begin() + static_cast<std::ptrdiff_t>(committed));
    }
  }
  for (FileReport* report : pending) report->dropParts();
  return end;
}

void abandonReports() {
  std::vector<FileReport*> pending;
  pending.swap(openReports());
  for (FileReport* report : pending) {
    report->finished_ = true;
    report->file_.discard();
    report->dropParts();
  }
}

void failReport(const std::string& path) {
  exitWithError("ERROR: Unable to write report '%s'\n", path.c_str());
}

void failReportAtStart(const std::string& path) {
  abandonReports();
  failReport(path);
}
