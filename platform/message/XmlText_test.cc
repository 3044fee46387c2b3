// Texts in the XML form: every text comes back byte for byte from XML that an
// independent parser accepts; texts XML carries are written as they are.
#include "platform/message/XmlText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/testing/TestEnv.h"
#include "platform/testing/XmlCheck.h"
#include "tarnalert/platform/message/Messages.h"
#include "tarnalert/platform/text/FXString.h"

namespace {

using tarnalert::test::LabelledText;
namespace detail = tarnalert::detail;

class XmlTextTest : public ::testing::Test {
 protected:
  tarnalert::test::TestEnv env_;
  tarnalert::ScopedEnv scoped_{&env_};
};

TEST_F(XmlTextTest, MessageTextsComeBackFromConformingXml) {
  std::vector<LabelledText> documents;
  for (const LabelledText& row : tarnalert::test::HostileTexts()) {
    KTGui::TokenValueStruct message;
    message.set(KTGui::TokenValueStruct::tokenId, 7);
    message.list(KTGui::TokenValueStruct::values) = {row.text, "plain", row.text};
    for (bool compact : {false, true}) {
      std::string text;
      ASSERT_EQ(message.serialize(text, compact), 0) << row.label;
      KTGui::TokenValueStruct copy;
      ASSERT_EQ(copy.unserialize(text), 0) << row.label << "\n" << text.substr(0, 300);
      EXPECT_TRUE(copy == message) << row.label;
      documents.push_back({row.label + (compact ? " (compact)" : ""), text});
    }
    if (row.label.rfind("carried: ", 0) == 0) {
      EXPECT_EQ(documents.back().text.find("base64"), std::string::npos) << row.label;
    }
  }
  EXPECT_TRUE(tarnalert::test::XmlLintAccepts(documents));
  EXPECT_TRUE(env_.LogLines().empty());
}

TEST_F(XmlTextTest, TextsXmlCarriesAreWrittenAsBefore) {
  KTGui::IdName message;
  message.set(KTGui::IdName::name, "a&b <c> \"d\"\r\n\t\xC3\xA9");
  std::string text;
  ASSERT_EQ(message.serialize(text, true), 0);
  EXPECT_EQ(text, "<IdName><name>a&amp;b &lt;c&gt; \"d\"&#13;\n\t\xC3\xA9</name></IdName>");
  message.set(KTGui::IdName::name, std::string("\x1b[0m\0", 5));
  ASSERT_EQ(message.serialize(text, true), 0);
  EXPECT_EQ(text, "<IdName><name encoding=\"base64\">G1swbQA=</name></IdName>");
}

// The e-mail request's subject and body come from wide text: unpaired
// surrogates and values beyond Unicode become U+FFFD in the narrow text.
TEST_F(XmlTextTest, EmailRequestFromWideTextIsConformingXml) {
  std::vector<LabelledText> documents;
  for (const std::wstring& wide : tarnalert::test::HostileWideTexts()) {
    const std::string narrow = FXString::ToString(wide);
    App::EmailInfo request;
    request.set(App::EmailInfo::subject, narrow);
    request.set(App::EmailInfo::body, narrow + "\n" + narrow);
    std::string text;
    ASSERT_EQ(request.serialize(text, false), 0);
    App::EmailInfo copy;
    ASSERT_EQ(copy.unserialize(text), 0) << text;
    EXPECT_EQ(copy.get(App::EmailInfo::subject), narrow) << text;
    EXPECT_TRUE(copy == request) << text;
    documents.push_back({text, text});
  }
  EXPECT_TRUE(tarnalert::test::XmlLintAccepts(documents));
}

TEST_F(XmlTextTest, ReaderRefusesWhatConformingXmlCannotHoldOrBadBase64) {
  const struct {
    const char* text;
    tarnalert::XmlStatus status;
  } kCases[] = {
      {"<IdName><name>&#1;</name></IdName>", tarnalert::kXmlMalformed},
      {"<IdName><name>&#x1B;</name></IdName>", tarnalert::kXmlMalformed},
      {"<IdName><name>&#xFFFE;</name></IdName>", tarnalert::kXmlMalformed},
      {"<IdName><name>\xEF\xBF\xBF</name></IdName>", tarnalert::kXmlMalformed},
      {"<IdName><name encoding=\"hex\">41</name></IdName>", tarnalert::kXmlBadEncoding},
      {"<IdName><name encoding=\"base64\">QUJD=</name></IdName>", tarnalert::kXmlBadEncoding},
      {"<IdName><name encoding=\"base64\">QU*D</name></IdName>", tarnalert::kXmlBadEncoding},
      {"<IdName><name encoding=\"base64\">Q===</name></IdName>", tarnalert::kXmlBadEncoding},
      {"<IdName><name encoding=\"base64\" x=\"1\">QUJD</name></IdName>",
       tarnalert::kXmlUnexpectedContent},
      {"<IdName><id encoding=\"base64\">MQ==</id></IdName>", tarnalert::kXmlUnexpectedContent},
      {"<IdName encoding=\"base64\"><id>1</id></IdName>", tarnalert::kXmlUnexpectedContent},
  };
  for (const auto& c : kCases) {
    KTGui::IdName message;
    EXPECT_EQ(message.unserialize(c.text), c.status) << c.text;
  }
  // The reason names the character, past non-ASCII text before it.
  EXPECT_EQ(KTGui::IdName().Parse("<IdName><name>\xC3\xA9\x01</name></IdName>").reason,
            "control character (byte 0x01)");
  EXPECT_EQ(KTGui::IdName().Parse("<IdName><name>\xC3\xA9\xEF\xBF\xBE</name></IdName>").reason,
            "character U+FFFE");
  KTGui::IdName message;
  ASSERT_EQ(message.unserialize("<IdName><name encoding=\"base64\">\n  QU\tJD\n  AA==\n</name>"
                                "</IdName>"),
            0);
  EXPECT_EQ(message.get(KTGui::IdName::name), std::string("ABC\0", 4));
}

}  // namespace
