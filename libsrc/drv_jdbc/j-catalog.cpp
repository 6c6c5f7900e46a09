// The catalog slots of the agent (25-35). Every one runs the same frame:
// look the statement up, attach the thread, drop whatever the statement
// held, ask DatabaseMetaData for a ResultSet inside a local frame, describe
// it with the function's ODBC column table and leave the fetch settings of
// the function on the statement.
#include <jni.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drv_jdbc/drv_catalog.h"
#include "drv_jdbc/j-catalog.h"
#include "drv_jdbc/j-exec.h"
#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-methods.h"
#include "drv_jdbc/j-stmt.h"
#include "drv_jdbc/j-wrap.h"
#include "util/log.h"

namespace {

constexpr const char* kSrc = "libsrc/drv_jdbc/j-catalog";
constexpr jint kCatalogFrame = 64;

bool Given(const char* t) { return t != nullptr && t[0] != '\0'; }
bool Wild(const char* t) { return t != nullptr && t[0] == '%' && t[1] == '\0'; }

// Java strings of the arguments, local to the catalog call's frame. A text
// that cannot be made leaves its exception posted and the call failed.
class JArgs {
 public:
  explicit JArgs(JdbcStmt* s) : s_(s) {}
  // Catalog and schema arguments: absent or empty passes Java null.
  jstring N(const char* t) { return Given(t) ? Make(t) : nullptr; }
  // Name arguments: absent passes "".
  jstring E(const char* t) { return Make(t != nullptr ? t : ""); }
  // Absent passes null, anything else (empty too) the text.
  jstring Opt(const char* t) { return t != nullptr ? Make(t) : nullptr; }
  uint32_t failed() const { return failed_; }

