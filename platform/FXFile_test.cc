#include "platform/FXFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/testing/TestEnv.h"

namespace {

using tarnalert::testing::ScopedEnv;
using tarnalert::testing::TestEnv;

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteWhole(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

mode_t ModeOf(const std::string& path) {
  struct stat info = {};
  EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

// Records the order of renames and directory syncs, and can make writes
// report that nothing was written.
class RecordingEnv : public tarnalert::EnvWrapper {
 public:
  explicit RecordingEnv(Env* target) : EnvWrapper(target) {}
  int RenameFile(const std::string& from, const std::string& to) override {
    calls.push_back("rename " + from + " " + to);
    return target()->RenameFile(from, to);
  }
  int SyncDirectory(const std::string& directory) override {
    calls.push_back("sync " + directory);
    return target()->SyncDirectory(directory);
  }
  ssize_t WriteFile(int fd, const void* data, size_t size) override {
    return writeNothing ? 0 : target()->WriteFile(fd, data, size);
  }
  std::vector<std::string> calls;
  bool writeNothing = false;
};

class FXFileTest : public ::testing::Test {
 protected:
  FXFileTest() : scoped_(&env_), dir_(env_.scratch_directory()) {}
  TestEnv env_;
  ScopedEnv scoped_;
  std::string dir_;
};

TEST_F(FXFileTest, CreateNewMakesAPrivateFileAndFailsWhenItExists) {
  mode_t oldMask = ::umask(0);
  const std::string path = dir_ + "/new";
  auto_handle handle;
  CYqError error = FXFile::KTCreateFile(handle, path.c_str(), 0xC0000000, 0, nullptr,
                                        FXFile::kCreateNew, 0, nullptr);
  ::umask(oldMask);
  ASSERT_FALSE(error.IsError()) << error.ToString();
  EXPECT_TRUE(handle.valid());
  EXPECT_EQ(ModeOf(path), 0600u);

  auto_handle again;
  error = FXFile::KTCreateFile(again, path.c_str(), 0xC0000000, 0, nullptr, FXFile::kCreateNew, 0,
                               nullptr);
  EXPECT_TRUE(error.IsError());
  EXPECT_EQ(error.Code(), -EEXIST);
  EXPECT_EQ(error.LastMessage(), "Cannot open " + path + ": File exists");
  EXPECT_EQ(again.get(), -1);
}

TEST_F(FXFileTest, NeverOpensThroughASymbolicLink) {
  const std::string target = dir_ + "/target";
  WriteWhole(target, "keep");
  for (const char* name : {"/link-create", "/link-lock"}) {
    const std::string link = dir_ + name;
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  }
  auto_handle handle;
  for (unsigned long disposition :
       {FXFile::kCreateNew, FXFile::kCreateAlways, FXFile::kOpenExisting, FXFile::kOpenAlways}) {
    SCOPED_TRACE(disposition);
    EXPECT_TRUE(FXFile::KTCreateFile(handle, (dir_ + "/link-create").c_str(), 0xC0000000, 0,
                                     nullptr, disposition, 0, nullptr)
                    .IsError());
  }
  EXPECT_TRUE(FXFile::KTLockFile(handle, (dir_ + "/link-lock").c_str()).IsError());
  EXPECT_EQ(ReadWhole(target), "keep");
}

TEST_F(FXFileTest, UnknownDispositionFails) {
  auto_handle handle;
  CYqError error =
      FXFile::KTCreateFile(handle, (dir_ + "/x").c_str(), 0xC0000000, 0, nullptr, 9, 0, nullptr);
  EXPECT_EQ(error.Code(), -EINVAL);
  EXPECT_NE(::access((dir_ + "/x").c_str(), F_OK), 0);
}

TEST_F(FXFileTest, WriteFlushAndReplaceIsDurable) {
  RecordingEnv recorder(&env_);
  ScopedEnv scoped(&recorder);
  const std::string from = dir_ + "/file.tmp", to = dir_ + "/file";
  WriteWhole(to, "old");
  {
    auto_handle handle;
    ASSERT_FALSE(FXFile::KTCreateFile(handle, from.c_str(), 0xC0000000, 0, nullptr, 1, 0, nullptr)
                     .IsError());
    unsigned long written = 0;
    ASSERT_FALSE(FXFile::KTWriteFile(handle, "new text", 8, &written, nullptr).IsError());
    EXPECT_EQ(written, 8u);
    EXPECT_FALSE(FXFile::KTFlushFileBuffers(handle).IsError());
  }
  EXPECT_FALSE(FXFile::KTMoveFileEx(from.c_str(), to.c_str(), 1).IsError());
  EXPECT_EQ(ReadWhole(to), "new text");
  EXPECT_EQ(ModeOf(to), 0600u);
  EXPECT_EQ(recorder.calls,
            (std::vector<std::string>{"rename " + from + " " + to, "sync " + dir_}));
}

TEST_F(FXFileTest, FailuresCarryTheSystemText) {
  const std::string existing = dir_ + "/existing", missing = dir_ + "/missing";
  WriteWhole(existing, "kept");
  WriteWhole(dir_ + "/other", "other");
  CYqError noReplace = FXFile::KTMoveFileEx((dir_ + "/other").c_str(), existing.c_str(), 0);
  EXPECT_EQ(noReplace.LastMessage(),
            "Cannot rename " + dir_ + "/other to " + existing + ": File exists");
  EXPECT_EQ(ReadWhole(existing), "kept");
  EXPECT_EQ(FXFile::KTMoveFileEx(missing.c_str(), existing.c_str(), 1).LastMessage(),
            "Cannot rename " + missing + " to " + existing + ": No such file or directory");
  EXPECT_EQ(FXFile::RemoveFile(missing.c_str()).LastMessage(),
            "Cannot remove " + missing + ": No such file or directory");
  auto_handle closed;
  EXPECT_EQ(FXFile::KTFlushFileBuffers(closed).LastMessage(),
            "Cannot flush descriptor -1: Bad file descriptor");
}

TEST_F(FXFileTest, AWriteOfNothingIsAFailure) {
  RecordingEnv recorder(&env_);
  ScopedEnv scoped(&recorder);
  recorder.writeNothing = true;
  auto_handle handle;
  ASSERT_FALSE(
      FXFile::KTCreateFile(handle, (dir_ + "/f").c_str(), 0x40000000, 0, nullptr, 2, 0, nullptr)
          .IsError());
  unsigned long written = 99;
  EXPECT_TRUE(FXFile::KTWriteFile(handle, "abc", 3, &written, nullptr).IsError());
  EXPECT_EQ(written, 0u);
}

TEST_F(FXFileTest, LockExcludesAnotherHolderUntilUnlocked) {
  const std::string path = dir_ + "/file.lock";
  auto_handle first;
  ASSERT_FALSE(FXFile::KTLockFile(first, path.c_str()).IsError());
  EXPECT_EQ(ModeOf(path), 0600u);
  std::atomic<bool> taken{false};
  std::thread other([&] {
    auto_handle second;  // its own open file description: flock excludes it
    EXPECT_FALSE(FXFile::KTLockFile(second, path.c_str()).IsError());
    taken = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(taken);
  EXPECT_FALSE(FXFile::KTUnlockFile(first).IsError());
  other.join();
  EXPECT_TRUE(taken);
}

}  // namespace
