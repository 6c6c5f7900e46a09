// The classes the agent loads into the VM: the support classes it carries,
// defined when the VM does not have them, and the archives' class loader.
#include "drv_jdbc/j-classload.h"

#include <string>
#include <vector>

#include "drv_jdbc/j-classbytes.h"
#include "drv_jdbc/j-jni.h"
#include "util/errcodes.h"
#include "util/log.h"

const char DefaultJarList[] = "ifxjdbc.jar:ifxjdbcx.jar:ifxlang.jar:ifxlsupp.jar";

#define AGT_LOG(...) log_message(LOG_LEVEL_ERROR, __FILE__, __LINE__, __VA_ARGS__)

namespace {

// Defines a support class from its bytes with the system class loader, so
// that it sees what the class path offers (javax.transaction.xa is not
// visible to a class without a loader on Java 9 and later).
jclass DefineSupportClass(JNIEnv* env, const char* name, const unsigned char* bytes,
                          unsigned int size) {
  jobject loader = nullptr;
  jclass clsLoader = env->FindClass("java/lang/ClassLoader");
  if (clsLoader != nullptr) {
    jmethodID sys =
        env->GetStaticMethodID(clsLoader, "getSystemClassLoader", "()Ljava/lang/ClassLoader;");
    if (sys != nullptr) loader = env->CallStaticObjectMethod(clsLoader, sys);
    if (env->ExceptionCheck()) {
      env->ExceptionClear();
      loader = nullptr;
    }
    env->DeleteLocalRef(clsLoader);
  }
  env->ExceptionClear();
  jclass cls = env->DefineClass(name, loader, reinterpret_cast<const jbyte*>(bytes),
                                static_cast<jsize>(size));
  JC_DeleteLocal(env, loader);
  if (env->ExceptionCheck()) {
    env->ExceptionClear();
    JC_DeleteLocal(env, cls);
    return nullptr;
  }
  return cls;
}

jclass FindQuiet(JNIEnv* env, const char* name) {
  jclass cls = env->FindClass(name);
  if (cls != nullptr && !env->ExceptionCheck()) return cls;
  env->ExceptionClear();
  JC_DeleteLocal(env, cls);
  return nullptr;
}

jclass FindOrDefine(JNIEnv* env, const char* name, const unsigned char* bytes, unsigned int size) {
  if (jclass cls = FindQuiet(env, name)) return cls;
  if (jclass cls = DefineSupportClass(env, name, bytes, size)) return cls;
  // Defined meanwhile by the other build of the driver in the same VM: a
  // second definition is refused.
  return FindQuiet(env, name);
}

}  // namespace

std::string JC_ArchiveDir(const char* const* texts) {
  std::string dir = texts != nullptr && texts[0] != nullptr ? texts[0] : "";
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}

uint32_t JC_GetXAXidClass(JNIEnv* env, jclass* out) {
  if (out == nullptr) return ERR_GENERAL;
  *out = nullptr;
  if (env == nullptr) return ERR_GENERAL;
  jclass cls = FindOrDefine(env, "quillmar/support/XAXid", XAXidClassBytes, XAXidClassSize);
  if (cls == nullptr) return ERR_GENERAL;
  *out = cls;
  return 0;
}

uint32_t JC_GetRowBlockClass(JNIEnv* env, jclass* out) {
  if (out == nullptr) return ERR_GENERAL;
  *out = nullptr;
  if (env == nullptr) return ERR_GENERAL;
  // The shortcuts the block reader names come first: the system class loader
  // finds a class defined from bytes only once it is defined, and a reader
  // that could not resolve them would fail every fetch instead of none.
  const struct {
    const char* name;
    const unsigned char* bytes;
    unsigned int size;
  } kNamed[] = {
      {"quillmar/support/QMRShortcut", QMRShortcutClassBytes, QMRShortcutClassSize},
      {"quillmar/support/QMRHsqldbShortcut", QMRHsqldbShortcutClassBytes,
       QMRHsqldbShortcutClassSize},
      {"quillmar/support/QMRPgShortcut", QMRPgShortcutClassBytes, QMRPgShortcutClassSize},
  };
  for (const auto& named : kNamed) {
    jclass dep = FindOrDefine(env, named.name, named.bytes, named.size);
    if (dep == nullptr) return ERR_GENERAL;
    env->DeleteLocalRef(dep);
  }
  jclass cls = FindOrDefine(env, "quillmar/support/QMRRowBlock", QMRRowBlockClassBytes,
                            QMRRowBlockClassSize);
  if (cls == nullptr) return ERR_GENERAL;
  *out = cls;
  return 0;
}

