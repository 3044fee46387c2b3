// Crash consistency under SIGKILL.
//
// Writer processes install configurations and spool alerts for the server
// while the parent kills them at random moments. Meanwhile the parent reads
// the configuration and checks that every read is one of the texts written,
// byte for byte. At the end every spooled file must be a whole XML document,
// and every alert a writer saw reported as handed over must be in one of them.
//
//   crash_consistency SECONDS SOURCE_DIR
//
// Exits 0 when everything held and work was done (writers killed,
// configurations read, alerts reported and spooled), 1 with a line per
// fault otherwise: a run in which every write failed proves nothing.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <dirent.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <pugixml.hpp>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Configurations that differ in content and length, all valid, so that a torn
// or mixed file can never equal one of them.
std::vector<std::string> ConfigVariants(const std::string& example) {
  std::vector<std::string> variants;
  const std::string sender = "<senderName>Tarnhold Alerts</senderName>";
  for (int i = 0; i < 6; ++i) {
    std::string text = example;
    const std::string name =
        "<senderName>Variant " + std::to_string(i) + std::string(i * 3000, 'x') + "</senderName>";
    for (size_t at = text.find(sender); at != std::string::npos; at = text.find(sender, at)) {
      text.replace(at, sender.size(), name);
      at += name.size();
    }
    variants.push_back(text);
  }
  return variants;
}

// Installs configurations and spools alerts until killed. After each alert
// reported as handed over, its id goes down `reportFd` in one write.
[[noreturn]] void RunWriter(const std::vector<std::string>& variants, int reportFd, unsigned seed) {
  std::mt19937 random(seed);
  for (unsigned counter = 0;; ++counter) {
    if (random() % 2 == 0) {
      (void)NTAlertProcessClient::UpdateAlertConfig(variants[random() % variants.size()]);
    }
    const std::string id = std::to_string(getpid()) + "-" + std::to_string(counter);
    EvAlertEx alert;
    alert.auxText14 = id;
    alert << std::string(random() % 20000, 'a').c_str();
    if (alert.sendAlert(5, 2, 0) == 1) {
      const std::string line = id + "\n";
      if (write(reportFd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) _exit(3);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: crash_consistency SECONDS SOURCE_DIR\n");
    return 2;
  }
  const int seconds = std::atoi(argv[1]);
  const std::vector<std::string> variants =
      ConfigVariants(ReadFile(std::string(argv[2]) + "/examples/alert_config.xml"));

  char stateTemplate[] = "/tmp/tarnalert-crash-XXXXXX";
  const char* state = mkdtemp(stateTemplate);
  if (state == nullptr) return 2;
  // Everything under the state directory checked below, whatever the
  // caller's environment says.
  unsetenv("TARNALERT_SPOOL_DIR");
  unsetenv("TARNALERT_JOB_RESULTS_DIR");
  setenv("TARNALERT_STATE_DIR", state, 1);
  setenv("TARNALERT_CLIENT_NAME", "crash-test", 1);
  setenv("TARNALERT_LOG_FILE", (std::string(state) + "/tarnalert.log").c_str(), 1);
  const std::string spool = std::string(state) + "/spool";

  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return 2;
  fcntl(report[0], F_SETFL, O_NONBLOCK);

  std::mt19937 random(std::random_device{}());
  std::set<std::string> reported;
  std::string pending;
  int faults = 0;
  int kills = 0;
  int reads = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  auto drain = [&] {
    char buffer[4096];
    ssize_t got;
    while ((got = read(report[0], buffer, sizeof buffer)) > 0) {
      pending.append(buffer, static_cast<size_t>(got));
      for (size_t nl; (nl = pending.find('\n')) != std::string::npos; pending.erase(0, nl + 1)) {
        reported.insert(pending.substr(0, nl));
      }
    }
  };

  while (std::chrono::steady_clock::now() < end) {
    pid_t writer = fork();
    if (writer < 0) return 2;
    if (writer == 0) {
      close(report[0]);
      RunWriter(variants, report[1], random());
    }
    const auto killAt =
        std::chrono::steady_clock::now() + std::chrono::microseconds(random() % 30000);
    while (std::chrono::steady_clock::now() < killAt) {
      std::string text;
      if (NTAlertProcessClient::RetrieveDetailsFromXML(text) == 0) {
        ++reads;
        bool known = false;
        for (const std::string& variant : variants) known = known || text == variant;
        if (!known) {
          std::fprintf(stderr,
                       "FAULT: a configuration read of %zu bytes is none of the texts written\n",
                       text.size());
          ++faults;
        }
      }
      drain();
    }
    kill(writer, SIGKILL);
    waitpid(writer, nullptr, 0);
    ++kills;
    drain();
  }

  // Every spooled file is whole, and every alert reported is in one of them.
  std::set<std::string> spooled;
  size_t files = 0;
  if (DIR* directory = opendir(spool.c_str())) {
    while (dirent* entry = readdir(directory)) {
      const std::string name = entry->d_name;
      if (name.size() < 6 || name.compare(name.size() - 6, 6, ".alert") != 0) continue;
      ++files;
      pugi::xml_document document;
      if (!document.load_file((spool + "/" + name).c_str())) {
        std::fprintf(stderr, "FAULT: spool file %s is not a whole XML document\n", name.c_str());
        ++faults;
        continue;
      }
      spooled.insert(document.child("spooledAlert").child("auxText14").text().get());
    }
    closedir(directory);
  }
  for (const std::string& id : reported) {
    if (spooled.count(id) == 0) {
      std::fprintf(stderr, "FAULT: alert %s was reported handed over but is not in the spool\n",
                   id.c_str());
      ++faults;
    }
  }
  const struct {
    const char* what;
    size_t done;
  } work[] = {{"writers killed", static_cast<size_t>(kills)},
              {"configuration reads", static_cast<size_t>(reads)},
              {"alerts reported", reported.size()},
              {"spool files", files}};
  for (const auto& part : work) {
    if (part.done == 0) {
      std::fprintf(stderr, "FAULT: no %s: the run tested nothing\n", part.what);
      ++faults;
    }
  }
  std::printf(
      "%d writers killed, %d configuration reads, %zu alerts reported, %zu spool files, %d "
      "faults\n",
      kills, reads, reported.size(), files, faults);
  if (faults == 0) {
    std::string command = std::string("rm -rf ") + state;
    (void)std::system(command.c_str());
  }
  return faults == 0 ? 0 : 1;
}
