#include "rulepack_support.h"

#include <fstream>
#include <sstream>

namespace {

// The counters follow the lines: the first line that begins "success:" is
// theirs, since every failure and unmatched line carries its prefix.
size_t countersStart(const std::string& out) {
  size_t at = ("\n" + out).find("\nsuccess:");
  return at == std::string::npos ? out.size() : at;
}

int counter(const std::string& out, const std::string& name) {
  size_t at = ("\n" + out).find("\n" + name + ":", countersStart(out));
  if (at == std::string::npos) return -1;
  return std::stoi(out.substr(at + name.size() + 1));
}

}  // namespace

std::string PackRun::verdict() const {
  if (out.find("ERROR: Nothing was processed\n") != std::string::npos) return "nothing";
  return failure == 0 ? "passed" : "failed";
}

std::string classOf(const PackRun& run) {
  std::vector<std::pair<std::string, int>> counts = {{"ignore", run.ignore},
                                                     {"success", run.success},
                                                     {"failure", run.failure},
                                                     {"summary", run.summary},
                                                     {"unmatched", run.unmatched}};
  std::string found;
  for (const auto& [name, count] : counts) {
    if (count == 1) found += found.empty() ? name : "+" + name;
  }
  return found;
}

std::string packText(const std::string& name) {
  std::ifstream file(std::string(TARNWICK_RULES_DIR) + "/" + name + ".xml", std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

bool globMatches(const std::string& pattern, const std::string& text) {
  size_t p = 0, t = 0, star = std::string::npos, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (p < pattern.size() && pattern[p] == text[t]) {
      ++p;
      ++t;
    } else if (star != std::string::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

PackRun RulePackTest::analyse(const std::string& pack, const std::string& log,
                              const std::vector<std::string>& extra, const std::string& config) {
  std::vector<std::string> args = extra;
  args.push_back("-debug");
  args.push_back("-cfg");
  args.push_back(pack.empty() ? hostPath(config)
                              : std::string(TARNWICK_RULES_DIR) + "/" + pack + ".xml");
  args.push_back("-log");
  args.push_back(log);
  RunResult result = run(args);
  PackRun packRun;
  packRun.status = result.status;
  packRun.out = result.out;
  packRun.success = counter(result.out, "success");
  packRun.failure = counter(result.out, "failure");
  packRun.ignore = counter(result.out, "ignore");
  packRun.summary = counter(result.out, "summary");
  packRun.unmatched = counter(result.out, "unmatched");
  std::istringstream lines(result.out.substr(0, countersStart(result.out)));
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("failure: ", 0) == 0) packRun.failures.push_back(line.substr(9));
  }
  return packRun;
}

void RulePackTest::writePackWithList(const std::string& pack) {
  std::string text = packText(pack);
  std::string live;
  for (size_t at = text.find("<list "); at != std::string::npos; at = text.find("<list ", at)) {
    size_t end = text.find("</list>", at) + 7;
    live += "  " + text.substr(at, end - at) + "\n";
    at = end;
  }
  ASSERT_FALSE(live.empty()) << pack << " has no list example";
  text.insert(text.rfind("</tarnwick>"), live);
  // The copy lives in the test's folder: the packs it includes are those of
  // rules/.
  const std::string include = "<include file=\"";
  for (size_t at = text.find(include); at != std::string::npos; at = text.find(include, at + 1)) {
    text.insert(at + include.size(), std::string(TARNWICK_RULES_DIR) + "/");
  }
  writeFile("with-list.xml", text);
}
