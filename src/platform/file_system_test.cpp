// The file services' contract on the platform this test is built for.
#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "base/scratch_folder_test_support.h"

namespace {

namespace fs = std::filesystem;

class FileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = makeScratchFolder("tarnwick-fs-"); }
  void TearDown() override { removeScratchFolder(folder_); }

  std::string path(const std::string& name) const { return (folder_ / name).string(); }

  void write(const std::string& name, const std::string& content) const {
    std::ofstream(folder_ / name, std::ios::binary) << content;
  }

  std::string read(const std::string& name) const {
    std::ifstream stream(folder_ / name, std::ios::binary);
    std::ostringstream content;
    content << stream.rdbuf();
    return content.str();
  }

  fs::path folder_;
};

TEST(FolderSeparatorTest, TheFileSystemsOwnSeparators) {
  EXPECT_TRUE(isFolderSeparator(kFolderSeparator));
  EXPECT_TRUE(isFolderSeparator('/'));  // Windows accepts it too
  EXPECT_FALSE(isFolderSeparator(':'));
  EXPECT_FALSE(isFolderSeparator('.'));
#ifdef _WIN32
  EXPECT_TRUE(isFolderSeparator('\\'));
#else
  EXPECT_FALSE(isFolderSeparator('\\'));
#endif
}

TEST(RootedPathTest, ARootedPathNeedsNoCurrentFolder) {
  struct Row {
    const char* path;
    bool posix;
    bool windows;
  };
  const Row rows[] = {
      {"/etc/x.xml", true, true}, {"rules/x.xml", false, false}, {"x.xml", false, false},
      {"", false, false},         {"./x.xml", false, false},     {"../x.xml", false, false},
      {"\\x.xml", false, true},   {"C:\\r\\x.xml", false, true}, {"z:x.xml", false, true},
      {"1:x.xml", false, false},  {":x.xml", false, false},      {"$OUT/x.xml", false, false},
  };
  for (const Row& row : rows) {
#ifdef _WIN32
    EXPECT_EQ(isRootedPath(row.path), row.windows) << row.path;
#else
    EXPECT_EQ(isRootedPath(row.path), row.posix) << row.path;
#endif
  }
}

TEST_F(FileSystemTest, ACopyNeverReplacesAnExistingTarget) {
  write("source", "new");
  write("target", "old");
  EXPECT_FALSE(copyFileNoOverwrite(path("source").c_str(), path("target").c_str()));
#ifdef _WIN32
  EXPECT_EQ(lastSystemError(), ERROR_FILE_EXISTS);
#else
  EXPECT_EQ(lastSystemError(), EEXIST);
#endif
  EXPECT_EQ(read("target"), "old");
}

TEST_F(FileSystemTest, AFailedCopyLeavesNoTarget) {
  EXPECT_FALSE(copyFileNoOverwrite(path("missing").c_str(), path("target").c_str()));
  EXPECT_FALSE(pathExists(path("target").c_str()));
  fs::create_directory(folder_ / "folder");
  EXPECT_FALSE(copyFileNoOverwrite(path("folder").c_str(), path("target").c_str()));
  EXPECT_FALSE(pathExists(path("target").c_str()));
}

#ifndef _WIN32
// A file size limit makes the copy fail half-way, after the target exists.
TEST_F(FileSystemTest, ACopyCutShortRemovesItsPartialTarget) {
  write("source", std::string(300000, 'x'));
  rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 100000;
  void (*previous)(int) = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  bool copied = copyFileNoOverwrite(path("source").c_str(), path("target").c_str());
  int error = lastSystemError();
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previous);
  EXPECT_FALSE(copied);
  EXPECT_EQ(error, EFBIG);
  EXPECT_FALSE(pathExists(path("target").c_str()));
}
#endif

