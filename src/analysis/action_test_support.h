// Shared by the tests of the copy and list actions: a fresh scratch folder
// that is also the current folder, a clean rule set and run totals, and
// paths written with '/' and "@" for the scratch folder.
#ifndef TARNWICK_ANALYSIS_ACTION_TEST_SUPPORT_H
#define TARNWICK_ANALYSIS_ACTION_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "base/scratch_folder_test_support.h"
#include "platform/file_system.h"
#include "rules/fresh_run_test_support.h"
#include "rules/rule_set.h"

class ActionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetRunState();
    scratch_ = makeScratchFolder("tarnwick-unit-");
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(scratch_);
  }

  void TearDown() override {
    std::filesystem::current_path(previous_);
    removeScratchFolder(scratch_);
    resetRunState();
  }

  static void resetRunState() { startFreshRun(); }

  /// text with "@" as the scratch folder, each '/' as the platform's
  /// separator and each '|' as a literal '/'.
  std::string at(const std::string& text) const {
    std::string path;
    for (char c : text) {
      if (c == '@') {
        path += scratch_.string();
      } else if (c == '/') {
        path += kFolderSeparator;
      } else if (c == '|') {
        path += '/';
      } else {
        path += c;
      }
    }
    return path;
  }

  /// Writes content to the file at(rel), making its folders.
  void writeFile(const std::string& rel, const std::string& content) const {
    std::filesystem::path file(at(rel));
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path());
    std::ofstream stream(file, std::ios::binary);
    stream << content;
  }

  /// The bytes of at(rel), or "<missing>".
  std::string readFile(const std::string& rel) const {
    std::ifstream stream(std::filesystem::path(at(rel)), std::ios::binary);
    if (!stream) return "<missing>";
    std::ostringstream content;
    content << stream.rdbuf();
    return content.str();
  }

  /// text as the C runtime writes it in text mode.
  static std::string textMode(const std::string& text) {
    if (kFolderSeparator != '\\') return text;
    std::string converted;
    for (char c : text) {
      if (c == '\n') converted += '\r';
      converted += c;
    }
    return converted;
  }

  std::filesystem::path scratch_;
  std::filesystem::path previous_;
};

#endif
