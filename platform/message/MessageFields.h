// The storage behind HqMessageBase: one slot per field of the message's class,
// in the order of the class's field list, found by member index through a
// table of the class (no search); values stored under an index the class does
// not name sit beside them; plus the unknown elements read from text.
//
// A MessageFields belongs to its message (HqMessageBase::fields_). The slots
// are allocated once, so references handed out by the accessors stay valid
// while other fields are added. A child is held in place by ChildMessage,
// which copies and keeps the child's concrete class.
//
// A frozen MessageFields (FreezeMessage) is never changed again: copies of its
// message share it instead of copying it, and the first change through a copy
// gives that copy its own fields, one level deep (its children stay shared
// until they are changed in turn). The copy keeps the frozen fields alive, so
// references handed out before the change stay valid. Frozen fields may be
// read from any number of threads; other fields are not synchronized.
#ifndef TARNALERT_PLATFORM_MESSAGE_MESSAGEFIELDS_H_
#define TARNALERT_PLATFORM_MESSAGE_MESSAGEFIELDS_H_

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <variant>
#include <vector>

#include "platform/message/MessageRegistry.h"
#include "tarnalert/platform/message/HqMessageBase.h"

namespace tarnalert {
namespace detail {

// A child message held in place (no allocation of its own), an object of
// its concrete class as NewMessage makes it; copies and moves copy or move
// the message into an object of the same class.
class ChildMessage {
 public:
  // An empty message of (module, class number).
  ChildMessage(int module, int classNumber) { ConstructMessage(storage_, module, classNumber); }
  ChildMessage(const ChildMessage& other)
      : ChildMessage(other.get().module(), other.get().classNumber()) {
    get() = other.get();
  }
  ChildMessage(ChildMessage&& other) noexcept
      : ChildMessage(other.get().module(), other.get().classNumber()) {
    get() = std::move(other.get());
  }
  ChildMessage& operator=(const ChildMessage& other) {
    if (this != &other) *this = ChildMessage(other);
    return *this;
  }
  ChildMessage& operator=(ChildMessage&& other) noexcept {
    if (this != &other) {
      get().~HqMessageBase();
      ConstructMessage(storage_, other.get().module(), other.get().classNumber());
      get() = std::move(other.get());
    }
    return *this;
  }
  ~ChildMessage() { get().~HqMessageBase(); }

  HqMessageBase& get() { return *std::launder(reinterpret_cast<HqMessageBase*>(storage_)); }
  const HqMessageBase& get() const {
    return *std::launder(reinterpret_cast<const HqMessageBase*>(storage_));
  }
  bool operator==(const ChildMessage& other) const { return get() == other.get(); }

 private:
  alignas(HqMessageBase) unsigned char storage_[sizeof(HqMessageBase)];
};

// Memory for the fields of the messages of one tree being read, taken from a
// few large blocks instead of an allocation each: reading and freeing a large
// tree then costs far fewer calls to the allocator. Every piece handed out
// holds the arena, and so does its maker; the blocks are freed together when
// the last hold is given up, from whichever thread that happens on. Allocate
// is not synchronized (one reader fills an arena).
class FieldArena {
 public:
  // A new arena with one hold, the caller's.
  static FieldArena* Create() { return new FieldArena; }
  FieldArena(const FieldArena&) = delete;
  FieldArena& operator=(const FieldArena&) = delete;

  // `size` bytes aligned for any object, and a hold on the arena for them;
  // never null.
  void* Allocate(size_t size);
  // Gives up one hold; the last frees the arena.
  void Release() {
    if (holds_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }

 private:
  FieldArena() = default;
  ~FieldArena() = default;

  std::atomic<size_t> holds_{1};
  std::vector<std::unique_ptr<char[]>> blocks_;
  size_t blockSize_ = 0;  // of the last block; each new one doubles it, to a limit
  char* next_ = nullptr;
  size_t left_ = 0;
};

// The maker's hold on an arena, given up when it goes.
struct ReleaseFieldArena {
  void operator()(FieldArena* arena) const { arena->Release(); }
};
using FieldArenaHold = std::unique_ptr<FieldArena, ReleaseFieldArena>;

// Allocator of objects from a FieldArena, for std::allocate_shared: each
// object allocated holds the arena until it is given back.
template <class T>
class FieldArenaAllocator {
 public:
  using value_type = T;

