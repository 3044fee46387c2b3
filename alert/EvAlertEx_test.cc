#include "tarnalert/alert/EvAlertEx.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "platform/testing/TestEnv.h"
#include "platform/testing/XmlCheck.h"

namespace {

using tarnalert::ScopedEnv;
using tarnalert::test::TestEnv;

class EvAlertExTest : public ::testing::Test {
 protected:
  // The texts and type codes of the streamed arguments.
  std::vector<std::pair<std::string, uint64_t>> Streamed() {
    std::vector<std::pair<std::string, uint64_t>> out;
    for (const auto& entry : alert_.getEventMsgList()) out.push_back({entry.text, entry.argType});
    return out;
  }

  TestEnv env_;
  ScopedEnv scoped_{&env_};
  EvAlertEx alert_;
};

TEST_F(EvAlertExTest, EveryArgumentTypeIsRenderedWithItsCode) {
  const std::string long_text = std::string(5000, 'q') + "\xc3\xa9";
  alert_ << static_cast<short>(-5) << static_cast<unsigned char>(65) << -1LL << ULLONG_MAX << 'x'
         << static_cast<unsigned short>(65535) << INT_MIN << 4000000000u << -7L << ULONG_MAX
         << long_text.c_str() << static_cast<const char*>(nullptr);
  const std::vector<std::pair<std::string, uint64_t>> expected = {
      {"-5", 3},          {"A", 2},
      {"-1", 9},          {"18446744073709551615", 10},
      {"x", 1},           {"65535", 4},
      {"-2147483648", 5}, {"4000000000", 6},
      {"-7", 7},          {"18446744073709551615", 8},
      {long_text, 11},    {"", 11}};
  EXPECT_EQ(Streamed(), expected);
}

TEST_F(EvAlertExTest, ArgumentsCarryTheEventValuesOfTheMomentTheyAreStreamed) {
  alert_.curEventCode = 1;
  alert_.curMessageId = 2;
  alert_.curEventData = 3;
  alert_ << "first";
  alert_.curEventCode = 0x4a00003f;
  alert_.curMessageId = 0x4a000321;
  alert_ << "second";
  const auto& list = alert_.getEventMsgList();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(std::vector<uint64_t>({list[0].eventCode, list[0].messageId, list[0].eventData}),
            std::vector<uint64_t>({1, 2, 3}));
  EXPECT_EQ(std::vector<uint64_t>({list[1].eventCode, list[1].messageId, list[1].eventData}),
            std::vector<uint64_t>({0x4a00003f, 0x4a000321, 3}));
  // A pushed message appends one rendered text.
  env_.SetCatalogText(0x4a000999, "Rendered message");
  alert_.curEventCode = 7;
  alert_.pushEventMsgString(0x4a000999);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[2].text, "Rendered message");
  EXPECT_EQ(list[2].argType, 11u);
  EXPECT_EQ(list[2].eventCode, 7u);
}

TEST_F(EvAlertExTest, ArgumentListIsStreamedNodeByNode) {
  ArgumentInfo args;
  short s = -3;
  int twelve = 42, zero = -9;
  unsigned long long big = ULLONG_MAX;
  args.Append(&s, sizeof s, kArgShort);
  args.Append("node text", 10, kArgText);
  args.Append(&twelve, sizeof twelve, 12);  // codes without a type of their own read as int
  args.Append(&zero, sizeof zero, 0);
  args.Append(&big, sizeof big, kArgUnsignedLongLong);
  alert_ << &args << static_cast<const ArgumentInfo*>(nullptr);
  const std::vector<std::pair<std::string, uint64_t>> expected = {
      {"-3", 3}, {"node text", 11}, {"42", 5}, {"-9", 5}, {"18446744073709551615", 10}};
  EXPECT_EQ(Streamed(), expected);

  args.count = 0;  // a list that reports no arguments is not read
  alert_.getEventMsgList().clear();
  alert_ << &args;
  EXPECT_TRUE(Streamed().empty());
}

