// Reading unsigned numbers written in decimal or, after "0x", in hexadecimal,
// shared by the readers of catalogue files and message texts.
#ifndef TARNALERT_PLATFORM_TEXT_NUMBERS_H_
#define TARNALERT_PLATFORM_TEXT_NUMBERS_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarnalert {
namespace detail {

struct DigitRun {
  size_t end;      // position after the last digit read
  uint64_t value;  // the number, valid unless `overflow`
  bool overflow;   // the digits denote a number above the limit
};

// Reads the digits of `base` (10 or 16) in text[at, end) up to the first
// other character. The number read must not exceed `limit`.
DigitRun ReadDigits(const std::string& text, size_t at, size_t end, unsigned base, uint64_t limit);

// Skips a "0x" or "0X" prefix at `*at` when a digit may follow it and
// returns the base it announces (16), or 10 without one.
unsigned ReadBasePrefix(const std::string& text, size_t* at, size_t end);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_TEXT_NUMBERS_H_
