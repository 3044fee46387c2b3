// The mail outbox against a real SMTP server on the loopback: messages kept
// while the server is away or answers 4xx, sent once by a flush, given up
// after a 5xx or the give-up time, and flushers that race or are killed.
#include "tarnalert/delivery/MailOutbox.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <random>

#include "delivery/outbox/OutboxQueue.h"
#include "delivery/testing/MailTestServer.h"
#include "platform/testing/TestEnv.h"
#include "platform/testing/TestUtil.h"
#include "tarnalert/platform/message/Messages.h"
#include "tarnalert/platform/text/FXString.h"

namespace tarnalert {
namespace {

using test::ListDirectory;
using test::MailServerOptions;
using test::MailTestServer;
using test::ReadWhole;
using test::TestEnv;

std::string Request(const std::string& subject, const std::string& to = "ops@example.com") {
  App::EmailInfo info;
  App::Email from;
  from.set(App::Email::address, "alerts@tarnhold.example");
  info.setChild(App::EmailInfo::from, from);
  info.set(App::EmailInfo::subject, subject);
  info.set(App::EmailInfo::body, "Failover on node 7.");
  App::Email email;
  email.set(App::Email::address, to);
  info.list(App::EmailInfo::toList).push_back(email);
  std::string text;
  info.serialize(text, false);
  return text;
}

class MailOutboxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.SetSetting("CLIENT_NAME", "client-7.example");
    env_.SetSetting("MAIL_TLS", "none");
    // A port bound but never listening: a server that is down.
    closed_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(closed_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::getsockname(closed_, reinterpret_cast<sockaddr*>(&address), &length), 0);
    env_.SetSetting("MAIL_URL", "smtp://127.0.0.1:" + std::to_string(ntohs(address.sin_port)));
  }
  void TearDown() override { ::close(closed_); }

  void StartServer(const MailServerOptions& options = {}) {
    server_.Stop();
    const std::string directory =
        env_.scratch_directory() + "/received-" + std::to_string(++servers_);
    ::mkdir(directory.c_str(), 0700);
    std::string error;
    ASSERT_TRUE(server_.Start(TARNALERT_SOURCE_DIR, directory, options, {}, &error)) << error;
    env_.SetSetting("MAIL_URL", "smtp://127.0.0.1:" + std::to_string(server_.port()));
  }

  // Delivers with the server away; the message must be deferred.
  void Defer(const std::string& subject) {
    const DeliveryResult result = env_.DeliverEmail(Request(subject), 2);
    EXPECT_EQ(result.code, 3) << subject;
    EXPECT_NE(FXString::ToString(result.text).find("deferred for a retry"), std::string::npos)
        << FXString::ToString(result.text);
  }

  // How often each subject reached the server.
  std::map<std::string, int> ReceivedSubjects() {
    std::map<std::string, int> subjects;
    for (const test::ReceivedMail& mail : server_.Received()) {
      const std::string text = ReadWhole(mail.file);
      const size_t at = text.find("\nSubject: ");
      if (at == std::string::npos) continue;
      ++subjects[text.substr(at + 10, text.find('\r', at + 10) - at - 10)];
    }
    return subjects;
  }

  OutboxFlushReport Flush(bool all) {
    OutboxFlushReport report;
    EXPECT_YQ_OK(FlushOutbox(all, &report));
    return report;
  }

  std::vector<OutboxEntry> Entries() {
    std::vector<OutboxEntry> entries;
    EXPECT_YQ_OK(ListOutbox(&entries));
    return entries;
  }

  TestEnv env_;
  ScopedEnv scoped_{&env_};
  MailTestServer server_;
  int closed_ = -1;
  int servers_ = 0;
};

TEST_F(MailOutboxTest, AMessageDeferredWhileTheServerIsDownIsDeliveredOnceWhenItIsDue) {
  env_.PinTime(1800000000ull * 1000000);
  Defer("server down");
  std::vector<OutboxEntry> entries = Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].recipients, std::vector<std::string>{"ops@example.com"});
  EXPECT_EQ(entries[0].subject, "server down");
  EXPECT_EQ(entries[0].attempts, 1);
  EXPECT_EQ(entries[0].nextTry, 1800000060);
  EXPECT_NE(entries[0].lastError.find("cannot connect"), std::string::npos);

  StartServer();
  EXPECT_EQ(Flush(false).notDue, 1) << "not due before its minute is up";
  env_.PinTime(1800000061ull * 1000000);
  EXPECT_EQ(Flush(false).delivered, 1);
  EXPECT_EQ(Flush(true).delivered, 0) << "the outbox is empty now";
  EXPECT_EQ(ReceivedSubjects(), (std::map<std::string, int>{{"server down", 1}}));
  EXPECT_TRUE(Entries().empty());
}

