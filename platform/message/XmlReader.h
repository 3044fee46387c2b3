// Reads the XML text form of a message (layout in docs/configuration.md),
// checking everything it reads.
#ifndef TARNALERT_PLATFORM_MESSAGE_XMLREADER_H_
#define TARNALERT_PLATFORM_MESSAGE_XMLREADER_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/message/XmlStatus.h"
#include "tarnalert/platform/message/HqMessageBase.h"

namespace tarnalert {
namespace detail {

// A part of a document: a child of the root element, or an item of one of
// the root's lists, with where its text stands in the document (from its
// first byte through its end tag) and the frozen message read from it.
struct ReadPart {
  size_t field;  // the field's position in the root's class
  size_t begin;
  size_t end;
  HqMessageBase message;
};

// The parts of a document kept by its reading, for a later reading of a text
// that repeats some of them. Each part's fields have storage of their own,
// so a part taken over by a later reading holds no other memory of this one.
struct ReadParts {
  const ClassInfo* cls = nullptr;  // of the root; null when nothing was kept
  std::vector<ReadPart> parts;     // in document order
};

// An earlier reading with kept parts, and the text it read.
struct EarlierReading {
  std::string_view text;
  const ReadParts* parts;
};

// Reads `text` into a new message in `*message`. With `expected`, the root
// element must name that class; without, any registered class. On failure
// `*message` is left alone and the error says where and why (kXmlMalformed,
// kXmlWrongClass, kXmlBadNumber, kXmlNumberOutOfRange, kXmlDuplicateField,
// kXmlBadListEntry, kXmlTooLarge, kXmlTooDeep, kXmlInvalidUtf8,
// kXmlUnexpectedContent). Elements the schema does not know are kept in the
// message and, when `unknown` is given, listed there with their byte offsets
// (line 0). With `freeze`, the message read comes out frozen
// (FreezeMessage), without a second pass over it. Logs nothing.
//
// With `freeze` it may also keep the parts it read in `*parts` (it keeps
// none when the document is not in the plain form the writer gives) and take
// parts of an `earlier` reading of the same class: an earlier part whose
// text stands, byte for byte, where this reading meets the same field (for
// a list, the item of the same position) is taken as it is, since reading
// those bytes there gives that very message.
XmlError ReadDocument(const std::string& text, const ClassInfo* expected,
                      std::unique_ptr<HqMessageBase>* message,
                      std::vector<UnknownElement>* unknown = nullptr, bool freeze = false,
                      const EarlierReading* earlier = nullptr, ReadParts* parts = nullptr);

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
