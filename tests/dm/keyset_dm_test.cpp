// Keyset-driven cursors when prepared, on HSQLDB, PostgreSQL, H2 and Derby
// in both builds: the key columns the library finds (a primary key, a
// unique index, a composite key, names that need quotes) as the column
// attribute 1053 shows them; a statement it cannot serve lowered to a
// static read-only cursor with 01S02 and keyset-driven asked again at the
// next preparation; and the key statements it builds run on the database
// with their parameters in text order.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "scrs/scranalysis.h"
#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Diag;
using qmr_test::State;

SQLCHAR* Text(const std::string& s) { return (SQLCHAR*)s.c_str(); }

class AnyKeysetDm : public qmr_test::DmTest {
 protected:
  std::string T(const char* stem) const { return std::string(stem) + qmr_test::Lower(GetParam()); }
  bool Pg() const { return qmr_test::DbOf(GetParam()) == qmr_test::Db::Pg; }
  // A plain name as the catalog stores it.
  std::string Stored(std::string s) const {
    for (char& c : s) c = static_cast<char>(Pg() ? std::tolower(c) : std::toupper(c));
    return s;
  }
  void Make(const std::string& table, const std::string& columns) {
    Exec("DROP TABLE " + table);
    MustExec("CREATE TABLE " + table + " (" + columns + ")");
    made_.push_back(table);
  }
  void TearDown() override {
    for (const std::string& t : made_) Exec("DROP TABLE " + t);
    qmr_test::DmTest::TearDown();
  }
  void KeysetStmt() {
    // The cursor type is the statement's before it is prepared.
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_));
    EXPECT_EQ(SQL_SUCCESS,
              SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_KEYSET_DRIVEN, 0))
        << Diag(SQL_HANDLE_STMT, stmt_);
  }
  SQLRETURN PrepareKeyset(const std::string& sql) {
    KeysetStmt();
    return SQLPrepare(stmt_, Text(sql), SQL_NTS);
  }
  SQLULEN Attr(SQLINTEGER attr) {
    SQLULEN v = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt_, attr, &v, 0, nullptr));
    return v;
  }
  // The result columns the library marks as key columns (attribute 1053).
  std::vector<int> KeyMarks() {
    SQLSMALLINT n = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLNumResultCols(stmt_, &n));
    std::vector<int> marks;
    for (SQLUSMALLINT c = 1; c <= n; ++c) {
      SQLLEN v = -1;
      EXPECT_EQ(SQL_SUCCESS, SQLColAttribute(stmt_, c, 1053, nullptr, 0, nullptr, &v))
          << Diag(SQL_HANDLE_STMT, stmt_);
      marks.push_back(static_cast<int>(v));
    }
    return marks;
  }
  // Every row of SELECT * through a cursor of the type, after the key
  // marks of a keyset-driven one.
  std::string RowsAs(const std::string& t, SQLULEN type) {
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_));
    EXPECT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)type, 0));
    const SQLRETURN rc = SQLExecDirect(stmt_, Text("SELECT * FROM " + t), SQL_NTS);
    if (rc != SQL_SUCCESS) return "execute " + std::to_string(rc) + Diag(SQL_HANDLE_STMT, stmt_);
    std::string got = type == SQL_CURSOR_DYNAMIC ? "" : "keys";
    if (type != SQL_CURSOR_DYNAMIC)
      for (int m : KeyMarks()) got += std::to_string(m);
    for (const qmr_test::Row& row : qmr_test::FetchRows(stmt_)) {
      got += " |";
      for (const qmr_test::Cell& c : row) got += " " + (c.null ? std::string("-") : c.text);
    }
    return got;
  }
  std::vector<std::string> made_;
};

