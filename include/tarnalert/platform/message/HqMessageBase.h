// platform/message: the message objects and their XML form. Depends on
// platform/text, platform/env and platform/event.
//
// HqMessageBase: the generic message object with an XML text form.
//
// Every message class (the KTGui and App classes of platform/message/Messages.h)
// derives from HqMessageBase and adds no data: all fields live here and are
// reached by number. A field is addressed by its field number, its member
// index (the storage key), the type key of the class that holds it and a field
// key. The classes publish one descriptor per field (IntField, TextField, ...)
// so that callers write `rule.get(KTGui::AlertDetail::severity)` instead of
// repeating the numbers; the descriptors also carry the XML names.
//
// Messages are values: a copy behaves as a copy of the whole tree, a list
// holds full child objects, and a child reached through an accessor is owned
// by its parent. (The library may freeze a tree it decoded once and reads
// from many threads; copies of a frozen tree share it until they change, one
// level at a time, and references handed out stay valid.)
// An integer never set reads as 0, a text never set as empty.
//
// Text form: the root element is the class name, each field an element named
// after the field; see docs/configuration.md. Fields the schema does not name
// survive a round trip unchanged. unserialize checks what it reads (well-formed
// XML, valid UTF-8, the right class, numbers in range, no field twice, bounded
// size and depth) and reports where and why it failed.
//
// A message is not synchronized; share it between threads only read-only.
#ifndef TARNALERT_PLATFORM_MESSAGE_HQMESSAGEBASE_H_
#define TARNALERT_PLATFORM_MESSAGE_HQMESSAGEBASE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tarnalert/platform/Export.h"
#include "tarnalert/platform/message/ParseResult.h"

class HqMessageBase;
using HqMessageList = std::vector<HqMessageBase>;

namespace tarnalert {

// Type key: module in the top 8 bits, class number in the 24 bits below.
constexpr uint32_t MakeTypeKey(int module, int classNumber) {
  return (static_cast<uint32_t>(module) << 24) | (static_cast<uint32_t>(classNumber) & 0xFFFFFFu);
}
// Field key: the holding class's type key with the field number in place of
// the class number's low byte; unique within a class.
constexpr uint32_t MakeFieldKey(uint32_t typeKey, int fieldNumber) {
  return (typeKey << 8) ^ static_cast<uint32_t>(fieldNumber);
}

enum class FieldKind : uint8_t { kInteger, kText, kTextList, kChild, kList };

// Describes one field of one message class. For kChild and kList the child
// module and class give the class of the embedded objects.
struct FieldInfo {
  const char* name;
  FieldKind kind;
  int number;
  int index;
  uint32_t typeKey;
  uint32_t fieldKey;
  int childModule;
  int childClass;
};

// Typed views of a FieldInfo, so that each accessor takes only fields of its kind.
template <FieldKind K>
struct TypedField {
  FieldInfo info;
};
using IntField = TypedField<FieldKind::kInteger>;
using TextField = TypedField<FieldKind::kText>;
using TextListField = TypedField<FieldKind::kTextList>;
using ChildField = TypedField<FieldKind::kChild>;
using ListField = TypedField<FieldKind::kList>;

constexpr FieldInfo MakeFieldInfo(const char* name, FieldKind kind, uint32_t typeKey, int number,
                                  int index, int childModule = 0, int childClass = 0) {
  return FieldInfo{name,        kind,      number, index, typeKey, MakeFieldKey(typeKey, number),
                   childModule, childClass};
}
constexpr IntField MakeIntField(const char* name, uint32_t typeKey, int number, int index) {
  return IntField{MakeFieldInfo(name, FieldKind::kInteger, typeKey, number, index)};
}
constexpr TextField MakeTextField(const char* name, uint32_t typeKey, int number, int index) {
  return TextField{MakeFieldInfo(name, FieldKind::kText, typeKey, number, index)};
}
constexpr TextListField MakeTextListField(const char* name, uint32_t typeKey, int number,
                                          int index) {
  return TextListField{MakeFieldInfo(name, FieldKind::kTextList, typeKey, number, index)};
}
constexpr ChildField MakeChildField(const char* name, uint32_t typeKey, int number, int index,
                                    int childModule, int childClass) {
  return ChildField{
      MakeFieldInfo(name, FieldKind::kChild, typeKey, number, index, childModule, childClass)};
}
constexpr ListField MakeListField(const char* name, uint32_t typeKey, int number, int index,
                                  int childModule, int childClass) {
  return ListField{
      MakeFieldInfo(name, FieldKind::kList, typeKey, number, index, childModule, childClass)};
}

// One message class of the schema: its names and fields, for the text form.
struct ClassInfo {
  const char* qualifiedName;  // "KTGui::AlertDetail"
  const char* xmlName;        // "AlertDetail": the element name in the text form
  int module;
  int classNumber;
  const FieldInfo* fields;
  size_t fieldCount;
};

// The schema's class of (module, class number), or null when it is unknown.
TARNALERT_EXPORT const ClassInfo* FindClass(int module, int classNumber);
// The schema's class with the given element name, or null when it is unknown.
TARNALERT_EXPORT const ClassInfo* FindClassByXmlName(const std::string& xmlName);

namespace detail {
struct FieldValue;     // storage of one field
struct MessageFields;  // storage of a message's fields
}  // namespace detail

}  // namespace tarnalert

class TARNALERT_EXPORT HqMessageBase {
 public:
  using FieldKind = tarnalert::FieldKind;

  // Empty message of (module, class number).
  HqMessageBase(int module, int classNumber);
  HqMessageBase(const HqMessageBase& other);
  HqMessageBase(HqMessageBase&& other) noexcept;
  HqMessageBase& operator=(const HqMessageBase& other);
  HqMessageBase& operator=(HqMessageBase&& other) noexcept;
  virtual ~HqMessageBase();

