// The whole command line of the tool: the subcommands, the checks every
// value goes through, and the parse with its exit codes.
#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <string>

#include "Commands.h"
#include "ToolText.h"
#include "tarnalert.h"
#include "tarnalert/version.h"

namespace tarnalert_tool {

namespace {

// "  name  description" lines for the subcommands of `app`.
std::string SubcommandList(CLI::App& app) {
  std::vector<std::vector<std::string>> rows;
  for (CLI::App* choice : app.get_subcommands({})) {
    rows.push_back({"  " + choice->get_name(), choice->get_description()});
  }
  return FormatTable(rows);
}

// A word where a subcommand belongs that names none gets its own message
// with the choices, rather than the parser's "A subcommand is required", and
// so does a command line that stops where a subcommand is still needed.
// Returns false (after printing) for such a word.
bool KnownSubcommands(CLI::App& app, int argc, char** argv) {
  CLI::App* current = &app;
  std::string path = "tarnalert";
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word.empty() || word[0] == '-') return true;  // options are the parser's
    const std::vector<CLI::App*> choices = current->get_subcommands({});
    if (choices.empty()) return true;  // the rest are the subcommand's arguments
    CLI::App* next = nullptr;
    std::string names;
    for (CLI::App* choice : choices) {
      if (choice->get_name() == word) next = choice;
      names += (names.empty() ? "" : ", ") + choice->get_name();
    }
    if (next == nullptr) {
      std::cerr << path << ": unknown subcommand '" << word << "' (choose one of: " << names
                << ")\nRun with --help for more information.\n";
      return false;
    }
    current = next;
    path += " " + word;
  }
  if (current->get_require_subcommand_min() == 0) return true;
  std::cerr << path << ": choose a subcommand:\n"
            << SubcommandList(*current) << "Run `" << path
            << " SUBCOMMAND --help` for what each takes.\n";
  return false;
}

// --version prints the version and nothing else: a version flag beside a
// subcommand or other words would otherwise end the run with exit code 0
// and leave the rest undone. Returns false (after printing) when it is
// not alone.
bool VersionAlone(int argc, char** argv) {
  if (argc <= 2) return true;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--version") {
      std::cerr << "tarnalert: --version takes no other arguments\n"
                   "Run with --help for more information.\n";
      return false;
    }
  }
  return true;
}

std::string NotEmpty(const std::string& value) {
  return value.empty() ? "an empty value is not allowed" : "";
}

void AddValueChecks(CLI::App* app) {
  const CLI::Validator check(NotEmpty, "", "value");
  for (CLI::Option* option : app->get_options()) {
    if (option->get_type_size() != 0) option->check(check);
  }
  for (CLI::App* sub : app->get_subcommands({})) AddValueChecks(sub);
}

}  // namespace

CLI::Validator WholeNumber(int64_t least, int64_t most) {
  return CLI::Validator(
      [least, most](std::string& value) -> std::string {
        if (value.empty()) return NotEmpty(value);
        const size_t digits = value[0] == '-' || value[0] == '+' ? 1 : 0;
        bool whole = digits < value.size();
        for (size_t i = digits; i < value.size(); ++i)
          whole = whole && value[i] >= '0' && value[i] <= '9';
        if (!whole) return "'" + value + "' is not a whole number";
        errno = 0;
        const long long number = std::strtoll(value.c_str(), nullptr, 10);
        if (errno == ERANGE || number < least || number > most) {
          return "'" + value + "' is out of range (" + std::to_string(least) + " to " +
                 std::to_string(most) + ")";
        }
        value = std::to_string(number);
        return "";
      },
      "", "whole number");
}

CLI::Option* AddFormatOption(CLI::App* app, std::string* format,
                             const std::string& jsonDescription) {
  return app
      ->add_option("--format", *format, "text (for a person, the default) or " + jsonDescription)
      ->check(CLI::IsMember({"text", "json"}));
}

void AddNameCommand(CLI::App* parent, const std::string& command, const std::string& description,
                    const std::string& footer,
                    std::function<int(const std::string& name, bool quiet)> run, Action& action) {
  auto name = std::make_shared<std::string>();
  auto quiet = std::make_shared<bool>(false);
  CLI::App* sub = parent->add_subcommand(command, description);
  sub->add_option("NAME", *name, "The file name, as the list shows it")->required();
  sub->add_flag("--quiet", *quiet, "Print nothing when it is done");
  sub->footer(footer);
  sub->callback(
      [name, quiet, run, &action] { action = [name, quiet, run] { return run(*name, *quiet); }; });
}

void BuildCommandLine(CLI::App& app, Action& action) {
  app.description("tarnalert: raise, render and inspect Tarnhold alerts");
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("tarnalert ") + tarnalert::LibraryVersion(),
                       "Print the version of the tarnalert library and exit");
  AddDemoCommand(app, action);
  AddSendCommand(app, action);
  AddConfigCommand(app, action);
  AddRenderCommand(app, action);
  AddAuditCommand(app, action);
  AddMailCommand(app, action);
  AddOutboxCommand(app, action);
  AddSpoolCommand(app, action);
  AddSettingsCommand(app, action);
  AddStatusCommand(app, action);
  AddValueChecks(&app);
}

int ParseCommandLine(CLI::App& app, int argc, char** argv) {
  if (!VersionAlone(argc, argv) || !KnownSubcommands(app, argc, argv)) return kBadUsage;
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForAllHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForVersion& version) {
    return app.exit(version);
  } catch (const CLI::ParseError& error) {
    app.exit(error);
    return kBadUsage;
  }
  return kSuccess;
}

int RunAction(const Action& action) {
  for (const std::string& problem : tarnalert::ReportSettings().problems) {
    std::cerr << "tarnalert: warning: " << problem << "\n";
  }
  return action();
}

}  // namespace tarnalert_tool
