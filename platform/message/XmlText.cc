#include "platform/message/XmlText.h"

#include <glib.h>

#include "tarnalert/platform/text/FXString.h"

namespace tarnalert {
namespace detail {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Bytes that cannot be written as they are: markup characters, carriage
// return (a reader would turn it into a line feed) and the other control
// characters; in an attribute value also the quote, tab and line feed (a
// reader would turn the last two into spaces).
constexpr bool NeedsEscape(unsigned char c, XmlEscapeContext context) {
  if (c == '&' || c == '<' || c == '>' || (c < 0x20 && c != '\t' && c != '\n')) return true;
  return context == XmlEscapeContext::kAttribute && (c == '"' || c == '\t' || c == '\n');
}

// Control characters XML 1.0 has no way to carry, not even as references.
bool IsForbiddenControl(unsigned char c) { return c < 0x20 && c != '\t' && c != '\n' && c != '\r'; }

bool IsBase64Character(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '/';
}

}  // namespace

size_t XmlCharacterLength(const char* text, size_t size) {
  const auto lead = static_cast<unsigned char>(text[0]);
  if (lead < 0x80) return IsForbiddenControl(lead) ? 0 : 1;
  const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
  if (length > size || !FXString::IsValidUtf8(text, length)) return 0;
  // U+FFFE and U+FFFF (EF BF BE, EF BF BF) are not XML characters.
  if (lead == 0xEF && static_cast<unsigned char>(text[1]) == 0xBF &&
      static_cast<unsigned char>(text[2]) >= 0xBE) {
    return 0;
  }
  return length;
}

bool AppendXmlEscaped(const char* data, size_t size, XmlEscapeContext context, std::string* out) {
  // For each ASCII byte: whether it is written as it is.
  struct PlainTable {
    bool plain[2][0x80];
    constexpr PlainTable() : plain() {
      for (unsigned c = 0; c < 0x80; ++c) {
        plain[0][c] = !NeedsEscape(static_cast<unsigned char>(c), XmlEscapeContext::kText);
        plain[1][c] = !NeedsEscape(static_cast<unsigned char>(c), XmlEscapeContext::kAttribute);
      }
    }
  };
  static constexpr PlainTable kTable;
  const bool* plain = kTable.plain[context == XmlEscapeContext::kText ? 0 : 1];
  const auto* bytes = reinterpret_cast<const unsigned char*>(data);
  const size_t before = out->size();
  out->reserve(before + size + size / 8);
  size_t runStart = 0;
  size_t i = 0;
  while (i < size) {
    while (i < size && bytes[i] < 0x80 && plain[bytes[i]]) ++i;  // a run written as it is
    if (i == size) break;
    const auto c = bytes[i];
    if (c >= 0x80) {
      const size_t length = XmlCharacterLength(data + i, size - i);
      if (length == 0) {
        out->resize(before);
        return false;
      }
      i += length;
      continue;
    }
    if (IsForbiddenControl(c)) {
      out->resize(before);
      return false;
    }
    out->append(data + runStart, i - runStart);
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
      default:  // tab, line feed, carriage return
        out->append("&#");
        out->append(std::to_string(c));
        out->push_back(';');
    }
    runStart = ++i;
  }
  out->append(data + runStart, size - runStart);
  return true;
}

void AppendBase64(const char* data, size_t size, std::string* out) {
  const size_t start = out->size();
  // The room the encoder asks for when it breaks no lines.
  out->resize(start + (size / 3 + 1) * 4 + 4);
  gint state = 0;
  gint save = 0;
  char* to = &(*out)[start];
  gsize written =
      g_base64_encode_step(reinterpret_cast<const guchar*>(data), size, FALSE, to, &state, &save);
  written += g_base64_encode_close(FALSE, to + written, &state, &save);
  out->resize(start + written);
}

void AppendXmlTextElement(std::string_view name, std::string_view attributes, std::string_view text,
                          std::string* out) {
  out->push_back('<');
  out->append(name);
  out->append(attributes);
  const size_t open = out->size();
  out->push_back('>');
  if (!AppendXmlEscaped(text.data(), text.size(), XmlEscapeContext::kText, out)) {
    out->resize(open);
    out->append(" ");
    out->append(kXmlEncodingAttribute);
    out->append("=\"");
    out->append(kXmlBase64);
    out->append("\">");
    AppendBase64(text.data(), text.size(), out);
  }
  out->append("</");
  out->append(name);
  out->push_back('>');
}

bool DecodeXmlBase64(std::string_view text, std::string* out) {
  std::string compact;
  compact.reserve(text.size());
  for (char c : text) {
    if (!IsBlank(c)) compact.push_back(c);
  }
  if (compact.size() % 4 != 0) return false;
  size_t padding = 0;
  while (padding < 2 && padding < compact.size() && compact[compact.size() - 1 - padding] == '=') {
    ++padding;
  }
  for (size_t i = 0; i + padding < compact.size(); ++i) {
    if (!IsBase64Character(compact[i])) return false;
  }
  std::string decoded(compact.size() / 4 * 3 + 3, '\0');
  gint state = 0;
  guint save = 0;
  const gsize length = g_base64_decode_step(compact.data(), compact.size(),
                                            reinterpret_cast<guchar*>(&decoded[0]), &state, &save);
  decoded.resize(length);
  *out = std::move(decoded);
  return true;
}

}  // namespace detail
}  // namespace tarnalert
