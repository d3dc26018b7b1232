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

void appendXmlText(std::string* out, const char* text, size_t length) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  size_t i = 0;
  while (i < length) {
    // Most log text is printable ASCII without markup: it goes in runs.
    size_t run = i;
    while (run < length && bytes[run] >= 0x20 && bytes[run] < 0x80 && bytes[run] != '&' &&
           bytes[run] != '<' && bytes[run] != '>' && bytes[run] != '"' && bytes[run] != '\'') {
      ++run;
    }
    out->append(text + i, run - i);
    i = run;
    if (i == length) break;
    unsigned char c = bytes[i];
    if (c < 0x80) {
      switch (c) {
        case '&':
          out->append("&amp;");
          break;
        case '<':
          out->append("&lt;");
          break;
        case '>':
          out->append("&gt;");
          break;
        case '"':
          out->append("&quot;");
          break;
        case '\'':
          out->append("&apos;");
          break;
        case '\t':
          out->append("&#x09;");
          break;
        case '\n':
          out->append("&#x0A;");
          break;
        case '\r':
          out->append("&#x0D;");
          break;
        default:
          out->append(kReplacement);
      }
      ++i;
      continue;
    }
    size_t n = sequenceLength(bytes + i, length - i);
    // U+FFFE and U+FFFF are no XML characters: one U+FFFD for the three.
    bool refused = n == 0 || (n == 3 && c == 0xEF && bytes[i + 1] == 0xBF &&
                              (bytes[i + 2] == 0xBE || bytes[i + 2] == 0xBF));
    if (refused) {
      out->append(kReplacement);
    } else {
      out->append(text + i, n);
    }
    i += n == 0 ? 1 : n;
  }
}

void appendJsonString(std::string* out, const char* text, size_t length) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  out->push_back('"');
  size_t i = 0;
  while (i < length) {
    // Most log text is printable ASCII: it goes in runs.
    size_t run = i;
    while (run < length && bytes[run] >= 0x20 && bytes[run] < 0x80 && bytes[run] != '"' &&
           bytes[run] != '\\') {
      ++run;
    }
    out->append(text + i, run - i);
    i = run;
    if (i == length) break;
    unsigned char c = bytes[i];
    if (c < 0x80) {
      static const char kHex[] = "0123456789abcdef";
      switch (c) {
        case '"':
          out->append("\\\"");
          break;
        case '\\':
          out->append("\\\\");
          break;
        case '\b':
          out->append("\\b");
          break;
        case '\t':
          out->append("\\t");
          break;
        case '\n':
          out->append("\\n");
          break;
        case '\f':
          out->append("\\f");
          break;
        case '\r':
          out->append("\\r");
          break;
        default:
          out->append("\\u00");
          out->push_back(kHex[c >> 4]);
          out->push_back(kHex[c & 0xF]);
      }
      ++i;
      continue;
    }
    size_t n = sequenceLength(bytes + i, length - i);
    if (n > 0) {
      out->append(text + i, n);
      i += n;
      continue;
    }
    // Where the sequence breaks off: a bad lead byte goes with its U+FFFD,
    // the byte that breaks a started sequence is read again.
    size_t valid = 1;
    if (c >= 0xC2 && c <= 0xF4) {
      size_t want = c <= 0xDF ? 2 : c <= 0xEF ? 3 : 4;
      unsigned char low = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
      unsigned char high = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
      if (i + 1 < length && bytes[i + 1] >= low && bytes[i + 1] <= high) {
        valid = 2;
        while (valid < want && i + valid < length && continuation(bytes[i + valid])) ++valid;
      }
    }
    out->append(kReplacement);
    i += valid;
  }
  out->push_back('"');
}

size_t utf8CutLength(const char* text, size_t length, size_t cap) {
  if (length <= cap) return length;
  size_t end = cap;
  // A sequence is at most four bytes: at most three continuations go back.
  for (int i = 0; i < 3 && end > 0 && continuation(static_cast<unsigned char>(text[end])); ++i) {
    --end;
  }
  return end;
}

std::string htmlText(const char* text, size_t length) {
  // Most lines are printable ASCII without markup: they stay as they are.
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  size_t plain = 0;
  while (plain < length && bytes[plain] >= 0x20 && bytes[plain] < 0x7F && bytes[plain] != '&' &&
         bytes[plain] != '<' && bytes[plain] != '>' && bytes[plain] != '"' &&
         bytes[plain] != '\'') {
    ++plain;
  }
  if (plain == length) return std::string(text, length);
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
