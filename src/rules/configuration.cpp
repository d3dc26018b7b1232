#include "rules/configuration.h"

#include <tinyxml.h>

#include <climits>
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
#include "platform/file_system.h"
#include "record/run_record.h"
#include "rules/rule_set.h"
#include "rules/variable_table.h"
#include "rules/xml_depth.h"

namespace {

/// printf shows no null pointer portably (the Windows C runtime does not
/// print "(null)"), so a rule without text is named like this.
const char* printable(const char* pattern) { return pattern != nullptr ? pattern : "(null)"; }

std::unique_ptr<RegularExpression> plainRule(const TiXmlElement& element) {
  return std::make_unique<RegularExpression>(element.GetText());
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

std::vector<std::string> includedFiles;

/// One file of the configuration: the top one or one that a file includes.
struct ConfigurationFile {
  std::string path;  // as opened: the top one as given, others resolved
  const ConfigurationFile* includedBy = nullptr;
  TiXmlDocument document;
  const TiXmlElement* root = nullptr;  // null: no "tarnwick" root
  /// The file of each "include" child of the root, in document order;
  /// null for one that names a file the configuration holds already.
  std::vector<const ConfigurationFile*> includes;
};

/// Ends the run on a file that does not load or parse. The top file's
/// message is the one it always was; an included file's names it.
[[noreturn]] void failToParse(const ConfigurationFile& file, int row, int column,
                              const char* description) {
  if (file.includedBy == nullptr) {
    exitWithError("Error Parsing XML at line %d, col %d: %s", row, column, description);
  }
  exitWithError("Error Parsing XML at line %d, col %d of '%s', included by '%s': %s\n", row, column,
                file.path.c_str(), file.includedBy->path.c_str(), description);
}

/// Ends the run, as a parse error, on a file nested too deeply for the
/// parser to read safely. A file that does not read is left to the parser.
void rejectDeepNesting(const ConfigurationFile& file) {
  std::FILE* stream = std::fopen(file.path.c_str(), "rb");
  if (stream == nullptr) return;
  std::string text;
  char block[65536];
  for (size_t got; (got = std::fread(block, 1, sizeof block, stream)) > 0;) {
    text.append(block, got);
  }
  std::fclose(stream);
  NestingReport report = findDeepNesting(text, kNestingLimit);
  if (report.tooDeep) failToParse(file, report.row, report.column, "Elements nested too deeply.");
}

/// How deep includes may nest below the top file.
constexpr size_t kIncludeDepthLimit = 8;

/// The value of a gate attribute: a non-negative decimal number
/// (saturating), as on the command line; -1 when absent.
long long gateAttribute(const ConfigurationFile& file, const char* name) {
  const char* text = file.root->Attribute(name);
  if (text == nullptr) return -1;
  long long value = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') value = -1;
    if (value < 0) break;
    value = value > (LLONG_MAX - 9) / 10 ? LLONG_MAX : value * 10 + (*p - '0');
  }
  if (value < 0 || *text == '\0') {
    exitWithError("ERROR: %s=\"%s\" in '%s' is not a non-negative decimal number\n", name, text,
                  file.path.c_str());
  }
  return value;
}

/// "'a'", "'a' and 'b'", "'a', 'b' and 'c'": the files between.
std::string namedInTurn(const std::vector<const ConfigurationFile*>& files) {
  std::string names;
  for (size_t i = 0; i < files.size(); ++i) {
    if (i != 0) names += i + 1 == files.size() ? " and " : ", ";
    names += "'" + files[i]->path + "'";
  }
  return names;
}

/// Every file of a configuration, the top one first, each read once.
class Assembly {
 public:
  /// Reads the file at path and, depth first, every file it includes.
  explicit Assembly(const char* path) {
    ConfigurationFile& top = read(path, nullptr);
    std::vector<const ConfigurationFile*> chain{&top};
    readIncludes(top, chain);
  }

  const ConfigurationFile& top() const { return *files_.front(); }
  bool single() const { return files_.size() == 1; }

 private:
  ConfigurationFile& read(const std::string& path, const ConfigurationFile* includedBy) {
    files_.push_back(std::make_unique<ConfigurationFile>());
    ConfigurationFile& file = *files_.back();
    file.path = path;
    file.includedBy = includedBy;
    std::error_code ignored;
    if (std::filesystem::is_directory(file.path, ignored)) {
      // TinyXML sizes its buffer by seeking to the end, which on a folder
      // can yield an absurd size and abort the process. A folder is a file
      // that cannot be opened, as it is on Windows.
      file.document.LoadFile(static_cast<std::FILE*>(nullptr));
    } else {
      rejectDeepNesting(file);
      file.document.LoadFile(file.path.c_str());
    }
    if (file.document.Error()) {
      failToParse(file, file.document.ErrorRow(), file.document.ErrorCol(),
                  file.document.ErrorDesc());
    }
    file.root = findElement(file.document, "tarnwick");
    if (file.root != nullptr) {
      gateAttribute(file, "maxfailures");
      gateAttribute(file, "maxunmatched");
    }
    return file;
  }

  /// Where an include of file names: relative to file's folder unless rooted.
  static std::string resolve(const ConfigurationFile& file, const std::string& name) {
    if (isRootedPath(name.c_str())) return name;
    size_t folderEnd = file.path.size();
    while (folderEnd > 0 && !isFolderSeparator(file.path[folderEnd - 1])) --folderEnd;
    return file.path.substr(0, folderEnd) + name;
  }

