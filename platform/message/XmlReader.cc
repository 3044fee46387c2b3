#include "platform/message/XmlReader.h"

#include <pugixml.hpp>

#include <array>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/message/MessageFields.h"
#include "platform/message/MessageRegistry.h"
#include "platform/message/XmlScan.h"
#include "platform/message/XmlText.h"
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
  Reader(const std::string& text, std::vector<UnknownElement>* unknown)
      : text_(text), unknown_(unknown) {}

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
        FieldValue::MutableOf(message).MakeRare().unknown.push_back(
            text_.substr(start, end - start));
        if (unknown_ != nullptr) unknown_->push_back(Unknown(node, start));
        continue;
      }
      FieldValue& value = FieldValue::MutableOf(message).Make(field->index);
      if (value.set()) {
        return XmlError::At(kXmlDuplicateField, Offset(node),
                            Tag(field->name) + " given twice in " + Tag(element.name()));
      }
      error = ReadValue(node, *field, depth + 1, &value.data);
      if (!error.ok()) return error;
    }
    return XmlError{};
  }

 private:
  // The record of an unknown element: its way from the root, where each step
  // counts the same-named elements before it.
  static UnknownElement Unknown(const pugi::xml_node& node, size_t offset) {
    UnknownElement element;
    element.where.offset = offset;
    for (pugi::xml_node at = node; at && at.parent() && at.parent().type() == pugi::node_element;
         at = at.parent()) {
      size_t position = 0;
      for (pugi::xml_node before = at.previous_sibling(at.name()); before;
           before = before.previous_sibling(at.name())) {
        ++position;
      }
      element.path.insert(element.path.begin(), XmlPathStep{at.name(), position});
    }
    return element;
  }

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

  // The text content of `element`: its text and CDATA pieces joined, and
  // decoded when `mayBeEncoded` (a text, not a number) and the element is
  // marked encoding="base64".
  XmlError CollectText(const pugi::xml_node& element, bool mayBeEncoded, std::string* text) const {
    bool base64 = false;
    for (pugi::xml_attribute attribute : element.attributes()) {
      if (!mayBeEncoded || base64 || std::strcmp(attribute.name(), kXmlEncodingAttribute) != 0) {
        return XmlError::At(kXmlUnexpectedContent, Offset(element),
                            std::string("attribute '") + attribute.name() + "' on " +
                                Tag(element.name()) + ", which takes " +
                                (mayBeEncoded ? "only 'encoding'" : "none"));
      }
      if (std::strcmp(attribute.value(), kXmlBase64) != 0) {
        return XmlError::At(kXmlBadEncoding, Offset(element),
                            std::string("encoding '") + attribute.value() + "' of " +
                                Tag(element.name()) + " is not base64");
      }
      base64 = true;
    }
    XmlError error = CollectPieces(element, text);
    if (!error.ok() || !base64) return error;
    if (!DecodeXmlBase64(*text, text)) {
      return XmlError::At(kXmlBadEncoding, Offset(element),
                          Tag(element.name()) + " is marked base64 but is not base64");
    }
    return error;
  }

  // The text and CDATA pieces of `element` joined; an element inside is a fault.
  XmlError CollectPieces(const pugi::xml_node& element, std::string* text) const {
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
        error = CollectText(node, false, &text);
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
        error = CollectText(node, true, &text);
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
          error = CollectText(item, true, &text);
          if (!error.ok()) return error;
          items.push_back(std::move(text));
        }
        *data = std::move(items);
        return error;
      }
      case FieldKind::kChild: {
        const ClassInfo* cls = ChildClass(field, &error, node);
        if (cls == nullptr) return error;
        HqMessageBase& child = data->emplace<ChildMessage>(cls->module, cls->classNumber).get();
        return ReadFields(node, *cls, child, depth);
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
  std::vector<UnknownElement>* unknown_;
};

// What a byte can be where the direct reader meets it.
enum ByteClass : uint8_t {
  kBlankByte = 1,
  kNameStartByte = 2,
  kNameByte = 4,
  // Text copied as it stands: ASCII but '<', '&', carriage return and the
  // control characters XML does not allow.
  kPlainTextByte = 8,
};

