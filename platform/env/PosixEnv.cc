// All the operating system code of the default Env, in one place.
#include "platform/env/PosixEnv.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/env/Settings.h"

namespace tarnalert {

namespace {

constexpr int kDefaultLogLevel = 1;

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

void Fill(const struct stat& status, FileInfo* info) {
  info->isDirectory = S_ISDIR(status.st_mode);
  info->isRegular = S_ISREG(status.st_mode);
  info->isSymbolicLink = S_ISLNK(status.st_mode);
  info->size = static_cast<uint64_t>(status.st_size);
  info->mode = static_cast<uint32_t>(status.st_mode & 07777);
  info->owner = static_cast<uint32_t>(status.st_uid);
  info->device = static_cast<uint64_t>(status.st_dev);
  info->inode = static_cast<uint64_t>(status.st_ino);
  info->modified = status.st_mtime;
}

}  // namespace

// --- Settings ----------------------------------------------------------------

const char* PosixEnv::SettingVariable(const std::string& name) {
  // The variable's name is put together on the stack: settings are read on
  // every alert.
  static constexpr char kPrefix[] = "TARNALERT_";
  char variable[64];
  if (name.size() >= sizeof variable - sizeof kPrefix) return std::getenv((kPrefix + name).c_str());
  std::memcpy(variable, kPrefix, sizeof kPrefix - 1);
  std::memcpy(variable + sizeof kPrefix - 1, name.data(), name.size());
  variable[sizeof kPrefix - 1 + name.size()] = '\0';
  return std::getenv(variable);
}

std::string PosixEnv::GetSetting(const std::string& name) {
  const char* value = SettingVariable(name);
  return value ? value : "";
}

std::string PosixEnv::UserStateDirectory() {
  std::string xdg = Variable("XDG_STATE_HOME");
  if (!xdg.empty()) return xdg + "/tarnalert";
  std::string home = Variable("HOME");
  if (!home.empty()) return home + "/.local/state/tarnalert";
  return "/tmp/tarnalert-" + std::to_string(::getuid());
}

std::string PosixEnv::UserConfigDirectory() {
  std::string xdg = Variable("XDG_CONFIG_HOME");
  if (!xdg.empty()) return xdg + "/tarnalert";
  std::string home = Variable("HOME");
  return home.empty() ? "" : home + "/.config/tarnalert";
}

// --- Files -------------------------------------------------------------------

int PosixEnv::OpenFile(const std::string& path, int flags, mode_t mode) {
  return RetryOnEintr([&] { return ::open(path.c_str(), flags | O_CLOEXEC, mode); });
}

ssize_t PosixEnv::ReadFile(int fd, void* buffer, size_t size) {
  return RetryOnEintr([&] { return ::read(fd, buffer, size); });
}

ssize_t PosixEnv::WriteFile(int fd, const void* data, size_t size) {
  return RetryOnEintr([&] { return ::write(fd, data, size); });
}

int PosixEnv::SyncFile(int fd) {
  return RetryOnEintr([&] { return ::fsync(fd); });
}

int PosixEnv::CloseFile(int fd) { return ::close(fd); }

int PosixEnv::RenameFile(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str());
}

int PosixEnv::RemoveFile(const std::string& path) { return ::unlink(path.c_str()); }

// --- Directories -------------------------------------------------------------

int PosixEnv::CreateDirectory(const std::string& path, mode_t mode) {
  return ::mkdir(path.c_str(), mode);
}

int PosixEnv::StatPath(const std::string& path, FileInfo* info) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) return -1;
  Fill(status, info);
  return 0;
}

int PosixEnv::StatFile(int fd, FileInfo* info) {
  struct stat status;
  if (::fstat(fd, &status) != 0) return -1;
  Fill(status, info);
  return 0;
}

