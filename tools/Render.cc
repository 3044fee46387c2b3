// `tarnalert render`: a dry run of the local road. It sends a failover alert
// with an environment that records the e-mail requests instead of delivering
// them, and prints, for every rule that matched, the subject, the body and the
// serialized request. With --config the road reads a copy of the given file
// in a private directory, so the installed configuration is neither used nor
// touched. The library's log lines of the run are kept off the debug log.
#include <stdlib.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Commands.h"
#include "DryRun.h"
#include "ToolText.h"

namespace tarnalert_tool {

namespace {

// Verbosity that lets every line of the local road through.
constexpr int kFullLogLevel = 10;

struct RenderOptions {
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

// Wraps the dry-run environment: keeps the log lines of the run, and ties
// each e-mail request to the rule whose match line came before it.
class RenderEnv : public tarnalert::EnvWrapper {
 public:
  RenderEnv(DryRunEnv* dryRun, bool fullLog) : EnvWrapper(dryRun), fullLog_(fullLog) {}

  int LogLevel() override {
    const int level = target()->LogLevel();
    return fullLog_ && level < kFullLogLevel ? kFullLogLevel : level;
  }

  void WriteLogLine(const std::string& line) override {
    lines_.push_back(line);
    // "... matched notification [<id>:<name>]. Filling details for notification"
    static const std::string kMatched = "matched notification [";
    static const std::string kEnd = "]. Filling details for notification";
    const std::string text = LogLineText(line);
    const size_t at = text.find(kMatched);
    const size_t end = text.rfind(kEnd);
    if (at == std::string::npos || end == std::string::npos || end < at) return;
    const std::string inside = text.substr(at + kMatched.size(), end - at - kMatched.size());
    const size_t colon = inside.find(':');
    MatchedRule rule;
    rule.id = std::atoi(inside.substr(0, colon).c_str());
    rule.name = colon == std::string::npos ? "" : inside.substr(colon + 1);
    matched_.push_back(rule);
  }

  tarnalert::DeliveryResult DeliverEmail(const std::string& request, int options) override {
    if (!matched_.empty() && !matched_.back().built) {
      matched_.back().built = true;
      matched_.back().request = request;
      matched_.back().deliveryOptions = options;
    }
    return target()->DeliverEmail(request, options);
  }

  const std::vector<std::string>& lines() const { return lines_; }
  const std::vector<MatchedRule>& matched() const { return matched_; }

 private:
  bool fullLog_;
  std::vector<std::string> lines_;
  std::vector<MatchedRule> matched_;
};

// A private directory that holds a copy of a configuration for one run.
class PrivateJobResults {
 public:
  PrivateJobResults() = default;
  PrivateJobResults(const PrivateJobResults&) = delete;
  PrivateJobResults& operator=(const PrivateJobResults&) = delete;
  ~PrivateJobResults() {
    if (directory_.empty()) return;
    ::unlink(File().c_str());
    ::rmdir(directory_.c_str());
  }

  bool Create(const std::string& content, std::string* error) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/tarnalert-render-XXXXXX";
    if (::mkdtemp(&pattern[0]) == nullptr) {
      *error = "cannot create a private directory like " + pattern;
      return false;
    }
    directory_ = pattern;
    return WriteOutput(File(), content, error);
  }
  const std::string& directory() const { return directory_; }

