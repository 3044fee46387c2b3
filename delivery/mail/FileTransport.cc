#include "delivery/mail/FileTransport.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "delivery/mail/MailResult.h"
#include "platform/files/Directory.h"
#include "platform/files/File.h"
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
  // The directory is resolved once and each directory in it is checked and
  // held by its descriptor, so a link or a directory swapped in later cannot
  // redirect the message.
  Directory outbox, temporaryDirectory, newDirectory, curDirectory;
  CYqError opened = Directory::Open(env, directory, true, &outbox);
  if (opened.IsError()) return Failure("cannot use the outbox directory " + directory, opened);
  const std::pair<const char*, Directory*> directories[] = {
      {"tmp", &temporaryDirectory}, {"new", &newDirectory}, {"cur", &curDirectory}};
  for (const auto& [name, subdirectory] : directories) {
    CYqError error = outbox.OpenDirectory(name, true, subdirectory);
    if (error.IsError()) {
      return Failure("cannot use the outbox directory " + outbox.PathOf(name), error);
    }
  }
  // Messages a killed writer left half written are of no use to anyone.
  temporaryDirectory.RemoveStaleTemporaries(
      [](const std::string& file) {
        return file.size() > 4 && file.rfind(".eml") == file.size() - 4;
      },
      kStaleTemporaryAge);

  const std::string file = name + ".eml";
  WritableFile output;
  CYqError error =
      output.OpenIn(temporaryDirectory, file, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
  if (error.IsError()) return Failure("cannot create the message", error);
  error = WriteWhole(output, message);
  if (error.IsError()) {
    (void)env->RemoveFileAt(temporaryDirectory.fd(), file);  // the failure is what counts
    return Failure("cannot write the message", error);
  }
  if (env->RenameFileAt(temporaryDirectory.fd(), file, newDirectory.fd(), file) != 0) {
    const std::string reason = std::strerror(errno);
    (void)env->RemoveFileAt(temporaryDirectory.fd(), file);
    return DeliveryResult{
        kMailOutboxFailed,
        FXString::ToWstring("cannot move the message into " + newDirectory.path() + ": " + reason)};
  }
  // The message is in place; a failure to make the rename durable is worth a
  // log line, not a second copy.
  if (CYqError synced = newDirectory.Sync(); synced.IsError()) {
    EvEvent().Error("DeliverEmail", "cannot flush the outbox directory %s: %s",
                    newDirectory.path().c_str(), synced.LastMessage().c_str());
  }
  return DeliveryResult{kMailDelivered, L""};
}

}  // namespace detail
}  // namespace tarnalert
