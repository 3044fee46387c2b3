// Time of the failover road beside what any reader of the same configuration
// must pay: reading the file and parsing it with pugixml (the floor).
//
// Configurations of 10, 100, 1 000 and 10 000 rules are generated from the
// rules of examples/alert_config.xml in two shapes: one rule fits the alert,
// or 40 % of them do. Each alert (EvAlertEx::sendAlert of type 74) is timed
// with the file unchanged since the last alert, and with a file that another
// writer replaces before every alert. Times are thread CPU times, medians of
// interleaved repetitions. Then come alerts per second from one and two
// threads, the fill of the example's HTML rule beside jinja2 rendering the
// same mail, and the goals with the figures measured.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>
#include <pugixml.hpp>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "bench/Goals.h"
#include "platform/event/Catalog.h"
#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"
#include "tarnalert/platform/env/Env.h"
#include "tarnalert/platform/message/Messages.h"
#include "tarnalert/platform/text/FXString.h"
#include "tarnalert/util/NTBasicLib.h"

namespace {

constexpr int kAlertType = 74;
constexpr int kCriteria = 1;
constexpr int kOtherCriteria = 9;
constexpr int kRepetitions = 5;
constexpr size_t kFillBatch = 64;

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool WriteWhole(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) return false;
  }
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

void ReplaceAll(std::string& text, const std::string& find, const std::string& with) {
  for (size_t at = text.find(find); at != std::string::npos; at = text.find(find, at + with.size()))
    text.replace(at, find.size(), with);
}

// The example configuration split into its rules and what surrounds them.
struct ExampleParts {
  std::string head, tail;
  std::vector<std::string> rules;
};

ExampleParts SplitExample(const std::string& text) {
  ExampleParts parts;
  const std::string open = "    <AlertDetail>", close = "</AlertDetail>\n";
  size_t at = text.find(open);
  parts.head = text.substr(0, at);
  while (at != std::string::npos) {
    const size_t end = text.find(close, at) + close.size();
    parts.rules.push_back(text.substr(at, end - at));
    at = text.find(open, end);
    if (at == std::string::npos) parts.tail = text.substr(end);
  }
  return parts;
}

// `count` rules taken from the example in turn, each with its own id; the
// rules that fit select criteria 1, the others criteria 9. With
// `percentFitting` 0 only the first rule (the example's HTML rule) fits.
std::string GenerateConfig(const ExampleParts& parts, size_t count, int percentFitting,
                           const std::string& tarnholdName) {
  std::string text = parts.head;
  for (size_t k = 0; k < count; ++k) {
    std::string rule = parts.rules[k % parts.rules.size()];
    const size_t idAt = rule.find("<id>") + 4;
    rule.replace(idAt, rule.find("</id>") - idAt, std::to_string(1000 + k));
    const bool fits = percentFitting == 0 ? k == 0 : static_cast<int>(k % 10) * 10 < percentFitting;
    const std::string criteria = "<criteriaId>" + std::to_string(fits ? kCriteria : kOtherCriteria);
    for (size_t at = rule.find("<criteriaId>"); at != std::string::npos;
         at = rule.find("<criteriaId>", at + 1)) {
      rule.replace(at, rule.find('<', at + 1) - at, criteria);
    }
    text += rule;
  }
  std::string tail = parts.tail;
  ReplaceAll(tail, "<tarnholdName>Tarnhold Production</tarnholdName>",
             "<tarnholdName>" + tarnholdName + "</tarnholdName>");
  return text + tail;
}

// Settings of the runs: a private job results directory per configuration,
// the e-mail requests built but not delivered, and the debug log dropped (its
// file writes would measure the disk).
class BenchEnv : public tarnalert::EnvWrapper {
 public:
  BenchEnv() : EnvWrapper(tarnalert::Env::Default()) {}
  void set_directory(const std::string* directory) { directory_.store(directory); }
  std::string GetSetting(const std::string& name) override {
    if (name == "CLIENT_NAME") return "bench-client";
    if (name == "JOB_RESULTS_DIR") return *directory_.load();
    if (name == "LOG_FILE") return "/dev/null";
    return target()->GetSetting(name);
  }
  void WriteLogLine(const std::string&) override {}
  // The catalogue is the real one.
  uint64_t CatalogGeneration() override { return target()->CatalogGeneration(); }

