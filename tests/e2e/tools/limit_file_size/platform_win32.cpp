#include "platform.h"

// Windows has no per-process limit on the size of a file written.
void runLimited(unsigned long long /*bytes*/, const std::string& /*program*/,
                const std::vector<std::string>& /*args*/) {}
