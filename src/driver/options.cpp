#include "driver/options.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "driver/usage.h"
#include "rules/rule_set.h"
#include "rules/variable_table.h"

namespace {

/// The value of a gate option: a non-negative decimal number (saturating).
long long gateValue(const char* option, const char* text) {
  std::string usage = std::string(option) + " requires a non-negative decimal number";
  if (*text == '\0') exitWithUsage(usage.c_str());
  long long value = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') exitWithUsage(usage.c_str());
    value = value > (LLONG_MAX - 9) / 10 ? LLONG_MAX : value * 10 + (*p - '0');
  }
  return value;
}

/// "-Dname=value": split at the first "=" and defined at once.
void defineVariable(CommandLine&, const char* argument, int) {
  const char* text = argument + 2;
  const char* equals = std::strchr(text, '=');
  if (equals == nullptr) exitWithUsage("Argument must be of the form -Dname=value");
  std::string name(text, equals);
  variables.define(name.c_str(), std::string(equals + 1));
}

// A new option is one row here (and its field in CommandLine, its entry in
// the manual page and the completion, which tests hold to this table).
const OptionRow kOptions[] = {
    {"-exec", OptionValue::command, "<cmd_to_run> [<arg1> ...]", "command", "",
     "run the tool, echo its output, analyse its logs",
     [](CommandLine& o, const char*, int position) {
       o.execRequested = true;
       o.commandStart = position;
     }},
    {"-log", OptionValue::next, "<logfile>", "file", "-log requires a filename",
     "analyse one log file (- is standard input)",
     [](CommandLine& o, const char* value, int) {
       o.logRequested = true;
       o.logFileName = value;
     }},
    {"-scan", OptionValue::next, "<logfile>", "file", "-scan requires a filename",
     "count the message codes that begin its lines",
     [](CommandLine& o, const char* value, int) {
       o.scanRequested = true;
       o.logFileName = value;
     }},
    {"-cfg", OptionValue::next, "<configfile>", "file:xml", "-cfg requires a filename",
     "read the rules from an XML file",
     [](CommandLine& o, const char* value, int) { o.configFileName = value; }},
    {"-D", OptionValue::attached, "name=value", "", "", "define $name for the configuration file",
     defineVariable},
    {"-nopurge", OptionValue::none, "", "", "", "keep the listing files of earlier runs",
     [](CommandLine&, const char*, int) { purgeEnabled = false; }},
    {"-debug", OptionValue::none, "", "", "", "print progress messages and line prefixes",
     [](CommandLine&, const char*, int) { debugEnabled = true; }},
    {"-sanitize", OptionValue::none, "", "", "",
     "halve each pair of backslashes in the tool's words",
     [](CommandLine& o, const char*, int) { o.sanitizeRequested = true; }},
    {"-json", OptionValue::next, "<file>", "file:json", "-json requires a filename",
     "write a JSON report of the run",
     [](CommandLine& o, const char* value, int) { o.jsonFile = value; }},
    {"-junit", OptionValue::next, "<file>", "file:xml", "-junit requires a filename",
     "write a JUnit XML report of the run",
     [](CommandLine& o, const char* value, int) { o.junitFile = value; }},
    {"-html", OptionValue::next, "<file>", "file:html", "-html requires a filename",
     "write the run as one HTML page",
     [](CommandLine& o, const char* value, int) { o.htmlFile = value; }},
    {"-github", OptionValue::none, "", "", "", "print GitHub Actions annotations",
     [](CommandLine& o, const char*, int) { o.github = true; }},
    {"-maxfailures", OptionValue::next, "<n>", "", "-maxfailures requires a number",
     "fail the run beyond n failure lines",
     [](CommandLine& o, const char* value, int) {
       o.maxFailures = gateValue("-maxfailures", value);
     }},
    {"-maxunmatched", OptionValue::next, "<n>", "", "-maxunmatched requires a number",
     "fail the run beyond n unmatched lines",
     [](CommandLine& o, const char* value, int) {
       o.maxUnmatched = gateValue("-maxunmatched", value);
     }},
    {"-toolstatus", OptionValue::none, "", "", "",
     "fail the run when the tool's exit code is not 0",
     [](CommandLine& o, const char*, int) { o.toolStatusGate = true; }},
    {"-classifyoutput", OptionValue::none, "", "", "", "classify the tool's own output lines too",
     [](CommandLine& o, const char*, int) { o.classifyOutput = true; }},
};

/// Two reports written to one file would leave only the last.
void rejectSharedReportFiles(const CommandLine& options) {
  const std::pair<const char*, const char*> reports[] = {
      {"-json", options.jsonFile}, {"-junit", options.junitFile}, {"-html", options.htmlFile}};
  for (size_t a = 0; a < 3; ++a) {
    for (size_t b = a + 1; b < 3; ++b) {
      if (reports[a].second != nullptr && reports[b].second != nullptr &&
          std::strcmp(reports[a].second, reports[b].second) == 0) {
        std::string message =
            std::string(reports[a].first) + " and " + reports[b].first + " name the same file";
        exitWithUsage(message.c_str());
      }
    }
  }
}

}  // namespace

const OptionRow* optionTable() { return kOptions; }
size_t optionCount() { return sizeof kOptions / sizeof kOptions[0]; }

const OptionRow* findOption(const char* word) {
  for (const OptionRow& row : kOptions) {
    bool named = row.value == OptionValue::attached
                     ? std::strncmp(word, row.name, std::strlen(row.name)) == 0
                     : std::strcmp(word, row.name) == 0;
    if (named) return &row;
  }
  return nullptr;
}

bool isOption(const char* word) { return findOption(word) != nullptr; }

CommandLine walkOptions(int argc, char** argv) {
  CommandLine options;
  for (int i = 1; i < argc; ++i) {
    const char* word = argv[i];
    const OptionRow* row = findOption(word);
    if (row == nullptr) {
      // A lone "-" here is no value of an option either: a strict
      // configuration refuses it as well.
      if (word[0] == '-' && options.firstUnknownOption == nullptr) {
        options.firstUnknownOption = word;
      }
      continue;
    }
    switch (row->value) {
      case OptionValue::none:
        row->apply(options, nullptr, i);
        break;
      case OptionValue::attached:
        row->apply(options, word, i);
        break;
      case OptionValue::next:
        if (i + 1 >= argc) exitWithUsage(row->missing);
        ++i;
        row->apply(options, argv[i], i - 1);
        break;
      case OptionValue::command:
        row->apply(options, nullptr, i);
        rejectSharedReportFiles(options);
        return options;
    }
  }
  rejectSharedReportFiles(options);
  return options;
}

namespace {

/// An option as --help shows it: its name and its value.
std::string shownOption(const OptionRow& row) {
  bool apart = row.value != OptionValue::attached && *row.valueText != '\0';
  return std::string(row.name) + (apart ? " " : "") + row.valueText;
}

}  // namespace

void printOptionList() {
  const char* const information[][2] = {{"--help", "print this text (as the only argument)"},
                                        {"--version", "print the version (as the only argument)"}};
  int width = 0;
  for (const OptionRow& row : kOptions) {
    width = std::max(width, static_cast<int>(shownOption(row).size()));
  }
  std::printf("\nOptions, before -exec (every word after it is the tool's):\n");
  for (const OptionRow& row : kOptions) {
    std::printf("  %-*s  %s\n", width, shownOption(row).c_str(), row.help);
  }
  for (const auto& entry : information) std::printf("  %-*s  %s\n", width, entry[0], entry[1]);
}
