// The data source's own form of an SQL text (agent slot 17): the JDBC
// driver's Connection.nativeSQL.
#ifndef QMR_DRV_JDBC_J_NATIVESQL_H
#define QMR_DRV_JDBC_J_NATIVESQL_H

#include <cstdint>

extern "C" {
// Copies the translated text into out (size bytes, terminated; a cut never
// splits a UTF-8 sequence); *length (may be null) receives the full length
// of the translation in bytes. 0; ERR_TRUNCATED when the text was cut;
// ERR_INVALID_ARGUMENT for a connection the agent does not hold or a null
// text; ERR_GENERAL when the thread cannot be attached; ERR_NO_MEMORY; or the
// code of the failed Java call (its
// diagnostic posted on the connection).
uint32_t DRV_NativeSql(uint32_t conn, const char* sql, char* out, uint32_t size, uint32_t* length);
}

#endif
