// The agent's Java VM: joining the VM the process already runs or creating
// one (libjvm.so is found and loaded at run time, never linked and never
// unloaded) with its options, and attaching the calling threads.
#ifndef QMR_DRV_JDBC_J_VM_H
#define QMR_DRV_JDBC_J_VM_H

#include <jni.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/lock.h"
#include "util/hash.h"

// JNI version the agent asks for everywhere (1.4).
constexpr jint AGT_JNI_VERSION = 0x10004;

extern plat::Mutex gEnvListLock;

extern JavaVM* gJavaVM;  // set once, never cleared
extern JNIEnv* gJNIEnv;  // of the thread that first initialised the agent
// JNI environments of the threads the agent attached (value 1) or of the
// thread that created the VM (value 2); 8-byte keys.
extern HASH_TABLE* gEnvList GUARDED_BY(gEnvListLock);

// The calling thread's JNI environment, attaching the thread when it is not
// attached yet; null (after logging) when it cannot be attached or there is
// no VM. The argument is not read.
JNIEnv* attachJVM(void* unused = nullptr);
// Detaches the calling thread when the agent attached it (never the thread
// that initialised the agent).
void detachJVM();
// Whether the agent attached env's thread (rather than finding it attached).
bool JC_AttachedByAgent(JNIEnv* env);

// Joins the VM the process runs, else creates one (createJVM); nothing when
// the agent has a VM already. 0, or ERR_GENERAL with *cause.
uint32_t JC_JoinOrCreateVm(std::string* cause);

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

// The file of the libjvm.so the agent uses ("" before it found one).
std::string JC_JvmLibraryPath();

// Where libjvm.so is looked for when the process runs no VM. Tests turn the
// fallbacks (the Debian default JDK, the java on PATH) off, so that only
// $JAVA_HOME is tried.
void JC_SetJvmFallbacks(bool on);

#endif
