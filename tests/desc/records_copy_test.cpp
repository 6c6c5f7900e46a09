// Whole records (SQLGetDescRec, SQLSetDescRec), explicit descriptors
// installed on statements, SQLCopyDesc, and the implementation row
// descriptor answered from a described result.
#include <atomic>
#include <thread>

#include "desc/desc_fixture.h"

namespace qmrtest {
namespace {

using DescRecords = DescTest;
using DescExplicit = DescTest;
using DescCopy = DescTest;
using DescIrd = DescTest;

TEST_F(DescRecords, SetDescRecDatetimeSubtype) {
  SQLHDESC ard = Ard(stmt);
  SQL_TIMESTAMP_STRUCT ts;
  SQLLEN ind = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLSetDescRec(ard, 1, SQL_DATETIME, SQL_CODE_TIMESTAMP, sizeof ts, 0, 0,
                                       &ts, nullptr, &ind));
  EXPECT_EQ(SQL_C_TYPE_TIMESTAMP, Small(ard, 1, SQL_DESC_CONCISE_TYPE));
  EXPECT_EQ(&ts, Ptr(ard, 1, SQL_DESC_DATA_PTR));
  EXPECT_EQ(&ind, Ptr(ard, 1, SQL_DESC_INDICATOR_PTR));
  SQLSMALLINT type = 0, sub = 0, prec = -1, scale = -1;
  SQLLEN octets = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetDescRec(ard, 1, nullptr, 0, nullptr, &type, &sub, &octets, &prec,
                                       &scale, nullptr));
  EXPECT_EQ(SQL_DATETIME, type);
  EXPECT_EQ(SQL_CODE_TIMESTAMP, sub);
  EXPECT_EQ(static_cast<SQLLEN>(sizeof ts), octets);
  EXPECT_EQ(0, prec);
  EXPECT_EQ(0, scale);
}

TEST_F(DescRecords, GetDescRecOnApplicationDescriptorLeavesNameAndNullable) {
  ASSERT_EQ(SQL_SUCCESS, Set(Ard(stmt), 1, SQL_DESC_CONCISE_TYPE, SQL_C_CHAR));
  char name[8] = "keep";
  SQLSMALLINT nameLen = 77, nullable = 77, type = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetDescRec(Ard(stmt), 1, (SQLCHAR*)name, sizeof name, &nameLen, &type,
                                       nullptr, nullptr, nullptr, nullptr, &nullable));
  EXPECT_STREQ("keep", name);
  EXPECT_EQ(77, nameLen);
  EXPECT_EQ(77, nullable);
  EXPECT_EQ(SQL_C_CHAR, type);
  EXPECT_EQ(SQL_NO_DATA, SQLGetDescRec(Ard(stmt), 2, nullptr, 0, nullptr, &type, nullptr, nullptr,
                                       nullptr, nullptr, nullptr));
}

TEST_F(DescRecords, GetDescRecOfImplementationRecordsIncludingTheWideName) {
  SQLHDESC ipd = Ipd(stmt);
  ASSERT_EQ(SQL_SUCCESS, Set(ipd, 1, SQL_DESC_CONCISE_TYPE, SQL_VARCHAR));
  ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(ipd, 1, SQL_DESC_NAME, (SQLPOINTER) "customer", SQL_NTS));
  char16_t name[5] = {};
  SQLSMALLINT nameLen = 0, nullable = 0;
  // The wide form counts its buffer and the name in characters.
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
            SQLGetDescRecW(ipd, 1, reinterpret_cast<SQLWCHAR*>(name), 5, &nameLen, nullptr, nullptr,
                           nullptr, nullptr, nullptr, &nullable));
  EXPECT_EQ(std::u16string(u"cust"), std::u16string(name));
  EXPECT_EQ(8, nameLen);
  EXPECT_EQ(SQL_NULLABLE, nullable);
  char narrow[16] = "";
  ASSERT_EQ(SQL_SUCCESS, SQLGetDescRec(ipd, 1, (SQLCHAR*)narrow, sizeof narrow, &nameLen, nullptr,
                                       nullptr, nullptr, nullptr, nullptr, nullptr));
  EXPECT_STREQ("customer", narrow);
  EXPECT_EQ(8, nameLen);
}

