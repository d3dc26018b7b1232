// Matcher throughput on log-shaped input: the rule shapes tarnwick runs on
// every line of a build log, the long-line shapes that exercise the
// backtracking stack, and patterns whose plain backtracking walk grows
// exponentially or polynomially with the line (the argument is the line
// length in bytes).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "regexp/compiler.h"
#include "regexp/matcher.h"

namespace {

std::vector<std::string> logLines() {
  const char* const shapes[] = {
      "I00020052: Compiled module core in 0.42 s",
      "W00030017: Option -fast is deprecated, using -O2",
      "E00040012: Cannot resolve symbol 'render_frame' in module ui",
      "   at C:\\build\\src\\ui\\frame.cpp(1234): note: see declaration",
      "I00060040: Reading project file app.prj",
      "copying C:\\build\\bin\\app.dll to C:\\drop\\bin\\app.dll",
  };
  std::vector<std::string> lines;
  for (int i = 0; i < 1000; i++) lines.emplace_back(shapes[i % 6]);
  return lines;
}

void matchLines(benchmark::State& state, const char* pattern) {
  Regexp* regexp = compilePattern(pattern);
  std::vector<std::string> lines = logLines();
  size_t bytes = 0;
  for (const std::string& line : lines) bytes += line.size();
  MatchState match;
  for (auto _ : state) {
    int matched = 0;
    for (const std::string& line : lines) matched += matchPattern(regexp, line.c_str(), match);
    benchmark::DoNotOptimize(matched);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  std::free(regexp);
}

// The same with the line length passed in, as a caller that knows it does.
void matchLinesOfKnownLength(benchmark::State& state, const char* pattern) {
  Regexp* regexp = compilePattern(pattern);
  std::vector<std::string> lines = logLines();
  size_t bytes = 0;
  for (const std::string& line : lines) bytes += line.size();
  MatchState match;
  for (auto _ : state) {
    int matched = 0;
    for (const std::string& line : lines) {
      matched += matchSubject(regexp, line.c_str(), line.size(), match) == MatchOutcome::kMatched;
    }
    benchmark::DoNotOptimize(matched);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  std::free(regexp);
}

void matchLong(benchmark::State& state, const char* pattern, const std::string& subject) {
  Regexp* regexp = compilePattern(pattern);
  MatchState match;
  for (auto _ : state) benchmark::DoNotOptimize(matchPattern(regexp, subject.c_str(), match));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * subject.size()));
  std::free(regexp);
}

std::string alternating(size_t n, const char* tail) {
  std::string s;
  s.reserve(n + 1);
  for (size_t i = 0; i < n; i++) s += (i % 2) ? 'b' : 'a';
  return s + tail;
}

// Words of four letters and a space, as many as fit in length bytes, then
// " !", which the word pattern cannot take, so every split of every word is
// tried before the match fails.
std::string successLine(size_t length) {
  std::string s = "I00020110: ";
  while (s.size() + 5 <= length) s += "abcd ";
  return s + "!";
}

std::string repeated(size_t length, char byte) { return std::string(length, byte); }

std::string letters(size_t length) { return std::string(length, 'a') + "!"; }

void matchGrowing(benchmark::State& state, const char* pattern, std::string (*subjectOf)(size_t)) {
  Regexp* regexp = compilePattern(pattern);
  std::string subject = subjectOf(static_cast<size_t>(state.range(0)));
  MatchState match;
  for (auto _ : state) benchmark::DoNotOptimize(matchPattern(regexp, subject.c_str(), match));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * subject.size()));
  std::free(regexp);
}

std::string xs(size_t length) { return repeated(length, 'x'); }
std::string as(size_t length) { return repeated(length, 'a'); }
// The c is there, so the must-contain hint lets every start be tried.
std::string asThenBc(size_t length) { return repeated(length, 'a') + "bc"; }

BENCHMARK_CAPTURE(matchLines, anchored_code, "^E[0-9]+:");
BENCHMARK_CAPTURE(matchLines, message_code_group, "^([EIW][0-9]+):");
BENCHMARK_CAPTURE(matchLines, first_char, "See server log file (.+) for details");
BENCHMARK_CAPTURE(matchLines, unanchored_set, "[A-Z]:\\\\build\\\\([^ ]+\\.dll)");
BENCHMARK_CAPTURE(matchLines, must_text, ".*render_(.*)'");
BENCHMARK_CAPTURE(matchLines, no_hints, "(error|warning) ");
BENCHMARK_CAPTURE(matchLines, anchored_literal, "^I00060040:");
BENCHMARK_CAPTURE(matchLinesOfKnownLength, anchored_literal, "^I00060040:");
BENCHMARK_CAPTURE(matchLinesOfKnownLength, must_text, ".*render_(.*)'");
BENCHMARK_CAPTURE(matchLinesOfKnownLength, no_hints, "(error|warning) ");

BENCHMARK_CAPTURE(matchLong, loop_1MB, "(a|b)*c", alternating(1000000, "c"));
BENCHMARK_CAPTURE(matchLong, group_plus_1MB, "(ab)+$", alternating(1000000, ""));
BENCHMARK_CAPTURE(matchLong, dot_star_10MB, "x(.*)y", "x" + std::string(10000000, 'q') + "yz");

// Exponential for the plain walk: every way to split the run is tried.
BENCHMARK_CAPTURE(matchGrowing, success_rule_words, "^I00020110: ([a-zA-Z0-9_.]+ ?)*$", successLine)
    ->Arg(24)
    ->Arg(32)
    ->Arg(40)
    ->Arg(1000)
    ->Arg(100000);
BENCHMARK_CAPTURE(matchGrowing, x_plus_x_plus, "(x+x+)+y", xs)
    ->Arg(12)
    ->Arg(16)
    ->Arg(20)
    ->Arg(1000)
    ->Arg(100000);
BENCHMARK_CAPTURE(matchGrowing, nested_plus, "(a+)+b", as)
    ->Arg(12)
    ->Arg(16)
    ->Arg(20)
    ->Arg(1000)
    ->Arg(100000);
BENCHMARK_CAPTURE(matchGrowing, alternative_loop, "(a|aa)*c", asThenBc)
    ->Arg(16)
    ->Arg(24)
    ->Arg(32)
    ->Arg(1000)
    ->Arg(100000);
// Polynomial: two runs over the same bytes, tried at every start.
BENCHMARK_CAPTURE(matchGrowing, two_runs, "[a-z]*a*[0-9]", letters)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000);

}  // namespace

BENCHMARK_MAIN();
