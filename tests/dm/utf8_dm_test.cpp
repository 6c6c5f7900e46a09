// Ill-formed UTF-8 from an application through the 8-bit entry points, in a
// statement's literal and in an SQL_C_CHAR parameter: every maximal
// ill-formed subpart becomes one U+FFFD, and what follows it is kept. Read
// back as UTF-16, the code units show exactly what was stored. Both builds,
// on HSQLDB and (dm_tests_pg) PostgreSQL.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <string>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Diag;

constexpr char16_t R = 0xFFFD;

struct Row {
  const char* name;
  const char* bytes;     // between "x" and "y"
  std::u16string units;  // what is stored between them
};

const Row kRows[] = {
    {"overlong slash", "\xC0\xAF", {R, R}},
    {"overlong 3-byte slash", "\xE0\x80\xAF", {R, R, R}},
    {"modified NUL", "\xC0\x80", {R, R}},
    {"encoded surrogate", "\xED\xA0\x80", {R, R, R}},
    {"encoded pair", "\xED\xA0\xBD\xED\xB8\x80", {R, R, R, R, R, R}},
    {"lone FF", "\xFF", {R}},
    {"above U+10FFFF", "\xF4\x90\x80\x80", {R, R, R, R}},
    {"lone continuation", "\x80", {R}},
    {"broken-off euro", "\xE2\x82", {R}},
    {"broken-off 4-byte", "\xF0\x9F\x98", {R}},
    {"euro", "\xE2\x82\xAC", {0x20AC}},
    {"outside the basic plane", "\xF0\x9F\x98\x80", {0xD83D, 0xDE00}},
};

class Utf8Dm : public qmr_test::DmTest {
 protected:
  std::string Table() const { return "qutf8_" + qmr_test::Lower(GetParam()); }

  // Every value of the table as UTF-16, in id order.
  std::vector<std::u16string> Stored() {
    std::vector<std::u16string> out;
    SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
    MustExec("SELECT v FROM " + Table() + " ORDER BY id");
    while (SQLFetch(stmt_) == SQL_SUCCESS) {
      char16_t buf[64] = {};
      SQLLEN ind = 0;
      EXPECT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 1, SQL_C_WCHAR, buf, sizeof buf, &ind))
          << Diag(SQL_HANDLE_STMT, stmt_);
      out.emplace_back(buf, ind > 0 ? static_cast<size_t>(ind) / 2 : 0);
    }
    SQLFreeStmt(stmt_, SQL_CLOSE);
    return out;
  }
};

TEST_P(Utf8Dm, IllFormedTextBecomesOneReplacementEachSubpart) {
  Exec("DROP TABLE " + Table());
  MustExec("CREATE TABLE " + Table() + " (id INTEGER, v VARCHAR(40))");
  int id = 0;
  for (const Row& row : kRows) {
    const std::string value = std::string("x") + row.bytes + "y";
    // As a literal of the statement.
    const std::string literal = "INSERT INTO " + Table() + " VALUES (" + std::to_string(++id) +
                                ", '" + value + "')";
    EXPECT_EQ(SQL_SUCCESS, SQLExecDirect(stmt_, (SQLCHAR*)literal.c_str(), SQL_NTS))
        << row.name << ": " << Diag(SQL_HANDLE_STMT, stmt_);
    // As a parameter's value.
    SQLLEN len = static_cast<SQLLEN>(value.size());
    EXPECT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR,
                                            40, 0, const_cast<char*>(value.data()), len, &len));
    const std::string marked = "INSERT INTO " + Table() + " VALUES (" + std::to_string(++id) +
                               ", ?)";
    EXPECT_EQ(SQL_SUCCESS, SQLExecDirect(stmt_, (SQLCHAR*)marked.c_str(), SQL_NTS))
        << row.name << ": " << Diag(SQL_HANDLE_STMT, stmt_);
    SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
  }
  const std::vector<std::u16string> stored = Stored();
  ASSERT_EQ(2 * (sizeof kRows / sizeof kRows[0]), stored.size());
  for (size_t i = 0; i < stored.size(); ++i) {
    const Row& row = kRows[i / 2];
    EXPECT_TRUE(stored[i] == u"x" + row.units + u"y")
        << row.name << (i % 2 == 0 ? " as a literal" : " as a parameter") << ": "
        << qmr_test::Utf8(stored[i].data(), stored[i].size());
  }
  Exec("DROP TABLE " + Table());
}

INSTANTIATE_TEST_SUITE_P(Backend, Utf8Dm, ::testing::ValuesIn(qmr_test::TestDsns()));

}  // namespace