 private:
  std::atomic<const std::string*> directory_{nullptr};
};

BenchEnv* TheEnv() {
  static BenchEnv* env = new BenchEnv;  // installed until exit
  return env;
}

// One generated configuration in its own directory, with a second text that
// differs from the first by the installation name.
struct Configuration {
  std::string label;  // "1000/one", "10000/40%"
  size_t rules = 0;
  bool oneFits = true;
  std::string directory, path;
  std::string texts[2];
};

std::vector<std::unique_ptr<Configuration>>& Configurations() {
  static std::vector<std::unique_ptr<Configuration>> all;
  return all;
}

std::string MakeDirectory() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tarnalert-bench-XXXXXX";
  if (::mkdtemp(&pattern[0]) == nullptr) return "";
  return pattern;
}

void Prepare(Configuration& config) {
  TheEnv()->set_directory(&config.directory);
  WriteWhole(config.path, config.texts[0]);
}

void Alert(EvAlertEx& alert) { alert.sendAlert(kAlertType, kCriteria, 0); }

void BM_AlertUnchanged(benchmark::State& state, Configuration* config) {
  Prepare(*config);
  EvAlertEx alert;
  Alert(alert);  // decoded once before the timing
  for (auto _ : state) Alert(alert);
}

// The file replaced, outside the timing, before every alert: by the other
// text (`change`), or by the same text, which shows what the write alone
// costs the alert (caches the writer left cold).
void AlertAfterWrites(benchmark::State& state, Configuration* config, bool change) {
  Prepare(*config);
  EvAlertEx alert;
  size_t turn = 0;
  for (auto _ : state) {
    state.PauseTiming();
    WriteWhole(config->path, config->texts[change ? ++turn % 2 : 0]);
    state.ResumeTiming();
    Alert(alert);
  }
}

void BM_AlertChanged(benchmark::State& state, Configuration* config) {
  AlertAfterWrites(state, config, true);
}

void BM_AlertRewritten(benchmark::State& state, Configuration* config) {
  AlertAfterWrites(state, config, false);
}

void ParseFloor(const Configuration& config) {
  pugi::xml_document document;
  benchmark::DoNotOptimize(document.load_file(config.path.c_str()));
}

void BM_Floor(benchmark::State& state, Configuration* config) {
  Prepare(*config);
  for (auto _ : state) ParseFloor(*config);
}

// The floor with the file replaced by the other text before every parse, as
// the changed alerts have it.
void BM_FloorChanged(benchmark::State& state, Configuration* config) {
  Prepare(*config);
  size_t turn = 0;
  for (auto _ : state) {
    state.PauseTiming();
    WriteWhole(config->path, config->texts[++turn % 2]);
    state.ResumeTiming();
    ParseFloor(*config);
  }
}

void BM_AlertThreads(benchmark::State& state, Configuration* config) {
  if (state.thread_index() == 0) Prepare(*config);
  EvAlertEx alert;
  for (auto _ : state) Alert(alert);
  state.SetItemsProcessed(state.iterations());
}

// The example configuration decoded, with its HTML rule (the first rule).
struct Example {
  std::string text;
  KTGui::GetAlertDetailForClientResp config;
};

const Example& TheExample() {
  static const Example* example = [] {
    auto* made = new Example;
    made->text = ReadWhole(TARNALERT_SOURCE_DIR "/examples/alert_config.xml");
    made->config.unserialize(made->text);
    return made;
  }();
  return *example;
}

