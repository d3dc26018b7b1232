#ifndef TARNWICK_RULES_BUILTIN_RULES_H
#define TARNWICK_RULES_BUILTIN_RULES_H

/// Fills the empty ruleSet with the fixed rules used when no configuration
/// file is given: a server-log rule, one ignore, two success, one failure
/// and one summary rule; no copy or list rules. Main thread, once.
void loadBuiltinRules();

#endif
