#include "platform/KTAlert.h"

#include "tarnalert/platform/env/Env.h"

void* AdaptersBase::getAdaptersInterface() { return nullptr; }

AdaptersBase::~AdaptersBase() = default;

std::string AdaptersBase::getErrorString() { return errorString_; }

int AdaptersBase::getActiveApplicationInfo(unsigned long, const std::string&, unsigned long*,
                                           unsigned long*, std::string*, void*) {
  return -1;
}

KTAlert::~KTAlert() = default;

int KTAlert::SendAlert(EvAlertEx& alert) {
  errorString_.clear();
  int result = tarnalert::Env::Current()->SendAlertToServer(alert, &errorString_);
  if (result != 0 && errorString_.empty()) errorString_ = "the server alert adapter failed";
  return result;
}
