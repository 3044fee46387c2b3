// Settings with their defaults, read from the Env in force (Env::Current()),
// so that a wrapper's settings also govern the default services it forwards
// to. Each default works for an unprivileged user on a fresh machine; see
// docs/settings.md.
#ifndef TARNALERT_PLATFORM_ENV_SETTINGS_H_
#define TARNALERT_PLATFORM_ENV_SETTINGS_H_

#include <string>

namespace tarnalert {
namespace detail {

// TARNALERT_STATE_DIR, else $XDG_STATE_HOME/tarnalert, else
// $HOME/.local/state/tarnalert, else /tmp/tarnalert-<uid>.
std::string StateDirectory();
// TARNALERT_LOG_FILE, else <state>/log/tarnalert.log.
std::string LogFilePath();
// TARNALERT_SPOOL_DIR, else <state>/spool.
std::string SpoolDirectory();
// TARNALERT_CATALOG_DIR, else <state>/catalog.
std::string CatalogDirectory();
// Creates `path` and its missing parents with mode 0700. True when the
// directory exists afterwards; otherwise false with errno telling why the
// first directory that could not be made was not (ENOTDIR for a file in
// the way).
bool MakeDirectories(const std::string& path);
// The directory part of `path` ("." when it has none).
std::string DirectoryOf(const std::string& path);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_ENV_SETTINGS_H_
