#include "platform/env/Settings.h"

#include "tarnalert/platform/env/Env.h"

namespace tarnalert {
namespace detail {

namespace {

// The setting `name`, else `underState` appended to the state directory.
std::string SettingOr(const char* name, const char* underState) {
  std::string value = Env::Current()->GetSetting(name);
  return value.empty() ? StateDirectory() + underState : value;
}

}  // namespace

std::string StateDirectory() {
  Env* env = Env::Current();
  std::string directory = env->GetSetting("STATE_DIR");
  return directory.empty() ? env->UserStateDirectory() : directory;
}

std::string LogFilePath() { return SettingOr("LOG_FILE", "/log/tarnalert.log"); }

std::string SpoolDirectory() { return SettingOr("SPOOL_DIR", "/spool"); }

std::string CatalogDirectory() { return SettingOr("CATALOG_DIR", "/catalog"); }

std::string DefaultJobResultsDirectory() { return StateDirectory() + "/jobresults"; }

}  // namespace detail
}  // namespace tarnalert
