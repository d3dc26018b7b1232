// Reports for CI end to end: the JSON and JUnit files read back, GitHub
// annotations, the quality gates, logs on standard input, and each way a
// run can end with reports asked for.
#include <fcntl.h>
#include <sys/stat.h>
#include <tinyxml.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

using Json = nlohmann::json;

const char kSuccessLine[] = "I00020110: ok\n";

class ReportsTest : public E2ETest {
 protected:
  /// The JSON report at rel; kept for the schema check when
  /// TARNWICK_E2E_REPORTS names a folder.
  Json readJson(const std::string& rel) {
    std::string text = readFile(rel);
    if (const char* keep = std::getenv("TARNWICK_E2E_REPORTS")) {
      if (*keep != '\0') {
        static int kept = 0;
        std::filesystem::create_directories(keep);
        std::string name = std::filesystem::path(folder_).filename().string();
        std::filesystem::copy_file(
            hostPath(rel), std::string(keep) + "/" + name + "-" + std::to_string(++kept) + ".json",
            std::filesystem::copy_options::overwrite_existing);
      }
    }
    return Json::parse(text);
  }

  /// The JUnit report at rel, parsed strictly.
  TiXmlDocument readJunit(const std::string& rel) const {
    TiXmlDocument document;
    std::string text = readFile(rel);
    document.Parse(text.c_str());
    EXPECT_FALSE(document.Error()) << document.ErrorDesc() << "\n" << text;
    return document;
  }

  /// The <testsuite> of a JUnit report.
  static const TiXmlElement* suiteOf(const TiXmlDocument& junit) {
    return TiXmlHandle(const_cast<TiXmlDocument*>(&junit))
        .FirstChild("testsuites")
        .FirstChild("testsuite")
        .ToElement();
  }

  /// Each <testcase> of a JUnit report as "name" or "name: failure text"
  /// (the text of its <failure>, its message when it has none; the parser
  /// shows each run of white space, line ends included, as one blank).
  static std::vector<std::string> testCases(const TiXmlDocument& junit) {
    std::vector<std::string> cases;
    const TiXmlElement* suite = suiteOf(junit);
    if (suite == nullptr) return cases;
    for (const TiXmlElement* test = suite->FirstChildElement("testcase"); test != nullptr;
         test = test->NextSiblingElement("testcase")) {
      std::string shown = test->Attribute("name");
      if (const TiXmlElement* failure = test->FirstChildElement("failure")) {
        shown += ": " + std::string(failure->GetText() != nullptr ? failure->GetText()
                                                                  : failure->Attribute("message"));
      }
      cases.push_back(shown);
    }
    return cases;
  }

  /// Files in the test folder whose names start with a dot: temporary
  /// report files left behind.
  int leftovers() const {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
      std::string name = entry.path().filename().string();
      if (name[0] == '.' || name.find(".tarnwick-") != std::string::npos) ++count;
    }
    return count;
  }
};

TEST_F(ReportsTest, OptionErrorsPrintTheUsage) {
  struct Row {
    std::vector<std::string> args;
    std::string message;
  };
  const Row rows[] = {
      {{"-log", "a.log", "-json"}, "-json requires a filename"},
      {{"-log", "a.log", "-junit"}, "-junit requires a filename"},
      {{"-log", "a.log", "-maxfailures"}, "-maxfailures requires a number"},
      {{"-log", "a.log", "-maxunmatched"}, "-maxunmatched requires a number"},
      {{"-maxfailures", "-1", "-log", "a.log"},
       "-maxfailures requires a non-negative decimal number"},
      {{"-maxfailures", "1e3", "-log", "a.log"},
       "-maxfailures requires a non-negative decimal number"},
      {{"-maxunmatched", "", "-log", "a.log"},
       "-maxunmatched requires a non-negative decimal number"},
      {{"-json", "r.out", "-junit", "r.out", "-log", "a.log"},
       "-json and -junit name the same file"},
      {{"-json", "r.out", "-junit", "./r.out", "-log", "a.log"},
       "-json and -junit name the same file"},
      {{"-junit", "r.out", "-html", E2ETest::targetPath("r.out"), "-log", "a.log"},
       "-junit and -html name the same file"},
  };
  for (const Row& row : rows) {
    RunResult result = run(row.args);
    EXPECT_EQ(result.status, 1) << row.message;
    EXPECT_EQ(result.out, textMode(usageText(row.message))) << row.message;
  }
  EXPECT_FALSE(exists("r.out"));
  if (windowsTarget()) {
    // The file system ignores case and takes '/' for '\'.
    makeFolder("out");
    const Row windows[] = {
        {{"-json", "Rep.json", "-junit", "rep.JSON", "-log", "a.log"},
         "-json and -junit name the same file"},
        {{"-json", "out\\r.json", "-html", "out/r.json", "-log", "a.log"},
         "-json and -html name the same file"},
    };
    for (const Row& row : windows) {
      RunResult result = run(row.args);
      EXPECT_EQ(result.status, 1) << row.message;
      EXPECT_EQ(result.out, textMode(usageText(row.message))) << row.message;
    }
    EXPECT_EQ(leftovers(), 0);
  }
}

TEST_F(ReportsTest, AReportWhoseFolderIsMissingStopsTheRunBeforeTheLogIsRead) {
  writeFile("b.log", kSuccessLine);
  for (const char* option : {"-json", "-junit"}) {
    std::string report = targetRelative("missing/r.out");
    RunResult result = run({option, report, "-log", "b.log"});
    EXPECT_EQ(result.status, 1) << option;
    EXPECT_EQ(result.out, textMode("ERROR: Report folder for '" + report + "' does not exist\n"))
        << option;
  }
  RunResult exec = runExec({"-json", targetRelative("missing/r.json")}, {"out:ran"});
  EXPECT_EQ(exec.out, textMode("ERROR: Report folder for '" + targetRelative("missing/r.json") +
                               "' does not exist\n"));
}

