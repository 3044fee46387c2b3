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

// Writes `pattern` into out[0, limit) with its placeholders filled by
// `arguments`: %1 to %99 (two digits at most, read greedily) stand for the
// argument of that number, empty when there is none; %% is a percent sign;
// any other % stays as written. Stops once `limit` bytes are written, since
// no more can be kept, and returns the count written.
size_t Substitute(const std::string& pattern, const std::vector<std::string>& arguments, char* out,
                  size_t limit) {
  size_t written = 0;
  auto append = [&](const char* text, size_t size) {
    const size_t taken = size < limit - written ? size : limit - written;
    std::memcpy(out + written, text, taken);
    written += taken;
  };
  const size_t end = pattern.size();
  for (size_t i = 0; i < end && written < limit;) {
    // Plain text up to the next % goes in one piece.
    const void* found = std::memchr(pattern.data() + i, '%', end - i);
    const size_t percent =
        found ? static_cast<size_t>(static_cast<const char*>(found) - pattern.data()) : end;
    append(pattern.data() + i, percent - i);
    i = percent;
    if (i == end || written == limit) break;
    ++i;  // past the %
    if (i == end) {
      append("%", 1);
      break;
    }
    if (pattern[i] == '%') {
      append("%", 1);
      ++i;
      continue;
    }
    if (pattern[i] < '1' || pattern[i] > '9') {
      append("%", 1);
      continue;
    }
    size_t number = static_cast<size_t>(pattern[i++] - '0');
    if (i < end && pattern[i] >= '0' && pattern[i] <= '9') {
      number = number * 10 + static_cast<size_t>(pattern[i++] - '0');
    }
    if (number <= arguments.size()) {
      const std::string& argument = arguments[number - 1];
      append(argument.data(), argument.size());
    }
  }
  return written;
}

// The length of the longest prefix of text[0, size) of at most `room` bytes
// that does not end inside a UTF-8 character; text[room] is read when the
// text is longer.
size_t CutAtCharacter(const char* text, size_t size, size_t room) {
  if (size <= room) return size;
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
  // The pattern's memory is kept for the thread's next look-up. (CatalogText
  // never renders a message itself, so no other use of it can come between.)
  thread_local std::string pattern;
  size_t written = 0;
  if (tarnalert::Env::Current()->CatalogText(messageId, localeId, &pattern)) {
    // Up to `size` bytes: one past the room, to see whether a character is cut.
    written = Substitute(pattern, arguments, buffer, size);
  }
  buffer[CutAtCharacter(buffer, written, size - 1)] = '\0';
  return buffer;
}

char* EvEvent::evPrintf(unsigned long messageId, char* buffer, unsigned long size,
                        long long localeId) {
  // A negative locale selects nothing: it is taken as "none given".
  return evPrintf(messageId, buffer, size, static_cast<unsigned long>(localeId < 0 ? 0 : localeId));
}
