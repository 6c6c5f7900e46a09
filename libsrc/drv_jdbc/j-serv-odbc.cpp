// The answers to the SQLGetInfo types the core forwards: constants, the
// connection's settings, and the JDBC driver's DatabaseMetaData.
#include <dlfcn.h>
#include <sqlext.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "drv_jdbc/j-serv.h"
#include "drv_jdbc/j-wrap.h"

namespace {

// SQL_OJ_CAPABILITIES under its number before ODBC 3, which ODBC 2
// applications still ask.
constexpr uint16_t kOjCapabilitiesOdbc2 = 65003;

// The file name of the library the agent is linked into (xbifxu or xbifx).
const char* DriverFileName() {
  // Never destroyed: calls may still arrive from exit handlers after the
  // library's static objects are gone.
  static const std::string& name = *new std::string([] {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&DriverFileName), &info) == 0 || info.dli_fname == nullptr) {
      return std::string("libxbifxu.so");
    }
    const char* base = std::strrchr(info.dli_fname, '/');
    return std::string(base != nullptr ? base + 1 : info.dli_fname);
  }());
  return name.c_str();
}

// Calls on the connection's DatabaseMetaData for one answer.
class Meta {
 public:
  Meta(JdbcConn* c, InfoAnswer* a) : c_(c), a_(a) {}

  // An answer made by one call: its failure is the answer's.
  void Text(const char* method) {
    a_->rc = DatabaseMetaData::getStringByName(c_, c_->metaData, method, a_->buf, sizeof a_->buf);
    a_->Text(a_->buf);
  }
  void Int(const char* method) {
    int32_t v = 0;
    a_->rc = DatabaseMetaData::getIntByName(c_, c_->metaData, method, &v);
    a_->Int(static_cast<uint32_t>(v));
  }
  void YesNo(const char* method) {
    const bool yes = Bool(method);
    a_->Text(yes ? "Y" : "N");
  }
  // yes or no when the method answers true, else the other.
  void Choice(const char* method, uint32_t yes, uint32_t no) { a_->Int(Bool(method) ? yes : no); }

  // One question of an answer made by several calls. Each starts afresh; a
  // failed one counts as false, and its diagnostic would only mislead, so it
  // is dropped.
  bool Is(const char* method) {
    uint8_t v = 0;
    if (DatabaseMetaData::getBooleanByName(c_, c_->metaData, method, &v) != 0) {
      errClear(&c_->errors);
      return false;
    }
    return v != 0;
  }
  // The OR of the bits whose method answers true.
  struct Bit {
    const char* method;
    uint32_t bit;
  };
  template <size_t N>
  void Bits(const Bit (&bits)[N]) {
    uint32_t mask = 0;
    for (const Bit& b : bits) {
      if (Is(b.method)) mask |= b.bit;
    }
    a_->Int(mask);
  }
  // The value of the first method that answers true, else the last value.
  template <size_t N>
  void First(const Bit (&choices)[N], uint32_t otherwise) {
    for (const Bit& b : choices) {
      if (Is(b.method)) {
        a_->Int(b.bit);
        return;
      }
    }
    a_->Int(otherwise);
  }

 private:
  bool Bool(const char* method) {
    uint8_t v = 0;
    a_->rc = DatabaseMetaData::getBooleanByName(c_, c_->metaData, method, &v);
    return v != 0;
  }

  JdbcConn* c_;
  InfoAnswer* a_;
};

