#include "tarnalert/util/KtCriticalSection.h"

#include <mutex>

// A recursive mutex: an Env hook called while a section is held may reach
// library code that enters it again on the same thread.
class KtCriticalSectionH {
 public:
  bool enter(bool wait) {
    if (!wait) return mutex_.try_lock();
    mutex_.lock();
    return true;
  }
  void leave() { mutex_.unlock(); }

 private:
  std::recursive_mutex mutex_;
};

KtCriticalSection::KtCriticalSection() : handle_(new KtCriticalSectionH) {}

KtCriticalSection::~KtCriticalSection() {
  delete handle_;
  handle_ = nullptr;
}

bool KtCriticalSection::enter(bool wait) { return handle_->enter(wait); }

void KtCriticalSection::leave() { handle_->leave(); }