TEST_F(EvAlertExTest, TextNodeWithoutTerminatorIsReadUpToItsValueArea) {
  ArgumentInfo args;
  args.Append("x", 2, kArgText);
  std::memset(args.value, 'z', sizeof args.value);
  alert_ << &args;
  EXPECT_EQ(alert_.getEventMsgList().back().text, std::string(ArgumentInfo::kValueSize, 'z'));
}

TEST_F(EvAlertExTest, FailureReasonsAreReadLikeAtoiWithoutOverflow) {
  struct Case {
    const char* list;
    bool result;
    std::vector<int32_t> reasons;
  };
  const std::vector<Case> cases = {
      {"4, 14,18", true, {4, 14, 18}},
      {"7,,x 9", true, {7, 0, 9}},
      {"", false, {}},
      {nullptr, false, {}},
      {" , ,", true, {}},
      {"-12 +3 5abc", true, {-12, 3, 5}},
      {"2147483647 99999999999999999999 -99999999999999999999", true, {INT_MAX, INT_MAX, INT_MIN}},
  };
  for (const Case& c : cases) {
    alert_.jmFailureReasons = {1, 2, 3};
    EXPECT_EQ(alert_.setJMFailureReasons(c.list), c.result) << (c.list ? c.list : "null");
    EXPECT_EQ(alert_.jmFailureReasons, c.reasons) << (c.list ? c.list : "null");
  }
}

TEST_F(EvAlertExTest, MessageTextIsAppendedOrReplacedAndCutAt1022WithALogLine) {
  alert_.fmtMsgString("a");
  alert_.fmtMsgString("%s", "b");
  EXPECT_EQ(alert_.msgString, "ab");
  alert_.fmtNewMsgString("%s", std::string(1022, 'k').c_str());  // fits exactly
  EXPECT_EQ(alert_.msgString, std::string(1022, 'k'));
  EXPECT_TRUE(env_.LogLines().empty());

  alert_.msgString.clear();
  alert_.fmtMsgString("%s", std::string(1500, 'm').c_str());
  EXPECT_EQ(alert_.msgString, std::string(1022, 'm'));
  EXPECT_EQ(env_.CountLogLines("EvAlertEx::fmtMsgString: Format string too long (truncated)["), 1u);
  alert_.fmtNewMsgString("%s", std::string(1023, 'n').c_str());
  EXPECT_EQ(alert_.msgString, std::string(1022, 'n'));
  EXPECT_EQ(env_.CountLogLines("EvAlertEx::fmtNewMsgString: Format string too long"), 1u);
}

TEST_F(EvAlertExTest, SettersStoreLowBitsOrNothing) {
  EXPECT_TRUE(alert_.setDriveName(0x100000005ul));
  EXPECT_TRUE(alert_.setSparePoolName(6));
  EXPECT_TRUE(alert_.setMountPathName(7));
  EXPECT_EQ(
      std::vector<uint32_t>({alert_.driveNameId, alert_.sparePoolNameId, alert_.mountPathNameId}),
      std::vector<uint32_t>({5, 6, 7}));
  EXPECT_TRUE(alert_.setContainer(5) && alert_.setDrivePoolName(5) && alert_.setExportLocation(5) &&
              alert_.setVtPolicyName(5));
  EXPECT_EQ(alert_.DumpAlert("x"), 0);
}

// --- Audit trail

EvAlertEx FilledAlert() {
  EvAlertEx alert;
  alert.alertType = 74;
  alert.criteria = -3;
  alert.status = 2;
  alert.auxNumber1 = (1LL << 32) + 5;
  alert.auxNumber6 = INT64_MIN;
  alert.auxNumber7 = 7;
  alert.auxNumber8 = 8;
  alert.auxNumber9 = 9;
  alert.auxNumber10 = 10;
  alert.auxNumber11 = 11;
  alert.auxNumber12 = INT64_MAX;
  alert.auxNumber13 = -13;
  alert.auxText14 = "fourteen & <more>";
  alert.auxText15 = "f\xc3\xbcnfzehn";
  alert.auxText16 = " sixteen\r\n";
  alert.auxNumber17 = -17;
  alert.defaultStatus = -1;
  return alert;
}

