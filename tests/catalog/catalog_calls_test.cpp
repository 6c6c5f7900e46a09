// The catalog functions through their entry points, both forms, with a
// catalog table that records what the agent would be asked: the refusals
// (lengths, a missing name, no slot, sequence), the defaults for absent
// texts, the agent's failure and the trace lines.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "../driver/core_fixture.h"
#include "driver/trace.h"
#include "drv_jdbc/drv_catalog.h"

namespace {

using qmrtest::CoreTest;

// What the last catalog slot received; empty when none was reached.
std::string g_seen;
uint32_t g_answer = 0;

std::string Show(const char* s) { return s != nullptr ? s : "(null)"; }

uint32_t Capture(uint32_t, const void* p) {
  const auto* b = static_cast<const DRV_CatalogArgs*>(p);
  g_seen = Show(b->catalog) + "|" + Show(b->schema) + "|" + Show(b->name) + "|" + Show(b->extra) +
           "|" + Show(b->fkCatalog) + "|" + Show(b->fkSchema) + "|" + Show(b->fkName) + "|" +
           std::to_string(b->value[0]) + "," + std::to_string(b->value[1]) + "," +
           std::to_string(b->value[2]);
  return g_answer;
}

// Six texts (the functions take the first three, four or six of them).
struct Args {
  const char* text[6] = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
  SQLSMALLINT len[6] = {SQL_NTS, SQL_NTS, SQL_NTS, SQL_NTS, SQL_NTS, SQL_NTS};
};

SQLCHAR* A(const Args& a, int i) {
  return reinterpret_cast<SQLCHAR*>(const_cast<char*>(a.text[i]));
}

// The same texts in UTF-16 (ASCII only, so counted lengths stay as they are).
struct WideArgs {
  explicit WideArgs(const Args& a) {
    for (int i = 0; i < 6; ++i) {
      if (a.text[i] != nullptr) buf[i].assign(a.text[i], a.text[i] + std::strlen(a.text[i]));
    }
    src = a;
  }
  SQLWCHAR* W(int i) {
    return src.text[i] != nullptr ? reinterpret_cast<SQLWCHAR*>(&buf[i][0]) : nullptr;
  }
  std::u16string buf[6];
  Args src;
};

using Invoke = SQLRETURN (*)(SQLHSTMT, const Args&);

struct Op {
  const char* name;
  DRV_Catalog_t DRV_OpTable::*slot;
  int texts;
  bool nameRequired;
  Invoke narrow;
  Invoke wide;
};

const Op kOps[] = {
    {"Tables", &DRV_OpTable::DRV_DDTables, 4, false,
     [](SQLHSTMT s, const Args& a) {
       return SQLTables(s, A(a, 0), a.len[0], A(a, 1), a.len[1], A(a, 2), a.len[2], A(a, 3),
                        a.len[3]);
     },
     [](SQLHSTMT s, const Args& a) {
       WideArgs w(a);
       return SQLTablesW(s, w.W(0), a.len[0], w.W(1), a.len[1], w.W(2), a.len[2], w.W(3), a.len[3]);
     }},
    {"Columns", &DRV_OpTable::DRV_DDColumns, 4, false,
     [](SQLHSTMT s, const Args& a) {
       return SQLColumns(s, A(a, 0), a.len[0], A(a, 1), a.len[1], A(a, 2), a.len[2], A(a, 3),
                         a.len[3]);
     },
     [](SQLHSTMT s, const Args& a) {
       WideArgs w(a);
       return SQLColumnsW(s, w.W(0), a.len[0], w.W(1), a.len[1], w.W(2), a.len[2], w.W(3),
                          a.len[3]);
     }},
    {"ColumnPrivileges", &DRV_OpTable::DRV_DDColumnPrivileges, 4, true,
     [](SQLHSTMT s, const Args& a) {
       return SQLColumnPrivileges(s, A(a, 0), a.len[0], A(a, 1), a.len[1], A(a, 2), a.len[2],
                                  A(a, 3), a.len[3]);
     },
     [](SQLHSTMT s, const Args& a) {
       WideArgs w(a);
       return SQLColumnPrivilegesW(s, w.W(0), a.len[0], w.W(1), a.len[1], w.W(2), a.len[2], w.W(3),
                                   a.len[3]);
     }},
    {"TablePrivileges", &DRV_OpTable::DRV_DDTablePrivileges, 3, false,
     [](SQLHSTMT s, const Args& a) {
       return SQLTablePrivileges(s, A(a, 0), a.len[0], A(a, 1), a.len[1], A(a, 2), a.len[2]);
     },
     [](SQLHSTMT s, const Args& a) {
       WideArgs w(a);
       return SQLTablePrivilegesW(s, w.W(0), a.len[0], w.W(1), a.len[1], w.W(2), a.len[2]);
     }},
    {"PrimaryKeys", &DRV_OpTable::DRV_DDPrimaryKeys, 3, true,
     [](SQLHSTMT s, const Args& a) {
       return SQLPrimaryKeys(s, A(a, 0), a.len[0], A(a, 1), a.len[1], A(a, 2), a.len[2]);
     },
     [](SQLHSTMT s, const Args& a) {
       WideArgs w(a);
       return SQLPrimaryKeysW(s, w.W(0), a.len[0], w.W(1), a.len[1], w.W(2), a.len[2]);
     }},
    {"Procedures", &DRV_OpTable::DRV_DDProcedures, 3, false,
     [](SQLHSTMT s, const Args& a) {
       return SQLProcedures(s, A(a, 0), a.len[0], A(a, 1), a.len[1], A(a, 2), a.len[2]);
     },
     [](SQLHSTMT s, const Args& a) {
       WideArgs w(a);
       return SQLProceduresW(s, w.W(0), a.len[0], w.W(1), a.len[1], w.W(2), a.len[2]);
     }},
    {"ProcedureColumns", &DRV_OpTable::DRV_DDProcedureColumns, 4, false,
     [](SQLHSTMT s, const Args& a) {
       return SQLProcedureColumns(s, A(a, 0), a.len[0], A(a, 1), a.len[1], A(a, 2), a.len[2],
                                  A(a, 3), a.len[3]);
     },
     [](SQLHSTMT s, const Args& a) {
       WideArgs w(a);
       return SQLProcedureColumnsW(s, w.W(0), a.len[0], w.W(1), a.len[1], w.W(2), a.len[2], w.W(3),
                                   a.len[3]);
     }},
    {"Statistics", &DRV_OpTable::DRV_DDStatistics, 3, true,
     [](SQLHSTMT s, const Args& a) {
       return SQLStatistics(s, A(a, 0), a.len[0], A(a, 1), a.len[1], A(a, 2), a.len[2],
                            SQL_INDEX_ALL, SQL_ENSURE);
     },
     [](SQLHSTMT s, const Args& a) {
       WideArgs w(a);
       return SQLStatisticsW(s, w.W(0), a.len[0], w.W(1), a.len[1], w.W(2), a.len[2], SQL_INDEX_ALL,
                             SQL_ENSURE);
     }},
    {"SpecialColumns", &DRV_OpTable::DRV_DDSpecialColumns, 3, true,
     [](SQLHSTMT s, const Args& a) {
       return SQLSpecialColumns(s, SQL_ROWVER, A(a, 0), a.len[0], A(a, 1), a.len[1], A(a, 2),
                                a.len[2], SQL_SCOPE_SESSION, SQL_NULLABLE);
     },
     [](SQLHSTMT s, const Args& a) {
       WideArgs w(a);
       return SQLSpecialColumnsW(s, SQL_ROWVER, w.W(0), a.len[0], w.W(1), a.len[1], w.W(2),
                                 a.len[2], SQL_SCOPE_SESSION, SQL_NULLABLE);
     }},
    {"ForeignKeys", &DRV_OpTable::DRV_DDForeignKeys, 6, false,
     [](SQLHSTMT s, const Args& a) {
       return SQLForeignKeys(s, A(a, 0), a.len[0], A(a, 1), a.len[1], A(a, 2), a.len[2], A(a, 3),
                             a.len[3], A(a, 4), a.len[4], A(a, 5), a.len[5]);
     },
     [](SQLHSTMT s, const Args& a) {
       WideArgs w(a);
       return SQLForeignKeysW(s, w.W(0), a.len[0], w.W(1), a.len[1], w.W(2), a.len[2], w.W(3),
                              a.len[3], w.W(4), a.len[4], w.W(5), a.len[5]);
     }},
};

Args AllGiven() {
  Args a;
  static const char* const kTexts[6] = {"c1", "s1", "t1", "x1", "c2", "s2"};
  for (int i = 0; i < 6; ++i) a.text[i] = kTexts[i];
  return a;
}

class CatalogCalls : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    conn_ = NewOdbc3Conn(&env_, &dbc_);
    ASSERT_NE(nullptr, conn_);
    table_ = *fake.table();
    for (const Op& op : kOps) table_.*op.slot = Capture;
    conn_->agent.ops = &table_;
    stmt_ = NewStmt(dbc_);
    g_seen.clear();
    g_answer = 0;
  }
  void TearDown() override {
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
    CoreTest::TearDown();
  }
  std::string StmtState() { return State(SQL_HANDLE_STMT, stmt_); }
  // Leaves the statement as a successful call would find it.
  void Reset() {
    SQLFreeStmt(stmt_, SQL_CLOSE);
    g_seen.clear();
  }

  SQLHENV env_ = nullptr;
  SQLHDBC dbc_ = nullptr;
  SQLHSTMT stmt_ = nullptr;
  ConnHandle* conn_ = nullptr;
  DRV_OpTable table_{};
};

