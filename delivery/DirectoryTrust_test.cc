// Every directory the library writes into or reads trust from refuses to be
// used when another user could have put it there or can change it: the
// spool (writing, listing, forwarding), the configuration cache (install and
// read), the catalogue, the debug log and the mail outbox (listing and
// flushing), each against state directories laid out by a hostile user;
// while links the user made to private directories of theirs are followed.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
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
#include "tarnalert/alertclient/InstalledConfig.h"
#include "tarnalert/delivery/MailOutbox.h"
#include "tarnalert/delivery/SpoolForwarder.h"
#include "tarnalert/platform/event/EvEvent.h"

namespace {

namespace fs = std::filesystem;
using tarnalert::test::AsOtherUser;
using tarnalert::test::kOtherUser;
using tarnalert::test::ListDirectory;
using tarnalert::test::ReadWhole;

const char* const kSubdirectories[] = {"spool", "jobresults", "log", "catalog", "outbox"};
constexpr unsigned long kPlantedId = 0x7fff0001;
const std::string kPlantedConfig =
    "<GetAlertDetailForClientResp><tarnholdName>planted</tarnholdName>"
    "</GetAlertDetailForClientResp>";
const std::string kOurConfig =
    "<GetAlertDetailForClientResp><tarnholdName>ours</tarnholdName>"
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
    SetSetting("MAIL_URL", "smtp://127.0.0.1:1");
    SetSetting("MAIL_TLS", "none");
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

struct Layout {
  const char* name;
  // Lays out the state directory; returns where the library's directories
  // really are.
  std::function<std::string(StateEnv&)> make;
  // Why each directory of the state directory is refused.
  std::function<std::string(StateEnv&)> why;
};

// Each use of a directory is refused with a message naming it and the place
// at fault, and nothing is read from or written into the hostile
// directories.
void ExpectEveryUseRefused(const Layout& layout) {
  SCOPED_TRACE(layout.name);
  StateEnv env;
  tarnalert::ScopedEnv scoped(&env);
  const std::string where = layout.make(env);
  if (::testing::Test::HasFailure() || where.empty()) return;
  const std::string why = layout.why(env);
  auto refusal = [&](const std::string& sub) {
    return "Refusing directory " + env.state() + "/" + sub + ": " + why;
  };

  EvAlertEx alert;
  alert.alertType = 5;
  KTAlert adapter;
  EXPECT_NE(adapter.SendAlert(alert), 0) << "spool";
  EXPECT_NE(adapter.getErrorString().find(refusal("spool")), std::string::npos)
      << adapter.getErrorString();
  EXPECT_EQ(ListDirectory(where + "/spool"), std::vector<std::string>{}) << "spool";
  std::vector<std::string> spooled;
  EXPECT_EQ(tarnalert::ListSpool(&spooled).LastMessage(), refusal("spool")) << "spool list";
  tarnalert::ForwarderSettings settings;
  settings.url = "https://127.0.0.1:1/alerts";
  tarnalert::ForwardReport forwarded;
  EXPECT_EQ(tarnalert::ForwardSpool(settings, nullptr, &forwarded).LastMessage(), refusal("spool"))
      << "spool forward";

  const std::string chain = NTAlertProcessClient::UpdateAlertConfig(kOurConfig).ToString();
  EXPECT_NE(chain.find(refusal("jobresults")), std::string::npos) << chain;
  EXPECT_EQ(ReadWhole(where + "/jobresults/alert_config.xml"), kPlantedConfig) << "install";

  env.ClearLog();
  std::string read;
  EXPECT_EQ(NTAlertProcessClient::RetrieveDetailsFromXML(read), 1) << "read";
  EXPECT_EQ(read, "") << "read";
  EXPECT_EQ(env.CountLogLines(refusal("jobresults")), 1u) << "read";
  std::string path;
  EXPECT_EQ(tarnalert::ReadInstalledConfig(&path, &read).LastMessage(), refusal("jobresults"))
      << "read for the tool";
  EXPECT_EQ(read, "") << "read for the tool";

  env.ClearLog();
  std::string text;
  EXPECT_FALSE(tarnalert::Env::Current()->CatalogText(kPlantedId, 1033, &text)) << text;
  EXPECT_EQ(env.CountLogLines("Ignoring catalogue directory: " + refusal("catalog")), 1u);

  std::vector<tarnalert::OutboxEntry> entries;
  EXPECT_EQ(tarnalert::ListOutbox(&entries).LastMessage(), refusal("outbox")) << "outbox list";
  tarnalert::OutboxFlushReport flushed;
  EXPECT_EQ(tarnalert::FlushOutbox(true, &flushed).LastMessage(), refusal("outbox"))
      << "outbox flush";
  EXPECT_EQ(ListDirectory(where + "/outbox"), std::vector<std::string>{}) << "outbox";

  env.to_file = true;
  EvEvent().Error("trust", "a line of ours");
  EXPECT_EQ(ListDirectory(where + "/log"), std::vector<std::string>{}) << "log";
}

std::string OtherUser() {
  return "owned by user " + std::to_string(kOtherUser) + ", not by user 0 or root";
}

TEST(DirectoryTrustTest, DirectoriesOfAnotherUserAreRefused) {
  const Layout layouts[] = {
      {"state directory made by another user",
       [](StateEnv& env) {
         return AsOtherUser([&] { return fs::create_directory(env.state()) && Plant(env.state()); })
                    ? env.state()
                    : "";
       },
       [](StateEnv& env) { return env.state() + " is " + OtherUser(); }},
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
       [](StateEnv& env) { return "the symbolic link " + env.state() + " is " + OtherUser(); }},
      {"links of ours inside our state directory to another user's directories",
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
       [](StateEnv& env) { return env.elsewhere() + " is " + OtherUser(); }},
  };
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make the files of a second user";
  for (const Layout& layout : layouts) ExpectEveryUseRefused(layout);
}