TEST_F(FileSystemTest, TheSystemTextEndsWithALineEnd) {
#ifdef _WIN32
  // The system's own CR LF becomes "\n": text mode writes it as one CR LF.
  std::string text = systemErrorText(ERROR_FILE_EXISTS);
  ASSERT_GT(text.size(), 1u);
  EXPECT_EQ(text.back(), '\n');
  EXPECT_EQ(text.find('\r'), std::string::npos) << text;
  EXPECT_EQ(text.find('\n'), text.size() - 1) << text;
#else
  EXPECT_EQ(systemErrorText(EEXIST), std::string(std::strerror(EEXIST)) + "\n");
  EXPECT_EQ(systemErrorText(ENOENT), std::string(std::strerror(ENOENT)) + "\n");
#endif
  EXPECT_EQ(systemErrorText(kNotRegularFile), "Not a regular file\n");
}

TEST_F(FileSystemTest, FolderCreationTellsAMissingParentApart) {
  errno = 0;
  EXPECT_FALSE(createFolder(path("a/b").c_str()));
  EXPECT_EQ(errno, ENOENT);
  EXPECT_TRUE(createFolder(path("a").c_str()));
  EXPECT_TRUE(createFolder(path("a/b").c_str()));
  errno = 0;
  EXPECT_FALSE(createFolder(path("a").c_str()));
  EXPECT_EQ(errno, EEXIST);
}

TEST_F(FileSystemTest, AFolderIsFoundWithATrailingSeparator) {
  fs::create_directory(folder_ / "folder");
  EXPECT_TRUE(pathExists(path("folder").c_str()));
  EXPECT_TRUE(pathExists((path("folder") + kFolderSeparator).c_str()));
  EXPECT_TRUE(pathExists((path("folder") + kFolderSeparator + kFolderSeparator).c_str()));
  EXPECT_FALSE(pathExists((path("missing") + kFolderSeparator).c_str()));
  EXPECT_FALSE(pathExists(path("missing").c_str()));
}

TEST_F(FileSystemTest, DeleteRemovesFilesOnly) {
  write("file", "x");
  EXPECT_TRUE(deleteFile(path("file").c_str()));
  EXPECT_FALSE(pathExists(path("file").c_str()));
  EXPECT_FALSE(deleteFile(path("file").c_str()));
  fs::create_directory(folder_ / "folder");
  EXPECT_FALSE(deleteFile(path("folder").c_str()));
  EXPECT_TRUE(pathExists(path("folder").c_str()));
}

TEST_F(FileSystemTest, AnOpenFolderIsToldFromAnOpenFile) {
  write("a.log", "line\n");
  std::FILE* file = std::fopen(path("a.log").c_str(), "r");
  ASSERT_NE(file, nullptr);
  EXPECT_FALSE(isOpenFolder(file));
  std::fclose(file);
  // Windows refuses to open a folder at all; where it opens, it is told.
  file = std::fopen(folder_.string().c_str(), "r");
  if (file != nullptr) {
    EXPECT_TRUE(isOpenFolder(file));
    std::fclose(file);
  }
}

TEST(TemporaryCopyNameTest, HiddenBesideTheTargetWithTheProcessId) {
  const std::string longName(300, 'n');
  const std::string cutInUtf8 = std::string(199, 'x') + "\xc3\xa9" + std::string(60, 'y');
  struct Row {
    std::string target;
    unsigned long processId;
    std::string temporary;
  };
  std::vector<Row> rows = {
      {"/drop/bin/a.dll", 42, "/drop/bin/.a.dll.tarnwick-42.tmp"},
      {"a.dll", 7, ".a.dll.tarnwick-7.tmp"},
      {"/drop/.hidden", 1, "/drop/..hidden.tarnwick-1.tmp"},
      {"/drop/" + longName, 4294967295ul,
       "/drop/." + longName.substr(0, 200) + ".tarnwick-4294967295.tmp"},
      {"/d/" + cutInUtf8, 3, "/d/." + std::string(199, 'x') + ".tarnwick-3.tmp"},
  };
#ifdef _WIN32
  rows.push_back({"D:\\drop/bin\\a.dll", 9, "D:\\drop/bin\\.a.dll.tarnwick-9.tmp"});
  rows.push_back({"D:\\drop\\bin/a.dll", 9, "D:\\drop\\bin/.a.dll.tarnwick-9.tmp"});
#else
  rows.push_back({"/drop/bin\\a.dll", 9, "/drop/.bin\\a.dll.tarnwick-9.tmp"});
#endif
  for (const Row& row : rows) {
    EXPECT_EQ(temporaryCopyName(row.target, row.processId), row.temporary) << row.target;
  }
}

