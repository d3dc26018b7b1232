#ifndef TARNWICK_REGEXP_MATCHER_H
#define TARNWICK_REGEXP_MATCHER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "regexp/regexp.h"

/// How one match ended.
enum class MatchOutcome {
  kMatched,
  /// No match, or an error that went to errorHook.
  kNotMatched,
  /// The step budget ran out before the answer was known.
  kOutOfTime,
  /// The backtracking stacks reached their limit or memory ran out.
  kOutOfMemory,
};

/// The limits described at matchSubject; tests lower them to reach each
/// outcome with small subjects.
struct MatchLimits {
  /// Plain steps after which the walk restarts with the memo table, if the
  /// program-size rule has not already called for it (0: from the start).
  uint64_t plainSteps;
  /// Largest memo table, in bits.
  uint64_t memoBits;
  /// Steps a plain walk without a memo table may take, besides 16 per byte.
  uint64_t budgetSteps;
  /// Largest size of the backtracking stacks together, in bytes.
  uint64_t stackBytes;
};

/// The limits every match uses unless MatchState::setLimits changes them.
MatchLimits defaultMatchLimits();

// The walk's own part of a MatchState, defined by the matcher.
struct MatchWalk;

/// The state of one match: the backtracking stacks, the memo bits, the step
/// budget and the capture slots. A compiled Regexp is never written by a
/// match, so any number of threads may match it at once, each with a state
/// of its own. The caller owns the state and never lets two threads use it
/// at once; reused from match to match (a thread keeps one for all its
/// lines), it allocates nothing once its stacks have grown to what the
/// patterns need.
class MatchState {
 public:
  MatchState();
  ~MatchState();
  MatchState(const MatchState&) = delete;
  MatchState& operator=(const MatchState&) = delete;

  /// Where group n began / ended in the subject of the last match with this
  /// state that ended kMatched; null when the group took no part. They point
  /// into that subject: valid while it lives and until the next match.
  const char* groupStart[kGroupSlots];
  const char* groupEnd[kGroupSlots];

  /// How the last match with this state ended (kNotMatched before any).
  MatchOutcome lastOutcome() const { return lastOutcome_; }

  /// Installs limits for the matches with this state that follow; returns
  /// the previous ones.
  MatchLimits setLimits(const MatchLimits& limits);

  /// Sets every capture slot to null.
  void clearCaptures() {
    if (slotsNull_) return;
    clearSlots();
    slotsNull_ = true;
  }

  /// Records what matchSubject answers for a subject that does not begin
  /// with openingLiteral, for a caller that compared it first: kNotMatched,
  /// every slot null.
  void refuse() {
    clearCaptures();
    lastOutcome_ = MatchOutcome::kNotMatched;
  }

  /// Records what matchSubject answers for a subject that begins with the
  /// opening literal of an isOpeningLiteralOnly program: kMatched, group 0
  /// spanning the literal (as openingLiteral gave it) at the subject's start.
  /// Every other slot is null already: such a program has no group to set one.
  void setOpeningLiteralMatch(const char* subject, std::string_view literal) {
    groupStart[0] = subject;
    groupEnd[0] = subject + literal.size();
    slotsNull_ = false;
    lastOutcome_ = MatchOutcome::kMatched;
  }

 private:
  friend struct MatchWalk;
  friend int matchPattern(const Regexp*, const char*, MatchState&);
  friend MatchOutcome matchSubject(const Regexp*, const char*, MatchState&);
  friend MatchOutcome matchSubject(const Regexp*, const char*, size_t, MatchState&);
  MatchOutcome match(const Regexp* regexp, const char* subject, size_t length, bool known);
  void clearSlots();

  // Stacks, memo and counters of the walk, kept from match to match.
  std::unique_ptr<MatchWalk> walk_;
  MatchOutcome lastOutcome_ = MatchOutcome::kNotMatched;
  // Whether every slot is known to be null, so a refusal need not clear
  // them again: most lines of a log are refused by most rules.
  bool slotsNull_ = true;
};

/// Returns 1 when regexp matches somewhere in subject, 0 when it does not,
/// on an error (reported to errorHook), and when the match ran out of time
/// or memory (see matchSubject). After a 1 the capture slots of state point
/// into subject. Leftmost start wins; at that start, the first path found
/// trying alternatives in pattern order and repeats longest first. Any
/// thread, with a state no other thread is using.
int matchPattern(const Regexp* regexp, const char* subject, MatchState& state);

/// matchPattern with its outcome told apart (also kept as
/// state.lastOutcome()).
///
/// The budget. A match first walks the program as a plain backtracking
/// matcher would. When that walk has taken more steps than the program's
/// size times the subject's length calls for (about a node per byte and
/// node), the match starts over remembering every (node, position) pair it
/// has found to fail, one bit each, and never walks such a pair again: it
/// then ends in time proportional to program size times subject length,
/// with the same answer and capture spans. That table may take up to 2^28
/// bits (32 MiB); when it would need more (lines of roughly ten megabytes
/// and up, depending on the pattern), the plain walk goes on instead within
/// a budget of 2^30 steps plus 16 per subject byte, and the outcome is
/// kOutOfTime when that runs out. A step is one node visited or one byte
/// scanned by a repeat. The backtracking stacks may take up to 1 GiB
/// together; beyond that, or when memory cannot be had, the outcome is
/// kOutOfMemory. After any outcome but kMatched the capture slots mean
/// nothing.
MatchOutcome matchSubject(const Regexp* regexp, const char* subject, MatchState& state);

/// matchSubject for a caller that knows the subject's length: subject[length]
/// is its terminating NUL, so the matcher needs no strlen. A NUL before
/// length still ends the subject, as for the other entries.
MatchOutcome matchSubject(const Regexp* regexp, const char* subject, size_t length,
                          MatchState& state);

/// The literal that a subject must begin with when that is the first thing
/// matchSubject checks: the pattern is anchored, opens with a literal and has
/// no must-contain text. Empty otherwise. A caller matching many subjects may
/// compare it first: a subject that does not begin with it is not matched
/// (see MatchState::refuse).
std::string_view openingLiteral(const Regexp* regexp);

/// Whether regexp is "^" and its opening literal, nothing more: a subject
/// that begins with openingLiteral matches (see
/// MatchState::setOpeningLiteralMatch).
bool isOpeningLiteralOnly(const Regexp* regexp);

#endif
