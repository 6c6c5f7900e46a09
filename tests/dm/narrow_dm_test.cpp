// Applications that call the 8-bit entry points (C programs and daemons that
// never call setlocale, Perl, Lua) on either build: their text is UTF-8 and
// must reach the database and come back unchanged, while the wide entry
// points keep working beside them. What one form stores is read back through
// the other on a connection of its own.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <string>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"
#include "tests/support/utf.h"

namespace {

using qmr_test::Diag;
using qmr_test::FromUtf8;
using qmr_test::Lower;

// Two-, three- and four-byte UTF-8 sequences, and plain ASCII.
const std::vector<std::string> kTexts = {"Grüße", "€ 10 ½", "日本語", "𝄞 clef", "plain"};

// A connection through the wide entry points only.
struct WideSession {
  explicit WideSession(const std::string& dsn) {
    ok = session.NewEnv() && session.ConnectDsnWide(dsn);
  }
  SQLRETURN Exec(const std::string& sql) {
    SQLFreeStmt(session.stmt_, SQL_CLOSE);
    const std::u16string w = FromUtf8(sql);
    return SQLExecDirectW(session.stmt_, (SQLWCHAR*)w.c_str(), SQL_NTS);
  }
  // The first column of every row, fetched as SQL_C_WCHAR.
  std::vector<std::u16string> Column() {
    std::vector<std::u16string> out;
    while (SQL_SUCCEEDED(SQLFetch(session.stmt_))) {
      SQLWCHAR buf[256] = {};
      SQLLEN ind = 0;
      EXPECT_TRUE(SQL_SUCCEEDED(SQLGetData(session.stmt_, 1, SQL_C_WCHAR, buf, sizeof buf, &ind)))
          << Diag(SQL_HANDLE_STMT, session.stmt_);
      out.emplace_back(reinterpret_cast<const char16_t*>(buf), qmr_test::Units(buf));
    }
    return out;
  }
  qmr_test::DmSession session;
  bool ok = false;
};

// The session of the fixture connects through the 8-bit SQLConnect.
class EightBitText : public qmr_test::DmTest {
 protected:
  void SetUp() override {
    table_ = "qmr_text_" + Lower(GetParam());
    qmr_test::DmTest::SetUp();
    Exec("DROP TABLE " + table_);  // absent the first time
    MustExec("CREATE TABLE " + table_ + " (n INTEGER, v VARCHAR(40))");
  }
  void TearDown() override {
    if (stmt_ != nullptr) Exec("DROP TABLE " + table_);
    qmr_test::DmTest::TearDown();
  }
  std::string Insert(int n, const std::string& text) {
    return "INSERT INTO " + table_ + " VALUES (" + std::to_string(n) + ", '" + text + "')";
  }
  std::string SelectAll() const { return "SELECT v FROM " + table_ + " ORDER BY n"; }
  // Every value of v in order, fetched through the 8-bit forms as SQL_C_CHAR.
  std::vector<std::string> Values() {
    MustExec(SelectAll());
    std::vector<std::string> out;
    for (const auto& row : qmr_test::FetchRows(stmt_)) out.push_back(row[0].text);
    return out;
  }
  std::string table_;
};

TEST_P(EightBitText, WhatTheEightBitFormsStoreReadsBackExactlyInEitherForm) {
  for (size_t i = 0; i < kTexts.size(); ++i) MustExec(Insert(static_cast<int>(i), kTexts[i]));
  EXPECT_EQ(kTexts, Values());

  // The SQL text itself arrives unchanged: a literal finds its row, and a
  // column name comes back as written.
  MustExec("SELECT n AS \"Größe\" FROM " + table_ + " WHERE v = '" + kTexts[2] + "'");
  SQLCHAR name[64] = "";
  SQLSMALLINT nameLen = 0, type = 0, scale = 0, nullable = 0;
  SQLULEN size = 0;
  ASSERT_EQ(SQL_SUCCESS,
            SQLDescribeCol(stmt_, 1, name, sizeof name, &nameLen, &type, &size, &scale, &nullable))
      << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ("Größe", std::string(reinterpret_cast<char*>(name)));
  EXPECT_EQ(static_cast<SQLSMALLINT>(std::string("Größe").size()), nameLen);
  const auto rows = qmr_test::FetchRows(stmt_);
  ASSERT_EQ(1u, rows.size());
  EXPECT_EQ("2", rows[0][0].text);

  WideSession wide(GetParam());
  ASSERT_TRUE(wide.ok);
  ASSERT_TRUE(SQL_SUCCEEDED(wide.Exec(SelectAll()))) << Diag(SQL_HANDLE_STMT, wide.session.stmt_);
  std::vector<std::u16string> want;
  for (const auto& t : kTexts) want.push_back(FromUtf8(t));
  EXPECT_EQ(want, wide.Column());
}

TEST_P(EightBitText, TheWideFormsWorkBesideTheEightBitOnes) {
  // The ANSI build has no wide forms: the Driver Manager hands it wide text
  // converted with the application's locale, which keeps only ASCII.
  const bool unicodeBuild = qmr_test::DsnValue(GetParam(), "Driver") == "Quillmar Unicode";
  const std::string& first = unicodeBuild ? kTexts[0] : kTexts[4];
  const std::string& second = unicodeBuild ? kTexts[3] : kTexts[4];
  WideSession wide(GetParam());
  ASSERT_TRUE(wide.ok);
  ASSERT_TRUE(SQL_SUCCEEDED(wide.Exec(Insert(0, first))))
      << Diag(SQL_HANDLE_STMT, wide.session.stmt_);
  // A wide call on the connection the 8-bit SQLConnect opened.
  SQLFreeStmt(stmt_, SQL_CLOSE);
  const std::u16string insert = FromUtf8(Insert(1, second));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirectW(stmt_, (SQLWCHAR*)insert.c_str(), SQL_NTS)))
      << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ((std::vector<std::string>{first, second}), Values());

  // Either form describes the text column as its build does, with one type.
  MustExec(SelectAll());
  SQLSMALLINT narrowType = 0, wideType = 0;
  ASSERT_EQ(SQL_SUCCESS,
            SQLDescribeCol(stmt_, 1, nullptr, 0, nullptr, &narrowType, nullptr, nullptr, nullptr));
  ASSERT_TRUE(SQL_SUCCEEDED(wide.Exec(SelectAll())));
  ASSERT_EQ(SQL_SUCCESS, SQLDescribeColW(wide.session.stmt_, 1, nullptr, 0, nullptr, &wideType,
                                         nullptr, nullptr, nullptr));
  EXPECT_EQ(wideType, narrowType);
  EXPECT_EQ(unicodeBuild ? SQL_WVARCHAR : SQL_VARCHAR, narrowType);
  // And the conversions it offers, alike in both forms; the wide types are
  // not among them, as none of these sources takes their names in
  // {fn CONVERT}.
  SQLUINTEGER narrowMask = 0, wideMask = 0;
  ASSERT_EQ(SQL_SUCCESS,
            SQLGetInfo(dbc_, SQL_CONVERT_CHAR, &narrowMask, sizeof narrowMask, nullptr));
  ASSERT_EQ(SQL_SUCCESS,
            SQLGetInfoW(wide.session.dbc_, SQL_CONVERT_CHAR, &wideMask, sizeof wideMask, nullptr));
  EXPECT_EQ(wideMask, narrowMask);
  EXPECT_EQ(0u, narrowMask & (SQL_CVT_WCHAR | SQL_CVT_WVARCHAR | SQL_CVT_WLONGVARCHAR))
      << std::hex << narrowMask;
}

std::string DsnName(const ::testing::TestParamInfo<std::string>& info) { return info.param; }

INSTANTIATE_TEST_SUITE_P(AnyBackend, EightBitText, ::testing::ValuesIn(qmr_test::TestDsns()),
                         DsnName);

}  // namespace
