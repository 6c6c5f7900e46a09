#include "tests/support/dm_session.h"

#include <unistd.h>

#include <cctype>
#include <fstream>
#include <sstream>

namespace qmr_test {

Db DbOf(const std::string& dsn) {
  if (dsn.rfind("QmrPg", 0) == 0) return Db::Pg;
  if (dsn.rfind("QmrH2", 0) == 0) return Db::H2;
  if (dsn.rfind("QmrDerby", 0) == 0) return Db::Derby;
  return Db::Hsql;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string DsnValue(const std::string& dsn, const std::string& name) {
  const char* path = std::getenv("ODBCINI");
  std::ifstream in(path != nullptr ? path : "");
  const auto trim = [](std::string t) {
    const size_t b = t.find_first_not_of(" \t");
    const size_t e = t.find_last_not_of(" \t\r");
    return b == std::string::npos ? std::string() : t.substr(b, e - b + 1);
  };
  bool inSection = false;
  for (std::string line; std::getline(in, line);) {
    line = trim(line);
    if (!line.empty() && line[0] == '[') {
      inSection = line == "[" + dsn + "]";
      continue;
    }
    const size_t eq = line.find('=');
    if (inSection && eq != std::string::npos && Lower(trim(line.substr(0, eq))) == Lower(name))
      return trim(line.substr(eq + 1));
  }
  return "";
}

const std::string& TraceFile() {
  static const std::string name = [] {
    std::string n = "/tmp/qmr-dm-trace-" + std::to_string(getpid());
    setenv("QMR_DEBUGFILE", n.c_str(), 1);
    return n;
  }();
  return name;
}

// Named while the program starts, before any test reaches a driver.
const std::string& gTraceFile = TraceFile();

std::string TraceText() {
  std::ifstream f(TraceFile());
  std::stringstream all;
  all << f.rdbuf();
  return all.str();
}

namespace {

// Record i of a handle; false when there is none.
bool Record(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT i, std::string* state, std::string* msg) {
  SQLCHAR st[6] = "", text[1024] = "";
  SQLINTEGER native = 0;
  SQLSMALLINT len = 0;
  if (!SQL_SUCCEEDED(SQLGetDiagRec(type, h, i, st, &native, text, sizeof text, &len))) return false;
  *state = reinterpret_cast<char*>(st);
  *msg = reinterpret_cast<char*>(text);
  return true;
}

}  // namespace

std::string Diag(SQLSMALLINT type, SQLHANDLE h) {
  std::string all, state, msg;
  for (SQLSMALLINT i = 1; Record(type, h, i, &state, &msg); ++i) all += state + " " + msg + "\n";
  return all;
}

std::string State(SQLSMALLINT type, SQLHANDLE h) {
  std::string state, msg;
  return Record(type, h, 1, &state, &msg) ? state : "";
}

std::vector<std::string> States(SQLSMALLINT type, SQLHANDLE h) {
  std::vector<std::string> out;
  std::string state, msg;
  for (SQLSMALLINT i = 1; Record(type, h, i, &state, &msg); ++i) out.push_back(state);
  return out;
}

std::vector<Row> FetchRows(SQLHSTMT stmt) {
  std::vector<Row> rows;
  SQLSMALLINT n = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLNumResultCols(stmt, &n));
  SQLRETURN rc;
  while ((rc = SQLFetch(stmt)) == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
    Row row(static_cast<size_t>(n));
    for (SQLUSMALLINT c = 1; c <= n; ++c) {
      SQLCHAR buf[2048] = "";
      SQLLEN ind = 0;
      EXPECT_TRUE(SQL_SUCCEEDED(SQLGetData(stmt, c, SQL_C_CHAR, buf, sizeof buf, &ind)))
          << Diag(SQL_HANDLE_STMT, stmt);
      row[c - 1].null = ind == SQL_NULL_DATA;
      if (!row[c - 1].null) row[c - 1].text = reinterpret_cast<char*>(buf);
    }
    rows.push_back(std::move(row));
  }
  EXPECT_EQ(SQL_NO_DATA, rc) << Diag(SQL_HANDLE_STMT, stmt);
  SQLFreeStmt(stmt, SQL_CLOSE);
  return rows;
}

bool DmSession::NewEnv(SQLULEN odbcVersion) {
  ownsEnv_ = true;
  if (SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_) != SQL_SUCCESS) {
    ADD_FAILURE() << "no environment handle";
    return false;
  }
  const SQLRETURN rc =
      SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(odbcVersion), 0);
  EXPECT_EQ(SQL_SUCCESS, rc) << Diag(SQL_HANDLE_ENV, env_);
  return rc == SQL_SUCCESS;
}

void DmSession::UseEnv(SQLHENV env) {
  env_ = env;
  ownsEnv_ = false;
}

bool DmSession::AllocDbc() {
  const SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
  EXPECT_EQ(SQL_SUCCESS, rc) << Diag(SQL_HANDLE_ENV, env_);
  return rc == SQL_SUCCESS;
}

bool DmSession::AfterConnect(SQLRETURN rc, const std::string& what) {
  connected_ = SQL_SUCCEEDED(rc);
  EXPECT_TRUE(connected_) << what << ": " << Diag(SQL_HANDLE_DBC, dbc_);
  if (!connected_) return false;
  const SQLRETURN st = SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_);
  EXPECT_EQ(SQL_SUCCESS, st) << Diag(SQL_HANDLE_DBC, dbc_);
  if (st != SQL_SUCCESS) stmt_ = nullptr;
  return st == SQL_SUCCESS;
}

bool DmSession::ConnectDsn(const std::string& dsn) {
  if (!AllocDbc()) return false;
  return AfterConnect(SQLConnect(dbc_, (SQLCHAR*)dsn.c_str(), SQL_NTS, nullptr, 0, nullptr, 0),
                      dsn);
}

bool DmSession::ConnectString(const std::string& in) {
  if (!AllocDbc()) return false;
  return AfterConnect(SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr, 0,
                                       nullptr, SQL_DRIVER_NOPROMPT),
                      in);
}

bool DmSession::ConnectDsnWide(const std::string& dsn) {
  if (!AllocDbc()) return false;
  const std::u16string in = u"DSN=" + FromUtf8(dsn);
  return AfterConnect(SQLDriverConnectW(dbc_, nullptr, (SQLWCHAR*)in.c_str(), SQL_NTS, nullptr, 0,
                                        nullptr, SQL_DRIVER_NOPROMPT),
                      dsn);
}

bool DmSession::Open(const std::string& dsn, SQLULEN odbcVersion) {
  return NewEnv(odbcVersion) && ConnectDsn(dsn);
}

void DmSession::Close() {
  if (stmt_ != nullptr) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
  if (connected_) SQLDisconnect(dbc_);
  if (dbc_ != nullptr) SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
  if (ownsEnv_ && env_ != nullptr) SQLFreeHandle(SQL_HANDLE_ENV, env_);
  stmt_ = nullptr;
  dbc_ = nullptr;
  env_ = nullptr;
  connected_ = false;
  ownsEnv_ = false;
}

SQLRETURN DmSession::Exec(const std::string& sql) {
  SQLFreeStmt(stmt_, SQL_CLOSE);
  return SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS);
}

void DmSession::MustExec(const std::string& sql) {
  // A searched change of no row ran all the same (SQL_NO_DATA in ODBC 3).
  const SQLRETURN rc = Exec(sql);
  ASSERT_TRUE(SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) << sql << "\n"
                                                      << Diag(SQL_HANDLE_STMT, stmt_);
}

}  // namespace qmr_test
