#include "tarnalert/platform/event/EvEvent.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include "platform/event/Catalog.h"
#include "platform/event/DefaultCatalog.h"
#include "platform/testing/TestEnv.h"
#include "platform/testing/TestUtil.h"
#include "tarnalert/platform/env/Env.h"
#include "tarnalert/platform/text/FXString.h"

namespace {

constexpr unsigned long kId = 0x7f000001;

class EvEventTest : public ::testing::Test {
 protected:
  // Renders message `id` with the arguments of `event` into a buffer of `size`
  // bytes followed by guard bytes, and checks that no guard byte changed and
  // the arguments were consumed. (The signed locale variant of evPrintf hands
  // on to the unsigned one, so both are used.)
  std::string Render(EvEvent& event, unsigned long id, unsigned long size, long long locale = 0) {
    std::string memory(size + 16, '\xA5');
    char* buffer = &memory[0];
    EXPECT_EQ(event.evPrintf(id, buffer, size, locale), buffer);
    EXPECT_EQ(event.argumentCount(), 0u);
    EXPECT_EQ(memory.substr(size), std::string(16, '\xA5')) << "size " << size;
    if (size == 0) return "(untouched)";
    EXPECT_NE(std::memchr(buffer, '\0', size), nullptr) << "not terminated, size " << size;
    return std::string(buffer);
  }

  // Renders `text` as the catalogue text of kId (null: an unknown id) with `arguments`.
  std::string RenderText(const char* text, unsigned long size,
                         const std::vector<std::string>& arguments = {}) {
    if (text != nullptr) env_.SetCatalogText(kId, text);
    EvEvent event;
    for (const std::string& argument : arguments) event << argument.c_str();
    return Render(event, text != nullptr ? kId : 0x7f0000ff, size);
  }

  // Renders one argument of `code` read from `value` as "<%1>".
  template <typename T>
  std::string RenderOne(T value, int code) {
    env_.SetCatalogText(kId, "<%1>");
    EvEvent event;
    event.addArgument(&value, code);
    return Render(event, kId, 64);
  }

