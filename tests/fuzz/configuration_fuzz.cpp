// libFuzzer target for the configuration loader: the input is the XML file.
// Loading it and compiling its rules must either succeed, with every rule
// that has a pattern compiled, or end in the fatal path (which throws in the
// fuzz build) with one of the loader's messages last on stdout.
#include <sys/mman.h>
#include <unistd.h>

#include "base/fatal.h"
#include "fuzz_support.h"
#include "rules/configuration.h"
#include "rules/rule_set.h"
#include "rules/variable_table.h"

namespace {

// The file lives in memory: nothing is written to disk.
int configFile = -1;
std::string configPath;

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool endsInAFatalMessage(const std::string& printed) {
  return printed.find("Error Parsing XML at line ") != std::string::npos ||
         (printed.find("ERROR: list '") != std::string::npos &&
          endsWith(printed, "' does not specify a listing file\n")) ||
         (printed.find("Failed to compile regexp \"") != std::string::npos &&
          endsWith(printed, "\"\n"));
}

template <typename Rule>
bool compiledIfItHasAPattern(const Rule& rule) {
  return rule == nullptr || (rule->pattern == nullptr) == (rule->program == nullptr);
}

bool everyRuleCompiled() {
  bool compiled = compiledIfItHasAPattern(ruleSet.serverLogRule) &&
                  compiledIfItHasAPattern(ruleSet.summaryRule);
  for (const auto* rules : {&ruleSet.ignoreRules, &ruleSet.successRules, &ruleSet.failureRules}) {
    for (const auto& rule : *rules) compiled = compiled && compiledIfItHasAPattern(rule);
  }
  for (const auto& rule : ruleSet.copyRules) compiled = compiled && compiledIfItHasAPattern(rule);
  for (const auto& rule : ruleSet.listRules) {
    compiled = compiled && compiledIfItHasAPattern(rule) && rule->listingFile != nullptr;
  }
  return compiled;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  configFile = memfd_create("configuration.xml", 0);
  if (configFile < 0) std::abort();
  configPath = "/proc/self/fd/" + std::to_string(configFile);
  variables.define("OUT", std::string("D:\\drop"));
  variables.define("EMPTY", std::string());
  debugEnabled = true;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (ftruncate(configFile, 0) != 0 ||
      pwrite(configFile, data, size, 0) != static_cast<ssize_t>(size)) {
    std::abort();
  }
  bool fatal = false;
  std::string printed;
  {
    CapturedStdout captured;
    try {
      loadConfiguration(configPath.c_str());
      compileAllRules(true);
    } catch (const FatalEnd&) {
      fatal = true;
    }
    printed = captured.text();
  }
  if (fatal ? !endsInAFatalMessage(printed) : !everyRuleCompiled()) std::abort();
  ruleSet = RuleSet();
  return 0;
}
