// Writing one whole line to a standard stream with a single write of the
// file behind it, so that a second writer of the same file (stdout and
// stderr joined by 2>&1) can only land before or after it.
#ifndef TARNWICK_PLATFORM_TEXT_OUTPUT_H
#define TARNWICK_PLATFORM_TEXT_OUTPUT_H

#include <cstddef>
#include <cstdio>

/// Flushes stream, then writes prefix, the length bytes at data (NULs
/// included) and a line end to its file in one write, which the system
/// splits only when the file takes less (a full pipe). The line end and
/// every LF in data come out as the stream's text line end: on Windows an
/// LF not preceded by CR becomes CR LF, and a CR LF stays one CR LF, a lone
/// CR stays as it is; elsewhere the bytes pass unchanged. False when the
/// write failed. Threads writing the same stream take turns.
bool writeTextLine(std::FILE* stream, const char* prefix, const char* data, size_t length);

/// Gives stream a buffer of kThroughputBuffer bytes when it is not a
/// terminal, so that printing many lines takes few writes; a terminal keeps
/// the runtime's buffering. Call before anything is written to stream, and
/// for one stream only: the buffer is static.
void bufferForThroughput(std::FILE* stream);
constexpr size_t kThroughputBuffer = 64 * 1024;

/// Writes the length bytes at data and then '\n' into stream's buffer
/// without taking the stream's lock: for a caller that is, at that time, the
/// only thread using stream. Errors show in ferror(stream).
void writeLineUnlocked(std::FILE* stream, const char* data, size_t length);

/// Promises that from now on only the calling thread uses stream, so the C
/// library may skip the lock it takes on every call where it can. A thread
/// that writes stream after this is a data race.
void useFromOneThread(std::FILE* stream);

#endif
