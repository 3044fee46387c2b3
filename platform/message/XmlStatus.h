// Internal results of the message text form: the reader's error (status,
// byte offset, reason) and the limits it enforces. The statuses themselves
// are public, in ParseResult.h.
#ifndef TARNALERT_PLATFORM_MESSAGE_XMLSTATUS_H_
#define TARNALERT_PLATFORM_MESSAGE_XMLSTATUS_H_

#include <cstddef>
#include <string>
#include <utility>

#include "tarnalert/platform/message/ParseResult.h"

namespace tarnalert {
namespace detail {

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

// The position of byte `offset` counted on from `from`, a position at or
// before it (from the start when `from` is not known or lies after it), so
// that ascending offsets are located in one pass over the text.
TextPosition AdvancePosition(const std::string& text, TextPosition from, size_t offset);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_MESSAGE_XMLSTATUS_H_
