// tarnalert: try configurations and templates, send and render alerts, and
// convert audit-trail texts from the command line.
#include "Commands.h"

int main(int argc, char** argv) {
  using namespace tarnalert_tool;
  CLI::App app;
  Action action;
  BuildCommandLine(app, action);
  const int parsed = ParseCommandLine(app, argc, argv);
  if (parsed != kSuccess || !action) return parsed;
  return RunAction(action);
}
