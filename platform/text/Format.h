// printf-style formatting that writes wide-text arguments (%ls, %lc) as UTF-8
// whatever the process locale, unlike the C library, which fails on
// non-ASCII wide text in the "C" locale.
#ifndef TARNALERT_PLATFORM_TEXT_FORMAT_H_
#define TARNALERT_PLATFORM_TEXT_FORMAT_H_

#include <cstdarg>
#include <string>

namespace tarnalert {
namespace detail {

// Formats `format` with `args`. Conversions the C library knows are handed to
// it one at a time; %n stores nothing and writes nothing.
std::string FormatV(const char* format, va_list args);
// The same, appended to `out`.
void AppendFormatV(std::string& out, const char* format, va_list args);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_TEXT_FORMAT_H_
