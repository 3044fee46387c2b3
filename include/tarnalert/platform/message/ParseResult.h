// ParseResult: what reading a message text found, in the manner of an XML
// parser's parse result: a status, where reading stopped (line, column and
// byte offset) and why, plus the elements the schema does not know, which
// are kept but which a person usually misspelt.
//
// A ParseResult is a plain value; it holds no reference to the text read.
#ifndef TARNALERT_PLATFORM_MESSAGE_PARSERESULT_H_
#define TARNALERT_PLATFORM_MESSAGE_PARSERESULT_H_

#include <cstddef>
#include <string>
#include <vector>

#include "tarnalert/platform/Export.h"

namespace tarnalert {

// The int results of HqMessageBase::serialize and unserialize; 0 is success.
enum XmlStatus : int {
  kXmlOk = 0,
  // Reading.
  kXmlMalformed = 1,           // not well-formed XML (or markup this form does not accept)
  kXmlWrongClass = 2,          // root element names another class
  kXmlBadNumber = 3,           // text where a number belongs
  kXmlNumberOutOfRange = 4,    // number outside the 64-bit signed range
  kXmlDuplicateField = 5,      // the same known field given twice
  kXmlBadListEntry = 6,        // list entry element of another class (or not <item>)
  kXmlTooLarge = 7,            // document larger than kXmlMaxDocumentSize
  kXmlTooDeep = 8,             // elements nested deeper than kXmlMaxDepth
  kXmlInvalidUtf8 = 9,         // document is not well-formed UTF-8
  kXmlUnexpectedContent = 10,  // text, attribute or element where the schema has none
  kXmlUnknownClass = 11,       // the message's class is not in the registry
  // Writing.
  kXmlSchemaMismatch = 12,  // a field does not fit the schema and was left out
  // No longer returned: a text XML cannot carry is written in base64.
  kXmlUnrepresentableText = 13,
  // Reading.
  kXmlBadEncoding = 14,  // a text marked encoding="base64" that is not, or another encoding
};

// A place in a text: 1-based line and column (the column counts characters,
// not bytes) and the 0-based byte offset. Line 0 means "not known".
struct TextPosition {
  size_t line = 0;
  size_t column = 0;
  size_t offset = 0;
};

// The position of byte `offset` of `text` (an offset past the end counts as
// the end).
TARNALERT_EXPORT TextPosition PositionInText(const std::string& text, size_t offset);

// One step of the way from the root element to an element: the element's
// name and its 0-based position among the same-named elements beside it.
struct XmlPathStep {
  std::string element;
  size_t position = 0;
};

// An element the schema does not know where it stands.
struct UnknownElement {
  std::vector<XmlPathStep> path;  // below the root; the last step is the element
  TextPosition where;

  const std::string& name() const { return path.back().element; }
  // The element that holds it ("" for the root).
  std::string container() const {
    return path.size() < 2 ? std::string() : path[path.size() - 2].element;
  }
};

struct ParseResult {
  XmlStatus status = kXmlOk;
  TextPosition where;                           // where reading stopped; line 0 on success
  std::string reason;                           // why; empty on success
  std::vector<UnknownElement> unknownElements;  // in document order

  bool ok() const { return status == kXmlOk; }
  explicit operator bool() const { return ok(); }
  // "<reason> at line L, column C (offset O)"; empty on success.
  TARNALERT_EXPORT std::string Description() const;
};

}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_MESSAGE_PARSERESULT_H_