 private:
  jstring Make(const char* t) {
    JNIEnv* env = s_->jniEnv;
    jstring j = JC_NewString(env, t, s_->wide);
    if (j == nullptr || env->ExceptionCheck()) {
      JC_DeleteLocal(env, j);
      const uint32_t rc = CheckException(env, s_->wide, &s_->errors);
      if (failed_ == 0) failed_ = rc != 0 ? rc : ERR_GENERAL;
      return nullptr;
    }
    return j;
  }
  JdbcStmt* s_;
  uint32_t failed_ = 0;
};

// Drops the result, the Java statement, the descriptions, the parameter
// values and bindings, and the settings of an earlier catalog result.
void catResetStmt(JdbcStmt* s) {
  closeStmtObjects(s);
  if (s->params != nullptr) {
    ColSetFreeColumns(s->params);
    delete s->params;
    s->params = nullptr;
  }
  std::free(s->binds);
  s->binds = nullptr;
  s->bindCount = 0;
  s->paramCount = 0;
  s->paramsDescribed = 0;
  s->jdbcParamTypes.clear();
  s->jdbcParamTypesAsked = false;
  s->markerCount = 0;
  s->flags = 0;
  catClearStmt(s);
}

// Keeps the result set, reads its column types for the boolean check and
// describes it with the kind's table.
uint32_t catDescribe(JdbcStmt* s, uint32_t kind, jobject rs, uint32_t* javaColumns) {
  jexec::KeepResultSet(s, rs);
  std::vector<int32_t> javaTypes;
  if (s->resultSet != nullptr) {
    jobject md = nullptr;
    int32_t count = 0;
    if (ResultSet::getMetaData(s, s->resultSet, &md) == 0 && md != nullptr) {
      s->rsMetaData = s->jniEnv->NewGlobalRef(md);
      JC_DeleteLocal(s->jniEnv, md);
      if (ResultSetMetaData::getColumnCount(s, s->rsMetaData, &count) != 0) count = 0;
    }
    for (int32_t c = 1; c <= count; ++c) {
      int32_t type = 0;
      if (ResultSetMetaData::getColumnType(s, s->rsMetaData, c, &type) != 0) {
        // Without the answer the column keeps the 16-bit form.
        type = 5;
      }
      javaTypes.push_back(type);
    }
    // Metadata failures only cost the boolean check.
    errClear(&s->errors);
  }
  uint16_t n = 0;
  JdbcColDesc* cols = catColumns(kind, s->wide, javaTypes, &n);
  if (cols == nullptr) return ERR_GENERAL;
  s->cols = cols;
  s->colCount = n;
  stmtColsReplaced(s);
  s->catalogKind = kind;
  s->flags |= STMT_COLS_DESCRIBED | STMT_EXECUTED | STMT_RESULT_SET;
  *javaColumns = static_cast<uint32_t>(javaTypes.size());
  return 0;
}

// The common frame. `call` makes the Java arguments and calls the wrapper
// (rc, with the ResultSet in *rs); `settle` sets the fetch settings, told
// how many columns the JDBC result has (0 when its metadata was unreadable).
template <class Call, class Settle>
uint32_t RunCatalog(uint32_t h, uint32_t kind, Call call, Settle settle) {
  JdbcStmt* s = nullptr;
  if (uint32_t rc = jexec::Enter(h, &s)) return rc;
  catResetStmt(s);
  if (s->conn == nullptr || s->conn->metaData == nullptr) return ERR_GENERAL;
  JC_LocalFrame frame(s->jniEnv, kCatalogFrame);
  JArgs args(s);
  jobject rs = nullptr;
  uint32_t rc = call(s, s->conn->metaData, args, &rs);
  if (rc == 0 && args.failed() != 0) rc = args.failed();
  if (rc != 0) {
    JC_DeleteLocal(s->jniEnv, rs);
    return rc;
  }
  uint32_t javaColumns = 0;
  if ((rc = catDescribe(s, kind, rs, &javaColumns)) != 0) return rc;
  settle(s, javaColumns);
  return 0;
}

const DRV_CatalogArgs* ArgsOf(const void* p) {
  static const DRV_CatalogArgs kNone{};
  return p != nullptr ? static_cast<const DRV_CatalogArgs*>(p) : &kNone;
}

void NoSettings(JdbcStmt*, uint32_t) {}

// The row hook alone.
template <uint32_t (*Hook)(JdbcStmt*, COLSET*)>
void HookOnly(JdbcStmt* s, uint32_t) {
  s->rowHook = Hook;
}

// The DatabaseMetaData methods taking catalog, schema and one name.
using NamedMethod = uint32_t (*)(JdbcStmt*, jobject, jstring, jstring, jstring, jobject*);

// Catalog and schema by rule N, the name by rule E.
uint32_t CallNamed(NamedMethod m, JdbcStmt* s, jobject md, JArgs& j, const char* catalog,
                   const char* schema, const char* name, jobject* rs) {
  jstring cat = j.N(catalog), sch = j.N(schema), tab = j.E(name);
  if (j.failed() != 0) return j.failed();
  return m(s, md, cat, sch, tab, rs);
}

// A slot of one of those methods with the block's catalog, schema and name.
uint32_t RunNamed(uint32_t stmt, const void* p, uint32_t kind, NamedMethod m) {
  const DRV_CatalogArgs* a = ArgsOf(p);
  return RunCatalog(
      stmt, kind,
      [&](JdbcStmt* s, jobject md, JArgs& j, jobject* rs) {
        return CallNamed(m, s, md, j, a->catalog, a->schema, a->name, rs);
      },
      NoSettings);
}

void Trim(std::string* s) {
  const size_t b = s->find_first_not_of(" \t");
  if (b == std::string::npos) {
    s->clear();
    return;
  }
  s->erase(s->find_last_not_of(" \t") + 1);
  s->erase(0, b);
}

std::string Upper(const char* t) {
  std::string u(t);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

// The type list as a Java String[]: null for an empty list.
uint32_t TypesArray(JdbcStmt* s, const std::string& types, jobjectArray* out) {
  *out = nullptr;
  const std::vector<std::string> items = catSplitTypes(types.c_str());
  // "%" asks for every type: no filter at all. Passed on, it would name a
  // type no table has.
  if (items.empty() || std::find(items.begin(), items.end(), "%") != items.end()) return 0;
  JNIEnv* env = s->jniEnv;
  jclass str = JM_SystemClass(env, "java/lang/String");
  if (str == nullptr) {
    env->ExceptionClear();
    log_message(LOG_LEVEL_ERROR, kSrc, __LINE__, "Can't find java.lang.String");
    return ERR_GENERAL;
  }
  jobjectArray arr = env->NewObjectArray(static_cast<jsize>(items.size()), str, nullptr);
  if (arr == nullptr) {
    env->ExceptionClear();
    log_message(LOG_LEVEL_ERROR, kSrc, __LINE__, "Can't create Array of java.lang.String");
    return ERR_GENERAL;
  }
  for (size_t i = 0; i < items.size(); ++i) {
    jstring e = JC_NewString(env, items[i].c_str(), s->wide);
    if (e == nullptr || env->ExceptionCheck()) {
      JC_DeleteLocal(env, e);
      JC_DeleteLocal(env, arr);
      const uint32_t rc = CheckException(env, s->wide, &s->errors);
      return rc != 0 ? rc : ERR_GENERAL;
    }
    env->SetObjectArrayElement(arr, static_cast<jsize>(i), e);
    JC_DeleteLocal(env, e);
    if (env->ExceptionCheck()) {
      JC_DeleteLocal(env, arr);
      const uint32_t rc = CheckException(env, s->wide, &s->errors);
      return rc != 0 ? rc : ERR_GENERAL;
    }
  }
  *out = arr;
  return 0;
}

// ODBC's procedures are JDBC's procedures and functions, and a JDBC 4
// driver may list its functions only under getFunctions (PostgreSQL's and
// HSQLDB's do): the functions the kept procedures lack join them, with
// their catalog, schema and name (its other columns say nothing ODBC asks
// for), as SQL_PT_FUNCTION. A driver that cannot answer leaves the
// procedures alone.
void AddFunctions(uint32_t stmt, const DRV_CatalogArgs* a) {
  JdbcStmt* s = AGT_Stmt(stmt);
  if (s == nullptr || s->conn == nullptr || s->conn->metaData == nullptr) return;
  std::shared_ptr<void> procedures = std::move(s->keptRows);
  s->keptRows.reset();
  uint32_t rc;
  {
    JC_LocalFrame frame(s->jniEnv, kCatalogFrame);
    JArgs args(s);
    jobject rs = nullptr;
    rc = CallNamed(DatabaseMetaData::getFunctions, s, s->conn->metaData, args, a->catalog,
                   a->schema, a->name, &rs);
    if (rc == 0) {
      // The procedures are read whole: their result goes.
      if (s->resultSet != nullptr && ResultSet::close(s, s->resultSet) != 0) errClear(&s->errors);
      jexec::KeepResultSet(s, rs);
    }
  }
  s->fetchColLimit = 3;
  s->flags &= static_cast<uint16_t>(~STMT_NO_MORE_ROWS);
  if (rc == 0) rc = catKeepRows(stmt, {1, 2, 3});
  s->fetchColLimit = -1;
  if (rc != 0) {
    errClear(&s->errors);
    s->keptRows.reset();
  }
  catKeepAddedRows(s, std::move(procedures), 8, SQL_PT_FUNCTION);
}

}  // namespace

// ---------------------------------------------------------------------------

void catClearStmt(JdbcStmt* s) {
  s->catalogKind = CAT_KIND_NONE;
  s->rowHook = nullptr;
  s->fetchColLimit = -1;
  s->singleTarget = -1;
  s->requestedType = 0;
  s->procOrdinal = 0;
  std::free(s->lastProcName);
  s->lastProcName = nullptr;
  s->keptRows.reset();
}

uint32_t catEnumKind(const char* catalog, const char* schema, const char* table,
                     const char* types) {
  uint32_t kind = (Wild(catalog) ? 1u : 0u) | (Wild(schema) ? 2u : 0u) | (Wild(table) ? 4u : 0u) |
                  (Wild(types) ? 8u : 0u);
  const bool cat = Given(catalog), sch = Given(schema), tab = Given(table);
  if ((kind & 1) != 0 && (sch || tab)) return 0;
  if ((kind & 2) != 0 && (cat || tab)) return 0;
  if (kind >= 8 && (cat || sch || tab)) return 0;
  return kind;
}

std::vector<std::string> catSplitTypes(const char* types) {
  std::vector<std::string> out;
  if (types == nullptr || types[0] == '\0') return out;
  auto isQuote = [](char c) { return c == '\'' || c == '"'; };
  const std::string all(types);
  size_t start = 0;
  while (true) {
    const size_t comma = all.find(',', start);
    std::string item =
        all.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    // Blanks around a quoted name belong to the list, not to the name: a
    // quote left in would reach the server inside the name.
    Trim(&item);
    if (!item.empty() && isQuote(item.front())) item.erase(0, 1);
    if (!item.empty() && isQuote(item.back())) item.pop_back();
    // No type name holds an apostrophe, and some drivers paste the names
    // into SQL of their own unescaped: one left inside goes.
    item.erase(std::remove(item.begin(), item.end(), '\''), item.end());
    Trim(&item);
    out.push_back(item);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return out;
}

// How closely a type information row maps its DATA_TYPE (lower first): a
// type with a usable size before one without (an application takes the
// first type that fits), and the type under the standard name before the
// server's special ones (PostgreSQL's text before its identifier type).
int TypeInfoRank(const COLSET& set, uint32_t row) {
  if (set.cols_used < 3) return 0;
  const CatCell name{const_cast<COLSET_COL*>(&set.cols[0]), row};
  const CatCell type{const_cast<COLSET_COL*>(&set.cols[1]), row};
  const CatCell size{const_cast<COLSET_COL*>(&set.cols[2]), row};
  const bool sized = !size.IsNull() && size.Int() > 0;
  const bool standard = DRV_IsStandardTypeName(catTypeKey(type.Int()), name.Ascii().c_str());
  return (sized ? 0 : 2) + (standard ? 0 : 1);
}

extern "C" {

uint32_t DRV_DDTables(uint32_t stmt, const void* p) {
  const DRV_CatalogArgs* a = ArgsOf(p);
  const std::string types = a->extra != nullptr ? Upper(a->extra) : std::string();
  const char* typeArg = a->extra != nullptr ? types.c_str() : nullptr;
  const uint32_t listing = catEnumKind(a->catalog, a->schema, a->name, typeArg);
  int32_t limit = -1, target = -1;
  auto call = [&](JdbcStmt* s, jobject md, JArgs& j, jobject* rs) -> uint32_t {
    if ((listing & 1) != 0) {
      limit = 1;
      return DatabaseMetaData::getCatalogs(s, md, rs);
    }
    if ((listing & 2) != 0) {
      target = 1;
      return DatabaseMetaData::getSchemas(s, md, rs);
    }
    if ((listing & 8) != 0) {
      target = 3;
      return DatabaseMetaData::getTableTypes(s, md, rs);
    }
    jstring cat = j.N(a->catalog), sch = j.Opt(a->schema), tab = j.Opt(a->name);
    if (j.failed() != 0) return j.failed();
    jobjectArray arr = nullptr;
    if (uint32_t rc = TypesArray(s, types, &arr)) return rc;
    return DatabaseMetaData::getTables(s, md, cat, sch, tab, arr, rs);
  };
  const uint32_t rc = RunCatalog(stmt, CAT_KIND_TABLES, call, [&](JdbcStmt* s, uint32_t) {
    s->fetchColLimit = limit;
    s->singleTarget = target;
  });
  // TABLE_TYPE, TABLE_CAT, TABLE_SCHEM, TABLE_NAME.
  return rc != 0 ? rc : catKeepRows(stmt, {4, 1, 2, 3});
}

uint32_t DRV_DDColumns(uint32_t stmt, const void* p) {
  const DRV_CatalogArgs* a = ArgsOf(p);
  return RunCatalog(
      stmt, CAT_KIND_COLUMNS,
      [&](JdbcStmt* s, jobject md, JArgs& j, jobject* rs) {
        jstring cat = j.N(a->catalog), sch = j.E(a->schema), tab = j.E(a->name),
                col = j.E(a->extra);
        if (j.failed() != 0) return j.failed();
        return DatabaseMetaData::getColumns(s, md, cat, sch, tab, col, rs);
      },
      HookOnly<catColumnsRowHook>);
}

uint32_t DRV_DDColumnPrivileges(uint32_t stmt, const void* p) {
  const DRV_CatalogArgs* a = ArgsOf(p);
  return RunCatalog(
      stmt, CAT_KIND_COLUMN_PRIVILEGES,
      [&](JdbcStmt* s, jobject md, JArgs& j, jobject* rs) {
        jstring cat = j.N(a->catalog), sch = j.N(a->schema), tab = j.N(a->name),
                col = j.E(a->extra);
        if (j.failed() != 0) return j.failed();
        return DatabaseMetaData::getColumnPrivileges(s, md, cat, sch, tab, col, rs);
      },
      NoSettings);
}

uint32_t DRV_DDTablePrivileges(uint32_t stmt, const void* p) {
  return RunNamed(stmt, p, CAT_KIND_TABLE_PRIVILEGES, DatabaseMetaData::getTablePrivileges);
}

uint32_t DRV_DDPrimaryKeys(uint32_t stmt, const void* p) {
  return RunNamed(stmt, p, CAT_KIND_PRIMARY_KEYS, DatabaseMetaData::getPrimaryKeys);
}

uint32_t DRV_DDProcedures(uint32_t stmt, const void* p) {
  uint32_t rc = RunNamed(stmt, p, CAT_KIND_PROCEDURES, DatabaseMetaData::getProcedures);
  // PROCEDURE_CAT, PROCEDURE_SCHEM, PROCEDURE_NAME.
  if (rc == 0) rc = catKeepRows(stmt, {1, 2, 3});
  if (rc == 0) AddFunctions(stmt, ArgsOf(p));
  return rc;
}

uint32_t DRV_DDProcedureColumns(uint32_t stmt, const void* p) {
  const DRV_CatalogArgs* a = ArgsOf(p);
  return RunCatalog(
      stmt, CAT_KIND_PROCEDURE_COLUMNS,
      [&](JdbcStmt* s, jobject md, JArgs& j, jobject* rs) {
        jstring cat = j.N(a->catalog), sch = j.N(a->schema), proc = j.E(a->name),
                col = j.E(a->extra);
        if (j.failed() != 0) return j.failed();
        return DatabaseMetaData::getProcedureColumns(s, md, cat, sch, proc, col, rs);
      },
      [](JdbcStmt* s, uint32_t javaColumns) {
        // PROCEDURE_CAT to REMARKS come from every JDBC driver; a JDBC 4
        // driver's row also holds the default, the types, the position and
        // the nullability in ODBC's order. The hook makes what is missing.
        s->fetchColLimit = static_cast<int32_t>(std::clamp<uint32_t>(javaColumns, 13, 19));
        s->rowHook = catProcColumnsRowHook;
      });
}

uint32_t DRV_DDSpecialColumns(uint32_t stmt, const void* p) {
  const DRV_CatalogArgs* a = ArgsOf(p);
  return RunCatalog(
      stmt, CAT_KIND_SPECIAL_COLUMNS,
      [&](JdbcStmt* s, jobject md, JArgs& j, jobject* rs) {
        if (a->value[0] == 2)  // SQL_ROWVER
          return CallNamed(DatabaseMetaData::getVersionColumns, s, md, j, a->catalog, a->schema,
                           a->name, rs);
        jstring cat = j.N(a->catalog), sch = j.N(a->schema), tab = j.E(a->name);
        if (j.failed() != 0) return j.failed();
        return DatabaseMetaData::getBestRowIdentifier(s, md, cat, sch, tab, a->value[1],
                                                      a->value[2] != 0, rs);
      },
      HookOnly<catSpecialColumnsRowHook>);
}

uint32_t DRV_DDStatistics(uint32_t stmt, const void* p) {
  const DRV_CatalogArgs* a = ArgsOf(p);
  const uint32_t rc = RunCatalog(
      stmt, CAT_KIND_STATISTICS,
      [&](JdbcStmt* s, jobject md, JArgs& j, jobject* rs) {
        jstring cat = j.N(a->catalog), sch = j.N(a->schema), tab = j.E(a->name);
        if (j.failed() != 0) return j.failed();
        return DatabaseMetaData::getIndexInfo(s, md, cat, sch, tab, a->value[0] == 0,
                                              a->value[1] == 0, rs);
      },
      HookOnly<catStatisticsRowHook>);
  // NON_UNIQUE, TYPE, INDEX_QUALIFIER, INDEX_NAME, ORDINAL_POSITION.
  return rc != 0 ? rc : catKeepRows(stmt, {4, 7, 5, 6, 8});
}

uint32_t DRV_DDForeignKeys(uint32_t stmt, const void* p) {
  const DRV_CatalogArgs* a = ArgsOf(p);
  return RunCatalog(
      stmt, CAT_KIND_FOREIGN_KEYS,
      [&](JdbcStmt* s, jobject md, JArgs& j, jobject* rs) -> uint32_t {
        const bool pk = Given(a->name), fk = Given(a->fkName);
        if (!pk && fk)
          return CallNamed(DatabaseMetaData::getImportedKeys, s, md, j, a->fkCatalog, a->fkSchema,
                           a->fkName, rs);
        if (pk && !fk)
          return CallNamed(DatabaseMetaData::getExportedKeys, s, md, j, a->catalog, a->schema,
                           a->name, rs);
        jstring pc = j.N(a->catalog), ps = j.N(a->schema), pt = j.E(a->name);
        jstring fc = j.N(a->fkCatalog), fs = j.N(a->fkSchema), ft = j.E(a->fkName);
        if (j.failed() != 0) return j.failed();
        return DatabaseMetaData::getCrossReference(s, md, pc, ps, pt, fc, fs, ft, rs);
      },
      NoSettings);
}

uint32_t DRV_DDGetTypeInfo(uint32_t stmt, int16_t sqlType) {
  const uint32_t rc = RunCatalog(
      stmt, CAT_KIND_TYPE_INFO,
      [](JdbcStmt* s, jobject md, JArgs&, jobject* rs) {
        return DatabaseMetaData::getTypeInfo(s, md, rs);
      },
      [sqlType](JdbcStmt* s, uint32_t) {
        // The ODBC 3 date and time codes ask for the same rows as the ODBC 2
        // ones; DRV_Fetch compares each row in the form it will report.
        s->requestedType =
            sqlType >= 91 && sqlType <= 93 ? static_cast<int16_t>(sqlType - 82) : sqlType;
        s->fetchColLimit = 18;
        s->rowHook = catTypeInfoRowHook;
      });
  // By DATA_TYPE, then by how closely each type maps.
  if (rc != 0) return rc;
  if (uint32_t kept = catKeepRows(stmt, {2}, TypeInfoRank)) return kept;
  JdbcStmt* s = AGT_Stmt(stmt);
  if (s != nullptr && s->wide != 0 && sqlType == SQL_ALL_TYPES) catKeepNarrowTextRows(s);
  return 0;
}

}  // extern "C"
