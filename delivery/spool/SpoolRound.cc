#include "delivery/spool/SpoolRound.h"

#include <fcntl.h>

#include <cerrno>

#include "delivery/spool/AlertSpool.h"
#include "platform/env/Settings.h"
#include "platform/files/File.h"

namespace tarnalert {
namespace detail {

namespace {

constexpr const char* kAlertSuffix = kSpoolFileSuffix;
constexpr size_t kLargestAlert = 64u << 20;
constexpr const char* kMarkDirectories[2] = {"sent-to-server", "sent-to-alertmanager"};

int Index(SpoolTarget target) { return target == SpoolTarget::kServer ? 0 : 1; }

FXCodeLocation Here(int line) { return FXCodeLocation("SpoolRound", "ForwardSpool", line); }

CYqError SystemError(int line, const std::string& text) {
  const int number = errno;
  return FXErrorUtil::ErrorErrNo(Here(line), number, "%s: %s", text.c_str(),
                                 FXErrorUtil::ErrorText(number).c_str());
}

}  // namespace

CYqError OpenSpool(Env* env, Directory* spool) {
  CYqError error = Directory::Open(env, SpoolDirectory(), false, spool);
  return error.Code() == -ENOENT ? CYqError() : error;
}

CYqError SpoolRound::Open(Env* env, bool server, bool alertmanager) {
  env_ = env;
  both_ = server && alertmanager;
  CYqError error = OpenSpool(env, &spool_);
  if (!error.IsError() && spool_.is_open()) error = spool_.List(kAlertSuffix, &names_);
  if (error.IsError() || !spool_.is_open()) return error;
  // What each target has. Marks whose alert has gone (rejected, removed by
  // hand) are dropped; marks of a target no longer configured are dropped
  // with their alert.
  const std::set<std::string> waiting(names_.begin(), names_.end());
  for (int target = 0; target < 2; ++target) {
    std::vector<std::string> marks;
    if (OpenSub(kMarkDirectories[target], &marks_[target]).IsError() ||
        marks_[target].List(kAlertSuffix, &marks).IsError()) {
      continue;  // no marks: the alerts are sent to that target again
    }
    for (const std::string& mark : marks) {
      if (waiting.count(mark) != 0) {
        marked_[target].insert(mark);
      } else {
        (void)env_->RemoveFileAt(marks_[target].fd(), mark);
      }
    }
  }
  return CYqError();
}

CYqError SpoolRound::OpenSub(const char* name, Directory* directory) {
  if (directory->is_open()) return CYqError();
  return spool_.OpenDirectory(name, both_, directory);
}

bool SpoolRound::Has(SpoolTarget target, const std::string& name) const {
  return marked_[Index(target)].count(name) != 0;
}

CYqError SpoolRound::Read(const std::string& name, std::string* text) const {
  return ReadFileToString(spool_, name, kLargestAlert, text);
}

CYqError SpoolRound::Accepted(SpoolTarget target, const std::string& name) {
  const int self = Index(target);
  if (both_ &&
      !Has(target == SpoolTarget::kServer ? SpoolTarget::kAlertmanager : SpoolTarget::kServer,
           name)) {
    CYqError error = OpenSub(kMarkDirectories[self], &marks_[self]);
    if (error.IsError()) return error;
    const int fd = env_->OpenFileAt(marks_[self].fd(), name, O_WRONLY | O_CREAT | O_NOFOLLOW, 0600);
    if (fd < 0) return SystemError(__LINE__, "cannot mark " + name + " as sent");
    (void)env_->CloseFile(fd);  // empty: nothing written to report on
    marked_[self].insert(name);
    return CYqError();
  }
  // Removed only now that every target has it: a kill before this line
  // sends the alert again, never loses it.
  CYqError error = spool_.Remove(name);
  if (error.IsError()) return error.Push(Here(__LINE__), "the sent alert stays");
  ++removed_;
  Unmark(name);
  return CYqError();
}

CYqError SpoolRound::Rejected(const std::string& name, const std::string& reason) {
  CYqError error;
  if (!rejected_.is_open()) error = spool_.OpenDirectory(kRejectedDirectory, true, &rejected_);
  if (!error.IsError()) error = WriteFileDurably(rejected_, name + ".reply", reason);
  if (!error.IsError()) error = spool_.Move(name, rejected_, name);
  if (error.IsError()) return error;
  (void)rejected_.Sync();  // at worst the alert is sent once more
  Unmark(name);
  return CYqError();
}

void SpoolRound::Unmark(const std::string& name) {
  for (int target = 0; target < 2; ++target) {
    if (marked_[target].erase(name) != 0) (void)env_->RemoveFileAt(marks_[target].fd(), name);
  }
}

int SpoolRound::Finish() {
  if (removed_ > 0) (void)spool_.Sync();
  return removed_;
}

}  // namespace detail
}  // namespace tarnalert