// FormatMessage of the example's HTML rule on fresh rule objects whose token
// values were collected outside the timing. Without `firstOfAlert` they are
// the rules of one alert, filled within the alert's catalogue scope as the
// road fills them; with it each has a client (an alert) of its own, so
// nothing one fill looked up serves the next.
void BM_FillHtmlRule(benchmark::State& state, bool firstOfAlert) {
  TheEnv()->set_directory(&Configurations().front()->directory);
  EvAlertEx alert;
  alert.sendAlert(kAlertType, kCriteria, 0);  // stamps the record
  auto newClient = [&alert] {
    auto client = std::make_unique<NTAlertProcessClient>(kAlertType, kCriteria, 0, alert);
    client->alertConfig = TheExample().config;
    return client;
  };
  const std::unique_ptr<NTAlertProcessClient> shared = newClient();
  struct Fill {
    std::unique_ptr<NTAlertProcessClient> client;  // its own, or none
    std::unique_ptr<NTNotifRuleDetectedAlertProcessing> processing;
  };
  std::vector<Fill> batch;
  std::wstring subject;
  for (auto _ : state) {
    state.PauseTiming();
    batch.clear();
    for (size_t i = 0; i < kFillBatch; ++i) {
      Fill fill;
      if (firstOfAlert) fill.client = newClient();
      NTAlertProcessClient& client = firstOfAlert ? *fill.client : *shared;
      HqMessageBase& rule =
          client.alertConfig.list(KTGui::GetAlertDetailForClientResp::alertDetails).front();
      fill.processing = std::make_unique<NTNotifRuleDetectedAlertProcessing>(rule, client);
      fill.processing->MatchAlert();
      fill.processing->alertNotifMsg =
          KTGui::AlertNotifMsg(rule.list(KTGui::AlertDetail::notifMessages)[1]);
      batch.push_back(std::move(fill));
    }
    state.ResumeTiming();
    std::optional<tarnalert::detail::CatalogScope> alertScope;
    if (!firstOfAlert) alertScope.emplace();
    for (Fill& fill : batch) benchmark::DoNotOptimize(fill.processing->FormatMessage(subject));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kFillBatch));
}

// The example's HTML rule as a jinja2 template: every token becomes a
// variable, and the values are those the fill of the same rule puts in.
std::string JinjaTemplate(std::map<std::string, std::string>* values) {
  const HqMessageBase& rule =
      TheExample().config.findList(KTGui::GetAlertDetailForClientResp::alertDetails)->front();
  std::string text = rule.findList(KTGui::AlertDetail::notifMessages)
                         ->at(1)
                         .get(KTGui::AlertNotifMsg::htmlTemplate);
  const std::pair<const char*, const char*> tokens[] = {
      {"<Alert Name>", "Client failover - operations report"},
      {"<Tarnhold Name>", "Tarnhold Production"},
      {"<Alert ID>", "101"},
      {"<Alert Category - Type>", "Client - Client Failover"},
      {"<Detected Criteria>", "The client failed over to its standby"},
      {"<Severity>", "Major"},
      {"<Severity Level>", "2"},
      {"<Detected Time>", "Sun Dec  6 14:54:55 2026"},
      {"<Detected Time (UTC)>", "Sun Dec  6 14:54:55 2026"},
      {"<Comments>", "Not Applicable"}};
  int n = 0;
  for (const auto& [token, value] : tokens) {
    const std::string name = "t" + std::to_string(n++);
    ReplaceAll(text, NTBasicLib::htmlEncode(token), "{{ " + name + " }}");
    ReplaceAll(text, token, "{{ " + name + " }}");
    (*values)[name] = value;
  }
  ReplaceAll(text, "MsgHrzSep", "<br> {{ hr }}<br> ");
  (*values)["hr"] = std::string(65, '=');
  return text;
}

std::string PythonString(const std::string& text) {
  std::string out = "'";
  for (unsigned char c : text) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
    out += (c >= 0x20 && c < 0x7f && c != '\'' && c != '\\') ? std::string(1, c) : escaped;
  }
  return out + "'";
}

