// The zsh completion: one function per command, each an _arguments call;
// a command with subcommands offers them and hands the rest of the words
// to the chosen one's function.
#include "Documents.h"

namespace tarnalert_tool {

namespace {

// `text` where _arguments reads an explanation in brackets or a message
// between colons.
std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '[' || c == ']' || c == ':' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

std::string FunctionName(const CommandEntry& command) {
  std::string name = "_tarnalert";
  for (const std::string& word : command.path) {
    name += "_";
    for (char c : word) name += c == '-' ? '_' : c;
  }
  return name;
}

std::string Action(const OptionEntry& option) {
  switch (option.kind) {
    case ValueKind::kFile:
      return "_files";
    case ValueKind::kDirectory:
      return "_files -/";
    case ValueKind::kChoice: {
      std::string words;
      for (const std::string& choice : option.choices) {
        words += (words.empty() ? "" : " ") + choice;
      }
      return "(" + words + ")";
    }
    default:
      return " ";
  }
}

// One _arguments word per name of `option`.
std::vector<std::string> ArgumentWords(const OptionEntry& option) {
  if (!option.argument.empty()) {
    return {(option.required ? ":" : "::") + Escaped(option.argument) + ":" + Action(option)};
  }
  // What the option rules out once given: everything for help, else its
  // other names and the options it excludes.
  std::string exclusions;
  if (option.isHelp) {
    exclusions = "(- *)";
  } else if (!option.excludes.empty() || option.names.size() > 1) {
    for (const std::vector<std::string>* names : {&option.names, &option.excludes}) {
      for (const std::string& name : *names) exclusions += (exclusions.empty() ? "" : " ") + name;
    }
    exclusions = "(" + exclusions + ")";
  }
  std::vector<std::string> words;
  for (const std::string& name : option.names) {
    std::string word = exclusions;
    if (option.repeatable) word += "*";
    word += name;
    if (option.kind != ValueKind::kNone && name.size() > 2) word += "=";
    word += "[" + Escaped(option.description) + "]";
    if (option.kind != ValueKind::kNone) {
      word += ":" + Escaped(option.valueName) + ":" + Action(option);
    }
    words.push_back(word);
  }
  return words;
}

void WriteFunction(const CommandEntry& command, std::ostream& out) {
  for (const CommandEntry& sub : command.subcommands) WriteFunction(sub, out);
  out << FunctionName(command) << "() {\n";
  if (!command.subcommands.empty()) out << "  local curcontext=$curcontext state line\n";
  out << "  _arguments -s -S";
  if (!command.subcommands.empty()) out << " -C";
  for (const OptionEntry& option : command.options) {
    for (const std::string& word : ArgumentWords(option)) out << " \\\n    " << ShellQuoted(word);
  }
  if (command.subcommands.empty()) {
    out << "\n}\n\n";
    return;
  }
  out << " \\\n    ': :->command' \\\n    '*:: :->argument' && return\n"
      << "  case $state in\n"
      << "    command)\n"
      << "      local -a commands=(\n";
  for (const CommandEntry& sub : command.subcommands) {
    out << "        " << ShellQuoted(Escaped(sub.path.back()) + ":" + sub.description) << "\n";
  }
  out << "      )\n"
      << "      _describe -t commands command commands ;;\n"
      << "    argument)\n"
      << "      case $words[1] in\n";
  for (const CommandEntry& sub : command.subcommands) {
    out << "        " << sub.path.back() << ") " << FunctionName(sub) << " ;;\n";
  }
  out << "      esac ;;\n"
      << "  esac\n"
      << "}\n\n";
}

}  // namespace

void WriteZshCompletion(const CommandEntry& tool, std::ostream& out) {
  out << "#compdef tarnalert\n"
         "# zsh completion for tarnalert, generated from its command line.\n\n";
  WriteFunction(tool, out);
  out << "_tarnalert \"$@\"\n";
}

}  // namespace tarnalert_tool
