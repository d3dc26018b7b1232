// Configured runs seen from outside, case by case: how the rule file is
// read (parse errors, the base folder, element text, attribute values and
// flags), how "$name" references expand, where copies land and how they
// fail, how listing files are purged and written, and how a run with
// failed copies ends.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

class ConformanceConfigTest : public E2ETest {
 protected:
  /// Writes rules.xml: a root with rootAttributes, "OK" lines as successes,
  /// lines that begin with "E" as failures, then children.
  void writeRules(const std::string& children, const std::string& rootAttributes = "") const {
    writeFile("rules.xml", "<?xml version=\"1.0\"?>\n<tarnwick" + rootAttributes +
                               ">\n  <success>^OK$</success>\n  <failure>^E</failure>\n" +
                               children + "</tarnwick>\n");
  }

  /// A copy rule "^Copied (.+)$" with dst written as given.
  static std::string copyRule(const std::string& dst) {
    return "  <copy dst=\"" + dst + "\">^Copied (.+)$</copy>\n";
  }

  /// Checks that text is the system's description of an error followed by
  /// an empty line; natively that description is strerror(error).
  static void expectSystemText(const std::string& text, int error, const std::string& what) {
    if (!windowsTarget()) {
      EXPECT_EQ(text, std::string(std::strerror(error)) + "\n\n") << what;
      return;
    }
    size_t lineEnd = text.find('\n');
    ASSERT_NE(lineEnd, std::string::npos) << what << ": " << text;
    std::string message = text.substr(0, lineEnd);
    message.erase(std::remove(message.begin(), message.end(), '\r'), message.end());
    EXPECT_NE(message, "") << what;
    EXPECT_EQ(text.substr(lineEnd + 1), textMode("\n")) << what;
  }
};

TEST_F(ConformanceConfigTest, ParseErrorsGiveTinyXmlsRowColumnAndText) {
  struct Row {
    const char* what;
    std::string content;
    std::string message;
  };
  const Row rows[] = {
      {"a tab counts four columns", "<tarnwick>\n\t\t<ignore>x</Ignore>\n</tarnwick>\n",
       "Error Parsing XML at line 2, col 18: Error reading end tag."},
      {"a byte order mark is no column",
       "\xef\xbb\xbf<tarnwick>\n  <ignore>x</ignre>\n</tarnwick>\n",
       "Error Parsing XML at line 2, col 12: Error reading end tag."},
      {"a lone CR ends a line", "<tarnwick>\r  <ignore>x</ignre>\r</tarnwick>\r",
       "Error Parsing XML at line 2, col 12: Error reading end tag."},
      {"an attribute given twice",
       "<tarnwick>\n  <ignore a=\"1\" a=\"2\">x</ignore>\n</tarnwick>\n",
       "Error Parsing XML at line 2, col 17: Error parsing Element."},
      {"an element without a name", "<tarnwick>\n  <>x</>\n</tarnwick>\n",
       "Error Parsing XML at line 2, col 6: Error reading end tag."},
      {"the file ends inside an element", "<tarnwick>\n  <ignore>x",
       "Error Parsing XML at line 0, col 0: Error reading Element value."},
      {"an unterminated CDATA section",
       "<tarnwick>\n  <success><![CDATA[x</success>\n</tarnwick>\n",
       "Error Parsing XML at line 0, col 0: Error reading Element value."},
      {"text without any element", "just text\n",
       "Error Parsing XML at line 0, col 0: Error document empty."},
  };
  writeFile("build.log", "OK\n");
  for (const Row& row : rows) {
    writeFile("rules.xml", row.content);
    RunResult result = run({"-debug", "-cfg", "rules.xml", "-log", "build.log"});
    EXPECT_EQ(result.status, 1) << row.what;
    EXPECT_EQ(result.out, row.message) << row.what;  // no line end follows
    EXPECT_EQ(result.err, "") << row.what;
  }
}