TEST_F(CatalogCalls, NegativeLengthsAreRefusedBeforeTheAgent) {
  for (const Op& op : kOps) {
    for (int form = 0; form < 2; ++form) {
      for (int i = 0; i < op.texts; ++i) {
        SCOPED_TRACE(std::string(op.name) + (form ? "W" : "") + " text " + std::to_string(i));
        Args a = AllGiven();
        a.len[i] = -5;
        const SQLRETURN rc = (form ? op.wide : op.narrow)(stmt_, a);
        if (op.slot == &DRV_OpTable::DRV_DDTables && form == 0) {
          // The narrow SQLTables reads such a length as NUL-terminated.
          EXPECT_EQ(SQL_SUCCESS, rc);
          EXPECT_EQ("c1|s1|t1|'x1'|(null)|(null)|(null)|0,0,0", g_seen);
        } else {
          EXPECT_EQ(SQL_ERROR, rc);
          // The wide forms refuse while converting, the narrow ones in the
          // catalog code.
          EXPECT_EQ(form ? "HY090" : "HY009", StmtState());
          EXPECT_EQ("", g_seen);
        }
        Reset();
      }
    }
  }
}

TEST_F(CatalogCalls, AMissingNameIsRefusedWhereOneIsRequired) {
  for (const Op& op : kOps) {
    for (int form = 0; form < 2; ++form) {
      SCOPED_TRACE(std::string(op.name) + (form ? "W" : ""));
      Args a = AllGiven();
      a.text[2] = nullptr;
      const SQLRETURN rc = (form ? op.wide : op.narrow)(stmt_, a);
      if (op.nameRequired) {
        EXPECT_EQ(SQL_ERROR, rc);
        EXPECT_EQ("HY009", StmtState());
        EXPECT_EQ("", g_seen);
      } else {
        EXPECT_EQ(SQL_SUCCESS, rc);
        EXPECT_NE("", g_seen);
      }
      Reset();
    }
  }
}

