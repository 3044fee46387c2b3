#include "platform/event/LogFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "platform/env/NoDestructor.h"
#include "platform/env/Settings.h"
#include "platform/files/File.h"
#include "platform/files/Paths.h"

namespace tarnalert {
namespace detail {

namespace {

class LogFile {
 public:
  void Write(Env* files, const std::string& path, const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (path != path_) Reopen(files, path);
    if (fd_ < 0) return;
    // A short write only happens on a full disk or a signal; what is lost
    // then cannot be reported anywhere.
    (void)WriteAll(files, fd_, path_, line.data(), line.size());
  }

 private:
  void Reopen(Env* files, const std::string& path) {
    if (fd_ > STDERR_FILENO) (void)files->CloseFile(fd_);  // only appended to: nothing to lose
    fd_ = -1;
    path_ = path;
    if (path == "-") {
      fd_ = STDERR_FILENO;
      return;
    }
    const int flags = O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW;
    fd_ = files->OpenFile(path, flags, 0600);
    if (fd_ < 0 && errno == ENOENT && !MakeDirectories(files, DirectoryOf(path)).IsError()) {
      fd_ = files->OpenFile(path, flags, 0600);
    }
  }

  std::mutex mutex_;
  std::string path_;
  int fd_ = -1;
};

}  // namespace

void AppendToLogFile(Env* files, const std::string& line) {
  static NoDestructor<LogFile> file;  // logging may still run in atexit handlers
  file->Write(files, LogFilePath(), line);
}

}  // namespace detail
}  // namespace tarnalert
