#include "platform/CYqError.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

const FXCodeLocation kFirst("Source", "void First()", 10);
const FXCodeLocation kSecond("Other", "int Second(int)", 20);

TEST(CYqErrorTest, OnlyNegativeCodesAreErrors) {
  const struct {
    int code;
    bool isError;
  } cases[] = {{0, false}, {1, false}, {42, false}, {-1, true}, {-13, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(CYqError(c.code, kFirst, 0, "text").IsError(), c.isError);
  }
}

TEST(CYqErrorTest, SuccessHoldsNothing) {
  CYqError success = CYqError::Success();
  EXPECT_FALSE(success.IsError());
  EXPECT_EQ(success.Code(), 0);
  EXPECT_TRUE(success.Messages().empty());
  EXPECT_EQ(success.ToString(), "Success");
}

TEST(CYqErrorTest, ErrorErrNoFormatsAndKeepsTheLocation) {
  CYqError error = FXErrorUtil::ErrorErrNo(kFirst, ENOENT, "Missing [%s] %d", "a file", 7);
  ASSERT_TRUE(error.IsError());
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
}

TEST(CYqErrorTest, ErrorTextIsTheSystemText) {
  EXPECT_EQ(FXErrorUtil::ErrorText(ENOENT), "No such file or directory");
  EXPECT_EQ(FXErrorUtil::ErrorText(EACCES), "Permission denied");
}

}  // namespace
