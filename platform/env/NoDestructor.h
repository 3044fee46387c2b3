// NoDestructor<T>: a T built in place on first use and never destroyed, for
// process-wide objects that may still be used while the process exits
// (logging from an atexit handler, a static destructor of the host). Declare
// it as a function-local static; its construction is thread-safe like any
// such static.
#ifndef TARNALERT_PLATFORM_ENV_NODESTRUCTOR_H_
#define TARNALERT_PLATFORM_ENV_NODESTRUCTOR_H_

#include <new>
#include <type_traits>
#include <utility>

namespace tarnalert {

template <typename T>
class NoDestructor {
 public:
  template <typename... Args>
  explicit NoDestructor(Args&&... args) {
    new (&storage_) T(std::forward<Args>(args)...);
  }
  NoDestructor(const NoDestructor&) = delete;
  NoDestructor& operator=(const NoDestructor&) = delete;
  ~NoDestructor() = default;  // deliberately leaves the T alive

  T* get() { return std::launder(reinterpret_cast<T*>(&storage_)); }
  T& operator*() { return *get(); }
  T* operator->() { return get(); }

 private:
  std::aligned_storage_t<sizeof(T), alignof(T)> storage_;
};

}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_ENV_NODESTRUCTOR_H_
