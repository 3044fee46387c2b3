// auto_handle: the file layer's handle. It owns one file descriptor and
// closes it when it is replaced or destroyed. It is declared here, below the
// FXFile calls that take it; util/auto_handle.h is where the layers above
// include it from.
//
// -1 means "no descriptor"; any descriptor of 0 or more is valid and owned.
// The descriptor is closed through the Env in force (Env::CloseFile), the
// same layer that opened it; close failures are ignored (a caller that must
// know closes with Env::CloseFile itself after release()). A handle is
// neither copied nor moved, and belongs to one thread at a time.
#ifndef TARNALERT_PLATFORM_FILES_FILEHANDLE_H_
#define TARNALERT_PLATFORM_FILES_FILEHANDLE_H_

#include "tarnalert/platform/env/Env.h"

class auto_handle {
 public:
  auto_handle() = default;
  ~auto_handle() { reset(-1); }
  auto_handle(const auto_handle&) = delete;
  auto_handle& operator=(const auto_handle&) = delete;

  // True for a descriptor that can be owned (0 or greater).
  static bool _dac_is_valid_handle(int fd) { return fd >= 0; }

  int get() const { return fd_; }
  bool valid() const { return _dac_is_valid_handle(fd_); }

  // Closes the held descriptor when it is valid, then holds `fd` in any case.
  void reset(int fd) {
    if (_dac_is_valid_handle(fd_)) (void)tarnalert::Env::Current()->CloseFile(fd_);  // see above
    fd_ = fd;
  }
  // Closes the held descriptor and holds -1.
  auto_handle& reset() {
    reset(-1);
    return *this;
  }
  // Gives up ownership: returns the descriptor and holds -1.
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_ = -1;
};

#endif  // TARNALERT_PLATFORM_FILES_FILEHANDLE_H_
