// EvEvent: argument rendering and catalogue message formatting; ArgumentInfo:
// the argument list of the event catalogue.
#include "tarnalert/platform/event/EvEvent.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "platform/event/ArgumentText.h"
#include "tarnalert/platform/env/Env.h"

namespace {

// Fills the placeholders of `pattern` with `arguments`: %1 to %99 (two digits
// at most, read greedily) stand for the argument of that number, empty when
// there is none; %% is a percent sign; any other % stays as written. Stops
// once `limit` bytes are produced, since no more can be kept.
std::string Substitute(const std::string& pattern, const std::vector<std::string>& arguments,
                       size_t limit) {
  std::string out;
  for (size_t i = 0; i < pattern.size() && out.size() < limit;) {
    char c = pattern[i++];
    if (c != '%' || i == pattern.size()) {
      out.push_back(c);
      continue;
    }
    if (pattern[i] == '%') {
      out.push_back('%');
      ++i;
      continue;
    }
    if (pattern[i] < '1' || pattern[i] > '9') {
      out.push_back('%');
      continue;
    }
    size_t number = static_cast<size_t>(pattern[i++] - '0');
    if (i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9') {
      number = number * 10 + static_cast<size_t>(pattern[i++] - '0');
    }
    if (number <= arguments.size()) {
      const std::string& argument = arguments[number - 1];
      out.append(argument, 0, limit - out.size());
    }
  }
  return out;
}

// The length of the longest prefix of `text` of at most `room` bytes that does
// not end inside a UTF-8 character.
size_t CutAtCharacter(const std::string& text, size_t room) {
  if (text.size() <= room) return text.size();
  size_t cut = room;
  // Back off over continuation bytes to the start of the character that would
  // be split; a run longer than a character's tail is not UTF-8, cut anywhere.
  for (int back = 0; back < 3 && cut > 0; ++back) {
    if ((static_cast<unsigned char>(text[cut]) & 0xC0) != 0x80) return cut;
    --cut;
  }
  if ((static_cast<unsigned char>(text[cut]) & 0xC0) != 0x80 &&
      static_cast<unsigned char>(text[cut]) >= 0xC0) {
    return cut;
  }
  return room;
}

}  // namespace

// --- ArgumentInfo -----------------------------------------------------------

ArgumentInfo::~ArgumentInfo() {
  // Free the chain iteratively: a long list must not recurse deeply.
  ArgumentInfo* node = next;
  next = nullptr;
  tail_ = nullptr;
  while (node != nullptr) {
    ArgumentInfo* following = node->next;
    node->next = nullptr;
    delete node;
    node = following;
  }
}

void ArgumentInfo::Append(const void* value, size_t size, int typeCode) {
  ArgumentInfo* node = this;
  if (count > 0) {
    ArgumentInfo* tail = tail_ != nullptr ? tail_ : this;
    while (tail->next != nullptr) tail = tail->next;  // nodes linked in by hand
    node = new (std::nothrow) ArgumentInfo;
    if (node == nullptr) return;  // out of memory: the argument is dropped
    tail->next = node;
    tail_ = node;
  }
  std::memset(node->value, 0, kValueSize);
  if (value != nullptr) std::memcpy(node->value, value, size < kValueSize ? size : kValueSize);
  if (typeCode == kArgText) node->value[kValueSize - 1] = '\0';  // a text always ends
  node->type = typeCode;
  ++count;
}

// --- EvEvent ----------------------------------------------------------------

EvEvent::EvEvent() = default;

EvEvent::~EvEvent() = default;

void EvEvent::addArgument(const void* value, int typeCode) {
  arguments_.push_back(tarnalert::detail::RenderArgument(value, typeCode));
}

EvEvent& EvEvent::operator<<(const char* text) {
  addArgument(text, kArgText);
  return *this;
}

char* EvEvent::evPrintf(unsigned long messageId, char* buffer, unsigned long size,
                        unsigned long localeId) {
  std::vector<std::string> arguments;
  arguments.swap(arguments_);  // consumed whatever happens next
  if (buffer == nullptr || size == 0) return buffer;
  std::string pattern;
  std::string text;
  if (tarnalert::Env::Current()->CatalogText(messageId, localeId, &pattern)) {
    text = Substitute(pattern, arguments, size);
  }
  size_t length = CutAtCharacter(text, size - 1);
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
  return buffer;
}

char* EvEvent::evPrintf(unsigned long messageId, char* buffer, unsigned long size,
                        long long localeId) {
  // A negative locale selects nothing: it is taken as "none given".
  return evPrintf(messageId, buffer, size, static_cast<unsigned long>(localeId < 0 ? 0 : localeId));
}
