// Env::Default(): the operating system through PosixEnv, with the hooks
// wired to the library's own services from the layers that hold them.
#include <string>
#include <vector>

#include "delivery/MailDelivery.h"
#include "delivery/spool/AlertSpool.h"
#include "platform/env/NoDestructor.h"
#include "platform/env/PosixEnv.h"
#include "platform/event/Catalog.h"
#include "platform/event/LogFile.h"
#include "platform/files/SettingsFiles.h"
#include "tarnalert/platform/env/Env.h"

namespace tarnalert {

namespace {

class DefaultEnv : public PosixEnv {
 public:
  // The environment, then the settings files.
  std::string GetSetting(const std::string& name) override { return detail::HostSetting(name); }
  // The embedded catalogue plus the per-locale files.
  bool CatalogText(unsigned long messageId, unsigned long localeId, std::string* text) override {
    return detail::LookUpCatalog(messageId, localeId, text);
  }
  uint64_t CatalogGeneration() override { return detail::CatalogGeneration(); }
  // The log file, written with this Env's own file operations: a test's
  // file doubles must not see (or fail) the lines of the debug log.
  void WriteLogLine(const std::string& line) override { detail::AppendToLogFile(this, line); }
  // The spool directory.
  int SendAlertToServer(const EvAlertEx& alert, std::string* errorText) override {
    CYqError error = detail::SpoolAlert(alert);
    if (!error.IsError()) return 0;
    if (errorText != nullptr) *errorText = error.Reason();
    return -1;
  }
  // The configured mail transport, with the settings of the Env in force.
  DeliveryResult DeliverEmail(const std::string& request, int deliveryOptions) override {
    return detail::DeliverMail(Env::Current(), request, deliveryOptions, detail::KeepMode::kKeep);
  }
};

}  // namespace

Env* Env::Default() {
  static NoDestructor<DefaultEnv> env;  // belongs to the library; used until exit
  return env.get();
}

}  // namespace tarnalert
