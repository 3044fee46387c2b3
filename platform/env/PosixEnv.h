// PosixEnv: the operating system part of the Env on Linux, and for every hook
// the answer of a process where nothing is configured (no catalogue text, a
// log that discards lines, no server back-end, no e-mail transport). The
// library's Env::Default() derives from it and wires the real hooks from the
// layers above. All of its state is the process's own, so it may be called
// from any thread.
#ifndef TARNALERT_PLATFORM_ENV_POSIXENV_H_
#define TARNALERT_PLATFORM_ENV_POSIXENV_H_

#include <string>

#include "tarnalert/platform/env/Env.h"

namespace tarnalert {

class PosixEnv : public Env {
 public:
  // The environment variable TARNALERT_<name>; null when it is not set.
  static const char* SettingVariable(const std::string& name);

  // $XDG_CONFIG_HOME/tarnalert, else $HOME/.config/tarnalert; empty when
  // neither variable is set.
  static std::string UserConfigDirectory();

  // The environment variable TARNALERT_<name>; empty when it is not set.
  std::string GetSetting(const std::string& name) override;
  std::string UserStateDirectory() override;

  int OpenFile(const std::string& path, int flags, mode_t mode) override;
  ssize_t ReadFile(int fd, void* buffer, size_t size) override;
  ssize_t WriteFile(int fd, const void* data, size_t size) override;
  int SyncFile(int fd) override;
  int CloseFile(int fd) override;
  int RenameFile(const std::string& from, const std::string& to) override;
  int RemoveFile(const std::string& path) override;
  int CreateDirectory(const std::string& path, mode_t mode) override;
  int StatPath(const std::string& path, FileInfo* info) override;
  int StatFile(int fd, FileInfo* info) override;
  int SyncDirectory(const std::string& directory) override;
  int OpenDirectory(const std::string& path) override;
  int OpenDirectoryAt(int directory, const std::string& name) override;
  int OpenFileAt(int directory, const std::string& name, int flags, mode_t mode) override;
  int RenameFileAt(int fromDirectory, const std::string& from, int toDirectory,
                   const std::string& to) override;
  int RemoveFileAt(int directory, const std::string& name) override;
  int CreateDirectoryAt(int directory, const std::string& name, mode_t mode) override;
  int StatFileAt(int directory, const std::string& name, FileInfo* info) override;
  int ListDirectory(int directory, std::vector<std::string>* names) override;
  int ReadLinkAt(int directory, const std::string& name, std::string* target) override;
  int CurrentDirectory(std::string* path) override;
  uid_t EffectiveUserId() override;
  int LockFile(int fd, bool lock) override;
  int TryLockFile(int fd) override;
  uint64_t NowMicros() override;

  // Knows no text: always false.
  bool CatalogText(unsigned long messageId, unsigned long localeId, std::string* text) override;
  uint64_t CatalogGeneration() override;  // no texts: they never change
  // LOG_LEVEL when it is a number (clamped to 0..1000), else 1.
  int LogLevel() override;
  // Discards the line.
  void WriteLogLine(const std::string& line) override;
  // Hands nothing over: -1 with the reason.
  int SendAlertToServer(const EvAlertEx& alert, std::string* errorText) override;
  // Delivers nothing: {-1, L""}.
  DeliveryResult DeliverEmail(const std::string& request, int deliveryOptions) override;
  // CLIENT_NAME, else the host name.
  std::string PhysicalMachineName(const std::string& focus) override;
  // JOB_RESULTS_DIR, else <state>/jobresults; empty for an empty client name.
  std::string JobResultsDirectory(const std::string& clientName) override;
};

}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_ENV_POSIXENV_H_
