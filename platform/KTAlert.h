// platform/ root: the server alert adapter seam. Depends on platform/env;
// its default back-end is wired from delivery/.
//
// The server alert adapter: hands an alert to the management server.
//
// KTAlert::SendAlert passes the whole alert record to the back-end of the Env
// in force. The default back-end is a durable spool directory: each alert
// becomes one file that a forwarder sends on (format in docs/spool.md). The
// result is 0 when the alert was handed over; otherwise non-zero, and
// getErrorString() says why. One adapter serves one thread at a time.
#ifndef TARNALERT_PLATFORM_KTALERT_H_
#define TARNALERT_PLATFORM_KTALERT_H_

#include <string>

class EvAlertEx;

class AdaptersBase {
 public:
  AdaptersBase() = default;
  AdaptersBase(const AdaptersBase&) = delete;
  AdaptersBase& operator=(const AdaptersBase&) = delete;

  // The adapter's own interface object; this client has none.
  virtual void* getAdaptersInterface();
  virtual ~AdaptersBase();
  // Text of the last failure; empty when there was none.
  virtual std::string getErrorString();
  // Not offered by this client: answers -1 and leaves the outputs alone.
  virtual int getActiveApplicationInfo(unsigned long applicationId, const std::string& name,
                                       unsigned long* processId, unsigned long* state,
                                       std::string* detail, void* context);

 protected:
  std::string errorString_;
};

class KTAlert : public AdaptersBase {
 public:
  ~KTAlert() override;
  // 0 when `alert` was handed to the management server; non-zero otherwise.
  int SendAlert(EvAlertEx& alert);
};

#endif  // TARNALERT_PLATFORM_KTALERT_H_
