// The entry points of both libraries, reached as a Driver Manager reaches
// them: dlopen and dlsym.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <string>

namespace {

using AllocHandleFn = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLHANDLE*);
using AllocEnvFn = SQLRETURN (*)(SQLHENV*);
using FreeHandleFn = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE);
using GetEnvAttrFn = SQLRETURN (*)(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER, SQLINTEGER*);
using DisconnectFn = SQLRETURN (*)(SQLHDBC);
using GetDiagRecFn = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLCHAR*, SQLINTEGER*,
                                   SQLCHAR*, SQLSMALLINT, SQLSMALLINT*);
using GetDiagRecWFn = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLWCHAR*, SQLINTEGER*,
                                    SQLWCHAR*, SQLSMALLINT, SQLSMALLINT*);
using SetupFn = int (*)(char*, int);

struct Build {
  const char* file;
  bool unicode;
  const char* description;
};

const Build kBuilds[] = {
    {"libxbifxu.so", true, "Quillmar Informix Driver (Velkaro)(Unicode)"},
    {"libxbifx.so", false, "Quillmar Informix Driver (Velkaro)"},
};

class Api : public ::testing::TestWithParam<Build> {
 protected:
  void SetUp() override {
    const std::string path = std::string(QMR_BUILD_DIR) + "/lib/" + GetParam().file;
    lib_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, lib_) << dlerror();
  }
  void TearDown() override {
    if (lib_ != nullptr) dlclose(lib_);
  }
  template <class F>
  F Sym(const char* name) {
    return reinterpret_cast<F>(dlsym(lib_, name));
  }
  // SQLSTATE of the first diagnostic, through whichever form the build has.
  std::string State(SQLSMALLINT type, SQLHANDLE h) {
    if (GetParam().unicode) {
      auto f = Sym<GetDiagRecWFn>("SQLGetDiagRecW");
      SQLWCHAR s[6] = {0};
      SQLINTEGER native;
      SQLWCHAR msg[256];
      SQLSMALLINT len;
      if (f == nullptr || f(type, h, 1, s, &native, msg, 256, &len) != SQL_SUCCESS) return "";
      return std::string(s, s + 5);
    }
    auto f = Sym<GetDiagRecFn>("SQLGetDiagRec");
    SQLCHAR s[6] = "";
    SQLINTEGER native;
    SQLCHAR msg[256];
    SQLSMALLINT len;
    if (f == nullptr || f(type, h, 1, s, &native, msg, 256, &len) != SQL_SUCCESS) return "";
    return reinterpret_cast<char*>(s);
  }
  void* lib_ = nullptr;
};

TEST_P(Api, EnvironmentsAndTheirVersion) {
  auto alloc = Sym<AllocHandleFn>("SQLAllocHandle");
  auto allocEnv = Sym<AllocEnvFn>("SQLAllocEnv");
  auto freeHandle = Sym<FreeHandleFn>("SQLFreeHandle");
  auto getAttr = Sym<GetEnvAttrFn>("SQLGetEnvAttr");
  ASSERT_TRUE(alloc && allocEnv && freeHandle && getAttr);

  SQLHENV env3 = nullptr;
  ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env3));
  EXPECT_EQ(0x00010000u, reinterpret_cast<uintptr_t>(env3));
  SQLINTEGER version = 0;
  ASSERT_EQ(SQL_SUCCESS, getAttr(env3, SQL_ATTR_ODBC_VERSION, &version, 0, nullptr));
  EXPECT_EQ(3, version);

  SQLHENV env2 = nullptr;
  ASSERT_EQ(SQL_SUCCESS, allocEnv(&env2));
  ASSERT_EQ(SQL_SUCCESS, getAttr(env2, SQL_ATTR_ODBC_VERSION, &version, 0, nullptr));
  EXPECT_EQ(2, version);

  EXPECT_EQ(SQL_SUCCESS, freeHandle(SQL_HANDLE_ENV, env2));
  EXPECT_EQ(SQL_SUCCESS, freeHandle(SQL_HANDLE_ENV, env3));
}

