// Node types of the SQL analyser's parse tree, and the node builders of the
// parser's actions.
#ifndef QMR_SQLAN_SQLNODES_H
#define QMR_SQLAN_SQLNODES_H

#include <cstdint>

#include "sqlan/ptree.h"

// What a node is: the grammar rule that built it. A root's type is the
// statement's kind (SCR_KIND_*, sqlan/sqlanalyse.h). Numbers missing here are
// built by no rule.
enum SqlNodeType : uint32_t {
  SQLN_OTHER_STATEMENT = 0,      // a statement the analyser does not take apart (its root)
  SQLN_AGGREGATE_NAME = 1,       // the name of an aggregate function, as written
  SQLN_QUANTIFIER = 2,           // ANY or ALL before a subquery
  SQLN_ARGUMENT_LIST = 3,        // the arguments of a function call
  SQLN_ASSIGNMENT = 4,           // one "column = value" of an UPDATE's SET list
  SQLN_ASSIGNMENT_LIST = 5,      // an UPDATE's SET list
  SQLN_BETWEEN = 6,              // [NOT] BETWEEN ... AND ...
  SQLN_HEX_LITERAL = 7,          // a hexadecimal number
  SQLN_COLUMN_ALIAS = 9,         // the name a select item is given
  SQLN_COLUMN_NAME = 10,         // a column's own name
  SQLN_COLUMN_REF = 11,          // a column, with its table (and owner) when written
  SQLN_COLUMN_LIST = 12,         // the columns of a GROUP BY or of an INSERT
  SQLN_COMPARISON_OP = 13,       // a comparison operator
  SQLN_COMPARISON = 14,          // expression <op> expression
  SQLN_CORRELATION_NAME = 15,    // the name a table is given in a FROM list
  SQLN_CURSOR_NAME = 16,         // the cursor of WHERE CURRENT OF
  SQLN_DATE_LITERAL = 17,        // the d '...' inside a date escape
  SQLN_POSITIONED_DELETE = 18,   // DELETE ... WHERE CURRENT OF (a root)
  SQLN_SEARCHED_DELETE = 19,     // DELETE ... [WHERE] (a root)
  SQLN_PARAM_MARKER = 20,        // a parameter marker
  SQLN_ESCAPE_CLAUSE = 21,       // the ESCAPE '...' of a LIKE
  SQLN_EXISTS = 22,              // EXISTS subquery
  SQLN_EXPRESSION = 23,          // an expression: terms with + - ||, or a CASE
  SQLN_FACTOR = 24,              // a primary with its sign
  SQLN_FUNCTION_NAME = 25,       // the name of a scalar function call
  SQLN_IN = 26,                  // [NOT] IN a subquery or a value list
  SQLN_INNER = 27,               // the INNER of an inner join
  SQLN_INSERT = 28,              // INSERT INTO ... (a root)
  SQLN_DERIVED_TABLE = 29,       // a joined table or a parenthesised query in a FROM list
  SQLN_JOIN_KIND = 30,           // INNER, or LEFT/RIGHT/FULL [OUTER]
  SQLN_LIKE = 31,                // [NOT] LIKE
  SQLN_LITERAL = 32,             // a string, number or date/time literal
  SQLN_NULL_TEST = 33,           // IS [NOT] NULL
  SQLN_DATE_ESCAPE = 34,         // {d '...'}
  SQLN_DATETIME_ESCAPE = 35,     // a date, time or timestamp escape
  SQLN_ESCAPE_OPEN = 36,         // the opening of an escape clause ("{" or the vendor form)
  SQLN_ESCAPE_CLOSE = 37,        // the closing of an escape clause
  SQLN_OUTER_JOIN_ESCAPE = 38,   // {oj ...}
  SQLN_FUNCTION_ESCAPE = 39,     // {fn ...}
  SQLN_TIME_ESCAPE = 40,         // {t '...'}
  SQLN_TIMESTAMP_ESCAPE = 41,    // {ts '...'}
  SQLN_SET_QUANTIFIER = 42,      // empty, ALL or DISTINCT after SELECT
  SQLN_AS_OPT = 43,              // an optional AS
  SQLN_DIRECTION_OPT = 44,       // empty, ASC or DESC after an ORDER BY item
  SQLN_INSERT_COLUMNS_OPT = 45,  // the optional column list of an INSERT
  SQLN_TABLE_REF = 46,           // a table name with its optional correlation name
  SQLN_GROUP_BY_OPT = 47,        // holder of an optional GROUP BY
  SQLN_HAVING_OPT = 48,          // holder of an optional HAVING
  SQLN_LIKE_ESCAPE_OPT = 49,     // holder of a LIKE's optional ESCAPE
  SQLN_ORDER_BY_OPT = 50,        // holder of an optional ORDER BY
  SQLN_OUTER_OPT = 51,           // an optional OUTER
  SQLN_UNION_OPT = 52,           // holder of an optional UNION
  // what comes before the select list: quantifier, TOP, PERCENT, WITH TIES
  SQLN_SELECT_PREFIX = 53,
  SQLN_WHERE_OPT = 54,  // holder of an optional WHERE
  SQLN_ORDER_BY = 55,   // ORDER BY items
  // what makes a join outer: LEFT, RIGHT, FULL or an old-style join operator
  SQLN_OUTER_JOIN_SIDE = 56,
  SQLN_OWNER_NAME = 57,    // the owner part of a table or column name
  SQLN_LIKE_PATTERN = 58,  // the pattern of a LIKE
  SQLN_PREDICATE = 59,     // one predicate of a condition
  // an operand: column, marker, literal, call, subquery, parenthesised expression
  SQLN_PRIMARY = 60,
  SQLN_CALL = 61,          // a procedure call escape (a root)
  SQLN_JOINED_TABLE = 62,  // table JOIN table ON condition
  // the part before a table's (or owner's) name: a database, with its server when written
  SQLN_QUALIFIER = 63,
  SQLN_REMOTE_PART = 64,            // the database or the server of a database@server qualifier
  SQLN_QUANTIFIED_COMPARISON = 66,  // expression <op> ANY/ALL subquery
  SQLN_FUNCTION_CALL = 67,          // name ( arguments )
  SQLN_CONDITION = 68,              // a search condition
  SQLN_SEARCHED_CASE = 69,          // CASE WHEN condition ... END
  SQLN_SEARCHED_WHEN_LIST = 70,     // the WHEN/ELSE parts of a searched CASE
  SQLN_SEARCHED_WHEN = 71,          // one WHEN or ELSE of a searched CASE
  SQLN_QUERY = 72,                  // SELECT prefix, list and tail
  SQLN_SELECT_LIST = 73,            // the select items, or "*"
  SQLN_SELECT = 74,                 // a query with its ORDER BY (a root)
  SQLN_SELECT_ITEM = 75,            // one select item
  SQLN_AGGREGATE = 76,              // an aggregate call
  SQLN_SIMPLE_CASE = 77,            // CASE expression WHEN value ... END
  SQLN_SIMPLE_WHEN_LIST = 78,       // the WHEN/ELSE parts of a simple CASE
  SQLN_SIMPLE_WHEN = 79,            // one WHEN or ELSE of a simple CASE
  SQLN_ORDER_ITEM = 80,             // one ORDER BY item: a position or a column with its direction
  SQLN_ORDER_ITEM_LIST = 81,        // the items of an ORDER BY
  SQLN_OLD_JOIN = 84,               // column *= column and the like
  SQLN_SUBQUERY = 85,               // a parenthesised SELECT inside a condition or an expression
  // FROM list, WHERE, GROUP BY, HAVING, UNION and ORDER BY of a query
  SQLN_QUERY_TAIL = 86,
  SQLN_TABLE_IDENT = 87,        // the table's own name in a table or column name
  SQLN_TABLE_NAME = 88,         // a table name with its qualifiers
  SQLN_TABLE_ITEM = 89,         // one item of a FROM list
  SQLN_TABLE_LIST = 90,         // a FROM list
  SQLN_TERM = 91,               // factors with * and /
  SQLN_TIME_LITERAL = 92,       // the t '...' inside a time escape
  SQLN_TIMESTAMP_LITERAL = 93,  // the ts '...' inside a timestamp escape
  SQLN_UNION = 94,              // UNION [ALL] query
  // an unsigned integer: a number, a TOP count or an ORDER BY position
  SQLN_INTEGER = 95,
  SQLN_POSITIONED_UPDATE = 96,  // UPDATE ... WHERE CURRENT OF (a root)
  SQLN_SEARCHED_UPDATE = 97,    // UPDATE ... SET ... (a root)
  SQLN_VALUE = 98,              // a marker, literal or USER in a value list or IS NULL test
  SQLN_VALUE_LIST = 99,         // the values of an IN list or of INSERT ... VALUES
  SQLN_INSERT_SOURCE = 100,     // the VALUES list or the query of an INSERT
  SQLN_WHERE = 101,             // WHERE condition
  SQLN_FOR_UPDATE_OPT = 102,    // FOR UPDATE [OF ...] of a SELECT, or empty
};

