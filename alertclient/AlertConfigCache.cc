// The cached alert configuration: where it lives, how a new one replaces it,
// and how it is read back.
//
// A replacement is written to "<path>.tmp", flushed, and renamed over the
// file, so a reader in any process sees the old text or the new one whole.
// Every step works on the directory's descriptor, opened once after it was
// found trustworthy (platform/files/Directory.h).
// Writers of this process are serialized by alertDetailsCS; writers of other
// processes by an exclusive advisory lock on "<path>.lock", held from the
// removal of a stale temporary file to the rename, so no writer removes or
// renames another's half-written temporary file.
#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "alertclient/detail/ConfigRead.h"
#include "platform/files/FXFile.h"
#include "platform/files/Paths.h"
#include "platform/system/KTPlatformInfo.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"
#include "tarnalert/platform/env/Env.h"
#include "tarnalert/platform/event/EvEvent.h"
#include "tarnalert/platform/files/CYqError.h"
#include "tarnalert/platform/message/Messages.h"
#include "tarnalert/util/KtCriticalSection.h"
#include "util/auto_handle.h"

KtCriticalSection alertDetailsCS;

std::string NTAlertProcessClient::xmlDataForAlerts;

namespace {

// Read buffers handed back for later reads, each the size of a configuration:
// two are kept, enough for two threads alerting at once without holding much
// memory; guarded by their own mutex, as they are handed back outside
// alertDetailsCS.
constexpr size_t kSpareBuffers = 2;

std::mutex& SpareMutex() {
  static std::mutex* const mutex = new std::mutex;  // never destroyed: used until exit
  return *mutex;
}

std::vector<std::string>& SpareBuffers() {
  static std::vector<std::string>* const spares = new std::vector<std::string>;  // as above
  return *spares;
}

std::string TakeSpareBuffer() {
  std::lock_guard<std::mutex> lock(SpareMutex());
  if (SpareBuffers().empty()) return std::string();
  std::string buffer = std::move(SpareBuffers().back());
  SpareBuffers().pop_back();
  return buffer;
}

}  // namespace

namespace {

const char kSourceName[] = "EvAlertProcessClient";
const char kUpdateFunction[] =
    "static CYqError NTAlertProcessClient::UpdateAlertConfig(std::string)";

// The source lines reported for each failure of UpdateAlertConfig.
constexpr int kLineNotDecodable = 74;
constexpr int kLineWrongType = 80;
constexpr int kLineEmptyPath = 89;
constexpr int kLineCreate = 96;
constexpr int kLineWrite = 104;
constexpr int kLineFlush = 109;
constexpr int kLineRename = 113;

FXCodeLocation UpdateLocation(int line) {
  return FXCodeLocation(kSourceName, kUpdateFunction, line);
}

constexpr size_t kReadChunk = 4096;

// Counts the configurations UpdateAlertConfig installed; read and written
// under alertDetailsCS.
uint64_t installed = 0;

// A read that an update of its own thread landed in is taken again this
// often at most; the last one is kept as it is.
constexpr int kReadAttempts = 3;

// Holds the cross-process writer lock for its lifetime. The lock is released
// explicitly before the descriptor is closed, so a child forked meanwhile
// (which shares the descriptor) does not keep it.
class WriterLock {
 public:
  CYqError Take(const tarnalert::Directory& directory, const std::string& name) {
    CYqError error = FXFile::KTLockFile(handle_, directory, name.c_str());
    locked_ = !error.IsError();
    return error;
  }
  ~WriterLock() {
    // A destructor has no one to report to; closing the handle drops the lock anyway.
    if (locked_) (void)FXFile::KTUnlockFile(handle_);
  }

 private:
  auto_handle handle_;
  bool locked_ = false;
};

}  // namespace

std::string NTAlertProcessClient::GetConfigFileName() {
  static const char kTag[] = "NTAlertProcessClient::GetConfigFileName";
  EvEvent ev;
  KTPlatformInfo platformInfo;
  platformInfo.setFocus(KTPI_Focus::getFocus());
  const char* clientName = platformInfo.getPhysicalMachine();
  if (clientName == nullptr || *clientName == '\0') {
    ev.Error(kTag,
             "Couldn't retrieve physical machine client name. So not updating alert "
             "configuration. ");
    return "";
  }
  KTPI_TarnClient tarnClient;
  const char* directory = tarnClient.getJobResultsDirectory(clientName);
  if (directory == nullptr || *directory == '\0') {
    ev.Error(kTag,
             "Couldn't retrieve physical machine job results directory. So not updating SMTP "
             "configuration.");
    return "";
  }
  return std::string(directory) + "/alert_config.xml";
}

