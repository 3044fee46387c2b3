#include "tarnalert/platform/message/HqMessageBase.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/message/MessageFields.h"
#include "platform/message/MessageRegistry.h"
#include "platform/message/XmlReader.h"
#include "platform/message/XmlScan.h"
#include "platform/message/XmlStatus.h"
#include "platform/testing/TestEnv.h"
#include "platform/testing/TestUtil.h"
#include "tarnalert/platform/message/Messages.h"

namespace {

using tarnalert::ClassInfo;
using tarnalert::FieldKind;
namespace detail = tarnalert::detail;

// Texts that must come back byte for byte.
const std::vector<std::string> kTrickyTexts = {
    "", " leading and trailing ", "\t\n \r\n",
    "<b>&amp;lt;Alert Name&amp;gt;</b> ]]> \"quoted\" 'single' Grüße, 東京, \xF0\x9F\x94\x94",
    "\xEF\xBB\xBF starts with a byte order mark, control \x01\x1F\x7F, line\r\nline\rline\n"};

// Sets every field of `message` (of class `cls`), nesting children `depth` deep.
void Fill(HqMessageBase& message, const ClassInfo& cls, int depth, int64_t seed) {
  for (size_t i = 0; i < cls.fieldCount; ++i) {
    const tarnalert::FieldInfo& f = cls.fields[i];
    const int64_t n = seed * 100 + static_cast<int64_t>(i);
    const ClassInfo* child = tarnalert::FindClass(f.childModule, f.childClass);
    if (f.kind == FieldKind::kInteger) {
      message.setint64(f.number, f.index, i % 2 ? INT64_MIN : -n, f.typeKey, f.fieldKey);
    } else if (f.kind == FieldKind::kText) {
      message.setstring(f.number, f.index, kTrickyTexts[n % kTrickyTexts.size()], f.typeKey,
                        f.fieldKey);
    } else if (f.kind == FieldKind::kTextList) {
      message.getliststring(f.number, f.index, f.typeKey, f.fieldKey, true) = kTrickyTexts;
    } else if (f.kind == FieldKind::kChild) {
      HqMessageBase& object = message.getObjectAccessor(true, true, f.number, f.index, f.typeKey,
                                                        f.fieldKey, f.childModule, f.childClass);
      if (depth > 0) Fill(object, *child, depth - 1, n);
    } else {
      // The five arguments of the list accessor: (field) and create.
      HqMessageList& list = message.getlistobject(f.number, f.index, f.typeKey, f.fieldKey, true);
      list.resize(2, HqMessageBase(f.childModule, f.childClass));  // the first entry stays empty
      if (depth > 0) Fill(list[1], *child, depth - 1, n);
    }
  }
}

using tarnalert::test::Repeat;

class HqMessageBaseTest : public ::testing::Test {
 protected:
  tarnalert::test::TestEnv env_;
  tarnalert::ScopedEnv scoped_{&env_};
};

// Every field kind of every class, with the tricky texts in text fields and
// text lists, comes back equal and is written again to the same text.
TEST_F(HqMessageBaseTest, EveryClassRoundTripsByteForByteInBothLayouts) {
  for (size_t c = 0; c < detail::MessageClassCount(); ++c) {
    const ClassInfo& cls = detail::MessageClassAt(c);
    SCOPED_TRACE(cls.qualifiedName);
    HqMessageBase original(cls.module, cls.classNumber);
    Fill(original, cls, 4, static_cast<int64_t>(c) + 1);
    for (bool compact : {false, true}) {
      std::string text;
      ASSERT_EQ(original.serialize(text, compact), 0);
      EXPECT_EQ(text.find('\r'), std::string::npos) << "a literal CR would be read as LF";
      HqMessageBase copy(cls.module, cls.classNumber);
      ASSERT_EQ(copy.unserialize(text), 0) << text;
      EXPECT_TRUE(copy == original) << text;
      std::string again;
      copy.serialize(again, compact);
      EXPECT_EQ(again, text);
    }
  }
  EXPECT_TRUE(env_.LogLines().empty());
}

TEST_F(HqMessageBaseTest, ReadsHandWrittenForms) {
  KTGui::AlertCriteria criteria;
  ASSERT_EQ(criteria.unserialize("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!-- a rule -->\r\n"
                                 "<AlertCriteria>\r\n  <criteriaId> 0x4A000301 </criteriaId>\r\n"
                                 "  <severity>+12</severity>\r\n</AlertCriteria>\r\n"),
            0);
  EXPECT_EQ(criteria.get(KTGui::AlertCriteria::criteriaId), 0x4A000301);
  EXPECT_EQ(criteria.get(KTGui::AlertCriteria::severity), 12);
  KTGui::IdName name;
  ASSERT_EQ(name.unserialize("<IdName><name>a<![CDATA[<b>]]>&#x41;\r\nz</name></IdName>"), 0);
  EXPECT_EQ(name.get(KTGui::IdName::name), "a<b>A\nz");
  // The longest references taken: a name of 15 characters between '&' and ';'.
  ASSERT_EQ(name.unserialize("<IdName><name>&#00000000000065;&#x0000000000042;&#128276;&#xe9;"
                             "</name></IdName>"),
            0);
  EXPECT_EQ(name.get(KTGui::IdName::name), "AB\xF0\x9F\x94\x94\xC3\xA9");
  EXPECT_NE(name.unserialize("<IdName><name>&#000000000000065;</name></IdName>"), 0);
}

TEST_F(HqMessageBaseTest, UnknownElementsSurviveVerbatim) {
  // In the order the writer keeps: known fields first, then the unknown ones.
  const std::string text =
      "<AlertTypeCatalog><alertCategories><IdName><id>1</id><note><!-- kept --><![CDATA[<raw>]]>"
      "</note></IdName></alertCategories><future kind='x' n=\"1\">a&amp;b<deep><er/></deep>\r\n"
      "</future><later/></AlertTypeCatalog>";
  KTGui::AlertTypeCatalog catalog;
  ASSERT_EQ(catalog.unserialize(text), 0);
  std::string written;
  ASSERT_EQ(catalog.serialize(written, true), 0);
  EXPECT_EQ(written, text);
  ASSERT_EQ(catalog.serialize(written, false), 0);
  KTGui::AlertTypeCatalog again;
  ASSERT_EQ(again.unserialize(written), 0);
  ASSERT_EQ(again.serialize(written, true), 0);
  EXPECT_EQ(written, text);  // through the indented layout too
}

// One case of each kind of failure.
TEST_F(HqMessageBaseTest, RejectsBadInputAndKeepsTheMessage) {
  auto token = [](std::string s) { return "<TokenValueStruct>" + s + "</TokenValueStruct>"; };
  const std::pair<std::string, int> cases[] = {
      {"<!DOCTYPE TokenValueStruct [<!ENTITY e 'x'>]>" + token(""), tarnalert::kXmlMalformed},
      {"<IdName><id>1</id></IdName>", tarnalert::kXmlWrongClass},
      {token("<tokenId>9223372036854775808</tokenId>"), tarnalert::kXmlNumberOutOfRange},
      {token("<tokenId>1</tokenId><tokenId>1</tokenId>"), tarnalert::kXmlDuplicateField},
      {token("<values><value>x</value></values>"), tarnalert::kXmlBadListEntry},
      {token("<values><item>a<b/></item></values>"), tarnalert::kXmlUnexpectedContent},
      {token(Repeat("<x>", 64) + Repeat("</x>", 64)), tarnalert::kXmlTooDeep},
      {token("<values><item>\xC0\xAF</item></values>"), tarnalert::kXmlInvalidUtf8},  // over-long
      {token("<tokenId>12a</tokenId>"), tarnalert::kXmlBadNumber},  // last: its line is read below
  };
  KTGui::TokenValueStruct before;
  ASSERT_EQ(before.unserialize(token("<kept>1</kept><tokenId>5</tokenId>")), 0);
  for (const auto& [text, status] : cases) {
    SCOPED_TRACE(text);
    env_.ClearLog();
    KTGui::TokenValueStruct message = before;
    EXPECT_EQ(message.unserialize(text), status);
    EXPECT_TRUE(message == before);
    ASSERT_EQ(env_.LogLines().size(), 1u);
    EXPECT_EQ(env_.CountLogLines("HqMessageBase::unserialize"), 1u);
    EXPECT_EQ(env_.CountLogLines(" (offset "), 1u);
  }
  EXPECT_EQ(env_.CountLogLines("<tokenId> is not a number at line 1, column 19 (offset 18)"), 1u);
  KTGui::TokenValueStruct known;  // `before` without its unknown element
  known.set(KTGui::TokenValueStruct::tokenId, 5);
  EXPECT_FALSE(known == before);  // so the comparisons above take unknown elements in
  EXPECT_EQ(before.unserialize(token(Repeat("<x>", 63) + Repeat("</x>", 63))), 0);  // the limit
}

TEST_F(HqMessageBaseTest, ParseSaysWhereByLineAndCharacterColumn) {
  struct Case {
    const char* label;
    std::string text;
    size_t line, column, offset;
  };
  const Case cases[] = {
      {"first line", "<IdName><id>x</id></IdName>", 1, 9, 8},
      {"after line breaks", "<IdName>\n  <name>a</name>\n  <id>1x</id>\n</IdName>", 3, 3, 28},
      {"after two-byte characters", "<IdName><name>\xC3\xA9\xC3\xA9</name><id>-</id></IdName>", 1,
       24, 25},
  };
  for (const Case& c : cases) {
    KTGui::IdName message;
    const tarnalert::ParseResult result = message.Parse(c.text);
    EXPECT_EQ(result.status, tarnalert::kXmlBadNumber) << c.label;
    EXPECT_EQ(result.where.line, c.line) << c.label;
    EXPECT_EQ(result.where.column, c.column) << c.label;
    EXPECT_EQ(result.where.offset, c.offset) << c.label;
    EXPECT_FALSE(result) << c.label;
  }
  EXPECT_TRUE(env_.LogLines().empty());  // Parse logs nothing; the decoder does
  std::string text = "<IdName>\n  <id>1</id>\n  <id>2</id>\n</IdName>";
  EXPECT_EQ(XMLDecoder().unSerialize(text, nullptr), nullptr);
  EXPECT_EQ(env_.CountLogLines("XMLDecoder::unSerialize: message text: <id> given twice in "
                               "<IdName> at line 3, column 3 (offset 24)"),
            1u);
}

TEST_F(HqMessageBaseTest, ParseListsUnknownElementsWithTheirWay) {
  const std::string text =
      "<GetAlertDetailForClientResp>\n"
      "<alertDetails><AlertDetail/><AlertDetail>\n"
      "  <nonNebrixUsers><NTNonNebrixUser><recipentType>2</recipentType>"
      "</NTNonNebrixUser></nonNebrixUsers>\n"
      "</AlertDetail></alertDetails><extra/></GetAlertDetailForClientResp>";
  KTGui::GetAlertDetailForClientResp config;
  const tarnalert::ParseResult result = config.Parse(text);
  ASSERT_TRUE(result) << result.Description();
  ASSERT_EQ(result.unknownElements.size(), 2u);
  const tarnalert::UnknownElement& misspelt = result.unknownElements[0];
  EXPECT_EQ(misspelt.name(), "recipentType");
  EXPECT_EQ(misspelt.container(), "NTNonNebrixUser");
  ASSERT_EQ(misspelt.path.size(), 5u);
  EXPECT_EQ(misspelt.path[1].element, "AlertDetail");
  EXPECT_EQ(misspelt.path[1].position, 1u);  // the second rule
  EXPECT_EQ(misspelt.where.line, 3u);
  EXPECT_EQ(misspelt.where.column, 36u);
  EXPECT_EQ(result.unknownElements[1].name(), "extra");
  EXPECT_EQ(result.unknownElements[1].where.line, 4u);
  std::string written;  // kept as unserialize keeps them
  ASSERT_EQ(config.serialize(written, true), 0);
  EXPECT_NE(written.find("<recipentType>2</recipentType>"), std::string::npos);
}

TEST_F(HqMessageBaseTest, SurvivesHostileSizes) {
  std::string deep = Repeat("<IdName>", 100000) + Repeat("</IdName>", 100000);
  KTGui::IdName message;
  EXPECT_EQ(message.unserialize(deep), tarnalert::kXmlTooDeep);
  EXPECT_NE(message.unserialize(Repeat("<a>x", 100000)), 0);  // never closed
  EXPECT_EQ(XMLDecoder().unSerialize(deep, nullptr), nullptr);
  const std::string huge =
      "<IdName><name>" + std::string(detail::kXmlMaxDocumentSize, 'a') + "</name></IdName>";
  EXPECT_EQ(message.unserialize(huge), tarnalert::kXmlTooLarge);
}

TEST_F(HqMessageBaseTest, UnsetFieldsReadEmptyAndSetOnesAreWrittenInSchemaOrder) {
  using KTGui::AlertDetail;
  AlertDetail rule;
  EXPECT_EQ(rule.get(AlertDetail::severity), 0);
  EXPECT_EQ(rule.get(AlertDetail::senderName), "");
  EXPECT_FALSE(rule.isSet(AlertDetail::criteria));
  std::string text;
  ASSERT_EQ(rule.serialize(text, true), 0);
  EXPECT_EQ(text, "<AlertDetail/>");
  // An empty text or list that was set counts as set; a child is created empty.
  rule.set(AlertDetail::senderName, "");
  rule.set(AlertDetail::severity, 3);
  rule.list(AlertDetail::criteria);
  EXPECT_EQ(rule.child(AlertDetail::localeInfo).getTagID(), KTGui::AlertLocale::kTypeKey);
  rule.child(AlertDetail::alert).child(KTGui::AlertInfo::alert).set(KTGui::IdName::id, 7);
  EXPECT_TRUE(rule.isSet(AlertDetail::senderName) && rule.isSet(AlertDetail::criteria));
  ASSERT_EQ(rule.serialize(text, true), 0);
  EXPECT_EQ(text,
            "<AlertDetail><alert><alert><id>7</id></alert></alert><criteria/><localeInfo/>"
            "<severity>3</severity><senderName></senderName></AlertDetail>");
}

TEST_F(HqMessageBaseTest, CopiesAreIndependentAndReferencesStayValid) {
  using Config = KTGui::GetAlertDetailForClientResp;
  Config original;
  original.list(Config::alertDetails).resize(1, KTGui::AlertDetail());
  original.list(Config::alertDetails)[0].set(KTGui::AlertDetail::senderName, "first");
  // Other fields must not move what `name` refers to.
  const std::string& name =
      original.list(Config::alertDetails)[0].get(KTGui::AlertDetail::senderName);
  original.child(Config::alertTypeCatalog);
  Config copy(original);
  ASSERT_TRUE(copy == original);
  copy.list(Config::alertDetails)[0].set(KTGui::AlertDetail::senderName, "changed");
  copy.child(Config::alertTypeCatalog)
      .list(KTGui::AlertTypeCatalog::alertTypes)
      .resize(1, KTGui::AlertTypeListItem());
  EXPECT_EQ(original.list(Config::alertDetails)[0].get(KTGui::AlertDetail::senderName), "first");
  EXPECT_TRUE(original.child(Config::alertTypeCatalog) == KTGui::AlertTypeCatalog());
  original.set(Config::tarnholdName, "North");
  // Storing a child that is a reference into the message itself.
  original.setChild(Config::alertTypeCatalog, original.child(Config::alertTypeCatalog));
  EXPECT_EQ(name, "first");
  EXPECT_TRUE(original.child(Config::alertTypeCatalog) == KTGui::AlertTypeCatalog());
}

// Reading the plain form directly gives what reading through the parser's
// tree gives, for every form the writer makes and for hand-written ones.
TEST_F(HqMessageBaseTest, DirectReadingAgreesWithTheParser) {
  std::vector<std::string> texts = {
      "<?xml version=\"1.0\"?>\r\n<!-- x -->\n<IdName>\r\n <name> a &amp; &lt;b&gt; &#x41;&#66;"
      "&#x1F514;\r\n\rz&quot;&apos; </name>\n<id> 7 </id></IdName>\n<!-- y --> <?pi x?>\n",
      "<IdName><name/><id>0x10</id></IdName>",
      "<IdName ><name>  </name ></IdName >",
      "<IdName><name>a<![CDATA[<b>]]></name></IdName>",          // left to the parser
      "<IdName><name>a</name><!-- c --><id>1</id></IdName>",     // left to the parser
      "\xEF\xBB\xBF<IdName><id>1</id></IdName>",                 // left to the parser
      "<IdName><future>1</future><id>1</id></IdName>",           // left to the parser
      "<IdName><name encoding=\"base64\">QUJD</name></IdName>",  // left to the parser
      "<IdName><id>1</id><id>2</id></IdName>",                   // fault: given twice
      "<IdName><id>1</idx></IdName>",                            // fault: mismatched
      "<IdName><name>a<b/></name></IdName>",                     // fault: element in text
      "<TokenValueStruct><values><item>a</item><item/> <item> </item></values></TokenValueStruct>",
      "<TokenValueStruct><values><value>a</value></values></TokenValueStruct>",  // fault
      "<? x?><IdName/>",
      "<?1x?><IdName/>",
      "<?x-y?><IdName/>",  // targets
      "<IdName><name>&#0;</name></IdName>",
      "<IdName><name>&#xD800;</name></IdName>",
      "<IdName><name>&nbsp;</name></IdName>",
      "<IdName><name>&#1114112;</name></IdName>",
      "<IdName><name>&#9;&#x10FFFF;&#XA;</name></IdName>",
      "<IdName><name>a & b</name></IdName>",
      "<IdName><id>1</id></IdName><IdName/>",
      "<IdName><id>1</id></IdName>x",
      "<IdName><name>\x01</name></IdName>",
      "<IdName><name>\xC0\xAF</name></IdName>",
      "<!DOCTYPE IdName><IdName/>",
      "<IdName><id>1</id>",
      // Characters beyond ASCII, and bytes that are not clean, in and around
      // the document element.
      "<IdName><name>caf\xC3\xA9 \xE2\x82\xAC\xF0\x9F\x94\x94\x7F</name></IdName>",
      "<IdName><name>\xEF\xBF\xBE</name></IdName>",
      "<IdName><name>a\xC3</name></IdName>",
      "<IdName><name>\x0B</name></IdName>",
      "<!-- \x01 --><IdName/>",
      "<IdName/><!-- \xFF -->",
      "<?pi \xC0\xAF?><IdName/>",
      "<IdName><na\xC3\xA9me>x</na\xC3\xA9me></IdName>",
      // References at the length limit and past it, every entity, no ';'.
      "<IdName><name>&#00000000000065;&#x0000000000041;</name></IdName>",
      "<IdName><name>&#000000000000065;</name></IdName>",
      "<IdName><name>&lt;&gt;&amp;&quot;&apos;&amp</name></IdName>",
      "<IdName><name>&ap;</name></IdName>",
      "<IdName><name>&#x;</name></IdName>",
      "<IdName><name>&#;</name></IdName>",
      // Numbers in and beside the form the writer gives them.
      "<IdName><id>-0</id></IdName>",
      "<IdName><id>007</id></IdName>",
      "<IdName><id>999999999999999999</id></IdName>",
      "<IdName><id>-999999999999999999</id></IdName>",
      "<IdName><id>9223372036854775807</id></IdName>",
      "<IdName><id>-9223372036854775808</id></IdName>",
      "<IdName><id>9223372036854775808</id></IdName>",
      "<IdName><id>+5</id></IdName>",
      "<IdName><id>-</id></IdName>",
      "<IdName><id>5-</id></IdName>",
      "<IdName><id>1&#50;</id></IdName>",
      "<IdName><id>1<!-- c --></id></IdName>",
      "<IdName><id/></IdName>",
      "<IdName><id></id></IdName>",
      // Fields out of the writer's order, and one given twice out of order.
      "<IdName><name>n</name><id>1</id></IdName>",
      "<IdName><name>n</name><id>1</id><name>m</name></IdName>",
      "<AlertDetail><nonNebrixUsers><NTNonNebrixUser><recipientType>2</recipientType>"
      "<emailAddress>a@b</emailAddress></NTNonNebrixUser><NTNonNebrixUser/></nonNebrixUsers>"
      "<criteria><AlertCriteria><params><AlertCriteriaParam><value>4</value></AlertCriteriaParam>"
      "</params></AlertCriteria></criteria></AlertDetail>",
  };
  for (size_t c = 0; c < detail::MessageClassCount(); ++c) {
    const ClassInfo& cls = detail::MessageClassAt(c);
    HqMessageBase original(cls.module, cls.classNumber);
    Fill(original, cls, 3, static_cast<int64_t>(c) + 1);
    for (bool compact : {false, true}) {
      texts.emplace_back();
      ASSERT_EQ(original.serialize(texts.back(), compact), 0);
    }
  }
  for (const std::string& text : texts) {
    std::unique_ptr<HqMessageBase> direct, parsed;
    const detail::XmlError read = detail::ReadDocument(text, nullptr, &direct);
    detail::XmlError parse = detail::ScanDocument(text.data(), text.size());
    if (parse.ok()) parse = detail::ParseDocument(text, nullptr, &parsed);
    ASSERT_EQ(read.status, parse.status) << text;
    EXPECT_EQ(read.reason, parse.reason) << text;
    if (read.ok()) {
      EXPECT_TRUE(*direct == *parsed) << text;
    }
  }
}

TEST_F(HqMessageBaseTest, FrozenMessagesAreSharedUntilACopyChanges) {
  using Config = KTGui::GetAlertDetailForClientResp;
  Config frozen;
  frozen.list(Config::alertDetails).resize(2, KTGui::AlertDetail());
  frozen.list(Config::alertDetails)[1].set(KTGui::AlertDetail::senderName, "first");
  frozen.set(Config::tarnholdName, "North");
  const Config before = frozen;
  detail::FreezeMessage(frozen);

  Config copy = frozen;
  const std::string& name =
      copy.findList(Config::alertDetails)->at(1).get(KTGui::AlertDetail::senderName);
  copy.set(Config::tarnholdName, "South");
  copy.list(Config::alertDetails)[1].set(KTGui::AlertDetail::senderName, "changed");
  copy.list(Config::alertDetails)[0].child(KTGui::AlertDetail::alert);
  EXPECT_EQ(name, "first");  // a reference taken before the change stays valid
  EXPECT_TRUE(frozen == before);
  EXPECT_EQ(copy.get(Config::tarnholdName), "South");
  EXPECT_EQ(copy.findList(Config::alertDetails)->at(1).get(KTGui::AlertDetail::senderName),
            "changed");
  EXPECT_TRUE(Config(frozen) == before);
  EXPECT_EQ(frozen.findChild(Config::alertTypeCatalog), nullptr);  // looking adds nothing
  EXPECT_FALSE(frozen.isSet(Config::alertTypeCatalog));
}

TEST_F(HqMessageBaseTest, ChildrenKeepTheirClassThroughEveryRoad) {
  using KTGui::AlertDetail;
  using KTGui::AlertInfo;
  AlertDetail built;
  built.child(AlertDetail::alert).child(AlertInfo::alert).set(KTGui::IdName::name, "n");
  std::string text;
  ASSERT_EQ(built.serialize(text, true), 0);
  AlertDetail read, parsed, frozen, assigned;
  ASSERT_EQ(read.unserialize(text), 0);
  std::string commented = text;
  commented.insert(commented.find('>') + 1, "<!-- c -->");  // read by the parser
  ASSERT_EQ(parsed.unserialize(commented), 0);
  ASSERT_EQ(detail::UnserializeFrozen(frozen, text), 0);
  AlertDetail changed = frozen;  // its own fields, its children copied
  changed.set(AlertDetail::senderName, "s");
  assigned.setChild(AlertDetail::alert, built.child(AlertDetail::alert));
  AlertDetail source = built;
  AlertDetail moved = std::move(source);
  const std::pair<const char*, const AlertDetail*> roads[] = {
      {"built", &built},     {"read", &read},         {"parsed", &parsed}, {"frozen", &frozen},
      {"changed", &changed}, {"assigned", &assigned}, {"moved", &moved},
  };
  for (const auto& [road, message] : roads) {
    const HqMessageBase* alert = message->findChild(AlertDetail::alert);
    ASSERT_NE(alert, nullptr) << road;
    EXPECT_NE(dynamic_cast<const AlertInfo*>(alert), nullptr) << road;
    const HqMessageBase* idName = alert->findChild(AlertInfo::alert);
    ASSERT_NE(idName, nullptr) << road;
    EXPECT_NE(dynamic_cast<const KTGui::IdName*>(idName), nullptr) << road;
    EXPECT_EQ(idName->get(KTGui::IdName::name), "n") << road;
  }
  // A child of a class the schema does not know is kept as it was given.
  HqMessageBase unknown(99, 7);
  unknown.set(KTGui::IdName::name, "u");
  assigned.setChild(AlertDetail::alert, unknown);
  AlertDetail copy = assigned;
  const HqMessageBase* kept = copy.findChild(AlertDetail::alert);
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->classNumber(), 7);
  EXPECT_EQ(kept->get(KTGui::IdName::name), "u");
}

