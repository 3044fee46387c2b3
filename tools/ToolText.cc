#include "ToolText.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <sstream>

namespace tarnalert_tool {

bool ReadInput(const std::string& path, std::string* text, std::string* error) {
  if (path == "-") {
    std::ostringstream content;
    content << std::cin.rdbuf();
    if (std::cin.bad()) {
      *error = "cannot read standard input";
      return false;
    }
    *text = content.str();
    return true;
  }
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) {
    *error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  if (S_ISDIR(info.st_mode)) {
    *error = "cannot read " + path + ": it is a directory";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) {
    *error = "cannot read " + path;
    return false;
  }
  *text = content.str();
  return true;
}

bool WriteOutput(const std::string& path, const std::string& text, std::string* error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out) out << text;
  if (out) out.close();
  if (!out) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

void PrintError(const std::string& command, const std::string& message) {
  std::string shown;
  for (size_t start = 0; start <= message.size();) {
    size_t end = message.find('\n', start);
    if (end == std::string::npos) end = message.size();
    shown += (start == 0 ? "" : "\n") + OneLine(message.substr(start, end - start));
    start = end + 1;
  }
  std::cerr << "tarnalert " << command << ": " << shown << "\n";
}

namespace {

// The text of a log line after its time stamp, process and thread ids,
// severity and level; the trailing line break is dropped.
std::string LogLineText(const std::string& line) {
  size_t at = 0;
  for (int field = 0; field < 5 && at != std::string::npos; ++field) {
    at = line.find(' ', at);
    if (at != std::string::npos) ++at;
  }
  std::string text = at == std::string::npos ? line : line.substr(at);
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

}  // namespace

void LogCapture::WriteLogLine(const std::string& line) {
  lines_.push_back(line);
  if (forward_) target()->WriteLogLine(line);
}

std::vector<std::string> LogCapture::Messages() const {
  std::vector<std::string> messages;
  for (const std::string& line : lines_) messages.push_back(LogLineText(line));
  return messages;
}

std::string DebugLogPath() {
  const std::string path = EvDebug::LogPath();
  return path == "-" ? "standard error" : path;
}

namespace {

// Columns a terminal gives `c`: 0 for combining marks and zero-width
// characters, 2 for East Asian wide and full-width characters, else 1.
size_t CharacterWidth(wchar_t c) {
  struct Range {
    wchar_t first, last;
  };
  static const Range kZero[] = {{0x0300, 0x036F}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF},
                                {0x200B, 0x200F}, {0x20D0, 0x20FF}, {0xFE00, 0xFE0F},
                                {0xFE20, 0xFE2F}};
  static const Range kWide[] = {{0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0x33FF},
                                {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},
                                {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE30, 0xFE4F},
                                {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x1F300, 0x1F64F},
                                {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD}};
  for (const Range& range : kZero) {
    if (c >= range.first && c <= range.last) return 0;
  }
  for (const Range& range : kWide) {
    if (c >= range.first && c <= range.last) return 2;
  }
  return 1;
}

}  // namespace

size_t DisplayWidth(const std::string& text) {
  size_t width = 0;
  for (wchar_t c : FXString::ToWstring(text)) width += CharacterWidth(c);
  return width;
}

namespace {

// `text` cut to at most `width` display columns, "..." included.
std::string CutToWidth(const std::string& text, size_t width) {
  if (DisplayWidth(text) <= width) return text;
  const std::wstring wide = FXString::ToWstring(text);
  std::wstring kept;
  size_t used = 0;
  for (wchar_t c : wide) {
    const size_t columns = CharacterWidth(c);
    if (used + columns + 3 > width) break;
    kept += c;
    used += columns;
  }
  return FXString::ToString(kept) + std::string(std::min<size_t>(width, 3), '.');
}

}  // namespace

std::string FormatTable(const std::vector<std::vector<std::string>>& rows) {
  return FormatTable(rows, 0, {});
}

std::string FormatTable(const std::vector<std::vector<std::string>>& rows, size_t width,
                        const std::vector<size_t>& shrinkable) {
  constexpr size_t kGap = 2;
  constexpr size_t kNarrowest = 8;  // a shrinkable column keeps this much
  std::vector<size_t> widths;
  for (const auto& row : rows) {
    if (widths.size() < row.size()) widths.resize(row.size(), 0);
    for (size_t column = 0; column < row.size(); ++column) {
      widths[column] = std::max(widths[column], DisplayWidth(row[column]));
    }
  }
  size_t total = 0;
  for (size_t column = 0; column < widths.size(); ++column) {
    total += widths[column] + (column + 1 < widths.size() ? kGap : 0);
  }
  while (width > 0 && total > width) {
    size_t widest = widths.size();
    for (size_t column : shrinkable) {
      if (column < widths.size() && widths[column] > kNarrowest &&
          (widest == widths.size() || widths[column] > widths[widest])) {
        widest = column;
      }
    }
    if (widest == widths.size()) break;  // as narrow as it goes
    const size_t cut = std::min(total - width, widths[widest] - kNarrowest);
    widths[widest] -= cut;
    total -= cut;
  }
  std::string table;
  for (const auto& row : rows) {
    std::string line;
    for (size_t column = 0; column < row.size(); ++column) {
      const std::string cell = CutToWidth(row[column], widths[column]);
      line += cell;
      if (column + 1 < row.size()) line.append(widths[column] - DisplayWidth(cell) + kGap, ' ');
    }
    table += line + "\n";
  }
  return table;
}

size_t TerminalWidth() {
  struct winsize size = {};
  if (::isatty(STDOUT_FILENO) && ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 &&
      size.ws_col > 0) {
    return size.ws_col;
  }
  const char* columns = std::getenv("COLUMNS");
  if (columns == nullptr) return 0;
  char* end = nullptr;
  const long value = std::strtol(columns, &end, 10);
  return *end == '\0' && value > 0 ? static_cast<size_t>(value) : 0;
}

std::string AgeText(time_t then, time_t now) {
  const long long seconds = now > then ? static_cast<long long>(now - then) : 0;
  if (seconds < 60) return std::to_string(seconds) + "s";
  if (seconds < 3600) return std::to_string(seconds / 60) + "m";
  if (seconds < 86400) return std::to_string(seconds / 3600) + "h";
  return std::to_string(seconds / 86400) + "d";
}

std::string UtcTime(time_t when) {
  struct tm utc;
  gmtime_r(&when, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

void AddComments(EvAlertEx& alert, const std::vector<std::string>& comments) {
  constexpr uint64_t kCommentEventCode = 0x4a00003f;
  constexpr uint64_t kCommentMessageId = 0x4a000321;  // "%1"
  for (const std::string& comment : comments) {
    alert.curEventCode = kCommentEventCode;
    alert.curMessageId = kCommentMessageId;
    alert << comment.c_str();
    AlertEventMsg end;
    end.eventCode = kCommentEventCode;
    end.messageId = kCommentMessageId;
    end.argType = kArgEndOfMessage;
    alert.getEventMsgList().push_back(end);
  }
  alert.curEventCode = 0;
  alert.curMessageId = 0;
}

std::string Shorten(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t cut = limit;
  // Back up to the first byte of a UTF-8 sequence.
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut) + "[... " + std::to_string(text.size() - cut) +
         " more bytes left out]";
}

namespace {

// The code point of the UTF-8 sequence at `at`, its length in *length; a
// length of 0 for a byte that starts no valid sequence.
char32_t DecodeUtf8(const std::string& text, size_t at, size_t* length) {
  *length = 0;
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char first = byte(at);
  const size_t count = first >= 0xF5   ? 0
                       : first >= 0xF0 ? 4
                       : first >= 0xE0 ? 3
                       : first >= 0xC2 ? 2
                                       : 0;
  if (count == 0 || at + count > text.size()) return 0;
  char32_t point = first & (0x7F >> count);
  for (size_t i = 1; i < count; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    point = point << 6 | (byte(at + i) & 0x3F);
  }
  static const char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (point < kSmallest[count] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
    return 0;
  }
  *length = count;
  return point;
}

// The C1 controls, and the characters that reorder a line or end it.
bool SteersTheTerminal(char32_t c) {
  return (c >= 0x80 && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
         (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

}  // namespace

std::string OneLine(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  char escape[16];
  for (size_t at = 0; at < text.size();) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x80) {
      if (byte == '\\') {
        result += "\\\\";
      } else if (byte == '\n') {
        result += "\\n";
      } else if (byte == '\r') {
        result += "\\r";
      } else if (byte == '\t') {
        result += "\\t";
      } else if (byte < 0x20 || byte == 0x7F) {
        std::snprintf(escape, sizeof escape, "\\x%02x", byte);
        result += escape;
      } else {
        result += static_cast<char>(byte);
      }
      ++at;
      continue;
    }
    size_t length = 0;
    const char32_t point = DecodeUtf8(text, at, &length);
    if (length == 0) {
      std::snprintf(escape, sizeof escape, "\\x%02x", byte);
      result += escape;
      ++at;
    } else if (SteersTheTerminal(point)) {
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(point));
      result += escape;
      at += length;
    } else {
      result.append(text, at, length);
      at += length;
    }
  }
  return result;
}

}  // namespace tarnalert_tool
