#include "platform/files/SettingsFiles.h"

#include <cerrno>

#include "platform/env/NoDestructor.h"
#include "platform/env/PosixEnv.h"
#include "platform/files/TrustedFile.h"
#include "tarnalert/platform/env/KnownSettings.h"

namespace tarnalert {
namespace detail {

namespace {

constexpr char kPrefix[] = "TARNALERT_";
constexpr size_t kPrefixLength = sizeof kPrefix - 1;
constexpr char kSystemSettingsFile[] = "/etc/tarnalert/settings.conf";
// A settings file is a few lines; anything much larger is not one.
constexpr size_t kMostSettingsFileBytes = 64 * 1024;

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool IsNameCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

bool IsName(const std::string& key) {
  if (key.empty()) return false;
  for (char c : key) {
    if (!IsNameCharacter(c)) return false;
  }
  return true;
}

bool HoldsControl(const std::string& line) {
  for (char c : line) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && c != '\t' && c != '\r') || byte == 0x7f) return true;
  }
  return false;
}

// A value wrapped in a pair of double or single quotes loses them, so a file
// written for a shell or a systemd EnvironmentFile reads the same here.
std::string Unquoted(const std::string& value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace

void SettingsFiles::Load(Env* env, const std::vector<SettingsFilePath>& paths) {
  for (const SettingsFilePath& file : paths) {
    std::string text;
    const CYqError error = ReadTrustedFile(env, "settings file", file.path, FileKeeping::kTrusted,
                                           kMostSettingsFileBytes, &text);
    if (error.IsError()) {
      if (error.Code() == -ENOENT && !file.required) continue;
      problems_.push_back(error.LastMessage() + "; none of its settings is used");
      continue;
    }
    filesRead_.push_back(file.path);
    Parse(file.path, text);
  }
}

void SettingsFiles::Parse(const std::string& path, const std::string& text) {
  size_t number = 0;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = Trimmed(text.substr(start, end - start));
    start = end + 1;
    ++number;
    if (line.empty() || line[0] == '#') continue;
    const std::string where = path + ":" + std::to_string(number) + ": ";
    const size_t equals = line.find('=');
    const std::string key = Trimmed(line.substr(0, equals));
    if (equals == std::string::npos || !IsName(key)) {
      problems_.push_back(where + "not a KEY=VALUE line; ignored");
      continue;
    }
    if (key.compare(0, kPrefixLength, kPrefix) != 0) {
      problems_.push_back(where + key + " is not a tarnalert setting (those begin with " + kPrefix +
                          "); ignored");
      continue;
    }
    const std::string name = key.substr(kPrefixLength);
    if (name == "SETTINGS_FILE") {
      problems_.push_back(where + key + " is read only from the environment; ignored");
      continue;
    }
    if (FindKnownSetting(name) == nullptr) {
      problems_.push_back(where + "unknown setting " + key + "; ignored");
      continue;
    }
    if (HoldsControl(line)) {
      problems_.push_back(where + "the value of " + key + " holds a control character; ignored");
      continue;
    }
    settings_[name] = FileSetting{Unquoted(Trimmed(line.substr(equals + 1))), path, number};
  }
}

const FileSetting* SettingsFiles::Find(const std::string& name) const {
  const auto found = settings_.find(name);
  return found == settings_.end() ? nullptr : &found->second;
}

std::vector<SettingsFilePath> SettingsFilePaths() {
  if (const char* named = PosixEnv::SettingVariable("SETTINGS_FILE")) return {{named, true}};
  std::vector<SettingsFilePath> paths = {{kSystemSettingsFile, false}};
  const std::string user = PosixEnv::UserConfigDirectory();
  if (!user.empty()) paths.push_back({user + "/settings.conf", false});
  return paths;
}

const SettingsFiles& ProcessSettingsFiles() {
  static NoDestructor<SettingsFiles> files([] {
    // The operating system's own calls: an Env installed at the first lookup
    // must not decide what the whole process reads.
    PosixEnv system;
    SettingsFiles loaded;
    loaded.Load(&system, SettingsFilePaths());
    return loaded;
  }());
  return *files;
}

std::string HostSetting(const std::string& name, EffectiveSetting* origin) {
  if (const char* value = PosixEnv::SettingVariable(name)) {
    if (origin != nullptr) origin->origin = SettingOrigin::kEnvironment;
    return value;
  }
  if (const FileSetting* setting = ProcessSettingsFiles().Find(name)) {
    if (origin != nullptr) {
      origin->origin = SettingOrigin::kFile;
      origin->file = setting->file;
      origin->line = setting->line;
    }
    return setting->value;
  }
  if (origin != nullptr) origin->origin = SettingOrigin::kDefault;
  return "";
}

}  // namespace detail

const char* SettingOriginName(SettingOrigin origin) {
  switch (origin) {
    case SettingOrigin::kEnvironment:
      return "environment";
    case SettingOrigin::kFile:
      return "file";
    case SettingOrigin::kDefault:
      return "default";
  }
  return "";
}

SettingsReport ReportSettings() {
  const detail::SettingsFiles& files = detail::ProcessSettingsFiles();
  SettingsReport report;
  report.filesRead = files.filesRead();
  report.problems = files.problems();
  for (const KnownSetting& setting : KnownSettings()) {
    EffectiveSetting effective;
    effective.setting = &setting;
    effective.value = detail::HostSetting(setting.name, &effective);
    if (effective.origin == SettingOrigin::kDefault && setting.resolveDefault != nullptr) {
      effective.value = setting.resolveDefault();
    }
    report.settings.push_back(std::move(effective));
  }
  return report;
}

}  // namespace tarnalert
