// The driver's own ODBC numbers: statement options, column attributes and an
// environment attribute beyond those the ODBC headers name. Applications
// pass them by number, so each number is fixed; the names are this
// driver's. Where the driver only stores or forwards an option whose use is
// the application's and the database's, its name is its number.
#ifndef QMR_UTIL_ODBC_OWN_H
#define QMR_UTIL_ODBC_OWN_H

// Statement options (ODBC 2 options, and statement attributes under the same
// numbers). These three are stored by the core beside the agent's copy.
inline constexpr int QMR_STMT_OPTION_1050 = 1050;  // 1 or 2
inline constexpr int QMR_STMT_OPTION_1052 = 1052;
inline constexpr int QMR_STMT_OPTION_1054 = 1054;
// Of the options the agent alone knows, the one whose value is a text.
inline constexpr int QMR_STMT_OPTION_TEXT = 1226;

// Column attributes (SQLColAttribute, SQLColAttributes), both 1 or 0.
// A column the cursor library reads rows again by: one of its keys.
inline constexpr int QMR_DESC_KEY_COLUMN = 1053;
// A select item that is an expression rather than a column.
inline constexpr int QMR_DESC_EXPRESSION = 1055;

// Connection options (and attributes under the same numbers). The
// application's name as the database is to see it, a text:
inline constexpr int QMR_CONN_OPTION_APP_NAME = 1051;
// The function the driver calls when it fails over to another server, and
// the value it passes to it.
inline constexpr int QMR_CONN_OPTION_FAILOVER_CALLBACK = 1280;
inline constexpr int QMR_CONN_OPTION_FAILOVER_CONTEXT = 1281;

// Environment attribute answered with 2 and never stored.
inline constexpr int QMR_ENV_ATTR_1056 = 1056;

#endif
