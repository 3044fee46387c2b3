#include "delivery/FileTransport.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>

#include "delivery/MailResult.h"
#include "platform/env/Settings.h"
#include "tarnalert/platform/event/EvEvent.h"
#include "tarnalert/platform/text/FXString.h"

namespace tarnalert {
namespace detail {

namespace {

DeliveryResult Failure(const char* step, const std::string& path, int error) {
  return DeliveryResult{kMailOutboxFailed, FXString::ToWstring(std::string(step) + " " + path +
                                                               ": " + std::strerror(error))};
}

// Writes all of `data` to `fd`; the errno of the failure otherwise.
int WriteAll(Env* env, int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t written = env->WriteFile(fd, data.data() + done, data.size() - done);
    if (written <= 0) return written < 0 ? errno : EIO;
    done += static_cast<size_t>(written);
  }
  return 0;
}

}  // namespace

DeliveryResult WriteToOutbox(Env* env, const std::string& directory, const std::string& name,
                             const std::string& message) {
  const std::string temporaryDirectory = directory + "/tmp";
  const std::string newDirectory = directory + "/new";
  for (const std::string& path : {temporaryDirectory, newDirectory, directory + "/cur"}) {
    errno = 0;
    if (!MakeDirectories(path)) {
      return Failure("cannot create the outbox directory", path, errno != 0 ? errno : ENOTDIR);
    }
  }
  const std::string temporary = temporaryDirectory + "/" + name + ".eml";
  const std::string final_path = newDirectory + "/" + name + ".eml";

  int fd = env->OpenFile(temporary, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
  if (fd < 0) return Failure("cannot create", temporary, errno);
  const char* failed = nullptr;
  std::string failedPath = temporary;
  int error = WriteAll(env, fd, message);
  if (error != 0) {
    failed = "cannot write";
  } else if (env->SyncFile(fd) != 0) {
    error = errno;
    failed = "cannot flush";
  }
  if (env->CloseFile(fd) != 0 && failed == nullptr) {
    error = errno;
    failed = "cannot close";
  }
  if (failed == nullptr && env->RenameFile(temporary, final_path) != 0) {
    error = errno;
    failed = "cannot move the message into";
    failedPath = newDirectory;
  }
  if (failed != nullptr) {
    env->RemoveFile(temporary);
    return Failure(failed, failedPath, error);
  }
  // The message is in place; a failure to make the rename durable is worth a
  // log line, not a second copy.
  if (env->SyncDirectory(newDirectory) != 0) {
    EvEvent().Error("DeliverEmail", "cannot flush the outbox directory %s: %s",
                    newDirectory.c_str(), std::strerror(errno));
  }
  return DeliveryResult{kMailDelivered, L""};
}

}  // namespace detail
}  // namespace tarnalert
