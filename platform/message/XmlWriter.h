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
//   the schema was left out; the rest is written.
// Every text is written whole: the ones XML cannot carry in base64
// (AppendXmlTextElement).
XmlStatus WriteMessage(const HqMessageBase& message, bool compact, std::string* out,
                       std::string* problem);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_MESSAGE_XMLWRITER_H_
