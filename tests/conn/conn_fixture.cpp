#include "conn/conn_fixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>

#include "driver/conn.h"

namespace conntest {
namespace {

std::string gDir;
Seen gSeen;
std::string gFailInit;
std::string gInitDir;
DRV_OpTable gTable;

void Write(const std::string& name, const std::string& text) {
  std::ofstream f(gDir + "/" + name);
  f << text;
}

// The installer library reads ODBCSYSINI/ODBCINI once and caches what it
// read, so everything is in place before main() runs.
struct IniFiles {
  IniFiles() {
    char tmpl[] = "/tmp/qmr-conn-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) std::abort();
    gDir = tmpl;
    Write("odbcinst.ini", "[Fake Driver]\nDriver = /nonexistent/libfake.so\n");
    std::string longUrl = "jdbc:example:";
    for (int i = 0; i < 60; ++i) longUrl += "0123456789";
    longUrl += ";tail=\xC3\xA9nd";
    Write("odbc.ini",
          "[ODBC Data Sources]\n"
          "Full = Fake Driver Description\n"
          "\n[Full]\nDriver = Fake Driver\nUID = alice\nPWD = secret1\n"
          "JdbcDriver = org.example.Driver\nURLString = jdbc:example:full\n"
          "MaxRows = 100000\nReadOnly = yes\nFetchBufferSize = 0\nMultipleActiveStmtsEmul = 1\n"
          "IncludeViews = TRUE\nDynCursSensitivity = high\n"
          "\n[LastOnly]\nDriver = Fake Driver\nLastUser = bob\nURLString = jdbc:example:last\n"
          "\n[LongUrl]\nDriver = Fake Driver\nURLString = " +
              longUrl +
              "\n"
              "\n[Sparse]\nDriver = Fake Driver\nUID = sparse\n"
              "\n[Default]\nUID = dflt\nURLString = jdbc:example:default\n"
              "JdbcDriver = org.example.DefaultDriver\nFetchBufferSize = 25\n");
    Write("src.dsn",
          "[ODBC]\nDRIVER = Fake Driver\nUID = fileuser\nJdbcDriver = org.example.Long\n"
          "URL = jdbc:example:file\n");
    // The maker's key names the archive directory without its final '/'.
    Write("registry.ini",
          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmar Software\\6.0]\nKXLibs = /opt/qmr-jars\n");
    setenv("QMR_REGISTRY_FILE", (gDir + "/registry.ini").c_str(), 1);
    setenv("ODBCSYSINI", gDir.c_str(), 1);
    setenv("ODBCINI", (gDir + "/odbc.ini").c_str(), 1);
    unsetenv("QMR_DEBUGFILE");
  }
  ~IniFiles() {
    for (const char* f : {"odbcinst.ini", "odbc.ini", "src.dsn", "login.log", "registry.ini"}) {
      unlink((gDir + "/" + f).c_str());
    }
    rmdir(gDir.c_str());
  }
};
IniFiles gFiles;

std::string Str(const char* s) { return s != nullptr ? s : "<null>"; }

extern "C" uint32_t CaptureConnect(uint32_t env, ConnectInfo* info, uint32_t* conn) {
  Seen s;
  s.calls = gSeen.calls + 1;
  s.host = Str(info->host);
  s.options = Str(info->options);
  s.svtype = Str(info->svtype);
  s.dbpath = Str(info->dbpath);
  s.dsn = Str(info->dsn);
  s.dbopts = Str(info->dbopts);
  s.user = Str(info->user);
  s.password = Str(info->password);
  s.appName = Str(info->appName);
  s.readOnly = info->readOnly;
  JdbcConnSettings* const handed = info->settings;
  if (handed != nullptr) s.settings = *handed;
  s.hadInitialSql = handed != nullptr && handed->initialSql != nullptr;
  s.hadDbmsName = handed != nullptr && handed->dbmsName != nullptr;
  if (s.hadInitialSql) s.initialSql = handed->initialSql;
  if (s.hadDbmsName) s.dbmsName = handed->dbmsName;
  s.settings.initialSql = nullptr;
  s.settings.dbmsName = nullptr;
  gSeen = s;
  // As the agent does: it takes the two texts over.
  const uint32_t rc = qmrtest::FakeAgent::Current()->table()->DRV_Connect(env, info, conn);
  if (rc == 0 && handed != nullptr) {
    std::free(handed->initialSql);
    std::free(handed->dbmsName);
    handed->initialSql = nullptr;
    handed->dbmsName = nullptr;
  }
  return rc;
}

extern "C" uint32_t MaybeFailInit(const char* const* request, uint32_t* env) {
  gInitDir = request != nullptr && request[0] != nullptr ? request[0] : "<null>";
  qmrtest::FakeAgent* f = qmrtest::FakeAgent::Current();
  if (gFailInit.empty()) return f->table()->DRV_Init(request, env);
  f->Enter(3, 0);
  *env = f->NextHandle(qmrtest::FakeAgent::kEnvBase);
  f->PostError(*env, {gFailInit, "S1000", 15, true});
  gFailInit.clear();
  return 15;
}

int Registrar(DRV_Agent* agent) {
  gTable = *qmrtest::FakeAgent::Current()->table();
  gTable.DRV_Connect = CaptureConnect;
  gTable.DRV_Init = MaybeFailInit;
  agent->agentType = DRV_AGENT_JDBC;
  agent->ops = &gTable;
  return 0;
}

}  // namespace

const std::string& IniDir() { return gDir; }
Seen& LastConnect() { return gSeen; }
void FailNextInit(const std::string& message) { gFailInit = message; }
const std::string& LastInitDir() { return gInitDir; }

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream f(path);
  std::string line;
  while (std::getline(f, line)) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

void ConnTest::SetUp() {
  ASSERT_EQ(0, DRV_InitCalls());
  CONN_SetAgentRegistrar(Registrar);
  gSeen = Seen{};
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_));
  ASSERT_EQ(SQL_SUCCESS, SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION,
                                       reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_));
}

