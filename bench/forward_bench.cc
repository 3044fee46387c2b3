// Draining a spool of 10 000 alerts to an HTTPS server on the loopback
// (Python's http.server with ssl, keep-alive, certificates made for the
// run), next to the same POSTs sent by a plain libcurl loop on one handle.
// The difference is the forwarder's own work per alert: listing, reading
// and removing the file, and the per-alert bookkeeping.
//
// And 10 000 spooled alerts into a real Alertmanager on the loopback (a
// fresh instance for each benchmark), in batches, next to the same alerts
// posted one per request by a plain libcurl loop on one handle.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bench/Goals.h"
#include "bench/SettingsEnv.h"
#include "delivery/spool/AlertSpool.h"
#include "delivery/spool/AlertmanagerAlert.h"
#include "delivery/testing/AlertmanagerTestCluster.h"
#include "delivery/testing/MailTestServer.h"
#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/delivery/SpoolForwarder.h"
#include "tarnalert/platform/env/Env.h"

namespace {

using tarnalert::Env;

constexpr int kAlerts = 10000;

SettingsEnv* bench_env = nullptr;
std::string server_url;
std::string ca_file;
std::string work;

// A spooled alert of a typical size (about 1.5 kB).
std::string Body(int n) {
  std::string body = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<spooledAlert version=\"1\">\n";
  for (int field = 0; field < 30; ++field) {
    body += "  <auxNumber" + std::to_string(field) + ">" + std::to_string(n) + "</auxNumber" +
            std::to_string(field) + ">\n";
  }
  return body + "  <msgString>alert " + std::to_string(n) + "</msgString>\n</spooledAlert>\n";
}

std::string Name(int n, int round = 0) {
  char name[64];
  std::snprintf(name, sizeof name, "20261206T100000.%09dZ-1-1-%d.alert", n, round);
  return name;
}

// Times one forwarding round per iteration over the kAlerts files that
// `fill` writes, untimed, for that round; a round that does not send them
// all ends the benchmark with its reason.
void TimeDrains(benchmark::State& state, const tarnalert::ForwarderSettings& settings,
                const std::function<void(int round)>& fill) {
  int round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    fill(round++);
    state.ResumeTiming();
    tarnalert::ForwardReport report;
    if (tarnalert::ForwardSpool(settings, nullptr, &report).IsError() || report.sent != kAlerts) {
      state.SkipWithError(("not drained: " + report.retryReason).c_str());
      return;
    }
  }
  state.counters["alerts_per_second"] = benchmark::Counter(
      static_cast<double>(kAlerts), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_DrainSpool(benchmark::State& state) {
  const std::string spool = bench_env->settings["SPOOL_DIR"];
  tarnalert::ForwarderSettings settings;
  if (tarnalert::ReadForwarderSettings(server_url, &settings).IsError()) {
    state.SkipWithError("settings");
    return;
  }
  TimeDrains(state, settings, [&](int) {
    for (int n = 0; n < kAlerts; ++n) std::ofstream(spool + "/" + Name(n)) << Body(n);
  });
}
BENCHMARK(BM_DrainSpool)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

size_t Discard(char*, size_t size, size_t count, void*) { return size * count; }

// The same requests from a loop that only posts: no files.
void BM_PlainCurlLoop(benchmark::State& state) {
  std::vector<std::string> bodies;
  for (int n = 0; n < kAlerts; ++n) bodies.push_back(Body(n));
  for (auto _ : state) {
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, server_url.c_str());
    curl_easy_setopt(curl, CURLOPT_CAINFO, ca_file.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Discard);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    for (int n = 0; n < kAlerts; ++n) {
      curl_slist* headers =
          curl_slist_append(nullptr, "Content-Type: application/xml; charset=utf-8");
      headers = curl_slist_append(headers, ("Idempotency-Key: " + Name(n)).c_str());
      headers = curl_slist_append(headers, "Expect:");
      curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
      curl_easy_setopt(curl, CURLOPT_POSTFIELDS, bodies[n].data());
      curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                       static_cast<curl_off_t>(bodies[n].size()));
      long status = 0;
      const CURLcode result = curl_easy_perform(curl);
      curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
      curl_slist_free_all(headers);
      if (result != CURLE_OK || status != 200) {
        curl_easy_cleanup(curl);
        state.SkipWithError("post failed");
        return;
      }
    }
    curl_easy_cleanup(curl);
  }
  state.counters["alerts_per_second"] = benchmark::Counter(
      static_cast<double>(kAlerts), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_PlainCurlLoop)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// A spooled alert of the shape components send: a comment message and two
// text arguments.
std::string SpooledAlert(int n) {
  EvAlertEx alert;
  alert.alertType = 5;
  alert.criteria = 2;
  alert.curEventCode = 0x4a00003f;
  alert.curMessageId = 0x4a000321;  // "%1"
  alert << ("backup of /srv/data/" + std::to_string(n) + " failed").c_str();
  alert.getEventMsgList().push_back({0x4a00003f, 0x4a000321, kArgEndOfMessage, 0, ""});
  alert.curMessageId = 0;
  alert << "job 4711"
        << "storage policy gold";
  return tarnalert::detail::SpoolDocument(alert);
}

// A fresh Alertmanager for one benchmark, so that neither finds the other's
// alerts in its store.
bool StartAlertmanager(tarnalert::test::AlertmanagerTestCluster* cluster, benchmark::State& state,
                       const char* name) {
  const std::string directory = work + "/" + name;
  std::string error;
  if (std::system(("mkdir -p '" + directory + "'").c_str()) != 0 ||
      !cluster->Start(TARNALERT_SOURCE_DIR, directory, 1, &error, false)) {
    state.SkipWithError(("cannot start Alertmanager: " + error).c_str());
    return false;
  }
  return true;
}

void BM_AlertmanagerBatched(benchmark::State& state) {
  tarnalert::test::AlertmanagerTestCluster cluster;
  if (!StartAlertmanager(&cluster, state, "batched")) return;
  const std::string spool = bench_env->settings["SPOOL_DIR"];
  tarnalert::ForwarderSettings settings;
  if (tarnalert::ReadForwarderSettings("", {cluster.url(0)}, &settings).IsError()) {
    state.SkipWithError("settings");
    return;
  }
  TimeDrains(state, settings, [&](int round) {
    for (int n = 0; n < kAlerts; ++n) {
      std::ofstream(spool + "/" + Name(n, round)) << SpooledAlert(n);
    }
  });
}
BENCHMARK(BM_AlertmanagerBatched)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The forwarder's own work for one alert: reading the spool text, mapping
// it and writing its JSON.
void BM_MapOneAlert(benchmark::State& state) {
  const std::string text = SpooledAlert(7);
  tarnalert::detail::AlertNaming naming;
  for (auto _ : state) {
    tarnalert::detail::AlertmanagerAlert alert;
    std::string error, json;
    tarnalert::detail::MakeAlertmanagerAlert(Name(7), text, naming, 1796551200000, 3600, &alert,
                                             &error);
    tarnalert::detail::AppendAlertmanagerJson(alert, &json);
    benchmark::DoNotOptimize(json);
  }
}
BENCHMARK(BM_MapOneAlert)->Unit(benchmark::kMicrosecond);

// The same alerts, as the forwarder maps them, one per request.
void BM_AlertmanagerOnePerRequest(benchmark::State& state) {
  tarnalert::test::AlertmanagerTestCluster cluster;
  if (!StartAlertmanager(&cluster, state, "one-per-request")) return;
  std::vector<std::vector<std::string>> bodies(2);
  tarnalert::detail::AlertNaming naming;
  for (int round = 0; round < 2; ++round) {
    for (int n = 0; n < kAlerts; ++n) {
      tarnalert::detail::AlertmanagerAlert alert;
      std::string error, body = "[";
      tarnalert::detail::MakeAlertmanagerAlert(Name(n, round), SpooledAlert(n), naming,
                                               Env::Current()->NowMicros() / 1000, 3600, &alert,
                                               &error);
      tarnalert::detail::AppendAlertmanagerJson(alert, &body);
      bodies[round].push_back(body + "]");
    }
  }
  const std::string url = cluster.url(0) + "/api/v2/alerts";
  int round = 0;
  for (auto _ : state) {
    CURL* curl = curl_easy_init();
    curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/json");
    headers = curl_slist_append(headers, "Expect:");
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Discard);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    bool failed = false;
    for (const std::string& body : bodies[round % 2]) {
      curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
      curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
      long status = 0;
      failed = curl_easy_perform(curl) != CURLE_OK ||
               curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK ||
               status != 200;
      if (failed) break;
    }
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    ++round;
    if (failed) {
      state.SkipWithError("post failed");
      return;
    }
  }
  state.counters["alerts_per_second"] = benchmark::Counter(
      static_cast<double>(kAlerts), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_AlertmanagerOnePerRequest)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  char pattern[] = "/tmp/tarnalert-forward-bench-XXXXXX";
  work = mkdtemp(pattern);
  tarnalert::test::TestCertificates certificates;
  tarnalert::test::HttpsTestServer server;
  std::string error;
  if (!tarnalert::test::MakeTestCertificates(work, &certificates, &error) ||
      !server.Start(TARNALERT_SOURCE_DIR, "/dev/null", certificates, {}, false, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  server_url = server.url();
  ca_file = certificates.caFile;
  curl_global_init(CURL_GLOBAL_DEFAULT);
  SettingsEnv env;
  env.settings = {{"STATE_DIR", work + "/state"},
                  {"SPOOL_DIR", work + "/spool"},
                  {"LOG_FILE", work + "/tarnalert.log"},
                  {"SERVER_CA_FILE", certificates.caFile}};
  std::system(("mkdir -p '" + work + "/spool'").c_str());
  bench_env = &env;
  Env::Install(&env);
  benchmark::Initialize(&argc, argv);
  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  // Alerts per second of the first over the second: time of the second over
  // the first.
  PrintGoals(
      {{"XML endpoint: spool drain / plain libcurl loop, alerts per second",
        Ratio(reporter.Real("BM_PlainCurlLoop"), reporter.Real("BM_DrainSpool")), 1.0, false},
       {"Alertmanager: batched / one alert per request, alerts per second",
        Ratio(reporter.Real("BM_AlertmanagerOnePerRequest"),
              reporter.Real("BM_AlertmanagerBatched")),
        10.0, false}});
  Env::Install(nullptr);
  server.Stop();
  return std::system(("rm -rf '" + work + "'").c_str()) == 0 ? 0 : 1;
}
