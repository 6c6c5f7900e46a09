// The UTF-16 entry points: argument checks before conversion, text results
// converted while the call holds the handle, whole lengths, truncation.
#include <gtest/gtest.h>

#include <string>

#include "core_fixture.h"
#include "driver/wide.h"
#include "util/copyout.h"
#include "util/errcodes.h"

namespace {

using qmrtest::CoreTest;

std::u16string U(const SQLWCHAR* s) {
  std::u16string r;
  while (*s) r.push_back(static_cast<char16_t>(*s++));
  return r;
}

// A statement operation that returns a text the way the 8-bit operations
// do: cut to the buffer, the cut length reported, 01004 on a cut.
std::string gText;
int gRuns = 0;
DRV_Return textOp(void* h, va_list args) {
  ++gRuns;
  auto* buf = va_arg(args, SQLCHAR*);
  const int size = va_arg(args, int);
  auto* len = va_arg(args, SQLSMALLINT*);
  uint16_t n = 0;
  int rc = buf == nullptr ? 0 : STR_CopyOut(gText.c_str(), reinterpret_cast<char*>(buf), size, &n);
  if (buf == nullptr) n = static_cast<uint16_t>(gText.size());
  if (len != nullptr) *len = static_cast<SQLSMALLINT>(n);
  if (rc != 0) {
    static_cast<StmtHandle*>(h)->diag.pending = 19;
    return SQL_SUCCESS_WITH_INFO;
  }
  return SQL_SUCCESS;
}
const CallDesc kText = {"TestText", "", 0, 1, kCallStmt, textOp};

class Wide : public qmrtest::EnvDbcTest {
 protected:
  void SetUp() override {
    EnvDbcTest::SetUp();
    MarkConnected(dbc);
    stmt = NewStmt(dbc);
    gRuns = 0;
  }
  SQLRETURN Fetch(SQLWCHAR* dst, int64_t cap, SQLSMALLINT* len, WideOut::Flavour f) {
    WideOut out(dst, cap, len != nullptr, WideOut::Kind::Small, f);
    if (out.badCapacity()) return CallODBCRefuse(&kText, ERR_INVALID_LENGTH, stmt);
    SQLRETURN rc = out.run(&kText, stmt, [&](const DRV_Post* post) {
      return CallODBCPost(&kText, post, stmt, out.buffer(), static_cast<int>(out.size()),
                          out.smallLength());
    });
    if (len != nullptr && out.units() >= 0) *len = DRV_ClampSmall(out.units());
    return rc;
  }
  uint32_t DiagRecords() { return DIAG_Count(&Stmt(stmt)->diag); }
  SQLHSTMT stmt = nullptr;
};

TEST_F(Wide, WholeTextFits) {
  gText = "caf\xC3\xA9 \xE2\x82\xAC";  // "café €"
  SQLWCHAR buf[16];
  SQLSMALLINT len = -1;
  EXPECT_EQ(SQL_SUCCESS, Fetch(buf, 16, &len, WideOut::Flavour::Repeatable));
  EXPECT_EQ(u"caf\u00e9 \u20ac", U(buf));
  EXPECT_EQ(6, len);
  EXPECT_EQ(1, gRuns);
}

TEST_F(Wide, CutTextReportsTheWholeUtf16Length) {
  gText = std::string(10, 'x') + "\xC3\xA9";  // 11 characters, 12 bytes
  SQLWCHAR buf[5];
  SQLSMALLINT len = -1;
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Fetch(buf, 5, &len, WideOut::Flavour::Repeatable));
  EXPECT_EQ(u"xxxx", U(buf));
  EXPECT_EQ(11, len);
  EXPECT_EQ("01004", State(SQL_HANDLE_STMT, stmt));
}

TEST_F(Wide, NullBufferStillGetsTheUtf16Length) {
  gText = "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC";  // three euro signs, nine bytes
  SQLSMALLINT len = -1;
  EXPECT_EQ(SQL_SUCCESS, Fetch(nullptr, 0, &len, WideOut::Flavour::Repeatable));
  EXPECT_EQ(3, len);  // characters, not the 9 bytes the 8-bit operation saw
}

TEST_F(Wide, LongTextIsFetchedAgainWithRoomForAll) {
  // 300 three-byte characters: more than 4 x 10 + the first buffer's 256.
  std::string text;
  for (int i = 0; i < 300; ++i) text += "\xE2\x82\xAC";
  gText = text;
  SQLWCHAR buf[10];
  SQLSMALLINT len = -1;
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Fetch(buf, 10, &len, WideOut::Flavour::Repeatable));
  EXPECT_EQ(300, len);
  // The operation reports only the cut length, so the buffer doubles:
  // 256, 512, 1024 bytes.
  EXPECT_EQ(3, gRuns);
  EXPECT_EQ(9u, U(buf).size());
  // Only one truncation record: the first run's was cleared by the second.
  EXPECT_EQ(1u, DiagRecords() + (Stmt(stmt)->diag.pending != 0 ? 1 : 0));
}

