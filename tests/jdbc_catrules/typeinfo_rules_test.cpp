// Rules that decide which rows SQLGetTypeInfo returns for one type, how the
// server type table is keyed, and how SQLProcedureColumns numbers the
// parameters of each procedure; on statement records and row buffers made
// here, without Java.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drv_jdbc/j-catalog.h"

namespace {

// Every JDBC type code the rewrite knows, and two it does not.
const int32_t kJdbcTypes[] = {-155, -150, -16,  -15,  -10,  -9,   -8,   -7,  -6, -5,
                              -4,   -3,   -2,   -1,   1,    2,    3,    4,   5,  6,
                              7,    8,    9,    10,   11,   12,   16,   70,  91, 92,
                              93,   1111, 2004, 2005, 2009, 2011, 2003, 1234};

// A statement on a connection with the rules given.
struct RuleStmt {
  JdbcConn conn;
  JdbcStmt stmt;
  RuleStmt(uint32_t wide, uint32_t jet, int32_t plchr, uint32_t version) {
    conn.settings.jet = jet;
    conn.settings.longVarcharToVarchar = plchr;
    conn.odbcVersion = version;
    stmt.conn = &conn;
    stmt.wide = wide;
  }
};

TEST(CatOdbcType, ReportsWhatTheRowRewriteWrites) {
  // The filter of SQLGetTypeInfo and the rewrite of the rows must never
  // disagree, or a row is returned under one type and reported as another.
  for (uint32_t wide : {0u, 1u})
    for (uint32_t jet : {0u, 1u})
      for (int32_t plchr : {-1, 0, 4000})
        for (uint32_t version : {2u, 3u})
          for (int32_t jdbc : kJdbcTypes) {
            const JdbcColDesc shapes[] = {[] {
              JdbcColDesc d{};
              d.value_type = COLSET_VT_INTEGER;
              d.elem_len = 4;
              return d;
            }()};
            COLSET set{};
            ASSERT_EQ(ColSetBuild(shapes, 1, 1, &set), 0);
            const CatCell type{&set.cols[0], 0};
            type.SetInt(jdbc);
            CatTypeFields f;
            f.dataType = &type;
            const CatTypeRules r{jet, version, wide, plchr};
            catFixType(f, r);
            EXPECT_EQ(catOdbcType(jdbc, r, false), type.Int())
                << jdbc << " wide " << wide << " jet " << jet << " plchr " << plchr;
            ColSetFreeColumns(&set);
          }
}

TEST(CatTypeKey, OneFormForEveryDescription) {
  EXPECT_EQ(catTypeKey(9), catTypeKey(91));
  EXPECT_EQ(catTypeKey(10), catTypeKey(92));
  EXPECT_EQ(catTypeKey(11), catTypeKey(93));
  EXPECT_EQ(catTypeKey(-9), catTypeKey(12));
  EXPECT_EQ(catTypeKey(-8), catTypeKey(1));
  EXPECT_EQ(catTypeKey(-10), catTypeKey(-1));
  // Types without a second form stay apart.
  EXPECT_EQ(catTypeKey(4), 4);
  EXPECT_EQ(catTypeKey(-7), -7);
  EXPECT_NE(catTypeKey(12), catTypeKey(-1));
  EXPECT_NE(catTypeKey(91), catTypeKey(93));
  EXPECT_NE(catTypeKey(1), catTypeKey(12));
}

TEST(CatTypeInfoWanted, ComparesTheReportedType) {
  struct Case {
    uint32_t wide, jet;
    int32_t plchr;
    uint32_t version;
    int16_t requested;
    int32_t jdbc;
    bool wanted;
  };
  const Case cases[] = {
      {0, 0, -1, 3, -7, 16, true},  // SQL_BIT finds the BOOLEAN row
      {0, 0, -1, 3, -7, -7, true},
      {0, 0, -1, 3, 16, 16, false},  // no ODBC application asks for 16
      {0, 0, -1, 3, 4, 4, true},
      {0, 0, -1, 3, 4, 5, false},
      {0, 1, -1, 3, 3, -5, true},  // JET: BIGINT reported as DECIMAL
      {0, 1, -1, 3, -5, -5, false},
      {0, 0, -1, 3, -5, -5, true},
      {0, 0, 0, 3, 12, -1, true},  // PLCHR2VCHR: LONGVARCHAR reported as VARCHAR
      {0, 0, 0, 3, -1, -1, false},
      {0, 0, -1, 3, -1, -1, true},
      {1, 0, -1, 3, -9, -9, true},    // wide: NVARCHAR reported as WVARCHAR
      {0, 0, -1, 3, 12, -9, true},    // narrow: NVARCHAR reported as VARCHAR
      {1, 0, -1, 3, 12, -9, true},    // wide: NVARCHAR answers VARCHAR too
      {1, 0, -1, 3, 12, 1111, true},  // wide: OTHER, a WVARCHAR, answers VARCHAR too
      {1, 0, -1, 3, -1, 2005, true},  // wide: CLOB answers LONGVARCHAR
      {1, 0, -1, 3, -9, 12, true},    // wide: VARCHAR reported as WVARCHAR
      {1, 0, -1, 3, -8, 4, false},    // a row of another type never answers
      {1, 0, -1, 3, 9, 2003, false},  // nor a row of no ODBC type any other
      {0, 0, -1, 3, 12, 1111, true},
      {0, 0, -1, 3, 9, 91, true},  // either date code asks for the date rows
      {0, 0, -1, 2, 9, 91, true},
      {0, 0, -1, 3, 9, 9, true},
      {0, 0, -1, 3, 11, 92, false},
      {0, 0, -1, 3, -4, 2004, true},  // BLOB reported as LONGVARBINARY
      {0, 0, -1, 3, 0, 2003, true},   // all types: every row
  };
  for (const Case& c : cases) {
    RuleStmt r(c.wide, c.jet, c.plchr, c.version);
    // DRV_DDGetTypeInfo keeps the requested type in its ODBC 2 form.
    r.stmt.requestedType = c.requested >= 91 && c.requested <= 93
                               ? static_cast<int16_t>(c.requested - 82)
                               : c.requested;
    EXPECT_EQ(catTypeInfoWanted(&r.stmt, c.jdbc), c.wanted)
        << "requested " << c.requested << " jdbc " << c.jdbc << " wide " << c.wide;
  }
}

// A procedure-column row buffer filled the way DRV_Fetch leaves it.
class ProcRows {
 public:
  explicit ProcRows(uint32_t rows) {
    descs_ = catColumns(CAT_KIND_PROCEDURE_COLUMNS, 0, {}, &n_);
    EXPECT_EQ(ColSetBuild(descs_, n_, rows, &set_), 0);
    set_.rows_held = rows;
  }
  ~ProcRows() {
    ColSetFreeColumns(&set_);
    ColDescFree(descs_, n_);
  }
  CatCell At(uint32_t column, uint32_t row) { return CatCell{&set_.cols[column - 1], row}; }
  void Put(uint32_t row, const char* proc, int32_t columnType) {
    COLSET_COL& name = set_.cols[2];
    std::strcpy(reinterpret_cast<char*>(name.data + row * name.elem_size), proc);
    name.ind[row] = 0;
    At(5, row).SetInt(columnType);
    At(6, row).SetInt(4);
  }
  std::string Text(uint32_t column, uint32_t row) {
    const COLSET_COL& c = set_.cols[column - 1];
    if (c.ind[row] == COLSET_IND_NULL) return "<null>";
    return reinterpret_cast<const char*>(c.data + row * c.elem_size);
  }
  COLSET* set() { return &set_; }

