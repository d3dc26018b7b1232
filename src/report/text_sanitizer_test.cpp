#include "report/text_sanitizer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kBad = "\xEF\xBF\xBD";  // U+FFFD

TEST(TextSanitizerTest, MakesAnyBytesValidUtf8) {
  struct Row {
    std::string in;
    bool forXml;
    std::string expected;
  };
  const Row rows[] = {
      {"plain", false, "plain"},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x94\xA8", false,
       "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x94\xA8"},
      {"a\xFF"
       "b",
       false, "a" + kBad + "b"},
      {"\xC0\xAF", false, kBad + kBad},                        // overlong '/'
      {"\xED\xA0\x80", false, kBad + kBad + kBad},             // a surrogate
      {"\xE2\x82", false, kBad + kBad},                        // cut short
      {"\xF4\x90\x80\x80", false, kBad + kBad + kBad + kBad},  // past U+10FFFF
      {std::string("a\0b", 3), false, std::string("a\0b", 3)},
      {std::string("a\0b\x01\t", 5), true, "a" + kBad + "b" + kBad + "\t"},
      {"\xEF\xBF\xBE", true, kBad},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(validUtf8(row.in.data(), row.in.size(), row.forXml), row.expected) << row.in;
  }
}

TEST(TextSanitizerTest, HtmlTextLeavesNoMarkupAndShowsControls) {
  struct Row {
    std::string in;
    std::string expected;
  };
  const Row rows[] = {
      {"E1: plain text", "E1: plain text"},
      {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
      {"\"><img src=x onerror='a()'>", "&quot;&gt;&lt;img src=x onerror=&#39;a()&#39;&gt;"},
      {"<!-- x -->", "&lt;!-- x --&gt;"},
      {"a & b &amp;", "a &amp; b &amp;amp;"},
      {std::string("nul\0here", 8), "nul\xE2\x90\x80here"},
      {"bell\x07 esc\x1B del\x7F", "bell\xE2\x90\x87 esc\xE2\x90\x9B del\xE2\x90\xA1"},
      {"tab\tstays", "tab\tstays"},
      {"c1\xC2\x85 nbsp\xC2\xA0", "c1" + kBad + " nbsp\xC2\xA0"},
      {"bad\xFE<", "bad" + kBad + "&lt;"},
      {"", ""},
  };
  for (const Row& row : rows) EXPECT_EQ(htmlText(row.in), row.expected) << row.in;
}

}  // namespace
