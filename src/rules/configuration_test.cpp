#include "rules/configuration.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "platform/file_identity.h"
#include "report/fresh_run_test_support.h"
#include "rules/rule_set.h"
#include "rules/variable_table.h"

namespace {

const char* orNull(const char* text) { return text != nullptr ? text : "(none)"; }

TEST(ConfigurationTest, FindElementWalksFirstChildElements) {
  TiXmlDocument document;
  document.Parse(
      "<?xml version='1.0'?><!-- first --><other/>"
      "<tarnwick n='1'><a><b>inner</b></a><b>outer</b><a><c/></a></tarnwick>"
      "<tarnwick n='2'/>");
  ASSERT_FALSE(document.Error()) << document.ErrorDesc();
  struct Row {
    const char* path;
    const char* found;  // the element's text or its n attribute; null: none
  };
  const Row rows[] = {
      {"tarnwick", "1"},
      {"tarnwick/b", "outer"},
      {"tarnwick/a/b", "inner"},
      {"/tarnwick//a/b/", "inner"},
      {"other", "(none)"},
      {"tarnwick/a/c", nullptr},  // only the first "a" is searched
      {"tarnwick/c", nullptr},
      {"a", nullptr},
      {"b", nullptr},
      {"Tarnwick", nullptr},
      {"tarnwick/a/b/x", nullptr},
      {"", nullptr},
      {"//", nullptr},
  };
  for (const Row& row : rows) {
    const TiXmlElement* element = findElement(document, row.path);
    if (row.found == nullptr) {
      EXPECT_EQ(element, nullptr) << row.path;
      continue;
    }
    ASSERT_NE(element, nullptr) << row.path;
    const char* shown = element->Attribute("n") ? element->Attribute("n") : element->GetText();
    EXPECT_STREQ(orNull(shown), row.found) << row.path;
  }
}

TEST(ConfigurationTest, ReadBasedirPrefersTheRootAttribute) {
  struct Row {
    const char* xml;
    const char* basedir;  // null: none
  };
  const Row rows[] = {
      {"<tarnwick basedir='C:\\build\\out'><basedir>D:\\x</basedir></tarnwick>", "C:\\build\\out"},
      {"<tarnwick basedir=''><basedir>D:\\x</basedir></tarnwick>", ""},
      {"<tarnwick basedir='  spaced  '/>", "  spaced  "},
      {"<tarnwick><basedir>  D:\\x  </basedir><basedir>E:\\y</basedir></tarnwick>", "D:\\x"},
      {"<tarnwick><basedir/></tarnwick>", nullptr},
      {"<tarnwick><basedir><!-- c -->D:\\x</basedir></tarnwick>", nullptr},
      {"<tarnwick><other><basedir>D:\\x</basedir></other></tarnwick>", nullptr},
      {"<tarnwick BaseDir='D:\\x'/>", nullptr},
      {"<tarnwick/>", nullptr},
  };
  for (const Row& row : rows) {
    TiXmlDocument document;
    document.Parse(row.xml);
    ASSERT_FALSE(document.Error()) << row.xml;
    const char* basedir = readBasedir(*document.RootElement());
    if (row.basedir == nullptr) {
      EXPECT_EQ(basedir, nullptr) << row.xml;
    } else {
      EXPECT_STREQ(orNull(basedir), row.basedir) << row.xml;
    }
  }
}

TEST(ConfigurationTest, AttributeFlagReadsTheFirstCharacter) {
  struct Row {
    const char* attribute;  // null: absent
    bool whenDefaultNo;
    bool whenDefaultYes;
  };
  const Row rows[] = {
      {nullptr, false, true},  {"yes", true, true},    {"Yes", true, true}, {"Y", true, true},
      {"true", true, true},    {"T", true, true},      {"tx", true, true},  {"no", false, false},
      {"false", false, false}, {"0", false, false},    {"1", false, false}, {"on", false, false},
      {"", false, false},      {" yes", false, false}, {"N", false, false},
  };
  for (const Row& row : rows) {
    std::string xml = "<list";
    if (row.attribute != nullptr) xml += " multi='" + std::string(row.attribute) + "'";
    xml += "/>";
    TiXmlDocument document;
    document.Parse(xml.c_str());
    ASSERT_FALSE(document.Error()) << xml;
    EXPECT_EQ(attributeFlag(*document.RootElement(), "multi", false), row.whenDefaultNo) << xml;
    EXPECT_EQ(attributeFlag(*document.RootElement(), "multi", true), row.whenDefaultYes) << xml;
    EXPECT_EQ(attributeFlag(*document.RootElement(), "Multi", true), true) << xml;
  }
}

// Loads a configuration into the process-wide rule set, which each test
// starts and leaves empty.
class LoadConfigurationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    startFreshRun();
    path_ = std::filesystem::temp_directory_path() /
            ("tarnwick-config-" + std::to_string(std::random_device()()) + ".xml");
  }
  void TearDown() override {
    startFreshRun();
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }

  /// Loads xml and returns what loading printed.
  std::string load(const std::string& xml) {
    std::ofstream(path_, std::ios::binary) << xml;
    testing::internal::CaptureStdout();
    loadConfiguration(path_.string().c_str());
    return testing::internal::GetCapturedStdout();
  }

  std::filesystem::path path_;
};

