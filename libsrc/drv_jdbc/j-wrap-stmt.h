// Wrappers of java.sql.Statement, PreparedStatement and CallableStatement.
#ifndef QMR_DRV_JDBC_J_WRAP_STMT_H
#define QMR_DRV_JDBC_J_WRAP_STMT_H

#include <cstddef>
#include <vector>

#include "drv_jdbc/j-wrap-get.h"
#include "drv_jdbc/j-wrap-types.h"

namespace Statement {

uint32_t execute(JdbcStmt* s, jobject stmt, const char* sql, uint8_t* isResultSet);
uint32_t execute(JdbcConn* c, jobject stmt, const char* sql, uint8_t* isResultSet);
uint32_t getResultSet(JdbcStmt* s, jobject stmt, jobject* rs);
uint32_t close(JdbcConn* c, jobject stmt);
uint32_t close(JdbcStmt* s, jobject stmt);
uint32_t getMoreResults(JdbcStmt* s, jobject stmt, uint8_t* more);
uint32_t getUpdateCount(JdbcStmt* s, jobject stmt, int32_t* count);
uint32_t setCursorName(JdbcStmt* s, jobject stmt, const char* name);
uint32_t getQueryTimeout(JdbcStmt* s, jobject stmt, int32_t* seconds);
uint32_t setQueryTimeout(JdbcStmt* s, jobject stmt, int32_t seconds);
uint32_t setMaxRows(JdbcStmt* s, jobject stmt, int32_t rows);
uint32_t setFetchSize(JdbcStmt* s, jobject stmt, int32_t rows);
// The Informix statement's serial value; 0 (and result 0) when the object is
// not an instance of com.informix.jdbc.IfmxStatement or that class is not
// there.
uint32_t getSerial(JdbcStmt* s, jobject stmt, int32_t* serial);

}  // namespace Statement

namespace PreparedStatement {

// Failures of these two are cleared, not posted; they answer 0.
uint32_t clearParameters(JdbcStmt* s, jobject ps);
uint32_t getMetaData(JdbcStmt* s, jobject ps, jobject* md);

// The java.sql.Types number the database gives markers 1 to count, from
// one ParameterMetaData: JDBC_NULL for each it gives no type (all of them
// when it gives none; its failure is cleared, not posted).
void getParameterTypes(JdbcStmt* s, jobject ps, uint16_t count, std::vector<int32_t>* types);
// Whether the database names parameter `index`'s type `name` (in any case);
// false when it names none (its failure is cleared, not posted).
bool parameterTypeNamed(JdbcStmt* s, jobject ps, int32_t index, const char* name);

uint32_t execute(JdbcStmt* s, jobject ps, uint8_t* isResultSet);
uint32_t getResultSet(JdbcStmt* s, jobject ps, jobject* rs);
uint32_t setNull(JdbcStmt* s, jobject ps, int32_t index, int32_t sqlType);
// While s->paramRecord is set (jblock::SetParams), setNull, setBoolean to
// setDouble and setString add to the record instead of calling Java; every
// other setter first applies the record. applyRecorded runs the recorded
// setters in order as they would have run, ends the recording and gives the
// first failure.
uint32_t applyRecorded(JdbcStmt* s, jobject ps);
uint32_t setObject(JdbcStmt* s, jobject ps, int32_t index, jobject value, int32_t sqlType);
// Counted texts and bytes (length < 0: NUL-terminated text).
uint32_t setBigDecimal(JdbcStmt* s, jobject ps, int32_t index, const char* text,
                       int64_t length = -1);
uint32_t setString(JdbcStmt* s, jobject ps, int32_t index, const char* text, int64_t length = -1);
// A text for a parameter of a type the database names and JDBC does not
// (java.sql.Types.OTHER: PostgreSQL's uuid), for the database to convert.
uint32_t setOther(JdbcStmt* s, jobject ps, int32_t index, const char* text, int64_t length = -1);
// Through setAsciiStream while the connection's stream flag is set (a
// failure clears the flag and falls back), else setString.
uint32_t setCharacterStream(JdbcStmt* s, jobject ps, int32_t index, const char* text,
                            int64_t length = -1);
uint32_t setBytes(JdbcStmt* s, jobject ps, int32_t index, const void* bytes, size_t length);
// Through setBinaryStream while the connection's stream flag is set (a
// failure clears the flag and falls back), else setBytes.
uint32_t setBinaryStream(JdbcStmt* s, jobject ps, int32_t index, const void* bytes, size_t length);
uint32_t setBoolean(JdbcStmt* s, jobject ps, int32_t index, bool value);
uint32_t setByte(JdbcStmt* s, jobject ps, int32_t index, int8_t value);
uint32_t setShort(JdbcStmt* s, jobject ps, int32_t index, int16_t value);
uint32_t setInt(JdbcStmt* s, jobject ps, int32_t index, int32_t value);
uint32_t setLong(JdbcStmt* s, jobject ps, int32_t index, int64_t value);
uint32_t setFloat(JdbcStmt* s, jobject ps, int32_t index, float value);
uint32_t setDouble(JdbcStmt* s, jobject ps, int32_t index, double value);
// Each takes the fields it needs from the timestamp record.
uint32_t setDate(JdbcStmt* s, jobject ps, int32_t index, const JC_Timestamp* value);
uint32_t setTime(JdbcStmt* s, jobject ps, int32_t index, const JC_Timestamp* value);
uint32_t setTimestamp(JdbcStmt* s, jobject ps, int32_t index, const JC_Timestamp* value);
// The value as its own fields, of JDBC type 91, 92 or 93: a java.time value
// where the JDBC driver takes one, else its SQL text; the setters above only
// where neither is taken.
uint32_t setDateTimeFields(JdbcStmt* s, jobject ps, int32_t index, const JC_Timestamp* value,
                           int32_t jdbcType);

}  // namespace PreparedStatement

namespace CallableStatement {

uint32_t registerOutParameter(JdbcStmt* s, jobject cs, int32_t index, int32_t sqlType);
// Output parameter index as the database writes it (getString), out of line
// (UTF-16 when wide). *refused, with nothing posted and 0 answered, where
// the JDBC driver gives no text for the parameter's registered type (as
// PostgreSQL's for a date or time); the statement then asks no more.
uint32_t getOwnTextLong(JdbcStmt* s, jobject cs, int32_t index, bool wide, JC_LongValue* value,
                        bool* refused);

// The value getters (getBoolean ... getTimestamp, wasNull) are the shared
// ones, by parameter index.
using namespace ValueGetters;

}  // namespace CallableStatement

#endif
