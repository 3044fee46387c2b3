#include "tarnalert/platform/env/Env.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "platform/env/Settings.h"

namespace tarnalert {

namespace {

std::atomic<Env*> installed_env{nullptr};

// Retries a system call interrupted by a signal.
template <typename Call>
auto RetryOnEintr(Call call) -> decltype(call()) {
  decltype(call()) result;
  do {
    result = call();
  } while (result == -1 && errno == EINTR);
  return result;
}

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

Env::~Env() = default;

Env* Env::Default() {
  static Env* const default_env = new Env;  // never destroyed: used until exit
  return default_env;
}

Env* Env::Current() {
  Env* env = installed_env.load(std::memory_order_acquire);
  return env ? env : Default();
}

Env* Env::Install(Env* env) {
  Env* previous = installed_env.exchange(env, std::memory_order_acq_rel);
  return previous ? previous : Default();
}

std::string Env::GetSetting(const std::string& name) {
  return Variable(("TARNALERT_" + name).c_str());
}

DeliveryResult Env::DeliverEmail(const std::string&, int) { return DeliveryResult{}; }

std::string Env::PhysicalMachineName(const std::string&) {
  std::string name = Current()->GetSetting("CLIENT_NAME");
  if (!name.empty()) return name;
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0) return "";
  return host;
}

std::string Env::JobResultsDirectory(const std::string& clientName) {
  if (clientName.empty()) return "";
  std::string directory = Current()->GetSetting("JOB_RESULTS_DIR");
  if (!directory.empty()) return directory;
  return detail::StateDirectory() + "/jobresults";
}

int Env::OpenFile(const std::string& path, int flags, mode_t mode) {
  return RetryOnEintr([&] { return ::open(path.c_str(), flags | O_CLOEXEC, mode); });
}

ssize_t Env::ReadFile(int fd, void* buffer, size_t size) {
  return RetryOnEintr([&] { return ::read(fd, buffer, size); });
}

ssize_t Env::WriteFile(int fd, const void* data, size_t size) {
  return RetryOnEintr([&] { return ::write(fd, data, size); });
}

int Env::SyncFile(int fd) {
  return RetryOnEintr([&] { return ::fsync(fd); });
}

int Env::CloseFile(int fd) { return ::close(fd); }  // never retried: the fd is gone

int Env::RenameFile(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str());
}

int Env::RemoveFile(const std::string& path) { return ::unlink(path.c_str()); }

int Env::SyncDirectory(const std::string& directory) {
  int fd =
      RetryOnEintr([&] { return ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
  if (fd < 0) return -1;
  int result = RetryOnEintr([&] { return ::fsync(fd); });
  int saved = errno;
  ::close(fd);
  errno = saved;
  return result;
}

int Env::LockFile(int fd, bool lock) {
  return RetryOnEintr([&] { return ::flock(fd, lock ? LOCK_EX : LOCK_UN); });
}

time_t Env::Now() { return ::time(nullptr); }

namespace detail {

std::string StateDirectory() {
  Env* env = Env::Current();
  std::string directory = env->GetSetting("STATE_DIR");
  if (!directory.empty()) return directory;
  std::string xdg = Variable("XDG_STATE_HOME");
  if (!xdg.empty()) return xdg + "/tarnalert";
  std::string home = Variable("HOME");
  if (!home.empty()) return home + "/.local/state/tarnalert";
  return "/tmp/tarnalert-" + std::to_string(::getuid());
}

std::string LogFilePath() {
  Env* env = Env::Current();
  std::string path = env->GetSetting("LOG_FILE");
  return path.empty() ? StateDirectory() + "/log/tarnalert.log" : path;
}

std::string SpoolDirectory() {
  Env* env = Env::Current();
  std::string path = env->GetSetting("SPOOL_DIR");
  return path.empty() ? StateDirectory() + "/spool" : path;
}

std::string CatalogDirectory() {
  Env* env = Env::Current();
  std::string path = env->GetSetting("CATALOG_DIR");
  return path.empty() ? StateDirectory() + "/catalog" : path;
}

bool MakeDirectories(const std::string& path) {
  if (path.empty()) return false;
  struct stat info;
  if (::stat(path.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return true;
    errno = ENOTDIR;
    return false;
  }
  // The first directory that cannot be made gives the reason (errno).
  std::string parent = DirectoryOf(path);
  if (parent != path && parent != "." && parent != "/" && !MakeDirectories(parent)) return false;
  return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace detail
}  // namespace tarnalert
