// Time of the template text operations on large texts (1 Mi and 4 Mi
// characters, that is 1 MiB and 4 MiB of ASCII template, one token, marker,
// entity or list item every 100 characters), each beside the time of a plain
// copy of the same text. Every iteration starts with cold caches, and the
// least CPU time of the repetitions is kept. After the runs a summary prints,
// per operation, both times for both sizes and the ratio of the 4 Mi time to
// the 1 Mi time: about 4 means linear growth, quadratic work would give 16.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"
#include "tarnalert/alertclient/TemplateText.h"
#include "tarnalert/util/NTBasicLib.h"

namespace {

constexpr size_t kSmall = size_t{1} << 20;
constexpr size_t kLarge = size_t{4} << 20;
constexpr size_t kBlock = 100;  // one token per block
constexpr double kMostLinearRatio = 4.5;
constexpr int kIterations = 10;
constexpr int kRepetitions = 10;

std::string SizeLabel(size_t size) { return std::to_string(size >> 20) + "MiB"; }

// `size` characters made of blocks of kBlock characters, each starting with
// the next of `tokens` in turn, filled up with plain words.
std::wstring BuildText(size_t size, const std::vector<std::wstring>& tokens) {
  static const std::wstring kFiller =
      L" the quick brown fox jumps over the lazy dog 0123456789 pack my box with five dozen "
      L"liquor jugs ";
  std::wstring text;
  text.reserve(size + kBlock);
  for (size_t block = 0; text.size() < size; ++block) {
    const std::wstring& token = tokens[block % tokens.size()];
    text += token;
    text.append(kFiller, 0, kBlock - token.size());
  }
  text.resize(size);
  return text;
}

// One rule applied to an alert, for the member operations.
struct RuleFixture {
  RuleFixture() : client(74, 1, 0, alert), rule(ruleMessage, client) {}
  EvAlertEx alert;
  NTAlertProcessClient client;
  KTGui::AlertDetail ruleMessage;
  NTNotifRuleDetectedAlertProcessing rule;
};

struct Operation {
  std::string name;
  std::vector<std::wstring> tokens;
  // Runs the operation once on `text`, a fresh copy of the input made
  // outside the timing (operations that work in place change it); returns a
  // size of the result so that the work is not optimised away.
  std::function<size_t(std::wstring& text)> run;
};

const std::vector<Operation>& Operations() {
  static const std::vector<Operation> operations = {
      {"Replace",
       {L"<ALERT Name>", L"<alert NAME>"},
       [](std::wstring& text) {
         static RuleFixture fixture;
         fixture.rule.Replace(text, L"<Alert Name>", L"Disk full on host 7");
         return text.size();
       }},
      {"replaceWString",
       {L"MsgHrzSep"},
       [](std::wstring& text) {
         static const std::wstring find = L"MsgHrzSep", with = L"<hr>";
         return replaceWString(text, find, with).size();
       }},
      {"DecodeNewLine",
       {L"MsgNewLine_"},
       [](std::wstring& text) { return DecodeNewLineForNotifMessage(text, true).size(); }},
      {"DecodeMsgTab",
       {L"MsgTab_"},
       [](std::wstring& text) { return DecodeMsgTabForNotifMessage(text, true).size(); }},
      {"htmlEncode",
       {L"<b>&</b>"},
       [](std::wstring& text) { return NTBasicLib::htmlEncode(text.c_str()).size(); }},
      {"htmlDecode",
       {L"&lt;b&gt;&amp;&amp;lt;"},
       [](std::wstring& text) { return NTBasicLib::htmlDecode(text.c_str()).size(); }},
      {"TrimRows",
       {L"<li>Size: Not Applicable</li>", L"<li>Size: 12 GB</li>"},
       [](std::wstring& text) {
         TrimNotApplicableRowsFromHtmlBody(text, 74);
         return text.size();
       }},
  };
  return operations;
}

const std::wstring& Input(const Operation& operation, size_t size) {
  static std::map<std::pair<std::string, size_t>, std::wstring> inputs;
  auto key = std::make_pair(operation.name, size);
  auto found = inputs.find(key);
  if (found == inputs.end()) found = inputs.emplace(key, BuildText(size, operation.tokens)).first;
  return found->second;
}

// Reads a buffer well larger than the processor's caches, so that the next
// iteration starts with nothing of the text or of its own buffers cached, as
// when a freshly loaded template is formatted. Without it the 1 MiB texts
// (4 MB of wide characters, a few buffers of them) stay cached between
// iterations while the 4 MiB texts cannot, and the ratio would compare cache
// with memory rather than the work done.
void EvictCaches() {
  static std::vector<char> buffer(size_t{96} << 20, 1);
  unsigned sum = 0;
  for (size_t at = 0; at < buffer.size(); at += 64) sum += static_cast<unsigned char>(buffer[at]);
  benchmark::DoNotOptimize(sum);
}

void RunOperation(benchmark::State& state, const Operation* operation, size_t size) {
  const std::wstring& input = Input(*operation, size);
  for (auto _ : state) {
    state.PauseTiming();
    std::wstring text = input;
    EvictCaches();
    state.ResumeTiming();
    benchmark::DoNotOptimize(operation->run(text));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size * sizeof(wchar_t)));
}

