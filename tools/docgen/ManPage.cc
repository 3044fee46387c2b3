// tarnalert(1), in the man macros that groff and mandoc both read.
#include <cstdio>
#include <string>

#include "Documents.h"
#include "tools/Commands.h"

namespace tarnalert_tool {

namespace {

// The tool's exit codes; each command's own meanings are in its footer.
const struct {
  ExitCode code;
  const char* meaning;
} kExitCodes[] = {
    {kSuccess, "Success."},
    {kFailed, "The operation failed; the reason is on standard error."},
    {kBadUsage, "Bad usage: an unknown command or option, or a value that does not fit."},
};

// `text` safe on a text line: backslashes and characters beyond ASCII
// escaped, and a leading control character made literal.
std::string Roff(const std::string& text) {
  std::string out = text.empty() || (text[0] != '.' && text[0] != '\'') ? "" : "\\&";
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\\') {
      out += "\\e";
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      // A UTF-8 sequence becomes \[uXXXX]; a stray byte is dropped.
      const int extra = c >= 0xf0 ? 3 : c >= 0xe0 ? 2 : c >= 0xc0 ? 1 : 0;
      unsigned long point = c & (0x3f >> extra);
      int taken = 0;
      while (taken < extra && i + 1 < text.size() && (text[i + 1] & 0xc0) == 0x80) {
        point = (point << 6) | (text[++i] & 0x3f);
        ++taken;
      }
      if (extra == 0 || taken < extra) continue;
      char name[16];
      snprintf(name, sizeof name, "\\[u%04lX]", point);
      out += name;
    }
  }
  return out;
}

// An option or command name in bold, its hyphens as minus signs.
std::string Bold(const std::string& name) {
  std::string out = "\\fB";
  for (char c : name) out += c == '-' ? std::string("\\-") : Roff(std::string(1, c));
  return out + "\\fR";
}

std::string Italic(const std::string& text) { return "\\fI" + Roff(text) + "\\fR"; }

std::string Sentence(const std::string& text) {
  if (text.empty() || text.back() == '.') return Roff(text);
  return Roff(text) + ".";
}

// The value an option takes, as the synopsis shows it.
std::string ValueText(const OptionEntry& option) {
  if (option.kind != ValueKind::kChoice) return Italic(option.valueName);
  std::string text;
  for (const std::string& choice : option.choices) {
    text += (text.empty() ? "" : "|") + Bold(choice);
  }
  return text;
}

// "--format text|json" (every name of the option when `allNames`, else
// its last and longest) or "FILE".
std::string OptionText(const OptionEntry& option, bool allNames) {
  if (!option.argument.empty()) return Italic(option.argument);
  std::string text;
  for (size_t i = allNames ? 0 : option.names.size() - 1; i < option.names.size(); ++i) {
    text += (text.empty() ? "" : ", ") + Bold(option.names[i]);
  }
  if (option.kind != ValueKind::kNone) text += " " + ValueText(option);
  return text;
}

std::string SynopsisItem(const OptionEntry& option) {
  const std::string text = OptionText(option, false);
  const std::string item = option.required ? text : "[" + text + "]";
  return option.repeatable ? item + "..." : item;
}

void WriteOption(const OptionEntry& option, std::ostream& out) {
  out << ".TP\n" << OptionText(option, true) << "\n" << Sentence(option.description) << "\n";
  if (!option.defaultValue.empty()) out << "Default: " << Roff(option.defaultValue) << ".\n";
  for (const std::string& other : option.excludes)
    out << "Not together with " << Bold(other) << ".\n";
  if (option.repeatable) out << "May be given more than once.\n";
}

void WriteCommand(const CommandEntry& command, std::ostream& out) {
  out << ".SS\n" << Roff(command.Words()) << "\n";
  std::string synopsis = Bold("tarnalert");
  for (const std::string& word : command.path) synopsis += " " + Bold(word);
  if (!command.subcommands.empty()) synopsis += " " + Italic("COMMAND");
  for (const OptionEntry& option : command.options) {
    if (!option.isHelp) synopsis += " " + SynopsisItem(option);
  }
  out << ".PP\n.ad l\n.nh\n" << synopsis << "\n.hy\n.ad\n";
  out << ".PP\n" << Sentence(command.description) << "\n";
  if (!command.subcommands.empty()) {
    std::string names;
    for (const CommandEntry& sub : command.subcommands) {
      names += (names.empty() ? "" : ", ") + Bold(sub.path.back());
    }
    out << "Its commands: " << names << ".\n";
  }
  for (const OptionEntry& option : command.options) {
    if (!option.isHelp) WriteOption(option, out);
  }
  if (!command.footer.empty()) out << ".PP\n" << Sentence(command.footer) << "\n";
  for (const CommandEntry& sub : command.subcommands) WriteCommand(sub, out);
}

