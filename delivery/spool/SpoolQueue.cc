// The spool as a person manages it: what waits and what the server
// rejected, one alert's text, an alert put back or removed. Every step goes
// through the checked spool directory and takes only plain alert names.
#include <cerrno>
#include <string>
#include <vector>

#include "delivery/spool/AlertSpool.h"
#include "platform/env/Settings.h"
#include "platform/files/Directory.h"
#include "platform/files/File.h"
#include "platform/files/Paths.h"
#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/delivery/SpoolForwarder.h"
#include "tarnalert/platform/env/Env.h"

namespace tarnalert {

namespace {

constexpr size_t kLargestAlert = 64u << 20;
constexpr size_t kLargestReply = 64u << 10;
// A reply's line is cut to this many bytes for a listing.
constexpr size_t kLongestReplyLine = 200;

FXCodeLocation Here(const char* function, int line) {
  return FXCodeLocation("SpoolQueue", function, line);
}

// The spool directory and its rejected/, each left closed when missing.
struct Spool {
  Directory waiting;
  Directory rejected;
};

CYqError OpenSpool(Spool* spool) {
  CYqError error =
      Directory::Open(Env::Current(), detail::SpoolDirectory(), false, &spool->waiting);
  if (error.Code() == -ENOENT) return CYqError();
  if (!error.IsError()) {
    error = spool->waiting.OpenDirectory(detail::kRejectedDirectory, false, &spool->rejected);
  }
  return error.Code() == -ENOENT ? CYqError() : error;
}

// Opens the spool for the alert `name`, which must be a plain alert name.
CYqError OpenFor(const char* function, const std::string& name, Spool* spool) {
  if (!IsQueueFileName(name, detail::kSpoolFileSuffix)) {
    return FXErrorUtil::ErrorErrNo(Here(function, __LINE__), EINVAL,
                                   "\"%s\" is not the name of a spooled alert (NAME%s, as spool "
                                   "list shows it)",
                                   name.c_str(), detail::kSpoolFileSuffix);
  }
  return OpenSpool(spool);
}

CYqError NoSuchAlert(const char* function, int line, const char* kind, const std::string& name) {
  return FXErrorUtil::ErrorErrNo(Here(function, line), ENOENT,
                                 "no %salert %s in the spool (spool list shows what is kept)", kind,
                                 name.c_str());
}

// "HTTP 400: <the first line of the reply's body>" from a stored reply.
std::string ReplyLine(const std::string& reply) {
  const size_t end = reply.find('\n');
  std::string line = reply.substr(0, end);
  if (end != std::string::npos) {
    const size_t start = reply.find_first_not_of(" \t\r\n", end);
    if (start != std::string::npos) {
      std::string first = reply.substr(start, reply.find_first_of("\r\n", start) - start);
      if (first.size() > kLongestReplyLine) first = first.substr(0, kLongestReplyLine) + "...";
      line += ": " + first;
    }
  }
  return line;
}

// Fills `entries` with the alerts of `directory`, oldest first.
CYqError ListIn(const Directory& directory, bool rejected, std::vector<SpoolEntry>* entries) {
  if (!directory.is_open()) return CYqError();
  std::vector<std::string> names;
  CYqError error = directory.List(detail::kSpoolFileSuffix, &names);
  if (error.IsError()) return error;
  for (const std::string& name : names) {
    SpoolEntry entry;
    entry.name = name;
    entry.rejected = rejected;
    std::string text, why;
    FileInfo info;
    if (directory.env()->StatFileAt(directory.fd(), name, &info) != 0) continue;  // sent meanwhile
    entry.spooled = info.modified;
    EvAlertEx alert;
    if (!ReadFileToString(directory, name, kLargestAlert, &text).IsError() &&
        detail::ReadSpoolDocument(text, &alert, &why)) {
      entry.alertType = alert.alertType;
    }
    if (rejected && !ReadFileToString(directory, name + ".reply", kLargestReply, &text).IsError()) {
      entry.reply = ReplyLine(text);
    }
    entries->push_back(std::move(entry));
  }
  return CYqError();
}

}  // namespace

CYqError ListSpoolEntries(std::vector<SpoolEntry>* entries) {
  entries->clear();
  Spool spool;
  CYqError error = OpenSpool(&spool);
  if (!error.IsError()) error = ListIn(spool.waiting, false, entries);
  if (!error.IsError()) error = ListIn(spool.rejected, true, entries);
  return error;
}

CYqError ReadSpooledAlert(const std::string& name, std::string* text) {
  text->clear();
  Spool spool;
  CYqError error = OpenFor(__func__, name, &spool);
  if (error.IsError()) return error;
  for (const Directory* directory : {&spool.waiting, &spool.rejected}) {
    if (!directory->is_open()) continue;
    error = ReadFileToString(*directory, name, kLargestAlert, text);
    if (error.Code() != -ENOENT) return error;
  }
  return NoSuchAlert(__func__, __LINE__, "", name);
}

CYqError RetrySpooledAlert(const std::string& name) {
  Spool spool;
  CYqError error = OpenFor(__func__, name, &spool);
  if (error.IsError()) return error;
  if (!spool.rejected.is_open()) return NoSuchAlert(__func__, __LINE__, "rejected ", name);
  error = spool.rejected.Move(name, spool.waiting, name);
  if (error.Code() == -ENOENT) return NoSuchAlert(__func__, __LINE__, "rejected ", name);
  if (error.IsError()) return error;
  error = spool.waiting.Sync();
  (void)spool.rejected.Remove(name + ".reply");  // left behind, it only misleads a reader
  (void)spool.rejected.Sync();
  return error;
}

CYqError RemoveSpooledAlert(const std::string& name) {
  Spool spool;
  CYqError error = OpenFor(__func__, name, &spool);
  if (error.IsError()) return error;
  for (const Directory* directory : {&spool.waiting, &spool.rejected}) {
    if (!directory->is_open()) continue;
    error = directory->Remove(name);
    if (error.Code() == -ENOENT) continue;
    if (error.IsError()) return error;
    if (directory == &spool.rejected) (void)directory->Remove(name + ".reply");
    return directory->Sync();
  }
  return NoSuchAlert(__func__, __LINE__, "", name);
}

}  // namespace tarnalert