TEST_F(CatalogCalls, AbsentTextsTakeTheDriversDefaults) {
  const char* const want[] = {
      "|%|%|(null)|(null)|(null)|(null)|0,0,0",  // Tables
      "|%|%|%|(null)|(null)|(null)|0,0,0",       // Columns
      "||t1|%|(null)|(null)|(null)|0,0,0",       // ColumnPrivileges
      "|%|%|(null)|(null)|(null)|(null)|0,0,0",  // TablePrivileges
      "||t1|(null)|(null)|(null)|(null)|0,0,0",  // PrimaryKeys
      "|%|%|(null)|(null)|(null)|(null)|0,0,0",  // Procedures
      "|%|%|%|(null)|(null)|(null)|0,0,0",       // ProcedureColumns
      "||t1|(null)|(null)|(null)|(null)|1,1,0",  // Statistics
      "||t1|(null)|(null)|(null)|(null)|2,2,1",  // SpecialColumns
      "|||(null)||||0,0,0",                      // ForeignKeys
  };
  static_assert(sizeof want / sizeof want[0] == sizeof kOps / sizeof kOps[0], "one per call");
  for (size_t k = 0; k < sizeof kOps / sizeof kOps[0]; ++k) {
    const Op& op = kOps[k];
    for (int form = 0; form < 2; ++form) {
      SCOPED_TRACE(std::string(op.name) + (form ? "W" : ""));
      Args a;
      if (op.nameRequired) a.text[2] = "t1";
      ASSERT_EQ(SQL_SUCCESS, (form ? op.wide : op.narrow)(stmt_, a));
      EXPECT_EQ(want[k], g_seen);
      Reset();
    }
  }
}