TEST_F(ConformanceConfigTest, TheBaseFolderComesFromTheAttributeElseTheFirstElement) {
  const std::string sep(1, separator());
  const std::string build = targetPath("build");
  const std::string other = targetPath("other");
  struct Row {
    const char* what;
    std::string rootAttributes;
    std::string children;
    std::string name;     // the file a log line names
    std::string refused;  // the base folder of the refusal, or "-" when copied, "" when inert
    std::string copy;     // where the file lands when copied
    std::string dst = "drop";
  };
  const Row rows[] = {
      {"the attribute", " basedir=\"" + build + "\"", "", build + sep + "c.txt", "-", "drop/c.txt"},
      {"the element", "", "  <basedir>" + build + "</basedir>\n", build + sep + "c.txt", "-",
       "drop/c.txt"},
      {"the element's text is trimmed", "", "  <basedir>\n      " + build + "\n  </basedir>\n",
       build + sep + "c.txt", "-", "drop/c.txt"},
      {"the attribute wins over the element", " basedir=\"" + build + "\"",
       "  <basedir>" + other + "</basedir>\n", build + sep + "c.txt", "-", "drop/c.txt"},
      {"an empty attribute wins too", " basedir=\"\"", "  <basedir>" + build + "</basedir>\n",
       targetRelative("build/c.txt"), "-", "drop/build/c.txt", "drop/"},
      {"the first element wins", "",
       "  <basedir>" + other + "</basedir>\n  <basedir>" + build + "</basedir>\n",
       build + sep + "c.txt", other, ""},
      {"the attribute keeps its blanks", " basedir=\" " + build + "\"", "", build + sep + "c.txt",
       " " + build, ""},
      {"entities in the attribute are decoded", " basedir=\"" + targetPath("b&amp;d") + "\"", "",
       targetPath("b&d/c.txt"), "-", "drop/c.txt"},
      {"no $ expansion in the base folder", " basedir=\"$B\"", "", build + sep + "c.txt", "$B", ""},
      {"an element without text gives no base folder", "", "  <basedir/>\n", build + sep + "c.txt",
       "", ""},
      {"an element that begins with a comment neither", "",
       "  <basedir><!-- later -->" + build + "</basedir>\n", build + sep + "c.txt", "", ""},
      {"attribute names are case-sensitive", " BaseDir=\"" + build + "\"", "",
       build + sep + "c.txt", "", ""},
  };
  for (const Row& row : rows) {
    std::filesystem::remove_all(hostPath("drop"));
    writeBuildTree();
    makeFolder("b&d");
    writeFile("b&d/c.txt", "c");
    writeRules(row.children + copyRule(targetPath(row.dst)), row.rootAttributes);
    RunResult result = runLog({"Copied " + row.name}, {"-DB=" + build});
    std::string printed = "Processing build.log...\nCopied " + row.name + "\n";
    if (row.refused == "-") {
      EXPECT_EQ(result.status, 0) << row.what;
      EXPECT_EQ(result.out, textMode(printed + copySummary(1, 0, 0, 0, 1, 1, 0))) << row.what;
      EXPECT_EQ(readFile(row.copy), "c") << row.what;
    } else if (row.refused.empty()) {
      EXPECT_EQ(result.status, 0) << row.what;
      EXPECT_EQ(result.out, textMode(printed + copySummary(1, 0, 0, 0, 1, 0, 0))) << row.what;
    } else {
      EXPECT_EQ(result.status, 1) << row.what;
      EXPECT_EQ(result.out,
                textMode(printed + "ERROR: Filename '" + row.name + "' does not start with '" +
                         row.refused + "'\n" + copySummary(1, 0, 0, 0, 1, 0, 1) +
                         "ERROR: File copy failed\n"))
          << row.what;
    }
    EXPECT_FALSE(exists("drop/bin")) << row.what;
  }
}

