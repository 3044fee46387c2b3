#include "platform/message/XmlReader.h"

#include <pugixml.hpp>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/message/MessageFields.h"
#include "platform/message/MessageRegistry.h"
#include "platform/message/XmlScan.h"
#include "platform/text/Numbers.h"

namespace tarnalert {
namespace detail {
namespace {

// Keep blank-only text (a text field may be all blanks), turn literal CR LF
// into LF as XML requires (a CR the writer meant is a character reference).
constexpr unsigned kParseFlags =
    pugi::parse_cdata | pugi::parse_escapes | pugi::parse_eol | pugi::parse_ws_pcdata;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool IsBlankText(const char* text) {
  for (; *text != 0; ++text) {
    if (!IsBlank(*text)) return false;
  }
  return true;
}

std::string Tag(const char* name) { return std::string("<") + name + ">"; }

class Reader {
 public:
  explicit Reader(const std::string& text) : text_(text) {}

  // Fills `message` (of class `cls`) from the children of `element`, found at
  // nesting depth `depth`.
  XmlError ReadFields(const pugi::xml_node& element, const ClassInfo& cls, HqMessageBase& message,
                      int depth) {
    if (depth > kXmlMaxDepth) {
      return XmlError::At(kXmlTooDeep, Offset(element), "elements nested too deep");
    }
    XmlError error = CheckNoAttribute(element);
    if (!error.ok()) return error;
    for (pugi::xml_node node = element.first_child(); node; node = node.next_sibling()) {
      if (node.type() != pugi::node_element) {
        error = CheckBlank(node, element);
        if (!error.ok()) return error;
        continue;
      }
      const FieldInfo* field = FindFieldByName(cls, node.name());
      if (field == nullptr) {
        const size_t start = Offset(node);
        const size_t end = FindElementEnd(text_.data(), text_.size(), start);
        FieldValue::MutableOf(message).unknown.push_back(text_.substr(start, end - start));
        continue;
      }
      FieldValue& value = FieldValue::MutableOf(message).Make(field->index);
      if (value.set) {
        return XmlError::At(kXmlDuplicateField, Offset(node),
                            Tag(field->name) + " given twice in " + Tag(element.name()));
      }
      error = ReadValue(node, *field, depth + 1, &value.data);
      if (!error.ok()) return error;
      value.set = true;
      value.number = field->number;
    }
    return XmlError{};
  }

 private:
  size_t Offset(const pugi::xml_node& node) const {
    const ptrdiff_t offset = node.offset_debug();
    if (offset <= 0) return 0;
    // An element's offset is that of its name; report its '<'.
    return static_cast<size_t>(node.type() == pugi::node_element ? offset - 1 : offset);
  }

  XmlError CheckNoAttribute(const pugi::xml_node& element) const {
    if (pugi::xml_attribute attribute = element.first_attribute()) {
      return XmlError::At(kXmlUnexpectedContent, Offset(element),
                          std::string("attribute '") + attribute.name() + "' on " +
                              Tag(element.name()) + ", which takes none");
    }
    return XmlError{};
  }

  // Text between the elements of a container may only be blanks.
  XmlError CheckBlank(const pugi::xml_node& node, const pugi::xml_node& container) const {
    if ((node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) &&
        !IsBlankText(node.value())) {
      return XmlError::At(kXmlUnexpectedContent, Offset(node),
                          "text in " + Tag(container.name()) + ", where only elements belong");
    }
    return XmlError{};
  }

  // The text content of `element`: its text and CDATA pieces joined.
  XmlError CollectText(const pugi::xml_node& element, std::string* text) const {
    XmlError error = CheckNoAttribute(element);
    if (!error.ok()) return error;
    for (pugi::xml_node node = element.first_child(); node; node = node.next_sibling()) {
      if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) {
        text->append(node.value());
      } else if (node.type() == pugi::node_element) {
        return XmlError::At(
            kXmlUnexpectedContent, Offset(node),
            "element " + Tag(node.name()) + " inside the text of " + Tag(element.name()));
      }
    }
    return XmlError{};
  }

  const ClassInfo* ChildClass(const FieldInfo& field, XmlError* error,
                              const pugi::xml_node& node) const {
    const ClassInfo* cls = FindClass(field.childModule, field.childClass);
    if (cls == nullptr) {
      *error = XmlError::At(kXmlUnknownClass, Offset(node),
                            Tag(field.name) + " holds a class that has no text form");
    }
    return cls;
  }