TEST(DirectoryTrustTest, DirectoriesOthersMayWriteAreRefused) {
  for (const char* mode : {"0777", "0770"}) {
    ExpectEveryUseRefused({mode,
                           [&](StateEnv& env) {
                             Plant(env.state());
                             fs::permissions(env.state(), fs::perms(std::stoi(mode, nullptr, 8)));
                             return env.state();
                           },
                           [&](StateEnv& env) {
                             return env.state() + " is writable by group or others (mode " + mode +
                                    ")";
                           }});
  }
}

// Directories linked elsewhere, a common layout (a volume of their own), are
// used when the links and the directories they lead to are the user's.
TEST(DirectoryTrustTest, LinksOfTheUserToPrivateDirectoriesOfTheirsAreFollowed) {
  StateEnv env;
  tarnalert::ScopedEnv scoped(&env);
  const std::string volume = env.scratch_directory() + "/volume";
  fs::create_directories(env.state());
  fs::permissions(env.state(), fs::perms(0700));
  for (const char* sub : {"spool", "jobresults", "outbox"}) {
    fs::create_directories(volume + "/" + sub);
    fs::create_directory_symlink(volume + "/" + sub, env.state() + "/" + sub);
  }
  EvAlertEx alert;
  alert.alertType = 5;
  KTAlert adapter;
  EXPECT_EQ(adapter.SendAlert(alert), 0) << adapter.getErrorString();
  std::vector<std::string> spooled;
  EXPECT_YQ_OK(tarnalert::ListSpool(&spooled));
  EXPECT_EQ(spooled, ListDirectory(volume + "/spool"));
  EXPECT_EQ(spooled.size(), 1u);

  EXPECT_YQ_OK(NTAlertProcessClient::UpdateAlertConfig(kOurConfig));
  std::string read;
  EXPECT_EQ(NTAlertProcessClient::RetrieveDetailsFromXML(read), 0);
  EXPECT_EQ(read, kOurConfig);
  EXPECT_EQ(ReadWhole(volume + "/jobresults/alert_config.xml"), kOurConfig);

  tarnalert::OutboxFlushReport flushed;
  EXPECT_YQ_OK(tarnalert::FlushOutbox(true, &flushed));
  EXPECT_EQ(ListDirectory(volume + "/outbox"),
            (std::vector<std::string>{"deferred", "failed", "flush.lock"}));
}

// A process of another user that made our would-be outbox and holds its
// lock cannot make a flush wait: the directory is refused before the lock
// is looked at.
TEST(DirectoryTrustTest, AnotherUsersFlushLockCannotHoldAFlush) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run a process of a second user";
  StateEnv env;
  tarnalert::ScopedEnv scoped(&env);
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t holder = ::fork();
  if (holder == 0) {
    const std::string outbox = env.state() + "/outbox";
    int fd = -1;
    if (::setgroups(0, nullptr) == 0 && ::setgid(kOtherUser) == 0 && ::setuid(kOtherUser) == 0 &&
        ::mkdir(env.state().c_str(), 0755) == 0 && ::mkdir(outbox.c_str(), 0777) == 0 &&
        (fd = ::open((outbox + "/flush.lock").c_str(), O_RDWR | O_CREAT, 0666)) >= 0 &&
        ::flock(fd, LOCK_EX) == 0 && ::write(ready[1], "x", 1) == 1) {
      ::pause();
    }
    ::_exit(1);
  }
  char byte = 0;
  ::close(ready[1]);
  const bool holding = ::read(ready[0], &byte, 1) == 1;
  ::close(ready[0]);
  int outcome = -1;
  if (holding) {
    EXPECT_TRUE(tarnalert::test::EndsInChild(
        [&] {
          tarnalert::OutboxFlushReport report;
          const CYqError error = tarnalert::FlushOutbox(true, &report);
          return error.LastMessage() == "Refusing directory " + env.state() +
                                            "/outbox: " + env.state() + " is " + OtherUser()
                     ? 0
                     : 1;
        },
        30, &outcome))
        << "the flush waited for another user's lock";
  }
  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  ASSERT_TRUE(holding) << "the other user's lock could not be taken";
  EXPECT_EQ(outcome, 0);
  EXPECT_EQ(ListDirectory(env.state() + "/outbox"), std::vector<std::string>{"flush.lock"});
}

}  // namespace
