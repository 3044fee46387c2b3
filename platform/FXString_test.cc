#include "platform/FXString.h"

#include <clocale>
#include <string>

#include "gtest/gtest.h"

namespace {

// Every test runs in the "C" locale, where the C library's own wide-character
// functions know nothing beyond ASCII.
class FXStringTest : public ::testing::Test {
 protected:
  void SetUp() override { std::setlocale(LC_ALL, "C"); }
};

TEST_F(FXStringTest, Utf8RoundTrips) {
  struct Case {
    const char* narrow;
    std::wstring wide;
  } cases[] = {
      {"", L""},
      {"plain ASCII", L"plain ASCII"},
      {"\xC3\xA9t\xC3\xA9", L"\u00E9t\u00E9"},
      {"\xE2\x82\xAC 5", L"\u20AC 5"},
      {"\xF0\x9F\x98\x80", std::wstring(1, static_cast<wchar_t>(0x1F600))},
      {"\xF4\x8F\xBF\xBF", std::wstring(1, static_cast<wchar_t>(0x10FFFF))},
      {"\xEF\xBF\xBD", L"\uFFFD"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FXString::ToWstring(c.narrow), c.wide) << c.narrow;
    EXPECT_EQ(FXString::ToWstring(std::string(c.narrow)), c.wide) << c.narrow;
    EXPECT_EQ(FXString::ToString(c.wide), c.narrow) << c.narrow;
    EXPECT_EQ(FXString::ToString(c.wide.c_str()), c.narrow) << c.narrow;
    EXPECT_TRUE(FXString::IsValidUtf8(c.narrow, std::string(c.narrow).size())) << c.narrow;
  }
  EXPECT_EQ(FXString::ToWstring(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
  EXPECT_EQ(FXString::ToWstring(static_cast<const char*>(nullptr)), L"");
  EXPECT_EQ(FXString::ToString(static_cast<const wchar_t*>(nullptr)), "");
}

TEST_F(FXStringTest, InvalidSequencesBecomeReplacementCharacters) {
  const std::wstring r = L"\uFFFD";
  struct Case {
    const char* what;
    std::string narrow;
    std::wstring wide;
  } cases[] = {
      {"over-long slash", "\xC0\xAF", r + r},
      {"over-long three bytes", "\xE0\x80\xAF", r + r + r},
      {"over-long four bytes", "\xF0\x80\x80\xAF", r + r + r + r},
      {"surrogate", "\xED\xA0\x80", r + r + r},
      {"truncated at the end", "a\xE2\x82", L"a" + r},
      {"truncated before ASCII", "\xE2\x82z", r + L"z"},
      {"lone continuation", "\x80x", r + L"x"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", r + r + r + r},
      {"invalid lead", "\xF5\x80", r + r},
      {"byte FF", "\xFF", r},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FXString::ToWstring(c.narrow), c.wide) << c.what;
    EXPECT_FALSE(FXString::IsValidUtf8(c.narrow.data(), c.narrow.size())) << c.what;
  }
  // Wide values that are no characters narrow to U+FFFD.
  for (wchar_t bad : {static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0xDFFF),
                      static_cast<wchar_t>(0x110000), static_cast<wchar_t>(-1)}) {
    EXPECT_EQ(FXString::ToString(std::wstring(1, bad)), "\xEF\xBF\xBD") << bad;
  }
}

TEST_F(FXStringTest, ToLowerMapsOneCharacterToOne) {
  struct Case {
    const char* what;
    std::wstring text;
    std::wstring lowered;
  } cases[] = {
      {"ASCII", L"ABC xyz [@] `{} 09 IJ", L"abc xyz [@] `{} 09 ij"},
      {"Latin-1", L"\u00C0\u00C9\u00D6\u00D8\u00DE \u00D7\u00DF\u00FF",
       L"\u00E0\u00E9\u00F6\u00F8\u00FE \u00D7\u00DF\u00FF"},
      {"Latin Extended", L"\u0100\u0101\u0141\u0178\u01C5", L"\u0101\u0101\u0142\u00FF\u01C6"},
      {"Greek", L"\u0391\u0392\u0393\u03A3\u03C3\u03C2 \u0386",
       L"\u03B1\u03B2\u03B3\u03C3\u03C3\u03C2 \u03AC"},
      {"Cyrillic", L"\u0414\u0416\u0401\u042F\u0436", L"\u0434\u0436\u0451\u044F\u0436"},
      {"Turkish dotless and dotted", L"I\u0131\u0130", L"i\u0131\u0130"},
      {"full width", L"\uFF21\uFF3A", L"\uFF41\uFF5A"},
      {"outside the BMP", std::wstring(1, static_cast<wchar_t>(0x10400)),
       std::wstring(1, static_cast<wchar_t>(0x10428))},
      {"no characters", std::wstring{static_cast<wchar_t>(-5), static_cast<wchar_t>(0x110000)},
       std::wstring{static_cast<wchar_t>(-5), static_cast<wchar_t>(0x110000)}},
  };
  for (const Case& c : cases) {
    std::wstring text = c.text;
    FXString::ToLower(text);
    EXPECT_EQ(text, c.lowered) << c.what;
  }
}

TEST_F(FXStringTest, ToLowerKeepsLengthForEveryCharacter) {
  std::wstring all;
  for (wchar_t c = 1; c <= 0x10FFFF; ++c) {
    if (c < 0xD800 || c > 0xDFFF) all.push_back(c);
  }
  std::wstring lowered = all;
  FXString::ToLower(lowered);
  ASSERT_EQ(lowered.size(), all.size());
  size_t changed = 0;
  for (size_t i = 0; i < all.size(); ++i) {
    changed += lowered[i] != all[i];
    // A lowered character is itself lower case: lowering it again keeps it.
    std::wstring again(1, lowered[i]);
    FXString::ToLower(again);
    EXPECT_EQ(again[0], lowered[i]) << std::hex << static_cast<long>(all[i]);
  }
  EXPECT_GT(changed, 1000u);  // the table covers far more than ASCII
}

}  // namespace
