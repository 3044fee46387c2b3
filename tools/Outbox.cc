// `tarnalert outbox`: the front of the mail outbox (docs/delivery.md).
// `flush` retries the deferred messages that are due (every one with
// --all); `list` shows what waits and what was given up; `retry` and
// `remove` act on one message.
#include <ctime>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "Commands.h"
#include "Json.h"
#include "ToolText.h"

namespace tarnalert_tool {

namespace {

// The exit code of a flush that found another one at work.
constexpr int kAnotherFlushRunning = 3;

// With `quiet` the report is printed only when a message was given up, and
// another flush at work is no news.
int RunFlush(bool all, bool quiet) {
  tarnalert::OutboxFlushReport report;
  const CYqError error = tarnalert::FlushOutbox(all, &report);
  const bool shown = !quiet || report.failed > 0;
  for (const std::string& line : report.lines) {
    if (shown) std::cout << line << "\n";
  }
  const bool started = !report.lines.empty() || report.notDue > 0 || !error.IsError();
  if (started && shown)
    std::cout << report.delivered << " delivered, " << report.deferred << " deferred again, "
              << report.failed << " failed, " << report.notDue << " not yet due.\n";
  if (error.IsError()) {
    if (!quiet || !report.anotherFlushRunning) PrintError("outbox flush", error.Reason());
    return report.anotherFlushRunning ? kAnotherFlushRunning : kFailed;
  }
  return kSuccess;
}

Json EntryJson(const tarnalert::OutboxEntry& entry) {
  return {{"name", entry.name},
          {"state", entry.failed ? "failed" : "deferred"},
          {"sender", entry.sender},
          {"recipients", entry.recipients},
          {"subject", entry.subject},
          {"attempts", entry.attempts},
          {"created", UtcTime(entry.created)},
          {"nextTry", entry.failed ? Json() : Json(UtcTime(entry.nextTry))},
          {"lastCode", entry.lastCode},
          {"lastError", entry.lastError}};
}

int RunList(const std::string& format) {
  std::vector<tarnalert::OutboxEntry> entries;
  const CYqError error = tarnalert::ListOutbox(&entries);
  if (error.IsError()) {
    PrintError("outbox list", error.Reason());
    return kFailed;
  }
  if (format == "json") {
    Json messages = Json::array();
    for (const tarnalert::OutboxEntry& entry : entries) messages.push_back(EntryJson(entry));
    PrintJson({{"messages", messages}});
    return kSuccess;
  }
  if (entries.empty()) {
    std::cout << "The outbox is empty.\n";
    return kSuccess;
  }
  const time_t now = tarnalert::Env::Current()->Now();
  std::vector<std::vector<std::string>> rows = {
      {"NAME", "STATE", "AGE", "RECIPIENTS", "LAST ERROR"}};
  for (const tarnalert::OutboxEntry& entry : entries) {
    std::string recipients;
    for (const std::string& recipient : entry.recipients) {
      recipients += (recipients.empty() ? "" : ", ") + recipient;
    }
    rows.push_back({OneLine(entry.name), entry.failed ? "failed" : "deferred",
                    AgeText(entry.created, now), OneLine(recipients), OneLine(entry.lastError)});
  }
  std::cout << FormatTable(rows, TerminalWidth(), {3, 4});
  return kSuccess;
}

// A change to one message of the outbox, and its confirmation; 3 when a
// flush holds the outbox.
int Change(const char* command, const CYqError& error, bool busy, const std::string& done,
           bool quiet) {
  if (error.IsError()) {
    PrintError(command, error.Reason());
    return busy ? kAnotherFlushRunning : kFailed;
  }
  if (!quiet) std::cout << done << "\n";
  return kSuccess;
}

}  // namespace

void AddOutboxCommand(CLI::App& app, Action& action) {
  CLI::App* outbox =
      app.add_subcommand("outbox", "List, retry or remove the mail kept after a failure");
  outbox->require_subcommand(1);
  auto all = std::make_shared<bool>(false);
  auto quiet = std::make_shared<bool>(false);
  CLI::App* flush =
      outbox->add_subcommand("flush", "Retry the deferred messages that are due, oldest first");
  flush->add_flag("--all", *all, "Retry every deferred message now, whatever its back-off");
  flush->add_flag("--quiet", *quiet,
                  "Print nothing unless a message is given up or the flush fails (for cron)");
  flush->footer(
      "Exit codes: 0 the outbox was worked through (messages may be deferred again), 1 it "
      "could not be (the reason is on standard error), 2 bad usage, 3 another flush was "
      "running (this one did nothing).");
  flush->callback(
      [all, quiet, &action] { action = [all, quiet] { return RunFlush(*all, *quiet); }; });
  CLI::App* list = outbox->add_subcommand("list", "Show the deferred and failed messages");
  auto format = std::make_shared<std::string>("text");
  AddFormatOption(list, format.get(),
                  "json (one object: the messages with name, state, sender, recipients, "
                  "subject, attempts, created, nextTry, lastCode and lastError)");
  list->callback([format, &action] { action = [format] { return RunList(*format); }; });

  AddNameCommand(
      outbox, "retry",
      "Move a failed message back to the deferred ones, due at once and counted as new",
      "Exit codes: 0 moved, 1 no failed message of that name, 2 bad usage, 3 a flush was "
      "running (nothing was done).",
      [](const std::string& name, bool quiet) {
        bool busy = false;
        const CYqError error = tarnalert::RetryOutboxMessage(name, &busy);
        return Change("outbox retry", error, busy,
                      OneLine(name) + " waits for the next flush again.", quiet);
      },
      action);
  AddNameCommand(
      outbox, "remove", "Remove a deferred or failed message from the outbox; it is not sent",
      "Exit codes: 0 removed, 1 no message of that name, 2 bad usage, 3 a flush was running "
      "(nothing was done).",
      [](const std::string& name, bool quiet) {
        bool busy = false;
        const CYqError error = tarnalert::RemoveOutboxMessage(name, &busy);
        return Change("outbox remove", error, busy, OneLine(name) + " was removed.", quiet);
      },
      action);
}

}  // namespace tarnalert_tool
