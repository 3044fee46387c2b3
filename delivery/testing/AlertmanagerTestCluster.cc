#include "delivery/testing/AlertmanagerTestCluster.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "delivery/testing/MailTestServer.h"

extern char** environ;

namespace tarnalert {
namespace test {

namespace {

constexpr const char* kAlertmanager = "/usr/bin/prometheus-alertmanager";
constexpr const char* kPython = "/usr/bin/python3";
constexpr int kReadyTenths = 300;

// `count` ports of 127.0.0.1 that were free a moment ago.
std::vector<int> FreePorts(int count) {
  std::vector<int> sockets, ports;
  for (int i = 0; i < count; ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    sockets.push_back(fd);
    ports.push_back(ntohs(address.sin_port));
  }
  for (int fd : sockets) ::close(fd);
  return ports;
}

// Starts `arguments` with its output going to the file `log`; -1 on failure.
pid_t Spawn(const std::vector<std::string>& arguments, const std::string& log) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

size_t Collect(char* data, size_t size, size_t count, void* body) {
  static_cast<std::string*>(body)->append(data, size * count);
  return size * count;
}

LabelSet Labels(const nlohmann::json& alert) {
  LabelSet labels;
  const auto found = alert.find("labels");
  if (found == alert.end() || !found->is_object()) return labels;
  for (const auto& [name, value] : found->items()) {
    labels[name] = value.is_string() ? value.get<std::string>() : value.dump();
  }
  return labels;
}

}  // namespace

bool HttpGet(const std::string& url, std::string* body, std::string* error) {
  body->clear();
  CURL* curl = curl_easy_init();
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, body);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  const CURLcode result = curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_cleanup(curl);
  if (result == CURLE_OK && status == 200) return true;
  *error = "GET " + url + ": " +
           (result != CURLE_OK ? curl_easy_strerror(result) : "HTTP " + std::to_string(status));
  return false;
}

AlertmanagerTestCluster::~AlertmanagerTestCluster() { Stop(); }

bool AlertmanagerTestCluster::Start(const std::string& sourceDirectory,
                                    const std::string& directory, int instances, std::string* error,
                                    bool notify) {
  Stop();
  if (::access(kAlertmanager, X_OK) != 0) {
    *error = std::string(kAlertmanager) +
             " is missing: install the Debian package prometheus-alertmanager";
    return false;
  }
  webhookLog_ = directory + "/webhook.log";
  int webhookPort = 0;
  if (!StartPythonServer(
          {kPython, sourceDirectory + "/delivery/testdata/webhook_server.py", "--log", webhookLog_},
          &webhookPid_, &webhookInput_, &webhookPort, error)) {
    return false;
  }
  const std::string config = directory + "/alertmanager.yml";
  std::ofstream(config) << "route:\n"
                           "  receiver: webhook\n"
                           "  group_by: [alertname, client]\n"
                           "  group_wait: 1s\n"
                           "  group_interval: 1s\n"
                           "receivers:\n"
                           "  - name: webhook\n"
                        << (notify ? "    webhook_configs:\n      - url: http://127.0.0.1:" +
                                         std::to_string(webhookPort) + "/\n"
                                   : "");
  const std::vector<int> ports = FreePorts(2 * instances);
  for (int i = 0; i < instances; ++i) {
    const std::string storage = directory + "/alertmanager-" + std::to_string(i);
    ::mkdir(storage.c_str(), 0700);
    std::vector<std::string> arguments = {
        kAlertmanager,
        "--config.file=" + config,
        "--storage.path=" + storage,
        "--web.listen-address=127.0.0.1:" + std::to_string(ports[2 * i]),
        "--cluster.listen-address=127.0.0.1:" + std::to_string(ports[2 * i + 1]),
        "--cluster.gossip-interval=50ms",
        "--cluster.pushpull-interval=1s",
        "--cluster.settle-timeout=3s",
        "--log.level=warn"};
    for (int peer = 0; peer < instances; ++peer) {
      if (peer != i) {
        arguments.push_back("--cluster.peer=127.0.0.1:" + std::to_string(ports[2 * peer + 1]));
      }
    }
    const pid_t pid = Spawn(arguments, storage + ".log");
    if (pid < 0) {
      *error = std::string("cannot start ") + kAlertmanager;
      return false;
    }
    pids_.push_back(pid);
    ports_.push_back(ports[2 * i]);
  }
  for (int i = 0; i < instances; ++i) {
    std::string body, why;
    int tenths = 0;
    while (!HttpGet(url(i) + "/-/ready", &body, &why)) {
      if (++tenths > kReadyTenths || ::waitpid(pids_[i], nullptr, WNOHANG) == pids_[i]) {
        std::ifstream log(directory + "/alertmanager-" + std::to_string(i) + ".log");
        std::stringstream text;
        text << log.rdbuf();
        *error = "Alertmanager " + std::to_string(i) + " did not get ready (" + why +
                 "); its log:\n" + text.str();
        return false;
      }
      ::usleep(100000);
    }
  }
  return true;
}

void AlertmanagerTestCluster::Kill(int index) {
  if (pids_[index] <= 0) return;
  ::kill(pids_[index], SIGKILL);
  ::waitpid(pids_[index], nullptr, 0);
  pids_[index] = -1;
}

void AlertmanagerTestCluster::Stop() {
  for (size_t i = 0; i < pids_.size(); ++i) Kill(static_cast<int>(i));
  pids_.clear();
  ports_.clear();
  StopPythonServer(&webhookPid_, &webhookInput_);
}

std::string AlertmanagerTestCluster::url(int index) const {
  return "http://127.0.0.1:" + std::to_string(ports_[index]);
}

bool AlertmanagerTestCluster::Alerts(int index, std::vector<LabelSet>* alerts,
                                     std::string* error) const {
  alerts->clear();
  std::string body;
  if (!HttpGet(url(index) + "/api/v2/alerts", &body, error)) return false;
  const nlohmann::json list = nlohmann::json::parse(body, nullptr, false);
  if (!list.is_array()) {
    *error = "GET /api/v2/alerts gave no JSON array: " + body.substr(0, 200);
    return false;
  }
  for (const nlohmann::json& alert : list) alerts->push_back(Labels(alert));
  return true;
}

std::vector<LabelSet> AlertmanagerTestCluster::Notified() const {
  std::vector<LabelSet> alerts;
  std::ifstream log(webhookLog_);
  std::string line;
  while (std::getline(log, line)) {
    const nlohmann::json notification = nlohmann::json::parse(line, nullptr, false);
    if (!notification.is_object() || !notification.contains("alerts")) continue;
    for (const nlohmann::json& alert : notification["alerts"]) alerts.push_back(Labels(alert));
  }
  return alerts;
}

}  // namespace test
}  // namespace tarnalert
