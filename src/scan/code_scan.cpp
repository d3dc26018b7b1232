#include "scan/code_scan.h"

#include <cstdio>
#include <string>

#include "analysis/log_reader.h"
#include "base/fatal.h"
#include "rules/rule_set.h"
#include "scan/hash_set.h"

std::vector<std::pair<std::string, int32_t>> scanCodes(const char* path) {
  std::printf("Scanning %s...\n", path);
  RegularExpression codePattern("^([EIW][0-9]+):");
  codePattern.compile();
  MatchState state;
  HashSet counts;
  std::FILE* file = openLogFile(path);
  if (file == nullptr) exitWithError("Failed to open \"%s\"\n", path);
  {
    LogReader reader(file, path);
    while (char* line = reader.readLogLine()) {
      if (!codePattern.matches(line, state)) continue;
      // The code is counted in place: group 1 ends at the colon, which
      // stands in the reader's own buffer and is not needed again.
      char* codeEnd = line + (state.groupEnd[1] - line);
      *codeEnd = '\0';
      counts.add(state.groupStart[1]);
    }
  }
  closeLogFile(file);
  std::vector<std::pair<std::string, int32_t>> codes;
  counts.forEach([&codes](const std::string& key, int32_t count) {
    std::printf("%s\t%d\n", key.c_str(), static_cast<int>(count));
    codes.emplace_back(key, count);
  });
  return codes;
}
