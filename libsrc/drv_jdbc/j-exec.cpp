// Prepare, execute and the further results of an agent statement.
#include "drv_jdbc/j-exec.h"

#include <sqlext.h>
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drv_jdbc/j-desc.h"
#include "drv_jdbc/j-exec-block.h"
#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-opt.h"
#include "drv_jdbc/j-serv.h"
#include "drv_jdbc/j-signals.h"
#include "drv_jdbc/j-sql.h"
#include "drv_jdbc/j-stmt.h"
#include "drv_jdbc/j-vm.h"
#include "drv_jdbc/j-wrap.h"
#include "util/log.h"

namespace {

constexpr const char* kSrc = "libsrc/drv_jdbc/j-exec";

void FreeValueSet(COLSET* set) {
  if (set == nullptr) return;
  ColSetFreeColumns(set);
  delete set;
}

// A name part as an SQL literal, folded as the database stores names
// written without quotes.
std::string NameLiteral(const CallNamePart& part, bool upper, bool lower) {
  std::string out = "'";
  for (char ch : part.text) {
    const auto u = static_cast<unsigned char>(ch);
    if (!part.quoted) ch = static_cast<char>(upper ? std::toupper(u) : lower ? std::tolower(u) : u);
    out += ch;
    if (ch == '\'') out += '\'';
  }
  return out + "'";
}

// A read-only connection runs a procedure call only when the database
// declares every routine of that name to read at most (READS SQL DATA,
// CONTAINS SQL or NO SQL in INFORMATION_SCHEMA.ROUTINES), which it holds
// the routine to. A source without that view (Derby), one that declares
// every routine as changing data (PostgreSQL), or a name the text does not
// show plainly cannot say so: the call is refused.
bool CallOnlyReads(JdbcStmt* s, jobject jconn) {
  std::vector<CallNamePart> parts;
  JdbcConn* c = s->conn;
  if ((s->textFlags & STMT_TEXT_PROCCALL) == 0 || !sqlCallTarget(s->sql, &parts)) return false;
  uint8_t upper = 0, lower = 0;
  if (DatabaseMetaData::getBooleanByName(c, c->metaData, "storesUpperCaseIdentifiers", &upper) ||
      DatabaseMetaData::getBooleanByName(c, c->metaData, "storesLowerCaseIdentifiers", &lower)) {
    errClear(&c->errors);
    return false;
  }
  std::string sql =
      "SELECT SQL_DATA_ACCESS FROM INFORMATION_SCHEMA.ROUTINES WHERE ROUTINE_NAME = " +
      NameLiteral(parts.back(), upper != 0, lower != 0);
  if (parts.size() > 1)
    sql += " AND ROUTINE_SCHEMA = " + NameLiteral(parts[parts.size() - 2], upper != 0, lower != 0);
  std::vector<std::string> access;
  if (Connection::queryFirstColumn(c, jconn, sql.c_str(), &access) != 0) {
    errClear(&c->errors);
    return false;
  }
  auto reads = [](const std::string& a) {
    return strcasecmp(a.c_str(), "READS SQL DATA") == 0 ||
           strcasecmp(a.c_str(), "CONTAINS SQL") == 0 || strcasecmp(a.c_str(), "NO SQL") == 0;
  };
  return !access.empty() && std::all_of(access.begin(), access.end(), reads);
}

bool RunsAsPlainStatement(const JdbcStmt* s) {
  return s->kind == STMT_KIND_OTHER &&
         (s->textFlags & (STMT_TEXT_MARKERS | STMT_TEXT_PROCCALL)) == 0;
}

// The states a JDBC driver gives a statement it ended: its own timeout, or
// the database's "query canceled" (PostgreSQL's answer to the cancel that
// the driver's timer sends).
bool EndedState(const char* state) {
  return std::strncmp(state, "57014", 5) == 0 || std::strncmp(state, "HYT00", 5) == 0 ||
         std::strncmp(state, "S1T00", 5) == 0;
}

// A failed execution that ran for the statement's whole query timeout and
// was ended by it reports the timeout (S1T00, HYT00 to ODBC 3), whatever
// state the JDBC driver chose; the database's text stays the message.
uint32_t ReportTimeout(JdbcStmt* s, std::chrono::steady_clock::time_point started, uint32_t rc) {
  if (rc == 0 || s->queryTimeout == 0) return rc;
  if (std::chrono::steady_clock::now() - started < std::chrono::seconds(s->queryTimeout)) return rc;
  AgentError* last = s->errors.head;
  while (last != nullptr && last->next != nullptr) last = last->next;
  if (last == nullptr || last->state == nullptr || !EndedState(last->state)) return rc;
  std::memcpy(last->state, "S1T00", 6);
  last->ownState = 1;
  return ERR_TIMEOUT;
}

// One parameter set: execute, then take its result set or add its update
// count.
uint32_t ExecuteSet(JdbcStmt* s, uint32_t set) {
  const bool plain = RunsAsPlainStatement(s);
  const bool run = !plain && jblock::CanRun(s);
  if (jexec::HasParams(s)) {
    if (paramSetSkipped(s, set)) {
      ++s->executedSets;
      return 0;
    }
    if (uint32_t rc = jblock::SetParams(s, set, run)) return rc;
  }
  jobject rs = nullptr;
  uint32_t rc = 0;
  jblock::RunAnswer ran;
  const auto started = std::chrono::steady_clock::now();
  const bool oneCall = plain ? jexec::RunDirect(s, s->statement, &rs, &rc)
                             : run && jblock::Run(s, s->statement, &rs, &rc, &ran);
  if (!oneCall) {
    uint8_t isResultSet = 0;
    rc = plain ? Statement::execute(s, s->statement, s->sql, &isResultSet)
               : PreparedStatement::execute(s, s->statement, &isResultSet);
    if (rc != 0) return ReportTimeout(s, started, rc);
    if ((rc = PreparedStatement::getResultSet(s, s->statement, &rs)) != 0) return rc;
  } else if (rc != 0) {
    return plain || ran.executed ? ReportTimeout(s, started, rc) : rc;
  }
  jexec::KeepResultSet(s, rs);
  if (s->resultSet != nullptr) {
    const auto shape = ran.sameShape    ? jexec::ShapeAnswer::kSame
                       : ran.otherShape ? jexec::ShapeAnswer::kOther
                                        : jexec::ShapeAnswer::kNotAsked;
    if (plain)
      jexec::DescribeWhenAsked(s);
    else if ((rc = jexec::DescribeExecuted(s, shape)) != 0)
      return rc;
    s->flags |= STMT_EXECUTED | STMT_RESULT_SET;
  } else {
    // A result that is a count has no columns, whatever the prepared text
    // was described as (the query of a batch that follows the count).
    if (s->cols != nullptr) jexec::FreeColDescs(s);
    int32_t count = -1;
    if ((rc = Statement::getUpdateCount(s, s->statement, &count)) != 0) return rc;
    if (count > 0) s->rowCount += static_cast<uint32_t>(count);
    if (count >= 0 && (s->textFlags & STMT_TEXT_NO_COUNT) == 0)
      s->updateCount = (s->updateCount > 0 ? s->updateCount : 0) + count;
    s->flags |= STMT_EXECUTED | STMT_NO_MORE_ROWS;
  }
  ++s->executedSets;
  return 0;
}

// Runs the parameter sets from the first one not yet run on, until one gives
// a result set or none is left; the update counts of the sets run add up.
// A set that gives rows ends the run there: its rows are the current result,
// and the sets after it give their results one by one through
// DRV_MoreResults (one result set per set, as the driver promises for
// parameter arrays).
uint32_t RunSets(JdbcStmt* s) {
  const uint32_t sets = jexec::ParamSetCount(s);
  while (s->executedSets < sets) {
    const uint32_t set = s->executedSets;
    if (uint32_t rc = ExecuteSet(s, set)) {
      s->rowCount = set;
      return rc;
    }
    if (s->resultSet != nullptr) return 0;
  }
  // Every set skipped still leaves a result: an update count of nothing.
  s->flags |= STMT_EXECUTED | STMT_NO_MORE_ROWS;
  return 0;
}

// The results of the sets after the current one: the current result goes,
// then the next sets run. A set that fails is done with all the same: its
// failure is this result, and the next call goes on with the set after it.
uint32_t RunFurtherSets(JdbcStmt* s) {
  const uint32_t done = s->executedSets;
  resetStmtResult(s);
  jexec::FreeColDescs(s);
  s->executedSets = done;
  const uint32_t rc = RunSets(s);
  if (rc != 0 && rc != ERR_COMPLETED_WITH_WARNING) {
    ++s->executedSets;
    s->flags |= STMT_EXECUTED | STMT_NO_MORE_ROWS;
  }
  return rc;
}

}  // namespace