TEST_F(ConformanceConfigTest, ElementTextIsTheFirstTextChildOnly) {
  struct Row {
    const char* what;
    std::string rule;
    std::vector<std::string> lines;
    std::string printed;  // unmatched lines
    int success;
  };
  const Row rows[] = {
      {"text before a nested element", "<success>^A$<b/>x</success>", {"A", "Ax"}, "Ax\n", 1},
      {"text before a comment", "<success>^x<!-- c -->$</success>", {"xy"}, "", 1},
      {"text before a CDATA section", "<success>^x<![CDATA[y]]></success>", {"xz", "y"}, "y\n", 1},
      {"blanks around a CDATA section",
       "<success> <![CDATA[ y ]]> </success>",
       {"a y b", "ay b"},
       "ay b\n",
       1},
      {"a comment first gives no pattern", "<success>\n  <!-- c -->x</success>", {"x"}, "x\n", 0},
      {"a nested element first gives no pattern", "<success><b>x</b></success>", {"x"}, "x\n", 0},
  };
  for (const Row& row : rows) {
    writeFile("rules.xml",
              "<tarnwick>\n  " + row.rule + "\n  <summary>^Done$</summary>\n</tarnwick>\n");
    std::string log;
    for (const std::string& line : row.lines) log += line + "\n";
    writeFile("build.log", log + "Done\n");
    RunResult result = run({"-cfg", "rules.xml", "-log", "build.log"});
    EXPECT_EQ(result.status, 0) << row.what;
    int unmatched = static_cast<int>(row.lines.size()) - row.success;
    EXPECT_EQ(result.out, textMode("Processing build.log...\n" + row.printed +
                                   summary(row.success, 0, 0, 1, unmatched)))
        << row.what;
  }
}

TEST_F(ConformanceConfigTest, AttributeValuesKeepBlanksAndDecodeEntities) {
  makeFolder("drop");
  const std::string drop = targetPath("drop");
  struct Row {
    const char* what;
    std::string children;
    std::string out;
    std::string listing = "";  // the listing file's path, for list rules
  };
  std::vector<Row> rows = {
      {"a blank before dst", "  <copy dst=\" " + drop + "\">^C</copy>\n",
       "ERROR: destination folder ' " + drop + "' does not exist\n"},
      {"an entity in dst", "  <copy dst=\"" + drop + "&amp;x\">^C</copy>\n",
       "ERROR: destination folder '" + drop + "&x' does not exist\n"},
      {"single quotes", "  <copy dst='" + drop + "\"q'>^C</copy>\n",
       "ERROR: destination folder '" + drop + "\"q' does not exist\n"},
      {"an entity in file", "  <list file=\"a&amp;b &lt;1&gt;.lst\">^L</list>\n",
       "Adding new listfile \"a&b <1>.lst\" for \"^L\"\n", "a&b <1>.lst"},
      {"blanks in file", "  <list file=\"  two  blanks  \">^L</list>\n",
       "Adding new listfile \"  two  blanks  \" for \"^L\"\n", "  two  blanks  "},
  };
  if (!windowsTarget()) {
    // Windows drops trailing blanks from a path's last name, so there the
    // folder is found.
    rows.push_back({"a blank after dst", "  <copy dst=\"" + drop + " \">^C</copy>\n",
                    "ERROR: destination folder '" + drop + " ' does not exist\n"});
  }
  writeFile("build.log", "OK\n");
  for (const Row& row : rows) {
    writeRules(row.children);
    RunResult result = run({"-debug", "-nopurge", "-cfg", "rules.xml", "-log", "build.log"});
    if (!row.listing.empty()) {
      EXPECT_EQ(result.status, 0) << row.what;
      EXPECT_EQ(result.out, textMode(row.out + "Processing build.log...\n" +
                                     summary(1, 0, 0, 0, 0) + row.listing + "\t0\n"))
          << row.what;
    } else {
      EXPECT_EQ(result.status, 1) << row.what;
      EXPECT_EQ(result.out, textMode(row.out)) << row.what;
    }
  }
}

