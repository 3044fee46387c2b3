// The tool's command line as plain data, read once from the CLI11 App that
// BuildCommandLine makes, so that the man page and the shell completions are
// written from the same definition the parser runs. The tree owns copies of
// every text and holds no pointer into the App.
#ifndef TARNALERT_TOOLS_DOCGEN_COMMANDTREE_H_
#define TARNALERT_TOOLS_DOCGEN_COMMANDTREE_H_

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

namespace tarnalert_tool {

// What an option or argument takes as its value.
enum class ValueKind {
  kNone,       // a flag
  kText,       // anything: a number, an address, a URL
  kFile,       // a file name
  kDirectory,  // a directory name
  kChoice,     // one of `choices`
};

struct OptionEntry {
  // "-h", "--help"; empty for a positional argument.
  std::vector<std::string> names;
  // The name of a positional argument ("FILE").
  std::string argument;
  // The value's name as --help shows it ("TEXT", "FILE", "DIR", "INT").
  std::string valueName;
  ValueKind kind = ValueKind::kNone;
  std::vector<std::string> choices;
  std::string description;
  std::string defaultValue;
  // The first name of each option this one cannot be given with.
  std::vector<std::string> excludes;
  bool required = false;
  bool repeatable = false;
  bool isHelp = false;
};

struct CommandEntry {
  // The words after the tool's name: {} for the tool, {"config", "check"}.
  std::vector<std::string> path;
  std::string description;
  // Text after the option list; the exit codes of the command.
  std::string footer;
  // Options in the order they were added, positional arguments last.
  std::vector<OptionEntry> options;
  std::vector<CommandEntry> subcommands;

  // The path as typed: "config check".
  std::string Words() const;
};

// The tree of `app` and all its subcommands.
CommandEntry ReadCommandTree(const CLI::App& app);

}  // namespace tarnalert_tool

#endif  // TARNALERT_TOOLS_DOCGEN_COMMANDTREE_H_