void ConnTest::TearDown() {
  if (dbc_ != nullptr) {
    SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
  }
  if (env_ != nullptr) SQLFreeHandle(SQL_HANDLE_ENV, env_);
  CONN_SetAgentRegistrar(nullptr);
  DRV_DoneCalls();
}

ConnHandle* ConnTest::Conn() {
  plat::Guard<plat::RecursiveMutex> g(DRV_CallLock());
  return DRV_LookupConn(DRV_HandleNumber(dbc_));
}

SQLRETURN ConnTest::DriverConnect(const std::string& in, std::string* out,
                                  SQLUSMALLINT completion) {
  SQLCHAR buf[4096] = "";
  SQLSMALLINT len = 0;
  // A window to prompt on whenever the completion may prompt.
  SQLHWND window = completion == SQL_DRIVER_NOPROMPT ? nullptr : reinterpret_cast<SQLHWND>(buf);
  SQLRETURN rc = SQLDriverConnect(dbc_, window, (SQLCHAR*)in.c_str(), SQL_NTS, buf, sizeof buf,
                                  &len, completion);
  if (out != nullptr) *out = reinterpret_cast<char*>(buf);
  return rc;
}

std::vector<std::string> ConnTest::Diags() {
  std::vector<std::string> all;
  for (SQLSMALLINT i = 1;; ++i) {
    SQLCHAR state[6] = "";
    SQLINTEGER native = 0;
    SQLCHAR msg[1024] = "";
    SQLSMALLINT len = 0;
    SQLRETURN rc = SQLGetDiagRec(SQL_HANDLE_DBC, dbc_, i, state, &native, msg, sizeof msg, &len);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
    all.push_back(std::string(reinterpret_cast<char*>(state)) + "|" + reinterpret_cast<char*>(msg));
  }
  return all;
}

void ConnTest::Disconnect() { EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(dbc_)); }

}  // namespace conntest
