// Parameter values sent through the agent's slots (DRV_SetParams,
// DRV_BindCols, DRV_Execute) against HSQLDB and read back with SELECTs
// through the agent; parameter arrays; procedure calls with output
// parameters read through a fetch of 0 rows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drv_jdbc/agent_codes.h"
#include "drv_jdbc/j-desc.h"
#include "drv_jdbc/j-exec.h"
#include "jdbc_exec/exec_env.h"

using namespace jexec_test;

namespace {

// A parameter value set built cell by cell; handed over to the agent with
// Give (the agent owns it from then on).
class Values {
 public:
  Values(std::initializer_list<std::pair<uint32_t, uint32_t>> cols, uint32_t rows)
      : set_(new COLSET{}) {
    EXPECT_EQ(ColSetInit(set_, static_cast<uint16_t>(cols.size())), 0);
    set_->cols_used = static_cast<uint16_t>(cols.size());
    uint16_t i = 0;
    for (const auto& c : cols) {
      set_->cols[i].type = c.first;
      set_->cols[i].elem_size = c.second;
      ++i;
    }
    EXPECT_EQ(ColSetSetRows(set_, rows), 0);
    set_->rows_held = rows;
  }
  ~Values() {
    if (set_ != nullptr) {
      ColSetFreeColumns(set_);
      delete set_;
    }
  }
  Values(const Values&) = delete;
  Values& operator=(const Values&) = delete;

  unsigned char* Cell(uint16_t col, uint32_t row) {
    set_->cols[col].ind[row] = 0;
    return set_->cols[col].data + static_cast<size_t>(row) * set_->cols[col].elem_size;
  }
  void Put(uint16_t col, uint32_t row, const void* bytes, size_t n) {
    std::memcpy(Cell(col, row), bytes, n);
  }
  template <class T>
  void PutV(uint16_t col, uint32_t row, T v) {
    Put(col, row, &v, sizeof v);
  }
  void PutText(uint16_t col, uint32_t row, const std::string& t) {
    Put(col, row, t.data(), t.size());
  }
  void PutLong(uint16_t col, uint32_t row, const void* bytes, uint32_t length, size_t unit = 1) {
    COLSET_LONG v{length, std::malloc(length * unit + unit)};
    std::memcpy(v.value, bytes, length * unit);
    PutV(col, row, v);
  }
  void Null(uint16_t col, uint32_t row) { set_->cols[col].ind[row] = COLSET_IND_NULL; }
  void Skip(uint16_t col, uint32_t row) { set_->cols[col].ind[row] = COLSET_IND_SKIP; }
  COLSET* Give() {
    COLSET* s = set_;
    set_ = nullptr;
    return s;
  }

 private:
  COLSET* set_;
};

JdbcColBind Bind(int32_t sqlType, uint16_t direction = 1) {
  // A timestamp keeps the fraction digits its binding gives: all nine.
  const uint16_t digits = sqlType == 93 || sqlType == 11 ? 9 : 0;
  return JdbcColBind{sqlType, 0, 0, digits, direction};
}

class ParamTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const uint32_t c = Connect("param");
    ASSERT_NE(c, 0u);
    Exec(c, {"DROP TABLE v IF EXISTS CASCADE",
             "CREATE TABLE v (id INTEGER, c VARCHAR(200), i INTEGER, bi BIGINT, si SMALLINT, "
             "ti TINYINT, d DOUBLE, r REAL, dec DECIMAL(24,6), dt DATE, tm TIME, "
             "ts TIMESTAMP(9), b VARBINARY(50), lv LONGVARCHAR, lb LONGVARBINARY, bo BOOLEAN)"});
    Ops().DRV_Disconnect(c);
  }
  void SetUp() override {
    conn_ = Connect("param");
    ASSERT_NE(conn_, 0u);
  }
  void TearDown() override {
    if (conn_ != 0) Ops().DRV_Disconnect(conn_);
  }

  // Inserts one value into column `col` of a new row `id` through the slots:
  // parameter 1 the id (code 5), parameter 2 the value. The agent's result.
  uint32_t Insert(int32_t id, const char* col, Values& vals, int32_t sqlType) {
    Stmt s(conn_);
    const std::string sql = std::string("INSERT INTO v (id, ") + col + ") VALUES (?, ?)";
    EXPECT_EQ(s.Prepare(sql), 0u) << ::testing::PrintToString(Errors(s.h()));
    const JdbcColBind binds[2] = {Bind(4), Bind(sqlType)};
    EXPECT_EQ(Ops().DRV_BindCols(s.h(), 2, binds), 0u);
    EXPECT_EQ(Ops().DRV_SetParams(s.h(), vals.Give()), 0u);
    // The id is written into the first column of the handed-over set.
    COLSET* set = s.rec()->params;
    std::memcpy(set->cols[0].data, &id, 4);
    set->cols[0].ind[0] = 0;
    const uint32_t rc = s.Execute();
    errors_ = Errors(s.h());
    return rc;
  }

  // Rows matching `where` in table v, counted through the agent.
  int32_t Count(const std::string& where) {
    Stmt s(conn_);
    const std::string sql = "SELECT COUNT(*) FROM v WHERE " + where;
    EXPECT_EQ(s.Run(sql), 0u) << sql << ::testing::PrintToString(Errors(s.h()));
    Rows r;
    EXPECT_EQ(Ops().DRV_Fetch(s.h(), 1, &r.set), 0u);
    return r.set.rows_held == 1 ? std::stoi(r.Text(0, 0)) : -1;
  }

  uint32_t conn_ = 0;
  std::vector<std::string> errors_;
};