  tarnalert::test::TestEnv env_;
  tarnalert::ScopedEnv scope_{&env_};
};

TEST_F(EvEventTest, FillsPlaceholdersIntoAtMostSizeBytesCutAtCharacters) {
  EXPECT_EQ(RenderText("abc", 0, {"x"}), "(untouched)");
  EXPECT_EQ(RenderText("abc", 1), "");
  EXPECT_EQ(RenderText("abc", 3), "ab");
  EXPECT_EQ(RenderText("abc", 4), "abc");  // exact fit
  // A cut inside a character drops the character.
  EXPECT_EQ(RenderText("a\xC3\xA9", 3), "a");
  EXPECT_EQ(RenderText("\xE2\x82\xAC\xE2\x82\xAC", 6), "\xE2\x82\xAC");
  EXPECT_EQ(RenderText("x\xF0\x9F\x98\x80", 5), "x");
  // Arguments are cut too.
  const std::string long_argument(5000, 'x');
  EXPECT_EQ(RenderText("<%1>", 10, {long_argument}), "<xxxxxxxx");
  EXPECT_EQ(RenderText("%1%1%1", 2048, {long_argument}), std::string(2047, 'x'));
  EXPECT_EQ(RenderText(nullptr, 8, {"argument"}), "");  // an unknown id leaves the empty string
  // Placeholders: missing arguments are empty, two digits at most, %% is a
  // percent sign, any other % stays, and arguments are not read again.
  EXPECT_EQ(RenderText("%2-%1-%2 [%3]", 64, {"x", "y"}), "y-x-y []");
  EXPECT_EQ(RenderText("%%1 is %1, 100% %x %0 %", 64, {"x"}), "%1 is x, 100% %x %0 %");
  EXPECT_EQ(
      RenderText("%10|%12|%123", 64, {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l"}),
      "j|l|l3");
  EXPECT_EQ(RenderText("%1", 64, {"%2", "y"}), "%2");
}

TEST_F(EvEventTest, RendersEveryArgumentType) {
  EXPECT_EQ(RenderOne('q', kArgChar), "<q>");
  EXPECT_EQ(RenderOne<unsigned char>(65, kArgUnsignedChar), "<A>");
  EXPECT_EQ(RenderOne<short>(-5, kArgShort), "<-5>");
  EXPECT_EQ(RenderOne<unsigned short>(65535, kArgUnsignedShort), "<65535>");
  EXPECT_EQ(RenderOne(-42, kArgInt), "<-42>");
  EXPECT_EQ(RenderOne(UINT_MAX, kArgUnsignedInt), "<4294967295>");
  EXPECT_EQ(RenderOne(LONG_MIN, kArgLong), "<-9223372036854775808>");
  EXPECT_EQ(RenderOne(ULONG_MAX, kArgUnsignedLong), "<18446744073709551615>");
  EXPECT_EQ(RenderOne(-1LL, kArgLongLong), "<-1>");
  EXPECT_EQ(RenderOne(ULLONG_MAX, kArgUnsignedLongLong), "<18446744073709551615>");
  EXPECT_EQ(RenderOne(77, 12), "<77>");  // codes without a type of their own read as int
  EXPECT_EQ(RenderOne('\0', kArgChar), "<>");
  EvEvent event;                        // kId still reads "<%1>"
  event.addArgument(nullptr, kArgInt);  // a null value adds an empty text
  EXPECT_EQ(Render(event, kId, 64), "<>");
}

// Templates match tokens without regard to case: no token may be found inside another.
TEST(DefaultCatalogTest, NoTokenIsFoundInsideAnother) {
  size_t count = 0;
  const tarnalert::detail::CatalogEntry* entries = tarnalert::detail::DefaultCatalogEntries(&count);
  std::vector<std::wstring> tokens;
  for (size_t i = 0; i < count; ++i) {
    std::wstring token = FXString::ToWstring(entries[i].text);
    if (token.empty() || token[0] != L'<') continue;
    FXString::ToLower(token);
    for (const std::wstring& other : tokens) {
      EXPECT_EQ(other.find(token), std::wstring::npos) << entries[i].text;
      EXPECT_EQ(token.find(other), std::wstring::npos) << entries[i].text;
    }
    tokens.push_back(token);
  }
  EXPECT_GE(tokens.size(), 10u);
}

// A French catalogue file with good lines, comments, escapes and malformed
// lines, all read through the Env in force.
class LocaleFileTest : public EvEventTest {
 protected:
  void SetUp() override {
    env_.SetSetting("CATALOG_DIR", env_.scratch_directory());
    std::ofstream(env_.scratch_directory() + "/1036.catalog", std::ios::binary)
        << "\xEF\xBB\xBF# French\r\n"
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
  std::string Text(unsigned long id, unsigned long locale) {
    EvEvent event;
    return Render(event, id, 128, locale);
  }
};

// Other locales and ids the file lacks fall back to the default catalogue.
TEST_F(LocaleFileTest, GoodLinesGiveTheirTexts) {
  const struct {
    unsigned long id;
    const char* text;
  } cases[] = {
      {0x4a0000a5, "Non applicable"}, {0x4a000320, "Basculement lanc\xC3\xA9 par  sur "},
      {0x4a000002, " Objet : "},      {0x4a000000, "id 0x4a000000 in decimal"},
      {0x4a000007, "Date\td\\n\n "},
  };
  for (const auto& c : cases) EXPECT_EQ(Text(c.id, 1036), c.text) << std::hex << c.id;
  EXPECT_EQ(Text(0x4a0000a5, 1031), "Not Applicable");  // no file for this locale
  EXPECT_EQ(Text(0x4a000004, 1036), tarnalert::detail::DefaultCatalogText(0x4a000004));
}

// A scope works the catalogue directory out once: a change of the setting
// inside it is seen once the outermost scope ends, and another Env put in
// force is asked for its own.
TEST_F(LocaleFileTest, ACatalogScopeWorksTheDirectoryOutOnce) {
  const std::string elsewhere = env_.scratch_directory() + "/elsewhere";  // holds no file
  {
    tarnalert::detail::CatalogScope scope;
    EXPECT_EQ(Text(0x4a0000a5, 1036), "Non applicable");
    env_.SetSetting("CATALOG_DIR", elsewhere);
    EXPECT_EQ(Text(0x4a0000a5, 1036), "Non applicable");
    { tarnalert::detail::CatalogScope inner; }
    EXPECT_EQ(Text(0x4a0000a5, 1036), "Non applicable");  // an inner scope ends nothing
    tarnalert::test::TestEnv other;
    other.SetSetting("CATALOG_DIR", elsewhere);
    tarnalert::ScopedEnv scoped(&other);
    EXPECT_EQ(Text(0x4a0000a5, 1036), "Not Applicable");
  }
  EXPECT_EQ(Text(0x4a0000a5, 1036), "Not Applicable");
}

TEST_F(LocaleFileTest, MalformedLinesAreSkippedAndReportedOnce) {
  for (unsigned long id : {0x4a000008, 0x4a00000d, 0x4a00000e, 0x4a000016}) {
    EXPECT_EQ(Text(id, 1036), tarnalert::detail::DefaultCatalogText(id)) << std::hex << id;
    EXPECT_EQ(Text(id, 1036), tarnalert::detail::DefaultCatalogText(id)) << std::hex << id;
  }
  EXPECT_EQ(env_.CountLogLines("1036.catalog"), 5u);
  for (int line : {9, 10, 11, 12, 13}) {
    EXPECT_EQ(env_.CountLogLines("line " + std::to_string(line) + " of"), 1u) << line;
  }
}

// A catalogue file that is a FIFO, or a link, is refused with a log line; a
// FIFO with no writer used to block the reader (and, through the once-only
// load, every thread after it) for good.
TEST_F(LocaleFileTest, FilesThatAreNotRegularAreRefusedWithoutWaiting) {
  const std::string dir = env_.scratch_directory();
  ASSERT_EQ(::mkfifo((dir + "/1040.catalog").c_str(), 0600), 0);
  std::filesystem::create_symlink(dir + "/1036.catalog", dir + "/1041.catalog");
  // First in a child, killed if it waits for a writer of the FIFO.
  ASSERT_TRUE(tarnalert::test::EndsWithin(10, [&] { return !Text(0x4a0000a5, 1040).empty(); }));
  EXPECT_EQ(Text(0x4a0000a5, 1040), "Not Applicable");
  EXPECT_EQ(
      env_.CountLogLines("Ignoring catalogue file " + dir + "/1040.catalog: not a regular file"),
      1u);
  EXPECT_EQ(Text(0x4a0000a5, 1041), "Not Applicable");
  EXPECT_EQ(env_.CountLogLines("Couldn't read catalogue file " + dir +
                               "/1041.catalog: Too many levels of symbolic links"),
            1u);
}

// A text longer than the value area is cut and still terminated; a long
// chain is freed without recursing once per node.
TEST(ArgumentInfoTest, KeepsLongTextsTerminatedAndFreesLongChains) {
  auto* list = new ArgumentInfo;
  list->Append(std::string(2000, 't').c_str(), 2001, kArgText);
  EXPECT_EQ(std::strlen(list->value), ArgumentInfo::kValueSize - 1);
  for (int i = 1; i < 200000; ++i) list->Append(&i, sizeof i, kArgInt);
  EXPECT_EQ(list->NoOfArgs(), 200000);
  delete list;  // must not recurse once per node
}

}  // namespace
