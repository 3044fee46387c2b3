// Time of one failover alert whose notifications are delivered over SMTP
// with STARTTLS to a real server on the loopback (aiosmtpd, certificate of a
// CA made for the run), next to the time of the same alert when no transport
// is configured, which builds, serializes and logs the requests alone. The
// example configuration matches two rules for criteria 1, so one alert is two
// messages; the per-message rows split one delivery into building the
// message and the SMTP conversation.
//
// And an outbox flush of 200 messages, which share one connection, next to
// the same 200 messages sent each over a connection of its own.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "bench/Goals.h"
#include "bench/SettingsEnv.h"
#include "delivery/MailDelivery.h"
#include "delivery/mail/MailMessage.h"
#include "delivery/mail/MailRequest.h"
#include "delivery/mail/MailSettings.h"
#include "delivery/mail/MailTransport.h"
#include "delivery/mail/PreparedMail.h"
#include "delivery/outbox/OutboxQueue.h"
#include "delivery/testing/MailTestServer.h"
#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"
#include "tarnalert/delivery/MailOutbox.h"
#include "tarnalert/platform/env/Env.h"
#include "tarnalert/platform/message/Messages.h"

namespace {

using tarnalert::Env;

SettingsEnv* bench_env = nullptr;
std::string work_directory;

EvAlertEx FailoverAlert() {
  EvAlertEx alert;
  alert.curEventCode = 0x4a00003f;
  alert.curMessageId = 0x4a000320;  // "Failover started by %1 on %2"
  alert << "the cluster monitor"
        << "node-7";
  AlertEventMsg end;
  end.argType = kArgEndOfMessage;
  alert.getEventMsgList().push_back(end);
  return alert;
}

// One request as the local road builds it: HTML, four recipients.
std::string Request() {
  App::EmailInfo info;
  App::Email from;
  from.set(App::Email::address, "alerts@tarnhold.example.com");
  from.set(App::Email::displayName, "Tarnhold Alerts");
  info.setChild(App::EmailInfo::from, from);
  info.set(App::EmailInfo::subject, "Client failover - operations report: failover of a client");
  std::string body = "<html><body><h3>Client failover</h3><ul>";
  for (int i = 0; i < 8; ++i) body += "<li><b>Field:</b> a value of the alert, nœud-7</li>";
  info.set(App::EmailInfo::body, body + "</ul></body></html>");
  info.set(App::EmailInfo::usedEmbedded, 1);
  for (const char* address : {"ops@example.com", "storage@example.com"}) {
    App::Email to;
    to.set(App::Email::address, address);
    info.list(App::EmailInfo::toList).push_back(to);
  }
  std::string text;
  info.serialize(text, false);
  return text;
}

void SetTransport(bool starttls) {
  bench_env->settings["MAIL_URL"] = starttls ? bench_env->settings["BENCH_SMTP_URL"] : "";
}

void BM_FailoverAlert(benchmark::State& state, bool starttls) {
  SetTransport(starttls);
  for (auto _ : state) {
    EvAlertEx alert = FailoverAlert();
    if (alert.sendAlert(74, 1, 0) != 1) state.SkipWithError("sendAlert failed");
  }
}
BENCHMARK_CAPTURE(BM_FailoverAlert, requests_only_no_transport, false)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_FailoverAlert, delivered_over_starttls, true)->Unit(benchmark::kMicrosecond);

void BM_BuildMessage(benchmark::State& state) {
  const std::string request = Request();
  for (auto _ : state) {
    tarnalert::detail::MailContent content;
    tarnalert::detail::MailEnvelope envelope;
    std::vector<tarnalert::AddressNote> notes;
    std::string error, message, id;
    tarnalert::detail::ReadMailRequest(request, 0x12, "tarnalert@client", &content, &envelope,
                                       &notes, &error);
    content.hostName = "client.example";
    tarnalert::detail::BuildMailMessage(content, &message, &id);
    benchmark::DoNotOptimize(message);
  }
}
BENCHMARK(BM_BuildMessage)->Unit(benchmark::kMicrosecond);

void BM_DeliverOneMessage(benchmark::State& state) {
  SetTransport(true);
  const std::string request = Request();
  for (auto _ : state) {
    tarnalert::DeliveryResult result = tarnalert::detail::DeliverMail(
        bench_env, request, 0x12, tarnalert::detail::KeepMode::kKeep);
    if (result.code != 0) state.SkipWithError("delivery failed");
  }
}
BENCHMARK(BM_DeliverOneMessage)->Unit(benchmark::kMicrosecond);

constexpr int kOutboxMessages = 200;

