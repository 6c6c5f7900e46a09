// Agent statement records.
#include "drv_jdbc/j-stmt.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "drv_jdbc/drv_agent.h"
#include "drv_jdbc/j-catalog.h"
#include "drv_jdbc/j-exec-block.h"
#include "drv_jdbc/j-exec.h"
#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-vm.h"
#include "drv_jdbc/j-wrap.h"
#include "util/errcodes.h"
#include "util/odbc_own.h"

const ColAttrTemplateEntry ColAttrTemplate[COL_ATTR_COUNT] = {
    {SQL_DESC_AUTO_UNIQUE_VALUE, ATTR_KIND_INT, 0},
    {SQL_DESC_CASE_SENSITIVE, ATTR_KIND_INT, 0},
    {-SQL_DESC_SEARCHABLE, ATTR_KIND_INT, 0},
    {SQL_DESC_UPDATABLE, ATTR_KIND_INT, SQL_ATTR_READWRITE_UNKNOWN},
    {SQL_DESC_TYPE_NAME, ATTR_KIND_TEXT, 0},
    {SQL_DESC_LITERAL_PREFIX, ATTR_KIND_TEXT, 0},
    {SQL_DESC_LITERAL_SUFFIX, ATTR_KIND_TEXT, 0},
    {QMR_DESC_KEY_COLUMN, ATTR_KIND_INT, 0},
    {SQL_DESC_ROWVER, ATTR_KIND_INT, 0},
    {QMR_DESC_EXPRESSION, ATTR_KIND_INT, 0},
    {SQL_DESC_BASE_COLUMN_NAME, ATTR_KIND_TEXT, 0},
};

