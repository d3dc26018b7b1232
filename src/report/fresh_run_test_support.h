// A fresh run for a unit test, instead of resetting globals one by one.
#ifndef TARNWICK_REPORT_FRESH_RUN_TEST_SUPPORT_H
#define TARNWICK_REPORT_FRESH_RUN_TEST_SUPPORT_H

#include <cstdio>

#include "record/run_record.h"
#include "report/console_printer.h"
#include "rules/rule_set.h"
#include "rules/variable_table.h"

/// Empty rules, no variables, the switches at their defaults, zero counters,
/// and the run's messages printed on stdout as a run prints them (debug
/// prefixes follow debugEnabled as the test sets it).
inline void startFreshRun() {
  ruleSet = RuleSet();
  variables.clear();
  debugEnabled = false;
  purgeEnabled = true;
  runRecord.reset();
  static ConsolePrinter printer(stdout, false);
  runRecord.addListener(&printer);
}

#endif
