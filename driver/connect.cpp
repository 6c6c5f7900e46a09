// The connect operations and the connection-string processor.
#include "driver/connect.h"

#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/conn.h"
#include "driver/connstr.h"
#include "driver/dsn.h"
#include "driver/login.h"
#include "driver/ops.h"
#include "driver/trace.h"
#include "drv_jdbc/j-conninfo.h"
#include "drv_jdbc/j-opt.h"
#include "util/errcodes.h"
#include "util/strutil.h"

namespace {

using ConnectGuard = plat::Guard<plat::RecursiveMutex>;

// The keyword table's rows; like everything that reads the table, under the
// connect lock.
ConnStrKeyword& Row(int row) REQUIRES(DRV_ConnectLock()) { return ConnStrKeywords[row]; }
const std::string& Val(int row) REQUIRES(DRV_ConnectLock()) { return ConnStrKeywords[row].value; }
bool Has(int row) REQUIRES(DRV_ConnectLock()) { return ConnStrKeywords[row].present; }
bool True(int row) REQUIRES(DRV_ConnectLock()) { return Has(row) && CS_IsTrue(Val(row)); }
const char* TF(int row) REQUIRES(DRV_ConnectLock()) { return True(row) ? "TRUE" : "FALSE"; }

// The settings block of one connect, handed to the agent with the connect
// information. The agent takes its two texts over when it opens the
// connection; whatever it did not take goes with the block.
class ConnectSettings {
 public:
  ConnectSettings() = default;
  ConnectSettings(const ConnectSettings&) = delete;
  ConnectSettings& operator=(const ConnectSettings&) = delete;
  ~ConnectSettings() {
    std::free(block_.initialSql);
    std::free(block_.dbmsName);
  }
  JdbcConnSettings* get() { return &block_; }

