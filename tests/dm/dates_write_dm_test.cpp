// Date and time parameters are stored as the fields given, on ISO's calendar
// and whatever the VM's zone (ctest also runs this with Europe/Berlin):
// each value from every date, time and text C type, compared with the
// server's own text of the column (a cast to VARCHAR on the server).
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <string>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {
using qmr_test::Db;

// Trailing fraction zeros and HSQLDB's unpadded hour ("2:30:00") go.
std::string Trimmed(std::string t) {
  if (t.size() > 1 && t[1] == ':') t = "0" + t;
  if (t.find('.') != std::string::npos) t.erase(t.find_last_not_of('0') + 1);
  if (!t.empty() && t.back() == '.') t.pop_back();
  return t;
}

// Column (d, t, ts), digits, value, what the column then holds (the
// SQLSTATE where refused), C types to bind it from (D date, T time, S
// timestamp, C char, W wide, E escape as char, L escape in the statement),
// and the databases (h, d, p, 2 for H2) whose own literal may not hold it.
struct Case {
  const char* col;
  int digits;
  const char *value, *stored, *via, *notHeld;
};
const Case kCases[] = {
    {"ts", 0, "2024-03-31 02:30:00", "2024-03-31 02:30:00", "SCWEL", "d"},  // Berlin's gap
    {"ts", 0, "2024-10-27 02:30:00", "2024-10-27 02:30:00", "SCWEL", ""},   // and overlap
    {"t", 0, "02:30:00", "02:30:00", "TSCWEL", ""},
    {"d", 0, "1582-10-10", "1582-10-10", "DSCWEL", "hd"},
    {"d", 0, "0001-01-01", "0001-01-01", "DSCWEL", ""},
    {"ts", 0, "1582-10-05 12:00:00", "1582-10-05 12:00:00", "SCWEL", "hd"},
    {"ts", 0, "2018-11-04", "2018-11-04 00:00:00", "D", ""},
    {"ts", 0, "2024-01-02 03:04:05.123456789", "2024-01-02 03:04:05", "SCW", ""},
    {"ts", 3, "2024-01-02 03:04:05.123456789", "2024-01-02 03:04:05.123", "SCW", ""},
    {"ts", 6, "2024-01-02 00:00:00.999999999", "2024-01-02 00:00:00.999999", "SCW", ""},
    {"ts", 6, "2024-03-31 02:59:59.5", "2024-03-31 02:59:59.5", "SCW", "d"},
    {"t", 0, "12:34:56.123", "22008", "CW", ""},          // a fraction TIME(8, 0) cannot keep
    {"d", 0, "-0043-03-15", "-0043-03-15", "CW", "hdp"},  // H2 signs a year before 1
    {"d", 0, "0000-12-31", "0000-12-31", "C", "hdp"},
    {"ts", 1, "-0043-03-15 10:00:00.5", "-0043-03-15 10:00:00.5", "CW", "hdp"},
    {"d", 0, "-0043-03-15", "22007", "DS", ""},  // structures hold years 1 to 9999 only
    {"ts", 0, "0000-12-31 10:00:00", "22007", "S", ""},
};

class DatesWriteDm : public qmr_test::DmTest {
 protected:
  Db db() const { return qmr_test::DbOf(GetParam()); }
  std::string First(const std::string& sql) {
    if (!SQL_SUCCEEDED(Exec(sql))) return "<refused> " + qmr_test::State(SQL_HANDLE_STMT, stmt_);
    const auto rows = qmr_test::FetchRows(stmt_);
    return rows.empty() ? "<none>" : Trimmed(rows[0][0].text);
  }
  std::string Dual() const {
    return db() == Db::Derby  ? " FROM SYSIBM.SYSDUMMY1"
           : db() == Db::Hsql ? " FROM (VALUES(0))"
                              : "";
  }
  std::string Cast(const std::string& what, const std::string& from) {
    return First("SELECT CAST(" + what + " AS VARCHAR(40))" + from);
  }
  // Binds the value from C type `via` (as in kCases) and inserts it as row id.
  SQLRETURN Insert(const Case& c, char via, int id, const std::string& table) {
    const bool ts = c.col[1] == 's', date = c.col[0] == 'd';
    const std::string esc = std::string(date ? "{d '" : ts ? "{ts '" : "{t '") + c.value + "'}";
    SQL_TIMESTAMP_STRUCT s{};
    int n = 0;
    char frac[10] = "";
    if (std::sscanf(c.value, "%hd-%hu-%hu%n", &s.year, &s.month, &s.day, &n) != 3) n = 0;
    std::sscanf(c.value + n, "%hu:%hu:%hu.%9[0-9]", &s.hour, &s.minute, &s.second, frac);
    s.fraction = static_cast<SQLUINTEGER>(std::stoul((frac + std::string(9, '0')).substr(0, 9)));
    SQL_DATE_STRUCT d{s.year, s.month, s.day};
    SQL_TIME_STRUCT t{s.hour, s.minute, s.second};
    const std::string text = via == 'E' ? esc : c.value;
    std::u16string w(text.begin(), text.end());
    SQLLEN len = via == 'W' ? w.size() * 2 : text.size();
    const SQLSMALLINT sqlType = date ? SQL_TYPE_DATE : ts ? SQL_TYPE_TIMESTAMP : SQL_TYPE_TIME;
    const SQLSMALLINT cType = via == 'D'   ? SQL_C_TYPE_DATE
                              : via == 'T' ? SQL_C_TYPE_TIME
                              : via == 'S' ? SQL_C_TYPE_TIMESTAMP
                              : via == 'W' ? SQL_C_WCHAR
                                           : SQL_C_CHAR;
    void* data = via == 'D'   ? (void*)&d
                 : via == 'T' ? (void*)&t
                 : via == 'S' ? (void*)&s
                 : via == 'W' ? (void*)&w[0]
                              : (void*)text.data();
    SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
    SQLINTEGER key = id;
    SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &key, 0, nullptr);
    SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, cType, sqlType, 29, c.digits, data, 0, &len);
    return Exec("INSERT INTO " + table + " (id, " + c.col + ") VALUES (?, " +
                (via == 'L' ? esc : "?") + ")");
  }
};

