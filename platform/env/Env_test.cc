#include "tarnalert/platform/env/Env.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/env/PosixEnv.h"
#include "platform/testing/TestEnv.h"

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

// A generation names the texts a catalogue gives: new for every change, never
// shared, and 0 from an Env that does not say.
TEST(EnvTest, CatalogGenerationsChangeWithTheTexts) {
  EXPECT_EQ(EnvWrapper(Env::Default()).CatalogGeneration(), 0u);
  const uint64_t first = Env::NewCatalogGeneration();
  EXPECT_NE(first, 0u);
  EXPECT_NE(Env::NewCatalogGeneration(), first);

  tarnalert::test::TestEnv env;
  ScopedEnv scoped(&env);
  const uint64_t before = env.CatalogGeneration();
  EXPECT_NE(before, 0u);
  EXPECT_EQ(env.CatalogGeneration(), before);
  env.SetCatalogText(0x4a0000a5, "n/a");
  EXPECT_NE(env.CatalogGeneration(), before);

  // The real catalogue: one generation for each catalogue directory.
  const std::string directory = env.GetSetting("CATALOG_DIR");
  const uint64_t real = Env::Default()->CatalogGeneration();
  EXPECT_NE(real, 0u);
  env.SetSetting("CATALOG_DIR", directory + "-other");
  EXPECT_NE(Env::Default()->CatalogGeneration(), real);
  env.SetSetting("CATALOG_DIR", directory);
  EXPECT_EQ(Env::Default()->CatalogGeneration(), real);
}

TEST(PosixEnvTest, HooksAnswerThatNothingIsConfigured) {
  tarnalert::PosixEnv env;
  std::string text = "untouched";
  EXPECT_FALSE(env.CatalogText(0x4a0000a5, 0, &text));
  EXPECT_EQ(text, "untouched");
  EXPECT_EQ(env.DeliverEmail("request", 0).code, -1);
}

}  // namespace
