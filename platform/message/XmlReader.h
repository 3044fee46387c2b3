// Reads the XML text form of a message (layout in docs/configuration.md),
// checking everything it reads.
#ifndef TARNALERT_PLATFORM_MESSAGE_XMLREADER_H_
#define TARNALERT_PLATFORM_MESSAGE_XMLREADER_H_

#include <memory>
#include <string>
#include <vector>

#include "platform/message/XmlStatus.h"
#include "tarnalert/platform/message/HqMessageBase.h"

namespace tarnalert {
namespace detail {

// Reads `text` into a new message in `*message`. With `expected`, the root
// element must name that class; without, any registered class. On failure
// `*message` is left alone and the error says where and why (kXmlMalformed,
// kXmlWrongClass, kXmlBadNumber, kXmlNumberOutOfRange, kXmlDuplicateField,
// kXmlBadListEntry, kXmlTooLarge, kXmlTooDeep, kXmlInvalidUtf8,
// kXmlUnexpectedContent). Elements the schema does not know are kept in the
// message and, when `unknown` is given, listed there with their byte offsets
// (line 0). With `freeze`, the message read comes out frozen
// (FreezeMessage), without a second pass over it. Logs nothing.
XmlError ReadDocument(const std::string& text, const ClassInfo* expected,
                      std::unique_ptr<HqMessageBase>* message,
                      std::vector<UnknownElement>* unknown = nullptr, bool freeze = false);

// Reads a document that ScanDocument accepted through the XML parser's tree.
// ReadDocument reads the plain form directly and leaves the rest, and every
// fault, to the scan and this.
XmlError ParseDocument(const std::string& text, const ClassInfo* expected,
                       std::unique_ptr<HqMessageBase>* message,
                       std::vector<UnknownElement>* unknown = nullptr);

// Parses an integer field's text: optional blanks, an optional sign, decimal
// digits or 0x and hex digits, optional blanks. kXmlBadNumber or
// kXmlNumberOutOfRange on failure (`*value` untouched).
XmlStatus ParseInteger(const std::string& text, int64_t* value);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_MESSAGE_XMLREADER_H_