// One value of one value type code, sent for one SQL type, that must land
// as the SQL literal says.
struct Case {
  const char* name;
  uint32_t code;
  uint32_t size;
  std::vector<unsigned char> cell;
  int32_t sqlType;
  const char* column;
  const char* literal;
};

template <class T>
std::vector<unsigned char> Bytes(T v) {
  std::vector<unsigned char> b(sizeof v);
  std::memcpy(b.data(), &v, sizeof v);
  return b;
}
std::vector<unsigned char> Text(const std::string& t, size_t width) {
  std::vector<unsigned char> b(width, 0);
  std::memcpy(b.data(), t.data(), std::min(t.size(), width));
  return b;
}
std::vector<unsigned char> Wide(const std::u16string& t, size_t width) {
  std::vector<unsigned char> b(width, 0);
  std::memcpy(b.data(), t.data(), std::min(t.size() * 2, width));
  return b;
}
template <class L>
std::vector<unsigned char> Prefixed(const std::string& t, L len, size_t width) {
  std::vector<unsigned char> b(width, 'Z');  // bytes beyond the length are no part of it
  std::memcpy(b.data(), &len, sizeof len);
  std::memcpy(b.data() + sizeof len, t.data(), t.size());
  return b;
}

TEST_F(ParamTest, EveryInlineValueCodeLandsExactly) {
  const JC_Date date{2020, 12, 24};
  const JC_Time time{10, 30, 5, 0, 0};
  const JC_Timestamp ts{2024, 2, 29, 13, 5, 9, 500000000};
  const std::u16string omega = u"\u03A9mega \u00FC";
  const std::u16string emoji = u"smile \U0001F600";
  std::vector<unsigned char> wideNts = Wide(emoji, 40);
  std::vector<unsigned char> wide32(4 + 2 * omega.size() + 6, 0);
  const uint32_t units = static_cast<uint32_t>(omega.size());
  std::memcpy(wide32.data(), &units, 4);
  std::memcpy(wide32.data() + 4, omega.data(), 2 * omega.size());
  const std::vector<Case> cases = {
      {"char padded", 1, 12, Text("hello", 12), 12, "c", "'hello'"},
      {"char to int", 1, 6, Text(" -42 ", 6), 4, "i", "-42"},
      {"char to bigint", 1, 20, Text("9007199254740993", 20), -5, "bi", "9007199254740993"},
      {"char to double", 1, 8, Text("2.5e-3", 8), 8, "d", "2.5E-3"},
      {"char to decimal", 1, 26, Text("123456789012345678.123456", 26), 3, "dec",
       "123456789012345678.123456"},
      {"char to date", 1, 10, Text("24.12.2020", 10), 91, "dt", "DATE '2020-12-24'"},
      {"char to odbc2 date", 17, 11, Text("2020-12-24", 11), 9, "dt", "DATE '2020-12-24'"},
      {"char to time", 17, 6, Text("10:30", 6), 92, "tm", "TIME '10:30:00'"},
      {"char to timestamp", 17, 24, Text("2024-02-29 13:05:09.5", 24), 93, "ts",
       "TIMESTAMP '2024-02-29 13:05:09.500000000'"},
      {"char true", 17, 4, Text("true", 4), -7, "bo", "TRUE"},
      {"char false", 17, 4, Text("no", 4), -7, "bo", "FALSE"},
      {"bit", 2, 1, Bytes<uint8_t>(1), -7, "bo", "TRUE"},
      {"tinyint", 3, 1, Bytes<int8_t>(-5), -6, "ti", "-5"},
      {"smallint", 4, 2, Bytes<int16_t>(-1234), 5, "si", "-1234"},
      {"integer", 5, 4, Bytes<int32_t>(2147483647), 4, "i", "2147483647"},
      {"integer as text", 5, 4, Bytes<int32_t>(-17), 12, "c", "'-17'"},
      {"utinyint", 6, 1, Bytes<uint8_t>(200), 5, "si", "200"},
      {"usmallint", 7, 2, Bytes<uint16_t>(65535), 4, "i", "65535"},
      {"uinteger", 8, 4, Bytes<uint32_t>(4000000000u), -5, "bi", "4000000000"},
      {"uinteger to int", 8, 4, Bytes<uint32_t>(4000000000u), 4, "bi", "4000000000"},
      {"real", 9, 4, Bytes<float>(1.5f), 7, "r", "1.5E0"},
      {"double", 10, 8, Bytes<double>(0.1), 8, "d", "0.1E0"},
      {"double as float keeps its precision", 10, 8, Bytes<double>(0.1), 6, "d", "0.1E0"},
      {"double as text", 10, 8, Bytes<double>(0.1), 12, "c", "'0.1'"},
      {"date", 11, 6, Bytes(date), 91, "dt", "DATE '2020-12-24'"},
      {"date odbc2", 11, 6, Bytes(date), 9, "dt", "DATE '2020-12-24'"},
      {"time", 12, 16, Bytes(time), 92, "tm", "TIME '10:30:05'"},
      {"timestamp", 13, 20, Bytes(ts), 93, "ts", "TIMESTAMP '2024-02-29 13:05:09.500000000'"},
      {"binary", 14, 4, {0x0A, 0x1B, 0x00, 0xFF}, -3, "b", "X'0A1B00FF'"},
      {"nts", 17, 16,
       Text("Gr\xC3\xBC\xC3\x9F"
            "e",
            16),
       12, "c",
       "'Gr\xC3\xBC\xC3\x9F"
       "e'"},
      {"char8", 18, 10, Prefixed<uint8_t>("abc", 3, 10), 12, "c", "'abc'"},
      {"char16", 19, 10, Prefixed<uint16_t>("abcd", 4, 10), 12, "c", "'abcd'"},
      {"char32", 20, 12, Prefixed<uint32_t>("abcde", 5, 12), 1, "c", "'abcde'"},
      {"char32 length beyond the cell", 20, 8, Prefixed<uint32_t>("wxyz", 200, 8), 12, "c",
       "'wxyz'"},
      {"binary8", 21, 6, Prefixed<uint8_t>("\x01\x02", 2, 6), -3, "b", "X'0102'"},
      {"binary16", 22, 6, Prefixed<uint16_t>("\x03\x04", 2, 6), -2, "b", "X'0304'"},
      {"binary32", 23, 8, Prefixed<uint32_t>("\x05\x06\x07", 3, 8), -3, "b", "X'050607'"},
      {"wide fixed", 24, 24, Wide(omega, 24), -9, "c", "'\xCE\xA9mega \xC3\xBC'"},
      {"wide nts with a pair", 25, 40, wideNts, -9, "c", "'smile \xF0\x9F\x98\x80'"},
      {"wide prefixed", 27, static_cast<uint32_t>(wide32.size()), wide32, 12, "c",
       "'\xCE\xA9mega \xC3\xBC'"},
      {"wide to decimal", 24, 10, Wide(u"-12.50", 10), 2, "dec", "-12.5"},
  };
  int32_t id = 1000;
  for (const Case& c : cases) {
    ++id;
    Values vals({{COLSET_VT_INTEGER, 4}, {c.code, c.size}}, 1);
    ASSERT_EQ(c.cell.size(), c.size) << c.name;
    vals.Put(1, 0, c.cell.data(), c.cell.size());
    ASSERT_EQ(Insert(id, c.column, vals, c.sqlType), 0u)
        << c.name << ::testing::PrintToString(errors_);
    EXPECT_EQ(Count("id = " + std::to_string(id) + " AND " + c.column + " = " + c.literal), 1)
        << c.name;
  }
}

