#include "platform/testing/TestEnv.h"

#include <ftw.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>

namespace tarnalert {
namespace test {

namespace {

std::string MakeScratchDirectory() {
  const char* tmp = ::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tarnalert-test-XXXXXX";
  if (::mkdtemp(&pattern[0]) == nullptr) return "";
  return pattern;
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) { return ::remove(path); }

}  // namespace

TestEnv::TestEnv() : EnvWrapper(Env::Default()), scratch_(MakeScratchDirectory()) {
  settings_["STATE_DIR"] = scratch_ + "/state";
  settings_["CLIENT_NAME"] = "testclient";
  settings_["JOB_RESULTS_DIR"] = scratch_ + "/jobresults";
  settings_["SPOOL_DIR"] = scratch_ + "/spool";
  settings_["CATALOG_DIR"] = scratch_ + "/catalog";
  settings_["LOG_FILE"] = scratch_ + "/tarnalert.log";
}

TestEnv::~TestEnv() {
  if (!scratch_.empty()) ::nftw(scratch_.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

void TestEnv::SetSetting(const std::string& name, const std::string& value) {
  std::lock_guard<std::mutex> lock(mutex_);
  settings_[name] = value;
  generation_ = NewCatalogGeneration();
}

void TestEnv::SetCatalogText(unsigned long messageId, const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  removed_.erase(messageId);
  catalog_[messageId] = text;
  generation_ = NewCatalogGeneration();
}

void TestEnv::RemoveCatalogText(unsigned long messageId) {
  std::lock_guard<std::mutex> lock(mutex_);
  catalog_.erase(messageId);
  removed_[messageId] = true;
  generation_ = NewCatalogGeneration();
}

uint64_t TestEnv::CatalogGeneration() {
  const uint64_t real = target()->CatalogGeneration();
  std::lock_guard<std::mutex> lock(mutex_);
  if (real == 0) return 0;
  if (real != target_generation_) {
    target_generation_ = real;
    generation_ = NewCatalogGeneration();
  }
  return generation_;
}

std::vector<std::string> TestEnv::LogLines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

std::vector<std::string> TestEnv::LogMessages() const {
  std::vector<std::string> messages;
  for (const std::string& line : LogLines()) {
    // "<time> <pid> <tid> <rest>": drop the first three fields.
    size_t at = 0;
    for (int field = 0; field < 3 && at != std::string::npos; ++field) {
      at = line.find(' ', at);
      if (at != std::string::npos) ++at;
    }
    messages.push_back(at == std::string::npos ? line : line.substr(at));
  }
  return messages;
}

size_t TestEnv::CountLogLines(const std::string& text) const {
  size_t count = 0;
  for (const std::string& line : LogLines()) count += line.find(text) != std::string::npos;
  return count;
}

void TestEnv::ClearLog() {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.clear();
}

std::string TestEnv::GetSetting(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = settings_.find(name);
  return it == settings_.end() ? "" : it->second;
}

bool TestEnv::CatalogText(unsigned long messageId, unsigned long localeId, std::string* text) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = catalog_.find(messageId);
    if (it != catalog_.end()) {
      *text = it->second;
      return true;
    }
    if (removed_.count(messageId)) return false;
  }
  return target()->CatalogText(messageId, localeId, text);
}

void TestEnv::WriteLogLine(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.push_back(line.substr(0, line.size() - (!line.empty() && line.back() == '\n')));
}

}  // namespace test
}  // namespace tarnalert
