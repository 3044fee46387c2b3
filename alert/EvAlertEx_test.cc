#include "alert/EvAlertEx.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "platform/testing/TestEnv.h"

namespace {

using tarnalert::testing::ScopedEnv;
using tarnalert::testing::TestEnv;

class EvAlertExTest : public ::testing::Test {
 protected:
  TestEnv env_;
  ScopedEnv scoped_{&env_};
  EvAlertEx alert_;

  const AlertEventMsg& Last() { return alert_.getEventMsgList().back(); }
};

TEST_F(EvAlertExTest, ScalarsAreRenderedWithTheirTypeCode) {
  struct Case {
    std::string text;
    uint64_t code;
  };
  alert_ << static_cast<short>(-5) << static_cast<unsigned char>(65) << -1LL << ULLONG_MAX
         << 'x' << static_cast<unsigned short>(65535) << INT_MIN << 4000000000u << -7L
         << ULONG_MAX;
  const std::vector<Case> expected = {
      {"-5", 3},         {"A", 2},           {"-1", 9}, {"18446744073709551615", 10},
      {"x", 1},          {"65535", 4},       {"-2147483648", 5},
      {"4000000000", 6}, {"-7", 7},          {"18446744073709551615", 8}};
  ASSERT_EQ(alert_.getEventMsgList().size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(alert_.getEventMsgList()[i].text, expected[i].text) << i;
    EXPECT_EQ(alert_.getEventMsgList()[i].argType, expected[i].code) << i;
  }
}

TEST_F(EvAlertExTest, ArgumentsCarryTheCurrentEventValuesWhenStreamed) {
  alert_.curEventCode = 1;
  alert_.curMessageId = 2;
  alert_.curEventData = 3;
  alert_ << "first";
  alert_.curEventCode = 0x4a00003f;
  alert_.curMessageId = 0x4a000321;
  alert_ << "second";
  const auto& list = alert_.getEventMsgList();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].eventCode, 1u);
  EXPECT_EQ(list[0].messageId, 2u);
  EXPECT_EQ(list[0].eventData, 3u);
  EXPECT_EQ(list[1].eventCode, 0x4a00003fu);
  EXPECT_EQ(list[1].messageId, 0x4a000321u);
  EXPECT_EQ(list[1].text, "second");
}

TEST_F(EvAlertExTest, LongTextIsCopiedWhole) {
  std::string text(5000, 'q');
  text += "\xc3\xa9";  // non-ASCII stays as given
  alert_ << text.c_str();
  EXPECT_EQ(Last().text, text);
  EXPECT_EQ(Last().argType, 11u);
}

TEST_F(EvAlertExTest, ArgumentListIsStreamedNodeByNode) {
  ArgumentInfo args;
  short s = -3;
  args.Append(&s, sizeof s, kArgShort);
  args.Append("node text", 10, kArgText);
  int twelve = 42;
  args.Append(&twelve, sizeof twelve, 12);  // an unknown code reads as int
  int zero = -9;
  args.Append(&zero, sizeof zero, 0);
  unsigned long long big = ULLONG_MAX;
  args.Append(&big, sizeof big, kArgUnsignedLongLong);
  alert_ << &args;
  std::vector<std::string> texts;
  std::vector<uint64_t> codes;
  for (const auto& entry : alert_.getEventMsgList()) {
    texts.push_back(entry.text);
    codes.push_back(entry.argType);
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"-3", "node text", "42", "-9",
                                             "18446744073709551615"}));
  EXPECT_EQ(codes, (std::vector<uint64_t>{3, 11, 5, 5, 10}));
}

TEST_F(EvAlertExTest, EmptyOrNullArgumentListAppendsNothing) {
  ArgumentInfo args;
  int value = 5;
  args.Append(&value, sizeof value, kArgInt);
  args.count = 0;  // a list that reports no arguments is not read
  alert_ << &args << static_cast<const ArgumentInfo*>(nullptr);
  EXPECT_TRUE(alert_.getEventMsgList().empty());
}

