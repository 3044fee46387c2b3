// JSON output of the tool: every `--format json` goes through here, so that
// what is printed is always valid JSON (text that is not UTF-8 gets U+FFFD in
// place of each bad byte, as the library's own conversions do) and plain
// ASCII (other characters written as \uXXXX escapes).
#ifndef TARNALERT_TOOLS_JSON_H_
#define TARNALERT_TOOLS_JSON_H_

#include <nlohmann/json.hpp>
#include <string>

namespace tarnalert_tool {

// Objects keep their keys in the order they were added, for a reader.
using Json = nlohmann::ordered_json;

// `value` as JSON text, indented by two blanks, without a final line break.
std::string JsonText(const Json& value);
// Prints JsonText(value) and a line break on standard output.
void PrintJson(const Json& value);

}  // namespace tarnalert_tool

#endif  // TARNALERT_TOOLS_JSON_H_
