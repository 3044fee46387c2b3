#include "platform/EvEvent.h"

#include <climits>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "platform/Env.h"
#include "platform/FXString.h"
#include "platform/detail/DefaultCatalog.h"
#include "platform/detail/Settings.h"
#include "platform/testing/TestEnv.h"

namespace {

using tarnalert::testing::ScopedEnv;
using tarnalert::testing::TestEnv;

constexpr unsigned long kId = 0x7f000001;
constexpr unsigned long kUnknownId = 0x7f0000ff;
constexpr size_t kGuard = 16;
constexpr unsigned char kGuardByte = 0xA5;

class EvEventTest : public ::testing::Test {
 protected:
  // Renders `text` (as the catalogue text of kId) into a buffer of `size`
  // bytes followed by guard bytes, and checks that no guard byte changed.
  std::string Render(const std::string& text, unsigned long size,
                     const std::vector<std::string>& arguments = {}) {
    env_.SetCatalogText(kId, text);
    EvEvent event;
    for (const std::string& argument : arguments) event << argument.c_str();
    std::vector<unsigned char> memory(size + kGuard, kGuardByte);
    char* buffer = reinterpret_cast<char*>(memory.data());
    EXPECT_EQ(event.evPrintf(kId, buffer, size, 0UL), buffer);
    for (size_t i = size; i < memory.size(); ++i) {
      EXPECT_EQ(memory[i], kGuardByte) << "byte " << i << " written, size " << size;
    }
    if (size == 0) return "(untouched)";
    EXPECT_NE(std::memchr(buffer, '\0', size), nullptr) << "not terminated, size " << size;
    return std::string(buffer);
  }

