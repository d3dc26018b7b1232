// Splitting a Windows command line into its argument vector, so that a
// program started from an argument vector receives the words a program
// started with the same command line on Windows would.
#ifndef TARNWICK_PLATFORM_COMMAND_LINE_H
#define TARNWICK_PLATFORM_COMMAND_LINE_H

#include <string>
#include <vector>

/// The words of commandLine by the Microsoft C runtime's rules. The first
/// word is the program name: it ends at a blank or tab outside double
/// quotes, its quotes are dropped and its backslashes are plain bytes. In
/// the other words, blanks and tabs outside quotes separate; 2n backslashes
/// before a quote give n backslashes and the quote opens or closes quoting;
/// 2n+1 give n backslashes and a literal quote; inside quotes a doubled quote
/// gives one literal quote; other backslashes are plain bytes.
std::vector<std::string> splitCommandLine(const char* commandLine);

#endif
