// The type numbers of java.sql.Types, named after its fields, and the two
// numbers some JDBC drivers give beyond them. Where a number is also an ODBC
// SQL type code the two agree, except as the ODBC side names them
// (SQL_WCHAR is -8, which java.sql.Types uses for ROWID).
#ifndef QMR_DRV_JDBC_J_SQLTYPES_H
#define QMR_DRV_JDBC_J_SQLTYPES_H

#include <cstdint>

constexpr int32_t JDBC_BIT = -7;
constexpr int32_t JDBC_TINYINT = -6;
constexpr int32_t JDBC_SMALLINT = 5;
constexpr int32_t JDBC_INTEGER = 4;
constexpr int32_t JDBC_BIGINT = -5;
constexpr int32_t JDBC_FLOAT = 6;
constexpr int32_t JDBC_REAL = 7;
constexpr int32_t JDBC_DOUBLE = 8;
constexpr int32_t JDBC_NUMERIC = 2;
constexpr int32_t JDBC_DECIMAL = 3;
constexpr int32_t JDBC_CHAR = 1;
constexpr int32_t JDBC_VARCHAR = 12;
constexpr int32_t JDBC_LONGVARCHAR = -1;
constexpr int32_t JDBC_DATE = 91;
constexpr int32_t JDBC_TIME = 92;
constexpr int32_t JDBC_TIMESTAMP = 93;
constexpr int32_t JDBC_BINARY = -2;
constexpr int32_t JDBC_VARBINARY = -3;
constexpr int32_t JDBC_LONGVARBINARY = -4;
constexpr int32_t JDBC_NULL = 0;
constexpr int32_t JDBC_OTHER = 1111;
constexpr int32_t JDBC_JAVA_OBJECT = 2000;
constexpr int32_t JDBC_DISTINCT = 2001;
constexpr int32_t JDBC_STRUCT = 2002;
constexpr int32_t JDBC_ARRAY = 2003;
constexpr int32_t JDBC_BLOB = 2004;
constexpr int32_t JDBC_CLOB = 2005;
constexpr int32_t JDBC_REF = 2006;
constexpr int32_t JDBC_DATALINK = 70;
constexpr int32_t JDBC_BOOLEAN = 16;
constexpr int32_t JDBC_ROWID = -8;
constexpr int32_t JDBC_NCHAR = -15;
constexpr int32_t JDBC_NVARCHAR = -9;
constexpr int32_t JDBC_LONGNVARCHAR = -16;
constexpr int32_t JDBC_NCLOB = 2011;
constexpr int32_t JDBC_SQLXML = 2009;
constexpr int32_t JDBC_REF_CURSOR = 2012;
constexpr int32_t JDBC_TIME_WITH_TIMEZONE = 2013;
constexpr int32_t JDBC_TIMESTAMP_WITH_TIMEZONE = 2014;

// Beyond java.sql.Types: a date and time with its offset, and a value of
// any type, as some drivers report them.
constexpr int32_t JDBC_X_DATETIMEOFFSET = -155;
constexpr int32_t JDBC_X_VARIANT = -150;

#endif
