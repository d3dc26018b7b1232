// Running the watched tool as a child process with its three standard
// streams on pipes, reading its stdout and stderr on two threads of their own.
#ifndef TARNWICK_PLATFORM_PROCESS_H
#define TARNWICK_PLATFORM_PROCESS_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "base/printf_format.h"

/// Reads at most room bytes of one of the tool's output pipes into into.
/// Returns the count read, 0 at the end of the stream, or a negative value
/// when the read failed.
using PipeRead = std::function<std::ptrdiff_t(char* into, size_t room)>;

/// Consumes one output stream of the tool on that stream's reader thread:
/// pulls its bytes with read until read returns 0 or less, then returns.
using StreamConsumer = void (*)(const PipeRead& read);

/// A failure inside Execute, handed up instead of printed: what failed (a
/// message such as "Execute - Couldn't create process, <command line>") and
/// the system's error code and text for it.
struct ExecuteError {
  std::string message;
  int32_t code = 0;    // 0 when the system gave none
  std::string reason;  // the system's text for code, without a line end; may be empty
};

/// Hears each failure inside Execute as it happens, on the main thread. The
/// failure that makes Execute return non-zero is the last one it hears.
using ExecuteErrorSink = void (*)(const ExecuteError& error);

/// Runs commandLine (the whole command, its first word naming the program;
/// the caller keeps it) with stdin at end of input and stdout and stderr read
/// to their end by two threads running onStdout and onStderr. Returns once the
/// child has ended and every holder of its output pipes (descendants too)
/// has closed them. exitCode gets the child's exit status (on POSIX 128 + N
/// for a child killed by signal N).
/// Returns 0 when the child ran, -1 when a pipe could not be made, or the
/// system error code when the child did not start. Prints nothing: every
/// failure goes to onError. Main thread only; not re-entrant.
int32_t Execute(char* commandLine, uint32_t* exitCode, StreamConsumer onStdout,
                StreamConsumer onStderr, ExecuteErrorSink onError);

/// The failure that message (printf-formatted) names, with code and the
/// system's text for it. For the process runners.
ExecuteError executeError(int32_t code, const char* format, ...) TARNWICK_FORMAT_CHECK(2, 3);

/// An exit code as messages show it: the signed number, and on Windows, for
/// a status code such as -1073741819, also its hex form ("-1073741819
/// (0xC0000005)").
std::string exitCodeText(int32_t exitCode);

#endif
