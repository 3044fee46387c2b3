// Mail delivery against a real SMTP server on the loopback (aiosmtpd, with
// certificates made for the run), the received mail read back by Python's
// email package, and the file outbox.
#include "delivery/MailDelivery.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "delivery/mail/MailResult.h"
#include "delivery/outbox/OutboxQueue.h"
#include "delivery/testing/MailTestServer.h"
#include "platform/testing/FaultEnv.h"
#include "platform/testing/TestEnv.h"
#include "platform/testing/TestUtil.h"
#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"
#include "tarnalert/delivery/MailProbe.h"
#include "tarnalert/platform/message/Messages.h"
#include "tarnalert/platform/text/FXString.h"

namespace tarnalert {
namespace {

using test::CheckMail;
using test::ListDirectory;
using test::MailServerOptions;
using test::MailTestServer;
using test::ReadWhole;
using test::ReceivedMail;
using test::TestCertificates;
using test::TestEnv;

const char kSubject[] = "Überwachung: nœud-7 ist ausgefallen — 故障";
const char kSenderName[] = "Tarnhold Überwachung, Nord";

struct Recipients {
  std::vector<std::string> to, cc = {}, bcc = {};
};

std::string Request(const Recipients& recipients, bool html = false,
                    const std::string& body = "Failover on nœud-7.\nSecond line.") {
  App::EmailInfo info;
  App::Email from;
  from.set(App::Email::address, "alerts@tarnhold.example");
  from.set(App::Email::displayName, kSenderName);
  info.setChild(App::EmailInfo::from, from);
  info.set(App::EmailInfo::subject, kSubject);
  info.set(App::EmailInfo::body, body);
  info.set(App::EmailInfo::usedEmbedded, html ? 1 : 0);
  auto add = [&info](const tarnalert::ListField& list, const std::vector<std::string>& addresses) {
    for (const std::string& address : addresses) {
      App::Email email;
      email.set(App::Email::address, address);
      info.list(list).push_back(email);
    }
  };
  add(App::EmailInfo::toList, recipients.to);
  add(App::EmailInfo::ccList, recipients.cc);
  add(App::EmailInfo::bccList, recipients.bcc);
  std::string text;
  info.serialize(text, false);
  return text;
}

bool Has(const std::vector<std::string>& facts, const std::string& fact) {
  return std::find(facts.begin(), facts.end(), fact) != facts.end();
}

// Every header a notification may carry.
const std::vector<std::string> kHeaders = {
    "Date",       "From",           "Subject",      "To",           "Cc",
    "Message-Id", "Auto-Submitted", "MIME-Version", "Content-Type", "Content-Transfer-Encoding",
    "Importance"};

std::string Joined(const std::vector<std::string>& facts) {
  std::string text;
  for (const std::string& fact : facts) text += fact + "\n";
  return text;
}

class MailDeliveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    certificates_ = test::SharedTestCertificates(&error);
    ASSERT_NE(certificates_, nullptr) << error;
    env_.SetSetting("CLIENT_NAME", "client-7.example");
    env_.SetSetting("MAIL_TLS", "none");
  }

  // Starts the server and points MAIL_URL of `env` at it.
  void StartServer(const MailServerOptions& options, TestEnv& env) {
    const std::string directory = env.scratch_directory() + "/received";
    ::mkdir(directory.c_str(), 0700);
    std::string error;
    ASSERT_TRUE(server_.Start(TARNALERT_SOURCE_DIR, directory, options, *certificates_, &error))
        << error;
    const char* scheme = options.mode == MailServerOptions::kImplicitTls ? "smtps" : "smtp";
    env.SetSetting("MAIL_URL",
                   std::string(scheme) + "://127.0.0.1:" + std::to_string(server_.port()));
  }
  void StartServer(const MailServerOptions& options) { StartServer(options, env_); }

  // What Python's email package reads in the message file `file`.
  static std::vector<std::string> Facts(const std::string& file) {
    std::vector<std::string> facts;
    std::string error;
    EXPECT_TRUE(CheckMail(TARNALERT_SOURCE_DIR, file, &facts, &error)) << error;
    return facts;
  }