// The messages of the outbox benchmarks, built once.
std::vector<tarnalert::detail::QueuedMail> OutboxMessages() {
  tarnalert::detail::MailSettings settings;
  std::string error;
  tarnalert::detail::ReadMailSettings(bench_env, &settings, &error);
  std::vector<tarnalert::detail::QueuedMail> messages;
  for (int n = 0; n < kOutboxMessages; ++n) {
    tarnalert::detail::PreparedMail prepared;
    std::vector<tarnalert::AddressNote> notes;
    tarnalert::detail::PrepareMail(settings, Request(), 0x12, 1796551200 + n, &prepared, &notes,
                                   &error);
    tarnalert::detail::QueuedMail mail;
    mail.envelope = prepared.envelope;
    mail.subject = prepared.content.subject;
    mail.messageId = prepared.messageId;
    mail.message = prepared.message;
    mail.created = bench_env->Now();
    mail.attempts = 1;
    messages.push_back(mail);
  }
  return messages;
}

void BM_FlushOutbox(benchmark::State& state) {
  SetTransport(true);
  const std::vector<tarnalert::detail::QueuedMail> messages = OutboxMessages();
  for (auto _ : state) {
    state.PauseTiming();
    for (const tarnalert::detail::QueuedMail& mail : messages) {
      std::string name;
      if (tarnalert::detail::DeferMail(bench_env, mail, &name).IsError()) {
        state.SkipWithError("cannot fill the outbox");
        return;
      }
    }
    state.ResumeTiming();
    tarnalert::OutboxFlushReport report;
    if (tarnalert::FlushOutbox(true, &report).IsError() || report.delivered != kOutboxMessages) {
      state.SkipWithError("the flush did not deliver every message");
      return;
    }
  }
  state.counters["messages_per_second"] = benchmark::Counter(
      static_cast<double>(kOutboxMessages), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_FlushOutbox)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same messages, each over a connection of its own (greeting, STARTTLS,
// TLS handshake, QUIT), and no outbox files.
void BM_OneConnectionPerMessage(benchmark::State& state) {
  SetTransport(true);
  const std::vector<tarnalert::detail::QueuedMail> messages = OutboxMessages();
  tarnalert::detail::MailSettings settings;
  std::string error;
  tarnalert::detail::ReadMailSettings(bench_env, &settings, &error);
  for (auto _ : state) {
    for (const tarnalert::detail::QueuedMail& mail : messages) {
      if (tarnalert::detail::TransmitMail(bench_env, settings, mail.envelope, "unused",
                                          mail.message)
              .result.code != 0) {
        state.SkipWithError("delivery failed");
        return;
      }
    }
  }
  state.counters["messages_per_second"] = benchmark::Counter(
      static_cast<double>(kOutboxMessages), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_OneConnectionPerMessage)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  char pattern[] = "/tmp/tarnalert-mail-bench-XXXXXX";
  work_directory = mkdtemp(pattern);
  tarnalert::test::TestCertificates certificates;
  tarnalert::test::MailTestServer server;
  tarnalert::test::MailServerOptions options;
  options.mode = tarnalert::test::MailServerOptions::kStartTls;
  std::string error;
  const std::string received = work_directory + "/received";
  if (std::system(("mkdir -p " + received).c_str()) != 0 ||
      !tarnalert::test::MakeTestCertificates(work_directory, &certificates, &error) ||
      !server.Start(TARNALERT_SOURCE_DIR, received, options, certificates, &error)) {
    std::fprintf(stderr, "cannot start the SMTP server: %s\n", error.c_str());
    return 1;
  }
  SettingsEnv env;
  bench_env = &env;
  env.settings = {{"STATE_DIR", work_directory + "/state"},
                  {"CLIENT_NAME", "client.example"},
                  {"LOG_FILE", work_directory + "/tarnalert.log"},
                  {"MAIL_CA_FILE", certificates.caFile},
                  {"BENCH_SMTP_URL", "smtp://127.0.0.1:" + std::to_string(server.port())}};
  Env::Install(&env);
  std::ifstream config(std::string(TARNALERT_SOURCE_DIR) + "/examples/alert_config.xml");
  std::ostringstream text;
  text << config.rdbuf();
  if (NTAlertProcessClient::UpdateAlertConfig(text.str()).IsError()) {
    std::fprintf(stderr, "cannot install the example configuration\n");
    return 1;
  }

  benchmark::Initialize(&argc, argv);
  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  PrintGoals({{"outbox flush of 200 messages / one connection per message, messages per second",
               Ratio(reporter.Real("BM_OneConnectionPerMessage"), reporter.Real("BM_FlushOutbox")),
               3.0, false}});
  Env::Install(nullptr);
  server.Stop();
  return std::system(("rm -rf '" + work_directory + "'").c_str()) == 0 ? 0 : 1;
}
