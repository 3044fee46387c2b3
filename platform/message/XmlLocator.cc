#include "platform/message/XmlLocator.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstdlib>

#include "platform/message/XmlStatus.h"

namespace tarnalert {
namespace detail {

namespace {

constexpr size_t kNotFound = static_cast<size_t>(-1);

// Bytes of UTF-8 that the character reference or entity `reference`
// ("&...;") stands for.
size_t DecodedLength(const std::string& reference) {
  if (reference.size() < 4 || reference[1] != '#') return 1;  // &lt; &amp; ...
  const bool hex = reference[2] == 'x' || reference[2] == 'X';
  const unsigned long code =
      std::strtoul(reference.c_str() + (hex ? 3 : 2), nullptr, hex ? 16 : 10);
  return code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
}

bool StartsAt(const std::string& text, size_t at, const char* what) {
  return text.compare(at, std::char_traits<char>::length(what), what) == 0;
}

}  // namespace

struct XmlLocator::Tree {
  pugi::xml_document document;
};

XmlLocator::XmlLocator(const std::string& text) : text_(text), tree_(new Tree) {
  lineStarts_.push_back(0);
  for (size_t i = 0; i < text_.size(); ++i) {
    if (text_[i] == '\n') lineStarts_.push_back(i + 1);
  }
  // Nothing is decoded: only where the elements start is wanted.
  (void)tree_->document.load_buffer(text_.data(), text_.size(), pugi::parse_minimal,
                                    pugi::encoding_utf8);
}

XmlLocator::~XmlLocator() = default;

TextPosition XmlLocator::At(size_t offset) const {
  const size_t line = static_cast<size_t>(
      std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset) - lineStarts_.begin());
  return AdvancePosition(text_, TextPosition{line, 1, lineStarts_[line - 1]}, offset);
}

size_t XmlLocator::ElementOffset(const std::vector<XmlPathStep>& path, bool* found) const {
  pugi::xml_node node = tree_->document.document_element();
  *found = static_cast<bool>(node);
  if (!node) return kNotFound;
  for (const XmlPathStep& step : path) {
    pugi::xml_node next;
    size_t seen = 0;
    for (pugi::xml_node child = node.first_child(); child && !next; child = child.next_sibling()) {
      if (child.type() != pugi::node_element) continue;
      if (!step.element.empty() && step.element != child.name()) continue;
      if (seen++ == step.position) next = child;
    }
    if (!next) {
      *found = false;
      break;
    }
    node = next;
  }
  const ptrdiff_t name = node.offset_debug();
  return name > 0 ? static_cast<size_t>(name - 1) : 0;
}

TextPosition XmlLocator::Element(const std::vector<XmlPathStep>& path) const {
  bool found = false;
  const size_t offset = ElementOffset(path, &found);
  return offset == kNotFound ? TextPosition{} : At(offset);
}

TextPosition XmlLocator::InText(const std::vector<XmlPathStep>& path, size_t offset) const {
  bool found = false;
  const size_t start = ElementOffset(path, &found);
  if (start == kNotFound) return TextPosition{};
  const TextPosition element = At(start);
  if (!found) return element;
  // The end of the start tag; an element with attributes (an encoded text)
  // or without content is its own place.
  size_t at = start + 1;
  char quote = 0;
  bool attributes = false;
  for (; at < text_.size() && (quote != 0 || text_[at] != '>'); ++at) {
    const char c = text_[at];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '=') {
      attributes = true;
    }
  }
  if (at >= text_.size() || text_[at - 1] == '/' || attributes) return element;
  ++at;
  size_t remaining = offset;
  bool inCdata = false;
  while (at < text_.size()) {
    size_t raw = 1, decoded = 1;
    if (inCdata) {
      if (StartsAt(text_, at, "]]>")) {
        inCdata = false;
        at += 3;
        continue;
      }
    } else if (text_[at] == '<') {
      if (StartsAt(text_, at, "<![CDATA[")) {
        inCdata = true;
        at += 9;
        continue;
      }
      const char* close = StartsAt(text_, at, "<!--") ? "-->"
                          : StartsAt(text_, at, "<?") ? "?>"
                                                      : nullptr;
      if (close == nullptr) break;  // an element or the end tag: the text ends
      const size_t end = text_.find(close, at);
      if (end == std::string::npos) break;
      at = end + std::char_traits<char>::length(close);
      continue;
    } else if (text_[at] == '&') {
      const size_t semicolon = text_.find(';', at);
      if (semicolon == std::string::npos) break;
      raw = semicolon - at + 1;
      decoded = DecodedLength(text_.substr(at, raw));
    }
    if (text_[at] == '\r' && at + 1 < text_.size() && text_[at + 1] == '\n') raw = 2;  // read as LF
    if (remaining < decoded) return At(at);
    remaining -= decoded;
    at += raw;
  }
  return remaining == 0 ? At(at) : element;  // the end of the text, or past it
}

}  // namespace detail
}  // namespace tarnalert