// Microseconds per render of jinja2 (median of batches in one interpreter),
// or a negative value with `why` set.
double JinjaMicroseconds(std::string* why) {
  std::map<std::string, std::string> values;
  const std::string source = JinjaTemplate(&values);
  std::string script =
      "import sys, time\n"
      "try:\n    import jinja2\n"
      "except ImportError:\n    print('missing'); sys.exit(0)\n"
      "t = jinja2.Environment(autoescape=True).from_string(" +
      PythonString(source) + ")\nv = {";
  for (const auto& [name, value] : values) script += "'" + name + "': " + PythonString(value) + ",";
  script +=
      "}\nruns = []\n"
      "for batch in range(15):\n"
      "    start = time.process_time()\n"
      "    for i in range(2000): t.render(**v)\n"
      "    runs.append((time.process_time() - start) / 2000 * 1e6)\n"
      "runs.sort(); print(runs[len(runs) // 2])\n";
  const std::string directory = MakeDirectory();
  const std::string path = directory + "/peer.py";
  WriteWhole(path, script);
  std::string output;
  if (FILE* pipe = ::popen(("/usr/bin/python3 " + path + " 2>&1").c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    ::pclose(pipe);
  }
  ::unlink(path.c_str());
  ::rmdir(directory.c_str());
  if (output.rfind("missing", 0) == 0) {
    *why = "jinja2 is missing (Debian package python3-jinja2): peer comparison skipped";
    return -1;
  }
  char* end = nullptr;
  const double micros = std::strtod(output.c_str(), &end);
  if (end == output.c_str()) {
    *why = "/usr/bin/python3 did not run the peer comparison: " + output;
    return -1;
  }
  return micros;
}

}  // namespace