TEST_F(ParamTest, OutOfLineValuesKeepTheirCharacters) {
  const std::string text = "long \xC3\xBC \xE2\x82\xAC text " + std::string(3000, 'x');
  Values a({{COLSET_VT_INTEGER, 4}, {COLSET_VT_LONGCHAR, sizeof(COLSET_LONG)}}, 1);
  a.PutLong(1, 0, text.data(), static_cast<uint32_t>(text.size()));
  ASSERT_EQ(Insert(2001, "lv", a, -1), 0u) << ::testing::PrintToString(errors_);
  EXPECT_EQ(Count("id = 2001 AND lv = 'long \xC3\xBC \xE2\x82\xAC text ' || REPEAT('x', 3000)"), 1);

  const std::u16string wide = u"wide \u00FC\u20AC \U0001F600";
  Values w({{COLSET_VT_INTEGER, 4}, {COLSET_VT_LONGWCHAR, sizeof(COLSET_LONG)}}, 1);
  w.PutLong(1, 0, wide.data(), static_cast<uint32_t>(wide.size()), 2);
  ASSERT_EQ(Insert(2002, "lv", w, -10), 0u) << ::testing::PrintToString(errors_);
  EXPECT_EQ(Count("id = 2002 AND lv = 'wide \xC3\xBC\xE2\x82\xAC \xF0\x9F\x98\x80'"), 1);

  const unsigned char bin[5] = {0, 1, 0xFE, 0x7F, 0x80};
  Values b({{COLSET_VT_INTEGER, 4}, {COLSET_VT_LONGBINARY, sizeof(COLSET_LONG)}}, 1);
  b.PutLong(1, 0, bin, 5);
  ASSERT_EQ(Insert(2003, "lb", b, -4), 0u) << ::testing::PrintToString(errors_);
  EXPECT_EQ(Count("id = 2003 AND lb = X'0001FE7F80'"), 1);
}