TEST_F(ConformanceConfigTest, MultiIsReadFromTheFirstCharacter) {
  struct Row {
    const char* attribute;  // written into the first rule's start tag
    bool goesOn;
  };
  const Row rows[] = {
      {" multi=\"no\"", false},
      {" multi=\"false\"", false},
      {" multi=\"0\"", false},
      {" multi=\"\"", false},
      {" multi=\"N\"", false},
      {" multi=\"1\"", false},
      {" multi=\" yes\"", false},
      {" multi=\"yes\"", true},
      {" multi=\"true\"", true},
      {" multi=\"Y\"", true},
      {" multi=\"t\"", true},
      {" multi=\"Tnot\"", true},
      {"", true},
      {" Multi=\"no\"", true},
  };
  for (const Row& row : rows) {
    std::filesystem::remove(hostPath("a.lst"));
    std::filesystem::remove(hostPath("b.lst"));
    writeRules("  <list file=\"a.lst\"" + std::string(row.attribute) +
               ">^Built (.+)$</list>\n  <list file=\"b.lst\">^Built (.+)$</list>\n");
    RunResult result = runLog({"Built x.dll"});
    EXPECT_EQ(result.status, 0) << row.attribute;
    EXPECT_EQ(readFile("a.lst"), textMode("x.dll\n")) << row.attribute;
    EXPECT_EQ(exists("b.lst"), row.goesOn) << row.attribute;
  }
}

TEST_F(ConformanceConfigTest, VariableReferencesAtTheirEdges) {
  const std::string letters300(300, 'N');
  const std::string letters255(255, 'M');
  struct Row {
    std::string file;
    std::string path;
    std::string warnings;
  };
  const Row rows[] = {
      {"$" + letters300 + ".a", std::string(45, 'N') + ".a",
       "WARNING: $" + std::string(255, 'N') + " is not defined\n"},
      {"$" + letters255 + "12.b", "v12.b", ""},
      {"$A1.c", ".c", "WARNING: $A1 is not defined\n"},
      {"$A.d", "x.d", ""},
      {"$U1/$U2-$A.e", "/-x.e", "WARNING: $U1 is not defined\nWARNING: $U2 is not defined\n"},
      {"$A\xc3\xa9.f", "x\xc3\xa9.f", ""},
      {"$DOLLAR$A.g", "$x.g", ""},
      {"$$$.i", "$$$.i", ""},
      {"a$ A.j", "a$ A.j", ""},
  };
  std::string children;
  std::string loading;
  std::string files;
  for (size_t i = 0; i < std::size(rows); ++i) {
    std::string pattern = "^row" + std::to_string(i) + "$";
    children += "  <list file=\"" + rows[i].file + "\">" + pattern + "</list>\n";
    loading +=
        rows[i].warnings + "Adding new listfile \"" + rows[i].path + "\" for \"" + pattern + "\"\n";
    files += rows[i].path + "\t0\n";
  }
  writeRules(children);
  writeFile("build.log", "OK\n");
  RunResult result = run({"-DA=x", "-D" + letters255 + "=v", "-DDOLLAR=$", "-debug", "-nopurge",
                          "-cfg", "rules.xml", "-log", "build.log"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out,
            textMode(loading + "Processing build.log...\n" + summary(1, 0, 0, 0, 0) + files));
  EXPECT_EQ(result.err, "");
}

TEST_F(ConformanceConfigTest, TargetsKeepEverySeparatorAsWritten) {
  const std::string sep(1, separator());
  const std::string build = targetPath("build");
  struct Row {
    const char* what;
    std::string basedir;
    std::string dst;
    std::string name;
    std::string target;  // as printed
    std::string copy;    // where it lands, relative to the test's folder
  };
  const Row rows[] = {
      {"a destination that ends in a separator", build, targetPath("drop") + sep,
       build + sep + "bin" + sep + "b.dll", targetPath("drop") + sep + sep + "bin" + sep + "b.dll",
       "drop/bin/b.dll"},
      {"one separator joins a destination and a rest without one", build + sep, "drop",
       build + sep + "c.txt", "drop" + sep + "c.txt", "drop/c.txt"},
      {"a relative destination", build, "drop", build + sep + "bin" + sep + "b.dll",
       "drop" + sep + "bin" + sep + "b.dll", "drop/bin/b.dll"},
      {"a destination from a variable", build, "$OUT" + sep + "sub", build + sep + "c.txt",
       targetPath("drop/sub/c.txt"), "drop/sub/c.txt"},
      {"a single dot is no parent step", build, "drop",
       build + sep + "." + sep + "bin" + sep + "b.dll",
       "drop" + sep + "." + sep + "bin" + sep + "b.dll", "drop/bin/b.dll"},
  };
  for (const Row& row : rows) {
    std::filesystem::remove_all(hostPath("drop"));
    std::filesystem::remove(hostPath("dropc.txt"));
    writeBuildTree();
    makeFolder("drop/sub");
    writeRules(copyRule(row.dst), " basedir=\"" + row.basedir + "\"");
    RunResult result = runLog({"Copied " + row.name}, {"-debug", "-DOUT=" + targetPath("drop")});
    EXPECT_EQ(result.status, 0) << row.what;
    EXPECT_EQ(result.out, textMode("Processing build.log...\nunmatched: Copied " + row.name +
                                   "\ncopying file \"" + row.name + "\" to \"" + row.target +
                                   "\"\n" + copySummary(1, 0, 0, 0, 1, 1, 0)))
        << row.what;
    EXPECT_EQ(readFile(row.copy), row.copy.find("b.dll") != std::string::npos ? "b" : "c")
        << row.what;
  }
}

TEST_F(ConformanceConfigTest, ANameEndingInAParentStepIsRefused) {
  const std::string sep(1, separator());
  const std::string build = targetPath("build");
  writeBuildTree();
  writeRules(copyRule(targetPath("drop")), " basedir=\"" + build + "\"");
  const std::string name = build + sep + "bin" + sep + "..";
  RunResult result = runLog({"Copied " + name});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, textMode("Processing build.log...\nCopied " + name + "\nERROR: Filename '" +
                                 name + "' does not start with '" + build + "'\n" +
                                 copySummary(1, 0, 0, 0, 1, 0, 1) + "ERROR: File copy failed\n"));
  EXPECT_FALSE(exists("drop/bin"));
}