namespace jexec {

uint32_t Enter(uint32_t h, JdbcStmt** out) {
  if (uint32_t rc = enterStmt(h, out)) return rc;
  JdbcStmt* s = *out;
  if (s->conn != nullptr) s->conn->jniEnv = s->jniEnv;
  return 0;
}

void FreeColDescs(JdbcStmt* s) {
  ColDescFree(s->cols, s->colCount);
  s->cols = nullptr;
  s->colCount = 0;
  stmtColsReplaced(s);
  s->colsKept = 0;
  s->describeLate = 0;
  s->flags &= static_cast<uint16_t>(~STMT_COLS_DESCRIBED);
}

void DescribeWhenAsked(JdbcStmt* s) {
  DropKeptDesc(s);
  FreeColDescs(s);
  s->describeLate = 1;
}

uint32_t DescribeLate(JdbcStmt* s) {
  if (s->describeLate == 0) return 0;
  const uint32_t rc = buildColDescs(s, 'E');
  // A description that failed half-way is dropped whole.
  if (rc != 0) FreeColDescs(s);
  s->describeLate = rc != 0 ? 1 : 0;
  return rc;
}

void KeepResultSet(JdbcStmt* s, jobject rs) {
  JNIEnv* env = s->jniEnv;
  if (s->resultSet != nullptr) env->DeleteGlobalRef(s->resultSet);
  s->resultSet = rs != nullptr ? env->NewGlobalRef(rs) : nullptr;
  JC_DeleteLocal(env, rs);
}

bool HasParams(const JdbcStmt* s) { return s->paramCount > 0; }

uint32_t ParamSetCount(const JdbcStmt* s) {
  if (!HasParams(s) || s->params == nullptr) return 1;
  return s->params->rows_held;
}

}  // namespace jexec