TEST_F(MailOutboxTest, A4xxReplyDefersWithBackOffUntilTheServerAccepts) {
  MailServerOptions busy;
  busy.refusals = {{"ops@example.com", "451 4.3.0 try again later"}};
  StartServer(busy);
  env_.PinTime(1800000000ull * 1000000);
  const DeliveryResult result = env_.DeliverEmail(Request("busy"), 2);
  EXPECT_EQ(result.code, 451);
  EXPECT_EQ(Flush(true).deferred, 1);
  std::vector<OutboxEntry> entries = Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].attempts, 2);
  EXPECT_EQ(entries[0].nextTry, 1800000000 + 120) << "the second wait doubles";
  EXPECT_EQ(entries[0].lastCode, 451);

  StartServer();
  EXPECT_EQ(Flush(true).delivered, 1);
  EXPECT_EQ(ReceivedSubjects(), (std::map<std::string, int>{{"busy", 1}}));
}

TEST_F(MailOutboxTest, A5xxOnRetryMovesTheMessageToFailedWithItsError) {
  Defer("refused later");
  MailServerOptions refusing;
  refusing.refusals = {{"ops@example.com", "550 5.1.1 user unknown"}};
  StartServer(refusing);
  EXPECT_EQ(Flush(true).failed, 1);
  const std::string failed = env_.scratch_directory() + "/state/outbox/failed";
  const std::vector<std::string> names = ListDirectory(failed);
  ASSERT_EQ(names.size(), 2u) << "the message and its error";
  EXPECT_NE(ReadWhole(failed + "/" + names[1]).find("550 5.1.1 user unknown"), std::string::npos);
  std::vector<OutboxEntry> entries = Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_TRUE(entries[0].failed);
  EXPECT_EQ(Flush(true).delivered + Flush(true).failed, 0) << "failed messages are not retried";
}

TEST_F(MailOutboxTest, AMessageOlderThanTheGiveUpTimeFailsWithoutAnotherAttempt) {
  env_.PinTime(1800000000ull * 1000000);
  Defer("too old");
  StartServer();
  env_.PinTime((1800000000ull + 24 * 3600) * 1000000);
  const OutboxFlushReport report = Flush(true);
  EXPECT_EQ(report.failed, 1);
  ASSERT_EQ(report.lines.size(), 1u);
  EXPECT_NE(report.lines[0].find("given up after 1 attempt(s)"), std::string::npos)
      << report.lines[0];
  EXPECT_TRUE(ReceivedSubjects().empty());

  env_.SetSetting("MAIL_GIVE_UP", "tomorrow");
  OutboxFlushReport ignored;
  CYqError error = FlushOutbox(true, &ignored);
  EXPECT_NE(error.LastMessage().find("TARNALERT_MAIL_GIVE_UP is \"tomorrow\""), std::string::npos)
      << error.ToString();
}

// Runs a flush in a child process; its pid.
pid_t FlushInChild() {
  const pid_t pid = ::fork();
  if (pid == 0) {
    OutboxFlushReport report;
    ::_exit(FlushOutbox(true, &report).IsError() ? 1 : 0);
  }
  return pid;
}

TEST_F(MailOutboxTest, TwoFlushersAtOnceDeliverEachMessageOnce) {
  for (int n = 0; n < 20; ++n) Defer("race " + std::to_string(n));
  StartServer();
  const pid_t first = FlushInChild();
  const pid_t second = FlushInChild();
  int status = 0;
  ASSERT_EQ(::waitpid(first, &status, 0), first);
  EXPECT_EQ(status, 0);
  ASSERT_EQ(::waitpid(second, &status, 0), second);
  EXPECT_EQ(status, 0);
  const std::map<std::string, int> subjects = ReceivedSubjects();
  EXPECT_EQ(subjects.size(), 20u);
  for (const auto& subject : subjects) EXPECT_EQ(subject.second, 1) << subject.first;
}

TEST_F(MailOutboxTest, AFlusherKilledAtAnyMomentLosesNothingAndLeavesNoHalfFile) {
  for (int n = 0; n < 30; ++n) Defer("killed " + std::to_string(n));
  StartServer();
  std::mt19937 random(12);
  const std::string deferred = env_.scratch_directory() + "/state/outbox/deferred";
  for (int round = 0; round < 40 && !Entries().empty(); ++round) {
    const pid_t child = FlushInChild();
    ::usleep(std::uniform_int_distribution<int>(0, 20000)(random));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    for (const std::string& name : ListDirectory(deferred)) {
      if (name[0] == '.') continue;  // a temporary file, never read
      detail::QueuedMail mail;
      EXPECT_TRUE(detail::DecodeQueuedMail(ReadWhole(deferred + "/" + name), &mail))
          << name << " after round " << round;
    }
  }
  Flush(true);
  EXPECT_TRUE(Entries().empty());
  const std::map<std::string, int> subjects = ReceivedSubjects();
  EXPECT_EQ(subjects.size(), 30u) << "every message arrived";
}

}  // namespace
}  // namespace tarnalert
