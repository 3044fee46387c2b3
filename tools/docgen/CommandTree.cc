#include "CommandTree.h"

#include <algorithm>

namespace tarnalert_tool {

namespace {

// CLI11 writes a set of allowed values after the type as "TEXT:{a,b}".
std::vector<std::string> ChoicesOf(const std::string& typeName) {
  const size_t open = typeName.find(":{");
  std::vector<std::string> choices;
  if (open == std::string::npos || typeName.back() != '}') return choices;
  const std::string list = typeName.substr(open + 2, typeName.size() - open - 3);
  size_t start = 0;
  while (start <= list.size()) {
    const size_t comma = std::min(list.find(',', start), list.size());
    choices.push_back(list.substr(start, comma - start));
    start = comma + 1;
  }
  return choices;
}

std::string FirstName(const CLI::Option& option) {
  if (!option.get_lnames().empty()) return "--" + option.get_lnames().front();
  if (!option.get_snames().empty()) return "-" + option.get_snames().front();
  return option.get_name();
}

OptionEntry ReadOption(const CLI::Option& option, const CLI::Option* help) {
  OptionEntry entry;
  for (const std::string& name : option.get_snames()) entry.names.push_back("-" + name);
  for (const std::string& name : option.get_lnames()) entry.names.push_back("--" + name);
  if (option.get_positional()) entry.argument = option.get_name();
  entry.description = option.get_description();
  entry.defaultValue = option.get_default_str();
  entry.required = option.get_required();
  entry.isHelp = &option == help;
  for (const CLI::Option* other : option.get_excludes())
    entry.excludes.push_back(FirstName(*other));
  std::sort(entry.excludes.begin(), entry.excludes.end());
  if (option.get_expected_max() == 0) return entry;  // a flag

  const std::string typeName = option.get_type_name();
  entry.valueName = typeName.substr(0, typeName.find(':'));
  entry.repeatable = option.get_expected_max() > 1;
  entry.choices = ChoicesOf(typeName);
  if (!entry.choices.empty()) {
    entry.kind = ValueKind::kChoice;
  } else if (entry.valueName == "FILE" || entry.argument == "FILE") {
    entry.kind = ValueKind::kFile;
  } else if (entry.valueName == "DIR") {
    entry.kind = ValueKind::kDirectory;
  } else {
    entry.kind = ValueKind::kText;
  }
  return entry;
}

CommandEntry ReadCommand(const CLI::App& app, std::vector<std::string> path) {
  CommandEntry command;
  command.path = std::move(path);
  command.description = app.get_description();
  command.footer = app.get_footer();
  const CLI::Option* help = app.get_help_ptr();
  for (bool positional : {false, true}) {
    for (const CLI::Option* option : app.get_options()) {
      if (option->get_positional() == positional) {
        command.options.push_back(ReadOption(*option, help));
      }
    }
  }
  for (const CLI::App* sub : app.get_subcommands(std::function<bool(const CLI::App*)>())) {
    std::vector<std::string> subPath = command.path;
    subPath.push_back(sub->get_name());
    command.subcommands.push_back(ReadCommand(*sub, std::move(subPath)));
  }
  return command;
}

}  // namespace

std::string CommandEntry::Words() const {
  std::string text;
  for (const std::string& word : path) text += (text.empty() ? "" : " ") + word;
  return text;
}

CommandEntry ReadCommandTree(const CLI::App& app) { return ReadCommand(app, {}); }

}  // namespace tarnalert_tool