// Each table shape: the key columns are marked among the columns of
// SELECT *, in table order, and the cursor stays keyset-driven. A table
// without a key lowers the cursor, and the next SELECT on a keyed table
// is keyset-driven again.
TEST_P(AnyKeysetDm, KeyColumnsOrStaticCursor) {
  const struct {
    const char* stem;
    const char* columns;
    const char* index;      // run after CREATE TABLE, "%s" the table
    std::vector<int> keys;  // empty: no key, cursor lowered
  } shapes[] = {
      {"ksp_", "id INTEGER NOT NULL PRIMARY KEY, v VARCHAR(10)", nullptr, {1, 0}},
      {"ksu_", "v VARCHAR(10), u INTEGER NOT NULL", "CREATE UNIQUE INDEX %s_i ON %s (u)", {0, 1}},
      {"ksc_",
       "a INTEGER NOT NULL, v VARCHAR(10), b INTEGER NOT NULL, PRIMARY KEY (a, b)",
       nullptr,
       {1, 0, 1}},
      {"ksq_",
       "\"Id \"\"q\"\"\" INTEGER NOT NULL PRIMARY KEY, \"v x\" VARCHAR(10)",
       nullptr,
       {1, 0}},
      {"ksn_", "v VARCHAR(10), w INTEGER", nullptr, {}},
      // Rows with NULL in a unique constraint or index repeat: no key.
      {"ksnu_", "a INTEGER NOT NULL, b INTEGER, v VARCHAR(10), UNIQUE (a, b)", nullptr, {}},
      {"ksni_", "v VARCHAR(10), u INTEGER", "CREATE UNIQUE INDEX %s_i ON %s (u)", {}},
      {"ksuu_",
       "a INTEGER NOT NULL, b INTEGER NOT NULL, v VARCHAR(10), UNIQUE (a, b)",
       nullptr,
       {1, 1, 0}},
  };
  for (const auto& s : shapes) {
    const std::string t = T(s.stem);
    Make(t, s.columns);
    if (s.index != nullptr) {
      std::string ix = s.index;
      ix.replace(ix.find("%s"), 2, t);
      ix.replace(ix.find("%s"), 2, t);
      MustExec(ix);
    }
    const SQLRETURN rc = PrepareKeyset("SELECT * FROM " + t);
    if (s.keys.empty()) {
      ASSERT_EQ(SQL_SUCCESS_WITH_INFO, rc) << t << Diag(SQL_HANDLE_STMT, stmt_);
      EXPECT_EQ("01S02", State(SQL_HANDLE_STMT, stmt_)) << t;
      EXPECT_EQ(static_cast<SQLULEN>(SQL_CURSOR_STATIC), Attr(SQL_ATTR_CURSOR_TYPE)) << t;
      EXPECT_EQ(static_cast<SQLULEN>(SQL_CONCUR_READ_ONLY), Attr(SQL_ATTR_CONCURRENCY)) << t;
      // Served as the static cursor it became.
      EXPECT_EQ(SQL_SUCCESS, SQLExecute(stmt_)) << t << Diag(SQL_HANDLE_STMT, stmt_);
      ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt_, Text("SELECT * FROM " + T("ksp_")), SQL_NTS))
          << Diag(SQL_HANDLE_STMT, stmt_);
      EXPECT_EQ(static_cast<SQLULEN>(SQL_CURSOR_KEYSET_DRIVEN), Attr(SQL_ATTR_CURSOR_TYPE));
      EXPECT_EQ((std::vector<int>{1, 0}), KeyMarks());
      // Run directly, the statement reports the change as well.
      KeysetStmt();
      ASSERT_EQ(SQL_SUCCESS_WITH_INFO, SQLExecDirect(stmt_, Text("SELECT * FROM " + t), SQL_NTS))
          << t << Diag(SQL_HANDLE_STMT, stmt_);
      EXPECT_EQ(std::vector<std::string>{"01S02"}, qmr_test::States(SQL_HANDLE_STMT, stmt_)) << t;
      EXPECT_EQ(static_cast<SQLULEN>(SQL_CURSOR_STATIC), Attr(SQL_ATTR_CURSOR_TYPE)) << t;
      // With a value sent at execution the change is told when the
      // execution ends, not lost behind SQL_NEED_DATA.
      KeysetStmt();
      SQLLEN dae = SQL_DATA_AT_EXEC;
      ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR,
                                              10, 0, (SQLPOINTER)1, 0, &dae));
      ASSERT_EQ(SQL_NEED_DATA,
                SQLExecDirect(stmt_, Text("SELECT * FROM " + t + " WHERE v = ?"), SQL_NTS))
          << t << Diag(SQL_HANDLE_STMT, stmt_);
      SQLPOINTER token = nullptr;
      ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt_, &token));
      ASSERT_EQ(SQL_SUCCESS, SQLPutData(stmt_, (SQLPOINTER) "a", 1));
      ASSERT_EQ(SQL_SUCCESS_WITH_INFO, SQLParamData(stmt_, &token)) << Diag(SQL_HANDLE_STMT, stmt_);
      EXPECT_EQ(std::vector<std::string>{"01S02"}, qmr_test::States(SQL_HANDLE_STMT, stmt_)) << t;
      continue;
    }
    ASSERT_EQ(SQL_SUCCESS, rc) << t << Diag(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(static_cast<SQLULEN>(SQL_CURSOR_KEYSET_DRIVEN), Attr(SQL_ATTR_CURSOR_TYPE)) << t;
    EXPECT_EQ(s.keys, KeyMarks()) << t;
    // A second statement on the same table takes the cached keys: the same
    // answer under another correlation name.
    ASSERT_EQ(SQL_SUCCESS, PrepareKeyset("SELECT x.* FROM " + t + " x")) << t;
    EXPECT_EQ(s.keys, KeyMarks()) << t;
  }
}

