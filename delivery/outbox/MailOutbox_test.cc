// The mail outbox against a real SMTP server on the loopback: messages kept
// while the server is away or answers 4xx, sent once by a flush, given up
// after a 5xx or the give-up time, and flushers that race or are killed.
#include "tarnalert/delivery/MailOutbox.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <fstream>
#include <map>
#include <random>
#include <set>

#include "delivery/outbox/OutboxQueue.h"
#include "delivery/testing/MailTestServer.h"
#include "platform/testing/SwappingEnv.h"
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

std::string Request(const std::string& subject, const std::string& to = "ops@example.com",
                    const std::string& sender = "alerts@tarnhold.example") {
  App::EmailInfo info;
  App::Email from;
  from.set(App::Email::address, sender);
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

// A notification stopped by a mistake on this client waits, with its reason,
// until a flush after the mistake is mended (a mistyped TARNALERT_MAIL_TLS
// in the send transcript).
TEST_F(MailOutboxTest, ANotificationStoppedByASettingWaitsUntilTheSettingIsMended) {
  StartServer();
  const std::string url = env_.GetSetting("MAIL_URL");
  const struct {
    const char* label;
    const char* setting;
    const char* wrong;
    const char* reason;
    bool flushRefused;  // the flush itself cannot run until it is mended
  } cases[] = {
      {"timeout with a unit", "MAIL_TIMEOUT", "60s", "TARNALERT_MAIL_TIMEOUT is \"60s\"", true},
      {"mistyped URL", "MAIL_URL", "smtq://127.0.0.1", "TARNALERT_MAIL_URL \"smtq://", true},
      {"no valid sender", "MAIL_FROM", "alerts at example", "no valid sender", false},
      {"CA file missing", "MAIL_CA_FILE", "/nonexistent/ca.pem", "TARNALERT_MAIL_CA_FILE", false},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.label);
    const std::string subject = std::string("stopped by ") + row.label;
    const std::string good = env_.GetSetting(row.setting);
    env_.SetSetting(row.setting, row.wrong);
    const DeliveryResult result =
        env_.DeliverEmail(Request(subject, "Oncall <oncall@example.com>", ""), 2);
    const std::string text = FXString::ToString(result.text);
    EXPECT_EQ(result.code, 2) << text;
    EXPECT_FALSE(result.keptAs.empty()) << text;
    EXPECT_NE(text.find(row.reason), std::string::npos) << text;
    std::vector<OutboxEntry> entries = Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].recipients, std::vector<std::string>{"oncall@example.com"});
    EXPECT_EQ(entries[0].subject, subject);
    EXPECT_NE(entries[0].lastError.find(row.reason), std::string::npos) << entries[0].lastError;

    OutboxFlushReport report;
    const CYqError refused = FlushOutbox(true, &report);
    EXPECT_EQ(refused.IsError(), row.flushRefused) << refused.ToString();
    if (!row.flushRefused) {
      EXPECT_EQ(report.deferred, 1) << "still stopped, tried again later";
    }
    EXPECT_EQ(ReceivedSubjects().count(subject), 0u);

    env_.SetSetting(row.setting, good);
    EXPECT_EQ(Flush(true).delivered, 1);
    EXPECT_EQ(ReceivedSubjects()[subject], 1);
    EXPECT_TRUE(Entries().empty());
  }
  // The rebuilt message is what the first attempt would have sent.
  const std::vector<test::ReceivedMail> received = server_.Received();
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received.back().recipients, std::vector<std::string>{"oncall@example.com"});
  EXPECT_NE(ReadWhole(received.back().file).find("To: Oncall <oncall@example.com>"),
            std::string::npos);
}