uint32_t JC_GetDescribeClass(JNIEnv* env, jclass* out) {
  if (out == nullptr) return ERR_GENERAL;
  *out = nullptr;
  if (env == nullptr) return ERR_GENERAL;
  jclass cls = FindOrDefine(env, "quillmar/support/QMRDescribe", QMRDescribeClassBytes,
                            QMRDescribeClassSize);
  if (cls == nullptr) return ERR_GENERAL;
  *out = cls;
  return 0;
}

std::string JC_ArchivePaths(const std::string& dir) {
  std::string out;
  std::string list(DefaultJarList);
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    std::string name = list.substr(start, end - start);
    start = end + 1;
    if (name.empty()) continue;
    if (!out.empty()) out += ';';
    out += dir + name;
  }
  return out;
}

jobject JC_CreateClassLoader(JNIEnv* env, const char* paths) {
  if (env == nullptr || paths == nullptr) return nullptr;
  jclass loaderCls = FindOrDefine(env, "quillmar/support/QMRClassLoader", QMRClassLoaderClassBytes,
                                  QMRClassLoaderClassSize);
  if (loaderCls == nullptr) {
    AGT_LOG("Can't create QMRClassLoader");
    env->ExceptionClear();
    return nullptr;
  }
  std::vector<std::string> elems;
  std::string all(paths);
  size_t start = 0;
  while (start <= all.size()) {
    size_t end = all.find(';', start);
    if (end == std::string::npos) end = all.size();
    if (end > start) elems.push_back(all.substr(start, end - start));
    start = end + 1;
  }
  jobject loader = nullptr;
  jclass urlCls = nullptr;
  jobjectArray urls = nullptr;
  if (elems.empty()) goto done;
  urlCls = env->FindClass("java/net/URL");
  if (urlCls == nullptr) {
    AGT_LOG("Can't find java.net.URL");
    goto done;
  }
  urls = env->NewObjectArray(static_cast<jsize>(elems.size()), urlCls, nullptr);
  if (urls == nullptr) {
    AGT_LOG("Can't create Array of java.net.URL");
    goto done;
  }
  for (size_t i = 0; i < elems.size(); ++i) {
    std::string spec = "file:" + elems[i].substr(0, 1016);
    jstring s = JC_NewString(env, spec.c_str(), 0);
    if (s == nullptr) goto done;
    jobject url = JC_NewObject(env, "java/net/URL", "(Ljava/lang/String;)V", s);
    env->DeleteLocalRef(s);
    if (url == nullptr) goto done;
    env->SetObjectArrayElement(urls, static_cast<jsize>(i), url);
    env->DeleteLocalRef(url);
    if (env->ExceptionCheck()) goto done;
  }
  {
    jmethodID ctor = env->GetMethodID(loaderCls, "<init>", "([Ljava/net/URL;)V");
    if (ctor != nullptr) loader = env->NewObject(loaderCls, ctor, urls);
  }
done:
  if (env->ExceptionCheck()) {
    env->ExceptionClear();
    JC_DeleteLocal(env, loader);
    loader = nullptr;
  }
  JC_DeleteLocal(env, urls);
  JC_DeleteLocal(env, urlCls);
  JC_DeleteLocal(env, loaderCls);
  return loader;
}
