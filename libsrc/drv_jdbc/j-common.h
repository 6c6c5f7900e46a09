// The agent's Java VM: joining the VM the process already runs or creating
// one (libjvm.so is found and loaded at run time, never linked and never
// unloaded), the two support classes the agent carries, the class loader
// over the JDBC driver's archives, and attaching the calling threads.
#ifndef QMR_DRV_JDBC_J_COMMON_H
#define QMR_DRV_JDBC_J_COMMON_H

#include <jni.h>

#include <cstdint>
#include <string>
#include <vector>

#include "drv_jdbc/j-records.h"
#include "platform/lock.h"
#include "util/hash.h"

// JNI version the agent asks for everywhere (1.4).
constexpr jint AGT_JNI_VERSION = 0x10004;

// Held by DRV_Init and DRV_Term (and by connect and disconnect around their
// changes to shared lists). Created once, statically.
extern plat::RecursiveMutex gAgentMutex;
extern plat::Mutex gEnvListLock;

extern JavaVM* gJavaVM;          // set once, never cleared
extern JNIEnv* gJNIEnv;          // of the thread that first initialised the agent
// DRV_Init calls not yet matched by DRV_Term.
extern uint32_t gJvmRefCount GUARDED_BY(gAgentMutex);
extern uint32_t gAgentEnvHandle GUARDED_BY(gAgentMutex);  // the one JdbcEnv's handle
// JNI environments of the threads the agent attached (value 1) or of the
// thread that created the VM (value 2); 8-byte keys.
extern HASH_TABLE* gEnvList GUARDED_BY(gEnvListLock);

// The directory of the JDBC driver's archives that DRV_Init's first text
// names, ending in '/'; empty (the archive names are then relative to the
// current directory) when texts or that text is null or empty.
std::string JC_ArchiveDir(const char* const* texts);

// The archives of the JDBC driver, ':'-separated.
extern const char DefaultJarList[];

// The calling thread's JNI environment, attaching the thread when it is not
// attached yet; null (after logging) when it cannot be attached or there is
// no VM. The argument is not read.
JNIEnv* attachJVM(void* unused = nullptr);
// Detaches the calling thread when the agent attached it (never the thread
// that initialised the agent).
void detachJVM();

// Loads libjvm.so (unless the process has it already) and creates the VM
// with the class-path option and the options of QMR_JVM_OPTS. The JNI result
// (0, a negative JNI error, -4 when the options cannot be copied, -1 when no
// libjvm.so could be loaded; JC_LastVmError() then tells why).
int createJVM();

// Splits an option text the way QMR_JVM_OPTS is read: a new option begins at
// each '-' directly after white space; at most 100 options.
std::vector<std::string> JC_SplitJvmOptions(const char* text);

// Text of a JNI error code: "unknown error", "thread detached from the VM" ...
const char* JC_JniErrorText(jint code);

// The cause of the last failure to find or create the VM (empty if none).
std::string JC_LastVmError();

// The XAXid class (defined from the carried bytes with the system class loader
// when the VM does not have it). 0 with a local reference, or ERR_GENERAL.
uint32_t JC_GetXAXidClass(JNIEnv* env, jclass* out);
// The QMRRowBlock class (the block reader of result rows), the same way.
uint32_t JC_GetRowBlockClass(JNIEnv* env, jclass* out);
// A new QMRClassLoader over the non-empty ';'-separated archive paths, as a
// local reference, or null.
jobject JC_CreateClassLoader(JNIEnv* env, const char* paths);

// The archive path list for the class loader: every element of DefaultJarList
// with the archive directory in front, joined with ';'.
std::string JC_ArchivePaths(const std::string& dir);

// Where libjvm.so is looked for when the process runs no VM. Tests turn the
// fallbacks (the Debian default JDK, the java on PATH) off, so that only
// $JAVA_HOME is tried.
void JC_SetJvmFallbacks(bool on);

extern "C" {
// Agent slots 3 and 4. texts is null or two texts: the archive directory
// (read by the first DRV_Init only) and one not read. A failed DRV_Init
// leaves *env naming an environment
// record whose error list holds the cause (read it with DRV_GetError, then
// give it back with DRV_Term), or 0 when not even that record could be made.
uint32_t DRV_Init(const char* const* texts, uint32_t* env);
uint32_t DRV_Term(uint32_t env);
}

#endif