TEST(FieldArenaTest, HandsOutAlignedSeparateMemoryOfAnySize) {
  detail::FieldArena* arena = detail::FieldArena::Create();
  const size_t sizes[] = {1, 15, 16, 17, 200, 1000, 1024, 5000, 70000, 3, 64 * 1024, 8};
  std::vector<std::pair<unsigned char*, size_t>> taken;
  for (size_t i = 0; i < std::size(sizes); ++i) {
    auto* memory = static_cast<unsigned char*>(arena->Allocate(sizes[i]));
    ASSERT_NE(memory, nullptr) << sizes[i];
    EXPECT_EQ(reinterpret_cast<uintptr_t>(memory) % alignof(std::max_align_t), 0u) << sizes[i];
    std::memset(memory, static_cast<int>(i + 1), sizes[i]);
    taken.emplace_back(memory, sizes[i]);
  }
  // Every piece still holds what was written into it: none overlaps another.
  for (size_t i = 0; i < taken.size(); ++i) {
    const auto [memory, size] = taken[i];
    for (size_t at = 0; at < size; ++at) {
      ASSERT_EQ(memory[at], i + 1) << "piece of " << size << " bytes, byte " << at;
    }
  }
  // Each piece holds the arena, as its maker does: it is freed with the last
  // hold given up (a hold counted wrongly shows as a leak or a double free).
  for (size_t i = 0; i < taken.size(); ++i) arena->Release();
  arena->Release();
}

