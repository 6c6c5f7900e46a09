// Passwords kept out of the diagnostics. A JDBC driver that refuses a URL
// may quote it whole, and the application logs what it reads; so every
// message pulled for a connection loses the passwords the connection was
// given, in the forms a message may carry them.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/conn.h"
#include "driver/connstr.h"
#include "driver/handles.h"
#include "driver/trace.h"

namespace {

const char kMask[] = "********";

bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecoded(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    const int hi = i + 2 < s.size() ? HexValue(s[i + 1]) : -1;
    const int lo = hi >= 0 ? HexValue(s[i + 2]) : -1;
    if (s[i] == '%' && lo >= 0) {
      out += static_cast<char>(hi * 16 + lo);
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

// A password of the URL as the mask found it runs to the end of a
// connection-string value; in a URL it ends at the URL's own separators
// too (?password=x&ssl=true), and a driver may quote it decoded.
void AddUrlSecret(const std::string& value, std::vector<std::string>* out) {
  out->push_back(value);
  out->push_back(PercentDecoded(value));
  out->push_back(value.substr(0, value.find_first_of("&;}]) \t\"'")));
  out->push_back(PercentDecoded(out->back()));
}

std::vector<std::string> SecretsOf(const ConnHandle* conn) {
  std::vector<std::string> out{conn->pwd};
  for (std::string& v : TRC_SecretValues(conn->dbopts.c_str())) {
    AddUrlSecret(v, &out);
    CS_Wipe(v);
  }
  // Longest first, so that a password that holds another is hidden whole.
  std::sort(out.begin(), out.end(),
            [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  out.erase(std::unique(out.begin(), out.end()), out.end());
  out.erase(std::remove(out.begin(), out.end(), std::string()), out.end());
  return out;
}

// Whether the secret at `at` of text stands as a word of its own: a short
// password must not blot out every word that happens to contain it.
bool StandsAlone(const std::string& text, size_t at, const std::string& secret) {
  const size_t end = at + secret.size();
  if (at > 0 && IsWordChar(secret.front()) && IsWordChar(text[at - 1])) return false;
  if (end < text.size() && IsWordChar(secret.back()) && IsWordChar(text[end])) return false;
  return true;
}

bool MaskOne(std::string* text, const std::string& secret) {
  bool changed = false;
  for (size_t at = text->find(secret); at != std::string::npos; at = text->find(secret, at)) {
    if (!StandsAlone(*text, at, secret)) {
      ++at;
      continue;
    }
    text->replace(at, secret.size(), kMask);
    at += sizeof kMask - 1;
    changed = true;
  }
  return changed;
}

}  // namespace

void CONN_MaskSecrets(const ConnHandle* conn, DiagArea* area) {
  if (conn == nullptr || area == nullptr || area->head == nullptr) return;
  std::vector<std::string> secrets = SecretsOf(conn);
  for (ErrRec* r = area->head; r != nullptr && !secrets.empty(); r = r->next) {
    if (r->text == nullptr) continue;
    std::string text = r->text;
    bool changed = false;
    for (const std::string& s : secrets) changed = MaskOne(&text, s) || changed;
    if (changed) {
      char* masked = strdup(text.c_str());
      if (masked != nullptr) {
        std::memset(r->text, 0, std::strlen(r->text));
        std::free(r->text);
        r->text = masked;
      }
    }
    CS_Wipe(text);
  }
  for (std::string& s : secrets) CS_Wipe(s);
}
