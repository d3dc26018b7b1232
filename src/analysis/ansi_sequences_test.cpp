#include "analysis/ansi_sequences.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// "\x1B" spelled E, BEL spelled B and ST (ESC '\') spelled S, to keep the
// rows readable; "E" must not be followed by a hex digit in C++ text.
#define E "\x1B"
#define B "\x07"
#define S "\x1B\\"

TEST(AnsiSequencesTest, RemovesSequencesAndKeepsEveryOtherByte) {
  struct Row {
    std::string text;
    std::string stripped;
  };
  const Row rows[] = {
      {"", ""},
      {"plain text", "plain text"},
      // gcc's colours and its erase to the end of the line
      {E "[01m" E "[Ka.c:1:19:" E "[m" E "[K " E "[01;31m" E "[Kerror: " E "[m" E "[K'x'",
       "a.c:1:19: error: 'x'"},
      // clang's
      {E "[1ma.c:1:19: " E "[0m" E "[0;1;31merror: " E "[0m" E "[1mx" E "[0m",
       "a.c:1:19: error: x"},
      {E "[m", ""},
      {E "[38;5;196mred" E "[0m", "red"},
      {E "[?25l" E "[?25h", ""},  // private parameters
      {E "[1 qx", "x"},           // an intermediate byte
      {E "[@x", "x"},             // the lowest final byte
      {E "[~x", "x"},             // the highest
      // OSC 8 hyperlinks, ended by ST or BEL
      {E "]8;;https://gcc.gnu.org/w" S "-Wunused" E "]8;;" S, "-Wunused"},
      {E "]8;;file:///a.c" B "a.c" E "]8;;" B ":1", "a.c:1"},
      {E "]0;window title" B "done", "done"},
      {E "P1$r0m" S "x", "x"},  // DCS
      {E "_app" S "x", "x"},    // APC
      // charset selection (tput sgr0 writes ESC ( B) and two-byte sequences
      {E "(B" E "[mok", "ok"},
      {E "(0x", "x"},
      {E "7saved" E "8", "saved"},
      {E "=" E ">x", "x"},
      {E "Mx", "x"},
      {E "cx", "x"},
      // broken and cut-off sequences
      {"end" E, "end"},  // a lone ESC at the end
      {E, ""},
      {E E "[31mx", "x"},               // ESC ESC: the first ESC alone
      {"a" E "\tb", "a\tb"},            // ESC before a control: the ESC alone
      {"a" E "\x7F!", "a\x7F!"},        // before DEL
      {"a" E "\xC3\xA9", "a\xC3\xA9"},  // before a UTF-8 letter
      {"a" E "[", "a"},                 // a CSI cut by the end of the line
      {"a" E "[01;3", "a"},
      {"a" E "[01;31\xC3\xA9", "a\xC3\xA9"},  // cut by another byte, which stays
      {"a" E "[31\tb", "a\tb"},
      {"a" E "[31" E "[mb", "ab"},                   // cut by the next sequence
      {"a" E "[ 1mb", "a1mb"},                       // a parameter after an intermediate
      {"a" E "]8;;no end here", "a8;;no end here"},  // an unended string: its introducer only
      {"a" E "]8;;x" E "[31mb", "a8;;xb"},           // ended by another sequence: not a string end
      {"a" E "]", "a"},
      {"a" E "]" E "\\b", "ab"},  // an empty string
      {"a" E "(", "a"},           // intermediates cut by the end
      {"a" E "(\tb", "a\tb"},
      {"\x9B;1m", "\x9B;1m"},  // an 8-bit CSI is a UTF-8 byte here
      {std::string("a\0" E "[1mb", 7), std::string("a\0b", 3)},  // a NUL stays
      {std::string(E "[31m\0", 6), std::string("\0", 1)},
  };
  std::string out = "left over";
  for (const Row& row : rows) {
    stripAnsiSequences(row.text.data(), row.text.size(), out);
    EXPECT_EQ(out, row.stripped) << testing::PrintToString(row.text);
  }
}

TEST(AnsiSequencesTest, LongRunsAreRemovedWhole) {
  struct Row {
    std::string text;
    std::string stripped;
  };
  const std::string digits(200000, '1');
  const std::string semicolons(200000, ';');
  const std::string payload(200000, 'u');
  const Row rows[] = {
      {E "[" + digits + "mafter", "after"},
      {"before" E "[" + semicolons + "31m", "before"},
      {E "[" + digits, ""},  // never ended
      {E "[1" + std::string(100000, ' ') + "m|", "|"},
      {E "]8;;" + payload + S "text", "text"},
      {E "]8;;" + payload, "8;;" + payload},
      {std::string(100000, '\x1B'), ""},
      {[] {
         std::string many;
         for (int i = 0; i < 50000; ++i) many += E "[1mx";
         return many;
       }(),
       std::string(50000, 'x')},
      {[] {
         std::string many;
         for (int i = 0; i < 50000; ++i) many += E "]y";
         return many;
       }(),
       std::string(50000, 'y')},
  };
  std::string out;
  for (const Row& row : rows) {
    stripAnsiSequences(row.text.data(), row.text.size(), out);
    EXPECT_EQ(out, row.stripped) << row.text.substr(0, 20);
  }
}

#undef E
#undef B
#undef S

}  // namespace
