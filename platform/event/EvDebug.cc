// The debug log: one line per call, written with a single write() on an
// O_APPEND descriptor so that lines of threads and processes never interleave.
#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>

#include "platform/env/Settings.h"
#include "platform/text/Format.h"
#include "tarnalert/platform/env/Env.h"
#include "tarnalert/platform/event/EvEvent.h"

namespace tarnalert {

namespace {

enum class Severity { kDebug, kError };

constexpr int kDefaultLogLevel = 1;

// The descriptor of the default log file, reopened when the path changes.
class LogFile {
 public:
  void Write(const std::string& path, const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (path != path_) Reopen(path);
    if (fd_ < 0) return;
    const char* data = line.data();
    size_t left = line.size();
    while (left > 0) {  // a short write only happens on a full disk or a signal
      ssize_t n = ::write(fd_, data, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      data += n;
      left -= static_cast<size_t>(n);
    }
  }

 private:
  void Reopen(const std::string& path) {
    if (fd_ > 2) ::close(fd_);
    fd_ = -1;
    path_ = path;
    if (path == "-") {
      fd_ = 2;
      return;
    }
    const int flags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW;
    fd_ = ::open(path.c_str(), flags, 0600);
    if (fd_ < 0 && errno == ENOENT && detail::MakeDirectories(detail::DirectoryOf(path))) {
      fd_ = ::open(path.c_str(), flags, 0600);
    }
  }

  std::mutex mutex_;
  std::string path_;
  int fd_ = -1;
};

LogFile& DefaultLogFile() {
  static LogFile* const file = new LogFile;  // lives until exit: logging may run in atexit
  return *file;
}

std::string LinePrefix(Severity severity, int level, const char* tag) {
  struct timeval now;
  ::gettimeofday(&now, nullptr);
  struct tm utc;
  ::gmtime_r(&now.tv_sec, &utc);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02d.%06ldZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<long>(now.tv_usec));
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
  if (severity == Severity::kDebug && level > env->LogLevel()) return;
  std::string line = LinePrefix(severity, level, tag);
  line += detail::FormatV(format, args);
  // A message never spans lines: embedded line breaks are escaped.
  for (size_t i = line.find_first_of("\r\n"); i != std::string::npos;
       i = line.find_first_of("\r\n", i + 2)) {
    line.replace(i, 1, line[i] == '\n' ? "\\n" : "\\r");
  }
  line.push_back('\n');
  env->WriteLogLine(line);
}

}  // namespace

int Env::LogLevel() {
  std::string value = Current()->GetSetting("LOG_LEVEL");
  if (value.empty()) return kDefaultLogLevel;
  char* end = nullptr;
  long level = std::strtol(value.c_str(), &end, 10);
  if (end == value.c_str() || *end != '\0') return kDefaultLogLevel;
  return static_cast<int>(level < 0 ? 0 : level > 1000 ? 1000 : level);
}

void Env::WriteLogLine(const std::string& line) {
  DefaultLogFile().Write(detail::LogFilePath(), line);
}

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

std::string EvDebug::LogPath() { return tarnalert::detail::LogFilePath(); }
