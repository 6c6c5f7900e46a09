#include "platform/tls.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

TEST(TlsTest, EachThreadSeesItsOwnValue) {
  plat::TlsKey key;
  ASSERT_TRUE(plat::tls_alloc(key));
  int mine = 1, theirs = 2;
  EXPECT_EQ(plat::tls_get(key), nullptr);
  ASSERT_TRUE(plat::tls_set(key, &mine));
  void* seen_before = &mine;
  void* seen_after = nullptr;
  std::thread([&] {
    seen_before = plat::tls_get(key);
    plat::tls_set(key, &theirs);
    seen_after = plat::tls_get(key);
  }).join();
  EXPECT_EQ(seen_before, nullptr);
  EXPECT_EQ(seen_after, &theirs);
  EXPECT_EQ(plat::tls_get(key), &mine);
  plat::tls_free(key);
  EXPECT_FALSE(key.valid);
  EXPECT_EQ(plat::tls_get(key), nullptr);
  EXPECT_FALSE(plat::tls_set(key, &mine));
}

std::atomic<int> g_destroyed{0};

TEST(TlsTest, DestructorRunsAtThreadExitForNonNullValues) {
  g_destroyed = 0;
  plat::TlsKey key;
  ASSERT_TRUE(plat::tls_alloc(key, [](void* p) { g_destroyed += *static_cast<int*>(p); }));
  int five = 5;
  std::thread([&] { plat::tls_set(key, &five); }).join();
  std::thread([&] { plat::tls_set(key, nullptr); }).join();
  EXPECT_EQ(g_destroyed.load(), 5);
  plat::tls_free(key);
}

TEST(TlsTest, KeysAreIndependent) {
  plat::TlsKey a, b;
  ASSERT_TRUE(plat::tls_alloc(a));
  ASSERT_TRUE(plat::tls_alloc(b));
  int x = 0, y = 0;
  plat::tls_set(a, &x);
  plat::tls_set(b, &y);
  EXPECT_EQ(plat::tls_get(a), &x);
  EXPECT_EQ(plat::tls_get(b), &y);
  plat::tls_free(a);
  plat::tls_free(b);
}

}  // namespace
