// Parameter values converted on their way to the database, end to end
// through the Driver Manager: character text into numeric and date-time
// parameters is checked (a text that is no number, no date or a date the
// calendar lacks is refused, never guessed or rolled over; a fraction an
// exact numeric would cut is refused too), binary bytes for
// a character parameter are its characters, GUIDs travel as their text, and
// the processed count of a parameter array sent at execution covers every
// set. Every value is read back with a query of its own. "AnyBackend": on
// HSQLDB, PostgreSQL, H2 and Derby.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Db;
using qmr_test::DbOf;
using qmr_test::Diag;
using qmr_test::State;

SQLCHAR* Text(const std::string& s) { return (SQLCHAR*)s.c_str(); }

std::u16string Utf16(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

// One text for one parameter: either the SQLSTATE it is refused with, or the
// literal the stored value equals.
struct TextCase {
  const char* column;
  SQLSMALLINT sqlType;
  const char* text;
  const char* state;    // "" when the value is taken
  const char* literal;  // what the column then holds
};

class ParamConvDm : public qmr_test::DmTest {
 protected:
  Db db() const { return DbOf(GetParam()); }
  // A table of this data source's own: both builds share one database.
  std::string Table(const char* stem) const {
    return std::string("pc_") + stem + "_" + qmr_test::Lower(GetParam());
  }
  void Recreate(const std::string& table, const std::string& columns) {
    Exec("DROP TABLE " + table);  // absent the first time
    MustExec("CREATE TABLE " + table + " (" + columns + ")");
  }
  void FreshStmt() {
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    stmt_ = SQL_NULL_HSTMT;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_));
  }
  // The first column of a one-row query as text ("<null>" for NULL).
  std::string Scalar(const std::string& sql) {
    if (!SQL_SUCCEEDED(Exec(sql))) return "<failed> " + Diag(SQL_HANDLE_STMT, stmt_);
    if (SQLFetch(stmt_) != SQL_SUCCESS) return "<no row>";
    char buf[256] = "";
    SQLLEN ind = 0;
    if (!SQL_SUCCEEDED(SQLGetData(stmt_, 1, SQL_C_CHAR, buf, sizeof buf, &ind))) return "<get>";
    SQLFreeStmt(stmt_, SQL_CLOSE);
    return ind == SQL_NULL_DATA ? "<null>" : std::string(buf);
  }
  // Inserts (id, text) into `column` of `table`, the text bound as SQL_C_CHAR
  // or SQL_C_WCHAR for a parameter of `sqlType`; the SQLSTATE of a failure,
  // "" on success.
  std::string InsertText(const std::string& table, const std::string& column, int id,
                         SQLSMALLINT sqlType, SQLSMALLINT digits, const std::string& text,
                         bool wide) {
    FreshStmt();
    SQLINTEGER key = id;
    std::u16string w = Utf16(text);
    SQLLEN len = wide ? static_cast<SQLLEN>(w.size() * 2) : static_cast<SQLLEN>(text.size());
    void* data = wide ? static_cast<void*>(&w[0]) : const_cast<char*>(text.data());
    EXPECT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0,
                                            0, &key, 0, nullptr));
    EXPECT_EQ(SQL_SUCCESS,
              SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, wide ? SQL_C_WCHAR : SQL_C_CHAR, sqlType,
                               30, digits, data, len, &len))
        << Diag(SQL_HANDLE_STMT, stmt_);
    const SQLRETURN rc = SQLExecDirect(
        stmt_, Text("INSERT INTO " + table + " (id, " + column + ") VALUES (?, ?)"), SQL_NTS);
    if (rc == SQL_SUCCESS) return "";
    const std::string state = State(SQL_HANDLE_STMT, stmt_);
    return rc == SQL_ERROR ? state : "rc " + std::to_string(rc) + " " + state;
  }
  // Each case with the text as SQL_C_CHAR, then as SQL_C_WCHAR.
  void RunTextCases(const std::string& table, const std::vector<TextCase>& cases) {
    int id = 0;
    for (const bool wide : {false, true}) {
      for (const TextCase& c : cases) {
        ++id;
        const std::string what =
            std::string(wide ? "wide " : "") + c.column + " <- '" + c.text + "'";
        // A timestamp keeps the fraction digits its parameter gives.
        const SQLSMALLINT digits = c.sqlType == SQL_NUMERIC          ? 3
                                   : c.sqlType == SQL_TYPE_TIMESTAMP ? 9
                                                                     : 0;
        EXPECT_EQ(c.state, InsertText(table, c.column, id, c.sqlType, digits, c.text, wide))
            << what;
        const std::string where = " FROM " + table + " WHERE id = " + std::to_string(id);
        if (*c.state != '\0' && *c.state != 'r') {  // refused, not taken with a warning
          EXPECT_EQ("0", Scalar("SELECT COUNT(*)" + where)) << what;
        } else {
          EXPECT_EQ("1", Scalar("SELECT COUNT(*)" + where + " AND " + c.column + " = " + c.literal))
              << what << ": holds " << Scalar("SELECT " + std::string(c.column) + where);
        }
      }
    }
  }
};