// Checked before the purge and before the tool runs: nothing is written
// over the file, and no report, listing entry or tool output appears.
TEST_F(ReportsTest, AReportThatIsAFileTheRunReadsIsRefusedAtTheStart) {
  const std::string config =
      inRoot("  <success>^I00020110</success>\n  <list file=\"list.txt\">^I0+(2)</list>\n");
  struct Row {
    const char* what;
    std::vector<std::string> args;
    std::string out;
  };
  const std::string dotted = targetRelative("./b.log");
  std::vector<Row> rows = {
      {"the log",
       {"-log", "b.log", "-json", "b.log"},
       "ERROR: Report 'b.log' is the log file 'b.log'\n"},
      {"the log spelt otherwise",
       {"-log", "b.log", "-junit", dotted},
       "ERROR: Report '" + dotted + "' is the log file 'b.log'\n"},
      {"the log by its absolute name",
       {"-log", "b.log", "-html", targetPath("b.log")},
       "ERROR: Report '" + targetPath("b.log") + "' is the log file 'b.log'\n"},
      {"a link to the log",
       {"-log", "b.log", "-json", "linked.log"},
       "ERROR: Report 'linked.log' is the log file 'b.log'\n"},
      {"the configuration",
       {"-cfg", "rules.xml", "-log", "b.log", "-junit", "rules.xml"},
       "ERROR: Report 'rules.xml' is the configuration file 'rules.xml'\n"},
      {"a listing file",
       {"-cfg", "rules.xml", "-log", "b.log", "-html", "list.txt"},
       "ERROR: Report 'list.txt' is the listing file 'list.txt'\n"},
      {"a listing file, after the other reports were made",
       {"-cfg", "rules.xml", "-json", "r.json", "-junit", "r.xml", "-html", "list.txt", "-log",
        "b.log"},
       "ERROR: Report 'list.txt' is the listing file 'list.txt'\n"},
      {"the -o log, yet to be written",
       {"-json", "out.log", "-exec", tool(), "out:ran", "logline:I00020110: ok", "-o", "out.log"},
       "ERROR: Report 'out.log' is the log file 'out.log'\n"},
      {"the last -oa log",
       {"-junit", dotted, "-exec", tool(), "out:ran", "-o", "a.log", "-oa", "b.log"},
       "ERROR: Report '" + dotted + "' is the log file 'b.log'\n"},
  };
  if (windowsTarget()) {
    rows.push_back({"the configuration in other case",
                    {"-cfg", "rules.xml", "-log", "b.log", "-junit", "RULES.XML"},
                    "ERROR: Report 'RULES.XML' is the configuration file 'rules.xml'\n"});
  }
  for (const Row& row : rows) {
    writeFile("b.log", kSuccessLine);
    writeFile("list.txt", "an earlier entry\n");
    writeFile("rules.xml", config);
    std::filesystem::remove(hostPath("linked.log"));
    std::filesystem::create_hard_link(hostPath("b.log"), hostPath("linked.log"));
    RunResult result = run(row.args);
    EXPECT_EQ(result.status, 1) << row.what;
    EXPECT_EQ(result.out, textMode(row.out)) << row.what;
    EXPECT_EQ(readFile("b.log"), kSuccessLine) << row.what;
    EXPECT_EQ(readFile("rules.xml"), config) << row.what;
    EXPECT_EQ(readFile("list.txt"), "an earlier entry\n") << row.what;
    for (const char* never : {"out.log", "a.log", "r.json", "r.xml"}) {
      EXPECT_FALSE(exists(never)) << row.what << ": " << never;
    }
    EXPECT_EQ(leftovers(), 0) << row.what;
  }
}

TEST_F(ReportsTest, AReportThatCanNeverBeWrittenIsRefusedAtTheStart) {
  makeFolder("taken");
  const std::string longName = std::string(300, 'n') + ".json";
  struct Row {
    std::vector<std::string> report;
    std::string out;
  };
  const std::string slashed = "taken" + std::string(1, separator());
  const Row rows[] = {
      {{"-json", "taken"}, "ERROR: Report 'taken' is a folder\n"},
      {{"-junit", slashed}, "ERROR: Report '" + slashed + "' is a folder\n"},
      {{"-html", "."}, "ERROR: Report '.' is a folder\n"},
      {{"-json", longName},
       "ERROR: Report '" + longName + "' has a name longer than the file system allows\n"},
      {{"-json", "r.json", "-junit", "gone" + std::string(1, separator())},
       "ERROR: Report folder for 'gone" + std::string(1, separator()) + "' does not exist\n"},
  };
  for (const Row& row : rows) {
    for (bool exec : {false, true}) {
      writeFile("b.log", kSuccessLine);
      std::vector<std::string> args = row.report;
      if (exec) {
        args.insert(args.end(), {"-exec", tool(), "out:ran"});
      } else {
        args.insert(args.end(), {"-log", "b.log"});
      }
      RunResult result = run(args);
      EXPECT_EQ(result.status, 1) << row.out;
      EXPECT_EQ(result.out, textMode(row.out)) << row.out;
      EXPECT_EQ(leftovers(), 0) << row.out;
      EXPECT_FALSE(exists("r.json")) << row.out;
    }
  }
}

// A file-size limit (as "ulimit -f" sets) makes the big report's writes
// fail part-way; the process is not killed, that report leaves nothing, and
// the small one is still written whole, saying why the run failed.
TEST_F(ReportsTest, AReportCutShortLeavesNothingAndTheOthersSayWhy) {
  SKIP_ON_WINDOWS("no file-size limit");
  std::string log = kSuccessLine;
  for (int i = 0; i < 3000; ++i) log += "an unmatched line " + std::string(80, 'u') + "\n";
  log += "E1: one failure\n";
  writeFile("b.log", log);
  struct Row {
    const char* what;
    std::vector<std::string> reports;
    const char* lost;
  };
  const Row rows[] = {
      {"json lost", {"-json", "r.json", "-junit", "r.xml"}, "r.json"},
      {"html lost", {"-junit", "r.xml", "-html", "r.html"}, "r.html"},
  };
  for (const Row& row : rows) {
    std::vector<std::string> args = {"200000", programPath()};
    args.insert(args.end(), row.reports.begin(), row.reports.end());
    args.insert(args.end(), {"-maxunmatched", "5000", "-log", "b.log"});
    for (const char* name : {"r.json", "r.xml", "r.html"}) {
      std::filesystem::remove(hostPath(name));
    }
    RunResult result = runTool("limit_file_size", args);
    std::string message = "ERROR: Unable to write report '" + std::string(row.lost) + "'";
    EXPECT_EQ(result.status, 1) << row.what;
    EXPECT_NE(result.out.find("failures detected\n" + message + "\n"), std::string::npos)
        << row.what << "\n"
        << result.out;
    EXPECT_FALSE(exists(row.lost)) << row.what;
    EXPECT_EQ(leftovers(), 0) << row.what;
    TiXmlDocument junit = readJunit("r.xml");
    const TiXmlElement* suite =
        TiXmlHandle(&junit).FirstChild("testsuites").FirstChild("testsuite").ToElement();
    ASSERT_NE(suite, nullptr) << row.what;
    const TiXmlElement* verdict = suite->FirstChildElement("testcase");
    while (verdict != nullptr && std::string(verdict->Attribute("name")) != "verdict") {
      verdict = verdict->NextSiblingElement("testcase");
    }
    ASSERT_NE(verdict, nullptr) << row.what;
    const TiXmlElement* failure = verdict->FirstChildElement("failure");
    ASSERT_NE(failure, nullptr) << row.what;
    EXPECT_EQ(failure->Attribute("message"), message) << row.what;
  }
}