  TestEnv env_;
  ScopedEnv scope_{&env_};
};

TEST_F(EvEventTest, NeverWritesPastSizeAndCutsAtCharacters) {
  struct Case {
    const char* text;
    unsigned long size;
    const char* expected;
  } cases[] = {
      {"abc", 0, "(untouched)"},
      {"abc", 1, ""},
      {"abc", 2, "a"},
      {"abc", 3, "ab"},
      {"abc", 4, "abc"},  // exact fit
      {"abc", 100, "abc"},
      {"a\xC3\xA9", 2, "a"},  // a + e-acute: cut inside it drops it
      {"a\xC3\xA9", 3, "a"},
      {"a\xC3\xA9", 4, "a\xC3\xA9"},
      {"\xE2\x82\xAC\xE2\x82\xAC", 3, ""},  // euro signs, three bytes each
      {"\xE2\x82\xAC\xE2\x82\xAC", 4, "\xE2\x82\xAC"},
      {"\xE2\x82\xAC\xE2\x82\xAC", 6, "\xE2\x82\xAC"},
      {"\xE2\x82\xAC\xE2\x82\xAC", 7, "\xE2\x82\xAC\xE2\x82\xAC"},
      {"x\xF0\x9F\x98\x80", 5, "x"},  // a four-byte character
      {"x\xF0\x9F\x98\x80", 6, "x\xF0\x9F\x98\x80"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Render(c.text, c.size), c.expected) << c.text << " size " << c.size;
  }
}

TEST_F(EvEventTest, CutsArgumentsAtTheSizeToo) {
  std::string long_argument(5000, 'x');
  EXPECT_EQ(Render("<%1>", 10, {long_argument}), "<xxxxxxxx");
  EXPECT_EQ(Render("%1%1%1", 2048, {long_argument}), std::string(2047, 'x'));
}

TEST_F(EvEventTest, UnknownIdLeavesEmptyString) {
  char buffer[8];
  std::memset(buffer, 'z', sizeof buffer);
  EvEvent event;
  event << "argument";
  EXPECT_STREQ(event.evPrintf(kUnknownId, buffer, sizeof buffer, 0UL), "");
  EXPECT_EQ(event.argumentCount(), 0u);
  std::memset(buffer, 'z', sizeof buffer);
  EXPECT_STREQ(event.evPrintf(kUnknownId, buffer, sizeof buffer, 0LL), "");
}

TEST_F(EvEventTest, FillsNumberedPlaceholders) {
  std::vector<std::string> twelve;
  for (int i = 1; i <= 12; ++i) twelve.push_back("a" + std::to_string(i));
  struct Case {
    const char* text;
    std::vector<std::string> arguments;
    const char* expected;
  } cases[] = {
      {"%1 on %2", {"x", "y"}, "x on y"},
      {"%2-%1-%2", {"x", "y"}, "y-x-y"},
      {"[%3]", {"x", "y"}, "[]"},  // no such argument
      {"%%1 is %1", {"x"}, "%1 is x"},
      {"100%", {}, "100%"},
      {"% %x %0 %", {"x"}, "% %x %0 %"},
      {"%10|%12|%123", twelve, "a10|a12|a123"},  // two digits at most
      {"%1", {"%2"}, "%2"},                      // arguments are not re-read
      {"no placeholders", {"x"}, "no placeholders"},
  };
  for (const Case& c : cases) EXPECT_EQ(Render(c.text, 256, c.arguments), c.expected) << c.text;
}

TEST_F(EvEventTest, RendersEveryArgumentType) {
  char c = 'q';
  unsigned char uc = 65;
  short s = -5;
  unsigned short us = 65535;
  int i = -42;
  unsigned u = UINT_MAX;
  long l = LONG_MIN;
  unsigned long ul = ULONG_MAX;
  long long ll = -1;
  unsigned long long ull = ULLONG_MAX;
  int other = 77;
  char nul = '\0';
  struct Case {
    const void* value;
    int code;
    const char* expected;
  } cases[] = {
      {&c, kArgChar, "q"},
      {&uc, kArgUnsignedChar, "A"},
      {&s, kArgShort, "-5"},
      {&us, kArgUnsignedShort, "65535"},
      {&i, kArgInt, "-42"},
      {&u, kArgUnsignedInt, "4294967295"},
      {&l, kArgLong, "-9223372036854775808"},
      {&ul, kArgUnsignedLong, "18446744073709551615"},
      {&ll, kArgLongLong, "-1"},
      {&ull, kArgUnsignedLongLong, "18446744073709551615"},
      {"text \xC3\xA9", kArgText, "text \xC3\xA9"},
      {&other, 0, "77"},
      {&other, 12, "77"},
      {&other, kArgEndOfMessage, "77"},
      {&nul, kArgChar, ""},
      {nullptr, kArgInt, ""},
  };
  env_.SetCatalogText(kId, "<%1>");
  for (const Case& k : cases) {
    EvEvent event;
    event.addArgument(k.value, k.code);
    char buffer[64];
    EXPECT_EQ(std::string(event.evPrintf(kId, buffer, sizeof buffer, 0UL)),
              "<" + std::string(k.expected) + ">")
        << "code " << k.code;
  }
}

TEST_F(EvEventTest, RenderingConsumesArguments) {
  env_.SetCatalogText(kId, "[%1]");
  EvEvent event;
  char buffer[32];
  event << "a"
        << "b";
  EXPECT_EQ(event.argumentCount(), 2u);
  EXPECT_STREQ(event.evPrintf(kId, buffer, sizeof buffer, 0UL), "[a]");
  EXPECT_EQ(event.argumentCount(), 0u);
  EXPECT_STREQ(event.evPrintf(kId, buffer, sizeof buffer, 0UL), "[]");
  event << "c";
  EXPECT_EQ(event.evPrintf(kId, buffer, 0, 0UL), buffer);  // size 0 consumes too
  EXPECT_STREQ(event.evPrintf(kId, buffer, sizeof buffer, 0UL), "[]");
}

TEST(DefaultCatalogTest, EveryTextIsServedAndTokensAreDistinct) {
  size_t count = 0;
  const tarnalert::detail::CatalogEntry* entries = tarnalert::detail::DefaultCatalogEntries(&count);
  ASSERT_GT(count, 0u);
  std::vector<std::wstring> tokens;
  for (size_t i = 0; i < count; ++i) {
    for (unsigned long locale : {0UL, 1033UL}) {
      std::string text;
      EXPECT_TRUE(tarnalert::Env::Default()->CatalogText(entries[i].id, locale, &text));
      EXPECT_EQ(text, entries[i].text);
    }
    std::wstring token = FXString::ToWstring(entries[i].text);
    if (token.empty() || token[0] != L'<') continue;
    // Templates match tokens without regard to case: no token may be found
    // inside another.
    FXString::ToLower(token);
    for (const std::wstring& other : tokens) {
      EXPECT_EQ(other.find(token), std::wstring::npos) << entries[i].text;
      EXPECT_EQ(token.find(other), std::wstring::npos) << entries[i].text;
    }
    tokens.push_back(token);
  }
  std::string text;
  EXPECT_TRUE(tarnalert::Env::Default()->CatalogText(0x4a000001, 0, &text));
  EXPECT_EQ(text, "\n");
}

TEST(CatalogFileTest, LocaleFileFallsBackAndSkipsMalformedLines) {
  TestEnv env;
  ScopedEnv scope(&env);
  const std::string directory = env.scratch_directory() + "/catalog";
  ASSERT_TRUE(tarnalert::detail::MakeDirectories(directory));
  {
    std::ofstream file(directory + "/1036.catalog", std::ios::binary);
    file << "\xEF\xBB\xBF# French\r\n"
            "0x4a0000a5 = Sans objet\r\n"
            "   # indented comment\n"
            "\n"
            "0x4A000320=Basculement lanc\xC3\xA9 par %1 sur %2\n"
            "0x4a000002 =  \\sObjet :\\s\n"
            "1241513984 = id 0x4a000000 in decimal\n"
            "0x4a000007 = Date\\td\\\\n\\n \n"
            "this line is malformed\n"
            "0x4a000008 = bad \\q escape\n"
            "0x4a00000d = bad \xC3\x28 UTF-8\n"
            "0x4a00000e\n"
            "0x4a000016 = trailing backslash\\\n"
            "0x4a0000a5 = Non applicable\n";  // a later line wins
  }
  struct Case {
    unsigned long id;
    unsigned long locale;
    const char* expected;
  } cases[] = {
      {0x4a0000a5, 1036, "Non applicable"},
      {0x4a000320, 1036, "Basculement lanc\xC3\xA9 par a sur b"},
      {0x4a000002, 1036, " Objet : "},
      {0x4a000000, 1036, "id 0x4a000000 in decimal"},
      {0x4a000007, 1036, "Date\td\\n\n "},
      {0x4a000004, 1036, "<Tarnhold Name>"},  // not in the file: default text
      {0x4a000008, 1036, "<Detected Time (UTC)>"},
      {0x4a00000d, 1036, "<Alert Name>"},
      {0x4a00000e, 1036, "<Detected Criteria>"},
      {0x4a000016, 1036, "<User Name>"},
      {0x4a0000a5, 1031, "Not Applicable"},  // no file for this locale
      {0x4a0000a5, 0, "Not Applicable"},
      {kUnknownId, 1036, ""},
  };
  for (int round = 0; round < 2; ++round) {
    for (const Case& c : cases) {
      EvEvent event;
      event << "a"
            << "b";
      char buffer[128];
      EXPECT_STREQ(event.evPrintf(c.id, buffer, sizeof buffer, c.locale), c.expected)
          << std::hex << c.id << " locale " << std::dec << c.locale;
    }
  }
  // Each malformed line is reported once, however often the file is used.
  EXPECT_EQ(env.CountLogLines("1036.catalog"), 5u);
  for (int line : {9, 10, 11, 12, 13}) {
    EXPECT_EQ(env.CountLogLines("line " + std::to_string(line) + " of"), 1u) << line;
  }
}

TEST(ArgumentInfoTest, ChainsNodesBehindTheHead) {
  ArgumentInfo list;
  EXPECT_EQ(list.NoOfArgs(), 0);
  int number = 7;
  long long big = -3;
  std::string long_text(2000, 't');
  list.Append(&number, sizeof number, kArgInt);
  list.Append(&big, sizeof big, kArgLongLong);
  list.Append(long_text.c_str(), long_text.size() + 1, kArgText);
  EXPECT_EQ(list.NoOfArgs(), 3);

  std::vector<int> types;
  for (const ArgumentInfo* node = &list; node != nullptr; node = node->next) {
    types.push_back(node->type);
  }
  EXPECT_EQ(types, (std::vector<int>{kArgInt, kArgLongLong, kArgText}));
  int first = 0;
  std::memcpy(&first, list.value, sizeof first);
  EXPECT_EQ(first, 7);
  long long second = 0;
  std::memcpy(&second, list.next->value, sizeof second);
  EXPECT_EQ(second, -3);
  // A text longer than the value area is kept terminated.
  EXPECT_EQ(std::strlen(list.next->next->value), ArgumentInfo::kValueSize - 1);
}

TEST(ArgumentInfoTest, FreesLongChains) {
  auto* list = new ArgumentInfo;
  for (int i = 0; i < 200000; ++i) list->Append(&i, sizeof i, kArgInt);
  EXPECT_EQ(list->NoOfArgs(), 200000);
  delete list;  // must not recurse once per node
}

}  // namespace