  static std::string PasswordFile(const TestEnv& env, const std::string& password, mode_t mode) {
    const std::string path = env.scratch_directory() + "/password";
    std::ofstream(path) << password << "\n";
    ::chmod(path.c_str(), mode);
    return path;
  }

  const TestCertificates* certificates_ = nullptr;
  TestEnv env_;
  ScopedEnv scoped_{&env_};
  MailTestServer server_;
};

TEST_F(MailDeliveryTest, PlainSmtpDeliversAMessageThatAReaderDecodesBack) {
  StartServer({});
  DeliveryResult result =
      env_.DeliverEmail(Request({{"ops@example.com", "Lead Nord <lead@example.com>"},
                                 {"\"Cc, Team\" <cc@example.com>"},
                                 {"Audit <audit@example.com>"}}),
                        0x02);
  ASSERT_EQ(result.code, 0) << FXString::ToString(result.text);

  std::vector<ReceivedMail> received = server_.Received();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].sender, "alerts@tarnhold.example");
  EXPECT_EQ(received[0].recipients,
            (std::vector<std::string>{"ops@example.com", "lead@example.com", "cc@example.com",
                                      "audit@example.com"}));
  EXPECT_FALSE(received[0].tls);
  // Blind copies travel in the envelope only.
  EXPECT_EQ(ReadWhole(received[0].file).find("audit@"), std::string::npos);

  const std::vector<std::string> facts = Facts(received[0].file);
  for (const std::string& fact :
       {std::string("header Subject: ") + kSubject,
        std::string("address From: ") + kSenderName + " <alerts@tarnhold.example>",
        std::string("address To:  <ops@example.com>"),
        std::string("address To: Lead Nord <lead@example.com>"),
        std::string("address Cc: Cc, Team <cc@example.com>"),
        std::string("header Auto-Submitted: auto-generated"),
        std::string("header MIME-Version: 1.0"), std::string("part text/plain charset=utf-8"),
        std::string("text: Failover on nœud-7.\\r\\nSecond line.\\r\\n"), std::string("defects 0"),
        std::string("bare-line-ends 0")}) {
    EXPECT_TRUE(Has(facts, fact)) << "missing: " << fact << "\n" << Joined(facts);
  }
  EXPECT_EQ(std::count_if(facts.begin(), facts.end(),
                          [](const std::string& f) {
                            return f.find("header Message-Id: <") == 0 &&
                                   f.find("@client-7.example>") != std::string::npos;
                          }),
            1)
      << Joined(facts);
  EXPECT_FALSE(Has(facts, "header Importance: high"));
  EXPECT_EQ(std::count_if(facts.begin(), facts.end(),
                          [](const std::string& f) { return f.find("header Bcc") == 0; }),
            0);
}

TEST_F(MailDeliveryTest, HtmlRuleGivesTextAndHtmlAlternativesAndSeverityOneIsImportant) {
  StartServer({});
  const std::string html =
      "<html><head><title>t</title></head><body><h3>Failover</h3><p>Node &amp; nœud</p>"
      "<ul><li>one</li><li><a href=\"https://tarnhold.example/a\">details</a></li></ul>"
      "<p>" +
      std::string(1200, 'x') + "</p></body></html>";
  DeliveryResult result = env_.DeliverEmail(Request({{"ops@example.com"}}, true, html), 0x32);
  ASSERT_EQ(result.code, 0) << FXString::ToString(result.text);
  ASSERT_EQ(server_.Received().size(), 1u);
  const std::vector<std::string> facts = Facts(server_.Received()[0].file);
  const std::string text =
      "text: Failover\\r\\n\\r\\nNode & nœud\\r\\n\\r\\none\\r\\ndetails "
      "<https://tarnhold.example/a>\\r\\n\\r\\n" +
      std::string(1200, 'x') + "\\r\\n";
  for (const std::string& fact :
       {std::string("multipart multipart/alternative"),
        std::string("part text/plain charset=utf-8"), text,
        std::string("part text/html charset=utf-8"), "text: " + html,
        std::string("header Importance: high"), std::string("defects 0")}) {
    EXPECT_TRUE(Has(facts, fact)) << "missing: " << fact << "\n" << Joined(facts);
  }
  // The 1200-character line is folded by the transfer encoding.
  const std::string& longest = *std::find_if(facts.begin(), facts.end(), [](const std::string& f) {
    return f.compare(0, 13, "longest-line ") == 0;
  });
  EXPECT_LE(std::stoi(longest.substr(13)), 998);
}

