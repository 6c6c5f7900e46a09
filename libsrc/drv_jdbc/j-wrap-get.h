// The value getters that java.sql.ResultSet and CallableStatement share:
// one method name and signature per Java type, read by column or parameter
// index (1-based). ResultSet and CallableStatement take them over, so that
// ResultSet::getInt and CallableStatement::getInt are these functions.
#ifndef QMR_DRV_JDBC_J_WRAP_GET_H
#define QMR_DRV_JDBC_J_WRAP_GET_H

#include "drv_jdbc/j-wrap-types.h"

namespace ValueGetters {

uint32_t getBoolean(JdbcStmt* s, jobject o, int32_t index, uint8_t* value);
uint32_t getByte(JdbcStmt* s, jobject o, int32_t index, int8_t* value);
uint32_t getShort(JdbcStmt* s, jobject o, int32_t index, int16_t* value);
uint32_t getInt(JdbcStmt* s, jobject o, int32_t index, int32_t* value);
uint32_t getLong(JdbcStmt* s, jobject o, int32_t index, int64_t* value);
uint32_t getFloat(JdbcStmt* s, jobject o, int32_t index, float* value);
uint32_t getDouble(JdbcStmt* s, jobject o, int32_t index, double* value);
// 8-bit text: at most size - 1 bytes (never a split UTF-8 sequence) and a
// NUL; *length = bytes stored. A null value gives empty text. Always in the
// system's 8-bit form.
uint32_t getString(JdbcStmt* s, jobject o, int32_t index, char* buf, uint32_t size,
                   uint32_t* length);
// UTF-16: at most size - 1 units (never a split surrogate pair) and a NUL;
// *length = units stored.
uint32_t getString(JdbcStmt* s, jobject o, int32_t index, char16_t* buf, uint32_t size,
                   uint32_t* length);
// Text counted into a row element: the first min(room, whole) bytes or
// units as they come (a cut may split a character), no terminator; *whole
// = the value's length, beyond room when the copy was cut. Null gives 0.
uint32_t getCountedString(JdbcStmt* s, jobject o, int32_t index, char* buf, uint32_t room,
                          uint32_t* whole);
uint32_t getCountedString(JdbcStmt* s, jobject o, int32_t index, char16_t* buf, uint32_t room,
                          uint32_t* whole);
uint32_t getStringLong(JdbcStmt* s, jobject o, int32_t index, JC_LongValue* value);
uint32_t getStringLongW(JdbcStmt* s, jobject o, int32_t index, JC_LongValue* value);
// Bytes: min(array length, size) copied, the rest of buf zero-filled.
uint32_t getBytes(JdbcStmt* s, jobject o, int32_t index, void* buf, uint32_t size,
                  uint32_t* length);
uint32_t getBytesLong(JdbcStmt* s, jobject o, int32_t index, JC_LongValue* value);
// A null value sets every field to 0 and answers 0 (ask wasNull).
uint32_t getDate(JdbcStmt* s, jobject o, int32_t index, JC_Date* value);
uint32_t getTime(JdbcStmt* s, jobject o, int32_t index, JC_Time* value);
uint32_t getTimestamp(JdbcStmt* s, jobject o, int32_t index, JC_Timestamp* value);
uint32_t wasNull(JdbcStmt* s, jobject o, uint8_t* isNull);

}  // namespace ValueGetters

#endif
