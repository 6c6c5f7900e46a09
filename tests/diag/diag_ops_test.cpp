// The operations behind SQLError, SQLGetDiagRec and SQLGetDiagField, run on
// handle records directly with the dispatcher's argument protocol.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <string>

#include "driver/diag.h"
#include "driver/dispatch.h"
#include "driver/handles.h"
#include "drv_jdbc/agent_codes.h"
#include "support/fake_agent.h"

namespace {

DRV_Return Call(DRV_Operation op, void* h, ...) {
  va_list ap;
  va_start(ap, h);
  DRV_Return r = op(h, ap);
  va_end(ap);
  return r;
}

struct Handles {
  EnvHandle env;
  ConnHandle conn;
  StmtHandle stmt;
  DescHandle desc;
  Handles(uint32_t version) {
    env.odbcVersion = version;
    conn.env = &env;
    conn.dsn = "mydsn";
    stmt.conn = &conn;
    desc.stmt = &stmt;
  }
  ~Handles() {
    DIAG_Clear(&env.diag);
    DIAG_Clear(&conn.diag);
    DIAG_Clear(&stmt.diag);
    DIAG_Clear(&desc.diag);
  }
};

std::string Utf16ToAscii(const char16_t* s, int units) {
  std::string out;
  for (int i = 0; i < units; ++i) out += static_cast<char>(s[i]);
  return out;
}

TEST(GetDiagRecOp, ShortBufferCutsTerminatesAndWarns) {
  Handles h(3);
  h.stmt.diag.pending = 21;
  SQLCHAR state[6];
  SQLINTEGER native = -1;
  SQLCHAR msg[12];
  std::memset(msg, 'x', sizeof msg);
  SQLSMALLINT len = 0;
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Call(DRV_GetDiagRecStmtOp, &h.stmt, 1, state, &native, msg,
                                        static_cast<int>(sizeof msg), &len));
  EXPECT_STREQ("[Quillmar][", reinterpret_cast<char*>(msg));
  EXPECT_STREQ("HY009", reinterpret_cast<char*>(state));
  EXPECT_EQ(static_cast<SQLSMALLINT>(std::strlen("[Quillmar][ODBC][Driver]Invalid argument value")),
            len);
  EXPECT_EQ(0, native);
  // Reading does not consume.
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
            Call(DRV_GetDiagRecStmtOp, &h.stmt, 1, state, &native, nullptr, 0, &len));
  EXPECT_EQ(21, h.stmt.diag.pending);
}

TEST(GetDiagRecOp, RecordNumbersBeyondTheCount) {
  Handles h(2);
  h.conn.diag.pending = 52;
  SQLCHAR state[6] = "xxxxx";
  SQLCHAR msg[64];
  SQLSMALLINT len = 5;
  EXPECT_EQ(SQL_NO_DATA, Call(DRV_GetDiagRecDbcOp, &h.conn, 2, state, nullptr, msg, 64, &len));
  EXPECT_STREQ("00000", reinterpret_cast<char*>(state));
  EXPECT_EQ(0, len);
  EXPECT_EQ(SQL_SUCCESS, Call(DRV_GetDiagRecDbcOp, &h.conn, 1, state, nullptr, msg, 64, &len));
  EXPECT_STREQ("08003", reinterpret_cast<char*>(state));
  EXPECT_STREQ("[Quillmar][ODBC][Driver]Connection not open", reinterpret_cast<char*>(msg));
  EXPECT_EQ(SQL_ERROR, Call(DRV_GetDiagRecDbcOp, &h.conn, 0, state, nullptr, msg, 64, &len));
}