 private:
  JdbcColDesc* descs_ = nullptr;
  uint16_t n_ = 0;
  COLSET set_{};
};

TEST(CatProcColumnsRowHook, CountsParametersFromOneWithoutTheDriversPositions) {
  JdbcConn conn;
  JdbcStmt s;
  s.conn = &conn;
  s.fetchColLimit = 13;  // an old driver: nothing past REMARKS
  ProcRows rows(5);
  rows.Put(0, "F", 5);  // a function's return value
  rows.Put(1, "F", 1);
  rows.Put(2, "F", 4);
  rows.Put(3, "P", 1);
  rows.Put(4, "P", 2);
  COLSET_COL& def = rows.set()->cols[13];  // whatever the buffer held before
  std::strcpy(reinterpret_cast<char*>(def.data), "stale");
  def.ind[0] = 0;
  ASSERT_EQ(catProcColumnsRowHook(&s, rows.set()), 0u);
  const int32_t expected[] = {0, 1, 2, 1, 2};
  for (uint32_t r = 0; r < 5; ++r) {
    EXPECT_EQ(rows.At(18, r).Int(), expected[r]) << r;
    EXPECT_EQ(rows.Text(19, r), "");
    EXPECT_EQ(rows.Text(14, r), "<null>");
  }
  // The next block goes on numbering the procedure it ends in.
  ProcRows more(2);
  more.Put(0, "P", 1);
  more.Put(1, "Q", 1);
  ASSERT_EQ(catProcColumnsRowHook(&s, more.set()), 0u);
  EXPECT_EQ(more.At(18, 0).Int(), 3);
  EXPECT_EQ(more.At(18, 1).Int(), 1);
  std::free(s.lastProcName);
  s.lastProcName = nullptr;
}

TEST(CatProcColumnsRowHook, KeepsWhatTheDriverGave) {
  JdbcConn conn;
  JdbcStmt s;
  s.conn = &conn;
  s.fetchColLimit = 19;
  ProcRows rows(3);
  rows.Put(0, "P", 1);
  rows.Put(1, "P", 1);
  rows.Put(2, "P", 4);
  rows.At(18, 0).SetInt(7);
  rows.At(18, 1).SetInt(8);  // row 2 without a position: counted
  COLSET_COL& nullable = rows.set()->cols[18];
  std::strcpy(reinterpret_cast<char*>(nullable.data), "YES");
  nullable.ind[0] = 0;
  COLSET_COL& def = rows.set()->cols[13];
  std::strcpy(reinterpret_cast<char*>(def.data), "42");
  def.ind[0] = 0;
  ASSERT_EQ(catProcColumnsRowHook(&s, rows.set()), 0u);
  EXPECT_EQ(rows.At(18, 0).Int(), 7);
  EXPECT_EQ(rows.At(18, 1).Int(), 8);
  EXPECT_EQ(rows.At(18, 2).Int(), 3);
  EXPECT_EQ(rows.Text(19, 0), "YES");
  EXPECT_EQ(rows.Text(19, 1), "");  // NULL from the driver: empty text
  EXPECT_EQ(rows.Text(14, 0), "42");
  EXPECT_EQ(rows.At(6, 0).Int(), 4);
  EXPECT_EQ(rows.At(15, 0).Int(), 4);  // SQL_DATA_TYPE repeats DATA_TYPE
  std::free(s.lastProcName);
  s.lastProcName = nullptr;
}

}  // namespace