class AnyParamConvDm : public ParamConvDm {};

TEST_P(AnyParamConvDm, TextForNumbersIsCheckedNeverGuessed) {
  const std::string table = Table("num");
  Recreate(table,
           "id INTEGER, i INTEGER, si SMALLINT, bi BIGINT, d DOUBLE PRECISION,"
           " n DECIMAL(12,3), b BOOLEAN");
  const std::vector<TextCase> cases = {
      {"i", SQL_INTEGER, "abc", "22018", ""},
      {"i", SQL_INTEGER, "12abc", "22018", ""},
      {"i", SQL_INTEGER, "", "22018", ""},
      {"i", SQL_INTEGER, "-", "22018", ""},
      {"i", SQL_INTEGER, "2, 'x'", "22018", ""},
      {"i", SQL_INTEGER, "1e400", "22003", ""},
      {"i", SQL_INTEGER, "3000000000", "22003", ""},
      {"i", SQL_INTEGER, " 42 ", "", "42"},
      {"i", SQL_INTEGER, "+7", "", "7"},
      {"i", SQL_INTEGER, "1e3", "", "1000"},
      // An exact numeric stores no value it would have to cut.
      {"i", SQL_INTEGER, "1.5", "22001", ""},
      {"i", SQL_INTEGER, "-12.7", "22001", ""},
      {"i", SQL_INTEGER, "15e-1", "22001", ""},
      {"i", SQL_INTEGER, "2.000", "", "2"},
      {"si", SQL_SMALLINT, "x1", "22018", ""},
      {"si", SQL_SMALLINT, "40000", "22003", ""},
      {"si", SQL_SMALLINT, "3.25", "22001", ""},
      {"bi", SQL_BIGINT, "12abc", "22018", ""},
      {"bi", SQL_BIGINT, "1.5", "22001", ""},
      {"bi", SQL_BIGINT, "-7.0", "", "-7"},
      {"bi", SQL_BIGINT, " -9223372036854775808", "", "-9223372036854775808"},
      {"d", SQL_DOUBLE, "abc", "22018", ""},
      {"d", SQL_DOUBLE, "", "22018", ""},
      {"d", SQL_DOUBLE, "1.5x", "22018", ""},
      {"d", SQL_DOUBLE, "nano", "22018", ""},
      {"d", SQL_DOUBLE, "1e400", "22003", ""},
      {"d", SQL_DOUBLE, " -2.5e3 ", "", "-2500"},
      {"d", SQL_DOUBLE, ".5", "", "0.5"},
      {"n", SQL_NUMERIC, "abc", "22018", ""},
      {"n", SQL_NUMERIC, "2, 'x'", "22018", ""},
      {"n", SQL_NUMERIC, "-", "22018", ""},
      {"n", SQL_NUMERIC, " 123.125 ", "", "123.125"},
      // A bit: the words for a boolean, a number from 0 to 2 cut to 0 or 1.
      {"b", SQL_BIT, "1", "", "TRUE"},
      {"b", SQL_BIT, " 0 ", "", "FALSE"},
      {"b", SQL_BIT, "True", "", "TRUE"},
      {"b", SQL_BIT, "FALSE", "", "FALSE"},
      {"b", SQL_BIT, "t", "", "TRUE"},
      {"b", SQL_BIT, "F", "", "FALSE"},
      {"b", SQL_BIT, "0.5", "rc 1 01S07", "FALSE"},
      {"b", SQL_BIT, "1.75", "rc 1 01S07", "TRUE"},
      {"b", SQL_BIT, "2", "22003", ""},
      {"b", SQL_BIT, "-1", "22003", ""},
      {"b", SQL_BIT, "abc", "22018", ""},
      {"b", SQL_BIT, "", "22018", ""},
  };
  RunTextCases(table, cases);
}

