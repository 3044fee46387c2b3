#include "platform/files/TrustedFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/testing/TestEnv.h"
#include "platform/testing/TestUtil.h"

namespace {

namespace fs = std::filesystem;
using tarnalert::FileKeeping;
using tarnalert::ReadTrustedFile;

class TrustedFileTest : public ::testing::Test {
 protected:
  tarnalert::test::TestEnv env_;
  const std::string dir_ = env_.scratch_directory();

  std::string File(const std::string& name, const std::string& text, fs::perms mode) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path) << text;
    fs::permissions(path, mode);
    return path;
  }
};

// What the reader accepts for a CA file (trusted) and for a key or password
// (private), and the reason it gives for what it refuses.
TEST_F(TrustedFileTest, SettingsFilesMustBeKeptAsTheirUseAsks) {
  ::mkfifo((dir_ + "/fifo").c_str(), 0600);
  fs::create_directory(dir_ + "/open");
  fs::permissions(dir_ + "/open", fs::perms(0777));
  const std::string inOpen = File("open/ca.pem", "CA", fs::perms(0644));
  fs::create_symlink(File("key.pem", "KEY", fs::perms(0600)), dir_ + "/key-link");
  fs::create_symlink(inOpen, dir_ + "/ca-link");
  const struct {
    std::string path;
    FileKeeping keeping;
    std::string expected;  // the text read, or the message of the refusal
  } cases[] = {
      {File("ca.pem", "CA", fs::perms(0644)), FileKeeping::kTrusted, "CA"},
      {dir_ + "/ca.pem", FileKeeping::kPrivate,
       "Refusing the file " + dir_ + "/ca.pem: may be read by group or others (mode 0644); " +
           "make it private: chmod 600 " + dir_ + "/ca.pem"},
      {File("writable.pem", "CA", fs::perms(0664)), FileKeeping::kTrusted,
       "Refusing the file " + dir_ + "/writable.pem: writable by group or others (mode 0664)"},
      {dir_ + "/key-link", FileKeeping::kPrivate, "KEY"},
      {dir_ + "/ca-link", FileKeeping::kTrusted,
       "Refusing the file " + dir_ + "/ca-link: " + dir_ +
           "/open is writable by group or others (mode 0777)"},
      {dir_ + "/fifo", FileKeeping::kPrivate,
       "Refusing the file " + dir_ + "/fifo: not a regular file"},
      {dir_, FileKeeping::kTrusted, "Refusing the file " + dir_ + ": not a regular file"},
      {"/dev/null", FileKeeping::kTrusted, "Refusing the file /dev/null: not a regular file"},
      {dir_ + "/missing", FileKeeping::kTrusted,
       "Cannot open the file " + dir_ + "/missing: No such file or directory"},
      {File("large.pem", std::string(101, 'x'), fs::perms(0600)), FileKeeping::kPrivate,
       "Refusing the file " + dir_ + "/large.pem: larger than 100 bytes"},
  };
  for (const auto& c : cases) {
    std::string text = "left over";
    const CYqError error = ReadTrustedFile(&env_, "the file", c.path, c.keeping, 100, &text);
    EXPECT_EQ(error.IsError() ? error.LastMessage() : text, c.expected) << c.path;
    if (error.IsError()) {
      EXPECT_EQ(text, "") << c.path;
    }
  }
}

// Another user's file, or a file reached through another user's link or
// directory, is refused whatever its mode: whoever owns it can change it.
TEST_F(TrustedFileTest, FilesAnotherUserControlsAreRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make the files of a second user";
  fs::permissions(dir_, fs::perms(01777));
  const std::string ours = File("ours.pem", "CA", fs::perms(0644));
  ASSERT_TRUE(tarnalert::test::AsOtherUser([&] {
    std::ofstream(dir_ + "/theirs.pem") << "CA";
    fs::create_directory(dir_ + "/theirs");
    std::ofstream(dir_ + "/theirs/ca.pem") << "CA";
    fs::create_symlink(ours, dir_ + "/their-link");
    return fs::exists(dir_ + "/their-link");
  }));
  const std::string other = std::to_string(tarnalert::test::kOtherUser);
  const struct {
    std::string path;
    std::string refusal;
  } cases[] = {
      {dir_ + "/theirs.pem", "owned by user " + other + ", not by user 0 or root"},
      {dir_ + "/theirs/ca.pem",
       dir_ + "/theirs is owned by user " + other + ", not by user 0 or root"},
      {dir_ + "/their-link", "the symbolic link " + dir_ + "/their-link is owned by user " + other +
                                 ", not by user 0 or root"},
  };
  for (const auto& c : cases) {
    std::string text;
    EXPECT_EQ(ReadTrustedFile(&env_, "the CA file", c.path, FileKeeping::kTrusted, 100, &text)
                  .LastMessage(),
              "Refusing the CA file " + c.path + ": " + c.refusal);
  }
}

}  // namespace