TEST_F(EvAlertExTest, TextNodeWithoutTerminatorIsReadUpToItsValueArea) {
  ArgumentInfo args;
  args.Append("x", 2, kArgText);
  std::memset(args.value, 'z', sizeof args.value);  // no terminator anywhere
  alert_ << &args;
  EXPECT_EQ(Last().text, std::string(ArgumentInfo::kValueSize, 'z'));
}

TEST_F(EvAlertExTest, PushEventMsgStringAppendsOneRenderedText) {
  env_.SetCatalogText(0x4a000999, "Rendered message");
  alert_.curEventCode = 7;
  alert_.pushEventMsgString(0x4a000999);
  ASSERT_EQ(alert_.getEventMsgList().size(), 1u);
  EXPECT_EQ(Last().text, "Rendered message");
  EXPECT_EQ(Last().argType, 11u);
  EXPECT_EQ(Last().eventCode, 7u);
}

TEST_F(EvAlertExTest, FailureReasonsAreParsedLikeAtoi) {
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
      {"2147483647 99999999999999999999 -99999999999999999999", true,
       {INT_MAX, INT_MAX, INT_MIN}},
  };
  for (const Case& c : cases) {
    alert_.jmFailureReasons = {1, 2, 3};
    EXPECT_EQ(alert_.setJMFailureReasons(c.list), c.result) << (c.list ? c.list : "null");
    EXPECT_EQ(alert_.jmFailureReasons, c.reasons) << (c.list ? c.list : "null");
  }
}

TEST_F(EvAlertExTest, MessageTextIsAppendedOrReplaced) {
  alert_.fmtMsgString("a");
  alert_.fmtMsgString("%s", "b");
  EXPECT_EQ(alert_.msgString, "ab");
  alert_.fmtNewMsgString("c%d", 1);
  EXPECT_EQ(alert_.msgString, "c1");
  EXPECT_EQ(env_.LogLines().size(), 0u);
}

TEST_F(EvAlertExTest, OverlongMessageTextIsCutAndLoggedOnce) {
  std::string long_text(1500, 'm');
  alert_.fmtMsgString("%s", long_text.c_str());
  EXPECT_EQ(alert_.msgString, std::string(1022, 'm'));
  EXPECT_EQ(env_.CountLogLines("EvAlertEx::fmtMsgString: Format string too long (truncated)["),
            1u);
  alert_.fmtNewMsgString("%s", std::string(1023, 'n').c_str());
  EXPECT_EQ(alert_.msgString, std::string(1022, 'n'));
  EXPECT_EQ(env_.CountLogLines("EvAlertEx::fmtNewMsgString: Format string too long"), 1u);
  alert_.fmtNewMsgString("%s", std::string(1022, 'k').c_str());  // fits exactly
  EXPECT_EQ(env_.LogLines().size(), 2u);
}

