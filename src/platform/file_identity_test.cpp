// Whether two names denote one file, run in a scratch folder of its own.
#include "platform/file_identity.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/scratch_folder_test_support.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

struct Row {
  std::string a;
  std::string b;
  bool same;
};

class FileIdentityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = makeScratchFolder("tarnwick-identity-");
    previous_ = fs::current_path();
    fs::current_path(folder_);
    std::ofstream("a.log") << "a";
    std::ofstream("b.log") << "b";
    fs::create_directory("sub");
    fs::create_hard_link("a.log", "link.log");
  }
  void TearDown() override {
    fs::current_path(previous_);
    removeScratchFolder(folder_);
  }

  /// "@" in text stands for the scratch folder.
  std::string at(const std::string& text) const {
    std::string path;
    for (char c : text) path += c == '@' ? folder_.string() : std::string(1, c);
    return path;
  }

  void check(const Row& row, bool (*same)(const char*, const char*)) const {
    std::string a = at(row.a), b = at(row.b);
    EXPECT_EQ(same(a.c_str(), b.c_str()), row.same) << row.a << " | " << row.b;
    EXPECT_EQ(same(b.c_str(), a.c_str()), row.same) << row.b << " | " << row.a;
  }

  fs::path folder_;
  fs::path previous_;
};

TEST_F(FileIdentityTest, NamesAreComparedAsTheFileSystemReadsThem) {
  const Row common[] = {
      {"all.lst", "all.lst", true},
      {"all.lst", "all2.lst", false},
      {"ls2/all.lst", "ls2/all.lst", true},
  };
  const std::vector<Row> posix = {
      {"all.lst", "ALL.LST", false},
      {"./all.lst", "all.lst", false},
      {"ls2/all.lst", "ls2\\all.lst", false},
      {"@/all.lst", "all.lst", false},
  };
  const std::vector<Row> windows = {
      {"ls2\\all.lst", "ls2\\ALL.LST", true}, {"ls2/all.lst", "LS2\\all.lst", true},
      {"@/all.lst", "all.lst", true},         {".\\all.lst", "all.lst", true},
      {"x\\..\\all.lst", "all.lst", true},    {"all.lst", "all.lst.", true},
      {"\xc3\xa9.lst", "\xc3\x89.lst", true},  // é and É: the file system ignores case beyond ASCII
      {"a\xe9.lst", "a\xe8.lst", false},       // no UTF-8: never made one name
      {"a\xe9.lst", "a\xe9.lst", true},
  };
  for (const Row& row : common) check(row, sameFileName);
  for (const Row& row : kWindows ? windows : posix) check(row, sameFileName);
}

TEST_F(FileIdentityTest, ExistingFilesAreComparedByIdentity) {
  const Row common[] = {
      {"a.log", "a.log", true},        {"a.log", "./a.log", true},  {"a.log", "@/a.log", true},
      {"a.log", "sub/../a.log", true}, {"a.log", "link.log", true}, {"a.log", "b.log", false},
      {"sub", "./sub/", true},         {"a.log", "sub", false},     {"a.log", "new.log", false},
  };
  const Row windows[] = {
      {"a.log", "A.LOG", true},
      {"a.log", "@\\SUB\\..\\a.log", true},
  };
  for (const Row& row : common) check(row, sameFile);
  if (kWindows) {
    for (const Row& row : windows) check(row, sameFile);
  }
#ifndef _WIN32
  ASSERT_EQ(symlink("a.log", "symbolic.log"), 0);
  check({"a.log", "symbolic.log", true}, sameFile);
  check({"A.LOG", "a.log", false}, sameFile);
#endif
}

TEST_F(FileIdentityTest, FilesYetToBeMadeAreComparedByName) {
  const Row common[] = {
      {"new.log", "new.log", true},           {"new.log", "./new.log", true},
      {"new.log", "@/new.log", true},         {"new.log", "sub/../new.log", true},
      {"sub/new.log", "@/sub/new.log", true}, {"missing/new.log", "missing/./new.log", true},
      {"new.log", "other.log", false},        {"sub/new.log", "new.log", false},
  };
  const Row windows[] = {
      {"new.log", "NEW.LOG", true},
      {"sub/new.log", "SUB\\new.log", true},
  };
  for (const Row& row : common) check(row, sameFile);
  if (kWindows) {
    for (const Row& row : windows) check(row, sameFile);
  }
#ifndef _WIN32
  ASSERT_EQ(symlink("sub", "alias"), 0);
  check({"alias/new.log", "sub/new.log", true}, sameFile);
  check({"NEW.LOG", "new.log", false}, sameFile);
#endif
}

}  // namespace
