// -html end to end: its option rules, the folder check, a page written whole
// or not at all, and log text that stays text on the page.
#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

class HtmlReportTest : public E2ETest {
 protected:
  static size_t occurrences(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
      ++count;
    }
    return count;
  }

  /// The names in the test's folder.
  std::vector<std::string> folderNames() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(hostPath("."))) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  /// text as the page shows it.
  static std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
      switch (c) {
        case '&':
          out += "&amp;";
          break;
        case '<':
          out += "&lt;";
          break;
        case '>':
          out += "&gt;";
          break;
        case '"':
          out += "&quot;";
          break;
        case '\'':
          out += "&#39;";
          break;
        default:
          out += c;
      }
    }
    return out;
  }
};

const char kBuildLog[] =
    "I00010001: Starting\n"
    "I00060040: Compiling a.c\n"
    "E00040012: Cannot open b.h\n"
    "I00020110: Build succeeded\n"
    "I00060080: 1 error\n";

TEST_F(HtmlReportTest, OptionErrorsPrintTheUsageAndWriteNothing) {
  struct Row {
    std::vector<std::string> args;
    std::string message;
  };
  const Row rows[] = {
      {{"-log", "build.log", "-html"}, "-html requires a filename"},
      {{"-debug", "-html"}, "-html requires a filename"},
      {{"-html", "r.out", "-json", "r.out", "-log", "build.log"},
       "-json and -html name the same file"},
      {{"-junit", "r.out", "-html", "r.out", "-log", "build.log"},
       "-junit and -html name the same file"},
      {{"-html", "r.out", "-junit", "r.out", "-json", "r.out", "-log", "build.log"},
       "-json and -junit name the same file"},
      {{"-html", "a.out", "-json", "b.out", "-html", "b.out", "-log", "build.log"},
       "-json and -html name the same file"},
  };
  writeFile("build.log", kBuildLog);
  for (const Row& row : rows) {
    RunResult result = run(row.args);
    EXPECT_EQ(result.status, 1) << row.message;
    EXPECT_EQ(result.out, textMode(usageText(row.message))) << row.message;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(folderNames(), std::vector<std::string>{"build.log"}) << row.message;
  }
}

