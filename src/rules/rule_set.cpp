#include "rules/rule_set.h"

#include <cstdlib>
#include <cstring>

#include "base/fatal.h"
#include "regexp/compiler.h"
#include "regexp/matcher.h"

RuleSet ruleSet;
bool debugEnabled = false;
bool purgeEnabled = true;

namespace {

char* copyOrNull(const char* text) {
  if (text == nullptr) return nullptr;
  size_t size = std::strlen(text) + 1;
  char* copy = static_cast<char*>(std::malloc(size));
  if (copy == nullptr) exitWithError("ERROR: Out of memory\n");
  std::memcpy(copy, text, size);
  return copy;
}

}  // namespace

RegularExpression::RegularExpression(const char* text)
    : pattern(copyOrNull(text)), program(nullptr) {}

RegularExpression::~RegularExpression() {
  std::free(program);
  std::free(pattern);
}

void RegularExpression::compile() {
  if (pattern == nullptr) return;
  program = compilePattern(pattern);
  if (program == nullptr) exitWithError("Failed to compile regexp \"%s\"\n", pattern);
  openingLiteral_ = openingLiteral(program);
  openingLiteralOnly_ = isOpeningLiteralOnly(program);
}

bool RegularExpression::matches(const char* line, MatchState& state) const {
  if (program == nullptr) return refuse(state);
  return matchSubject(program, line, state) == MatchOutcome::kMatched;
}

bool RegularExpression::matchesPastOpeningLiteral(const char* line, size_t length,
                                                  MatchState& state) const {
  if (program == nullptr) return refuse(state);
  return matchSubject(program, line, length, state) == MatchOutcome::kMatched;
}

std::string capturedName(const MatchState& state) {
  const char* start = state.groupStart[1];
  const char* end = state.groupEnd[1];
  if (start == nullptr || end == nullptr || end < start) return std::string();
  return std::string(start, end);
}

CopyRegularExpression::CopyRegularExpression(const char* text, const char* destinationFolder)
    : RegularExpression(text), destination(copyOrNull(destinationFolder)) {}

CopyRegularExpression::~CopyRegularExpression() { std::free(destination); }

ListRegularExpression::ListRegularExpression(const char* text, ListingFile* file, bool multiFlag)
    : RegularExpression(text), listingFile(file), multi(multiFlag) {}

FirstByteIndex everyListForEveryByte() {
  FirstByteIndex index;
  index.fill(kIgnoreList | kSuccessList | kFailureList | kSummaryList);
  return index;
}

namespace {

void indexFirstBytes(const RegularExpression& rule, RuleList list, FirstByteIndex& index) {
  int first = rule.firstByte();
  if (first >= 0) {
    index[static_cast<size_t>(first)] |= list;
    return;
  }
  for (uint8_t& lists : index) lists |= list;
}

}  // namespace

void compileAllRules(bool withServerLogRule) {
  for (auto& rule : ruleSet.ignoreRules) rule->compile();
  for (auto& rule : ruleSet.successRules) rule->compile();
  for (auto& rule : ruleSet.failureRules) rule->compile();
  if (ruleSet.summaryRule) ruleSet.summaryRule->compile();
  for (auto& rule : ruleSet.moreSummaryRules) rule->compile();
  for (auto& rule : ruleSet.copyRules) rule->compile();
  for (auto& rule : ruleSet.listRules) rule->compile();
  if (withServerLogRule && ruleSet.serverLogRule) ruleSet.serverLogRule->compile();

  FirstByteIndex index{};
  for (auto& rule : ruleSet.ignoreRules) indexFirstBytes(*rule, kIgnoreList, index);
  for (auto& rule : ruleSet.successRules) indexFirstBytes(*rule, kSuccessList, index);
  for (auto& rule : ruleSet.failureRules) indexFirstBytes(*rule, kFailureList, index);
  if (ruleSet.summaryRule) indexFirstBytes(*ruleSet.summaryRule, kSummaryList, index);
  for (auto& rule : ruleSet.moreSummaryRules) indexFirstBytes(*rule, kSummaryList, index);
  ruleSet.listsByFirstByte = index;
}