TEST(DiagOps, NegativeBufferLengthAnswersHY090Everywhere) {
  Handles h(3);
  h.stmt.diag.pending = 22;
  SQLCHAR state[6];
  SQLCHAR msg[128];
  SQLSMALLINT len = 0;
  EXPECT_EQ(SQL_ERROR, Call(DRV_GetDiagRecStmtOp, &h.stmt, 1, state, nullptr, msg, -1, &len));
  EXPECT_EQ(SQL_ERROR,
            Call(DRV_GetDiagFieldStmtOp, &h.stmt, 1, SQL_DIAG_MESSAGE_TEXT, msg, -5, &len, 'A'));
  EXPECT_EQ(SQL_ERROR, Call(DRV_ErrorStmtOp, &h.stmt, state, nullptr, msg, -2, &len));
  // An integer field ignores the length (ODBC passes negative constants there).
  SQLINTEGER native = 7;
  EXPECT_EQ(SQL_SUCCESS, Call(DRV_GetDiagFieldStmtOp, &h.stmt, 1, SQL_DIAG_NATIVE, &native,
                              SQL_IS_INTEGER, &len, 'A'));
  // The earlier pending code is still there, followed by the HY090 records.
  EXPECT_EQ(SQL_SUCCESS, Call(DRV_ErrorStmtOp, &h.stmt, state, nullptr, msg, 128, &len));
  EXPECT_STREQ("HY010", reinterpret_cast<char*>(state));
  EXPECT_EQ(SQL_SUCCESS, Call(DRV_ErrorStmtOp, &h.stmt, state, nullptr, msg, 128, &len));
  EXPECT_STREQ("HY090", reinterpret_cast<char*>(state));
}

TEST(ErrorOp, DrainsAgentRecordsThenNoData) {
  Handles h(3);
  h.stmt.diag.pending = 15;
  qmrtest::FakeAgent fake;
  DRV_Agent agent{};
  fake.Register(&agent);
  fake.PostError(9, {"Table not found ", "S0002", -206, false});
  fake.PostError(9, {"Function sequence error", "S1010", 0, true});
  EXPECT_EQ(2u, DIAG_PullAgentErrors(&h.stmt.diag, &agent, 9));
  SQLCHAR state[6];
  SQLINTEGER native = 0;
  SQLCHAR msg[256];
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQL_SUCCESS, Call(DRV_ErrorStmtOp, &h.stmt, state, &native, msg, 256, &len));
  EXPECT_STREQ("[Quillmar][ODBC][Velkaro]Table not found ", reinterpret_cast<char*>(msg));
  EXPECT_STREQ("S0002", reinterpret_cast<char*>(state));  // as the database sent it
  EXPECT_EQ(-206, native);
  ASSERT_EQ(SQL_SUCCESS, Call(DRV_ErrorStmtOp, &h.stmt, state, &native, msg, 256, &len));
  EXPECT_STREQ("HY010", reinterpret_cast<char*>(state));  // the agent table's own state
  EXPECT_EQ(SQL_NO_DATA, Call(DRV_ErrorStmtOp, &h.stmt, state, &native, msg, 256, &len));
  EXPECT_STREQ("00000", reinterpret_cast<char*>(state));
  EXPECT_EQ(SQL_NO_DATA, Call(DRV_ErrorStmtOp, &h.stmt, state, &native, msg, 256, &len));
}