void WriteSettings(const std::vector<SettingEntry>& settings, std::ostream& out) {
  out << ".SH SETTINGS\n"
         "The library and the tool take their settings from environment variables named\n"
         "\\fBTARNALERT_\\fR\\fINAME\\fR and from settings files (see FILES); a variable\n"
         "wins over the files. An unset or empty setting takes its default, which works\n"
         "for an unprivileged user on a fresh machine. \\fBtarnalert settings\\fR shows\n"
         "where each one comes from.\n";
  if (settings.empty()) {
    out << "Every setting, with its default, is listed in \\fIsettings.md\\fR of the\n"
           "documentation installed with tarnalert.\n";
    return;
  }
  for (const SettingEntry& setting : settings) {
    out << ".TP\n" << Bold(setting.name) << "\n" << Sentence(setting.description) << "\n";
    if (!setting.defaultValue.empty()) {
      out << "Default: " << Roff(setting.defaultValue) << ".\n";
    }
    if (setting.secret) out << "Its value is masked when settings are shown.\n";
  }
}

}  // namespace

void WriteManPage(const CommandEntry& tool, const std::vector<SettingEntry>& settings,
                  const std::string& version, std::ostream& out) {
  std::string summary = tool.description;
  if (summary.compare(0, 11, "tarnalert: ") == 0) summary.erase(0, 11);
  out << ".\\\" Generated from the tool's command line; edit the tool, not this file.\n"
      << ".TH TARNALERT 1 \"\" \"tarnalert " << Roff(version) << "\" \"User Commands\"\n"
      << ".SH NAME\ntarnalert \\- " << Roff(summary) << "\n"
      << ".SH SYNOPSIS\n"
      << Bold("tarnalert") << " " << Italic("COMMAND") << " [" << Italic("OPTIONS") << "]...\n"
      << ".br\n"
      << Bold("tarnalert") << " " << Italic("COMMAND") << " " << Bold("--help") << "\n"
      << ".SH DESCRIPTION\n"
         "tarnalert is the command-line tool of the tarnalert library, the client-side alert\n"
         "library of a Tarnhold installation. It tries alert configurations and templates\n"
         "without writing code, sends and renders alerts, converts audit-trail texts, and\n"
         "delivers what the library keeps for later: mail deferred after a temporary failure\n"
         "(\\fBoutbox flush\\fR) and alerts spooled for the management server\n"
         "(\\fBspool forward\\fR). Results go to standard output, errors to standard error.\n"
         ".SH OPTIONS\n";
  for (const OptionEntry& option : tool.options) WriteOption(option, out);
  out << ".PP\nEvery command also takes " << Bold("-h") << ", " << Bold("--help")
      << " and prints its own help.\n"
      << ".SH COMMANDS\n";
  for (const CommandEntry& command : tool.subcommands) WriteCommand(command, out);
  out << ".SH EXIT STATUS\n";
  for (const auto& exit : kExitCodes) {
    out << ".TP\n.B " << static_cast<int>(exit.code) << "\n" << Roff(exit.meaning) << "\n";
  }
  out << ".PP\nWhat success means for each command is said with the command above.\n";
  WriteSettings(settings, out);
  out << ".SH FILES\n"
         ".TP\n/etc/tarnalert/settings.conf, ~/.config/tarnalert/settings.conf\n"
         "Settings files, \\fBKEY\\fR=\\fIVALUE\\fR lines, read by the library and the tool;\n"
         "the user's file wins, and \\fBTARNALERT_SETTINGS_FILE\\fR names one to read\n"
         "instead. A file that others could change is refused.\n"
         ".TP\n\\fI<state>\\fR/jobresults/alert_config.xml\n"
         "The alert configuration of this client, as \\fBconfig install\\fR leaves it;\n"
         "\\fI<state>\\fR is the state directory, \\fBTARNALERT_STATE_DIR\\fR.\n"
         ".TP\n\\fI<state>\\fR/spool/\n"
         "Alerts waiting for \\fBspool forward\\fR (\\fBTARNALERT_SPOOL_DIR\\fR).\n"
         ".TP\n\\fI<state>\\fR/outbox/\n"
         "Mail waiting for \\fBoutbox flush\\fR, and mail given up on, in \\fIfailed/\\fR.\n"
         ".TP\n\\fI<state>\\fR/log/tarnalert.log\n"
         "The debug log (\\fBTARNALERT_LOG_FILE\\fR).\n"
         ".TP\n\\%tarnalert-outbox.service, \\%tarnalert-outbox.timer, "
         "\\%tarnalert-forward.service\n"
         "systemd units that flush the outbox every few minutes and forward the spool,\n"
         "for the system and for user instances.\n"
         ".TP\nshare/doc/tarnalert/\n"
         "Under the installation prefix: the documentation (\\fIservices.md\\fR on the units),\n"
         "and in \\fIexamples/\\fR an example alert configuration and settings file.\n"
         ".SH SEE ALSO\n"
         ".BR systemctl (1),\n"
         ".BR systemd.timer (5)\n";
}

}  // namespace tarnalert_tool