TEST_F(HqMessageBaseTest, PartsOfAReadTreeOutliveItsRoot) {
  using Config = KTGui::GetAlertDetailForClientResp;
  Config original;
  Fill(original, *tarnalert::FindClass(Config::kModule, Config::kClassNumber), 4, 11);
  std::string text;
  ASSERT_EQ(original.serialize(text, false), 0);
  const HqMessageBase expected = original.list(Config::alertDetails).at(1);
  for (bool frozen : {false, true}) {
    SCOPED_TRACE(frozen ? "frozen" : "plain");
    HqMessageBase rule(0, 0), child(0, 0);
    {
      auto read = std::make_unique<Config>();
      ASSERT_EQ(frozen ? detail::UnserializeFrozen(*read, text) : read->unserialize(text), 0);
      rule = read->findList(Config::alertDetails)->at(1);  // shares the frozen fields
      child = *rule.findChild(KTGui::AlertDetail::alert);
    }  // the root and its arena reference go here
    EXPECT_TRUE(rule == expected);
    EXPECT_TRUE(child == *expected.findChild(KTGui::AlertDetail::alert));
    rule.set(KTGui::AlertDetail::senderName, "changed");  // a copy of its own from here
    EXPECT_EQ(rule.get(KTGui::AlertDetail::senderName), "changed");
  }
}

