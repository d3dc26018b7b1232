// libFuzzer target for the tool's command line: the first byte says whether
// -sanitize's rewriting comes first, the rest are words separated by NULs.
// The words become the quoted command line, which the runtime's rules must
// split back into exactly the same words: quotes, backslashes, blanks and
// tabs included. The program name takes no escapes, so it may hold no quote
// and not end in a backslash (no Windows file name does); its quotes become
// other bytes here. The rewriting itself must halve each run of
// backslashes, rounding up, and leave the given words alone. Inputs are
// mostly the bytes that matter: the second byte, when odd, maps each byte
// onto quote, backslash, blank, tab, NUL or a letter.
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "platform/command_line.h"
#include "runner/exec_mode.h"

namespace {

std::vector<std::string> splitAtNul(const std::string& bytes) {
  std::vector<std::string> words;
  size_t start = 0;
  for (size_t end; (end = bytes.find('\0', start)) != std::string::npos; start = end + 1) {
    words.push_back(bytes.substr(start, end - start));
  }
  words.push_back(bytes.substr(start));
  return words;
}

std::string halvedBackslashes(const std::string& word) {
  std::string result;
  for (size_t i = 0; i < word.size();) {
    size_t run = 0;
    while (i + run < word.size() && word[i + run] == '\\') ++run;
    if (run == 0) {
      result += word[i++];
    } else {
      result.append((run + 1) / 2, '\\');
      i += run;
    }
  }
  return result;
}

std::vector<char*> pointers(std::vector<std::string>& words) {
  std::vector<char*> result;
  for (std::string& word : words) result.push_back(&word[0]);
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InputBytes input(data, size);
  bool sanitize = input.take() % 2 == 1;
  bool special = input.take() % 2 == 1;
  std::string bytes = input.rest();
  if (special) {
    static const char kSpecial[] = {'"', '\\', ' ', '\t', '\0', 'a'};
    for (char& c : bytes) c = kSpecial[static_cast<unsigned char>(c) % sizeof kSpecial];
  }
  std::vector<std::string> words = splitAtNul(bytes);
  for (char& c : words[0]) {
    if (c == '"') c = '\'';
  }
  if (!words[0].empty() && words[0].back() == '\\') words[0] += 'x';

  std::vector<std::string> given = words;
  std::vector<char*> argv = pointers(words);
  int count = static_cast<int>(argv.size());
  std::vector<std::string> expected = given;
  char** sanitized = nullptr;
  char** built = argv.data();
  if (sanitize) {
    built = sanitized = sanitizeArguments(count, argv.data());
    for (size_t i = 0; i < given.size(); ++i) {
      expected[i] = halvedBackslashes(given[i]);
      if (sanitized[i] != expected[i] || words[i] != given[i]) std::abort();
    }
    if (sanitized[count] != nullptr) std::abort();
  }
  char* commandLine = buildCommandLine(count, built);
  if (splitCommandLine(commandLine) != expected) std::abort();
  std::free(commandLine);
  std::free(sanitized);
  return 0;
}