CYqError NTAlertProcessClient::UpdateAlertConfig(std::string xml) {
  {
    std::unique_ptr<HqMessageBase> decoded(XMLDecoder().unSerialize(xml, nullptr));
    if (!decoded) {
      return FXErrorUtil::ErrorErrNo(UpdateLocation(kLineNotDecodable), 1,
                                     "Invalid xml [%s] provided for writing", xml.c_str());
    }
    if (decoded->getTagID() != KTGui::GetAlertDetailForClientResp::kTypeKey) {
      return FXErrorUtil::ErrorErrNo(UpdateLocation(kLineWrongType), 1,
                                     "Invalid xml [%s] provided for writing", xml.c_str());
    }
  }

  const std::string path = GetConfigFileName();
  if (path.empty()) {
    return FXErrorUtil::ErrorErrNo(UpdateLocation(kLineEmptyPath), 1,
                                   "Empty file path provided for writing");
  }
  const std::string temporaryPath = path + ".tmp";
  const std::string name = path.substr(path.find_last_of('/') + 1);
  const std::string temporaryName = name + ".tmp";

  KtCriticalSectionLock guard(&alertDetailsCS);

  // On a fresh machine the default job results directory does not exist yet.
  tarnalert::Directory directory;
  CYqError error = tarnalert::Directory::Open(tarnalert::Env::Current(),
                                              tarnalert::DirectoryOf(path), true, &directory);
  if (error.IsError()) {
    return error.Push(UpdateLocation(kLineCreate), "Failed to open %s for writing",
                      temporaryPath.c_str());
  }

  // Another process may be between its removal of the temporary file and its
  // rename: wait for it before touching the temporary file.
  WriterLock writerLock;
  error = writerLock.Take(directory, name + ".lock");
  if (error.IsError()) {
    return error.Push(UpdateLocation(kLineCreate), "Failed to open %s for writing",
                      temporaryPath.c_str());
  }

  // A stale temporary file (a writer killed mid-write) may not exist; if one
  // cannot be removed, creating it below fails and says why.
  (void)FXFile::RemoveFile(directory, temporaryName.c_str());

  auto_handle handle;
  error = FXFile::KTCreateFile(handle, directory, temporaryName.c_str(),
                               FXFile::kGenericRead | FXFile::kGenericWrite, 0, nullptr,
                               FXFile::kCreateNew, 0, nullptr);
  if (error.IsError()) {
    return error.Push(UpdateLocation(kLineCreate), "Failed to open %s for writing",
                      temporaryPath.c_str());
  }

  const char* next = xml.data();
  unsigned long remaining = xml.size();
  while (remaining > 0) {
    unsigned long written = 0;
    error = FXFile::KTWriteFile(handle, next, remaining, &written, nullptr);
    if (error.IsError()) {
      return error.Push(UpdateLocation(kLineWrite), "Failed to write %lu into %s", remaining,
                        temporaryPath.c_str());
    }
    next += written;
    remaining -= written;
  }

  error = FXFile::KTFlushFileBuffers(handle);
  if (error.IsError()) {
    return error.Push(UpdateLocation(kLineFlush), "Failed to flush %s buffers",
                      temporaryPath.c_str());
  }

  handle.reset();

  bool renamed = false;
  error = FXFile::KTMoveFileEx(directory, temporaryName.c_str(), name.c_str(),
                               FXFile::kMoveReplaceExisting, &renamed);
  if (error.IsError() && !renamed) {
    return error.Push(UpdateLocation(kLineRename), "Failed to rename %s to %s",
                      temporaryPath.c_str(), path.c_str());
  }
  // Once renamed, the new configuration is in force; that the rename may not
  // survive a power loss is worth a log line, not a failure.
  if (error.IsError()) {
    EvEvent().Error("NTAlertProcessClient::UpdateAlertConfig", "%s", error.LastMessage().c_str());
  }

  xmlDataForAlerts = xml;
  ++installed;
  return CYqError::Success();
}

