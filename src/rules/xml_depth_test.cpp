#include "rules/xml_depth.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string nested(int levels) {
  std::string text;
  for (int i = 0; i < levels; ++i) text += "<a>";
  for (int i = 0; i < levels; ++i) text += "</a>";
  return text;
}

TEST(XmlDepthTest, CountsOnlyRealNesting) {
  struct Row {
    const char* name;
    std::string text;
    bool tooDeep;
    int row, column;
  };
  const Row rows[] = {
      {"at the limit", nested(3), false, 0, 0},
      {"one beyond", nested(4), true, 1, 10},
      {"siblings do not add up", "<a></a><a></a><a></a><a></a><a/>", false, 0, 0},
      {"self-closing tags open nothing", "<r><a/><a x='1'/><a /></r>", false, 0, 0},
      {"tags in comments, CDATA and declarations",
       "<?xml version='1.0'?><!-- <a><a><a><a> -->"
       "<r><![CDATA[<a><a><a><a>]]><!DOCTYPE <a>></r>",
       false, 0, 0},
      {"'>' and '/>' inside quoted values", "<a x='>'><a y=\"/>\"><a><a z='q'>", true, 1, 23},
      {"rows and columns counted over LF, CR LF and CR", "<a>\n<a>\r\n<a>\r  <a>", true, 4, 3},
      {"a quoted value right before '/>'", "<r><a x='1'/><a y=\"2\"/><b><c></c></b></r>", false, 0,
       0},
      {"malformed text is left to the parser", "<a <a <a <a <a", false, 0, 0},
  };
  for (const Row& row : rows) {
    NestingReport report = findDeepNesting(row.text, 3);
    EXPECT_EQ(report.tooDeep, row.tooDeep) << row.name;
    EXPECT_EQ(report.row, row.row) << row.name;
    EXPECT_EQ(report.column, row.column) << row.name;
  }
}

}  // namespace
