#include "rules/variable_table.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "rules/fresh_run_test_support.h"

namespace {

TEST(VariableTableTest, DefineReturnsThePreviousValue) {
  VariableTable table;
  EXPECT_EQ(table.lookup("OUT"), nullptr);
  EXPECT_EQ(table.define("OUT", std::string("D:\\drop")), std::nullopt);
  EXPECT_EQ(table.define("OUT", std::string("E:\\other")), std::optional<std::string>("D:\\drop"));
  ASSERT_NE(table.lookup("OUT"), nullptr);
  EXPECT_EQ(*table.lookup("OUT"), "E:\\other");
  EXPECT_EQ(table.entryCount(), 1);

  // Names are compared byte for byte.
  EXPECT_EQ(table.lookup("out"), nullptr);
  EXPECT_EQ(table.lookup("OU"), nullptr);
  EXPECT_EQ(table.lookup("OUTX"), nullptr);
  EXPECT_EQ(table.lookup("TOU"), nullptr);  // same bucket, another name

  // An empty value is a value; a null one reads as undefined.
  table.define("EMPTY", std::string());
  ASSERT_NE(table.lookup("EMPTY"), nullptr);
  EXPECT_EQ(*table.lookup("EMPTY"), "");
  table.define("NONE", std::nullopt);
  EXPECT_EQ(table.lookup("NONE"), nullptr);
  EXPECT_EQ(table.define("NONE", std::string("now")), std::nullopt);
  EXPECT_EQ(*table.lookup("NONE"), "now");
  table.define("", std::string("x"));
  EXPECT_EQ(*table.lookup(""), "x");
  EXPECT_EQ(table.entryCount(), 4);
}

TEST(VariableTableTest, GrowsAtTheSixtiethNameAndKeepsEveryValue) {
  VariableTable table;
  for (int i = 0; i < 180; ++i) {
    std::string name = "V" + std::to_string(i);
    table.define(name.c_str(), "value" + std::to_string(i));
    int expected = i + 1 < 60 ? 10 : i + 1 < 180 ? 30 : 90;
    ASSERT_EQ(table.bucketCount(), expected) << i + 1 << " names";
  }
  // Redefinitions neither add nodes nor grow.
  for (int i = 0; i < 180; ++i) {
    std::string name = "V" + std::to_string(i);
    EXPECT_EQ(table.define(name.c_str(), std::string("again")), "value" + std::to_string(i));
  }
  EXPECT_EQ(table.entryCount(), 180);
  EXPECT_EQ(table.bucketCount(), 90);
  EXPECT_EQ(*table.lookup("V179"), "again");
}

// Warnings reach the record, whose messages a fresh run writes to stdout.
class ExpandVariablesTest : public ::testing::Test {
 protected:
  void SetUp() override { startFreshRun(); }
  void TearDown() override { startFreshRun(); }
};

struct ExpandRow {
  const char* text;
  const char* expanded;
  const char* warnings;
};

TEST_F(ExpandVariablesTest, ReplacesReferencesOnce) {
  VariableTable table;
  table.define("OUT", std::string("D:\\drop"));
  table.define("A", std::string("x"));
  table.define("B", std::string("y"));
  table.define("REF", std::string("$B"));
  table.define("EMPTY", std::string());
  table.define("", std::string("unreachable"));
  table.define("v2", std::string("two"));
  table.define("NONE", std::nullopt);
  table.define("CAFE", std::string("latte"));
  const ExpandRow rows[] = {
      {"$OUT\\bin", "D:\\drop\\bin", ""},
      {"$OUT_DIR", "D:\\drop_DIR", ""},
      {"$OUT.lst", "D:\\drop.lst", ""},
      {"${OUT}", "${OUT}", ""},
      {"$1", "$1", ""},
      {"a$", "a$", ""},
      {"$", "$", ""},
      {"$_OUT", "$_OUT", ""},
      {"$$OUT", "$D:\\drop", ""},
      {"$A$B", "xy", ""},
      {"$REF", "$B", ""},
      {"$REF$REF", "$B$B", ""},
      {"$out", "", "WARNING: $out is not defined\n"},
      {"$OUTPUT", "", "WARNING: $OUTPUT is not defined\n"},
      {"$EMPTY/x", "/x", ""},
      {"$NONE", "", "WARNING: $NONE is not defined\n"},
      {"$v2x", "", "WARNING: $v2x is not defined\n"},
      {"$v2-x", "two-x", ""},
      {"pre $TMP\\other.lst", "pre \\other.lst", "WARNING: $TMP is not defined\n"},
      {"$X$Y $X", " ",
       "WARNING: $X is not defined\nWARNING: $Y is not defined\n"
       "WARNING: $X is not defined\n"},
      // A letter outside ASCII neither starts nor continues a name.
      {"$\xc9t\xe9", "$\xc9t\xe9", ""},
      {"$CAFE\xe9", "latte\xe9", ""},
      {"", "", ""},
      {"no references", "no references", ""},
  };
  for (const ExpandRow& row : rows) {
    testing::internal::CaptureStdout();
    std::optional<std::string> expanded = expandVariables(row.text, table);
    std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(expanded.has_value()) << row.text;
    EXPECT_EQ(*expanded, row.expanded) << row.text;
    EXPECT_EQ(printed, row.warnings) << row.text;
  }
  EXPECT_EQ(expandVariables(nullptr, table), std::nullopt);
}

TEST_F(ExpandVariablesTest, NamesStopAfter255Characters) {
  VariableTable table;
  std::string name255(255, 'N');
  table.define(name255.c_str(), std::string("v"));
  struct Row {
    std::string text;
    std::string expanded;
  };
  const Row rows[] = {
      {"$" + std::string(300, 'N'), "v" + std::string(45, 'N')},
      {"$" + name255 + "7$" + name255, "v7v"},
      {"$" + name255, "v"},
  };
  for (const Row& row : rows) {
    testing::internal::CaptureStdout();
    std::optional<std::string> expanded = expandVariables(row.text.c_str(), table);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(expanded, row.expanded);
  }
  // 254 letters are a name of their own, which is undefined.
  std::string name254(254, 'N');
  testing::internal::CaptureStdout();
  EXPECT_EQ(expandVariables(("$" + name254).c_str(), table), "");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "WARNING: $" + name254 + " is not defined\n");
}

}  // namespace