// Messages in the tree of `message` whose fields are not frozen.
size_t UnfrozenParts(const HqMessageBase& message) {
  const detail::MessageFields* fields = detail::FieldValue::Of(message);
  if (fields == nullptr) return 0;
  size_t count = fields->frozen ? 0 : 1;
  fields->ForEach([&](int, const detail::FieldValue& value) {
    if (const auto* child = std::get_if<detail::ChildMessage>(&value.data)) {
      count += UnfrozenParts(child->get());
    } else if (const auto* list = std::get_if<HqMessageList>(&value.data)) {
      for (const HqMessageBase& entry : *list) count += UnfrozenParts(entry);
    }
  });
  return count;
}

TEST_F(HqMessageBaseTest, ReadingFrozenFreezesEveryLevelOnBothRoads) {
  using Config = KTGui::GetAlertDetailForClientResp;
  Config original;
  Fill(original, *tarnalert::FindClass(Config::kModule, Config::kClassNumber), 4, 7);
  std::string direct;
  ASSERT_EQ(original.serialize(direct, false), 0);
  // A comment inside the document element leaves the text to the parser.
  std::string parsed = direct;
  parsed.insert(parsed.find('>') + 1, "<!-- c -->");
  for (const std::string& text : {direct, parsed}) {
    SCOPED_TRACE(text.substr(0, 60));
    Config plain, frozen;
    ASSERT_EQ(plain.unserialize(text), 0);
    ASSERT_EQ(detail::UnserializeFrozen(frozen, text), 0);
    EXPECT_TRUE(frozen == plain);
    EXPECT_GT(UnfrozenParts(plain), 1u);
    EXPECT_EQ(UnfrozenParts(frozen), 0u);
  }
  // A text that does not read leaves the message as it was, and says why.
  Config kept = original;
  env_.ClearLog();
  EXPECT_EQ(detail::UnserializeFrozen(kept, "<GetAlertDetailForClientResp><tarnholdName>"),
            tarnalert::kXmlMalformed);
  EXPECT_TRUE(kept == original);
  EXPECT_EQ(env_.CountLogLines("HqMessageBase::unserialize"), 1u);
}

