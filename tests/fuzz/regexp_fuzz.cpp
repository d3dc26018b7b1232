// libFuzzer target for the pattern engine: the input is a pattern, a NUL, and
// a subject. Whatever the bytes, compiling must either fail cleanly or give a
// program that matches without overrunning anything, and a match must leave
// coherent capture slots inside the subject.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "regexp/compiler.h"
#include "regexp/matcher.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t split = input.find('\0');
  std::string pattern = input.substr(0, split);
  std::string subject = split == std::string::npos ? "" : input.substr(split + 1);
  // A match takes at most about program size times subject length steps;
  // a short subject keeps the fuzzer looking for faults, not slowness.
  if (subject.size() > 16) subject.resize(16);

  Regexp* regexp = compilePattern(pattern.c_str());
  if (regexp == nullptr) return 0;
  const char* text = subject.c_str();
  const char* end = text + std::char_traits<char>::length(text);
  // Kept from input to input, as a reader keeps its state from line to line.
  static MatchState state;
  if (matchPattern(regexp, text, state) == 1) {
    for (int n = 0; n < kGroupSlots; n++) {
      const char* start = state.groupStart[n];
      const char* stop = state.groupEnd[n];
      if ((start == nullptr) != (stop == nullptr)) std::abort();
      if (start != nullptr && !(text <= start && start <= stop && stop <= end)) std::abort();
      if (n == 0 && start == nullptr) std::abort();
    }
  }
  std::free(regexp);
  return 0;
}