extern "C" {

uint32_t nopOp(uint32_t) { return 0; }

uint32_t DRV_Prepare(uint32_t stmt, const char* sql) {
  JdbcStmt* s = nullptr;
  if (uint32_t rc = jexec::Enter(stmt, &s)) return rc;
  if (sql == nullptr) return ERR_INVALID_ARGUMENT;
  JC_LocalFrame frame(s->jniEnv, jexec::kFrame);

  closeStmtObjects(s);
  s->catalogKind = 0;
  s->rowHook = nullptr;
  s->singleTarget = -1;
  s->fetchColLimit = -1;
  s->requestedType = 0;
  s->paramCount = 0;
  s->paramsDescribed = 0;
  s->jdbcParamTypes.clear();
  s->jdbcParamTypesAsked = false;
  s->givesRows = JdbcStmt::kRowsUnknown;
  s->moneyParams.clear();

  if (uint32_t rc = sqlStmtKind(s->conn, s, sql)) return rc;
  // A JDBC driver may expand an escape it does not claim into a wrong
  // number (PostgreSQL's TIMESTAMPDIFF gives the seconds field of the
  // difference): such a statement is refused.
  if ((s->textFlags & STMT_TEXT_TIMESTAMPDIFF) != 0 &&
      !claimsTimeDateFunction(s->conn, SQL_FN_TD_TIMESTAMPDIFF)) {
    errPostMsg(&s->errors, "The scalar function TIMESTAMPDIFF is not supported by the data source",
               ERR_NOT_CAPABLE);
    return ERR_NOT_CAPABLE;
  }
  // SQLNumParams answers in an SQLSMALLINT: a count it cannot hold is
  // refused here rather than answered wrapped.
  if (s->markerCount > INT16_MAX) {
    errPostMsg(&s->errors, "Too many parameter markers: a statement may have at most 32767",
               ERR_GENERAL);
    return ERR_GENERAL;
  }
  jobject jconn = s->connRef != nullptr ? *s->connRef : nullptr;
  if (s->kind != STMT_KIND_SELECT && s->conn != nullptr && s->conn->readOnly != 0 &&
      !CallOnlyReads(s, jconn)) {
    log_message(LOG_LEVEL_DEBUG, kSrc, __LINE__, "Non SELECT in r/o connection");
    return EXEC_READ_ONLY;
  }

  bool describe = true;
  uint32_t rc;
  if ((s->textFlags & STMT_TEXT_PROCCALL) != 0) {
    rc = Connection::prepareCall(s, jconn, s->sql);
    if (rc == 0) s->flags |= STMT_PREPARE_CALL;
  } else if (RunsAsPlainStatement(s)) {
    rc = Connection::createStatement(s, jconn);
    describe = false;
  } else {
    rc = Connection::prepareStatement(s, jconn, s->sql);
  }
  if (rc != 0) return rc;
  // The stored options reach the Java statement before anything runs on it
  // (a SELECT that cannot be described otherwise runs once to describe it).
  if ((rc = optApplyAfterCreate(s)) != 0) return rc;
  if (s->maxRows != 0 &&
      Statement::setMaxRows(s, s->statement, static_cast<int32_t>(s->maxRows)) != 0) {
    errClear(&s->errors);  // the fetch keeps the limit all the same
  }
  if (describe) s->flags |= STMT_DESCRIBE_PENDING;
  if ((rc = defaultParamDescs(s)) != 0) return rc;
  if (s->paramCount == 0) s->flags &= static_cast<uint16_t>(~STMT_VALUES_PENDING);
  s->flags |= STMT_PREPARED;
  return 0;
}

uint32_t DRV_SetParams(uint32_t stmt, COLSET* params) {
  JdbcStmt* s = AGT_Stmt(stmt);
  if (s == nullptr) return ERR_INVALID_ARGUMENT;
  if (s->params != params) {
    FreeValueSet(s->params);
    s->params = params;
  }
  s->flags |= STMT_VALUES_PENDING;
  return 0;
}

uint32_t DRV_Execute(uint32_t stmt) {
  JdbcStmt* s = nullptr;
  if (uint32_t rc = jexec::Enter(stmt, &s)) return rc;
  std::string signalsLost;
  if (!JC_VmSignalsIntact(&signalsLost, false)) {
    errPostMsg(&s->errors, signalsLost.c_str(), ERR_VM_SIGNALS_REPLACED);
    return ERR_VM_SIGNALS_REPLACED;
  }
  JC_LocalFrame frame(s->jniEnv, jexec::kFrame);
  if ((s->flags & STMT_PREPARED) == 0) {
    log_message(LOG_LEVEL_WARNING, kSrc, __LINE__, "execute without prior prepare");
    return ERR_FUNCTION_SEQUENCE;
  }
  if (jexec::HasParams(s) && s->params == nullptr) {
    log_message(LOG_LEVEL_WARNING, kSrc, __LINE__, "execute without prior parameters set");
    return EXEC_NO_PARAMS;
  }
  resetStmtResult(s);
  // What the execute may do to the schema, descriptions kept on this
  // connection no longer trust.
  if (s->kind == STMT_KIND_OTHER && s->conn != nullptr) ++s->conn->schemaEpoch;
  s->flags &= static_cast<uint16_t>(~(STMT_OUT_REGISTERED | STMT_DESCRIBE_PENDING));
  s->executedSets = 0;
  s->rowCount = 0;
  s->updateCount = -1;
  const bool oneByOne = s->setsOneByOne != 0;
  s->setsOneByOne = 0;
  if (jexec::BatchFits(s, oneByOne)) {
    uint32_t code = 0;
    const jexec::BatchResult batch = jexec::RunSetsAsBatch(s, &code);
    if (batch == jexec::BatchResult::kDone) return code;
    if (batch == jexec::BatchResult::kLost) {
      errPostMsg(&s->errors, "A failed parameter batch could not be rolled back", ERR_GENERAL);
      return ERR_GENERAL;
    }
  }
  if (uint32_t rc = RunSets(s)) return rc;
  if ((s->flags & STMT_PREPARE_CALL) != 0 && (s->flags & STMT_OUT_REGISTERED) != 0 &&
      s->resultSet == nullptr) {
    return EXEC_OUT_PARAMS;
  }
  return 0;
}

uint32_t DRV_UnusedStmtOp(uint32_t stmt) {
  return static_cast<uint32_t>(AGT_Stmt(stmt) != nullptr ? ERR_NOT_CAPABLE : ERR_INVALID_ARGUMENT);
}

uint32_t DRV_BindCols(uint32_t stmt, uint16_t count, const JdbcColBind* binds) {
  JdbcStmt* s = AGT_Stmt(stmt);
  if (s == nullptr || (count > 0 && binds == nullptr)) return ERR_INVALID_ARGUMENT;
  JdbcColBind* copy = nullptr;
  if (count > 0) {
    copy = static_cast<JdbcColBind*>(std::malloc(sizeof(JdbcColBind) * count));
    if (copy == nullptr) return ERR_NO_MEMORY;
    std::memcpy(copy, binds, sizeof(JdbcColBind) * count);
  }
  std::free(s->binds);
  s->binds = copy;
  s->bindCount = count;
  s->flags |= STMT_VALUES_PENDING;
  return 0;
}

uint32_t DRV_MoreResults(uint32_t stmt) {
  JdbcStmt* s = nullptr;
  if (uint32_t rc = jexec::Enter(stmt, &s)) return rc;
  JC_LocalFrame frame(s->jniEnv, jexec::kFrame);
  if ((s->flags & STMT_EXECUTED) == 0) return EXEC_NO_MORE_RESULTS;
  s->flags &= static_cast<uint16_t>(~STMT_NO_MORE_ROWS);
  if (s->statement == nullptr) {
    s->flags |= STMT_NO_MORE_ROWS;
    return EXEC_NO_MORE_RESULTS;
  }
  uint8_t more = 0;
  int32_t count = -1;
  jblock::DropAhead(s);  // the move closes the result they came from
  if (uint32_t rc = Statement::getMoreResults(s, s->statement, &more)) return rc;
  if (uint32_t rc = Statement::getUpdateCount(s, s->statement, &count)) return rc;
  if (!more && count == -1) {
    // The results of this parameter set are done; the next set's follow.
    if (s->executedSets > 0 && s->executedSets < jexec::ParamSetCount(s)) return RunFurtherSets(s);
    if ((s->flags & STMT_PREPARE_CALL) != 0 && (s->flags & STMT_OUT_REGISTERED) != 0) {
      return EXEC_OUT_PARAMS;
    }
    s->flags |= STMT_NO_MORE_ROWS;
    return EXEC_NO_MORE_RESULTS;
  }
  jexec::FreeColDescs(s);
  JNIEnv* env = s->jniEnv;
  if (s->rsMetaData != nullptr) {
    env->DeleteGlobalRef(s->rsMetaData);
    s->rsMetaData = nullptr;
  }
  if (s->resultSet != nullptr) {
    if (ResultSet::close(s, s->resultSet) != 0) errClear(&s->errors);  // closed by the move already
    env->DeleteGlobalRef(s->resultSet);
    s->resultSet = nullptr;
  }
  s->flags &= static_cast<uint16_t>(~STMT_RESULT_SET);
  s->rowsFetched = 0;
  s->updateCount = more ? -1 : count;
  if (!more) {
    s->rowCount = static_cast<uint32_t>(count);
    s->flags |= STMT_NO_MORE_ROWS;
    return 0;
  }
  jobject rs = nullptr;
  if (uint32_t rc = PreparedStatement::getResultSet(s, s->statement, &rs)) {
    s->rowCount = 0;
    return rc;
  }
  jexec::KeepResultSet(s, rs);
  s->rowCount = 0;
  if (s->resultSet != nullptr) s->flags |= STMT_RESULT_SET;
  return buildColDescs(s, 'E');
}

uint32_t DRV_PrepareExecute(uint32_t stmt, const char* sql, COLSET* params, uint16_t count,
                            const JdbcColBind* binds) {
  if (AGT_Stmt(stmt) == nullptr) return ERR_INVALID_ARGUMENT;
  uint32_t rc = 0;
  if (sql != nullptr) rc = DRV_Prepare(stmt, sql);
  // The value set is the statement's from here on, even when the prepare
  // failed: nobody else frees it.
  if (params != nullptr) {
    const uint32_t r = DRV_SetParams(stmt, params);
    if (rc == 0) rc = r;
  }
  if (rc == 0 && count != 0) rc = DRV_BindCols(stmt, count, binds);
  if (rc == 0) rc = DRV_Execute(stmt);
  return rc;
}

}  // extern "C"