TEST_F(ParamTest, NullsOfEveryKind) {
  const struct {
    uint32_t code;
    uint32_t size;
    int32_t sqlType;
    const char* column;
  } nulls[] = {{5, 4, 4, "i"},   {17, 8, 12, "c"}, {11, 6, 9, "dt"}, {13, 16, 93, "ts"},
               {24, 8, -9, "c"}, {14, 4, -3, "b"}, {10, 8, 8, "d"},  {17, 8, -10, "lv"}};
  int32_t id = 3000;
  for (const auto& n : nulls) {
    ++id;
    Values vals({{COLSET_VT_INTEGER, 4}, {n.code, n.size}}, 1);
    vals.Null(1, 0);
    ASSERT_EQ(Insert(id, n.column, vals, n.sqlType), 0u)
        << n.column << " " << ::testing::PrintToString(errors_);
    EXPECT_EQ(Count("id = " + std::to_string(id) + " AND " + n.column + " IS NULL"), 1);
  }
}

TEST_F(ParamTest, TextForNumbersIsReadOnlyWithinItsCell) {
  // Two rows of fixed-width text without terminators: the first value must
  // not run on into the second.
  Stmt s(conn_);
  ASSERT_EQ(s.Prepare("INSERT INTO v (id, i) VALUES (?, ?)"), 0u);
  Values vals({{COLSET_VT_CHAR, 2}, {COLSET_VT_CHAR, 2}}, 2);
  vals.PutText(0, 0, "41");
  vals.PutText(1, 0, "42");
  vals.PutText(0, 1, "43");
  vals.PutText(1, 1, "99");
  const JdbcColBind binds[2] = {Bind(4), Bind(4)};
  ASSERT_EQ(Ops().DRV_BindCols(s.h(), 2, binds), 0u);
  ASSERT_EQ(Ops().DRV_SetParams(s.h(), vals.Give()), 0u);
  ASSERT_EQ(s.Execute(), 0u) << ::testing::PrintToString(Errors(s.h()));
  EXPECT_EQ(RowCount(s.h()), 2u);
  EXPECT_EQ(Count("id = 41 AND i = 42"), 1);
  EXPECT_EQ(Count("id = 43 AND i = 99"), 1);
}