namespace {

constexpr jint kFrame = 64;
constexpr uint16_t kResultBits = 0x02 | 0x04 | 0x08;
constexpr uint16_t kExecBits = 0x01 | 0x20 | 0x40 | 0x80 | 0x100;
constexpr uint16_t kObjectsClosed = 0x10;
constexpr uint16_t kAdjustFromAnalysis = 0x1000;

void DeleteGlobal(JNIEnv* env, jobject* ref) {
  if (*ref != nullptr && env != nullptr) env->DeleteGlobalRef(*ref);
  *ref = nullptr;
}

void FreeColSet(COLSET** set) {
  if (*set == nullptr) return;
  ColSetFreeColumns(*set);
  delete *set;
  *set = nullptr;
}

bool IsCharType(int32_t t) {
  return t == SQL_WLONGVARCHAR || t == SQL_WVARCHAR || t == SQL_WCHAR || t == SQL_LONGVARCHAR ||
         t == SQL_CHAR || t == SQL_VARCHAR;
}
bool IsSearchableType(int32_t t) {
  return t != SQL_BINARY && t != SQL_VARBINARY && t != SQL_LONGVARBINARY;
}

const JdbcTypeEntry* ServerType(const JdbcStmt* s, int32_t sqlType) {
  if (s->conn == nullptr || s->conn->typeTable == nullptr) return nullptr;
  // The table is keyed by one form of each type, whatever form asks.
  int16_t key = catTypeKey(sqlType);
  return static_cast<const JdbcTypeEntry*>(hash_lookup(s->conn->typeTable, &key));
}

uint32_t SetText(ATTR_ENTRY* e, const char* text) {
  e->value.text = strdup(text != nullptr ? text : "");
  return e->value.text != nullptr ? 0 : ERR_NO_MEMORY;
}

// The type name of column c: the database's own name for the column's type
// (varchar, interval), as its catalog gives it; the server type table's
// name for the column's SQL type where the driver names none (catalog
// results, a driver that cannot tell).
uint32_t TypeNameEntry(JdbcStmt* s, int c, const JdbcColDesc* d, ATTR_ENTRY* e,
                       const jexec::ColumnAnswers& got) {
  if (s->rsMetaData != nullptr && s->catalogKind == 0 && got.Has()) {
    const std::string& name = got.typeNames[static_cast<size_t>(c - 1)];
    if (!name.empty()) return SetText(e, name.c_str());
  } else if (s->rsMetaData != nullptr && s->catalogKind == 0) {
    char* name = nullptr;
    if (ResultSetMetaData::getColumnTypeName(s, s->rsMetaData, c, &name) != 0) {
      errClear(&s->errors);
    } else if (name != nullptr && name[0] != '\0') {
      e->value.text = name;
      return 0;
    }
    std::free(name);
  }
  const JdbcTypeEntry* t = ServerType(s, d->sql_type);
  return SetText(e, t != nullptr ? t->typeName : "");
}

// A result column of no table is an expression's (a driver names the table
// of every column it can tell).
bool FromTable(const JdbcColDesc* d) {
  const char* table = ColDescText(d, COLDESC_TABLE);
  return table != nullptr && table[0] != '\0';
}

// The name column c has in its table: empty for an expression's, the
// label for a catalog result's own columns.
uint32_t BaseNameEntry(JdbcStmt* s, int c, const JdbcColDesc* d, ATTR_ENTRY* e,
                       const jexec::ColumnAnswers& got) {
  const char* label = ColDescText(d, COLDESC_LABEL);
  if (s->rsMetaData == nullptr || s->catalogKind != 0)
    return SetText(e, label != nullptr && label[0] != '\0' ? label : d->name);
  if (!FromTable(d)) return SetText(e, "");
  const size_t at = static_cast<size_t>(c - 1);
  if (at < got.textNames.size() && got.textNames[at].has_value())
    return SetText(e, got.textNames[at]->c_str());
  if (got.Has()) return SetText(e, got.baseNames[static_cast<size_t>(c - 1)].c_str());
  char* name = nullptr;
  if (ResultSetMetaData::getColumnName(s, s->rsMetaData, c, &name) != 0) {
    errClear(&s->errors);
    return SetText(e, label);
  }
  const uint32_t rc = SetText(e, name);
  std::free(name);
  return rc;
}

// Fills the value of one attribute entry of column c (1-based); what got
// holds is not asked of the metadata again.
uint32_t FillEntry(JdbcStmt* s, int c, const JdbcColDesc* d, ATTR_ENTRY* e,
                   const jexec::ColumnAnswers& got) {
  const int code = e->field < 0 ? -e->field : e->field;
  const bool catalog = s->catalogKind != 0;
  const jobject md = s->rsMetaData;
  const bool asked = md != nullptr && !catalog && got.Has();
  uint8_t b = 0;
  uint32_t rc = 0;
  switch (code) {
    case SQL_DESC_UPDATABLE: {
      if (md == nullptr) {
        e->value.u32 = SQL_ATTR_READWRITE_UNKNOWN;
      } else if (catalog) {
        e->value.u32 = SQL_ATTR_READONLY;
      } else if (asked) {
        e->value.u32 = jexec::UpdatableOf(got.At(c, jexec::kAnswerReadOnly), FromTable(d));
      } else {
        uint8_t readOnly = 0;
        if ((rc = ResultSetMetaData::isReadOnly(s, md, c, &readOnly)) != 0) return rc;
        e->value.u32 = jexec::UpdatableOf(readOnly != 0, FromTable(d));
      }
      break;
    }
    case SQL_DESC_AUTO_UNIQUE_VALUE:
      if (md == nullptr || catalog) {
        e->value.u32 = 0;
      } else if (asked) {
        e->value.u32 = got.At(c, jexec::kAnswerAutoIncrement) ? 1 : 0;
      } else {
        if ((rc = ResultSetMetaData::isAutoIncrement(s, md, c, &b)) != 0) return rc;
        e->value.u32 = b ? 1 : 0;
      }
      break;
    case SQL_DESC_CASE_SENSITIVE:
      if (md == nullptr) {
        e->value.u32 = 0;
      } else if (catalog) {
        e->value.u32 = IsCharType(d->sql_type) ? 1 : 0;
      } else if (asked) {
        e->value.u32 = got.At(c, jexec::kAnswerCaseSensitive) ? 1 : 0;
      } else {
        if ((rc = ResultSetMetaData::isCaseSensitive(s, md, c, &b)) != 0) return rc;
        e->value.u32 = b ? 1 : 0;
      }
      break;
    case SQL_DESC_SEARCHABLE: {
      if (md == nullptr) {
        e->value.u32 = 0;
        break;
      }
      bool searchable;
      if (catalog) {
        searchable = IsSearchableType(d->sql_type);
      } else if (asked) {
        searchable = got.At(c, jexec::kAnswerSearchable);
      } else if (ResultSetMetaData::isSearchable(s, md, c, &b) != 0) {
        errClear(&s->errors);
        searchable = IsSearchableType(d->sql_type);
      } else {
        searchable = b != 0;
      }
      const bool longText = d->sql_type == SQL_LONGVARCHAR || d->sql_type == SQL_WLONGVARCHAR;
      e->value.u32 = !searchable ? SQL_PRED_NONE : (longText ? SQL_PRED_CHAR : SQL_SEARCHABLE);
      break;
    }
    case SQL_DESC_BASE_COLUMN_NAME: return BaseNameEntry(s, c, d, e, got);
    case SQL_DESC_TYPE_NAME: return TypeNameEntry(s, c, d, e, got);
    case SQL_DESC_LITERAL_PREFIX: {
      const JdbcTypeEntry* t = ServerType(s, d->sql_type);
      return SetText(e, t != nullptr ? t->literalPrefix : "");
    }
    case SQL_DESC_LITERAL_SUFFIX: {
      const JdbcTypeEntry* t = ServerType(s, d->sql_type);
      return SetText(e, t != nullptr ? t->literalSuffix : "");
    }
    case SQL_DESC_ROWVER: e->value.u32 = 0; break;
    case QMR_DESC_KEY_COLUMN:
    case QMR_DESC_EXPRESSION:
      e->field = static_cast<int16_t>(-code);  // asked of the cursor library, not answered here
      e->value.u32 = 0;
      break;
    default: break;
  }
  return 0;
}

// The result's metadata, which a description taken from the kept one left
// unread; 0 or the code of its failure.
uint32_t KeepMetaData(JdbcStmt* s) {
  if (s->rsMetaData != nullptr || s->resultSet == nullptr || s->catalogKind != 0) return 0;
  jobject md = nullptr;
  if (uint32_t rc = ResultSet::getMetaData(s, s->resultSet, &md)) return rc;
  if (md != nullptr) s->rsMetaData = s->jniEnv->NewGlobalRef(md);
  JC_DeleteLocal(s->jniEnv, md);
  return 0;
}

void FreeEntries(ATTR_ENTRY* entries, size_t n) {
  if (entries == nullptr) return;
  for (size_t i = 0; i < n; ++i) ATTR_EntryRelease(&entries[i]);
  std::free(entries);
}

// Lets go of the current result; closeJava false leaves the Java result set
// to the close of its statement, which closes it (JDBC's rule).
void dropResult(JdbcStmt* s, bool closeJava) {
  s->flags &= static_cast<uint16_t>(~kResultBits);
  s->rowPosition = -1;
  s->executedSets = 0;
  s->rowCount = 0;
  s->updateCount = -1;
  s->rowsFetched = 0;
  s->describeLate = 0;
  errClear(&s->heldErrors);
  s->rowFailureHeld = false;
  std::free(s->resultBuffer);
  s->resultBuffer = nullptr;
  jblock::DropAhead(s);
  if (s->resultSet != nullptr) {
    if (closeJava) ResultSet::close(s, s->resultSet);
    DeleteGlobal(s->jniEnv, &s->resultSet);
  }
  DeleteGlobal(s->jniEnv, &s->rsMetaData);
  catClearStmt(s);
}

}  // namespace