TEST_P(Api, BadHandlesAreInvalid) {
  auto alloc = Sym<AllocHandleFn>("SQLAllocHandle");
  auto freeHandle = Sym<FreeHandleFn>("SQLFreeHandle");
  auto disconnect = Sym<DisconnectFn>("SQLDisconnect");
  ASSERT_TRUE(alloc && freeHandle && disconnect);
  SQLHENV env = nullptr;
  ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
  SQLHDBC dbc = nullptr;
  ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_DBC, env, &dbc));
  EXPECT_EQ(SQL_INVALID_HANDLE, disconnect(env));                                    // wrong kind
  EXPECT_EQ(SQL_INVALID_HANDLE, disconnect(reinterpret_cast<SQLHDBC>(0x00027777)));  // foreign
  EXPECT_EQ(SQL_ERROR, disconnect(dbc));  // right kind, not connected
  EXPECT_EQ("08003", State(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ(SQL_SUCCESS, freeHandle(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ(SQL_INVALID_HANDLE, disconnect(dbc));  // freed
  EXPECT_EQ(SQL_SUCCESS, freeHandle(SQL_HANDLE_ENV, env));
  EXPECT_EQ(SQL_INVALID_HANDLE, freeHandle(SQL_HANDLE_ENV, env));
}

// Native SQL without a text is refused by the driver itself in both widths,
// before any connection is needed.
TEST_P(Api, NativeSqlWithoutATextIsRefusedInEitherWidth) {
  auto alloc = Sym<AllocHandleFn>("SQLAllocHandle");
  auto freeHandle = Sym<FreeHandleFn>("SQLFreeHandle");
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
  ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_DBC, env, &dbc));
  SQLINTEGER len = 0;
  using NativeSqlFn =
      SQLRETURN (*)(SQLHDBC, SQLCHAR*, SQLINTEGER, SQLCHAR*, SQLINTEGER, SQLINTEGER*);
  // Both builds have the 8-bit form; only the Unicode build the wide one.
  auto nativeSql = Sym<NativeSqlFn>("SQLNativeSql");
  ASSERT_NE(nullptr, nativeSql);
  SQLCHAR out[8];
  EXPECT_EQ(SQL_ERROR, nativeSql(dbc, nullptr, SQL_NTS, out, 8, &len));
  EXPECT_EQ("HY009", State(SQL_HANDLE_DBC, dbc));
  if (GetParam().unicode) {
    using NativeSqlWFn =
        SQLRETURN (*)(SQLHDBC, SQLWCHAR*, SQLINTEGER, SQLWCHAR*, SQLINTEGER, SQLINTEGER*);
    auto nativeSqlW = Sym<NativeSqlWFn>("SQLNativeSqlW");
    ASSERT_NE(nullptr, nativeSqlW);
    SQLWCHAR wout[8];
    EXPECT_EQ(SQL_ERROR, nativeSqlW(dbc, nullptr, SQL_NTS, wout, 8, &len));
    EXPECT_EQ("HY009", State(SQL_HANDLE_DBC, dbc));
  } else {
    EXPECT_EQ(nullptr, dlsym(lib_, "SQLNativeSqlW"));
  }
  EXPECT_EQ(SQL_SUCCESS, freeHandle(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ(SQL_SUCCESS, freeHandle(SQL_HANDLE_ENV, env));
}

TEST_P(Api, SetupDatabaseNamesTheBuild) {
  auto setup = Sym<SetupFn>("GetSetupDatabase");
  ASSERT_NE(nullptr, setup);
  char buf[128];
  EXPECT_EQ(1, setup(buf, sizeof buf));
  EXPECT_STREQ(GetParam().description, buf);
}

INSTANTIATE_TEST_SUITE_P(BothBuilds, Api, ::testing::ValuesIn(kBuilds), [](const auto& info) {
  return std::string(info.param.unicode ? "Unicode" : "Ansi");
});

}  // namespace