namespace scrs {

struct ScParse;

// A leaf; null when memory runs out (or when text is null: a token without
// an interned text cannot make a node).
PT_NODE* mkLeaf(ScParse* p, uint32_t type, const char* text);

// An interior node over the children. When any child is null or memory runs
// out, every non-null child is freed and the result is null.
PT_NODE* mkNodeList(ScParse* p, uint32_t type, const char* tmpl, PT_NODE* const* kids, uint32_t n);
template <class... K>
PT_NODE* mkNode(ScParse* p, uint32_t type, const char* tmpl, K... kids) {
  PT_NODE* arr[] = {kids...};
  return mkNodeList(p, type, tmpl, arr, uint32_t(sizeof...(kids)));
}

// Appends item to a list node of the type. Lists are kept flat up to 254
// items per node (the template's argument limit); a full list becomes the
// first child of a new list node. Null (both freed) when memory runs out.
PT_NODE* appendToList(ScParse* p, PT_NODE* list, PT_NODE* item, uint32_t type);

// "col <op> value", or "col <op> NULL" when value is null, the operator
// kept as written.
PT_NODE* mkOpNode(ScParse* p, uint32_t type, const char* op, PT_NODE* col, PT_NODE* value);

// The aggregate call "name (*)": "COUNT (*)" for COUNT in any case, other
// names as written.
PT_NODE* mkCountStar(ScParse* p, const char* name);

}  // namespace scrs

#endif
