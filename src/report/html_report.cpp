#include "report/html_report.h"

#include <cstdio>
#include <cstring>

#include "report/html_assets.h"
#include "report/text_sanitizer.h"

namespace {

/// A C string for the page; null as nothing.
std::string escaped(const char* text) {
  return text != nullptr ? htmlText(text, std::strlen(text)) : std::string();
}

/// n with a comma between each group of three digits.
std::string grouped(uint64_t n) {
  std::string digits = std::to_string(n);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

/// "1 failure", "2 failures".
std::string counted(uint64_t n, const char* one, const char* many) {
  return grouped(n) + " " + (n == 1 ? one : many);
}

const char* className(LineClass lineClass) {
  switch (lineClass) {
    case LineClass::ignore:
      return "ignore";
    case LineClass::success:
      return "success";
    case LineClass::failure:
      return "failure";
    case LineClass::summary:
      return "summary";
    case LineClass::unmatched:
      break;
  }
  return "unmatched";
}

/// The letter of a line's class in a finding's context.
char classLetter(LineClass lineClass) {
  switch (lineClass) {
    case LineClass::ignore:
      return 'i';
    case LineClass::success:
      return 's';
    case LineClass::failure:
      return 'f';
    case LineClass::summary:
      return 'm';
    case LineClass::unmatched:
      break;
  }
  return 'u';
}

/// The note after a text that was cut, or nothing.
std::string cutNote(size_t shown, size_t length) {
  if (shown == length) return "";
  return "<span class=\"cut\"> \xE2\x80\xA6 cut: " + grouped(shown) + " of " + grouped(length) +
         " bytes shown</span>";
}

/// count's share of whole, as a percentage for a bar's width.
double share(uint64_t count, uint64_t whole) {
  return whole == 0 ? 0.0 : 100.0 * static_cast<double>(count) / static_cast<double>(whole);
}

std::string percent(double value) {
  char text[32];
  if (value == 0) return "0%";
  if (value < 0.1) return "&lt;0.1%";
  std::snprintf(text, sizeof text, value < 10 ? "%.1f%%" : "%.0f%%", value);
  return text;
}

struct Bar {
  const char* key;
  const char* label;
  uint64_t count;
};

/// Horizontal bars, each with its label, count and share of whole. Widths
/// are percentages, so the chart fits any width with text at its own size.
std::string barChart(const std::vector<Bar>& bars, uint64_t whole, const std::string& title) {
  const int rowHeight = 36;
  std::string svg = "<svg class=\"chart\" width=\"100%\" height=\"" +
                    std::to_string(rowHeight * static_cast<int>(bars.size())) +
                    "\" role=\"img\" aria-label=\"" + title + "\">";
  int y = 0;
  for (const Bar& bar : bars) {
    double width = share(bar.count, whole);
    std::string count = grouped(bar.count);
    svg += "<g class=\"" + std::string(bar.key) + "\" transform=\"translate(0 " +
           std::to_string(y) + ")\"><title>" + bar.label + ": " + count + "</title>";
    svg += "<text x=\"0\" y=\"14\">" + std::string(bar.label) + "</text>";
    svg += "<text class=\"num\" x=\"100%\" y=\"14\" text-anchor=\"end\"><tspan class=\"share\">" +
           percent(width) + "\xC2\xA0\xC2\xB7\xC2\xA0</tspan><tspan id=\"count-" + bar.key + "\">" +
           count + "</tspan></text>";
    svg += "<rect class=\"track\" x=\"0\" y=\"20\" width=\"100%\" height=\"8\" rx=\"4\"/>";
    if (bar.count > 0) {
      char percentText[32];
      std::snprintf(percentText, sizeof percentText, "%.2f%%", width < 0.6 ? 0.6 : width);
      svg += "<rect class=\"bar\" x=\"0\" y=\"20\" width=\"" + std::string(percentText) +
             "\" height=\"8\" rx=\"4\"/>";
    }
    svg += "</g>";
    y += rowHeight;
  }
  return svg + "</svg>";
}

/// The mark beside the verdict: a tick or a cross.
const char kPassedMark[] =
    "<svg width=\"26\" height=\"26\" viewBox=\"0 0 24 24\" aria-hidden=\"true\"><path d=\"M5 "
    "12.5l4.5 4.5L19 7.5\" fill=\"none\" stroke=\"currentColor\" stroke-width=\"3\" "
    "stroke-linecap=\"round\" stroke-linejoin=\"round\"/></svg>";
const char kFailedMark[] =
    "<svg width=\"26\" height=\"26\" viewBox=\"0 0 24 24\" aria-hidden=\"true\"><path d=\"M6 6l12 "
    "12M18 6L6 18\" fill=\"none\" stroke=\"currentColor\" stroke-width=\"3\" "
    "stroke-linecap=\"round\"/></svg>";

/// The page's icon: a dot in the verdict's colour.
std::string icon(bool passed) {
  return std::string(
             "<link rel=\"icon\" href=\"data:image/svg+xml,%3Csvg xmlns='http://www.w3.org/"
             "2000/svg' viewBox='0 0 16 16'%3E%3Ccircle cx='8' cy='8' r='7' fill='%23") +
         (passed ? "2e7d32" : "c62828") + "'/%3E%3C/svg%3E\">";
}

}  // namespace

HtmlReport::HtmlReport(const std::string& path, const char* mode)
    : FileReport(path), findings_(path, "findings"), failedCopies_(path, "copies"), mode_(mode) {
  if (!findings_.open() || !failedCopies_.open() || !file_.open()) {
    findings_.drop();
    failedCopies_.drop();
    failReportAtStart(path);
  }
}

HtmlReport::Context& HtmlReport::contextOf(const char* log, LogKind kind) {
  // Most lines are of the log before: the same name, at the same address.
  if (log == lastContextName_ && lastContext_ < contexts_.size() &&
      contexts_[lastContext_].kind == kind) {
    return contexts_[lastContext_];
  }
  lastContextName_ = log;
  if (lastContext_ < contexts_.size() && contexts_[lastContext_].kind == kind &&
      contexts_[lastContext_].log == log) {
    return contexts_[lastContext_];
  }
  for (size_t i = 0; i < contexts_.size(); ++i) {
    if (contexts_[i].kind == kind && contexts_[i].log == log) {
      lastContext_ = i;
      return contexts_[i];
    }
  }
  contexts_.emplace_back();
  contexts_.back().log = log;
  contexts_.back().kind = kind;
  lastContext_ = contexts_.size() - 1;
  return contexts_.back();
}

void HtmlReport::closeContext(const char* log, LogKind kind) {
  for (size_t i = 0; i < contexts_.size(); ++i) {
    if (contexts_[i].kind != kind || contexts_[i].log != log) continue;
    waiting_ -= contexts_[i].waiting.size();
    lastContextName_ = nullptr;
    for (const Finding& finding : contexts_[i].waiting) writeFinding(contexts_[i].log, finding);
    contexts_.erase(contexts_.begin() + static_cast<std::ptrdiff_t>(i));
    return;
  }
}

HtmlReport::Log* HtmlReport::openLog(const char* path, LogKind kind) {
  if (path == lastLogName_ && lastLog_ < logs_.size() && !logs_[lastLog_].finished &&
      logs_[lastLog_].kind == kind) {
    return &logs_[lastLog_];
  }
  lastLogName_ = path;
  if (lastLog_ < logs_.size() && !logs_[lastLog_].finished && logs_[lastLog_].kind == kind &&
      logs_[lastLog_].path == path) {
    return &logs_[lastLog_];
  }
  for (size_t i = logs_.size(); i > 0; --i) {
    if (!logs_[i - 1].finished && logs_[i - 1].kind == kind && logs_[i - 1].path == path) {
      lastLog_ = i - 1;
      return &logs_[i - 1];
    }
  }
  return nullptr;
}

void HtmlReport::logStarted(const char* path, LogKind kind) {
  // A name's address may be another log's now.
  lastLogName_ = nullptr;
  lastContextName_ = nullptr;
  closeContext(path, kind);
  logs_.emplace_back();
  logs_.back().path = path;
  logs_.back().kind = kind;
}

void HtmlReport::lineClassified(const ClassifiedLine& line) {
  facts_.lineClassified(line.lineClass);
  bool finding = false;
  if (line.lineClass == LineClass::failure) {
    if (failuresShown_ == kFailureCap) {
      ++omittedFailures_;
    } else {
      finding = true;
    }
  } else if (line.lineClass == LineClass::unmatched) {
    if (unmatchedShown_ == kUnmatchedCap) {
      ++omittedUnmatched_;
    } else {
      finding = true;
    }
  }
  if (line.lineClass == LineClass::failure || line.lineClass == LineClass::unmatched) {
    if (Log* log = openLog(line.log, line.logKind)) {
      ++(line.lineClass == LineClass::failure ? log->failures : log->unmatched);
    }
  }
  // With both caps reached and no finding waiting for its lines, a line is
  // only counted: no context will be shown again.
  if (!finding && waiting_ == 0 && failuresShown_ == kFailureCap &&
      unmatchedShown_ == kUnmatchedCap) {
    return;
  }

  Context& context = contextOf(line.log, line.logKind);
  size_t kept = utf8CutLength(line.text, line.length, kTextCap);
  // This line comes after the findings that wait; the oldest may be done.
  if (!context.waiting.empty()) {
    for (Finding& waiting : context.waiting) {
      waiting.after.push_back(
          {line.lineClass, line.lineNumber, std::string(line.text, kept), line.length});
    }
    while (!context.waiting.empty() && context.waiting.front().after.size() == kContextLines) {
      writeFinding(context.log, context.waiting.front());
      context.waiting.pop_front();
      --waiting_;
    }
  }
  if (finding) {
    ++(line.lineClass == LineClass::failure ? failuresShown_ : unmatchedShown_);
    context.waiting.emplace_back();
    ++waiting_;
    Finding& added = context.waiting.back();
    added.line = {line.lineClass, line.lineNumber, std::string(line.text, kept), line.length};
    if (line.lineClass == LineClass::failure && line.rule != nullptr) added.rule = line.rule;
    size_t oldest = context.recentCount < kContextLines ? 0 : context.nextRecent;
    for (size_t i = 0; i < context.recentCount; ++i) {
      added.before.push_back(context.recent[(oldest + i) % kContextLines]);
    }
  }
  // Kept in place: the ring's strings keep their buffers from line to line.
  Line& slot = context.recent[context.nextRecent];
  slot.lineClass = line.lineClass;
  slot.number = line.lineNumber;
  slot.text.assign(line.text, kept);
  slot.length = line.length;
  context.nextRecent = (context.nextRecent + 1) % kContextLines;
  if (context.recentCount < kContextLines) ++context.recentCount;
}

void HtmlReport::logFinished(const char* path, LogKind kind, uint64_t lines) {
  lastLogName_ = nullptr;
  lastContextName_ = nullptr;
  if (Log* log = openLog(path, kind)) {
    log->lines = lines;
    log->finished = true;
  }
  closeContext(path, kind);
}

void HtmlReport::writeFinding(const std::string& log, const Finding& finding) {
  const char* kind = className(finding.line.lineClass);
  const Line& hit = finding.line;
  // The lines around it go as one block of text, with their numbers and
  // classes (a letter each; "g" for a gap of blank lines, which never reach
  // the record) in attributes, and the page's script lays them out line by
  // line when the finding is opened: a page of thousands of findings parses
  // fastest with the fewest elements. The parser drops a line end right
  // after <pre>, so the block starts with one.
  std::string numbers, classes, texts = "\n", cuts;
  size_t hitIndex = 0;
  uint64_t previous = 0;
  auto addLine = [&](const Line& line, bool isHit) {
    if (previous != 0 && line.number > previous + 1) {
      classes += 'g';
      numbers += std::to_string(previous + 1);
      if (line.number > previous + 2) numbers += "\xE2\x80\x93" + std::to_string(line.number - 1);
      numbers += ' ';
      texts += '\n';
    }
    previous = line.number;
    if (isHit) hitIndex = classes.size();
    if (line.text.size() != line.length) {
      cuts += (cuts.empty() ? "" : " ") + std::to_string(classes.size()) + ":" +
              std::to_string(line.text.size()) + ":" + std::to_string(line.length);
    }
    classes += classLetter(line.lineClass);
    numbers += std::to_string(line.number) + ' ';
    // The finding's own line is in the row already.
    if (!isHit) texts += htmlText(line.text);
    texts += '\n';
  };
  for (const Line& line : finding.before) addLine(line, false);
  addLine(hit, true);
  for (const Line& line : finding.after) addLine(line, false);
  numbers.pop_back();
  texts.pop_back();

  std::string row = "<tbody class=\"" + std::string(kind) + "\"><tr><td class=\"c\">" + kind +
                    "</td><td class=\"log\">" + htmlText(log) + "</td><td class=\"n\">" +
                    std::to_string(hit.number) +
                    "</td><td class=\"text\"><button type=\"button\" class=\"open\" "
                    "aria-expanded=\"false\"><span class=\"txt\">" +
                    htmlText(hit.text) + "</span>" + cutNote(hit.text.size(), hit.length) +
                    "</button><pre class=\"ctx\" hidden data-n=\"" + numbers + "\" data-c=\"" +
                    classes + "\" data-hit=\"" + std::to_string(hitIndex) + "\"";
  if (!cuts.empty()) row += " data-cut=\"" + cuts + "\"";
  row += ">" + texts + "</pre>";
  if (!finding.rule.empty()) {
    row += "<p class=\"rule\">Rule <code>" + htmlText(finding.rule) + "</code></p>";
  }
  // No line end between rows: in a table it would be one more node each.
  row += "</td></tr></tbody>";
  findings_.write(row);
}

void HtmlReport::copyTried(const CopyAttempt& copy) {
  anyCopy_ = true;
  facts_.copyTried(copy.ok);
  if (copy.ok) return;
  failedCopies_.write("<tr><td class=\"path\">" + escaped(copy.from) + "</td><td class=\"path\">" +
                      escaped(copy.to) + "</td><td>" + escaped(copy.error) + "</td></tr>\n");
}

void HtmlReport::listingFile(const char* path) { facts_.listingFile(path); }

void HtmlReport::listingEntryWritten(const char* listingPath, const char* /*entry*/) {
  facts_.listingEntryWritten(listingPath);
}

void HtmlReport::toolStarted(const char* commandLine) { facts_.toolStartedWith(commandLine); }

void HtmlReport::toolEnded(bool started, int32_t exitCode) {
  facts_.toolEndedWith(started, exitCode);
}

std::string HtmlReport::head(int status, const char* fatalMessage) const {
  bool passed = status == 0;
  const char* verdict = passed ? "Passed" : "Failed";
  std::string subject = mode_ == "exec" ? "exec" : "no log";
  if (!logs_.empty()) {
    subject = htmlText(logs_.front().path);
    if (logs_.size() > 1) subject += " and " + grouped(logs_.size() - 1) + " more";
  }
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src '" +
      std::string(kPageStyleHash) + "'; script-src '" + kPageScriptHash +
      "'; img-src data:; base-uri 'none'; form-action 'none'\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<meta name=\"generator\" content=\"tarnwick\">\n<title>" +
      verdict + " \xC2\xB7 " + subject + " \xC2\xB7 tarnwick</title>\n" + icon(passed) +
      "\n<style>" + kPageStyle + "</style>\n</head>\n<body>\n";

  page +=
      "<header class=\"top\"><div class=\"brand\">tarnwick <span>report</span></div><nav>"
      "<a href=\"#verdict\">Verdict</a><a href=\"#logs\">Logs</a>";
  if (anyCopy_) page += "<a href=\"#copies\">Copies</a>";
  if (!facts_.listings.empty()) page += "<a href=\"#listings\">Listing files</a>";
  page += "<a href=\"#findings-section\">Findings</a></nav></header>\n<main>\n";

  // The verdict, and what the run was.
  uint64_t lines = static_cast<uint64_t>(facts_.totals.ignoreCount) + facts_.totals.successCount +
                   facts_.totals.failureCount + facts_.totals.summaryCount +
                   facts_.totals.unmatchedCount;
  page += std::string("<section class=\"card verdict ") + (passed ? "passed" : "failed") +
          "\" id=\"verdict\"><div class=\"mark\">" + (passed ? kPassedMark : kFailedMark) +
          "</div><div class=\"verdict-body\"><h1><span id=\"verdict-text\">" + verdict +
          "</span><span class=\"status\">exit status " + std::to_string(status) + "</span></h1>";
  if (!passed) {
    const char* message = fatalMessage != nullptr ? fatalMessage : "the run failed";
    page += "<p class=\"fatal\" id=\"fatal\">" + escaped(message) + "</p>";
  }
  page += "<p class=\"headline\">" + counted(lines, "line", "lines") + " analysed in " +
          counted(logs_.size(), "log", "logs") + " \xC2\xB7 <b class=\"failure\">" +
          counted(static_cast<uint64_t>(facts_.totals.failureCount), "failure", "failures") +
          "</b> \xC2\xB7 <b class=\"unmatched\">" +
          grouped(static_cast<uint64_t>(facts_.totals.unmatchedCount)) + " unmatched</b></p>";
  page += "<dl class=\"facts\"><dt>Mode</dt><dd id=\"mode\">" + mode_ + "</dd>";
  if (mode_ == "exec") {
    page += "<dt>Command</dt><dd><code id=\"command\">" +
            (facts_.toolStarted ? htmlText(facts_.command) : std::string("(not started)")) +
            "</code></dd><dt>Exit code</dt><dd id=\"exit-code\"" +
            std::string(facts_.toolRan && facts_.exitCode == 0 ? "" : " class=\"bad\"") + ">";
    if (facts_.toolRan) {
      page += std::to_string(facts_.exitCode);
    } else {
      page += facts_.toolEnded ? "the tool could not be started" : "none: the tool did not end";
    }
    page += "</dd>";
  }
  page += "</dl></div></section>\n";

  // The counters, and the logs they come from.
  page +=
      "<div class=\"grid\"><section class=\"card\" id=\"counts\"><h2>Lines <span "
      "class=\"count\">" +
      grouped(lines) + "</span></h2>" +
      barChart({{"success", "success", static_cast<uint64_t>(facts_.totals.successCount)},
                {"failure", "failure", static_cast<uint64_t>(facts_.totals.failureCount)},
                {"ignore", "ignore", static_cast<uint64_t>(facts_.totals.ignoreCount)},
                {"summary", "summary", static_cast<uint64_t>(facts_.totals.summaryCount)},
                {"unmatched", "unmatched", static_cast<uint64_t>(facts_.totals.unmatchedCount)}},
               lines, "Lines by class") +
      "</section>\n";
  page += "<section class=\"card\" id=\"logs\"><h2>Logs <span class=\"count\">" +
          grouped(logs_.size()) + "</span></h2>";
  if (logs_.empty()) {
    page += "<p class=\"empty\">No log was analysed.</p>";
  } else {
    page +=
        "<div class=\"wide\"><table id=\"log-table\"><thead><tr><th>Log</th><th "
        "class=\"n\">Lines</th><th class=\"n\">Failures</th><th "
        "class=\"n\">Unmatched</th></tr></thead><tbody>\n";
    for (const Log& log : logs_) {
      page += "<tr><td class=\"path\">" + htmlText(log.path) + "</td><td class=\"n\">" +
              (log.finished ? grouped(log.lines) : std::string("not finished")) +
              "</td><td class=\"n" + (log.failures > 0 ? " bad" : "") + "\">" +
              grouped(log.failures) + "</td><td class=\"n" + (log.unmatched > 0 ? " warn" : "") +
              "\">" + grouped(log.unmatched) + "</td></tr>\n";
    }
    page += "</tbody></table></div>";
  }
  page += "</section></div>\n";
  return page;
}

std::string HtmlReport::findingsHead() const {
  uint64_t shown = failuresShown_ + unmatchedShown_;
  std::string html =
      "<section class=\"card\" id=\"findings-section\"><h2>Findings <span "
      "class=\"count\">" +
      grouped(shown) + "</span></h2>";
  html +=
      "<div class=\"toolbar\" id=\"toolbar\" hidden><div class=\"filters\" role=\"group\" "
      "aria-label=\"Show\"><button type=\"button\" data-filter=\"all\" "
      "aria-pressed=\"true\">All<span class=\"n\">" +
      grouped(shown) +
      "</span></button><button type=\"button\" data-filter=\"failure\" "
      "aria-pressed=\"false\">Failures<span class=\"n\">" +
      grouped(failuresShown_) +
      "</span></button><button type=\"button\" data-filter=\"unmatched\" "
      "aria-pressed=\"false\">Unmatched<span class=\"n\">" +
      grouped(unmatchedShown_) +
      "</span></button></div><input type=\"search\" id=\"search\" placeholder=\"Filter by text "
      "(press /)\" aria-label=\"Filter findings by text\" autocomplete=\"off\" "
      "spellcheck=\"false\"><button type=\"button\" class=\"plain\" id=\"expand\" "
      "aria-pressed=\"false\">Expand all</button><span class=\"shown\" id=\"shown\" "
      "aria-live=\"polite\"></span></div>";
  html +=
      "<noscript><p class=\"note\">Filtering and the lines around each finding need "
      "JavaScript.</p></noscript><table id=\"findings\"><colgroup><col class=\"c\"><col "
      "class=\"l\"><col class=\"n\"><col>"
      "</colgroup><thead><tr><th>Class</th><th>Log</th><th class=\"n\">Line</th><th>Text <span "
      "class=\"hint\">\xC2\xB7 open one for the lines around it</span></th></tr></thead>\n";
  return html;
}

void HtmlReport::writeEnding(int status, const char* fatalMessage) {
  while (!contexts_.empty()) closeContext(contexts_.front().log.c_str(), contexts_.front().kind);
  bool ok = true;
  file_.write(head(status, fatalMessage));
  if (anyCopy_) {
    file_.write(
        "<section class=\"card\" id=\"copies\"><h2>Copies</h2>" +
        barChart({{"copied", "copied", static_cast<uint64_t>(facts_.totals.copiedCount)},
                  {"copyfail", "copy fail", static_cast<uint64_t>(facts_.totals.copyFailCount)}},
                 static_cast<uint64_t>(facts_.totals.copiedCount) + facts_.totals.copyFailCount,
                 "Copies"));
    if (facts_.totals.copyFailCount > 0) {
      file_.write(
          "<h2 class=\"next\">Failed copies</h2><div class=\"wide\"><table "
          "id=\"failed-copies\"><thead><tr>"
          "<th>File</th><th>To</th><th>Why</th></tr></thead><tbody>\n");
      ok = failedCopies_.copyTo(&file_) && ok;
      file_.write("</tbody></table></div>");
    }
    file_.write("</section>\n");
  }
  if (!facts_.listings.empty()) {
    std::string html =
        "<section class=\"card\" id=\"listings\"><h2>Listing files</h2><div "
        "class=\"wide\"><table><thead><tr><th>File</th><th class=\"n\">Entries</th></tr></thead>"
        "<tbody>\n";
    for (const auto& listing : facts_.listings) {
      html += "<tr><td class=\"path\">" + htmlText(listing.first) + "</td><td class=\"n\">" +
              grouped(static_cast<uint64_t>(listing.second)) + "</td></tr>\n";
    }
    file_.write(html + "</tbody></table></div></section>\n");
  }
  file_.write(findingsHead());
  ok = findings_.copyTo(&file_) && ok;
  std::string tail = "</table>";
  if (failuresShown_ + unmatchedShown_ == 0) {
    tail += "<p class=\"empty\">No failure and no unmatched line.</p>";
  }
  if (omittedFailures_ > 0) {
    tail += "<p class=\"note\" id=\"omitted-failures\">" +
            counted(omittedFailures_, "more failure is", "more failures are") +
            " left out: the page keeps the first " + grouped(kFailureCap) +
            "; the JSON and JUnit reports hold them all.</p>";
  }
  if (omittedUnmatched_ > 0) {
    tail += "<p class=\"note\" id=\"omitted\">" +
            counted(omittedUnmatched_, "more unmatched line is", "more unmatched lines are") +
            " left out: the page keeps the first " + grouped(kUnmatchedCap) + ".</p>";
  }
  tail +=
      "</section>\n</main>\n<footer>Written by tarnwick. Everything is in this one file: it "
      "loads nothing from elsewhere.</footer>\n<script>" +
      std::string(kPageScript) + "</script>\n</body>\n</html>\n";
  file_.write(tail);
  if (!ok) spoolFailed_ = true;
}

bool HtmlReport::partsIntact() const { return !spoolFailed_; }

void HtmlReport::dropParts() {
  findings_.drop();
  failedCopies_.drop();
}