// One TLS or AUTH set-up against the server it meets.
struct TlsCase {
  const char* label;
  MailServerOptions::Mode mode;
  const char* tls;       // TARNALERT_MAIL_TLS
  bool rightCa;          // the CA that signed the server's certificate
  const char* password;  // empty: no login
  bool serverWantsLogin;
  int64_t code;
  const char* textPart;  // of the result text
};

TEST_F(MailDeliveryTest, TlsAndLoginRulesHoldAgainstTheServer) {
  const TlsCase cases[] = {
      {"STARTTLS, private CA", MailServerOptions::kStartTls, "required", true, "", false, 0, ""},
      {"implicit TLS", MailServerOptions::kImplicitTls, "", true, "", false, 0, ""},
      {"opportunistic, no STARTTLS", MailServerOptions::kPlain, "opportunistic", true, "", false, 0,
       ""},
      {"login accepted", MailServerOptions::kStartTls, "required", true, "s3cret", true, 0, ""},
      {"login over implicit TLS", MailServerOptions::kImplicitTls, "", true, "s3cret", true, 0, ""},
      {"login refused", MailServerOptions::kStartTls, "required", true, "wrong", true,
       detail::kMailSettingsWrong, "refused the login of robot: 535"},
      {"wrong CA", MailServerOptions::kStartTls, "required", false, "", false,
       detail::kMailConnectionFailed, "cannot be verified"},
      {"no STARTTLS offered", MailServerOptions::kPlain, "required", true, "", false,
       detail::kMailConnectionFailed, "does not offer STARTTLS and TARNALERT_MAIL_TLS is required"},
  };
  for (const TlsCase& row : cases) {
    SCOPED_TRACE(row.label);
    MailServerOptions options;
    options.mode = row.mode;
    if (row.serverWantsLogin) {
      options.user = "robot";
      options.password = "s3cret";
    }
    server_.Stop();
    TestEnv env;
    ScopedEnv scoped(&env);
    env.SetSetting("CLIENT_NAME", "client-7.example");
    env.SetSetting("MAIL_TLS", row.tls);
    env.SetSetting("MAIL_CA_FILE",
                   row.rightCa ? certificates_->caFile : certificates_->otherCaFile);
    if (row.password[0] != '\0') {
      env.SetSetting("MAIL_USER", "robot");
      env.SetSetting("MAIL_PASSWORD_FILE", PasswordFile(env, row.password, 0600));
    }
    StartServer(options, env);

    DeliveryResult result = env.DeliverEmail(Request({{"ops@example.com"}}), 2);
    const std::string text = FXString::ToString(result.text);
    EXPECT_EQ(result.code, row.code) << text;
    EXPECT_NE(text.find(row.textPart), std::string::npos) << text;
    // Neither the password nor the login's base64 form ("\0robot\0...").
    for (const char* secret : {"s3cret", "wrong", "AHJvYm90"}) {
      EXPECT_EQ(text.find(secret), std::string::npos) << text;
      EXPECT_EQ(env.CountLogLines(secret), 0u) << secret;
    }
    const std::vector<ReceivedMail> received = server_.Received();
    ASSERT_EQ(received.size(), row.code == 0 ? 1u : 0u);
    if (row.code == 0) {
      EXPECT_EQ(received[0].tls, row.mode != MailServerOptions::kPlain);
      EXPECT_EQ(received[0].login, row.serverWantsLogin ? "robot" : "");
    }
  }
}

