#include "tarnalert/alertclient/TemplateText.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "alertclient/detail/TokenReplacement.h"
#include "platform/testing/TestEnv.h"
#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"
#include "tarnalert/platform/text/FXString.h"

namespace {

constexpr size_t npos = std::wstring::npos;

// Straightforward forms of the trimming and replacement, erasing in place and
// lowering the whole message per match; the single-pass forms must agree.
void ReferenceTrim(std::wstring& text, const std::wstring& open, const std::wstring& close,
                   const std::wstring& exclude, size_t maxSpan) {
  for (size_t start = text.find(open), end; start != npos; start = text.find(open, end)) {
    if ((end = text.find(close, start)) == npos) return;
    if (size_t next = text.find(open, start + open.size()); next < end) start = next;
    const std::wstring segment = text.substr(start, end - start + 1);
    if (segment.find(L"Not Applicable") != npos && segment.rfind(open) == 0 &&
        (exclude.empty() || segment.find(exclude) == npos) && end - start <= maxSpan) {
      text.erase(start, end + close.size() - start);
      end = start;
    }
  }
}

void ReferenceReplace(std::wstring& message, std::wstring find, const std::wstring& with) {
  FXString::ToLower(find);
  for (size_t at = 0; (at = FindString(message, at, find.c_str())) != npos; at += with.size())
    message.replace(at, find.size(), with);
}

class TemplateTextTest : public ::testing::Test {
 protected:
  std::wstring Replaced(std::wstring message, const wchar_t* find, const wchar_t* with) {
    rule_.Replace(message, find, with);
    return message;
  }
  std::wstring Token(std::wstring message, int tokenId, const wchar_t* value, bool escape) {
    rule_.ReplaceTokenInMessage(message, tokenId, value, escape);
    return message;
  }

