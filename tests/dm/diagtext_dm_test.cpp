// The text of a database's error message as applications read it: its
// non-ASCII characters kept, as UTF-8 through the ANSI build's 8-bit calls
// and UTF-16 through the Unicode build's wide ones, and no line break
// inside. Both builds, on every backend.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <string>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Diag;
using qmr_test::FromUtf8;

class DiagTextDm : public qmr_test::DmTest {};

// The statement's first record, through each way an application asks.
struct Message {
  std::string narrow;          // SQLGetDiagRec
  std::u16string wide;         // SQLGetDiagRecW
  std::string field;           // SQLGetDiagField, SQL_DIAG_MESSAGE_TEXT
  std::u16string wideField;    // SQLGetDiagFieldW
};

Message Read(SQLHSTMT stmt) {
  Message m;
  SQLCHAR state[6] = "";
  SQLWCHAR wstate[6] = {};
  SQLINTEGER native = 0;
  SQLCHAR text[1024] = "";
  SQLWCHAR wtext[1024] = {};
  SQLSMALLINT len = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, &native, text,
                                       sizeof text, &len));
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

TEST_P(DiagTextDm, AMessageKeepsItsNonAsciiCharacters) {
  // u-umlaut, the euro sign and a character outside the basic plane.
  const std::string name = "nosuchtable_\xC3\xBC\xE2\x82\xAC\xF0\x9F\x8C\x9C";
  const std::string sql = "SELECT * FROM \"" + name + "\"";
  SQLFreeStmt(stmt_, SQL_CLOSE);
  SQLRETURN rc;
  if (GetParam().back() == 'U') {
    std::u16string w = FromUtf8(sql);
    rc = SQLExecDirectW(stmt_, reinterpret_cast<SQLWCHAR*>(&w[0]),
                        static_cast<SQLINTEGER>(w.size()));
  } else {
    rc = SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS);
  }
  ASSERT_EQ(SQL_ERROR, rc);
  const Message m = Read(stmt_);
  EXPECT_EQ(m.narrow, m.field);
  EXPECT_TRUE(m.wide == m.wideField);
  // Each build's own calls: the 8-bit ones of the ANSI build, the wide ones
  // of the Unicode build (the Driver Manager converts for the others, by
  // the application's locale).
  if (GetParam().back() == 'U') {
    EXPECT_NE(std::u16string::npos, m.wide.find(FromUtf8(name)))
        << qmr_test::Utf8(m.wide.data(), m.wide.size());
    EXPECT_EQ(std::u16string::npos, m.wide.find_first_of(u"\r\n"));
  } else {
    EXPECT_NE(std::string::npos, m.narrow.find(name)) << m.narrow;
    EXPECT_EQ(std::string::npos, m.narrow.find_first_of("\r\n")) << m.narrow;
  }
}

std::string Name(const ::testing::TestParamInfo<std::string>& info) { return info.param; }

INSTANTIATE_TEST_SUITE_P(AnyBackend, DiagTextDm, ::testing::ValuesIn(qmr_test::TestDsns()), Name);

}  // namespace
