// Real Prometheus Alertmanager instances for tests and benchmarks: Debian's
// prometheus-alertmanager on loopback ports, each with its own storage,
// gossiping with the others as one cluster, and routing every alert
// (grouped by alertname and client) to a webhook receiver
// (delivery/testdata/webhook_server.py). Instances are stopped by PID with
// SIGKILL: a graceful stop waits for the cluster to say goodbye.
//
// A missing program is reported as an error naming the Debian package.
// Objects belong to one thread; everything stops with the object.
#ifndef TARNALERT_DELIVERY_TESTING_ALERTMANAGERTESTCLUSTER_H_
#define TARNALERT_DELIVERY_TESTING_ALERTMANAGERTESTCLUSTER_H_

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace tarnalert {
namespace test {

using LabelSet = std::map<std::string, std::string>;

class AlertmanagerTestCluster {
 public:
  AlertmanagerTestCluster() = default;
  ~AlertmanagerTestCluster();
  AlertmanagerTestCluster(const AlertmanagerTestCluster&) = delete;
  AlertmanagerTestCluster& operator=(const AlertmanagerTestCluster&) = delete;

  // Starts the webhook receiver and `instances` Alertmanagers working in
  // `directory`, and waits until each answers GET /-/ready. Without
  // `notify` the route has no receiver (for benchmarks: notifications would
  // compete with the alerts measured). False with the reason in `error`.
  bool Start(const std::string& sourceDirectory, const std::string& directory, int instances,
             std::string* error, bool notify = true);
  // Kills every instance and the receiver.
  void Stop();
  // Kills instance `index` with SIGKILL and waits for it.
  void Kill(int index);

  // http://127.0.0.1:PORT of instance `index`.
  std::string url(int index) const;
  // The labels of every active alert that instance `index` lists (GET
  // /api/v2/alerts). False with the reason in `error`.
  bool Alerts(int index, std::vector<LabelSet>* alerts, std::string* error) const;
  // The labels of the alerts of every notification the webhook received.
  std::vector<LabelSet> Notified() const;

 private:
  std::vector<pid_t> pids_;
  std::vector<int> ports_;
  pid_t webhookPid_ = -1;
  int webhookInput_ = -1;
  std::string webhookLog_;
};

// The body of GET `url` into `body` when it answers 200. False with the
// reason in `error`.
bool HttpGet(const std::string& url, std::string* body, std::string* error);

}  // namespace test
}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_TESTING_ALERTMANAGERTESTCLUSTER_H_
