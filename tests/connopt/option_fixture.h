// Set-up of the connection-option and information tests: the core's
// fixture, with slots 0 and 1 of the fake agent wrapped so that the tests
// see the request codes and values the core sends and can script text
// answers.
#ifndef QMR_TESTS_CONNOPT_OPTION_FIXTURE_H
#define QMR_TESTS_CONNOPT_OPTION_FIXTURE_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "driver/core_fixture.h"

namespace qmrtest {

// One DRV_SetOption call: its request and its value (a number for integer
// requests, the text for text requests).
struct SentOption {
  uint32_t request;
  uint32_t number;
  std::string text;
};

class OptionTest : public CoreTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Environment of the given ODBC version and a connection on it.
  void Open(uint32_t odbcVersion);
  // The connection as a successful connect leaves it, with the wrapped
  // agent table behind it.
  ConnHandle* Connect();
  ConnHandle* Conn();

  // Text answer of DRV_GetInfo for a text request.
  static void SetText(uint32_t request, const std::string& text);
  static std::vector<SentOption>& Sent();
  // Options sent with this request code.
  static std::vector<SentOption> SentWith(uint32_t request);

  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  DRV_OpTable table{};
};

}  // namespace qmrtest

#endif
