// Names as the wide Windows calls take them. Included by the Windows files
// of the platform layer only.
#ifndef TARNWICK_PLATFORM_WIDE_PATH_WIN32_H
#define TARNWICK_PLATFORM_WIDE_PATH_WIN32_H

#include <string>

/// A name converted for the wide calls.
struct WidePath {
  /// False when the name's bytes are not text in the process code page
  /// (bytes that are no UTF-8 under the UTF-8 code page): the narrow calls
  /// would turn them into replacement characters, which could name another
  /// file, so such a name names no file at all.
  bool valid = false;
  /// True when the full path is too long for the narrow calls; text then
  /// holds it with the "\\?\" prefix that lifts the length limit.
  bool isLong = false;
  std::wstring text;
};

/// path converted from the process code page, and for a long one made
/// absolute and prefixed.
WidePath widePath(const char* path);

/// The absolute form of a valid name (separators as '\', "." and ".."
/// resolved, trailing dots and blanks of the last component dropped, as
/// Windows itself reads names), or empty when the system has none.
std::wstring fullWidePath(const std::wstring& path);

/// True when text converts to codePage and back unchanged: no character is
/// replaced by a look-alike or a default character.
bool representableIn(const wchar_t* text, unsigned codePage);

#endif
