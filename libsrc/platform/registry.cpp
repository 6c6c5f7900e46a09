#include "platform/registry.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace plat {

namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

bool unquote(std::string& s) {
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') {
    s = s.substr(1, s.size() - 2);
    return true;
  }
  return false;
}

// Lower case, no empty elements, long root names.
std::string normalise_key(const std::string& path) {
  std::string out;
  size_t i = 0;
  while (i < path.size()) {
    size_t j = path.find('\\', i);
    if (j == std::string::npos) j = path.size();
    std::string part = trim(path.substr(i, j - i));
    if (!part.empty()) {
      part = lower(part);
      if (out.empty()) {
        if (part == "hklm") part = "hkey_local_machine";
        if (part == "hkcu") part = "hkey_current_user";
      }
      if (!out.empty()) out += '\\';
      out += part;
    }
    i = j + 1;
  }
  return out;
}

bool parse_dword(const std::string& s, uint32_t& out) {
  const std::string t = trim(s);
  if (t.empty()) return false;
  const bool hex = t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X');
  const char* begin = t.c_str() + (hex ? 2 : 0);
  if (!std::isxdigit(static_cast<unsigned char>(*begin))) return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(begin, &end, hex ? 16 : 10);
  if (errno != 0 || *end != '\0' || v > 0xFFFFFFFFull) return false;
  out = static_cast<uint32_t>(v);
  return true;
}

RegValue make_value(std::string raw) {
  RegValue v;
  raw = trim(raw);
  if (unquote(raw)) {
    v.type = RegType::String;
    v.text = raw;
    return v;
  }
  if (raw.size() >= 6 && lower(raw.substr(0, 6)) == "dword:") {
    if (parse_dword(raw.substr(6), v.number)) v.type = RegType::Dword;
    return v;
  }
  v.type = RegType::String;
  v.text = raw;
  return v;
}

// Walks the file. on_section(key) is called for every section; when
// want_key is not empty, the entries of matching sections go to
// on_value(name, raw). The file is read from start to end on each call: the
// last entry of a name wins, and repeated sections merge.
template <class OnSection, class OnValue>
void scan(const std::string& want_key, OnSection on_section, OnValue on_value) {
  std::ifstream in(registry_file(), std::ios::binary);
  if (!in) return;
  std::string line;
  bool in_wanted = false;
  bool first = true;
  while (std::getline(in, line)) {
    if (first && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    first = false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string t = trim(line);
    if (t.empty() || t[0] == ';' || t[0] == '#') continue;
    if (t[0] == '[') {
      const size_t close = t.rfind(']');
      if (close == std::string::npos || close == 0) {
        in_wanted = false;
        continue;
      }
      const std::string key = normalise_key(t.substr(1, close - 1));
      on_section(key);
      in_wanted = !want_key.empty() && key == want_key;
      continue;
    }
    if (!in_wanted) continue;
    const size_t eq = t.find('=');
    if (eq == std::string::npos) continue;
    std::string name = trim(t.substr(0, eq));
    unquote(name);
    if (name == "@") name.clear();
    on_value(lower(name), t.substr(eq + 1));
  }
}

}  // namespace

std::string registry_file() {
  const char* env = std::getenv("QMR_REGISTRY_FILE");
  return (env && *env) ? env : "/etc/quillmar/registry.ini";
}

std::string reg_key(const char* root, const char* subkey) {
  std::string k = root ? root : "";
  if (subkey && *subkey) {
    k += '\\';
    k += subkey;
  }
  return k;
}

bool reg_key_exists(const std::string& key_path) {
  const std::string want = normalise_key(key_path);
  if (want.empty()) return false;
  bool found = false;
  scan(
      std::string(),
      [&](const std::string& key) {
        if (key == want || (key.size() > want.size() && key.compare(0, want.size(), want) == 0 &&
                            key[want.size()] == '\\'))
          found = true;
      },
      [](const std::string&, const std::string&) {});
  return found;
}

RegValue reg_query(const std::string& key_path, const std::string& name) {
  const std::string want = normalise_key(key_path);
  RegValue result;
  if (want.empty()) return result;
  std::string want_name = lower(trim(name));
  if (want_name == "@") want_name.clear();
  scan(
      want, [](const std::string&) {},
      [&](const std::string& n, const std::string& raw) {
        if (n == want_name) result = make_value(raw);
      });
  return result;
}

bool reg_read_string(const std::string& key_path, const std::string& name, std::string& out) {
  RegValue v = reg_query(key_path, name);
  if (v.type != RegType::String) return false;
  out = std::move(v.text);
  return true;
}

bool reg_read_dword(const std::string& key_path, const std::string& name, uint32_t& out) {
  const RegValue v = reg_query(key_path, name);
  if (v.type != RegType::Dword) return false;
  out = v.number;
  return true;
}

}  // namespace plat
