// Implicit and explicit descriptor defaults, and the type rules that keep a
// record's type, concise type, code and defaults in step.
#include "desc/desc_fixture.h"

namespace qmrtest {
namespace {

using DescDefaults = DescTest;
using DescTypes = DescTest;

TEST_F(DescDefaults, ImplicitHeaders) {
  for (SQLHDESC d : {Ard(stmt), Apd(stmt), Ird(stmt), Ipd(stmt)})
    EXPECT_EQ(SQL_DESC_ALLOC_AUTO, Small(d, 0, SQL_DESC_ALLOC_TYPE));
  for (SQLHDESC d : {Ard(stmt), Apd(stmt), Ipd(stmt)}) EXPECT_EQ(0, Small(d, 0, SQL_DESC_COUNT));
  for (SQLHDESC d : {Ard(stmt), Apd(stmt)}) {
    EXPECT_EQ(1, Len(d, 0, SQL_DESC_ARRAY_SIZE));
    EXPECT_EQ(SQL_BIND_BY_COLUMN, Int(d, 0, SQL_DESC_BIND_TYPE));
    EXPECT_EQ(nullptr, Ptr(d, 0, SQL_DESC_BIND_OFFSET_PTR));
  }
  for (SQLHDESC d : {Ard(stmt), Apd(stmt), Ird(stmt), Ipd(stmt)})
    EXPECT_EQ(nullptr, Ptr(d, 0, SQL_DESC_ARRAY_STATUS_PTR));
  for (SQLHDESC d : {Ird(stmt), Ipd(stmt)})
    EXPECT_EQ(nullptr, Ptr(d, 0, SQL_DESC_ROWS_PROCESSED_PTR));
}

TEST_F(DescDefaults, NewApplicationRecordsAreDefaultTyped) {
  ASSERT_EQ(SQL_SUCCESS, Set(Ard(stmt), 0, SQL_DESC_COUNT, 2));
  ASSERT_EQ(SQL_SUCCESS, Set(Apd(stmt), 0, SQL_DESC_COUNT, 1));
  ASSERT_EQ(SQL_SUCCESS, Set(Ipd(stmt), 0, SQL_DESC_COUNT, 1));
  for (SQLSMALLINT r : {1, 2}) {
    EXPECT_EQ(SQL_C_DEFAULT, Small(Ard(stmt), r, SQL_DESC_TYPE));
    EXPECT_EQ(SQL_C_DEFAULT, Small(Ard(stmt), r, SQL_DESC_CONCISE_TYPE));
    EXPECT_EQ(nullptr, Ptr(Ard(stmt), r, SQL_DESC_DATA_PTR));
  }
  EXPECT_EQ(SQL_C_DEFAULT, Small(Apd(stmt), 1, SQL_DESC_CONCISE_TYPE));
  EXPECT_EQ(SQL_PARAM_INPUT, Small(Ipd(stmt), 1, SQL_DESC_PARAMETER_TYPE));
  EXPECT_EQ(0, Small(Ipd(stmt), 1, SQL_DESC_TYPE));
}

TEST_F(DescDefaults, ExplicitDescriptorStartsEmptyAndUserAllocated) {
  SQLHDESC d = NewExplicit();
  EXPECT_EQ(SQL_DESC_ALLOC_USER, Small(d, 0, SQL_DESC_ALLOC_TYPE));
  EXPECT_EQ(0, Small(d, 0, SQL_DESC_COUNT));
  EXPECT_EQ(1, Len(d, 0, SQL_DESC_ARRAY_SIZE));
  // A record made by setting a field beyond the count starts all zero.
  ASSERT_EQ(SQL_SUCCESS, Set(d, 3, SQL_DESC_OCTET_LENGTH, 7));
  EXPECT_EQ(3, Small(d, 0, SQL_DESC_COUNT));
  EXPECT_EQ(0, Small(d, 2, SQL_DESC_TYPE));
  EXPECT_EQ(7, Len(d, 3, SQL_DESC_OCTET_LENGTH));
  // An automatic descriptor cannot be freed by the application.
  EXPECT_EQ(SQL_ERROR, SQLFreeHandle(SQL_HANDLE_DESC, Ard(stmt)));
  EXPECT_EQ("HY017", DescState(Ard(stmt)));
  EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DESC, d));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLGetDescField(d, 0, SQL_DESC_COUNT, nullptr, 0, nullptr));
}

