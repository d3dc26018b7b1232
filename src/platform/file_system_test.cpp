// The file services' contract on the platform this test is built for.
#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/resource.h>
#endif

namespace {

namespace fs = std::filesystem;

class FileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    do {
      folder_ = fs::temp_directory_path() / ("tarnwick-fs-" + std::to_string(random()));
    } while (!fs::create_directory(folder_));
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

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
  std::string text = systemErrorText(ERROR_FILE_EXISTS);
  ASSERT_GT(text.size(), 2u);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
#else
  EXPECT_EQ(systemErrorText(EEXIST), std::string(std::strerror(EEXIST)) + "\n");
  EXPECT_EQ(systemErrorText(ENOENT), std::string(std::strerror(ENOENT)) + "\n");
#endif
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

}  // namespace