TEST_F(MailDeliveryTest, ARefusedRecipientMissesOutAloneAndIsReported) {
  MailServerOptions options;
  options.refusals = {{"gone@example.com", "550 5.1.1 <gone@example.com>: user unknown"},
                      {"busy@example.com", "451 4.3.0 try again later"}};
  StartServer(options);
  using Addresses = std::vector<std::string>;
  const struct {
    const char* label;
    Recipients recipients;
    int64_t code;
  } cases[] = {
      {"one of each", {{"ops@example.com"}, {"busy@example.com"}, {"gone@example.com"}}, 451},
      {"only a temporary refusal", {{"busy@example.com", "ops@example.com"}}, 451},
      {"every recipient refused for good", {{"gone@example.com"}}, 550},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    // What the server does with each address, in the order of the request.
    struct {
      Addresses delivered, deferred, failed;
    } row;
    for (const Addresses* list : {&c.recipients.to, &c.recipients.cc, &c.recipients.bcc}) {
      for (const std::string& address : *list) {
        (address == "busy@example.com"   ? row.deferred
         : address == "gone@example.com" ? row.failed
                                         : row.delivered)
            .push_back(address);
      }
    }
    TestEnv env;
    ScopedEnv scoped(&env);
    for (const char* name : {"CLIENT_NAME", "MAIL_TLS", "MAIL_URL"}) {
      env.SetSetting(name, env_.GetSetting(name));
    }
    const size_t before = server_.Received().size();
    const DeliveryResult result = env.DeliverEmail(Request(c.recipients), 2);
    const std::string text = FXString::ToString(result.text);
    EXPECT_EQ(result.code, c.code) << text;
    EXPECT_EQ(result.deliveredTo, row.delivered);
    const std::vector<ReceivedMail> received = server_.Received();
    ASSERT_EQ(received.size() - before, row.delivered.empty() ? 0u : 1u);
    if (!row.delivered.empty()) {
      EXPECT_EQ(received.back().recipients, row.delivered);
    }

    // Each refused address is named with the server's reply, and waits or
    // is recorded for itself alone.
    Addresses deferred, failed;
    for (const AddressNote& note : result.notes) {
      (note.kind == AddressNote::kDeferred ? deferred : failed).push_back(note.address);
      const auto in = [&note](const Addresses& list) {
        return std::find(list.begin(), list.end(), note.address) != list.end();
      };
      EXPECT_EQ(note.role, in(c.recipients.to) ? "To" : in(c.recipients.cc) ? "Cc" : "Bcc");
      EXPECT_EQ(note.reason.substr(0, 4), note.address == "busy@example.com" ? "451 " : "550 ");
    }
    EXPECT_EQ(deferred, row.deferred);
    EXPECT_EQ(failed, row.failed);
    detail::QueuedMail kept;
    EXPECT_EQ(result.keptAs.empty(), row.deferred.empty()) << text;
    if (!row.deferred.empty()) {
      EXPECT_NE(text.find("deferred for a retry as " + result.keptAs), std::string::npos) << text;
      ASSERT_TRUE(detail::DecodeQueuedMail(ReadWhole(result.keptAs), &kept));
      EXPECT_EQ(kept.envelope.recipients, row.deferred);
    }
    const std::string failedDirectory = env.scratch_directory() + "/state/outbox/failed/";
    const std::vector<std::string> records = ListDirectory(failedDirectory);
    ASSERT_EQ(records.size(), row.failed.empty() ? 0u : 2u) << "the message and its error";
    for (const std::string& record : records) {
      if (record.find(".error") != std::string::npos) {
        EXPECT_NE(
            ReadWhole(failedDirectory + record).find("550 5.1.1 <gone@example.com>: user unknown"),
            std::string::npos);
      } else {
        ASSERT_TRUE(detail::DecodeQueuedMail(ReadWhole(failedDirectory + record), &kept));
        EXPECT_EQ(kept.envelope.recipients, row.failed);
      }
    }
  }
}

// A server nobody listens at is a connection failure too (the outbox tests
// and the mail tool transcript meet one).
TEST_F(MailDeliveryTest, ASilentServerIsAConnectionFailure) {
  const int silent = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(silent, 1), 0);
  ASSERT_EQ(::getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length), 0);
  env_.SetSetting("MAIL_TIMEOUT", "1");
  env_.SetSetting("MAIL_URL", "smtp://127.0.0.1:" + std::to_string(ntohs(address.sin_port)));
  const DeliveryResult result = env_.DeliverEmail(Request({{"ops@example.com"}}), 2);
  EXPECT_EQ(result.code, detail::kMailConnectionFailed);
  EXPECT_NE(FXString::ToString(result.text).find("did not answer in time"), std::string::npos)
      << FXString::ToString(result.text);
  ::close(silent);
}

