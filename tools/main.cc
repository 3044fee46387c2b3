// tarnalert: try configurations and templates, send and render alerts, and
// convert audit-trail texts from the command line.
#include <iostream>

#include "Commands.h"

int main(int argc, char** argv) {
  using namespace tarnalert_tool;
  CLI::App app{"tarnalert: raise, render and inspect Tarnhold alerts"};
  app.require_subcommand(1);
  int exitCode = kSuccess;
  AddDemoCommand(app, exitCode);
  AddSendCommand(app, exitCode);
  AddConfigCommand(app, exitCode);
  AddRenderCommand(app, exitCode);
  AddAuditCommand(app, exitCode);
  AddMailCommand(app, exitCode);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForAllHelp& help) {
    return app.exit(help);
  } catch (const CLI::ParseError& error) {
    app.exit(error);
    return kBadUsage;
  }
  return exitCode;
}