TEST_F(DescExplicit, FreeingRestoresTheImplicitArdOfEveryStatement) {
  stmt2 = NewStmt(dbc);
  StmtHandle* s1 = Stmt(stmt);
  StmtHandle* s2 = Stmt(stmt2);
  // The implicit ARD of the first statement binds column 1.
  int implicitBuffer = 0;
  ASSERT_EQ(SQL_SUCCESS,
            SQLSetDescRec(Ard(stmt), 1, SQL_C_LONG, 0, 4, 0, 0, &implicitBuffer, nullptr, nullptr));
  SQLHDESC d = NewExplicit();
  InstallArd(stmt, d);
  InstallArd(stmt2, d);
  // Fields set on the explicit descriptor reach every statement using it.
  ASSERT_EQ(SQL_SUCCESS, Set(d, 0, SQL_DESC_ARRAY_SIZE, 20));
  ASSERT_EQ(SQL_SUCCESS, Set(d, 0, SQL_DESC_BIND_TYPE, 48));
  EXPECT_EQ(20u, s1->cursor.rowsetSize);
  EXPECT_EQ(20u, s2->cursor.rowsetSize);
  EXPECT_EQ(48u, s2->bindType);
  char shared[8];
  ASSERT_EQ(SQL_SUCCESS,
            SQLSetDescRec(d, 2, SQL_C_CHAR, 0, sizeof shared, 0, 0, shared, nullptr, nullptr));
  EXPECT_EQ(shared, DESC_FindRec(2, s1)->data);
  EXPECT_EQ(shared, DESC_FindRec(2, s2)->data);
  EXPECT_EQ(nullptr, DESC_FindRec(1, s1));

  ASSERT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DESC, d));
  EXPECT_EQ(s1->implicitArd, s1->ard);
  EXPECT_EQ(s2->implicitArd, s2->ard);
  EXPECT_EQ(1u, s1->cursor.rowsetSize);
  EXPECT_EQ(0u, s2->bindType);
  ASSERT_NE(nullptr, DESC_FindRec(1, s1));
  EXPECT_EQ(&implicitBuffer, DESC_FindRec(1, s1)->data);
  EXPECT_EQ(nullptr, DESC_FindRec(2, s2));
}

TEST_F(DescExplicit, FreeingAnExplicitApdAndDisconnectWhileInstalled) {
  SQLHDESC d = NewExplicit();
  InstallApd(stmt, d);
  ASSERT_EQ(SQL_SUCCESS, Set(d, 3, SQL_DESC_CONCISE_TYPE, SQL_C_LONG));
  // Binding a parameter gives the statement's IPD the record too.
  EXPECT_EQ(3, Small(Ipd(stmt), 0, SQL_DESC_COUNT));
  ASSERT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DESC, d));
  EXPECT_EQ(Stmt(stmt)->implicitApd, Stmt(stmt)->apd);
  // A second one stays installed until the connection goes.
  InstallArd(stmt, NewExplicit());
}

TEST_F(DescExplicit, FreeingWhileStatementsComeAndGoOnAnotherConnection) {
  SQLHDBC dbc2 = NewConn(env);
  ASSERT_NE(nullptr, MarkConnected(dbc2));
  std::atomic<bool> stop{false};
  std::thread churn([&] {
    while (!stop) {
      SQLHSTMT s = nullptr;
      if (SQLAllocHandle(SQL_HANDLE_STMT, dbc2, &s) == SQL_SUCCESS)
        SQLFreeHandle(SQL_HANDLE_STMT, s);
    }
  });
  for (int i = 0; i < 200; ++i) {
    SQLHDESC d = NewExplicit();
    InstallArd(stmt, d);
    ASSERT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DESC, d));
    ASSERT_EQ(Stmt(stmt)->implicitArd, Stmt(stmt)->ard);
  }
  stop = true;
  churn.join();
  EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(dbc2));
  EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DBC, dbc2));
}