TEST_F(CatalogCalls, GivenTextsArriveUnquotedAndCounted) {
  Args a = AllGiven();
  a.text[0] = "'cat'";
  a.text[2] = "\"T\"";
  a.text[1] = "schemaXYZ";
  a.len[1] = 6;
  for (int form = 0; form < 2; ++form) {
    SCOPED_TRACE(form);
    ASSERT_EQ(SQL_SUCCESS, (form ? kOps[9].wide : kOps[9].narrow)(stmt_, a));
    EXPECT_EQ("cat|schema|T|(null)|x1|c2|s2|0,0,0", g_seen);
    Reset();
    ASSERT_EQ(SQL_SUCCESS, (form ? kOps[1].wide : kOps[1].narrow)(stmt_, a));
    EXPECT_EQ("cat|schema|T|x1|(null)|(null)|(null)|0,0,0", g_seen);
    Reset();
  }
}

TEST_F(CatalogCalls, WithoutTheAgentsSlotTheDriverIsNotCapable) {
  for (const Op& op : kOps) {
    SCOPED_TRACE(op.name);
    table_.*op.slot = nullptr;
    EXPECT_EQ(SQL_ERROR, op.narrow(stmt_, AllGiven()));
    EXPECT_EQ("HYC00", StmtState());
    table_.*op.slot = Capture;
    Reset();
  }
  // The catalog calls do not ask the agent for diagnostics then.
  EXPECT_EQ(0, fake.CallCount(2));
  table_.DRV_DDGetTypeInfo = nullptr;
  EXPECT_EQ(SQL_ERROR, SQLGetTypeInfo(stmt_, SQL_ALL_TYPES));
  EXPECT_EQ("HYC00", StmtState());
}