TEST(GetDiagFieldOp, HeaderFields) {
  Handles h(3);
  SQLINTEGER n = -1;
  SQLSMALLINT len = 0;
  EXPECT_EQ(SQL_SUCCESS, Call(DRV_GetDiagFieldEnvOp, &h.env, 0, SQL_DIAG_NUMBER, &n, 0, &len, 'A'));
  EXPECT_EQ(0, n);  // nothing to report
  DIAG_Add(&h.env.diag, "a", 0);
  DIAG_Add(&h.env.diag, "b", 0);
  EXPECT_EQ(SQL_SUCCESS, Call(DRV_GetDiagFieldEnvOp, &h.env, 0, SQL_DIAG_NUMBER, &n, 0, &len, 'A'));
  EXPECT_EQ(2, n);
  SQLLEN rows = 0;
  EXPECT_EQ(SQL_ERROR,
            Call(DRV_GetDiagFieldEnvOp, &h.env, 0, SQL_DIAG_ROW_COUNT, &rows, 0, &len, 'A'));
  EXPECT_EQ(SQL_SUCCESS,
            Call(DRV_GetDiagFieldEnvOp, &h.env, 0, SQL_DIAG_RETURNCODE, &n, 0, &len, 'A'));
  EXPECT_EQ(SQL_ERROR, Call(DRV_GetDiagFieldEnvOp, &h.env, 0, 9999, &n, 0, &len, 'A'));

  qmrtest::FakeAgent fake;
  DRV_Agent agent{};
  fake.Register(&agent);
  h.stmt.agent = &agent;
  h.stmt.agentStmt = 5;
  fake.SetInfo(INFO_ROW_COUNT, static_cast<uint32_t>(-1));
  EXPECT_EQ(SQL_SUCCESS,
            Call(DRV_GetDiagFieldStmtOp, &h.stmt, 0, SQL_DIAG_ROW_COUNT, &rows, 0, &len, 'A'));
  EXPECT_EQ(-1, rows);  // sign-extended to 64 bits
  fake.PushResult(0, 15);
  EXPECT_EQ(SQL_ERROR,
            Call(DRV_GetDiagFieldStmtOp, &h.stmt, 0, SQL_DIAG_ROW_COUNT, &rows, 0, &len, 'A'));
  EXPECT_EQ(15, h.stmt.diag.pending);
}

TEST(GetDiagFieldOp, RecordFieldsAndLongMessages) {
  Handles h(3);
  std::string body(2047, 'z');
  DIAG_AddEx(&h.stmt.diag, ("[Velkaro]" + body + "[SQLSTATE:42S22]").c_str(), 3, false);
  char buf[4096];
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQL_SUCCESS, Call(DRV_GetDiagFieldStmtOp, &h.stmt, 1, SQL_DIAG_MESSAGE_TEXT, buf,
                              static_cast<int>(sizeof buf), &len, 'A'));
  EXPECT_EQ("[Quillmar][ODBC][Velkaro]" + body, std::string(buf));
  EXPECT_EQ(static_cast<SQLSMALLINT>(std::strlen(buf)), len);
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO,
            Call(DRV_GetDiagFieldStmtOp, &h.stmt, 1, SQL_DIAG_MESSAGE_TEXT, buf, 100, &len, 'A'));
  EXPECT_EQ(99u, std::strlen(buf));
  EXPECT_EQ(static_cast<SQLSMALLINT>(25 + 2047), len);
  ASSERT_EQ(SQL_SUCCESS,
            Call(DRV_GetDiagFieldStmtOp, &h.stmt, 1, SQL_DIAG_SQLSTATE, buf, 6, &len, 'A'));
  EXPECT_STREQ("42S22", buf);
  ASSERT_EQ(SQL_SUCCESS,
            Call(DRV_GetDiagFieldStmtOp, &h.stmt, 1, SQL_DIAG_CLASS_ORIGIN, buf, 64, &len, 'A'));
  EXPECT_STREQ("ISO 9075", buf);
  ASSERT_EQ(SQL_SUCCESS,
            Call(DRV_GetDiagFieldStmtOp, &h.stmt, 1, SQL_DIAG_CONNECTION_NAME, buf, 64, &len, 'A'));
  EXPECT_STREQ("mydsn", buf);
  SQLLEN row = 0;
  EXPECT_EQ(SQL_SUCCESS,
            Call(DRV_GetDiagFieldStmtOp, &h.stmt, 1, SQL_DIAG_ROW_NUMBER, &row, 0, &len, 'A'));
  EXPECT_EQ(SQL_ROW_NUMBER_UNKNOWN, row);
  EXPECT_EQ(SQL_ERROR,
            Call(DRV_GetDiagFieldDbcOp, &h.conn, 1, SQL_DIAG_ROW_NUMBER, &row, 0, &len, 'A'));
  EXPECT_EQ(SQL_NO_DATA,
            Call(DRV_GetDiagFieldStmtOp, &h.stmt, 2, SQL_DIAG_MESSAGE_TEXT, buf, 64, &len, 'A'));
}

