// Private copies of a connection's information block, so that the library
// can open further connections like it long after the connect path's own
// block is gone.
#include <cstdlib>
#include <cstring>
#include <new>

#include "drv_jdbc/j-conninfo.h"
#include "scrs/scrframe.h"

namespace {

// Every text of the block. The options text may begin with the four marker
// bytes of a Unicode connect; they hold no NUL, so it copies as a C string.
char* ConnectInfo::*const kTexts[] = {
    &ConnectInfo::host,   &ConnectInfo::options, &ConnectInfo::svtype, &ConnectInfo::dbpath,
    &ConnectInfo::dsn,    &ConnectInfo::dbopts,  &ConnectInfo::user,   &ConnectInfo::password,
    &ConnectInfo::text10, &ConnectInfo::appName};

bool DupText(char** to, const char* from) {
  *to = from != nullptr ? strdup(from) : nullptr;
  return from == nullptr || *to != nullptr;
}

void FreeSettings(JdbcConnSettings* s) {
  if (s == nullptr) return;
  std::free(s->initialSql);
  std::free(s->dbmsName);
  delete s;
}

}  // namespace

ConnectInfo* SCR_CopyConnectInfo(const ConnectInfo* from) {
  if (from == nullptr) return nullptr;
  auto* to = new (std::nothrow) ConnectInfo(*from);
  if (to == nullptr) return nullptr;
  bool ok = true;
  for (auto text : kTexts) ok = DupText(&(to->*text), from->*text) && ok;
  to->settings = nullptr;
  if (from->settings != nullptr) {
    to->settings = new (std::nothrow) JdbcConnSettings(*from->settings);
    if (to->settings != nullptr) {
      ok = DupText(&to->settings->initialSql, from->settings->initialSql) && ok;
      ok = DupText(&to->settings->dbmsName, from->settings->dbmsName) && ok;
    } else {
      ok = false;
    }
  }
  if (!ok) {
    SCR_FreeConnectInfo(to);
    return nullptr;
  }
  return to;
}

void SCR_FreeConnectInfo(ConnectInfo* info) {
  if (info == nullptr) return;
  for (auto text : kTexts) std::free(info->*text);
  FreeSettings(info->settings);
  delete info;
}
