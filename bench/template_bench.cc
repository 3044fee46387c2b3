// Time of the template text operations on large texts (1 MiB and 4 MiB of
// characters, one token, marker, entity or list item every 100 characters),
// each beside the time of a plain copy of the same text. After the runs a
// summary prints, per operation, both times for both sizes and the ratio of
// the 4 MiB time to the 1 MiB time: about 4 means linear growth.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "alert/EvAlertEx.h"
#include "alertclient/EvAlertProcessClient.h"
#include "alertclient/TemplateText.h"
#include "util/NTBasicLib.h"

namespace {

constexpr size_t kSmall = size_t{1} << 20;
constexpr size_t kLarge = size_t{4} << 20;
constexpr size_t kBlock = 100;  // one token per block
constexpr double kMostLinearRatio = 4.5;

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
  // Runs the operation once on `input`; what it returns is kept alive.
  std::function<size_t(const std::wstring& input)> run;
};

const std::vector<Operation>& Operations() {
  static const std::vector<Operation> operations = {
      {"Replace",
       {L"<ALERT Name>", L"<alert NAME>"},
       [](const std::wstring& input) {
         static RuleFixture fixture;
         std::wstring message = input;
         fixture.rule.Replace(message, L"<Alert Name>", L"Disk full on host 7");
         return message.size();
       }},
      {"replaceWString",
       {L"MsgHrzSep"},
       [](const std::wstring& input) {
         static const std::wstring find = L"MsgHrzSep", with = L"<hr>";
         std::wstring text = input;
         return replaceWString(text, find, with).size();
       }},
      {"DecodeNewLine",
       {L"MsgNewLine_"},
       [](const std::wstring& input) { return DecodeNewLineForNotifMessage(input, true).size(); }},
      {"DecodeMsgTab",
       {L"MsgTab_"},
       [](const std::wstring& input) { return DecodeMsgTabForNotifMessage(input, true).size(); }},
      {"htmlEncode",
       {L"<b>&</b>"},
       [](const std::wstring& input) { return NTBasicLib::htmlEncode(input.c_str()).size(); }},
      {"htmlDecode",
       {L"&lt;b&gt;&amp;&amp;lt;"},
       [](const std::wstring& input) { return NTBasicLib::htmlDecode(input.c_str()).size(); }},
      {"TrimRows",
       {L"<li>Size: Not Applicable</li>", L"<li>Size: 12 GB</li>"},
       [](const std::wstring& input) {
         std::wstring body = input;
         TrimNotApplicableRowsFromHtmlBody(body, 74);
         return body.size();
       }},
  };
  return operations;
}

const std::wstring& Input(const Operation& operation, size_t size) {
  static std::map<std::pair<std::string, size_t>, std::wstring> inputs;
  auto key = std::make_pair(operation.name, size);
  auto found = inputs.find(key);
  if (found == inputs.end()) {
    found = inputs.emplace(key, BuildText(size, operation.tokens)).first;
  }
  return found->second;
}

void RunOperation(benchmark::State& state, const Operation* operation, size_t size) {
  const std::wstring& input = Input(*operation, size);
  for (auto _ : state) benchmark::DoNotOptimize(operation->run(input));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size * sizeof(wchar_t)));
}

void RunCopy(benchmark::State& state, const Operation* operation, size_t size) {
  const std::wstring& input = Input(*operation, size);
  for (auto _ : state) {
    std::wstring copy = input;
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size * sizeof(wchar_t)));
}

// Prints every run as the console reporter does and keeps its CPU time
// (steadier than wall time on a busy machine).
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  explicit SummaryReporter(OutputOptions options) : ConsoleReporter(options) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        milliseconds_[run.benchmark_name()] = run.GetAdjustedCPUTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // One line per operation; returns false when a ratio is above the limit.
  bool PrintSummary() const {
    bool linear = true;
    std::printf("\n%-18s %12s %12s %12s %12s %9s\n", "operation (CPU ms)", "1MiB", "copy 1MiB",
                "4MiB ms", "copy 4MiB", "4M/1M");
    for (const Operation& operation : Operations()) {
      const double small = Time(operation.name, kSmall), large = Time(operation.name, kLarge);
      const double copySmall = Time(operation.name + "_copy", kSmall);
      const double copyLarge = Time(operation.name + "_copy", kLarge);
      if (small <= 0 || large <= 0) continue;  // filtered out
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
  for (const Operation& operation : Operations()) {
    for (size_t size : {kSmall, kLarge}) {
      const std::string label = "/" + SizeLabel(size);
      benchmark::RegisterBenchmark((operation.name + label).c_str(), RunOperation, &operation, size)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark((operation.name + "_copy" + label).c_str(), RunCopy, &operation,
                                   size)
          ->Unit(benchmark::kMillisecond);
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  SummaryReporter reporter(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_Defaults
                                                 : benchmark::ConsoleReporter::OO_Tabular);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const bool linear = reporter.PrintSummary();
  std::printf("%s\n", linear ? "every operation grows linearly (4M/1M at most 4.5)"
                             : "some operation grows faster than linearly");
  benchmark::Shutdown();
  return 0;
}
