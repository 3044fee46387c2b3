// EvDebug: the debug log's lines. Each call formats one line (timestamp from
// the Env's clock, process and thread ids, severity, level and function tag)
// and hands it whole to the Env's log sink.
#include <sys/syscall.h>
#include <unistd.h>

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

std::string LinePrefix(Env* env, Severity severity, int level, const char* tag) {
  const uint64_t micros = env->NowMicros();
  const time_t seconds = static_cast<time_t>(micros / 1000000);
  struct tm utc;
  ::gmtime_r(&seconds, &utc);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02d.%06ldZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<long>(micros % 1000000));
  char ids[96];
  std::snprintf(ids, sizeof ids, " %ld %ld %s %d ", static_cast<long>(::getpid()),
                static_cast<long>(::syscall(SYS_gettid)),
                severity == Severity::kError ? "ERROR" : "DEBUG", level);
  std::string prefix = stamp;
  prefix += ids;
  if (tag != nullptr) {
    prefix += tag;
    prefix += ": ";
  }
  return prefix;
}

void WriteLine(Severity severity, int level, const char* tag, const char* format, va_list args) {
  Env* env = Env::Current();
  if (severity == Severity::kDebug && !EvDebug::IsLogged(level)) return;
  std::string line = LinePrefix(env, severity, level, tag);
  line += detail::FormatV(format, args);
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
