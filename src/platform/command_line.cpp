#include "platform/command_line.h"

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> splitCommandLine(const char* commandLine) {
  std::vector<std::string> words;
  const char* p = commandLine;

  // The program name has to be a file name, so it gets no escapes.
  std::string program;
  bool quoted = false;
  for (; *p != '\0' && (quoted || !isBlank(*p)); ++p) {
    if (*p == '"') {
      quoted = !quoted;
    } else {
      program += *p;
    }
  }
  words.push_back(program);

  for (;;) {
    while (isBlank(*p)) ++p;
    if (*p == '\0') break;
    std::string word;
    quoted = false;
    for (;;) {
      size_t backslashes = 0;
      while (*p == '\\') {
        ++backslashes;
        ++p;
      }
      if (*p == '"') {
        word.append(backslashes / 2, '\\');
        if (backslashes % 2 == 1) {
          word += '"';
        } else if (quoted && p[1] == '"') {
          word += '"';
          ++p;
        } else {
          quoted = !quoted;
        }
        ++p;
        continue;
      }
      word.append(backslashes, '\\');
      if (*p == '\0' || (!quoted && isBlank(*p))) break;
      word += *p++;
    }
    words.push_back(word);
  }
  return words;
}
