// A fresh run for a unit test, instead of resetting globals one by one.
#ifndef TARNWICK_RULES_FRESH_RUN_TEST_SUPPORT_H
#define TARNWICK_RULES_FRESH_RUN_TEST_SUPPORT_H

#include <cstdio>

#include "record/record_test_support.h"
#include "record/run_record.h"
#include "rules/rule_set.h"
#include "rules/variable_table.h"

/// Empty rules, no variables, the switches at their defaults, zero counters,
/// and the run's messages written to stdout as a run prints them (what the
/// code reports under debug follows debugEnabled as the test sets it).
inline void startFreshRun() {
  ruleSet = RuleSet();
  variables.clear();
  debugEnabled = false;
  purgeEnabled = true;
  runRecord.reset();
  static MessageEcho echo(stdout);
  runRecord.addListener(&echo);
}

#endif
