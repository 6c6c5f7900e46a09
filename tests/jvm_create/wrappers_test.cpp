// The JDBC method wrappers on an HSQLDB connection: values in and out by
// type, result-set metadata, database metadata and the Informix-only serial.
#include "hsql.h"

#include <cstring>

namespace {

class Wrappers : public Hsql {
 protected:
  void SetUp() override {
    Hsql::SetUp();
    ASSERT_EQ(0u, Exec("CREATE TABLE V (I INTEGER, B BIGINT, D DOUBLE, N DECIMAL(30,6), "
                       "DT DATE, TM TIME, TS TIMESTAMP, BIN VARBINARY(16), S VARCHAR(20))"));
  }
};

TEST_F(Wrappers, ValuesOfEveryKindGoInAndComeBack) {
  ASSERT_EQ(0u, Connection::prepareStatement(&stmt, conn.connection,
                                             "INSERT INTO V VALUES (?,?,?,?,?,?,?,?,?)"));
  jobject ps = stmt.statement;
  JC_Timestamp when{2024, 2, 29, 13, 45, 59, 123456000};
  const unsigned char raw[] = {0, 1, 0xFE, 0xFF};
  ASSERT_EQ(0u, PreparedStatement::setInt(&stmt, ps, 1, -42));
  ASSERT_EQ(0u, PreparedStatement::setLong(&stmt, ps, 2, 9007199254740993LL));
  ASSERT_EQ(0u, PreparedStatement::setDouble(&stmt, ps, 3, 2.5));
  ASSERT_EQ(0u, PreparedStatement::setBigDecimal(&stmt, ps, 4, "12345678901234567890.125xyz", 24));
  ASSERT_EQ(0u, PreparedStatement::setDate(&stmt, ps, 5, &when));
  ASSERT_EQ(0u, PreparedStatement::setTime(&stmt, ps, 6, &when));
  ASSERT_EQ(0u, PreparedStatement::setTimestamp(&stmt, ps, 7, &when));
  ASSERT_EQ(0u, PreparedStatement::setBinaryStream(&stmt, ps, 8, raw, sizeof raw));
  ASSERT_EQ(0u, PreparedStatement::setNull(&stmt, ps, 9, 12));
  uint8_t isRs = 1;
  ASSERT_EQ(0u, PreparedStatement::execute(&stmt, ps, &isRs));

  jobject rs = Query("SELECT I, B, D, N, DT, TM, TS, BIN, S FROM V");
  int32_t i = 0;
  int64_t b = 0;
  double d = 0;
  ASSERT_EQ(0u, ResultSet::getInt(&stmt, rs, 1, &i));
  EXPECT_EQ(-42, i);
  ASSERT_EQ(0u, ResultSet::getLong(&stmt, rs, 2, &b));
  EXPECT_EQ(9007199254740993LL, b);
  ASSERT_EQ(0u, ResultSet::getDouble(&stmt, rs, 3, &d));
  EXPECT_EQ(2.5, d);
  char text[64];
  uint32_t len = 0;
  ASSERT_EQ(0u, ResultSet::getString_5(&stmt, rs, 4, text, sizeof text, &len));
  EXPECT_STREQ("12345678901234567890.125000", text);
  ASSERT_EQ(0u, ResultSet::getString_5(&stmt, rs, 1, text, sizeof text, &len));
  EXPECT_STREQ("-42", text);  // not a decimal: getString
  JC_Date dt{};
  ASSERT_EQ(0u, ResultSet::getDate(&stmt, rs, 5, &dt));
  EXPECT_EQ(2024, dt.year);
  EXPECT_EQ(2, dt.month);
  EXPECT_EQ(29, dt.day);
  JC_Time tm{};
  ASSERT_EQ(0u, ResultSet::getTime(&stmt, rs, 6, &tm));
  EXPECT_EQ(13, tm.hour);
  EXPECT_EQ(45, tm.minute);
  EXPECT_EQ(59, tm.second);
  JC_Timestamp ts{};
  ASSERT_EQ(0u, ResultSet::getTimestamp(&stmt, rs, 7, &ts));
  EXPECT_EQ(2024, ts.year);
  EXPECT_EQ(13, ts.hour);
  EXPECT_EQ(123456000u, ts.fraction);
  unsigned char bytes[8];
  std::memset(bytes, 0xAA, sizeof bytes);
  ASSERT_EQ(0u, ResultSet::getBytes(&stmt, rs, 8, bytes, sizeof bytes, &len));
  EXPECT_EQ(4u, len);
  EXPECT_EQ(0, std::memcmp(raw, bytes, 4));
  EXPECT_EQ(0, bytes[4]);  // the rest is zero-filled
  EXPECT_EQ(0, bytes[7]);
  ASSERT_EQ(0u, ResultSet::getBytes(&stmt, rs, 8, bytes, 2, &len));
  EXPECT_EQ(2u, len);
  JC_LongValue lv{0, nullptr};
  ASSERT_EQ(0u, ResultSet::getBytesLong(&stmt, rs, 8, &lv));
  EXPECT_EQ(4u, lv.length);
  // The record still owns that buffer: the next getter frees it.
  // NULL: empty text, and wasNull says so; null dates are all zero.
  uint8_t isNull = 0;
  ASSERT_EQ(0u, ResultSet::getString(&stmt, rs, 9, text, sizeof text, &len));
  EXPECT_EQ(0u, len);
  ASSERT_EQ(0u, ResultSet::wasNull(&stmt, rs, &isNull));
  EXPECT_EQ(1, isNull);
  ASSERT_EQ(0u, ResultSet::getStringLong(&stmt, rs, 9, &lv));
  EXPECT_EQ(nullptr, lv.value);
  uint8_t more = 1;
  ASSERT_EQ(0u, ResultSet::next(&stmt, rs, &more));
  EXPECT_EQ(0, more);
  EXPECT_EQ(0u, ResultSet::close(&stmt, rs));
}

// A stream the driver refuses (here: no such parameter) is retried as a
// plain value, and the connection stops streaming from then on.
TEST_F(Wrappers, RefusedStreamFallsBackToPlainValues) {
  ASSERT_EQ(0u, Connection::prepareStatement(&stmt, conn.connection,
                                             "INSERT INTO V (BIN, S) VALUES (?, ?)"));
  jobject ps = stmt.statement;
  const unsigned char raw[] = {7, 0, 9};
  EXPECT_NE(0u, PreparedStatement::setCharacterStream(&stmt, ps, 3, "x"));
  EXPECT_EQ(0u, conn.streamParams);
  EXPECT_NE(nullptr, stmt.errors.head);  // the plain setter's failure
  EXPECT_FALSE(env->ExceptionCheck());
  errClear(&stmt.errors);
  conn.streamParams = 1;
  EXPECT_NE(0u, PreparedStatement::setBinaryStream(&stmt, ps, 3, raw, sizeof raw));
  EXPECT_EQ(0u, conn.streamParams);
  EXPECT_NE(nullptr, stmt.errors.head);
  EXPECT_FALSE(env->ExceptionCheck());
  errClear(&stmt.errors);

  ASSERT_EQ(0u, PreparedStatement::setBinaryStream(&stmt, ps, 1, raw, sizeof raw));
  ASSERT_EQ(0u, PreparedStatement::setCharacterStream(&stmt, ps, 2, "plain"));
  uint8_t isRs = 1;
  ASSERT_EQ(0u, PreparedStatement::execute(&stmt, ps, &isRs));
  jobject rs = Query("SELECT BIN, S FROM V");
  unsigned char bin[8] = {};
  uint32_t len = 0;
  ASSERT_EQ(0u, ResultSet::getBytes(&stmt, rs, 1, bin, sizeof bin, &len));
  EXPECT_EQ(sizeof raw, len);
  EXPECT_EQ(0, std::memcmp(raw, bin, sizeof raw));
  char text[16];
  ASSERT_EQ(0u, ResultSet::getString(&stmt, rs, 2, text, sizeof text, &len));
  EXPECT_STREQ("plain", text);
}

TEST_F(Wrappers, ResultSetMetaDataDescribesTheColumns) {
  jobject rs = Query("SELECT I AS \"Label\", S FROM (VALUES(1)) X(Q) LEFT JOIN V ON 1=1");
  jobject md = nullptr;
  ASSERT_EQ(0u, ResultSet::getMetaData(&stmt, rs, &md));
  int32_t n = 0, type = 0, prec = 0;
  ASSERT_EQ(0u, ResultSetMetaData::getColumnCount(&stmt, md, &n));
  EXPECT_EQ(2, n);
  ASSERT_EQ(0u, ResultSetMetaData::getColumnType(&stmt, md, 2, &type));
  EXPECT_EQ(12, type);
  ASSERT_EQ(0u, ResultSetMetaData::getPrecision(&stmt, md, 2, &prec));
  EXPECT_EQ(20, prec);
  char name[COLDESC_NAME_SIZE];
  ASSERT_EQ(0u, ResultSetMetaData::getColumnLabel(&stmt, md, 1, name));
  EXPECT_STREQ("Label", name);
  char* heap = nullptr;
  ASSERT_EQ(0u, ResultSetMetaData::getColumnName(&stmt, md, 2, &heap));
  EXPECT_STREQ("S", heap);
  std::free(heap);
  // A column beyond the result is the database's error, posted.
  EXPECT_NE(0u, ResultSetMetaData::getColumnType(&stmt, md, 9, &type));
  EXPECT_NE(nullptr, stmt.errors.head);
}

TEST_F(Wrappers, SerialIsZeroForAStatementOfAnotherDriver) {
  ASSERT_EQ(0u, Connection::createStatement(&stmt, conn.connection));
  int32_t serial = -1;
  EXPECT_EQ(0u, Statement::getSerial(&stmt, stmt.statement, &serial));
  EXPECT_EQ(0, serial);
  EXPECT_EQ(nullptr, stmt.errors.head);
  EXPECT_FALSE(env->ExceptionCheck());
}

TEST_F(Wrappers, StatementSettingsAndUpdateCounts) {
  ASSERT_EQ(0u, Connection::createStatement(&stmt, conn.connection));
  ASSERT_EQ(0u, Statement::setQueryTimeout(&stmt, stmt.statement, 7));
  int32_t t = 0;
  ASSERT_EQ(0u, Statement::getQueryTimeout(&stmt, stmt.statement, &t));
  EXPECT_EQ(7, t);
  ASSERT_EQ(0u, Statement::setMaxRows(&stmt, stmt.statement, 1));
  uint8_t isRs = 1;
  ASSERT_EQ(
      0u, Statement::execute(&stmt, stmt.statement, "INSERT INTO V (I) VALUES (1),(2),(3)", &isRs));
  EXPECT_EQ(0, isRs);
  int32_t count = 0;
  ASSERT_EQ(0u, Statement::getUpdateCount(&stmt, stmt.statement, &count));
  EXPECT_EQ(3, count);
  uint8_t more = 1;
  ASSERT_EQ(0u, Statement::getMoreResults(&stmt, stmt.statement, &more));
  EXPECT_EQ(0, more);
}

TEST_F(Wrappers, ConnectionSettings) {
  ASSERT_EQ(0u, Connection::setAutoCommit(&conn, conn.connection, false));
  uint8_t on = 1;
  ASSERT_EQ(0u, Connection::getAutoCommit(&conn, conn.connection, &on));
  EXPECT_EQ(0, on);
  ASSERT_EQ(0u, Exec("INSERT INTO V (I) VALUES (5)"));
  ASSERT_EQ(0u, Connection::rollback(&conn, conn.connection));
  jobject rs = Query("SELECT COUNT(*) FROM V");
  int32_t n = -1;
  ASSERT_EQ(0u, ResultSet::getInt(&stmt, rs, 1, &n));
  EXPECT_EQ(0, n);
  ASSERT_EQ(0u, Connection::setTransactionIsolation(&conn, conn.connection, 8));
  int32_t level = 0;
  ASSERT_EQ(0u, Connection::getTransactionIsolation(&conn, conn.connection, &level));
  EXPECT_NE(0, level);
  ASSERT_EQ(0u, Connection::setCatalog(&conn, conn.connection, "PUBLIC"));
  ASSERT_EQ(0u, Connection::setReadOnly(&conn, conn.connection, true));
  ASSERT_EQ(0u, Connection::isReadOnly(&conn, conn.connection, &on));
  EXPECT_EQ(1, on);
}

TEST_F(Wrappers, DatabaseMetaDataCatalogAndQuestions) {
  jobject md = nullptr;
  ASSERT_EQ(0u, Connection::getMetaData(&conn, conn.connection, &md));
  uint8_t yes = 0;
  ASSERT_EQ(0u, DatabaseMetaData::supportsTransactionIsolationLevel(&conn, md, 8, &yes));
  EXPECT_EQ(1, yes);
  int32_t n = 0;
  ASSERT_EQ(0u, DatabaseMetaData::getIntByName(&conn, md, "getMaxStatements", &n));
  ASSERT_EQ(0u, DatabaseMetaData::getBooleanByName(&conn, md, "supportsGroupBy", &yes));
  EXPECT_EQ(1, yes);
  jobject rs = nullptr;
  jstring table = env->NewStringUTF("V");
  ASSERT_EQ(0u, DatabaseMetaData::getColumns(&stmt, md, nullptr, nullptr, table, nullptr, &rs));
  int rows = 0;
  uint8_t more = 0;
  while (ResultSet::next(&stmt, rs, &more) == 0 && more) ++rows;
  EXPECT_EQ(9, rows);
  jclass strCls = env->FindClass("java/lang/String");
  jobjectArray types = env->NewObjectArray(1, strCls, env->NewStringUTF("TABLE"));
  ASSERT_EQ(0u, DatabaseMetaData::getTables(&stmt, md, nullptr, nullptr, table, types, &rs));
  ASSERT_EQ(0u, ResultSet::next(&stmt, rs, &more));
  EXPECT_EQ(1, more);
  ASSERT_EQ(0u, DatabaseMetaData::getTypeInfo(&stmt, md, &rs));
  ASSERT_EQ(0u, ResultSet::next(&stmt, rs, &more));
  EXPECT_EQ(1, more);
}

}  // namespace
