#ifndef TARNWICK_REGEXP_COMPILER_H
#define TARNWICK_REGEXP_COMPILER_H

#include "regexp/regexp.h"

/// Compiles pattern (NUL-terminated bytes) into a new Regexp with its hints.
/// Returns null after any error, which first goes to errorHook. The caller
/// owns the result (release with free()). Any thread; compilations at once
/// share nothing.
Regexp* compilePattern(const char* pattern);

#endif
