// `tarnalert spool`: the front of the spool forwarder (docs/spool.md,
// docs/alertmanager.md). `forward` sends the spooled alerts to the server
// and to Alertmanager, once or watching until a signal; `list` and `show`
// look at what waits and what was rejected; `retry` and `remove` act on one
// alert.
#include <signal.h>
#include <time.h>

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "Commands.h"
#include "Json.h"
#include "ToolText.h"

namespace tarnalert_tool {

namespace {

volatile std::sig_atomic_t stopSignal = 0;

// Asks the forwarder to stop, and gives way: the next SIGINT or SIGTERM
// ends the tool at once, even in the middle of a request.
void OnStopSignal(int) {
  stopSignal = 1;
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
}

// Sleeps `seconds` in short steps, returning early once a signal asked to
// stop.
void Wait(long seconds) {
  for (long step = 0; step < seconds * 10 && stopSignal == 0; ++step) {
    struct timespec tenth = {0, 100000000};
    ::nanosleep(&tenth, nullptr);
  }
}

struct ForwardOptions {
  std::string url;
  std::vector<std::string> alertmanagerUrls;
  bool once = false;
  bool watch = false;
};

int RunForward(const ForwardOptions& options) {
  tarnalert::ForwarderSettings settings;
  CYqError error =
      tarnalert::ReadForwarderSettings(options.url, options.alertmanagerUrls, &settings);
  if (error.IsError()) {
    PrintError("spool forward", error.Reason());
    return kFailed;
  }
  // A signal lets the alert in flight finish, then ends the round; a second
  // one ends the tool at once.
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  const auto stopRequested = [] { return stopSignal != 0; };

  int failedRounds = 0;
  for (;;) {
    tarnalert::ForwardReport report;
    error = tarnalert::ForwardSpool(settings, stopRequested, &report);
    for (const std::string& line : report.lines) std::cout << line << "\n";
    if (report.sent > 0 || report.rejected > 0) {
      std::cout << report.sent << " sent, " << report.rejected << " rejected.\n";
    }
    std::cout.flush();
    if (error.IsError()) PrintError("spool forward", error.Reason());
    if (report.retryLater && !options.watch) {
      PrintError("spool forward", "the spool was not drained; the alerts stay for the next run");
    }
    const bool failed = error.IsError() || report.retryLater;
    if (!options.watch) return failed ? kFailed : kSuccess;
    if (stopSignal != 0) return kSuccess;
    failedRounds = failed ? failedRounds + 1 : 0;
    Wait(failed ? tarnalert::RetryDelay(failedRounds) : settings.interval);
    if (stopSignal != 0) return kSuccess;
  }
}

int RunList(const std::string& format) {
  std::vector<tarnalert::SpoolEntry> entries;
  const CYqError error = tarnalert::ListSpoolEntries(&entries);
  if (error.IsError()) {
    PrintError("spool list", error.Reason());
    return kFailed;
  }
  if (format == "json") {
    Json alerts = Json::array();
    for (const tarnalert::SpoolEntry& entry : entries) {
      alerts.push_back({{"name", entry.name},
                        {"state", entry.rejected ? "rejected" : "pending"},
                        {"alertType", entry.alertType},
                        {"spooled", UtcTime(entry.spooled)},
                        {"reply", entry.rejected ? Json(entry.reply) : Json()}});
    }
    PrintJson({{"alerts", alerts}});
    return kSuccess;
  }
  if (entries.empty()) {
    std::cout << "The spool is empty.\n";
    return kSuccess;
  }
  const time_t now = tarnalert::Env::Current()->Now();
  std::vector<std::vector<std::string>> rows = {{"NAME", "STATE", "AGE", "ALERT TYPE", "REPLY"}};
  for (const tarnalert::SpoolEntry& entry : entries) {
    rows.push_back({OneLine(entry.name), entry.rejected ? "rejected" : "pending",
                    AgeText(entry.spooled, now), std::to_string(entry.alertType),
                    entry.rejected ? OneLine(entry.reply) : "-"});
  }
  std::cout << FormatTable(rows, TerminalWidth(), {4});
  return kSuccess;
}

int RunShow(const std::string& name) {
  std::string text;
  const CYqError error = tarnalert::ReadSpooledAlert(name, &text);
  if (error.IsError()) {
    PrintError("spool show", error.Reason());
    return kFailed;
  }
  std::cout << text;
  return kSuccess;
}

// A change to one alert of the spool, and its confirmation.
int Change(const char* command, const CYqError& error, const std::string& done, bool quiet) {
  if (error.IsError()) {
    PrintError(command, error.Reason());
    return kFailed;
  }
  if (!quiet) std::cout << done << "\n";
  return kSuccess;
}

}  // namespace

void AddSpoolCommand(CLI::App& app, Action& action) {
  CLI::App* spool =
      app.add_subcommand("spool", "Forward, list, retry or remove the alerts for the server");
  spool->require_subcommand(1);

  auto options = std::make_shared<ForwardOptions>();
  CLI::App* forward = spool->add_subcommand(
      "forward",
      "Send the spooled alerts, oldest first, to the server in HTTPS POSTs and to Alertmanager");
  forward->add_option("--url", options->url,
                      "The server's https:// URL (default: TARNALERT_SERVER_URL)");
  forward->add_option("--alertmanager", options->alertmanagerUrls,
                      "The base URL of an Alertmanager instance; repeat for each instance of "
                      "the cluster (default: TARNALERT_ALERTMANAGER_URLS)");
  CLI::Option* once = forward->add_flag("--once", options->once, "Send what is spooled and exit");
  forward
      ->add_flag("--watch", options->watch,
                 "Keep sending until SIGINT or SIGTERM (which let the alert in flight finish; a "
                 "second one ends at once), polling every TARNALERT_FORWARD_INTERVAL seconds")
      ->excludes(once);
  forward->footer(
      "Exit codes: 0 the spool was drained (or --watch was stopped by a signal), 1 an alert "
      "must wait for a retry (no Alertmanager instance accepted it, or the server did not) or a "
      "setting is wrong (the reason is on standard error), 2 bad usage.");
  forward->callback([options, &action] { action = [options] { return RunForward(*options); }; });

  CLI::App* list = spool->add_subcommand(
      "list",
      "Show the alerts waiting to be sent, oldest first, then those the server rejected, with "
      "the first line of its reply");
  auto format = std::make_shared<std::string>("text");
  AddFormatOption(list, format.get(),
                  "json (one object: the alerts with name, state, alertType, spooled and "
                  "reply)");
  list->callback([format, &action] { action = [format] { return RunList(*format); }; });

  auto name = std::make_shared<std::string>();
  CLI::App* show = spool->add_subcommand("show", "Print one spooled alert's XML");
  show->add_option("NAME", *name, "An alert's name, as spool list shows it")->required();
  show->footer(
      "Exit codes: 0 printed, 1 no such alert in the spool (names only, not paths), 2 "
      "bad usage.");
  show->callback([name, &action] { action = [name] { return RunShow(*name); }; });

  AddNameCommand(
      spool, "retry", "Put an alert the server rejected back in the spool for the next round",
      "Exit codes: 0 put back, 1 no rejected alert of that name, 2 bad usage.",
      [](const std::string& alert, bool quiet) {
        return Change("spool retry", tarnalert::RetrySpooledAlert(alert),
                      OneLine(alert) + " waits in the spool again.", quiet);
      },
      action);
  AddNameCommand(
      spool, "remove", "Remove an alert from the spool, waiting or rejected; it is not sent",
      "Exit codes: 0 removed, 1 no alert of that name, 2 bad usage.",
      [](const std::string& alert, bool quiet) {
        return Change("spool remove", tarnalert::RemoveSpooledAlert(alert),
                      OneLine(alert) + " was removed.", quiet);
      },
      action);
}

}  // namespace tarnalert_tool
