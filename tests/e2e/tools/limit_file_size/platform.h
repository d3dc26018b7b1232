// What limit_file_size needs from the system, one file per platform.
#ifndef TARNWICK_TESTS_E2E_TOOLS_LIMIT_FILE_SIZE_PLATFORM_H
#define TARNWICK_TESTS_E2E_TOOLS_LIMIT_FILE_SIZE_PLATFORM_H

#include <string>
#include <vector>

/// Replaces this process with program and args under a file-size limit of
/// bytes; returns only where that cannot be done.
void runLimited(unsigned long long bytes, const std::string& program,
                const std::vector<std::string>& args);

#endif