int PosixEnv::SyncDirectory(const std::string& directory) {
  int fd =
      RetryOnEintr([&] { return ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
  if (fd < 0) return -1;
  int result = RetryOnEintr([&] { return ::fsync(fd); });
  int saved = errno;
  ::close(fd);
  errno = saved;
  return result;
}

// --- Names inside an open directory --------------------------------------------

namespace {
constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
}  // namespace

int PosixEnv::OpenDirectory(const std::string& path) {
  return RetryOnEintr([&] { return ::open(path.c_str(), kDirectoryFlags); });
}

int PosixEnv::OpenDirectoryAt(int directory, const std::string& name) {
  return RetryOnEintr([&] { return ::openat(directory, name.c_str(), kDirectoryFlags); });
}

int PosixEnv::OpenFileAt(int directory, const std::string& name, int flags, mode_t mode) {
  return RetryOnEintr([&] { return ::openat(directory, name.c_str(), flags | O_CLOEXEC, mode); });
}

int PosixEnv::RenameFileAt(int fromDirectory, const std::string& from, int toDirectory,
                           const std::string& to) {
  return ::renameat(fromDirectory, from.c_str(), toDirectory, to.c_str());
}

int PosixEnv::RemoveFileAt(int directory, const std::string& name) {
  return ::unlinkat(directory, name.c_str(), 0);
}

int PosixEnv::CreateDirectoryAt(int directory, const std::string& name, mode_t mode) {
  return ::mkdirat(directory, name.c_str(), mode);
}

int PosixEnv::StatFileAt(int directory, const std::string& name, FileInfo* info) {
  struct stat status;
  if (::fstatat(directory, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return -1;
  Fill(status, info);
  return 0;
}

int PosixEnv::ListDirectory(int directory, std::vector<std::string>* names) {
  // fdopendir takes the descriptor it is given: list through a copy.
  const int copy = RetryOnEintr([&] { return ::openat(directory, ".", kDirectoryFlags); });
  if (copy < 0) return -1;
  DIR* listing = ::fdopendir(copy);
  if (listing == nullptr) {
    const int saved = errno;
    ::close(copy);
    errno = saved;
    return -1;
  }
  names->clear();
  errno = 0;
  while (struct dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names->push_back(name);
  }
  const int saved = errno;
  ::closedir(listing);
  errno = saved;
  return saved == 0 ? 0 : -1;
}

int PosixEnv::ReadLinkAt(int directory, const std::string& name, std::string* target) {
  // A link's target is at most PATH_MAX bytes; grow once more in case a
  // file system reports a longer one.
  for (size_t size = 256;; size *= 2) {
    target->resize(size);
    const ssize_t length = ::readlinkat(directory, name.c_str(), &(*target)[0], size);
    if (length < 0) return -1;
    if (static_cast<size_t>(length) < size) {
      target->resize(static_cast<size_t>(length));
      return 0;
    }
    if (size > PATH_MAX) {
      errno = ENAMETOOLONG;
      return -1;
    }
  }
}

int PosixEnv::CurrentDirectory(std::string* path) {
  char buffer[PATH_MAX];
  if (::getcwd(buffer, sizeof buffer) == nullptr) return -1;
  *path = buffer;
  return 0;
}

uid_t PosixEnv::EffectiveUserId() { return ::geteuid(); }

// --- Locks and clock ---------------------------------------------------------

int PosixEnv::LockFile(int fd, bool lock) {
  return RetryOnEintr([&] { return ::flock(fd, lock ? LOCK_EX : LOCK_UN); });
}

int PosixEnv::TryLockFile(int fd) {
  return RetryOnEintr([&] { return ::flock(fd, LOCK_EX | LOCK_NB); });
}

uint64_t PosixEnv::NowMicros() {
  struct timeval now;
  ::gettimeofday(&now, nullptr);
  return static_cast<uint64_t>(now.tv_sec) * 1000000 + static_cast<uint64_t>(now.tv_usec);
}

// --- Hooks: nothing configured -----------------------------------------------

bool PosixEnv::CatalogText(unsigned long, unsigned long, std::string*) { return false; }

uint64_t PosixEnv::CatalogGeneration() {
  static const uint64_t generation = NewCatalogGeneration();
  return generation;
}

int PosixEnv::LogLevel() {
  std::string value = Current()->GetSetting("LOG_LEVEL");
  if (value.empty()) return kDefaultLogLevel;
  char* end = nullptr;
  long level = std::strtol(value.c_str(), &end, 10);
  if (end == value.c_str() || *end != '\0') return kDefaultLogLevel;
  return static_cast<int>(level < 0 ? 0 : level > 1000 ? 1000 : level);
}

void PosixEnv::WriteLogLine(const std::string&) {}

int PosixEnv::SendAlertToServer(const EvAlertEx&, std::string* errorText) {
  if (errorText != nullptr) *errorText = "no server alert adapter back-end is configured";
  return -1;
}

DeliveryResult PosixEnv::DeliverEmail(const std::string&, int) { return DeliveryResult{}; }

std::string PosixEnv::PhysicalMachineName(const std::string&) {
  std::string name = Current()->GetSetting("CLIENT_NAME");
  if (!name.empty()) return name;
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0) return "";
  return host;
}

std::string PosixEnv::JobResultsDirectory(const std::string& clientName) {
  if (clientName.empty()) return "";
  std::string directory = Current()->GetSetting("JOB_RESULTS_DIR");
  if (!directory.empty()) return directory;
  return detail::DefaultJobResultsDirectory();
}

}  // namespace tarnalert