TEST_F(ConformanceConfigTest, FolderAndCopyFailuresAreCountedAndTheRunGoesOn) {
  const std::string sep(1, separator());
  const std::string build = targetPath("build");
  writeBuildTree();
  makeFolder("build/x/y");
  writeFile("build/x/y/d.dll", "d");
  writeFile("drop/x", "a plain file where a folder belongs");
  makeFolder("drop2");
  writeFile("drop2/bin", "a plain file as the target's folder");
  writeRules(copyRule(targetPath("drop")) + "  <copy dst=\"" + targetPath("drop2") +
                 "\">^Again (.+)$</copy>\n",
             " basedir=\"" + build + "\"");
  const std::string deep = build + sep + "x" + sep + "y" + sep + "d.dll";
  const std::string missing = build + sep + "bin" + sep + "none.dll";
  const std::string blocked = build + sep + "bin" + sep + "b.dll";
  RunResult result = runLog({"Copied " + deep, "Copied " + missing, "Again " + blocked,
                             "Copied " + build + sep + "c.txt"},
                            {"-debug"});
  EXPECT_EQ(result.status, 1);
  std::string out = result.out;

  // A plain file in the folder chain: the folder cannot be made.
  std::string head = textMode(
      "Processing build.log...\nunmatched: Copied " + deep + "\ncopying file \"" + deep +
      "\" to \"" + targetPath("drop/x/y/d.dll") + "\"\nERROR: Failed to create folder '" +
      targetPath("drop/x/y") + "'\nunmatched: Copied " + missing + "\ncopying file \"" + missing +
      "\" to \"" + targetPath("drop/bin/none.dll") + "\"\nERROR: Failed to copy '" + missing +
      "' to '" + targetPath("drop/bin/none.dll") + "': ");
  ASSERT_EQ(out.compare(0, head.size(), head), 0) << out;
  out.erase(0, head.size());

  // A missing source: the system's text, an empty line, and no target,
  // though the folder on the way was made.
  std::string next = textMode("unmatched: Again " + blocked + "\n");
  size_t at = out.find(next);
  ASSERT_NE(at, std::string::npos) << out;
  expectSystemText(out.substr(0, at), ENOENT, "a missing source");
  out.erase(0, at + next.size());

  // A plain file as the target's folder counts as present; the copy fails.
  head = textMode("copying file \"" + blocked + "\" to \"" + targetPath("drop2/bin/b.dll") +
                  "\"\nERROR: Failed to copy '" + blocked + "' to '" +
                  targetPath("drop2/bin/b.dll") + "': ");
  ASSERT_EQ(out.compare(0, head.size(), head), 0) << out;
  out.erase(0, head.size());
  next = textMode("unmatched: Copied " + build + sep + "c.txt\n");
  at = out.find(next);
  ASSERT_NE(at, std::string::npos) << out;
  expectSystemText(out.substr(0, at), ENOTDIR, "a plain file as folder");
  out.erase(0, at + next.size());

  // The run went on: the last line still copies.
  EXPECT_EQ(out,
            textMode("copying file \"" + build + sep + "c.txt\" to \"" + targetPath("drop/c.txt") +
                     "\"\n" + copySummary(1, 0, 0, 0, 4, 1, 3) + "ERROR: File copy failed\n"));
  EXPECT_EQ(readFile("drop/c.txt"), "c");
  EXPECT_TRUE(std::filesystem::is_directory(hostPath("drop/bin")));
  EXPECT_FALSE(exists("drop/bin/none.dll"));
  EXPECT_EQ(readFile("drop/x"), "a plain file where a folder belongs");
  EXPECT_EQ(readFile("drop2/bin"), "a plain file as the target's folder");
}

