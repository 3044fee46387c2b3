// `tarnalert config install | show | check`: the cached alert configuration.
// install stores a file the way the management server's push does, show lists
// the rules of the installed configuration, and check reads a file without
// installing it and tells, rule by rule, what the local road would do with it.

#include <cerrno>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "Commands.h"
#include "Json.h"
#include "ToolText.h"

namespace tarnalert_tool {

namespace {

using tarnalert::ConfigFinding;
using tarnalert::ConfigReport;
using tarnalert::RuleSummary;
using tarnalert::Severity;

// Error messages that quote the refused text are cut to this many bytes.
constexpr size_t kQuotedTextLimit = 300;

std::string Format(const RuleSummary& rule) {
  if (!rule.hasEmail) return "-";
  return rule.html ? "HTML" : "text";
}

std::string Enabled(const RuleSummary& rule) {
  const bool disabled = (rule.flags & 1) != 0;
  const bool deleted = (rule.flags & 2) != 0;
  if (disabled && deleted) return "no (disabled, deleted)";
  if (disabled) return "no (disabled)";
  if (deleted) return "no (deleted)";
  return "yes";
}

std::string JoinIds(const std::vector<int>& ids) {
  if (ids.empty()) return "-";
  std::string text;
  for (int id : ids) text += (text.empty() ? "" : ",") + std::to_string(id);
  return text;
}

// --- install -------------------------------------------------------------------------

// What went wrong and what to do, for a person; with `verbose` also every
// message of the error with its code location.
void PrintInstallFailure(const std::string& file, const std::string& text, const CYqError& result,
                         bool verbose) {
  const std::vector<CYqError::Message> messages = result.Messages();  // the cause first
  KTGui::GetAlertDetailForClientResp config;
  const tarnalert::ParseResult parsed = config.Parse(text);
  if (!parsed) {
    PrintError("config install", file + " was not installed: it is not an alert configuration: " +
                                     parsed.Description());
    std::cerr << "Check it with `tarnalert config check " << file << "`.\n";
  } else {
    PrintError("config install", file + " was not installed: " +
                                     (messages.empty() ? "unknown error" : messages.front().text));
    const std::string path = NTAlertProcessClient::GetConfigFileName();
    if (path.empty()) {
      std::cerr << "The platform knows no client name or job results directory: set "
                   "TARNALERT_CLIENT_NAME or TARNALERT_JOB_RESULTS_DIR (see docs/settings.md).\n";
    } else {
      std::cerr << "The configuration goes to " << path
                << "; make its directory writable, or choose another with TARNALERT_STATE_DIR "
                   "or TARNALERT_JOB_RESULTS_DIR (see docs/settings.md).\n";
    }
  }
  if (!verbose) return;
  // Every message with its code location, most recent first. A message that
  // quotes the whole file is shortened.
  for (auto it = messages.rbegin(); it != messages.rend(); ++it) {
    std::cerr << "  " << it->source << "(" << it->line << "): " << it->function << ": "
              << Shorten(it->text, kQuotedTextLimit) << "\n";
  }
}

int RunInstall(const std::string& file, bool verbose, bool quiet) {
  std::string text, error;
  if (!ReadInput(file, &text, &error)) {
    PrintError("config install", error);
    return kFailed;
  }
  const CYqError result = NTAlertProcessClient::UpdateAlertConfig(text);
  if (result.IsError()) {
    PrintInstallFailure(file, text, result, verbose);
    return kFailed;
  }
  if (!quiet) {
    std::cout << "Installed " << file << " as " << NTAlertProcessClient::GetConfigFileName()
              << "\n";
  }
  return kSuccess;
}

// --- show ----------------------------------------------------------------------------

// One rule for scripts: what the road reads of it, null where it is missing.
Json RuleJson(const RuleSummary& rule) {
  return {{"id", rule.hasAlert ? Json(rule.id) : Json()},
          {"name", rule.hasAlert ? Json(rule.name) : Json()},
          {"type", rule.hasAlert ? Json(rule.type) : Json()},
          {"criteria", rule.criteriaIds},
          {"enabled", (rule.flags & 3) == 0},
          {"flags", rule.flags},
          {"recipients", rule.hasRecipients ? Json(rule.recipientCount) : Json()},
          {"format", rule.hasEmail ? Json(rule.html ? "html" : "text") : Json()}};
}

int RunShow(const std::string& format) {
  const bool json = format == "json";
  // Read as the local road reads it: a configuration the library would
  // refuse is not shown.
  std::string path, text;
  const CYqError error = tarnalert::ReadInstalledConfig(&path, &text);
  if (!path.empty() && !json) std::cout << "Configuration: " << OneLine(path) << "\n";
  if (error.Code() == -ENOENT) {
    PrintError("config show",
               "no configuration is installed; install one with `tarnalert config "
               "install FILE`");
    return kFailed;
  }
  if (error.IsError()) {
    PrintError("config show", path.empty()
                                  ? error.Reason() + " (see the debug log " + DebugLogPath() + ")"
                                  : error.Reason());
    return kFailed;
  }
  const ConfigReport report = tarnalert::CheckConfig(text);
  if (!report.parse) {
    PrintError("config show",
               path + " is not an alert configuration: " + report.parse.Description());
    return kFailed;
  }
  if (json) {
    Json rules = Json::array();
    for (const RuleSummary& rule : report.rules) rules.push_back(RuleJson(rule));
    PrintJson({{"file", path}, {"installation", report.installation}, {"rules", rules}});
    return kSuccess;
  }
  std::cout << "Installation: " << OneLine(report.installation) << "\n";
  std::vector<std::vector<std::string>> rows = {
      {"ID", "NAME", "TYPE", "CRITERIA", "ENABLED", "RECIPIENTS", "FORMAT"}};
  for (const RuleSummary& rule : report.rules) {
    rows.push_back({rule.hasAlert ? std::to_string(rule.id) : "-",
                    rule.name.empty() ? "-" : OneLine(rule.name),
                    rule.hasAlert ? std::to_string(rule.type) : "-", JoinIds(rule.criteriaIds),
                    Enabled(rule), rule.hasRecipients ? std::to_string(rule.recipientCount) : "-",
                    Format(rule)});
  }
  std::cout << "Rules: " << rows.size() - 1 << "\n" << FormatTable(rows);
  return kSuccess;
}

// --- check ---------------------------------------------------------------------------

struct CheckOptions {
  std::string file;
  bool strict = false;
  std::string format = "text";
};

std::string Describe(const RuleSummary& rule) {
  std::string text = "Rule [" + std::to_string(rule.index) + "]";
  if (rule.hasAlert) text += " id " + std::to_string(rule.id) + " \"" + rule.name + "\"";
  if (rule.hasEmail) {
    text += ": " + Format(rule) + " e-mail to " + std::to_string(rule.recipientCount) +
            (rule.recipientCount == 1 ? " recipient" : " recipients");
  }
  return text;
}

// "warning: line 3, column 7: message"; an info finding reads as its message.
std::string FindingLine(const ConfigFinding& finding) {
  std::string line =
      finding.severity == Severity::kInfo ? "" : std::string(SeverityName(finding.severity)) + ": ";
  if (finding.where.line != 0) {
    line += "line " + std::to_string(finding.where.line) + ", column " +
            std::to_string(finding.where.column) + ": ";
  }
  return line + finding.message;
}

void PrintText(const std::string& file, const ConfigReport& report) {
  const size_t count = report.rules.size();
  std::cout << OneLine(file) << ": " << count << (count == 1 ? " rule" : " rules")
            << ", installation \"" << OneLine(report.installation) << "\"\n";
  for (const ConfigFinding& finding : report.findings) {
    if (finding.ruleIndex < 0) std::cout << OneLine(FindingLine(finding)) << "\n";
  }
  for (const RuleSummary& rule : report.rules) {
    std::cout << "\n" << OneLine(Describe(rule)) << "\n";
    bool any = false;
    for (const ConfigFinding& finding : report.findings) {
      if (finding.ruleIndex != static_cast<int>(rule.index)) continue;
      std::cout << "  " << OneLine(FindingLine(finding)) << "\n";
      any = true;
    }
    if (!any) std::cout << "  ok\n";
  }
}

// One finding for scripts: rule is the rule's id (null for the whole
// configuration), line and column are null where no place is known.
Json FindingJson(const ConfigFinding& finding) {
  const auto place = [&](size_t value) { return finding.where.line == 0 ? Json() : Json(value); };
  return {{"severity", SeverityName(finding.severity)},
          {"code", finding.code},
          {"rule", finding.ruleIndex < 0 ? Json() : Json(finding.ruleId)},
          {"line", place(finding.where.line)},
          {"column", place(finding.where.column)},
          {"message", finding.message}};
}

void PrintJsonReport(const std::string& file, const std::vector<ConfigFinding>& findings) {
  Json list = Json::array();
  size_t errors = 0, warnings = 0;
  for (const ConfigFinding& finding : findings) {
    list.push_back(FindingJson(finding));
    errors += finding.severity == Severity::kError ? 1 : 0;
    warnings += finding.severity == Severity::kWarning ? 1 : 0;
  }
  PrintJson({{"file", file}, {"errors", errors}, {"warnings", warnings}, {"findings", list}});
}

int RunCheck(const CheckOptions& options) {
  const bool json = options.format == "json";
  std::string text, error;
  if (!ReadInput(options.file, &text, &error)) {
    if (json) {
      ConfigFinding unreadable;
      unreadable.severity = Severity::kError;
      unreadable.code = "unreadable";
      unreadable.message = error;
      PrintJsonReport(options.file, {unreadable});
    } else {
      PrintError("config check", error);
    }
    return kFailed;
  }
  const ConfigReport report = tarnalert::CheckConfig(text);
  const size_t errors = report.Count(Severity::kError);
  const size_t warnings = report.Count(Severity::kWarning);
  if (json) {
    PrintJsonReport(options.file, report.findings);
  } else if (!report.parse) {
    PrintError("config check",
               options.file + " is not an alert configuration: " + report.parse.Description());
  } else {
    PrintText(options.file, report);
    const size_t skipped = report.Count(Severity::kInfo);
    std::cout << "\nSummary: " << report.rules.size() - skipped << " examined by the local road, "
              << skipped << " skipped, " << errors << (errors == 1 ? " error, " : " errors, ")
              << warnings << (warnings == 1 ? " warning" : " warnings") << "\n";
  }
  return errors > 0 || (options.strict && warnings > 0) ? kFailed : kSuccess;
}

}  // namespace

void AddConfigCommand(CLI::App& app, Action& action) {
  CLI::App* config = app.add_subcommand("config", "Install, show and check alert configurations");
  config->require_subcommand(1);

  auto installFile = std::make_shared<std::string>();
  auto installVerbose = std::make_shared<bool>(false);
  auto installQuiet = std::make_shared<bool>(false);
  CLI::App* install = config->add_subcommand(
      "install", "Install an alert configuration file as the cached configuration of this client");
  install->add_option("FILE", *installFile, "The configuration (XML); - reads standard input")
      ->required();
  install->add_flag("--verbose", *installVerbose,
                    "On failure also print every message of the error with its code location");
  install->add_flag("--quiet", *installQuiet, "Print nothing when the file was installed");
  install->footer(
      "Exit codes: 0 installed, 1 not installed (why and what to do on "
      "standard error), 2 bad usage.");
  install->callback([installFile, installVerbose, installQuiet, &action] {
    action = [installFile, installVerbose, installQuiet] {
      return RunInstall(*installFile, *installVerbose, *installQuiet);
    };
  });

  CLI::App* show = config->add_subcommand(
      "show", "Print the path of the installed configuration and a table of its rules");
  auto showFormat = std::make_shared<std::string>("text");
  AddFormatOption(show, showFormat.get(),
                  "json (one object: file, installation and the rules with id, name, type, "
                  "criteria, enabled, flags, recipients and format)");
  show->footer("Exit codes: 0 shown, 1 no configuration installed or unreadable, 2 bad usage.");
  show->callback([showFormat, &action] { action = [showFormat] { return RunShow(*showFormat); }; });

  auto checkOptions = std::make_shared<CheckOptions>();
  CLI::App* check = config->add_subcommand(
      "check",
      "Read a configuration without installing it and tell, rule by rule, what the local road "
      "would do: skipped rules and why, tokens nothing fills, subjects that may be cut, "
      "recipients and sender");
  check->add_option("FILE", checkOptions->file, "The configuration (XML); - reads standard input")
      ->required();
  check->add_flag("--strict", checkOptions->strict, "Fail (exit code 1) on warnings too");
  AddFormatOption(check, &checkOptions->format,
                  "json (one object: file, errors, warnings and the findings with severity, "
                  "code, rule id, line, column and message)");
  check->footer(
      "Errors are what loses or leaks mail: an unknown element (its meaning is dropped), a rule "
      "whose recipients are all invalid, an invalid sender address; and a file that is not a "
      "configuration. Exit codes: 0 no error (warnings fail only with --strict), 1 errors (or "
      "--strict and warnings), or the file cannot be read, 2 bad usage.");
  check->callback(
      [checkOptions, &action] { action = [checkOptions] { return RunCheck(*checkOptions); }; });
}

}  // namespace tarnalert_tool
