// A value reaches the application the same whichever way it is asked for:
// every kind of value the agent delivers on HSQLDB, into every C type and a
// roomy and a short buffer, read with SQLGetData and bound for SQLFetch give
// the same bytes, length, return code, SQLSTATE and converter trace lines.
// The bound fetch takes its own shortcuts past SQLGetData's checks; this is
// where they answer for it.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Diag;

const char* const kTable =
    "CREATE TABLE CPATHS (K INTEGER, BO BOOLEAN, TI TINYINT, SI SMALLINT, I INTEGER, BI BIGINT,"
    " DE DECIMAL(12,2), RE REAL, DB DOUBLE, CH CHAR(6), VC VARCHAR(40), CL CLOB, BN BINARY(3),"
    " VB VARBINARY(6), BL BLOB, DA DATE, TM TIME, TS TIMESTAMP(3))";
// Limits, signs, fractions, zero, text that reads as numbers and as a GUID,
// text that is not ASCII, and NULLs.
const char* const kRows[] = {
    "1, TRUE, 127, -300, 2147483647, -9223372036854775808, -0.05, 1.5, -2.5E-3, 'ab', "
    "'abcdefghijk', 'long text', X'0A0B0C', X'01020304', X'FF00', DATE '2024-02-29', "
    "TIME '23:59:58', TIMESTAMP '2020-01-02 03:04:05.500'",
    "2, FALSE, -5, 0, -1, 123456789012345678, 9999999999.99, -3.25E30, 1E300, '-7', ' 12 ', "
    "'12345678-1234-1234-1234-123456789ABC', X'00', X'', X'00', DATE '1999-12-31', "
    "TIME '00:00:00', TIMESTAMP '1999-12-31 23:59:59.000'",
    "3, TRUE, 0, 32767, 65536, 9223372036854775807, 0.00, 0, 255.75, '1.25', "
    "'gr\xC3\xBC\xC3\x9F \xE2\x82\xAC', '9.5', X'FFFFFF', X'00FF', X'', DATE '0001-01-01', "
    "TIME '12:30:00', TIMESTAMP '2000-01-01 00:00:00.001'",
    "4, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
    "NULL, NULL, NULL",
};
constexpr SQLUSMALLINT kColumns = 17;  // after K
constexpr size_t kBuffer = 64;

const SQLSMALLINT kCTypes[] = {
    SQL_C_CHAR,      SQL_C_WCHAR,     SQL_C_BINARY,         SQL_C_BIT,    SQL_C_STINYINT,
    SQL_C_UTINYINT,  SQL_C_SSHORT,    SQL_C_USHORT,         SQL_C_SLONG,  SQL_C_ULONG,
    SQL_C_SBIGINT,   SQL_C_UBIGINT,   SQL_C_FLOAT,          SQL_C_DOUBLE, SQL_C_NUMERIC,
    SQL_C_TYPE_DATE, SQL_C_TYPE_TIME, SQL_C_TYPE_TIMESTAMP, SQL_C_GUID,   SQL_C_DEFAULT};

// What one read gave.
struct Outcome {
  SQLRETURN rc = 0;
  std::string states;
  SQLLEN ind = 0;
  std::string bytes;
  std::string trace;
  bool operator==(const Outcome& o) const {
    return std::tie(rc, states, ind, bytes, trace) ==
           std::tie(o.rc, o.states, o.ind, o.bytes, o.trace);
  }
};

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
  os << "rc " << o.rc << " [" << o.states << "] ind " << o.ind << " bytes";
  for (unsigned char c : o.bytes) os << ' ' << static_cast<int>(c);
  return os << "\n" << o.trace;
}

// The converters' lines the driver's trace gained since the last call. Each
// build of the driver writes the file through a descriptor of its own, at
// an offset of its own (the one loaded later opened it afresh), so what is
// new is read from where each descriptor stood.
class TraceTail {
 public:
  TraceTail() {
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
      std::error_code ec;
      if (std::filesystem::read_symlink(e.path(), ec) == qmr_test::TraceFile())
        seen_[std::stoi(e.path().filename().string())] = 0;
    }
    Lines();
  }
  std::string Lines() {
    std::string out;
    for (auto& [fd, seen] : seen_) {
      const off_t at = lseek(fd, 0, SEEK_CUR);
      std::ifstream in(seen > 0 && at > seen ? qmr_test::TraceFile() : std::string());
      in.seekg(seen);
      for (std::string line; in && in.tellg() < at && std::getline(in, line);)
        if (line.rfind("Convert", 0) == 0 || line.find("CharTo") != std::string::npos ||
            line.rfind("DoubleTo", 0) == 0)
          out += line + "\n";
      seen = at;
    }
    return out;
  }

 private:
  std::map<int, off_t> seen_;
};