TEST_F(MailOutboxTest, ARetryDeliversToWhomItCanAndKeepsTheRestApart) {
  Defer("three recipients");
  std::vector<OutboxEntry> entries = Entries();
  ASSERT_EQ(entries.size(), 1u);
  // The request had one; give the stored message three, as a first attempt
  // to several recipients refused for now would.
  const std::string deferred = env_.scratch_directory() + "/state/outbox/deferred";
  detail::QueuedMail mail;
  ASSERT_TRUE(detail::DecodeQueuedMail(ReadWhole(deferred + "/" + entries[0].name), &mail));
  mail.envelope.recipients = {"ops@example.com", "busy@example.com", "gone@example.com"};
  detail::Outbox outbox;
  ASSERT_YQ_OK(detail::OpenOutbox(&env_, false, &outbox));
  ASSERT_YQ_OK(detail::RewriteDeferredMail(outbox, entries[0].name, mail));

  MailServerOptions refusing;
  refusing.refusals = {{"busy@example.com", "451 4.3.0 try again later"},
                       {"gone@example.com", "550 5.1.1 user unknown"}};
  StartServer(refusing);
  const OutboxFlushReport report = Flush(true);
  EXPECT_EQ(report.delivered, 1);
  EXPECT_EQ(report.deferred, 1);
  EXPECT_EQ(report.failed, 1);
  EXPECT_EQ(server_.Received().at(0).recipients, std::vector<std::string>{"ops@example.com"});
  entries = Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_FALSE(entries[0].failed);
  EXPECT_EQ(entries[0].recipients, std::vector<std::string>{"busy@example.com"});
  EXPECT_EQ(entries[0].attempts, 2);
  EXPECT_TRUE(entries[1].failed);
  EXPECT_EQ(entries[1].recipients, std::vector<std::string>{"gone@example.com"});
  EXPECT_NE(entries[1].lastError.find("550 5.1.1 user unknown"), std::string::npos);

  // Refused for good now, the remainder moves to failed/ whole, beside its
  // error; failed messages are not tried again.
  refusing.refusals = {{"busy@example.com", "550 5.1.2 mailbox gone"}};
  StartServer(refusing);
  EXPECT_EQ(Flush(true).failed, 1);
  const std::string failed = env_.scratch_directory() + "/state/outbox/failed/";
  const std::vector<std::string> names = ListDirectory(failed);
  ASSERT_EQ(names.size(), 4u) << "two messages and their errors";
  EXPECT_NE(ReadWhole(failed + entries[0].name + ".error").find("550 5.1.2 mailbox gone"),
            std::string::npos);
  entries = Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_TRUE(entries[0].failed && entries[1].failed);
  EXPECT_EQ(Flush(true).delivered + Flush(true).failed, 0) << "failed messages are not retried";
}

TEST_F(MailOutboxTest, StoredFilesOfEitherFormatReadBack) {
  detail::QueuedMail request;
  request.envelope = {"", {"ops@example.com"}};
  request.subject = "kept as a request";
  request.created = 1800000000;
  request.attempts = 1;
  request.lastCode = 2;
  request.lastError = "TARNALERT_MAIL_TLS is \"requried\"";
  request.isRequest = true;
  request.deliveryOptions = 0x32;
  request.message = "<EmailInfo>\n</EmailInfo>";
  detail::QueuedMail read;
  ASSERT_TRUE(detail::DecodeQueuedMail(detail::EncodeQueuedMail(request), &read));
  EXPECT_TRUE(read.isRequest);
  EXPECT_EQ(read.deliveryOptions, 0x32);
  EXPECT_EQ(read.message, request.message);
  EXPECT_EQ(read.lastError, request.lastError);

  // What the first version wrote.
  const std::string first =
      "tarnalert-outbox 1\ncreated 1800000000\nattempts 2\nnext-try 1800000120\n"
      "sender alerts@tarnhold.example\nrecipient ops@example.com\nsubject old\n"
      "last-code 451\nlast-error 451 busy\n\nFrom: a\r\n\r\nbody\r\n";
  ASSERT_TRUE(detail::DecodeQueuedMail(first, &read));
  EXPECT_FALSE(read.isRequest);
  EXPECT_EQ(read.attempts, 2);
  EXPECT_EQ(read.message, "From: a\r\n\r\nbody\r\n");
  // A key the first version never wrote is refused in its files.
  EXPECT_FALSE(detail::DecodeQueuedMail(
      "tarnalert-outbox 1\ncreated 1\nrecipient a@b.c\nform request\n\n<EmailInfo/>", &read));
  EXPECT_FALSE(detail::DecodeQueuedMail("tarnalert-outbox 3\ncreated 1\n\nx", &read));
}

// A message given up a day after its first failure, put back by a person,
// starts afresh: the next flush sends it instead of giving it up again.
TEST_F(MailOutboxTest, AMessageOlderThanTheGiveUpTimeFailsAndARetryStartsItAfresh) {
  env_.PinTime(1800000000ull * 1000000);
  Defer("given up");
  StartServer();
  env_.PinTime((1800000000ull + 24 * 3600) * 1000000);
  const OutboxFlushReport report = Flush(true);
  EXPECT_EQ(report.failed, 1);
  ASSERT_EQ(report.lines.size(), 1u);
  EXPECT_NE(report.lines[0].find("given up after 1 attempt(s)"), std::string::npos)
      << report.lines[0];
  EXPECT_TRUE(ReceivedSubjects().empty()) << "given up without another attempt";

  const std::vector<OutboxEntry> failed = Entries();
  ASSERT_EQ(failed.size(), 1u);
  ASSERT_TRUE(failed[0].failed);
  const std::string name = failed[0].name;
  EXPECT_EQ(RetryOutboxMessage("../failed/" + name).Code(), -EINVAL);
  EXPECT_YQ_OK(RetryOutboxMessage(name));
  EXPECT_EQ(RetryOutboxMessage(name).Code(), -ENOENT) << "no longer a failed message";
  EXPECT_EQ(ListDirectory(env_.scratch_directory() + "/state/outbox/failed"),
            std::vector<std::string>{})
      << "its error went with it";
  EXPECT_EQ(Flush(false).delivered, 1);
  EXPECT_EQ(ReceivedSubjects(), (std::map<std::string, int>{{"given up", 1}}));

  env_.SetSetting("MAIL_GIVE_UP", "tomorrow");
  OutboxFlushReport ignored;
  CYqError error = FlushOutbox(true, &ignored);
  EXPECT_NE(error.LastMessage().find("TARNALERT_MAIL_GIVE_UP is \"tomorrow\""), std::string::npos)
      << error.ToString();
}

