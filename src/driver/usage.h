// Command-line errors: the banner, the message and the usage text.
#ifndef TARNWICK_DRIVER_USAGE_H
#define TARNWICK_DRIVER_USAGE_H

/// Prints the banner, "ERROR: <message>" when message is not null, and the
/// usage text on stdout, then ends the run through the fatal path (status 1).
[[noreturn]] void exitWithUsage(const char* message);

#endif