 private:
  JdbcConnSettings block_;
};

int32_t MaxRows() REQUIRES(DRV_ConnectLock()) { return CS_ToInt32(Val(kKwMAXROWS)); }

// FBS: rows per fetch block; 0 or absent gives 60.
uint32_t FetchBlockRows() REQUIRES(DRV_ConnectLock()) {
  const int32_t fbs = CS_ToInt32(Val(kKwFBS));
  return fbs > 0 ? static_cast<uint32_t>(fbs) : 60;
}

void DeriveSettings(JdbcConnSettings& s) REQUIRES(DRV_ConnectLock()) {
  s.dynCursSensitivity = parseDynCursSensitivity(Val(kKwDYN_CURS_SENSITIVITY).c_str());
  s.jet = True(kKwJET);
  s.noAutoCommit = True(kKwNOAC);
  s.maxRows = MaxRows();
  s.noRowsetSizeLimit = True(kKwNRSSL);
  if (!Val(kKwINITSQL).empty()) s.initialSql = strdup(Val(kKwINITSQL).c_str());
  s.jetStatisticsOff = True(kKwJ_SSTOFF);
  s.jetDropCatalog = True(kKwJ_DCAT);
  s.jetDropSchema = True(kKwJ_DSCH);
  s.noQuotedIdentifier = True(kKwJ_NSQI);
  s.nullSizeOfChar = static_cast<uint32_t>(CS_ToInt32(Val(kKwPNSOSC)));
  s.noSearchEscape = True(kKwNSSSE);
  if (!Val(kKwSQLDBMSNAME).empty()) s.dbmsName = strdup(Val(kKwSQLDBMSNAME).c_str());
  s.negPrecFix = True(kKwNEGPRECFIX);
  s.longVarcharToVarchar = Val(kKwPLCHR2VCHR).empty() ? -1 : CS_ToInt32(Val(kKwPLCHR2VCHR));
  s.fetchRows = FetchBlockRows();
}

// Only a file data source names the source.
bool FileOnly() REQUIRES(DRV_ConnectLock()) {
  return (!Has(kKwDSN) || Val(kKwDSN).empty()) && Has(kKwFILEDSN) && !Val(kKwFILEDSN).empty();
}

void FillConnection(ConnHandle* conn) REQUIRES(DRV_ConnectLock()) {
  CONN_FreeConnectTexts(conn);
  conn->dbpath = Val(kKwJDBC);
  conn->dbopts = Val(kKwURL);
  conn->uid = Val(kKwUID);
  conn->pwd = Val(kKwPWD);
  const uint16_t keep = static_cast<uint16_t>(~(0x01 | 0x02 | 0x04 | 0x08 | 0x10 | 0x80));
  conn->flags &= keep;
  if (True(kKwREADONLY)) conn->flags |= kConnReadOnly;
  if (True(kKwMASE)) conn->flags |= kConnMase;
  if (True(kKwIV)) conn->flags |= kConnIncludeViews;
  if (True(kKwIA)) conn->flags |= kConnIncludeAll;
  if (True(kKwNLB)) conn->flags |= kConnNoPrompt;
  if (Has(kKwDSN) && !Val(kKwDSN).empty()) {
    conn->dsn = Val(kKwDSN);
  } else if (!FileOnly()) {
    conn->dsn = "Default";
  }
  conn->cn_fetchSize = FetchBlockRows();
  if (conn->appName.empty()) conn->appName = get_process_name();
}

void TraceTable(const char* received, const ConnHandle* conn) REQUIRES(DRV_ConnectLock()) {
  if (!TRC_Active()) return;
  TRC_Printf("connStr=[%s]", received != nullptr ? received : "<null>");
  for (int row = 0; row < kConnStrKeywordCount; ++row) {
    const ConnStrKeyword& k = ConnStrKeywords[row];
    if (k.traced == 0) continue;
    TRC_Printf("  key=[%s] data=[%s] supplied=%d", k.keyword,
               k.present ? k.value.c_str() : "<null>", static_cast<int>(k.supplied));
  }
  TRC_Printf("cn_dbpath=[%s] cn_dbopts=[%s] cn_readonly=%d", conn->dbpath.c_str(),
             conn->dbopts.c_str(), (conn->flags & kConnReadOnly) != 0 ? 1 : 0);
  TRC_Printf("cn_fetchSize=%d cn_dbhost=[%s] cn_svtype=[%s]", static_cast<int>(conn->cn_fetchSize),
             conn->dbhost.c_str(), conn->svtype.c_str());
}

bool NeedsLogin(int row) REQUIRES(DRV_ConnectLock()) {
  return !Has(row) || Val(row).empty() || Val(row)[0] == ' ';
}

// UID once more, without the LastUser fallback, when the application's NLB
// forbids asking for it.
void RereadUid(int mode) REQUIRES(DRV_ConnectLock()) {
  ConnStrKeyword& uid = Row(kKwUID);
  if (uid.supplied != 0 && !uid.value.empty()) return;
  if (FileOnly()) {
    uid.value = DSN_ReadFileValue(Val(kKwFILEDSN), "UID", mode);
  } else {
    const std::string section =
        Has(kKwDSN) && !Val(kKwDSN).empty() ? Val(kKwDSN) : std::string("Default");
    uid.value = DSN_ReadValue(section, "UID", mode);
  }
  uid.present = true;
  uid.supplied = 1;
}

// Copies the completed string out: whole, or cut on a character boundary.
// The length is always the whole string's. True when it was cut.
bool CopyOut(const std::string& text, const ConnectRequest& r) {
  bool cut = false;
  if (r.out != nullptr) {
    if (r.outSize > 0) {
      cut = DIAG_CopyText(text, r.out, r.outSize) != 0;
    } else {
      cut = true;
    }
  }
  if (r.outLength != nullptr) {
    *r.outLength = static_cast<SQLSMALLINT>(text.size() > 32767 ? 32767 : text.size());
  }
  return cut;
}

}  // namespace

