// Wrappers of java.sql.DatabaseMetaData.
#include "drv_jdbc/j-wrap-meta.h"

#include "drv_jdbc/j-wrap-impl.h"

using namespace wrapimpl;

namespace DatabaseMetaData {

namespace {

// Catalog, schema and a name (and a column name) to a ResultSet.
constexpr const char* kThreeNamesSig =
    "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)Ljava/sql/ResultSet;";
constexpr const char* kFourNamesSig =
    "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)"
    "Ljava/sql/ResultSet;";

// A catalog method answering a ResultSet, its arguments passed as given.
template <class... A>
uint32_t Rs(JdbcStmt* s, jobject md, const char* name, const char* sig, jobject* rs, A... args) {
  if (rs != nullptr) *rs = nullptr;
  return Done(s, JC_CallObjectMethod(Env(s), md, nullptr, name, sig, rs, args...));
}

}  // namespace

uint32_t getStringByName(JdbcConn* c, jobject md, const char* method, char* buf, uint32_t size) {
  jobject str = nullptr;
  uint32_t rc = JC_CallObjectMethod(Env(c), md, nullptr, method, "()Ljava/lang/String;", &str);
  if (rc != 0) {
    if (buf != nullptr && size > 0) buf[0] = '\0';
    return Done(c, rc);
  }
  return Done(c, TextInto(Env(c), static_cast<jstring>(str), Utf(c), buf, size, nullptr));
}

uint32_t getBooleanByName(JdbcConn* c, jobject md, const char* method, uint8_t* value) {
  return Done(c, JC_CallBooleanMethod(Env(c), md, nullptr, method, "()Z", value));
}

uint32_t getIntByName(JdbcConn* c, jobject md, const char* method, int32_t* value) {
  return Done(c, JC_CallIntMethod(Env(c), md, nullptr, method, "()I", value));
}

uint32_t supportsConvert(JdbcConn* c, jobject md, int32_t fromType, int32_t toType,
                         uint8_t* value) {
  return Done(c, JC_CallBooleanMethod(Env(c), md, nullptr, "supportsConvert", "(II)Z", value,
                                      static_cast<jint>(fromType), static_cast<jint>(toType)));
}

uint32_t supportsTransactionIsolationLevel(JdbcConn* c, jobject md, int32_t level, uint8_t* value) {
  return Done(c, JC_CallBooleanMethod(Env(c), md, nullptr, "supportsTransactionIsolationLevel",
                                      "(I)Z", value, static_cast<jint>(level)));
}

uint32_t getTables(JdbcStmt* s, jobject md, jstring catalog, jstring schema, jstring table,
                   jobjectArray types, jobject* rs) {
  return Rs(s, md, "getTables",
            "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;[Ljava/lang/String;)"
            "Ljava/sql/ResultSet;",
            rs, catalog, schema, table, types);
}

uint32_t getCatalogs(JdbcStmt* s, jobject md, jobject* rs) {
  return Rs(s, md, "getCatalogs", "()Ljava/sql/ResultSet;", rs);
}

uint32_t getSchemas(JdbcStmt* s, jobject md, jobject* rs) {
  return Rs(s, md, "getSchemas", "()Ljava/sql/ResultSet;", rs);
}

uint32_t getTableTypes(JdbcStmt* s, jobject md, jobject* rs) {
  return Rs(s, md, "getTableTypes", "()Ljava/sql/ResultSet;", rs);
}

uint32_t getColumns(JdbcStmt* s, jobject md, jstring catalog, jstring schema, jstring table,
                    jstring column, jobject* rs) {
  return Rs(s, md, "getColumns", kFourNamesSig, rs, catalog, schema, table, column);
}

uint32_t getProcedureColumns(JdbcStmt* s, jobject md, jstring catalog, jstring schema,
                             jstring procedure, jstring column, jobject* rs) {
  return Rs(s, md, "getProcedureColumns", kFourNamesSig, rs, catalog, schema, procedure, column);
}

uint32_t getProcedures(JdbcStmt* s, jobject md, jstring catalog, jstring schema, jstring procedure,
                       jobject* rs) {
  return Rs(s, md, "getProcedures", kThreeNamesSig, rs, catalog, schema, procedure);
}

uint32_t getFunctions(JdbcStmt* s, jobject md, jstring catalog, jstring schema, jstring function,
                      jobject* rs) {
  return Rs(s, md, "getFunctions", kThreeNamesSig, rs, catalog, schema, function);
}

uint32_t getTablePrivileges(JdbcStmt* s, jobject md, jstring catalog, jstring schema, jstring table,
                            jobject* rs) {
  return Rs(s, md, "getTablePrivileges", kThreeNamesSig, rs, catalog, schema, table);
}

uint32_t getColumnPrivileges(JdbcStmt* s, jobject md, jstring catalog, jstring schema,
                             jstring table, jstring column, jobject* rs) {
  return Rs(s, md, "getColumnPrivileges", kFourNamesSig, rs, catalog, schema, table, column);
}

uint32_t getIndexInfo(JdbcStmt* s, jobject md, jstring catalog, jstring schema, jstring table,
                      bool unique, bool approximate, jobject* rs) {
  return Rs(s, md, "getIndexInfo",
            "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;ZZ)Ljava/sql/ResultSet;", rs,
            catalog, schema, table, static_cast<jboolean>(unique ? JNI_TRUE : JNI_FALSE),
            static_cast<jboolean>(approximate ? JNI_TRUE : JNI_FALSE));
}

uint32_t getPrimaryKeys(JdbcStmt* s, jobject md, jstring catalog, jstring schema, jstring table,
                        jobject* rs) {
  return Rs(s, md, "getPrimaryKeys", kThreeNamesSig, rs, catalog, schema, table);
}

uint32_t getVersionColumns(JdbcStmt* s, jobject md, jstring catalog, jstring schema, jstring table,
                           jobject* rs) {
  return Rs(s, md, "getVersionColumns", kThreeNamesSig, rs, catalog, schema, table);
}

uint32_t getBestRowIdentifier(JdbcStmt* s, jobject md, jstring catalog, jstring schema,
                              jstring table, int32_t scope, bool nullable, jobject* rs) {
  return Rs(s, md, "getBestRowIdentifier",
            "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;IZ)Ljava/sql/ResultSet;", rs,
            catalog, schema, table, static_cast<jint>(scope),
            static_cast<jboolean>(nullable ? JNI_TRUE : JNI_FALSE));
}

uint32_t getTypeInfo(JdbcStmt* s, jobject md, jobject* rs) {
  return Rs(s, md, "getTypeInfo", "()Ljava/sql/ResultSet;", rs);
}

uint32_t getCrossReference(JdbcStmt* s, jobject md, jstring pkCatalog, jstring pkSchema,
                           jstring pkTable, jstring fkCatalog, jstring fkSchema, jstring fkTable,
                           jobject* rs) {
  return Rs(s, md, "getCrossReference",
            "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;"
            "Ljava/lang/String;Ljava/lang/String;)Ljava/sql/ResultSet;",
            rs, pkCatalog, pkSchema, pkTable, fkCatalog, fkSchema, fkTable);
}

uint32_t getImportedKeys(JdbcStmt* s, jobject md, jstring catalog, jstring schema, jstring table,
                         jobject* rs) {
  return Rs(s, md, "getImportedKeys", kThreeNamesSig, rs, catalog, schema, table);
}

uint32_t getExportedKeys(JdbcStmt* s, jobject md, jstring catalog, jstring schema, jstring table,
                         jobject* rs) {
  return Rs(s, md, "getExportedKeys", kThreeNamesSig, rs, catalog, schema, table);
}

}  // namespace DatabaseMetaData