// The SQL type whose conversions an SQL_CONVERT_ type asks for; 0 for none.
int32_t ConvertSource(uint16_t type) {
  switch (type) {
    case SQL_CONVERT_BIGINT: return SQL_BIGINT;
    case SQL_CONVERT_BINARY: return SQL_BINARY;
    case SQL_CONVERT_BIT: return SQL_BIT;
    case SQL_CONVERT_CHAR: return SQL_CHAR;
    case SQL_CONVERT_DATE: return SQL_TYPE_DATE;
    case SQL_CONVERT_DECIMAL: return SQL_DECIMAL;
    case SQL_CONVERT_DOUBLE: return SQL_DOUBLE;
    case SQL_CONVERT_FLOAT: return SQL_FLOAT;
    case SQL_CONVERT_INTEGER: return SQL_INTEGER;
    case SQL_CONVERT_LONGVARCHAR: return SQL_LONGVARCHAR;
    case SQL_CONVERT_NUMERIC: return SQL_NUMERIC;
    case SQL_CONVERT_REAL: return SQL_REAL;
    case SQL_CONVERT_SMALLINT: return SQL_SMALLINT;
    case SQL_CONVERT_TIME: return SQL_TYPE_TIME;
    case SQL_CONVERT_TIMESTAMP: return SQL_TYPE_TIMESTAMP;
    case SQL_CONVERT_TINYINT: return SQL_TINYINT;
    case SQL_CONVERT_VARBINARY: return SQL_VARBINARY;
    case SQL_CONVERT_VARCHAR: return SQL_VARCHAR;
    case SQL_CONVERT_LONGVARBINARY: return SQL_LONGVARBINARY;
    case SQL_CONVERT_WCHAR: return SQL_CHAR;
    case SQL_CONVERT_WLONGVARCHAR: return SQL_LONGVARCHAR;
    case SQL_CONVERT_WVARCHAR: return SQL_VARCHAR;
    case SQL_CONVERT_GUID: return SQL_GUID;
    default: return 0;
  }
}

// A function list of the JDBC driver as a mask of the category's bits. The
// name table is made on the first such question, not at every connect.
void FunctionList(JdbcConn* c, InfoAnswer* a, const char* method, uint32_t category) {
  if (c->scalarFns == nullptr && (c->scalarFns = buildScalarFnTable()) == nullptr) {
    errPostMsg(&c->errors, "Memory allocation failure", ERR_NO_MEMORY);
    a->rc = ERR_NO_MEMORY;
    a->Int(0);
    return;
  }
  a->rc = DatabaseMetaData::getStringByName(c, c->metaData, method, a->buf, sizeof a->buf);
  a->Int(a->rc == 0 ? parseFunctionList(a->buf, c->scalarFns, category) : 0);
}

}  // namespace

bool claimsTimeDateFunction(JdbcConn* c, uint32_t bit) {
  if (c == nullptr) return false;
  if (!c->timeDateFnsKnown) {
    InfoAnswer a;
    FunctionList(c, &a, "getTimeDateFunctions", 4);
    errClear(&c->errors);
    c->timeDateFns = a.num;
    c->timeDateFnsKnown = true;
  }
  return (c->timeDateFns & bit) != 0;
}

namespace {

// Whether the JDBC driver prepares a conversion to the named type, as a
// query with or without a FROM-less SELECT. Its failure is only an answer.
bool PreparesConvertTo(JdbcConn* c, const char* type) {
  for (const char* form : {"VALUES ({fn CONVERT('1', %s)})", "SELECT {fn CONVERT('1', %s)}"}) {
    char sql[96];
    std::snprintf(sql, sizeof sql, form, type);
    if (Connection::prepareAndClose(c, c->connection, sql) == 0) return true;
    errClear(&c->errors);
  }
  return false;
}

}  // namespace

uint32_t convertNamesTaken(JdbcConn* c) {
  if (c == nullptr) return 0;
  if (!c->convertNamesKnown) {
    uint8_t supports = 0;
    if (DatabaseMetaData::getBooleanByName(c, c->metaData, "supportsConvert", &supports) != 0) {
      errClear(&c->errors);
      supports = 0;
    }
    c->convertNames = 0;
    if (supports != 0 && PreparesConvertTo(c, "SQL_INTEGER")) {
      c->convertNames = CONVERT_NAMES_PLAIN;
      if (PreparesConvertTo(c, "SQL_WVARCHAR")) c->convertNames |= CONVERT_NAMES_WIDE;
    }
    c->convertNamesKnown = true;
  }
  return c->convertNames;
}