TEST_F(LoadConfigurationTest, TheWorkedExample) {
  variables.define("OUT", std::string("D:\\drop"));
  std::string printed = load(
      "<?xml version=\"1.0\"?>\n"
      "<tarnwick basedir='C:\\build\\out'>\n"
      "  <logfile>See server log file (.+) for details</logfile>\n"
      "  <ignore>^I00060040:</ignore>\n"
      "  <ignore>^W[0-9]+:</ignore>\n"
      "  <success>^I00020110:</success>\n"
      "  <failure>^E[0-9]+:</failure>\n"
      "  <summary>^I00060080:</summary>\n"
      "  <copy dst='$OUT\\bin'>^Copied (.+)$</copy>\n"
      "  <list file='$OUT\\files.lst'>^Built (.+)$</list>\n"
      "  <list file='$OUT\\files.lst' append='yes' multi='no'>^Linked (.+)$</list>\n"
      "  <list file='$TMP\\other.lst'>^Other (.+)$</list>\n"
      "</tarnwick>\n");
  EXPECT_EQ(printed,
            "WARNING: List entries for file \"D:\\drop\\files.lst\" have different append "
            "settings\n"
            "WARNING: $TMP is not defined\n");
  ASSERT_TRUE(ruleSet.basedir);
  EXPECT_EQ(*ruleSet.basedir, "C:\\build\\out");
  ASSERT_TRUE(ruleSet.serverLogRule);
  EXPECT_STREQ(ruleSet.serverLogRule->pattern, "See server log file (.+) for details");
  ASSERT_EQ(ruleSet.ignoreRules.size(), 2u);
  EXPECT_STREQ(ruleSet.ignoreRules[0]->pattern, "^I00060040:");
  EXPECT_STREQ(ruleSet.ignoreRules[1]->pattern, "^W[0-9]+:");
  ASSERT_EQ(ruleSet.successRules.size(), 1u);
  EXPECT_STREQ(ruleSet.successRules[0]->pattern, "^I00020110:");
  ASSERT_EQ(ruleSet.failureRules.size(), 1u);
  EXPECT_STREQ(ruleSet.failureRules[0]->pattern, "^E[0-9]+:");
  ASSERT_TRUE(ruleSet.summaryRule);
  EXPECT_STREQ(ruleSet.summaryRule->pattern, "^I00060080:");
  ASSERT_EQ(ruleSet.copyRules.size(), 1u);
  EXPECT_STREQ(ruleSet.copyRules[0]->pattern, "^Copied (.+)$");
  EXPECT_STREQ(ruleSet.copyRules[0]->destination, "D:\\drop\\bin");

  ASSERT_EQ(ruleSet.listingFileCount, 2);
  ASSERT_EQ(ruleSet.listingFiles.size(), 2u);
  const ListingFile* files = ruleSet.listingFiles[0].get();
  const ListingFile* other = ruleSet.listingFiles[1].get();
  EXPECT_EQ(files->path, "D:\\drop\\files.lst");
  EXPECT_TRUE(files->append);
  EXPECT_EQ(other->path, "\\other.lst");
  EXPECT_FALSE(other->append);
  ASSERT_EQ(ruleSet.listRules.size(), 3u);
  struct Expected {
    const char* pattern;
    const ListingFile* file;
    bool multi;
  };
  const Expected lists[] = {{"^Built (.+)$", files, true},
                            {"^Linked (.+)$", files, false},
                            {"^Other (.+)$", other, true}};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_STREQ(ruleSet.listRules[i]->pattern, lists[i].pattern);
    EXPECT_EQ(ruleSet.listRules[i]->listingFile, lists[i].file) << lists[i].pattern;
    EXPECT_EQ(ruleSet.listRules[i]->multi, lists[i].multi) << lists[i].pattern;
    EXPECT_EQ(ruleSet.listRules[i]->program, nullptr);
  }
}

