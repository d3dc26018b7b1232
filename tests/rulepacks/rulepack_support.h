// Running a rule pack of rules/ over a log in a test's folder, and reading
// the verdict back from what tarnwick prints.
#ifndef TARNWICK_TESTS_RULEPACKS_RULEPACK_SUPPORT_H
#define TARNWICK_TESTS_RULEPACKS_RULEPACK_SUPPORT_H

#include <string>
#include <vector>

#include "e2e_support.h"

/// What one run of tarnwick -debug -cfg <pack> -log <log> said.
struct PackRun {
  int status = -1;
  int success = 0, failure = 0, ignore = 0, summary = 0, unmatched = 0;
  /// The failure lines, in log order, without the "failure: " prefix.
  std::vector<std::string> failures;
  std::string out;
  /// "passed", "failed" or "nothing" (no success and no summary line).
  std::string verdict() const;
};

/// The class a pack gives one line: "ignore", "success", "failure",
/// "summary" or "unmatched".
std::string classOf(const PackRun& run);

/// The text of rules/<name>.xml.
std::string packText(const std::string& name);

/// pattern matches text, where '*' in pattern stands for any run of bytes.
bool globMatches(const std::string& pattern, const std::string& text);

class RulePackTest : public E2ETest {
 protected:
  /// Runs rules/<pack>.xml (or the configuration file config of the test's
  /// folder, when pack is empty) over the log file log of the test's folder.
  PackRun analyse(const std::string& pack, const std::string& log,
                  const std::vector<std::string>& extra = {}, const std::string& config = "");
  /// Writes with-list.xml: rules/<pack>.xml with the list rules of its
  /// commented example made live, listing into $OUT.
  void writePackWithList(const std::string& pack);
};

#endif
