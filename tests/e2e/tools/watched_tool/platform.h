// What the watched tool needs from the system, one file per platform.
#ifndef TARNWICK_TESTS_E2E_TOOLS_WATCHED_TOOL_PLATFORM_H
#define TARNWICK_TESTS_E2E_TOOLS_WATCHED_TOOL_PLATFORM_H

#include <functional>
#include <string>
#include <vector>

/// Puts stdin, stdout and stderr in binary mode, so that bytes pass as they are.
void useBinaryStreams();

/// The path of this program, for starting it again.
std::string ownPath(const char* argv0);

/// Starts program with args; its stdin, stdout and stderr are this program's,
/// except that stdout and stderr both go to outputFile (made anew) when it is
/// not empty. With wait, returns its exit status; without, returns 0 once it
/// runs. Returns -1 when it does not start.
int startProgram(const std::string& program, const std::vector<std::string>& args,
                 const std::string& outputFile, bool wait);

/// Starts program with args on its own and does not wait: its stdin, stdout
/// and stderr are the null device, this program's own standard streams are
/// kept from it, and every other inheritable handle goes with it. Returns 0
/// once it runs, -1 when it does not start.
int startDetached(const std::string& program, const std::vector<std::string>& args);

/// Starts count copies of program with args at once, the stdout and stderr
/// of copy i (from 1) both into outputPrefix + "." + i (made anew), and
/// returns their exit statuses in order once all have ended (-1 for a copy
/// that did not start).
std::vector<int> runTogether(int count, const std::string& program,
                             const std::vector<std::string>& args, const std::string& outputPrefix);

/// Makes a named pipe at path (a FIFO on POSIX, "\\.\pipe\..." on Windows),
/// calls announce, waits until a reader opens it, writes content and closes
/// it. False when nobody opened it within timeoutMs.
bool serveOnce(const std::string& path, const std::string& content,
               const std::function<void()>& announce, int timeoutMs);

/// Sends signal to the process that started this one; false where the
/// system has no such signals.
bool signalParent(int signal);

#endif
