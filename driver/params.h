// Parameter bindings, the parameter-set size, parameter descriptions and the
// data-at-execution dialogue (SQLParamData, SQLPutData).
//
// A statement's parameter bindings are the records of its current APD (C
// type, data pointer, length/indicator pointers, buffer length) and IPD (SQL
// type, column size, decimal digits, direction); record n is parameter n.
// The parameter-set size is the APD's array size, the processed-sets
// pointer the IPD's rows-processed field.
#ifndef QMR_DRIVER_PARAMS_H
#define QMR_DRIVER_PARAMS_H

#include <cstdint>

#include "driver/handles.h"

// Highest parameter number a statement takes.
constexpr int kParamMaxNumber = 1024;

// The longest value, in bytes, a parameter or a column of a positioned
// change takes: a Java array or string holds no more. A longer length is an
// invalid length (HY090), never an allocation of its size.
constexpr int64_t kParamMaxLength = 0x7FFFFFFF;

// Binds parameter `number` from the arguments of SQLBindParameter (also used
// by SQLSetParam): both descriptors grow to the number as needed. 0, or the
// internal code (also left as the statement's pending code):
// ERR_INVALID_ARGUMENT no value and no indicator for an input parameter,
// ERR_INVALID_PARAM_NUMBER number out of range, ERR_INVALID_SCALE negative
// digits for a time type, ERR_RESTRICTED_TYPE C type not accepted,
// ERR_NO_MEMORY.
int PAR_Bind(StmtHandle* stmt, int number, int16_t paramType, int16_t cType, int16_t sqlType,
             uint64_t columnSize, int16_t digits, void* value, int64_t bufferLength,
             int64_t* lengthPtr, int64_t* indicatorPtr);

// SQL_RESET_PARAMS: every binding and gathered value goes.
void PAR_ResetAll(StmtHandle* stmt);

// Parameter-set size and processed-sets pointer (SQLParamOptions and the
// statement attributes). 0, or 1 (IM001: sets above 1 on a connection that
// cannot take them) or 39 (S1107: size 0).
int STMT_SetParamSet(StmtHandle* stmt, uint64_t size, uint64_t* processed);

// Asks the agent for fresh parameter descriptions once between preparation
// and execution (SQLDescribeParam and reads of the IPD).
void STMT_DescribeParams(StmtHandle* stmt);
// Description of parameter n (1-based), asking the agent for fresh ones
// once between preparation and execution; null with
// ERR_INVALID_PARAM_NUMBER on the statement for a number without a description.
const JdbcColDesc* STMT_GetParamDesc(StmtHandle* stmt, int n);

// The verbose C type of a binding (SQL_C_DEFAULT resolved by the
// statement's SQL type and the environment's ODBC version).
int16_t PAR_CType(const StmtHandle* stmt, const DescRec* apd, const DescRec* ipd);
// Column size and decimal digits of an IPD record, by its SQL type.
uint64_t PAR_ColumnSize(const DescRec* ipd);
int16_t PAR_DecimalDigits(const DescRec* ipd);

// The byte length of a NUL-terminated value of C type c (SQL_C_WCHAR
// counts UTF-16 units), for a value given as SQL_NTS. With a positive
// bufferLength a text that fills its whole buffer ends there: nothing
// beyond the buffer is read.
int64_t PAR_NtsLength(int16_t c, const void* data, int64_t bufferLength = 0);

#endif
