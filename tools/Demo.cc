// `tarnalert demo`: the main job on embedded defaults. It installs the example
// configuration into a private state directory, sends a failover alert whose
// mails go through the file transport into a private outbox, sends a
// server-road alert, and shows what came out: each notification with its
// outcome, one delivered message as a mail reader receives it, the debug log
// and the spooled alert file.
#include <dirent.h>
#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "Commands.h"
#include "DeliveryRecorder.h"
#include "DeliveryText.h"
#include "ExampleConfig.h"
#include "ToolText.h"

namespace tarnalert_tool {

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::vector<std::string> FilesIn(const std::string& directory, const std::string& suffix) {
  std::vector<std::string> files;
  if (DIR* dir = opendir(directory.c_str())) {
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name.size() > suffix.size() &&
          name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
        files.push_back(directory + "/" + name);
      }
    }
    closedir(dir);
  }
  return files;
}

void Heading(const std::string& title) { std::cout << "\n=== " << title << " ===\n"; }

int RunDemo() {
  char pattern[] = "/tmp/tarnalert-demo-XXXXXX";
  const char* state = mkdtemp(pattern);
  if (state == nullptr) {
    std::cerr << "tarnalert demo: cannot create a state directory in /tmp\n";
    return kFailed;
  }
  const std::string stateDirectory = state;
  const std::string logFile = stateDirectory + "/tarnalert.log";
  const std::string outbox = stateDirectory + "/outbox";
  setenv("TARNALERT_STATE_DIR", state, 1);
  setenv("TARNALERT_CLIENT_NAME", "demo-client", 1);
  setenv("TARNALERT_LOG_FILE", logFile.c_str(), 1);
  setenv("TARNALERT_LOG_LEVEL", "10", 0);
  setenv("TARNALERT_MAIL_URL", ("file://" + outbox).c_str(), 1);
  unsetenv("TARNALERT_JOB_RESULTS_DIR");
  unsetenv("TARNALERT_SPOOL_DIR");

  Heading("Installing the example configuration");
  CYqError installed = NTAlertProcessClient::UpdateAlertConfig(kExampleConfig);
  if (installed.IsError()) {
    std::cerr << installed.ToString() << "\n";
    return kFailed;
  }
  std::cout << "Configuration: " << NTAlertProcessClient::GetConfigFileName() << "\n";

  DeliveryRecorder recorder(tarnalert::Env::Current());
  {
    tarnalert::ScopedEnv scoped(&recorder);

    Heading("Sending a failover alert (type 74, criteria 1)");
    EvAlertEx failover;
    failover.curEventCode = 0x4a00003f;  // arguments of a comment message
    failover.curMessageId = 0x4a000320;  // "Failover started by %1 on %2"
    failover << "the cluster monitor"
             << "node-7";
    AlertEventMsg endOfComment;
    endOfComment.argType = kArgEndOfMessage;
    failover.getEventMsgList().push_back(endOfComment);
    std::cout << "sendAlert returned " << failover.sendAlert(74, 1, 0) << "\n";
  }

  int number = 0;
  for (const Delivery& delivery : recorder.deliveries()) {
    App::EmailInfo request;
    request.unserialize(delivery.request);
    Heading("E-mail notification " + std::to_string(++number) + " (delivery options " +
            std::to_string(delivery.deliveryOptions) + ")");
    std::cout << "Subject: " << request.get(App::EmailInfo::subject) << "\n";
    std::cout << "Outcome: " << DeliveryOutcome(delivery.result) << "\n";
  }
  // One message as a mail reader receives it; an HTML one shows both parts.
  std::vector<std::string> messages = FilesIn(outbox + "/new", ".eml");
  std::sort(messages.begin(), messages.end());
  std::stable_partition(messages.begin(), messages.end(), [](const std::string& file) {
    return ReadFile(file).find("multipart/alternative") != std::string::npos;
  });
  if (!messages.empty()) {
    Heading("One delivered message, " + messages.front());
    std::cout << ReadFile(messages.front());
  }

  Heading("Sending a server-road alert (type 5, criteria 2)");
  EvAlertEx serverAlert;
  serverAlert.auxText14 = "job 4711";
  serverAlert << "backup of /srv/data" << 4711 << -2LL;
  serverAlert.fmtNewMsgString("Job %d finished with %d warnings", 4711, 2);
  std::cout << "sendAlert returned " << serverAlert.sendAlert(5, 2, 3) << "\n";
  for (const std::string& file : FilesIn(stateDirectory + "/spool", ".alert")) {
    Heading("Spooled alert " + file);
    std::cout << ReadFile(file);
  }

  Heading("Debug log " + logFile);
  std::cout << ReadFile(logFile);
  std::cout << "\nEverything the demo wrote is in " << stateDirectory << "\n";
  return kSuccess;
}

}  // namespace

void AddDemoCommand(CLI::App& app, Action& action) {
  CLI::App* demo = app.add_subcommand(
      "demo", "Install the example configuration in a private directory and send two alerts");
  demo->callback([&action] { action = [] { return RunDemo(); }; });
}

}  // namespace tarnalert_tool