namespace {

// Answers that need no Java. False when the type is not one of them.
bool ConstantAnswer(uint16_t type, InfoAnswer* a) {
  switch (type) {
    case SQL_DATA_SOURCE_NAME: a->Text(" "); return true;
    case SQL_DRIVER_HDBC:
    case SQL_DRIVER_HENV:
    case SQL_DRIVER_HSTMT:
    case SQL_DRIVER_HLIB:
    case SQL_DRIVER_HDESC: a->Int(0); return true;
    case SQL_DRIVER_NAME: a->Text(DriverFileName()); return true;
    case SQL_DRIVER_VER: a->Text("01.01.0000"); return true;
    case SQL_FETCH_DIRECTION: a->Int(0xBF); return true;
    case SQL_ODBC_API_CONFORMANCE: a->Int(1); return true;
    case SQL_ODBC_VER: a->Text("03.50.0000"); return true;
    case SQL_ROW_UPDATES: a->Text("N"); return true;
    case SQL_ODBC_SAG_CLI_CONFORMANCE: a->Int(1); return true;
    case SQL_SCROLL_CONCURRENCY: a->Int(0x0B); return true;
    case SQL_TABLE_TERM: a->Text("Table"); return true;
    case SQL_DRIVER_ODBC_VER: a->Text("03.50"); return true;
    case SQL_LOCK_TYPES: a->Int(1); return true;
    case SQL_POS_OPERATIONS: a->Int(0x1F); return true;
    case SQL_GETDATA_EXTENSIONS: a->Int(7); return true;
    case SQL_BOOKMARK_PERSISTENCE: a->Int(0x4A); return true;
    case SQL_STATIC_SENSITIVITY: a->Int(0); return true;
    case SQL_TIMEDATE_ADD_INTERVALS:
    case SQL_TIMEDATE_DIFF_INTERVALS: a->Int(0); return true;
    case SQL_NEED_LONG_DATA_LEN: a->Text("Y"); return true;
    case SQL_ACTIVE_ENVIRONMENTS: a->Int(1); return true;
    case SQL_ALTER_DOMAIN:
    case SQL_DATETIME_LITERALS:
    case SQL_BATCH_ROW_COUNT:
    case SQL_BATCH_SUPPORT:
    case SQL_CONVERT_INTERVAL_DAY_TIME:
    case SQL_CONVERT_INTERVAL_YEAR_MONTH: a->Int(0); return true;
    case SQL_DYNAMIC_CURSOR_ATTRIBUTES1: a->Int(0x1E45); return true;
    case SQL_DYNAMIC_CURSOR_ATTRIBUTES2: a->Int(0x60FB); return true;
    // Forward-only cursors fetch forward, and SQLSetPos does not move them;
    // no exact row count is known before the end, and SQL_ATTR_SIMULATE_CURSOR
    // is not taken.
    case SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1: a->Int(SQL_CA1_NEXT); return true;
    case SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2:
      a->Int(SQL_CA2_READ_ONLY_CONCURRENCY | SQL_CA2_LOCK_CONCURRENCY | SQL_CA2_MAX_ROWS_SELECT);
      return true;
    case SQL_INDEX_KEYWORDS:
    case SQL_INFO_SCHEMA_VIEWS: a->Int(0); return true;
    case SQL_KEYSET_CURSOR_ATTRIBUTES1: a->Int(0x1E4F); return true;
    case SQL_KEYSET_CURSOR_ATTRIBUTES2: a->Int(0x50EB); return true;
    case SQL_ODBC_INTERFACE_CONFORMANCE: a->Int(1); return true;
    case SQL_PARAM_ARRAY_ROW_COUNTS: a->Int(2); return true;
    case SQL_PARAM_ARRAY_SELECTS: a->Int(1); return true;
    case SQL_SQL92_DATETIME_FUNCTIONS:
    case SQL_SQL92_FOREIGN_KEY_DELETE_RULE:
    case SQL_SQL92_FOREIGN_KEY_UPDATE_RULE:
    case SQL_SQL92_GRANT:
    case SQL_SQL92_NUMERIC_VALUE_FUNCTIONS:
    case SQL_SQL92_PREDICATES:
    case SQL_SQL92_RELATIONAL_JOIN_OPERATORS:
    case SQL_SQL92_REVOKE:
    case SQL_SQL92_STRING_FUNCTIONS:
    case SQL_SQL92_VALUE_EXPRESSIONS:
    case SQL_STANDARD_CLI_CONFORMANCE:
    case SQL_DDL_INDEX: a->Int(0); return true;
    case SQL_SQL92_ROW_VALUE_CONSTRUCTOR: a->Int(0x0F); return true;
    case SQL_STATIC_CURSOR_ATTRIBUTES1: a->Int(0x64F); return true;
    case SQL_STATIC_CURSOR_ATTRIBUTES2: a->Int(0x508B); return true;
    case SQL_AGGREGATE_FUNCTIONS: a->Int(0x40); return true;
    case SQL_INSERT_STATEMENT: a->Int(7); return true;
    case SQL_XOPEN_CLI_YEAR: a->Text(""); return true;
    case SQL_CURSOR_SENSITIVITY: a->Int(0); return true;
    case SQL_DESCRIBE_PARAMETER: a->Text("Y"); return true;
    case SQL_COLLATION_SEQ: a->Text(""); return true;
    case SQL_ASYNC_MODE: a->Int(2); return true;
    case SQL_MAX_ASYNC_CONCURRENT_STATEMENTS: a->Int(0); return true;
    default: break;
  }
  // The SQL-92 CREATE and DROP statement masks: none of them.
  if ((type >= SQL_CREATE_ASSERTION && type <= SQL_CREATE_VIEW) ||
      (type >= SQL_DROP_ASSERTION && type <= SQL_DROP_VIEW)) {
    a->Int(0);
    return true;
  }
  return false;
}

// The product version text decides success; a driver that cannot tell its
// major or minor version (one older than JDBC 3) leaves them to the text.
void DbmsVersion(JdbcConn* c, InfoAnswer* a) {
  Meta(c, a).Text("getDatabaseProductVersion");
  if (a->rc != 0) return;
  auto number = [c](const char* method) {
    int32_t v = -1;
    if (DatabaseMetaData::getIntByName(c, c->metaData, method, &v) != 0) {
      errClear(&c->errors);
      v = -1;
    }
    return v;
  };
  const std::string text =
      dbmsVersionText(a->buf, number("getDatabaseMajorVersion"), number("getDatabaseMinorVersion"));
  std::snprintf(a->buf, sizeof a->buf, "%s", text.c_str());
  a->Text(a->buf);
}

}  // namespace