TEST_F(DescDefaults, RecordNumbersOutsideTheRecords) {
  SQLSMALLINT v = 0;
  ASSERT_EQ(SQL_SUCCESS, Set(Ard(stmt), 1, SQL_DESC_TYPE, SQL_C_LONG));
  // Above the count: no data, no diagnostic.
  EXPECT_EQ(SQL_NO_DATA, SQLGetDescField(Ard(stmt), 2, SQL_DESC_TYPE, &v, 0, nullptr));
  EXPECT_EQ("", DescState(Ard(stmt)));
  // Negative, and record 0 of a parameter descriptor: invalid index.
  EXPECT_EQ(SQL_ERROR, SQLGetDescField(Ard(stmt), -1, SQL_DESC_TYPE, &v, 0, nullptr));
  EXPECT_EQ("07009", DescState(Ard(stmt)));
  EXPECT_EQ(SQL_ERROR, Set(Ard(stmt), -1, SQL_DESC_TYPE, SQL_C_LONG));
  EXPECT_EQ("07009", DescState(Ard(stmt)));
  for (SQLHDESC d : {Apd(stmt), Ipd(stmt)}) {
    EXPECT_EQ(SQL_ERROR, Set(d, 0, SQL_DESC_TYPE, SQL_C_LONG));
    EXPECT_EQ("07009", DescState(d));
  }
  EXPECT_EQ(SQL_ERROR, SQLGetDescField(Apd(stmt), 0, SQL_DESC_TYPE, &v, 0, nullptr));
  EXPECT_EQ("07009", DescState(Apd(stmt)));
  // The bookmark record of the ARD is there to be set.
  EXPECT_EQ(SQL_SUCCESS, Set(Ard(stmt), 0, SQL_DESC_CONCISE_TYPE, SQL_C_VARBOOKMARK));
  EXPECT_EQ(SQL_C_VARBOOKMARK, Small(Ard(stmt), 0, SQL_DESC_TYPE));
}

TEST_F(DescTypes, ConciseDatetimeGivesVerboseTypeCodeAndPrecision) {
  SQLHDESC ard = Ard(stmt);
  ASSERT_EQ(SQL_SUCCESS, Set(ard, 1, SQL_DESC_CONCISE_TYPE, SQL_TYPE_TIMESTAMP));
  EXPECT_EQ(SQL_DATETIME, Small(ard, 1, SQL_DESC_TYPE));
  EXPECT_EQ(SQL_CODE_TIMESTAMP, Small(ard, 1, SQL_DESC_DATETIME_INTERVAL_CODE));
  EXPECT_EQ(6, Small(ard, 1, SQL_DESC_PRECISION));
  ASSERT_EQ(SQL_SUCCESS, Set(ard, 1, SQL_DESC_CONCISE_TYPE, SQL_C_DATE));  // ODBC 2 code 9
  EXPECT_EQ(SQL_DATETIME, Small(ard, 1, SQL_DESC_TYPE));
  EXPECT_EQ(SQL_CODE_DATE, Small(ard, 1, SQL_DESC_DATETIME_INTERVAL_CODE));
  EXPECT_EQ(0, Small(ard, 1, SQL_DESC_PRECISION));
}

