// The classes the agent loads into the VM: the support classes it carries
// as bytes, and the class loader over the JDBC driver's archives.
#ifndef QMR_DRV_JDBC_J_CLASSLOAD_H
#define QMR_DRV_JDBC_J_CLASSLOAD_H

#include <jni.h>

#include <cstdint>
#include <string>

// The archives of the JDBC driver, ':'-separated.
extern const char DefaultJarList[];

// The directory of the JDBC driver's archives that DRV_Init's first text
// names, ending in '/'; empty (the archive names are then relative to the
// current directory) when texts or that text is null or empty.
std::string JC_ArchiveDir(const char* const* texts);

// The archive path list for the class loader: every element of DefaultJarList
// with the archive directory in front, joined with ';'.
std::string JC_ArchivePaths(const std::string& dir);

// The XAXid class (defined from the carried bytes with the system class loader
// when the VM does not have it). 0 with a local reference, or ERR_GENERAL.
uint32_t JC_GetXAXidClass(JNIEnv* env, jclass* out);
// The QMRRowBlock class (the block reader of result rows), the same way,
// with the driver shortcuts it names (QMRShortcut and its implementations).
uint32_t JC_GetRowBlockClass(JNIEnv* env, jclass* out);
// The QMRDescribe class (a result's column metadata in one call), the same way.
uint32_t JC_GetDescribeClass(JNIEnv* env, jclass* out);
// A new QMRClassLoader over the non-empty ';'-separated archive paths, as a
// local reference, or null.
jobject JC_CreateClassLoader(JNIEnv* env, const char* paths);

#endif