TEST_F(ParamTest, RangeAndTypeFailures) {
  struct Bad {
    const char* name;
    uint32_t code;
    uint32_t size;
    std::vector<unsigned char> cell;
    int32_t sqlType;
    uint32_t rc;
  };
  const JC_Date date{2020, 1, 2};
  const std::vector<Bad> bad = {
      {"signed 200 as tinyint", 4, 2, Bytes<int16_t>(200), -6, ERR_NUMERIC_RANGE},
      {"unsigned 70000 as smallint", 8, 4, Bytes<uint32_t>(70000), 5, ERR_NUMERIC_RANGE},
      {"text 40000 as smallint", 17, 8, Text("40000", 8), 5, ERR_NUMERIC_RANGE},
      {"text -42ab as integer", 17, 8, Text("-42ab", 8), 4, ERR_INVALID_CAST_VALUE},
      {"text 1e400 as double", 17, 8, Text("1e400", 8), 8, ERR_NUMERIC_RANGE},
      {"text 30.02.2024 as date", 17, 12, Text("30.02.2024", 12), 91, ERR_DATE_OVERFLOW},
      {"text yesterday as date", 17, 12, Text("yesterday", 12), 91, ERR_DATETIME_FORMAT},
      {"double beyond float", 10, 8, Bytes<double>(1e39), 7, ERR_NUMERIC_RANGE},
      {"double beyond int", 10, 8, Bytes<double>(1e12), 4, ERR_NUMERIC_RANGE},
      {"date for an integer", 11, 6, Bytes(date), 4, ERR_NOT_CAPABLE},
      {"integer for a date", 5, 4, Bytes<int32_t>(1), 91, ERR_NOT_CAPABLE},
      {"unknown SQL type", 5, 4, Bytes<int32_t>(1), 1234, ERR_NOT_CAPABLE},
      {"unknown value code", 0, 4, Bytes<int32_t>(1), 4, ERR_NOT_CAPABLE},
  };
  int32_t id = 4000;
  for (const Bad& b : bad) {
    ++id;
    Values vals({{COLSET_VT_INTEGER, 4}, {b.code, b.size}}, 1);
    vals.Put(1, 0, b.cell.data(), b.cell.size());
    EXPECT_EQ(Insert(id, "i", vals, b.sqlType), b.rc) << b.name;
    EXPECT_EQ(Count("id = " + std::to_string(id)), 0) << b.name;
  }
  // An unsigned 200 is a valid TINYINT value for the setter (setShort);
  // HSQLDB's TINYINT refuses it, so the failure is the database's.
  Values vals({{COLSET_VT_INTEGER, 4}, {COLSET_VT_UTINYINT, 1}}, 1);
  vals.PutV<uint8_t>(1, 0, 100);
  EXPECT_EQ(Insert(4100, "ti", vals, -6), 0u) << ::testing::PrintToString(errors_);
  EXPECT_EQ(Count("id = 4100 AND ti = 100"), 1);
}

TEST_F(ParamTest, ArraysAddUpdateCountsAndLeaveSkippedSetsUnread) {
  Stmt s(conn_);
  ASSERT_EQ(s.Prepare("INSERT INTO v (id, ti) VALUES (?, ?)"), 0u);
  Values vals({{COLSET_VT_INTEGER, 4}, {COLSET_VT_SMALLINT, 2}}, 4);
  for (uint32_t r = 0; r < 4; ++r) {
    vals.PutV<int32_t>(0, r, static_cast<int32_t>(5000 + r));
    vals.PutV<int16_t>(1, r, static_cast<int16_t>(r));
  }
  // The skipped set holds a value that fails if it is ever read.
  vals.PutV<int16_t>(1, 2, 999);
  vals.Skip(0, 2);
  vals.Skip(1, 2);
  const JdbcColBind binds[2] = {Bind(4), Bind(-6)};
  ASSERT_EQ(Ops().DRV_BindCols(s.h(), 2, binds), 0u);
  ASSERT_EQ(Ops().DRV_SetParams(s.h(), vals.Give()), 0u);
  ASSERT_EQ(s.Execute(), 0u) << ::testing::PrintToString(Errors(s.h()));
  EXPECT_EQ(RowCount(s.h()), 3u);
  EXPECT_EQ(Count("id BETWEEN 5000 AND 5003"), 3);
  EXPECT_EQ(Count("id = 5002"), 0);
}

TEST_F(ParamTest, FailureInTheSecondSetLeavesTheCountOfSetsDone) {
  Stmt s(conn_);
  ASSERT_EQ(s.Prepare("INSERT INTO v (id, ti) VALUES (?, ?)"), 0u);
  Values vals({{COLSET_VT_INTEGER, 4}, {COLSET_VT_SMALLINT, 2}}, 3);
  for (uint32_t r = 0; r < 3; ++r) {
    vals.PutV<int32_t>(0, r, static_cast<int32_t>(5100 + r));
    vals.PutV<int16_t>(1, r, r == 1 ? 300 : 1);
  }
  const JdbcColBind binds[2] = {Bind(4), Bind(-6)};
  ASSERT_EQ(Ops().DRV_BindCols(s.h(), 2, binds), 0u);
  ASSERT_EQ(Ops().DRV_SetParams(s.h(), vals.Give()), 0u);
  EXPECT_EQ(s.Execute(), ERR_NUMERIC_RANGE);
  EXPECT_EQ(RowCount(s.h()), 1u);
  EXPECT_EQ(Count("id BETWEEN 5100 AND 5102"), 1);
}

