// platform/files: files, paths and errors, on top of the Env. Depends on
// platform/text and platform/env.
//
// CYqError: the result of a platform operation that can fail, with the
// messages that explain the failure; FXCodeLocation: where a message was
// raised; FXErrorUtil: makes new errors.
//
// A CYqError is a value: a code (negative for an error, 0 for success) and
// shared details (FXErrorPrivate) holding the messages pushed onto it, each
// with its code location, oldest first. Copies share the details, so a message
// pushed through one copy is seen by all of them. A default-constructed error
// is success and holds no details. A moved-from error is success.
//
// The class is [[nodiscard]]: a caller that drops an error on purpose says
// so with a (void) cast and a comment.
//
// The details are guarded by a lock of their own, so copies may be read and
// pushed from different threads; everything else follows the value rules.
#ifndef TARNALERT_PLATFORM_FILES_CYQERROR_H_
#define TARNALERT_PLATFORM_FILES_CYQERROR_H_

#include <cstdarg>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tarnalert/platform/Export.h"

// A place in the code: a source name, a function text and a line. The two
// texts are the caller's constant strings; they are not copied.
class TARNALERT_EXPORT FXCodeLocation {
 public:
  FXCodeLocation(const char* source, const char* function, int line)
      : source_(source), function_(function), line_(line) {}

  const char* source() const { return source_; }
  const char* function() const { return function_; }
  int line() const { return line_; }

 private:
  const char* source_;
  const char* function_;
  int32_t line_;
};

// The shared details of an error (defined in CYqError.cc).
class FXErrorPrivate;

class [[nodiscard]] TARNALERT_EXPORT CYqError {
 public:
  // One message of an error with the place that raised it.
  struct Message {
    std::string text;
    std::string source;
    std::string function;
    int line = 0;
    int errorNumber = 0;  // the system error number given with it, or 0
  };

  // Success: code 0, no details.
  CYqError() = default;
  static CYqError Success() { return CYqError(); }
  // An error of `code` (a negative number) with one first message.
  CYqError(int code, const FXCodeLocation& location, int errorNumber, const std::string& text);

  CYqError(const CYqError&) = default;
  CYqError& operator=(const CYqError&) = default;
  CYqError(CYqError&& other) noexcept
      : code_(std::exchange(other.code_, 0)), details_(std::move(other.details_)) {}
  CYqError& operator=(CYqError&& other) noexcept {
    code_ = std::exchange(other.code_, 0);
    details_ = std::move(other.details_);
    return *this;
  }

  bool IsError() const { return code_ < 0; }
  int Code() const { return code_; }

  // Adds a message (printf-style) raised at `location` and returns this same
  // error. The code is left as it is.
  CYqError& Push(const FXCodeLocation& location, const char* format, ...)
      __attribute__((format(printf, 3, 4)));
  CYqError& PushV(const FXCodeLocation& location, const char* format, va_list args);

  // The messages, oldest (the first cause) first; empty for success.
  std::vector<Message> Messages() const;
  // The most recent message's text; empty when there is none.
  std::string LastMessage() const;
  // For a person, on one line: the texts, most recent first, joined by ": "
  // ("cannot keep the message: disk full"); empty for success.
  std::string Reason() const;
  // For a person: "Success", or one line per message, most recent first, as
  // "<source>(<line>): <function>: <text>".
  std::string ToString() const;

 private:
  int32_t code_ = 0;
  std::shared_ptr<FXErrorPrivate> details_;
};

class FXErrorUtil {
 public:
  // A new error whose first message is `format` filled with the arguments,
  // raised at `location`. `errorNumber` is kept with the message (the error's
  // code is its negation; -1 when it is not positive). The system's text for
  // it is not added: callers that want it put strerror() in the message.
  static CYqError ErrorErrNo(const FXCodeLocation& location, int errorNumber, const char* format,
                             ...) __attribute__((format(printf, 3, 4)));
  // The system's text for `errorNumber` ("No such file or directory"); safe
  // to call from any thread.
  static std::string ErrorText(int errorNumber);
};

#endif  // TARNALERT_PLATFORM_FILES_CYQERROR_H_
