#include "tarnalert/platform/env/Env.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/env/PosixEnv.h"

namespace {

using tarnalert::Env;
using tarnalert::EnvWrapper;
using tarnalert::ScopedEnv;

TEST(EnvTest, InstallReturnsNullWhenNothingWasInstalled) {
  EnvWrapper env(Env::Default());
  EXPECT_EQ(Env::Install(&env), nullptr);
  EXPECT_EQ(Env::Current(), &env);
  EXPECT_EQ(Env::Install(nullptr), &env);
  EXPECT_EQ(Env::Current(), Env::Default());
}

TEST(EnvTest, NestedScopesPutThePreviousEnvBack) {
  EnvWrapper outer(Env::Default()), inner(Env::Default());
  {
    ScopedEnv outerScope(&outer);
    {
      ScopedEnv innerScope(&inner);
      EXPECT_EQ(Env::Current(), &inner);
    }
    EXPECT_EQ(Env::Current(), &outer);  // not the default
  }
  EXPECT_EQ(Env::Current(), Env::Default());
}

TEST(PosixEnvTest, HooksAnswerThatNothingIsConfigured) {
  tarnalert::PosixEnv env;
  std::string text = "untouched";
  EXPECT_FALSE(env.CatalogText(0x4a0000a5, 0, &text));
  EXPECT_EQ(text, "untouched");
  EXPECT_EQ(env.DeliverEmail("request", 0).code, -1);
}

}  // namespace
