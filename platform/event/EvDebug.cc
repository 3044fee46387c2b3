// EvDebug: the debug log's lines. Each call formats one line (timestamp from
// the Env's clock, process and thread ids, severity, level and function tag)
// and hands it whole to the Env's log sink.
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

#include "platform/env/Settings.h"
#include "platform/text/Format.h"
#include "tarnalert/platform/env/Env.h"
#include "tarnalert/platform/event/EvEvent.h"

namespace tarnalert {

namespace {

enum class Severity { kDebug, kError };

// Appends `value` in decimal, zero-padded to `width` digits.
void AppendNumber(std::string& out, long long value, int width = 0) {
  char digits[24];
  const auto written = std::to_chars(digits, digits + sizeof digits, value);
  const int count = static_cast<int>(written.ptr - digits);
  if (count < width) out.append(static_cast<size_t>(width - count), '0');
  out.append(digits, written.ptr);
}

// Forks this process has made: a thread's cached ids are asked for again
// once the count has moved (in the child, the forking thread's).
std::atomic<unsigned> forks{0};

void CountFork() { forks.fetch_add(1, std::memory_order_relaxed); }

// What the lines of one thread repeat: its process and thread ids, and the
// text of the second it last wrote in.
struct ThreadLines {
  unsigned forksSeen = ~0u;
  long long pid = 0;
  long long tid = 0;
  time_t second = -1;
  std::string secondText;  // "2026-12-06T17:19:08"
};

ThreadLines& ThisThreadsLines() {
  static const int registered = ::pthread_atfork(nullptr, nullptr, CountFork);
  (void)registered;
  thread_local ThreadLines lines;
  const unsigned seen = forks.load(std::memory_order_relaxed);
  if (lines.forksSeen != seen) {
    lines.forksSeen = seen;
    lines.pid = ::getpid();
    lines.tid = ::syscall(SYS_gettid);
  }
  return lines;
}

// Appends "2026-12-06T17:19:08.123456Z <pid> <tid> ERROR|DEBUG <level> [<tag>: ]".
void AppendLinePrefix(std::string& line, Env* env, Severity severity, int level, const char* tag) {
  ThreadLines& lines = ThisThreadsLines();
  const uint64_t micros = env->NowMicros();
  const time_t seconds = static_cast<time_t>(micros / 1000000);
  if (seconds != lines.second) {
    struct tm utc;
    ::gmtime_r(&seconds, &utc);
    std::string& text = lines.secondText;
    text.clear();
    AppendNumber(text, utc.tm_year + 1900L, 4);
    text.push_back('-');
    AppendNumber(text, utc.tm_mon + 1, 2);
    text.push_back('-');
    AppendNumber(text, utc.tm_mday, 2);
    text.push_back('T');
    AppendNumber(text, utc.tm_hour, 2);
    text.push_back(':');
    AppendNumber(text, utc.tm_min, 2);
    text.push_back(':');
    AppendNumber(text, utc.tm_sec, 2);
    lines.second = seconds;
  }
  line += lines.secondText;
  line.push_back('.');
  AppendNumber(line, static_cast<long long>(micros % 1000000), 6);
  line += "Z ";
  AppendNumber(line, lines.pid);
  line.push_back(' ');
  AppendNumber(line, lines.tid);
  line += severity == Severity::kError ? " ERROR " : " DEBUG ";
  AppendNumber(line, level);
  line.push_back(' ');
  if (tag != nullptr) {
    line += tag;
    line += ": ";
  }
}

void WriteLine(Severity severity, int level, const char* tag, const char* format, va_list args) {
  Env* env = Env::Current();
  if (severity == Severity::kDebug && !EvDebug::IsLogged(level)) return;
  std::string line;
  line.reserve(256);
  AppendLinePrefix(line, env, severity, level, tag);
  detail::AppendFormatV(line, format, args);
  // A message never spans lines: embedded line breaks are escaped.
  size_t breaks = 0;
  for (char c : line) breaks += c == '\n' || c == '\r';
  if (breaks > 0) {
    std::string escaped;
    escaped.reserve(line.size() + breaks + 1);
    for (char c : line) {
      if (c == '\n' || c == '\r') {
        escaped += c == '\n' ? "\\n" : "\\r";
      } else {
        escaped.push_back(c);
      }
    }
    line.swap(escaped);
  }
  line.push_back('\n');
  env->WriteLogLine(line);
}

}  // namespace

}  // namespace tarnalert

using tarnalert::Severity;

void EvDebug::Debug(const char* functionTag, const char* format, ...) {
  va_list args;
  va_start(args, format);
  tarnalert::WriteLine(Severity::kDebug, 0, functionTag, format, args);
  va_end(args);
}

void EvDebug::Error(const char* functionTag, const char* format, ...) {
  va_list args;
  va_start(args, format);
  tarnalert::WriteLine(Severity::kError, 0, functionTag, format, args);
  va_end(args);
}

void EvDebug::DebugLvl(const char* functionTag, int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  tarnalert::WriteLine(Severity::kDebug, level, functionTag, format, args);
  va_end(args);
}

void EvDebug::debugLvl(int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  tarnalert::WriteLine(Severity::kDebug, level, nullptr, format, args);
  va_end(args);
}

bool EvDebug::IsLogged(int level) { return level <= tarnalert::Env::Current()->LogLevel(); }

std::string EvDebug::LogPath() { return tarnalert::detail::LogFilePath(); }
