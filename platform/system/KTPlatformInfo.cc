#include "platform/system/KTPlatformInfo.h"

#include "tarnalert/platform/env/Env.h"

const char* KTPI_Focus::getFocus() { return ""; }

void KTPlatformInfo::setFocus(const char* focus) { focus_ = focus ? focus : ""; }

const char* KTPlatformInfo::getPhysicalMachine() {
  physicalMachine_ = tarnalert::Env::Current()->PhysicalMachineName(focus_);
  return physicalMachine_.c_str();
}

const char* KTPI_TarnClient::getJobResultsDirectory(const char* clientName) {
  jobResultsDirectory_ = (clientName == nullptr || *clientName == '\0')
                             ? std::string()
                             : tarnalert::Env::Current()->JobResultsDirectory(clientName);
  return jobResultsDirectory_.c_str();
}
