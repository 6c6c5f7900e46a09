// Connecting through unixODBC's Driver Manager: both builds, with a data
// source and without, the completed connection string, braced values, a bad
// URL, and the trace. The driver runs HSQLDB in memory in its own Java VM.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/dm_session.h"

namespace {

class DmTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(std::getenv("ODBCSYSINI"), nullptr) << "run through ctest";
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_));
    ASSERT_EQ(SQL_SUCCESS, SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION,
                                         reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0));
    dbc_ = NewDbc();
  }
  void TearDown() override {
    for (SQLHDBC d : dbcs_) {
      SQLDisconnect(d);
      SQLFreeHandle(SQL_HANDLE_DBC, d);
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  SQLHDBC NewDbc() {
    SQLHDBC d = nullptr;
    EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env_, &d));
    dbcs_.push_back(d);
    return d;
  }
  SQLRETURN DriverConnect(SQLHDBC d, const std::string& in, std::string* out,
                          SQLSMALLINT* len = nullptr) {
    SQLCHAR buf[2048] = "";
    SQLSMALLINT n = 0;
    SQLRETURN rc = SQLDriverConnect(d, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, buf, sizeof buf, &n,
                                    SQL_DRIVER_NOPROMPT);
    if (out != nullptr) *out = reinterpret_cast<char*>(buf);
    if (len != nullptr) *len = n;
    return rc;
  }
  SQLRETURN Connect(SQLHDBC d, const char* dsn, const char* uid, const char* pwd) {
    return SQLConnect(d, (SQLCHAR*)dsn, SQL_NTS, (SQLCHAR*)uid, SQL_NTS, (SQLCHAR*)pwd, SQL_NTS);
  }
  std::vector<std::pair<std::string, std::string>> Diags(SQLHDBC d) {
    std::vector<std::pair<std::string, std::string>> all;
    for (SQLSMALLINT i = 1;; ++i) {
      SQLCHAR state[6] = "", msg[1024] = "";
      SQLINTEGER native = 0;
      SQLSMALLINT len = 0;
      if (!SQL_SUCCEEDED(
              SQLGetDiagRec(SQL_HANDLE_DBC, d, i, state, &native, msg, sizeof msg, &len)))
        break;
      all.emplace_back(reinterpret_cast<char*>(state), reinterpret_cast<char*>(msg));
    }
    return all;
  }
  std::string DiagText(SQLHDBC d) {
    std::string t;
    for (auto& r : Diags(d)) t += r.first + " " + r.second + "\n";
    return t;
  }

  SQLHENV env_ = nullptr;
  SQLHDBC dbc_ = nullptr;
  std::vector<SQLHDBC> dbcs_;
};

TEST_F(DmTest, BothBuildsConnectWithADataSourceAndDisconnect) {
  for (const char* dsn : {"QmrHsqlU", "QmrHsqlA"}) {
    SQLHDBC d = NewDbc();
    ASSERT_TRUE(SQL_SUCCEEDED(Connect(d, dsn, "", ""))) << dsn << "\n" << DiagText(d);
    EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(d)) << DiagText(d);
    // And once more on the same handle.
    ASSERT_TRUE(SQL_SUCCEEDED(Connect(d, dsn, "SA", ""))) << dsn << "\n" << DiagText(d);
    EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(d));
  }
}

TEST_F(DmTest, TheUnicodeEntryPointsConnectToo) {
  for (const char16_t* dsn : {u"QmrHsqlU", u"QmrHsqlA"}) {
    SQLHDBC d = NewDbc();
    ASSERT_TRUE(SQL_SUCCEEDED(SQLConnectW(d, (SQLWCHAR*)dsn, SQL_NTS, nullptr, 0, nullptr, 0)))
        << DiagText(d);
    EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(d));
  }
  SQLWCHAR out[512];
  SQLSMALLINT len = 0;
  const std::u16string in = u"DSN=QmrHsqlU";
  ASSERT_EQ(SQL_SUCCESS, SQLDriverConnectW(dbc_, nullptr, (SQLWCHAR*)in.c_str(), SQL_NTS, out, 512,
                                           &len, SQL_DRIVER_NOPROMPT))
      << DiagText(dbc_);
  const std::u16string want = u"DSN=QmrHsqlU;UID=SA;PWD=;FBS=60";
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(out)), want);
  EXPECT_EQ(len, static_cast<SQLSMALLINT>(want.size()));
}

TEST_F(DmTest, ADataSourceGivesTheShortCompletedString) {
  for (const char* dsn : {"QmrHsqlU", "QmrHsqlA"}) {
    SQLHDBC d = NewDbc();
    std::string out;
    ASSERT_EQ(SQL_SUCCESS, DriverConnect(d, std::string("DSN=") + dsn + ";FBS=200", &out))
        << DiagText(d);
    EXPECT_EQ(out, std::string("DSN=") + dsn + ";UID=SA;PWD=;FBS=200");
  }
}

