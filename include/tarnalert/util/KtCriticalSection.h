// KtCriticalSection: a process-local lock, and KtCriticalSectionLock, its
// scoped guard.
//
// A KtCriticalSection owns one platform lock object (KtCriticalSectionH, a
// mutex) for its whole life; it is neither copied nor moved. enter(true)
// returns with the lock held by the calling thread, leave() releases it. A
// thread may enter a section it already holds (code called while holding it,
// such as an Env hook, may reach code that takes it too); it then leaves it
// as often as it entered.
//
// A KtCriticalSectionLock holds its section from construction to destruction;
// built on a null section it does nothing. Both may be used from any thread.
#ifndef TARNALERT_UTIL_KTCRITICALSECTION_H_
#define TARNALERT_UTIL_KTCRITICALSECTION_H_

#include "tarnalert/platform/Export.h"

// The platform lock object behind a KtCriticalSection (defined in the .cc).
class KtCriticalSectionH;

class TARNALERT_EXPORT KtCriticalSection {
 public:
  // Creates the lock object. Allocation failure ends the construction (and,
  // for a section built while the library loads, the load).
  KtCriticalSection();
  ~KtCriticalSection();
  KtCriticalSection(const KtCriticalSection&) = delete;
  KtCriticalSection& operator=(const KtCriticalSection&) = delete;

  // wait true: blocks until the calling thread holds the lock, then returns
  // true. wait false: takes the lock only when it is free at once or held
  // by the calling thread; returns whether it was taken.
  bool enter(bool wait);
  // Releases the lock held by the calling thread.
  void leave();

 private:
  KtCriticalSectionH* handle_;
};

class KtCriticalSectionLock {
 public:
  // Remembers `section` and, unless it is null, enters it (waiting).
  explicit KtCriticalSectionLock(KtCriticalSection* section) : section_(section) {
    if (section_ != nullptr) section_->enter(true);
  }
  // Leaves the remembered section, unless it is null.
  ~KtCriticalSectionLock() {
    if (section_ != nullptr) section_->leave();
  }
  KtCriticalSectionLock(const KtCriticalSectionLock&) = delete;
  KtCriticalSectionLock& operator=(const KtCriticalSectionLock&) = delete;

 private:
  KtCriticalSection* section_;
};

#endif  // TARNALERT_UTIL_KTCRITICALSECTION_H_