int main(int argc, char** argv) {
  tarnalert::Env::Install(TheEnv());
  const ExampleParts parts = SplitExample(TheExample().text);
  for (size_t rules : {10, 100, 1000, 10000}) {
    for (bool oneFits : {true, false}) {
      auto config = std::make_unique<Configuration>();
      config->rules = rules;
      config->oneFits = oneFits;
      config->label = std::to_string(rules) + (oneFits ? "/one" : "/40%");
      config->directory = MakeDirectory();
      config->path = config->directory + "/alert_config.xml";
      for (int i = 0; i < 2; ++i) {
        config->texts[i] =
            GenerateConfig(parts, rules, oneFits ? 0 : 40, "Tarnhold " + std::to_string(i));
      }
      Configurations().push_back(std::move(config));
    }
  }
  for (const auto& config : Configurations()) {
    Configuration* c = config.get();
    for (const auto& [name, run] :
         {std::make_pair("alert_unchanged/", BM_AlertUnchanged),
          std::make_pair("alert_changed/", BM_AlertChanged), std::make_pair("floor/", BM_Floor)}) {
      benchmark::RegisterBenchmark((name + c->label).c_str(), run, c)
          ->Unit(benchmark::kMillisecond)
          ->MinTime(0.2)
          ->Repetitions(kRepetitions);
    }
  }
  // What writing the file costs the alert that follows, where it weighs most.
  Configuration* ten = Configurations()[0].get();  // 10/one
  for (const auto& [name, run] : {std::make_pair("alert_rewritten/", BM_AlertRewritten),
                                  std::make_pair("floor_changed/", BM_FloorChanged)}) {
    benchmark::RegisterBenchmark((name + ten->label).c_str(), run, ten)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(0.2)
        ->Repetitions(kRepetitions);
  }
  Configuration* thousand = Configurations()[4].get();  // 1000/one
  benchmark::RegisterBenchmark("alert_threads/1000/one", BM_AlertThreads, thousand)
      ->Unit(benchmark::kMillisecond)
      ->MinTime(0.5)
      ->UseRealTime()
      ->Threads(1)
      ->Threads(2)
      ->Repetitions(kRepetitions);
  for (bool firstOfAlert : {false, true}) {
    benchmark::RegisterBenchmark(firstOfAlert ? "fill_html_rule_first" : "fill_html_rule",
                                 BM_FillHtmlRule, firstOfAlert)
        ->Unit(benchmark::kMicrosecond)
        ->Repetitions(kRepetitions);
  }

  std::vector<char*> args(argv, argv + argc);
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, &interleave[0]);
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  MedianReporter reporter(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_Defaults
                                                : benchmark::ConsoleReporter::OO_Tabular);
  benchmark::RunSpecifiedBenchmarks(&reporter);

  std::printf("\nFailover alert beside the floor (read + pugixml parse), median thread CPU ms\n");
  std::printf("%-11s %9s %9s %9s %10s %9s %10s\n", "rules", "file KiB", "floor", "unchanged",
              "/floor", "changed", "/floor");
  std::map<std::string, double> ratio;
  for (const auto& config : Configurations()) {
    const double floor = reporter.Cpu("floor/" + config->label);
    const double same = reporter.Cpu("alert_unchanged/" + config->label);
    const double changed = reporter.Cpu("alert_changed/" + config->label);
    if (floor <= 0) continue;
    ratio["unchanged/" + config->label] = same / floor;
    ratio["changed/" + config->label] = changed / floor;
    std::printf("%-11s %9zu %9.3f %9.3f %10.2f %9.3f %10.2f\n", config->label.c_str(),
                config->texts[0].size() / 1024, floor, same, same / floor, changed,
                changed / floor);
  }

  const double rewritten = reporter.Cpu("alert_rewritten/10/one");
  const double floorChanged = reporter.Cpu("floor_changed/10/one");
  if (rewritten > 0 && floorChanged > 0) {
    std::printf(
        "10/one after a write of the file: alert with the same text %.3f, floor with the other"
        " text %.3f; changed/that floor %.2f\n",
        rewritten, floorChanged, reporter.Cpu("alert_changed/10/one") / floorChanged);
  }

  const double one = reporter.Real("alert_threads/1000/one/threads:1");
  const double two = reporter.Real("alert_threads/1000/one/threads:2");
  const double perSecondOne = one > 0 ? 1000.0 / one : 0, perSecondTwo = two > 0 ? 1000.0 / two : 0;
  std::printf(
      "\nAlerts per second, 1 000 rules (one fits), wall time: 1 thread %.0f, 2 threads %.0f"
      " (x%.2f)\n",
      perSecondOne, perSecondTwo, perSecondOne > 0 ? perSecondTwo / perSecondOne : 0);

  const double fill = reporter.Cpu("fill_html_rule") / kFillBatch;
  const double fillFirst = reporter.Cpu("fill_html_rule_first") / kFillBatch;
  std::string why;
  const double jinja = JinjaMicroseconds(&why);
  std::printf("\nExample HTML rule: tarnalert fill %.2f us (as the first rule of an alert %.2f us)",
              fill, fillFirst);
  if (jinja > 0) {
    std::printf(", jinja2 render %.2f us (x%.2f, first x%.2f)\n", jinja, fill / jinja,
                fillFirst / jinja);
  } else {
    std::printf("\n%s\n", why.c_str());
  }

  PrintGoals({
      {"unchanged configuration, one rule fits, 1 000 rules: alert/floor",
       ratio["unchanged/1000/one"], 0.5, true},
      {"unchanged configuration, one rule fits, 10 000 rules: alert/floor",
       ratio["unchanged/10000/one"], 0.5, true},
      {"configuration changed before every alert, 1 000 rules: alert/floor",
       ratio["changed/1000/one"], 2.5, true},
      {"configuration changed before every alert, 10 000 rules: alert/floor",
       ratio["changed/10000/one"], 2.5, true},
      {"40 % of 10 000 rules fit: alert/floor", ratio["unchanged/10000/40%"], 4.0, true},
      {"fill of the example HTML rule / jinja2 render", jinja > 0 ? fill / jinja : 0, 0.5, true},
      // Most installations have a few dozen rules, where what every alert
      // pays whatever its rules dominates.
      {"unchanged configuration, one rule fits, 10 rules: alert/floor", ratio["unchanged/10/one"],
       1.0, true},
      {"configuration changed before every alert, 10 rules: alert/floor", ratio["changed/10/one"],
       3.0, true},
      {"fill of the HTML rule as the first rule of a fresh alert / jinja2",
       jinja > 0 ? fillFirst / jinja : 0, 1.0, true},
      // Alerts read the configuration under its lock, so threads wait for
      // each other's reads.
      {"alerts per second, 2 threads / 1 thread",
       perSecondOne > 0 ? perSecondTwo / perSecondOne : 0, 0, false},
  });
  for (const auto& config : Configurations()) {
    ::unlink(config->path.c_str());
    ::rmdir(config->directory.c_str());
  }
  benchmark::Shutdown();
  return 0;
}