namespace {

// One SQLColumns-shaped row for the rewrite: DATA_TYPE, TYPE_NAME,
// COLUMN_SIZE, BUFFER_LENGTH, SQL_DATA_TYPE, SQL_DATETIME_SUB,
// CHAR_OCTET_LENGTH as the JDBC driver filled them.
struct ColumnsRow {
  JdbcColDesc* descs = nullptr;
  uint16_t n = 0;
  COLSET set{};
  ColumnsRow() {
    descs = catColumns(CAT_KIND_COLUMNS, 0, {}, &n);
    EXPECT_EQ(ColSetBuild(descs, n, 1, &set), 0);
    set.rows_held = 1;
  }
  ~ColumnsRow() {
    ColSetFreeColumns(&set);
    ColDescFree(descs, n);
  }
  CatCell At(uint32_t column) { return CatCell{&set.cols[column - 1], 0}; }
};

TEST(CatColumnsRowHook, OctetLengthOfTextSurvivesAMissingBufferLength) {
  struct Case {
    int32_t jdbc;
    int32_t buffer;  // -1: NULL
    int32_t octets;  // -1: NULL
    int32_t want;    // -1: NULL
  };
  const Case cases[] = {
      {12, -1, 160, 160},  // four octets a character of the size, whatever JDBC gave
      {12, 80, 160, 160}, {1, -1, 20, 160},
      {12, -1, -1, 160},  {4, -1, 4, -1},  // numbers have no octet length
      {91, -1, 10, -1},
  };
  JdbcConn conn;
  JdbcStmt s;
  s.conn = &conn;
  for (const Case& c : cases) {
    ColumnsRow row;
    row.At(5).SetInt(c.jdbc);
    row.At(7).SetInt(40);
    if (c.buffer >= 0) row.At(8).SetInt(c.buffer);
    if (c.octets >= 0) row.At(16).SetInt(c.octets);
    ASSERT_EQ(catColumnsRowHook(&s, &row.set), 0u);
    if (c.want < 0) {
      EXPECT_TRUE(row.At(16).IsNull()) << c.jdbc << " " << row.At(16).Int();
    } else {
      ASSERT_FALSE(row.At(16).IsNull()) << c.jdbc;
      EXPECT_EQ(row.At(16).Int(), c.want) << c.jdbc;
    }
  }
}

TEST(CatSpecialColumnsRowHook, IntegerSizesInDigits) {
  uint16_t n = 0;
  JdbcColDesc* d = catColumns(CAT_KIND_SPECIAL_COLUMNS, 0, {}, &n);
  COLSET set{};
  ASSERT_EQ(ColSetBuild(d, n, 5, &set), 0);
  set.rows_held = 5;
  // DATA_TYPE and COLUMN_SIZE as a JDBC driver counting bits gives them.
  const int32_t jdbc[] = {4, -5, 5, -6, 12};
  const int32_t bits[] = {32, 64, 16, 8, 40};
  const int32_t want[] = {10, 19, 5, 3, 40};
  for (uint32_t r = 0; r < 5; ++r) {
    CatCell{&set.cols[2], r}.SetInt(jdbc[r]);
    CatCell{&set.cols[4], r}.SetInt(bits[r]);
  }
  JdbcConn conn;
  JdbcStmt s;
  s.conn = &conn;
  ASSERT_EQ(catSpecialColumnsRowHook(&s, &set), 0u);
  for (uint32_t r = 0; r < 5; ++r) EXPECT_EQ((CatCell{&set.cols[4], r}.Int()), want[r]) << jdbc[r];
  ColSetFreeColumns(&set);
  ColDescFree(d, n);
}

}  // namespace