TEST_F(DescCopy, ApplicationToExplicit) {
  SQLHDESC ard = Ard(stmt);
  SQLLEN offset = 0, ind = 0;
  char buffer[10];
  ASSERT_EQ(SQL_SUCCESS, Set(ard, 0, SQL_DESC_ARRAY_SIZE, 7));
  ASSERT_EQ(SQL_SUCCESS, Set(ard, 0, SQL_DESC_BIND_TYPE, 32));
  ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(ard, 0, SQL_DESC_BIND_OFFSET_PTR, &offset, 0));
  ASSERT_EQ(SQL_SUCCESS,
            SQLSetDescRec(ard, 2, SQL_C_CHAR, 0, sizeof buffer, 0, 0, buffer, &ind, &ind));
  SQLHDESC d = NewExplicit();
  ASSERT_EQ(SQL_SUCCESS, SQLCopyDesc(ard, d));
  EXPECT_EQ(7, Len(d, 0, SQL_DESC_ARRAY_SIZE));
  EXPECT_EQ(32, Int(d, 0, SQL_DESC_BIND_TYPE));
  EXPECT_EQ(&offset, Ptr(d, 0, SQL_DESC_BIND_OFFSET_PTR));
  EXPECT_EQ(2, Small(d, 0, SQL_DESC_COUNT));
  EXPECT_EQ(SQL_C_CHAR, Small(d, 2, SQL_DESC_CONCISE_TYPE));
  EXPECT_EQ(static_cast<SQLLEN>(sizeof buffer), Len(d, 2, SQL_DESC_OCTET_LENGTH));
  EXPECT_EQ(buffer, Ptr(d, 2, SQL_DESC_DATA_PTR));
  EXPECT_EQ(&ind, Ptr(d, 2, SQL_DESC_INDICATOR_PTR));
  EXPECT_EQ(SQL_C_DEFAULT, Small(d, 1, SQL_DESC_TYPE));
  // Copying back over a longer descriptor shortens it.
  ASSERT_EQ(SQL_SUCCESS, Set(d, 0, SQL_DESC_COUNT, 1));
  ASSERT_EQ(SQL_SUCCESS, SQLCopyDesc(d, ard));
  EXPECT_EQ(1, Small(ard, 0, SQL_DESC_COUNT));
}

TEST_F(DescCopy, RefusedCopies) {
  SQLHDESC d = NewExplicit();
  // Into an IRD.
  EXPECT_EQ(SQL_ERROR, SQLCopyDesc(d, Ird(stmt)));
  EXPECT_EQ("HY016", DescState(Ird(stmt)));
  // From the IRD of a statement that was not prepared: on the target.
  EXPECT_EQ(SQL_ERROR, SQLCopyDesc(Ird(stmt), d));
  EXPECT_EQ("HY010", DescState(d));
  // A target that is no descriptor.
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLCopyDesc(d, stmt));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLCopyDesc(d, DRV_HandleValue(0x0004FFFFu)));
}

TEST_F(DescCopy, ImplementationRowToParameterDescriptor) {
  Describe(stmt);
  SQLULEN processed = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(Ird(stmt), 0, SQL_DESC_ROWS_PROCESSED_PTR, &processed, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLCopyDesc(Ird(stmt), Ipd(stmt)));
  SQLHDESC ipd = Ipd(stmt);
  EXPECT_EQ(4, Small(ipd, 0, SQL_DESC_COUNT));
  EXPECT_EQ(&processed, Ptr(ipd, 0, SQL_DESC_ROWS_PROCESSED_PTR));
  EXPECT_EQ("ID", Text(ipd, 1, SQL_DESC_NAME));
  EXPECT_EQ("PRICE", Text(ipd, 4, SQL_DESC_NAME));
  EXPECT_EQ(SQL_INTEGER, Small(ipd, 1, SQL_DESC_CONCISE_TYPE));
  EXPECT_EQ(SQL_DECIMAL, Small(ipd, 4, SQL_DESC_TYPE));
  EXPECT_EQ(12, Small(ipd, 4, SQL_DESC_PRECISION));
  EXPECT_EQ(2, Small(ipd, 4, SQL_DESC_SCALE));
  EXPECT_EQ(30u, static_cast<SQLULEN>(Len(ipd, 2, SQL_DESC_LENGTH)));
  // No data pointers travel into an implementation descriptor.
  for (const auto& rec : Desc(ipd)->recs) EXPECT_EQ(nullptr, rec->data);
}

TEST_F(DescIrd, CountBeforeAndAfterDescribing) {
  SQLSMALLINT n = -1;
  EXPECT_EQ(SQL_ERROR, SQLGetDescField(Ird(stmt), 0, SQL_DESC_COUNT, &n, 0, nullptr));
  EXPECT_EQ("HY010", DescState(Ird(stmt)));
  EXPECT_EQ(SQL_ERROR, SQLGetDescField(Ird(stmt), 1, SQL_DESC_NAME, nullptr, 0, nullptr));
  EXPECT_EQ("HY010", DescState(Ird(stmt)));
  Describe(stmt);
  EXPECT_EQ(4, Small(Ird(stmt), 0, SQL_DESC_COUNT));
  EXPECT_EQ(SQL_NO_DATA, SQLGetDescField(Ird(stmt), 5, SQL_DESC_NAME, nullptr, 0, nullptr));
}

