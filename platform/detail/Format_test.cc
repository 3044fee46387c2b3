#include "platform/detail/Format.h"

#include <climits>
#include <clocale>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>

#include "gtest/gtest.h"

namespace {

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = tarnalert::detail::FormatV(format, args);
  va_end(args);
  return text;
}

// What the C library prints, for the conversions it handles alike.
std::string Expected(const char* format, ...) {
  va_list args;
  va_start(args, format);
  char text[512];
  int n = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return n < 0 ? "(error)" : std::string(text, static_cast<size_t>(n));
}

TEST(FormatTest, WidthPrecisionAndLengthModifiersMatchTheCLibrary) {
  struct Case {
    const char* format;
    std::string got;
    std::string want;
  } cases[] = {
      {"%5d|%-5d|%05d", Format("%5d|%-5d|%05d", 42, 42, -42),
       Expected("%5d|%-5d|%05d", 42, 42, -42)},
      {"%+d % d", Format("%+d % d", 3, 3), Expected("%+d % d", 3, 3)},
      {"%*d|%-*d", Format("%*d|%-*d", 6, 1, 4, 2), Expected("%*d|%-*d", 6, 1, 4, 2)},
      {"%.3s|%.*s", Format("%.3s|%.*s", "abcdef", 2, "xyz"),
       Expected("%.3s|%.*s", "abcdef", 2, "xyz")},
      {"%8.3f|%e|%g", Format("%8.3f|%e|%g", 3.14159, 1e10, 0.5),
       Expected("%8.3f|%e|%g", 3.14159, 1e10, 0.5)},
      {"%Lf", Format("%Lf", 2.5L), Expected("%Lf", 2.5L)},
      {"%hhd|%hhu", Format("%hhd|%hhu", 300, 300), Expected("%hhd|%hhu", 300, 300)},
      {"%hd|%hu", Format("%hd|%hu", 70000, 70000), Expected("%hd|%hu", 70000, 70000)},
      {"%ld|%lu", Format("%ld|%lu", LONG_MIN, ULONG_MAX), Expected("%ld|%lu", LONG_MIN, ULONG_MAX)},
      {"%lld|%llu", Format("%lld|%llu", LLONG_MIN, ULLONG_MAX),
       Expected("%lld|%llu", LLONG_MIN, ULLONG_MAX)},
      {"%zu|%zd", Format("%zu|%zd", SIZE_MAX, static_cast<ssize_t>(-1)),
       Expected("%zu|%zd", SIZE_MAX, static_cast<ssize_t>(-1))},
      {"%jd|%td", Format("%jd|%td", INTMAX_MIN, static_cast<ptrdiff_t>(-9)),
       Expected("%jd|%td", INTMAX_MIN, static_cast<ptrdiff_t>(-9))},
      {"%x|%#X|%#o|%u", Format("%x|%#X|%#o|%u", 255u, 255u, 8u, UINT_MAX),
       Expected("%x|%#X|%#o|%u", 255u, 255u, 8u, UINT_MAX)},
      {"%c|%5s|%-5s|", Format("%c|%5s|%-5s|", 'z', "ab", "cd"),
       Expected("%c|%5s|%-5s|", 'z', "ab", "cd")},
      {"%300d", Format("%300d", 1), Expected("%300d", 1)},  // longer than the inner buffer
      {"100%%", Format("100%%"), std::string("100%")},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.want) << c.format;
}

TEST(FormatTest, WideArgumentsAreUtf8WhateverTheLocale) {
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(Format("[%ls]", L"\u00E9\u20AC"), "[\xC3\xA9\xE2\x82\xAC]");
  EXPECT_EQ(Format("[%6ls]", L"\u00E9"), "[    \xC3\xA9]");  // width counts bytes, as printf
  EXPECT_EQ(Format("[%lc]", static_cast<wint_t>(0x1F600)), "[\xF0\x9F\x98\x80]");
  EXPECT_EQ(
      Format("[%ls|%s]", static_cast<const wchar_t*>(nullptr), static_cast<const char*>(nullptr)),
      "[(null)|(null)]");
}

TEST(FormatTest, PercentNStoresNothing) {
  int stored = 123;
  EXPECT_EQ(Format("ab%ncd", &stored), "abcd");
  EXPECT_EQ(stored, 123);
  EXPECT_EQ(Format("%d%n%s", 5, &stored, "x"), "5x");  // later arguments still line up
  EXPECT_EQ(stored, 123);
}

TEST(FormatTest, OddFormatsAreWrittenAsTheyStand) {
  EXPECT_EQ(Format("50%"), "50%");
  EXPECT_EQ(Format("%y and %d", 4), "%y and 4");
  EXPECT_EQ(Format(""), "");
  EXPECT_EQ(Format(nullptr), "");
}

}  // namespace
