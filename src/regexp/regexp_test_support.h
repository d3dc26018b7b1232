// Shared by the engine's tests: ownership of compiled patterns, and a
// fixture whose error hook records what the engine reports.
#ifndef TARNWICK_REGEXP_REGEXP_TEST_SUPPORT_H
#define TARNWICK_REGEXP_REGEXP_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "regexp/regexp.h"

struct FreeRegexp {
  void operator()(Regexp* regexp) const { std::free(regexp); }
};
using RegexpPtr = std::unique_ptr<Regexp, FreeRegexp>;

/// Installs a recording errorHook for the life of each test, which matches
/// on its own thread only.
class RecordingHookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reported.clear();
    errorHook = [](const char* message) { reported.emplace_back(message); };
  }
  void TearDown() override { errorHook = nullptr; }

  /// Every message the engine reported since the test began.
  static inline std::vector<std::string> reported;
};

#endif
