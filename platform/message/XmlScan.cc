#include "platform/message/XmlScan.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/message/XmlText.h"
#include "tarnalert/platform/text/FXString.h"

namespace tarnalert {
namespace detail {
namespace {

constexpr size_t kNotFound = std::string_view::npos;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Offset of the first byte that does not start a well-formed UTF-8 sequence.
size_t FirstInvalidUtf8(const char* text, size_t size) {
  size_t at = 0;
  while (at < size) {
    const auto lead = static_cast<unsigned char>(text[at]);
    size_t length = 1;
    if (lead >= 0xC0 && lead < 0xE0) {
      length = 2;
    } else if (lead >= 0xE0 && lead < 0xF0) {
      length = 3;
    } else if (lead >= 0xF0 && lead < 0xF8) {
      length = 4;
    }
    if (length > size - at || !FXString::IsValidUtf8(text + at, length)) return at;
    at += length;
  }
  return size;
}

}  // namespace

// Length of the reference that starts at text[at] ('&'), or 0 when it is not
// one of the predefined entities or a character reference to a character XML
// may hold (tab, line feed, carriage return and the Unicode scalar values
// from U+0020 on but U+FFFE and U+FFFF). The name is looked at directly,
// without a search for the ';'.
size_t ReadReference(std::string_view text, size_t at, uint32_t* code) {
  // A reference takes at most 17 bytes: '&', a name of up to 15 and ';'.
  const std::string_view name = text.substr(at + 1, 16);
  auto entity = [&](std::string_view spelled, char c) -> size_t {
    if (name.substr(0, spelled.size()) != spelled) return 0;
    *code = static_cast<unsigned char>(c);
    return spelled.size() + 1;
  };
  switch (name.empty() ? '\0' : name[0]) {
    case 'l':
      return entity("lt;", '<');
    case 'g':
      return entity("gt;", '>');
    case 'q':
      return entity("quot;", '"');
    case 'a':
      return name.size() > 1 && name[1] == 'm' ? entity("amp;", '&') : entity("apos;", '\'');
    case '#':
      break;
    default:
      return 0;
  }
  const bool hex = name.size() > 1 && name[1] == 'x';
  size_t end = hex ? 2 : 1;
  uint32_t value = 0;
  for (; end < name.size() && name[end] != ';'; ++end) {
    const char c = name[end];
    uint32_t digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (hex && c >= 'a' && c <= 'f') {
      digit = static_cast<uint32_t>(c - 'a' + 10);
    } else if (hex && c >= 'A' && c <= 'F') {
      digit = static_cast<uint32_t>(c - 'A' + 10);
    } else {
      return 0;
    }
    value = value * (hex ? 16 : 10) + digit;
    if (value > 0x10FFFF) return 0;
  }
  if (end == name.size() || end == (hex ? 2u : 1u)) return 0;  // no ';' or no digit
  if ((value < 0x20 && value != '\t' && value != '\n' && value != '\r') ||
      (value >= 0xD800 && value <= 0xDFFF) || value == 0xFFFE || value == 0xFFFF) {
    return 0;
  }
  *code = value;
  return end + 2;
}

size_t ReferenceLength(std::string_view text, size_t at) {
  uint32_t code;
  return ReadReference(text, at, &code);
}

namespace {

std::string Describe(const char* what, char c) {
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "%s (byte 0x%02X)", what,
                static_cast<unsigned>(static_cast<unsigned char>(c)));
  return buffer;
}

// The structural pass of ScanDocument.
XmlError ScanMarkup(std::string_view text) {
  size_t pos = 0;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") pos = 3;  // byte order mark
  int depth = 0;
  bool rootSeen = false;
  while (pos < text.size()) {
    const char c = text[pos];
    if (c == '&') {
      if (depth == 0) return XmlError::At(kXmlMalformed, pos, "text outside the document element");
      const size_t length = ReferenceLength(text, pos);
      if (length == 0) {
        return XmlError::At(kXmlMalformed, pos, "undefined entity or invalid character reference");
      }
      pos += length;
      continue;
    }
    if (c != '<') {
      if (depth == 0) {
        if (!IsBlank(c)) {
          return XmlError::At(kXmlMalformed, pos, "text outside the document element");
        }
        ++pos;
      } else {
        while (pos < text.size() && text[pos] != '<' && text[pos] != '&') ++pos;
      }
      continue;
    }
    std::string_view rest = text.substr(pos);
    if (rest.substr(0, 4) == "<!--") {
      const size_t end = text.find("-->", pos + 4);
      if (end == kNotFound) return XmlError::At(kXmlMalformed, pos, "unterminated comment");
      pos = end + 3;
    } else if (rest.substr(0, 9) == "<![CDATA[") {
      if (depth == 0) {
        return XmlError::At(kXmlMalformed, pos, "CDATA section outside the document element");
      }
      const size_t end = text.find("]]>", pos + 9);
      if (end == kNotFound) return XmlError::At(kXmlMalformed, pos, "unterminated CDATA section");
      pos = end + 3;
    } else if (rest.substr(0, 2) == "<?") {
      const size_t end = text.find("?>", pos + 2);
      if (end == kNotFound) {
        return XmlError::At(kXmlMalformed, pos, "unterminated processing instruction");
      }
      pos = end + 2;
    } else if (rest.substr(0, 2) == "<!") {
      return XmlError::At(kXmlMalformed, pos,
                          "document type and markup declarations are not accepted");
    } else if (rest.substr(0, 2) == "</") {
      const size_t end = text.find('>', pos + 2);
      if (end == kNotFound) return XmlError::At(kXmlMalformed, pos, "unterminated end tag");
      if (depth == 0) return XmlError::At(kXmlMalformed, pos, "end tag without start tag");
      --depth;
      pos = end + 1;
    } else {
      if (depth == 0 && rootSeen) {
        return XmlError::At(kXmlMalformed, pos, "second document element");
      }
      rootSeen = true;
      const size_t start = pos;
      char quote = 0;
      for (++pos; pos < text.size(); ++pos) {
        const char t = text[pos];
        if (quote != 0) {
          if (t == quote) {
            quote = 0;
          } else if (t == '&') {
            if (ReferenceLength(text, pos) == 0) {
              return XmlError::At(kXmlMalformed, pos,
                                  "undefined entity or invalid character reference");
            }
          } else if (t == '<') {
            return XmlError::At(kXmlMalformed, pos, "'<' in an attribute value");
          }
        } else if (t == '"' || t == '\'') {
          quote = t;
        } else if (t == '>' || t == '<') {
          break;
        }
      }
      if (pos >= text.size() || text[pos] != '>') {
        return XmlError::At(kXmlMalformed, start, "unterminated start tag");
      }
      if (text[pos - 1] != '/') {
        ++depth;
        if (depth > kXmlMaxDepth) {
          return XmlError::At(kXmlTooDeep, start,
                              "elements nested deeper than " + std::to_string(kXmlMaxDepth));
        }
      }
      ++pos;
    }
  }
  if (!rootSeen) return XmlError::At(kXmlMalformed, text.size(), "no document element");
  if (depth != 0) return XmlError::At(kXmlMalformed, text.size(), "unclosed element");
  return XmlError{};
}

}  // namespace

// True when every byte of `text` is well-formed UTF-8 and no control
// character but tab, line feed and carriage return: one pass, eight ASCII
// bytes at a time.
bool BytesAreClean(const char* text, size_t size) {
  constexpr uint64_t kHigh = 0x8080808080808080u;
  constexpr uint64_t kSpace = 0x2020202020202020u;
  size_t at = 0;
  while (at < size) {
    if (size - at >= 8) {
      uint64_t word;
      std::memcpy(&word, text + at, 8);
      // No byte with its high bit set, and none below 0x20.
      if ((word & kHigh) == 0 && ((word - kSpace) & ~word & kHigh) == 0) {
        at += 8;
        continue;
      }
    }
    const auto c = static_cast<unsigned char>(text[at]);
    if (c < 0x80) {
      if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;
      ++at;
      continue;
    }
    const size_t length = XmlCharacterLength(text + at, size - at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

XmlError ScanDocument(const char* text, size_t size) {
  if (size > kXmlMaxDocumentSize) {
    return XmlError::At(kXmlTooLarge, kXmlMaxDocumentSize,
                        "document of " + std::to_string(size) + " bytes is larger than " +
                            std::to_string(kXmlMaxDocumentSize));
  }
  if (!BytesAreClean(text, size)) {
    // Which problem comes first by rank: invalid UTF-8 anywhere, then a
    // character XML does not allow.
    if (!FXString::IsValidUtf8(text, size)) {
      const size_t at = FirstInvalidUtf8(text, size);
      return XmlError::At(kXmlInvalidUtf8, at, Describe("invalid UTF-8", at < size ? text[at] : 0));
    }
    for (size_t at = 0; at < size;) {
      const size_t length = XmlCharacterLength(text + at, size - at);
      if (length != 0) {
        at += length;
      } else if (static_cast<unsigned char>(text[at]) < 0x80) {
        return XmlError::At(kXmlMalformed, at, Describe("control character", text[at]));
      } else {
        return XmlError::At(kXmlMalformed, at,
                            text[at + 2] == '\xBE' ? "character U+FFFE" : "character U+FFFF");
      }
    }
  }
  return ScanMarkup(std::string_view(text, size));
}

size_t FindElementEnd(const char* data, size_t size, size_t start) {
  std::string_view text(data, size);
  size_t pos = start;
  int depth = 0;
  while (pos < size) {
    if (text[pos] != '<') {
      pos = text.find('<', pos);
      if (pos == kNotFound) return size;
      continue;
    }
    std::string_view rest = text.substr(pos);
    size_t end;
    if (rest.substr(0, 4) == "<!--") {
      end = text.find("-->", pos + 4);
      if (end == kNotFound) return size;
      pos = end + 3;
    } else if (rest.substr(0, 9) == "<![CDATA[") {
      end = text.find("]]>", pos + 9);
      if (end == kNotFound) return size;
      pos = end + 3;
    } else if (rest.substr(0, 2) == "<?") {
      end = text.find("?>", pos + 2);
      if (end == kNotFound) return size;
      pos = end + 2;
    } else if (rest.substr(0, 2) == "</") {
      end = text.find('>', pos + 2);
      if (end == kNotFound) return size;
      pos = end + 1;
      if (--depth == 0) return pos;
    } else {
      char quote = 0;
      for (++pos; pos < size; ++pos) {
        const char t = text[pos];
        if (quote != 0) {
          if (t == quote) quote = 0;
        } else if (t == '"' || t == '\'') {
          quote = t;
        } else if (t == '>') {
          break;
        }
      }
      if (pos >= size) return size;
      const bool selfClosing = text[pos - 1] == '/';
      ++pos;
      if (!selfClosing) {
        ++depth;
      } else if (depth == 0) {
        return pos;
      }
    }
  }
  return size;
}

}  // namespace detail
}  // namespace tarnalert
