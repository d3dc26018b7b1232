// Log text made safe for reports: logs hold whatever bytes a tool wrote.
#ifndef TARNWICK_REPORT_TEXT_SANITIZER_H
#define TARNWICK_REPORT_TEXT_SANITIZER_H

#include <cstddef>
#include <string>

/// The length bytes at text as valid UTF-8: each byte that does not belong
/// to a well-formed sequence (overlong forms and surrogates included)
/// becomes U+FFFD. With forXml, so do the characters XML 1.0 cannot hold at
/// all (control characters other than tab, LF and CR; U+FFFE and U+FFFF).
std::string validUtf8(const char* text, size_t length, bool forXml);

#endif
