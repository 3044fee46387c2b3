// The texts of the XML form, shared by every writer and reader of it (message
// text form, audit trail, e-mail request, spool): escaping text that XML 1.0
// can carry, and the base64 form of text that it cannot (NUL and the other
// control characters but tab, line feed and carriage return, U+FFFE, U+FFFF,
// bytes that are not well-formed UTF-8). Stateless; safe from any thread.
#ifndef TARNALERT_PLATFORM_MESSAGE_XMLTEXT_H_
#define TARNALERT_PLATFORM_MESSAGE_XMLTEXT_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace tarnalert {
namespace detail {

// The attribute, and its one value, that mark a text element whose content
// is the base64 form of the text's bytes: <name encoding="base64">...</name>.
constexpr char kXmlEncodingAttribute[] = "encoding";
constexpr char kXmlBase64[] = "base64";

// Where an escaped text goes: element content or an attribute value.
enum class XmlEscapeContext { kText, kAttribute };

// Length of the well-formed UTF-8 sequence at `text` (`size` > 0 bytes left)
// when it spells a character XML 1.0 allows, or 0: for a control character
// but tab, line feed and carriage return, U+FFFE, U+FFFF, or a malformed
// sequence.
size_t XmlCharacterLength(const char* text, size_t size);

// Appends the UTF-8 text of `size` bytes at `data` to `out` so that an XML
// reader gives it back byte for byte: markup characters become entities and
// carriage returns character references; in an attribute value quotes, tabs
// and line feeds too. Returns false, leaving `out` as it was, when XML 1.0
// cannot carry the text as characters.
bool AppendXmlEscaped(const char* data, size_t size, XmlEscapeContext context, std::string* out);

// Appends the base64 form of the `size` bytes at `data` to `out`, on one line.
void AppendBase64(const char* data, size_t size, std::string* out);

// Appends <name attributes>text</name> to `out`: the text escaped, or, when
// XML cannot carry it, its base64 form with encoding="base64" added after
// `attributes` (empty, or each attribute with a blank before it).
void AppendXmlTextElement(std::string_view name, std::string_view attributes, std::string_view text,
                          std::string* out);

// Decodes the base64 content of a text element (blanks anywhere are skipped)
// into `out`. False, with `out` untouched, when it is not base64: a character
// outside the alphabet, a length that is not a multiple of four, or padding
// other than one or two '=' at the end.
bool DecodeXmlBase64(std::string_view text, std::string* out);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_MESSAGE_XMLTEXT_H_
