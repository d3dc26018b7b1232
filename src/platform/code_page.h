// Whether the words of the command line reached the program as they were
// given.
#ifndef TARNWICK_PLATFORM_CODE_PAGE_H
#define TARNWICK_PLATFORM_CODE_PAGE_H

/// True when every argument arrived as given: always on POSIX. On Windows
/// the narrow arguments are the command line converted to the process code
/// page, UTF-8 where the manifest is honoured (Windows 10 1903 and later); an
/// older system keeps its legacy code page and puts a look-alike or '?' for
/// a character that page lacks ("O" for an omega), which would name another
/// file. False then.
bool argumentsArriveWhole();

#endif
