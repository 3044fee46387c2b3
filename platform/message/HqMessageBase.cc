// Storage and accessors of HqMessageBase; the text form is in
// platform/message/XmlReader.cc and XmlWriter.cc.
#include "tarnalert/platform/message/HqMessageBase.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <memory>
#include <utility>

#include "platform/env/NoDestructor.h"
#include "platform/message/MessageFields.h"
#include "platform/message/MessageRegistry.h"
#include "platform/message/XmlReader.h"
#include "platform/message/XmlStatus.h"
#include "platform/message/XmlWriter.h"
#include "tarnalert/platform/event/EvEvent.h"

using tarnalert::FieldKind;
using tarnalert::detail::ChildMessage;
using tarnalert::detail::FieldArena;
using tarnalert::detail::FieldData;
using tarnalert::detail::FieldValue;
using tarnalert::detail::MessageFields;

namespace {

// Fields with room for `N` slots in the same allocation.
template <size_t N>
struct FieldsWithSlots : MessageFields {
  explicit FieldsWithSlots(const tarnalert::detail::FieldLayout* layout)
      : MessageFields(layout, values) {}
  FieldValue values[N];
};

template <>
struct FieldsWithSlots<0> : MessageFields {
  explicit FieldsWithSlots(const tarnalert::detail::FieldLayout* layout)
      : MessageFields(layout, nullptr) {}
};

template <size_t N>
std::shared_ptr<MessageFields> MakeFields(const tarnalert::detail::FieldLayout* layout,
                                          FieldArena* arena) {
  if (arena == nullptr) return std::make_shared<FieldsWithSlots<N>>(layout);
  return std::allocate_shared<FieldsWithSlots<N>>(
      tarnalert::detail::FieldArenaAllocator<FieldsWithSlots<N>>(arena), layout);
}

template <size_t... N>
constexpr auto FieldMakers(std::index_sequence<N...>) {
  return std::array<std::shared_ptr<MessageFields> (*)(const tarnalert::detail::FieldLayout*,
                                                       FieldArena*),
                    sizeof...(N)>{&MakeFields<N>...};
}

// Empty fields for a message of `layout` (null: a class not in the
// registry), its slots in the same allocation, taken from `arena` when given.
std::shared_ptr<MessageFields> NewFields(const tarnalert::detail::FieldLayout* layout,
                                         FieldArena* arena = nullptr) {
  static constexpr auto kMakers =
      FieldMakers(std::make_index_sequence<tarnalert::detail::FieldLayout::kMostFields + 1>{});
  return kMakers[layout ? layout->cls->fieldCount : 0](layout, arena);
}

}  // namespace

namespace tarnalert {
namespace detail {

void* FieldArena::Allocate(size_t size) {
  constexpr size_t kAlignment = alignof(std::max_align_t);
  // Blocks start small, for the many short messages, and grow for large trees.
  constexpr size_t kFirstBlock = 1024;
  constexpr size_t kLargestBlock = 64 * 1024;
  size = (size + kAlignment - 1) & ~(kAlignment - 1);
  if (size > left_) {
    blockSize_ = std::min(blockSize_ == 0 ? kFirstBlock : blockSize_ * 2, kLargestBlock);
    const size_t length = std::max(size, blockSize_);
    blocks_.emplace_back(new char[length]);  // left uninitialized
    next_ = blocks_.back().get();
    left_ = length;
  }
  void* memory = next_;
  next_ += size;
  left_ -= size;
  holds_.fetch_add(1, std::memory_order_relaxed);  // the caller holds one already
  return memory;
}

const MessageFields* FieldValue::Of(const HqMessageBase& message) { return message.fields_.get(); }

MessageFields& FieldValue::MutableOf(HqMessageBase& message, FieldArena* arena) {
  if (!message.fields_) {
    message.fields_ = NewFields(FindLayout(message.module(), message.classNumber()), arena);
  }
  return MutableOf(message);
}

MessageFields& FieldValue::MutableOf(HqMessageBase& message) {
  if (!message.fields_) {
    message.fields_ = NewFields(FindLayout(message.module(), message.classNumber()));
  } else if (message.fields_->frozen) {
    // Copy one level: the children stay shared (and frozen) until changed.
    std::shared_ptr<MessageFields> own = NewFields(message.fields_->layout);
    own->CopyValue(*message.fields_);
    own->MakeRare().base = std::move(message.fields_);
    message.fields_ = std::move(own);
  }
  return *message.fields_;
}

void FreezeMessage(HqMessageBase& message) {
  // Unfrozen fields belong to `message` alone, so they may be changed here.
  auto* fields = const_cast<MessageFields*>(FieldValue::Of(message));
  if (fields == nullptr || fields->frozen) return;
  fields->ForEach([](int, const FieldValue& value) {
    if (auto* child = std::get_if<ChildMessage>(&value.data)) {
      // The child belongs to the unfrozen fields, so it may change.
      FreezeMessage(const_cast<HqMessageBase&>(child->get()));
    } else if (auto* list = std::get_if<HqMessageList>(&value.data)) {
      // The list belongs to the unfrozen fields, so its elements may change.
      for (HqMessageBase& element : const_cast<HqMessageList&>(*list)) FreezeMessage(element);
    }
  });
  fields->frozen = true;
}

}  // namespace detail
}  // namespace tarnalert

