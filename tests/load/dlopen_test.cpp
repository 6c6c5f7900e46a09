#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

namespace {

std::string libPath(const char* name) { return std::string(QMR_BUILD_DIR) + "/lib/" + name; }

// Both builds must load into a plain process and stay mapped after dlclose:
// a Java VM, once created, cannot be created again in the same process.
TEST(DriverLibrary, BothBuildsLoadAndStayMapped) {
  for (const char* name : {"libxbifxu.so", "libxbifx.so"}) {
    std::string path = libPath(name);
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(h, nullptr) << name << ": " << dlerror();
    ASSERT_EQ(dlclose(h), 0);
    void* again = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    EXPECT_NE(again, nullptr) << name << " was unmapped by dlclose";
    if (again) dlclose(again);
  }
}

}  // namespace
