#include "delivery/FileTransport.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>

#include "delivery/MailResult.h"
#include "platform/files/File.h"
#include "platform/files/Paths.h"
#include "tarnalert/platform/event/EvEvent.h"
#include "tarnalert/platform/text/FXString.h"

namespace tarnalert {
namespace detail {

namespace {

DeliveryResult Failure(const std::string& step, const CYqError& error) {
  std::string text = step;
  for (const CYqError::Message& message : error.Messages()) text += ": " + message.text;
  return DeliveryResult{kMailOutboxFailed, FXString::ToWstring(text)};
}

// Writes, syncs and closes `file`; the first failure.
CYqError WriteWhole(WritableFile& file, const std::string& message) {
  CYqError error = file.Append(message);
  if (!error.IsError()) error = file.Sync();
  CYqError closed = file.Close();
  return error.IsError() ? error : closed;
}

}  // namespace

DeliveryResult WriteToOutbox(Env* env, const std::string& directory, const std::string& name,
                             const std::string& message) {
  const std::string temporaryDirectory = directory + "/tmp";
  const std::string newDirectory = directory + "/new";
  for (const std::string& path : {temporaryDirectory, newDirectory, directory + "/cur"}) {
    CYqError made = MakeDirectories(env, path);
    if (made.IsError()) return Failure("cannot create the outbox directory " + path, made);
  }
  const std::string temporary = temporaryDirectory + "/" + name + ".eml";
  const std::string finalPath = newDirectory + "/" + name + ".eml";

  WritableFile file;
  CYqError error = file.Open(env, temporary, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
  if (error.IsError()) return Failure("cannot create the message", error);
  error = WriteWhole(file, message);
  if (error.IsError()) {
    (void)env->RemoveFile(temporary);  // best effort: the failure is what counts
    return Failure("cannot write the message", error);
  }
  if (env->RenameFile(temporary, finalPath) != 0) {
    const std::string reason = std::strerror(errno);
    (void)env->RemoveFile(temporary);
    return DeliveryResult{kMailOutboxFailed, FXString::ToWstring("cannot move the message into " +
                                                                 newDirectory + ": " + reason)};
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