// What the library knows of a table's columns and key follows the table
// through a change of its shape on the connection: dropped and made again
// with other columns and another key, and a column added then rolled back.
// Keyset-driven and dynamic cursors over SELECT * read the shape the table
// has, with its rows.
TEST_P(AnyKeysetDm, TableShapeFollowsSchemaChanges) {
  const std::string t = T("kss_");
  Make(t, "id INTEGER NOT NULL PRIMARY KEY, v VARCHAR(10)");
  MustExec("INSERT INTO " + t + " VALUES (1, 'a')");
  EXPECT_EQ("keys10 | 1 a", RowsAs(t, SQL_CURSOR_KEYSET_DRIVEN));
  EXPECT_EQ(" | 1 a", RowsAs(t, SQL_CURSOR_DYNAMIC));
  MustExec("DROP TABLE " + t);
  MustExec("CREATE TABLE " + t + " (v VARCHAR(10), k INTEGER NOT NULL PRIMARY KEY, w INTEGER)");
  MustExec("INSERT INTO " + t + " VALUES ('x', 7, 70)");
  EXPECT_EQ("keys010 | x 7 70", RowsAs(t, SQL_CURSOR_KEYSET_DRIVEN));
  EXPECT_EQ(" | x 7 70", RowsAs(t, SQL_CURSOR_DYNAMIC));
  // A column added in a transaction that is rolled back: where the data
  // source undoes it, the cursors read without it again.
  ASSERT_EQ(SQL_SUCCESS,
            SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0));
  MustExec("ALTER TABLE " + t + " ADD z INTEGER");
  EXPECT_EQ("keys0100 | x 7 70 -", RowsAs(t, SQL_CURSOR_KEYSET_DRIVEN));
  ASSERT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK));
  SQLSMALLINT cols = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, stmt_));
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_));
  ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt_, Text("SELECT * FROM " + t), SQL_NTS))
      << Diag(SQL_HANDLE_STMT, stmt_);
  ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(stmt_, &cols));
  const std::string z = cols == 4 ? " -" : "";
  EXPECT_EQ((cols == 4 ? "keys0100" : "keys010") + std::string(" | x 7 70") + z,
            RowsAs(t, SQL_CURSOR_KEYSET_DRIVEN));
  EXPECT_EQ(" | x 7 70" + z, RowsAs(t, SQL_CURSOR_DYNAMIC));
  SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT);
  SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_ON, 0);
}

