// Field rules: read-only and misplaced fields, names in both widths,
// pointers, and values an application withdraws by setting 0.
#include <vector>

#include "desc/desc_fixture.h"

namespace qmrtest {
namespace {

using DescFields = DescTest;

TEST_F(DescFields, ReadOnlyFieldsAreRefused) {
  for (SQLHDESC d : {Ard(stmt), Apd(stmt), Ipd(stmt), Ird(stmt)}) {
    for (SQLSMALLINT f :
         {SQL_DESC_DISPLAY_SIZE, SQL_DESC_UNSIGNED, SQL_DESC_FIXED_PREC_SCALE, SQL_DESC_UPDATABLE,
          SQL_DESC_AUTO_UNIQUE_VALUE, SQL_DESC_CASE_SENSITIVE, SQL_DESC_SEARCHABLE,
          SQL_DESC_TYPE_NAME, SQL_DESC_TABLE_NAME, SQL_DESC_SCHEMA_NAME, SQL_DESC_CATALOG_NAME,
          SQL_DESC_LABEL, SQL_DESC_BASE_COLUMN_NAME, SQL_DESC_BASE_TABLE_NAME,
          SQL_DESC_LITERAL_PREFIX, SQL_DESC_LITERAL_SUFFIX, SQL_DESC_LOCAL_TYPE_NAME,
          SQL_DESC_NULLABLE, SQL_DESC_ALLOC_TYPE}) {
      EXPECT_EQ(SQL_ERROR, Set(d, 1, f, 1)) << f;
      EXPECT_EQ("HY091", DescState(d)) << f;
    }
  }
  // Nothing was grown on the way.
  EXPECT_EQ(0, Small(Ard(stmt), 0, SQL_DESC_COUNT));
}

TEST_F(DescFields, ImplementationRowDescriptorRecordsCannotBeSet) {
  EXPECT_EQ(SQL_ERROR, Set(Ird(stmt), 1, SQL_DESC_TYPE, SQL_INTEGER));
  EXPECT_EQ("HY016", DescState(Ird(stmt)));
  EXPECT_EQ(SQL_ERROR,
            SQLSetDescRec(Ird(stmt), 1, SQL_INTEGER, 0, 4, 0, 0, nullptr, nullptr, nullptr));
  EXPECT_EQ("HY016", DescState(Ird(stmt)));
  EXPECT_EQ(SQL_ERROR, Set(Ird(stmt), 0, SQL_DESC_COUNT, 2));
  EXPECT_EQ("HY091", DescState(Ird(stmt)));
  // Its status array and rows-fetched pointer are the application's to set.
  SQLULEN fetched = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(Ird(stmt), 0, SQL_DESC_ROWS_PROCESSED_PTR, &fetched, 0));
  EXPECT_EQ(&fetched, Ptr(Ird(stmt), 0, SQL_DESC_ROWS_PROCESSED_PTR));
}

TEST_F(DescFields, FieldsOfTheWrongKindOfDescriptor) {
  // Names and parameter types belong to the IPD, row pointers to
  // implementation descriptors, bindings to application descriptors.
  EXPECT_EQ(SQL_ERROR, SQLSetDescField(Ard(stmt), 1, SQL_DESC_NAME, (SQLPOINTER) "x", SQL_NTS));
  EXPECT_EQ("HY091", DescState(Ard(stmt)));
  EXPECT_EQ(SQL_ERROR, Set(Apd(stmt), 1, SQL_DESC_PARAMETER_TYPE, SQL_PARAM_OUTPUT));
  EXPECT_EQ("HY091", DescState(Apd(stmt)));
  EXPECT_EQ(SQL_ERROR, Set(Ard(stmt), 0, SQL_DESC_ROWS_PROCESSED_PTR, 0));
  EXPECT_EQ("HY091", DescState(Ard(stmt)));
  EXPECT_EQ(SQL_ERROR, Set(Ipd(stmt), 1, SQL_DESC_INDICATOR_PTR, 0));
  EXPECT_EQ("HY091", DescState(Ipd(stmt)));
  SQLPOINTER p = nullptr;
  EXPECT_EQ(SQL_ERROR, SQLGetDescField(Ard(stmt), 0, SQL_DESC_ROWS_PROCESSED_PTR, &p, 8, nullptr));
  EXPECT_EQ("HY091", DescState(Ard(stmt)));
  // A data pointer on an implementation descriptor is quietly ignored.
  int buffer = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLSetDescField(Ipd(stmt), 1, SQL_DESC_DATA_PTR, &buffer, 0));
  // Identifiers the driver does not know.
  EXPECT_EQ(SQL_ERROR, Set(Ard(stmt), 1, 5000, 1));
  EXPECT_EQ("IM001", DescState(Ard(stmt)));
  EXPECT_EQ(SQL_ERROR, SQLGetDescField(Ard(stmt), 1, 5000, &p, 8, nullptr));
  EXPECT_EQ("IM001", DescState(Ard(stmt)));
}

