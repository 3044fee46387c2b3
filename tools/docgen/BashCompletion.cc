// The bash completion: the command tree as four associative arrays keyed by
// the command's words, and one function that walks the words typed so far.
// It needs bash 4 and nothing of the bash-completion package.
#include "Documents.h"

namespace tarnalert_tool {

namespace {

// "tarnalert config check": bash refuses an empty key.
std::string Key(const CommandEntry& command) {
  return command.path.empty() ? "tarnalert" : "tarnalert " + command.Words();
}

std::string ValueKindWord(const OptionEntry& option) {
  switch (option.kind) {
    case ValueKind::kFile:
      return "file";
    case ValueKind::kDirectory:
      return "directory";
    case ValueKind::kChoice: {
      std::string words = "choice:";
      for (size_t i = 0; i < option.choices.size(); ++i) {
        words += (i == 0 ? "" : " ") + option.choices[i];
      }
      return words;
    }
    default:
      return "text";
  }
}

void WriteTables(const CommandEntry& command, std::ostream& out) {
  const std::string key = Key(command);
  std::string subcommands, options;
  for (const CommandEntry& sub : command.subcommands) {
    subcommands += (subcommands.empty() ? "" : " ") + sub.path.back();
  }
  for (const OptionEntry& option : command.options) {
    if (!option.argument.empty()) {
      if (option.kind == ValueKind::kFile) out << "  arguments[" << ShellQuoted(key) << "]=file\n";
      continue;
    }
    for (const std::string& name : option.names) {
      options += (options.empty() ? "" : " ") + name;
      if (option.kind != ValueKind::kNone) {
        out << "  values[" << ShellQuoted(key + ":" + name)
            << "]=" << ShellQuoted(ValueKindWord(option)) << "\n";
      }
    }
  }
  if (!subcommands.empty())
    out << "  commands[" << ShellQuoted(key) << "]=" << ShellQuoted(subcommands) << "\n";
  out << "  options[" << ShellQuoted(key) << "]=" << ShellQuoted(options) << "\n";
  for (const CommandEntry& sub : command.subcommands) WriteTables(sub, out);
}

}  // namespace

void WriteBashCompletion(const CommandEntry& tool, std::ostream& out) {
  out << "# bash completion for tarnalert, generated from its command line.\n"
         "_tarnalert() {\n"
         "  local -A commands=() options=() values=() arguments=()\n";
  WriteTables(tool, out);
  out << R"(  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
  local command=tarnalert word option='' i
  # The command the words so far name; option values are stepped over.
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    if [[ -n ${values["$command:$word"]+set} ]]; then
      ((i++))
      [[ ${COMP_WORDS[i]} == = ]] && ((i++))
    elif [[ " ${commands["$command"]-} " == *" $word "* ]]; then
      command+=" $word"
    fi
  done
  # bash splits --option=value into three words.
  if [[ $cur == = ]]; then
    option=$prev cur=''
  elif [[ $prev == = ]]; then
    option=${COMP_WORDS[COMP_CWORD-2]}
  elif [[ -n ${values["$command:$prev"]+set} ]]; then
    option=$prev
  fi
  COMPREPLY=()
  if [[ -n $option ]]; then
    case ${values["$command:$option"]-} in
      file) compopt -o filenames 2>/dev/null; mapfile -t COMPREPLY < <(compgen -f -- "$cur") ;;
      directory) compopt -o filenames 2>/dev/null; mapfile -t COMPREPLY < <(compgen -d -- "$cur") ;;
      choice:*) mapfile -t COMPREPLY < <(compgen -W "${values["$command:$option"]#choice:}" -- "$cur") ;;
    esac
  elif [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "${options["$command"]-}" -- "$cur")
  elif [[ -n ${commands["$command"]-} ]]; then
    mapfile -t COMPREPLY < <(compgen -W "${commands["$command"]-}" -- "$cur")
  elif [[ ${arguments["$command"]-} == file ]]; then
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
  else
    mapfile -t COMPREPLY < <(compgen -W "${options["$command"]-}" -- "$cur")
  fi
}
complete -F _tarnalert tarnalert
)";
}

}  // namespace tarnalert_tool
