#include "platform/files/SettingsFiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/testing/TestEnv.h"

namespace {

using tarnalert::detail::FileSetting;
using tarnalert::detail::SettingsFiles;

class SettingsFilesTest : public ::testing::Test {
 protected:
  tarnalert::test::TestEnv env_;
  const std::string dir_ = env_.scratch_directory();

  std::string Write(const std::string& name, const std::string& text, mode_t mode = 0644) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path) << text;
    ::chmod(path.c_str(), mode);
    return path;
  }

  // "value @ line" of `name`, or "unset".
  static std::string Where(const SettingsFiles& files, const std::string& name) {
    const FileSetting* setting = files.Find(name);
    return setting == nullptr ? "unset" : setting->value + " @ " + std::to_string(setting->line);
  }
};

TEST_F(SettingsFilesTest, ReadsKeyValueLinesAndNamesEveryLineItIgnores) {
  const std::string path = Write("settings.conf",
                                 "# mail for the failover alerts\n"
                                 "\n"
                                 "  TARNALERT_MAIL_URL = smtp://mail.example:25  \r\n"
                                 "TARNALERT_MAIL_FROM=\"Oncall Team <oncall@example.com>\"\n"
                                 "TARNALERT_MAIL_USER='alerts'\n"
                                 "TARNALERT_MAIL_TLS=\"none'\n"
                                 "TARNALERT_LOG_LEVEL=3\n"
                                 "TARNALERT_LOG_LEVEL=5\n"
                                 "TARNALERT_SERVER_URL=\n"
                                 "TARNALERT_MAIL_ULR=smtp://typo.example\n"
                                 "MAIL_URL=smtp://no-prefix.example\n"
                                 "export TARNALERT_SPOOL_DIR=/srv/spool\n"
                                 "TARNALERT_CATALOG_DIR\n"
                                 "TARNALERT_SETTINGS_FILE=/elsewhere.conf\n"
                                 "TARNALERT_STATE_DIR=/srv/a\x01/b\n"
                                 "TARNALERT_CLIENT_NAME=last line without a break");
  SettingsFiles files;
  files.Load(&env_, {{path, true}});
  const struct {
    std::string name;
    std::string where;
  } cases[] = {
      {"MAIL_URL", "smtp://mail.example:25 @ 3"},
      {"MAIL_FROM", "Oncall Team <oncall@example.com> @ 4"},
      {"MAIL_USER", "alerts @ 5"},
      {"MAIL_TLS", "\"none' @ 6"},  // quotes that do not pair stay
      {"LOG_LEVEL", "5 @ 8"},       // the later line wins
      {"SERVER_URL", " @ 9"},
      {"SPOOL_DIR", "unset"},
      {"CATALOG_DIR", "unset"},
      {"SETTINGS_FILE", "unset"},
      {"STATE_DIR", "unset"},
      {"CLIENT_NAME", "last line without a break @ 16"},
  };
  for (const auto& c : cases) EXPECT_EQ(Where(files, c.name), c.where) << c.name;
  EXPECT_EQ(files.filesRead(), std::vector<std::string>{path});
  EXPECT_EQ(files.problems(),
            (std::vector<std::string>{
                path + ":10: unknown setting TARNALERT_MAIL_ULR; ignored",
                path + ":11: MAIL_URL is not a tarnalert setting (those begin with TARNALERT_); "
                       "ignored",
                path + ":12: not a KEY=VALUE line; ignored",
                path + ":13: not a KEY=VALUE line; ignored",
                path + ":14: TARNALERT_SETTINGS_FILE is read only from the environment; ignored",
                path + ":15: the value of TARNALERT_STATE_DIR holds a control character; ignored",
            }));
}

TEST_F(SettingsFilesTest, ALaterFileOverridesAnEarlierOne) {
  const std::string system = Write("system.conf",
                                   "TARNALERT_MAIL_URL=smtp://system.example\n"
                                   "TARNALERT_MAIL_TLS=opportunistic\n");
  const std::string user = Write("user.conf", "TARNALERT_MAIL_URL=smtp://user.example\n");
  SettingsFiles files;
  files.Load(&env_, {{system, false}, {dir_ + "/missing.conf", false}, {user, false}});
  EXPECT_EQ(Where(files, "MAIL_URL"), "smtp://user.example @ 1");
  EXPECT_EQ(files.Find("MAIL_URL")->file, user);
  EXPECT_EQ(Where(files, "MAIL_TLS"), "opportunistic @ 2");
  EXPECT_EQ(files.filesRead(), (std::vector<std::string>{system, user}));
  EXPECT_TRUE(files.problems().empty());  // a missing file that was not asked for by name
}

TEST_F(SettingsFilesTest, AFileOthersCanChangeIsRefusedWhole) {
  const std::string good = Write("good.conf", "TARNALERT_MAIL_URL=smtp://good.example\n");
  const std::string open = Write("open.conf",
                                 "TARNALERT_MAIL_URL=smtp://attacker.example\n"
                                 "TARNALERT_MAIL_TLS=none\n",
                                 0666);
  SettingsFiles files;
  files.Load(&env_, {{good, false}, {open, false}, {dir_ + "/named.conf", true}});
  EXPECT_EQ(Where(files, "MAIL_URL"), "smtp://good.example @ 1");
  EXPECT_EQ(Where(files, "MAIL_TLS"), "unset");
  EXPECT_EQ(files.problems(),
            (std::vector<std::string>{
                "Refusing settings file " + open +
                    ": writable by group or others (mode 0666); none of its settings is used",
                "Cannot open settings file " + dir_ +
                    "/named.conf: No such file or directory; none of its settings is used",
            }));
}

}  // namespace
