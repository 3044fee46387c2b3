#include "platform/files/Directory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "platform/files/File.h"
#include "platform/testing/FaultEnv.h"
#include "platform/testing/TestUtil.h"

namespace {

namespace fs = std::filesystem;
using tarnalert::Directory;
using tarnalert::test::FaultEnv;
using tarnalert::test::FileOp;
using tarnalert::test::ReadWhole;

class DirectoryTest : public ::testing::Test {
 protected:
  FaultEnv env_;
  tarnalert::ScopedEnv scoped_{&env_};
  const std::string scratch_ = env_.scratch_directory();

  // A directory of ours under the scratch directory, with `mode`.
  std::string Made(const std::string& name, fs::perms mode = fs::perms(0700)) {
    const std::string path = scratch_ + "/" + name;
    fs::create_directories(path);
    fs::permissions(path, mode);
    return path;
  }
};

// Made directories are private whatever the umask, each made relative to
// the one checked before it.
TEST_F(DirectoryTest, MadeDirectoriesAreOwnerOnlyUnderAnyUmask) {
  const mode_t saved = ::umask(0);
  Directory made;
  const CYqError error = Directory::Open(&env_, scratch_ + "/a/b/c", true, &made);
  ::umask(saved);
  ASSERT_YQ_OK(error);
  EXPECT_EQ(made.resolved(), scratch_ + "/a/b/c");
  for (const char* name : {"/a", "/a/b", "/a/b/c"}) {
    struct stat info;
    ASSERT_EQ(::stat((scratch_ + name).c_str(), &info), 0) << name;
    EXPECT_EQ(info.st_mode & 07777, 0700u) << name;
  }
}

// The directory is used through the descriptor opened at the check: moving
// it away and putting a link in its place afterwards redirects nothing.
TEST_F(DirectoryTest, FilesGoToTheDirectoryThatWasChecked) {
  const std::string path = Made("state") + "/spool";
  Directory directory;
  ASSERT_YQ_OK(Directory::Open(&env_, path, true, &directory));
  const std::string elsewhere = Made("elsewhere");
  fs::rename(path, scratch_ + "/state/moved");
  fs::create_directory_symlink(elsewhere, path);
  ASSERT_YQ_OK(tarnalert::WriteFileDurably(directory, "f", "text"));
  EXPECT_EQ(ReadWhole(scratch_ + "/state/moved/f"), "text");
  EXPECT_FALSE(fs::exists(elsewhere + "/f"));
  // Opened again, the link (ours, to a private directory of ours) leads on.
  ASSERT_YQ_OK(Directory::Open(&env_, path, true, &directory));
  EXPECT_EQ(directory.resolved(), elsewhere);
  EXPECT_EQ(directory.path(), path);
}

// The rule for what lies on the way and for the directory itself, links
// included. `make` lays the place out and returns the path to open.
TEST_F(DirectoryTest, EveryDirectoryOnTheResolvedPathIsChecked) {
  const struct {
    const char* label;
    std::function<std::string()> make;
    std::string refusal;  // after "Refusing directory <path>: "; empty: opened
  } cases[] = {
      {"a link of ours to a private directory of ours",
       [&] {
         fs::create_directory_symlink(Made("private"), scratch_ + "/link");
         return scratch_ + "/link";
       },
       ""},
      {"a relative link through a sticky directory others may write",
       [&] {
         Made("sticky/ours");
         fs::permissions(scratch_ + "/sticky", fs::perms(01777));
         fs::create_directory_symlink("sticky/ours", scratch_ + "/relative");
         return scratch_ + "/relative";
       },
       ""},
      {"a link to a directory others may write",
       [&] {
         fs::create_directory_symlink(Made("open", fs::perms(0777)), scratch_ + "/to-open");
         return scratch_ + "/to-open";
       },
       "<S>/open is writable by group or others (mode 0777)"},
      {"a sticky directory others may write, as the directory itself",
       [&] { return Made("tmp-like", fs::perms(01777)); },
       "writable by group or others (mode 1777)"},
      {"a directory on the way its group may write",
       [&] {
         const std::string inner = Made("group/inner");
         fs::permissions(scratch_ + "/group", fs::perms(0770));
         return inner;
       },
       "<S>/group is writable by group or others (mode 0770)"},
      {"a directory on the way others may write, not sticky",
       [&] {
         const std::string inner = Made("shared/inner");
         fs::permissions(scratch_ + "/shared", fs::perms(0777));
         return inner;
       },
       "<S>/shared is writable by group or others (mode 0777)"},
      {"a directory on the way reached through \"..\" of a link",
       [&] {
         Made("real/inner");
         fs::create_directory_symlink(scratch_ + "/real/inner", scratch_ + "/up");
         fs::permissions(scratch_ + "/real", fs::perms(0770));
         return scratch_ + "/up/..";
       },
       "<S>/real is writable by group or others (mode 0770)"},
  };
  for (const auto& c : cases) {
    const std::string path = c.make();
    Directory directory;
    const CYqError error = Directory::Open(&env_, path, false, &directory);
    std::string refusal = c.refusal;
    if (refusal.compare(0, 3, "<S>") == 0) refusal = scratch_ + refusal.substr(3);
    if (refusal.empty()) {
      EXPECT_YQ_OK(error) << c.label;
      EXPECT_TRUE(directory.is_open()) << c.label;
    } else {
      EXPECT_EQ(error.LastMessage(), "Refusing directory " + path + ": " + refusal) << c.label;
      EXPECT_EQ(error.Code(), -EPERM) << c.label;
      EXPECT_FALSE(directory.is_open()) << c.label;
    }
  }
}

TEST_F(DirectoryTest, WhatIsInTheWayIsNamedWithTheSystemText) {
  std::ofstream(scratch_ + "/file") << "x";
  fs::create_directory_symlink(scratch_ + "/loop-b", scratch_ + "/loop-a");
  fs::create_directory_symlink(scratch_ + "/loop-a", scratch_ + "/loop-b");
  const struct {
    std::string path;
    bool create;
    std::string message;
  } cases[] = {
      {scratch_ + "/file", true, "Cannot create directory " + scratch_ + "/file: Not a directory"},
      {scratch_ + "/file/sub", true,
       "Cannot create directory " + scratch_ + "/file: Not a directory"},
      {scratch_ + "/missing", false,
       "Cannot open directory " + scratch_ + "/missing: No such file or directory"},
      {scratch_ + "/loop-a", true,
       "Cannot follow the symbolic link " + scratch_ +
           "/loop-a: Too many levels of symbolic links"},
  };
  for (const auto& c : cases) {
    Directory directory;
    EXPECT_EQ(Directory::Open(&env_, c.path, c.create, &directory).LastMessage(), c.message)
        << c.path;
  }
}

// A directory opened inside a checked one goes on from its descriptor and
// by the same rule.
TEST_F(DirectoryTest, DirectoriesInsideAreOpenedFromTheDescriptor) {
  Directory top, inside;
  ASSERT_YQ_OK(Directory::Open(&env_, Made("top"), false, &top));
  fs::rename(scratch_ + "/top", scratch_ + "/moved");
  ASSERT_YQ_OK(top.OpenDirectory("deferred", true, &inside));
  EXPECT_TRUE(fs::is_directory(scratch_ + "/moved/deferred"));
  EXPECT_EQ(inside.path(), scratch_ + "/top/deferred");

  fs::create_directory_symlink(Made("open", fs::perms(0777)), scratch_ + "/moved/failed");
  EXPECT_EQ(top.OpenDirectory("failed", true, &inside).LastMessage(),
            "Refusing directory " + scratch_ + "/top/failed: " + scratch_ +
                "/open is writable by group or others (mode 0777)");
}

// Listing goes through the Env, so a failure to list is an error, never an
// empty directory; names being written (a leading dot) are left out.
TEST_F(DirectoryTest, ListingGivesTheNamesOfASuffixSortedOrTheFailure) {
  const std::string path = Made("queue");
  for (const char* name : {"b.mail", "a.mail", ".c.mail.tmp", "a.mail.error", "x.alert"}) {
    std::ofstream(path + "/" + name) << "x";
  }
  Directory directory;
  ASSERT_YQ_OK(Directory::Open(&env_, path, false, &directory));
  std::vector<std::string> names;
  ASSERT_YQ_OK(directory.List(".mail", &names));
  EXPECT_EQ(names, (std::vector<std::string>{"a.mail", "b.mail"}));

  env_.Fail(FileOp::kList, 1, EIO);
  const CYqError error = directory.List(".mail", &names);
  EXPECT_EQ(error.LastMessage(), "Cannot list directory " + path + ": Input/output error");
  EXPECT_TRUE(names.empty());
}

}  // namespace