 private:
  std::string File() const { return directory_ + "/alert_config.xml"; }
  std::string directory_;
};

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

int RunRender(const RenderOptions& options) {
  // Which configuration; a file that cannot be read is reported first.
  DryRunEnv dryRun;
  PrivateJobResults privateCopy;
  std::string configPath = options.config;
  std::string text, error;
  if (!options.config.empty()) {
    if (!ReadInput(options.config, &text, &error)) {
      PrintError("render", error);
      return kFailed;
    }
    if (!privateCopy.Create(text, &error)) {
      PrintError("render", error);
      return kFailed;
    }
    dryRun.set_job_results_directory(privateCopy.directory());
  } else {
    configPath = NTAlertProcessClient::GetConfigFileName();
    if (configPath.empty()) {
      PrintError("render",
                 "the installed configuration has no path: the platform knows no "
                 "client name or job results directory");
      return kFailed;
    }
    if (!ReadInput(configPath, &text, &error)) {
      PrintError("render", error +
                               " (install one with `tarnalert config install FILE` or "
                               "give --config FILE)");
      return kFailed;
    }
  }
  // The run itself is the only decoding of the configuration; the text is
  // not kept beside it. Only when nothing matched is it decoded again, to
  // tell a bad file from one whose rules do not fit.
  text.clear();
  text.shrink_to_fit();

  EvAlertEx alert;
  AddComments(alert, options.comments);
  RenderEnv renderEnv(&dryRun, options.showLog);
  {
    InstalledEnv installed(&renderEnv);
    alert.sendAlert(options.type, options.criteria, options.status);
  }
  if (renderEnv.matched().empty()) {
    KTGui::GetAlertDetailForClientResp config;
    std::string why;
    if (ReadInput(configPath, &text, &error) && !DecodeMessage(text, &config, &why)) {
      PrintError("render", configPath + " is not an alert configuration: " + why);
      return kFailed;
    }
  }

  if (!options.htmlDirectory.empty() && !MakeDirectory(options.htmlDirectory, &error)) {
    PrintError("render", error);
    return kFailed;
  }
  std::map<std::string, int> written;  // file name -> times used in this run
  for (const MatchedRule& rule : renderEnv.matched()) {
    std::cout << "=== Rule " << rule.id << ": " << rule.name << " ===\n";
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
    std::cout << "Delivery options: " << rule.deliveryOptions << "\n";
    std::cout << "Subject: " << subject << "\n";
    std::cout << "Body:\n" << body << "\n";
    std::cout << "--- e-mail request ---\n" << rule.request;
    if (rule.request.empty() || rule.request.back() != '\n') std::cout << "\n";
    if (html && !options.htmlDirectory.empty()) {
      std::string name = "rule-" + std::to_string(rule.id);
      if (const int seen = written[name]++; seen > 0) name += "-" + std::to_string(seen + 1);
      const std::string file = options.htmlDirectory + "/" + name + ".html";
      if (!WriteOutput(file, CompleteDocument(body, subject), &error)) {
        PrintError("render", error);
        return kFailed;
      }
      std::cout << "--- HTML body written to " << file << " ---\n";
    }
    std::cout << "\n";
  }
  if (options.showLog) {
    std::cout << "=== Debug log of the run ===\n";
    for (const std::string& line : renderEnv.lines()) std::cout << LogLineText(line) << "\n";
  }
  if (renderEnv.matched().empty()) {
    PrintError("render", "no rule of " + configPath + " matched alert type " +
                             std::to_string(options.type) + ", criteria " +
                             std::to_string(options.criteria));
    return kFailed;
  }
  return kSuccess;
}

}  // namespace

void AddRenderCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<RenderOptions>();
  CLI::App* render = app.add_subcommand(
      "render",
      "Dry run of a failover alert: print the subject, body and e-mail request of every rule "
      "that matches, without delivering anything");
  render
      ->add_option("--type", options->type,
                   "Alert type; only 74, the client-side failover alert, is evaluated on this "
                   "client")
      ->required();
  render->add_option("--criteria", options->criteria, "Criteria number of the alert")->required();
  render->add_option("--status", options->status,
                     "Status of the alert (takes no part in "
                     "matching)");
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
  render->add_flag("--log", options->showLog,
                   "Also print the debug-log lines of the run (they are not written to the "
                   "debug log)");
  render->footer(
      "Exit codes: 0 at least one rule matched, 1 none matched or the configuration "
      "cannot be read, 2 bad usage.");
  render->callback([options, &exitCode] {
    if (options->type != tarnalert::kFailoverAlertType) {
      throw CLI::ValidationError(
          "--type",
          "only alert type 74 (the client-side failover alert) is evaluated on this "
          "client; other types go to the management server and cannot be rendered");
    }
    exitCode = RunRender(*options);
  });
}

}  // namespace tarnalert_tool