TEST_F(ParamTest, MoreResultsStepsThroughTheSetsOfASelect) {
  Stmt s(conn_);
  ASSERT_EQ(s.Prepare("SELECT id FROM (VALUES (1), (2), (3), (4)) AS x(id) WHERE id >= ? "
                      "ORDER BY id"),
            0u)
      << ::testing::PrintToString(Errors(s.h()));
  EXPECT_EQ(s.rec()->paramCount, 1);
  Values vals({{COLSET_VT_INTEGER, 4}}, 3);
  vals.PutV<int32_t>(0, 0, 4);
  vals.PutV<int32_t>(0, 1, 2);
  vals.PutV<int32_t>(0, 2, 3);
  const JdbcColBind bind = Bind(4);
  ASSERT_EQ(Ops().DRV_PrepareExecute(s.h(), nullptr, vals.Give(), 1, &bind), 0u)
      << ::testing::PrintToString(Errors(s.h()));
  std::vector<uint32_t> sizes;
  uint32_t rc = 0;
  int guard = 0;
  do {
    Rows r;
    ASSERT_EQ(Ops().DRV_Fetch(s.h(), 10, &r.set), 0u);
    sizes.push_back(r.set.rows_held);
    rc = Ops().DRV_MoreResults(s.h());
  } while (rc == 0 && ++guard < 10);
  EXPECT_EQ(rc, EXEC_NO_MORE_RESULTS);
  EXPECT_EQ(sizes, (std::vector<uint32_t>{1, 3, 2}));
}

TEST_F(ParamTest, ExecuteWithoutValuesIsRefused) {
  Stmt s(conn_);
  ASSERT_EQ(s.Prepare("INSERT INTO v (id) VALUES (?)"), 0u);
  EXPECT_EQ(s.Execute(), EXEC_NO_PARAMS);
}

TEST_F(ParamTest, DefaultDescriptionsAndDescribeOnRequest) {
  Stmt s(conn_);
  ASSERT_EQ(s.Prepare("INSERT INTO v (i, c) VALUES (?, ?)"), 0u);
  uint16_t n = 0;
  JdbcColDesc* d = nullptr;
  ASSERT_EQ(Ops().DRV_DescribeCols(s.h(), &n, &d), 0u);
  ASSERT_EQ(n, 2);
  EXPECT_EQ(d[0].sql_type, -9999);
  EXPECT_STREQ(d[0].name, "");
  ColDescFree(d, n);
  // Asking describes each marker by the column it is inserted into.
  uint32_t on = 1;
  EXPECT_EQ(Ops().DRV_SetOption(s.h(), OPT_DESCRIBE_PARAMS, &on), 0u);
  EXPECT_EQ(s.rec()->paramDescs[0].sql_type, 4);
  EXPECT_EQ(s.rec()->paramDescs[1].sql_type, 12);
  EXPECT_EQ(s.rec()->paramDescs[1].precision, 200u);
  EXPECT_EQ(s.rec()->paramsDescribed, 1u);
  // Probe columns go to the markers they name; a refused probe is skipped
  // and leaves no diagnostic.
  copyParamDescsFromProbes(s.rec(), {{"SELECT nope FROM v WHERE 1=0 ", {0}},
                                     {"SELECT d, i, ts FROM v WHERE 1=0 ", {1, -1, 0}}});
  EXPECT_EQ(s.rec()->paramDescs[0].sql_type, 11);  // the connection speaks ODBC 2 until told
  EXPECT_EQ(s.rec()->paramDescs[1].sql_type, 8);
  EXPECT_TRUE(Errors(s.h()).empty());
  // Not prepared: sequence error.
  Stmt fresh(conn_);
  EXPECT_EQ(describeParams(fresh.rec()), ERR_FUNCTION_SEQUENCE);
}

// ---------------------------------------------------------------------------
// Procedure calls.

