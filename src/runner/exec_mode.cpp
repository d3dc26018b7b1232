#include "runner/exec_mode.h"

#include "driver/fatal.h"

int execMode(int wordCount, char** words) {
  (void)wordCount;
  (void)words;
  exitWithError("ERROR: -exec is not built yet\n");
}

std::vector<char*> sanitizeArguments(int wordCount, char** words) {
  return std::vector<char*>(words, words + wordCount);
}
