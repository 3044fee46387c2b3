// tarnalert_docgen DIR: writes the man page (DIR/tarnalert.1) and the bash
// and zsh completions (DIR/tarnalert.bash, DIR/_tarnalert) from the command
// line the tool builds. Run by the build; exits 1 when a file cannot be
// written.
#include <fstream>
#include <functional>
#include <iostream>
#include <string>

#include "CommandTree.h"
#include "Documents.h"
#include "tarnalert/platform/env/KnownSettings.h"
#include "tarnalert/version.h"
#include "tools/Commands.h"

namespace {

bool Write(const std::string& path, const std::function<void(std::ostream&)>& write) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out) write(out);
  out.close();
  if (out) return true;
  std::cerr << "tarnalert_docgen: cannot write " << path << "\n";
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tarnalert_tool;
  if (argc != 2) {
    std::cerr << "usage: tarnalert_docgen DIR\n";
    return 2;
  }
  const std::string directory = argv[1];
  CLI::App app;
  Action action;
  BuildCommandLine(app, action);
  const CommandEntry tree = ReadCommandTree(app);
  std::vector<SettingEntry> settings;
  for (const tarnalert::KnownSetting& setting : tarnalert::KnownSettings()) {
    settings.push_back(
        {setting.variable(), setting.defaultText, setting.description, setting.secret});
  }
  const bool written =
      Write(directory + "/tarnalert.1",
            [&](std::ostream& out) {
              WriteManPage(tree, settings, TARNALERT_VERSION_STRING, out);
            }) &&
      Write(directory + "/tarnalert.bash",
            [&](std::ostream& out) { WriteBashCompletion(tree, out); }) &&
      Write(directory + "/_tarnalert", [&](std::ostream& out) { WriteZshCompletion(tree, out); });
  return written ? 0 : 1;
}
