#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/testing/TestEnv.h"
#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"
#include "tarnalert/platform/text/FXString.h"

namespace {

using KTGui::AlertAvailCriteria;
using KTGui::AlertCriteria;
using KTGui::AlertCriteriaParam;
using KTGui::AlertTypeListItem;
using ::testing::ElementsAre;
using ::testing::Pair;

// (tokenId, flags) of one criteria.
using Tokens = std::vector<std::pair<int, int>>;

AlertTypeListItem AlertType(int typeId, std::vector<Tokens> criteria) {
  AlertTypeListItem item;
  item.set(AlertTypeListItem::alertTypeId, typeId);
  for (const Tokens& tokens : criteria) {
    HqMessageBase& c =
        item.list(AlertTypeListItem::availCriteria).emplace_back(AlertAvailCriteria());
    for (auto [id, flags] : tokens) {
      HqMessageBase& token =
          c.list(AlertAvailCriteria::tokens).emplace_back(KTGui::AlertNotifToken());
      token.set(KTGui::AlertNotifToken::tokenId, id);
      token.set(KTGui::AlertNotifToken::tokenFlags, flags);
    }
  }
  return item;
}

class NotificationSetupTest : public ::testing::Test {
 protected:
  NotificationSetupTest() {
    env_.SetCatalogText(0x4a000002, "SubjStart");
    env_.SetCatalogText(0x4a000001, "SubjEnd\n");
  }

  tarnalert::test::TestEnv env_;
  tarnalert::ScopedEnv scoped_{&env_};
  EvAlertEx alert_;
  NTAlertProcessClient client_{74, 3, 0, alert_};
  KTGui::AlertDetail rule_;
  NTNotifRuleDetectedAlertProcessing processing_{rule_, client_};
};

// Alert types 74 (twice) and 75 offering tokens 0x4a000010 to 0x4a000014, the
// markers and the link tokens.
void OfferTokens(NTAlertProcessClient& client) {
  client.alertConfig.child(KTGui::GetAlertDetailForClientResp::alertTypeCatalog)
      .list(KTGui::AlertTypeCatalog::alertTypes) = {
      AlertType(74, {{{0x4a000010, 0x80}, {0x4a000001, 1}}, {{0x4a000011, 0x1000}}}),
      AlertType(75, {{{0x4a000013, 4}}}),  // not the alert's type
      AlertType(74, {{{0x4a000010, 0x4000}, {0x4a000012, 0}, {0x4a0003b6, 1}},
                     {{0x4a0003b9, 1}, {0x4a000002, 1}, {0x4a000014, 2}}})};
}

TEST_F(NotificationSetupTest, CollectsTheTokensOfEveryCriteriaOnceAndLaterOnlyWhatIsMissing) {
  env_.SetCatalogText(0x4a000010, " Volume\t \r\n");
  env_.SetCatalogText(0x4a000011, "Größe ✓ ");
  env_.SetCatalogText(0x4a000012, " \n\t\r");
  env_.SetCatalogText(0x4a000013, "Ziel");
  env_.RemoveCatalogText(0x4a000014);
  OfferTokens(client_);
  processing_.InitializeNotification();
  EXPECT_EQ(processing_.subjectStartMarker, L"SubjStart");
  EXPECT_EQ(processing_.subjectEndMarker, L"SubjEnd\n");  // markers stay untrimmed
  // The first flags of a token count; the markers and tokens 0x4a0003b6 and
  // 0x4a0003b9 are left out.
  EXPECT_THAT(processing_.tokenFlags, ElementsAre(Pair(0x4a000010, 0x80), Pair(0x4a000011, 0x1000),
                                                  Pair(0x4a000012, 0), Pair(0x4a000014, 2)));
  EXPECT_THAT(processing_.tokenTexts,
              ElementsAre(Pair(0x4a000010, L" Volume"), Pair(0x4a000011, L"Größe ✓"),
                          Pair(0x4a000012, L""), Pair(0x4a000014, L"")));
  // A later call adds only what is missing.
  env_.SetCatalogText(0x4a000010, "Changed");
  env_.SetCatalogText(0x4a000002, "Changed");
  processing_.tokenTexts.erase(0x4a000011);
  processing_.InitializeNotification();
  EXPECT_EQ(processing_.subjectStartMarker, L"SubjStart");
  EXPECT_EQ(processing_.tokenTexts[0x4a000010], L" Volume");
  EXPECT_EQ(processing_.tokenTexts[0x4a000011], L"Größe ✓");
  EXPECT_EQ(processing_.tokenFlags.size(), 4u);
}

TEST_F(NotificationSetupTest, EmptyMarkerIsFetchedAgainByALaterCall) {
  env_.SetCatalogText(0x4a000002, "");
  env_.RemoveCatalogText(0x4a000001);
  processing_.InitializeNotification();
  EXPECT_EQ(processing_.subjectStartMarker, L"");
  EXPECT_EQ(processing_.subjectEndMarker, L"");
  env_.SetCatalogText(0x4a000002, "Start");
  env_.SetCatalogText(0x4a000001, "End");
  processing_.InitializeNotification();
  EXPECT_EQ(processing_.subjectStartMarker, L"Start");
  EXPECT_EQ(processing_.subjectEndMarker, L"End");
}

// A catalogue whose texts change on every look-up (the first id asked for is
// unknown once), saying `generation` or nothing (0).
class ChangingCatalog : public tarnalert::EnvWrapper {
 public:
  explicit ChangingCatalog(uint64_t generation)
      : EnvWrapper(tarnalert::Env::Default()), generation_(generation) {}
  bool CatalogText(unsigned long, unsigned long, std::string* text) override {
    if (++asked == 1) return false;
    *text = "Text " + std::to_string(asked);
    return true;
  }
  uint64_t CatalogGeneration() override { return generation_; }
  int asked = 0;

