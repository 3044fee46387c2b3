// The status of delivery: what waits in the spool and the outbox and since
// when, what needs a person, settings that are wrong, and the times of the
// last delivery that the delivery paths record.
#include "tarnalert/delivery/DeliveryStatus.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "delivery/outbox/OutboxQueue.h"
#include "platform/env/Settings.h"
#include "platform/files/TimeRecord.h"
#include "platform/testing/TestEnv.h"
#include "platform/testing/TestUtil.h"
#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/delivery/MailOutbox.h"
#include "tarnalert/platform/message/Messages.h"

namespace tarnalert {
namespace {

using test::ListDirectory;

constexpr time_t kNow = 1796551200;  // 2026-12-06T10:00:00Z

class DeliveryStatusTest : public ::testing::Test {
 protected:
  void SpoolAt(time_t when) {
    env_.PinTime(static_cast<uint64_t>(when) * 1000000);
    EvAlertEx alert;
    EXPECT_EQ(alert.sendAlert(5, 2, 0), 1);
  }

  // A message waiting since `created`; its name.
  std::string DeferAt(time_t created) {
    detail::QueuedMail mail;
    mail.envelope = {"tarnalert@client.example", {"ops@example.com"}};
    mail.subject = "Failover";
    mail.created = mail.nextTry = created;
    mail.attempts = 1;
    mail.message = "Subject: Failover\r\n\r\nbody\r\n";
    std::string name;
    EXPECT_YQ_OK(detail::DeferMail(&env_, mail, &name));
    mail_ = mail;
    return name;
  }

  DeliveryStatus Read(time_t now) {
    env_.PinTime(static_cast<uint64_t>(now) * 1000000);
    DeliveryStatus status;
    ReadDeliveryStatus(&status);
    return status;
  }

  static std::string Attention(const DeliveryStatus& status) {
    std::string text;
    for (const std::string& reason : status.attention) text += reason + "\n";
    return text;
  }

  test::TestEnv env_;
  ScopedEnv scoped_{&env_};
  detail::QueuedMail mail_;
};

TEST_F(DeliveryStatusTest, CountsWhatWaitsSinceWhenAndSaysWhatNeedsAPerson) {
  // Before anything was spooled or kept, none of their directories exist.
  DeliveryStatus status = Read(kNow);
  EXPECT_TRUE(status.attention.empty()) << Attention(status);
  for (const WaitingItems* items : {&status.spoolPending, &status.spoolRejected,
                                    &status.outboxDeferred, &status.outboxFailed}) {
    EXPECT_EQ(items->count, 0);
    EXPECT_EQ(items->oldest, 0);
  }
  EXPECT_FALSE(status.configInstalled);
  EXPECT_EQ(status.lastDelivery, 0);
  EXPECT_EQ(status.lastForward, 0);

  SpoolAt(kNow - 7200);
  SpoolAt(kNow - 60);
  SpoolAt(kNow - 300);
  const std::string spool = detail::SpoolDirectory();
  const std::string rejected = ListDirectory(spool).back();  // the one of kNow - 60
  ::mkdir((spool + "/rejected").c_str(), 0700);
  ::rename((spool + "/" + rejected).c_str(), (spool + "/rejected/" + rejected).c_str());
  std::ofstream(spool + "/rejected/" + rejected + ".reply") << "HTTP 400\n";
  DeferAt(kNow - 100);
  DeferAt(kNow - 200);
  const std::string given = DeferAt(kNow - 90000);
  detail::Outbox outbox;
  ASSERT_YQ_OK(detail::OpenOutbox(&env_, true, &outbox));
  ASSERT_YQ_OK(detail::MoveMailToFailed(outbox, given, mail_));

  status = Read(kNow);
  EXPECT_EQ(status.spoolPending.count, 2);
  EXPECT_EQ(status.spoolPending.oldest, kNow - 7200);
  EXPECT_EQ(status.spoolRejected.count, 1);
  EXPECT_EQ(status.spoolRejected.oldest, kNow - 60);
  EXPECT_EQ(status.outboxDeferred.count, 2);
  EXPECT_EQ(status.outboxDeferred.oldest, kNow - 200);
  EXPECT_EQ(status.outboxFailed.count, 1);
  EXPECT_EQ(status.outboxFailed.oldest, kNow - 90000);
  ASSERT_EQ(status.attention.size(), 3u) << Attention(status);
  EXPECT_NE(status.attention[0].find("1 mail message given up"), std::string::npos);
  EXPECT_NE(status.attention[1].find("1 alert refused by a target"), std::string::npos);
  EXPECT_NE(status.attention[2].find("the oldest spooled alert has waited 7200 s"),
            std::string::npos);

  // A longer allowance leaves only what a person must do something about.
  env_.SetSetting("STATUS_MAX_WAIT", "86400");
  status = Read(kNow);
  EXPECT_EQ(status.maxWait, 86400);
  EXPECT_EQ(status.attention.size(), 2u) << Attention(status);
  // A deferred message waiting too long is named too.
  env_.SetSetting("STATUS_MAX_WAIT", "150");
  status = Read(kNow);
  EXPECT_NE(Attention(status).find("the oldest deferred mail message has waited 200 s"),
            std::string::npos)
      << Attention(status);
}

TEST_F(DeliveryStatusTest, AWrongSettingIsNamedAndTheRestIsStillRead) {
  SpoolAt(kNow);
  env_.SetSetting("MAIL_URL", "gopher://mail.example");
  env_.SetSetting("ALERTMANAGER_URLS", "ftp://alertmanager.example");
  env_.SetSetting("STATUS_MAX_WAIT", "soon");
  const DeliveryStatus status = Read(kNow);
  const std::string attention = Attention(status);
  for (const char* named : {"TARNALERT_STATUS_MAX_WAIT", "mail settings:", "ftp://alertmanager"}) {
    EXPECT_NE(attention.find(named), std::string::npos) << named << " in\n" << attention;
  }
  EXPECT_EQ(status.spoolPending.count, 1);
}

TEST_F(DeliveryStatusTest, MailDeliveredDirectlyOrByAFlushIsRecorded) {
  env_.SetSetting("MAIL_URL", "file://" + env_.scratch_directory() + "/maildir");
  App::EmailInfo request;
  App::Email to;
  to.set(App::Email::address, "ops@example.com");
  request.set(App::EmailInfo::subject, "Failover");
  request.set(App::EmailInfo::body, "body");
  request.list(App::EmailInfo::toList).push_back(to);
  std::string text;
  request.serialize(text, false);
  env_.PinTime(static_cast<uint64_t>(kNow - 500) * 1000000);
  ASSERT_EQ(env_.DeliverEmail(text, 0).code, 0);
  EXPECT_EQ(Read(kNow).lastDelivery, kNow - 500);

  DeferAt(kNow - 100);
  OutboxFlushReport report;
  EXPECT_YQ_OK(FlushOutbox(true, &report));
  EXPECT_EQ(report.delivered, 1);
  const DeliveryStatus status = Read(kNow);
  EXPECT_EQ(status.lastDelivery, kNow);
  EXPECT_EQ(status.mailTransport, "file://" + env_.scratch_directory() + "/maildir");
  EXPECT_EQ(status.outboxDeferred.count, 0);
}

}  // namespace
}  // namespace tarnalert
