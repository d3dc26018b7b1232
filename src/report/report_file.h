// Report files: checked before a run, written whole or not at all.
#ifndef TARNWICK_REPORT_REPORT_FILE_H
#define TARNWICK_REPORT_REPORT_FILE_H

#include <cstddef>
#include <cstdio>
#include <string>

/// True when the folder that would hold the file at path exists (the
/// current folder for a bare name).
bool reportFolderExists(const std::string& path);

/// One report on its way to path: written into a hidden temporary file in
/// the same folder and moved onto path by commit(), so that path holds the
/// whole report or whatever it held before. Owned by one listener; the
/// temporary file is removed if the report is never committed.
class ReportFile {
 public:
  explicit ReportFile(std::string path);
  ~ReportFile();
  ReportFile(const ReportFile&) = delete;
  ReportFile& operator=(const ReportFile&) = delete;

  /// Creates the temporary file; false when it cannot be created.
  bool open();
  /// Appends bytes; a failure shows at commit().
  void write(const char* data, size_t length);
  void write(const std::string& text) { write(text.data(), text.size()); }
  /// Flushes, closes and moves the file into place; false on any failure,
  /// after which nothing is left behind.
  bool commit();

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string temporary_;
  std::FILE* stream_ = nullptr;
  bool failed_ = false;
};

/// A part of a report held in a temporary file beside it until the report is
/// assembled, so that a report whose summary comes first still needs no
/// memory for its findings. Removed by drop() or the destructor.
class ReportSpool {
 public:
  /// The spool for the report at reportPath; kind tells several apart.
  ReportSpool(const std::string& reportPath, const char* kind);
  ~ReportSpool() { drop(); }
  ReportSpool(const ReportSpool&) = delete;
  ReportSpool& operator=(const ReportSpool&) = delete;

  /// Creates the file; false when it cannot be created.
  bool open();
  /// Appends text; a failure shows at copyTo().
  void write(const std::string& text);
  /// Appends everything written so far to report; false on any failure.
  bool copyTo(ReportFile* report);
  /// Closes and removes the file.
  void drop();

 private:
  std::string path_;
  std::FILE* stream_ = nullptr;
  bool failed_ = false;
};

/// Ends the run with "ERROR: Unable to write report '<path>'".
[[noreturn]] void failReport(const std::string& path);

#endif
