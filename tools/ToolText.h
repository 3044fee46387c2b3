// Helpers shared by the subcommands of the tarnalert tool: reading and writing
// files, catching the library's debug-log lines while it works (so that a
// failure the library only logs can be shown on the terminal), installing an
// Env for a scope, and text layout.
//
// Everything here runs on the tool's single thread.
#ifndef TARNALERT_TOOLS_TOOLTEXT_H_
#define TARNALERT_TOOLS_TOOLTEXT_H_

#include <ctime>
#include <string>
#include <vector>

#include "tarnalert.h"

namespace tarnalert_tool {

// Reads the whole of `path` ("-" is standard input) into `text`. On failure
// returns false with a sentence for the user in `error`.
bool ReadInput(const std::string& path, std::string* text, std::string* error);
// Writes `text` to `path`, replacing it. On failure returns false with a
// sentence for the user in `error`.
bool WriteOutput(const std::string& path, const std::string& text, std::string* error);

// Prints "tarnalert <command>: <message>" on standard error, each line of
// the message through OneLine (the line breaks stay: messages list their
// details on lines of their own).
void PrintError(const std::string& command, const std::string& message);

// Records every debug-log line written while it is in force; forwards them to
// the Env it wraps only when `forward` is set.
class LogCapture : public tarnalert::EnvWrapper {
 public:
  LogCapture(tarnalert::Env* target, bool forward) : EnvWrapper(target), forward_(forward) {}

  void WriteLogLine(const std::string& line) override;

  const std::vector<std::string>& lines() const { return lines_; }
  // The text of every line, without time, ids, severity and level.
  std::vector<std::string> Messages() const;

 private:
  bool forward_;
  std::vector<std::string> lines_;
};

// Where the debug log is written, as the library works it out, for a person
// ("standard error" or a path).
std::string DebugLogPath();

// The columns a terminal gives `text` (UTF-8): wide East Asian characters
// count two, combining marks none.
size_t DisplayWidth(const std::string& text);

// Lays out rows of cells as columns separated by two blanks, aligned by
// display width. The last column is not padded.
std::string FormatTable(const std::vector<std::vector<std::string>>& rows);
// The same within `width` columns (0: no limit): when the table is wider,
// the cells of the `shrinkable` columns are cut, widest column first, and
// end in "..." where they were. Columns that are not shrinkable keep their
// width.
std::string FormatTable(const std::vector<std::vector<std::string>>& rows, size_t width,
                        const std::vector<size_t>& shrinkable);

// The width of the terminal on standard output; else $COLUMNS when it is a
// number; else 0 (no limit, as for a pipe).
size_t TerminalWidth();

// How long ago `then` was from `now`, for a person: "42s", "17m", "5h", "3d".
std::string AgeText(time_t then, time_t now);
// `when` as UTC in ISO 8601: "2026-03-01T09:05:07Z".
std::string UtcTime(time_t when);

// Streams the comments into `alert` so that the <Comments> token shows them:
// each becomes one event message of the comment event code (catalogue text
// "%1") ended by an end-of-message entry. Call it before streaming any other
// argument: the token renders a message with every argument streamed before
// its end, so an earlier argument would take the place of the comment.
void AddComments(EvAlertEx& alert, const std::vector<std::string>& comments);

// `text` cut to `limit` bytes (at a character boundary) with a note of how
// much was left out; for messages that quote a whole input.
std::string Shorten(const std::string& text, size_t limit);

// `text` as the tool shows a text it did not write itself (a rule name, a
// subject, a file name, an error that quotes them): on one line and unable
// to steer the terminal. Backslash, line feed, carriage return and tab
// become \\, \n, \r and \t; other control characters and bytes that are
// not UTF-8 become \xNN; C1 controls and the characters that reorder or
// break a line (U+2028, U+202E, ...) become \uNNNN.
std::string OneLine(const std::string& text);

}  // namespace tarnalert_tool

#endif  // TARNALERT_TOOLS_TOOLTEXT_H_