constexpr std::array<uint8_t, 256> MakeByteClasses() {
  std::array<uint8_t, 256> classes{};
  for (int c = 0x20; c < 0x80; ++c) classes[c] = kPlainTextByte;
  classes['<'] = classes['&'] = 0;
  for (unsigned char c : {'\t', '\n'}) classes[c] = kPlainTextByte | kBlankByte;
  classes[' '] |= kBlankByte;
  classes['\r'] = kBlankByte;
  for (int c = 'a'; c <= 'z'; ++c) classes[c] |= kNameStartByte | kNameByte;
  for (int c = 'A'; c <= 'Z'; ++c) classes[c] |= kNameStartByte | kNameByte;
  for (int c = '0'; c <= '9'; ++c) classes[c] |= kNameByte;
  for (unsigned char c : {'_', ':'}) classes[c] |= kNameStartByte | kNameByte;
  for (unsigned char c : {'-', '.'}) classes[c] |= kNameByte;
  return classes;
}

constexpr std::array<uint8_t, 256> kByteClasses = MakeByteClasses();

bool HasClass(char c, uint8_t byteClass) {
  return (kByteClasses[static_cast<unsigned char>(c)] & byteClass) != 0;
}

// Reads a document straight from its text, without a scan or a tree first.
// It takes only the plain form the writer produces (elements without
// attributes, text with references and line ends, blanks between elements, a
// declaration, comments and processing instructions around the document
// element), checking as it goes every byte it passes as the scan would, and
// gives up, returning false, at anything else or at any fault: a CDATA
// section, a comment inside the document element, an unknown or repeated
// element, a bad number, reference or character, mismatched tags, nesting
// near the limit. The caller then scans the document and reads it through
// the parser, which yields the same message or says what is wrong.
class DirectReader {
 public:
  // With `freeze`, every message read is frozen (FreezeMessage) once its
  // fields are complete; then the root's parts may be taken from `earlier`
  // and kept in `parts` (see ReadDocument).
  DirectReader(std::string_view text, bool freeze, const EarlierReading* earlier, ReadParts* parts)
      : text_(text),
        freeze_(freeze),
        earlier_(freeze ? earlier : nullptr),
        parts_(freeze ? parts : nullptr),
        entries_(kXmlMaxDepth + 1) {}

  bool Read(const ClassInfo* expected, std::unique_ptr<HqMessageBase>* message) {
    if (!SkipAround()) return false;
    std::string_view name;
    bool empty = false;
    if (!StartTag(&name, &empty)) return false;
    const ClassInfo* cls = FindClassByXmlName(std::string(name));
    if (cls == nullptr || (expected != nullptr && cls != expected)) return false;
    if (parts_ != nullptr) parts_->cls = cls;
    if (earlier_ != nullptr && earlier_->parts != nullptr && earlier_->parts->cls == cls) {
      earlierParts_.resize(cls->fieldCount);
      for (const ReadPart& part : earlier_->parts->parts) {
        if (part.field < cls->fieldCount) earlierParts_[part.field].push_back(&part);
      }
    }
    std::unique_ptr<HqMessageBase> fresh = NewMessage(cls->module, cls->classNumber);
    if (!empty && !ReadFields(name, *cls, *fresh, 1)) return false;
    if (!SkipAround() || at_ != text_.size()) return false;
    *message = std::move(fresh);
    return true;
  }

 private:
  bool Starts(std::string_view prefix) const { return text_.substr(at_, prefix.size()) == prefix; }

  // True when `name` spells `stored`, which ends in a NUL (no name read holds one).
  static bool NameIs(const char* stored, std::string_view name) {
    size_t same = 0;
    while (same < name.size() && stored[same] == name[same]) ++same;
    return same == name.size() && stored[same] == '\0';
  }

  void SkipBlanks() {
    while (at_ < text_.size() && HasClass(text_[at_], kBlankByte)) ++at_;
  }

  // Moves past `terminator`, the bytes before it checked; false when it is
  // missing or a byte is not clean.
  bool SkipPast(std::string_view terminator, size_t from) {
    const size_t end = text_.find(terminator, from);
    if (end == std::string_view::npos || !BytesAreClean(text_.data() + at_, end - at_)) {
      return false;
    }
    at_ = end + terminator.size();
    return true;
  }