class ConvPathsDm : public qmr_test::DmTest {
 protected:
  void Run(const std::string& sql) {
    SQLFreeStmt(stmt_, SQL_CLOSE);
    std::u16string w = qmr_test::FromUtf8(sql);
    const SQLRETURN rc = GetParam().back() == 'U'
                             ? SQLExecDirectW(stmt_, reinterpret_cast<SQLWCHAR*>(&w[0]), SQL_NTS)
                             : SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS);
    ASSERT_TRUE(SQL_SUCCEEDED(rc)) << sql << "\n" << Diag(SQL_HANDLE_STMT, stmt_);
  }
  // SQL_C_NUMERIC reads its precision and scale from the record, bound or not.
  // Bound, its data pointer goes last: setting the type unbinds the record.
  SQLHDESC Describe(SQLUSMALLINT col) {
    SQLHDESC ard = nullptr;
    SQLGetStmtAttr(stmt_, SQL_ATTR_APP_ROW_DESC, &ard, 0, nullptr);
    SQLSetDescField(ard, col, SQL_DESC_TYPE, (SQLPOINTER)SQL_C_NUMERIC, 0);
    SQLSetDescField(ard, col, SQL_DESC_PRECISION, (SQLPOINTER)12, 0);
    SQLSetDescField(ard, col, SQL_DESC_SCALE, (SQLPOINTER)2, 0);
    return ard;
  }
  Outcome Take(SQLRETURN rc, const unsigned char* buf, SQLLEN ind, TraceTail& trace) {
    Outcome o;
    o.rc = rc;
    if (rc != SQL_SUCCESS)
      for (const std::string& s : qmr_test::States(SQL_HANDLE_STMT, stmt_)) o.states += s + " ";
    o.ind = ind;
    o.bytes.assign(reinterpret_cast<const char*>(buf), kBuffer);
    o.trace = trace.Lines();
    return o;
  }
};

TEST_P(ConvPathsDm, GetDataAndBoundColumnsAgreeForEveryTypePair) {
  if (qmr_test::OnPostgres()) GTEST_SKIP() << "the table is HSQLDB's kinds of value";
  SQLFreeStmt(stmt_, SQL_CLOSE);
  Run("DROP TABLE IF EXISTS CPATHS");
  Run(kTable);
  for (const char* row : kRows) Run(std::string("INSERT INTO CPATHS VALUES (") + row + ")");
  const std::string select = "SELECT * FROM CPATHS ORDER BY K";
  unsigned char buf[kBuffer];
  SQLLEN ind = 0;
  size_t traced = 0;
  for (SQLSMALLINT cType : kCTypes)
    for (SQLLEN size : {SQLLEN{40}, SQLLEN{5}}) {
      TraceTail trace;
      // Every value through SQLGetData, row by row.
      std::vector<Outcome> got;
      ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt_, SQL_UNBIND));
      for (SQLUSMALLINT c = 2; c <= kColumns + 1 && cType == SQL_C_NUMERIC; ++c) Describe(c);
      Run(select);
      while (SQLFetch(stmt_) == SQL_SUCCESS) {
        trace.Lines();
        for (SQLUSMALLINT c = 2; c <= kColumns + 1; ++c) {
          std::memset(buf, 0xEE, sizeof buf);
          ind = 12345;
          const SQLRETURN rc = SQLGetData(stmt_, c, cType, buf, size, &ind);
          got.push_back(Take(rc, buf, ind, trace));
        }
      }
      ASSERT_EQ(got.size(), std::size(kRows) * kColumns) << Diag(SQL_HANDLE_STMT, stmt_);
      // Each column alone bound, one row a fetch.
      for (SQLUSMALLINT c = 2; c <= kColumns + 1; ++c) {
        ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt_, SQL_UNBIND));
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, c, cType, buf, size, &ind))
            << cType << " " << Diag(SQL_HANDLE_STMT, stmt_);
        if (cType == SQL_C_NUMERIC) {
          SQLHDESC ard = Describe(c);
          SQLSetDescField(ard, c, SQL_DESC_OCTET_LENGTH, (SQLPOINTER)size, 0);
          SQLSetDescField(ard, c, SQL_DESC_INDICATOR_PTR, &ind, 0);
          SQLSetDescField(ard, c, SQL_DESC_OCTET_LENGTH_PTR, &ind, 0);
          SQLSetDescField(ard, c, SQL_DESC_DATA_PTR, buf, 0);
        }
        Run(select);
        for (size_t r = 0; r < std::size(kRows); ++r) {
          std::memset(buf, 0xEE, sizeof buf);
          ind = 12345;
          trace.Lines();
          const SQLRETURN rc = SQLFetch(stmt_);
          const Outcome bound = Take(rc, buf, ind, trace);
          const Outcome& read = got[r * kColumns + (c - 2)];
          traced += read.trace.empty() ? 0 : 1;
          EXPECT_EQ(read, bound) << "row " << r + 1 << ", column " << c << ", C type " << cType
                                 << ", buffer " << size;
        }
      }
    }
  EXPECT_GT(traced, 0u) << "no converter line reached the trace " << qmr_test::TraceFile();
  SQLFreeStmt(stmt_, SQL_UNBIND);
  Run("DROP TABLE CPATHS");
}

INSTANTIATE_TEST_SUITE_P(Backend, ConvPathsDm, ::testing::ValuesIn(qmr_test::TestDsns()));

}  // namespace