// ODBC 3 answers 22007 both for a text that is no date and for a date the
// calendar lacks (ODBC 2 called the latter 22008).
TEST_P(AnyParamConvDm, TextForDatesIsCheckedNeverRolledOver) {
  const std::string table = Table("dt");
  Recreate(table, "id INTEGER, dt DATE, tm TIME, ts TIMESTAMP");
  const std::vector<TextCase> cases = {
      {"dt", SQL_TYPE_DATE, "2024-02-30", "22007", ""},
      {"dt", SQL_TYPE_DATE, "2023-02-29", "22007", ""},
      {"dt", SQL_TYPE_DATE, "2024-13-01", "22007", ""},
      {"dt", SQL_TYPE_DATE, "not a date", "22007", ""},
      {"dt", SQL_TYPE_DATE, "2024-01-02x", "22007", ""},
      {"dt", SQL_TYPE_DATE, "", "22007", ""},
      {"dt", SQL_TYPE_DATE, "10:30", "22007", ""},
      {"dt", SQL_TYPE_DATE, "{d '2024-02-30'}", "22007", ""},
      {"dt", SQL_TYPE_DATE, " 2024-02-29 ", "", "{d '2024-02-29'}"},
      {"dt", SQL_TYPE_DATE, "24.12.2020", "", "{d '2020-12-24'}"},
      {"dt", SQL_TYPE_DATE, "{d '2024-03-01'}", "", "{d '2024-03-01'}"},
      {"tm", SQL_TYPE_TIME, "25:00:00", "22007", ""},
      {"tm", SQL_TYPE_TIME, "10:61", "22007", ""},
      {"tm", SQL_TYPE_TIME, "10h30", "22007", ""},
      {"tm", SQL_TYPE_TIME, "10:30", "", "{t '10:30:00'}"},
      {"tm", SQL_TYPE_TIME, "{t '23:59:59'}", "", "{t '23:59:59'}"},
      {"ts", SQL_TYPE_TIMESTAMP, "2011-13-45 99:99:99", "22007", ""},
      {"ts", SQL_TYPE_TIMESTAMP, "2024-01-02 24:00:00", "22007", ""},
      {"ts", SQL_TYPE_TIMESTAMP, "2024-01-02 03:04:05 PM", "22007", ""},
      {"ts", SQL_TYPE_TIMESTAMP, "{ts '2024-04-31 00:00:00'}", "22007", ""},
      {"ts", SQL_TYPE_TIMESTAMP, "2024-01-02 03:04:05.5", "", "{ts '2024-01-02 03:04:05.5'}"},
      {"ts", SQL_TYPE_TIMESTAMP, "2024-01-02T03:04:05", "", "{ts '2024-01-02 03:04:05'}"},
      {"ts", SQL_TYPE_TIMESTAMP, "2024-01-02", "", "{ts '2024-01-02 00:00:00'}"},
      {"ts", SQL_TYPE_TIMESTAMP, "{ts '2024-01-02 03:04:05'}", "", "{ts '2024-01-02 03:04:05'}"},
  };
  RunTextCases(table, cases);
}