  int module() const { return module_; }
  int classNumber() const { return classNumber_; }
  // The object's type key (MakeTypeKey of module and class number).
  uint32_t getTagID() const;

  // --- Accessors by number ------------------------------------------------------
  int64_t getint64(int memberIndex, uint32_t typeKey, uint32_t fieldKey) const;
  void setint64(int fieldNumber, int memberIndex, int64_t value, uint32_t typeKey,
                uint32_t fieldKey);
  std::string getstring(int fieldNumber, int memberIndex, uint32_t typeKey,
                        uint32_t fieldKey) const;
  // Lasting reference: valid until the field is set again or the message dies.
  const std::string& getstringByRef(int fieldNumber, int memberIndex, uint32_t typeKey,
                                    uint32_t fieldKey) const;
  void setstring(int fieldNumber, int memberIndex, const std::string& text, uint32_t typeKey,
                 uint32_t fieldKey);
  // Modifiable sequence of texts; created empty when absent and `create` is set,
  // otherwise an empty sequence owned by the message is returned.
  std::vector<std::string>& getliststring(int fieldNumber, int memberIndex, uint32_t typeKey,
                                          uint32_t fieldKey, bool create);
  // Modifiable sequence of child messages, created as for getliststring.
  HqMessageList& getlistobject(int fieldNumber, int memberIndex, uint32_t typeKey,
                               uint32_t fieldKey, bool create);
  // The child message, created empty when absent.
  HqMessageBase& getObjectAccessor(bool create, bool modify, int fieldNumber, int memberIndex,
                                   uint32_t typeKey, uint32_t fieldKey, int childModule,
                                   int childClass);
  // Stores a copy of `child`.
  void setObjectAccessor(const HqMessageBase& child, int fieldNumber, int memberIndex,
                         uint32_t typeKey, uint32_t fieldKey);
  // True once the field has a value (an empty list or text that was set counts).
  bool isSet(int fieldNumber, uint32_t typeKey, uint32_t fieldKey) const;

  // --- Accessors by descriptor ------------------------------------------------
  int64_t get(const tarnalert::IntField& f) const {
    return getint64(f.info.index, f.info.typeKey, f.info.fieldKey);
  }
  void set(const tarnalert::IntField& f, int64_t value) {
    setint64(f.info.number, f.info.index, value, f.info.typeKey, f.info.fieldKey);
  }
  const std::string& get(const tarnalert::TextField& f) const {
    return getstringByRef(f.info.number, f.info.index, f.info.typeKey, f.info.fieldKey);
  }
  void set(const tarnalert::TextField& f, const std::string& text) {
    setstring(f.info.number, f.info.index, text, f.info.typeKey, f.info.fieldKey);
  }
  std::vector<std::string>& list(const tarnalert::TextListField& f) {
    return getliststring(f.info.number, f.info.index, f.info.typeKey, f.info.fieldKey, true);
  }
  HqMessageList& list(const tarnalert::ListField& f) {
    return getlistobject(f.info.number, f.info.index, f.info.typeKey, f.info.fieldKey, true);
  }
  HqMessageBase& child(const tarnalert::ChildField& f) {
    return getObjectAccessor(true, true, f.info.number, f.info.index, f.info.typeKey,
                             f.info.fieldKey, f.info.childModule, f.info.childClass);
  }
  void setChild(const tarnalert::ChildField& f, const HqMessageBase& value) {
    setObjectAccessor(value, f.info.number, f.info.index, f.info.typeKey, f.info.fieldKey);
  }
  // Read-only look-ups that never create: the child or list, or null while
  // the field is unset.
  const HqMessageBase* findChild(const tarnalert::ChildField& f) const;
  const HqMessageList* findList(const tarnalert::ListField& f) const;
  template <tarnalert::FieldKind K>
  bool isSet(const tarnalert::TypedField<K>& f) const {
    return isSet(f.info.number, f.info.typeKey, f.info.fieldKey);
  }

  // --- Text form ------------------------------------------------------------------
  // Writes the XML text of the message into `text`. 0 on success.
  int serialize(std::string& text, bool compact) const;
  // Replaces the fields with those read from `text`, whose root element must
  // name this class. 0 on success; otherwise non-zero (a tarnalert::XmlStatus),
  // the message unchanged, and a debug-log line that says where and why.
  int unserialize(const std::string& text);
  // As unserialize, but logs nothing: the result says where (line, column,
  // byte offset) and why reading failed, and lists the elements the schema
  // does not know (they are kept, as unserialize keeps them).
  tarnalert::ParseResult Parse(const std::string& text);

  // Deep equality of class and fields (unknown fields included).
  bool operator==(const HqMessageBase& other) const;
  bool operator!=(const HqMessageBase& other) const { return !(*this == other); }

 private:
  friend class XMLDecoder;
  friend struct tarnalert::detail::FieldValue;

  int module_;
  int classNumber_;
  // Null while the message is empty; shared by copies only while frozen.
  std::shared_ptr<tarnalert::detail::MessageFields> fields_;
};

// Context of a decode; no caller of this library passes one.
class KtXMLContextInfo {};

// Makes a message object of the class named by a text's root element.
class TARNALERT_EXPORT XMLDecoder {
 public:
  // A new message object that the caller deletes, or null when the text is
  // not a well-formed message of a known class (the reason is logged).
  HqMessageBase* unSerialize(std::string& text, KtXMLContextInfo* context);
};

#endif  // TARNALERT_PLATFORM_MESSAGE_HQMESSAGEBASE_H_
