// Descriptor fields: reading and writing one header field or one field of a
// record, for SQLGetDescField/SQLSetDescField and for the callers that read
// an implementation descriptor (SQLColAttribute, SQLDescribeCol,
// SQLGetDescRec, SQLCopyDesc).
#ifndef QMR_DRIVER_DESCFIELD_H
#define QMR_DRIVER_DESCFIELD_H

#include <cstdint>

#include "driver/handles.h"

// One field of a descriptor: 0, 1 (SQL_SUCCESS_WITH_INFO, text cut), 100
// (SQL_NO_DATA: a record above the count) or -1 (SQL_ERROR) with the
// pending code on the descriptor. Text goes out as UTF-8, or as UTF-16 with
// `size` and *length in bytes when width is 'W'; *length (may be null)
// receives the answer's full length in bytes.
int DESC_GetField(DescHandle* desc, uint16_t record, int16_t field, void* value, int64_t size,
                  int64_t* length, int width);

// SQL_DESC_OCTET_LENGTH of a described column or parameter of the SQL type
// and length (characters, bytes or digits): the bytes its longest value
// takes in its default C type, the text of both builds four bytes a
// character; 0 for a type of no fixed transfer length.
int64_t DESC_OctetLength(int sqlType, int64_t length);

// SEARCHABLE of the server's type information for the SQL type, which a
// result column of that type answers too; -1 when it gives none.
int DESC_TypeSearchable(ConnHandle* conn, int sqlType);

// Header fields (the record number does not matter for them).
bool DESC_IsHeaderField(int field);

// Sets one field: 0, or -1 with the pending code on the descriptor (or,
// for a failed re-binding, on the statement). `value` is the integer or the
// pointer SQLSetDescField received; `length` its length argument (text
// fields: bytes, or SQL_NTS).
int DESC_SetField(DescHandle* desc, int16_t record, int16_t field, void* value, int64_t length,
                  int width);

// One application of a field to one use of the descriptor: with its
// statement (may be null), as an application descriptor (app) and/or a row
// descriptor (row).
int DESC_SetFieldImpl(StmtHandle* stmt, bool app, bool row, bool withStmt, DescHandle* desc,
                      int16_t record, int16_t field, void* value, int64_t length, int width);

// Output of fixed-width answers: written only when value is not null; the
// length (may be null) receives the width.
void DESC_PutU16(void* value, int64_t* length, uint16_t v);
void DESC_PutU32(void* value, int64_t* length, uint32_t v);
void DESC_PutU64(void* value, int64_t* length, uint64_t v);
// A pointer: the buffer must take 8 bytes (or be SQL_IS_POINTER); else
// ERR_INVALID_ARGUMENT on the descriptor and -1.
int DESC_PutPtr(DescHandle* desc, void* value, int64_t size, int64_t* length, const void* v);
// Text (null: empty): 0, or 1 with ERR_TRUNCATED on the descriptor when
// cut.
int DESC_PutText(DescHandle* desc, void* value, int64_t size, int64_t* length, const char* text);
int DESC_PutTextW(DescHandle* desc, void* value, int64_t size, int64_t* length, const char* text);

// The type rules shared by the setter and the getter.
bool DESC_IsCharType(int t);          // -10, -9, -8, -1, 1, 12
bool DESC_IsCharOrBinaryType(int t);  // the character types and -4, -3, -2
// Sets type/concise type/code and the defaults that follow from the verbose
// type (SQL_DESC_TYPE) or the concise type; false for an unknown type.
bool DESC_DeriveFromType(DescRec* rec, int16_t type);
bool DESC_DeriveFromConcise(DescRec* rec, int16_t concise);

#endif