TEST_F(LoadConfigurationTest, ElementTextIsCondensedUnlessCData) {
  std::string printed = load(
      "<tarnwick>\n"
      "  <ignore>\n      ^Build\n\t  done$  \n  </ignore>\n"
      "  <ignore><![CDATA[  two  blanks <b>&amp; ]]></ignore>\n"
      "  <ignore>  <![CDATA[^x]]>  </ignore>\n"
      "  <ignore>&lt;a&gt; &amp;&quot;&#65;</ignore>\n"
      "  <ignore>$OUT ${x}</ignore>\n"
      "  <ignore/>\n"
      "  <ignore>   </ignore>\n"
      "  <ignore><!-- note -->^after</ignore>\n"
      "  <ignore><b>nested</b>tail</ignore>\n"
      "  <ignore>one<!-- note -->two</ignore>\n"
      "</tarnwick>\n");
  EXPECT_EQ(printed, "");
  const char* expected[] = {"^Build done$", "  two  blanks <b>&amp; ",
                            "^x",           "<a> &\"A",
                            "$OUT ${x}",    nullptr,
                            nullptr,        nullptr,
                            nullptr,        "one"};
  ASSERT_EQ(ruleSet.ignoreRules.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    if (expected[i] == nullptr) {
      EXPECT_EQ(ruleSet.ignoreRules[i]->pattern, nullptr) << i;
    } else {
      EXPECT_STREQ(orNull(ruleSet.ignoreRules[i]->pattern), expected[i]) << i;
    }
  }
}

TEST_F(LoadConfigurationTest, FirstOfOneOthersInDocumentOrder) {
  variables.define("OUT", std::string("D:\\drop"));
  debugEnabled = true;
  std::string printed = load(
      "<tarnwick>\n"
      "  <list file='x.lst' append='no'/>\n"
      "  <summary>^S1</summary><failure>^F1</failure><summary>^S2</summary>\n"
      "  <copy>^C1</copy><logfile>^L1</logfile><copy dst=' $OUT\\a '>^C2</copy>\n"
      "  <list file='X.lst' append='true'>^X</list>\n"
      "  <success>^OK</success><logfile>^L2</logfile><failure>^F2</failure>\n"
      "  <list file='x.lst' append='yes'/>\n"
      "  <list file='x.lst'>^x3</list>\n"
      "  <list file=''>^empty</list>\n"
      "  <nested><failure>^F3</failure></nested>\n"
      "</tarnwick>\n"
      "<tarnwick><failure>^second root</failure></tarnwick>\n");
  // Windows reads x.lst and X.lst as one name, and so as one listing file.
  const bool oneName = sameFileName("x.lst", "X.lst");
  EXPECT_EQ(printed,
            oneName ? "Adding new listfile \"x.lst\" for \"(null)\"\n"
                      "WARNING: List entries for file \"X.lst\" have different append settings\n"
                      "Reusing listfile \"x.lst\" for \"^X\"\n"
                      "Reusing listfile \"x.lst\" for \"(null)\"\n"
                      "WARNING: List entries for file \"x.lst\" have different append settings\n"
                      "Reusing listfile \"x.lst\" for \"^x3\"\n"
                      "Adding new listfile \"\" for \"^empty\"\n"
                    : "Adding new listfile \"x.lst\" for \"(null)\"\n"
                      "Adding new listfile \"X.lst\" for \"^X\"\n"
                      "WARNING: List entries for file \"x.lst\" have different append settings\n"
                      "Reusing listfile \"x.lst\" for \"(null)\"\n"
                      "WARNING: List entries for file \"x.lst\" have different append settings\n"
                      "Reusing listfile \"x.lst\" for \"^x3\"\n"
                      "Adding new listfile \"\" for \"^empty\"\n");
  EXPECT_FALSE(ruleSet.basedir);
  EXPECT_STREQ(ruleSet.summaryRule->pattern, "^S1");
  EXPECT_STREQ(ruleSet.serverLogRule->pattern, "^L1");
  ASSERT_EQ(ruleSet.failureRules.size(), 2u);
  EXPECT_STREQ(ruleSet.failureRules[1]->pattern, "^F2");
  ASSERT_EQ(ruleSet.copyRules.size(), 2u);
  EXPECT_EQ(ruleSet.copyRules[0]->destination, nullptr);
  EXPECT_STREQ(ruleSet.copyRules[1]->destination, " D:\\drop\\a ");
  ASSERT_EQ(ruleSet.listingFileCount, oneName ? 2 : 3);
  EXPECT_TRUE(ruleSet.listingFiles[0]->append);
  EXPECT_TRUE(ruleSet.listingFiles[1]->append || oneName);
  EXPECT_EQ(ruleSet.listingFiles.back()->path, "");
  ASSERT_EQ(ruleSet.listRules.size(), 5u);
  EXPECT_EQ(ruleSet.listRules[3]->listingFile, ruleSet.listingFiles[0].get());
  EXPECT_EQ(ruleSet.listRules[1]->listingFile == ruleSet.listingFiles[0].get(), oneName);
}