TEST_F(Wide, OperationThatMayNotRunTwiceGetsTheLargestBufferAtOnce) {
  std::string text(1000, 'a');
  gText = text;
  SQLWCHAR buf[4];
  SQLSMALLINT len = -1;
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Fetch(buf, 4, &len, WideOut::Flavour::Once));
  EXPECT_EQ(1, gRuns);
  EXPECT_EQ(1000, len);
}

TEST_F(Wide, ZeroCapacityWritesNothingAtAll) {
  gText = "abc";
  SQLWCHAR buf[2] = {0x4242, 0x4242};
  SQLSMALLINT len = -1;
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Fetch(buf, 0, &len, WideOut::Flavour::Repeatable));
  EXPECT_EQ(0x4242, buf[0]);
  EXPECT_EQ(3, len);
}

TEST_F(Wide, NegativeCapacityIsRefusedBeforeTheOperation) {
  SQLWCHAR buf[4];
  EXPECT_EQ(SQL_ERROR, Fetch(buf, -1, nullptr, WideOut::Flavour::Repeatable));
  EXPECT_EQ(0, gRuns);
  EXPECT_EQ("HY090", State(SQL_HANDLE_STMT, stmt));
  SQLSMALLINT len = 0;
  EXPECT_EQ(SQL_ERROR, SQLGetCursorNameW(stmt, buf, -2, &len));
  EXPECT_EQ("HY090", State(SQL_HANDLE_STMT, stmt));
}

TEST_F(Wide, HugeCapacityDoesNotOverflowTheOperationsLength) {
  gText = "abc";
  std::vector<SQLWCHAR> buf(32767);
  SQLSMALLINT len = -1;
  EXPECT_EQ(SQL_SUCCESS, Fetch(buf.data(), 32767, &len, WideOut::Flavour::Repeatable));
  EXPECT_EQ(3, len);
  EXPECT_EQ(u"abc", U(buf.data()));
}

TEST_F(Wide, InputLengthsAreCheckedBeforeConversion) {
  const SQLWCHAR sql[] = {'s', 'e', 'l', 'e', 'c', 't', 0};
  EXPECT_EQ(SQL_ERROR, SQLExecDirectW(stmt, const_cast<SQLWCHAR*>(sql), -7));
  EXPECT_EQ("HY090", State(SQL_HANDLE_STMT, stmt));
  // Converted, then the operation prepares it (the fake agent accepts).
  EXPECT_EQ(SQL_SUCCESS, SQLPrepareW(stmt, const_cast<SQLWCHAR*>(sql), SQL_NTS));
  EXPECT_EQ(SQL_ERROR,
            SQLTablesW(stmt, nullptr, 0, nullptr, 0, const_cast<SQLWCHAR*>(sql), -4, nullptr, 0));
  EXPECT_EQ("HY090", State(SQL_HANDLE_STMT, stmt));
  // SQL_NTS and counted texts pass.
  EXPECT_EQ(SQL_SUCCESS, SQLSetCursorNameW(stmt, const_cast<SQLWCHAR*>(sql), 3));
  const SQLWCHAR dsn[] = {'d', 0};
  EXPECT_EQ(SQL_ERROR, SQLConnectW(dbc, const_cast<SQLWCHAR*>(dsn), SQL_NTS,
                                   const_cast<SQLWCHAR*>(dsn), -100, nullptr, 0));
  EXPECT_EQ("HY090", State(SQL_HANDLE_DBC, dbc));
}

TEST_F(Wide, DiagnosticsComeBackAsUtf16) {
  SQLHDBC other = NewConn(env);
  ASSERT_EQ(SQL_ERROR, SQLDisconnect(other));
  SQLWCHAR state[6];
  SQLWCHAR msg[64];
  SQLINTEGER native = -1;
  SQLSMALLINT len = -1;
  ASSERT_EQ(SQL_SUCCESS, SQLGetDiagRecW(SQL_HANDLE_DBC, other, 1, state, &native, msg, 64, &len));
  EXPECT_EQ(u"08003", U(state));
  const std::string narrow = Message(SQL_HANDLE_DBC, other);
  EXPECT_EQ(static_cast<SQLSMALLINT>(narrow.size()), len);
  EXPECT_EQ(std::u16string(narrow.begin(), narrow.end()), U(msg));
  // A short buffer: cut, whole length, a warning but no new record.
  SQLWCHAR small[8];
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO,
            SQLGetDiagRecW(SQL_HANDLE_DBC, other, 1, state, &native, small, 8, &len));
  EXPECT_EQ(7u, U(small).size());
  EXPECT_EQ(static_cast<SQLSMALLINT>(narrow.size()), len);
  EXPECT_EQ(SQL_NO_DATA, SQLGetDiagRecW(SQL_HANDLE_DBC, other, 2, state, &native, msg, 64, &len));
  // SQLErrorW consumes the record.
  ASSERT_EQ(SQL_SUCCESS, SQLErrorW(nullptr, other, nullptr, state, &native, msg, 64, &len));
  EXPECT_EQ(u"08003", U(state));
  EXPECT_EQ(SQL_NO_DATA, SQLErrorW(nullptr, other, nullptr, state, &native, msg, 64, &len));
  EXPECT_EQ(u"00000", U(state));
}

}  // namespace