TEST(SameNameCharacterTest, AsTheFileSystemComparesNames) {
  struct Row {
    char a;
    char b;
    bool posix;
    bool windows;
  };
  const Row rows[] = {
      {'a', 'a', true, true},         {'a', 'A', false, true},  {'Z', 'z', false, true},
      {'/', '\\', false, true},       {'\\', '/', false, true}, {'/', '/', true, true},
      {'a', 'b', false, false},       {'@', '`', false, false}, {'[', '{', false, false},
      {'\xc9', '\xe9', false, false},  // case folds for ASCII letters only
  };
  for (const Row& row : rows) {
    EXPECT_EQ(sameNameCharacter(row.a, row.b), kFolderSeparator == '\\' ? row.windows : row.posix)
        << row.a << " " << row.b;
  }
}

/// What the copy step hook of a test does and saw.
struct HookPlan {
  HookPlan(CopyStep step, int code, const std::string& content = "")
      : failAt(step), error(code), writeTarget(content) {}

  CopyStep failAt;            // the step that fails
  int error;                  // with this code (0: goes on)
  std::string writeTarget;    // when not empty: appears at the target at that step
  std::string target;         // the copy's target
  bool targetSeen = false;    // the target existed when the step came
  std::string temporarySeen;  // the temporary file's content then
  std::string temporary;      // and its path
};
HookPlan* hookPlan = nullptr;

int planHook(CopyStep step, const char* temporary) {
  if (step != hookPlan->failAt) return 0;
  hookPlan->targetSeen = std::filesystem::exists(hookPlan->target);
  hookPlan->temporary = temporary;
  std::ifstream stream(temporary, std::ios::binary);
  std::ostringstream content;
  content << stream.rdbuf();
  hookPlan->temporarySeen = content.str();
  if (!hookPlan->writeTarget.empty()) {
    std::ofstream(hookPlan->target, std::ios::binary) << hookPlan->writeTarget;
  }
  return hookPlan->error;
}

class CopyStepTest : public FileSystemTest {
 protected:
  void TearDown() override {
    setCopyStepHook(nullptr);
    hookPlan = nullptr;
    FileSystemTest::TearDown();
  }

  /// Copies source to target with the hook following plan.
  bool copyWith(HookPlan& plan) {
    plan.target = path("target");
    hookPlan = &plan;
    setCopyStepHook(planHook);
    bool copied = copyFileNoOverwrite(path("source").c_str(), path("target").c_str());
    error_ = lastSystemError();
    setCopyStepHook(nullptr);
    return copied;
  }

  /// The names in the test's folder, sorted.
  std::string names() const {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      found.push_back(entry.path().filename().string());
    }
    std::sort(found.begin(), found.end());
    std::string all;
    for (const std::string& name : found) all += name + " ";
    return all;
  }

  int error_ = 0;
};

#ifdef _WIN32
const int kInjected = ERROR_WRITE_FAULT;
const int kExists = ERROR_FILE_EXISTS;
#else
const int kInjected = EIO;
const int kExists = EEXIST;
#endif