// The same through another connection, which moves nothing this one
// counts: a column added there, then the table dropped and made again with
// other columns and another key, then with the same columns and another
// key.
TEST_P(AnyKeysetDm, TableShapeFollowsOtherConnectionsChanges) {
  const std::string t = T("kso_");
  Make(t, "id INTEGER NOT NULL PRIMARY KEY, v VARCHAR(10)");
  MustExec("INSERT INTO " + t + " VALUES (1, 'a')");
  EXPECT_EQ("keys10 | 1 a", RowsAs(t, SQL_CURSOR_KEYSET_DRIVEN));
  EXPECT_EQ(" | 1 a", RowsAs(t, SQL_CURSOR_DYNAMIC));
  qmr_test::DmSession other;
  ASSERT_TRUE(other.Open(GetParam()));
  other.MustExec("ALTER TABLE " + t + " ADD z INTEGER");
  EXPECT_EQ("keys100 | 1 a -", RowsAs(t, SQL_CURSOR_KEYSET_DRIVEN));
  EXPECT_EQ(" | 1 a -", RowsAs(t, SQL_CURSOR_DYNAMIC));
  other.MustExec("DROP TABLE " + t);
  other.MustExec("CREATE TABLE " + t +
                 " (v VARCHAR(10), k INTEGER NOT NULL PRIMARY KEY, w INTEGER)");
  other.MustExec("INSERT INTO " + t + " VALUES ('x', 7, 70)");
  EXPECT_EQ("keys010 | x 7 70", RowsAs(t, SQL_CURSOR_KEYSET_DRIVEN));
  EXPECT_EQ(" | x 7 70", RowsAs(t, SQL_CURSOR_DYNAMIC));
  // The same columns under another key, by which the old key repeats.
  other.MustExec("DROP TABLE " + t);
  other.MustExec("CREATE TABLE " + t +
                 " (v VARCHAR(10), k INTEGER NOT NULL, w INTEGER NOT NULL PRIMARY KEY)");
  other.MustExec("INSERT INTO " + t + " VALUES ('x', 7, 70)");
  other.MustExec("INSERT INTO " + t + " VALUES ('y', 7, 80)");
  EXPECT_EQ("keys001 | x 7 70 | y 7 80", RowsAs(t, SQL_CURSOR_KEYSET_DRIVEN));
  EXPECT_EQ(" | x 7 70 | y 7 80", RowsAs(t, SQL_CURSOR_DYNAMIC));
}

// A prepared SELECT * executed again after another connection changed its
// table: a column added, one dropped, the table made again with the same
// columns and another key under which the old key repeats. Keyset-driven,
// mixed and dynamic cursors read the table as it is, by the key it has
// now; a new statement marks that key.
TEST_P(AnyKeysetDm, ReexecutionFollowsOtherConnectionsChanges) {
  const struct {
    SQLULEN type, keyset;
  } kinds[] = {
      {SQL_CURSOR_KEYSET_DRIVEN, 0}, {SQL_CURSOR_KEYSET_DRIVEN, 1}, {SQL_CURSOR_DYNAMIC, 0}};
  const struct {
    std::vector<const char*> changes;  // "%s" the table
    const char* rows;
  } steps[] = {
      {{}, " | 1 100 k-1 | 2 200 k-2"},
      {{"ALTER TABLE %s ADD z INTEGER"}, " | 1 100 k-1 - | 2 200 k-2 -"},
      {{"ALTER TABLE %s DROP COLUMN v"}, " | 1 100 - | 2 200 -"},
      {{"DROP TABLE %s",
        "CREATE TABLE %s (id INTEGER NOT NULL, g INTEGER NOT NULL PRIMARY KEY, z INTEGER)",
        "INSERT INTO %s VALUES (1, 100, 5)", "INSERT INTO %s VALUES (1, 200, 6)"},
       " | 1 100 5 | 1 200 6"},
  };
  const std::string t = T("ksr_");
  qmr_test::DmSession other;
  ASSERT_TRUE(other.Open(GetParam()));
  for (const auto& k : kinds) {
    const std::string kind = std::to_string(k.type) + "/" + std::to_string(k.keyset);
    Make(t, "id INTEGER NOT NULL PRIMARY KEY, g INTEGER NOT NULL, v VARCHAR(10)");
    MustExec("INSERT INTO " + t + " VALUES (1, 100, 'k-1')");
    MustExec("INSERT INTO " + t + " VALUES (2, 200, 'k-2')");
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_));
    SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)k.type, 0);
    SQLSetStmtAttr(stmt_, SQL_ATTR_KEYSET_SIZE, (SQLPOINTER)k.keyset, 0);
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt_, Text("SELECT * FROM " + t + " ORDER BY g"), SQL_NTS))
        << kind << Diag(SQL_HANDLE_STMT, stmt_);
    for (const auto& step : steps) {
      for (const char* change : step.changes) {
        std::string sql = change;
        sql.replace(sql.find("%s"), 2, t);
        other.MustExec(sql);
      }
      const std::string where = kind + " after " + (step.changes.empty() ? "" : step.changes[0]);
      ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(stmt_))) << where << Diag(SQL_HANDLE_STMT, stmt_);
      EXPECT_EQ(k.type, Attr(SQL_ATTR_CURSOR_TYPE)) << where;
      std::string got;
      for (const qmr_test::Row& row : qmr_test::FetchRows(stmt_)) {
        got += " |";
        for (const qmr_test::Cell& c : row) got += " " + (c.null ? std::string("-") : c.text);
      }
      EXPECT_EQ(step.rows, got) << where;
      SQLCloseCursor(stmt_);
    }
  }
  EXPECT_EQ("keys010 | 1 100 5 | 1 200 6", RowsAs(t, SQL_CURSOR_KEYSET_DRIVEN));
  EXPECT_EQ(" | 1 100 5 | 1 200 6", RowsAs(t, SQL_CURSOR_DYNAMIC));
}