  /// chain: the files from the top one to file, each including the next.
  void readIncludes(ConfigurationFile& file, std::vector<const ConfigurationFile*>& chain) {
    if (file.root == nullptr) return;
    for (const TiXmlElement* element = file.root->FirstChildElement("include"); element != nullptr;
         element = element->NextSiblingElement("include")) {
      std::optional<std::string> name = expandVariables(element->Attribute("file"));
      if (!name) {
        exitWithError("ERROR: include in '%s' does not specify a file\n", file.path.c_str());
      }
      std::string path = resolve(file, *name);
      for (size_t i = 0; i < chain.size(); ++i) {
        if (!sameFile(chain[i]->path.c_str(), path.c_str())) continue;
        std::vector<const ConfigurationFile*> between(chain.begin() + i + 1, chain.end());
        if (between.empty()) {
          exitWithError("ERROR: Configuration '%s' includes itself\n", chain[i]->path.c_str());
        }
        exitWithError("ERROR: Configuration '%s' includes itself through %s\n",
                      chain[i]->path.c_str(), namedInTurn(between).c_str());
      }
      if (chain.size() > kIncludeDepthLimit) {
        exitWithError("ERROR: Includes nested more than %zu deep: '%s' includes '%s'\n",
                      kIncludeDepthLimit, file.path.c_str(), path.c_str());
      }
      const ConfigurationFile* known = nullptr;
      for (const auto& other : files_) {
        if (sameFile(other->path.c_str(), path.c_str())) known = other.get();
      }
      if (known != nullptr) {
        // Read once: its list rules would write each entry twice.
        file.includes.push_back(nullptr);
        continue;
      }
      ConfigurationFile& included = read(path, &file);
      includedFiles.push_back(path);
      file.includes.push_back(&included);
      chain.push_back(&included);
      readIncludes(included, chain);
      chain.pop_back();
    }
  }

  std::vector<std::unique_ptr<ConfigurationFile>> files_;
};

/// Calls visit with each child element of file's root named name, in
/// document order, an included file's at the place of its include.
template <typename Visit>
void eachElement(const ConfigurationFile& file, const char* name, Visit&& visit) {
  if (file.root == nullptr) return;
  size_t include = 0;
  for (const TiXmlElement* element = file.root->FirstChildElement(); element != nullptr;
       element = element->NextSiblingElement()) {
    if (std::strcmp(element->Value(), name) == 0) {
      visit(*element);
    } else if (std::strcmp(element->Value(), "include") == 0) {
      const ConfigurationFile* included = file.includes[include++];
      if (included != nullptr) eachElement(*included, name, visit);
    }
  }
}

/// What find yields for file, or else for the files it includes in document
/// order, each asked the same way: a file's own setting wins.
template <typename Find>
auto nearest(const ConfigurationFile& file, Find find) -> decltype(find(file)) {
  if (file.root == nullptr) return nullptr;
  if (auto found = find(file)) return found;
  for (const ConfigurationFile* included : file.includes) {
    if (included == nullptr) continue;
    if (auto found = nearest(*included, find)) return found;
  }
  return nullptr;
}

/// The root attribute name that the configuration's files set nearest the top.
const ConfigurationFile* nearestWithAttribute(const ConfigurationFile& file, const char* name) {
  if (file.root == nullptr) return nullptr;
  if (file.root->Attribute(name) != nullptr) return &file;
  for (const ConfigurationFile* included : file.includes) {
    if (included == nullptr) continue;
    if (const ConfigurationFile* found = nearestWithAttribute(*included, name)) return found;
  }
  return nullptr;
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

const std::vector<std::string>& includedConfigurationFiles() { return includedFiles; }

void loadConfiguration(const char* path) {
  includedFiles.clear();
  Assembly assembly(path);
  const ConfigurationFile& top = assembly.top();
  // Appends one rule per element of that name, in the assembled order.
  auto readAll = [&top](const char* name, auto& rules, auto make) {
    eachElement(top, name, [&](const TiXmlElement& element) { rules.push_back(make(element)); });
  };
  if (const char* basedir =
          nearest(top, [](const ConfigurationFile& file) { return readBasedir(*file.root); })) {
    ruleSet.basedir = std::make_unique<std::string>(basedir);
  }
  if (const ConfigurationFile* file = nearestWithAttribute(top, "stripansi")) {
    ruleSet.stripAnsi = attributeFlag(*file->root, "stripansi", false);
  }
  if (const ConfigurationFile* file = nearestWithAttribute(top, "strictoptions")) {
    ruleSet.strictOptions = attributeFlag(*file->root, "strictoptions", false);
  }
  if (const ConfigurationFile* file = nearestWithAttribute(top, "maxfailures")) {
    ruleSet.maxFailures = gateAttribute(*file, "maxfailures");
  }
  if (const ConfigurationFile* file = nearestWithAttribute(top, "maxunmatched")) {
    ruleSet.maxUnmatched = gateAttribute(*file, "maxunmatched");
  }
  if (const TiXmlElement* logfile = nearest(top, [](const ConfigurationFile& file) {
        return file.root->FirstChildElement("logfile");
      })) {
    ruleSet.serverLogRule = plainRule(*logfile);
  }
  readAll("ignore", ruleSet.ignoreRules, plainRule);
  readAll("success", ruleSet.successRules, plainRule);
  readAll("failure", ruleSet.failureRules, plainRule);
  if (assembly.single()) {
    if (const TiXmlElement* element = findElement(top.document, "tarnwick/summary")) {
      ruleSet.summaryRule = plainRule(*element);
    }
  } else {
    // Each file's summary rules count: a pack's own are not lost.
    eachElement(top, "summary", [](const TiXmlElement& element) {
      if (!ruleSet.summaryRule) {
        ruleSet.summaryRule = plainRule(element);
      } else {
        ruleSet.moreSummaryRules.push_back(plainRule(element));
      }
    });
  }
  readAll("copy", ruleSet.copyRules, copyRule);
  readAll("list", ruleSet.listRules, listRule);
}