TEST_F(ConformanceConfigTest, CopiesAreExactAndNeverOverwritten) {
  const std::string sep(1, separator());
  const std::string build = targetPath("build");
  const std::string binary("a\r\nb\0c\n\xff\x80\r", 9);
  makeFolder("build/bin");
  makeFolder("drop");
  writeFile("build/bin/raw.bin", binary);
  writeFile("build/c.txt", "c\n");
  const auto when = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 400);
  std::filesystem::last_write_time(hostPath("build/bin/raw.bin"), when);
  // Unanchored, so that a failure line copies too.
  writeRules("  <copy dst=\"" + targetPath("drop") + "\">Copied (.+)$</copy>\n",
             " basedir=\"" + build + "\"");
  const std::vector<std::string> lines = {"Copied " + build + sep + "bin" + sep + "raw.bin",
                                          "E1: Copied " + build + sep + "c.txt"};

  RunResult result = runLog(lines);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("Processing build.log...\n" + lines[0] + "\n" + lines[1] + "\n" +
                                 copySummary(1, 1, 0, 0, 1, 2, 0) + "1 failures detected\n"));
  EXPECT_EQ(readFile("drop/bin/raw.bin"), binary);
  EXPECT_EQ(readFile("drop/c.txt"), "c\n");
  auto difference = std::filesystem::last_write_time(hostPath("drop/bin/raw.bin")) - when;
  EXPECT_LT(std::chrono::abs(difference), std::chrono::seconds(2));

  // A second run into the same folder: every file is a failure, none changes.
  writeFile("build/c.txt", "newer\n");
  result = runLog(lines);
  EXPECT_EQ(result.status, 1);
  size_t failures = 0;
  for (size_t at = 0; (at = result.out.find("ERROR: Failed to copy '", at)) != std::string::npos;
       ++at) {
    ++failures;
  }
  EXPECT_EQ(failures, 2u) << result.out;
  const std::string tail =
      textMode(copySummary(1, 1, 0, 0, 1, 0, 2) + "1 failures detected\nERROR: File copy failed\n");
  ASSERT_GE(result.out.size(), tail.size());
  EXPECT_EQ(result.out.substr(result.out.size() - tail.size()), tail);
  EXPECT_EQ(readFile("drop/bin/raw.bin"), binary);
  EXPECT_EQ(readFile("drop/c.txt"), "c\n");
}

