// Platform information: which client this process runs for and where that
// client's job results live.
//
// KTPlatformInfo answers for the focus it was given (KTPI_Focus::getFocus()
// names this host); KTPI_TarnClient answers for a client name. Both ask the
// Env in force (Env::PhysicalMachineName, Env::JobResultsDirectory: the
// CLIENT_NAME and JOB_RESULTS_DIR settings with their defaults, see
// docs/settings.md). A returned text belongs to the object and stays valid
// until the next call on it or its destruction. Each object belongs to one
// thread at a time.
#ifndef TARNALERT_PLATFORM_SYSTEM_KTPLATFORMINFO_H_
#define TARNALERT_PLATFORM_SYSTEM_KTPLATFORMINFO_H_

#include <string>

class KTPI_Focus {
 public:
  // The focus of this process: the physical machine it runs on, named by the
  // empty text.
  static const char* getFocus();
};

class KTPlatformInfo {
 public:
  KTPlatformInfo() = default;
  KTPlatformInfo(const KTPlatformInfo&) = delete;
  KTPlatformInfo& operator=(const KTPlatformInfo&) = delete;

  // Sets the focus the answers are for; null is the empty focus.
  void setFocus(const char* focus);
  // The client name of the physical machine of the focus; the empty text
  // when there is none.
  const char* getPhysicalMachine();

 private:
  std::string focus_;
  std::string physicalMachine_;
};

class KTPI_TarnClient {
 public:
  KTPI_TarnClient() = default;
  KTPI_TarnClient(const KTPI_TarnClient&) = delete;
  KTPI_TarnClient& operator=(const KTPI_TarnClient&) = delete;

  // The job results directory of `clientName`; the empty text when the name
  // is null or empty or there is no directory.
  const char* getJobResultsDirectory(const char* clientName);

 private:
  std::string jobResultsDirectory_;
};

#endif  // TARNALERT_PLATFORM_SYSTEM_KTPLATFORMINFO_H_