class ProcTest : public ParamTest {
 protected:
  static void SetUpTestSuite() {
    ParamTest::SetUpTestSuite();
    const uint32_t c = Connect("param");
    ASSERT_NE(c, 0u);
    Exec(c, {"DROP PROCEDURE p_io IF EXISTS", "DROP FUNCTION f_twice IF EXISTS",
             "DROP PROCEDURE p_null IF EXISTS", "DROP PROCEDURE p_log IF EXISTS",
             "CREATE PROCEDURE p_io(IN a INTEGER, OUT b VARCHAR(20), INOUT c INTEGER) "
             "READS SQL DATA BEGIN ATOMIC SET b = 'got ' || CAST(a AS VARCHAR(10)); "
             "SET c = c * 2; END",
             "CREATE FUNCTION f_twice(x INTEGER) RETURNS INTEGER RETURN x * 2",
             "CREATE PROCEDURE p_null(IN a INTEGER, OUT b VARCHAR(20)) "
             "READS SQL DATA BEGIN ATOMIC SET b = NULL; END",
             "CREATE PROCEDURE p_log(IN a INTEGER, OUT n INTEGER) MODIFIES SQL DATA "
             "BEGIN ATOMIC INSERT INTO v (id) VALUES (a); SET n = a + 1; END"});
    Ops().DRV_Disconnect(c);
  }
};

TEST_F(ProcTest, InOutAndInOutParametersComeBackInRowZero) {
  for (const char* sql : {"{call p_io(?, ?, ?)}", "CALL p_io(?, ?, ?)"}) {
    Stmt s(conn_);
    ASSERT_EQ(s.Prepare(sql), 0u) << sql << ::testing::PrintToString(Errors(s.h()));
    EXPECT_NE(s.rec()->flags & STMT_PREPARE_CALL, 0) << sql;
    ASSERT_EQ(s.rec()->paramDescCount, 3);
    EXPECT_STREQ(s.rec()->paramDescs[1].name, "*B");
    Values vals({{COLSET_VT_INTEGER, 4}, {COLSET_VT_NTS, 21}, {COLSET_VT_INTEGER, 4}}, 1);
    vals.PutV<int32_t>(0, 0, 21);
    vals.PutText(1, 0, "ignored");  // an output parameter's value is never sent
    vals.PutV<int32_t>(2, 0, 50);
    const JdbcColBind binds[3] = {Bind(4, PARAM_DIR_IN), Bind(12, PARAM_DIR_OUT),
                                  Bind(4, PARAM_DIR_INOUT)};
    ASSERT_EQ(Ops().DRV_PrepareExecute(s.h(), nullptr, vals.Give(), 3, binds), EXEC_OUT_PARAMS)
        << sql << ::testing::PrintToString(Errors(s.h()));
    EXPECT_NE(s.rec()->flags & STMT_OUT_REGISTERED, 0);
    Rows r;
    ASSERT_EQ(Ops().DRV_Fetch(s.h(), 0, &r.set), 0u) << ::testing::PrintToString(Errors(s.h()));
    ASSERT_EQ(r.set.cols_used, 3);
    EXPECT_EQ(r.Int(0, 0), 21);  // input copied over
    EXPECT_EQ(r.Text(1, 0), "got 21");
    EXPECT_FALSE(r.IsNull(1, 0));
    EXPECT_EQ(r.Int(2, 0), 100);
    EXPECT_NE(s.rec()->flags & STMT_NO_MORE_ROWS, 0);
  }
}

// HSQLDB takes the leading marker of {? = call f(?)} as an input parameter,
// so the function's value cannot be registered there: the call is prepared
// as a call with both markers, and the refusal comes back as a diagnostic
// on the statement rather than as a success with no value.
TEST_F(ProcTest, FunctionValueMarkerIsRegisteredAsOutput) {
  Stmt s(conn_);
  ASSERT_EQ(s.Prepare("{? = call f_twice(?)}"), 0u) << ::testing::PrintToString(Errors(s.h()));
  EXPECT_NE(s.rec()->flags & STMT_PREPARE_CALL, 0);
  EXPECT_EQ(s.rec()->markerCount, 2);
  Values vals({{COLSET_VT_INTEGER, 4}, {COLSET_VT_INTEGER, 4}}, 1);
  vals.Null(0, 0);
  vals.PutV<int32_t>(1, 0, 17);
  const JdbcColBind binds[2] = {Bind(4, PARAM_DIR_OUT), Bind(4, PARAM_DIR_IN)};
  EXPECT_NE(Ops().DRV_PrepareExecute(s.h(), nullptr, vals.Give(), 2, binds), 0u);
  const std::vector<std::string> errs = Errors(s.h());
  ASSERT_FALSE(errs.empty());
  EXPECT_NE(errs[0].find("parameter: 1"), std::string::npos) << errs[0];
}

