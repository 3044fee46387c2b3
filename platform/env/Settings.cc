#include "platform/env/Settings.h"

#include <cerrno>
#include <cstdlib>

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

bool ReadWholeNumberSetting(const char* name, long least, long most, const char* unit, long* value,
                            std::string* error) {
  const std::string text = Env::Current()->GetSetting(name);
  if (text.empty()) return true;
  errno = 0;
  char* end = nullptr;
  const long number = std::strtol(text.c_str(), &end, 10);
  if (text.find_first_not_of("0123456789") == std::string::npos && *end == '\0' && errno == 0 &&
      number >= least && number <= most) {
    *value = number;
    return true;
  }
  *error = std::string("TARNALERT_") + name + " is \"" + text + "\"; it must be a whole number " +
           (*unit != '\0' ? std::string("of ") + unit + " " : std::string()) + "from " +
           std::to_string(least) + " to " + std::to_string(most);
  return false;
}

}  // namespace detail
}  // namespace tarnalert
