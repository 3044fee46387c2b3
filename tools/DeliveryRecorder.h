// An environment for the tool that lets every e-mail and server alert go
// out as usual and remembers what happened to each: the request with its
// delivery result, and the files the server road put in place.
//
// Used on the tool's single thread.
#ifndef TARNALERT_TOOLS_DELIVERYRECORDER_H_
#define TARNALERT_TOOLS_DELIVERYRECORDER_H_

#include <unistd.h>

#include <string>
#include <vector>

#include "tarnalert.h"

namespace tarnalert_tool {

struct Delivery {
  std::string request;  // the serialized App::EmailInfo
  int deliveryOptions;
  tarnalert::DeliveryResult result;
};

class DeliveryRecorder : public tarnalert::EnvWrapper {
 public:
  explicit DeliveryRecorder(tarnalert::Env* target) : EnvWrapper(target) {}

  tarnalert::DeliveryResult DeliverEmail(const std::string& request, int options) override {
    tarnalert::DeliveryResult result = target()->DeliverEmail(request, options);
    deliveries_.push_back({request, options, result});
    return result;
  }
  int SendAlertToServer(const EvAlertEx& alert, std::string* errorText) override {
    sending_ = true;
    int result = target()->SendAlertToServer(alert, errorText);
    sending_ = false;
    return result;
  }
  // A rename while an alert is handed over puts its spool file in place (a
  // name inside the spool directory's descriptor).
  int RenameFileAt(int fromDirectory, const std::string& from, int toDirectory,
                   const std::string& to) override {
    int result = target()->RenameFileAt(fromDirectory, from, toDirectory, to);
    if (result == 0 && sending_) spooled_.push_back(DirectoryPath(toDirectory) + "/" + to);
    return result;
  }

  const std::vector<Delivery>& deliveries() const { return deliveries_; }
  const std::vector<std::string>& spooled() const { return spooled_; }

 private:
  // The path of the open directory `fd`, as the kernel knows it.
  static std::string DirectoryPath(int fd) {
    char path[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t size = ::readlink(link.c_str(), path, sizeof path);
    return size > 0 ? std::string(path, static_cast<size_t>(size)) : link;
  }

  std::vector<Delivery> deliveries_;
  std::vector<std::string> spooled_;
  bool sending_ = false;
};

}  // namespace tarnalert_tool

#endif  // TARNALERT_TOOLS_DELIVERYRECORDER_H_
