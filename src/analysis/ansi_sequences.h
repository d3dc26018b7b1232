// Terminal control sequences in a tool's output: coloured compiler
// diagnostics, erased line ends, hyperlinks. A configuration may ask that
// rules see a line without them.
#ifndef TARNWICK_ANALYSIS_ANSI_SEQUENCES_H
#define TARNWICK_ANALYSIS_ANSI_SEQUENCES_H

#include <cstddef>
#include <string>

/// The byte every sequence begins with: a line without it has none.
constexpr char kEscape = '\x1B';

/// Puts into out the length bytes of text without their ANSI control
/// sequences; every other byte, a NUL included, stays in its place. Removed:
/// CSI (ESC '[', parameter bytes 0x30-0x3F, intermediate bytes 0x20-0x2F, a
/// final byte 0x40-0x7E); the strings OSC, DCS, SOS, PM and APC (ESC and
/// one of "]PX^_", up to BEL or ESC '\'); ESC with intermediate bytes
/// 0x20-0x2F and a final byte 0x30-0x7E ("ESC ( B"); ESC and one byte
/// 0x30-0x7E. What is broken is removed as far as it is surely a sequence:
/// a CSI cut short by another byte loses what it had read, and that byte
/// stays; a string with no end in the text loses only its introducer, so no
/// text of the line goes with it; a lone ESC goes, and so does one at the
/// end. Single-byte C1 codes (0x9B) are left alone, being UTF-8 bytes. Any
/// thread; out is the caller's.
void stripAnsiSequences(const char* text, size_t length, std::string& out);

#endif
