// `tarnalert render`: a dry run of the local road. It runs a failover alert
// through the road's rule steps with an environment that records the e-mail
// requests instead of delivering them, and prints, for every rule that
// matched, the subject, the body and the serialized request. With --config the
// road uses the given file instead of the installed configuration, which is
// neither used nor touched. The library's log lines of the run are kept off
// the debug log.

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Commands.h"
#include "DeliveryText.h"
#include "DryRun.h"
#include "ToolText.h"

namespace tarnalert_tool {

namespace {

// Verbosity that lets every line of the local road through.
constexpr int kFullLogLevel = 10;

struct RenderOptions {
  std::string at;  // the detection time as given; empty: the clock's
  int type = tarnalert::kFailoverAlertType;
  int criteria = 0;
  int status = 0;
  std::string config;
  std::vector<std::string> comments;
  std::string htmlDirectory;
  bool showLog = false;
};

// One rule that matched the alert, with the request built for it.
struct MatchedRule {
  int id = 0;
  std::string name;
  bool built = false;
  std::string request;
  int deliveryOptions = 0;
};

// The earliest detection time taken: a day after the epoch, so that the
// time is after the epoch in every time zone.
constexpr time_t kEarliestTime = 86400;

// Reads a detection time: seconds since the epoch, or ISO 8601 "YYYY-MM-DD"
// (local midnight) or "YYYY-MM-DDTHH:MM[:SS]" (a blank may stand for the T)
// in local time, or followed by "Z" or "+HH:MM"/"-HH:MM" for that offset from
// UTC. Returns why `text` is not one (empty when it is).
std::string ParseTime(const std::string& text, time_t* time) {
  const std::string refused = "'" + text + "' is neither seconds nor ISO 8601";
  char* end = nullptr;
  errno = 0;
  const long long seconds = std::strtoll(text.c_str(), &end, 10);
  struct tm fields = {};
  int consumed = 0;
  if (!text.empty() && *end == '\0' && errno == 0) {
    *time = static_cast<time_t>(seconds);
  } else if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &fields.tm_year, &fields.tm_mon,
                         &fields.tm_mday, &consumed) != 3) {
    return refused;
  } else {
    const char* rest = text.c_str() + consumed;
    int used = 0;
    if ((*rest == 'T' || *rest == ' ') &&
        std::sscanf(rest + 1, "%2d:%2d%n", &fields.tm_hour, &fields.tm_min, &used) == 2) {
      rest += 1 + used;
      if (*rest == ':') {
        if (std::sscanf(rest, ":%2d%n", &fields.tm_sec, &used) != 1) return refused;
        rest += used;
      }
    } else if (*rest != '\0') {
      return refused;
    }
    if (fields.tm_mon < 1 || fields.tm_mon > 12 || fields.tm_mday < 1 || fields.tm_mday > 31 ||
        fields.tm_hour > 23 || fields.tm_min > 59 || fields.tm_sec > 60) {
      return refused;
    }
    fields.tm_year -= 1900;
    fields.tm_mon -= 1;
    if (*rest == '\0') {
      fields.tm_isdst = -1;
      *time = std::mktime(&fields);
      if (*time == static_cast<time_t>(-1)) return refused;
    } else {
      long offset = 0;
      if (std::strcmp(rest, "Z") != 0) {
        int hours = 0, minutes = 0;
        if ((*rest != '+' && *rest != '-') ||
            std::sscanf(rest + 1, "%2d:%2d%n", &hours, &minutes, &used) != 2 ||
            rest[1 + used] != 0 || hours > 23 || minutes > 59) {
          return refused;
        }
        offset = (*rest == '-' ? -1 : 1) * (hours * 3600L + minutes * 60L);
      }
      *time = ::timegm(&fields) - offset;
    }
  }
  if (*time < kEarliestTime) return "'" + text + "' is before 1970-01-02";
  return "";
}

