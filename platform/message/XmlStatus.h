// Results of the message text form: what HqMessageBase::serialize and
// unserialize return, and where and why reading failed.
#ifndef TARNALERT_PLATFORM_MESSAGE_XMLSTATUS_H_
#define TARNALERT_PLATFORM_MESSAGE_XMLSTATUS_H_

#include <cstddef>
#include <string>
#include <utility>

namespace tarnalert {
namespace detail {

// The int results of serialize and unserialize; 0 is success.
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
  kXmlSchemaMismatch = 12,       // a field does not fit the schema and was left out
  kXmlUnrepresentableText = 13,  // a text held NUL or invalid UTF-8 and was altered
};

constexpr size_t kXmlMaxDocumentSize = size_t{32} * 1024 * 1024;
constexpr int kXmlMaxDepth = 64;

// Why reading failed: the status, the byte offset in the text and a reason.
struct XmlError {
  XmlStatus status = kXmlOk;
  size_t offset = 0;
  std::string reason;

  static XmlError At(XmlStatus status, size_t offset, std::string reason) {
    return XmlError{status, offset, std::move(reason)};
  }
  bool ok() const { return status == kXmlOk; }
};

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_MESSAGE_XMLSTATUS_H_