TEST_F(HtmlReportTest, AfterExecItIsTheToolsWord) {
  RunResult result = runExec({}, {"argv", "-html", "r.html"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, textMode("[argv]\n[-html]\n[r.html]\n" + kNoTotals));
  EXPECT_FALSE(exists("r.html"));
}

TEST_F(HtmlReportTest, TheReportsFolderMustExistBeforeAnythingRuns) {
  struct Row {
    std::vector<std::string> args;
    std::string out;
  };
  const Row rows[] = {
      {{"-html", "missing/r.html", "-log", "build.log"},
       "ERROR: Report folder for 'missing/r.html' does not exist\n"},
      {{"-html", "missing/r.html", "-exec", tool(), "out:never"},
       "ERROR: Report folder for 'missing/r.html' does not exist\n"},
      {{"-json", "missing/r.json", "-html", "missing/r.html", "-log", "build.log"},
       "ERROR: Report folder for 'missing/r.json' does not exist\n"},
      {{"-json", "r.json", "-html", "gone/r.html", "-log", "build.log"},
       "ERROR: Report folder for 'gone/r.html' does not exist\n"},
  };
  writeFile("build.log", kBuildLog);
  for (const Row& row : rows) {
    RunResult result = run(row.args);
    EXPECT_EQ(result.status, 1) << row.out;
    EXPECT_EQ(result.out, textMode(row.out));
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(folderNames(), std::vector<std::string>{"build.log"}) << row.out;
  }
}

TEST_F(HtmlReportTest, APageIsWrittenWholeHoweverTheRunEnds) {
  struct Row {
    const char* name;
    std::string log;
    std::vector<std::string> args;
    int status;
    std::vector<std::string> onPage;
  };
  const Row rows[] = {
      {"a run that passes",
       kBuildLog,
       {"-html", "r.html", "-log", "build.log"},
       0,
       {"<span id=\"verdict-text\">Passed</span><span class=\"status\">exit status 0</span>",
        "<tspan id=\"count-success\">1</tspan>", "<tspan id=\"count-failure\">1</tspan>",
        "<tspan id=\"count-ignore\">1</tspan>", "<tspan id=\"count-summary\">1</tspan>",
        "<tspan id=\"count-unmatched\">1</tspan>",
        "<td class=\"path\">build.log</td><td class=\"n\">5</td><td class=\"n bad\">1</td>",
        "<td class=\"n\">3</td><td class=\"text\"><button type=\"button\" class=\"open\" "
        "aria-expanded=\"false\"><span class=\"txt\">E00040012: Cannot open b.h</span>"}},
      {"a run that ends with an error",
       "E1: broken\n",
       {"-html", "r.html", "-log", "build.log"},
       1,
       {"<span id=\"verdict-text\">Failed</span>",
        "<p class=\"fatal\" id=\"fatal\">ERROR: Nothing was processed</p>"}},
      {"a gate",
       kBuildLog,
       {"-maxfailures", "0", "-html", "r.html", "-log", "build.log"},
       1,
       {"<p class=\"fatal\" id=\"fatal\">ERROR: 1 failures, more than the 0 allowed</p>"}},
      {"a log that cannot be opened",
       kBuildLog,
       {"-html", "r.html", "-log", "absent.log"},
       1,
       {"<p class=\"fatal\" id=\"fatal\">Failed to open &quot;absent.log&quot;</p>",
        "<td class=\"path\">absent.log</td><td class=\"n\">not finished</td>"}},
      {"a usage error after the reports are open",
       kBuildLog,
       {"-html", "r.html", "-exec"},
       1,
       {"<p class=\"fatal\" id=\"fatal\">ERROR: -exec requires a command to run</p>"}},
  };
  for (const Row& row : rows) {
    writeFile("build.log", row.log);
    writeFile("r.html", "the page of an earlier run");
    RunResult result = run(row.args);
    EXPECT_EQ(result.status, row.status) << row.name;
    std::string page = readFile("r.html");
    EXPECT_EQ(page.rfind("<!DOCTYPE html>\n", 0), 0u) << row.name;
    EXPECT_EQ(page.substr(page.size() - 16), "</body>\n</html>\n") << row.name;
    for (const std::string& piece : row.onPage) {
      EXPECT_NE(page.find(piece), std::string::npos) << row.name << ": " << piece;
    }
    EXPECT_EQ(folderNames(), (std::vector<std::string>{"build.log", "r.html"})) << row.name;
  }
}

TEST_F(HtmlReportTest, APageThatCannotBeWrittenLeavesNothingBehind) {
  writeFile("build.log", kBuildLog);
  makeFolder("r.html");
  RunResult result = run({"-html", "r.html", "-log", "build.log"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, textMode("ERROR: Report 'r.html' is a folder\n"));
  EXPECT_EQ(folderNames(), (std::vector<std::string>{"build.log", "r.html"}));
  EXPECT_TRUE(std::filesystem::is_directory(hostPath("r.html")));
}

TEST_F(HtmlReportTest, ExecModeShowsTheCommandAndTheToolsExitCode) {
  RunResult result =
      runExec({"-html", "r.html"}, {"logline:I00020110: built", "-o", "out.log", "exit:3"});
  EXPECT_EQ(result.status, 0);
  std::string page = readFile("r.html");
  const std::string command = quoted({"logline:I00020110: built", "-o", "out.log", "exit:3"});
  EXPECT_NE(page.find("<code id=\"command\">" + escaped(command) + "</code>"), std::string::npos)
      << page.substr(0, 4000);
  EXPECT_NE(page.find("<dd id=\"exit-code\" class=\"bad\">3</dd>"), std::string::npos);
  EXPECT_NE(page.find("<dd id=\"mode\">exec</dd>"), std::string::npos);
}

TEST_F(HtmlReportTest, HostileLinesStayText) {
  const std::string hostile[] = {
      "E1: <script>window.pwned = 1</script>",
      "E2: \"><img src=x onerror=\"window.pwned = 2\">",
      "E3: </script><script>window.pwned = 3</script>",
      "E4: <!-- <svg onload=alert(4)>",
      "E5: bad \xFF\xC0 bytes and a \x01 control",
  };
  std::string log;
  for (const std::string& line : hostile) log += line + "\n";
  log += "E6: " + std::string(1 << 20, 'x') + "\nI00020110: done\n";
  writeFile("build.log", log);
  RunResult result = run({"-html", "r.html", "-log", "build.log"});
  EXPECT_EQ(result.status, 0);
  std::string page = readFile("r.html");
  EXPECT_NO_THROW(nlohmann::json(page).dump()) << "the page is not valid UTF-8";
  EXPECT_EQ(occurrences(page, "<script"), 1u);
  EXPECT_EQ(occurrences(page, "</script"), 1u);
  EXPECT_EQ(occurrences(page, "<img"), 0u);
  EXPECT_EQ(occurrences(page, "<!--"), 0u);
  EXPECT_EQ(occurrences(page, "<svg onload"), 0u);
  for (const std::string& line : hostile) {
    if (line.find('\xFF') != std::string::npos) continue;
    EXPECT_NE(page.find("<span class=\"txt\">" + escaped(line) + "</span>"), std::string::npos)
        << line;
  }
  EXPECT_NE(page.find("<span class=\"txt\">E5: bad \xEF\xBF\xBD\xEF\xBF\xBD bytes and a "
                      "\xE2\x90\x81 control</span>"),
            std::string::npos);
  EXPECT_NE(page.find("<span class=\"txt\">E6: " + std::string(4092, 'x') +
                      "</span><span class=\"cut\"> \xE2\x80\xA6 cut: 4,096 of 1,048,580 bytes "
                      "shown</span>"),
            std::string::npos);
  EXPECT_LT(page.size(), size_t{100} << 10);
}

TEST_F(HtmlReportTest, MemoryStaysFlatWhateverTheFindings) {
  SKIP_ON_WINDOWS("Wine offers no limit on a Windows program's memory");
#ifdef TARNWICK_E2E_SANITIZED
  GTEST_SKIP() << "the sanitizers reserve more address space than the limit";
#endif
  // The page of the first 10,000 of 30,000 long failures is larger than the
  // memory the run may use; the rest are counted, not shown.
  std::string log;
  std::string words(400, 'w');
  for (int i = 0; i < 30000; ++i) {
    log += "E1: failure " + std::to_string(i) + " in src/module/file.cpp, " + words + "\n";
  }
  writeFile("build.log", log + "I00020110: done\n");
  const size_t limit = size_t{20} << 20;
  RunResult result = runWithMemoryLimit({"-html", "r.html", "-log", "build.log"}, limit);
  EXPECT_EQ(result.status, 0) << result.out.substr(result.out.size() - 200);
  std::string page = readFile("r.html");
  EXPECT_GT(page.size(), limit);
  EXPECT_EQ(occurrences(page, "<tbody class=\"failure\">"), 10000u);
  EXPECT_NE(page.find("<p class=\"note\" id=\"omitted-failures\">20,000 more failures are left "
                      "out: the page keeps the first 10,000; the JSON and JUnit reports hold them "
                      "all.</p>"),
            std::string::npos);
}

}  // namespace