void RunCopy(benchmark::State& state, const Operation* operation, size_t size) {
  const std::wstring& input = Input(*operation, size);
  for (auto _ : state) {
    state.PauseTiming();
    EvictCaches();
    state.ResumeTiming();
    std::wstring copy = input;
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size * sizeof(wchar_t)));
}

// Prints the runs as the console reporter does and keeps, per benchmark, the
// least CPU time per iteration over the repetitions: CPU time and the minimum
// are the least disturbed by other work on the machine.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  explicit SummaryReporter(OutputOptions options) : ConsoleReporter(options) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "min" && !run.error_occurred) {
        milliseconds_[run.run_name.function_name] = run.GetAdjustedCPUTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // One line per operation; returns false when a ratio is above the limit
  // or a run is missing.
  bool PrintSummary() const {
    bool linear = true;
    std::printf("\n%-18s %12s %12s %12s %12s %9s\n", "operation (CPU ms)", "1MiB", "copy 1MiB",
                "4MiB", "copy 4MiB", "4M/1M");
    for (const Operation& operation : Operations()) {
      const double small = Time(operation.name, kSmall), large = Time(operation.name, kLarge);
      const double copySmall = Time(operation.name + "_copy", kSmall);
      const double copyLarge = Time(operation.name + "_copy", kLarge);
      if (small <= 0 || large <= 0) {  // filtered out or failed
        linear = false;
        continue;
      }
      const double ratio = large / small;
      const bool fits = ratio <= kMostLinearRatio;
      linear = linear && fits;
      std::printf("%-18s %12.3f %12.3f %12.3f %12.3f %9.2f%s\n", operation.name.c_str(), small,
                  copySmall, large, copyLarge, ratio, fits ? "" : "  above 4.5");
    }
    return linear;
  }

 private:
  double Time(const std::string& name, size_t size) const {
    auto found = milliseconds_.find(name + "/" + SizeLabel(size));
    return found == milliseconds_.end() ? 0 : found->second;
  }

  std::map<std::string, double> milliseconds_;
};

}  // namespace

int main(int argc, char** argv) {
  // Keep freed memory in the process: otherwise every iteration on the large
  // texts hands its buffers back to the system and faults fresh pages in,
  // which measures the kernel rather than the operations.
  mallopt(M_MMAP_THRESHOLD, 256 << 20);
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
  const auto least = [](const std::vector<double>& values) {
    return *std::min_element(values.begin(), values.end());
  };
  for (const Operation& operation : Operations()) {
    for (size_t size : {kSmall, kLarge}) {
      const std::string label = "/" + SizeLabel(size);
      for (const auto& [name, run] : {std::make_pair(operation.name + label, RunOperation),
                                      std::make_pair(operation.name + "_copy" + label, RunCopy)}) {
        benchmark::RegisterBenchmark(name.c_str(), run, &operation, size)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(kIterations)
            ->Repetitions(kRepetitions)
            ->ComputeStatistics("min", least)
            ->DisplayAggregatesOnly(true);
      }
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  SummaryReporter reporter(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_Defaults
                                                 : benchmark::ConsoleReporter::OO_Tabular);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const bool linear = reporter.PrintSummary();
  std::printf("%s\n", linear ? "every operation grows linearly (4M/1M at most 4.5)"
                             : "a ratio is above 4.5 or missing (a busy machine can cause it; "
                               "run again to confirm)");
  benchmark::Shutdown();
  return 0;
}