// A device, FIFO or the run's own stdout is written into, never replaced;
// a link keeps pointing at a report that replaced its target whole.
TEST_F(ReportsTest, ReportsGoIntoDevicesPipesAndThroughLinks) {
  SKIP_ON_WINDOWS("FIFOs and /dev/stdout are POSIX");
  writeFile("b.log", std::string(kSuccessLine) + "E1: bad\n");
  const std::string console =
      "Processing b.log...\nE1: bad\n" + summary(1, 1, 0, 0, 0) + "1 failures detected\n";

  // stdout redirected to a file of the test: the report follows the run's
  // own lines there.
  RunResult result = runWithStdoutFile({"-json", "/dev/stdout", "-log", "b.log"}, "out.txt");
  EXPECT_EQ(result.status, 0);
  std::string out = readFile("out.txt");
  ASSERT_EQ(out.compare(0, console.size(), console), 0) << out;
  Json report = Json::parse(out.substr(console.size()));
  EXPECT_EQ(report["counts"]["failure"], 1);
  EXPECT_EQ(leftovers(), 0);

  // A FIFO with a reader already there takes the report and stays a FIFO.
  ASSERT_EQ(mkfifo(hostPath("r.fifo").c_str(), 0600), 0);
  int reader = open(hostPath("r.fifo").c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  result = run({"-junit", "r.fifo", "-log", "b.log"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, console);
  std::string piped;
  char buffer[4096];
  ssize_t got;
  while ((got = read(reader, buffer, sizeof buffer)) > 0) piped.append(buffer, got);
  close(reader);
  EXPECT_EQ(piped.rfind("<?xml", 0), 0u) << piped;
  EXPECT_NE(piped.find("</testsuites>\n"), std::string::npos) << piped;
  struct stat status;
  ASSERT_EQ(lstat(hostPath("r.fifo").c_str(), &status), 0);
  EXPECT_TRUE(S_ISFIFO(status.st_mode));

  // Links, one to an earlier report and one to a report yet to be made.
  makeFolder("kept");
  writeFile("kept/r.json", "an earlier report");
  ASSERT_EQ(symlink("kept/r.json", hostPath("r.json").c_str()), 0);
  ASSERT_EQ(symlink("kept/new.html", hostPath("new.html").c_str()), 0);
  result = run({"-json", "r.json", "-html", "new.html", "-log", "b.log"});
  EXPECT_EQ(result.status, 0);
  for (const char* link : {"r.json", "new.html"}) {
    ASSERT_EQ(lstat(hostPath(link).c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode)) << link;
  }
  EXPECT_EQ(readJson("kept/r.json")["counts"]["failure"], 1);
  EXPECT_EQ(readFile("kept/new.html").rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_EQ(leftovers(), 0);
  for (const auto& entry : std::filesystem::directory_iterator(hostPath("kept"))) {
    EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
  }
}

TEST_F(ReportsTest, JsonFindingsKnowTheirLogAndLineAcrossLineEnds) {
  // Line ends of every kind, blank lines, and a line over the reader's
  // 1 MiB block, so that counting crosses a block edge.
  std::string log = "I00020110: ok\r\n\r\nE1: first\n\nodd one\rE2: second\r\n" +
                    std::string(1 << 20, 'x') + "\r\n\n\rE3: third\nI00060080: 3 errors";
  writeFile("b.log", log);
  RunResult result = run({"-json", "r.json", "-log", "b.log"});
  EXPECT_EQ(result.status, 0);
  Json report = readJson("r.json");
  EXPECT_EQ(report["version"], 1);
  EXPECT_EQ(report["status"], 0);
  EXPECT_TRUE(report["error"].is_null());
  EXPECT_EQ(report["mode"], "log");
  EXPECT_EQ(report["counts"], Json({{"success", 1},
                                    {"failure", 3},
                                    {"ignore", 0},
                                    {"summary", 1},
                                    {"unmatched", 2},
                                    {"copied", 0},
                                    {"copyFail", 0}}));
  EXPECT_EQ(report["logs"], Json::parse(R"([{"path":"b.log","lines":11}])"));
  struct Finding {
    const char* cls;
    int line;
    std::string text;
  };
  const Finding expected[] = {{"failure", 3, "E1: first"},
                              {"unmatched", 5, "odd one"},
                              {"failure", 6, "E2: second"},
                              {"unmatched", 7, std::string(4096, 'x')},
                              {"failure", 10, "E3: third"}};
  ASSERT_EQ(report["findings"].size(), 5u);
  for (size_t i = 0; i < 5; ++i) {
    const Json& finding = report["findings"][i];
    EXPECT_EQ(finding["class"], expected[i].cls) << i;
    EXPECT_EQ(finding["log"], "b.log") << i;
    EXPECT_EQ(finding["line"], expected[i].line) << i;
    EXPECT_EQ(finding["text"], expected[i].text) << i;
    if (std::string(expected[i].cls) == "failure") {
      EXPECT_EQ(finding["rule"], "^E[0-9]+:") << i;
    } else {
      EXPECT_TRUE(finding["rule"].is_null()) << i;
    }
    EXPECT_EQ(finding.value("truncated", false), i == 3) << i;
  }
  EXPECT_EQ(report["omittedUnmatched"], 0);
  EXPECT_EQ(leftovers(), 0);
}

TEST_F(ReportsTest, UnmatchedFindingsStopAtTheCapButCountsStayWhole) {
  std::string log = kSuccessLine;
  for (int i = 0; i < 10005; ++i) log += "note " + std::to_string(i) + "\n";
  log += "E9: late failure\n";
  writeFile("b.log", log);
  RunResult result = run({"-json", "r.json", "-log", "b.log"});
  EXPECT_EQ(result.status, 0);
  Json report = readJson("r.json");
  EXPECT_EQ(report["counts"]["unmatched"], 10005);
  EXPECT_EQ(report["omittedUnmatched"], 5);
  ASSERT_EQ(report["findings"].size(), 10001u);
  EXPECT_EQ(report["findings"][9999]["text"], "note 9999");
  EXPECT_EQ(report["findings"][10000]["text"], "E9: late failure");
  EXPECT_EQ(report["findings"][10000]["line"], 10007);
}

TEST_F(ReportsTest, HostileTextStaysDataInEveryReport) {
  std::string hostile =
      "E1: <script>\"&'\x01\x1a]]></failure>\xff\xfe \xc3\x28 %0A\r\nI00020110: ok";
  writeFile("b.log", hostile);
  RunResult result = run({"-json", "r.json", "-junit", "r.xml", "-log", "b.log"});
  EXPECT_EQ(result.status, 0);
  Json report = readJson("r.json");
  EXPECT_EQ(report["findings"][0]["text"],
            "E1: <script>\"&'\x01\x1a]]></failure>\xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBD( %0A");
  TiXmlDocument junit = readJunit("r.xml");
  const TiXmlElement* failure = TiXmlHandle(&junit)
                                    .FirstChild("testsuites")
                                    .FirstChild("testsuite")
                                    .FirstChild("testcase")
                                    .FirstChild("failure")
                                    .ToElement();
  ASSERT_NE(failure, nullptr);
  EXPECT_STREQ(failure->Attribute("message"), "1 failure lines");
  EXPECT_EQ(
      std::string(failure->GetText()),
      "b.log:1: E1: <script>\"&'\xEF\xBF\xBD\xEF\xBF\xBD]]></failure>\xEF\xBF\xBD\xEF\xBF\xBD "
      "\xEF\xBF\xBD( %0A");
}

TEST_F(ReportsTest, EveryWayARunEndsIsReported) {
  struct Row {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::string error;  // empty: null
  };
  writeFile("ok.log", kSuccessLine);
  writeFile("nothing.log", "odd\n");
  writeFile("bad.xml", "<tarnwick><success>x</succ></tarnwick>");
  writeFile("fail.log", "E1: one\nE2: two\n" + std::string(kSuccessLine));
  const Row rows[] = {
      {"a normal end", {"-log", "ok.log"}, 0, ""},
      {"nothing processed", {"-log", "nothing.log"}, 1, "ERROR: Nothing was processed"},
      {"a missing log", {"-log", "none.log"}, 1, "Failed to open \"none.log\""},
      {"a bad configuration",
       {"-cfg", "bad.xml", "-log", "ok.log"},
       1,
       "Error Parsing XML at line 1, col 21: Error reading end tag."},
      {"the failure gate",
       {"-maxfailures", "1", "-log", "fail.log"},
       1,
       "ERROR: 2 failures, more than the 1 allowed"},
      {"the unmatched gate",
       {"-maxunmatched", "0", "-log", "nothing.log"},
       1,
       "ERROR: Nothing was processed"},
      {"no mode", {"-json", "r.json", "x"}, 1, "ERROR: Invalid mode"},
  };
  for (const Row& row : rows) {
    std::vector<std::string> args = {"-json", "r.json", "-junit", "r.xml"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    RunResult result = run(args);
    EXPECT_EQ(result.status, row.status) << row.name;
    Json report = readJson("r.json");
    EXPECT_EQ(report["status"], row.status) << row.name;
    if (row.error.empty()) {
      EXPECT_TRUE(report["error"].is_null()) << row.name;
    } else {
      EXPECT_EQ(report["error"], row.error) << row.name;
    }
    TiXmlDocument junit = readJunit("r.xml");
    const TiXmlElement* suite =
        TiXmlHandle(&junit).FirstChild("testsuites").FirstChild("testsuite").ToElement();
    ASSERT_NE(suite, nullptr) << row.name;
    const TiXmlElement* verdict = suite->FirstChildElement("testcase");
    while (verdict != nullptr && std::string(verdict->Attribute("name")) != "verdict") {
      verdict = verdict->NextSiblingElement("testcase");
    }
    ASSERT_NE(verdict, nullptr) << row.name;
    const TiXmlElement* failure = verdict->FirstChildElement("failure");
    EXPECT_EQ(failure != nullptr, row.status == 1) << row.name;
    if (failure != nullptr) {
      EXPECT_EQ(failure->Attribute("message"), row.error) << row.name;
    }
    EXPECT_EQ(leftovers(), 0) << row.name;
  }
}

TEST_F(ReportsTest, AReportThatCannotBeWrittenEndsTheRun) {
  writeFile("b.log", kSuccessLine);
  makeFolder("taken.json");  // a folder cannot be replaced by the report: known at the start
  RunResult result = run({"-json", "taken.json", "-log", "b.log"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, textMode("ERROR: Report 'taken.json' is a folder\n"));
  EXPECT_EQ(leftovers(), 0);
}

TEST_F(ReportsTest, GithubAnnotatesEachFailureAndAFailedRun) {
  writeFile("a,b:c%.log", "E1: 50% done\nI00020110: ok\nE2: two\n");
  RunResult result = run({"-github", "-maxfailures", "1", "-log", "a,b:c%.log"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, textMode("Processing a,b:c%.log...\n"
                                 "E1: 50% done\n"
                                 "::error file=a%2Cb%3Ac%25.log,line=1::E1: 50%25 done\n"
                                 "E2: two\n"
                                 "::error file=a%2Cb%3Ac%25.log,line=3::E2: two\n" +
                                 summary(1, 2, 0, 0, 0) + "2 failures detected\n" +
                                 "ERROR: 2 failures, more than the 1 allowed\n"
                                 "::error::ERROR: 2 failures, more than the 1 allowed\n"));
}

TEST_F(ReportsTest, GatesComeAfterEverythingAndInTheirOrder) {
  struct Row {
    const char* name;
    std::vector<std::string> gates;
    std::string end;  // after the summary and the failures line
    int status;
  };
  const Row rows[] = {
      {"no gate", {}, "", 0},
      {"failures within", {"-maxfailures", "1", "-maxunmatched", "1"}, "", 0},
      {"tool status first",
       {"-maxfailures", "0", "-toolstatus"},
       "ERROR: The tool ended with exit code 3\n",
       1},
      {"failures before unmatched",
       {"-maxunmatched", "0", "-maxfailures", "0"},
       "ERROR: 1 failures, more than the 0 allowed\n",
       1},
      {"unmatched",
       {"-maxunmatched", "0"},
       "ERROR: 1 unmatched lines, more than the 0 allowed\n",
       1},
  };
  for (const Row& row : rows) {
    std::vector<std::string> options = row.gates;
    RunResult result = runExec(options, {"logline:I00020110: ok", "logline:E1: bad", "logline:odd",
                                         "exit:3", "-o", "out.log"});
    EXPECT_EQ(result.status, row.status) << row.name;
    // Under -toolstatus the code is judged, so the verdict alone reports it.
    bool judged = false;
    for (const std::string& gate : row.gates) judged = judged || gate == "-toolstatus";
    EXPECT_EQ(result.out, textMode(std::string(judged ? "" : "exit code 3 ignored\n") +
                                   "Processing out.log...\nE1: bad\nodd\n" +
                                   summary(1, 1, 0, 0, 1) + "1 failures detected\n" + row.end))
        << row.name;
  }
}

TEST_F(ReportsTest, TheToolStatusGateReportsTheCodeOnce) {
  struct Row {
    const char* name;
    std::vector<std::string> options;
    std::string exit;
    std::string out;  // before the summary
    std::string end;  // after it
    int status;
  };
  // Windows keeps all 32 bits and shows a status code in hex too; POSIX
  // keeps the low 8.
  const std::string crash = windowsTarget() ? "-1073741819 (0xC0000005)" : "5";
  const std::string small = windowsTarget() ? "-2" : "254";
  const Row rows[] = {
      {"ignored without the gate", {}, "exit:3", "exit code 3 ignored\n", "", 0},
      {"judged with it",
       {"-toolstatus"},
       "exit:3",
       "",
       "ERROR: The tool ended with exit code 3\n",
       1},
      {"zero passes the gate", {"-toolstatus"}, "exit:0", "", "", 0},
      {"a status code", {}, "exit:-1073741819", "exit code " + crash + " ignored\n", "", 0},
      {"a status code judged",
       {"-toolstatus"},
       "exit:-1073741819",
       "",
       "ERROR: The tool ended with exit code " + crash + "\n",
       1},
      {"a small negative code", {}, "exit:-2", "exit code " + small + " ignored\n", "", 0},
  };
  for (const Row& row : rows) {
    RunResult result = runExec(row.options, {"logline:I00020110: ok", row.exit, "-o", "out.log"});
    EXPECT_EQ(result.status, row.status) << row.name;
    EXPECT_EQ(result.out,
              textMode(row.out + "Processing out.log...\n" + summary(1, 0, 0, 0, 0) + row.end))
        << row.name;
  }
}

TEST_F(ReportsTest, ExecModeReportsTheToolAndItsExitCode) {
  RunResult result =
      runExec({"-json", "r.json"}, {"logline:I00020110: ok", "exit:3", "-o", "o.log"});
  EXPECT_EQ(result.status, 0);
  Json report = readJson("r.json");
  EXPECT_EQ(report["mode"], "exec");
  EXPECT_EQ(report["tool"]["command"], quoted({"logline:I00020110: ok", "exit:3", "-o", "o.log"}));
  EXPECT_EQ(report["tool"]["exitCode"], 3);

  result = run({"-json", "r.json", "-exec", "no-such-tool-anywhere"});
  EXPECT_EQ(result.status, 1);
  report = readJson("r.json");
  EXPECT_TRUE(report["tool"]["exitCode"].is_null());
  EXPECT_EQ(report["error"],
            "ERROR: Failed to start '\"no-such-tool-anywhere\"': " + noSuchProgramText());
}

TEST_F(ReportsTest, LongReportNamesAreWritten) {
  // On Windows a name of 248 characters or more needs the wide calls; a
  // report's temporary file has a longer name than the report.
  writeFile("build.log", "I00020110: ok\n");
  const size_t start = targetPath("").size() + 1;
  for (size_t length : {240u, 246u, 248u, 270u}) {
    const std::string folder(length - start - std::string("/r.json").size(), 'j');
    makeFolder(folder);
    ASSERT_EQ(targetPath(folder + "/r.json").size(), length);
    RunResult result =
        run({"-json", targetPath(folder + "/r.json"), "-junit", targetPath(folder + "/r.xml"),
             "-html", targetPath(folder + "/r.html"), "-log", "build.log"});
    EXPECT_EQ(result.status, 0) << length << ": " << result.out;
    EXPECT_EQ(readJson(folder + "/r.json")["status"], 0) << length;
    EXPECT_TRUE(exists(folder + "/r.xml")) << length;
    EXPECT_TRUE(exists(folder + "/r.html")) << length;
  }
}

TEST_F(ReportsTest, CopiesAndListingsAreReported) {
  writeBuildTree();
  writeFile("rules.xml",
            "<tarnwick basedir=\"" + targetPath("build") +
                "\">\n  <success>^OK$</success>\n  <copy dst=\"" + targetPath("drop") +
                "\">^Copied (.+)$</copy>\n  <list file=\"a.lst\">^Copied (.+)$</list>\n"
                "  <list file=\"none.lst\">^Never (.+)$</list>\n</tarnwick>\n");
  writeFile("b.log", "Copied " + targetPath("build/c.txt") + "\nCopied " +
                         targetPath("build/c.txt") + "\nOK\n");
  RunResult result = run({"-json", "r.json", "-cfg", "rules.xml", "-log", "b.log"});
  EXPECT_EQ(result.status, 1);
  Json report = readJson("r.json");
  EXPECT_EQ(report["counts"]["copied"], 1);
  EXPECT_EQ(report["counts"]["copyFail"], 1);
  ASSERT_EQ(report["copies"].size(), 2u);
  EXPECT_EQ(report["copies"][0]["from"], targetPath("build/c.txt"));
  EXPECT_EQ(report["copies"][0]["to"], targetPath("drop") + separator() + "c.txt");
  EXPECT_EQ(report["copies"][0]["ok"], true);
  EXPECT_TRUE(report["copies"][0]["error"].is_null());
  EXPECT_EQ(report["copies"][1]["ok"], false);
  EXPECT_FALSE(report["copies"][1]["error"].get<std::string>().empty());
  EXPECT_EQ(report["listings"],
            Json::parse(R"([{"path":"a.lst","entries":2},{"path":"none.lst","entries":0}])"));
}

TEST_F(ReportsTest, TheToolsOwnLinesAreClassifiedWholeAndNotPrintedTwice) {
  // A failure line cut across many pipe reads, CR LF and lone CR line ends,
  // a blank line, and lines on both streams.
  std::vector<std::string> words = {
      "eol:none", "out:E7: start",   "long:3000",         "eol:crlf",         "out:end",
      "out:",     "out:odd\rE8: cr", "err:E9: on stderr", "out:I00020110: ok"};
  RunResult result = runExec({"-classifyoutput", "-json", "r.json", "-github"}, words);
  EXPECT_EQ(result.status, 0);
  std::string longLine = "E7: start" + std::string(3000, 'x') + "end";
  // Only the echo shows the lines; the annotations follow.
  EXPECT_NE(result.out.find("::error::E7: start"), std::string::npos);
  EXPECT_EQ(result.out.find("E8: cr\nE8"), std::string::npos);
  EXPECT_NE(result.out.find("::error::E9: on stderr"), std::string::npos);
  EXPECT_NE(result.out.find(textMode(summary(1, 3, 0, 0, 1) + "3 failures detected\n")),
            std::string::npos);
  Json report = readJson("r.json");
  struct Finding {
    const char* cls;
    const char* log;
    int line;
    std::string text;
  };
  const Finding expected[] = {{"failure", "<stdout>", 1, longLine},
                              {"unmatched", "<stdout>", 3, "odd"},
                              {"failure", "<stdout>", 4, "E8: cr"},
                              {"failure", "<stderr>", 1, "E9: on stderr"}};
  ASSERT_EQ(report["findings"].size(), 4u) << report.dump();
  // The two streams are classified at once: order only within a stream.
  for (const Finding& want : expected) {
    bool found = false;
    for (const Json& finding : report["findings"]) {
      found |= finding["class"] == want.cls && finding["log"] == want.log &&
               finding["line"] == want.line && finding["text"] == want.text;
    }
    EXPECT_TRUE(found) << want.log << ":" << want.line;
  }

  // Without the option the tool's lines are only echoed.
  result = runExec({}, {"out:E1: only echoed", "out:I00020110: ok"});
  EXPECT_EQ(result.out, textMode("E1: only echoed\nI00020110: ok\n" + kNoTotals));
}

TEST_F(ReportsTest, LogsAndScansReadStandardInput) {
  std::string log = "E1: bad\nI00020110: ok\n";
  RunResult result = run({"-json", "r.json", "-log", "-"}, log);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, textMode("Processing -...\nE1: bad\n" + summary(1, 1, 0, 0, 0) +
                                 "1 failures detected\n"));
  EXPECT_EQ(readJson("r.json")["findings"][0]["log"], "-");
  result = run({"-scan", "-"}, "E1: a\r\nE1: b\x1a\nW2: c\n");
  EXPECT_EQ(result.out, textMode("Scanning -...\nW2\t1\nE1\t2\n"));
  writeFile("-", log);
  result = run({"-log", targetRelative("./-")});
  EXPECT_EQ(result.out, textMode("Processing " + targetRelative("./-") + "...\nE1: bad\n" +
                                 summary(1, 1, 0, 0, 0) + "1 failures detected\n"));
}

TEST_F(ReportsTest, JsonCutsATextOverItsCapAndSaysSo) {
  struct Row {
    size_t length;  // of the whole line
    bool truncated;
  };
  const Row rows[] = {{4095, false}, {4096, false}, {4097, true}, {10000, true}};
  std::string log = kSuccessLine;
  for (const Row& row : rows) log += "E1: " + std::string(row.length - 4, 'x') + "\n";
  writeFile("b.log", log);
  RunResult result = run({"-json", "r.json", "-log", "b.log"});
  EXPECT_EQ(result.status, 0);
  Json report = readJson("r.json");
  ASSERT_EQ(report["findings"].size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    const Json& finding = report["findings"][i];
    size_t kept = rows[i].length < 4096 ? rows[i].length : 4096;
    EXPECT_EQ(finding["text"], "E1: " + std::string(kept - 4, 'x')) << rows[i].length;
    EXPECT_EQ(finding.contains("truncated"), rows[i].truncated) << rows[i].length;
    if (rows[i].truncated) {
      EXPECT_EQ(finding["truncated"], true) << rows[i].length;
    }
  }
}

TEST_F(ReportsTest, JunitCutsAFailureTextAtTheJsonCapOnACharacter) {
  struct Row {
    std::string line;
    std::string body;  // the line in the failure's body
  };
  const std::string euro = "\xE2\x82\xAC";
  const Row rows[] = {
      {"E1: " + std::string(4092, 'x'), "b.log:2: E1: " + std::string(4092, 'x')},
      {"E2: " + std::string(4093, 'x'),
       "b.log:3: E2: " + std::string(4092, 'x') + " [cut: 4096 of 4097 bytes]"},
      // The euro sign would be cut after its first two bytes: it goes whole.
      {"E3: " + std::string(4090, 'x') + euro,
       "b.log:4: E3: " + std::string(4090, 'x') + " [cut: 4094 of 4097 bytes]"},
      {"E4: " + std::string(4091, 'x') + euro + "tail",
       "b.log:5: E4: " + std::string(4091, 'x') + " [cut: 4095 of 4102 bytes]"},
      {"E5: " + std::string(4089, 'x') + euro + "tail",
       "b.log:6: E5: " + std::string(4089, 'x') + euro + " [cut: 4096 of 4100 bytes]"},
      {"E6: " + std::string(100000, 'y'),
       "b.log:7: E6: " + std::string(4092, 'y') + " [cut: 4096 of 100004 bytes]"},
  };
  std::string log = kSuccessLine, body;
  for (const Row& row : rows) {
    log += row.line + "\n";
    body += (body.empty() ? "" : " ") + row.body;
  }
  writeFile("b.log", log);
  RunResult result = run({"-junit", "r.xml", "-log", "b.log"});
  EXPECT_EQ(result.status, 0);
  TiXmlDocument junit = readJunit("r.xml");
  EXPECT_EQ(testCases(junit), (std::vector<std::string>{"b.log: " + body, "verdict"}));
}

TEST_F(ReportsTest, JunitCountsAreItsTestCasesAndTheirFailures) {
  struct Row {
    const char* name;
    std::vector<std::string> args;
    std::vector<std::string> words;  // exec mode when not empty
    int tests, failures;
  };
  writeFile("ok.log", kSuccessLine);
  writeFile("fail.log", "E1: one\nE2: two\n" + std::string(kSuccessLine));
  const Row rows[] = {
      {"a passing log", {"-log", "ok.log"}, {}, 2, 0},
      {"a log with failures", {"-log", "fail.log"}, {}, 2, 1},
      {"a failed run", {"-maxfailures", "0", "-log", "fail.log"}, {}, 2, 2},
      {"the tool's streams and its log",
       {"-classifyoutput"},
       {"out:E3: on stdout", "err:I00020110: fine", "logline:E4: logged", "-o", "o.log"},
       4,
       2},
  };
  for (const Row& row : rows) {
    std::vector<std::string> args = {"-junit", "r.xml"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    RunResult result = row.words.empty() ? run(args) : runExec(args, row.words);
    SCOPED_TRACE(row.name + std::string("\n") + result.out);
    TiXmlDocument junit = readJunit("r.xml");
    std::vector<std::string> cases = testCases(junit);
    int failed = 0;
    for (const std::string& shown : cases) failed += shown.find(": ") != std::string::npos;
    EXPECT_EQ(static_cast<int>(cases.size()), row.tests) << row.name;
    EXPECT_EQ(failed, row.failures) << row.name;
    const TiXmlElement* suites = TiXmlHandle(&junit).FirstChild("testsuites").ToElement();
    const TiXmlElement* suite = suiteOf(junit);
    ASSERT_NE(suite, nullptr) << row.name;
    for (const TiXmlElement* counted : {suites, suite}) {
      EXPECT_EQ(counted->Attribute("tests"), std::to_string(row.tests)) << row.name;
      EXPECT_EQ(counted->Attribute("failures"), std::to_string(row.failures)) << row.name;
    }
  }
}

TEST_F(ReportsTest, EachStreamsFailuresLandInItsOwnTestCase) {
  RunResult result = runExec(
      {"-classifyoutput", "-junit", "r.xml"},
      {"out:E1: on stdout", "err:E2: on stderr", "err:E3: on stderr too", "out:I00020110: ok"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(testCases(readJunit("r.xml")),
            (std::vector<std::string>{"<stdout>: <stdout>:1: E1: on stdout",
                                      "<stderr>: <stderr>:1: E2: on stderr "
                                      "<stderr>:2: E3: on stderr too",
                                      "verdict"}));
}

TEST_F(ReportsTest, AFileNamedLikeAStreamIsAFile) {
  SKIP_ON_WINDOWS("a Windows file name cannot hold < or >");
  writeFile("<stdout>", "E1: in a file\nI00020110: ok\n");
  RunResult result =
      run({"-github", "-json", "r.json", "-junit", "r.xml", "-html", "r.html", "-log", "<stdout>"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out,
            "Processing <stdout>...\nE1: in a file\n"
            "::error file=<stdout>,line=1::E1: in a file\n" +
                summary(1, 1, 0, 0, 0) + "1 failures detected\n");
  EXPECT_EQ(testCases(readJunit("r.xml")),
            (std::vector<std::string>{"<stdout>: <stdout>:1: E1: in a file", "verdict"}));
  EXPECT_EQ(readJson("r.json")["logs"], Json::parse(R"([{"path":"<stdout>","lines":2}])"));

  // Beside the tool's own stdout, each keeps its own lines.
  result = runExec(
      {"-classifyoutput", "-json", "r.json", "-junit", "r.xml", "-html", "r.html"},
      {"out:E2: on stdout", "logline:E1: in a file", "logline:I00020110: ok", "-o", "<stdout>"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "E2: on stdout\nProcessing <stdout>...\nE1: in a file\n" +
                            summary(1, 2, 0, 0, 0) + "2 failures detected\n");
  EXPECT_EQ(testCases(readJunit("r.xml")),
            (std::vector<std::string>{"<stdout>: <stdout>:1: E1: in a file",
                                      "<stdout>: <stdout>:1: E2: on stdout", "verdict"}));
  EXPECT_EQ(readJson("r.json")["logs"],
            Json::parse(R"([{"path":"<stdout>","lines":1},{"path":"<stderr>","lines":0},)"
                        R"({"path":"<stdout>","lines":2}])"));
  std::string page = readFile("r.html");
  EXPECT_NE(page.find("2 failures</b>"), std::string::npos);
  EXPECT_NE(page.find("in 3 logs"), std::string::npos);
}

TEST_F(ReportsTest, TheToolsStreamsAreListedAsLogsWithTheirLines) {
  RunResult result = runExec({"-classifyoutput", "-json", "r.json", "-html", "r.html"},
                             {"out:E1: bad", "out:", "eol:crlf", "out:I00020110: ok", "err:odd",
                              "eol:none", "err:E2: last"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(readJson("r.json")["logs"],
            Json::parse(R"([{"path":"<stdout>","lines":3},{"path":"<stderr>","lines":2}])"));
  std::string page = readFile("r.html");
  EXPECT_NE(page.find("4 lines analysed in 2 logs"), std::string::npos);
  EXPECT_NE(page.find("<td class=\"path\">&lt;stdout&gt;</td><td class=\"n\">3</td>"),
            std::string::npos);
  EXPECT_NE(page.find("<td class=\"path\">&lt;stderr&gt;</td><td class=\"n\">2</td>"),
            std::string::npos);
}

TEST_F(ReportsTest, ALogThatEndsTheRunPartWayGivesTheLinesRead) {
  writeFile("rules.xml", inRoot("  <success>^I00020110:</success>\n  <list file=\"" +
                                targetRelative("missing/out.lst") + "\">^Built (.+)$</list>\n"));
  writeFile("b.log", "I00020110: ok\n\nE1: bad\nBuilt a.dll\nI00020110: never read\n");
  RunResult result = run({"-json", "r.json", "-cfg", "rules.xml", "-log", "b.log"});
  EXPECT_EQ(result.status, 1);
  Json report = readJson("r.json");
  EXPECT_EQ(report["logs"], Json::parse(R"([{"path":"b.log","lines":4}])"));
  EXPECT_EQ(report["error"],
            "ERROR: Unable to open listing file '" + targetRelative("missing/out.lst") + "'");
}

TEST_F(ReportsTest, GithubAnnotationsEscapeLineEndsAndStopAtANul) {
  struct Row {
    const char* name;
    std::vector<std::string> args;
    std::string stdinText;
    std::string annotations;  // the lines of out that start with "::"
  };
  writeFile("zero.log", std::string("E1: shown\0hidden\nI00020110: ok\n", 31));
  std::vector<Row> rows = {
      {"a NUL", {"-log", "zero.log"}, "", "::error file=zero.log,line=1::E1: shown\n"},
      {"standard input", {"-log", "-"}, "I00020110: ok\nE2: piped\n", "::error::E2: piped\n"},
      {"a fatal message with LF",
       {"-log", "gone\nnow.log"},
       "",
       "::error::Failed to open \"gone%0Anow.log\"\n"},
      {"a fatal message with CR",
       {"-log", "gone\rnow.log"},
       "",
       "::error::Failed to open \"gone%0Dnow.log\"\n"},
  };
  if (!windowsTarget()) {
    writeFile("a\nb\r.log", "E3: named\nI00020110: ok\n");
    rows.push_back({"a log name with LF and CR",
                    {"-log", "a\nb\r.log"},
                    "",
                    "::error file=a%0Ab%0D.log,line=1::E3: named\n"});
  }
  for (const Row& row : rows) {
    std::vector<std::string> args = {"-github"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    RunResult result = run(args, row.stdinText);
    std::string annotations;
    for (size_t at = 0; at < result.out.size();) {
      size_t end = result.out.find('\n', at);
      end = end == std::string::npos ? result.out.size() : end + 1;
      if (result.out.compare(at, 2, "::") == 0) annotations += result.out.substr(at, end - at);
      at = end;
    }
    EXPECT_EQ(annotations, textMode(row.annotations)) << row.name;
  }
}

TEST_F(ReportsTest, GatesCompareTheirOwnCount) {
  struct Row {
    const char* log;
    std::vector<std::string> gates;
    std::string end;  // after the summary and the failures line; empty: passed
  };
  writeFile("1f3u.log", "I00020110: ok\nE1: bad\nodd 1\nodd 2\nodd 3\n");
  writeFile("3f1u.log", "I00020110: ok\nE1: bad\nE2: bad\nE3: bad\nodd\n");
  const Row rows[] = {
      {"1f3u.log", {"-maxfailures", "1"}, ""},
      {"1f3u.log", {"-maxfailures", "2"}, ""},
      {"1f3u.log", {"-maxunmatched", "3"}, ""},
      {"1f3u.log", {"-maxunmatched", "2"}, "ERROR: 3 unmatched lines, more than the 2 allowed\n"},
      {"1f3u.log", {"-maxfailures", "0"}, "ERROR: 1 failures, more than the 0 allowed\n"},
      {"3f1u.log", {"-maxunmatched", "1"}, ""},
      {"3f1u.log", {"-maxunmatched", "2"}, ""},
      {"3f1u.log", {"-maxfailures", "3"}, ""},
      {"3f1u.log", {"-maxfailures", "2"}, "ERROR: 3 failures, more than the 2 allowed\n"},
      {"3f1u.log", {"-maxunmatched", "0"}, "ERROR: 1 unmatched lines, more than the 0 allowed\n"},
  };
  for (const Row& row : rows) {
    std::vector<std::string> args = row.gates;
    args.insert(args.end(), {"-log", row.log});
    RunResult result = run(args);
    bool threeFailures = std::string(row.log) == "3f1u.log";
    std::string printed =
        threeFailures ? "E1: bad\nE2: bad\nE3: bad\nodd\n" : "E1: bad\nodd 1\nodd 2\nodd 3\n";
    int failures = threeFailures ? 3 : 1;
    EXPECT_EQ(result.status, row.end.empty() ? 0 : 1) << row.log << " " << row.gates[1];
    EXPECT_EQ(result.out, textMode("Processing " + std::string(row.log) + "...\n" + printed +
                                   summary(1, failures, 0, 0, 4 - failures) +
                                   std::to_string(failures) + " failures detected\n" + row.end))
        << row.log << " " << row.gates[0] << " " << row.gates[1];
  }
}

TEST_F(ReportsTest, ScanModeWritesJsonAndRefusesWhatItCannotDo) {
  struct Refused {
    std::vector<std::string> args;
    std::string message;
  };
  const Refused refused[] = {
      {{"-junit", "r.xml", "-scan", "a.log"}, "-junit does not apply to -scan"},
      {{"-scan", "a.log", "-html", "r.html"}, "-html does not apply to -scan"},
      {{"-github", "-scan", "a.log"}, "-github does not apply to -scan"},
      {{"-maxfailures", "0", "-scan", "a.log"}, "-maxfailures does not apply to -scan"},
      {{"-maxunmatched", "3", "-scan", "a.log"}, "-maxunmatched does not apply to -scan"},
      {{"-toolstatus", "-scan", "a.log"}, "-toolstatus does not apply to -scan"},
      {{"-json", "r.json", "-html", "r.html", "-scan", "a.log"}, "-html does not apply to -scan"},
  };
  writeFile("a.log", "W2: c\nE1: a\r\nnote\nE1: b\nI00020110: ok\n");
  for (const Refused& row : refused) {
    RunResult result = run(row.args);
    EXPECT_EQ(result.status, 1) << row.message;
    EXPECT_EQ(result.out, textMode(usageText(row.message))) << row.message;
  }
  EXPECT_FALSE(exists("r.json"));
  EXPECT_FALSE(exists("r.xml"));
  EXPECT_FALSE(exists("r.html"));

  RunResult result = run({"-json", "r.json", "-scan", "a.log"});
  EXPECT_EQ(result.status, 0);
  // The codes in the table's order, as printed.
  EXPECT_EQ(result.out, textMode("Scanning a.log...\nI00020110\t1\nW2\t1\nE1\t2\n"));
  EXPECT_EQ(readJson("r.json"), Json::parse(R"({"version":1,"status":0,"error":null,"mode":"scan",
      "log":"a.log","codes":[{"code":"I00020110","count":1},{"code":"W2","count":1},
      {"code":"E1","count":2}]})"));
  EXPECT_EQ(leftovers(), 0);

  result = run({"-json", "r.json", "-scan", "none.log"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(readJson("r.json"),
            Json::parse(R"({"version":1,"status":1,"error":"Failed to open \"none.log\"",
                "mode":"scan","log":"none.log","codes":[]})"));
  EXPECT_EQ(leftovers(), 0);
}

}  // namespace
