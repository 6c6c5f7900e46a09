// The data sources an end-to-end test runs on. CTest runs such a test once on
// HSQLDB in the driver's own VM (the default) and once more on the throw-away
// PostgreSQL server, naming that server's data sources in QMR_DSNS
// (comma-separated, one per build of the driver).
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

namespace qmr_test {

inline std::vector<std::string> TestDsns() {
  const char* env = std::getenv("QMR_DSNS");
  std::string list = (env != nullptr && *env != '\0') ? env : "QmrHsqlU,QmrHsqlA";
  std::vector<std::string> dsns;
  std::string::size_type start = 0;
  while (start <= list.size()) {
    std::string::size_type comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    if (comma > start) dsns.push_back(list.substr(start, comma - start));
    start = comma + 1;
  }
  return dsns;
}

// True when the data sources are the PostgreSQL server's.
inline bool OnPostgres() {
  for (const std::string& d : TestDsns())
    if (d.rfind("QmrPg", 0) == 0) return true;
  return false;
}

}  // namespace qmr_test
