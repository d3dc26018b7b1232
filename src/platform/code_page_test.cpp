// Arguments and the process code page.
#include "platform/code_page.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include "platform/wide_path_win32.h"
#endif

namespace {

TEST(CodePageTest, ThisRunsArgumentsArrivedWhole) { EXPECT_TRUE(argumentsArriveWhole()); }

#ifdef _WIN32
TEST(CodePageTest, ACharacterTheCodePageLacksIsFound) {
  struct Row {
    const wchar_t* text;
    unsigned codePage;
    bool representable;
  };
  const Row rows[] = {
      {L"-log build.log", 1252, true},
      {L"d\u00e9j\u00e0", 1252, true},
      {L"\u03a9.log", 1252, false},  // best fit would make it "O.log"
      {L"\u65e5\u672c", 1252, false},
      {L"\u03a9.log", 1253, true},
      {L"\u03a9 \u65e5\u672c", 65001, true},
      {L"a\xd800z", 65001, false},  // a lone surrogate has no UTF-8 form
  };
  for (const Row& row : rows) {
    EXPECT_EQ(representableIn(row.text, row.codePage), row.representable) << row.codePage;
  }
}
#endif

}  // namespace
