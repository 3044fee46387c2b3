#include "platform/files/Directory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "platform/files/File.h"
#include "platform/testing/TestEnv.h"
#include "platform/testing/TestUtil.h"

namespace {

namespace fs = std::filesystem;
using tarnalert::Directory;
using tarnalert::test::ReadWhole;
using tarnalert::test::TestEnv;

class DirectoryTest : public ::testing::Test {
 protected:
  TestEnv env_;
  tarnalert::ScopedEnv scoped_{&env_};
  const std::string scratch_ = env_.scratch_directory();
};

// Made directories are private whatever the umask, inside the state
// directory (made one by one from it) and outside it.
TEST_F(DirectoryTest, MadeDirectoriesAreOwnerOnlyUnderAnyUmask) {
  const mode_t saved = ::umask(0);
  Directory inside, outside;
  const CYqError inside_error = Directory::Open(&env_, scratch_ + "/state/a/b", true, &inside);
  const CYqError outside_error = Directory::Open(&env_, scratch_ + "/x/y", true, &outside);
  ::umask(saved);
  ASSERT_YQ_OK(inside_error);
  ASSERT_YQ_OK(outside_error);
  for (const char* made : {"/state", "/state/a", "/state/a/b", "/x", "/x/y"}) {
    struct stat info;
    ASSERT_EQ(::stat((scratch_ + made).c_str(), &info), 0) << made;
    EXPECT_EQ(info.st_mode & 07777, 0700u) << made;
  }
}

// The directory is used through the descriptor opened at the check: moving
// it away and putting a link in its place afterwards redirects nothing.
TEST_F(DirectoryTest, FilesGoToTheDirectoryThatWasChecked) {
  const std::string path = scratch_ + "/state/spool";
  Directory directory;
  ASSERT_YQ_OK(Directory::Open(&env_, path, true, &directory));
  fs::create_directory(scratch_ + "/elsewhere");
  fs::rename(path, scratch_ + "/state/moved");
  fs::create_directory_symlink(scratch_ + "/elsewhere", path);
  ASSERT_YQ_OK(tarnalert::WriteFileDurably(directory, "f", "text"));
  EXPECT_EQ(ReadWhole(scratch_ + "/state/moved/f"), "text");
  EXPECT_FALSE(fs::exists(scratch_ + "/elsewhere/f"));
  // Opened again, the link is refused.
  CYqError error = Directory::Open(&env_, path, true, &directory);
  EXPECT_EQ(error.LastMessage(), "Refusing directory " + path + ": it is a symbolic link");
  EXPECT_FALSE(directory.is_open());
}

// Only a path plainly inside the state directory is checked from it; one
// that leaves it with ".." is checked as itself.
TEST_F(DirectoryTest, PathsLeavingTheStateDirectoryAreCheckedAsThemselves) {
  fs::create_directories(scratch_ + "/state");
  fs::permissions(scratch_ + "/state", fs::perms(0777));
  Directory directory;
  CYqError error = Directory::Open(&env_, scratch_ + "/state/spool", true, &directory);
  EXPECT_EQ(error.LastMessage(),
            "Refusing directory " + scratch_ + "/state: writable by group or others (mode 0777)");
  fs::create_directories(scratch_ + "/other");
  fs::permissions(scratch_ + "/other", fs::perms(0700));
  EXPECT_YQ_OK(Directory::Open(&env_, scratch_ + "/state/../other", false, &directory));
}

}  // namespace
