// Where every setting of this process comes from: the environment, a line of
// a settings file, or the default (docs/settings.md). For `tarnalert
// settings` and for services that want to show their configuration.
//
// The report reads the process's settings files as the default Env does (once
// per process) and may be called from any thread.
#ifndef TARNALERT_PLATFORM_FILES_SETTINGSREPORT_H_
#define TARNALERT_PLATFORM_FILES_SETTINGSREPORT_H_

#include <cstddef>
#include <string>
#include <vector>

#include "tarnalert/platform/Export.h"
#include "tarnalert/platform/env/KnownSettings.h"

namespace tarnalert {

enum class SettingOrigin { kEnvironment, kFile, kDefault };

// "environment", "file" or "default".
TARNALERT_EXPORT const char* SettingOriginName(SettingOrigin origin);

struct EffectiveSetting {
  const KnownSetting* setting = nullptr;
  // The value as set, unmasked (show it with MaskedValue). For kDefault what
  // the default works out to here, or empty when setting->defaultText says
  // it all.
  std::string value;
  SettingOrigin origin = SettingOrigin::kDefault;
  std::string file;  // kFile: the file and its line
  size_t line = 0;
};

struct SettingsReport {
  std::vector<std::string> filesRead;  // in the order they were read
  // What was refused or ignored, each a sentence that names the file (and
  // the line): a file others could change, an unreadable file, a line that
  // is not a known setting.
  std::vector<std::string> problems;
  std::vector<EffectiveSetting> settings;  // every known setting, in table order
};

TARNALERT_EXPORT SettingsReport ReportSettings();

}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_FILES_SETTINGSREPORT_H_