// A copy stopped at any step, as a killed run is, has not touched the
// target's name: the bytes were only ever in the temporary file.
TEST_F(CopyStepTest, ACopyStoppedAtAnyStepLeavesNoTargetAndNoTemporaryFile) {
  const std::string content(300000, 'c');
  struct Row {
    const char* what;
    CopyStep step;
    std::string temporarySeen;  // what the temporary file held at that step
  };
  const Row rows[] = {
#ifdef _WIN32
      {"the data is in", CopyStep::kData, content},
#else
      {"the first block is in", CopyStep::kData, content.substr(0, 64 * 1024)},
#endif
      {"before the flush", CopyStep::kFlush, content},
#ifdef _WIN32
      // The temporary file is open for writing, unshared, at these steps:
      // whether the hook can read it is not asked ("?").
      {"once flushed", CopyStep::kFlushed, "?"},
      {"a close that fails", CopyStep::kClose, "?"},
#else
      {"once flushed", CopyStep::kFlushed, content},
      {"a close that fails", CopyStep::kClose, content},
#endif
      {"before the move", CopyStep::kRename, content},
  };
  for (const Row& row : rows) {
    write("source", content);
    HookPlan plan{row.step, kInjected};
    EXPECT_FALSE(copyWith(plan)) << row.what;
    EXPECT_EQ(error_, kInjected) << row.what;
    EXPECT_FALSE(plan.targetSeen) << row.what;
    if (row.temporarySeen != "?") {
      EXPECT_EQ(plan.temporarySeen, row.temporarySeen) << row.what;
    }
    EXPECT_EQ(names(), "source ") << row.what;  // neither target nor temporary file

    // The next copy is whole.
    EXPECT_TRUE(copyFileNoOverwrite(path("source").c_str(), path("target").c_str())) << row.what;
    EXPECT_EQ(read("target"), content) << row.what;
    EXPECT_EQ(names(), "source target ") << row.what;
    fs::remove(folder_ / "target");
  }
}

// On Windows a name of 248 characters or more needs the wide calls, and the
// temporary file's name is longer than the target's: every length around
// that limit copies whole, through the temporary file, and a copy stopped
// before its move leaves nothing behind.
TEST_F(CopyStepTest, TargetsAroundTheLongNameLimitGoThroughTheTemporaryFile) {
  write("source", "long");
  const std::string folder = path("d") + kFolderSeparator;
  ASSERT_TRUE(createFolder(path("d").c_str()));
  for (size_t length : {200u, 243u, 244u, 246u, 247u, 248u, 249u, 255u, 259u}) {
    ASSERT_LT(folder.size(), length);
    const std::string target = folder + std::string(length - folder.size(), 'n');
    HookPlan stopped{CopyStep::kRename, kInjected};
    stopped.target = target;
    hookPlan = &stopped;
    setCopyStepHook(planHook);
    EXPECT_FALSE(copyFileNoOverwrite(path("source").c_str(), target.c_str())) << length;
    setCopyStepHook(nullptr);
    EXPECT_EQ(stopped.temporarySeen, "long") << length << ": the temporary file was not used";
    EXPECT_FALSE(pathExists(target.c_str())) << length;
    EXPECT_TRUE(fs::is_empty(folder_ / "d")) << length;

    EXPECT_TRUE(copyFileNoOverwrite(path("source").c_str(), target.c_str()))
        << length << ": " << systemErrorText(lastSystemError());
    EXPECT_TRUE(pathExists(target.c_str())) << length;
    EXPECT_FALSE(copyFileNoOverwrite(path("source").c_str(), target.c_str())) << length;
    EXPECT_EQ(lastSystemError(), kExists) << length;
    EXPECT_TRUE(deleteFile(target.c_str())) << length;
    EXPECT_TRUE(fs::is_empty(folder_ / "d")) << length;
  }
}

