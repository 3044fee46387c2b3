#include "platform/text/Numbers.h"

namespace tarnalert {
namespace detail {

namespace {

// The value of `c` as a digit of `base`, or -1.
int DigitValue(char c, unsigned base) {
  if (c >= '0' && c <= '9') return c - '0';
  if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

DigitRun ReadDigits(const std::string& text, size_t at, size_t end, unsigned base, uint64_t limit) {
  DigitRun run{at, 0, false};
  for (; run.end < end; ++run.end) {
    const int digit = DigitValue(text[run.end], base);
    if (digit < 0) break;
    if (run.value > (limit - static_cast<unsigned>(digit)) / base) run.overflow = true;
    if (!run.overflow) run.value = run.value * base + static_cast<unsigned>(digit);
  }
  return run;
}

unsigned ReadBasePrefix(const std::string& text, size_t* at, size_t end) {
  if (end - *at > 2 && text[*at] == '0' && (text[*at + 1] == 'x' || text[*at + 1] == 'X')) {
    *at += 2;
    return 16;
  }
  return 10;
}

}  // namespace detail
}  // namespace tarnalert