std::string DRV_CompletedConnStr(const ConnHandle* conn) {
  const std::string fbs = std::to_string(conn->cn_fetchSize);
  std::string s;
  if (Has(kKwDRIVER)) {
    s = "DRIVER=" + CS_BraceAlways(Val(kKwDRIVER));
    s += ";UID=" + CS_Brace(Val(kKwUID));
    s += ";PWD=" + CS_Brace(Val(kKwPWD));
    s += ";JDBC=" + CS_Brace(Val(kKwJDBC));
    s += ";URL=" + CS_Brace(Val(kKwURL));
    s += ";FBS=" + fbs;
    s += ";READONLY=" + CS_Brace(Val(kKwREADONLY));
    s += ";NLB=" + CS_Brace(Val(kKwNLB));
    s += ";MAXROWS=" + std::to_string(MaxRows());
    s += std::string(";NOAC=") + TF(kKwNOAC);
    s += std::string(";DYN_CURS_SENSITIVITY=") +
         dynCursSensitivityName(parseDynCursSensitivity(Val(kKwDYN_CURS_SENSITIVITY).c_str()));
    s += std::string(";DLF=") + TF(kKwDLF);
    s += std::string(";NRSSL=") + TF(kKwNRSSL);
    s += std::string(";J_DCAT=") + TF(kKwJ_DCAT);
    s += std::string(";J_DSCH=") + TF(kKwJ_DSCH);
    s += std::string(";J_SSTOFF=") + TF(kKwJ_SSTOFF);
    s += std::string(";J_NSQI=") + TF(kKwJ_NSQI);
    s += ";PNSOSC=" + std::to_string(static_cast<uint32_t>(CS_ToInt32(Val(kKwPNSOSC))));
    s += std::string(";NSSSE=") + TF(kKwNSSSE);
    s += ";PLCHR2VCHR=" +
         std::to_string(Val(kKwPLCHR2VCHR).empty() ? -1 : CS_ToInt32(Val(kKwPLCHR2VCHR)));
    s += ";SQLDBMSNAME=" + CS_Brace(Val(kKwSQLDBMSNAME));
    s += ";MASE=" + CS_Brace(Val(kKwMASE));
    s += ";IV=" + CS_Brace(Val(kKwIV));
    s += ";IA=" + CS_Brace(Val(kKwIA));
    s += std::string(";NEGPRECFIX=") + TF(kKwNEGPRECFIX);
    s += ";Server=Quillmar";
  } else {
    // A source named only by a file data source is named by it again.
    s = FileOnly() ? "FILEDSN=" + CS_Brace(Val(kKwFILEDSN)) : "DSN=" + CS_Brace(conn->dsn);
    s += ";UID=" + CS_Brace(Val(kKwUID));
    s += ";PWD=" + CS_Brace(Val(kKwPWD));
    s += ";FBS=" + fbs;
  }
  return s;
}

DRV_Return DRV_ProcessConnStr(ConnHandle* conn, const ConnectRequest& r) {
  if (conn->state == kConnConnected) return Fail(conn, ERR_CONNECTION_IN_USE);
  if (r.inLength < 0 && r.inLength != SQL_NTS) return Fail(conn, ERR_INVALID_LENGTH);
  if (r.out != nullptr && r.outSize < 0) return Fail(conn, ERR_INVALID_LENGTH);
  // Without a window there is nothing to show a dialog on: a call that must
  // prompt is refused before anything is read.
  if (r.window == nullptr && r.completion == SQL_DRIVER_PROMPT) return Fail(conn, ERR_OPTION_RANGE);
  std::string input;
  if (r.in != nullptr && r.inLength != 0) {
    input = r.inLength == SQL_NTS ? std::string(r.in)
                                  : std::string(r.in, static_cast<size_t>(r.inLength));
    // An embedded NUL ends the string, as it ends it for the application.
    input.resize(std::strlen(input.c_str()));
  }
  TRC_Printf("ConnStr In =%s", input.c_str());

  DSN_ReadSettings(input.c_str(), r.mode);

  std::string driver;
  if (Has(kKwDRIVER)) {
    driver = Val(kKwDRIVER);
    const size_t open = driver.find('{');
    if (open != std::string::npos) {
      const size_t close = driver.find('}', open + 1);
      driver = driver.substr(open + 1,
                             close == std::string::npos ? std::string::npos : close - open - 1);
    }
  } else {
    driver = DSN_GetDriverName(r.mode);
  }

  // Completion asks only with a window to ask on; without one it connects
  // with what it was given, as NOPROMPT does, and the database's own error
  // says what was missing.
  bool prompt = false;
  switch (r.completion) {
    case SQL_DRIVER_COMPLETE:
    case SQL_DRIVER_COMPLETE_REQUIRED:
      prompt = r.window != nullptr && (NeedsLogin(kKwUID) || NeedsLogin(kKwPWD));
      break;
    case SQL_DRIVER_PROMPT: prompt = true; break;
    default: break;
  }
  if (True(kKwNLB)) {
    conn->flags |= kConnNoPrompt;
    prompt = false;
    RereadUid(r.mode);
  }
  if (prompt) {
    std::string answer;
    std::string why;
    const LoginOutcome outcome =
        LOGIN_Prompt(r.window, driver.empty() ? nullptr : driver.c_str(),
                     r.in != nullptr ? input.c_str() : nullptr, r.mode, &answer, &why);
    if (outcome == LoginOutcome::Unavailable) {
      CS_Clear();
      CS_Wipe(input);
      CONN_AddError(conn, why.c_str(), 0);
      conn->flags &= static_cast<uint16_t>(~kConnNoPrompt);
      return Fail(conn, ERR_GENERAL);
    }
    if (outcome == LoginOutcome::Cancelled) {
      CS_Clear();
      CS_Wipe(input);
      conn->flags &= static_cast<uint16_t>(~kConnNoPrompt);
      return SQL_NO_DATA;
    }
    DSN_ReadSettings(answer.c_str(), r.mode);
    CS_Wipe(answer);
  }

  ConnectSettings settings;
  DeriveSettings(*settings.get());
  FillConnection(conn);
  TraceTable(input.c_str(), conn);
  const std::string completed = DRV_CompletedConnStr(conn);
  CS_Clear();
  CS_Wipe(input);

  ConnOpen(conn, r.mode, settings.get());
  conn->flags &= static_cast<uint16_t>(~kConnNoPrompt);
  if (conn->state != kConnConnected) {
    std::string wipe = completed;
    CS_Wipe(wipe);
    return SQL_ERROR;
  }
  DRV_Return rc = SQL_SUCCESS;
  if (CopyOut(completed, r)) {
    DIAG_AddCode(&conn->diag, ERR_TRUNCATED);
    rc = SQL_SUCCESS_WITH_INFO;
  }
  TRC_Printf("cmd (%d)=|%s|", static_cast<int>(completed.size()), completed.c_str());
  return rc;
}

