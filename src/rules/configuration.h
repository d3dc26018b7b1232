#ifndef TARNWICK_RULES_CONFIGURATION_H
#define TARNWICK_RULES_CONFIGURATION_H

/// Fills the empty ruleSet from the XML file at path. Ends the run on a file
/// that does not load or parse. Main thread, once, after the command line.
void loadConfiguration(const char* path);

#endif
