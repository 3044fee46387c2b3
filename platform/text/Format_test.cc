#include "platform/text/Format.h"

#include <climits>
#include <clocale>
#include <cstdarg>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

namespace {

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = tarnalert::detail::FormatV(format, args);
  va_end(args);
  return text;
}

// Several conversions in one format also check that each takes exactly its own argument.
TEST(FormatTest, FlagsWidthPrecisionAndLengthModifiers) {
  EXPECT_EQ(Format("%5d|%-5d|%05d|%+d|% d", 42, 42, -42, 3, 3), "   42|42   |-0042|+3| 3");
  EXPECT_EQ(Format("%*d|%-*d|%.3s|%.*s|", 6, 1, 4, 2, "abcdef", 2, "xyz"), "     1|2   |abc|xy|");
  EXPECT_EQ(Format("%8.3f|%e|%g|%Lf", 3.14159, 1e10, 0.5, 2.5L),
            "   3.142|1.000000e+10|0.5|2.500000");
  EXPECT_EQ(Format("%hhd|%hhu|%hd|%hu", 300, 300, 70000, 70000), "44|44|4464|4464");
  EXPECT_EQ(Format("%ld|%lu|%lld", LONG_MIN, ULONG_MAX, LLONG_MIN),
            "-9223372036854775808|18446744073709551615|-9223372036854775808");
  EXPECT_EQ(Format("%zu|%zd|%jd|%td", SIZE_MAX, static_cast<ssize_t>(-1), INTMAX_MIN,
                   static_cast<ptrdiff_t>(-9)),
            "18446744073709551615|-1|-9223372036854775808|-9");
  EXPECT_EQ(Format("%x|%#X|%#o|%u|%c|%5s|%-5s|", 255u, 255u, 8u, UINT_MAX, 'z', "ab", "cd"),
            "ff|0XFF|010|4294967295|z|   ab|cd   |");
  EXPECT_EQ(Format("%300d", 1), std::string(299, ' ') + "1");  // longer than the inner buffer
}

TEST(FormatTest, WideArgumentsAreUtf8WhateverTheLocale) {
  std::setlocale(LC_ALL, "C");
  // Width counts bytes, as printf does.
  EXPECT_EQ(Format("[%ls|%6ls|%lc]", L"\u00E9\u20AC", L"\u00E9", static_cast<wint_t>(0x1F600)),
            "[\xC3\xA9\xE2\x82\xAC|    \xC3\xA9|\xF0\x9F\x98\x80]");
  EXPECT_EQ(
      Format("[%ls|%s]", static_cast<const wchar_t*>(nullptr), static_cast<const char*>(nullptr)),
      "[(null)|(null)]");
}

TEST(FormatTest, PercentNStoresNothing) {
  int stored = 123;
  EXPECT_EQ(Format("%d%n%s", 5, &stored, "x"), "5x");  // later arguments still line up
  EXPECT_EQ(stored, 123);
}

TEST(FormatTest, OddFormatsStandAsWritten) {
  EXPECT_EQ(Format("100%% 50%"), "100% 50%");
  EXPECT_EQ(Format("%y and %d", 4), "%y and 4");
  EXPECT_EQ(Format(""), "");
  EXPECT_EQ(Format(nullptr), "");
}

}  // namespace
