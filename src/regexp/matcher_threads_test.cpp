// Matching from several threads at once: the same compiled programs, each
// thread with a state of its own, must give every outcome and every capture
// span that one thread alone gives.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <string>
#include <thread>
#include <vector>

#include "regexp/compiler.h"
#include "regexp/matcher.h"
#include "regexp/regexp_test_support.h"

namespace {

// Rules of the kinds the program uses, patterns that fill the stacks and
// the trail, and ones whose plain walk gives up for the memo.
const char* const kPatterns[] = {
    "See server log file (.+) for details",
    "^([EIW][0-9]+):",
    "^I00060040:",
    "^E[0-9]+:",
    "x*(a|b)*c",
    "(a|b)*(c)",
    "^I00020110: ([a-zA-Z0-9_.]+ ?)*$",
    "(x+x+)+y",
    "((a)|(b))+$",
};

// Lines that match some and not others, of short and of middling length.
std::vector<std::string> subjects() {
  std::vector<std::string> lines = {
      "See server log file srv.log for details",
      "Compiling module 7 of the Server build",
      "E00040012: Cannot resolve symbol 7",
      "I00060040: Compiling a.cpp",
      "W12: note",
      "xxabababc",
      "abba",
      "I00020110: ab1 c.d e_f !",
      "I00020110: ab1 c.d e_f",
      "",
  };
  std::string loop;
  for (int i = 0; i < 3000; ++i) loop += (i % 3 == 0) ? 'b' : 'a';
  lines.push_back(loop);
  lines.push_back(loop + "c");
  lines.push_back(std::string(28, 'x'));
  lines.push_back(std::string(28, 'x') + "y");
  return lines;
}

// One match as offsets into its subject; -1 for a null slot.
struct Outcome {
  MatchOutcome outcome;
  std::ptrdiff_t spans[2 * kGroupSlots];
  bool operator==(const Outcome& other) const {
    if (outcome != other.outcome) return false;
    for (int i = 0; i < 2 * kGroupSlots; ++i) {
      if (spans[i] != other.spans[i]) return false;
    }
    return true;
  }
};

Outcome matchOnce(const Regexp* regexp, const std::string& subject, bool withLength,
                  MatchState& state) {
  const char* text = subject.c_str();
  Outcome result{withLength ? matchSubject(regexp, text, subject.size(), state)
                            : matchSubject(regexp, text, state),
                 {}};
  for (int n = 0; n < kGroupSlots; ++n) {
    const char* start = state.groupStart[n];
    const char* end = state.groupEnd[n];
    bool matched = result.outcome == MatchOutcome::kMatched;
    result.spans[2 * n] = matched && start != nullptr ? start - text : -1;
    result.spans[2 * n + 1] = matched && end != nullptr ? end - text : -1;
  }
  return result;
}

TEST(MatcherThreadsTest, ThreadsMatchingAtOnceAgreeWithOneThreadAlone) {
  std::vector<RegexpPtr> programs;
  for (const char* pattern : kPatterns) {
    programs.emplace_back(compilePattern(pattern));
    ASSERT_NE(programs.back(), nullptr) << pattern;
  }
  const std::vector<std::string> lines = subjects();
  // Every (program, subject, with or without length) in order, one thread.
  std::vector<Outcome> reference;
  {
    MatchState state;
    for (const RegexpPtr& program : programs) {
      for (const std::string& line : lines) {
        for (bool withLength : {false, true}) {
          reference.push_back(matchOnce(program.get(), line, withLength, state));
        }
      }
    }
  }
  int matched = 0;
  for (const Outcome& outcome : reference) matched += outcome.outcome == MatchOutcome::kMatched;
  ASSERT_GT(matched, 10) << "the table must hold matches worth comparing";

  // Each thread walks the same table from its own starting point, so that
  // different programs and subjects are matched at the same moment.
  constexpr int kThreads = 4;
  constexpr int kRounds = 20;
  std::atomic<int> mismatches{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      MatchState state;
      while (!go.load()) std::this_thread::yield();
      size_t total = reference.size();
      for (int round = 0; round < kRounds; ++round) {
        for (size_t k = 0; k < total; ++k) {
          size_t at = (k + static_cast<size_t>(t) * total / kThreads) % total;
          size_t program = at / (2 * lines.size());
          size_t line = at / 2 % lines.size();
          Outcome got = matchOnce(programs[program].get(), lines[line], at % 2 == 1, state);
          if (!(got == reference[at])) ++mismatches;
        }
      }
    });
  }
  go = true;
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
}

// Programs compiled at once on several threads are the programs one thread
// compiles: byte for byte, hints included.
TEST(MatcherThreadsTest, ThreadsCompilingAtOnceMakeTheSamePrograms) {
  std::vector<std::string> wanted;
  for (const char* pattern : kPatterns) {
    RegexpPtr program(compilePattern(pattern));
    ASSERT_NE(program, nullptr) << pattern;
    wanted.emplace_back(reinterpret_cast<const char*>(program->programBytes()),
                        static_cast<size_t>(program->programSize));
    wanted.back() += std::string(1, program->firstChar) + std::string(1, program->anchored);
  }
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int round = 0; round < 200; ++round) {
        for (size_t i = 0; i < wanted.size(); ++i) {
          RegexpPtr program(compilePattern(kPatterns[i]));
          std::string got =
              program == nullptr
                  ? std::string()
                  : std::string(reinterpret_cast<const char*>(program->programBytes()),
                                static_cast<size_t>(program->programSize)) +
                        std::string(1, program->firstChar) + std::string(1, program->anchored);
          if (got != wanted[i]) ++mismatches;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
