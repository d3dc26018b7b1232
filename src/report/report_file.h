// Report files: checked before a run, written whole or not at all.
#ifndef TARNWICK_REPORT_REPORT_FILE_H
#define TARNWICK_REPORT_REPORT_FILE_H

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "record/run_record.h"

/// True when the folder that would hold the file at path exists (the
/// current folder for a bare name).
bool reportFolderExists(const std::string& path);

/// True when a report at path is written into the file there rather than
/// moved onto it: a device, pipe or FIFO, or the file that the process's own
/// stdout or stderr writes.
bool reportWrittenInPlace(const std::string& path);

/// A scratch file for the report at reportPath, kind telling several apart:
/// hidden beside the file the report replaces (".<name>.tarnwick-<process
/// id>.<kind>"), created as createNewFile does; for a report written in
/// place, an anonymous temporary file that vanishes once closed. *name gets
/// the file's name, empty for an anonymous one. Null on failure; the caller
/// closes the stream and deletes *name.
std::FILE* createReportPart(const std::string& reportPath, const char* kind, std::string* name);

/// One report on its way to path. A regular file there, or none yet, is
/// replaced whole: the report goes into a hidden temporary file beside the
/// file path names (symbolic links followed, so a link keeps pointing at the
/// new report) and commit() moves it there, so that it holds the whole
/// report or whatever it held before. A report written in place (see
/// reportWrittenInPlace) is kept in an anonymous temporary file and copied
/// into its target by commit(), so that it comes out in one piece after the
/// run's own output. Owned by one listener; nothing is left behind if the
/// report is never committed.
class ReportFile {
 public:
  explicit ReportFile(std::string path);
  ~ReportFile() { discard(); }
  ReportFile(const ReportFile&) = delete;
  ReportFile& operator=(const ReportFile&) = delete;

  /// Creates the temporary file (exclusively, never through a link); false
  /// when it cannot be created.
  bool open();
  /// Appends bytes; a failure shows at intact() and commit().
  void write(const char* data, size_t length);
  void write(const std::string& text) { write(text.data(), text.size()); }
  /// Where the run's ending begins: the first call marks the end of what was
  /// written so far, a later one cuts the file back to that mark, so that an
  /// ending written again (for another status) replaces the first.
  void startEnding();
  /// True while every write so far went through; flushes.
  bool intact();
  /// Flushes, closes and moves the file into place (or copies it into its
  /// target); false on any failure, after which nothing is left behind.
  bool commit();
  /// Closes and removes the temporary file, when there is one.
  void discard();

  const std::string& path() const { return path_; }
  /// True when commit() copies into the target rather than replacing it.
  bool inPlace() const { return inPlace_; }

 private:
  bool copyIntoTarget();

  std::string path_;
  std::string target_;      // the file commit() replaces: path_ with links followed
  std::string temporary_;   // empty for an anonymous temporary file
  int standardStream_ = 0;  // 1 or 2: path_ is the process's stdout or stderr
  bool inPlace_ = false;
  std::FILE* stream_ = nullptr;
  long long mark_ = -1;
  bool failed_ = false;
};

/// A part of a report held in a scratch file (see createReportPart) until
/// the report is assembled, so that a report whose summary comes first still
/// needs no memory for its findings. Removed by drop() or the destructor.
class ReportSpool {
 public:
  /// The spool for the report at reportPath; kind tells several apart.
  ReportSpool(const std::string& reportPath, const char* kind)
      : reportPath_(reportPath), kind_(kind) {}
  ~ReportSpool() { drop(); }
  ReportSpool(const ReportSpool&) = delete;
  ReportSpool& operator=(const ReportSpool&) = delete;

  /// Creates the file; false when it cannot be created.
  bool open();
  /// Appends text; a failure shows at copyTo().
  void write(const std::string& text);
  /// Appends everything written so far to report; false on any failure.
  /// May be called again.
  bool copyTo(ReportFile* report);
  /// Closes and removes the file.
  void drop();

 private:
  std::string reportPath_;
  const char* kind_;
  std::string path_;
  std::FILE* stream_ = nullptr;
  bool failed_ = false;
};

/// How the run ends once its reports are written.
struct ReportsEnd {
  int status;           // the run's status: 1 when a report could not be written
  std::string message;  // the message it ends with ("" for none)
  bool hasMessage;
};

/// A listener that writes a report file. The process's reports are ended
/// together by finishReports, so that one that cannot be written changes
/// what the others say; the record's runEnded then finds them done.
class FileReport : public RunListener {
 public:
  explicit FileReport(const std::string& path);
  ~FileReport() override;

  /// Told by the record: when finishReports has not ended this report (a
  /// report used alone), writes its ending and commits it, ending the run
  /// with "ERROR: Unable to write report '<path>'" on failure.
  void runEnded(int status, const char* fatalMessage) final;

  const std::string& path() const { return file_.path(); }

 protected:
  /// Writes into file_ everything that depends on how the run ended, after
  /// file_.startEnding(); may be called again with another status, and only
  /// the last ending is kept. The part written while the run went on is not
  /// repeated.
  virtual void writeEnding(int status, const char* fatalMessage) = 0;
  /// False when a scratch file of the report lost data.
  virtual bool partsIntact() const { return true; }
  /// Closes and removes the report's scratch files: the process may end
  /// without destructors.
  virtual void dropParts() {}

  ReportFile file_;

 private:
  friend ReportsEnd finishReports(int status, const char* fatalMessage);
  friend void abandonReports();
  /// Writes the ending afresh; true when the report still holds everything.
  bool endAs(int status, const char* fatalMessage);

  bool finished_ = false;
};

/// Ends every report of the process not ended yet, with status and
/// fatalMessage (null for none): each writes its ending; each that cannot be
/// written prints "ERROR: Unable to write report '<path>'" on stdout and
/// leaves nothing behind, and the others are still written whole: when the
/// run was passing, with status 1 and the first such message, which the
/// result then carries. Every scratch file is removed. Called once, by the
/// thread that ends the run, before the record's runEnded.
ReportsEnd finishReports(int status, const char* fatalMessage);

/// Ends every report of the process without writing it: a report found at
/// the start to name a file the run reads. Leaves nothing behind. Main
/// thread, before the end-of-run work can run.
void abandonReports();

/// Ends the run with "ERROR: Unable to write report '<path>'".
[[noreturn]] void failReport(const std::string& path);

/// The same for a report that cannot even be started: every report made so
/// far is abandoned first, so that none leaves a temporary file.
[[noreturn]] void failReportAtStart(const std::string& path);

#endif
