// Statement kinds and the scan of a statement's text: the kind (SELECT, data
// change, other), the '?' parameter markers, and the ODBC escape clauses.
// The JDBC driver gets the text with its escape clauses as they are and
// translates them itself; the scan only blanks out {fn null()} forms, checks
// that every escape clause is closed and logs the scalar functions it meets.
//
// Lexical rules of the scan: literals, quoted names and comments, as the
// source reads them (util/sqllex.h: on PostgreSQL also $$...$$ and E'...'),
// are never code. Escape clauses are {...} or the comment form --*( ... --*),
// and nest. Markers count everywhere outside literals and comments, also
// inside escape clauses ({call p(?, ?)} has two): every one of them is a
// parameter of the JDBC statement.
//
// No Java here: the scan works on a statement record's text fields only.
#ifndef QMR_DRV_JDBC_J_SQL_H
#define QMR_DRV_JDBC_J_SQL_H

#include <cstdint>
#include <string>
#include <vector>

#include "drv_jdbc/j-records.h"
#include "util/errcodes.h"
#include "util/sqllex.h"

// Statement kinds (JdbcStmt::kind).
enum : uint16_t {
  STMT_KIND_SELECT = 1,  // a query: it reads and gives rows (sqlKindOf)
  STMT_KIND_DML = 2,     // INSERT, UPDATE or DELETE, or a WITH that changes data
  STMT_KIND_OTHER = 3,
};

// Keeps a copy of text (leading white space skipped, {fn null()} forms
// blanked) as the statement's original text, scans it and sets the kind,
// the marker count and the text flags (procedure call, searched change, and
// no count for a single statement of kind other that is no MERGE and no
// procedure call: a definition or setting). 0;
// ERR_SYNTAX_OR_ACCESS when an escape clause is still open at the end (the
// copy is kept all the same); ERR_INVALID_ARGUMENT for a null text or
// statement. The connection (may be null) says which lexical forms the
// source knows.
uint32_t sqlStmtKind(const JdbcConn* conn, JdbcStmt* info, const char* text);

// One scan of a text, changing it in place: each {fn null()} form (also
// {fn()} and {fn (null)}, any case, with white space and parentheses up to
// its '}') is overwritten with "null" and blanks, so the text keeps its
// length. With info, its text flags and kind are cleared first and the
// marker count and flag 0x2 are set from the scan. forms: the source's
// lexical forms (SQLLEX_*). 0 or ERR_SYNTAX_OR_ACCESS.
uint32_t translateEscapes(char* text, JdbcStmt* info, uint32_t forms = SQLLEX_STANDARD);

// What the scan does with the body of a closed escape clause (without its
// braces or comment markers): a scalar-function escape other than CONVERT is
// logged as unknown at level 4. commentForm: the body of a --*( ... --*)
// clause, which may start with a "vendor(...), product(...)," prefix.
void translateEscapeBody(const std::string& body, bool commentForm);

// Whether a text is a searched UPDATE or DELETE: its statement (past the
// common table expressions of a WITH) is one, and it changes no cursor's
// current row (WHERE CURRENT OF), and no other statement follows it. forms
// as for sqlKindOf.
bool sqlIsSearchedChange(const char* text, uint32_t forms = SQLLEX_STANDARD);

// Whether a text calls a procedure: {call ...}, {? = call ...}, CALL ...
// or EXECUTE PROCEDURE ... (white space and comments before the keywords
// skipped, any case). Such texts are prepared with prepareCall.
bool sqlIsProcedureCall(const char* text);

// The name a procedure call names, its parts in order (catalog, schema,
// procedure; a quoted part as written between its quotes). False when the
// text calls none, the name cannot be read, or the text holds more than a
// call with plain arguments (a parenthesis inside them, or anything after
// the call but a '}' and a ';').
struct CallNamePart {
  std::string text;
  bool quoted = false;
};
bool sqlCallTarget(const char* text, std::vector<CallNamePart>* parts);

// The kind of a text (white space, comments and, for a query, opening
// parentheses before the keyword are skipped; a keyword ends at any
// character that cannot continue a name). Queries are the statements that
// read and give rows: SELECT, VALUES, TABLE, SHOW, an EXPLAIN of no data
// change, and a WITH whose main statement is one of these and that changes
// no data; a WITH that changes data is a data change. A text of several
// statements (separated by ';') is a query when each is one, a data change
// when each is a query or a data change, else other. forms: the source's
// lexical forms (SQLLEX_*), for the literals the scan reads past.
uint16_t sqlKindOf(const char* text, uint32_t forms = SQLLEX_STANDARD);

#endif
