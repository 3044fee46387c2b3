// XmlLocator: where the parts of a message text stand, for messages to a
// person that point into the file (line and column): an element found by its
// way from the root, or a character inside an element's text, counted in the
// text as read (entities decoded, CDATA unwrapped, line ends as LF).
//
// It reads the text once when built and keeps a copy of it; it is a plain
// value, used by one thread at a time. Reading is only for finding places:
// a text the message reader refuses may still be located as far as it goes.
#ifndef TARNALERT_PLATFORM_MESSAGE_XMLLOCATOR_H_
#define TARNALERT_PLATFORM_MESSAGE_XMLLOCATOR_H_

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "tarnalert/platform/message/ParseResult.h"

namespace tarnalert {
namespace detail {

class XmlLocator {
 public:
  explicit XmlLocator(const std::string& text);
  ~XmlLocator();
  XmlLocator(const XmlLocator&) = delete;
  XmlLocator& operator=(const XmlLocator&) = delete;

  // The '<' of the element reached from the root element by `path`. A step
  // names an element and counts the same-named elements before it; a step
  // with an empty name counts every element (a list's entries, whatever their
  // element is called). Where a step finds nothing, the element reached so
  // far; line 0 when the text has no root element.
  TextPosition Element(const std::vector<XmlPathStep>& path) const;
  // The character `offset` bytes into the text of the element at `path` as
  // the reader reads it. The element itself when it has no such text (it was
  // not found, is empty, or its text is encoded).
  TextPosition InText(const std::vector<XmlPathStep>& path, size_t offset) const;

 private:
  struct Tree;

  // Byte offset of the '<' of the element at `path` (see Element), and
  // whether every step was found.
  size_t ElementOffset(const std::vector<XmlPathStep>& path, bool* found) const;
  TextPosition At(size_t offset) const;

  std::string text_;
  std::vector<size_t> lineStarts_;
  std::unique_ptr<Tree> tree_;
};

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_MESSAGE_XMLLOCATOR_H_
