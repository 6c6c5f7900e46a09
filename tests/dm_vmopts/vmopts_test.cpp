// A VM option the Java VM does not know (QMR_JVM_OPTS carries "-Xbogus"
// here, after a valid one) fails the connect with a diagnostic that names
// it, through either build; the VM's own words never reach stderr. An
// executable of its own: the VM this process would start is refused.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>

#include "tests/support/dm_session.h"

namespace {

TEST(VmOptions, AnUnknownOptionFailsTheConnectAndIsNamed) {
  for (const char* dsn : {"QmrHsqlU", "QmrHsqlA"}) {
    qmr_test::DmSession s;
    ASSERT_TRUE(s.NewEnv());
    SQLHDBC dbc = nullptr;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, s.env_, &dbc)));
    testing::internal::CaptureStderr();
    const SQLRETURN rc = SQLConnect(dbc, (SQLCHAR*)dsn, SQL_NTS, nullptr, 0, nullptr, 0);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(SQL_SUCCEEDED(rc)) << dsn;
    const std::string diag = qmr_test::Diag(SQL_HANDLE_DBC, dbc);
    EXPECT_NE(std::string::npos, diag.find("Unrecognized option: -Xbogus")) << dsn << ": " << diag;
    EXPECT_EQ(std::string::npos, diag.find("-Xss")) << dsn << ": " << diag;
    EXPECT_EQ(std::string::npos, err.find("-Xbogus")) << dsn << ": " << err;
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  }
}

}  // namespace
