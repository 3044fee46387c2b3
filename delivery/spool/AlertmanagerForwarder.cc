#include "delivery/spool/AlertmanagerForwarder.h"

#include <cerrno>

#include "delivery/spool/AlertmanagerAlert.h"
#include "tarnalert/platform/env/Env.h"

namespace tarnalert {
namespace detail {

namespace {

bool IsAccepted(const InstanceAnswer& answer) {
  return answer.replied && answer.status >= 200 && answer.status <= 299;
}

// Alertmanager's answers for a request it found invalid: the alerts, not the
// instance, are at fault.
bool IsInvalid(const InstanceAnswer& answer) {
  return answer.replied && (answer.status == 400 || answer.status == 422);
}

std::string Describe(const InstanceAnswer& answer) {
  std::string text = answer.url + ": ";
  if (!answer.replied) return text + "no reply: " + answer.text;
  std::string reply = answer.text;
  while (!reply.empty() && (reply.back() == '\n' || reply.back() == '\r')) reply.pop_back();
  return text + "HTTP " + std::to_string(answer.status) + (reply.empty() ? "" : ": " + reply);
}

}  // namespace

bool AlertmanagerBatches::Send(const std::vector<PreparedAlert>& alerts, size_t begin, size_t end,
                               CYqError* error) {
  std::string body = "[";
  for (size_t i = begin; i < end; ++i) {
    if (i > begin) body += ',';
    body += alerts[i].json;
  }
  body += ']';
  const std::vector<InstanceAnswer> answers = instances_.Post(body);
  bool accepted = false, invalid = false;
  for (const InstanceAnswer& answer : answers) {
    accepted = accepted || IsAccepted(answer);
    invalid = invalid || IsInvalid(answer);
    if (!IsAccepted(answer) && !IsInvalid(answer)) Trouble(answer);
  }
  if (accepted) {
    for (size_t i = begin; i < end; ++i) {
      *error = round_.Accepted(SpoolTarget::kAlertmanager, alerts[i].name);
      if (error->IsError()) return false;
    }
    return true;
  }
  if (invalid && end - begin > 1) {
    const size_t middle = begin + (end - begin) / 2;
    return Send(alerts, begin, middle, error) && Send(alerts, middle, end, error);
  }
  if (invalid) {
    std::string replies;
    for (const InstanceAnswer& answer : answers) replies += Describe(answer) + "\n";
    return Reject(alerts[begin].name, "refused by Alertmanager:\n" + replies, error);
  }
  // Appended: the XML endpoint's pass may have given a reason before.
  const std::string reason = "no Alertmanager instance accepted the alerts (" + Troubles() + ")";
  report_->retryLater = true;
  report_->retryReason += (report_->retryReason.empty() ? "" : "; ") + reason;
  report_->lines.push_back(alerts[begin].name +
                           ": waits for the next round, with the alerts after it: " + reason);
  return false;
}

bool AlertmanagerBatches::Reject(const std::string& name, const std::string& reason,
                                 CYqError* error) {
  *error = round_.Rejected(name, reason);
  if (error->IsError()) return false;
  ++report_->rejected;
  report_->lines.push_back(name + ": " + reason.substr(0, reason.find('\n')) + ", moved to " +
                           round_.path() + "/rejected");
  return true;
}

void AlertmanagerBatches::Trouble(const InstanceAnswer& answer) {
  troubles_[answer.url] = Describe(answer);
  if (told_.insert(answer.url).second) {
    report_->lines.push_back(Describe(answer) + (answer.replied ? "" : "; left out of this round"));
  }
}

std::string AlertmanagerBatches::Troubles() const {
  std::string text;
  for (const auto& [url, trouble] : troubles_) text += (text.empty() ? "" : "; ") + trouble;
  return text.empty() ? "no instance left in this round" : text;
}

CYqError ForwardToAlertmanager(const AlertmanagerSettings& settings, SpoolRound& round,
                               const std::function<bool()>& stopRequested, ForwardReport* report) {
  Env* env = Env::Current();
  AlertmanagerInstances instances;
  CYqError error = instances.SetUp(env, settings);
  if (error.IsError()) return error;
  AlertNaming naming;
  naming.Load();
  AlertmanagerBatches batches(round, instances, report);

  std::vector<PreparedAlert> batch;
  auto sendBatch = [&] {
    const bool goOn = batch.empty() || batches.Send(batch, 0, batch.size(), &error);
    batch.clear();
    return goOn;
  };
  for (const std::string& name : round.names()) {
    if (round.Has(SpoolTarget::kAlertmanager, name)) continue;
    if (batch.empty() && stopRequested && stopRequested()) {
      report->stopped = true;
      return error;
    }
    std::string text, problem;
    error = round.Read(name, &text);
    if (error.Code() == -ENOENT) {  // taken away meanwhile (or rejected by the other target)
      error = CYqError();
      continue;
    }
    if (error.IsError()) break;
    AlertmanagerAlert alert;
    if (!MakeAlertmanagerAlert(name, text, naming, static_cast<int64_t>(env->NowMicros() / 1000),
                               settings.endsAfter, &alert, &problem)) {
      problem = "not a spooled alert: " + problem;
    } else {
      problem = CheckAlertmanagerAlert(alert);
    }
    if (!problem.empty()) {
      if (!batches.Reject(name, "not sent to Alertmanager: " + problem + "\n", &error)) break;
      continue;
    }
    batch.push_back({name, std::string()});
    AppendAlertmanagerJson(alert, &batch.back().json);
    if (static_cast<long>(batch.size()) >= settings.batchSize && !sendBatch()) return error;
  }
  if (!error.IsError()) sendBatch();
  return error;
}

}  // namespace detail
}  // namespace tarnalert
