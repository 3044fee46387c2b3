// The documents written from the tool's command tree: the man page and the
// bash and zsh completions. Each writer only formats what the tree says, so
// that nothing in them can disagree with --help. A writer reports nothing:
// the caller checks the stream.
#ifndef TARNALERT_TOOLS_DOCGEN_DOCUMENTS_H_
#define TARNALERT_TOOLS_DOCGEN_DOCUMENTS_H_

#include <ostream>
#include <string>
#include <vector>

#include "CommandTree.h"

namespace tarnalert_tool {

// One setting the library knows, as the man page lists it.
struct SettingEntry {
  std::string name;
  std::string defaultValue;
  std::string description;
  bool secret = false;
};

// `text` as one word in single quotes, for bash and zsh.
inline std::string ShellQuoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// tarnalert(1) in the man macros; `version` goes to the page's footer.
void WriteManPage(const CommandEntry& tool, const std::vector<SettingEntry>& settings,
                  const std::string& version, std::ostream& out);

// A bash completion script defining _tarnalert for `complete -F`.
void WriteBashCompletion(const CommandEntry& tool, std::ostream& out);

// A zsh completion function file (#compdef tarnalert) for a directory on
// $fpath.
void WriteZshCompletion(const CommandEntry& tool, std::ostream& out);

}  // namespace tarnalert_tool

#endif  // TARNALERT_TOOLS_DOCGEN_DOCUMENTS_H_