// Wraps the dry-run environment: keeps the log lines of the run, files each
// e-mail request under the rule being sent, and fixes the clock when a
// detection time is given.
class RenderEnv : public tarnalert::EnvWrapper {
 public:
  RenderEnv(DryRunEnv* dryRun, bool fullLog) : EnvWrapper(dryRun), fullLog_(fullLog) {}

  uint64_t NowMicros() override {
    return fixedTime_ ? static_cast<uint64_t>(*fixedTime_) * 1000000 : target()->NowMicros();
  }
  void set_time(time_t time) { fixedTime_ = time; }

  int LogLevel() override {
    const int level = target()->LogLevel();
    return fullLog_ && level < kFullLogLevel ? kFullLogLevel : level;
  }
  void WriteLogLine(const std::string& line) override { lines_.push_back(line); }

  tarnalert::DeliveryResult DeliverEmail(const std::string& request, int options) override {
    if (current_ != nullptr && !current_->built) {
      current_->built = true;
      current_->request = request;
      current_->deliveryOptions = options;
    }
    return target()->DeliverEmail(request, options);
  }

  // The rule whose notification is being built; null between rules.
  void set_current(MatchedRule* rule) { current_ = rule; }
  const std::vector<std::string>& lines() const { return lines_; }

 private:
  bool fullLog_;
  std::optional<time_t> fixedTime_;
  MatchedRule* current_ = nullptr;
  std::vector<std::string> lines_;
};

// The local road over `config` as sendAlert runs it, rule by rule so that
// each request is known by its rule: the rules the road examines (the same
// skip decision) and that match get their notification built.
std::vector<MatchedRule> RunRoad(KTGui::GetAlertDetailForClientResp config,
                                 const RenderOptions& options, EvAlertEx& alert, RenderEnv* env) {
  alert.alertType = options.type;
  alert.criteria = options.criteria;
  alert.status = options.status != 0 ? options.status : alert.defaultStatus;
  NTAlertProcessClient client(options.type, options.criteria, options.status, alert);
  client.alertConfig = std::move(config);
  HqMessageList& rules = client.alertConfig.list(KTGui::GetAlertDetailForClientResp::alertDetails);
  std::vector<MatchedRule> matched;
  matched.reserve(rules.size());  // the environment points into it
  for (HqMessageBase& rule : rules) {
    if (tarnalert::RuleSkipReason(rule) != tarnalert::RuleSkip::kNone) continue;
    NTNotifRuleDetectedAlertProcessing processing(rule, client);
    if (!processing.MatchAlert()) continue;
    HqMessageBase& idName = rule.child(KTGui::AlertDetail::alert).child(KTGui::AlertInfo::alert);
    MatchedRule& entry = matched.emplace_back();
    entry.id = static_cast<int32_t>(idName.get(KTGui::IdName::id));
    entry.name = idName.get(KTGui::IdName::name);
    env->set_current(&entry);
    processing.SendNotification();
    env->set_current(nullptr);
  }
  return matched;
}

bool StartsWithTag(const std::string& lowered, size_t at, const char* tag) {
  return lowered.compare(at, std::char_traits<char>::length(tag), tag) == 0;
}

// `body` as a document a browser opens as UTF-8 with the subject as title.
// The body of an HTML rule is usually a whole document already; the head
// elements go into its head, else right after its opening html tag, else the
// body is wrapped.
std::string CompleteDocument(const std::string& body, const std::string& subject) {
  std::string lowered = body;
  for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::string head =
      "<meta charset=\"utf-8\"><title>" +
      FXString::ToString(NTBasicLib::htmlEncode(FXString::ToWstring(subject).c_str())) + "</title>";
  for (size_t at = lowered.find('<'); at != std::string::npos; at = lowered.find('<', at + 1)) {
    if (StartsWithTag(lowered, at, "<head>") || StartsWithTag(lowered, at, "<head ")) {
      const size_t close = lowered.find('>', at);
      return "<!DOCTYPE html>\n" + body.substr(0, close + 1) + head + body.substr(close + 1);
    }
  }
  for (size_t at = lowered.find("<html"); at != std::string::npos;
       at = lowered.find("<html", at + 1)) {
    const char next = at + 5 < lowered.size() ? lowered[at + 5] : '\0';
    if (next != '>' && next != ' ' && next != '\n' && next != '\t' && next != '\r') continue;
    const size_t close = lowered.find('>', at);
    if (close == std::string::npos) break;
    return "<!DOCTYPE html>\n" + body.substr(0, close + 1) + "<head>" + head + "</head>" +
           body.substr(close + 1);
  }
  return "<!DOCTYPE html>\n<html><head>" + head + "</head><body>\n" + body + "\n</body></html>\n";
}