// A report's long name opens for writing and moves into place.
TEST_F(FileSystemTest, LongNamesOpenAndReplace) {
  const std::string folder = path("");
  for (size_t length : {200u, 246u, 248u, 259u}) {
    const std::string name = folder + std::string(length - folder.size(), 'r');
    const std::string next = name.substr(0, name.size() - 1) + "s";
    std::FILE* file = openFile(next.c_str(), "wb");
    ASSERT_NE(file, nullptr) << length;
    EXPECT_GE(std::fputs("report", file), 0) << length;
    EXPECT_EQ(std::fclose(file), 0) << length;
    EXPECT_TRUE(replaceFile(next.c_str(), name.c_str())) << length;
    EXPECT_FALSE(pathExists(next.c_str())) << length;
    file = openFile(name.c_str(), "rb");
    ASSERT_NE(file, nullptr) << length;
    char text[16] = {};
    EXPECT_EQ(std::fread(text, 1, sizeof text, file), 6u) << length;
    std::fclose(file);
    EXPECT_STREQ(text, "report") << length;
    EXPECT_TRUE(deleteFile(name.c_str())) << length;
  }
}

// Another copy that takes the name while this one is under way wins; this
// one fails as for an existing target and leaves the winner whole.
TEST_F(CopyStepTest, ATargetThatAppearsDuringTheCopyIsNeverReplaced) {
  write("source", "mine");
  for (CopyStep step : {CopyStep::kData, CopyStep::kFlush, CopyStep::kRename}) {
    HookPlan plan{step, 0, "theirs"};
    EXPECT_FALSE(copyWith(plan));
    EXPECT_EQ(error_, kExists);
    EXPECT_EQ(read("target"), "theirs");
    EXPECT_EQ(names(), "source target ");
    fs::remove(folder_ / "target");
  }
}

// The temporary file of a read-only source is read-only too, yet it is
// flushed, moved, or removed after a failure.
TEST_F(CopyStepTest, AReadOnlySourceCopies) {
  write("source", "fixed");
  fs::permissions(folder_ / "source", fs::perms::owner_read);
  HookPlan plan{CopyStep::kRename, kInjected};
  EXPECT_FALSE(copyWith(plan));
  EXPECT_EQ(names(), "source ");
  EXPECT_TRUE(copyFileNoOverwrite(path("source").c_str(), path("target").c_str()));
  EXPECT_EQ(read("target"), "fixed");
  EXPECT_EQ(fs::status(folder_ / "target").permissions(),
            fs::status(folder_ / "source").permissions());
  EXPECT_EQ(names(), "source target ");
  for (const char* name : {"source", "target"}) {
    fs::permissions(folder_ / name, fs::perms::owner_all);  // so that it can be removed
  }
}

TEST_F(CopyStepTest, AStaleTemporaryFileOfThisProcessIdIsReplaced) {
  write("source", "new");
  HookPlan plan{CopyStep::kRename, 0};
  ASSERT_TRUE(copyWith(plan));
  fs::remove(folder_ / "target");
  // A killed run whose process id this one has left a read-only one.
  std::ofstream(plan.temporary, std::ios::binary) << "stale and longer";
  fs::permissions(plan.temporary, fs::perms::owner_read);
  EXPECT_TRUE(copyFileNoOverwrite(path("source").c_str(), path("target").c_str()));
  EXPECT_EQ(read("target"), "new");
  EXPECT_EQ(names(), "source target ");
}

#ifndef _WIN32
// Permission bits and times are kept where the file system allows; one that
// refuses them (vfat, some CIFS mounts) still gets the copy.
TEST_F(CopyStepTest, MetadataThatCannotBeSetDoesNotFailTheCopy) {
  for (CopyStep step : {CopyStep::kPermissions, CopyStep::kTimes}) {
    write("source", "data");
    HookPlan plan{step, EPERM};
    EXPECT_TRUE(copyWith(plan));
    EXPECT_FALSE(plan.targetSeen);
    EXPECT_EQ(read("target"), "data");
    EXPECT_EQ(names(), "source target ");
    fs::remove(folder_ / "target");
  }
}

