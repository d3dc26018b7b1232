// The printf dialect that format checks should assume, and formatting into
// a string.
#ifndef TARNWICK_BASE_PRINTF_FORMAT_H
#define TARNWICK_BASE_PRINTF_FORMAT_H

#include <cstdarg>
#include <string>

// MinGW's C++ printf is its own C99 one, not the system's: formats are
// checked against what it names (gnu_printf), so %zu is accepted there too.
#if defined(__MINGW_PRINTF_FORMAT)
#define TARNWICK_PRINTF_FORMAT __MINGW_PRINTF_FORMAT
#else
#define TARNWICK_PRINTF_FORMAT printf
#endif

#if defined(__GNUC__)
#define TARNWICK_FORMAT_CHECK(formatIndex, firstArgument) \
  __attribute__((format(TARNWICK_PRINTF_FORMAT, formatIndex, firstArgument)))
#else
#define TARNWICK_FORMAT_CHECK(formatIndex, firstArgument)
#endif

/// The text printf would print for format and args; args is consumed.
std::string formatText(const char* format, va_list args);

#endif
