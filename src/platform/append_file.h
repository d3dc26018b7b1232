// Adding a line to a text file that other processes may be adding to at
// the same time.
#ifndef TARNWICK_PLATFORM_APPEND_FILE_H
#define TARNWICK_PLATFORM_APPEND_FILE_H

#include <cstddef>
#include <functional>

enum class AppendResult { kWritten, kOpenFailed, kWriteFailed };

/// Adds the length bytes at data and the platform's text line end ("\r\n"
/// on Windows, "\n" elsewhere) at the end of the file at path, which is
/// made when missing and emptied first when truncate. The file is opened for
/// appending only, so each write lands at its end even while other
/// processes append to it: a line of up to kAppendChunk bytes goes in one
/// write and is never torn or lost; a longer one goes whole in several. The
/// file is closed again before the call returns.
AppendResult appendLine(const char* path, const char* data, size_t length, bool truncate);

/// The most one write of appendLine carries.
constexpr size_t kAppendChunk = size_t{64} << 20;

/// Writes at most the given count of bytes; returns how many it wrote, or a
/// negative value when it failed.
using ChunkWrite = std::function<std::ptrdiff_t(const char* bytes, size_t count)>;

/// Writes the length bytes at data and then lineEnd through write, in calls
/// of at most maxChunk bytes, resuming after short writes. The line end goes
/// in the same call as the data before it, so a line that fits maxChunk goes
/// in one call. False as soon as a call fails or writes nothing.
bool writeLineInChunks(const ChunkWrite& write, const char* data, size_t length,
                       const char* lineEnd, size_t maxChunk);

#endif
