#include "report/report_file.h"

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

}  // namespace

bool reportFolderExists(const std::string& path) {
  size_t end = folderEnd(path);
  if (end == 0) return true;
  return pathExists(path.substr(0, end).c_str());
}

ReportFile::ReportFile(std::string path) : path_(std::move(path)) {
  size_t end = folderEnd(path_);
  temporary_ = path_.substr(0, end) + "." + path_.substr(end) + ".tarnwick-" +
               std::to_string(currentProcessId()) + ".tmp";
}

ReportFile::~ReportFile() {
  if (stream_ != nullptr) {
    std::fclose(stream_);
    deleteFile(temporary_.c_str());
  }
}

bool ReportFile::open() {
  stream_ = openFile(temporary_.c_str(), "wb");
  return stream_ != nullptr;
}

void ReportFile::write(const char* data, size_t length) {
  if (stream_ == nullptr || failed_) return;
  if (std::fwrite(data, 1, length, stream_) != length) failed_ = true;
}

bool ReportFile::commit() {
  if (stream_ == nullptr) return false;
  bool ok = !failed_ && std::fflush(stream_) == 0;
  ok = std::fclose(stream_) == 0 && ok;
  stream_ = nullptr;
  if (ok) ok = replaceFile(temporary_.c_str(), path_.c_str());
  if (!ok) deleteFile(temporary_.c_str());
  return ok;
}

ReportSpool::ReportSpool(const std::string& reportPath, const char* kind)
    : path_(reportPath + ".tarnwick-" + std::to_string(currentProcessId()) + "." + kind) {}

bool ReportSpool::open() {
  stream_ = openFile(path_.c_str(), "w+b");
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
  deleteFile(path_.c_str());
}

void failReport(const std::string& path) {
  exitWithError("ERROR: Unable to write report '%s'\n", path.c_str());
}