// What the library refuses when prepared: GROUP BY and UNION on a keyset
// cursor, an outer join on any scrolling by key, ordering by an expression's
// position. A text the analyser cannot read is lowered, never left
// keyset-driven. Ordering by a column's position is taken.
TEST_P(AnyKeysetDm, RefusedOrLoweredStatements) {
  const std::string t = T("ksr_");
  Make(t, "id INTEGER NOT NULL PRIMARY KEY, v VARCHAR(10)");
  const struct {
    std::string sql;
    const char* state;  // null: lowered with 01S02; "": taken as keyset-driven
  } rows[] = {
      {"SELECT v, id FROM " + t + " ORDER BY 2 DESC", ""},
      {"SELECT id + 1, v FROM " + t + " ORDER BY 1", "IM919"},
      {"SELECT v, COUNT(*) FROM " + t + " GROUP BY v", "IM913"},
      {"SELECT id FROM " + t + " UNION SELECT id FROM " + t, "IM914"},
      {"SELECT a.id FROM " + t + " a LEFT OUTER JOIN " + t + " b ON a.id = b.id", "IM928"},
      {"SELECT id FROM " + t + " WHERE id IN (SELECT id FROM " + t + ") FETCH FIRST 2 ROWS ONLY",
       nullptr},
      // Rows that are no table rows cannot be read again by key.
      {"SELECT DISTINCT v FROM " + t, nullptr},
      // Statements with another select list could not order by its alias.
      {"SELECT v AS vv, id FROM " + t + " ORDER BY vv", nullptr},
      {"SELECT COUNT(*) FROM " + t, nullptr},
  };
  for (const auto& r : rows) {
    const SQLRETURN rc = PrepareKeyset(r.sql);
    if (r.state != nullptr && *r.state == '\0') {
      EXPECT_EQ(SQL_SUCCESS, rc) << r.sql << Diag(SQL_HANDLE_STMT, stmt_);
      EXPECT_EQ(static_cast<SQLULEN>(SQL_CURSOR_KEYSET_DRIVEN), Attr(SQL_ATTR_CURSOR_TYPE));
      EXPECT_EQ((std::vector<int>{0, 1}), KeyMarks()) << r.sql;
      continue;
    }
    if (r.state != nullptr) {
      EXPECT_EQ(SQL_ERROR, rc) << r.sql;
      EXPECT_EQ(r.state, State(SQL_HANDLE_STMT, stmt_)) << r.sql;
      continue;
    }
    ASSERT_EQ(SQL_SUCCESS_WITH_INFO, rc) << r.sql << Diag(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(static_cast<SQLULEN>(SQL_CURSOR_STATIC), Attr(SQL_ATTR_CURSOR_TYPE)) << r.sql;
  }
}

// The key statements built from the application's SELECT run on the
// database: the key values bind after the application's markers that come
// before the new condition and before those that follow it.
TEST_P(AnyKeysetDm, KeyStatementsRun) {
  const std::string t = T("ksk_");
  Make(t, "id INTEGER NOT NULL PRIMARY KEY, v VARCHAR(10), \"Odd \"\"n\"\"\" VARCHAR(10)");
  for (int k = 1; k <= 5; ++k)
    MustExec("INSERT INTO " + t + " VALUES (" + std::to_string(k) + ", 'v" + std::to_string(k) +
             "', 'o" + std::to_string(k) + "')");
  SCR_IDENTS id;
  id.quote = "\"";
  KS_CURSOR ks;
  ks.tableCount = 1;
  SCR_COLDESC key{};
  const std::string idName = Stored("id");
  std::snprintf(key.name, sizeof key.name, "%s", idName.c_str());
  key.kind = SCR_COL_COLUMN;
  ks.keys.push_back(key);
  SCR_COLDESC odd{};
  std::snprintf(odd.name, sizeof odd.name, "%s", "Odd \"n\"");
  odd.kind = SCR_COL_COLUMN;
  KS_CURSOR oddKs = ks;
  oddKs.keys = {odd};
  KS_CURSOR allCols = ks;  // the values query lists the table's columns
  SCR_COLDESC v = key;
  std::snprintf(v.name, sizeof v.name, "%s", Stored("v").c_str());
  allCols.keys = {odd, key, v};

  enum Build { kSelect, kWhere, kOrder, kValues };
  const struct {
    std::string sql;
    Build build;
    const KS_CURSOR* keys;
    uint32_t groups;
    std::vector<std::string> params;  // in marker order of the built text
    uint32_t appBefore;               // the application's markers before the new text
    std::string want;                 // the rows' first column, joined by ","
  } rows[] = {
      {"SELECT v FROM " + t + " WHERE id > ? ORDER BY v DESC", kSelect, &ks, 0, {"2"}, 0, "5,4,3"},
      {"SELECT * FROM " + t + " x WHERE x.v <> 'v1' ORDER BY x.id",
       kSelect,
       &oddKs,
       0,
       {},
       0,
       "o2,o3,o4,o5"},
      {"SELECT v FROM " + t + " WHERE v <> ?", kWhere, &ks, 2, {"1", "3", "v1"}, 0, "v3"},
      {"SELECT v || ? FROM " + t, kWhere, &ks, 1, {"x", "4"}, 1, "v4x"},
      {"SELECT v FROM " + t + " WHERE id < 4", kOrder, &ks, 0, {}, 0, "v1,v2,v3"},
      {"SELECT v FROM " + t + " WHERE id > 3 ORDER BY v DESC", kOrder, &oddKs, 0, {}, 0, "v5,v4"},
      {"SELECT v FROM " + t + " WHERE id BETWEEN ? AND 3 ORDER BY id DESC",
       kValues,
       &allCols,
       0,
       {"2"},
       0,
       "o3,o2"},
  };
  for (const auto& r : rows) {
    SCR_SQLINFO info;
    SCR_InitSQLInfo(&info);
    ASSERT_EQ(0, SCR_AnalyseSQL(&info, r.sql.c_str(), 0, 0)) << r.sql;
    SCR_BUILT built;
    int rc = 0;
    if (r.build == kSelect) rc = KS_BuildKeySelect(&info, *r.keys, id, &built);
    if (r.build == kWhere) rc = KS_BuildKeyWhere(&info, *r.keys, id, r.groups, &built);
    if (r.build == kOrder) rc = KS_BuildOrderBy(&info, *r.keys, id, 1, &built);
    if (r.build == kValues) rc = scs_p_BuildValuesSelect(&info, r.keys->keys, 1, id, &built);
    SCR_FreeSQLInfo(&info);
    ASSERT_EQ(0, rc) << r.sql;
    EXPECT_EQ(r.appBefore, built.appBefore) << built.text;
    SQLFreeStmt(stmt_, SQL_CLOSE);
    SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
    // Digits are key values, bound as integers: PostgreSQL compares no
    // integer column with text.
    for (size_t i = 0; i < r.params.size(); ++i) {
      const bool number = std::isdigit(static_cast<unsigned char>(r.params[i][0])) != 0;
      ASSERT_EQ(SQL_SUCCESS,
                SQLBindParameter(stmt_, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT,
                                 SQL_C_CHAR, number ? SQL_INTEGER : SQL_VARCHAR, 10, 0,
                                 (SQLPOINTER)r.params[i].c_str(), 0, nullptr));
    }
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt_, Text(built.text), SQL_NTS))
        << built.text << Diag(SQL_HANDLE_STMT, stmt_);
    std::string got;
    for (const qmr_test::Row& row : qmr_test::FetchRows(stmt_))
      got += (got.empty() ? "" : ",") + row[0].text;
    EXPECT_EQ(r.want, got) << built.text;
  }
  SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
}

std::string Name(const ::testing::TestParamInfo<std::string>& i) { return i.param; }

INSTANTIATE_TEST_SUITE_P(AnyBackend, AnyKeysetDm, ::testing::ValuesIn(qmr_test::TestDsns()), Name);

}  // namespace