TEST_F(ProcTest, OutputLeftNullAndOutputAsOtherForms) {
  Stmt s(conn_);
  ASSERT_EQ(s.Prepare("{call p_null(?, ?)}"), 0u);
  Values vals({{COLSET_VT_INTEGER, 4}, {COLSET_VT_NTS, 21}}, 1);
  vals.PutV<int32_t>(0, 0, 1);
  vals.PutText(1, 0, "stale");
  const JdbcColBind binds[2] = {Bind(4), Bind(12, PARAM_DIR_OUT)};
  ASSERT_EQ(Ops().DRV_PrepareExecute(s.h(), nullptr, vals.Give(), 2, binds), EXEC_OUT_PARAMS);
  Rows r;
  ASSERT_EQ(Ops().DRV_Fetch(s.h(), 0, &r.set), 0u);
  EXPECT_TRUE(r.IsNull(1, 0));

  // The same output read as fixed-width wide text and as a prefixed one.
  Stmt w(conn_);
  ASSERT_EQ(w.Prepare("{call p_io(?, ?, ?)}"), 0u);
  Values wv({{COLSET_VT_INTEGER, 4}, {COLSET_VT_WCHAR32, 4 + 40}, {COLSET_VT_DOUBLE, 8}}, 1);
  wv.PutV<int32_t>(0, 0, 7);
  wv.PutV<double>(2, 0, 1.5);
  const JdbcColBind wb[3] = {Bind(4), Bind(-9, PARAM_DIR_OUT), Bind(8, PARAM_DIR_INOUT)};
  ASSERT_EQ(Ops().DRV_PrepareExecute(w.h(), nullptr, wv.Give(), 3, wb), EXEC_OUT_PARAMS)
      << ::testing::PrintToString(Errors(w.h()));
  Rows wr;
  ASSERT_EQ(Ops().DRV_Fetch(w.h(), 0, &wr.set), 0u) << ::testing::PrintToString(Errors(w.h()));
  uint32_t units = 0;
  std::memcpy(&units, wr.Elem(1, 0), 4);
  ASSERT_EQ(units, 5u);
  std::u16string got(units, u'\0');
  std::memcpy(&got[0], wr.Elem(1, 0) + 4, 2 * units);
  EXPECT_EQ(got, u"got 7");
  EXPECT_EQ(wr.Double(2, 0), 2.0);  // 1.5 sent as DOUBLE to an INTEGER, doubled
}

TEST_F(ProcTest, ProcedureWithArraySetsAndNoMarkers) {
  Stmt s(conn_);
  ASSERT_EQ(s.Prepare("{call p_log(?, ?)}"), 0u);
  Values vals({{COLSET_VT_INTEGER, 4}, {COLSET_VT_INTEGER, 4}}, 2);
  vals.PutV<int32_t>(0, 0, 6001);
  vals.PutV<int32_t>(0, 1, 6002);
  const JdbcColBind binds[2] = {Bind(4), Bind(4, PARAM_DIR_OUT)};
  ASSERT_EQ(Ops().DRV_PrepareExecute(s.h(), nullptr, vals.Give(), 2, binds), EXEC_OUT_PARAMS)
      << ::testing::PrintToString(Errors(s.h()));
  EXPECT_EQ(Count("id IN (6001, 6002)"), 2);
  Rows r;
  ASSERT_EQ(Ops().DRV_Fetch(s.h(), 0, &r.set), 0u);
  EXPECT_EQ(r.set.rows_held, 2u);
  EXPECT_EQ(r.Int(1, 0), 6003);  // the last set's output lands in row 0

  // A call without markers is prepared as a call too, and has nothing to
  // deliver.
  Stmt none(conn_);
  ASSERT_EQ(none.Prepare("CALL ABS(-1)"), 0u) << ::testing::PrintToString(Errors(none.h()));
  EXPECT_NE(none.rec()->flags & STMT_PREPARE_CALL, 0);
  EXPECT_EQ(none.Execute(), 0u) << ::testing::PrintToString(Errors(none.h()));
  Rows e;
  ASSERT_EQ(Ops().DRV_Fetch(none.h(), 0, &e.set), 0u);
  EXPECT_EQ(e.set.cols_used, 0);
}

}  // namespace