TEST_F(DescFields, IpdNameInBothWidths) {
  SQLHDESC ipd = Ipd(stmt);
  const std::u16string name = u"pr\u00e9nom_\u4e2d";
  ASSERT_EQ(SQL_SUCCESS,
            SQLSetDescFieldW(ipd, 1, SQL_DESC_NAME, const_cast<char16_t*>(name.c_str()), SQL_NTS));
  EXPECT_EQ(SQL_NAMED, Small(ipd, 1, SQL_DESC_UNNAMED));
  // Wide: UTF-16, length in bytes.
  char16_t wbuf[32] = {};
  SQLINTEGER len = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetDescFieldW(ipd, 1, SQL_DESC_NAME, wbuf, sizeof wbuf, &len));
  EXPECT_EQ(name, std::u16string(wbuf));
  EXPECT_EQ(static_cast<SQLINTEGER>(2 * name.size()), len);
  // 8-bit: the UTF-8 form.
  EXPECT_EQ("pr\xc3\xa9nom_\xe4\xb8\xad", Text(ipd, 1, SQL_DESC_NAME));
  // Too small a buffer: cut with its terminator inside, full length back.
  char small[5] = "????";
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO,
            SQLGetDescField(ipd, 1, SQL_DESC_NAME, small, sizeof small, &len));
  EXPECT_STREQ("pr\xc3\xa9", small);
  EXPECT_EQ(11, len);
  EXPECT_EQ("01004", DescState(ipd));
  char16_t wsmall[3] = {u'?', u'?', u'?'};
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO,
            SQLGetDescFieldW(ipd, 1, SQL_DESC_NAME, wsmall, sizeof wsmall, &len));
  EXPECT_EQ(std::u16string(u"pr"), std::u16string(wsmall));
  EXPECT_EQ(static_cast<SQLINTEGER>(2 * name.size()), len);
  // A counted 8-bit name takes exactly its bytes.
  ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(ipd, 2, SQL_DESC_NAME, (SQLPOINTER) "abcdef", 3));
  EXPECT_EQ("abc", Text(ipd, 2, SQL_DESC_NAME));
  EXPECT_EQ(SQL_ERROR, SQLSetDescField(ipd, 2, SQL_DESC_NAME, (SQLPOINTER) "abc", -7));
  EXPECT_EQ("HY090", DescState(ipd));
  // SQL_UNNAMED is the only value unnamed takes.
  EXPECT_EQ(SQL_SUCCESS, Set(ipd, 2, SQL_DESC_UNNAMED, SQL_UNNAMED));
  EXPECT_EQ(SQL_UNNAMED, Small(ipd, 2, SQL_DESC_UNNAMED));
  EXPECT_EQ(SQL_ERROR, Set(ipd, 2, SQL_DESC_UNNAMED, 7));
  EXPECT_EQ("HY091", DescState(ipd));
}

TEST_F(DescFields, PointerFieldsNeedRoomForAPointer) {
  SQLUSMALLINT status[4];
  ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(Ard(stmt), 0, SQL_DESC_ARRAY_STATUS_PTR, status, 0));
  SQLPOINTER out = nullptr;
  EXPECT_EQ(SQL_ERROR, SQLGetDescField(Ard(stmt), 0, SQL_DESC_ARRAY_STATUS_PTR, &out, 4, nullptr));
  EXPECT_EQ("HY009", DescState(Ard(stmt)));
  EXPECT_EQ(nullptr, out);
  SQLINTEGER len = 0;
  ASSERT_EQ(SQL_SUCCESS,
            SQLGetDescField(Ard(stmt), 0, SQL_DESC_ARRAY_STATUS_PTR, &out, SQL_IS_POINTER, &len));
  EXPECT_EQ(static_cast<void*>(status), out);
  EXPECT_EQ(8, len);
}