TEST_F(MailDeliveryTest, ControlCharactersFromTheConfigurationOrACommentAddNoHeader) {
  StartServer({});
  const std::string configuration =
      ReadWhole(std::string(TARNALERT_SOURCE_DIR) + "/examples/alert_config.xml");
  // The installation name and a comment both try to start a header: the
  // name with a lone CR and with CR LF, the comment with CR LF.
  std::string injected = configuration;
  const std::string name = "<tarnholdName>";
  const size_t at = injected.find(name);
  ASSERT_NE(at, std::string::npos);
  injected.insert(at + name.size(),
                  "Nord&#13;Bcc: evil@example.com&#13;&#10;X-Injected: yes&#13;&#10;");
  ASSERT_FALSE(NTAlertProcessClient::UpdateAlertConfig(injected).IsError());

  EvAlertEx alert;
  alert.curEventCode = 0x4a00003f;
  alert.curMessageId = 0x4a000320;
  alert << "ops\r\nX-Injected: yes"
        << "node-7";
  AlertEventMsg end;
  end.argType = kArgEndOfMessage;
  alert.getEventMsgList().push_back(end);
  EXPECT_EQ(alert.sendAlert(74, 1, 0), 1);

  const std::vector<ReceivedMail> received = server_.Received();
  ASSERT_GE(received.size(), 1u);
  int subjectsWithTheName = 0;
  std::string subjects;
  for (const ReceivedMail& mail : received) {
    for (const std::string& recipient : mail.recipients) EXPECT_NE(recipient, "evil@example.com");
    for (const std::string& fact : Facts(mail.file)) {
      if (fact.compare(0, 7, "header ") != 0) continue;
      const std::string header = fact.substr(7, fact.find(':') - 7);
      EXPECT_TRUE(Has(kHeaders, header)) << "unexpected header: " << fact;
      EXPECT_EQ(fact.find("\\r"), std::string::npos) << fact;
      EXPECT_EQ(fact.find("\\n"), std::string::npos) << fact;
      if (header == "Subject") subjects += fact + "\n";
      if (header == "Subject" && fact.find("Nord Bcc: evil@example.com") != std::string::npos) {
        ++subjectsWithTheName;
      }
    }
  }
  EXPECT_GE(subjectsWithTheName, 1) << subjects;
}

TEST_F(MailDeliveryTest, AFailedOutboxWriteLeavesNothingBehind) {
  const struct {
    const char* label;
    test::FileOp step;
    int error;
    const char* text;
  } cases[] = {{"disk full", test::FileOp::kWrite, ENOSPC, "cannot write"},
               {"rename refused", test::FileOp::kRename, EACCES, "cannot move the message into"}};
  for (const auto& row : cases) {
    SCOPED_TRACE(row.label);
    test::FaultEnv env;
    ScopedEnv scoped(&env);
    const std::string outbox = env.scratch_directory() + "/outbox";
    env.SetSetting("MAIL_URL", "file://" + outbox);
    env.Fail(row.step, 1, row.error, true);
    const DeliveryResult result = env.DeliverEmail(Request({{"ops@example.com"}}), 2);
    EXPECT_EQ(result.code, detail::kMailOutboxFailed);
    EXPECT_NE(FXString::ToString(result.text).find(row.text), std::string::npos)
        << FXString::ToString(result.text);
    ASSERT_EQ(::access((outbox + "/tmp").c_str(), F_OK), 0);
    EXPECT_EQ(ListDirectory(outbox + "/new").size() + ListDirectory(outbox + "/tmp").size(), 0u);
  }
}

