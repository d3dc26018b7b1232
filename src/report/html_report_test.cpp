#include "report/html_report.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "base/scratch_folder_test_support.h"

namespace {

/// One event of a run as the tests write it: a line, or a log's start or end.
struct Event {
  char kind;  // 'S' log started, 'F' log finished, else a line: i s f m u
  const char* log;
  uint64_t number;  // a line's number, or a finished log's line count
  std::string text;
};

LineClass classOf(char kind) {
  switch (kind) {
    case 'i':
      return LineClass::ignore;
    case 's':
      return LineClass::success;
    case 'f':
      return LineClass::failure;
    case 'm':
      return LineClass::summary;
  }
  return LineClass::unmatched;
}

/// Lines first..last of log, of class kind, with the text "line N".
std::vector<Event> lines(const char* log, char kind, uint64_t first, uint64_t last) {
  std::vector<Event> events;
  for (uint64_t n = first; n <= last; ++n)
    events.push_back({kind, log, n, "line " + std::to_string(n)});
  return events;
}

std::vector<Event> operator+(std::vector<Event> a, const std::vector<Event>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class HtmlReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scratch_ = makeScratchFolder("tarnwick-unit-");
    path_ = (scratch_ / "report.html").string();
  }
  void TearDown() override { removeScratchFolder(scratch_); }

  static void feed(HtmlReport* report, const std::vector<Event>& events) {
    for (const Event& event : events) {
      if (event.kind == 'S') {
        report->logStarted(event.log, LogKind::file);
      } else if (event.kind == 'F') {
        report->logFinished(event.log, LogKind::file, event.number);
      } else {
        LineClass lineClass = classOf(event.kind);
        report->lineClassified({lineClass, event.log, event.number, event.text.data(),
                                event.text.size(),
                                lineClass == LineClass::unmatched ? nullptr : "E[0-9]+:"});
      }
    }
  }

  /// The page of a log-mode run made of events that ends with status.
  std::string page(const std::vector<Event>& events, int status = 0,
                   const char* fatalMessage = nullptr) {
    {
      HtmlReport report(path_, "log");
      feed(&report, events);
      report.runEnded(status, fatalMessage);
    }
    std::ifstream file(path_, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
  }

  /// Each finding's lines as "number" (the finding's marked "*") and each
  /// gap of blank lines as "_first" or "_first-last", joined by spaces.
  static std::vector<std::string> contexts(const std::string& html) {
    std::vector<std::string> found;
    const std::regex context(
        "<pre class=\"ctx\" hidden data-n=\"([^\"]*)\" data-c=\"([a-z]*)\" "
        "data-hit=\"([0-9]+)\"");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), context);
         it != std::sregex_iterator(); ++it) {
      std::string numbers = (*it)[1], classes = (*it)[2];
      size_t hit = std::stoul((*it)[3]);
      std::string shown;
      std::istringstream words(numbers);
      std::string number;
      for (size_t i = 0; words >> number; ++i) {
        size_t dash = number.find("\xE2\x80\x93");
        if (dash != std::string::npos) number.replace(dash, 3, "-");
        if (classes[i] == 'g') number = "_" + number;
        if (i == hit) number = "*" + number;
        shown += (shown.empty() ? "" : " ") + number;
      }
      found.push_back(shown);
    }
    return found;
  }

  static size_t occurrences(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
      ++count;
    }
    return count;
  }

  std::filesystem::path scratch_;
  std::string path_;
};

