// The reader threads' common loop: cuts what arrives on one pipe into pieces
// ending at line breaks and hands each to the stream's LineHandler.
#ifndef TARNWICK_RUNNER_PIPE_READER_H
#define TARNWICK_RUNNER_PIPE_READER_H

#include <cstddef>
#include <functional>

#include "platform/process.h"

/// Receives one piece of the tool's output on the reader thread of its
/// stream: length bytes at piece (NULs among them kept), followed by a NUL.
/// The bytes are borrowed for the call only. Calls of one stream come one at
/// a time in stream order; the next read waits until the handler returns.
using LineHandler = void (*)(const char* piece, size_t length);

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
