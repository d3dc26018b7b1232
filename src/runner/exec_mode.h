// Exec mode: runs the watched tool, echoes what it writes, and analyses the
// server logs it names while it runs and its -o/-oa log after it ended.
#ifndef TARNWICK_RUNNER_EXEC_MODE_H
#define TARNWICK_RUNNER_EXEC_MODE_H

#include <cstddef>
#include <string>

/// Runs the tool named by words[0] (wordCount is at least 1) with the other
/// words as its arguments, echoing its output and analysing the logs it
/// names; reports the command and the tool's exit code to the run record;
/// returns 0. Ends the run with "ERROR: Failed to start '<command line>'"
/// and the system's reason when the tool does not start. With classifyToolOutput, the lines the
/// tool writes are also classified, as lines of the logs kStdoutLog and kStderrLog, on their reader
/// threads. A non-zero exit code is reported as ignored unless exitCodeJudged (-toolstatus), whose
/// verdict then reports it. Main thread.
int execMode(int wordCount, char** words, bool classifyToolOutput = false,
             bool exitCodeJudged = false);

/// A new array of wordCount new strings and a NULL entry: copies of words in
/// which each pair of backslashes became one. words stay untouched. The
/// array and its strings are one malloc'd block, the caller's to free.
char** sanitizeArguments(int wordCount, char** words);

/// The tool's command line (a new malloc'd string, the caller's): the words
/// separated by single blanks, each enclosed in double quotes, with a double
/// quote inside written as \" and the backslashes before it and before the
/// closing quote doubled, so that the Microsoft runtime's splitting gives
/// back exactly the words. The program name, which that splitting takes
/// without escapes, goes as written when it holds a double quote.
char* buildCommandLine(int wordCount, char** words);

/// The log analysed once the tool has ended: the word after the last -o or
/// -oa that has one, as -sanitize makes it when sanitize; empty when there
/// is none. Reports nothing.
std::string finalLogPath(int wordCount, char** words, bool sanitize);

/// Echoes a stdout piece on stdout, every byte of it ("stdout: " first under
/// -debug), with a line end, flushed at once; when the server-log rule
/// matches the piece (as text up to its first NUL), analyses the file named
/// by its group 1 there and then, unless it is a listing file of the run,
/// which ends the run. Stdout reader thread (any thread matches with a state
/// of its own).
void onStdoutLine(const char* piece, size_t length);

/// Echoes a stderr piece on stderr, every byte of it ("stderr: " first under
/// -debug), with a line end, flushed at once. Stderr reader thread.
void onStderrLine(const char* piece, size_t length);

#endif
