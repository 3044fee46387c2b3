#include "tarnalert/platform/message/ParseResult.h"

#include "platform/message/XmlStatus.h"

namespace tarnalert {

namespace detail {

TextPosition AdvancePosition(const std::string& text, TextPosition from, size_t offset) {
  if (offset > text.size()) offset = text.size();
  TextPosition position = from;
  if (position.line == 0 || position.offset > offset) position = TextPosition{1, 1, 0};
  for (size_t i = position.offset; i < offset; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '\n') {
      ++position.line;
      position.column = 1;
    } else if ((byte & 0xC0) != 0x80) {  // not a continuation byte of UTF-8
      ++position.column;
    }
  }
  position.offset = offset;
  return position;
}

}  // namespace detail

TextPosition PositionInText(const std::string& text, size_t offset) {
  return detail::AdvancePosition(text, TextPosition{}, offset);
}

std::string ParseResult::Description() const {
  if (ok()) return "";
  return reason + " at line " + std::to_string(where.line) + ", column " +
         std::to_string(where.column) + " (offset " + std::to_string(where.offset) + ")";
}

}  // namespace tarnalert
