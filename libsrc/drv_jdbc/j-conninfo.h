// What the connect path hands the agent with DRV_Connect: the connection
// information block that ConnOpen builds, and the block of connection-string
// settings it points to, which the agent copies into the new connection.
//
// Plain C++ (no JNI): the driver core includes this header as well.
#ifndef QMR_DRV_JDBC_J_CONNINFO_H
#define QMR_DRV_JDBC_J_CONNINFO_H

#include <cstdint>

struct JdbcConnSettings;

// The connection information block, in ConnOpen's order. The agent reads
// only options, dbpath, dbopts, readOnly, user, password and settings; the
// others are there for the connect path's own bookkeeping.
struct ConnectInfo {
  char* host;             // cn_dbhost, or "host:port"
  char* options;          // options text; a Unicode connect prefixes CONNINFO_UTF8_MARKER
  char* svtype;           // cn_svtype
  char* dbpath;           // JDBC keyword: the Driver or DataSource class (empty: the fixed list)
  char* dsn;              // data-source name, "Default" when none
  char* dbopts;           // URL keyword: the URL, or a data source's name=value;... text
  uint32_t readOnly;      // 1 when the connection was asked read-only
  char* user;             // never null for ConnOpen's blocks (may be empty)
  char* password;         // never null for ConnOpen's blocks (may be empty)
  uint16_t loginTimeout;  // 0 when none, else 99
  char* text10;
  uint32_t flag40;
  char* appName;
  // The connection-string settings, or null for the defaults. The agent
  // copies the block and takes over its two texts, clearing both pointers
  // in the caller's block; the caller frees what is left there.
  JdbcConnSettings* settings;
};

// The four bytes a Unicode connect puts in front of the options text: the
// agent then moves text to and from Java as UTF-8.
constexpr unsigned char CONNINFO_UTF8_MARKER[4] = {0x57, 0x7F, 0x01, 0x01};

// The settings block, fields in the connect path's order.
struct JdbcConnSettings {
  uint32_t dynCursSensitivity = 0;    // DYN_CURS_SENSITIVITY: 0 LOW, 1 HIGH, 2 DISABLED
  uint32_t jet = 0;                   // JET
  uint32_t noAutoCommit = 0;          // NOAC
  int32_t maxRows = 0;                // MAXROWS, 0 = none
  uint32_t noRowsetSizeLimit = 0;     // NRSSL
  char* initialSql = nullptr;         // INITSQL file name, owned
  uint32_t jetStatisticsOff = 0;      // J_SSTOFF
  uint32_t jetDropCatalog = 0;        // J_DCAT
  uint32_t jetDropSchema = 0;         // J_DSCH
  uint32_t noQuotedIdentifier = 0;    // J_NSQI
  uint32_t nullSizeOfChar = 0;        // PNSOSC
  uint32_t noSearchEscape = 0;        // NSSSE
  char* dbmsName = nullptr;           // SQLDBMSNAME, owned
  uint32_t negPrecFix = 0;            // NEGPRECFIX
  int32_t longVarcharToVarchar = -1;  // PLCHR2VCHR, -1 = not given
  // FBS: rows per fetch block, at most; a JDBC statement fetches as many
  // rows a round trip, so that a driver that streams holds no more.
  uint32_t fetchRows = 0;  // 0 = the JDBC driver's own fetch size
};

#endif