TEST(AuditTrailTest, AnyTextComesBackFromConformingXml) {
  TestEnv env;
  ScopedEnv scoped(&env);
  std::vector<tarnalert::test::LabelledText> documents;
  for (const tarnalert::test::LabelledText& row : tarnalert::test::HostileTexts()) {
    EvAlertEx alert = FilledAlert();
    alert.auxText14 = row.text;
    alert.auxText16 = "before " + row.text;
    std::string text;
    ASSERT_EQ(alert.serializeForAuditTrail(text), 0) << row.label;
    EvAlertEx copy;
    ASSERT_EQ(copy.unserializeForAuditTrail(text), 0) << row.label;
    EXPECT_EQ(copy.auxText14, alert.auxText14) << row.label;
    EXPECT_EQ(copy.auxText15, alert.auxText15) << row.label;
    EXPECT_EQ(copy.auxText16, alert.auxText16) << row.label;
    documents.push_back({row.label, text});
  }
  EXPECT_TRUE(tarnalert::test::XmlLintAccepts(documents));
  EXPECT_TRUE(env.LogLines().empty());
}

// The form's members come back; the others are left as they were.
TEST(AuditTrailTest, RoundTripCarriesTheFormsMembersAndKeepsTheOthers) {
  EvAlertEx alert = FilledAlert();
  std::string text;
  ASSERT_EQ(alert.serializeForAuditTrail(text), 0);
  EvAlertEx copy;
  copy << "argument";
  copy.msgString = "message";
  copy.jmFailureReasons = {4};
  copy.driveNameId = 3;
  copy.curEventCode = 9;
  ASSERT_EQ(copy.unserializeForAuditTrail(text), 0);
  EXPECT_EQ(
      std::vector<int64_t>({copy.alertType, copy.criteria, copy.status, copy.auxNumber1,
                            copy.auxNumber6, copy.auxNumber7, copy.auxNumber8, copy.auxNumber9,
                            copy.auxNumber10, copy.auxNumber11, copy.auxNumber12, copy.auxNumber13,
                            copy.auxNumber17, copy.defaultStatus}),
      std::vector<int64_t>({74, -3, 2, 5, INT64_MIN, 7, 8, 9, 10, 11, INT64_MAX, -13, -17, -1}));
  EXPECT_EQ(copy.auxText14 + copy.auxText15 + copy.auxText16,
            alert.auxText14 + alert.auxText15 + alert.auxText16);
  EXPECT_EQ(copy.getEventMsgList().size(), 1u);
  EXPECT_EQ(copy.msgString, "message");
  EXPECT_EQ(copy.jmFailureReasons, std::vector<int32_t>{4});
  EXPECT_EQ(copy.driveNameId, 3u);
  EXPECT_EQ(copy.curEventCode, 9u);
}

TEST(AuditTrailTest, RejectedTextLeavesTheAlertUntouched) {
  TestEnv env;
  ScopedEnv scoped(&env);
  for (const std::string text :
       {"", "not xml", "<EvAlertExMessage><alertType>x</alertType></EvAlertExMessage>",
        "<Email><address>a@b</address></Email>", "<EvAlertExMessage>"}) {
    EvAlertEx alert = FilledAlert();
    EXPECT_NE(alert.unserializeForAuditTrail(text), 0) << text;
    EXPECT_EQ(alert.alertType, 74) << text;
    EXPECT_EQ(alert.auxText14, "fourteen & <more>") << text;
  }
}

TEST(AuditTrailTest, MissingFieldsClearTheirMembers) {
  EvAlertEx alert = FilledAlert();
  ASSERT_EQ(alert.unserializeForAuditTrail(
                "<EvAlertExMessage><alertType>12</alertType></EvAlertExMessage>"),
            0);
  EXPECT_EQ(std::vector<int64_t>({alert.alertType, alert.criteria, alert.status, alert.auxNumber1,
                                  alert.auxNumber6, alert.auxNumber12, alert.auxNumber17,
                                  alert.defaultStatus}),
            std::vector<int64_t>({12, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(alert.auxText14 + alert.auxText15 + alert.auxText16, "");
}

}  // namespace