  tarnalert::test::TestEnv test_env_;
  tarnalert::ScopedEnv env_{&test_env_};
  EvAlertEx alert_;
  NTAlertProcessClient client_{74, 1, 0, alert_};
  KTGui::AlertDetail ruleMessage_;
  NTNotifRuleDetectedAlertProcessing rule_{ruleMessage_, client_};
};

// The plain helpers: exact replacement that never searches inserted text,
// markers expanded only in their exact case, and a search that lowers the
// text but not what it looks for.
TEST_F(TemplateTextTest, PlainHelpersKeepTheirOwnRulesOfCase) {
  auto replaced = [](std::wstring text, const std::wstring& find, const std::wstring& with) {
    const std::wstring result = replaceWString(text, find, with);
    EXPECT_EQ(text, result);  // replaced in place as well
    return result;
  };
  EXPECT_EQ(replaced(L"tok tok", L"tok", L"<tok>"), L"<tok> <tok>");  // inserted text not searched
  EXPECT_EQ(replaced(L"TOK tok", L"tok", L"x"), L"TOK x");            // case-sensitive
  EXPECT_EQ(replaced(L"abc", L"", L"x"), L"abc");  // an empty search text matches nothing
  EXPECT_EQ(replaced(L"grün→grün", L"grün", L"vert"), L"vert→vert");
  const std::wstring text = L"a MsgNewLine_MsgTab_b msgnewline_ MSGTAB_";
  EXPECT_EQ(DecodeMsgTabForNotifMessage(DecodeNewLineForNotifMessage(text, true), true),
            L"a <br>&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;b msgnewline_ MSGTAB_");
  EXPECT_EQ(FindString(L"Alert NAME and ÄPFEL", 7, L"äpfel"), 15u);  // the text is lowered,
  EXPECT_EQ(FindString(L"Alert NAME", 0, L"NAME"), npos);            // the search is not
  EXPECT_EQ(FindString(L"abc", 0, nullptr), npos);
}

TEST_F(TemplateTextTest, ReplaceIgnoresLetterCase) {
  EXPECT_EQ(Replaced(L"ΣΑΣ", L"σ", L"s"), L"sΑs");  // letter case is ignored
  EXPECT_EQ(Replaced(L"abc", L"", L"x"), L"abc");   // empty search text: no endless loop
  EXPECT_EQ(Replaced(L"abc", nullptr, L"x"), L"abc");
  EXPECT_EQ(Replaced(L"abc", L"b", nullptr), L"abc");
}

TEST(TrimRowsTest, FollowsTheTableOfTags) {
  const std::wstring pad(200, L'.'), longItem = L"<li>" + pad + L"Not Applicable" + pad + L"</li>";
  const std::wstring row150 = L"<tr>Not Applicable" + std::wstring(132, L'.') + L"</tr>";
  struct Case {
    int alertType;
    std::wstring body;
    const wchar_t* out;  // null: the body stays as it is
  } cases[] = {
      {74, L"<ul><li>Size: Not Applicable</li><li>Name: x</li></ul>", L"<ul><li>Name: x</li></ul>"},
      {74, L"<li><tr>Not Applicable</li>z", nullptr},     // excluded
      {74, longItem, nullptr},                            // too long
      {74, L"<li>a<li>Not Applicable</li>b", L"<li>ab"},  // second open tag wins
      {74, L"<li>Not Applicable<li>x</li>b", nullptr},
      {74, L"<li>Not Applicable</li><li>Not Applicable", L"<li>Not Applicable"},  // no close
      {74, L"<LI>Not Applicable</LI><li>not applicable</li>", nullptr},           // exact case
      {74, L"<tr><td>Not Applicable</td></tr>", nullptr},
      {57, L"<tr><td>Not Applicable</td></tr><tr><td>1</td></tr>", L"<tr><td>1</td></tr>"},
      {57, row150 + L"x", L"x"},                   // close tag at 150: removed
      {57, L"<tr>." + row150.substr(4), nullptr},  // at 151: kept
      {57, L"<tr><li>Not Applicable</tr>", L""},   // no exclusion text
      {57, L"ünï<tr>Not Applicable — ☃</tr>ünï", L"ünïünï"},
  };
  for (const Case& c : cases) {
    std::wstring body = c.body;
    TrimNotApplicableRowsFromHtmlBody(body, c.alertType);
    EXPECT_EQ(body, c.out ? c.out : c.body) << FXString::ToString(c.body);
  }
  std::wstring body = L"<li>Not Applicable</li>";  // degenerate tags leave the body
  TrimNotApplicableRowsFromHtmlBody(body, L"", L"</li>", nullptr, 250);
  TrimNotApplicableRowsFromHtmlBody(body, L"<li", L"<li", nullptr, 250);  // cannot advance
  EXPECT_EQ(body, L"<li>Not Applicable</li>");
}

TEST_F(TemplateTextTest, SinglePassFormsAgreeWithTheStraightforwardOnes) {
  const std::wstring rows[] = {std::wstring(60, L'-'), L"<li",  L"</li>", L"<tr", L"</tr>", L"x",
                               L"Not Applicable",      L"Not ", L"<",     L"/",   L"li>",   L"é"};
  const std::tuple<const wchar_t*, const wchar_t*, const wchar_t*, size_t> tags[] = {
      {L"<li", L"</li>", L"<tr", 250}, {L"<tr", L"</tr>", L"", 150}, {L"<li", L"</li>", L"", 0},
      {L"<li", L"</li>", L"x", 40},    {L"<li", L"li>", L"", 100},   {L"<", L"/", L"", 1000}};
  const std::wstring pieces[] = {L"ab", L"AB", L"aB", L"a", L"b", L"É", L"é", L"x"};
  const wchar_t* finds[] = {L"ab", L"Ab", L"aba", L"é", L"bÉ"};
  const wchar_t* withs[] = {L"", L"AB", L"ab-ab", L"ÉÉ"};
  std::mt19937 random(11);
  for (int round = 0; round < 20000; ++round) {
    std::wstring body, message, expected, actual;
    for (int n = random() % 16; n > 0; --n) body += rows[random() % std::size(rows)];
    for (int n = random() % 12; n > 0; --n) message += pieces[random() % std::size(pieces)];
    const auto& [open, close, exclude, span] = tags[round % std::size(tags)];
    ReferenceTrim(expected = body, open, close, exclude, span);
    TrimNotApplicableRowsFromHtmlBody(actual = body, open, close, exclude, span);
    ASSERT_EQ(actual, expected) << FXString::ToString(body) << " tags " << round % std::size(tags);
    const size_t find = random() % std::size(finds), with = random() % std::size(withs);
    ReferenceReplace(expected = message, finds[find], withs[with]);
    ASSERT_EQ(Replaced(message, finds[find], withs[with]), expected) << FXString::ToString(message);
  }
}

// The one-pass fill must give what replacing token after token gives, also
// when tokens overlap or run into one another, values hold token texts, or
// letters change case.
TEST_F(TemplateTextTest, OnePassFillAgreesWithReplacingTokenAfterToken) {
  const std::wstring pieces[] = {L"<a>", L"<A", L"b>", L"&lt;a&gt;", L"&LT;", L"<ab>", L"x",
                                 L"&",   L"<",  L"é",  L"<É>",       L"a>",   L" "};
  const std::wstring finds[] = {L"<a>", L"<ab>", L"&lt;a&gt;", L"<a", L"<é>", L"b>", L"", L"&"};
  const std::wstring withs[] = {L"", L"v", L"<a>", L"&amp;", L"b>", L"ÉÉ", L"Not Applicable"};
  std::mt19937 random(7);
  tarnalert::detail::TokenPlaceMemo kept;
  for (int round = 0; round < 40000; ++round) {
    std::wstring message;
    for (int n = random() % 14; n > 0; --n) message += pieces[random() % std::size(pieces)];
    std::vector<tarnalert::detail::Replacement> list;
    std::wstring expected = message;
    std::string described = FXString::ToString(message);
    for (int n = random() % 6; n > 0; --n) {
      // Mostly the texts of a template: tokens that start with '<' or '&'
      // and values without either.
      const bool plain = round % 4 != 0;
      const std::wstring& find = finds[random() % (plain ? 5 : std::size(finds))];
      const std::wstring& with = withs[plain ? random() % 2 * 5 + 1 : random() % std::size(withs)];
      list.push_back({find, with});
      rule_.Replace(expected, find.c_str(), with.c_str());
      described += " [" + FXString::ToString(find) + " -> " + FXString::ToString(with) + "]";
    }
    std::wstring actual = message;
    tarnalert::detail::ReplaceInOrder(actual, list);
    ASSERT_EQ(actual, expected) << described;
    // Places kept from earlier fills (short messages come back with other
    // tokens and values) must give the same.
    for (int pass = 0; pass < 2; ++pass) {
      actual = message;
      tarnalert::detail::ReplaceInOrder(actual, list, &kept);
      ASSERT_EQ(actual, expected) << described << " (kept places, pass " << pass << ")";
    }
  }
}

TEST_F(TemplateTextTest, ReplaceTokenSearchesTheCachedTokenTextInEitherFormat) {
  test_env_.SetCatalogText(0x4a000100, "<Client Näme> \r\n\t");  // trailing blanks are dropped
  EXPECT_EQ(Token(L"Host: <client NÄME>, again <CLIENT näme>", 0x4a000100, L"wörk<1>", true),
            L"Host: wörk<1>, again wörk<1>");       // plain text: never escaped
  test_env_.SetCatalogText(0x4a000100, "changed");  // the cached text is used
  std::wstring message = L"<Client Näme> changed";
  rule_.ReplaceTokenInMessage(message, 0x4a000100, -7);
  EXPECT_EQ(message, L"-7 changed");
  test_env_.SetCatalogText(0x4a000103, " \t\r\n");  // a token without text replaces nothing
  EXPECT_EQ(Token(L"a \t\r\nb", 0x4a000103, L"value", false), L"a \t\r\nb");

  rule_.messageFormat = 1;  // HTML: the escaped token text is searched
  rule_.tokenTexts[0x4a000102] = L"<Size & Name>";
  const std::wstring html = L"<b>&LT;size &amp; name&gt;</b> <Size & Name>";
  EXPECT_EQ(Token(html, 0x4a000102, L"a<b> & ü", true), L"<b>a&lt;b&gt; &amp; ü</b> <Size & Name>");
  EXPECT_EQ(Token(html, 0x4a000102, L"a<b> & ü", false), L"<b>a<b> & ü</b> <Size & Name>");
  EXPECT_EQ(rule_.GetHtmlEscapedString(L"<a \"x\">&"), L"&lt;a \"x\"&gt;&amp;");
}

}  // namespace
