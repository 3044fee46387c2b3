// `tarnalert send`: builds an alert from the command line and sends it the way
// a component of the installation would, then says what happened. Type 74 is
// evaluated on this client against the installed configuration and each
// e-mail notification goes to the configured mail transport; every other
// type is handed to the management server through the spool.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "Commands.h"
#include "DeliveryRecorder.h"
#include "DeliveryText.h"
#include "Json.h"
#include "ToolText.h"

namespace tarnalert_tool {

namespace {

struct SendOptions {
  int type = 0;
  int criteria = 0;
  int status = 0;
  std::vector<std::string> arguments;
  std::vector<std::string> comments;
  std::string format = "text";
};

using tarnalert::FailoverResult;
using tarnalert::NotificationOutcome;
using tarnalert::NotificationResult;

const char* OutcomeName(NotificationOutcome outcome) {
  switch (outcome) {
    case NotificationOutcome::kDelivered:
      return "delivered";
    case NotificationOutcome::kPartlyDelivered:
      return "partly-delivered";
    case NotificationOutcome::kDeferred:
      return "deferred";
    case NotificationOutcome::kFailed:
      return "failed";
    case NotificationOutcome::kNoTransport:
      return "no-transport";
    case NotificationOutcome::kNotBuilt:
      break;
  }
  return "not-built";
}

const char* StopName(tarnalert::FailoverStop stop) {
  switch (stop) {
    case tarnalert::FailoverStop::kNone:
      break;
    case tarnalert::FailoverStop::kNoConfiguration:
      return "no-configuration";
    case tarnalert::FailoverStop::kConfigurationRefused:
      return "configuration-refused";
    case tarnalert::FailoverStop::kNoRuleMatched:
      return "no-rule-matched";
  }
  return "none";
}

const char* NoteKindName(tarnalert::AddressNote::Kind kind) {
  switch (kind) {
    case tarnalert::AddressNote::kLeftOut:
      return "left-out";
    case tarnalert::AddressNote::kSenderReplaced:
      return "sender-replaced";
    case tarnalert::AddressNote::kDeferred:
      return "deferred";
    case tarnalert::AddressNote::kRefused:
      break;
  }
  return "refused";
}

Json NotificationJson(const NotificationResult& notification) {
  const tarnalert::DeliveryResult& delivery = notification.delivery;
  const bool built = notification.outcome != NotificationOutcome::kNotBuilt;
  Json notes = Json::array();
  for (const tarnalert::AddressNote& note : delivery.notes) {
    notes.push_back({{"kind", NoteKindName(note.kind)},
                     {"role", note.role},
                     {"address", note.address},
                     {"reason", note.reason},
                     {"replacedBy", note.replacedBy.empty() ? Json() : Json(note.replacedBy)}});
  }
  return {{"rule", notification.ruleId},
          {"ruleName", notification.ruleName},
          {"subject", notification.subject},
          {"recipients", notification.recipients},
          {"deliveryOptions", tarnalert::DeliveryOptionNames(notification.deliveryOptions)},
          {"outcome", OutcomeName(notification.outcome)},
          {"reason", built ? Json() : Json(notification.reason)},
          {"code", built ? Json(delivery.code) : Json()},
          {"text", FXString::ToString(delivery.text)},
          {"messageId", delivery.messageId.empty() ? Json() : Json(delivery.messageId)},
          {"deliveredTo", delivery.deliveredTo},
          {"keptAs", delivery.keptAs.empty() ? Json() : Json(delivery.keptAs)},
          {"notes", notes}};
}

// The exit code of a failover alert: success only when every notification
// was delivered to every recipient as written.
int FailoverExitCode(const FailoverResult& result) {
  if (result.notifications.empty()) return kFailed;
  for (const NotificationResult& notification : result.notifications) {
    if (notification.outcome != NotificationOutcome::kDelivered ||
        !notification.delivery.notes.empty()) {
      return kFailed;
    }
  }
  return kSuccess;
}

// Type 74: the local road, said rule by rule from the result the library
// returns.
int RunFailover(const SendOptions& options, EvAlertEx& alert) {
  const FailoverResult result =
      tarnalert::SendFailoverAlert(alert, options.criteria, options.status);
  if (options.format == "json") {
    Json notifications = Json::array();
    for (const NotificationResult& notification : result.notifications) {
      notifications.push_back(NotificationJson(notification));
    }
    PrintJson({{"alertType", alert.alertType},
               {"criteria", alert.criteria},
               {"status", alert.status},
               {"road", "local"},
               {"configFile", result.configFile.empty() ? Json() : Json(result.configFile)},
               {"stop", StopName(result.stop)},
               {"reason", result.reason.empty() ? Json() : Json(result.reason)},
               {"rulesExamined", result.rulesExamined},
               {"notifications", notifications}});
    return FailoverExitCode(result);
  }
  std::cout << "Sent alert type " << alert.alertType << ", criteria " << alert.criteria
            << ", status " << alert.status << ".\n";
  std::cout << "It was evaluated on this client against "
            << (result.configFile.empty() ? "no configuration" : result.configFile)
            << " (debug log " << DebugLogPath() << ").\n";
  if (result.notifications.empty()) {
    PrintError("send", "no e-mail was sent: " + OneLine(result.reason));
    return kFailed;
  }
  std::cout << result.notifications.size() << " e-mail notification"
            << (result.notifications.size() == 1 ? "" : "s") << " built for the matching rules.\n";
  size_t withoutTransport = 0;
  for (size_t i = 0; i < result.notifications.size(); ++i) {
    const tarnalert::NotificationResult& notification = result.notifications[i];
    std::cout << "Notification " << i + 1 << " (rule " << notification.ruleId << ") \""
              << OneLine(notification.subject) << "\": ";
    if (notification.outcome == tarnalert::NotificationOutcome::kNotBuilt) {
      std::cout << "not built: " << notification.reason << ".\n";
    } else {
      std::cout << DeliveryOutcome(notification.delivery) << "\n";
    }
    if (notification.outcome == NotificationOutcome::kNoTransport) ++withoutTransport;
  }
  if (withoutTransport > 0) {
    PrintError("send",
               "failover mail is off: no mail transport is configured, so " +
                   std::to_string(withoutTransport) +
                   " notification(s) went nowhere (set TARNALERT_MAIL_URL; see docs/delivery.md)");
  }
  return FailoverExitCode(result);
}

int RunSend(const SendOptions& options) {
  EvAlertEx alert;
  AddComments(alert, options.comments);
  for (const std::string& argument : options.arguments) alert << argument.c_str();
  if (options.type == tarnalert::kFailoverAlertType) return RunFailover(options, alert);

  LogCapture capture(tarnalert::Env::Current(), true);
  DeliveryRecorder recorder(&capture);
  int result;
  {
    tarnalert::ScopedEnv installed(&recorder);
    result = alert.sendAlert(options.type, options.criteria, options.status);
  }
  if (options.format == "json") {
    PrintJson({{"alertType", alert.alertType},
               {"criteria", alert.criteria},
               {"status", alert.status},
               {"road", "server"},
               {"handedOver", result == 1},
               {"spooledAs", recorder.spooled()},
               {"errors", result == 1 ? std::vector<std::string>() : capture.Messages()}});
    return result == 1 ? kSuccess : kFailed;
  }
  if (result != 1) {
    for (const std::string& message : capture.Messages()) PrintError("send", message);
    PrintError("send", "the alert was not handed to the management server; see the debug log " +
                           DebugLogPath());
    return kFailed;
  }
  std::cout << "Sent alert type " << alert.alertType << ", criteria " << alert.criteria
            << ", status " << alert.status << ".\n";
  std::cout << "It was handed to the management server";
  for (const std::string& file : recorder.spooled()) std::cout << ": spooled as " << file;
  std::cout << ".\n";
  return kSuccess;
}

}  // namespace

void AddSendCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<SendOptions>();
  CLI::App* send = app.add_subcommand(
      "send",
      "Build an alert and send it: type 74 is evaluated on this client against the installed "
      "configuration, every other type is handed to the management server");
  AddNumberOption(send, "--type", options->type, "Alert type (74: client-side failover alert)", 0)
      ->required();
  AddNumberOption(send, "--criteria", options->criteria, "Criteria number of the alert", 0)
      ->required();
  AddNumberOption(send, "--status", options->status,
                  "Status of the alert (0: the alert's default status)")
      ->capture_default_str();
  send->add_option("--arg", options->arguments,
                   "A text argument of the alert; repeat for several, in order");
  send->add_option("--comment", options->comments,
                   "A comment: one event message that the <Comments> token shows; repeat for "
                   "several");
  AddFormatOption(send, &options->format,
                  "json (one object: the alert, the road it took and, for type 74, each "
                  "notification with its rule, outcome, delivery code and text, recipients "
                  "reached and addresses left out; for the others the spool file)");
  send->footer(
      "Exit codes: 0 everything happened (the alert was spooled for the server, or every e-mail "
      "notification of a type 74 alert was delivered to every recipient as written), 1 "
      "something did not (the alert was not handed over; no configuration, no matching rule or "
      "no mail transport; a notification failed, waits in the outbox, or left an address out; "
      "the reason is printed), 2 bad usage.");
  send->callback([options, &action] { action = [options] { return RunSend(*options); }; });
}

}  // namespace tarnalert_tool