TEST_F(ConformanceConfigTest, TheEndOfARunWithAFailedCopy) {
  const std::string build = targetPath("build");
  writeBuildTree();
  writeRules(copyRule(targetPath("drop")) + "  <list file=\"a.lst\">^E1 (.+)$</list>\n",
             " basedir=\"" + build + "\"");
  const std::string outside = "Copied " + targetPath("elsewhere.txt");
  const std::string refusal =
      "ERROR: Filename '" + targetPath("elsewhere.txt") + "' does not start with '" + build + "'\n";

  // Summary, failures, listing files, then the copy error.
  RunResult result = runLog({"E1 x.dll", outside}, {"-debug"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, textMode("Adding new listfile \"a.lst\" for \"^E1 (.+)$\"\n"
                                 "Processing build.log...\n"
                                 "failure: E1 x.dll\n"
                                 "adding file \"x.dll\" to list \"a.lst\" (write)\n"
                                 "unmatched: " +
                                 outside + "\n" + refusal + copySummary(1, 1, 0, 0, 1, 0, 1) +
                                 "1 failures detected\na.lst\t1\nERROR: File copy failed\n"));

  // Nothing processed comes first and ends the run alone.
  result = runLog({"E1 x.dll", outside}, {"-debug"}, false);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, textMode("Adding new listfile \"a.lst\" for \"^E1 (.+)$\"\n"
                                 "Deleting list file 'a.lst'\n"
                                 "Processing build.log...\n"
                                 "failure: E1 x.dll\n"
                                 "adding file \"x.dll\" to list \"a.lst\" (write)\n"
                                 "unmatched: " +
                                 outside + "\n" + refusal + copySummary(0, 1, 0, 0, 1, 0, 1) +
                                 "ERROR: Nothing was processed\n"));
}