  explicit FieldArenaAllocator(FieldArena* arena) : arena_(arena) {}
  template <class U>
  FieldArenaAllocator(const FieldArenaAllocator<U>& other) : arena_(other.arena()) {}

  T* allocate(size_t count) { return static_cast<T*>(arena_->Allocate(count * sizeof(T))); }
  void deallocate(T*, size_t) { arena_->Release(); }
  FieldArena* arena() const { return arena_; }

  template <class U>
  bool operator==(const FieldArenaAllocator<U>& other) const {
    return arena_ == other.arena();
  }
  template <class U>
  bool operator!=(const FieldArenaAllocator<U>& other) const {
    return !(*this == other);
  }

 private:
  FieldArena* arena_;
};

// The value of one field: nothing while unset, else the variant's index less
// one is the FieldKind.
using FieldData = std::variant<std::monostate, int64_t, std::string, std::vector<std::string>,
                               ChildMessage, HqMessageList>;

struct MessageFields;

// The field number a value is stored under is the schema's number of its
// slot; MessageFields keeps the exceptions (see NumberAt).
struct FieldValue {
  FieldData data;

  bool set() const { return data.index() != 0; }
  FieldKind kind() const { return static_cast<FieldKind>(data.index() - 1); }
  bool operator==(const FieldValue& other) const { return data == other.data; }

  // The storage of `message`; null while it has none.
  static const MessageFields* Of(const HqMessageBase& message);
  // The storage of `message`, created when absent.
  static MessageFields& MutableOf(HqMessageBase& message);
  // As MutableOf, but storage created here is taken from `arena`.
  static MessageFields& MutableOf(HqMessageBase& message, FieldArena* arena);
};

// A fixed number of field values held by the storage they belong to (see
// NewFields), seen as an array: copying copies the values, not the place.
class FieldSlots {
 public:
  FieldSlots(FieldValue* values, size_t count) : values_(values), count_(count) {}
  FieldSlots(const FieldSlots&) = delete;
  FieldSlots& operator=(const FieldSlots& other) {
    std::copy(other.begin(), other.end(), begin());  // same class, same count
    return *this;
  }

  size_t size() const { return count_; }
  FieldValue& operator[](size_t i) { return values_[i]; }
  const FieldValue& operator[](size_t i) const { return values_[i]; }
  FieldValue* begin() { return values_; }
  FieldValue* end() { return values_ + count_; }
  const FieldValue* begin() const { return values_; }
  const FieldValue* end() const { return values_ + count_; }
  bool operator==(const FieldSlots& other) const {
    return count_ == other.count_ && std::equal(begin(), end(), other.begin());
  }
  bool operator!=(const FieldSlots& other) const { return !(*this == other); }

 private:
  FieldValue* values_;
  size_t count_;
};

struct MessageFields {
  // What few messages hold, kept apart so that the others stay small.
  struct Rare {
    // Values under member indexes the class does not name, by member index.
    std::map<int, FieldValue> others;
    // Elements the schema does not name, as their raw XML text, in reading order.
    std::vector<std::string> unknown;
    // Empty sequences handed out for absent fields read without creating
    // them; not part of the message's value.
    std::vector<std::string> absentTexts;
    HqMessageList absentObjects;
    // Field numbers of values stored under another number than the schema
    // gives their slot, and of the values in `others`, by member index.
    std::map<int, int> numbers;
    // The frozen fields these were copied from, kept for references into them.
    std::shared_ptr<const MessageFields> base;
  };