TEST_F(MailDeliveryTest, WrongSettingsAndUnusableRequestsAreRefusedWithAReason) {
  const std::string outbox = "file://" + env_.scratch_directory() + "/outbox";
  const std::string emptyCa = env_.scratch_directory() + "/empty-ca.pem";
  std::ofstream{emptyCa};
  const struct {
    const char* label;
    int64_t code;
    std::string text;
    std::vector<std::pair<std::string, std::string>> settings;
    std::string request = Request({{"a@example.com"}});
  } cases[] = {
      {"no transport", -1, "", {{"MAIL_URL", ""}}},
      {"password in the URL",
       2,
       "holds a user name or password",
       {{"MAIL_URL", "smtp://robot:pw@mail.example"}}},
      {"login without TLS",
       2,
       "credentials are only sent over TLS",
       {{"MAIL_URL", "smtp://mail.example"},
        {"MAIL_TLS", "opportunistic"},
        {"MAIL_USER", "robot"},
        {"MAIL_PASSWORD_FILE", "/nonexistent"}}},
      {"password file readable by others",
       2,
       "may be read by group or others (mode 0640); make it private",
       {{"MAIL_URL", "smtps://127.0.0.1:1"},
        {"MAIL_TLS", ""},
        {"MAIL_USER", "robot"},
        {"MAIL_PASSWORD_FILE", PasswordFile(env_, "pw", 0640)}}},
      {"empty CA file",
       2,
       emptyCa + " is empty",
       {{"MAIL_URL", "smtps://127.0.0.1:1"}, {"MAIL_CA_FILE", emptyCa}}},
      {"CA file that is not a regular file",
       2,
       "Refusing the CA file /dev/null: not a regular file",
       {{"MAIL_URL", "smtps://127.0.0.1:1"}, {"MAIL_CA_FILE", "/dev/null"}}},
      {"timeout not a number",
       2,
       "TARNALERT_MAIL_TIMEOUT is \"10s\"",
       {{"MAIL_URL", outbox}, {"MAIL_TIMEOUT", "10s"}}},
      {"no valid recipient",
       1,
       "no valid recipient",
       {{"MAIL_URL", outbox}},
       Request({{"not an address", "ops@example.com\r\nBcc: x@example.com"}, {"@example.com"}})},
      {"unreadable request", 1, "cannot be read", {{"MAIL_URL", outbox}}, "<EmailInfo><subject>"},
  };
  for (const auto& row : cases) {
    TestEnv env;
    ScopedEnv scoped(&env);
    for (const auto& setting : row.settings) env.SetSetting(setting.first, setting.second);
    DeliveryResult result = env.DeliverEmail(row.request, 2);
    EXPECT_EQ(result.code, row.code) << row.label;
    const std::string text = FXString::ToString(result.text);
    EXPECT_EQ(row.text.empty(), text.empty()) << row.label << ": " << text;
    EXPECT_NE(text.find(row.text), std::string::npos) << row.label << ": " << text;
    // A setting or secret file to mend keeps the notification for the
    // flush; a request that cannot be sent is not kept.
    EXPECT_EQ(result.keptAs.empty(), row.code != detail::kMailSettingsWrong) << row.label;
    if (row.code == detail::kMailSettingsWrong) {
      EXPECT_EQ(
          text.find("deferred for a retry as " + result.keptAs + " (tarnalert outbox flush): "), 0u)
          << text;
    }
    if (row.code == detail::kMailRequestUnusable && row.text == "no valid recipient") {
      EXPECT_EQ(env.CountLogLines("\"not an address\" is not a valid e-mail address; left out"),
                1u);
      EXPECT_EQ(result.notes.size(), 3u);
    }
  }
}