TEST(GetDiagFieldOp, NoDiagnosticGivesNoDataForTheMessage) {
  Handles h(3);
  char buf[64];
  SQLSMALLINT len = 0;
  EXPECT_EQ(SQL_NO_DATA,
            Call(DRV_GetDiagFieldEnvOp, &h.env, 1, SQL_DIAG_MESSAGE_TEXT, buf, 64, &len, 'A'));
  EXPECT_EQ(SQL_SUCCESS,
            Call(DRV_GetDiagFieldEnvOp, &h.env, 1, SQL_DIAG_SQLSTATE, buf, 64, &len, 'A'));
  EXPECT_STREQ("00000", buf);
  EXPECT_EQ(SQL_INVALID_HANDLE,
            Call(DRV_GetDiagFieldEnvOp, nullptr, 1, SQL_DIAG_SQLSTATE, buf, 64, &len, 'A'));
}

TEST(GetDiagFieldOp, WideAndNarrowAgree) {
  Handles h(3);
  h.desc.diag.pending = 100;  // "Invalid descriptor index", 07009
  char narrow[128];
  SQLSMALLINT nlen = 0;
  ASSERT_EQ(SQL_SUCCESS, Call(DRV_GetDiagFieldDescOp, &h.desc, 1, SQL_DIAG_MESSAGE_TEXT, narrow,
                              128, &nlen, 'A'));
  char16_t wide[128];
  SQLSMALLINT wlen = 0;
  ASSERT_EQ(SQL_SUCCESS, Call(DRV_GetDiagFieldDescOp, &h.desc, 1, SQL_DIAG_MESSAGE_TEXT, wide,
                              static_cast<int>(sizeof wide), &wlen, 'W'));
  EXPECT_EQ(nlen * 2, wlen);  // bytes
  EXPECT_EQ(std::string(narrow), Utf16ToAscii(wide, wlen / 2));
  ASSERT_EQ(SQL_SUCCESS,
            Call(DRV_GetDiagFieldDescOp, &h.desc, 1, SQL_DIAG_SQLSTATE, wide, 12, &wlen, 'W'));
  EXPECT_EQ("07009", Utf16ToAscii(wide, 5));
  EXPECT_EQ(10, wlen);
  // Cut: a warning, terminated; a buffer without room for the terminator is
  // left alone.
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO,
            Call(DRV_GetDiagFieldDescOp, &h.desc, 1, SQL_DIAG_MESSAGE_TEXT, wide, 8, &wlen, 'W'));
  EXPECT_EQ("[Qu", Utf16ToAscii(wide, 3));
  EXPECT_EQ(u'\0', wide[3]);
  wide[0] = u'x';
  Call(DRV_GetDiagFieldDescOp, &h.desc, 1, SQL_DIAG_MESSAGE_TEXT, wide, 1, &wlen, 'W');
  EXPECT_EQ(u'x', wide[0]);
  narrow[0] = 'x';
  Call(DRV_GetDiagFieldDescOp, &h.desc, 1, SQL_DIAG_MESSAGE_TEXT, narrow, 0, &nlen, 'A');
  EXPECT_EQ('x', narrow[0]);
  EXPECT_EQ(100, h.desc.diag.pending);  // reading never consumes
}

TEST(DiagOps, Odbc2EnvironmentSeesOdbc2States) {
  Handles h(2);
  h.stmt.diag.pending = 43;
  SQLCHAR state[6];
  SQLCHAR msg[128];
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQL_SUCCESS, Call(DRV_GetDiagRecStmtOp, &h.stmt, 1, state, nullptr, msg, 128, &len));
  EXPECT_STREQ("S1C00", reinterpret_cast<char*>(state));
  // An implicit descriptor follows its statement's environment; one without
  // an owner counts as ODBC 3.
  EXPECT_EQ(2u, DIAG_DescVersion(&h.desc));
  DescHandle orphan;
  EXPECT_EQ(3u, DIAG_DescVersion(&orphan));
}

}  // namespace
