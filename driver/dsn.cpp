// Data-source settings.
#include "driver/dsn.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "driver/connstr.h"
#include "driver/odbcinst.h"
#include "platform/registry.h"
#include "util/owners.h"
#include "util/textconv.h"

namespace {

// Never destroyed: process detach still reaches it after the library's
// static objects are gone.
std::string& JarDir() {
  static std::string& dir = *new std::string;
  return dir;
}

constexpr int kFirstRead = 256;
// unixODBC keeps values far shorter; beyond this a value is cut.
constexpr int kLargestRead = 1 << 16;

std::u16string Wide(const std::string& s) {
  std::u16string out;
  const UniqueFree<char16_t> w(utf8_to_utf16_dup(s.c_str()));
  if (w != nullptr) out = w.get();
  return out;
}

std::string Narrow(const char16_t* w) {
  std::string out;
  const UniqueFree<char> s(utf16_to_utf8_dup(w));
  if (s != nullptr) out = s.get();
  return out;
}

int FirstSize(uint32_t valueSize) {
  const int64_t want = int64_t{valueSize} * 4 + 1;
  return want < kFirstRead ? kFirstRead : static_cast<int>(want);
}

// The installer cuts a value to the buffer and says how much it copied; a
// value that filled the buffer is read again with a larger one.
std::string ReadProfile(const std::string& section, const char* key, int mode, int size) {
  for (;;) {
    int n = 0;
    std::string out;
    if (mode == 'W') {
      std::vector<char16_t> buf(static_cast<size_t>(size) + 1, 0);
      n = INST_GetPrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(), u"", buf.data(),
                                        size, u"odbc.ini");
      out = Narrow(buf.data());
    } else {
      std::vector<char> buf(static_cast<size_t>(size) + 1, '\0');
      n = INST_GetPrivateProfileString(section.c_str(), key, "", buf.data(), size, "odbc.ini");
      out = buf.data();
    }
    if (n < size - 1 || size >= kLargestRead) return out;
    size *= 2;
  }
}

std::string ReadFileDsn(const std::string& file, const char* key, int mode, int size) {
  for (;;) {
    uint16_t len = 0;
    int ok = 0;
    std::string out;
    if (mode == 'W') {
      std::vector<char16_t> buf(static_cast<size_t>(size) + 1, 0);
      ok = INST_ReadFileDSNW(Wide(file).c_str(), u"ODBC", Wide(key).c_str(), buf.data(),
                             static_cast<uint16_t>(size), &len);
      if (ok) out = Narrow(buf.data());
    } else {
      std::vector<char> buf(static_cast<size_t>(size) + 1, '\0');
      ok = INST_ReadFileDSN(file.c_str(), "ODBC", key, buf.data(), static_cast<uint16_t>(size),
                            &len);
      if (ok) out = buf.data();
    }
    if (!ok) return std::string();
    if (static_cast<int>(out.size()) < size - 1 && len < size - 1) return out;
    if (size * 2 > 0xFFFF) return out;
    size *= 2;
  }
}

}  // namespace

std::string DSN_ReadValue(const std::string& section, const char* key, int mode) {
  return ReadProfile(section, key, mode, kFirstRead);
}

std::string DSN_ReadFileValue(const std::string& file, const char* key, int mode) {
  return ReadFileDsn(file, key, mode, kFirstRead);
}

void DSN_ReadSettings(const char* text, int mode) {
  CS_Clear();
  if (text == nullptr) return;
  CS_ParseInto(text);
  const ConnStrKeyword& dsnRow = ConnStrKeywords[kKwDSN];
  const ConnStrKeyword& fileRow = ConnStrKeywords[kKwFILEDSN];
  const std::string dsn = dsnRow.present ? dsnRow.value : std::string();
  const std::string file = fileRow.present ? fileRow.value : std::string();
  for (int row = 0; row < kConnStrKeywordCount; ++row) {
    ConnStrKeyword& k = ConnStrKeywords[row];
    if (k.supplied != 0 || k.valueName == nullptr) continue;
    const int size = FirstSize(k.valueSize);
    std::string v;
    if (!dsn.empty()) {
      v = ReadProfile(dsn, k.valueName, mode, size);
      if (v.empty() && std::strcmp(k.valueName, "UID") == 0) {
        v = ReadProfile(dsn, "LastUser", mode, size);
      }
    } else if (!file.empty()) {
      v = ReadFileDsn(file, k.keyword, mode, size);
    } else {
      v = ReadProfile("Default", k.valueName, mode, size);
    }
    k.value = std::move(v);
    k.present = true;
  }
}

std::string DSN_GetDriverName(int mode) {
  const ConnStrKeyword& dsnRow = ConnStrKeywords[kKwDSN];
  if (!dsnRow.present || dsnRow.value.empty()) return std::string();
  std::string name = ReadProfile("ODBC Data Sources", dsnRow.value.c_str(), mode, kFirstRead);
  if (name.empty()) name = ReadProfile(dsnRow.value, "Driver", mode, kFirstRead);
  return name;
}

int DRV_FindJarDir() {
  const std::string key =
      plat::reg_key(plat::kHKeyLocalMachine, "Software\\Quillmar Software\\6.0");
  std::string dir;
  if (!plat::reg_read_string(key, "KXLibs", dir)) {
    dir.clear();
    if (plat::reg_read_string(key, "InstallDir", dir)) {
      if (!dir.empty() && dir.back() != '/') dir += '/';
      dir += "jre/lib/";
    } else {
      dir.clear();
    }
  }
  if (!dir.empty() && dir.back() != '/') dir += '/';
  JarDir() = dir;
  return 1;
}

const std::string& DRV_JarDir() { return JarDir(); }

void DRV_ForgetJarDir() { JarDir().clear(); }