// A reading may take over the parts of an earlier reading that the new text
// repeats in place: the message must be the one a fresh reading gives, the
// parts kept the same, and only the repeated parts shared.
TEST_F(HqMessageBaseTest, ReadingTakesOverThePartsAnEarlierReadingRepeats) {
  using Config = KTGui::GetAlertDetailForClientResp;
  auto rule = [](const std::string& name) {
    return "<AlertDetail><alert><alert><id>1</id><name>" + name +
           "</name></alert></alert><senderName>x</senderName></AlertDetail>";
  };
  const std::string catalog =
      "<alertTypeCatalog><alertTypes><AlertTypeListItem><alertTypeId>74</alertTypeId>"
      "</AlertTypeListItem></alertTypes></alertTypeCatalog>";
  auto config = [&](const std::string& name, const std::string& catalogText,
                    const std::vector<std::string>& rules) {
    std::string text = "<GetAlertDetailForClientResp>\n  <tarnholdName>" + name +
                       "</tarnholdName>\n  " + catalogText + "\n  <alertDetails>";
    for (const std::string& r : rules) text += "\n    " + r;
    return text + "\n  </alertDetails>\n</GetAlertDetailForClientResp>\n";
  };
  const std::string earlierText = config("North", catalog, {rule("a"), rule("b"), rule("c")});
  // (what, later text, which earlier parts it shares: catalogue, then rules)
  const struct {
    const char* what;
    std::string text;
    std::vector<bool> shared;
  } cases[] = {
      {"same text", earlierText, {true, true, true, true}},
      {"installation renamed",
       config("South", catalog, {rule("a"), rule("b"), rule("c")}),
       {true, true, true, true}},
      {"middle rule changed",
       config("North", catalog, {rule("a"), rule("B"), rule("c")}),
       {true, true, false, true}},
      {"rule put in front",
       config("North", catalog, {rule("z"), rule("a"), rule("b"), rule("c")}),
       {true, false, false, false, false}},
      {"last rule gone", config("North", catalog, {rule("a"), rule("b")}), {true, true, true}},
      {"catalogue changed",
       config("North", "<alertTypeCatalog><alertTypes/></alertTypeCatalog>",
              {rule("a"), rule("b"), rule("c")}),
       {false, true, true, true}},
      {"unknown element: the parser reads it", config("North", catalog, {rule("a"), "<Odd/>"}), {}},
      {"broken after a repeated part", config("North", catalog, {rule("a"), "<AlertDetail>"}), {}},
      {"another class", "<IdName><name>n</name></IdName>", {}},
  };
  const ClassInfo* cls = tarnalert::FindClass(Config::kModule, Config::kClassNumber);
  std::unique_ptr<HqMessageBase> earlier;
  detail::ReadParts earlierParts;
  ASSERT_TRUE(
      detail::ReadDocument(earlierText, cls, &earlier, nullptr, true, nullptr, &earlierParts).ok());
  ASSERT_EQ(earlierParts.parts.size(), 4u);
  const detail::EarlierReading reading{earlierText, &earlierParts};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const ClassInfo* expected = c.what == std::string("another class") ? nullptr : cls;
    std::unique_ptr<HqMessageBase> fresh, later;
    detail::ReadParts freshParts, laterParts;
    const detail::XmlError freshError =
        detail::ReadDocument(c.text, expected, &fresh, nullptr, true, nullptr, &freshParts);
    const detail::XmlError laterError =
        detail::ReadDocument(c.text, expected, &later, nullptr, true, &reading, &laterParts);
    ASSERT_EQ(laterError.status, freshError.status);
    EXPECT_EQ(laterError.offset, freshError.offset);
    if (!freshError.ok()) continue;
    EXPECT_TRUE(*later == *fresh);
    ASSERT_EQ(laterParts.parts.size(), c.shared.size());
    ASSERT_EQ(freshParts.parts.size(), c.shared.size());
    for (size_t i = 0; i < c.shared.size(); ++i) {
      const detail::ReadPart& part = laterParts.parts[i];
      EXPECT_EQ(part.begin, freshParts.parts[i].begin) << i;
      EXPECT_EQ(part.end, freshParts.parts[i].end) << i;
      EXPECT_TRUE(part.message == freshParts.parts[i].message) << i;
      bool shared = false;
      for (const detail::ReadPart& old : earlierParts.parts) {
        shared =
            shared || detail::FieldValue::Of(old.message) == detail::FieldValue::Of(part.message);
      }
      EXPECT_EQ(shared, c.shared[i]) << i;
    }
  }
}

}  // namespace
