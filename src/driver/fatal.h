// The run's only ways to end early. Both print on stdout and exit with
// status 1; neither returns.
#ifndef TARNWICK_DRIVER_FATAL_H
#define TARNWICK_DRIVER_FATAL_H

#include <cstdio>

// MinGW's C++ printf is its own C99 one, not the system's: formats are
// checked against what it names (gnu_printf), so %zu is accepted there too.
#if defined(__MINGW_PRINTF_FORMAT)
#define TARNWICK_PRINTF_FORMAT __MINGW_PRINTF_FORMAT
#else
#define TARNWICK_PRINTF_FORMAT printf
#endif

#if defined(TARNWICK_FATAL_THROWS)
/// Thrown by both functions, after their output, instead of ending the
/// process. Only the fuzz build defines TARNWICK_FATAL_THROWS: its targets
/// check that a bad input ends here, and go on with the next input.
struct FatalExit {
  int status;
};
#endif

/// Prints the printf-formatted message on stdout and ends the process with
/// status 1. Safe to call from the stdout reader thread: the whole process ends.
[[noreturn]] void exitWithError(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(TARNWICK_PRINTF_FORMAT, 1, 2)))
#endif
    ;

/// Prints the banner, "ERROR: <message>" when message is not null, and the
/// usage text on stdout, then ends the process with status 1.
[[noreturn]] void exitWithUsage(const char* message);

#endif