// ODBC converts binary bytes for a character parameter as its characters.
// Only a marker the database types as binary keeps them as bytes: pyodbc's
// array mode binds bytes with the VARCHAR that an undescribed marker is
// described as.
TEST_P(AnyParamConvDm, BinaryBytesForACharacterParameterAreItsCharacters) {
  const std::string table = Table("bin");
  const std::string binary = db() == Db::Pg      ? "BYTEA"
                             : db() == Db::Derby ? "VARCHAR(40) FOR BIT DATA"
                                                 : "VARBINARY(40)";
  Recreate(table, "id INTEGER, c VARCHAR(40), b " + binary);
  const std::string bytes = "bytes as text \xC3\xBC";
  const struct {
    const char* column;
    SQLSMALLINT sqlType;
  } cases[] = {{"c", SQL_CHAR}, {"c", SQL_VARCHAR}, {"c", SQL_LONGVARCHAR}, {"b", SQL_VARCHAR}};
  int id = 0;
  for (const auto& c : cases) {
    ++id;
    const std::string what = std::string(c.column) + " as " + std::to_string(c.sqlType);
    FreshStmt();
    SQLINTEGER key = id;
    SQLLEN len = static_cast<SQLLEN>(bytes.size());
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0,
                                            0, &key, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_BINARY, c.sqlType, 40,
                                            0, const_cast<char*>(bytes.data()), len, &len));
    EXPECT_EQ(
        SQL_SUCCESS,
        SQLExecDirect(stmt_, Text("INSERT INTO " + table + " (id, " + c.column + ") VALUES (?, ?)"),
                      SQL_NTS))
        << what << Diag(SQL_HANDLE_STMT, stmt_);
    FreshStmt();
    ASSERT_TRUE(SQL_SUCCEEDED(Exec("SELECT " + std::string(c.column) + " FROM " + table +
                                   " WHERE id = " + std::to_string(id))));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_)) << what;
    char back[64] = {};
    SQLLEN backLen = 0;
    const SQLSMALLINT as = *c.column == 'b' ? SQL_C_BINARY : SQL_C_CHAR;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLGetData(stmt_, 1, as, back, sizeof back, &backLen)));
    EXPECT_EQ(bytes, std::string(back, backLen > 0 ? static_cast<size_t>(backLen) : 0)) << what;
  }
}

// A GUID goes as its text: into a character column, and into a UUID column
// where the database has one (PostgreSQL refuses a string for it).
TEST_P(AnyParamConvDm, GuidParametersTravelAsTheirText) {
  const std::string table = Table("guid");
  const bool uuid = db() == Db::Pg || db() == Db::H2;
  Recreate(table, std::string("id INTEGER, g VARCHAR(36)") + (uuid ? ", u UUID" : ""));
  const SQLGUID guid{0x6F9619FF, 0x8B86, 0xD011, {0xB4, 0x2D, 0x00, 0xC0, 0x4F, 0xC9, 0x64, 0xFF}};
  const std::string text = "6F9619FF-8B86-D011-B42D-00C04FC964FF";
  struct Case {
    SQLSMALLINT cType;
    SQLSMALLINT sqlType;
    const char* column;
  };
  std::vector<Case> cases = {
      {SQL_C_GUID, SQL_GUID, "g"}, {SQL_C_GUID, SQL_CHAR, "g"}, {SQL_C_CHAR, SQL_GUID, "g"}};
  if (uuid) cases.push_back({SQL_C_GUID, SQL_GUID, "u"});
  int id = 0;
  for (const Case& c : cases) {
    ++id;
    const std::string what =
        std::to_string(c.cType) + "/" + std::to_string(c.sqlType) + " " + c.column;
    FreshStmt();
    SQLINTEGER key = id;
    SQLLEN len =
        c.cType == SQL_C_GUID ? static_cast<SQLLEN>(sizeof guid) : static_cast<SQLLEN>(text.size());
    void* data = c.cType == SQL_C_GUID ? const_cast<SQLGUID*>(&guid)
                                       : static_cast<void*>(const_cast<char*>(text.data()));
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0,
                                            0, &key, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, c.cType, c.sqlType, 36, 0,
                                            data, len, &len))
        << Diag(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(
        SQL_SUCCESS,
        SQLExecDirect(stmt_, Text("INSERT INTO " + table + " (id, " + c.column + ") VALUES (?, ?)"),
                      SQL_NTS))
        << what << " " << Diag(SQL_HANDLE_STMT, stmt_);
    FreshStmt();
    // Read as text on the database's side: the value is the point here.
    const std::string stored =
        Scalar("SELECT CAST(" + std::string(c.column) + " AS VARCHAR(36)) FROM " + table +
               " WHERE id = " + std::to_string(id));
    EXPECT_EQ(qmr_test::Lower(text), qmr_test::Lower(stored)) << what;
  }
}

