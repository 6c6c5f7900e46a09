// The row-version table of dynamic cursors. Every row a dynamic cursor
// fetches leaves a version in the user's table QMRRVC:
//
//   HCONN, HCURS  8 upper-case hexadecimal digits naming the cursor
//   KEYVER        32 hexadecimal digits, the digest of the row's key values
//   ROWVER        32 hexadecimal digits, the digest of all its values
//
// After each fetch the versions are compared with the stored ones, so that a
// row another user changed shows as updated. The table is read and written
// over a secondary agent connection per cursor, opened like the cursor's own
// connection and committing on its own, outside the application's
// transaction. The database user owns the table; the library never creates
// it.
//
// The HCONN and HCURS values are the cursor's agent handles mixed with a
// value drawn per process: handle numbers repeat in every process, and two
// applications must never compare or delete each other's rows.
//
// Results are internal codes (0, or a row of the agent's error table);
// failures of the table's statements leave the database's diagnostics on the
// cursor's agent statement.
#ifndef QMR_SCRS_RVC_H
#define QMR_SCRS_RVC_H

#include <cstdint>

#include "util/colset.h"

struct DRV_Agent;
struct RVC_LIST;

constexpr uint32_t RVC_DIGEST_SIZE = 16;
// 32 hexadecimal digits and a NUL.
constexpr uint32_t RVC_DIGEST_TEXT = 2 * RVC_DIGEST_SIZE + 1;

// A cursor's tie to the table, inside its cursor state. All zero while the
// cursor is not registered.
struct RVC_LINK {
  RVC_LIST* list;          // the environment's list holding the secondary connection
  uint32_t conn;           // the cursor's agent connection handle
  uint32_t stmt;           // the cursor's agent statement handle (errors go there)
  uint32_t hconn;          // the HCONN value of its rows
  uint32_t hcurs;          // the HCURS value of its rows
  uint32_t secondaryStmt;  // every statement on the table runs on it
  uint32_t needsBinding;   // hand parameter types over before each execute
};

// Opens the cursor's secondary connection and statement (through the
// agent's own table in `agent`, never the library's hooks) and fills the
// link. A link still registered is released first. 0; ERR_GENERAL when the
// cursor's connection is not one the library opened; ERR_NO_MEMORY; or the agent's code of the
// failing connect or allocation, with nothing linked.
int RVC_Register(RVC_LINK* link, const DRV_Agent* agent, uint32_t conn, uint32_t stmt,
                 uint32_t needsBinding);

// Frees the link's secondary statement and connection and clears the link.
// Always 0; nothing for a link that is not registered.
int RVC_Unregister(RVC_LINK* link);

// Deletes the cursor's rows from the table. On failure the database's
// diagnostics move to the cursor's statement, followed by 151 ("Check that
// the table QMRRVC exists"), and the failing code is returned.
int RVC_DeleteCursor(RVC_LINK* link);

// Compares the versions of the fetched rowset with the table's: row i of
// `keys` holds the key values of row i of `rows`. statuses[i] becomes
// SQL_ROW_SUCCESS for an unchanged row and for a row seen the first time
// (its versions then recorded), SQL_ROW_UPDATED for a changed row (its
// stored version rewritten), SQL_ROW_ERROR for a row whose version could not
// be stored. An empty rowset sends nothing. 15 when one key has two version
// rows or `keys` holds fewer rows; on any failure the diagnostics are moved
// to the cursor's statement.
int RVC_CheckVersion(RVC_LINK* link, const COLSET* keys, const COLSET* rows, uint16_t* statuses);

// Stores the row versions of the rows whose status is SQL_ROW_UPDATED
// (keyVersions and rowVersions hold count digests of 16 bytes each). A row
// whose update fails or finds no stored row becomes SQL_ROW_ERROR and the
// others go on; the result is that of the last row stored.
int RVC_UpdateVersion(RVC_LINK* link, const unsigned char* keyVersions,
                      const unsigned char* rowVersions, uint16_t* statuses, uint32_t count);

// The version of one row (0-based) of a set: MD5 over its values in column
// order, each framed by whether it is NULL and its length, so that values
// moving between columns, or NULL turning into empty, change the version.
// Long columns (types 15, 16, 26) take no part. 0, ERR_GENERAL for a row
// outside the set, ERR_NO_MEMORY.
int RVC_RowVersion(const COLSET* set, uint32_t row, unsigned char out[RVC_DIGEST_SIZE]);

// Upper-case hexadecimal text of bytes, high nibble first, NUL-terminated:
// all of them when size is at least 2 * count + 1, else as many whole bytes
// as fit with the NUL. *length (when given) receives the digits written.
void RVC_HexEncode(const unsigned char* bytes, uint32_t count, char* text, uint32_t size,
                   uint32_t* length);

// Appends the diagnostics pending on the secondary statement, then those on
// the secondary connection, to the cursor's statement, in their order.
void RVC_MoveErrors(const RVC_LINK* link);

#endif