namespace {

const std::string& EmptyText() {
  static tarnalert::NoDestructor<const std::string> empty;  // references outlive exit
  return *empty;
}

// The stored value of `memberIndex` when it has kind `kind`, else null.
const FieldValue* Find(const MessageFields* fields, int memberIndex, FieldKind kind) {
  if (fields == nullptr) return nullptr;
  const FieldValue* value = fields->At(memberIndex);
  if (value == nullptr || !value->set() || value->kind() != kind) return nullptr;
  return value;
}

// The stored value of `memberIndex` with kind `kind`: the present one, or
// `initial` when the field is absent or holds another kind (which it replaces;
// only a caller passing the wrong descriptor does that).
FieldValue& Put(MessageFields& fields, int fieldNumber, int memberIndex, FieldKind kind,
                FieldData initial) {
  FieldValue& value = fields.Make(memberIndex);
  if (!value.set() || value.kind() != kind) value.data = std::move(initial);
  fields.SetNumber(memberIndex, fieldNumber);
  return value;
}

// The stored value of `memberIndex` in fields that may be changed, when it
// has kind `kind`; else null.
FieldValue* FindToChange(MessageFields& fields, int memberIndex, FieldKind kind) {
  return const_cast<FieldValue*>(Find(&fields, memberIndex, kind));
}

void LogFailure(const char* tag, const char* className, const std::string& reason) {
  EvDebug().Error(tag, "%s: %s", className, reason.c_str());
}

}  // namespace

HqMessageBase::HqMessageBase(int module, int classNumber)
    : module_(module), classNumber_(classNumber) {}

HqMessageBase::HqMessageBase(const HqMessageBase& other)
    : module_(other.module_), classNumber_(other.classNumber_) {
  if (other.fields_ && other.fields_->frozen) {
    fields_ = other.fields_;
  } else if (other.fields_ && other.fields_->HoldsValue()) {
    fields_ = NewFields(other.fields_->layout);
    fields_->CopyValue(*other.fields_);
  }
}

HqMessageBase::HqMessageBase(HqMessageBase&& other) noexcept
    : module_(other.module_), classNumber_(other.classNumber_), fields_(std::move(other.fields_)) {}

HqMessageBase& HqMessageBase::operator=(const HqMessageBase& other) {
  if (this != &other) *this = HqMessageBase(other);
  return *this;
}

HqMessageBase& HqMessageBase::operator=(HqMessageBase&& other) noexcept {
  module_ = other.module_;
  classNumber_ = other.classNumber_;
  fields_ = std::move(other.fields_);
  return *this;
}

HqMessageBase::~HqMessageBase() = default;

uint32_t HqMessageBase::getTagID() const { return tarnalert::MakeTypeKey(module_, classNumber_); }

int64_t HqMessageBase::getint64(int memberIndex, uint32_t, uint32_t) const {
  const FieldValue* value = Find(fields_.get(), memberIndex, FieldKind::kInteger);
  return value == nullptr ? 0 : std::get<int64_t>(value->data);
}

void HqMessageBase::setint64(int fieldNumber, int memberIndex, int64_t value, uint32_t, uint32_t) {
  FieldValue& stored =
      Put(FieldValue::MutableOf(*this), fieldNumber, memberIndex, FieldKind::kInteger, int64_t{0});
  std::get<int64_t>(stored.data) = value;
}

