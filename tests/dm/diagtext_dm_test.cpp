// The text of a database's error message as applications read it: its
// non-ASCII characters kept, as UTF-8 through the ANSI build's 8-bit calls
// and UTF-16 through the Unicode build's wide ones, and no line break
// inside. Both builds, on every backend.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <string>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Diag;
using qmr_test::FromUtf8;

class DiagTextDm : public qmr_test::DmTest {};

// The statement's first record, through each way an application asks.
struct Message {
  std::string narrow;        // SQLGetDiagRec
  std::u16string wide;       // SQLGetDiagRecW
  std::string field;         // SQLGetDiagField, SQL_DIAG_MESSAGE_TEXT
  std::u16string wideField;  // SQLGetDiagFieldW
};

Message Read(SQLHSTMT stmt) {
  Message m;
  SQLCHAR state[6] = "";
  SQLWCHAR wstate[6] = {};
  SQLINTEGER native = 0;
  SQLCHAR text[1024] = "";
  SQLWCHAR wtext[1024] = {};
  SQLSMALLINT len = 0;
  EXPECT_EQ(SQL_SUCCESS,
            SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, &native, text, sizeof text, &len));
  m.narrow = reinterpret_cast<char*>(text);
  EXPECT_EQ(static_cast<size_t>(len), m.narrow.size());
  EXPECT_EQ(SQL_SUCCESS, SQLGetDiagRecW(SQL_HANDLE_STMT, stmt, 1, wstate, &native, wtext,
                                        sizeof wtext / sizeof wtext[0], &len));
  m.wide.assign(reinterpret_cast<const char16_t*>(wtext), qmr_test::Units(wtext));
  EXPECT_EQ(static_cast<size_t>(len), m.wide.size());
  EXPECT_EQ(SQL_SUCCESS, SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_MESSAGE_TEXT, text,
                                         sizeof text, &len));
  m.field = reinterpret_cast<char*>(text);
  EXPECT_EQ(SQL_SUCCESS, SQLGetDiagFieldW(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_MESSAGE_TEXT, wtext,
                                          sizeof wtext, &len));
  m.wideField.assign(reinterpret_cast<const char16_t*>(wtext), qmr_test::Units(wtext));
  return m;
}

// u-umlaut, the euro sign and a character outside the basic plane.
const std::string kName = "nosuchtable_\xC3\xBC\xE2\x82\xAC\xF0\x9F\x8C\x9C";
const std::string kSql = "SELECT * FROM \"" + kName + "\"";

// An application that calls the 8-bit functions reads UTF-8 from either
// build (the Unicode build has its own 8-bit forms).
TEST_P(DiagTextDm, AMessageKeepsItsNonAsciiCharacters) {
  SQLFreeStmt(stmt_, SQL_CLOSE);
  ASSERT_EQ(SQL_ERROR, SQLExecDirect(stmt_, (SQLCHAR*)kSql.c_str(), SQL_NTS));
  const Message m = Read(stmt_);
  EXPECT_EQ(m.narrow, m.field);
  EXPECT_NE(std::string::npos, m.narrow.find(kName)) << m.narrow;
  EXPECT_EQ(std::string::npos, m.narrow.find_first_of("\r\n")) << m.narrow;
}

// A refused connect may quote the URL, and applications log what they read:
// no password the connection was given (PWD, or one in the URL in the forms
// URLs carry it) comes back in clear.
TEST_P(DiagTextDm, ARefusedUrlKeepsItsPasswordsOutOfTheMessage) {
  const bool pg = qmr_test::DbOf(GetParam()) == qmr_test::Db::Pg;
  const std::vector<std::string> urls =
      pg ? std::vector<std::string>{"jdbc:postgresql://h:notaport/q?password=Url5ecret&x=PwdS3cret",
                                    "jdbc:postgresql://a:Url5ecret@h:notaport/q",
                                    "jdbc:postgresql://h:notaport/q?password=Url%35ecret"}
         : std::vector<std::string>{"jdbc:nosuch:mem:x;user=SA;password=Url5ecret;x=PwdS3cret"};
  for (const std::string& url : urls) {
    SQLHDBC dbc = nullptr;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc)));
    std::string in = "DSN=" + GetParam() + ";URL={" + url + "};PWD=PwdS3cret";
    EXPECT_EQ(SQL_ERROR, SQLDriverConnect(dbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr, 0,
                                          nullptr, SQL_DRIVER_NOPROMPT))
        << url;
    const std::string diag = Diag(SQL_HANDLE_DBC, dbc);
    for (const char* secret : {"Url5ecret", "Url%35ecret", "PwdS3cret"})
      EXPECT_EQ(diag.find(secret), std::string::npos) << url << ": " << diag;
    EXPECT_NE(diag.find("********"), std::string::npos) << url << ": " << diag;  // still quoted
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  }
}

// An application that connects and calls through the wide functions reads
// UTF-16 from the Unicode build. (Where an application connects through the
// 8-bit functions, the Driver Manager reads diagnostics through them and
// converts for the wide calls by the application's locale.)
class DiagTextWideDm : public ::testing::TestWithParam<std::string> {};

TEST_P(DiagTextWideDm, AWideApplicationGetsTheMessageInUtf16) {
  qmr_test::DmSession wide;
  ASSERT_TRUE(wide.NewEnv());
  ASSERT_TRUE(wide.ConnectDsnWide(GetParam()));
  const std::u16string w = FromUtf8(kSql);
  ASSERT_EQ(SQL_ERROR, SQLExecDirectW(wide.stmt_, (SQLWCHAR*)w.c_str(), SQL_NTS));
  const Message m = Read(wide.stmt_);
  EXPECT_TRUE(m.wide == m.wideField);
  EXPECT_NE(std::u16string::npos, m.wide.find(FromUtf8(kName)))
      << qmr_test::Utf8(m.wide.data(), m.wide.size());
  EXPECT_EQ(std::u16string::npos, m.wide.find_first_of(u"\r\n"));
}

std::string Name(const ::testing::TestParamInfo<std::string>& info) { return info.param; }

// The Unicode build's data sources: the ANSI build has no wide forms.
std::vector<std::string> UnicodeDsns() {
  std::vector<std::string> out;
  for (const std::string& dsn : qmr_test::TestDsns())
    if (dsn.back() == 'U') out.push_back(dsn);
  return out;
}

INSTANTIATE_TEST_SUITE_P(AnyBackend, DiagTextDm, ::testing::ValuesIn(qmr_test::TestDsns()), Name);
INSTANTIATE_TEST_SUITE_P(AnyBackend, DiagTextWideDm, ::testing::ValuesIn(UnicodeDsns()), Name);

}  // namespace
