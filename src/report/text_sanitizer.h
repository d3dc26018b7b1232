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

/// Appends the length bytes at text to out as a quoted JSON string, byte for
/// byte as nlohmann::json's dump() writes it with invalid UTF-8 replaced: a
/// byte that starts no well-formed sequence, and the well-formed start of
/// one that breaks off (before the byte that breaks it, or at the end),
/// each become U+FFFD; ", \ and control characters are escaped (\b \t \n
/// \f \r, else \u00xx); everything else is kept as it is.
void appendJsonString(std::string* out, const char* text, size_t length);

/// Appends the length bytes at text to out as XML character data that is
/// also a quoted attribute value: valid UTF-8 without the characters XML
/// cannot hold (as validUtf8 with forXml), & < > " ' as entities and tab, LF
/// and CR as character references (&#x09; &#x0A; &#x0D;), as TinyXML
/// escapes text, except that every & is escaped.
void appendXmlText(std::string* out, const char* text, size_t length);

/// How many of the length bytes at text to keep under a cap of cap bytes:
/// all of them when they fit, else at most cap, ending before a character
/// that would be cut (its continuation bytes are not kept alone).
size_t utf8CutLength(const char* text, size_t length, size_t cap);

/// The length bytes at text as HTML character data that is also safe in a
/// quoted attribute value: valid UTF-8 (as validUtf8), with & < > " '
/// escaped, control characters other than tab shown as their Unicode
/// pictures (NUL as U+2400, DEL as U+2421) and C1 controls as U+FFFD, so
/// nothing in a log can become markup or hide in the page.
std::string htmlText(const char* text, size_t length);
inline std::string htmlText(const std::string& text) { return htmlText(text.data(), text.size()); }

#endif
