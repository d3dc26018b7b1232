#include "report/github_annotations.h"

#include <cstring>

namespace {

std::string escape(const std::string& text, bool property) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '%':
        out += "%25";
        break;
      case '\r':
        out += "%0D";
        break;
      case '\n':
        out += "%0A";
        break;
      case ':':
        out += property ? "%3A" : ":";
        break;
      case ',':
        out += property ? "%2C" : ",";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace

std::string GithubAnnotations::escapeData(const std::string& text) { return escape(text, false); }

std::string GithubAnnotations::escapeProperty(const std::string& text) {
  return escape(text, true);
}

void GithubAnnotations::lineClassified(const ClassifiedLine& line) {
  if (line.lineClass != LineClass::failure) return;
  // The console shows a line up to its first NUL; so does its annotation.
  std::string text(line.text, line.shownLength());
  std::string command = "::error";
  // A position is within a file: a line that no file holds gets neither.
  if (line.logKind == LogKind::file) {
    command += " file=" + escapeProperty(line.log) + ",line=" + std::to_string(line.lineNumber);
  }
  command += "::" + escapeData(text) + "\n";
  std::fwrite(command.data(), 1, command.size(), stream_);
}

void GithubAnnotations::runEnded(int status, const char* fatalMessage) {
  if (status == 0) return;
  std::string command =
      "::error::" + escapeData(fatalMessage != nullptr ? fatalMessage : "the run failed") + "\n";
  std::fwrite(command.data(), 1, command.size(), stream_);
}