TEST_P(AnyParamConvDm, ProcessedCountCoversEverySetSentAtExecution) {
  const std::string table = Table("dae");
  Recreate(table, "id INTEGER, c VARCHAR(20)");
  constexpr int kSets = 4;
  constexpr int kIgnored = 2;
  SQLINTEGER ids[kSets] = {1, 2, 3, 4};
  // The value pointers are tokens: the set of the asked value is known by
  // where its token points.
  char tokens[kSets][4] = {};
  SQLLEN lens[kSets];
  for (SQLLEN& l : lens) l = SQL_LEN_DATA_AT_EXEC(0);
  SQLUSMALLINT ops[kSets] = {SQL_PARAM_PROCEED, SQL_PARAM_PROCEED, SQL_PARAM_IGNORE,
                             SQL_PARAM_PROCEED};
  SQLUSMALLINT statuses[kSets] = {};
  SQLULEN processed = 0xDEAD;
  ASSERT_EQ(SQL_SUCCESS,
            SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(kSets), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_OPERATION_PTR, ops, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_STATUS_PTR, statuses, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0,
                                          ids, 0, nullptr));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0,
                                          tokens, sizeof tokens[0], lens));
  ASSERT_EQ(SQL_SUCCESS,
            SQLPrepare(stmt_, Text("INSERT INTO " + table + " VALUES (?, ?)"), SQL_NTS));
  ASSERT_EQ(SQL_NEED_DATA, SQLExecute(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
  std::vector<long> asked;
  SQLPOINTER token = nullptr;
  SQLRETURN rc;
  while ((rc = SQLParamData(stmt_, &token)) == SQL_NEED_DATA) {
    const long set = (static_cast<char*>(token) - tokens[0]) / static_cast<long>(sizeof tokens[0]);
    asked.push_back(set);
    // While a set's value is asked for, the count names that set.
    EXPECT_EQ(static_cast<SQLULEN>(set + 1), processed) << set;
    const std::string value = "set " + std::to_string(set);
    ASSERT_EQ(SQL_SUCCESS, SQLPutData(stmt_, const_cast<char*>(value.data()),
                                      static_cast<SQLLEN>(value.size())));
  }
  ASSERT_EQ(SQL_SUCCESS, rc) << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ((std::vector<long>{0, 1, 3}), asked);
  EXPECT_EQ(static_cast<SQLULEN>(kSets - 1), processed);
  for (int s = 0; s < kSets; ++s)
    EXPECT_EQ(s == kIgnored ? SQL_PARAM_UNUSED : SQL_PARAM_SUCCESS, statuses[s]) << s;
  FreshStmt();
  EXPECT_EQ("3", Scalar("SELECT COUNT(*) FROM " + table));
  EXPECT_EQ("set 3", Scalar("SELECT c FROM " + table + " WHERE id = 4"));
  EXPECT_EQ("set 0", Scalar("SELECT c FROM " + table + " WHERE id = 1"));
}

// Qt binds every NULL as binary; it is stored into a column of any type,
// with the markers described first and without.
TEST_P(AnyParamConvDm, ANullBoundAsBinaryFitsAnyColumn) {
  const std::string table = Table("nullbin");
  Recreate(table, std::string("i INTEGER, v ") + (db() == Db::Pg ? "TEXT" : "VARCHAR(10)"));
  SQLLEN null = SQL_NULL_DATA;
  for (const bool described : {false, true}) {
    FreshStmt();
    for (SQLUSMALLINT p = 1; p <= 2; ++p)
      SQLBindParameter(stmt_, p, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_VARBINARY, 10, 0, 0, 0, &null);
    SQLPrepare(stmt_, Text("INSERT INTO " + table + " VALUES (?, ?)"), SQL_NTS);
    SQLSMALLINT type = 0;
    if (described) SQLDescribeParam(stmt_, 2, &type, nullptr, nullptr, nullptr);
    EXPECT_EQ(SQL_SUCCESS, SQLExecute(stmt_)) << described << Diag(SQL_HANDLE_STMT, stmt_);
  }
  EXPECT_EQ("2", Scalar("SELECT COUNT(*) FROM " + table + " WHERE i IS NULL AND v IS NULL"));
}

std::string Name(const ::testing::TestParamInfo<std::string>& info) { return info.param; }

INSTANTIATE_TEST_SUITE_P(AnyBackend, AnyParamConvDm, ::testing::ValuesIn(qmr_test::TestDsns()),
                         Name);

}  // namespace