 private:
  uint64_t generation_;
};

// Texts are kept only while the catalogue says none has changed, and an
// empty one never: each rule object sees what the catalogue gives then.
TEST(NotificationSetupCatalogTest, TextsAreKeptOnlyWhileTheCatalogueSaysSo) {
  // (generation, texts of the markers of two rule objects, look-ups)
  const std::tuple<uint64_t, std::vector<std::wstring>, int> cases[] = {
      {0, {L"", L"Text 2", L"Text 3", L"Text 4"}, 4},
      {tarnalert::Env::NewCatalogGeneration(), {L"", L"Text 2", L"Text 3", L"Text 2"}, 3},
  };
  for (const auto& [generation, markers, lookUps] : cases) {
    ChangingCatalog env(generation);
    tarnalert::ScopedEnv scoped(&env);
    EvAlertEx alert;
    NTAlertProcessClient client(74, 3, 0, alert);
    KTGui::AlertDetail rule;
    std::vector<std::wstring> seen;
    for (int object = 0; object < 2; ++object) {
      NTNotifRuleDetectedAlertProcessing processing(rule, client);
      processing.InitializeNotification();
      seen.push_back(processing.subjectStartMarker);
      seen.push_back(processing.subjectEndMarker);
    }
    EXPECT_EQ(seen, markers) << generation;
    EXPECT_EQ(env.asked, lookUps) << generation;
  }
}

TEST_F(NotificationSetupTest, HtmlTemplateGetsItsSubjectEscaped) {
  env_.SetCatalogText(0x4a000001, "SubjEnd");
  processing_.InitializeNotification();
  // (format, raw template, prepared template)
  const std::tuple<int, std::wstring, std::wstring> cases[] = {
      {1, L"a<b & çSubjEnd<p>x<y</p>", L"a&lt;b &amp; çSubjEnd<p>x<y</p>"},
      {1, L"<x>SubjStartA&BSubjStartcSubjEnd<b>", L"A&amp;BSubjStartcSubjEnd<b>"},
      {1, L"SubjEnd<b>a</b>", L"SubjEnd<b>a</b>"},
      {1, L"no end marker <b>", L"no end marker <b>"},
      {0, L"SubjStarta<bSubjEnd<b>", L"SubjStarta<bSubjEnd<b>"},
      {2, L"a<bSubjEnd<b>", L"a<bSubjEnd<b>"},
  };
  for (const auto& [format, raw, prepared] : cases) {
    std::wstring copy = raw;
    const std::string label = "format " + std::to_string(format) + ": " + FXString::ToString(raw);
    EXPECT_EQ(processing_.GetEncodedRawMessage(copy, format), prepared) << label;
    EXPECT_EQ(copy, raw) << label;  // the template itself is left as it was
  }
}

TEST_F(NotificationSetupTest, CriteriaTextFillsPlaceholdersInOrder) {
  const std::tuple<const char*, std::vector<int64_t>, std::wstring> cases[] = {
      {"Usage above <percent>% for <minutes> min", {80, 5}, L"Usage above 80% for 5 min"},
      {"<a> only", {1, 2}, L"1 only"},
      {"<a> and <b>", {7}, L"7 and <b>"},
      {"Wert <v>", {4294967295}, L"Wert -1"},
      {"Füllstand <p> ✓", {9}, L"Füllstand 9 ✓"},
      {"a>b<c>d", {5}, L"a>b5d"},
      {"a > b < c", {5}, L"a > b < c"},
      {"<a> left", {}, L"<a> left"},
  };
  // The rule selects criteria 3 with the parameter values, after criteria 2.
  AlertCriteria other;
  other.set(AlertCriteria::criteriaId, 2);
  other.list(AlertCriteria::params).emplace_back(AlertCriteriaParam());
  for (const auto& [text, values, result] : cases) {
    env_.SetCatalogText(0x4a400001, text);
    AlertCriteria criteria;
    criteria.set(AlertCriteria::criteriaId, 3);
    auto& params = criteria.list(AlertCriteria::params);
    for (int64_t value : values)
      params.emplace_back(AlertCriteriaParam()).set(AlertCriteriaParam::value, value);
    rule_.list(KTGui::AlertDetail::criteria) = {other, criteria};
    EXPECT_EQ(processing_.FormatAlertCriteria(0x4a400001), result) << text;
  }
  rule_.list(KTGui::AlertDetail::criteria).clear();  // no entry for the criteria
  EXPECT_EQ(processing_.FormatAlertCriteria(0x4a400001), L"<a> left");
}

}  // namespace