// The addresses of the list `field` of `request`, as "Name <address>" where
// a name is given, joined by commas; "(none)" for an empty list.
std::string Addresses(App::EmailInfo& request, const tarnalert::ListField& field) {
  std::string text;
  for (const HqMessageBase& email : request.list(field)) {
    const std::string& name = email.get(App::Email::displayName);
    const std::string& address = email.get(App::Email::address);
    text += (text.empty() ? "" : ", ") + (name.empty() ? address : name + " <" + address + ">");
  }
  return text.empty() ? "(none)" : OneLine(text);
}

int RunRender(const RenderOptions& options) {
  // Which configuration; a file that cannot be read is reported first.
  DryRunEnv dryRun;
  std::string configPath = options.config;
  std::string text, error;
  if (!options.config.empty()) {
    if (!ReadInput(options.config, &text, &error)) {
      PrintError("render", error);
      return kFailed;
    }
  } else if (const CYqError read = tarnalert::ReadInstalledConfig(&configPath, &text);
             read.IsError()) {
    // Read as the local road reads it: a configuration the library would
    // refuse is not rendered.
    PrintError("render",
               read.Reason() + (read.Code() == -ENOENT
                                    ? " (install one with `tarnalert config install FILE` or "
                                      "give --config FILE)"
                                    : ""));
    return kFailed;
  }
  KTGui::GetAlertDetailForClientResp config;
  if (const tarnalert::ParseResult parsed = config.Parse(text); !parsed) {
    PrintError("render", configPath + " is not an alert configuration: " + parsed.Description());
    return kFailed;
  }
  // The decoded configuration is all the run needs; the text is not kept
  // beside it.
  text.clear();
  text.shrink_to_fit();

  EvAlertEx alert;
  AddComments(alert, options.comments);
  RenderEnv renderEnv(&dryRun, options.showLog);
  if (time_t at = 0; !options.at.empty() && ParseTime(options.at, &at).empty()) {
    renderEnv.set_time(at);
  }
  std::vector<MatchedRule> matched;
  {
    tarnalert::ScopedEnv installed(&renderEnv);
    matched = RunRoad(std::move(config), options, alert, &renderEnv);
  }

  // The pages go where the library's own files would: into a directory
  // checked by its rule and held open, each page replacing the old one
  // whole and never written through a link.
  tarnalert::CheckedDirectory htmlDirectory;
  if (!options.htmlDirectory.empty()) {
    if (const CYqError opened = htmlDirectory.Open(options.htmlDirectory); opened.IsError()) {
      PrintError("render", opened.Reason());
      return kFailed;
    }
  }
  std::map<std::string, int> written;  // file name -> times used in this run
  for (const MatchedRule& rule : matched) {
    std::cout << "=== Rule " << rule.id << ": " << OneLine(rule.name) << " ===\n";
    if (!rule.built) {
      std::cout << "Matched, but the rule has no e-mail notification entry: nothing was built.\n\n";
      continue;
    }
    App::EmailInfo request;
    request.unserialize(rule.request);
    const std::string& subject = request.get(App::EmailInfo::subject);
    const std::string& body = request.get(App::EmailInfo::body);
    const bool html = request.get(App::EmailInfo::usedEmbedded) != 0;
    std::cout << "Format: " << (html ? "HTML" : "plain text") << "\n";
    std::cout << "Delivery options: " << DeliveryOptionsText(rule.deliveryOptions) << "\n";
    HqMessageBase& from = request.child(App::EmailInfo::from);
    const std::string& sender = from.get(App::Email::address);
    std::cout << "From: " << (sender.empty() ? "(none)" : OneLine(sender)) << "\n";
    std::cout << "To: " << Addresses(request, App::EmailInfo::toList) << "\n";
    std::cout << "Cc: " << Addresses(request, App::EmailInfo::ccList) << "\n";
    std::cout << "Bcc: " << Addresses(request, App::EmailInfo::bccList) << "\n";
    std::cout << "Subject: " << subject << "\n";
    std::cout << "Body:\n" << body << "\n";
    std::cout << "--- e-mail request ---\n" << rule.request;
    if (rule.request.empty() || rule.request.back() != '\n') std::cout << "\n";
    if (html && !options.htmlDirectory.empty()) {
      std::string name = "rule-" + std::to_string(rule.id);
      if (const int seen = written[name]++; seen > 0) name += "-" + std::to_string(seen + 1);
      const std::string file = options.htmlDirectory + "/" + name + ".html";
      if (const CYqError written =
              htmlDirectory.WriteFile(name + ".html", CompleteDocument(body, subject));
          written.IsError()) {
        PrintError("render", written.Reason());
        return kFailed;
      }
      std::cout << "--- HTML body written to " << file << " ---\n";
    }
    std::cout << "\n";
  }
  if (options.showLog) {
    std::cout << "=== Debug log of the run ===\n";
    for (const std::string& line : renderEnv.lines()) std::cout << line;
  }
  if (matched.empty()) {
    PrintError("render", "no rule of " + configPath + " matched alert type " +
                             std::to_string(options.type) + ", criteria " +
                             std::to_string(options.criteria));
    return kFailed;
  }
  return kSuccess;
}

}  // namespace

void AddRenderCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<RenderOptions>();
  CLI::App* render = app.add_subcommand(
      "render",
      "Dry run of a failover alert: print the subject, body and e-mail request of every rule "
      "that matches, without delivering anything");
  AddNumberOption(render, "--type", options->type,
                  "Alert type; only 74, the client-side failover alert, is evaluated on this "
                  "client",
                  0)
      ->required();
  AddNumberOption(render, "--criteria", options->criteria, "Criteria number of the alert", 0)
      ->required();
  AddNumberOption(render, "--status", options->status,
                  "Status of the alert (takes no part in matching)");
  render
      ->add_option("--config", options->config,
                   "Render with this configuration file instead of the installed one (which "
                   "stays untouched)")
      ->type_name("FILE");
  render->add_option("--comment", options->comments,
                     "A comment that the <Comments> token shows; repeat for several");
  render
      ->add_option("--html-out", options->htmlDirectory,
                   "Also write each HTML body as DIR/rule-<id>.html, a page a browser opens")
      ->type_name("DIR");
  render
      ->add_option("--at", options->at,
                   "Detection time instead of now: seconds since the epoch, or ISO 8601 "
                   "(2026-03-01T09:05:07 in local time, or with Z or +01:00; 2026-03-01 is "
                   "local midnight), from 1970-01-02 on, so that a preview is reproducible")
      ->type_name("TIME")
      ->check(CLI::Validator(
          [](std::string& text) {
            time_t time;
            return ParseTime(text, &time);
          },
          "", "time"));
  render->add_flag("--log", options->showLog,
                   "Also print the debug-log lines of the run (they are not written to the "
                   "debug log)");
  render->footer(
      "Exit codes: 0 at least one rule matched, 1 none matched or the configuration "
      "cannot be read, 2 bad usage.");
  render->callback([options, &action] {
    if (options->type != tarnalert::kFailoverAlertType) {
      throw CLI::ValidationError(
          "--type",
          "only alert type 74 (the client-side failover alert) is evaluated on this "
          "client; other types go to the management server and cannot be rendered");
    }
    action = [options] { return RunRender(*options); };
  });
}

}  // namespace tarnalert_tool