// The root's settings of a configuration of several files: the including
// file's own, else the first of its includes, depth first, that has one.
TEST_F(LoadConfigurationTest, RootSettingsComeFromTheNearestFile) {
  std::filesystem::path folder = path_;
  folder.replace_extension(".d");
  std::filesystem::create_directories(folder / "packs");
  auto write = [&folder](const char* name, const std::string& xml) {
    std::ofstream(folder / name, std::ios::binary) << xml;
  };
  write("packs/a.xml",
        "<tarnwick stripansi='yes' maxfailures='0' basedir='A'>"
        "<logfile>^LA</logfile><summary>^SA1</summary><summary>^SA2</summary></tarnwick>");
  write("packs/b.xml",
        "<tarnwick strictoptions='yes' maxfailures='7' maxunmatched='3'>"
        "<include file='a.xml'/><summary>^SB</summary></tarnwick>");
  write("packs/plain.xml", "<tarnwick><summary>^SP1</summary><summary>^SP2</summary></tarnwick>");
  struct Row {
    const char* name;
    std::string top;  // the root element of the file loaded
    bool stripAnsi;
    bool strictOptions;
    long long maxFailures;
    long long maxUnmatched;
    const char* basedir;  // null: none
    const char* logfile;
    std::vector<std::string> summaries;
  };
  const Row rows[] = {
      {"alone", "<tarnwick/>", false, false, -1, -1, nullptr, nullptr, {}},
      {"one file keeps its first summary",
       "<tarnwick maxfailures='12' maxunmatched='0'><summary>^T1</summary>"
       "<summary>^T2</summary></tarnwick>",
       false,
       false,
       12,
       0,
       nullptr,
       nullptr,
       {"^T1"}},
      {"through b",
       "<tarnwick><include file='packs/b.xml'/><summary>^T</summary></tarnwick>",
       true,
       true,
       7,
       3,
       "A",
       "^LA",
       {"^SA1", "^SA2", "^SB", "^T"}},
      {"the top's own win",
       "<tarnwick stripansi='no' strictoptions='n' maxfailures='1' basedir=''>"
       "<logfile>^LT</logfile><include file='packs/b.xml'/></tarnwick>",
       false,
       false,
       1,
       3,
       "",
       "^LT",
       {"^SA1", "^SA2", "^SB"}},
      {"a before b",
       "<tarnwick><include file='packs/plain.xml'/><include file='packs/a.xml'/>"
       "<include file='packs/b.xml'/></tarnwick>",
       true,
       true,
       0,
       3,
       "A",
       "^LA",
       {"^SP1", "^SP2", "^SA1", "^SA2", "^SB"}},
      {"b before a",
       "<tarnwick><basedir>T</basedir><include file='packs/b.xml'/>"
       "<include file='packs/a.xml'/></tarnwick>",
       true,
       true,
       7,
       3,
       "T",
       "^LA",
       {"^SA1", "^SA2", "^SB"}},
  };
  for (const Row& row : rows) {
    startFreshRun();
    write("top.xml", row.top);
    testing::internal::CaptureStdout();
    loadConfiguration((folder / "top.xml").string().c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << row.name;
    EXPECT_EQ(ruleSet.stripAnsi, row.stripAnsi) << row.name;
    EXPECT_EQ(ruleSet.strictOptions, row.strictOptions) << row.name;
    EXPECT_EQ(ruleSet.maxFailures, row.maxFailures) << row.name;
    EXPECT_EQ(ruleSet.maxUnmatched, row.maxUnmatched) << row.name;
    EXPECT_EQ(ruleSet.basedir ? ruleSet.basedir->c_str() : "(none)",
              std::string(row.basedir != nullptr ? row.basedir : "(none)"))
        << row.name;
    EXPECT_STREQ(ruleSet.serverLogRule ? ruleSet.serverLogRule->pattern : "(none)",
                 row.logfile != nullptr ? row.logfile : "(none)")
        << row.name;
    std::vector<std::string> summaries;
    if (ruleSet.summaryRule) summaries.push_back(ruleSet.summaryRule->pattern);
    for (const auto& rule : ruleSet.moreSummaryRules) summaries.push_back(rule->pattern);
    EXPECT_EQ(summaries, row.summaries) << row.name;
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

}  // namespace