std::string HqMessageBase::getstring(int fieldNumber, int memberIndex, uint32_t typeKey,
                                     uint32_t fieldKey) const {
  return getstringByRef(fieldNumber, memberIndex, typeKey, fieldKey);
}

const std::string& HqMessageBase::getstringByRef(int, int memberIndex, uint32_t, uint32_t) const {
  const FieldValue* value = Find(fields_.get(), memberIndex, FieldKind::kText);
  return value == nullptr ? EmptyText() : std::get<std::string>(value->data);
}

void HqMessageBase::setstring(int fieldNumber, int memberIndex, const std::string& text, uint32_t,
                              uint32_t) {
  // Copy first: `text` may be this very field.
  std::string copy = text;
  FieldValue& stored =
      Put(FieldValue::MutableOf(*this), fieldNumber, memberIndex, FieldKind::kText, std::string());
  std::get<std::string>(stored.data) = std::move(copy);
}

std::vector<std::string>& HqMessageBase::getliststring(int fieldNumber, int memberIndex, uint32_t,
                                                       uint32_t, bool create) {
  MessageFields& fields = FieldValue::MutableOf(*this);
  if (!create) {
    if (FieldValue* value = FindToChange(fields, memberIndex, FieldKind::kTextList)) {
      return std::get<std::vector<std::string>>(value->data);
    }
    fields.MakeRare().absentTexts.clear();
    return fields.rare->absentTexts;
  }
  FieldValue& stored =
      Put(fields, fieldNumber, memberIndex, FieldKind::kTextList, std::vector<std::string>());
  return std::get<std::vector<std::string>>(stored.data);
}

HqMessageList& HqMessageBase::getlistobject(int fieldNumber, int memberIndex, uint32_t, uint32_t,
                                            bool create) {
  MessageFields& fields = FieldValue::MutableOf(*this);
  if (!create) {
    if (FieldValue* value = FindToChange(fields, memberIndex, FieldKind::kList)) {
      return std::get<HqMessageList>(value->data);
    }
    fields.MakeRare().absentObjects.clear();
    return fields.rare->absentObjects;
  }
  FieldValue& stored = Put(fields, fieldNumber, memberIndex, FieldKind::kList, HqMessageList());
  return std::get<HqMessageList>(stored.data);
}

HqMessageBase& HqMessageBase::getObjectAccessor(bool, bool, int fieldNumber, int memberIndex,
                                                uint32_t, uint32_t, int childModule,
                                                int childClass) {
  MessageFields& fields = FieldValue::MutableOf(*this);
  if (FieldValue* value = FindToChange(fields, memberIndex, FieldKind::kChild)) {
    return std::get<ChildMessage>(value->data).get();
  }
  FieldValue& stored = Put(fields, fieldNumber, memberIndex, FieldKind::kChild,
                           ChildMessage(childModule, childClass));
  return std::get<ChildMessage>(stored.data).get();
}

void HqMessageBase::setObjectAccessor(const HqMessageBase& child, int fieldNumber, int memberIndex,
                                      uint32_t, uint32_t) {
  // Copy first: `child` may live inside this message.
  ChildMessage copy(child.module(), child.classNumber());
  copy.get() = child;
  MessageFields& fields = FieldValue::MutableOf(*this);
  fields.Make(memberIndex).data = std::move(copy);
  fields.SetNumber(memberIndex, fieldNumber);
}

const HqMessageBase* HqMessageBase::findChild(const tarnalert::ChildField& f) const {
  const FieldValue* value = Find(fields_.get(), f.info.index, FieldKind::kChild);
  return value == nullptr ? nullptr : &std::get<ChildMessage>(value->data).get();
}

const HqMessageList* HqMessageBase::findList(const tarnalert::ListField& f) const {
  const FieldValue* value = Find(fields_.get(), f.info.index, FieldKind::kList);
  return value == nullptr ? nullptr : &std::get<HqMessageList>(value->data);
}

bool HqMessageBase::isSet(int fieldNumber, uint32_t, uint32_t) const {
  if (!fields_) return false;
  bool found = false;
  fields_->ForEach([&](int memberIndex, const FieldValue&) {
    found = found || fields_->NumberAt(memberIndex) == fieldNumber;
  });
  return found;
}

