// Every directory the library writes into or reads trust from refuses to be
// used when another user could have put it there or can change it: the
// spool, the configuration cache (install and read), the catalogue and the
// debug log, each against state directories laid out by a hostile user.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "platform/KTAlert.h"
#include "platform/testing/TestEnv.h"
#include "platform/testing/TestUtil.h"
#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"
#include "tarnalert/platform/event/EvEvent.h"

namespace {

namespace fs = std::filesystem;
using tarnalert::test::AsOtherUser;
using tarnalert::test::ListDirectory;
using tarnalert::test::ReadWhole;

const char* const kSubdirectories[] = {"spool", "jobresults", "log", "catalog"};
constexpr unsigned long kPlantedId = 0x7fff0001;
const std::string kPlantedConfig =
    "<GetAlertDetailForClientResp><tarnholdName>planted</tarnholdName>"
    "</GetAlertDetailForClientResp>";

// The directories the library would use under `where`, with a planted
// configuration and catalogue.
bool Plant(const std::string& where) {
  std::error_code error;
  for (const char* sub : kSubdirectories) fs::create_directories(where + "/" + sub, error);
  std::ofstream(where + "/jobresults/alert_config.xml") << kPlantedConfig;
  std::ofstream(where + "/catalog/1033.catalog") << "0x7fff0001 = planted\n";
  return !error;
}

// A TestEnv whose state directory holds every directory (no setting points
// elsewhere) and whose log lines go to the real log file on demand.
class StateEnv : public tarnalert::test::TestEnv {
 public:
  StateEnv() {
    for (const char* name : {"JOB_RESULTS_DIR", "SPOOL_DIR", "CATALOG_DIR", "LOG_FILE"}) {
      SetSetting(name, "");
    }
    // Room where the other user can make things: a sticky directory all may write.
    fs::permissions(scratch_directory(), fs::perms(0755));
    fs::create_directory(shared());
    fs::permissions(shared(), fs::perms(01777));
    SetSetting("STATE_DIR", state());
  }
  std::string shared() const { return scratch_directory() + "/shared"; }
  std::string state() const { return shared() + "/state"; }
  std::string elsewhere() const { return shared() + "/elsewhere"; }

  void WriteLogLine(const std::string& line) override {
    if (to_file) {
      target()->WriteLogLine(line);
    } else {
      TestEnv::WriteLogLine(line);
    }
  }
  bool to_file = false;
};

std::string Chain(const CYqError& error) {
  std::string text;
  for (const CYqError::Message& message : error.Messages()) text += message.text + "\n";
  return text;
}

struct Layout {
  const char* name;
  // Lays out the state directory; returns where the library's directories
  // really are.
  std::function<std::string(StateEnv&)> make;
  // The directory refused: the state directory, or (when true) each
  // directory inside it.
  bool inside;
  const char* why;
};

// Each use of a directory is refused with a message naming it, and nothing
// is read from or written into the hostile directories.
void ExpectEveryUseRefused(const Layout& layout) {
  SCOPED_TRACE(layout.name);
  StateEnv env;
  tarnalert::ScopedEnv scoped(&env);
  const std::string where = layout.make(env);
  if (::testing::Test::HasFailure() || where.empty()) return;
  auto refusal = [&](const std::string& sub) {
    return "Refusing directory " + env.state() + (layout.inside ? "/" + sub : "") + ": " +
           layout.why;
  };

  EvAlertEx alert;
  alert.alertType = 5;
  KTAlert adapter;
  EXPECT_NE(adapter.SendAlert(alert), 0) << "spool";
  EXPECT_NE(adapter.getErrorString().find(refusal("spool")), std::string::npos)
      << adapter.getErrorString();
  EXPECT_EQ(ListDirectory(where + "/spool"), std::vector<std::string>{}) << "spool";

  const std::string ours =
      "<GetAlertDetailForClientResp><tarnholdName>ours</tarnholdName>"
      "</GetAlertDetailForClientResp>";
  const std::string chain = Chain(NTAlertProcessClient::UpdateAlertConfig(ours));
  EXPECT_NE(chain.find(refusal("jobresults")), std::string::npos) << chain;
  EXPECT_EQ(ReadWhole(where + "/jobresults/alert_config.xml"), kPlantedConfig) << "install";

  env.ClearLog();
  std::string read;
  EXPECT_EQ(NTAlertProcessClient::RetrieveDetailsFromXML(read), 1) << "read";
  EXPECT_EQ(read, "") << "read";
  EXPECT_EQ(env.CountLogLines(refusal("jobresults")), 1u) << "read";

  env.ClearLog();
  std::string text;
  EXPECT_FALSE(tarnalert::Env::Current()->CatalogText(kPlantedId, 1033, &text)) << text;
  EXPECT_EQ(env.CountLogLines("Ignoring catalogue directory: " + refusal("catalog")), 1u);

  env.to_file = true;
  EvEvent().Error("trust", "a line of ours");
  EXPECT_EQ(ListDirectory(where + "/log"), std::vector<std::string>{}) << "log";
}

TEST(DirectoryTrustTest, DirectoriesOfAnotherUserAreRefused) {
  const Layout layouts[] = {
      {"state directory made by another user",
       [](StateEnv& env) {
         return AsOtherUser([&] { return fs::create_directory(env.state()) && Plant(env.state()); })
                    ? env.state()
                    : "";
       },
       false, "owned by user 65534, not by user 0"},
      {"state directory a link of another user's",
       [](StateEnv& env) {
         return AsOtherUser([&] {
           fs::create_directory(env.elsewhere());
           fs::create_directory_symlink(env.elsewhere(), env.state());
           return Plant(env.elsewhere());
         })
                    ? env.elsewhere()
                    : "";
       },
       false, "it is a symbolic link"},
      {"links inside our state directory to another user's directories",
       [](StateEnv& env) {
         if (!AsOtherUser(
                 [&] { return fs::create_directory(env.elsewhere()) && Plant(env.elsewhere()); })) {
           return std::string();
         }
         fs::create_directory(env.state());
         fs::permissions(env.state(), fs::perms(0700));
         for (const char* sub : kSubdirectories) {
           fs::create_directory_symlink(env.elsewhere() + "/" + sub, env.state() + "/" + sub);
         }
         return env.elsewhere();
       },
       true, "it is a symbolic link"},
  };
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make the files of a second user";
  for (const Layout& layout : layouts) ExpectEveryUseRefused(layout);
}

TEST(DirectoryTrustTest, DirectoriesOthersMayWriteAreRefused) {
  ExpectEveryUseRefused({"state directory writable by all",
                         [](StateEnv& env) {
                           Plant(env.state());
                           fs::permissions(env.state(), fs::perms(0777));
                           return env.state();
                         },
                         false, "writable by group or others (mode 0777)"});
  ExpectEveryUseRefused({"state directory writable by its group",
                         [](StateEnv& env) {
                           Plant(env.state());
                           fs::permissions(env.state(), fs::perms(0770));
                           return env.state();
                         },
                         false, "writable by group or others (mode 0770)"});
}

}  // namespace
