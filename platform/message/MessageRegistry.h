// The registry of message classes: every class of platform/message/Messages.h with its
// fields (the public look-ups FindClass and FindClassByXmlName sit in
// HqMessageBase.h), plus what the message code needs beyond them.
//
// The registry is a constant table built at compile time; it is safe to use
// from any thread and during static initialization.
#ifndef TARNALERT_PLATFORM_MESSAGE_MESSAGEREGISTRY_H_
#define TARNALERT_PLATFORM_MESSAGE_MESSAGEREGISTRY_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "tarnalert/platform/message/HqMessageBase.h"

namespace tarnalert {
namespace detail {

// Number of registered classes, and the class at `position` (0 <= position < count).
size_t MessageClassCount();
const ClassInfo& MessageClassAt(size_t position);

// A new empty message of (module, class number): an object of its concrete
// class (KTGui::AlertDetail, ...) when the class is registered, otherwise a
// plain HqMessageBase. Never null.
std::unique_ptr<HqMessageBase> NewMessage(int module, int classNumber);
// As NewMessage, but the message is constructed at `where`, which has room
// and alignment for an HqMessageBase (every message class has its size).
HqMessageBase* ConstructMessage(void* where, int module, int classNumber);

// Where the fields of a registered class are stored: a field's position in
// the class's field list, by member index.
struct FieldLayout {
  static constexpr int kIndexLimit = 256;    // member indexes are below this
  static constexpr size_t kMostFields = 17;  // no class has more fields

  const ClassInfo* cls;
  const int8_t* positions;  // kIndexLimit entries; -1 where the class has no field

  int PositionOf(int memberIndex) const {
    return memberIndex >= 0 && memberIndex < kIndexLimit ? positions[memberIndex] : -1;
  }
};

// The layout of (module, class number), or null when the class is not
// registered.
const FieldLayout* FindLayout(int module, int classNumber);

// The field of `cls` whose element name is `name`, or null.
const FieldInfo* FindFieldByName(const ClassInfo& cls, const char* name);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_MESSAGE_MESSAGEREGISTRY_H_