  XmlError ReadValue(const pugi::xml_node& node, const FieldInfo& field, int depth,
                     FieldData* data) {
    XmlError error;
    switch (field.kind) {
      case FieldKind::kInteger: {
        std::string text;
        error = CollectText(node, &text);
        if (!error.ok()) return error;
        int64_t value = 0;
        const XmlStatus status = ParseInteger(text, &value);
        if (status == kXmlBadNumber) {
          return XmlError::At(status, Offset(node), Tag(field.name) + " is not a number");
        }
        if (status != kXmlOk) {
          return XmlError::At(status, Offset(node),
                              Tag(field.name) + " is out of the 64-bit integer range");
        }
        *data = value;
        return error;
      }
      case FieldKind::kText: {
        std::string text;
        error = CollectText(node, &text);
        if (error.ok()) *data = std::move(text);
        return error;
      }
      case FieldKind::kTextList: {
        error = CheckNoAttribute(node);
        if (!error.ok()) return error;
        std::vector<std::string> items;
        for (pugi::xml_node item = node.first_child(); item; item = item.next_sibling()) {
          if (item.type() != pugi::node_element) {
            error = CheckBlank(item, node);
            if (!error.ok()) return error;
            continue;
          }
          if (std::strcmp(item.name(), "item") != 0) {
            return XmlError::At(
                kXmlBadListEntry, Offset(item),
                Tag(item.name()) + " in " + Tag(field.name) + ", where only <item> belongs");
          }
          std::string text;
          error = CollectText(item, &text);
          if (!error.ok()) return error;
          items.push_back(std::move(text));
        }
        *data = std::move(items);
        return error;
      }
      case FieldKind::kChild: {
        const ClassInfo* cls = ChildClass(field, &error, node);
        if (cls == nullptr) return error;
        std::unique_ptr<HqMessageBase> child = NewMessage(cls->module, cls->classNumber);
        error = ReadFields(node, *cls, *child, depth);
        if (error.ok()) *data = ChildPtr(std::move(child));
        return error;
      }
      case FieldKind::kList: {
        const ClassInfo* cls = ChildClass(field, &error, node);
        if (cls == nullptr) return error;
        error = CheckNoAttribute(node);
        if (!error.ok()) return error;
        HqMessageList entries;
        for (pugi::xml_node item = node.first_child(); item; item = item.next_sibling()) {
          if (item.type() != pugi::node_element) {
            error = CheckBlank(item, node);
            if (!error.ok()) return error;
            continue;
          }
          if (std::strcmp(item.name(), cls->xmlName) != 0) {
            return XmlError::At(kXmlBadListEntry, Offset(item),
                                Tag(item.name()) + " in " + Tag(field.name) + ", where only " +
                                    Tag(cls->xmlName) + " belongs");
          }
          entries.emplace_back(cls->module, cls->classNumber);
          error = ReadFields(item, *cls, entries.back(), depth + 1);
          if (!error.ok()) return error;
        }
        *data = std::move(entries);
        return error;
      }
    }
    return error;
  }

  const std::string& text_;
};

}  // namespace

XmlStatus ParseInteger(const std::string& text, int64_t* value) {
  size_t at = 0;
  size_t end = text.size();
  while (at < end && IsBlank(text[at])) ++at;
  while (end > at && IsBlank(text[end - 1])) --end;
  bool negative = false;
  if (at < end && (text[at] == '+' || text[at] == '-')) {
    negative = text[at] == '-';
    ++at;
  }
  const unsigned base = ReadBasePrefix(text, &at, end);
  if (at == end) return kXmlBadNumber;
  const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  const DigitRun run = ReadDigits(text, at, end, base, limit);
  if (run.end != end) return kXmlBadNumber;
  if (run.overflow) return kXmlNumberOutOfRange;
  // Two's complement: the magnitude 2^63 of a negative number is INT64_MIN.
  *value = negative ? static_cast<int64_t>(0 - run.value) : static_cast<int64_t>(run.value);
  return kXmlOk;
}

XmlError ReadDocument(const std::string& text, const ClassInfo* expected,
                      std::unique_ptr<HqMessageBase>* message) {
  XmlError error = ScanDocument(text.data(), text.size());
  if (!error.ok()) return error;
  pugi::xml_document document;
  const pugi::xml_parse_result result =
      document.load_buffer(text.data(), text.size(), kParseFlags, pugi::encoding_utf8);
  if (!result) {
    return XmlError::At(kXmlMalformed, static_cast<size_t>(result.offset), result.description());
  }
  const pugi::xml_node root = document.document_element();
  const ClassInfo* cls = FindClassByXmlName(root.name());
  const size_t rootOffset =
      root.offset_debug() > 0 ? static_cast<size_t>(root.offset_debug() - 1) : 0;
  if (expected != nullptr && cls != expected) {
    return XmlError::At(kXmlWrongClass, rootOffset,
                        "root element " + Tag(root.name()) + " is not " + Tag(expected->xmlName));
  }
  if (cls == nullptr) {
    return XmlError::At(kXmlWrongClass, rootOffset,
                        "root element " + Tag(root.name()) + " names no message class");
  }
  std::unique_ptr<HqMessageBase> fresh = NewMessage(cls->module, cls->classNumber);
  Reader reader(text);
  error = reader.ReadFields(root, *cls, *fresh, 1);
  if (error.ok()) *message = std::move(fresh);
  return error;
}

}  // namespace detail
}  // namespace tarnalert