TEST_F(EvAlertExTest, SettersStoreLowBitsOrNothing) {
  EXPECT_TRUE(alert_.setDriveName(0x100000005ul));
  EXPECT_TRUE(alert_.setSparePoolName(6));
  EXPECT_TRUE(alert_.setMountPathName(7));
  EXPECT_EQ(alert_.driveNameId, 5u);
  EXPECT_EQ(alert_.sparePoolNameId, 6u);
  EXPECT_EQ(alert_.mountPathNameId, 7u);
  EXPECT_TRUE(alert_.setContainer(5));
  EXPECT_TRUE(alert_.setDrivePoolName(5));
  EXPECT_TRUE(alert_.setExportLocation(5));
  EXPECT_TRUE(alert_.setVtPolicyName(5));
  EXPECT_EQ(alert_.DumpAlert("x"), 0);
  alert_.setPrevJobDetails(-1, 2, 3);
  EXPECT_EQ(alert_.prevJobDetail1, -1);
  EXPECT_EQ(alert_.prevJobDetail2, 2);
  EXPECT_EQ(alert_.prevJobDetail3, 3);
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

TEST(AuditTrailTest, RoundTripReproducesEveryTravellingMember) {
  EvAlertEx alert = FilledAlert();
  std::string text;
  ASSERT_EQ(alert.serializeForAuditTrail(text), 0);
  EvAlertEx copy;
  ASSERT_EQ(copy.unserializeForAuditTrail(text), 0);
  EXPECT_EQ(copy.alertType, 74);
  EXPECT_EQ(copy.criteria, -3);
  EXPECT_EQ(copy.status, 2);
  EXPECT_EQ(copy.auxNumber1, 5);  // only the low 32 bits travel
  EXPECT_EQ(copy.auxNumber6, INT64_MIN);
  EXPECT_EQ(copy.auxNumber7, 7);
  EXPECT_EQ(copy.auxNumber8, 8);
  EXPECT_EQ(copy.auxNumber9, 9);
  EXPECT_EQ(copy.auxNumber10, 10);
  EXPECT_EQ(copy.auxNumber11, 11);
  EXPECT_EQ(copy.auxNumber12, INT64_MAX);
  EXPECT_EQ(copy.auxNumber13, -13);
  EXPECT_EQ(copy.auxText14, alert.auxText14);
  EXPECT_EQ(copy.auxText15, alert.auxText15);
  EXPECT_EQ(copy.auxText16, alert.auxText16);
  EXPECT_EQ(copy.auxNumber17, -17);
  EXPECT_EQ(copy.defaultStatus, -1);
}

TEST(AuditTrailTest, MembersOutsideTheFormAreKept) {
  std::string text;
  ASSERT_EQ(FilledAlert().serializeForAuditTrail(text), 0);
  EvAlertEx target;
  target << "argument";
  target.msgString = "message";
  target.jmFailureReasons = {4};
  target.driveNameId = 3;
  target.curEventCode = 9;
  target.prevJobDetail3 = 8;
  ASSERT_EQ(target.unserializeForAuditTrail(text), 0);
  EXPECT_EQ(target.getEventMsgList().size(), 1u);
  EXPECT_EQ(target.msgString, "message");
  EXPECT_EQ(target.jmFailureReasons, std::vector<int32_t>{4});
  EXPECT_EQ(target.driveNameId, 3u);
  EXPECT_EQ(target.curEventCode, 9u);
  EXPECT_EQ(target.prevJobDetail3, 8);
}

TEST(AuditTrailTest, RejectedTextLeavesTheAlertUntouched) {
  TestEnv env;
  ScopedEnv scoped(&env);
  const std::vector<std::string> bad = {
      "", "not xml", "<EvAlertExMessage><alertType>x</alertType></EvAlertExMessage>",
      "<Email><address>a@b</address></Email>", "<EvAlertExMessage>"};
  for (const std::string& text : bad) {
    EvAlertEx alert = FilledAlert();
    EXPECT_NE(alert.unserializeForAuditTrail(text), 0) << text;
    EXPECT_EQ(alert.alertType, 74) << text;
    EXPECT_EQ(alert.auxText14, "fourteen & <more>") << text;
    EXPECT_EQ(alert.defaultStatus, -1) << text;
  }
}

TEST(AuditTrailTest, MissingFieldsClearTheirMembers) {
  EvAlertEx alert = FilledAlert();
  ASSERT_EQ(alert.unserializeForAuditTrail(
                "<EvAlertExMessage><alertType>12</alertType></EvAlertExMessage>"),
            0);
  EXPECT_EQ(alert.alertType, 12);
  EXPECT_EQ(alert.criteria, 0);
  EXPECT_EQ(alert.status, 0);
  EXPECT_EQ(alert.auxNumber1, 0);
  EXPECT_EQ(alert.auxNumber6, 0);
  EXPECT_EQ(alert.auxNumber12, 0);
  EXPECT_EQ(alert.auxText14, "");
  EXPECT_EQ(alert.auxText16, "");
  EXPECT_EQ(alert.auxNumber17, 0);
  EXPECT_EQ(alert.defaultStatus, 0);
}

}  // namespace