TEST_F(DmTest, ADriverNameGivesTheLongCompletedString) {
  for (const char* driver : {"Quillmar Unicode", "Quillmar ANSI"}) {
    SQLHDBC d = NewDbc();
    std::string out;
    const std::string in = std::string("DRIVER={") + driver +
                           "};JDBC=org.hsqldb.jdbc.JDBCDriver;URL=jdbc:hsqldb:mem:dsnless;UID=SA";
    ASSERT_EQ(SQL_SUCCESS, DriverConnect(d, in, &out)) << DiagText(d);
    const std::string head = std::string("DRIVER={") + driver +
                             "};UID=SA;PWD=;JDBC=org.hsqldb.jdbc.JDBCDriver;"
                             "URL=jdbc:hsqldb:mem:dsnless;FBS=60;READONLY=;NLB=;MAXROWS=0;";
    EXPECT_EQ(out.substr(0, head.size()), head) << out;
    EXPECT_EQ(out.substr(out.size() - 16), ";Server=Quillmar") << out;
  }
}

TEST_F(DmTest, ANullOutputBufferStillGivesTheLength) {
  SQLSMALLINT len = -1;
  ASSERT_EQ(SQL_SUCCESS, SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)"DSN=QmrHsqlA", SQL_NTS, nullptr,
                                          0, &len, SQL_DRIVER_NOPROMPT))
      << DiagText(dbc_);
  EXPECT_EQ(len, static_cast<SQLSMALLINT>(std::string("DSN=QmrHsqlA;UID=SA;PWD=;FBS=60").size()));
}

TEST_F(DmTest, ABracedPasswordReachesTheDatabaseUnbraced) {
  // The first connection creates the database with this password.
  std::string out;
  ASSERT_EQ(SQL_SUCCESS, DriverConnect(dbc_, "DSN=QmrHsqlPw;UID=SA;PWD={a;b}}c}", &out))
      << DiagText(dbc_);
  EXPECT_EQ(out, "DSN=QmrHsqlPw;UID=SA;PWD={a;b}}c};FBS=60");
  // The plain text opens it; the text with the escape still in it does not.
  SQLHDBC good = NewDbc();
  EXPECT_TRUE(SQL_SUCCEEDED(Connect(good, "QmrHsqlPw", "SA", "a;b}c"))) << DiagText(good);
  SQLHDBC bad = NewDbc();
  EXPECT_EQ(SQL_ERROR, Connect(bad, "QmrHsqlPw", "SA", "a;b}}c"));
}

TEST_F(DmTest, ABadUrlGivesTheDatabasesStateBehindTheDriversPrefix) {
  std::string out = "untouched";
  ASSERT_EQ(SQL_ERROR, DriverConnect(dbc_, "DSN=QmrBadUrl", &out));
  EXPECT_EQ(out, "");  // nothing is completed for a failed connect
  // The database's message is the first record, with the driver's prefix.
  const auto recs = Diags(dbc_);
  ASSERT_FALSE(recs.empty());
  EXPECT_EQ(recs[0].first, "08001") << DiagText(dbc_);
  EXPECT_NE(recs[0].second.find("Connection refused"), std::string::npos) << DiagText(dbc_);
  for (const auto& r : recs) EXPECT_EQ(r.second.rfind("[Quillmar][ODBC]", 0), 0u) << r.second;
  // The handle is still usable.
  EXPECT_TRUE(SQL_SUCCEEDED(Connect(dbc_, "QmrHsqlA", "", ""))) << DiagText(dbc_);
}

TEST_F(DmTest, ThePasswordNeverReachesTheTrace) {
  ASSERT_EQ(SQL_SUCCESS, DriverConnect(dbc_,
                                       "DRIVER={Quillmar Unicode};JDBC=org.hsqldb.jdbc.JDBCDriver;"
                                       "URL=jdbc:hsqldb:mem:traced;UID=SA;PWD={Xq7;w}",
                                       nullptr));
  SQLHDBC d = NewDbc();
  ASSERT_TRUE(SQL_SUCCEEDED(Connect(d, "QmrHsqlPw", "SA", "a;b}c"))) << DiagText(d);
  const std::string text = qmr_test::TraceText();
  EXPECT_NE(text.find("DriverConnect"), std::string::npos);
  EXPECT_EQ(text.find("Xq7"), std::string::npos);
  EXPECT_EQ(text.find("b}c"), std::string::npos);
}

}  // namespace