uint32_t enterStmt(uint32_t h, JdbcStmt** out) {
  JdbcStmt* s = AGT_Stmt(h);
  if (s == nullptr) return ERR_INVALID_ARGUMENT;
  JNIEnv* env = attachJVM();
  if (env == nullptr) return ERR_GENERAL;
  s->jniEnv = env;
  *out = s;
  return 0;
}

void resetStmtResult(JdbcStmt* s) { dropResult(s, true); }

void stmtColsReplaced(JdbcStmt* s) {
  // Numbers come from one counter for all statements, so that no two
  // descriptions a statement ever holds share one (0 is skipped: it says
  // "none").
  static std::atomic<uint32_t> last{0};
  uint32_t next = last.fetch_add(1, std::memory_order_relaxed) + 1;
  if (next == 0) next = last.fetch_add(1, std::memory_order_relaxed) + 1;
  s->colsGeneration = next;
}

uint32_t stmtColsGeneration(const JdbcStmt* s) {
  return (s->optionBits & kAdjustFromAnalysis) != 0 ? 0 : s->colsGeneration;
}

void closeStmtObjects(JdbcStmt* s) {
  // A result set held with a statement is that statement's (a catalog
  // result has none), and goes with its close below.
  dropResult(s, s->statement == nullptr);
  s->flags = static_cast<uint16_t>((s->flags & ~kExecBits) | kObjectsClosed);
  jexec::DropKeptDesc(s);
  ColDescFree(s->cols, s->colCount);
  s->cols = nullptr;
  s->colCount = 0;
  stmtColsReplaced(s);
  ColDescFree(s->paramDescs, s->paramDescCount);
  s->paramDescs = nullptr;
  s->paramDescCount = 0;
  std::free(s->closeBuffer);
  s->closeBuffer = nullptr;
  if (s->statement != nullptr) {
    // Only a statement with markers has values to let go of first.
    if (s->markerCount > 0 || s->paramCount > 0)
      PreparedStatement::clearParameters(s, s->statement);
    Statement::close(s, s->statement);
    plat::Guard<plat::Mutex> g(AGT_StatementRefLock());
    s->statement.Replace(s->jniEnv, nullptr);
  }
  if (s->paramSet != nullptr) {
    REC_FreePair(s->paramSet);
    std::free(s->paramSet);
    s->paramSet = nullptr;
  }
}

