// `tarnalert send`: builds an alert from the command line and sends it the way
// a component of the installation would, then says what happened. Type 74 is
// evaluated on this client against the installed configuration and each
// e-mail notification goes to the configured mail transport; every other
// type is handed to the management server through the spool.
#include <unistd.h>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "Commands.h"
#include "DeliveryRecorder.h"
#include "ToolText.h"

namespace tarnalert_tool {

namespace {

struct SendOptions {
  int type = 0;
  int criteria = 0;
  int status = 0;
  std::vector<std::string> arguments;
  std::vector<std::string> comments;
};

int RunSend(const SendOptions& options) {
  EvAlertEx alert;
  AddComments(alert, options.comments);
  for (const std::string& argument : options.arguments) alert << argument.c_str();
  LogCapture capture(tarnalert::Env::Current(), true);
  DeliveryRecorder recorder(&capture);
  int result;
  {
    tarnalert::ScopedEnv installed(&recorder);
    result = alert.sendAlert(options.type, options.criteria, options.status);
  }
  const std::string log = DebugLogPath();
  if (result != 1) {
    for (const std::string& message : capture.Messages()) PrintError("send", message);
    PrintError("send",
               "the alert was not handed to the management server; see the debug log " + log);
    return kFailed;
  }
  std::cout << "Sent alert type " << alert.alertType << ", criteria " << alert.criteria
            << ", status " << alert.status << ".\n";
  if (options.type != tarnalert::kFailoverAlertType) {
    std::cout << "It was handed to the management server";
    for (const std::string& file : recorder.spooled()) std::cout << ": spooled as " << file;
    std::cout << ".\n";
    return kSuccess;
  }

  const std::string config = NTAlertProcessClient::GetConfigFileName();
  std::cout << "It was evaluated on this client against " << config << " (debug log " << log
            << ").\n";
  if (::access(config.c_str(), F_OK) != 0) {
    std::cout << "No configuration is installed there, so no rule was examined.\n";
    return kSuccess;
  }
  const std::vector<Delivery>& deliveries = recorder.deliveries();
  std::cout << deliveries.size() << " e-mail notification" << (deliveries.size() == 1 ? "" : "s")
            << " built for the matching rules.\n";
  int exitCode = kSuccess;
  for (size_t i = 0; i < deliveries.size(); ++i) {
    App::EmailInfo request;
    const std::string subject = request.Parse(deliveries[i].request)
                                    ? request.get(App::EmailInfo::subject)
                                    : "(unreadable request)";
    std::cout << "Notification " << i + 1 << " \"" << OneLine(subject)
              << "\": " << DeliveryOutcome(deliveries[i].result) << "\n";
    if (deliveries[i].result.code != 0) exitCode = kFailed;
  }
  return exitCode;
}

}  // namespace

void AddSendCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<SendOptions>();
  CLI::App* send = app.add_subcommand(
      "send",
      "Build an alert and send it: type 74 is evaluated on this client against the installed "
      "configuration, every other type is handed to the management server");
  send->add_option("--type", options->type, "Alert type (74: client-side failover alert)")
      ->required();
  send->add_option("--criteria", options->criteria, "Criteria number of the alert")->required();
  send->add_option("--status", options->status,
                   "Status of the alert (0: the alert's default status)")
      ->capture_default_str();
  send->add_option("--arg", options->arguments,
                   "A text argument of the alert; repeat for several, in order");
  send->add_option("--comment", options->comments,
                   "A comment: one event message that the <Comments> token shows; repeat for "
                   "several");
  send->footer(
      "Exit codes: 0 everything happened (the alert was spooled for the server, or every e-mail "
      "notification of a type 74 alert was delivered), 1 something did not (the alert was not "
      "handed over, or a notification failed or found no mail transport; the reason is printed), "
      "2 bad usage.");
  send->callback([options, &action] { action = [options] { return RunSend(*options); }; });
}

}  // namespace tarnalert_tool
