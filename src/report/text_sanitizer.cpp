#include "report/text_sanitizer.h"

namespace {

const char kReplacement[] = "\xEF\xBF\xBD";

bool continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

/// Length of the well-formed sequence at text, or 0.
size_t sequenceLength(const unsigned char* text, size_t left) {
  unsigned char lead = text[0];
  if (lead < 0x80) return 1;
  size_t length;
  unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (left < length || text[1] < low || text[1] > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (!continuation(text[i])) return 0;
  }
  return length;
}

}  // namespace

std::string validUtf8(const char* text, size_t length, bool forXml) {
  std::string out;
  out.reserve(length);
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  size_t i = 0;
  while (i < length) {
    size_t n = sequenceLength(bytes + i, length - i);
    bool refused = n == 0;
    if (!refused && forXml) {
      unsigned char c = bytes[i];
      if (n == 1) {
        refused = c < 0x20 && c != '\t' && c != '\n' && c != '\r';
      } else if (n == 3 && c == 0xEF && bytes[i + 1] == 0xBF) {
        refused = bytes[i + 2] == 0xBE || bytes[i + 2] == 0xBF;
      }
    }
    if (refused) {
      out += kReplacement;
      i += n == 0 ? 1 : n;
    } else {
      out.append(text + i, n);
      i += n;
    }
  }
  return out;
}

std::string htmlText(const char* text, size_t length) {
  std::string valid = validUtf8(text, length, false);
  std::string out;
  out.reserve(valid.size() + valid.size() / 8);
  for (size_t i = 0; i < valid.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(valid[i]);
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        if (c < 0x20 && c != '\t') {
          // U+2400 + c: the control picture, in three bytes.
          out += "\xE2\x90";
          out += static_cast<char>(0x80 + c);
        } else if (c == 0x7F) {
          out += "\xE2\x90\xA1";
        } else if (c == 0xC2 && static_cast<unsigned char>(valid[i + 1]) < 0xA0) {
          // U+0080 to U+009F: valid UTF-8 (so a second byte follows), but
          // controls that HTML calls errors.
          out += kReplacement;
          ++i;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}
