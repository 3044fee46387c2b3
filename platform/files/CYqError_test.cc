#include "tarnalert/platform/files/CYqError.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <utility>

namespace {

const FXCodeLocation kFirst("Source", "void First()", 10);
const FXCodeLocation kSecond("Other", "int Second(int)", 20);

TEST(CYqErrorTest, OnlyNegativeCodesAreErrors) {
  for (int code : {0, 1, 42}) EXPECT_FALSE(CYqError(code, kFirst, 0, "text").IsError()) << code;
  for (int code : {-1, -13}) EXPECT_TRUE(CYqError(code, kFirst, 0, "text").IsError()) << code;
  EXPECT_EQ(CYqError::Success().Code(), 0);
  EXPECT_EQ(CYqError::Success().ToString(), "Success");  // no error, no message
  EXPECT_EQ(CYqError::Success().Reason(), "");
}

TEST(CYqErrorTest, ErrorErrNoFormatsAndKeepsTheLocation) {
  CYqError error = FXErrorUtil::ErrorErrNo(kFirst, ENOENT, "Missing [%s] %d", "a file", 7);
  EXPECT_EQ(error.Code(), -ENOENT);
  ASSERT_EQ(error.Messages().size(), 1u);
  const CYqError::Message message = error.Messages()[0];
  EXPECT_EQ(message.text, "Missing [a file] 7");
  EXPECT_EQ(message.source, "Source");
  EXPECT_EQ(message.function, "void First()");
  EXPECT_EQ(message.line, 10);
  EXPECT_EQ(message.errorNumber, ENOENT);
  // An error number that is not positive still makes an error.
  EXPECT_EQ(FXErrorUtil::ErrorErrNo(kFirst, 0, "x").Code(), -1);
}

TEST(CYqErrorTest, PushAddsToTheSameSharedDetails) {
  CYqError error = FXErrorUtil::ErrorErrNo(kFirst, 1, "cause");
  CYqError copy = error;
  EXPECT_EQ(&copy.Push(kSecond, "context %s", "here"), &copy);
  EXPECT_EQ(error.LastMessage(), "context here");  // seen through the original
  EXPECT_EQ(error.Code(), -1);
  EXPECT_EQ(error.ToString(),
            "Other(20): int Second(int): context here\n"
            "Source(10): void First(): cause");
  EXPECT_EQ(error.Reason(), "context here: cause");
}

TEST(CYqErrorTest, MovingTakesTheDetailsAndLeavesSuccess) {
  CYqError error = FXErrorUtil::ErrorErrNo(kFirst, EIO, "cause");
  CYqError moved = std::move(error);
  EXPECT_EQ(moved.Code(), -EIO);
  EXPECT_EQ(moved.LastMessage(), "cause");
  EXPECT_FALSE(error.IsError());  // NOLINT(bugprone-use-after-move): the state is defined
  EXPECT_EQ(error.ToString(), "Success");
  CYqError assigned;
  assigned = std::move(moved);
  EXPECT_EQ(assigned.Code(), -EIO);
  EXPECT_FALSE(moved.IsError());  // NOLINT(bugprone-use-after-move)
}

}  // namespace