// Changes a person asks for wait for no flush and touch nothing while one runs.
TEST_F(MailOutboxTest, RemovingOrRetryingWhileAFlushHoldsTheLockDoesNothing) {
  Defer("held");
  const std::string name = Entries().at(0).name;
  const int held = ::open((env_.scratch_directory() + "/state/outbox/flush.lock").c_str(),
                          O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  bool busy = false;
  EXPECT_TRUE(RemoveOutboxMessage(name, &busy).IsError());
  EXPECT_TRUE(busy);
  ::close(held);
  EXPECT_EQ(Entries().size(), 1u);
  EXPECT_YQ_OK(RemoveOutboxMessage(name, &busy));
  EXPECT_FALSE(busy);
  EXPECT_TRUE(Entries().empty());
}

// A flush's outcome as an exit code: 0 done, 2 another flush was running,
// 1 any other failure.
constexpr int kFlushed = 0, kFailed = 1, kAnotherFlushRunning = 2;
int FlushOutcome() {
  OutboxFlushReport report;
  const CYqError error = FlushOutbox(true, &report);
  if (!error.IsError()) return kFlushed;
  const bool busy = report.anotherFlushRunning &&
                    error.LastMessage().find("another flush of ") != std::string::npos;
  return busy ? kAnotherFlushRunning : kFailed;
}

// Runs a flush in a child process; its pid.
pid_t FlushInChild() {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(FlushOutcome());
  return pid;
}

TEST_F(MailOutboxTest, TwoFlushersAtOnceDeliverEachMessageOnce) {
  for (int n = 0; n < 20; ++n) Defer("race " + std::to_string(n));
  StartServer();
  const pid_t first = FlushInChild();
  const pid_t second = FlushInChild();
  int outcomes[2] = {-1, -1};
  for (int n = 0; n < 2; ++n) {
    int status = 0;
    ASSERT_EQ(::waitpid(n == 0 ? first : second, &status, 0), n == 0 ? first : second);
    ASSERT_TRUE(WIFEXITED(status));
    outcomes[n] = WEXITSTATUS(status);
    EXPECT_TRUE(outcomes[n] == kFlushed || outcomes[n] == kAnotherFlushRunning) << outcomes[n];
  }
  EXPECT_TRUE(outcomes[0] == kFlushed || outcomes[1] == kFlushed);
  const std::map<std::string, int> subjects = ReceivedSubjects();
  EXPECT_EQ(subjects.size(), 20u);
  for (const auto& subject : subjects) EXPECT_EQ(subject.second, 1) << subject.first;
}

// The messages of a flush share one connection: one greeting, one TLS
// handshake and one login for them all. The connection's QUIT, at the end,
// waits no longer than the mail timeout, even for a server that never
// answers it.
TEST_F(MailOutboxTest, AFlushSendsItsMessagesOverOneConnection) {
  for (int n = 0; n < 20; ++n) Defer("shared " + std::to_string(n));
  MailServerOptions options;
  options.silentQuit = true;
  StartServer(options);
  env_.SetSetting("MAIL_TIMEOUT", "2");
  EXPECT_TRUE(test::EndsWithin(30, [this] { return Flush(true).delivered == 20; }));
  std::set<int> connections;
  for (const test::ReceivedMail& mail : server_.Received()) connections.insert(mail.connection);
  EXPECT_EQ(ReceivedSubjects().size(), 20u);
  EXPECT_LE(connections.size(), 2u);
  EXPECT_EQ(connections.count(0), 0u) << "the server numbers every connection";
}

// A directory swapped for a link while a message is on its way redirects
// neither the removal of a delivered message nor the move of a refused one:
// both go through the descriptors opened at the check.
TEST_F(MailOutboxTest, ADirectorySwappedDuringAFlushRedirectsNothing) {
  for (const bool refused : {false, true}) {
    SCOPED_TRACE(refused ? "refused" : "delivered");
    test::SwappingEnv env;
    ScopedEnv scoped(&env);
    env.SetSetting("MAIL_TLS", "none");
    env.SetSetting("MAIL_URL", "smtp://127.0.0.1:1");
    ASSERT_EQ(env.DeliverEmail(Request("swapped"), 2).code, 3);
    const std::string deferred = env.scratch_directory() + "/state/outbox/deferred";
    const std::vector<std::string> names = ListDirectory(deferred);
    ASSERT_EQ(names.size(), 1u);
    const std::string victim = env.scratch_directory() + "/victim";
    ::mkdir(victim.c_str(), 0700);
    std::ofstream(victim + "/" + names[0]) << "the victim's file";
    MailServerOptions options;
    if (refused) options.refusals = {{"ops@example.com", "550 5.1.1 user unknown"}};
    StartServer(options);
    env.SetSetting("MAIL_URL", "smtp://127.0.0.1:" + std::to_string(server_.port()));
    env.SwapWhenOpening(".mail", deferred, victim);

    OutboxFlushReport report;
    EXPECT_YQ_OK(FlushOutbox(true, &report));
    EXPECT_TRUE(env.swapped());
    EXPECT_EQ(report.delivered + report.failed, 1);
    EXPECT_EQ(ReadWhole(victim + "/" + names[0]), "the victim's file");
    EXPECT_EQ(ListDirectory(victim), std::vector<std::string>{names[0]});
    EXPECT_EQ(ListDirectory(deferred + ".moved"), std::vector<std::string>{});
    EXPECT_EQ(ListDirectory(env.scratch_directory() + "/state/outbox/failed").size(),
              refused ? 2u : 0u);
  }
}

// What writers killed mid-write left (a temporary file, an error whose
// message never moved beside it) goes once it is an hour old; what is
// younger, or whole, stays.
TEST_F(MailOutboxTest, AFlushRemovesStaleFilesOfKilledWriters) {
  const std::string outbox = env_.scratch_directory() + "/state/outbox";
  ::mkdir((env_.scratch_directory() + "/state").c_str(), 0700);
  ::mkdir(outbox.c_str(), 0700);
  ::mkdir((outbox + "/deferred").c_str(), 0700);
  ::mkdir((outbox + "/failed").c_str(), 0700);
  const struct {
    const char* file;
    bool old;
    bool stays;
  } files[] = {
      {"deferred/.1-1-0.mail.tmp", true, false},
      {"deferred/.1-1-1.mail.tmp", false, true},
      {"deferred/notes.txt", true, true},
      {"failed/1-1-2.mail.error", true, false},
      {"failed/.1-1-3.mail.error.tmp", true, false},
      {"failed/1-1-4.mail.error", false, true},
      {"failed/1-1-5.mail.error", true, true},
      {"failed/1-1-5.mail", true, true},
  };
  const time_t now = ::time(nullptr);
  for (const auto& f : files) {
    const std::string path = outbox + "/" + f.file;
    std::ofstream(path) << "x";
    const struct timespec times[2] = {{now, 0}, {f.old ? now - 3601 : now - 60, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  }
  StartServer();
  Flush(true);
  for (const auto& f : files) {
    EXPECT_EQ(::access((outbox + "/" + f.file).c_str(), F_OK) == 0, f.stays) << f.file;
  }
}

TEST_F(MailOutboxTest, AFlusherKilledAtAnyMomentLosesNothingAndLeavesNoHalfFile) {
  for (int n = 0; n < 30; ++n) Defer("killed " + std::to_string(n));
  StartServer();
  std::mt19937 random(12);
  const std::string deferred = env_.scratch_directory() + "/state/outbox/deferred";
  int kills = 0;
  constexpr int kLongestWindow = 2000000;
  int window = 20000;  // microseconds a flusher may run before its kill
  for (int round = 0; round < 40 && !Entries().empty(); ++round) {
    const pid_t child = FlushInChild();
    ::usleep(std::uniform_int_distribution<int>(0, window)(random));
    kills += ::kill(child, SIGKILL) == 0;
    ::waitpid(child, nullptr, 0);
    // A slow build may need longer before a flusher gets a message out.
    if (ReceivedSubjects().empty()) window = std::min(window * 2, kLongestWindow);
    for (const std::string& name : ListDirectory(deferred)) {
      if (name[0] == '.') continue;  // a temporary file, never read
      detail::QueuedMail mail;
      EXPECT_TRUE(detail::DecodeQueuedMail(ReadWhole(deferred + "/" + name), &mail))
          << name << " after round " << round;
    }
  }
  // The kills must have met flushers at work, or nothing was tested.
  EXPECT_GT(kills, 0);
  EXPECT_GT(ReceivedSubjects().size(), 0u) << "no flusher delivered anything before its kill";
  Flush(true);
  EXPECT_TRUE(Entries().empty());
  const std::map<std::string, int> subjects = ReceivedSubjects();
  EXPECT_EQ(subjects.size(), 30u) << "every message arrived";
}

}  // namespace
}  // namespace tarnalert
