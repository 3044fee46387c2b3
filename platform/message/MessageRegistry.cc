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

const RegisteredClass* FindRegistered(int module, int classNumber) {
  for (const RegisteredClass& entry : kClasses) {
    if (entry.info.module == module && entry.info.classNumber == classNumber) return &entry;
  }
  return nullptr;
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
  for (size_t i = 0; i < std::size(kClasses); ++i) {
    if (kClasses[i].info.module == module && kClasses[i].info.classNumber == classNumber) {
      return &Layouts()[i];
    }
  }
  return nullptr;
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
