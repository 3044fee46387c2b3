// The subcommands of the tarnalert tool. Each Add* function registers one
// subcommand on the application; when the parse chooses it, its callback puts
// what it will do into `action`, which main runs after the parse and whose
// result is the exit code (0 success, 1 the operation failed; bad usage is 2
// and found by the parse).
#ifndef TARNALERT_TOOLS_COMMANDS_H_
#define TARNALERT_TOOLS_COMMANDS_H_

#include <CLI/CLI.hpp>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>

namespace tarnalert_tool {

enum ExitCode { kSuccess = 0, kFailed = 1, kBadUsage = 2 };

// The chosen subcommand's work; returns its exit code.
using Action = std::function<int()>;

// Checks a whole number given on the command line: decimal digits with an
// optional sign (a leading 0 does not make it octal, as the parser's own
// conversion would), from `least` to `most`. The text is rewritten to plain
// decimal for the parser.
CLI::Validator WholeNumber(int64_t least, int64_t most);

// Adds the option `name` for the whole number `value` with WholeNumber,
// bounded by the range of T and at least `least`.
template <typename T>
CLI::Option* AddNumberOption(CLI::App* app, const std::string& name, T& value,
                             const std::string& description,
                             int64_t least = std::numeric_limits<T>::min()) {
  return app->add_option(name, value, description)
      ->transform(WholeNumber(least, std::numeric_limits<T>::max()));
}

// Adds --format, "text" (for a person, the default) or "json" as
// `jsonDescription` says, into `format`.
CLI::Option* AddFormatOption(CLI::App* app, std::string* format,
                             const std::string& jsonDescription);

// Adds the subcommand `command` of `parent` that acts on the one queue file
// NAME and prints only a confirmation, which --quiet leaves out: `run` gets
// the name and whether to be quiet, and returns the exit code.
void AddNameCommand(CLI::App* parent, const std::string& command, const std::string& description,
                    const std::string& footer,
                    std::function<int(const std::string& name, bool quiet)> run, Action& action);

void AddDemoCommand(CLI::App& app, Action& action);
void AddSendCommand(CLI::App& app, Action& action);
void AddConfigCommand(CLI::App& app, Action& action);
void AddRenderCommand(CLI::App& app, Action& action);
void AddAuditCommand(CLI::App& app, Action& action);
void AddMailCommand(CLI::App& app, Action& action);
void AddOutboxCommand(CLI::App& app, Action& action);
void AddSpoolCommand(CLI::App& app, Action& action);
void AddSettingsCommand(CLI::App& app, Action& action);
void AddStatusCommand(CLI::App& app, Action& action);

// Registers every subcommand, the version flag and the checks every value
// goes through (never empty; numbers within 64 bits).
void BuildCommandLine(CLI::App& app, Action& action);
// Parses `argv` with `app` built by BuildCommandLine, which sets the action
// of the chosen subcommand. Returns kSuccess when the parse succeeded (or
// printed the help or the version, leaving no action), otherwise kBadUsage
// with the message on standard error.
int ParseCommandLine(CLI::App& app, int argc, char** argv);
// Runs `action` and returns its exit code; first warns on standard error of
// each settings file refused and each of its lines ignored.
int RunAction(const Action& action);

}  // namespace tarnalert_tool

#endif  // TARNALERT_TOOLS_COMMANDS_H_
