#include "report/text_sanitizer.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <nlohmann/json.hpp>
#include <random>
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

/// The length bytes at text as the JSON report wrote them through
/// nlohmann::json, invalid UTF-8 replaced.
std::string nlohmannString(const std::string& text) {
  return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string jsonString(const std::string& text) {
  std::string out;
  appendJsonString(&out, text.data(), text.size());
  return out;
}

TEST(TextSanitizerTest, JsonStringsAreWhatNlohmannWrites) {
  struct Row {
    std::string in;
    std::string expected;
  };
  const Row rows[] = {
      {"", "\"\""},
      {"plain text", "\"plain text\""},
      {"\"\\/", "\"\\\"\\\\/\""},
      {"\b\t\n\f\r", "\"\\b\\t\\n\\f\\r\""},
      {std::string("\0\x01\x1f\x7f", 4), "\"\\u0000\\u0001\\u001f\x7f\""},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x94\xA8",
       "\"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x94\xA8\""},
      // A broken sequence is one U+FFFD, and the byte that broke it counts.
      {"\xE2\x82"
       "A",
       "\"" + kBad + "A\""},
      {"\xC3\x28", "\"" + kBad + "(\""},
      {"\xE0\x80", "\"" + kBad + kBad + "\""},  // overlong: the second byte is read again
      {"\xED\xA0\x80", "\"" + kBad + kBad + kBad + "\""},  // a surrogate
      {"\xF4\x90\x80\x80", "\"" + kBad + kBad + kBad + kBad + "\""},
      {"\xFF\xFE", "\"" + kBad + kBad + "\""},
      {"end \xE2\x82", "\"end " + kBad + "\""},
      {"\xF0\x9F\x98", "\"" + kBad + "\""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(jsonString(row.in), row.expected) << row.in;
    EXPECT_EQ(nlohmannString(row.in), row.expected) << row.in;
  }
  // Any bytes at all, weighted towards the lead and continuation bytes.
  std::mt19937 random(12345);
  const unsigned char pool[] = {'a',  '"',  '\\', 0x00, 0x1f, 0x7f, 0x80, 0x9f, 0xa0, 0xbf,
                                0xc2, 0xdf, 0xe0, 0xed, 0xef, 0xf0, 0xf4, 0xf5, 0xff, 0xc1};
  for (int i = 0; i < 20000; ++i) {
    std::string text(random() % 12, ' ');
    for (char& c : text) {
      c = static_cast<char>(random() % 2 ? pool[random() % sizeof pool] : random() % 256);
    }
    ASSERT_EQ(jsonString(text), nlohmannString(text)) << testing::PrintToString(text);
  }
}

std::string xmlText(const std::string& text) {
  std::string out;
  appendXmlText(&out, text.data(), text.size());
  return out;
}

TEST(TextSanitizerTest, XmlTextIsValidUtf8EscapedAsTinyXmlEscapes) {
  struct Row {
    std::string in;
    std::string expected;
  };
  const Row rows[] = {
      {"a<b>&\"c'", "a&lt;b&gt;&amp;&quot;c&apos;"},
      {"\t\n\r", "&#x09;&#x0A;&#x0D;"},
      {std::string("\0\x01\x1b", 3), kBad + kBad + kBad},
      {"\xEF\xBF\xBE \xEF\xBF\xBF \xEF\xBF\xBD", kBad + " " + kBad + " " + kBad},
      // TinyXML passes "&#x" through as a reference: the log's text would
      // change or break the file.
      {"&#x41; &#xZZ", "&amp;#x41; &amp;#xZZ"},
      {"\xC3\x28 \xE2\x82\xAC", kBad + "( \xE2\x82\xAC"},
  };
  for (const Row& row : rows) EXPECT_EQ(xmlText(row.in), row.expected) << row.in;
  // Without "&#x", exactly what TinyXML makes of the valid text.
  std::mt19937 random(54321);
  for (int i = 0; i < 20000; ++i) {
    std::string text(random() % 12, ' ');
    for (char& c : text) c = static_cast<char>(random() % 256);
    if (text.find("&#x") != std::string::npos) continue;
    std::string valid = validUtf8(text.data(), text.size(), true), encoded;
    TiXmlBase::EncodeString(valid, &encoded);
    ASSERT_EQ(xmlText(text), encoded) << testing::PrintToString(text);
  }
}

TEST(TextSanitizerTest, CutsOnlyBeforeACharacter) {
  struct Row {
    std::string text;
    size_t cap, expected;
  };
  const std::string euro = "\xE2\x82\xAC";
  const Row rows[] = {
      {"abcd", 4, 4},
      {"abcde", 4, 4},
      {"abc" + euro, 4, 3},
      {"ab" + euro, 4, 2},
      {"a" + euro, 4, 4},
      {"a" + euro + "b", 4, 4},
      {euro + euro, 4, 3},
      {"\xF0\x9F\x94\xA8x", 4, 4},
      {"x\xF0\x9F\x94\xA8", 4, 1},
      {"\x80\x80\x80\x80\x80", 4, 1},  // stray continuations: cut anyway
  };
  for (const Row& row : rows) {
    EXPECT_EQ(utf8CutLength(row.text.data(), row.text.size(), row.cap), row.expected) << row.text;
  }
}

}  // namespace
