#include "tarnalert/delivery/DeliveryStatus.h"

#include <algorithm>
#include <cerrno>

#include "delivery/mail/MailSettings.h"
#include "delivery/outbox/OutboxQueue.h"
#include "delivery/spool/AlertSpool.h"
#include "delivery/spool/SpoolRound.h"
#include "platform/env/Settings.h"
#include "platform/files/Directory.h"
#include "platform/files/TimeRecord.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"
#include "tarnalert/delivery/MailOutbox.h"
#include "tarnalert/delivery/SpoolForwarder.h"
#include "tarnalert/platform/env/Env.h"

namespace tarnalert {

namespace {

void Count(WaitingItems* items, time_t made) {
  ++items->count;
  if (made > 0 && (items->oldest == 0 || made < items->oldest)) items->oldest = made;
}

// "3 alerts" / "1 alert".
std::string Number(int count, const char* thing) {
  return std::to_string(count) + " " + thing + (count == 1 ? "" : "s");
}

void ReadConfiguration(Env* env, DeliveryStatus* status) {
  status->configPath = NTAlertProcessClient::GetConfigFileName();
  FileInfo info;
  if (status->configPath.empty() || env->StatPath(status->configPath, &info) != 0) return;
  status->configInstalled = true;
  status->configChanged = info.modified;
  std::string text;
  KTGui::GetAlertDetailForClientResp config;
  if (NTAlertProcessClient::RetrieveDetailsFromXML(text) != 0 || !config.Parse(text)) {
    status->attention.push_back("the installed configuration " + status->configPath +
                                " cannot be read or decoded");
    return;
  }
  status->configRules =
      static_cast<int>(config.list(KTGui::GetAlertDetailForClientResp::alertDetails).size());
}

void ReadTargets(Env* env, DeliveryStatus* status) {
  detail::MailSettings mail;
  std::string error;
  if (!detail::ReadMailSettings(env, &mail, &error)) {
    status->attention.push_back("mail settings: " + error);
  } else if (mail.transport == detail::MailTransport::kFile) {
    status->mailTransport = "file://" + mail.directory;
  } else if (mail.transport != detail::MailTransport::kNone) {
    status->mailTransport = mail.url;
  }
  const bool anyTarget =
      !env->GetSetting("SERVER_URL").empty() || !env->GetSetting("ALERTMANAGER_URLS").empty();
  ForwarderSettings forwarder;
  const CYqError wrong = ReadForwarderSettings("", {}, &forwarder);
  if (!wrong.IsError()) {
    status->serverUrl = forwarder.url;
    status->alertmanagerUrls = forwarder.alertmanager.urls;
  } else if (anyTarget) {  // none at all is no fault: alerts then wait
    status->attention.push_back("forwarding settings: " + wrong.Reason());
  }
}

void ReadQueues(Env* env, DeliveryStatus* status) {
  Directory spool, rejected;
  std::vector<std::string> pending, refused;
  CYqError error = detail::OpenSpool(env, &spool);
  if (!error.IsError() && spool.is_open()) error = spool.List(".alert", &pending);
  if (!error.IsError() && spool.is_open()) {
    error = spool.OpenDirectory("rejected", false, &rejected);
    if (error.Code() == -ENOENT) error = CYqError();  // nothing was ever rejected
    if (!error.IsError() && rejected.is_open()) error = rejected.List(".alert", &refused);
  }
  if (error.IsError()) status->attention.push_back("the spool: " + error.Reason());
  for (const std::string& name : pending) Count(&status->spoolPending, detail::SpooledTime(name));
  for (const std::string& name : refused) Count(&status->spoolRejected, detail::SpooledTime(name));

  std::vector<OutboxEntry> entries;
  error = ListOutbox(&entries);
  if (error.IsError()) status->attention.push_back("the outbox: " + error.Reason());
  for (const OutboxEntry& entry : entries) {
    Count(entry.failed ? &status->outboxFailed : &status->outboxDeferred, entry.created);
  }
  status->lastDelivery = RecordedTime(env, kLastDeliveryRecord);
  status->lastForward = RecordedTime(env, kLastForwardRecord);
}

// The sentences for what a person should look at.
void Judge(DeliveryStatus* status) {
  if (status->outboxFailed.count > 0) {
    status->attention.push_back(Number(status->outboxFailed.count, "mail message") +
                                " given up, in " + detail::FailedDirectory() +
                                " (tarnalert outbox list)");
  }
  if (status->spoolRejected.count > 0) {
    status->attention.push_back(Number(status->spoolRejected.count, "alert") +
                                " refused by a target, in " + detail::SpoolDirectory() +
                                "/rejected");
  }
  const struct {
    const WaitingItems& items;
    const char* what;
  } waiting[] = {{status->spoolPending, "the oldest spooled alert"},
                 {status->outboxDeferred, "the oldest deferred mail message"}};
  for (const auto& place : waiting) {
    const time_t waited = status->now - place.items.oldest;
    if (place.items.oldest > 0 && waited > status->maxWait) {
      status->attention.push_back(std::string(place.what) + " has waited " +
                                  std::to_string(static_cast<long long>(waited)) +
                                  " s, longer than TARNALERT_STATUS_MAX_WAIT (" +
                                  std::to_string(status->maxWait) + " s)");
    }
  }
}

}  // namespace

void ReadDeliveryStatus(DeliveryStatus* status) {
  *status = DeliveryStatus();
  Env* env = Env::Current();
  status->now = env->Now();
  status->client = env->PhysicalMachineName("");
  std::string error;
  if (!detail::ReadWholeNumberSetting("STATUS_MAX_WAIT", 60, 30 * 86400, "seconds",
                                      &status->maxWait, &error)) {
    status->attention.push_back(error);
  }
  ReadConfiguration(env, status);
  ReadTargets(env, status);
  ReadQueues(env, status);
  Judge(status);
}

}  // namespace tarnalert