  // Blanks, comments and processing instructions outside the document
  // element; a byte order mark is left to the parser.
  bool SkipAround() {
    for (;;) {
      SkipBlanks();
      if (Starts("<?")) {
        // The parser wants a target name, then a blank or the end.
        size_t name = at_ + 2;
        while (name < text_.size() && HasClass(text_[name], kNameByte)) ++name;
        if (name == at_ + 2 || !HasClass(text_[at_ + 2], kNameStartByte) ||
            (!Starts("<?xml ") && name < text_.size() && !IsBlank(text_[name]) &&
             text_.substr(name, 2) != "?>")) {
          return false;
        }
        if (!SkipPast("?>", at_ + 2)) return false;
      } else if (Starts("<!--")) {
        if (!SkipPast("-->", at_ + 4)) return false;
      } else {
        return at_ == text_.size() || text_[at_] == '<';
      }
    }
  }

  // At '<': a start tag without attributes.
  bool StartTag(std::string_view* name, bool* empty) {
    if (at_ >= text_.size() || text_[at_] != '<') return false;
    const size_t start = ++at_;
    while (at_ < text_.size() && HasClass(text_[at_], kNameByte)) ++at_;
    *name = text_.substr(start, at_ - start);
    if (name->empty()) return false;
    SkipBlanks();
    *empty = Starts("/>");
    if (*empty) ++at_;
    if (at_ >= text_.size() || text_[at_] != '>') return false;
    ++at_;
    return true;
  }

  // At "</": the end tag of `name`.
  bool EndTag(std::string_view name) {
    if (!Starts("</") || text_.substr(at_ + 2, name.size()) != name) return false;
    at_ += 2 + name.size();
    SkipBlanks();
    if (at_ >= text_.size() || text_[at_] != '>') return false;
    ++at_;
    return true;
  }

  // Text up to the next '<', appended to `out` with references decoded and
  // line ends made LF, as the parser gives it; false at a CDATA section,
  // comment or instruction, or at a byte that is not clean.
  bool Text(std::string* out) {
    const size_t end = text_.find('<', at_);
    if (end == std::string_view::npos) return false;
    // References and line ends only shrink the text: room for the raw text
    // is enough.
    const size_t before = out->size();
    out->resize(before + (end - at_));
    char* const begin = &(*out)[0];
    char* write = begin + before;
    while (at_ < end) {
      size_t run = at_;
      while (run < end && HasClass(text_[run], kPlainTextByte)) ++run;
      std::memcpy(write, text_.data() + at_, run - at_);
      write += run - at_;
      at_ = run;
      if (at_ == end) break;
      const auto c = static_cast<unsigned char>(text_[at_]);
      if (c == '&') {
        uint32_t code = 0;
        const size_t length = ReadReference(text_, at_, &code);
        if (length == 0) return false;
        write = AppendUtf8(code, write);
        at_ += length;
      } else if (c == '\r') {
        *write++ = '\n';
        at_ += Starts("\r\n") ? 2 : 1;
      } else if (c >= 0x80) {
        const size_t length = XmlCharacterLength(text_.data() + at_, end - at_);
        if (length == 0) return false;
        std::memcpy(write, text_.data() + at_, length);
        write += length;
        at_ += length;
      } else {
        return false;  // a control character
      }
    }
    out->resize(static_cast<size_t>(write - begin));
    return !Starts("<!") && !Starts("<?");
  }

  // Writes the UTF-8 form of `code` at `out`; returns the end of what it wrote.
  static char* AppendUtf8(uint32_t code, char* out) {
    if (code < 0x80) {
      *out++ = static_cast<char>(code);
    } else if (code < 0x800) {
      *out++ = static_cast<char>(0xC0 | (code >> 6));
      *out++ = static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      *out++ = static_cast<char>(0xE0 | (code >> 12));
      *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      *out++ = static_cast<char>(0x80 | (code & 0x3F));
    } else {
      *out++ = static_cast<char>(0xF0 | (code >> 18));
      *out++ = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      *out++ = static_cast<char>(0x80 | (code & 0x3F));
    }
    return out;
  }

  // Blanks only, up to the next '<'.
  bool BlanksBetween() {
    SkipBlanks();
    return at_ < text_.size() && text_[at_] == '<' && !Starts("<!") && !Starts("<?");
  }

  // The text of an element whose start tag was read, through its end tag.
  bool ElementText(std::string_view name, bool empty, std::string* out) {
    if (empty) return true;
    return Text(out) && EndTag(name);
  }