DRV_Return DRV_DriverConnectOp(void* h, va_list args) {
  auto* conn = static_cast<ConnHandle*>(h);
  ConnectRequest r;
  r.window = va_arg(args, void*);
  r.in = va_arg(args, const char*);
  r.inLength = static_cast<int16_t>(va_arg(args, int));
  r.out = va_arg(args, char*);
  r.outSize = va_arg(args, int);
  r.outLength = va_arg(args, SQLSMALLINT*);
  r.completion = static_cast<uint16_t>(va_arg(args, unsigned));
  r.mode = va_arg(args, int);
  ConnectGuard g(DRV_ConnectLock());
  return DRV_ProcessConnStr(conn, r);
}

DRV_Return DRV_CallDriverConnect(ConnHandle* conn, ...) {
  va_list args;
  va_start(args, conn);
  const DRV_Return rc = DRV_DriverConnectOp(conn, args);
  va_end(args);
  return rc;
}

DRV_Return DRV_ConnectOp(void* h, va_list args) {
  auto* conn = static_cast<ConnHandle*>(h);
  const char* texts[3];
  int lengths[3];
  for (int i = 0; i < 3; ++i) {
    texts[i] = va_arg(args, const char*);
    lengths[i] = static_cast<int16_t>(va_arg(args, int));
  }
  const int mode = va_arg(args, int);
  if (conn->state == kConnConnected) return Fail(conn, ERR_CONNECTION_IN_USE);
  std::string values[3];
  for (int i = 0; i < 3; ++i) {
    if (lengths[i] < 0 && lengths[i] != SQL_NTS) return Fail(conn, ERR_INVALID_LENGTH);
    if (texts[i] == nullptr) continue;
    values[i] = lengths[i] == SQL_NTS ? std::string(texts[i])
                                      : std::string(texts[i], static_cast<size_t>(lengths[i]));
    values[i].resize(std::strlen(values[i].c_str()));
  }
  // An empty user or password leaves the data source's own to apply.
  std::string request = "DSN=" + CS_Brace(values[0]);
  if (!values[1].empty()) request += ";UID=" + CS_Brace(values[1]);
  if (!values[2].empty()) request += ";PWD=" + CS_Brace(values[2]);
  TRC_Printf("DSN=%s;UID=%s;PWD=***", values[0].c_str(), values[1].c_str());
  CS_Wipe(values[2]);
  const DRV_Return rc = DRV_CallDriverConnect(
      conn, static_cast<void*>(nullptr), request.c_str(), static_cast<int>(SQL_NTS),
      static_cast<char*>(nullptr), 0, static_cast<SQLSMALLINT*>(nullptr),
      static_cast<unsigned>(SQL_DRIVER_NOPROMPT), mode);
  CS_Wipe(request);
  return rc;
}
