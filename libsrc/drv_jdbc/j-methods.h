// Classes and method IDs, looked up once per VM instead of on every call.
//
// Named methods (JM_Method) are resolved on the JDBC interface or Java class
// that declares them, the first time one is called, and kept with a global
// reference to that class: a call on any object implementing the interface
// then needs no lookup at all. Methods called by name and signature on an
// object's own class (JC_Call*Method of j-jni.h) are kept per class, keyed by
// class, name and signature.
//
// The cache's lock guards the per-class table only; no other lock is taken
// while it is held, and it may be taken under any of the agent's locks.
#ifndef QMR_DRV_JDBC_J_METHODS_H
#define QMR_DRV_JDBC_J_METHODS_H

#include <jni.h>

#include <cstdint>

enum JM_Method : uint16_t {
  JM_ConnGetAutoCommit,
  JM_ConnSetAutoCommit,
  JM_ConnCommit,
  JM_ConnRollback,
  JM_ConnSetSavepoint,
  JM_ConnRollbackTo,
  JM_ConnReleaseSavepoint,
  JM_DbmdSupportsBatchUpdates,
  JM_StmtExecuteBatch,
  JM_StmtClearBatch,
  JM_PstmtAddBatch,
  JM_PstmtGetMetaData,
  JM_RsmdGetColumnCount,
  // What a prepared statement runs on every execute: its setters, the
  // execute and its result, the result's close.
  JM_PstmtSetNull,
  JM_PstmtSetBoolean,
  JM_PstmtSetByte,
  JM_PstmtSetShort,
  JM_PstmtSetInt,
  JM_PstmtSetLong,
  JM_PstmtSetFloat,
  JM_PstmtSetDouble,
  JM_PstmtSetString,
  JM_PstmtExecute,
  JM_StmtGetResultSet,
  JM_StmtGetUpdateCount,
  JM_RsClose,
  // Distributed transactions: the XA data source, its connections and
  // resources, and the transaction identifiers of any JDBC driver.
  JM_XadsGetXAConnection,
  JM_XadsGetXAConnectionAs,
  JM_PooledGetConnection,
  JM_PooledClose,
  JM_XaConnGetXAResource,
  JM_XaResStart,
  JM_XaResEnd,
  JM_XaResPrepare,
  JM_XaResCommit,
  JM_XaResRollback,
  JM_XaResForget,
  JM_XaResRecover,
  JM_XidGetFormatId,
  JM_XidGetGlobalTransactionId,
  JM_XidGetBranchQualifier,
  JM_METHOD_COUNT
};

// A method ID of a named method, resolved once; null with the exception
// pending when the class or method cannot be found.
jmethodID JM_Id(JNIEnv* env, JM_Method m);
// The method's name, for traces.
const char* JM_Name(JM_Method m);

// Calls of named methods under the failure rule of j-jni.h: 0, or ERR_GENERAL
// with the Java exception left pending.
uint32_t JM_CallObject(JNIEnv* env, jobject obj, JM_Method m, jobject* result, ...);
uint32_t JM_CallBoolean(JNIEnv* env, jobject obj, JM_Method m, uint8_t* result, ...);
uint32_t JM_CallInt(JNIEnv* env, jobject obj, JM_Method m, int32_t* result, ...);
// (m is a JM_Method; an enum cannot be the last named argument of a variadic
// call.)
uint32_t JM_CallVoid(JNIEnv* env, jobject obj, unsigned m, ...);

// Named instance fields, resolved once like the named methods.
enum JM_Field : uint16_t { JM_XaExceptionErrorCode, JM_FIELD_COUNT };
// The field ID and the class that declares it (a global reference kept for
// the life of the VM); null with the exception pending when either cannot
// be found.
jfieldID JM_FieldId(JNIEnv* env, JM_Field f, jclass* declaring = nullptr);

// The method ID of name/sig on cls, or (cls null) on obj's own class, from
// the per-class table; looked up and kept the first time. Null with the
// exception pending when there is no such method.
jmethodID JM_MethodOf(JNIEnv* env, jobject obj, jclass cls, const char* name, const char* sig);

// A global reference to a class found by its JNI name ("java/lang/String"),
// kept for the life of the VM. Only for classes of the platform (never of a
// JDBC driver's class loader). Null with the exception pending.
jclass JM_SystemClass(JNIEnv* env, const char* name);

// How often the agent asked the VM to look up a method ID or a class
// (GetMethodID, GetObjectClass, FindClass) since the start of the process,
// and how many method calls went through the cache. For tests and the
// performance notes.
struct JM_Counts {
  uint64_t methodLookups;
  uint64_t classLookups;
  uint64_t calls;
};
JM_Counts JM_GetCounts();
// Counts a lookup made outside this module (the few left where they are).
void JM_CountMethodLookup();
void JM_CountClassLookup();

#endif
