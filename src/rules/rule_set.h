// The rules of a run: one process-wide
// RuleSet, filled once at start-up and read-only while lines are analysed,
// with the two switches. The counters live in the run record.
//
// The rule lists are vectors: an empty one means what an absent list means,
// and order of addition is the order in which rules are tried.
#ifndef TARNWICK_RULES_RULE_SET_H
#define TARNWICK_RULES_RULE_SET_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "regexp/matcher.h"
#include "regexp/regexp.h"

/// One rule: its pattern text (null when the configuration gave none) and,
/// after compile(), its program. Owns both.
class RegularExpression {
 public:
  /// Copies pattern; null stays null.
  explicit RegularExpression(const char* pattern);
  virtual ~RegularExpression();
  RegularExpression(const RegularExpression&) = delete;
  RegularExpression& operator=(const RegularExpression&) = delete;

  /// Compiles the pattern; a rule without one stays uncompiled. A pattern
  /// that does not compile ends the run with "Failed to compile regexp".
  void compile();

  /// True when the compiled pattern matches somewhere in line, with state
  /// (the caller's, see MatchState): its slots then hold the captures. A
  /// rule without a program never matches. False too when the match ran out
  /// of its time budget or of memory, which state.lastOutcome() then tells.
  /// Any thread: the rule is only read.
  bool matches(const char* line, MatchState& state) const;
  /// matches for a line whose length is known: line[length] is its
  /// terminating NUL (a NUL before it still ends the line), so no strlen.
  bool matches(const char* line, size_t length, MatchState& state) const {
    // Most lines of a log differ from an anchored rule in its opening
    // literal. Compared a word at a time, as the byte where they differ is
    // hard to foresee. A NUL inside the line differs from every byte of the
    // literal, as the matcher's end of subject would.
    size_t opening = openingLiteral_.size();
    if (opening != 0) {
      if (length < opening) return refuse(state);
      const char* literal = openingLiteral_.data();
      size_t i = 0;
      for (; i + sizeof(uint64_t) <= opening; i += sizeof(uint64_t)) {
        uint64_t lineWord, literalWord;
        std::memcpy(&lineWord, line + i, sizeof lineWord);
        std::memcpy(&literalWord, literal + i, sizeof literalWord);
        if (lineWord != literalWord) return refuse(state);
      }
      for (; i < opening; ++i) {
        if (line[i] != literal[i]) return refuse(state);
      }
    }
    if (openingLiteralOnly_) {
      state.setOpeningLiteralMatch(line, openingLiteral_);
      return true;
    }
    return matchesPastOpeningLiteral(line, length, state);
  }

  /// The byte every line this rule matches begins with, or -1 when the rule
  /// may match a line beginning with any byte (or is not compiled).
  int firstByte() const {
    return openingLiteral_.empty() ? -1 : static_cast<unsigned char>(openingLiteral_[0]);
  }

  char* pattern;
  Regexp* program;

 private:
  /// What the matcher answers for a line without the opening literal.
  static bool refuse(MatchState& state) {
    state.refuse();
    return false;
  }
  bool matchesPastOpeningLiteral(const char* line, size_t length, MatchState& state) const;

  // Most lines of a log fail an anchored rule at its first bytes: compared
  // here, they cost no call into the matcher.
  std::string_view openingLiteral_;
  // The pattern is "^" and that literal: a line that begins with it matches.
  bool openingLiteralOnly_ = false;
};

/// Capture group 1 of the last successful match with state, copied; empty
/// when the group took no part.
std::string capturedName(const MatchState& state);

/// A copy rule: the file named by group 1 goes below destination.
class CopyRegularExpression : public RegularExpression {
 public:
  /// Copies both strings; null stays null.
  CopyRegularExpression(const char* pattern, const char* destination);
  ~CopyRegularExpression() override;

  char* destination;
};

/// One distinct listing file, shared by every list rule naming its path.
struct ListingFile {
  std::string path;
  bool append = false;
  int32_t entriesWritten = 0;
};

/// A list rule: the name in group 1 becomes a line of listingFile.
class ListRegularExpression : public RegularExpression {
 public:
  /// listingFile is shared and not owned.
  ListRegularExpression(const char* pattern, ListingFile* listingFile, bool multi);

  ListingFile* listingFile;
  bool multi;
};

/// The classifying lists, as bits of RuleSet::listsByFirstByte.
enum RuleList : uint8_t {
  kIgnoreList = 1,
  kSuccessList = 2,
  kFailureList = 4,
  kSummaryList = 8,
};
using FirstByteIndex = std::array<uint8_t, 256>;
/// Every list for every byte: nothing is ruled out.
FirstByteIndex everyListForEveryByte();

/// Every rule of the run, by category. Filled once on the main thread by
/// the configuration loader or the built-in rules; read-only afterwards, so
/// that any thread may match its rules (each with a MatchState of its own).
struct RuleSet {
  std::unique_ptr<std::string> basedir;  // null: copy rules never act
  std::unique_ptr<RegularExpression> serverLogRule;
  std::vector<std::unique_ptr<RegularExpression>> ignoreRules;
  std::vector<std::unique_ptr<RegularExpression>> successRules;
  std::vector<std::unique_ptr<RegularExpression>> failureRules;
  std::unique_ptr<RegularExpression> summaryRule;
  /// The summary rules after the first, tried after it. Only a
  /// configuration that includes others has them: a single file's first
  /// summary rule is its only one.
  std::vector<std::unique_ptr<RegularExpression>> moreSummaryRules;
  std::vector<std::unique_ptr<CopyRegularExpression>> copyRules;
  std::vector<std::unique_ptr<ListRegularExpression>> listRules;
  std::vector<std::unique_ptr<ListingFile>> listingFiles;
  int32_t listingFileCount = 0;
  // What the configuration's root asks of the run; the built-in rules ask
  // for nothing.
  /// Lines are matched, and reported, without ANSI control sequences.
  bool stripAnsi = false;
  /// A word before -exec that is no option ends the run.
  bool strictOptions = false;
  /// Default gates, for a command line that sets none; -1: no gate.
  long long maxFailures = -1;
  long long maxUnmatched = -1;
  /// By the first byte of a line, the classifying lists that hold a rule
  /// which may match it; a list without such a rule need not be tried.
  /// Made by compileAllRules; until then every list may match.
  FirstByteIndex listsByFirstByte = everyListForEveryByte();
};

extern RuleSet ruleSet;
/// Set by "-debug": progress lines and line prefixes.
extern bool debugEnabled;
/// Cleared by "-nopurge": stale listing files stay.
extern bool purgeEnabled;

/// Compiles every rule in the run's order: ignore, success, failure,
/// summary (the first, then the others), copy, list, then the server-log rule when
/// withServerLogRule; then indexes the classifying lists by first byte.
void compileAllRules(bool withServerLogRule);

#endif
