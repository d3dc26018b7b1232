// The reader threads' common loop: cuts what arrives on one pipe into pieces
// ending at line breaks and hands each to the stream's LineHandler.
#ifndef TARNWICK_RUNNER_PIPE_READER_H
#define TARNWICK_RUNNER_PIPE_READER_H

#include <cstddef>
#include <functional>

#include "platform/process.h"

/// Reads at most room bytes of the pipe into into. Returns the count read,
/// 0 at the end of the stream, or a negative value when the read failed.
using PipeRead = std::function<std::ptrdiff_t(char* into, size_t room)>;

/// Reads the pipe to its end in reads of at most 1024 bytes and delivers to
/// handler, in order: the text up to the last line break of the buffer
/// (a final CR LF or LF CR pair dropped as a whole, inner breaks kept), the
/// whole buffer once it holds more than 896 bytes without a break, and what
/// is left at the end of the stream. Every byte received is delivered except
/// the line break that ends a piece; a piece that ended at a lone CR as the
/// last byte of a read, followed by an LF as the first byte of the next, ended
/// at that CR LF (the two reads split the pair). Runs on the calling thread;
/// allocates its buffer once.
void readPipeLines(const PipeRead& read, LineHandler handler);

#endif