  // An integer in the form the writer gives it, an optional '-' and at most
  // 18 decimal digits (which cannot overflow), read in place; false for
  // anything else, which ParseInteger then decides on.
  static bool ReadPlainDecimal(std::string_view text, int64_t* value) {
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) text.remove_prefix(1);
    if (text.empty() || text.size() > 18) return false;
    int64_t number = 0;
    for (char c : text) {
      if (c < '0' || c > '9') return false;
      number = number * 10 + (c - '0');
    }
    *value = negative ? -number : number;
    return true;
  }

  // The field of `cls` named `name`. The writer's order is tried first: the
  // field at `*next`, which then moves past the field found.
  static const FieldInfo* FieldNamed(const ClassInfo& cls, std::string_view name, size_t* next) {
    auto named = [&](size_t i) { return NameIs(cls.fields[i].name, name); };
    size_t found = *next;
    if (found >= cls.fieldCount || !named(found)) {
      for (found = 0; found < cls.fieldCount && !named(found); ++found) {
      }
      if (found == cls.fieldCount) return nullptr;
    }
    *next = found + 1;
    return &cls.fields[found];
  }

  // Marks the fields of `message`, whose children are frozen already.
  static void Freeze(const HqMessageBase& message) {
    if (const MessageFields* fields = FieldValue::Of(message)) {
      const_cast<MessageFields*>(fields)->frozen = true;  // the reader's own, not shared yet
    }
  }

  // Reads the part at the reader's place, the item `item` of the root's field
  // at `field` (0 for a child), into `message` with `read`: an earlier part
  // whose text stands here unchanged is taken instead. The part read or
  // taken is kept when parts are kept.
  template <class Read>
  bool ReadRootPart(size_t field, size_t item, HqMessageBase& message, Read read) {
    const size_t begin = at_;
    const ReadPart* earlier = field < earlierParts_.size() && item < earlierParts_[field].size()
                                  ? earlierParts_[field][item]
                                  : nullptr;
    if (earlier != nullptr &&
        text_.compare(at_, earlier->end - earlier->begin,
                      earlier_->text.substr(earlier->begin, earlier->end - earlier->begin)) == 0) {
      message = earlier->message;
      at_ += earlier->end - earlier->begin;
    } else {
      // Storage of the part's own, so that a later reading can take it alone.
      FieldArenaHold own(FieldArena::Create());
      arena_.swap(own);
      const bool ok = read();
      arena_.swap(own);
      if (!ok) return false;
    }
    if (parts_ != nullptr) parts_->parts.push_back(ReadPart{field, begin, at_, message});
    return true;
  }

  // The fields of `message` up to the end tag of `element`.
  bool ReadFields(std::string_view element, const ClassInfo& cls, HqMessageBase& message,
                  int depth) {
    // The element is `depth` deep and its fields' items two more; leave
    // anything near the scan's limit to the scan.
    if (depth + 2 > kXmlMaxDepth) return false;
    size_t next = 0;
    for (;;) {
      if (!BlanksBetween()) return false;
      if (Starts("</")) {
        if (freeze_) Freeze(message);
        return EndTag(element);
      }
      std::string_view name;
      bool empty = false;
      if (!StartTag(&name, &empty)) return false;
      const FieldInfo* field = FieldNamed(cls, name, &next);
      if (field == nullptr) return false;
      FieldValue& value = FieldValue::MutableOf(message, arena_.get()).Make(field->index);
      // The root's children and list items are the parts (depth 1: the root).
      const size_t part = depth == 1 && (parts_ != nullptr || !earlierParts_.empty())
                              ? static_cast<size_t>(field - cls.fields)
                              : kNoPart;
      if (value.set() || !ReadValue(name, empty, *field, depth + 1, part, &value.data)) {
        return false;
      }
    }
  }

  static constexpr size_t kNoPart = ~size_t{0};

  // `part`: the field's position in the root's class when its values are
  // parts, else kNoPart.
  bool ReadValue(std::string_view name, bool empty, const FieldInfo& field, int depth, size_t part,
                 FieldData* data) {
    switch (field.kind) {
      case FieldKind::kInteger: {
        int64_t number = 0;
        const size_t end = empty ? std::string_view::npos : text_.find('<', at_);
        if (end != std::string_view::npos &&
            ReadPlainDecimal(text_.substr(at_, end - at_), &number)) {
          at_ = end;
          if (!EndTag(name)) return false;
        } else {
          std::string text;
          if (!ElementText(name, empty, &text) || ParseInteger(text, &number) != kXmlOk) {
            return false;
          }
        }
        *data = number;
        return true;
      }
      case FieldKind::kText: {
        std::string text;
        if (!ElementText(name, empty, &text)) return false;
        *data = std::move(text);
        return true;
      }
      case FieldKind::kTextList: {
        std::vector<std::string> items;
        while (!empty) {
          if (!BlanksBetween()) return false;
          if (Starts("</")) {
            if (!EndTag(name)) return false;
            break;
          }
          std::string_view item;
          bool itemEmpty = false;
          if (!StartTag(&item, &itemEmpty) || !NameIs("item", item)) return false;
          items.emplace_back();
          if (!ElementText(item, itemEmpty, &items.back())) return false;
        }
        *data = std::move(items);
        return true;
      }
      case FieldKind::kChild: {
        const ClassInfo* cls = FindClass(field.childModule, field.childClass);
        if (cls == nullptr) return false;
        HqMessageBase& child = data->emplace<ChildMessage>(cls->module, cls->classNumber).get();
        if (empty) return true;
        if (part == kNoPart) return ReadFields(name, *cls, child, depth);
        return ReadRootPart(part, 0, child, [&] { return ReadFields(name, *cls, child, depth); });
      }
      case FieldKind::kList: {
        const ClassInfo* cls = FindClass(field.childModule, field.childClass);
        if (cls == nullptr) return false;
        // Entries are gathered in the buffer of this depth (lists nested in
        // them use deeper ones) and then moved into a list of the exact size.
        HqMessageList& entries = entries_[static_cast<size_t>(depth)];
        entries.clear();
        auto readEntry = [&] {
          std::string_view entry;
          bool entryEmpty = false;
          if (!StartTag(&entry, &entryEmpty) || !NameIs(cls->xmlName, entry)) return false;
          return entryEmpty || ReadFields(entry, *cls, entries.back(), depth + 1);
        };
        while (!empty) {
          if (!BlanksBetween()) return false;
          if (Starts("</")) {
            if (!EndTag(name)) return false;
            break;
          }
          const size_t item = entries.size();
          entries.emplace_back(cls->module, cls->classNumber);
          if (!(part == kNoPart ? readEntry()
                                : ReadRootPart(part, item, entries.back(), readEntry))) {
            return false;
          }
        }
        *data = HqMessageList(std::make_move_iterator(entries.begin()),
                              std::make_move_iterator(entries.end()));
        entries.clear();
        return true;
      }
    }
    return false;
  }

  std::string_view text_;
  size_t at_ = 0;
  bool freeze_;
  const EarlierReading* earlier_;
  ReadParts* parts_;
  // The earlier reading's parts by the position of their field in the root's
  // class, each field's in order; empty when none may be taken.
  std::vector<std::vector<const ReadPart*>> earlierParts_;
  // The fields of the messages read; freed with the last of them.
  FieldArenaHold arena_{FieldArena::Create()};
  std::vector<HqMessageList> entries_;  // by depth: the entries of a list being read
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
                      std::unique_ptr<HqMessageBase>* message, std::vector<UnknownElement>* unknown,
                      bool freeze, const EarlierReading* earlier, ReadParts* parts) {
  if (text.size() <= kXmlMaxDocumentSize &&
      DirectReader(text, freeze, earlier, parts).Read(expected, message)) {
    return XmlError{};
  }
  if (parts != nullptr) *parts = ReadParts();  // the parser keeps none
  XmlError error = ScanDocument(text.data(), text.size());
  if (error.ok()) error = ParseDocument(text, expected, message, unknown);
  if (error.ok() && freeze) FreezeMessage(**message);
  return error;
}

XmlError ParseDocument(const std::string& text, const ClassInfo* expected,
                       std::unique_ptr<HqMessageBase>* message,
                       std::vector<UnknownElement>* unknown) {
  XmlError error;
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
  Reader reader(text, unknown);
  error = reader.ReadFields(root, *cls, *fresh, 1);
  if (error.ok()) *message = std::move(fresh);
  return error;
}

}  // namespace detail
}  // namespace tarnalert
