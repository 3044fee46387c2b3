// `tarnalert mail test`: sends a short message once through the configured
// mail transport (TARNALERT_MAIL_URL and friends, docs/delivery.md) and says
// what became of it, so that the settings can be tried before an alert
// needs them. Nothing is kept for a retry.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "Commands.h"
#include "DeliveryText.h"
#include "ToolText.h"

namespace tarnalert_tool {

namespace {

struct MailTestOptions {
  std::string to;
  std::string from;
  std::string subject;
  bool html = false;
  bool verbose = false;
};

int RunMailTest(const MailTestOptions& options) {
  tarnalert::Env* env = tarnalert::Env::Current();
  const std::string client = env->PhysicalMachineName("");
  App::EmailInfo request;
  request.set(App::EmailInfo::subject,
              options.subject.empty() ? "tarnalert test message from " + client : options.subject);
  const std::string sentence = "This is a test message from the alert library on " + client +
                               ". If you can read it, failover alerts from this client reach you.";
  request.set(App::EmailInfo::body,
              options.html ? "<html><body><h3>tarnalert test message</h3><p>" +
                                 NTBasicLib::htmlEncode(sentence.c_str()) + "</p></body></html>"
                           : sentence + "\n");
  request.set(App::EmailInfo::usedEmbedded, options.html ? 1 : 0);
  if (options.html) request.set(App::EmailInfo::embeddedMode, 1);
  if (!options.from.empty()) {
    App::Email from;
    from.set(App::Email::address, options.from);
    request.setChild(App::EmailInfo::from, from);
  }
  App::Email to;
  to.set(App::Email::address, options.to);
  request.list(App::EmailInfo::toList).push_back(to);
  std::string text;
  request.serialize(text, false);

  const int deliveryOptions =
      tarnalert::kDeliveryOptionDefault | (options.html ? tarnalert::kDeliveryOptionFormatted : 0);
  std::vector<std::string> conversation;
  const tarnalert::DeliveryResult result =
      tarnalert::ProbeMail(text, deliveryOptions, options.verbose ? &conversation : nullptr);
  for (const std::string& line : conversation) std::cout << OneLine(line) << "\n";
  if (result.code == 0) {
    std::cout << "Test message to " << options.to << " (" << (options.html ? "HTML" : "plain text")
              << ") through " << env->GetSetting("MAIL_URL") << ": " << DeliveryOutcome(result)
              << "\n";
    return kSuccess;
  }
  PrintError("mail test", "test message to " + options.to + ": " + DeliveryOutcome(result));
  return kFailed;
}

}  // namespace

void AddMailCommand(CLI::App& app, Action& action) {
  CLI::App* mail = app.add_subcommand("mail", "Try the mail transport");
  mail->require_subcommand(1);
  auto options = std::make_shared<MailTestOptions>();
  CLI::App* test = mail->add_subcommand(
      "test",
      "Send a short test message once through the configured mail transport; nothing is kept "
      "for a retry");
  test->add_option("--to", options->to, "The recipient: an address or Name <address>")->required();
  test->add_option("--from", options->from,
                   "The sender: an address or Name <address> (default: TARNALERT_MAIL_FROM)");
  test->add_option("--subject", options->subject, "The subject (default: a test subject)");
  test->add_flag("--html", options->html, "Send an HTML message with a plain-text alternative");
  test->add_flag("-v,--verbose", options->verbose,
                 "Print the SMTP conversation (commands and replies; never login data)");
  test->footer(
      "Exit codes: 0 delivered, 1 not delivered (the reason is on standard error), 2 bad "
      "usage.");
  test->callback([options, &action] { action = [options] { return RunMailTest(*options); }; });
}

}  // namespace tarnalert_tool