TEST_F(ConformanceConfigTest, ThePurgeComesAfterTheCopyCheckAndBeforeCompiling) {
  struct Row {
    const char* what;
    std::string children;
    std::vector<std::string> args;
    std::string after;  // printed after the purge
  };
  const Row rows[] = {
      {"a bad pattern",
       "  <ignore>(</ignore>\n",
       {"-log", "build.log"},
       "Failed to compile regexp \"(\"\n"},
      {"no mode", "", {"-nomode"}, usageText("Invalid mode")},
  };
  writeFile("build.log", "OK\n");
  for (const Row& row : rows) {
    writeFile("stale.lst", "old\n");
    writeRules("  <list file=\"stale.lst\">^S</list>\n" + row.children);
    std::vector<std::string> args = {"-debug", "-cfg", "rules.xml"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    RunResult result = run(args);
    EXPECT_EQ(result.status, 1) << row.what;
    EXPECT_EQ(result.out, textMode("Adding new listfile \"stale.lst\" for \"^S\"\n"
                                   "Deleting list file 'stale.lst'\n" +
                                   row.after))
        << row.what;
    EXPECT_FALSE(exists("stale.lst")) << row.what;
  }
}

TEST_F(ConformanceConfigTest, ThePurgeVisitsFilesInOrderOfFirstMention) {
  writeFile("b.lst", "old b\n");
  writeFile("a.lst", "old a\n");
  makeFolder("folder.lst");
  writeFile("kept.lst", textMode("old kept\n"));
  writeFile("shared.lst", textMode("old shared\n"));
  writeRules(
      "  <list file=\"b.lst\">^B (.+)$</list>\n"
      "  <list file=\"shared.lst\">^S (.+)$</list>\n"
      "  <list file=\"missing.lst\">^M (.+)$</list>\n"
      "  <list file=\"folder.lst\">^F (.+)$</list>\n"
      "  <list file=\"kept.lst\" append=\"yes\">^K (.+)$</list>\n"
      "  <list file=\"a.lst\">^A (.+)$</list>\n"
      "  <list file=\"shared.lst\" append=\"yes\">^T (.+)$</list>\n"
      "  <list file=\"new.lst\" append=\"yes\">^N (.+)$</list>\n");
  RunResult result = runLog({"S one", "K two", "N three", "T four"}, {"-debug"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out,
            textMode("Adding new listfile \"b.lst\" for \"^B (.+)$\"\n"
                     "Adding new listfile \"shared.lst\" for \"^S (.+)$\"\n"
                     "Adding new listfile \"missing.lst\" for \"^M (.+)$\"\n"
                     "Adding new listfile \"folder.lst\" for \"^F (.+)$\"\n"
                     "Adding new listfile \"kept.lst\" for \"^K (.+)$\"\n"
                     "Adding new listfile \"a.lst\" for \"^A (.+)$\"\n"
                     "WARNING: List entries for file \"shared.lst\" have different append "
                     "settings\n"
                     "Reusing listfile \"shared.lst\" for \"^T (.+)$\"\n"
                     "Adding new listfile \"new.lst\" for \"^N (.+)$\"\n"
                     "Deleting list file 'b.lst'\n"
                     "Deleting list file 'folder.lst'\n"
                     "WARNING: Failed to remove list file 'folder.lst'\n"
                     "Deleting list file 'a.lst'\n"
                     "Processing build.log...\n"
                     "unmatched: S one\n"
                     "adding file \"one\" to list \"shared.lst\" (append)\n"
                     "unmatched: K two\n"
                     "adding file \"two\" to list \"kept.lst\" (append)\n"
                     "unmatched: N three\n"
                     "adding file \"three\" to list \"new.lst\" (append)\n"
                     "unmatched: T four\n"
                     "adding file \"four\" to list \"shared.lst\" (append)\n" +
                     summary(1, 0, 0, 0, 4) +
                     "b.lst\t0\nshared.lst\t2\nmissing.lst\t0\nfolder.lst\t0\nkept.lst\t1\n"
                     "a.lst\t0\nnew.lst\t1\n"));
  EXPECT_FALSE(exists("b.lst"));
  EXPECT_FALSE(exists("a.lst"));
  EXPECT_FALSE(exists("missing.lst"));
  EXPECT_EQ(readFile("shared.lst"), textMode("old shared\none\nfour\n"));
  EXPECT_EQ(readFile("kept.lst"), textMode("old kept\ntwo\n"));
  EXPECT_EQ(readFile("new.lst"), textMode("three\n"));
}

TEST_F(ConformanceConfigTest, OneLineTwiceIntoOneFileAndAnEmptyPath) {
  writeFile("a.lst", "old\n");
  writeRules(
      "  <list file=\"a.lst\">^Built (.+)$</list>\n"
      "  <list file=\"a.lst\" multi=\"no\">^Built (.+)$</list>\n"
      "  <list file=\"\">^Built (.+)$</list>\n"
      "  <list file=\"\">^Linked (.+)$</list>\n");
  RunResult result = runLog({"Built x.dll", "Linked y.exe"}, {"-debug", "-nopurge"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, textMode("Adding new listfile \"a.lst\" for \"^Built (.+)$\"\n"
                                 "Reusing listfile \"a.lst\" for \"^Built (.+)$\"\n"
                                 "Adding new listfile \"\" for \"^Built (.+)$\"\n"
                                 "Reusing listfile \"\" for \"^Linked (.+)$\"\n"
                                 "Processing build.log...\n"
                                 "unmatched: Built x.dll\n"
                                 "adding file \"x.dll\" to list \"a.lst\" (write)\n"
                                 "adding file \"x.dll\" to list \"a.lst\" (append)\n"
                                 "unmatched: Linked y.exe\n"
                                 "adding file \"y.exe\" to list \"\" (write)\n"
                                 "ERROR: Unable to open listing file ''\n"));
  EXPECT_EQ(readFile("a.lst"), textMode("x.dll\nx.dll\n"));
}

}  // namespace
