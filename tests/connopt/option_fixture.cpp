#include "option_fixture.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace qmrtest {

namespace {

std::mutex g_lock;
std::vector<SentOption> g_sent;
std::map<uint32_t, std::string> g_texts;

bool IsText(uint32_t request) { return (request & 0x0F000000u) == 0x01000000u; }

uint32_t RecordingSetOption(uint32_t h, uint32_t request, void* value) {
  SentOption s{request, 0, {}};
  if (value != nullptr) {
    if (IsText(request)) {
      s.text = static_cast<const char*>(value);
    } else {
      std::memcpy(&s.number, value, sizeof s.number);
    }
  }
  {
    std::lock_guard<std::mutex> g(g_lock);
    g_sent.push_back(s);
  }
  FakeAgent* f = FakeAgent::Current();
  return f != nullptr ? static_cast<uint32_t>(f->Enter(1, h)) : 21u;
}

uint32_t ScriptedGetInfo(uint32_t h, uint32_t request, void* value, uint16_t size,
                         uint16_t* length) {
  FakeAgent* f = FakeAgent::Current();
  if (f == nullptr) return 21;
  if (!IsText(request)) return f->table()->DRV_GetInfo(h, request, value, size, length);
  const int32_t rc = f->Enter(0, h);
  if (rc != 0) return static_cast<uint32_t>(rc);
  std::string text;
  {
    std::lock_guard<std::mutex> g(g_lock);
    auto it = g_texts.find(request);
    if (it == g_texts.end()) return 1;  // not a request this agent answers
    text = it->second;
  }
  // As the agent does: cut to the buffer without a warning.
  const size_t n = size == 0 ? 0 : std::min<size_t>(text.size(), size - 1u);
  if (value != nullptr && size > 0) {
    std::memcpy(value, text.data(), n);
    static_cast<char*>(value)[n] = '\0';
  }
  if (length != nullptr) *length = static_cast<uint16_t>(n);
  return 0;
}

}  // namespace

void OptionTest::SetUp() {
  CoreTest::SetUp();
  table = *fake.table();
  table.DRV_SetOption = RecordingSetOption;
  table.DRV_GetInfo = ScriptedGetInfo;
  std::lock_guard<std::mutex> g(g_lock);
  g_sent.clear();
  g_texts.clear();
}

void OptionTest::TearDown() { CoreTest::TearDown(); }

void OptionTest::Open(uint32_t odbcVersion) {
  env = NewEnv();
  ASSERT_EQ(SQL_SUCCESS,
            SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                          reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(odbcVersion)), 0));
  dbc = NewConn(env);
}

ConnHandle* OptionTest::Connect() {
  ConnHandle* c = MarkConnected(dbc);
  if (c != nullptr) c->agent.ops = &table;
  return c;
}

ConnHandle* OptionTest::Conn() {
  plat::Guard<plat::RecursiveMutex> g(DRV_CallLock());
  return DRV_LookupConn(DRV_HandleNumber(dbc));
}

void OptionTest::SetText(uint32_t request, const std::string& text) {
  std::lock_guard<std::mutex> g(g_lock);
  g_texts[request] = text;
}

std::vector<SentOption>& OptionTest::Sent() { return g_sent; }

std::vector<SentOption> OptionTest::SentWith(uint32_t request) {
  std::lock_guard<std::mutex> g(g_lock);
  std::vector<SentOption> out;
  for (const SentOption& s : g_sent) {
    if (s.request == request) out.push_back(s);
  }
  return out;
}

}  // namespace qmrtest
