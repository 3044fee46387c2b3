// Settings with their defaults, read from the Env in force (Env::Current()),
// so that a wrapper's settings also govern the default services it forwards
// to. Each default works for an unprivileged user on a fresh machine; see
// docs/settings.md.
#ifndef TARNALERT_PLATFORM_ENV_SETTINGS_H_
#define TARNALERT_PLATFORM_ENV_SETTINGS_H_

#include <string>

namespace tarnalert {
namespace detail {

// TARNALERT_STATE_DIR, else the user's state directory
// (Env::UserStateDirectory).
std::string StateDirectory();
// TARNALERT_LOG_FILE, else <state>/log/tarnalert.log.
std::string LogFilePath();
// TARNALERT_SPOOL_DIR, else <state>/spool.
std::string SpoolDirectory();
// TARNALERT_CATALOG_DIR, else <state>/catalog.
std::string CatalogDirectory();
// <state>/jobresults: the job results directory when JOB_RESULTS_DIR is not set.
std::string DefaultJobResultsDirectory();

// The whole number of the setting `name` into `value`, which keeps its
// default when the setting is not set. False, with a sentence naming the
// setting in `error`, for a value that is not a whole number from `least` to
// `most`; `unit` ("seconds", or empty) says what the number counts.
bool ReadWholeNumberSetting(const char* name, long least, long most, const char* unit, long* value,
                            std::string* error);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_ENV_SETTINGS_H_
