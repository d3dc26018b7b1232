#ifndef TARNWICK_RUNNER_EXEC_MODE_H
#define TARNWICK_RUNNER_EXEC_MODE_H

#include <vector>

/// Runs the tool named by words[0] with the other words as its arguments,
/// echoing its output and analysing the logs it names; returns 0. Ends the
/// run when there is no word or the tool does not start. Main thread.
int execMode(int wordCount, char** words);

/// Copies of words in which each pair of backslashes became one.
std::vector<char*> sanitizeArguments(int wordCount, char** words);

#endif
