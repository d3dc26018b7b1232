#ifndef TARNWICK_REGEXP_MATCHER_H
#define TARNWICK_REGEXP_MATCHER_H

#include <cstddef>
#include <cstdint>
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

/// Returns 1 when regexp matches somewhere in subject, 0 when it does not,
/// on an error (reported to errorHook), and when the match ran out of time
/// or memory (see matchSubject). After a 1 the capture slots of regexp
/// point into subject: valid while subject lives and until the next match
/// with the same regexp. Leftmost start wins; at that start, the first path
/// found trying alternatives in pattern order and repeats longest first.
/// Not re-entrant: the backtracking state is process-wide, so one match at a
/// time in the process.
int matchPattern(Regexp* regexp, const char* subject);

/// matchPattern with its outcome told apart.
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
MatchOutcome matchSubject(Regexp* regexp, const char* subject);

/// matchSubject for a caller that knows the subject's length: subject[length]
/// is its terminating NUL, so the matcher needs no strlen. A NUL before
/// length still ends the subject, as for the other entries.
MatchOutcome matchSubject(Regexp* regexp, const char* subject, size_t length);

/// The literal that a subject must begin with when that is the first thing
/// matchSubject checks: the pattern is anchored, opens with a literal and has
/// no must-contain text. Empty otherwise. A caller matching many subjects may
/// compare it first: a subject that does not begin with it is not matched,
/// and the slots are left as clearCaptures leaves them.
std::string_view openingLiteral(const Regexp* regexp);

/// Whether regexp is "^" and its opening literal, nothing more: a subject
/// that begins with openingLiteral matches, and the slots are left as
/// setOpeningLiteralMatch leaves them.
bool isOpeningLiteralOnly(const Regexp* regexp);

/// Sets every capture slot of regexp to null.
void clearCaptures(Regexp* regexp);

/// The slots of such a match of subject: group 0 spans the opening literal
/// (literal, as openingLiteral gave it) at its start. Every other slot is
/// null already: such a program has no group to set one.
inline void setOpeningLiteralMatch(Regexp* regexp, const char* subject, std::string_view literal) {
  regexp->groupStart[0] = subject;
  regexp->groupEnd[0] = subject + literal.size();
}

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

/// The limits every match uses unless setMatchLimits changes them.
MatchLimits defaultMatchLimits();

/// Installs limits for the matches that follow; returns the previous ones.
MatchLimits setMatchLimits(const MatchLimits& limits);

#endif
