// Fuzz target: the catalogue file reader.
//
// The input is the text of a catalogue file. Every text read must be valid
// UTF-8 without NUL, and writing the texts back as a catalogue file (with
// the file's escapes) must read back to the same texts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/event/Catalog.h"
#include "tarnalert/platform/env/Env.h"
#include "tarnalert/platform/text/FXString.h"

namespace {

// Drops the log lines of skipped lines; everything else is the real Env.
class QuietEnv : public tarnalert::EnvWrapper {
 public:
  QuietEnv() : EnvWrapper(tarnalert::Env::Default()) {}
  int LogLevel() override { return 0; }
  void WriteLogLine(const std::string&) override {}
};

// `text` as the right-hand side of a catalogue line.
std::string Escaped(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == ' ' && (i == 0 || i + 1 == text.size())) {
      out += "\\s";  // blanks around the text would be read as layout
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QuietEnv env;
  tarnalert::ScopedEnv scoped(&env);
  const std::string content(reinterpret_cast<const char*>(data), size);
  const auto texts = tarnalert::detail::ParseCatalogFile(content, "fuzz.catalog");
  std::string written;
  for (const auto& [id, text] : texts) {
    if (text.find('\0') != std::string::npos) std::abort();
    if (!FXString::IsValidUtf8(text.data(), text.size())) std::abort();
    written += std::to_string(id) + " = " + Escaped(text) + "\n";
  }
  if (tarnalert::detail::ParseCatalogFile(written, "written.catalog") != texts) std::abort();
  return 0;
}