// Through the file transport: one complete, private message in new/ and
// nothing left in tmp/.
TEST_F(MailDeliveryTest, LeftOutAddressesAndAReplacedSenderAreNamedInTheResult) {
  const std::string maildir = env_.scratch_directory() + "/maildir";
  env_.SetSetting("MAIL_URL", "file://" + maildir);
  env_.SetSetting("MAIL_FROM", "Tarnhold Alerts <tarnalert@client-7.example>");
  App::EmailInfo info;
  App::Email from, to, cc;
  from.set(App::Email::address, "alerts at tarnhold");
  info.setChild(App::EmailInfo::from, from);
  to.set(App::Email::address, "Oncall <oncall@example.com>");
  cc.set(App::Email::address, "lead at example.com");
  info.list(App::EmailInfo::toList).push_back(to);
  info.list(App::EmailInfo::ccList).push_back(cc);
  std::string request;
  info.serialize(request, false);

  const DeliveryResult result = env_.DeliverEmail(request, 2);
  EXPECT_EQ(result.code, 0) << FXString::ToString(result.text);
  EXPECT_EQ(result.deliveredTo, std::vector<std::string>{"oncall@example.com"});
  ASSERT_EQ(result.notes.size(), 2u);
  EXPECT_EQ(result.notes[0].kind, AddressNote::kLeftOut);
  EXPECT_EQ(result.notes[0].role, "Cc");
  EXPECT_EQ(result.notes[0].address, "lead at example.com");
  EXPECT_EQ(result.notes[1].kind, AddressNote::kSenderReplaced);
  EXPECT_EQ(result.notes[1].address, "alerts at tarnhold");
  EXPECT_EQ(result.notes[1].replacedBy, "tarnalert@client-7.example");
  EXPECT_TRUE(ListDirectory(maildir + "/tmp").empty());
  const std::vector<std::string> files = ListDirectory(maildir + "/new");
  ASSERT_EQ(files.size(), 1u);
  struct stat file;
  ASSERT_EQ(::stat((maildir + "/new/" + files[0]).c_str(), &file), 0);
  EXPECT_EQ(file.st_mode & 0777, 0600u);
  const std::vector<std::string> facts = Facts(maildir + "/new/" + files[0]);
  for (const char* fact : {"address From: Tarnhold Alerts <tarnalert@client-7.example>",
                           "address To: Oncall <oncall@example.com>", "defects 0"}) {
    EXPECT_TRUE(Has(facts, fact)) << "missing: " << fact << "\n" << Joined(facts);
  }
}

TEST_F(MailDeliveryTest, AServerThatNeverAnswersQuitHoldsADeliveryOnlyUntilTheTimeout) {
  MailServerOptions options;
  options.silentQuit = true;
  StartServer(options);
  env_.SetSetting("MAIL_CONNECT_TIMEOUT", "2");
  env_.SetSetting("MAIL_TIMEOUT", "2");
  // Left to itself, libcurl waits two minutes for the reply to QUIT.
  EXPECT_TRUE(test::EndsWithin(
      30, [this] { return env_.DeliverEmail(Request({{"ops@example.com"}}), 2).code == 0; }));
  EXPECT_EQ(server_.Received().size(), 1u);
}

// That a failed probe keeps nothing the mail tool transcript shows.
TEST_F(MailDeliveryTest, AProbeShowsTheConversationWithoutLoginData) {
  MailServerOptions options;
  options.mode = MailServerOptions::kStartTls;
  options.user = "robot";
  options.password = "s3cret";
  StartServer(options);
  env_.SetSetting("MAIL_TLS", "required");
  env_.SetSetting("MAIL_CA_FILE", certificates_->caFile);
  env_.SetSetting("MAIL_USER", "robot");
  env_.SetSetting("MAIL_PASSWORD_FILE", PasswordFile(env_, "s3cret", 0600));

  std::vector<std::string> conversation;
  const DeliveryResult sent = ProbeMail(Request({{"ops@example.com"}}), 2, &conversation);
  EXPECT_EQ(sent.code, 0) << FXString::ToString(sent.text);
  const std::string all = Joined(conversation);
  for (const char* expected : {"> STARTTLS\n", "> MAIL FROM:<alerts@tarnhold.example>",
                               "> RCPT TO:<ops@example.com>\n< 250 OK\n", "> DATA\n",
                               "[login data hidden]", "< 235 ", "> QUIT\n"}) {
    EXPECT_NE(all.find(expected), std::string::npos) << expected << " missing in:\n" << all;
  }
  for (const char* secret : {"s3cret", "AHJvYm90"}) {
    EXPECT_EQ(all.find(secret), std::string::npos) << all;
  }
  EXPECT_EQ(server_.Received().size(), 1u);
}

}  // namespace
}  // namespace tarnalert