TEST_F(DescIrd, ColumnAnswers) {
  Describe(stmt);
  SQLHDESC ird = Ird(stmt);
  EXPECT_EQ("ID", Text(ird, 1, SQL_DESC_NAME));
  EXPECT_EQ("NAME", Text(ird, 2, SQL_DESC_LABEL));
  EXPECT_EQ("PEOPLE", Text(ird, 2, SQL_DESC_TABLE_NAME));
  EXPECT_EQ("PEOPLE", Text(ird, 2, SQL_DESC_BASE_TABLE_NAME));
  EXPECT_EQ("", Text(ird, 1, SQL_DESC_TABLE_NAME));
  EXPECT_EQ(SQL_NO_NULLS, Small(ird, 1, SQL_DESC_NULLABLE));
  EXPECT_EQ(SQL_NULLABLE, Small(ird, 2, SQL_DESC_NULLABLE));
  // Signed numbers are not unsigned; text is.
  EXPECT_EQ(SQL_FALSE, Small(ird, 1, SQL_DESC_UNSIGNED));
  EXPECT_EQ(SQL_FALSE, Small(ird, 4, SQL_DESC_UNSIGNED));
  EXPECT_EQ(SQL_TRUE, Small(ird, 2, SQL_DESC_UNSIGNED));
  EXPECT_EQ(SQL_TRUE, Small(ird, 4, SQL_DESC_FIXED_PREC_SCALE));
  EXPECT_EQ(10, Int(ird, 1, SQL_DESC_NUM_PREC_RADIX));
  EXPECT_EQ(SQL_TRUE, Int(ird, 2, SQL_DESC_CASE_SENSITIVE));
  EXPECT_EQ(SQL_PRED_SEARCHABLE, Small(ird, 2, SQL_DESC_SEARCHABLE));
  EXPECT_EQ(SQL_PRED_BASIC, Small(ird, 1, SQL_DESC_SEARCHABLE));
  EXPECT_EQ(SQL_ATTR_READWRITE_UNKNOWN, Small(ird, 1, SQL_DESC_UPDATABLE));
  // Lengths in their full width: text takes four octets a character.
  EXPECT_EQ(4, Len(ird, 1, SQL_DESC_OCTET_LENGTH));
  EXPECT_EQ(40, Len(ird, 3, SQL_DESC_OCTET_LENGTH));
  EXPECT_EQ(14, Len(ird, 4, SQL_DESC_OCTET_LENGTH));
  EXPECT_EQ(14, Len(ird, 4, SQL_DESC_DISPLAY_SIZE));
  EXPECT_EQ(30, Len(ird, 2, SQL_DESC_LENGTH));
  EXPECT_EQ(12, Small(ird, 4, SQL_DESC_PRECISION));
  EXPECT_EQ(2, Small(ird, 4, SQL_DESC_SCALE));
  // Without the server's type information the type name reads empty.
  EXPECT_EQ("", Text(ird, 1, SQL_DESC_TYPE_NAME));
  EXPECT_EQ("", Text(ird, 2, SQL_DESC_LITERAL_PREFIX));
  // Fields an IRD does not have, and that only an IRD has.
  SQLPOINTER p = nullptr;
  EXPECT_EQ(SQL_ERROR, SQLGetDescField(ird, 1, SQL_DESC_DATA_PTR, &p, 8, nullptr));
  EXPECT_EQ("HY091", DescState(ird));
  SQLLEN size = 0;
  EXPECT_EQ(SQL_ERROR, SQLGetDescField(Ard(stmt), 1, SQL_DESC_DISPLAY_SIZE, &size, 8, nullptr));
  EXPECT_EQ("HY091", DescState(Ard(stmt)));
}

TEST_F(DescIrd, BookmarkColumn) {
  Describe(stmt);
  SQLHDESC ird = Ird(stmt);
  EXPECT_EQ("BOOKMARK", Text(ird, 0, SQL_DESC_NAME));
  EXPECT_EQ("BOOKMARK", Text(ird, 0, SQL_DESC_BASE_COLUMN_NAME));
  EXPECT_EQ(8, Len(ird, 0, SQL_DESC_OCTET_LENGTH));
  EXPECT_EQ(SQL_CHAR, Small(ird, 0, SQL_DESC_TYPE));
  EXPECT_EQ(SQL_TRUE, Small(ird, 0, SQL_DESC_UNSIGNED));
  EXPECT_EQ(SQL_NAMED, Small(ird, 0, SQL_DESC_UNNAMED));
}

}  // namespace
}  // namespace qmrtest
