#ifndef TARNWICK_SCAN_CODE_SCAN_H
#define TARNWICK_SCAN_CODE_SCAN_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

/// Prints "Scanning <path>...", then every message code found at the start
/// of a line of the file with the number of lines beginning with it, in the
/// count table's order, and returns them in that order. Ends the run when
/// the file does not open.
std::vector<std::pair<std::string, int32_t>> scanCodes(const char* path);

#endif
