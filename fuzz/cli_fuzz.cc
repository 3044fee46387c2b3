// Fuzz target: the tool's command line.
//
// The input is split at NUL bytes into arguments. The whole command line is
// built and parsed as the tool does it, but the chosen action is not run:
// what is tested is the parse (the subcommand words, the value checks and the
// conversions). Every input must end in success or bad usage. Run it
// with -close_fd_mask=3: the help and error texts are not what is tested.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/Commands.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> words{"tarnalert"};
  std::string current;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      words.push_back(current);
      current.clear();
    } else {
      current.push_back(static_cast<char>(data[i]));
    }
  }
  words.push_back(current);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  CLI::App app;
  tarnalert_tool::Action action;
  tarnalert_tool::BuildCommandLine(app, action);
  const int result =
      tarnalert_tool::ParseCommandLine(app, static_cast<int>(words.size()), argv.data());
  if (result != tarnalert_tool::kSuccess && result != tarnalert_tool::kBadUsage) std::abort();
  if (result == tarnalert_tool::kBadUsage && action) std::abort();  // nothing runs after bad usage
  return 0;
}
