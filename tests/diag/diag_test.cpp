// Diagnostic areas, the driver's error table and the reading of diagnostics.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "driver/diag.h"

namespace {

struct Area {
  DiagArea d{};
  ~Area() { DIAG_Clear(&d); }
};

std::string Read(DiagArea* d, uint32_t ver, int mode, char* state, int* rc = nullptr) {
  char msg[4096];
  int32_t len = -1;
  int32_t native = -1;
  int r = DIAG_Format(d, ver, mode, state, &native, msg, sizeof msg, &len);
  if (rc != nullptr) *rc = r;
  return r == 100 ? std::string() : std::string(msg, static_cast<size_t>(len));
}

TEST(DrvErrorTable, CodesGiveStateAndMessage) {
  char state[6];
  char msg[256];
  ERR_DescribeCode(21, state, msg, sizeof msg);
  EXPECT_STREQ("S1009", state);
  EXPECT_STREQ("Invalid argument value", msg);
  ERR_DescribeCode(170, state, msg, sizeof msg);
  EXPECT_STREQ("IM932", state);
  EXPECT_STREQ("Enlistment in DTC transaction failed ", msg);  // trailing blank kept
  ERR_DescribeCode(184, state, msg, sizeof msg);
  EXPECT_STREQ("IM501", state);
  EXPECT_STREQ("Failover aborted.", msg);
}

TEST(DrvErrorTable, CodesOutsideTheTableAreUndefined) {
  char state[6];
  char msg[256];
  for (int code : {-1, ERR_CODE_LIMIT, 78, 152}) {
    ERR_DescribeCode(code, state, msg, sizeof msg);
    EXPECT_STREQ("S1000", state) << code;
    EXPECT_EQ("Undefined errorcode (" + std::to_string(code) + ").\nPlease install a newer client.",
              std::string(msg));
  }
}

TEST(MapSqlState3, ExplicitPairsAndClasses) {
  const char* cases[][2] = {{"S1002", "07009"}, {"S1093", "07009"}, {"01S03", "01001"},
                            {"01S04", "01001"}, {"22003", "22003"}, {"22008", "22007"},
                            {"22005", "22018"}, {"24000", "24000"}, {"37000", "42000"},
                            {"70100", "HY018"}, {"S1009", "HY009"}, {"S1C00", "HYC00"},
                            {"S0002", "42S02"}, {"08001", "08001"}, {"IM001", "IM001"}};
  for (auto& c : cases) {
    char s[6];
    std::memcpy(s, c[0], 6);
    ERR_MapSqlState3(s);
    EXPECT_STREQ(c[1], s) << c[0];
  }
}

TEST(DiagArea, AddPopKeepsOrderAndCount) {
  Area a;
  DIAG_Add(&a.d, "one", 1);
  DIAG_Add(&a.d, "two", 2);
  DIAG_Add(&a.d, "three", 3);
  EXPECT_EQ(3u, DIAG_Count(&a.d));
  int32_t native = 0;
  EXPECT_STREQ("two", ERR_GetNth(a.d.head, 2, &native));
  EXPECT_EQ(2, native);
  EXPECT_STREQ("one", ERR_GetNth(a.d.head, 0, nullptr));
  EXPECT_EQ(nullptr, ERR_GetNth(a.d.head, 4, nullptr));
  char* t = DIAG_Pop(&a.d, &native);
  EXPECT_STREQ("one", t);
  EXPECT_EQ(1, native);
  free(t);
  DIAG_Add(&a.d, "four", 4);  // the tail must still be right after a pop
  EXPECT_STREQ("four", ERR_GetNth(a.d.head, 3, nullptr));
  DIAG_Clear(&a.d);
  EXPECT_EQ(nullptr, a.d.head);
  EXPECT_EQ(0u, DIAG_Count(&a.d));
  DIAG_Add(&a.d, "again", 0);
  EXPECT_STREQ("again", ERR_GetNth(a.d.head, 1, nullptr));
}

TEST(DiagRead, PendingCodeInBothForms) {
  Area a;
  a.d.pending = 21;
  char state[6];
  a.d.lastRec = 1;
  EXPECT_EQ("[Quillmar][ODBC][Driver]Invalid argument value", Read(&a.d, 2, 2, state));
  EXPECT_STREQ("S1009", state);
  EXPECT_EQ("[Quillmar][ODBC][Driver]Invalid argument value", Read(&a.d, 3, 2, state));
  EXPECT_STREQ("HY009", state);
  // Record 2 does not exist when only the pending code is set.
  a.d.lastRec = 2;
  int rc = 0;
  Read(&a.d, 3, 2, state, &rc);
  EXPECT_EQ(100, rc);
  EXPECT_STREQ("00000", state);
  EXPECT_EQ(21, a.d.pending);  // mode 2 leaves it
}

TEST(DiagRead, AgentTextKeepsDatabaseStateAndMapsOwnState) {
  Area a;
  DIAG_AddEx(&a.d, "  [Velkaro]Table not found [SQLSTATE:22003]", 7, false);
  DIAG_AddEx(&a.d, "[Velkaro]Function sequence error[SQLSTATE:S1010]", 0, true);
  DIAG_Add(&a.d, "free text without tag", 0);
  char state[6];
  a.d.lastRec = 1;
  EXPECT_EQ("[Quillmar][ODBC][Velkaro]Table not found ", Read(&a.d, 3, 2, state));
  EXPECT_STREQ("22003", state);  // the database's state stays as it came
  a.d.lastRec = 2;
  Read(&a.d, 3, 2, state);
  EXPECT_STREQ("HY010", state);
  Read(&a.d, 2, 2, state);
  EXPECT_STREQ("S1010", state);
  a.d.lastRec = 3;
  EXPECT_EQ("[Quillmar][ODBC]free text without tag", Read(&a.d, 3, 2, state));
  EXPECT_STREQ("HY000", state);
}

TEST(DiagRead, MalformedTagsNeverReadPastTheText) {
  const char* texts[] = {"msg[SQLSTATE:", "msg[SQLSTATE:42", "msg[SQLSTATE:42]tail",
                         "msg[SQLSTATE:4200012345"};
  const char* expect[] = {"S1000", "S1000", "S1000", "42000"};
  for (int i = 0; i < 4; ++i) {
    // An exact-size heap copy lets the sanitizer see any read beyond the end.
    size_t n = std::strlen(texts[i]) + 1;
    char* t = static_cast<char*>(malloc(n));
    std::memcpy(t, texts[i], n);
    size_t len = 0;
    char state[6];
    bool tagged = false;
    const char* m = ERR_SplitText(t, &len, state, &tagged);
    EXPECT_EQ("msg", std::string(m, len));
    EXPECT_STREQ(expect[i], state) << texts[i];
    EXPECT_TRUE(tagged);
    free(t);
  }
}

TEST(DiagRead, ModeOneDrainsRecordsThenNoData) {
  Area a;
  a.d.pending = 22;
  DIAG_AddEx(&a.d, "[Velkaro]first[SQLSTATE:42S02]", 11, false);
  DIAG_AddEx(&a.d, "[Velkaro]second[SQLSTATE:42000]", 12, false);
  char state[6];
  EXPECT_EQ("[Quillmar][ODBC][Velkaro]first", Read(&a.d, 3, 1, state));
  EXPECT_STREQ("42S02", state);
  EXPECT_EQ(0, a.d.pending);  // a returned record discards the pending code
  EXPECT_EQ("[Quillmar][ODBC][Velkaro]second", Read(&a.d, 3, 1, state));
  int rc = 0;
  Read(&a.d, 3, 1, state, &rc);
  EXPECT_EQ(100, rc);
  EXPECT_STREQ("00000", state);
  EXPECT_EQ(0u, DIAG_Count(&a.d));
}

TEST(DiagRead, ModeOneReportsPendingOnce) {
  Area a;
  a.d.pending = 43;
  char state[6];
  EXPECT_EQ("[Quillmar][ODBC][Driver]Driver not capable", Read(&a.d, 3, 1, state));
  EXPECT_STREQ("HYC00", state);
  int rc = 0;
  Read(&a.d, 3, 1, state, &rc);
  EXPECT_EQ(100, rc);
}

TEST(DiagFormat, ShortBufferCutsAndTerminates) {
  Area a;
  a.d.pending = 22;  // "Function sequence error": 23 + 24 characters of prefix
  a.d.lastRec = 1;
  char msg[10];
  std::memset(msg, 'x', sizeof msg);
  int32_t len = 0;
  char state[6];
  EXPECT_EQ(1, DIAG_Format(&a.d, 3, 2, state, nullptr, msg, sizeof msg, &len));
  EXPECT_STREQ("[Quillmar", msg);
  EXPECT_EQ(47, len);  // the full length, not the cut one
  EXPECT_STREQ("HY010", state);

  DIAG_Add(&a.d, "list record", 0);
  std::memset(msg, 'x', sizeof msg);
  EXPECT_EQ(1, DIAG_Format(&a.d, 3, 2, state, nullptr, msg, 5, &len));
  EXPECT_STREQ("[Qui", msg);
  EXPECT_EQ('x', msg[5]);
  EXPECT_EQ(static_cast<int32_t>(std::strlen("[Quillmar][ODBC]list record")), len);
}

TEST(DiagFormat, ZeroSizeWritesNothingAndNullBufferStillGivesLength) {
  Area a;
  DIAG_Add(&a.d, "abc", 0);
  a.d.lastRec = 1;
  char msg[4] = {'x', 'x', 'x', 'x'};
  int32_t len = 0;
  EXPECT_EQ(1, DIAG_Format(&a.d, 3, 2, nullptr, nullptr, msg, 0, &len));
  EXPECT_EQ('x', msg[0]);
  EXPECT_EQ(19, len);
  EXPECT_EQ(1, DIAG_Format(&a.d, 3, 2, nullptr, nullptr, nullptr, 0, &len));
  EXPECT_EQ(19, len);
}

TEST(DiagFormat, CutNeverSplitsAUtf8Sequence) {
  std::string text = "ab\xC3\xA9";  // "abé"
  char buf[4];
  EXPECT_EQ(1, DIAG_CopyText(text, buf, sizeof buf));
  EXPECT_STREQ("ab", buf);
  char big[5];
  EXPECT_EQ(0, DIAG_CopyText(text, big, sizeof big));
  EXPECT_STREQ(text.c_str(), big);
}

TEST(DiagFormat, LongAgentMessageSurvivesWhole) {
  Area a;
  std::string body(2047, 'm');
  DIAG_AddEx(&a.d, ("[Velkaro]" + body + "[SQLSTATE:42S22]").c_str(), 5, false);
  a.d.lastRec = 1;
  DiagText t;
  ASSERT_TRUE(DIAG_Read(&a.d, 3, 2, &t));
  EXPECT_EQ("[Quillmar][ODBC][Velkaro]" + body, t.message);
  EXPECT_STREQ("42S22", t.state);
  EXPECT_EQ(5, t.native);
}

TEST(DiagArea, AddCodeKeepsAVisiblePendingCode) {
  Area a;
  a.d.pending = 22;
  DIAG_AddCode(&a.d, 25);
  EXPECT_EQ(2u, DIAG_Count(&a.d));
  char state[6];
  a.d.lastRec = 1;
  EXPECT_EQ("[Quillmar][ODBC][Driver]Function sequence error", Read(&a.d, 3, 2, state));
  EXPECT_STREQ("HY010", state);
  a.d.lastRec = 2;
  EXPECT_EQ("[Quillmar][ODBC][Driver]Invalid string or buffer length", Read(&a.d, 3, 2, state));
  EXPECT_STREQ("HY090", state);
}

}  // namespace
