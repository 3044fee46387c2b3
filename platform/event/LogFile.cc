#include "platform/event/LogFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "platform/env/NoDestructor.h"
#include "platform/env/Settings.h"
#include "platform/files/Directory.h"
#include "platform/files/File.h"
#include "platform/files/Paths.h"

namespace tarnalert {
namespace detail {

namespace {

// A log that cannot be opened is tried again at most this often.
constexpr uint64_t kRetryMicros = 1000000;

class LogFile {
 public:
  void Write(Env* files, const std::string& path, const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (path != path_) {
      Close();
      path_ = path;
      last_attempt_ = 0;
    }
    if (fd_ > STDERR_FILENO && RotatedAway(files)) Close();
    if (fd_ < 0) {
      // The clock of the Env in force, so that a test can move it.
      const uint64_t now = Env::Current()->NowMicros();
      if (last_attempt_ != 0 && now >= last_attempt_ && now < last_attempt_ + kRetryMicros) return;
      last_attempt_ = now;
      Open(files);
      if (fd_ < 0) return;
      last_attempt_ = 0;
    }
    // A short write only happens on a full disk or a signal; what is lost
    // then cannot be reported anywhere.
    (void)WriteAll(files, fd_, path_, line.data(), line.size());
  }

 private:
  void Close() {
    if (fd_ > STDERR_FILENO) (void)directory_.env()->CloseFile(fd_);  // only appended to
    fd_ = -1;
    directory_ = Directory();
  }

  void Open(Env* files) {
    if (path_ == "-") {
      fd_ = STDERR_FILENO;
      return;
    }
    const size_t slash = path_.find_last_of('/');
    name_ = slash == std::string::npos ? path_ : path_.substr(slash + 1);
    if (name_.empty() || Directory::Open(files, DirectoryOf(path_), true, &directory_).IsError()) {
      return;  // nowhere to say why
    }
    // Non-blocking, so that a FIFO in the log's place cannot stop the writer.
    const int fd = files->OpenFileAt(directory_.fd(), name_,
                                     O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK, 0600);
    FileInfo info;
    if (fd >= 0 && files->StatFile(fd, &info) == 0 && info.isRegular) {
      fd_ = fd;
      device_ = info.device;
      inode_ = info.inode;
      return;
    }
    if (fd >= 0) (void)files->CloseFile(fd);
    directory_ = Directory();
  }

  // True when the name no longer leads to the open file: it was renamed or
  // removed (log rotation), and the next line belongs in a new file.
  bool RotatedAway(Env* files) {
    FileInfo info;
    if (files->StatFileAt(directory_.fd(), name_, &info) != 0) return errno == ENOENT;
    return info.device != device_ || info.inode != inode_;
  }

  std::mutex mutex_;
  std::string path_;
  std::string name_;
  Directory directory_;
  int fd_ = -1;
  uint64_t device_ = 0;
  uint64_t inode_ = 0;
  uint64_t last_attempt_ = 0;  // time of the last failed open; 0: none
};

}  // namespace

void AppendToLogFile(Env* files, const std::string& line) {
  static NoDestructor<LogFile> file;  // logging may still run in atexit handlers
  file->Write(files, LogFilePath(), line);
}

}  // namespace detail
}  // namespace tarnalert
