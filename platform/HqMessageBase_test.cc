#include "platform/HqMessageBase.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "platform/Messages.h"
#include "platform/detail/MessageRegistry.h"
#include "platform/detail/XmlStatus.h"
#include "platform/testing/TestEnv.h"

namespace {

using tarnalert::ClassInfo;
using tarnalert::FieldInfo;
using tarnalert::FieldKind;
using tarnalert::testing::ScopedEnv;
using tarnalert::testing::TestEnv;
namespace detail = tarnalert::detail;

// Texts that must come back byte for byte.
const std::vector<std::string> kTrickyTexts = {
    "",
    " leading and trailing ",
    "   ",
    "\t\n \r\n",
    "line one\r\nline two\rline three\n",
    "tab\there",
    "Grüße, 東京, \xF0\x9F\x94\x94",
    "<b>&amp;lt;Alert Name&amp;gt;</b> ]]> \"quoted\" 'single'",
    "control \x01\x1F\x7F",
    "\xEF\xBB\xBF starts with a byte order mark",
};

// Sets every field of `message` (of class `cls`), nesting children `depth` deep.
void Fill(HqMessageBase& message, const ClassInfo& cls, int depth, int64_t seed) {
  for (size_t i = 0; i < cls.fieldCount; ++i) {
    const FieldInfo& f = cls.fields[i];
    const int64_t n = seed * 100 + static_cast<int64_t>(i);
    switch (f.kind) {
      case FieldKind::kInteger:
        message.setint64(f.number, f.index,
                         i == 0 ? std::numeric_limits<int64_t>::min() : (i % 2 ? -n : n), f.typeKey,
                         f.fieldKey);
        break;
      case FieldKind::kText:
        message.setstring(f.number, f.index, kTrickyTexts[(seed + i) % kTrickyTexts.size()],
                          f.typeKey, f.fieldKey);
        break;
      case FieldKind::kTextList:
        message.getliststring(f.number, f.index, f.typeKey, f.fieldKey, true) = {
            "", kTrickyTexts[4], kTrickyTexts[6]};
        break;
      case FieldKind::kChild: {
        HqMessageBase& child = message.getObjectAccessor(true, true, f.number, f.index, f.typeKey,
                                                         f.fieldKey, f.childModule, f.childClass);
        if (depth > 0)
          Fill(child, *tarnalert::FindClass(f.childModule, f.childClass), depth - 1, n);
        break;
      }
      case FieldKind::kList: {
        HqMessageList& list = message.getlistobject(f.number, f.index, f.typeKey, f.fieldKey,
                                                    f.childModule, f.childClass, true);
        list.emplace_back(f.childModule, f.childClass);  // an empty entry
        list.emplace_back(f.childModule, f.childClass);
        if (depth > 0) {
          Fill(list.back(), *tarnalert::FindClass(f.childModule, f.childClass), depth - 1, n);
        }
        break;
      }
    }
  }
}

class HqMessageBaseTest : public ::testing::Test {
 protected:
  // The message-component lines logged so far.
  size_t LoggedFailures() const {
    return env_.CountLogLines("HqMessageBase::") + env_.CountLogLines("XMLDecoder::");
  }

