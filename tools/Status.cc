// `tarnalert status`: what the library reports of this client's alert
// delivery (tarnalert/delivery/DeliveryStatus.h), as text for a person, as
// JSON, or as Prometheus gauges for node_exporter's textfile collector. Exit
// 0 when nothing needs attention, 1 otherwise (the reasons are printed).
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "Commands.h"
#include "Json.h"
#include "ToolText.h"

namespace tarnalert_tool {

namespace {

using tarnalert::DeliveryStatus;
using tarnalert::WaitingItems;

std::string When(time_t time) { return time > 0 ? UtcTime(time) : "never"; }

Json JsonTime(time_t time) { return time > 0 ? Json(UtcTime(time)) : Json(); }

Json JsonItems(const WaitingItems& items) {
  return {{"count", items.count}, {"oldest", JsonTime(items.oldest)}};
}

std::string Items(const WaitingItems& items, const char* what) {
  std::string text = std::to_string(items.count) + " " + what;
  if (items.oldest > 0) text += " (the oldest since " + UtcTime(items.oldest) + ")";
  return text;
}

std::string Joined(const std::vector<std::string>& texts) {
  std::string joined;
  for (const std::string& text : texts) joined += (joined.empty() ? "" : ", ") + text;
  return joined;
}

void PrintText(const DeliveryStatus& status) {
  std::string configuration = status.configPath.empty() ? "no path (no client name or job "
                                                          "results directory)"
                                                        : status.configPath;
  if (!status.configPath.empty()) {
    configuration += status.configInstalled
                         ? ": " + std::to_string(status.configRules) + " rules, installed " +
                               UtcTime(status.configChanged)
                         : ": not installed";
  }
  std::vector<std::string> targets;
  if (!status.serverUrl.empty()) targets.push_back("server " + status.serverUrl);
  if (!status.alertmanagerUrls.empty()) {
    targets.push_back("Alertmanager " + Joined(status.alertmanagerUrls));
  }
  std::vector<std::vector<std::string>> rows = {
      {"Client:", status.client},
      {"Configuration:", configuration},
      {"Mail transport:", status.mailTransport.empty() ? "none" : status.mailTransport},
      {"Forwarding to:", targets.empty() ? "none" : Joined(targets)},
      {"Spool:",
       Items(status.spoolPending, "waiting") + ", " + Items(status.spoolRejected, "rejected")},
      {"Outbox:",
       Items(status.outboxDeferred, "deferred") + ", " + Items(status.outboxFailed, "failed")},
      {"Last delivery:", When(status.lastDelivery)},
      {"Last forward:", When(status.lastForward)}};
  for (std::vector<std::string>& row : rows) row[1] = OneLine(row[1]);
  std::cout << FormatTable(rows);
  if (status.attention.empty()) {
    std::cout << "Nothing needs attention.\n";
    return;
  }
  std::cout << "Needs attention:\n";
  for (const std::string& reason : status.attention) std::cout << "  " << OneLine(reason) << "\n";
}

void PrintJsonStatus(const DeliveryStatus& status) {
  PrintJson({{"time", UtcTime(status.now)},
             {"client", status.client},
             {"configuration",
              {{"path", status.configPath},
               {"installed", status.configInstalled},
               {"changed", JsonTime(status.configChanged)},
               {"rules", status.configRules}}},
             {"mailTransport", status.mailTransport},
             {"serverUrl", status.serverUrl},
             {"alertmanagerUrls", status.alertmanagerUrls},
             {"spool",
              {{"pending", JsonItems(status.spoolPending)},
               {"rejected", JsonItems(status.spoolRejected)}}},
             {"outbox",
              {{"deferred", JsonItems(status.outboxDeferred)},
               {"failed", JsonItems(status.outboxFailed)}}},
             {"lastDelivery", JsonTime(status.lastDelivery)},
             {"lastForward", JsonTime(status.lastForward)},
             {"maxWaitSeconds", status.maxWait},
             {"attention", status.attention}});
}

// The text exposition format of Prometheus: every gauge with its help line.
void PrintPrometheus(const DeliveryStatus& status) {
  const struct {
    const char* name;
    const char* help;
    long long value;
  } gauges[] = {
      {"tarnalert_spool_alerts", "Alerts waiting in the spool for the forwarder.",
       status.spoolPending.count},
      {"tarnalert_spool_rejected_alerts", "Alerts a forwarding target refused, in rejected/.",
       status.spoolRejected.count},
      {"tarnalert_spool_oldest_alert_timestamp_seconds",
       "When the oldest alert waiting in the spool was spooled; 0 when none waits.",
       status.spoolPending.oldest},
      {"tarnalert_outbox_deferred_messages", "Mail messages waiting in the outbox for a retry.",
       status.outboxDeferred.count},
      {"tarnalert_outbox_failed_messages", "Mail messages given up, in the outbox's failed/.",
       status.outboxFailed.count},
      {"tarnalert_outbox_oldest_deferred_timestamp_seconds",
       "When the oldest deferred mail message first failed; 0 when none waits.",
       status.outboxDeferred.oldest},
      {"tarnalert_last_delivery_timestamp_seconds",
       "When a mail message was last delivered; 0 when never.", status.lastDelivery},
      {"tarnalert_last_forward_timestamp_seconds",
       "When spooled alerts were last forwarded; 0 when never.", status.lastForward},
      {"tarnalert_configuration_rules", "Notification rules of the installed configuration.",
       status.configRules},
      {"tarnalert_status_attention", "1 when something needs a person (tarnalert status).",
       status.attention.empty() ? 0 : 1},
  };
  for (const auto& gauge : gauges) {
    std::cout << "# HELP " << gauge.name << " " << gauge.help << "\n# TYPE " << gauge.name
              << " gauge\n"
              << gauge.name << " " << gauge.value << "\n";
  }
}

int RunStatus(const std::string& format) {
  DeliveryStatus status;
  tarnalert::ReadDeliveryStatus(&status);
  if (format == "json") {
    PrintJsonStatus(status);
  } else if (format == "prometheus") {
    PrintPrometheus(status);
    for (const std::string& reason : status.attention) PrintError("status", reason);
  } else {
    PrintText(status);
  }
  return status.attention.empty() ? kSuccess : kFailed;
}

}  // namespace

void AddStatusCommand(CLI::App& app, Action& action) {
  auto format = std::make_shared<std::string>("text");
  CLI::App* status = app.add_subcommand(
      "status",
      "Show what waits in the spool and the outbox, what is configured and when delivery last "
      "succeeded");
  status
      ->add_option("--format", *format,
                   "text, json, or prometheus (gauges for node_exporter's textfile collector)")
      ->check(CLI::IsMember({"text", "json", "prometheus"}))
      ->capture_default_str();
  status->footer(
      "Exit codes: 0 nothing needs attention, 1 something does (failed mail, rejected alerts, "
      "something waiting longer than TARNALERT_STATUS_MAX_WAIT, a wrong setting; the reasons "
      "are printed), 2 bad usage.");
  status->callback([format, &action] { action = [format] { return RunStatus(*format); }; });
}

}  // namespace tarnalert_tool
