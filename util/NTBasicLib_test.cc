#include "util/NTBasicLib.h"

#include "platform/FXString.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>

namespace {

using NTBasicLib::htmlDecode;
using NTBasicLib::htmlEncode;

struct Case {
  const char* in;
  const char* out;
};

TEST(NTBasicLibTest, EncodesTheThreeSpecialCharacters) {
  const Case cases[] = {
      {"1 < 2 & 3 > 0", "1 &lt; 2 &amp; 3 &gt; 0"},
      {"", ""},
      {"plain \"quoted\" 'text'", "plain \"quoted\" 'text'"},
      {"&lt;", "&amp;lt;"},
      {"&&<<>>", "&amp;&amp;&lt;&lt;&gt;&gt;"},
      {"Grüße <Zoë> & 日本", "Grüße &lt;Zoë&gt; &amp; 日本"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(htmlEncode(c.in), c.out) << c.in;
    EXPECT_EQ(htmlEncode(FXString::ToWstring(c.in).c_str()), FXString::ToWstring(c.out)) << c.in;
  }
}

TEST(NTBasicLibTest, DecodesEachEntityOnce) {
  const Case cases[] = {
      {"1 &lt; 2 &amp; 3 &gt; 0", "1 < 2 & 3 > 0"},
      {"&amp;lt;", "&lt;"},  // an encoded entity text stays entity text
      {"&amp;amp;", "&amp;"},
      {"&amp;&amp;gt;&lt;", "&&gt;<"},
      {"&quot; &#60; &AMP; &LT;", "&quot; &#60; &AMP; &LT;"},
      {"& &lt &amp &", "& &lt &amp &"},
      {"&&lt;", "&<"},
      {"Grüße &lt;Zoë&gt; &amp; 日本", "Grüße <Zoë> & 日本"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(htmlDecode(c.in), c.out) << c.in;
  }
}

TEST(NTBasicLibTest, DecodingUndoesEncoding) {
  // Texts built from the characters and entity fragments that could confuse
  // a decoder.
  const std::wstring pieces[] = {L"&", L"<", L">", L"amp;", L"lt;", L"gt;", L"a", L"ü", L";"};
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::wstring text;
    for (int n = random() % 12; n > 0; --n) text += pieces[random() % std::size(pieces)];
    const std::wstring encoded = htmlEncode(text.c_str());
    ASSERT_EQ(htmlDecode(encoded.c_str()), text);
    ASSERT_EQ(htmlDecode(htmlEncode(FXString::ToString(text).c_str()).c_str()),
              FXString::ToString(text));
  }
}

TEST(NTBasicLibTest, NullReadsAsEmpty) {
  EXPECT_EQ(htmlEncode(static_cast<const char*>(nullptr)), "");
  EXPECT_EQ(htmlDecode(static_cast<const wchar_t*>(nullptr)), L"");
}

}  // namespace
