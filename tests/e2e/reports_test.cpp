// Reports for CI end to end: the JSON and JUnit files read back, GitHub
// annotations, the quality gates, logs on standard input, and each way a
// run can end with reports asked for.
#include <tinyxml.h>

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
  };
  for (const Row& row : rows) {
    RunResult result = run(row.args);
    EXPECT_EQ(result.status, 1) << row.message;
    EXPECT_EQ(result.out, textMode(usageText(row.message))) << row.message;
  }
  EXPECT_FALSE(exists("r.out"));
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
  makeFolder("taken.json");  // a folder cannot be replaced by the report
  RunResult result = run({"-json", "taken.json", "-log", "b.log"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, textMode("Processing b.log...\n" + summary(1, 0, 0, 0, 0) +
                                 "ERROR: Unable to write report 'taken.json'\n"));
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

}  // namespace
