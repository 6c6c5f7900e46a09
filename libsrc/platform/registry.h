// The stand-in for the Windows registry: an INI file whose section names are
// key paths and whose entries are values.
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Quillmar Software\6.0]
//   KXLibs=/opt/quillmar/lib/
//   Retries=dword:3
//   Quoted="dword:3 stays text"
//   @=the key's default value
//
// Plain text is a string value, "dword:N" a 32-bit number (decimal, or hex
// with 0x). Enclosing double quotes are removed and keep the text a string.
// Lines starting with ';' or '#' are comments; there are no trailing
// comments, since values (connection strings) hold ';'. Key paths and value
// names compare without regard to case, as Windows does; HKLM and HKCU are
// accepted for the two roots. The file comes from $QMR_REGISTRY_FILE, else
// /etc/quillmar/registry.ini, and is read afresh on every query (the reads
// are few), so edits show at once. A missing file or value is a missing
// value. All functions are thread-safe.
#ifndef QMR_PLATFORM_REGISTRY_H
#define QMR_PLATFORM_REGISTRY_H

#include <cstdint>
#include <string>

namespace plat {

constexpr const char* kHKeyLocalMachine = "HKEY_LOCAL_MACHINE";
constexpr const char* kHKeyCurrentUser = "HKEY_CURRENT_USER";

enum class RegType { None, String, Dword };

struct RegValue {
  RegType type = RegType::None;
  std::string text;     // for String
  uint32_t number = 0;  // for Dword
};

// The file the stand-in reads.
std::string registry_file();

// "root\subkey", for callers that hold the two apart.
std::string reg_key(const char* root, const char* subkey);

// True when the key or any key below it is in the file.
bool reg_key_exists(const std::string& key_path);
// The value; type None when the file, the key or the value is missing, or
// the value is malformed (a dword that is not a 32-bit number).
RegValue reg_query(const std::string& key_path, const std::string& name);
// False when the value is missing or not a string.
bool reg_read_string(const std::string& key_path, const std::string& name, std::string& out);
// False when the value is missing or not a dword.
bool reg_read_dword(const std::string& key_path, const std::string& name, uint32_t& out);

}  // namespace plat

#endif
