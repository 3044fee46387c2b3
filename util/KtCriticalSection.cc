#include "tarnalert/util/KtCriticalSection.h"

#include <mutex>

// A plain (non-recursive) mutex; nothing in the library re-enters a section.
class KtCriticalSectionH {
 public:
  bool enter(bool wait) {
    if (!wait) return mutex_.try_lock();
    mutex_.lock();
    return true;
  }
  void leave() { mutex_.unlock(); }

 private:
  std::mutex mutex_;
};

KtCriticalSection::KtCriticalSection() : handle_(new KtCriticalSectionH) {}

KtCriticalSection::~KtCriticalSection() {
  delete handle_;
  handle_ = nullptr;
}

bool KtCriticalSection::enter(bool wait) { return handle_->enter(wait); }

void KtCriticalSection::leave() { handle_->leave(); }
