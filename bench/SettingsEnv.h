// The Env of the mail and forwarder benchmarks: settings from a map, set by
// the benchmark; everything else (files, log, clock, catalogue) is the real
// environment. Belongs to the benchmark's main thread while it sets up.
#ifndef TARNALERT_BENCH_SETTINGSENV_H_
#define TARNALERT_BENCH_SETTINGSENV_H_

#include <map>
#include <string>

#include "tarnalert/platform/env/Env.h"

class SettingsEnv : public tarnalert::EnvWrapper {
 public:
  SettingsEnv() : EnvWrapper(tarnalert::Env::Default()) {}
  std::string GetSetting(const std::string& name) override {
    auto found = settings.find(name);
    return found == settings.end() ? "" : found->second;
  }
  // The catalogue is the real one.
  uint64_t CatalogGeneration() override { return target()->CatalogGeneration(); }
  std::map<std::string, std::string> settings;
};

#endif  // TARNALERT_BENCH_SETTINGSENV_H_