std::string dbmsVersionText(const char* productVersion, int32_t major, int32_t minor) {
  // The leading numbers of the text, "15.4 (Debian ...)" giving 15 and 4.
  int32_t parts[3] = {-1, -1, -1};
  const char* p = productVersion != nullptr ? productVersion : "";
  while (*p != '\0' && (*p < '0' || *p > '9')) ++p;
  for (int i = 0; i < 3 && *p >= '0' && *p <= '9'; ++i) {
    int32_t v = 0;
    for (; *p >= '0' && *p <= '9'; ++p) v = v < 100000 ? v * 10 + (*p - '0') : v;
    parts[i] = v;
    if (*p != '.' || p[1] < '0' || p[1] > '9') break;
    ++p;
  }
  if (major < 0) major = parts[0];
  if (minor < 0) minor = parts[1];
  const bool sameVersion = parts[0] == major && parts[1] == minor;
  const int32_t release = sameVersion ? parts[2] : 0;
  auto clamp = [](int32_t v, int32_t most) { return v < 0 ? 0 : v > most ? most : v; };
  char out[16];
  std::snprintf(out, sizeof out, "%02d.%02d.%04d", clamp(major, 99), clamp(minor, 99),
                clamp(release, 9999));
  return out;
}

uint32_t convertMask(JdbcConn* c, uint32_t* error, int32_t sqlType) {
  uint32_t mask = 0;
  for (const ConvertTarget* t = ConvertTargets; t->sqlType != 0; ++t) {
    uint8_t yes = 0;
    const uint32_t rc =
        DatabaseMetaData::supportsConvert(c, c->metaData, sqlType, t->sqlType, &yes);
    if (rc != 0) {
      if (error != nullptr) *error = rc;
      return 0;
    }
    if (yes != 0) mask |= t->bit;
  }
  if (error != nullptr) *error = 0;
  return mask;
}