TEST_F(DescFields, ZeroWithdrawsPointersCountsAndSizes) {
  SQLHDESC ard = Ard(stmt);
  SQLLEN ind = 0, octets = 0;
  char buffer[16];
  ASSERT_EQ(SQL_SUCCESS,
            SQLSetDescRec(ard, 1, SQL_C_CHAR, 0, sizeof buffer, 5, 2, buffer, &octets, &ind));
  ASSERT_EQ(SQL_SUCCESS, Set(ard, 2, SQL_DESC_CONCISE_TYPE, SQL_C_LONG));
  ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(ard, 0, SQL_DESC_BIND_OFFSET_PTR, &ind, 0));
  for (SQLSMALLINT f : {SQL_DESC_INDICATOR_PTR, SQL_DESC_OCTET_LENGTH_PTR, SQL_DESC_DATA_PTR}) {
    ASSERT_EQ(SQL_SUCCESS, Set(ard, 1, f, 0));
    EXPECT_EQ(nullptr, Ptr(ard, 1, f)) << f;
  }
  ASSERT_EQ(SQL_SUCCESS, Set(ard, 0, SQL_DESC_BIND_OFFSET_PTR, 0));
  EXPECT_EQ(nullptr, Ptr(ard, 0, SQL_DESC_BIND_OFFSET_PTR));
  for (SQLSMALLINT f : {SQL_DESC_PRECISION, SQL_DESC_SCALE}) {
    ASSERT_EQ(SQL_SUCCESS, Set(ard, 1, f, 0));
    EXPECT_EQ(0, Small(ard, 1, f)) << f;
  }
  ASSERT_EQ(SQL_SUCCESS, Set(ard, 1, SQL_DESC_OCTET_LENGTH, 0));
  EXPECT_EQ(0, Len(ard, 1, SQL_DESC_OCTET_LENGTH));
  SQLULEN fetched = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(Ird(stmt), 0, SQL_DESC_ROWS_PROCESSED_PTR, &fetched, 0));
  ASSERT_EQ(SQL_SUCCESS, Set(Ird(stmt), 0, SQL_DESC_ROWS_PROCESSED_PTR, 0));
  EXPECT_EQ(nullptr, Ptr(Ird(stmt), 0, SQL_DESC_ROWS_PROCESSED_PTR));
  // A count of 0 unbinds every column: the records go.
  ASSERT_EQ(SQL_SUCCESS, Set(ard, 0, SQL_DESC_COUNT, 0));
  EXPECT_EQ(0, Small(ard, 0, SQL_DESC_COUNT));
  EXPECT_EQ(0, DESC_Count(Desc(ard)));
  // ODBC has no empty rowset: an array size of 0 is refused.
  EXPECT_EQ(SQL_ERROR, Set(ard, 0, SQL_DESC_ARRAY_SIZE, 0));
  EXPECT_EQ("HY009", DescState(ard));
  EXPECT_EQ(1, Len(ard, 0, SQL_DESC_ARRAY_SIZE));
}

TEST_F(DescFields, LengthsKeepTheirFullWidth) {
  const SQLLEN big = (SQLLEN{1} << 33) + 5;
  SQLHDESC d = NewExplicit();
  ASSERT_EQ(SQL_SUCCESS, Set(d, 1, SQL_DESC_OCTET_LENGTH, big));
  ASSERT_EQ(SQL_SUCCESS, Set(d, 1, SQL_DESC_LENGTH, big));
  EXPECT_EQ(big, Len(d, 1, SQL_DESC_OCTET_LENGTH));
  EXPECT_EQ(big, Len(d, 1, SQL_DESC_LENGTH));
  SQLLEN octets = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetDescRec(d, 1, nullptr, 0, nullptr, nullptr, nullptr, &octets,
                                       nullptr, nullptr, nullptr));
  EXPECT_EQ(big, octets);
}

TEST_F(DescFields, ChangingABoundRecordUnbindsIt) {
  SQLHDESC ard = Ard(stmt);
  int value = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLSetDescRec(ard, 1, SQL_C_LONG, 0, 4, 0, 0, &value, nullptr, nullptr));
  EXPECT_EQ(&value, Ptr(ard, 1, SQL_DESC_DATA_PTR));
  EXPECT_NE(nullptr, DESC_FindRec(1, Stmt(stmt)));
  // The indicator pointer is part of the binding and keeps it.
  SQLLEN ind = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(ard, 1, SQL_DESC_INDICATOR_PTR, &ind, 0));
  EXPECT_EQ(&value, Ptr(ard, 1, SQL_DESC_DATA_PTR));
  // Its type is not.
  ASSERT_EQ(SQL_SUCCESS, Set(ard, 1, SQL_DESC_CONCISE_TYPE, SQL_C_SHORT));
  EXPECT_EQ(nullptr, Ptr(ard, 1, SQL_DESC_DATA_PTR));
  EXPECT_EQ(nullptr, DESC_FindRec(1, Stmt(stmt)));
  EXPECT_EQ(&ind, Ptr(ard, 1, SQL_DESC_INDICATOR_PTR));
}

}  // namespace
}  // namespace qmrtest
