// libFuzzer target for the configuration loader: the input is the XML file.
// Loading it and compiling its rules must either succeed, with every rule
// that has a pattern compiled, or end in the fatal path (which throws in the
// fuzz build) with one of the loader's messages last on stdout.
//
// The input lies in a folder of its own, beside a few files it may include
// (a leaf, one that includes itself, a chain nine deep). An input whose
// includes could name a file outside that folder is passed over, so the
// loader reads nothing else.
#include <tinyxml.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "base/fatal.h"
#include "fuzz_support.h"
#include "rules/configuration.h"
#include "rules/rule_set.h"
#include "rules/variable_table.h"
#include "rules/xml_depth.h"

namespace {

std::string folder;
std::string configPath;

void writeFile(const std::string& path, const void* data, size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) {
    std::abort();
  }
}

void writeFile(const std::string& name, const std::string& text) {
  writeFile(folder + "/" + name, text.data(), text.size());
}

/// Whether every include element of the written input, wherever it stands,
/// names a file inside the folder: a relative name without '/' (variables
/// expand to names without one, as defined here).
bool includesStayInTheFolder(const uint8_t* data, size_t size) {
  // The loader refuses such a file before it parses it, and so before any
  // include; parsing it here could overflow the stack.
  if (findDeepNesting(std::string(reinterpret_cast<const char*>(data), size), 1000).tooDeep) {
    return true;
  }
  TiXmlDocument document;
  if (!document.LoadFile(configPath.c_str())) return true;
  const TiXmlNode* node = &document;
  while (node != nullptr) {
    if (const TiXmlElement* element = node->ToElement()) {
      const char* file = element->Attribute("file");
      if (std::strcmp(element->Value(), "include") == 0 && file != nullptr &&
          std::strchr(file, '/') != nullptr) {
        return false;
      }
    }
    // Depth first through the whole document.
    if (node->FirstChild() != nullptr) {
      node = node->FirstChild();
      continue;
    }
    while (node != nullptr && node->NextSibling() == nullptr) node = node->Parent();
    if (node != nullptr) node = node->NextSibling();
  }
  return true;
}

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool endsInAFatalMessage(const std::string& printed) {
  return printed.find("Error Parsing XML at line ") != std::string::npos ||
         (printed.find("ERROR: Configuration '") != std::string::npos &&
          printed.find("' includes itself") != std::string::npos && endsWith(printed, "\n")) ||
         (printed.find("ERROR: Includes nested more than 8 deep: '") != std::string::npos &&
          endsWith(printed, "'\n")) ||
         (printed.find("ERROR: include in '") != std::string::npos &&
          endsWith(printed, "' does not specify a file\n")) ||
         (printed.find("ERROR: max") != std::string::npos &&
          endsWith(printed, "' is not a non-negative decimal number\n")) ||
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
  for (const auto* rules : {&ruleSet.ignoreRules, &ruleSet.successRules, &ruleSet.failureRules,
                            &ruleSet.moreSummaryRules}) {
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
  const char* temporary = std::getenv("TMPDIR");
  std::string pattern = std::string(temporary != nullptr ? temporary : "/tmp") + "/cfgfuzz.XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  folder = pattern;
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  });
  configPath = folder + "/input.xml";
  writeFile("leaf.xml",
            "<tarnwick stripansi='yes' maxfailures='0'><success>^ok</success>"
            "<summary>^done</summary><list file='leaf.lst'>^(x)</list></tarnwick>");
  writeFile("loop.xml", "<tarnwick><include file='loop.xml'/></tarnwick>");
  for (int i = 1; i <= 9; ++i) {
    writeFile("d" + std::to_string(i) + ".xml", "<tarnwick><include file='" +
                                                    (i < 9 ? "d" + std::to_string(i + 1) : "leaf") +
                                                    ".xml'/></tarnwick>");
  }
  variables.define("OUT", std::string("D:\\drop"));
  variables.define("EMPTY", std::string());
  variables.define("LEAF", std::string("leaf.xml"));
  debugEnabled = true;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  writeFile(configPath, data, size);
  if (!includesStayInTheFolder(data, size)) return 0;
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
