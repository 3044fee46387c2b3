#include "tarnalert/platform/env/Env.h"

#include <atomic>

namespace tarnalert {

namespace {

std::atomic<Env*> installed_env{nullptr};

}  // namespace

Env::~Env() = default;

// Env::Default() is defined with the default hooks, in delivery/DefaultEnv.cc.

Env* Env::Current() {
  Env* env = installed_env.load(std::memory_order_acquire);
  return env ? env : Default();
}

Env* Env::Install(Env* env) { return installed_env.exchange(env, std::memory_order_acq_rel); }

uint64_t Env::NewCatalogGeneration() {
  static std::atomic<uint64_t> next{1};  // 0 stands for "not said"
  return next.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace tarnalert
