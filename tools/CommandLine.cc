// The whole command line of the tool: the subcommands, the checks every
// value goes through, and the parse with its exit codes.
#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <string>

#include "Commands.h"
#include "tarnalert.h"
#include "tarnalert/version.h"

namespace tarnalert_tool {

namespace {

// A word where a subcommand belongs that names none gets its own message
// with the choices, rather than the parser's "A subcommand is required".
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
  return true;
}

// A value given on the command line is never empty, and a number never lies
// outside the signed 64-bit range (the parser checks narrower options itself,
// but saturates 64-bit ones silently).
std::string CheckValue(const std::string& value) {
  if (value.empty()) return "an empty value is not allowed";
  size_t digits = value[0] == '-' || value[0] == '+' ? 1 : 0;
  if (digits == value.size()) return "";
  for (size_t i = digits; i < value.size(); ++i) {
    if (value[i] < '0' || value[i] > '9') return "";  // not a number: the parser decides
  }
  // Every number option of the tool is signed.
  errno = 0;
  std::strtoll(value.c_str(), nullptr, 10);
  return errno == ERANGE ? value + " is out of range" : "";
}

void AddValueChecks(CLI::App* app) {
  const CLI::Validator check(CheckValue, "", "value");
  for (CLI::Option* option : app->get_options()) {
    if (option->get_type_size() != 0) option->check(check);
  }
  for (CLI::App* sub : app->get_subcommands({})) AddValueChecks(sub);
}

}  // namespace

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
  AddValueChecks(&app);
}

int ParseCommandLine(CLI::App& app, int argc, char** argv) {
  if (!KnownSubcommands(app, argc, argv)) return kBadUsage;
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
