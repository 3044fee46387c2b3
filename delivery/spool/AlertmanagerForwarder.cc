#include "delivery/spool/AlertmanagerForwarder.h"

#include <cerrno>
#include <utility>

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

// The JSON array of alerts [begin, end).
std::string BatchBody(const std::vector<PreparedAlert>& alerts, size_t begin, size_t end) {
  std::string body = "[";
  for (size_t i = begin; i < end; ++i) {
    if (i > begin) body += ',';
    body += alerts[i].json;
  }
  return body + "]";
}

}  // namespace

bool AlertmanagerBatches::Send(const std::vector<PreparedAlert>& alerts, size_t begin, size_t end,
                               CYqError* error) {
  return Settle(alerts, begin, end, instances_.Post(BatchBody(alerts, begin, end)), error);
}

void AlertmanagerBatches::Begin(std::vector<PreparedAlert> alerts) {
  inFlight_ = std::move(alerts);
  instances_.Start(BatchBody(inFlight_, 0, inFlight_.size()));
}

bool AlertmanagerBatches::Complete(CYqError* error) {
  const std::vector<PreparedAlert> alerts = std::move(inFlight_);
  inFlight_.clear();
  return Settle(alerts, 0, alerts.size(), instances_.Finish(), error);
}

bool AlertmanagerBatches::Settle(const std::vector<PreparedAlert>& alerts, size_t begin, size_t end,
                                 const std::vector<InstanceAnswer>& answers, CYqError* error) {
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
    return Reject(alerts[begin].name, "refused by Alertmanager\n" + replies, error);
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

  // While one batch is with the instances, the next is read and mapped.
  std::vector<PreparedAlert> batch;
  auto sendBatch = [&] {
    if (batches.busy() && !batches.Complete(&error)) return false;
    if (!batch.empty()) batches.Begin(std::move(batch));
    batch.clear();
    return true;
  };
  for (const std::string& name : round.names()) {
    if (round.Has(SpoolTarget::kAlertmanager, name)) continue;
    if (batch.empty() && stopRequested && stopRequested()) {
      report->stopped = true;
      break;
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
  // What was read stays unsent after an error or a stop; what was started
  // is finished (the first error is the one reported).
  if (error.IsError() || report->stopped) batch.clear();
  CYqError first;
  std::swap(error, first);
  if (sendBatch() && batches.busy()) batches.Complete(&error);
  return first.IsError() ? first : error;
}

}  // namespace detail
}  // namespace tarnalert