  TestEnv env_;
  ScopedEnv scoped_{&env_};
};

TEST_F(HqMessageBaseTest, EveryClassRoundTripsInBothLayouts) {
  for (size_t c = 0; c < detail::MessageClassCount(); ++c) {
    const ClassInfo& cls = detail::MessageClassAt(c);
    SCOPED_TRACE(cls.qualifiedName);
    std::unique_ptr<HqMessageBase> original = detail::NewMessage(cls.module, cls.classNumber);
    Fill(*original, cls, 4, static_cast<int64_t>(c) + 1);
    for (bool compact : {false, true}) {
      std::string text;
      ASSERT_EQ(original->serialize(text, compact), 0);
      EXPECT_EQ(text.back() == '\n', !compact) << text;
      EXPECT_EQ(
          text.compare(0, 1 + std::string(cls.xmlName).size(), std::string("<") + cls.xmlName), 0);
      HqMessageBase copy(cls.module, cls.classNumber);
      ASSERT_EQ(copy.unserialize(text), 0) << text;
      EXPECT_TRUE(copy == *original) << text;
      std::string again;
      copy.serialize(again, compact);
      EXPECT_EQ(again, text);
    }
  }
  EXPECT_EQ(LoggedFailures(), 0u);
}

TEST_F(HqMessageBaseTest, WritesSchemaNamesInSchemaOrder) {
  KTGui::AlertDetail rule;
  rule.set(KTGui::AlertDetail::senderName, "Ops");
  rule.set(KTGui::AlertDetail::severity, 3);
  rule.child(KTGui::AlertDetail::alert).child(KTGui::AlertInfo::alert).set(KTGui::IdName::id, 7);
  HqMessageBase user(KTGui::NTNonNebrixUser::kModule, KTGui::NTNonNebrixUser::kClassNumber);
  user.set(KTGui::NTNonNebrixUser::emailAddress, "a@b");
  rule.list(KTGui::AlertDetail::nonNebrixUsers).push_back(user);
  std::string text;
  ASSERT_EQ(rule.serialize(text, true), 0);
  EXPECT_EQ(text,
            "<AlertDetail><alert><alert><id>7</id></alert></alert><severity>3</severity>"
            "<senderName>Ops</senderName><nonNebrixUsers><NTNonNebrixUser>"
            "<emailAddress>a@b</emailAddress></NTNonNebrixUser></nonNebrixUsers></AlertDetail>");
  KTGui::TokenValueStruct token;
  token.list(KTGui::TokenValueStruct::values) = {"x\ry", "<"};
  token.serialize(text, false);
  EXPECT_EQ(text,
            "<TokenValueStruct>\n  <values>\n    <item>x&#13;y</item>\n    <item>&lt;</item>\n"
            "  </values>\n</TokenValueStruct>\n");
}

TEST_F(HqMessageBaseTest, TextsRoundTripByteForByte) {
  for (const std::string& value : kTrickyTexts) {
    SCOPED_TRACE(value);
    KTGui::IdName original;
    original.set(KTGui::IdName::name, value);
    for (bool compact : {false, true}) {
      std::string text;
      ASSERT_EQ(original.serialize(text, compact), 0);
      EXPECT_EQ(text.find('\r'), std::string::npos) << "a literal CR would be read as LF";
      KTGui::IdName copy;
      ASSERT_EQ(copy.unserialize(text), 0);
      EXPECT_EQ(copy.get(KTGui::IdName::name), value);
    }
  }
}

TEST_F(HqMessageBaseTest, TextWithNulIsWrittenWithoutItAndReported) {
  KTGui::IdName message;
  message.set(KTGui::IdName::name, std::string("a\0b", 3));
  std::string text;
  EXPECT_EQ(message.serialize(text, true), detail::kXmlUnrepresentableText);
  EXPECT_EQ(text, "<IdName><name>ab</name></IdName>");
  EXPECT_EQ(env_.CountLogLines("HqMessageBase::serialize"), 1u);
}

TEST_F(HqMessageBaseTest, ReadsHandWrittenForms) {
  const std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!-- a rule -->\r\n"
      "<AlertCriteria>\r\n  <criteriaId> 0x4A000301 </criteriaId>\r\n"
      "  <severity>+12</severity>\r\n  <params><AlertCriteriaParam><value>-0x10</value>"
      "</AlertCriteriaParam></params>\r\n</AlertCriteria>\r\n";
  KTGui::AlertCriteria criteria;
  ASSERT_EQ(criteria.unserialize(text), 0);
  EXPECT_EQ(criteria.get(KTGui::AlertCriteria::criteriaId), 0x4A000301);
  EXPECT_EQ(criteria.get(KTGui::AlertCriteria::severity), 12);
  EXPECT_EQ(criteria.list(KTGui::AlertCriteria::params).at(0).get(KTGui::AlertCriteriaParam::value),
            -16);
  KTGui::IdName name;
  ASSERT_EQ(name.unserialize("<IdName><name>a<![CDATA[<b>]]>&#x41;\r\nz</name></IdName>"), 0);
  EXPECT_EQ(name.get(KTGui::IdName::name), "a<b>A\nz");
}

TEST_F(HqMessageBaseTest, UnknownElementsSurviveVerbatim) {
  const std::string unknownRoot = "<future kind='x' n=\"1\">a&amp;b<deep><er/></deep>\r\n</future>";
  const std::string unknownEntry = "<note><!-- kept --><![CDATA[<raw>]]></note>";
  const std::string text = "<AlertTypeCatalog>" + unknownRoot +
                           "<alertCategories><IdName><id>1</id>" + unknownEntry +
                           "</IdName></alertCategories><later/></AlertTypeCatalog>";
  KTGui::AlertTypeCatalog catalog;
  ASSERT_EQ(catalog.unserialize(text), 0);
  for (bool compact : {false, true}) {
    std::string written;
    ASSERT_EQ(catalog.serialize(written, compact), 0);
    EXPECT_NE(written.find(unknownRoot), std::string::npos) << written;
    EXPECT_NE(written.find(unknownEntry), std::string::npos) << written;
    EXPECT_NE(written.find("<later/>"), std::string::npos) << written;
    KTGui::AlertTypeCatalog again;
    ASSERT_EQ(again.unserialize(written), 0);
    EXPECT_TRUE(again == catalog);
  }
  KTGui::AlertTypeCatalog without;
  ASSERT_EQ(without.unserialize("<AlertTypeCatalog><alertCategories><IdName><id>1</id></IdName>"
                                "</alertCategories></AlertTypeCatalog>"),
            0);
  EXPECT_FALSE(without == catalog);  // unknown elements take part in equality
}

struct BadInput {
  const char* what;
  std::string text;
  int status;
  const char* rootClass = "IdName";  // class of the message read into
};

std::string Nested(int depth) {
  std::string text = "<IdName>";
  for (int i = 1; i < depth; ++i) text += "<x>";
  for (int i = 1; i < depth; ++i) text += "</x>";
  return text + "</IdName>";
}

TEST_F(HqMessageBaseTest, RejectsBadInputAndKeepsTheMessage) {
  const std::vector<BadInput> cases = {
      {"not XML", "hello", detail::kXmlMalformed},
      {"unclosed", "<IdName><id>1</id>", detail::kXmlMalformed},
      {"mismatched tags", "<IdName><id>1</name></IdName>", detail::kXmlMalformed},
      {"empty", "", detail::kXmlMalformed},
      {"second root", "<IdName/><IdName/>", detail::kXmlMalformed},
      {"text after root", "<IdName/>junk", detail::kXmlMalformed},
      {"undefined entity", "<IdName><name>&nbsp;</name></IdName>", detail::kXmlMalformed},
      {"reference to NUL", "<IdName><name>&#0;x</name></IdName>", detail::kXmlMalformed},
      {"reference to surrogate", "<IdName><name>&#xD800;</name></IdName>", detail::kXmlMalformed},
      {"NUL byte", std::string("<IdName><name>a\0</name></IdName>", 29), detail::kXmlMalformed},
      {"control byte", "<IdName><name>\x02</name></IdName>", detail::kXmlMalformed},
      {"doctype", "<!DOCTYPE IdName [<!ENTITY e 'x'>]><IdName/>", detail::kXmlMalformed},
      {"other class", "<AlertLocale><localeId>1</localeId></AlertLocale>", detail::kXmlWrongClass},
      {"no class", "<Nothing/>", detail::kXmlWrongClass},
      {"text for number", "<IdName><id>12a</id></IdName>", detail::kXmlBadNumber},
      {"blank number", "<IdName><id> </id></IdName>", detail::kXmlBadNumber},
      {"bare hex prefix", "<IdName><id>0x</id></IdName>", detail::kXmlBadNumber},
      {"above int64", "<IdName><id>9223372036854775808</id></IdName>",
       detail::kXmlNumberOutOfRange},
      {"below int64", "<IdName><id>-9223372036854775809</id></IdName>",
       detail::kXmlNumberOutOfRange},
      {"hex above int64", "<IdName><id>0x8000000000000000</id></IdName>",
       detail::kXmlNumberOutOfRange},
      {"field twice", "<IdName><id>1</id><name/><id>1</id></IdName>", detail::kXmlDuplicateField},
      {"wrong list entry",
       "<AlertTypeCatalog><alertCategories><AlertLocale/></alertCategories></AlertTypeCatalog>",
       detail::kXmlBadListEntry, "AlertTypeCatalog"},
      {"text list entry not item",
       "<TokenValueStruct><values><value>x</value></values></TokenValueStruct>",
       detail::kXmlBadListEntry, "TokenValueStruct"},
      {"text in list", "<DetectedAlertsData><details>x</details></DetectedAlertsData>",
       detail::kXmlUnexpectedContent, "DetectedAlertsData"},
      {"too deep", Nested(65), detail::kXmlTooDeep},
      {"invalid UTF-8", "<IdName><name>\xC3\x28</name></IdName>", detail::kXmlInvalidUtf8},
      {"overlong UTF-8", "<IdName><name>\xC0\xAF</name></IdName>", detail::kXmlInvalidUtf8},
      {"text between fields", "<IdName>stray<id>1</id></IdName>", detail::kXmlUnexpectedContent},
      {"element in text", "<IdName><name>a<b/></name></IdName>", detail::kXmlUnexpectedContent},
      {"attribute on field", "<IdName><id base='16'>1</id></IdName>",
       detail::kXmlUnexpectedContent},
  };
  for (const BadInput& c : cases) {
    SCOPED_TRACE(c.what);
    const ClassInfo* cls = tarnalert::FindClassByXmlName(c.rootClass);
    ASSERT_NE(cls, nullptr);
    HqMessageBase before(cls->module, cls->classNumber);
    const std::string root = c.rootClass;
    ASSERT_EQ(before.unserialize("<" + root + "><kept>1</kept></" + root + ">"), 0);
    env_.ClearLog();
    HqMessageBase message = before;
    EXPECT_EQ(message.unserialize(c.text), c.status);
    EXPECT_TRUE(message == before);
    ASSERT_EQ(env_.LogLines().size(), 1u);
    EXPECT_EQ(env_.CountLogLines("HqMessageBase::unserialize"), 1u);
    EXPECT_EQ(env_.CountLogLines("at offset"), 1u);
  }
  KTGui::IdName deepest;
  EXPECT_EQ(deepest.unserialize(Nested(64)), 0);  // the limit itself is allowed
}

TEST_F(HqMessageBaseTest, ErrorLineSaysWhere) {
  KTGui::IdName message;
  EXPECT_NE(message.unserialize("<IdName><id>x</id></IdName>"), 0);
  EXPECT_EQ(env_.CountLogLines("<id> is not a number at offset 8"), 1u);
}

TEST_F(HqMessageBaseTest, SurvivesHostileSizes) {
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<IdName>";
  for (int i = 0; i < 100000; ++i) deep += "</IdName>";
  KTGui::IdName message;
  EXPECT_EQ(message.unserialize(deep), detail::kXmlTooDeep);
  std::string deepUnclosed(400000, '<');
  for (size_t i = 1; i < deepUnclosed.size(); i += 4) deepUnclosed.replace(i, 3, "a>x");
  EXPECT_NE(message.unserialize(deepUnclosed), 0);
  XMLDecoder decoder;
  EXPECT_EQ(decoder.unSerialize(deep, nullptr), nullptr);

  std::string huge = "<IdName><name>";
  huge.append(detail::kXmlMaxDocumentSize, 'a');
  huge += "</name></IdName>";
  EXPECT_EQ(message.unserialize(huge), detail::kXmlTooLarge);
  EXPECT_TRUE(message == KTGui::IdName());
}

TEST_F(HqMessageBaseTest, DecoderMakesTheClassOfTheRootElement) {
  XMLDecoder decoder;
  for (std::string bad : {std::string("<Unknown/>"), std::string("<IdName>"),
                          std::string("<IdName><id>x</id></IdName>")}) {
    env_.ClearLog();
    EXPECT_EQ(decoder.unSerialize(bad, nullptr), nullptr) << bad;
    EXPECT_EQ(LoggedFailures(), 1u) << bad;
  }
  KTGui::GetAlertDetailForClientResp config;
  config.set(KTGui::GetAlertDetailForClientResp::tarnholdName, "North");
  std::string text;
  config.serialize(text, false);
  std::unique_ptr<HqMessageBase> decoded(decoder.unSerialize(text, nullptr));
  ASSERT_NE(decoded, nullptr);
  EXPECT_EQ(decoded->getTagID(), KTGui::GetAlertDetailForClientResp::kTypeKey);
  EXPECT_NE(dynamic_cast<KTGui::GetAlertDetailForClientResp*>(decoded.get()), nullptr);
  EXPECT_TRUE(*decoded == config);
}

TEST_F(HqMessageBaseTest, UnsetFieldsReadEmptyAndAreNotSet) {
  KTGui::AlertDetail rule;
  EXPECT_EQ(rule.get(KTGui::AlertDetail::severity), 0);
  EXPECT_EQ(rule.get(KTGui::AlertDetail::senderName), "");
  EXPECT_EQ(rule.getstring(34, 49, rule.kTypeKey, 0), "");
  const auto& f = KTGui::AlertDetail::criteria.info;
  EXPECT_TRUE(rule.getlistobject(f.number, f.index, f.typeKey, f.fieldKey, f.childModule,
                                 f.childClass, false)
                  .empty());
  const auto& v = KTGui::TokenValueStruct::values.info;
  KTGui::TokenValueStruct token;
  EXPECT_TRUE(token.getliststring(v.number, v.index, v.typeKey, v.fieldKey, false).empty());
  EXPECT_FALSE(rule.isSet(KTGui::AlertDetail::criteria));
  EXPECT_FALSE(token.isSet(KTGui::TokenValueStruct::values));
  EXPECT_TRUE(rule == KTGui::AlertDetail());
  std::string text;
  rule.serialize(text, true);
  EXPECT_EQ(text, "<AlertDetail/>");

  token.list(KTGui::TokenValueStruct::values);
  EXPECT_TRUE(token.isSet(KTGui::TokenValueStruct::values));
  rule.set(KTGui::AlertDetail::senderName, "");
  EXPECT_TRUE(rule.isSet(KTGui::AlertDetail::senderName));
  EXPECT_TRUE(rule.isSet(34, rule.kTypeKey, 0));  // by number
  EXPECT_FALSE(rule.isSet(KTGui::AlertDetail::senderAddress));
  HqMessageBase& locale = rule.child(KTGui::AlertDetail::localeInfo);
  EXPECT_EQ(locale.getTagID(), KTGui::AlertLocale::kTypeKey);
  EXPECT_TRUE(rule.isSet(KTGui::AlertDetail::localeInfo));
  KTGui::AlertDetail reread;
  rule.serialize(text, true);
  ASSERT_EQ(reread.unserialize(text), 0);
  EXPECT_TRUE(reread.isSet(KTGui::AlertDetail::localeInfo));
  EXPECT_TRUE(reread == rule);
}

TEST_F(HqMessageBaseTest, CopiesAreIndependentAndReferencesStayValid) {
  KTGui::GetAlertDetailForClientResp original;
  HqMessageList& rules = original.list(KTGui::GetAlertDetailForClientResp::alertDetails);
  rules.emplace_back(KTGui::AlertDetail::kModule, KTGui::AlertDetail::kClassNumber);
  rules[0].set(KTGui::AlertDetail::senderName, "first");
  const std::string& name = rules[0].get(KTGui::AlertDetail::senderName);
  // Adding other fields must not move what references point at.
  original.child(KTGui::GetAlertDetailForClientResp::alertTypeCatalog);
  original.set(KTGui::GetAlertDetailForClientResp::tarnholdName, "North");
  rules.emplace_back(KTGui::AlertDetail::kModule, KTGui::AlertDetail::kClassNumber);
  EXPECT_EQ(name, "first");

  KTGui::GetAlertDetailForClientResp copy(original);
  ASSERT_TRUE(copy == original);
  copy.list(KTGui::GetAlertDetailForClientResp::alertDetails)[0].set(KTGui::AlertDetail::senderName,
                                                                     "changed");
  copy.child(KTGui::GetAlertDetailForClientResp::alertTypeCatalog)
      .list(KTGui::AlertTypeCatalog::alertTypes)
      .emplace_back(KTGui::AlertTypeListItem::kModule, KTGui::AlertTypeListItem::kClassNumber);
  EXPECT_EQ(name, "first");
  EXPECT_FALSE(copy == original);
  EXPECT_TRUE(original.child(KTGui::GetAlertDetailForClientResp::alertTypeCatalog) ==
              KTGui::AlertTypeCatalog());

  HqMessageBase moved(std::move(copy));
  EXPECT_EQ(moved.list(KTGui::GetAlertDetailForClientResp::alertDetails).size(), 2u);
  original.setChild(KTGui::GetAlertDetailForClientResp::alertTypeCatalog,
                    original.child(KTGui::GetAlertDetailForClientResp::alertTypeCatalog));
  EXPECT_EQ(original.getTagID(), tarnalert::MakeTypeKey(1, 243));
}

}  // namespace