// Where the rename that refuses to replace is missing, a hard link does the
// same; where links are missing too, the copy is written into a target
// created exclusively. Neither overwrites, neither leaves the temporary file.
TEST_F(CopyStepTest, WithoutRenameOrLinkTheCopyStillNeverOverwrites) {
  struct Row {
    const char* what;
    CopyStep step;
    int error;
    std::string writeTarget;  // appears at the target at that step
    bool copied;
    int expectedError;
  };
  const Row rows[] = {
      {"no rename without replace: a link", CopyStep::kRename, EINVAL, "", true, 0},
      {"no such system call", CopyStep::kRename, ENOSYS, "", true, 0},
      {"a name taken before the link", CopyStep::kRename, EINVAL, "theirs", false, EEXIST},
      {"no links either: a new target", CopyStep::kLink, EPERM, "", true, 0},
      {"links unsupported", CopyStep::kLink, EOPNOTSUPP, "", true, 0},
      {"a name taken before the new target", CopyStep::kLink, EPERM, "theirs", false, EEXIST},
      {"another link error fails the copy", CopyStep::kLink, EACCES, "", false, EACCES},
      {"another rename error fails the copy", CopyStep::kRename, EACCES, "", false, EACCES},
  };
  for (const Row& row : rows) {
    write("source", "mine");
    // The link is only tried when the rename is unsupported.
    HookPlan plan{row.step, row.error, row.writeTarget};
    if (row.step == CopyStep::kLink) {
      setCopyStepHook([](CopyStep step, const char* temporary) {
        return step == CopyStep::kRename ? EINVAL : planHook(step, temporary);
      });
      hookPlan = &plan;
      plan.target = path("target");
      EXPECT_EQ(copyFileNoOverwrite(path("source").c_str(), path("target").c_str()), row.copied)
          << row.what;
      error_ = lastSystemError();
      setCopyStepHook(nullptr);
    } else {
      EXPECT_EQ(copyWith(plan), row.copied) << row.what;
    }
    if (!row.copied) {
      EXPECT_EQ(error_, row.expectedError) << row.what;
    }
    EXPECT_EQ(read("target"), row.copied ? "mine" : row.writeTarget) << row.what;
    EXPECT_EQ(names(), row.copied || !row.writeTarget.empty() ? "source target " : "source ")
        << row.what;
    fs::remove(folder_ / "target");
  }
}

// A FIFO would block the copy in its open until a writer came; a device
// could give data without end. Neither is copied, and neither leaves a file.
TEST_F(FileSystemTest, OnlyRegularFilesAreCopied) {
  ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0) << std::strerror(errno);
  fs::create_symlink("/dev/null", folder_ / "null");
  for (const char* source : {"fifo", "null"}) {
    EXPECT_FALSE(copyFileNoOverwrite(path(source).c_str(), path("target").c_str())) << source;
    EXPECT_EQ(lastSystemError(), kNotRegularFile) << source;
    EXPECT_FALSE(pathExists(path("target").c_str())) << source;
  }
  // A link to a regular file copies its data.
  write("file", "data");
  fs::create_symlink(folder_ / "file", folder_ / "link");
  EXPECT_TRUE(copyFileNoOverwrite(path("link").c_str(), path("target").c_str()));
  EXPECT_EQ(read("target"), "data");
}
#else
// A device read as a file would give data without end: it is not copied.
TEST_F(FileSystemTest, OnlyFilesOnDiskAreCopied) {
  EXPECT_FALSE(copyFileNoOverwrite("NUL", path("target").c_str()));
  EXPECT_EQ(lastSystemError(), kNotRegularFile);
  EXPECT_FALSE(pathExists(path("target").c_str()));
}
#endif

}  // namespace

namespace {

std::vector<CopyStep> stepsSeen;

int recordStep(CopyStep step, const char* /*temporary*/) {
  stepsSeen.push_back(step);
  return 0;
}

}  // namespace