TEST_F(DescTypes, VerboseTypeAndCodeGiveTheConciseType) {
  SQLHDESC ard = Ard(stmt);
  // Type first, then the code.
  ASSERT_EQ(SQL_SUCCESS, Set(ard, 1, SQL_DESC_TYPE, SQL_INTERVAL));
  ASSERT_EQ(SQL_SUCCESS, Set(ard, 1, SQL_DESC_DATETIME_INTERVAL_CODE, SQL_CODE_DAY_TO_SECOND));
  EXPECT_EQ(SQL_C_INTERVAL_DAY_TO_SECOND, Small(ard, 1, SQL_DESC_CONCISE_TYPE));
  // The code first, then the type.
  ASSERT_EQ(SQL_SUCCESS, Set(ard, 2, SQL_DESC_DATETIME_INTERVAL_CODE, SQL_CODE_TIME));
  ASSERT_EQ(SQL_SUCCESS, Set(ard, 2, SQL_DESC_TYPE, SQL_DATETIME));
  EXPECT_EQ(SQL_C_TYPE_TIME, Small(ard, 2, SQL_DESC_CONCISE_TYPE));
  EXPECT_EQ(0, Small(ard, 2, SQL_DESC_PRECISION));
  // And back: a concise interval type gives the verbose type and its code.
  ASSERT_EQ(SQL_SUCCESS, Set(ard, 2, SQL_DESC_CONCISE_TYPE, SQL_C_INTERVAL_YEAR_TO_MONTH));
  EXPECT_EQ(SQL_INTERVAL, Small(ard, 2, SQL_DESC_TYPE));
  EXPECT_EQ(SQL_CODE_YEAR_TO_MONTH, Small(ard, 2, SQL_DESC_DATETIME_INTERVAL_CODE));
  EXPECT_EQ(2, Int(ard, 2, SQL_DESC_DATETIME_INTERVAL_PRECISION));
}

TEST_F(DescTypes, TypeDefaults) {
  SQLHDESC ipd = Ipd(stmt);
  ASSERT_EQ(SQL_SUCCESS, Set(ipd, 1, SQL_DESC_TYPE, SQL_DECIMAL));
  EXPECT_EQ(SQL_DECIMAL, Small(ipd, 1, SQL_DESC_CONCISE_TYPE));
  EXPECT_EQ(38, Small(ipd, 1, SQL_DESC_PRECISION));
  EXPECT_EQ(0, Small(ipd, 1, SQL_DESC_SCALE));
  ASSERT_EQ(SQL_SUCCESS, Set(ipd, 1, SQL_DESC_TYPE, SQL_VARCHAR));
  EXPECT_EQ(1u, static_cast<SQLULEN>(Len(ipd, 1, SQL_DESC_LENGTH)));
  ASSERT_EQ(SQL_SUCCESS, Set(ipd, 1, SQL_DESC_CONCISE_TYPE, SQL_DOUBLE));
  EXPECT_EQ(SQL_DOUBLE, Small(ipd, 1, SQL_DESC_TYPE));
  ASSERT_EQ(SQL_SUCCESS, Set(ipd, 1, SQL_DESC_CONCISE_TYPE, SQL_FLOAT));
  EXPECT_EQ(53, Small(ipd, 1, SQL_DESC_PRECISION));
  // Setting the concise type of an IPD record makes it an input parameter.
  ASSERT_EQ(SQL_SUCCESS, Set(ipd, 1, SQL_DESC_PARAMETER_TYPE, SQL_PARAM_OUTPUT));
  ASSERT_EQ(SQL_SUCCESS, Set(ipd, 1, SQL_DESC_CONCISE_TYPE, SQL_INTEGER));
  EXPECT_EQ(SQL_PARAM_INPUT, Small(ipd, 1, SQL_DESC_PARAMETER_TYPE));
}

TEST_F(DescTypes, UnknownTypesAreRefusedAndChangeNothing) {
  SQLHDESC ard = Ard(stmt);
  ASSERT_EQ(SQL_SUCCESS, Set(ard, 1, SQL_DESC_CONCISE_TYPE, SQL_C_SLONG));
  ASSERT_EQ(SQL_SUCCESS, Set(ard, 1, SQL_DESC_DATETIME_INTERVAL_CODE, 2));
  for (SQLSMALLINT f : {SQL_DESC_TYPE, SQL_DESC_CONCISE_TYPE}) {
    EXPECT_EQ(SQL_ERROR, Set(ard, 1, f, 1234));
    EXPECT_EQ("HY092", DescState(ard));
  }
  // Verbose-only codes are no concise types of their own.
  EXPECT_EQ(SQL_ERROR, Set(ard, 1, SQL_DESC_TYPE, 0x10000 + SQL_C_LONG));
  EXPECT_EQ(SQL_C_SLONG, Small(ard, 1, SQL_DESC_TYPE));
  EXPECT_EQ(SQL_C_SLONG, Small(ard, 1, SQL_DESC_CONCISE_TYPE));
}

}  // namespace
}  // namespace qmrtest
