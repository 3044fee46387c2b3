// `tarnalert settings`: every setting as this process sees it, with where it
// came from (the environment, a line of a settings file, or the default);
// secrets masked.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "Commands.h"
#include "Json.h"
#include "ToolText.h"

namespace tarnalert_tool {

namespace {

using tarnalert::EffectiveSetting;
using tarnalert::SettingOrigin;

// "FILE:LINE", "environment" or "default".
std::string Origin(const EffectiveSetting& effective) {
  if (effective.origin == SettingOrigin::kFile) {
    return effective.file + ":" + std::to_string(effective.line);
  }
  return tarnalert::SettingOriginName(effective.origin);
}

// The value for a person: a default that is a description stands in
// parentheses; a value set to nothing shows as "".
std::string ShownValue(const EffectiveSetting& effective) {
  if (effective.origin == SettingOrigin::kDefault && effective.value.empty()) {
    return std::string("(") + effective.setting->defaultText + ")";
  }
  if (effective.value.empty()) return "\"\"";
  return OneLine(tarnalert::MaskedValue(*effective.setting, effective.value));
}

void PrintText(const tarnalert::SettingsReport& report) {
  std::cout << "Settings files read: ";
  if (report.filesRead.empty()) std::cout << "none";
  for (size_t i = 0; i < report.filesRead.size(); ++i) {
    std::cout << (i == 0 ? "" : ", ") << report.filesRead[i];
  }
  std::cout << "\n";
  std::vector<std::vector<std::string>> rows = {{"SETTING", "VALUE", "FROM"}};
  for (const EffectiveSetting& effective : report.settings) {
    rows.push_back({effective.setting->variable(), ShownValue(effective), Origin(effective)});
  }
  std::cout << FormatTable(rows);
}

void PrintJsonReport(const tarnalert::SettingsReport& report) {
  Json settings = Json::array();
  for (const EffectiveSetting& effective : report.settings) {
    const bool described = effective.origin == SettingOrigin::kDefault && effective.value.empty();
    settings.push_back({
        {"name", effective.setting->variable()},
        {"value",
         described ? Json() : Json(tarnalert::MaskedValue(*effective.setting, effective.value))},
        {"origin", tarnalert::SettingOriginName(effective.origin)},
        {"file", effective.origin == SettingOrigin::kFile ? Json(effective.file) : Json()},
        {"line", effective.origin == SettingOrigin::kFile ? Json(effective.line) : Json()},
        {"default", effective.setting->defaultText},
        {"secret", effective.setting->secret},
    });
  }
  PrintJson({{"files", report.filesRead}, {"problems", report.problems}, {"settings", settings}});
}

int RunSettings(const std::string& format) {
  const tarnalert::SettingsReport report = tarnalert::ReportSettings();
  if (format == "json") {
    PrintJsonReport(report);
  } else {
    PrintText(report);
  }
  // The problems themselves were printed as warnings before the command ran.
  return report.problems.empty() ? kSuccess : kFailed;
}

}  // namespace

void AddSettingsCommand(CLI::App& app, Action& action) {
  auto format = std::make_shared<std::string>("text");
  CLI::App* settings = app.add_subcommand(
      "settings",
      "Print every TARNALERT_* setting with its value and where it came from: the "
      "environment, a line of a settings file, or the default (secrets masked)");
  AddFormatOption(settings, format.get(),
                  "json (one object: the files read, the problems and every setting with its "
                  "value, origin, file, line, default and whether it is secret)");
  settings->footer(
      "Exit codes: 0 shown, 1 shown, but a settings file was refused or has lines that are "
      "ignored (the warnings are on standard error), 2 bad usage.");
  settings->callback([format, &action] { action = [format] { return RunSettings(*format); }; });
}

}  // namespace tarnalert_tool