  // The slots of the fields of `layout` (none for a class not in the
  // registry) are `values`, owned by whoever made this (NewFields); a slot
  // holds a value once set.
  MessageFields(const FieldLayout* layout, FieldValue* values)
      : layout(layout), slots(values, layout ? layout->cls->fieldCount : 0) {}
  MessageFields(const MessageFields&) = delete;
  MessageFields& operator=(const MessageFields&) = delete;
  // A copy of the value of `other`: its slots, other values and unknown
  // elements.
  void CopyValue(const MessageFields& other) {
    slots = other.slots;
    if (other.rare) {
      MakeRare().others = other.rare->others;
      rare->unknown = other.rare->unknown;
      rare->numbers = other.rare->numbers;
    }
  }

  const FieldLayout* layout;
  FieldSlots slots;
  std::unique_ptr<Rare> rare;  // null until needed
  // Never changed again; set by FreezeMessage.
  bool frozen = false;

  Rare& MakeRare() {
    if (!rare) rare = std::make_unique<Rare>();
    return *rare;
  }
  const std::vector<std::string>& Unknown() const {
    static const std::vector<std::string>* const none = new std::vector<std::string>;
    return rare ? rare->unknown : *none;
  }

  // The value stored under `memberIndex` (set or not), or null when the class
  // has no slot for it and nothing is stored there.
  const FieldValue* At(int memberIndex) const {
    const int position = layout ? layout->PositionOf(memberIndex) : -1;
    if (position >= 0) return &slots[static_cast<size_t>(position)];
    if (!rare) return nullptr;
    auto it = rare->others.find(memberIndex);
    return it == rare->others.end() ? nullptr : &it->second;
  }
  // The value under `memberIndex`, made (unset) when absent.
  FieldValue& Make(int memberIndex) {
    const int position = layout ? layout->PositionOf(memberIndex) : -1;
    if (position >= 0) return slots[static_cast<size_t>(position)];
    return MakeRare().others[memberIndex];
  }
  // The field number of the value under `memberIndex`.
  int NumberAt(int memberIndex) const {
    if (rare) {
      auto it = rare->numbers.find(memberIndex);
      if (it != rare->numbers.end()) return it->second;
    }
    const int position = layout ? layout->PositionOf(memberIndex) : -1;
    return position >= 0 ? layout->cls->fields[position].number : 0;
  }
  // Records that the value under `memberIndex` is stored as field `number`.
  void SetNumber(int memberIndex, int number) {
    const int position = layout ? layout->PositionOf(memberIndex) : -1;
    if (position >= 0 && layout->cls->fields[position].number == number) {
      if (rare) rare->numbers.erase(memberIndex);
    } else {
      MakeRare().numbers[memberIndex] = number;
    }
  }
  bool HoldsValue() const {
    for (const FieldValue& slot : slots) {
      if (slot.set()) return true;
    }
    return rare && (!rare->others.empty() || !rare->unknown.empty());
  }
  bool SameValue(const MessageFields& other) const {
    if (slots != other.slots || Unknown() != other.Unknown()) return false;
    static const Rare none;
    const Rare& mine = rare ? *rare : none;
    const Rare& theirs = other.rare ? *other.rare : none;
    return mine.others == theirs.others && mine.numbers == theirs.numbers;
  }
  // Calls `visit(memberIndex, value)` for every value set, slots first.
  template <class Visit>
  void ForEach(Visit visit) const {
    for (size_t i = 0; i < slots.size(); ++i) {
      if (slots[i].set()) visit(layout->cls->fields[i].index, slots[i]);
    }
    if (rare) {
      for (const auto& entry : rare->others) visit(entry.first, entry.second);
    }
  }
};

struct EarlierReading;
struct ReadParts;

// Freezes `message` and everything it holds: from now on it must only be read,
// and copies of it or of any part of it share its storage. Meant for a
// message built once and then read by many (a decoded configuration).
void FreezeMessage(HqMessageBase& message);

// As message.unserialize(text), and what is read comes out frozen as
// FreezeMessage leaves it, without a second pass over it. On failure the
// message is unchanged, as with unserialize. The parts read may be kept in
// `parts` and taken from an `earlier` reading (see ReadDocument in
// XmlReader.h).
int UnserializeFrozen(HqMessageBase& message, const std::string& text,
                      const EarlierReading* earlier = nullptr, ReadParts* parts = nullptr);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_MESSAGE_MESSAGEFIELDS_H_