TEST_F(CatalogCalls, TheAgentsFailureIsReportedAndLeavesNoCursor) {
  StmtHandle* s = Stmt(stmt_);
  ASSERT_NE(nullptr, s);
  for (const Op& op : kOps) {
    SCOPED_TRACE(op.name);
    g_answer = 1;
    fake.PostError(s->agentStmt, {"no such table", "42S02", 7, false});
    EXPECT_EQ(SQL_ERROR, op.narrow(stmt_, AllGiven()));
    EXPECT_EQ("42S02", StmtState());
    EXPECT_EQ(static_cast<uint32_t>(kStmtAllocated), s->state);
    EXPECT_EQ(0, s->flags & kStmtFlagCursorOpen);
    g_answer = 0;
    s->rowsFetched = 5;
    EXPECT_EQ(SQL_SUCCESS, op.narrow(stmt_, AllGiven()));
    EXPECT_EQ(static_cast<uint32_t>(kStmtPrepared), s->state);
    EXPECT_NE(0, s->flags & kStmtFlagCursorOpen);
    EXPECT_EQ(0u, s->rowsFetched);
    Reset();
  }
  fake.SetResult(35, 1);
  fake.PostError(s->agentStmt, {"no types", "HY000", 8, false});
  EXPECT_EQ(SQL_ERROR, SQLGetTypeInfo(stmt_, SQL_ALL_TYPES));
  EXPECT_EQ("HY000", StmtState());
  EXPECT_EQ(static_cast<uint32_t>(kStmtAllocated), s->state);
  fake.SetResult(35, 0);
  s->rowsFetched = 5;
  EXPECT_EQ(SQL_SUCCESS, SQLGetTypeInfo(stmt_, SQL_ALL_TYPES));
  EXPECT_EQ(static_cast<uint32_t>(kStmtPrepared), s->state);
  EXPECT_NE(0, s->flags & kStmtFlagCursorOpen);
  EXPECT_EQ(0u, s->rowsFetched);
}

TEST_F(CatalogCalls, AStatementThatCannotBeClosedIsASequenceError) {
  StmtHandle* s = Stmt(stmt_);
  ASSERT_NE(nullptr, s);
  for (const Op& op : kOps) {
    SCOPED_TRACE(op.name);
    s->state = kStmtReleased;
    // Checked before the lengths.
    Args a = AllGiven();
    a.len[0] = -5;
    EXPECT_EQ(SQL_ERROR, op.narrow(stmt_, a));
    EXPECT_EQ("HY010", StmtState());
    EXPECT_EQ("", g_seen);
  }
  EXPECT_EQ(SQL_ERROR, SQLGetTypeInfo(stmt_, SQL_ALL_TYPES));
  EXPECT_EQ("HY010", StmtState());
  EXPECT_EQ(0, fake.CallCount(35));
  s->state = kStmtAllocated;
}

TEST_F(CatalogCalls, TraceLines) {
  qmrtest::TraceCapture trace;
  ASSERT_TRUE(TRC_Active());
  Args a = AllGiven();
  for (const Op& op : kOps) {
    EXPECT_EQ(SQL_SUCCESS, op.narrow(stmt_, a));
    Reset();
  }
  Args none;
  none.text[2] = "t1";
  EXPECT_EQ(SQL_SUCCESS, kOps[0].narrow(stmt_, none));
  Reset();
  EXPECT_EQ(SQL_SUCCESS, kOps[1].narrow(stmt_, none));
  Reset();
  const std::string t = trace.Text();
  for (const char* line : {
           "Qualifier='c1' Owner='s1' Name='t1' Type=''x1''\n",
           "Qualifier='c1' Owner='s1' Name='t1' Column='x1'\n",
           "Qualifier='c1' Owner='s1' Name='t1'\n",
           "Qualifier='c1' Owner='s1' Name='t1' Unique=1 Accuracy=1\n",
           "Qualifier='' Owner='%' Name='t1' Type=''\n",
           "Qualifier='' Owner='%' Name='t1' Column='%'\n",
       }) {
    EXPECT_NE(std::string::npos, t.find(std::string("\n") + line)) << line << t;
  }
  // Columns and ColumnPrivileges trace alike; TablePrivileges, PrimaryKeys
  // and SpecialColumns alike; Procedures, ProcedureColumns and ForeignKeys
  // not at all.
  auto count = [&](const std::string& s) {
    size_t n = 0;
    for (size_t at = t.find(s); at != std::string::npos; at = t.find(s, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(2u, count("\nQualifier='c1' Owner='s1' Name='t1' Column='x1'\n"));
  EXPECT_EQ(3u, count("\nQualifier='c1' Owner='s1' Name='t1'\n"));
  EXPECT_EQ(9u, count("\nQualifier="));
}

}  // namespace