bool odbcInfoAnswer(JdbcConn* c, uint16_t type, InfoAnswer* a) {
  if (ConstantAnswer(type, a)) return true;
  if (const int32_t source = ConvertSource(type); source != 0) {
    a->Int(convertMask(c, &a->rc, source));
    return true;
  }

  Meta m(c, a);
  switch (type) {
    case SQL_MAX_DRIVER_CONNECTIONS: m.Int("getMaxConnections"); return true;
    case SQL_MAX_CONCURRENT_ACTIVITIES:
      // Emulated multiple active statements: no limit.
      if (c->multipleActiveStmts != 0) {
        a->Int(0);
      } else {
        m.Int("getMaxStatements");
      }
      return true;
    case SQL_SERVER_NAME: m.Text("getDatabaseProductName"); return true;
    case SQL_SEARCH_PATTERN_ESCAPE:
      if (c->settings.noSearchEscape != 0) {
        a->Text("");
      } else {
        m.Text("getSearchStringEscape");
      }
      return true;
    case SQL_ODBC_SQL_CONFORMANCE:
      m.First({{"supportsExtendedSQLGrammar", SQL_OSC_EXTENDED},
               {"supportsCoreSQLGrammar", SQL_OSC_CORE}},
              SQL_OSC_MINIMUM);
      return true;
    case SQL_DATABASE_NAME:
      a->rc = Connection::getCatalog(c, c->connection, a->buf, sizeof a->buf);
      a->Text(a->buf);
      return true;
    case SQL_DBMS_NAME:
      if (c->settings.dbmsName != nullptr && c->settings.dbmsName[0] != '\0') {
        a->Text(c->settings.dbmsName);
      } else {
        m.Text("getDatabaseProductName");
      }
      return true;
    case SQL_DBMS_VER: DbmsVersion(c, a); return true;
    case SQL_ACCESSIBLE_TABLES: m.YesNo("allTablesAreSelectable"); return true;
    case SQL_ACCESSIBLE_PROCEDURES: m.YesNo("allProceduresAreCallable"); return true;
    case SQL_PROCEDURES: m.YesNo("supportsStoredProcedures"); return true;
    case SQL_CONCAT_NULL_BEHAVIOR:
      m.Choice("nullPlusNonNullIsNull", SQL_CB_NULL, SQL_CB_NON_NULL);
      return true;
    case SQL_CURSOR_COMMIT_BEHAVIOR:
      m.First({{"supportsOpenCursorsAcrossCommit", SQL_CB_PRESERVE},
               {"supportsOpenStatementsAcrossCommit", SQL_CB_CLOSE}},
              SQL_CB_DELETE);
      return true;
    case SQL_CURSOR_ROLLBACK_BEHAVIOR:
      m.First({{"supportsOpenCursorsAcrossRollback", SQL_CB_PRESERVE},
               {"supportsOpenStatementsAcrossRollback", SQL_CB_CLOSE}},
              SQL_CB_DELETE);
      return true;
    case SQL_DATA_SOURCE_READ_ONLY: m.YesNo("isReadOnly"); return true;
    case SQL_DEFAULT_TXN_ISOLATION: m.Int("getDefaultTransactionIsolation"); return true;
    case SQL_EXPRESSIONS_IN_ORDERBY: m.YesNo("supportsExpressionsInOrderBy"); return true;
    case SQL_IDENTIFIER_CASE:
      m.First({{"storesUpperCaseIdentifiers", SQL_IC_UPPER},
               {"storesLowerCaseIdentifiers", SQL_IC_LOWER},
               {"storesMixedCaseIdentifiers", SQL_IC_MIXED},
               {"supportsMixedCaseIdentifiers", SQL_IC_SENSITIVE}},
              0);
      return true;
    case SQL_IDENTIFIER_QUOTE_CHAR:
      if (c->settings.noQuotedIdentifier != 0) {
        a->Text(" ");
      } else {
        m.Text("getIdentifierQuoteString");
      }
      return true;
    case SQL_MAX_COLUMN_NAME_LEN:
    case SQL_MAX_IDENTIFIER_LEN:  // a column's name is the identifier every source limits
      m.Int("getMaxColumnNameLength");
      return true;
    case SQL_CATALOG_NAME: {
      // A source with catalogs names them somewhere in its statements.
      const bool named = m.Is("supportsCatalogsInDataManipulation") ||
                         m.Is("supportsCatalogsInTableDefinitions") ||
                         m.Is("supportsCatalogsInProcedureCalls");
      a->Text(named ? "Y" : "N");
      return true;
    }
    case SQL_MAX_CURSOR_NAME_LEN: m.Int("getMaxCursorNameLength"); return true;
    case SQL_MAX_SCHEMA_NAME_LEN: {
      // Applications size buffers by it: a driver that cannot tell gets 255.
      int32_t v = 0;
      if (DatabaseMetaData::getIntByName(c, c->metaData, "getMaxSchemaNameLength", &v) != 0) {
        errClear(&c->errors);
        v = 0;
      }
      a->Int(v != 0 ? static_cast<uint32_t>(v) : 255);
      return true;
    }
    case SQL_MAX_PROCEDURE_NAME_LEN: m.Int("getMaxProcedureNameLength"); return true;
    case SQL_MAX_CATALOG_NAME_LEN: m.Int("getMaxCatalogNameLength"); return true;
    case SQL_MAX_TABLE_NAME_LEN: m.Int("getMaxTableNameLength"); return true;
    case SQL_MULT_RESULT_SETS: m.YesNo("supportsMultipleResultSets"); return true;
    case SQL_MULTIPLE_ACTIVE_TXN: m.YesNo("supportsMultipleTransactions"); return true;
    case SQL_OUTER_JOINS: m.YesNo("supportsOuterJoins"); return true;
    case SQL_SCHEMA_TERM: m.Text("getSchemaTerm"); return true;
    case SQL_PROCEDURE_TERM: m.Text("getProcedureTerm"); return true;
    case SQL_CATALOG_NAME_SEPARATOR: m.Text("getCatalogSeparator"); return true;
    case SQL_CATALOG_TERM: m.Text("getCatalogTerm"); return true;
    case SQL_SCROLL_OPTIONS: a->Int(scrollOptionsMask(c)); return true;
    case SQL_TXN_CAPABLE:
      if (!m.Is("supportsTransactions")) {
        a->Int(SQL_TC_NONE);
      } else {
        m.First({{"dataDefinitionIgnoredInTransactions", SQL_TC_DDL_IGNORE},
                 {"dataDefinitionCausesTransactionCommit", SQL_TC_DDL_COMMIT},
                 {"supportsDataDefinitionAndDataManipulationTransactions", SQL_TC_ALL},
                 {"supportsDataManipulationTransactionsOnly", SQL_TC_DML}},
                SQL_TC_NONE);
      }
      return true;
    case SQL_USER_NAME: m.Text("getUserName"); return true;
    case SQL_CONVERT_FUNCTIONS:
      a->Int((convertNamesTaken(c) & CONVERT_NAMES_PLAIN) != 0 ? SQL_FN_CVT_CONVERT : 0);
      return true;
    case SQL_NUMERIC_FUNCTIONS: FunctionList(c, a, "getNumericFunctions", 1); return true;
    case SQL_STRING_FUNCTIONS: FunctionList(c, a, "getStringFunctions", 2); return true;
    case SQL_SYSTEM_FUNCTIONS: FunctionList(c, a, "getSystemFunctions", 3); return true;
    case SQL_TIMEDATE_FUNCTIONS: FunctionList(c, a, "getTimeDateFunctions", 4); return true;
    case SQL_TXN_ISOLATION_OPTION: {
      uint32_t mask = 0;
      for (int32_t level : {SQL_TXN_SERIALIZABLE, SQL_TXN_REPEATABLE_READ, SQL_TXN_READ_COMMITTED,
                            SQL_TXN_READ_UNCOMMITTED}) {
        uint8_t yes = 0;
        if (DatabaseMetaData::supportsTransactionIsolationLevel(c, c->metaData, level, &yes) != 0) {
          errClear(&c->errors);
          yes = 0;
        }
        if (yes != 0) mask |= static_cast<uint32_t>(level);
      }
      a->Int(mask);
      return true;
    }
    case SQL_INTEGRITY: m.YesNo("supportsIntegrityEnhancementFacility"); return true;
    case SQL_CORRELATION_NAME:
      m.Choice("supportsTableCorrelationNames", SQL_CN_ANY, SQL_CN_NONE);
      return true;
    case SQL_NON_NULLABLE_COLUMNS:
      m.Choice("supportsNonNullableColumns", SQL_NNC_NON_NULL, SQL_NNC_NULL);
      return true;
    case SQL_POSITIONED_STATEMENTS:
      m.Bits({{"supportsPositionedDelete", SQL_PS_POSITIONED_DELETE},
              {"supportsPositionedUpdate", SQL_PS_POSITIONED_UPDATE},
              {"supportsSelectForUpdate", SQL_PS_SELECT_FOR_UPDATE}});
      return true;
    case SQL_FILE_USAGE:
      m.First({{"usesLocalFiles", SQL_FILE_CATALOG}, {"usesLocalFilePerTable", SQL_FILE_TABLE}},
              SQL_FILE_NOT_SUPPORTED);
      return true;
    case SQL_NULL_COLLATION:
      m.First({{"nullsAreSortedAtEnd", SQL_NC_END},
               {"nullsAreSortedAtStart", SQL_NC_START},
               {"nullsAreSortedLow", SQL_NC_LOW}},
              SQL_NC_HIGH);
      return true;
    case SQL_ALTER_TABLE:
      m.Bits({{"supportsAlterTableWithDropColumn", SQL_AT_DROP_COLUMN},
              {"supportsAlterTableWithAddColumn", SQL_AT_ADD_COLUMN}});
      return true;
    case SQL_COLUMN_ALIAS: m.YesNo("supportsColumnAliasing"); return true;
    case SQL_GROUP_BY:
      m.First({{"supportsGroupByUnrelated", SQL_GB_NO_RELATION},
               {"supportsGroupByBeyondSelect", SQL_GB_GROUP_BY_CONTAINS_SELECT},
               {"supportsGroupBy", SQL_GB_GROUP_BY_EQUALS_SELECT}},
              SQL_GB_NOT_SUPPORTED);
      return true;
    case SQL_KEYWORDS: m.Text("getSQLKeywords"); return true;
    case SQL_ORDER_BY_COLUMNS_IN_SELECT: {
      uint8_t unrelated = 0;
      a->rc = DatabaseMetaData::getBooleanByName(c, c->metaData, "supportsOrderByUnrelated",
                                                 &unrelated);
      a->Text(unrelated != 0 ? "N" : "Y");
      return true;
    }
    case SQL_SCHEMA_USAGE:
      m.Bits({{"supportsSchemasInDataManipulation", SQL_SU_DML_STATEMENTS},
              {"supportsSchemasInProcedureCalls", SQL_SU_PROCEDURE_INVOCATION},
              {"supportsSchemasInTableDefinitions", SQL_SU_TABLE_DEFINITION},
              {"supportsSchemasInIndexDefinitions", SQL_SU_INDEX_DEFINITION},
              {"supportsSchemasInPrivilegeDefinitions", SQL_SU_PRIVILEGE_DEFINITION}});
      return true;
    case SQL_CATALOG_USAGE:
      m.Bits({{"supportsCatalogsInDataManipulation", SQL_CU_DML_STATEMENTS},
              {"supportsCatalogsInProcedureCalls", SQL_CU_PROCEDURE_INVOCATION},
              {"supportsCatalogsInTableDefinitions", SQL_CU_TABLE_DEFINITION},
              {"supportsCatalogsInIndexDefinitions", SQL_CU_INDEX_DEFINITION},
              {"supportsCatalogsInPrivilegeDefinitions", SQL_CU_PRIVILEGE_DEFINITION}});
      return true;
    case SQL_QUOTED_IDENTIFIER_CASE:
      m.First({{"storesMixedCaseQuotedIdentifiers", SQL_IC_MIXED},
               {"storesLowerCaseQuotedIdentifiers", SQL_IC_LOWER},
               {"storesUpperCaseQuotedIdentifiers", SQL_IC_UPPER}},
              SQL_IC_SENSITIVE);
      return true;
    case SQL_SPECIAL_CHARACTERS: m.Text("getExtraNameCharacters"); return true;
    case SQL_SUBQUERIES:
      m.Bits({{"supportsCorrelatedSubqueries", SQL_SQ_CORRELATED_SUBQUERIES},
              {"supportsSubqueriesInQuantifieds", SQL_SQ_QUANTIFIED},
              {"supportsSubqueriesInIns", SQL_SQ_IN},
              {"supportsSubqueriesInExists", SQL_SQ_EXISTS},
              {"supportsSubqueriesInComparisons", SQL_SQ_COMPARISON}});
      return true;
    case SQL_UNION:
      m.Bits({{"supportsUnionAll", SQL_U_UNION_ALL}, {"supportsUnion", SQL_U_UNION}});
      return true;
    case SQL_MAX_COLUMNS_IN_GROUP_BY: m.Int("getMaxColumnsInGroupBy"); return true;
    case SQL_MAX_COLUMNS_IN_INDEX: m.Int("getMaxColumnsInIndex"); return true;
    case SQL_MAX_COLUMNS_IN_ORDER_BY: m.Int("getMaxColumnsInOrderBy"); return true;
    case SQL_MAX_COLUMNS_IN_SELECT: m.Int("getMaxColumnsInSelect"); return true;
    case SQL_MAX_COLUMNS_IN_TABLE: m.Int("getMaxColumnsInTable"); return true;
    case SQL_MAX_INDEX_SIZE: m.Int("getMaxIndexLength"); return true;
    case SQL_MAX_ROW_SIZE_INCLUDES_LONG: m.YesNo("doesMaxRowSizeIncludeBlobs"); return true;
    case SQL_MAX_ROW_SIZE: m.Int("getMaxRowSize"); return true;
    case SQL_MAX_STATEMENT_LEN: m.Int("getMaxStatementLength"); return true;
    case SQL_MAX_TABLES_IN_SELECT: m.Int("getMaxTablesInSelect"); return true;
    case SQL_MAX_USER_NAME_LEN: m.Int("getMaxUserNameLength"); return true;
    case SQL_MAX_CHAR_LITERAL_LEN: m.Int("getMaxCharLiteralLength"); return true;
    case SQL_MAX_BINARY_LITERAL_LEN: m.Int("getMaxBinaryLiteralLength"); return true;
    case SQL_LIKE_ESCAPE_CLAUSE: m.YesNo("supportsLikeEscapeClause"); return true;
    case SQL_CATALOG_LOCATION: m.Choice("isCatalogAtStart", SQL_CL_START, SQL_CL_END); return true;
    case SQL_OJ_CAPABILITIES:
    case kOjCapabilitiesOdbc2:
      m.First({{"supportsFullOuterJoins", 0x3F}, {"supportsLimitedOuterJoins", 0x33}}, 0);
      return true;
    case SQL_SQL_CONFORMANCE:
      m.First({{"supportsANSI92FullSQL", SQL_SC_SQL92_FULL},
               {"supportsANSI92IntermediateSQL", SQL_SC_SQL92_INTERMEDIATE},
               {"supportsANSI92EntryLevelSQL", SQL_SC_SQL92_ENTRY}},
              0);
      return true;
    default: return false;  // SQL_DM_VER among them: the Driver Manager's own
  }
}
