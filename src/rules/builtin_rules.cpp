#include "rules/builtin_rules.h"

#include "rules/rule_set.h"

void loadBuiltinRules() {
  ruleSet.serverLogRule =
      std::make_unique<RegularExpression>("See server log file (.+) for details");
  ruleSet.ignoreRules.push_back(std::make_unique<RegularExpression>("^I00060040:"));
  ruleSet.successRules.push_back(std::make_unique<RegularExpression>("^I00020110:"));
  ruleSet.successRules.push_back(std::make_unique<RegularExpression>("^I00020052:"));
  ruleSet.failureRules.push_back(std::make_unique<RegularExpression>("^E[0-9]+:"));
  ruleSet.summaryRule = std::make_unique<RegularExpression>("^I00060080:");
}
