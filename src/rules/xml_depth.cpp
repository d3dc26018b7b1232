// The XML parser descends once per nesting level on the thread's stack, so
// a file nested tens of thousands of levels deep would overflow it. This
// scan counts levels the cheap way first: a start tag opens one unless it
// closes itself, an end tag closes one; everything that cannot hold a tag
// (comments, CDATA, declarations, quoted values) is stepped over.
#include "rules/xml_depth.h"

#include <cstring>

namespace {

class Scanner {
 public:
  explicit Scanner(const std::string& text) : text_(text) {}

  bool atEnd() const { return at_ >= text_.size(); }
  bool startsWith(const char* prefix) const {
    return text_.compare(at_, std::strlen(prefix), prefix) == 0;
  }
  char peek() const { return text_[at_]; }
  void step() {
    char c = text_[at_++];
    if (c == '\n' || (c == '\r' && (atEnd() || text_[at_] != '\n'))) {
      ++row_;
      column_ = 1;
    } else if (c != '\r') {
      ++column_;
    }
  }
  /// Steps past the next occurrence of end; to the end of the text if none.
  void skipPast(const char* end) {
    while (!atEnd() && !startsWith(end)) step();
    for (size_t i = 0; i < std::strlen(end) && !atEnd(); ++i) step();
  }
  /// Steps past the '>' that closes a tag; returns whether "/>" closed it.
  bool skipTag() {
    char previous = '\0';
    while (!atEnd()) {
      char c = peek();
      if (c == '"' || c == '\'') {
        step();
        while (!atEnd() && peek() != c) step();
        if (!atEnd()) step();
        previous = c;
        continue;
      }
      if (c == '>') {
        step();
        return previous == '/';
      }
      previous = c;
      step();
    }
    return false;
  }
  int row() const { return row_; }
  int column() const { return column_; }

 private:
  const std::string& text_;
  size_t at_ = 0;
  int row_ = 1;
  int column_ = 1;
};

}  // namespace

NestingReport findDeepNesting(const std::string& text, int limit) {
  NestingReport report;
  Scanner scan(text);
  int depth = 0;
  while (!scan.atEnd()) {
    if (scan.peek() != '<') {
      scan.step();
    } else if (scan.startsWith("<!--")) {
      scan.skipPast("-->");
    } else if (scan.startsWith("<![CDATA[")) {
      scan.skipPast("]]>");
    } else if (scan.startsWith("<?") || scan.startsWith("<!")) {
      scan.skipPast(">");
    } else if (scan.startsWith("</")) {
      if (depth > 0) --depth;
      scan.skipPast(">");
    } else {
      int row = scan.row(), column = scan.column();
      if (!scan.skipTag() && ++depth > limit) {
        report.tooDeep = true;
        report.row = row;
        report.column = column;
        return report;
      }
    }
  }
  return report;
}
