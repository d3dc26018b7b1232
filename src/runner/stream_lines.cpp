#include "runner/stream_lines.h"

#include "analysis/line_classifier.h"

void StreamLines::feed(const char* data, size_t length) {
  size_t i = 0;
  while (i < length) {
    size_t text = i;
    while (text < length && data[text] != '\r' && data[text] != '\n') ++text;
    if (text > i) {
      line_.append(data + i, text - i);
      afterCr_ = false;
      midLine_ = true;
      i = text;
      continue;
    }
    char c = data[i++];
    midLine_ = false;
    bool secondHalf = c == '\n' && afterCr_;
    afterCr_ = c == '\r';
    if (secondHalf) continue;
    endLine();
    ++lineEnds_;
  }
}

void StreamLines::finish() {
  endLine();
  afterCr_ = false;
}

void StreamLines::endLine() {
  if (line_.empty()) return;
  classifyLine({log_, lineEnds_ + 1, line_.c_str(), line_.size(), true, kind_}, state_);
  line_.clear();
}
