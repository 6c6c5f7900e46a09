// Descriptor tests: a connected connection on the fake agent with two
// statements, and direct access to the records the entry points work on.
#ifndef QMR_TESTS_DESC_DESC_FIXTURE_H
#define QMR_TESTS_DESC_DESC_FIXTURE_H

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "driver/coldesc.h"
#include "driver/core_fixture.h"
#include "driver/desc.h"

namespace qmrtest {

class DescTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    ASSERT_NE(nullptr, NewOdbc3Conn(&env, &dbc));
    stmt = NewStmt(dbc);
    ASSERT_NE(nullptr, stmt);
  }
  void TearDown() override {
    for (SQLHSTMT s : {stmt, stmt2}) {
      if (s == nullptr) continue;
      if (StmtHandle* rec = Stmt(s)) STMT_FreeResultCols(rec);
    }
    EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(dbc));  // frees what is left on it
    EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DBC, dbc));
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    CoreTest::TearDown();
  }

  // The handles of a statement's descriptors.
  static SQLHDESC Handle(const DescHandle* d) { return DRV_HandleValue(d->handle); }
  SQLHDESC Ard(SQLHSTMT s) { return Handle(Stmt(s)->ard); }
  SQLHDESC Apd(SQLHSTMT s) { return Handle(Stmt(s)->apd); }
  SQLHDESC Ird(SQLHSTMT s) { return Handle(Stmt(s)->ird); }
  SQLHDESC Ipd(SQLHSTMT s) { return Handle(Stmt(s)->ipd); }
  DescHandle* Desc(SQLHDESC h) {
    plat::Guard<plat::RecursiveMutex> g(DRV_CallLock());
    return DRV_LookupDesc(DRV_HandleNumber(h));
  }

  SQLHDESC NewExplicit() {
    SQLHDESC d = nullptr;
    EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DESC, dbc, &d));
    return d;
  }
  // What SQL_ATTR_APP_ROW_DESC / SQL_ATTR_APP_PARAM_DESC do to a statement.
  void InstallArd(SQLHSTMT s, SQLHDESC d) {
    StmtHandle* rec = Stmt(s);
    rec->ard = Desc(d);
    ASSERT_EQ(0, DESC_RebindCols(rec, rec->ard));
  }
  void InstallApd(SQLHSTMT s, SQLHDESC d) {
    StmtHandle* rec = Stmt(s);
    rec->apd = Desc(d);
    ASSERT_EQ(0, DESC_RebindParams(rec, rec->apd));
  }

  // Gives the statement a described result, as preparing a query would:
  // an INTEGER column "ID", a VARCHAR(30) "NAME", an NVARCHAR(10) "WIDE"
  // and a DECIMAL(12,2) "PRICE".
  void Describe(SQLHSTMT s) {
    StmtHandle* rec = Stmt(s);
    JdbcColDesc* cols = ColDescAlloc(4);
    ASSERT_NE(nullptr, cols);
    auto set = [&](int i, const char* name, int type, uint32_t prec, uint16_t scale,
                   uint32_t nullable) {
      ASSERT_EQ(0, ColDescSetName(&cols[i], name));
      cols[i].sql_type = type;
      cols[i].delivered_type = type;
      cols[i].precision = prec;
      cols[i].scale = scale;
      cols[i].display_size = prec;
      cols[i].flags = nullable;
    };
    set(0, "ID", SQL_INTEGER, 10, 0, SQL_NO_NULLS);
    set(1, "NAME", SQL_VARCHAR, 30, 0, SQL_NULLABLE);
    set(2, "WIDE", SQL_WVARCHAR, 10, 0, SQL_NULLABLE);
    set(3, "PRICE", SQL_DECIMAL, 12, 2, SQL_NULLABLE);
    cols[3].display_size = 14;
    ASSERT_EQ(0, ColDescSetText(&cols[1], COLDESC_TABLE, "PEOPLE"));
    rec->cols = cols;
    rec->colCount = 4;
    rec->state = kStmtPrepared;
    rec->flags |= kStmtFlagPrepared;
  }

  // Field readers through the 8-bit entry point.
  SQLSMALLINT Small(SQLHDESC d, SQLSMALLINT r, SQLSMALLINT f) {
    SQLSMALLINT v = -12345;
    EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(d, r, f, &v, 0, nullptr)) << "field " << f;
    return v;
  }
  SQLINTEGER Int(SQLHDESC d, SQLSMALLINT r, SQLSMALLINT f) {
    SQLINTEGER v = -12345;
    EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(d, r, f, &v, 0, nullptr)) << "field " << f;
    return v;
  }
  SQLLEN Len(SQLHDESC d, SQLSMALLINT r, SQLSMALLINT f) {
    SQLLEN v = -12345;
    EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(d, r, f, &v, 0, nullptr)) << "field " << f;
    return v;
  }
  void* Ptr(SQLHDESC d, SQLSMALLINT r, SQLSMALLINT f) {
    void* v = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(d, r, f, &v, sizeof v, nullptr)) << "field " << f;
    return v;
  }
  std::string Text(SQLHDESC d, SQLSMALLINT r, SQLSMALLINT f) {
    char buf[256] = "?";
    SQLINTEGER len = -1;
    EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(d, r, f, buf, sizeof buf, &len)) << "field " << f;
    EXPECT_EQ(static_cast<SQLINTEGER>(std::strlen(buf)), len);
    return buf;
  }
  SQLRETURN Set(SQLHDESC d, SQLSMALLINT r, SQLSMALLINT f, intptr_t v) {
    return SQLSetDescField(d, r, f, reinterpret_cast<SQLPOINTER>(v), 0);
  }
  static std::string DescState(SQLHDESC d) { return State(SQL_HANDLE_DESC, d); }

  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  SQLHSTMT stmt = nullptr;
  SQLHSTMT stmt2 = nullptr;
};

}  // namespace qmrtest

#endif