void freeStmtRec(JdbcStmt* s) {
  if (s == nullptr) return;
  if (JdbcConn* c = s->conn) {
    plat::Guard<plat::Mutex> g(c->stmtLock);
    auto it = std::find(c->stmts.begin(), c->stmts.end(), s->handle);
    if (it != c->stmts.end()) c->stmts.erase(it);
  }
  FreeColSet(&s->rows);
  jblock::Release(s);
  FreeColSet(&s->params);
  std::free(s->fetchValue);
  std::free(s->sql);
  std::free(s->binds);
  std::free(s->resultBuffer);
  std::free(s->closeBuffer);
  std::free(s->lastProcName);
  std::free(s->cursorName);
  ColDescFree(s->cols, s->colCount);
  ColDescFree(s->paramDescs, s->paramDescCount);
  errClear(&s->errors);
  errClear(&s->heldErrors);
  delete s;
}

extern "C" {

uint32_t DRV_AllocStmt(uint32_t conn, uint32_t* stmt) {
  JdbcConn* c = AGT_Conn(conn);
  if (c == nullptr || stmt == nullptr) return ERR_INVALID_ARGUMENT;
  *stmt = 0;
  JNIEnv* env = attachJVM();
  if (env == nullptr) return ERR_GENERAL;
  c->jniEnv = env;
  auto* s = new (std::nothrow) JdbcStmt{};
  if (s == nullptr) return ERR_NO_MEMORY;
  s->conn = c;
  s->wide = c->utf8;
  s->connRef = &c->connection;
  s->rowPosition = -1;
  s->singleTarget = -1;
  s->fetchColLimit = -1;
  s->jniEnv = env;
  s->stmtDefault = c->stmtDefault;
  s->maxRows = c->settings.maxRows > 0 ? static_cast<uint32_t>(c->settings.maxRows) : 0;
  uint32_t h = 0;
  int rc = HT_Alloc(&gAgentStmtTable, &h, s);
  if (rc != 0) {
    delete s;
    return static_cast<uint32_t>(rc);
  }
  s->handle = h;
  {
    plat::Guard<plat::Mutex> g(c->stmtLock);
    c->stmts.push_back(h);
  }
  *stmt = h;
  return 0;
}

uint32_t DRV_FreeStmt(uint32_t stmt) {
  JdbcStmt* s = nullptr;
  if (uint32_t rc = enterStmt(stmt, &s)) return rc;
  {
    JC_LocalFrame frame(s->jniEnv, kFrame);
    closeStmtObjects(s);
  }
  AGT_FreeStmtHandle(stmt);
  freeStmtRec(s);
  return 0;
}

uint32_t DRV_CloseCursor(uint32_t stmt) {
  JdbcStmt* s = nullptr;
  if (uint32_t rc = enterStmt(stmt, &s)) return rc;
  JC_LocalFrame frame(s->jniEnv, kFrame);
  resetStmtResult(s);
  return 0;
}

uint32_t DRV_NumResultCols(uint32_t stmt, uint16_t* count, JdbcColDesc** descs) {
  if (count != nullptr) *count = 0;
  if (descs != nullptr) *descs = nullptr;
  JdbcStmt* s = nullptr;
  if (count == nullptr) return ERR_INVALID_ARGUMENT;
  if (uint32_t rc = enterStmt(stmt, &s)) return rc;
  // A statement prepared and not yet run is described when first asked: an
  // execute that follows at once (SQLExecDirect) describes its own result.
  // Only that calls Java; an executed statement's description is at hand.
  if ((s->flags & STMT_DESCRIBE_PENDING) != 0) {
    s->flags &= static_cast<uint16_t>(~STMT_DESCRIBE_PENDING);
    if ((s->flags & STMT_EXECUTED) == 0) {
      JC_LocalFrame frame(s->jniEnv, kFrame);
      if (uint32_t rc = buildColDescs(s, 'P')) return rc;
    }
  }
  if (s->describeLate != 0) {
    JC_LocalFrame frame(s->jniEnv, kFrame);
    if (uint32_t rc = jexec::DescribeLate(s)) return rc;
  }
  // No description yet (nothing prepared, or a statement without a result):
  // count 0 and no array.
  const uint16_t n = s->cols != nullptr ? s->colCount : 0;
  if (descs != nullptr && n > 0) {
    JdbcColDesc* copy = ColDescAlloc(n);
    if (copy == nullptr) return ERR_NO_MEMORY;
    for (uint16_t i = 0; i < n; ++i) {
      copy[i] = s->cols[i];
      for (unsigned t = 0; t < COLDESC_TEXTS; ++t) {
        copy[i].texts[t] = nullptr;
        if (ColDescSetText(&copy[i], t, s->cols[i].texts[t]) != 0) {
          ColDescFree(copy, n);
          return ERR_NO_MEMORY;
        }
      }
    }
    *descs = copy;
  }
  *count = n;
  return 0;
}

uint32_t DRV_DescribeCols(uint32_t stmt, uint16_t* count, JdbcColDesc** descs) {
  if (count != nullptr) *count = 0;
  if (descs != nullptr) *descs = nullptr;
  JdbcStmt* s = AGT_Stmt(stmt);
  if (s == nullptr || count == nullptr) return ERR_INVALID_ARGUMENT;
  const uint16_t n = s->paramDescs != nullptr ? s->paramDescCount : 0;
  if (descs != nullptr && n > 0) {
    JdbcColDesc* copy = ColDescAlloc(n);
    if (copy == nullptr) return ERR_NO_MEMORY;
    // Parameter descriptions carry their name inline and no texts of their
    // own; the copy must not share texts it would later free.
    for (uint16_t i = 0; i < n; ++i) {
      copy[i] = s->paramDescs[i];
      for (unsigned t = 0; t < COLDESC_TEXTS; ++t) copy[i].texts[t] = nullptr;
    }
    *descs = copy;
  }
  *count = n;
  return 0;
}

uint32_t DRV_ColAttributes(uint32_t stmt, uint16_t* count, uint16_t* nattrs, JdbcColDesc** descs,
                           ATTR_ENTRY** attrs) {
  JdbcStmt* s = AGT_Stmt(stmt);
  if (s == nullptr || count == nullptr || nattrs == nullptr || descs == nullptr ||
      attrs == nullptr) {
    return ERR_INVALID_ARGUMENT;
  }
  *count = 0;
  *nattrs = 0;
  *descs = nullptr;
  *attrs = nullptr;
  uint16_t n = 0;
  JdbcColDesc* d = nullptr;
  if (uint32_t rc = DRV_NumResultCols(stmt, &n, &d)) return rc;
  const bool adjust = (s->optionBits & kAdjustFromAnalysis) != 0;
  if (!adjust && jexec::KeptAttributes(s, nattrs, attrs)) {
    *count = n;
    *descs = d;
    return 0;
  }
  JC_LocalFrame frame(s->jniEnv, kFrame);
  if (uint32_t rc = KeepMetaData(s)) {
    ColDescFree(d, n);
    return rc;
  }
  const size_t stride = static_cast<size_t>(n) + 1;
  const size_t total = stride * COL_ATTR_COUNT;
  auto* entries = static_cast<ATTR_ENTRY*>(std::calloc(total, sizeof(ATTR_ENTRY)));
  if (entries == nullptr) {
    ColDescFree(d, n);
    return ERR_NO_MEMORY;
  }
  jexec::ColumnAnswers got = s->catalogKind == 0 && s->rsMetaData != nullptr
                                 ? jexec::ReadColumnAnswers(s, s->rsMetaData, n)
                                 : jexec::ColumnAnswers{};
  if (s->catalogKind == 0 && s->conn != nullptr && s->conn->namesAreLabels)
    got.textNames = jexec::NamesFromText(s, n);
  for (int t = 0; t < COL_ATTR_COUNT; ++t) {
    for (size_t c = 0; c <= n; ++c) {
      ATTR_ENTRY* e = &entries[t * stride + c];
      e->column = 0;
      e->field = ColAttrTemplate[t].code;
      e->kind = ColAttrTemplate[t].kind;
      if (e->kind == ATTR_KIND_INT) e->value.u32 = ColAttrTemplate[t].value;
      if (c == 0) continue;
      e->column = static_cast<uint16_t>(c);
      if (uint32_t rc = FillEntry(s, static_cast<int>(c), &d[c - 1], e, got)) {
        FreeEntries(entries, total);
        ColDescFree(d, n);
        return rc;
      }
    }
  }
  const AGT_ColumnAdjust adjustColumn = adjust ? AGT_GetColumnAdjust() : nullptr;
  if (adjustColumn != nullptr) {
    for (uint16_t c = 1; c <= n; ++c) {
      adjustColumn(s, c, &d[c - 1], 15, static_cast<uint16_t>(stride), COL_ATTR_COUNT, entries);
    }
  }
  uint16_t built = 0;
  ATTR_ENTRY* list = nullptr;
  int rc = LST_Build(static_cast<uint16_t>(std::min<size_t>(total, 0xFFFF)), entries, &built, &list,
                     ATTR_COPY_OWN);
  FreeEntries(entries, total);
  if (rc != 0) {
    ColDescFree(d, n);
    return static_cast<uint32_t>(rc);
  }
  if (!adjust) jexec::KeepAttributes(s, built, list);
  *count = n;
  *nattrs = built;
  *descs = d;
  *attrs = list;
  return 0;
}

}  // extern "C"