// The temporary file reaches stable storage and is closed without error
// before it takes the target's name: a copy that skipped either could leave
// a target that a power loss empties or a network file system never got.
TEST_F(CopyStepTest, TheTemporaryFileIsFlushedAndClosedBeforeTheMove) {
  write("source", std::string(100000, 's'));
  stepsSeen.clear();
  setCopyStepHook(recordStep);
  EXPECT_TRUE(copyFileNoOverwrite(path("source").c_str(), path("target").c_str()));
  setCopyStepHook(nullptr);
#ifdef _WIN32
  const std::vector<CopyStep> expected = {CopyStep::kData, CopyStep::kFlush, CopyStep::kFlushed,
                                          CopyStep::kClose, CopyStep::kRename};
#else
  const std::vector<CopyStep> expected = {
      CopyStep::kData,    CopyStep::kPermissions, CopyStep::kTimes, CopyStep::kFlush,
      CopyStep::kFlushed, CopyStep::kClose,       CopyStep::kRename};
#endif
  EXPECT_EQ(stepsSeen, expected);
  EXPECT_EQ(read("target"), std::string(100000, 's'));
}

// Temporary and spool files are made new: whatever a killed run or another
// user left under the name, a link included, is replaced and never written
// through.
TEST_F(FileSystemTest, ANewFileNeverWritesThroughWhatWasThere) {
  struct Row {
    const char* what;
    bool link;
    bool regular;
  };
  const Row rows[] = {
      {"nothing there", false, false},
      {"a stale file", false, true},
#ifndef _WIN32
      {"a link to another file", true, false},
#endif
  };
  for (const Row& row : rows) {
    write("victim", "untouched");
    std::error_code ignored;
    fs::remove(folder_ / "new", ignored);
    if (row.regular) write("new", "stale content");
    if (row.link) fs::create_symlink(folder_ / "victim", folder_ / "new");
    std::FILE* file = createNewFile(path("new").c_str());
    ASSERT_NE(file, nullptr) << row.what;
    EXPECT_EQ(std::fputs("fresh", file) >= 0, true) << row.what;
    EXPECT_EQ(std::fclose(file), 0) << row.what;
    EXPECT_EQ(read("new"), "fresh") << row.what;
    EXPECT_FALSE(fs::is_symlink(folder_ / "new")) << row.what;
    EXPECT_EQ(read("victim"), "untouched") << row.what;
  }
  fs::create_directory(folder_ / "folder");
  EXPECT_EQ(createNewFile(path("folder").c_str()), nullptr);
  EXPECT_TRUE(fs::is_directory(folder_ / "folder"));
}

TEST_F(FileSystemTest, PathKindsAndTruncation) {
  write("file", "0123456789");
  fs::create_directory(folder_ / "folder");
  EXPECT_EQ(pathKind(path("file").c_str()), PathKind::kRegularFile);
  EXPECT_EQ(pathKind(path("folder").c_str()), PathKind::kFolder);
  EXPECT_EQ(pathKind(path("missing").c_str()), PathKind::kMissing);
#ifdef _WIN32
  EXPECT_EQ(pathKind("NUL"), PathKind::kOther);
#else
  EXPECT_EQ(pathKind("/dev/null"), PathKind::kOther);  // only asked, never opened
  ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
  EXPECT_EQ(pathKind(path("fifo").c_str()), PathKind::kOther);
  fs::create_symlink(folder_ / "file", folder_ / "link");
  EXPECT_EQ(linkTarget(path("link")), path("file"));
  fs::create_symlink("link", folder_ / "link2");  // relative, through another link
  EXPECT_EQ(linkTarget(path("link2")), path("file"));
  EXPECT_EQ(linkTarget(path("file")), path("file"));
#endif
  std::FILE* file = createNewFile(path("cut").c_str());
  ASSERT_NE(file, nullptr);
  std::fputs("keep|drop", file);
  EXPECT_TRUE(truncateOpenFile(file, 5));
  std::fputs("new", file);
  std::fclose(file);
  EXPECT_EQ(read("cut"), "keep|new");
  EXPECT_TRUE(nameFitsFolder(path("short.json").c_str()));
  EXPECT_FALSE(nameFitsFolder(path(std::string(300, 'n')).c_str()));
}
