// The options of a run: one table that describes each option once (its
// name, its value, its help text and what it does), from which the walk of
// the command line, --help and the checks of the manual page and the bash
// completion all come.
#ifndef TARNWICK_DRIVER_OPTIONS_H
#define TARNWICK_DRIVER_OPTIONS_H

#include <cstddef>

/// What the walk found on the command line. Each option's handler fills its
/// part; names are borrowed from the argument vector.
struct CommandLine {
  bool execRequested = false;
  bool logRequested = false;
  bool scanRequested = false;
  bool sanitizeRequested = false;
  const char* logFileName = nullptr;  // shared by -log and -scan: the last wins
  const char* configFileName = nullptr;
  int commandStart = 0;  // the position of -exec
  // Reports and gates: none of them changes a run that does not ask.
  const char* jsonFile = nullptr;
  const char* junitFile = nullptr;
  const char* htmlFile = nullptr;
  bool github = false;
  bool toolStatusGate = false;
  bool classifyOutput = false;
  long long maxFailures = -1;  // -1: no gate
  long long maxUnmatched = -1;
  /// The first word before -exec that begins with "-" and is no option
  /// (the walk ignores it); null when there is none.
  const char* firstUnknownOption = nullptr;
};

/// What follows an option's name.
enum class OptionValue {
  none,      // a switch
  next,      // the next word, whatever it looks like
  attached,  // the rest of the same word ("-Dname=value"): the name is a prefix
  command,   // every later word: the walk stops
};

/// One option. Rows are tried in table order; an attached row matches any
/// word its name begins with, the others only the whole word.
struct OptionRow {
  const char* name;
  OptionValue value;
  /// The value as --help and the completion show it ("<logfile>"); empty
  /// for a switch.
  const char* valueText;
  /// How the completion completes the value: "file", "file:<ext>" (files
  /// ending so), "command" (a command line) or "" (nothing to offer); a
  /// test holds completion/tarnwick to it.
  const char* completion;
  /// The usage error when the value is missing (next only).
  const char* missing;
  /// One line for --help.
  const char* help;
  /// Acts on the option: value is the next word, the word itself (attached)
  /// or null; position is the option's index in the argument vector. Ends
  /// the run through exitWithUsage for a bad value.
  void (*apply)(CommandLine& options, const char* value, int position);
};

/// The table, in the order the walk tries it; optionCount() rows.
const OptionRow* optionTable();
size_t optionCount();

/// The row that word names, or null.
const OptionRow* findOption(const char* word);

/// True when word is an option of the table (a configuration that refuses
/// unknown options asks this).
bool isOption(const char* word);

/// Walks argv[1..argc) left to right through the table: unknown words are
/// ignored (the first that begins with "-" is noted), an option's value is
/// the next word unchanged, and the walk stops at -exec. Ends the run
/// through exitWithUsage for a missing or bad value, and for two reports
/// naming one file. Main thread.
CommandLine walkOptions(int argc, char** argv);

/// Prints each option of the table with its value and help text, one line
/// each, on stdout (the list --help shows after the usage text).
void printOptionList();

#endif
