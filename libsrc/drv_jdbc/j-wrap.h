// The JDBC method wrappers: one function per JDBC interface method the agent
// uses, grouped by interface (Connection::commit, ResultSet::next ...). A
// wrapper takes its owner (the agent connection or statement whose JNI
// environment, text mode and error list it uses), the Java object, the method's
// arguments in Java order (indexes are 1-based) and the place for the result;
// it returns 0, or the code CheckException gave for the Java exception it
// posted on the owner's error list, or ERR_GENERAL/ERR_NO_MEMORY for the
// failures named at each wrapper. Object results are local references the
// caller owns unless a wrapper says it keeps a global one.
//
// These are the only places where JDBC method names and JNI signatures
// appear.
#ifndef QMR_DRV_JDBC_J_WRAP_H
#define QMR_DRV_JDBC_J_WRAP_H

#include "drv_jdbc/j-wrap-conn.h"
#include "drv_jdbc/j-wrap-meta.h"
#include "drv_jdbc/j-wrap-rs.h"
#include "drv_jdbc/j-wrap-stmt.h"

#endif
