#include "rules/configuration.h"

#include <tinyxml.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "base/fatal.h"
#include "platform/file_identity.h"
#include "record/run_record.h"
#include "rules/rule_set.h"
#include "rules/variable_table.h"
#include "rules/xml_depth.h"

namespace {

/// printf shows no null pointer portably (the Windows C runtime does not
/// print "(null)"), so a rule without text is named like this.
const char* printable(const char* pattern) { return pattern != nullptr ? pattern : "(null)"; }

/// Appends one rule per element of that name under the root, in document order.
template <typename Rule, typename Make>
void readAll(const TiXmlDocument& document, const char* path,
             std::vector<std::unique_ptr<Rule>>& rules, Make make) {
  const char* name = std::strrchr(path, '/') + 1;
  for (const TiXmlElement* element = findElement(document, path); element != nullptr;
       element = element->NextSiblingElement(name)) {
    rules.push_back(make(*element));
  }
}

std::unique_ptr<RegularExpression> plainRule(const TiXmlElement& element) {
  return std::make_unique<RegularExpression>(element.GetText());
}

/// The first element at path becomes the rule, when there is one.
void readFirst(const TiXmlDocument& document, const char* path,
               std::unique_ptr<RegularExpression>& rule) {
  if (const TiXmlElement* element = findElement(document, path)) rule = plainRule(*element);
}

std::unique_ptr<CopyRegularExpression> copyRule(const TiXmlElement& element) {
  std::optional<std::string> destination = expandVariables(element.Attribute("dst"));
  return std::make_unique<CopyRegularExpression>(element.GetText(),
                                                 destination ? destination->c_str() : nullptr);
}

/// The one ListingFile of path: list rules naming the same file share it
/// (spellings of one name included, as the platform reads names), and it is
/// appended to when any of them asks for that.
ListingFile* sharedListingFile(const std::string& path, bool append, const char* pattern) {
  for (const auto& file : ruleSet.listingFiles) {
    if (!sameFileName(file->path.c_str(), path.c_str())) continue;
    if (file->append != append) {
      runRecord.message("WARNING: List entries for file \"%s\" have different append settings\n",
                        path.c_str());
      file->append = true;
    }
    if (debugEnabled) {
      runRecord.message("Reusing listfile \"%s\" for \"%s\"\n", file->path.c_str(),
                        printable(pattern));
    }
    return file.get();
  }
  auto file = std::make_unique<ListingFile>();
  file->path = path;
  file->append = append;
  if (debugEnabled) {
    runRecord.message("Adding new listfile \"%s\" for \"%s\"\n", path.c_str(), printable(pattern));
  }
  ruleSet.listingFiles.push_back(std::move(file));
  ++ruleSet.listingFileCount;
  return ruleSet.listingFiles.back().get();
}

std::unique_ptr<ListRegularExpression> listRule(const TiXmlElement& element) {
  const char* pattern = element.GetText();
  std::optional<std::string> path = expandVariables(element.Attribute("file"));
  bool append = attributeFlag(element, "append", false);
  bool multi = attributeFlag(element, "multi", true);
  if (!path) {
    exitWithError("ERROR: list '%s' does not specify a listing file\n", printable(pattern));
  }
  ListingFile* file = sharedListingFile(*path, append, pattern);
  return std::make_unique<ListRegularExpression>(pattern, file, multi);
}

/// No configuration needs more than a few levels; the parser's recursion
/// would overflow the stack long before this many.
constexpr int kNestingLimit = 1000;

/// Ends the run, as a parse error, on a file nested too deeply for the
/// parser to read safely. A file that does not read is left to the parser.
void rejectDeepNesting(const char* path) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return;
  std::string text;
  char block[65536];
  for (size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) text.append(block, got);
  std::fclose(file);
  NestingReport report = findDeepNesting(text, kNestingLimit);
  if (report.tooDeep) {
    exitWithError("Error Parsing XML at line %d, col %d: %s", report.row, report.column,
                  "Elements nested too deeply.");
  }
}

}  // namespace

const TiXmlElement* findElement(const TiXmlDocument& document, const char* path) {
  const TiXmlNode* node = &document;
  const TiXmlElement* found = nullptr;
  std::string rest(path);
  size_t start = 0;
  while (start <= rest.size()) {
    size_t end = rest.find('/', start);
    if (end == std::string::npos) end = rest.size();
    if (end > start) {
      found = node->FirstChildElement(rest.substr(start, end - start).c_str());
      if (found == nullptr) return nullptr;
      node = found;
    }
    start = end + 1;
  }
  return found;
}

const char* readBasedir(const TiXmlElement& root) {
  if (const char* attribute = root.Attribute("basedir")) return attribute;
  const TiXmlElement* element = root.FirstChildElement("basedir");
  return element != nullptr ? element->GetText() : nullptr;
}

bool attributeFlag(const TiXmlElement& element, const char* name, bool defaultValue) {
  const char* value = element.Attribute(name);
  if (value == nullptr) return defaultValue;
  switch (value[0]) {
    case 't':
    case 'T':
    case 'y':
    case 'Y':
      return true;
    default:
      return false;
  }
}

void loadConfiguration(const char* path) {
  TiXmlDocument document;
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) {
    // TinyXML sizes its buffer by seeking to the end, which on a folder
    // can yield an absurd size and abort the process. A folder is a file
    // that cannot be opened, as it is on Windows.
    document.LoadFile(static_cast<std::FILE*>(nullptr));
  } else {
    rejectDeepNesting(path);
    document.LoadFile(path);
  }
  if (document.Error()) {
    exitWithError("Error Parsing XML at line %d, col %d: %s", document.ErrorRow(),
                  document.ErrorCol(), document.ErrorDesc());
  }
  if (const TiXmlElement* root = findElement(document, "tarnwick")) {
    if (const char* basedir = readBasedir(*root)) {
      ruleSet.basedir = std::make_unique<std::string>(basedir);
    }
    ruleSet.stripAnsi = attributeFlag(*root, "stripansi", false);
  }
  readFirst(document, "tarnwick/logfile", ruleSet.serverLogRule);
  readAll(document, "tarnwick/ignore", ruleSet.ignoreRules, plainRule);
  readAll(document, "tarnwick/success", ruleSet.successRules, plainRule);
  readAll(document, "tarnwick/failure", ruleSet.failureRules, plainRule);
  readFirst(document, "tarnwick/summary", ruleSet.summaryRule);
  readAll(document, "tarnwick/copy", ruleSet.copyRules, copyRule);
  readAll(document, "tarnwick/list", ruleSet.listRules, listRule);
}