namespace tarnalert {
namespace detail {

void HandBackReadBuffer(std::string&& buffer) {
  std::lock_guard<std::mutex> lock(SpareMutex());
  if (SpareBuffers().size() < kSpareBuffers) SpareBuffers().push_back(std::move(buffer));
}

namespace {

// One read of the file; ReadConfigFile without the second look.
int ReadOnce(const std::string& path, size_t expectedSize, std::string* out, std::string* problem) {
  static const char kTag[] = "RetrieveDetailsFromXML";
  EvEvent ev;
  ev.Error(kTag, "Updating alert configuration from XML into cache");

  Env* env = Env::Current();
  int fd = -1;
  FileInfo file;
  CYqError opened = OpenConfigFile(path, &fd, &file);
  if (opened.IsError()) {
    // No file (or no directory) yet means no configuration yet; any other
    // reason is news.
    if (opened.Code() != -ENOENT) {
      ev.Error(kTag, "%s", opened.LastMessage().c_str());
      if (problem != nullptr) *problem = opened.LastMessage();
    }
    return 1;
  }
  auto_handle handle;
  handle.reset(fd);

  ev.Debug(kTag, "Loading alert Config from %s", path.c_str());

  // The text is read straight into its buffer while at least a chunk is
  // free there, as much as is free at once, the rest through a chunk on the
  // stack; the text is then moved out. The buffer is made one byte larger
  // than the file (or the size to expect), so a file that stays as it is
  // comes in one read and its end in a second; a file that outgrows it goes
  // on in pieces joined once at the end. A buffer handed back after an
  // earlier read is filled again, so its memory is neither allocated nor
  // cleared anew.
  std::string content = TakeSpareBuffer();
  const size_t room = std::max<size_t>(expectedSize, file.size) + 1;
  if (content.size() < room) content.resize(room);
  std::vector<std::string> filled;  // pieces before `content`, each full
  size_t size = 0;                  // bytes read into `content`
  char chunk[kReadChunk];
  for (;;) {
    const size_t unfilled = content.size() - size;
    const bool inPlace = unfilled >= kReadChunk;
    ssize_t count = env->ReadFile(handle.get(), inPlace ? &content[size] : chunk,
                                  inPlace ? unfilled : kReadChunk);
    if (count == 0) break;
    if (count < 0) {
      // Half a configuration would silently drop rules: report and keep nothing.
      int error = errno;
      ev.Error(kTag, "Couldn't read %s: %s", path.c_str(), FXErrorUtil::ErrorText(error).c_str());
      if (problem != nullptr)
        *problem = "Couldn't read " + path + ": " + FXErrorUtil::ErrorText(error);
      HandBackReadBuffer(std::move(content));
      return 1;
    }
    if (!inPlace) {
      if (content.size() - size < static_cast<size_t>(count)) {
        content.resize(size);
        filled.push_back(std::move(content));
        content.assign(std::max(filled.back().size(), kReadChunk * 256), '\0');
        size = 0;
      }
      std::memcpy(&content[size], chunk, static_cast<size_t>(count));
    }
    size += static_cast<size_t>(count);
  }
  content.resize(size);
  if (!filled.empty()) {
    std::string whole;
    size_t total = content.size();
    for (const std::string& piece : filled) total += piece.size();
    whole.reserve(total);
    for (std::string& piece : filled) {
      whole += piece;
      std::string().swap(piece);
    }
    whole += content;
    content = std::move(whole);
  }
  *out = std::move(content);
  return 0;
}

}  // namespace

int ReadConfigFile(const std::string& path, size_t expectedSize, std::string* out,
                   std::string* problem) {
  for (int attempt = 1;; ++attempt) {
    const uint64_t installedBefore = installed;
    if (ReadOnce(path, expectedSize, out, problem) != 0) return 1;
    if (installed == installedBefore || attempt == kReadAttempts) return 0;
    HandBackReadBuffer(std::move(*out));
  }
}

}  // namespace detail
}  // namespace tarnalert

int NTAlertProcessClient::RetrieveDetailsFromXML(std::string& out) {
  KtCriticalSectionLock guard(&alertDetailsCS);
  const std::string path = GetConfigFileName();
  if (path.empty()) return 1;
  std::string content;
  if (tarnalert::detail::ReadConfigFile(path, xmlDataForAlerts.size(), &content) != 0) return 1;
  xmlDataForAlerts = content;
  out = std::move(content);
  return 0;
}