int HqMessageBase::serialize(std::string& text, bool compact) const {
  std::string out;
  std::string problem;
  const tarnalert::XmlStatus status =
      tarnalert::detail::WriteMessage(*this, compact, &out, &problem);
  text = std::move(out);
  if (status != tarnalert::kXmlOk) {
    const tarnalert::ClassInfo* cls = tarnalert::FindClass(module_, classNumber_);
    LogFailure("HqMessageBase::serialize", cls ? cls->qualifiedName : "HqMessageBase", problem);
  }
  return status;
}

namespace {

// Parse of `message`; with `freeze`, the fields read come out frozen, and
// parts may be taken from `earlier` and kept in `parts`.
tarnalert::ParseResult ParseInto(HqMessageBase& message, const std::string& text, bool freeze,
                                 const tarnalert::detail::EarlierReading* earlier = nullptr,
                                 tarnalert::detail::ReadParts* parts = nullptr) {
  tarnalert::ParseResult result;
  const tarnalert::ClassInfo* cls = tarnalert::FindClass(message.module(), message.classNumber());
  if (cls == nullptr) {
    result.status = tarnalert::kXmlUnknownClass;
    result.reason = "class (" + std::to_string(message.module()) + ", " +
                    std::to_string(message.classNumber()) + ") has no text form";
    return result;
  }
  std::unique_ptr<HqMessageBase> fresh;
  const tarnalert::detail::XmlError error = tarnalert::detail::ReadDocument(
      text, cls, &fresh, &result.unknownElements, freeze, earlier, parts);
  if (!error.ok()) {
    result.status = error.status;
    result.where = tarnalert::PositionInText(text, error.offset);
    result.reason = error.reason;
    result.unknownElements.clear();
    return result;
  }
  // The unknown elements are in document order: locate them in one pass.
  tarnalert::TextPosition previous;
  for (tarnalert::UnknownElement& element : result.unknownElements) {
    element.where = tarnalert::detail::AdvancePosition(text, previous, element.where.offset);
    previous = element.where;
  }
  message = std::move(*fresh);  // of the same class: its fields are taken over
  return result;
}

// unserialize of `message`; with `freeze`, the fields read come out frozen.
int UnserializeInto(HqMessageBase& message, const std::string& text, bool freeze,
                    const tarnalert::detail::EarlierReading* earlier = nullptr,
                    tarnalert::detail::ReadParts* parts = nullptr) {
  const tarnalert::ParseResult result = ParseInto(message, text, freeze, earlier, parts);
  if (!result.ok()) {
    const tarnalert::ClassInfo* cls = tarnalert::FindClass(message.module(), message.classNumber());
    LogFailure("HqMessageBase::unserialize", cls != nullptr ? cls->qualifiedName : "HqMessageBase",
               result.where.line == 0 ? result.reason : result.Description());
  }
  return result.status;
}

}  // namespace

tarnalert::ParseResult HqMessageBase::Parse(const std::string& text) {
  return ParseInto(*this, text, false);
}

int HqMessageBase::unserialize(const std::string& text) {
  return UnserializeInto(*this, text, false);
}

int tarnalert::detail::UnserializeFrozen(HqMessageBase& message, const std::string& text,
                                         const EarlierReading* earlier, ReadParts* parts) {
  return UnserializeInto(message, text, true, earlier, parts);
}

bool HqMessageBase::operator==(const HqMessageBase& other) const {
  if (module_ != other.module_ || classNumber_ != other.classNumber_) return false;
  if (fields_ == other.fields_) return true;
  const bool holds = fields_ && fields_->HoldsValue();
  const bool otherHolds = other.fields_ && other.fields_->HoldsValue();
  if (!holds || !otherHolds) return holds == otherHolds;
  return fields_->SameValue(*other.fields_);
}

HqMessageBase* XMLDecoder::unSerialize(std::string& text, KtXMLContextInfo*) {
  std::unique_ptr<HqMessageBase> message;
  const tarnalert::detail::XmlError error =
      tarnalert::detail::ReadDocument(text, nullptr, &message);
  if (!error.ok()) {
    tarnalert::ParseResult result;
    result.status = error.status;
    result.where = tarnalert::PositionInText(text, error.offset);
    result.reason = error.reason;
    LogFailure("XMLDecoder::unSerialize", "message text", result.Description());
    return nullptr;
  }
  return message.release();
}
