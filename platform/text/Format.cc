#include "platform/text/Format.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string_view>
#include <utility>

#include "tarnalert/platform/text/FXString.h"

namespace tarnalert {
namespace detail {

namespace {

// Appends the result of one snprintf call to `out`.
template <typename T>
void AppendOne(std::string& out, const std::string& directive, T value) {
  char small[128];
  int n = std::snprintf(small, sizeof small, directive.c_str(), value);
  if (n < 0) return;
  if (static_cast<size_t>(n) < sizeof small) {
    out.append(small, n);
    return;
  }
  std::string big(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(&big[0], big.size(), directive.c_str(), value);
  out.append(big.data(), n);
}

// The length modifier of a directive, as written.
enum class Length { kNone, kHH, kH, kL, kLL, kQ, kBigL, kJ, kZ, kT, kOther };

// Reads the length modifier at *at (every character of "hlLqjzt" that
// follows) and moves past it.
Length ReadLength(const char** at) {
  const char* start = *at;
  while (**at && std::strchr("hlLqjzt", **at)) ++*at;
  const std::string_view written(start, static_cast<size_t>(*at - start));
  if (written.empty()) return Length::kNone;
  static constexpr std::pair<std::string_view, Length> kNames[] = {
      {"hh", Length::kHH}, {"h", Length::kH}, {"l", Length::kL},
      {"ll", Length::kLL}, {"q", Length::kQ}, {"L", Length::kBigL},
      {"j", Length::kJ},   {"z", Length::kZ}, {"t", Length::kT}};
  for (const auto& [name, length] : kNames) {
    if (written == name) return length;
  }
  return Length::kOther;
}

}  // namespace

void AppendFormatV(std::string& out, const char* format, va_list args) {
  if (format == nullptr) return;
  va_list ap;
  va_copy(ap, args);
  const char* p = format;
  while (*p) {
    if (*p != '%') {
      const char* next = std::strchr(p, '%');
      size_t n = next ? static_cast<size_t>(next - p) : std::strlen(p);
      out.append(p, n);
      p += n;
      continue;
    }
    const char* start = p++;
    if (*p == '%') {
      out.push_back('%');
      ++p;
      continue;
    }
    // flags, width, precision
    std::string directive = "%";
    while (*p && std::strchr("-+ #0'", *p)) directive.push_back(*p++);
    if (*p == '*') {
      directive += std::to_string(va_arg(ap, int));
      ++p;
    } else {
      while (*p >= '0' && *p <= '9') directive.push_back(*p++);
    }
    if (*p == '.') {
      directive.push_back(*p++);
      if (*p == '*') {
        directive += std::to_string(va_arg(ap, int));
        ++p;
      } else {
        while (*p >= '0' && *p <= '9') directive.push_back(*p++);
      }
    }
    const Length length = ReadLength(&p);
    char conversion = *p;
    if (conversion == '\0') {
      out.append(start);  // a lone trailing conversion is written as is
      break;
    }
    ++p;
    switch (conversion) {
      case 'd':
      case 'i':
      case 'o':
      case 'u':
      case 'x':
      case 'X': {
        bool is_signed = conversion == 'd' || conversion == 'i';
        long long value;
        if (length == Length::kLL || length == Length::kQ || length == Length::kBigL) {
          value = va_arg(ap, long long);
        } else if (length == Length::kL || length == Length::kJ || length == Length::kZ ||
                   length == Length::kT) {
          long v = va_arg(ap, long);
          value = is_signed ? v : static_cast<long long>(static_cast<unsigned long>(v));
        } else {
          int v = va_arg(ap, int);
          if (length == Length::kHH) {
            value = is_signed ? static_cast<signed char>(v) : static_cast<unsigned char>(v);
          } else if (length == Length::kH) {
            value = is_signed ? static_cast<short>(v) : static_cast<unsigned short>(v);
          } else {
            value = is_signed ? v : static_cast<long long>(static_cast<unsigned>(v));
          }
        }
        if (directive.size() == 1 &&
            (conversion == 'd' || conversion == 'i' || conversion == 'u')) {
          // The common plain decimal, without a call to the C library.
          char digits[24];
          const auto written = is_signed ? std::to_chars(digits, digits + sizeof digits, value)
                                         : std::to_chars(digits, digits + sizeof digits,
                                                         static_cast<unsigned long long>(value));
          out.append(digits, written.ptr);
        } else {
          AppendOne(out, directive + "ll" + conversion, value);
        }
        break;
      }
      case 'e':
      case 'E':
      case 'f':
      case 'F':
      case 'g':
      case 'G':
      case 'a':
      case 'A':
        if (length == Length::kBigL) {
          AppendOne(out, directive + 'L' + conversion, va_arg(ap, long double));
        } else {
          AppendOne(out, directive + conversion, va_arg(ap, double));
        }
        break;
      case 'c':
        if (length == Length::kL) {
          wchar_t wide[2] = {static_cast<wchar_t>(va_arg(ap, wint_t)), L'\0'};
          AppendOne(out, directive + 's', FXString::ToString(wide).c_str());
        } else {
          AppendOne(out, directive + 'c', va_arg(ap, int));
        }
        break;
      case 's': {
        std::string narrowed;
        const char* text;
        if (length == Length::kL) {
          const wchar_t* wide = va_arg(ap, const wchar_t*);
          narrowed = wide ? FXString::ToString(wide) : "(null)";
          text = narrowed.c_str();
        } else {
          text = va_arg(ap, const char*);
          if (text == nullptr) text = "(null)";
        }
        if (directive.size() == 1) {
          out.append(text);  // no width or precision: the text as it is
        } else {
          AppendOne(out, directive + 's', text);
        }
        break;
      }
      case 'p':
        AppendOne(out, directive + 'p', va_arg(ap, void*));
        break;
      case 'n':  // never stores: the argument is skipped and nothing written
        (void)va_arg(ap, void*);
        break;
      default:  // unknown conversions are written as they stand
        out.append(start, p - start);
        break;
    }
  }
  va_end(ap);
}

std::string FormatV(const char* format, va_list args) {
  std::string out;
  AppendFormatV(out, format, args);
  return out;
}

}  // namespace detail
}  // namespace tarnalert
