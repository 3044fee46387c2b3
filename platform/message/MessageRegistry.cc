// The class registry: one entry per class of platform/message/Messages.h, built at
// compile time from the classes' field descriptors. Also defines the public
// look-ups FindClass and FindClassByXmlName of HqMessageBase.h.
#include "platform/message/MessageRegistry.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>

#include "tarnalert/platform/message/Messages.h"

namespace tarnalert {
namespace detail {
namespace {

using Positions = std::array<int8_t, FieldLayout::kIndexLimit>;

struct RegisteredClass {
  ClassInfo info;
  HqMessageBase* (*make)();
  HqMessageBase* (*construct)(void* where);
  Positions positions;
};

template <class T>
constexpr Positions PositionsOf() {
  static_assert(std::size(T::kFields) <= FieldLayout::kMostFields, "raise kMostFields");
  Positions positions{};
  for (int8_t& position : positions) position = -1;
  for (size_t i = 0; i < std::size(T::kFields); ++i) {
    positions[static_cast<size_t>(T::kFields[i].index)] = static_cast<int8_t>(i);
  }
  return positions;
}

template <class T>
HqMessageBase* Make() {
  return new T;
}

template <class T>
HqMessageBase* Construct(void* where) {
  static_assert(sizeof(T) == sizeof(HqMessageBase) && alignof(T) == alignof(HqMessageBase),
                "message classes add no data");
  return new (where) T;
}

template <class T>
constexpr RegisteredClass Register(const char* qualifiedName, const char* xmlName) {
  return RegisteredClass{ClassInfo{qualifiedName, xmlName, T::kModule, T::kClassNumber, T::kFields,
                                   std::size(T::kFields)},
                         &Make<T>, &Construct<T>, PositionsOf<T>()};
}

#define TARNALERT_REGISTER(Namespace, Name) Register<Namespace::Name>(#Namespace "::" #Name, #Name)

constexpr RegisteredClass kClasses[] = {
    TARNALERT_REGISTER(KTGui, IdName),
    TARNALERT_REGISTER(KTGui, AlertNotifToken),
    TARNALERT_REGISTER(KTGui, AlertAvailCriteria),
    TARNALERT_REGISTER(KTGui, AlertTypeListItem),
    TARNALERT_REGISTER(KTGui, AlertTypeCatalog),
    TARNALERT_REGISTER(KTGui, AlertInfo),
    TARNALERT_REGISTER(KTGui, AlertLocale),
    TARNALERT_REGISTER(KTGui, AlertCriteriaParam),
    TARNALERT_REGISTER(KTGui, AlertCriteria),
    TARNALERT_REGISTER(KTGui, AlertNotifMsg),
    TARNALERT_REGISTER(KTGui, NTNonNebrixUser),
    TARNALERT_REGISTER(KTGui, AlertDetail),
    TARNALERT_REGISTER(KTGui, GetAlertDetailForClientResp),
    TARNALERT_REGISTER(KTGui, TokenValueStruct),
    TARNALERT_REGISTER(KTGui, DetectedAlertsDataDetails),
    TARNALERT_REGISTER(KTGui, DetectedAlertsData),
    TARNALERT_REGISTER(App, Email),
    TARNALERT_REGISTER(App, EmailInfo),
    TARNALERT_REGISTER(App, EvAlertExExtra),
    TARNALERT_REGISTER(App, EvAlertExMessage),
};

#undef TARNALERT_REGISTER

// Where classes are found by (module, class number): a table of positions in
// kClasses, open addressing from a hash of the pair; -1 marks a free slot.
constexpr size_t kIndexSlots = 64;  // a power of two, well above the number of classes
static_assert(std::size(kClasses) < kIndexSlots / 2, "raise kIndexSlots");

constexpr size_t SlotOf(int module, int classNumber) {
  return (static_cast<size_t>(module) * 131 + static_cast<size_t>(classNumber)) & (kIndexSlots - 1);
}

constexpr std::array<int8_t, kIndexSlots> MakeIndex() {
  std::array<int8_t, kIndexSlots> index{};
  for (int8_t& slot : index) slot = -1;
  for (size_t i = 0; i < std::size(kClasses); ++i) {
    size_t slot = SlotOf(kClasses[i].info.module, kClasses[i].info.classNumber);
    while (index[slot] >= 0) slot = (slot + 1) & (kIndexSlots - 1);
    index[slot] = static_cast<int8_t>(i);
  }
  return index;
}

constexpr std::array<int8_t, kIndexSlots> kIndex = MakeIndex();

// The position of (module, class number) in kClasses, or -1.
int PositionOf(int module, int classNumber) {
  for (size_t slot = SlotOf(module, classNumber);; slot = (slot + 1) & (kIndexSlots - 1)) {
    const int position = kIndex[slot];
    if (position < 0) return -1;
    const ClassInfo& info = kClasses[position].info;
    if (info.module == module && info.classNumber == classNumber) return position;
  }
}

const RegisteredClass* FindRegistered(int module, int classNumber) {
  const int position = PositionOf(module, classNumber);
  return position < 0 ? nullptr : &kClasses[position];
}

const std::array<FieldLayout, std::size(kClasses)>& Layouts() {
  static const auto layouts = [] {
    std::array<FieldLayout, std::size(kClasses)> made{};
    for (size_t i = 0; i < std::size(kClasses); ++i) {
      made[i] = FieldLayout{&kClasses[i].info, kClasses[i].positions.data()};
    }
    return made;
  }();
  return layouts;
}

}  // namespace

const FieldLayout* FindLayout(int module, int classNumber) {
  const int position = PositionOf(module, classNumber);
  return position < 0 ? nullptr : &Layouts()[static_cast<size_t>(position)];
}

size_t MessageClassCount() { return std::size(kClasses); }

const ClassInfo& MessageClassAt(size_t position) { return kClasses[position].info; }

std::unique_ptr<HqMessageBase> NewMessage(int module, int classNumber) {
  const RegisteredClass* entry = FindRegistered(module, classNumber);
  if (entry == nullptr) return std::make_unique<HqMessageBase>(module, classNumber);
  return std::unique_ptr<HqMessageBase>(entry->make());
}

HqMessageBase* ConstructMessage(void* where, int module, int classNumber) {
  const RegisteredClass* entry = FindRegistered(module, classNumber);
  if (entry == nullptr) return new (where) HqMessageBase(module, classNumber);
  return entry->construct(where);
}

const FieldInfo* FindFieldByName(const ClassInfo& cls, const char* name) {
  for (size_t i = 0; i < cls.fieldCount; ++i) {
    if (std::strcmp(cls.fields[i].name, name) == 0) return &cls.fields[i];
  }
  return nullptr;
}

}  // namespace detail

const ClassInfo* FindClass(int module, int classNumber) {
  const detail::RegisteredClass* entry = detail::FindRegistered(module, classNumber);
  return entry == nullptr ? nullptr : &entry->info;
}

const ClassInfo* FindClassByXmlName(const std::string& xmlName) {
  for (const detail::RegisteredClass& entry : detail::kClasses) {
    if (xmlName == entry.info.xmlName) return &entry.info;
  }
  return nullptr;
}

}  // namespace tarnalert
