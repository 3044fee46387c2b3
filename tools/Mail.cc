// `tarnalert mail test`: sends a short message through the configured mail
// transport (TARNALERT_MAIL_URL and friends, docs/delivery.md) and says what
// became of it, so that the settings can be tried before an alert needs
// them.
#include <iostream>
#include <memory>
#include <string>

#include "Commands.h"
#include "DeliveryRecorder.h"
#include "ToolText.h"

namespace tarnalert_tool {

namespace {

// The delivery options the local road gives a rule's notification: the
// default bit, and the formatted bit for HTML (docs/delivery.md).
constexpr int kOptionDefault = 0x02;
constexpr int kOptionFormatted = 0x10;

struct MailTestOptions {
  std::string to;
  bool html = false;
};

int RunMailTest(const MailTestOptions& options) {
  tarnalert::Env* env = tarnalert::Env::Current();
  const std::string client = env->PhysicalMachineName("");
  App::EmailInfo request;
  request.set(App::EmailInfo::subject, "tarnalert test message from " + client);
  const std::string sentence = "This is a test message from the alert library on " + client +
                               ". If you can read it, failover alerts from this client reach you.";
  request.set(App::EmailInfo::body,
              options.html ? "<html><body><h3>tarnalert test message</h3><p>" +
                                 NTBasicLib::htmlEncode(sentence.c_str()) + "</p></body></html>"
                           : sentence + "\n");
  request.set(App::EmailInfo::usedEmbedded, options.html ? 1 : 0);
  if (options.html) request.set(App::EmailInfo::embeddedMode, 1);
  App::Email to;
  to.set(App::Email::address, options.to);
  request.list(App::EmailInfo::toList).push_back(to);
  std::string text;
  request.serialize(text, false);

  const int deliveryOptions = kOptionDefault | (options.html ? kOptionFormatted : 0);
  const tarnalert::DeliveryResult result = env->DeliverEmail(text, deliveryOptions);
  if (result.code == 0) {
    std::cout << "Test message to " << options.to << " (" << (options.html ? "HTML" : "plain text")
              << ") through " << env->GetSetting("MAIL_URL") << ": delivered.\n";
    return kSuccess;
  }
  PrintError("mail test", "test message to " + options.to + ": " + DeliveryOutcome(result));
  return kFailed;
}

}  // namespace

std::string DeliveryOutcome(const tarnalert::DeliveryResult& result) {
  if (result.code == 0) return "delivered.";
  if (NoTransport(result)) {
    return "not delivered: no mail transport is configured (set TARNALERT_MAIL_URL; see "
           "docs/delivery.md).";
  }
  return "failed (code " + std::to_string(result.code) + "): " + FXString::ToString(result.text) +
         ".";
}

void AddMailCommand(CLI::App& app, Action& action) {
  CLI::App* mail = app.add_subcommand("mail", "Try the mail transport");
  mail->require_subcommand(1);
  auto options = std::make_shared<MailTestOptions>();
  CLI::App* test = mail->add_subcommand(
      "test", "Send a short test message through the configured mail transport");
  test->add_option("--to", options->to, "The recipient's address")->required();
  test->add_flag("--html", options->html, "Send an HTML message with a plain-text alternative");
  test->footer(
      "Exit codes: 0 delivered, 1 not delivered (the reason is on standard error), 2 bad "
      "usage.");
  test->callback([options, &action] { action = [options] { return RunMailTest(*options); }; });
}

}  // namespace tarnalert_tool
