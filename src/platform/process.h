// Running the watched tool as a child process with its three standard
// streams on pipes, reading its stdout and stderr on two threads of their own.
#ifndef TARNWICK_PLATFORM_PROCESS_H
#define TARNWICK_PLATFORM_PROCESS_H

#include <cstddef>
#include <cstdint>
#include <functional>

/// Reads at most room bytes of one of the tool's output pipes into into.
/// Returns the count read, 0 at the end of the stream, or a negative value
/// when the read failed.
using PipeRead = std::function<std::ptrdiff_t(char* into, size_t room)>;

/// Consumes one output stream of the tool on that stream's reader thread:
/// pulls its bytes with read until read returns 0 or less, then returns.
using StreamConsumer = void (*)(const PipeRead& read);

/// Runs commandLine (the whole command, its first word naming the program;
/// the caller keeps it) with stdin at end of input and stdout and stderr read
/// to their end by two threads running onStdout and onStderr. Returns once the
/// child has ended and every holder of its output pipes (descendants too)
/// has closed them. exitCode gets the child's exit status (on POSIX 128 + N
/// for a child killed by signal N).
/// Returns 0 when the child ran, -1 when a pipe could not be made, or the
/// system error code when the child did not start. Each error is printed on
/// stdout as "ERROR: <message>\n". Main thread only; not re-entrant.
int32_t Execute(char* commandLine, uint32_t* exitCode, StreamConsumer onStdout,
                StreamConsumer onStderr);

/// Prints "ERROR: ", the printf-formatted message and "\n" on stdout, as
/// three writes, and flushes. The runners' one way to report a failure.
void reportExecuteError(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

#endif