TEST_P(DatesWriteDm, ValuesAreStoredAsTheirFields) {
  const std::string table = "dw_" + qmr_test::Lower(GetParam());
  Exec("DROP TABLE " + table);
  MustExec("CREATE TABLE " + table + " (id INTEGER, d DATE, t TIME, ts " +
           (db() == Db::Derby ? "TIMESTAMP)"
            : db() == Db::Pg  ? "TIMESTAMP(6))"
                              : "TIMESTAMP(9))"));
  const char mark = db() == Db::Hsql ? 'h' : db() == Db::Derby ? 'd' : db() == Db::Pg ? 'p' : '2';
  int id = 0;
  for (const Case& c : kCases) {
    const std::string type = c.col[0] == 'd' ? "DATE" : c.col[1] == 's' ? "TIMESTAMP" : "TIME";
    const std::string lit =
        db() == Db::Derby ? type + "('" + c.stored + "')" : type + " '" + c.stored + "'";
    // Passed over only where the database's own literal moves it too.
    if (std::string(c.notHeld).find(mark) != std::string::npos && Cast(lit, Dual()) != c.stored)
      continue;
    const bool refused = std::string(c.stored).size() == 5;
    for (const char* via = c.via; *via != '\0'; ++via) {
      const std::string what = std::string(c.col) + " <- '" + c.value + "' via " + *via;
      const SQLRETURN rc = Insert(c, *via, ++id, table);
      EXPECT_EQ(refused ? SQL_ERROR : SQL_SUCCESS, rc) << what;
      if (refused) {
        EXPECT_EQ(c.stored, qmr_test::State(SQL_HANDLE_STMT, stmt_)) << what;
      }
      EXPECT_EQ(refused ? "<none>" : Trimmed(c.stored),
                Cast(c.col, " FROM " + table + " WHERE id = " + std::to_string(id)))
          << what;
    }
  }
}

// PostgreSQL types the parameters (not text with the VM's offset), and
// TIMESTAMPDIFF answers right where claimed, else is refused.
TEST_P(DatesWriteDm, TypedParametersAndTimestampDiff) {
  if (db() == Db::Pg) {
    SQL_DATE_STRUCT d{2011, 4, 22};
    SQL_TIME_STRUCT t{2, 30, 0};
    SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_TYPE_DATE, SQL_TYPE_DATE, 10, 0, &d, 0,
                     nullptr);
    EXPECT_EQ("2011-04-22", First("SELECT ?::text"));
    SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_TYPE_TIME, SQL_TYPE_TIME, 8, 0, &t, 0,
                     nullptr);
    EXPECT_EQ("03:30:00", First("SELECT (? + interval '1 hour')::text"));
    SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
  }
  SQLUINTEGER fns = 0;
  SQLGetInfo(dbc_, SQL_TIMEDATE_FUNCTIONS, &fns, sizeof fns, nullptr);
  EXPECT_EQ((fns & SQL_FN_TD_TIMESTAMPDIFF) != 0 ? "7200" : "<refused> HYC00",
            First(std::string("SELECT {fn TIMESTAMPDIFF(SQL_TSI_SECOND, {ts '2024-01-01 "
                              "00:00:00'}, {ts '2024-01-01 02:00:00'})}") +
                  Dual()));
}

std::vector<std::string> Dsns() {
  if (qmr_test::OnPostgres()) return qmr_test::TestDsns();
  return {"QmrHsqlU", "QmrHsqlA", "QmrH2U", "QmrH2A", "QmrDerbyU", "QmrDerbyA"};
}
std::string Name(const ::testing::TestParamInfo<std::string>& i) { return i.param; }
INSTANTIATE_TEST_SUITE_P(DatesWrite, DatesWriteDm, ::testing::ValuesIn(Dsns()), Name);
}  // namespace
