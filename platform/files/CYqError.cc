#include "tarnalert/platform/files/CYqError.h"

#include <cstring>
#include <mutex>

#include "platform/text/Format.h"

class FXErrorPrivate {
 public:
  void Add(CYqError::Message message) {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back(std::move(message));
  }
  std::vector<CYqError::Message> Messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<CYqError::Message> messages_;
};

namespace {

std::string OrEmpty(const char* text) { return text ? text : ""; }

CYqError::Message MakeMessage(const FXCodeLocation& location, int errorNumber, std::string text) {
  CYqError::Message message;
  message.text = std::move(text);
  message.source = OrEmpty(location.source());
  message.function = OrEmpty(location.function());
  message.line = location.line();
  message.errorNumber = errorNumber;
  return message;
}

}  // namespace

CYqError::CYqError(int code, const FXCodeLocation& location, int errorNumber,
                   const std::string& text)
    : code_(code), details_(std::make_shared<FXErrorPrivate>()) {
  details_->Add(MakeMessage(location, errorNumber, text));
}

CYqError& CYqError::Push(const FXCodeLocation& location, const char* format, ...) {
  va_list args;
  va_start(args, format);
  PushV(location, format, args);
  va_end(args);
  return *this;
}

CYqError& CYqError::PushV(const FXCodeLocation& location, const char* format, va_list args) {
  if (!details_) details_ = std::make_shared<FXErrorPrivate>();
  details_->Add(MakeMessage(location, 0, tarnalert::detail::FormatV(format ? format : "", args)));
  return *this;
}

std::vector<CYqError::Message> CYqError::Messages() const {
  return details_ ? details_->Messages() : std::vector<Message>();
}

std::string CYqError::LastMessage() const {
  std::vector<Message> messages = Messages();
  return messages.empty() ? std::string() : messages.back().text;
}

std::string CYqError::Reason() const {
  std::string reason;
  for (const Message& message : Messages()) {
    reason = reason.empty() ? message.text : message.text + ": " + reason;
  }
  return reason;
}

std::string CYqError::ToString() const {
  std::vector<Message> messages = Messages();
  if (messages.empty()) return IsError() ? "Error " + std::to_string(code_) : "Success";
  std::string text;
  for (auto it = messages.rbegin(); it != messages.rend(); ++it) {
    if (!text.empty()) text += '\n';
    text += it->source + "(" + std::to_string(it->line) + "): " + it->function + ": " + it->text;
  }
  return text;
}

CYqError FXErrorUtil::ErrorErrNo(const FXCodeLocation& location, int errorNumber,
                                 const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = tarnalert::detail::FormatV(format ? format : "", args);
  va_end(args);
  return CYqError(errorNumber > 0 ? -errorNumber : -1, location, errorNumber, text);
}

std::string FXErrorUtil::ErrorText(int errorNumber) {
  char buffer[256] = {};
  // The GNU strerror_r returns the text, in `buffer` or in a static table.
  const char* text = ::strerror_r(errorNumber, buffer, sizeof buffer);
  return text ? text : "Unknown error " + std::to_string(errorNumber);
}
