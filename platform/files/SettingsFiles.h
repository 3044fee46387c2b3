// Settings files: TARNALERT_* settings written as KEY=VALUE lines, which the
// default Env reads besides the environment (docs/settings.md). The files
// are TARNALERT_SETTINGS_FILE alone when that variable is set, else
// /etc/tarnalert/settings.conf then the user's settings.conf; a later file
// overrides an earlier one and the environment overrides both. A file that
// others could change is refused as a whole (ReadTrustedFile).
//
// The process reads its files once, on first use (ProcessSettingsFiles), and
// keeps them for its life: a setting is looked up on every alert, so the
// lookup is a map search. SettingsFiles itself is a plain value, filled by
// Load on one thread and then only read.
#ifndef TARNALERT_PLATFORM_FILES_SETTINGSFILES_H_
#define TARNALERT_PLATFORM_FILES_SETTINGSFILES_H_

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "tarnalert/platform/env/Env.h"
#include "tarnalert/platform/files/SettingsReport.h"

namespace tarnalert {
namespace detail {

// One setting read from a file.
struct FileSetting {
  std::string value;
  std::string file;
  size_t line = 0;
};

// A settings file to read; a missing one is a problem only when it was asked
// for by name.
struct SettingsFilePath {
  std::string path;
  bool required = false;
};

class SettingsFiles {
 public:
  // Reads `paths` in order through `env`. A file that cannot be used, and
  // each line that is not a known setting, is noted in problems() and
  // otherwise left out; the rest of the file still counts.
  void Load(Env* env, const std::vector<SettingsFilePath>& paths);
  // The setting `name` (without the prefix) as the last file gave it; null
  // when no file did.
  const FileSetting* Find(const std::string& name) const;
  const std::vector<std::string>& filesRead() const { return filesRead_; }
  const std::vector<std::string>& problems() const { return problems_; }

 private:
  void Parse(const std::string& path, const std::string& text);

  std::map<std::string, FileSetting, std::less<>> settings_;
  std::vector<std::string> filesRead_;
  std::vector<std::string> problems_;
};

// The files this process reads, from the environment as it is now.
std::vector<SettingsFilePath> SettingsFilePaths();

// The process's settings files, read on first use with the operating system's
// own file calls (an installed Env does not take part).
const SettingsFiles& ProcessSettingsFiles();

// The setting `name` as the default Env answers it: the environment variable
// TARNALERT_<name> when it is set (even to nothing), else the process's
// settings files, else empty. `origin` (when given) learns where it came
// from, with the file and line for kFile.
std::string HostSetting(const std::string& name, EffectiveSetting* origin = nullptr);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_FILES_SETTINGSFILES_H_
