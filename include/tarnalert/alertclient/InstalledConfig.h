// The installed alert configuration as the local road reads it, for a
// program (the tarnalert tool's `render` and `config show`) that shows or
// uses it: the same checked job results directory and the same rule for the
// file (platform/files/Directory.h), so no program reads a configuration the
// library would refuse. Keeps no state; any thread may call it.
#ifndef TARNALERT_ALERTCLIENT_INSTALLEDCONFIG_H_
#define TARNALERT_ALERTCLIENT_INSTALLEDCONFIG_H_

#include <string>

#include "tarnalert/platform/Export.h"
#include "tarnalert/platform/files/CYqError.h"

namespace tarnalert {

// Reads the installed configuration whole into *text; its path
// (NTAlertProcessClient::GetConfigFileName) goes into *path. Fails, with
// *text empty, when there is no path (code -EINVAL), when no configuration
// is installed (-ENOENT: "no configuration is installed at P"), when the
// directory or the file is refused (the reason), or when it cannot be read.
TARNALERT_EXPORT CYqError ReadInstalledConfig(std::string* path, std::string* text);

}  // namespace tarnalert

#endif  // TARNALERT_ALERTCLIENT_INSTALLEDCONFIG_H_
