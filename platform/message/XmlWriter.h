// Writes the XML text form of a message (layout in docs/configuration.md).
#ifndef TARNALERT_PLATFORM_MESSAGE_XMLWRITER_H_
#define TARNALERT_PLATFORM_MESSAGE_XMLWRITER_H_

#include <cstddef>
#include <string>

#include "platform/message/XmlStatus.h"
#include "tarnalert/platform/message/HqMessageBase.h"

namespace tarnalert {
namespace detail {

// Appends the text of `message` to `out`: indented, one element per line and
// ending in a line feed, or on one line when `compact` is set. Returns kXmlOk,
// or the first problem met with a description in `problem`:
// - kXmlUnknownClass: the class is not registered; nothing is written;
// - kXmlSchemaMismatch: a field whose number, kind or child class differs from
//   the schema was left out; the rest is written;
// - kXmlUnrepresentableText: a text held NUL characters (left out) or invalid
//   UTF-8 (written as U+FFFD); the rest is written.
XmlStatus WriteMessage(const HqMessageBase& message, bool compact, std::string* out,
                       std::string* problem);

// Where an escaped text goes: element content or an attribute value.
enum class XmlEscapeContext { kText, kAttribute };

// Appends the UTF-8 text of `size` bytes at `data` to `out` so that an XML
// reader gives it back byte for byte: markup characters become entities and
// control characters a reader would change become character references; in
// an attribute value quotes, tabs and line feeds too. XML cannot hold NUL
// characters: they are left out, and their number is returned.
size_t AppendXmlEscaped(const char* data, size_t size, XmlEscapeContext context, std::string* out);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_MESSAGE_XMLWRITER_H_