TEST_F(HtmlReportTest, ShowsThreeLinesAroundEachFindingFromOnePass) {
  struct Row {
    const char* name;
    std::vector<Event> events;
    std::vector<std::string> expected;
  };
  const Row rows[] = {
      {"in the middle",
       std::vector<Event>{{'S', "a.log", 0, ""}} + lines("a.log", 'i', 1, 4) +
           lines("a.log", 'f', 5, 5) + lines("a.log", 's', 6, 9) +
           std::vector<Event>{{'F', "a.log", 9, ""}},
       {"2 3 4 *5 6 7 8"}},
      {"at the first and the last line",
       std::vector<Event>{{'S', "a.log", 0, ""}} + lines("a.log", 'u', 1, 1) +
           lines("a.log", 'i', 2, 5) + lines("a.log", 'f', 6, 6) +
           std::vector<Event>{{'F', "a.log", 6, ""}},
       {"*1 2 3 4", "3 4 5 *6"}},
      {"blank lines are the gaps in the numbers",
       std::vector<Event>{{'S', "a.log", 0, ""},
                          {'i', "a.log", 1, "a"},
                          {'i', "a.log", 2, "b"},
                          {'i', "a.log", 4, "c"},
                          {'f', "a.log", 5, "E1: x"},
                          {'i', "a.log", 9, "d"},
                          {'i', "a.log", 10, "e"},
                          {'i', "a.log", 11, "f"},
                          {'i', "a.log", 12, "g"},
                          {'F', "a.log", 12, ""}},
       {"1 2 _3 4 *5 _6-8 9 10 11"}},
      {"findings next to each other each have their own",
       std::vector<Event>{{'S', "a.log", 0, ""}} + lines("a.log", 'i', 1, 2) +
           lines("a.log", 'u', 3, 4) + lines("a.log", 'i', 5, 8) +
           std::vector<Event>{{'F', "a.log", 8, ""}},
       {"1 2 *3 4 5 6", "1 2 3 *4 5 6 7"}},
      {"a run of findings",
       std::vector<Event>{{'S', "a.log", 0, ""}} + lines("a.log", 'f', 1, 5) +
           std::vector<Event>{{'F', "a.log", 5, ""}},
       {"*1 2 3 4", "1 *2 3 4 5", "1 2 *3 4 5", "1 2 3 *4 5", "2 3 4 *5"}},
      {"two logs interleaved keep apart",
       std::vector<Event>{{'i', "<stdout>", 1, "o1"},
                          {'i', "<stderr>", 1, "e1"},
                          {'i', "<stdout>", 2, "o2"},
                          {'f', "<stderr>", 2, "E1: e2"},
                          {'i', "<stdout>", 3, "o3"},
                          {'i', "<stderr>", 3, "e3"},
                          {'f', "<stdout>", 4, "E2: o4"},
                          {'i', "<stdout>", 5, "o5"}},
       {"1 2 3 *4 5", "1 *2 3"}},
      {"a log read again starts afresh",
       std::vector<Event>{{'S', "a.log", 0, ""}} + lines("a.log", 'i', 1, 3) +
           std::vector<Event>{{'F', "a.log", 3, ""}, {'S', "a.log", 0, ""}} +
           lines("a.log", 'f', 1, 1) + std::vector<Event>{{'F', "a.log", 1, ""}},
       {"*1"}},
      {"a run that ends in the middle of a log",
       std::vector<Event>{{'S', "a.log", 0, ""}} + lines("a.log", 'i', 1, 1) +
           lines("a.log", 'f', 2, 2) + lines("a.log", 'i', 3, 3),
       {"1 *2 3"}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(contexts(page(row.events)), row.expected) << row.name;
  }
}

TEST_F(HtmlReportTest, KeepsEveryFailureAndTheFirstUnmatchedLines) {
  const uint64_t cap = HtmlReport::kUnmatchedCap;
  std::string html = page(
      std::vector<Event>{{'S', "big.log", 0, ""}} + lines("big.log", 'u', 1, cap + 3) +
      lines("big.log", 'f', cap + 4, cap + 5) + std::vector<Event>{{'F', "big.log", cap + 5, ""}});
  EXPECT_EQ(occurrences(html, "<tbody class=\"unmatched\">"), cap);
  EXPECT_EQ(occurrences(html, "<tbody class=\"failure\">"), 2u);
  EXPECT_NE(html.find("<p class=\"note\" id=\"omitted\">3 more unmatched lines are left out: the "
                      "page keeps the first 10,000.</p>"),
            std::string::npos);
  EXPECT_NE(html.find("<tspan id=\"count-unmatched\">10,003</tspan>"), std::string::npos);
  EXPECT_NE(html.find("<td class=\"n warn\">10,003</td>"), std::string::npos);
  // The lines left out still stand around the failures after them.
  EXPECT_EQ(contexts(html).back(), "10002 10003 10004 *10005");
}

TEST_F(HtmlReportTest, KeepsTheFirstFailuresAndSaysHowManyItLeftOut) {
  const uint64_t unmatched = HtmlReport::kUnmatchedCap, failures = HtmlReport::kFailureCap;
  const uint64_t last = unmatched + failures;  // the last failure shown
  std::string html = page(
      std::vector<Event>{{'S', "big.log", 0, ""}} + lines("big.log", 'u', 1, unmatched) +
      lines("big.log", 'f', unmatched + 1, last + 2) + lines("big.log", 's', last + 3, last + 4) +
      std::vector<Event>{{'F', "big.log", last + 4, ""}});
  EXPECT_EQ(occurrences(html, "<tbody class=\"failure\">"), failures);
  EXPECT_EQ(occurrences(html, "<tbody class=\"unmatched\">"), unmatched);
  EXPECT_NE(html.find("<p class=\"note\" id=\"omitted-failures\">2 more failures are left out: "
                      "the page keeps the first 10,000; the JSON and JUnit reports hold them "
                      "all.</p>"),
            std::string::npos);
  EXPECT_EQ(html.find("id=\"omitted\""), std::string::npos);
  EXPECT_NE(html.find("<tspan id=\"count-failure\">10,002</tspan>"), std::string::npos);
  EXPECT_NE(html.find("<td class=\"n bad\">10,002</td>"), std::string::npos);
  // Both caps are reached, yet the last failure shown gets its lines after.
  EXPECT_EQ(contexts(html).back(), "19997 19998 19999 *20000 20001 20002 20003");
}

TEST_F(HtmlReportTest, AFileNamedLikeAStreamKeepsItsOwnLines) {
  {
    HtmlReport report(path_, "exec");
    auto line = [&](LineClass lineClass, LogKind kind, uint64_t number, const char* text) {
      report.lineClassified({lineClass, kStdoutLog, number, text, std::strlen(text),
                             lineClass == LineClass::failure ? "^E" : nullptr, true, kind});
    };
    report.logStarted(kStdoutLog, LogKind::toolStdout);
    report.logStarted(kStderrLog, LogKind::toolStderr);
    line(LineClass::unmatched, LogKind::toolStdout, 1, "stream one");
    report.logStarted(kStdoutLog, LogKind::file);
    line(LineClass::success, LogKind::file, 1, "file one");
    line(LineClass::unmatched, LogKind::toolStdout, 2, "stream two");
    line(LineClass::failure, LogKind::file, 2, "E1: file two");
    report.logFinished(kStdoutLog, LogKind::file, 2);
    line(LineClass::failure, LogKind::toolStdout, 3, "E2: stream three");
    report.logFinished(kStdoutLog, LogKind::toolStdout, 3);
    report.logFinished(kStderrLog, LogKind::toolStderr, 0);
    report.runEnded(0, nullptr);
  }
  std::ifstream file(path_, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  std::string html = text.str();
  // The file's finding is done when the file is; the stream's lines never
  // stand around it, nor its lines around the stream's.
  EXPECT_EQ(contexts(html), (std::vector<std::string>{"1 *2", "*1 2 3", "1 *2 3", "1 2 *3"}));
  EXPECT_NE(html.find("<tr><td class=\"path\">&lt;stdout&gt;</td><td class=\"n\">3</td><td "
                      "class=\"n bad\">1</td><td class=\"n warn\">2</td></tr>\n<tr><td "
                      "class=\"path\">&lt;stderr&gt;</td><td class=\"n\">0</td><td "
                      "class=\"n\">0</td><td class=\"n\">0</td></tr>\n<tr><td "
                      "class=\"path\">&lt;stdout&gt;</td><td class=\"n\">2</td><td class=\"n "
                      "bad\">1</td><td class=\"n\">0</td></tr>"),
            std::string::npos)
      << html.substr(html.find("log-table"), 900);
}

TEST_F(HtmlReportTest, CutsLongLinesAndSaysSo) {
  const size_t cap = HtmlReport::kTextCap;
  struct Row {
    const char* name;
    std::string text;
    std::string shown;
    const char* note;
    const char* cut;
  };
  const Row rows[] = {
      {"exactly the cap", std::string(cap, 'x'), std::string(cap, 'x'), nullptr, nullptr},
      {"far past the cap", "E1: " + std::string(200000, 'x'), "E1: " + std::string(cap - 4, 'x'),
       "cut: 4,096 of 200,004 bytes shown", "data-cut=\"0:4096:200004\""},
      {"never half a character", std::string(cap - 1, 'x') + "\xC3\xA9", std::string(cap - 1, 'x'),
       "cut: 4,095 of 4,097 bytes shown", "data-cut=\"0:4095:4097\""},
  };
  for (const Row& row : rows) {
    std::string html = page({{'S', "a.log", 0, ""}, {'f', "a.log", 1, row.text}});
    EXPECT_NE(html.find("<span class=\"txt\">" + row.shown + "</span>"), std::string::npos)
        << row.name;
    if (row.cut != nullptr) {
      EXPECT_EQ(occurrences(html, row.note), 1u) << row.name;
      EXPECT_NE(html.find(row.cut), std::string::npos) << row.name;  // for the context
    } else {
      EXPECT_EQ(html.find("class=\"cut\""), std::string::npos) << row.name;
      EXPECT_EQ(html.find("data-cut=\""), std::string::npos) << row.name;
    }
  }
}

// Log lines themselves are checked end to end; here the other texts.
TEST_F(HtmlReportTest, LogNamesAndMessagesStayText) {
  std::string html = page({{'S', "<b>log</b>", 0, ""}, {'f', "<b>log</b>", 1, "E1: x"}}, 1,
                          "ERROR: <i>it</i> & \"that\"");
  EXPECT_EQ(occurrences(html, "<b>"), 0u);
  EXPECT_EQ(occurrences(html, "<i>"), 0u);
  EXPECT_NE(html.find("<title>Failed \xC2\xB7 &lt;b&gt;log&lt;/b&gt; \xC2\xB7 tarnwick</title>"),
            std::string::npos);
  EXPECT_NE(html.find("<td class=\"log\">&lt;b&gt;log&lt;/b&gt;</td>"), std::string::npos);
  EXPECT_NE(html.find("<td class=\"path\">&lt;b&gt;log&lt;/b&gt;</td>"), std::string::npos);
  EXPECT_NE(html.find("<p class=\"fatal\" id=\"fatal\">ERROR: &lt;i&gt;it&lt;/i&gt; &amp; "
                      "&quot;that&quot;</p>"),
            std::string::npos);
}

TEST_F(HtmlReportTest, PolicyAllowsOnlyItsOwnStyleAndScript) {
  std::string html = page({});
  std::smatch policy;
  ASSERT_TRUE(std::regex_search(
      html, policy,
      std::regex("<meta http-equiv=\"Content-Security-Policy\" content=\"([^\"]*)\">")));
  EXPECT_TRUE(std::regex_match(
      policy[1].str(),
      std::regex("default-src 'none'; style-src 'sha256-[A-Za-z0-9+/]{43}='; script-src "
                 "'sha256-[A-Za-z0-9+/]{43}='; img-src data:; base-uri 'none'; form-action "
                 "'none'")))
      << policy[1];
  EXPECT_EQ(html.find("unsafe"), std::string::npos);
  // Nothing names a place elsewhere but the icon's SVG namespace.
  EXPECT_EQ(occurrences(html, "http:"), occurrences(html, "http://www.w3.org/2000/svg"));
  for (const char* never : {"https:", "src=", "url(", "@import", "@font-face"}) {
    EXPECT_EQ(html.find(never), std::string::npos) << never;
  }
}

TEST_F(HtmlReportTest, ShowsTheVerdictToolCopiesAndListings) {
  {
    HtmlReport report(path_, "exec");
    report.listingFile("out/files.lst");
    report.toolStarted("\"tool\" \"<arg>\"");
    report.logStarted("tool.log", LogKind::file);
    report.lineClassified({LineClass::success, "tool.log", 1, "I2: ok", 6, "I2"});
    report.listingEntryWritten("out/files.lst", "a.dll");
    report.listingEntryWritten("out/files.lst", "b.dll");
    report.copyTried({"a.dll", "drop/a.dll", true, nullptr});
    report.copyTried({"b.dll", "drop/b.dll", false, "File exists"});
    report.logFinished("tool.log", LogKind::file, 1);
    report.toolEnded(true, 3);
    report.runEnded(1, "ERROR: File copy failed");
  }
  std::ifstream file(path_, std::ios::binary);
  std::ostringstream read;
  read << file.rdbuf();
  const std::string html = read.str();
  const char* expected[] = {
      "<title>Failed \xC2\xB7 tool.log \xC2\xB7 tarnwick</title>",
      "<span id=\"verdict-text\">Failed</span><span class=\"status\">exit status 1</span>",
      "<p class=\"fatal\" id=\"fatal\">ERROR: File copy failed</p>",
      "<dd id=\"mode\">exec</dd>",
      "<code id=\"command\">&quot;tool&quot; &quot;&lt;arg&gt;&quot;</code>",
      "<dd id=\"exit-code\" class=\"bad\">3</dd>",
      "<td class=\"path\">tool.log</td><td class=\"n\">1</td><td class=\"n\">0</td>",
      "<tspan id=\"count-copied\">1</tspan>",
      "<tspan id=\"count-copyfail\">1</tspan>",
      "<tr><td class=\"path\">b.dll</td><td class=\"path\">drop/b.dll</td><td>File exists</td>",
      "<td class=\"path\">out/files.lst</td><td class=\"n\">2</td>",
      "<p class=\"empty\">No failure and no unmatched line.</p>",
  };
  for (const char* piece : expected) EXPECT_NE(html.find(piece), std::string::npos) << piece;
  EXPECT_EQ(html.find("a.dll</td>"), std::string::npos) << "a copy that worked is only counted";
  // The spools beside the report are gone.
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(scratch_)) {
    left.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(left, std::vector<std::string>{"report.html"});
}

TEST_F(HtmlReportTest, WithoutCopiesThereIsNoCopySection) {
  std::string html = page({{'S', "a.log", 0, ""}, {'s', "a.log", 1, "ok"}, {'F', "a.log", 1, ""}});
  EXPECT_EQ(html.find("id=\"copies\""), std::string::npos);
  EXPECT_EQ(html.find("id=\"listings\""), std::string::npos);
  EXPECT_NE(html.find("<span id=\"verdict-text\">Passed</span>"), std::string::npos);
  EXPECT_EQ(html.find("id=\"fatal\""), std::string::npos);
}

}  // namespace
