#include "platform/dynlib.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>

#include <cmath>

namespace {

TEST(DynlibTest, LoadsLibmAndCallsCos) {
  void* lib = plat::dl_open("libm.so.6");
  ASSERT_NE(lib, nullptr) << plat::dl_last_error();
  using CosFn = double (*)(double);
  auto fn = reinterpret_cast<CosFn>(plat::dl_symbol(lib, "cos"));
  ASSERT_NE(fn, nullptr) << plat::dl_last_error();
  EXPECT_DOUBLE_EQ(fn(0.0), 1.0);
  // The module holding cos is libm.
  const std::string where = plat::module_path_of(reinterpret_cast<const void*>(fn));
  EXPECT_NE(where.find("libm"), std::string::npos) << where;
  EXPECT_TRUE(plat::dl_close(lib));
}

TEST(DynlibTest, FailuresCarryAReason) {
  EXPECT_EQ(plat::dl_open("libqmr-does-not-exist.so"), nullptr);
  EXPECT_NE(plat::dl_last_error().find("libqmr-does-not-exist.so"), std::string::npos)
      << plat::dl_last_error();
  EXPECT_EQ(plat::dl_open(""), nullptr);
  EXPECT_FALSE(plat::dl_last_error().empty());

  void* lib = plat::dl_open("libm.so.6");
  ASSERT_NE(lib, nullptr);
  EXPECT_EQ(plat::dl_symbol(lib, "qmr_no_such_symbol"), nullptr);
  EXPECT_NE(plat::dl_last_error().find("qmr_no_such_symbol"), std::string::npos);
  plat::dl_close(lib);
  EXPECT_FALSE(plat::dl_close(nullptr));
}

TEST(DynlibTest, GlobalLookupFindsWhatTheProcessHasLoaded) {
  EXPECT_NE(plat::dl_symbol(nullptr, "malloc"), nullptr);
  EXPECT_EQ(plat::dl_symbol(nullptr, "qmr_no_such_symbol"), nullptr);
}

TEST(DynlibTest, OwnModulePathIsTheAbsoluteFileOfThisProgram) {
  const std::string self =
      plat::module_path_of(reinterpret_cast<const void*>(&plat::module_path_of));
  ASSERT_FALSE(self.empty());
  EXPECT_EQ(self.front(), '/');
  char real[PATH_MAX];
  ASSERT_NE(realpath("/proc/self/exe", real), nullptr);
  char mine[PATH_MAX];
  ASSERT_NE(realpath(self.c_str(), mine), nullptr);
  EXPECT_STREQ(mine, real);
  EXPECT_EQ(plat::module_path_of(nullptr), "");
}

}  // namespace
