// Env: the one object behind every platform call of the library.
//
// The platform classes (EvEvent, KTAlert, KTPlatformInfo, FXFile, the time
// functions, ...) never read environment variables or call the operating
// system themselves: they ask the Env in force. The default Env is the real
// one: settings come from TARNALERT_* environment variables, the catalogue is
// the embedded English one plus optional per-locale files, the debug log is
// an O_APPEND file, alerts for the server go to a spool directory, e-mail
// goes out through the configured mail transport and files are POSIX files.
//
// Tests and tools swap services by deriving from EnvWrapper, overriding only
// what they need, and installing the object with Env::Install. The default
// services read their settings through Env::Current(), so the settings of an
// installed wrapper govern the services it forwards to. Each default service
// is defined beside the code that provides it (the catalogue in
// EvCatalog.cc, the log in EvDebug.cc, the spool and the mail transports in
// delivery/, wired from above). The installer
// keeps ownership and must restore the previous Env before destroying its own.
// Install is meant for start-up and tests; the Env itself must be safe to call
// from any thread.
#ifndef TARNALERT_PLATFORM_ENV_ENV_H_
#define TARNALERT_PLATFORM_ENV_ENV_H_

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>

#include "tarnalert/platform/Export.h"

class EvAlertEx;

namespace tarnalert {

// What a delivery back-end reports for one e-mail request.
struct DeliveryResult {
  int64_t code = -1;  // 0 = delivered; -1 = nothing delivered it
  std::wstring text;  // why it failed; empty when there is nothing to say
};

class TARNALERT_EXPORT Env {
 public:
  Env() = default;
  Env(const Env&) = delete;
  Env& operator=(const Env&) = delete;
  virtual ~Env();

  // The real environment; lives as long as the process.
  static Env* Default();
  // The environment in force: the installed one, else Default().
  static Env* Current();
  // Puts `env` in force (null restores the default) and returns the previous
  // one. The caller keeps ownership of `env`.
  static Env* Install(Env* env);

  // --- Settings -------------------------------------------------------------
  // Value of the setting `name` (the environment variable TARNALERT_<name>),
  // or the empty string when it is not set. Names: STATE_DIR, CLIENT_NAME,
  // JOB_RESULTS_DIR, LOG_FILE, LOG_LEVEL, CATALOG_DIR, SPOOL_DIR and the
  // MAIL_* settings of the mail transport.
  virtual std::string GetSetting(const std::string& name);

  // --- Event catalogue --------------------------------------------------------
  // Puts the catalogue text of `messageId` in the language of `localeId` into
  // `text` and returns true; returns false (text untouched) for an unknown id.
  // A locale without a text of its own falls back to the default catalogue.
  virtual bool CatalogText(unsigned long messageId, unsigned long localeId, std::string* text);

  // --- Debug log --------------------------------------------------------------
  // Verbosity: lines tagged with a level above it are not written.
  virtual int LogLevel();
  // Writes one finished line (ending in '\n') with a single write. Never throws.
  virtual void WriteLogLine(const std::string& line);

  // --- Server alert adapter back-end -------------------------------------------
  // Hands `alert` to the management server. 0 on success; otherwise non-zero
  // with the reason in `errorText`.
  virtual int SendAlertToServer(const EvAlertEx& alert, std::string* errorText);

  // --- E-mail delivery hook -----------------------------------------------------
  // Delivers one serialized e-mail request through the transport the MAIL_*
  // settings name (docs/delivery.md); with none configured it answers
  // {-1, L""}. The default is defined in delivery/MailDelivery.cc.
  virtual DeliveryResult DeliverEmail(const std::string& request, int deliveryOptions);

  // --- Platform information ------------------------------------------------------
  // Client name of the physical machine for `focus`; empty when there is none.
  virtual std::string PhysicalMachineName(const std::string& focus);
  // Job results directory of `clientName`; empty when there is none.
  virtual std::string JobResultsDirectory(const std::string& clientName);

  // --- Files (POSIX conventions: -1 and errno on failure) ----------------------
  virtual int OpenFile(const std::string& path, int flags, mode_t mode);
  virtual ssize_t ReadFile(int fd, void* buffer, size_t size);
  virtual ssize_t WriteFile(int fd, const void* data, size_t size);
  virtual int SyncFile(int fd);
  virtual int CloseFile(int fd);
  // Owner, mode and size of the open file `fd`.
  virtual int StatFile(int fd, struct stat* info);
  virtual int RenameFile(const std::string& from, const std::string& to);
  virtual int RemoveFile(const std::string& path);
  // Makes a rename or create inside `directory` durable.
  virtual int SyncDirectory(const std::string& directory);
  // Takes (lock true) or releases an exclusive advisory lock on `fd`; waits.
  virtual int LockFile(int fd, bool lock);

  // --- Time ---------------------------------------------------------------------
  virtual time_t Now();
};

// Forwards every call to another Env; derive from it to replace one service.
class TARNALERT_EXPORT EnvWrapper : public Env {
 public:
  explicit EnvWrapper(Env* target) : target_(target) {}
  Env* target() const { return target_; }

  std::string GetSetting(const std::string& name) override { return target_->GetSetting(name); }
  bool CatalogText(unsigned long messageId, unsigned long localeId, std::string* text) override {
    return target_->CatalogText(messageId, localeId, text);
  }
  int LogLevel() override { return target_->LogLevel(); }
  void WriteLogLine(const std::string& line) override { target_->WriteLogLine(line); }
  int SendAlertToServer(const EvAlertEx& alert, std::string* errorText) override {
    return target_->SendAlertToServer(alert, errorText);
  }
  DeliveryResult DeliverEmail(const std::string& request, int deliveryOptions) override {
    return target_->DeliverEmail(request, deliveryOptions);
  }
  std::string PhysicalMachineName(const std::string& focus) override {
    return target_->PhysicalMachineName(focus);
  }
  std::string JobResultsDirectory(const std::string& clientName) override {
    return target_->JobResultsDirectory(clientName);
  }
  int OpenFile(const std::string& path, int flags, mode_t mode) override {
    return target_->OpenFile(path, flags, mode);
  }
  ssize_t ReadFile(int fd, void* buffer, size_t size) override {
    return target_->ReadFile(fd, buffer, size);
  }
  ssize_t WriteFile(int fd, const void* data, size_t size) override {
    return target_->WriteFile(fd, data, size);
  }
  int SyncFile(int fd) override { return target_->SyncFile(fd); }
  int CloseFile(int fd) override { return target_->CloseFile(fd); }
  int StatFile(int fd, struct stat* info) override { return target_->StatFile(fd, info); }
  int RenameFile(const std::string& from, const std::string& to) override {
    return target_->RenameFile(from, to);
  }
  int RemoveFile(const std::string& path) override { return target_->RemoveFile(path); }
  int SyncDirectory(const std::string& directory) override {
    return target_->SyncDirectory(directory);
  }
  int LockFile(int fd, bool lock) override { return target_->LockFile(fd, lock); }
  time_t Now() override { return target_->Now(); }

 private:
  Env* target_;
};

}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_ENV_ENV_H_
