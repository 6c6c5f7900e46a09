// The 8-bit and the UTF-16 diagnostic readers side by side on the same
// records. A library exports only one of the two kinds, so the comparison
// on texts that only a list record can carry (non-ASCII, several records)
// is made here, where the core holds both.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core_fixture.h"
#include "driver/diag.h"
#include "tests/support/utf.h"

namespace {

using qmrtest::CoreTest;

using qmr_test::Units;
using qmr_test::Utf8;

// UTF-16 units of a UTF-8 text.
size_t Utf16Length(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s) {
    if ((c & 0xC0) == 0x80) continue;
    n += c >= 0xF0 ? 2 : 1;
  }
  return n;
}

// Database messages as the agent hands them over, the state behind its tag.
const char kGerman[] =
    "Tabelle \xE2\x80\x9E"
    "Kunden\xE2\x80\x9C nicht gefunden [SQLSTATE:42S02]";
const char kEmoji[] = "Zeile \xF0\x9F\x98\x80 abgewiesen[SQLSTATE:23000]";
const char kAscii[] = "plain warning[SQLSTATE:01000]";

class DiagForms : public qmrtest::EnvDbcTest {
 protected:
  // Gives a connection the three database records.
  void Fill(SQLHDBC h) {
    plat::Guard<plat::RecursiveMutex> g(DRV_CallLock());
    ConnHandle* c = DRV_LookupConn(DRV_HandleNumber(h));
    ASSERT_NE(nullptr, c);
    DIAG_AddEx(&c->diag, kGerman, -206, false);
    DIAG_AddEx(&c->diag, kEmoji, -268, false);
    DIAG_AddEx(&c->diag, kAscii, 0, false);
  }
};

TEST_F(DiagForms, RecordAndFieldReadersOfBothWidthsAgree) {
  Fill(dbc);
  SQLINTEGER count = 0, countW = 0;
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetDiagField(SQL_HANDLE_DBC, dbc, 0, SQL_DIAG_NUMBER, &count, 0, &len));
  ASSERT_EQ(SQL_SUCCESS,
            SQLGetDiagFieldW(SQL_HANDLE_DBC, dbc, 0, SQL_DIAG_NUMBER, &countW, 0, &len));
  EXPECT_EQ(3, count);
  EXPECT_EQ(count, countW);

  const char* states[] = {"42S02", "23000", "01000"};
  const SQLINTEGER natives[] = {-206, -268, 0};
  for (SQLSMALLINT rec = 1; rec <= 3; ++rec) {
    SCOPED_TRACE(rec);
    SQLCHAR state[6] = "";
    SQLCHAR msg[256] = "";
    SQLINTEGER native = 1;
    SQLSMALLINT alen = -1;
    ASSERT_EQ(SQL_SUCCESS,
              SQLGetDiagRec(SQL_HANDLE_DBC, dbc, rec, state, &native, msg, sizeof msg, &alen));
    SQLWCHAR stateW[6] = {0};
    SQLWCHAR msgW[256] = {0};
    SQLINTEGER nativeW = 1;
    SQLSMALLINT wlen = -1;
    ASSERT_EQ(SQL_SUCCESS,
              SQLGetDiagRecW(SQL_HANDLE_DBC, dbc, rec, stateW, &nativeW, msgW, 256, &wlen));
    const std::string narrow = reinterpret_cast<char*>(msg);
    EXPECT_EQ(0u, narrow.rfind("[Quillmar][ODBC]", 0));
    EXPECT_STREQ(states[rec - 1], reinterpret_cast<char*>(state));
    EXPECT_EQ(states[rec - 1], Utf8(stateW, 5));
    EXPECT_EQ(natives[rec - 1], native);
    EXPECT_EQ(native, nativeW);
    EXPECT_EQ(narrow, Utf8(msgW, Units(msgW)));
    // Lengths: bytes for the 8-bit form, UTF-16 units for the W form.
    EXPECT_EQ(static_cast<SQLSMALLINT>(narrow.size()), alen);
    EXPECT_EQ(static_cast<SQLSMALLINT>(Utf16Length(narrow)), wlen);
    EXPECT_EQ(static_cast<size_t>(wlen), Units(msgW));

    char field[256] = "";
    SQLSMALLINT flen = -1;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDiagField(SQL_HANDLE_DBC, dbc, rec, SQL_DIAG_MESSAGE_TEXT, field,
                                           sizeof field, &flen));
    EXPECT_EQ(narrow, field);
    EXPECT_EQ(alen, flen);
    SQLWCHAR fieldW[256] = {0};
    ASSERT_EQ(SQL_SUCCESS, SQLGetDiagFieldW(SQL_HANDLE_DBC, dbc, rec, SQL_DIAG_MESSAGE_TEXT, fieldW,
                                            sizeof fieldW, &flen));
    EXPECT_EQ(narrow, Utf8(fieldW, Units(fieldW)));
    EXPECT_EQ(wlen * 2, flen);  // bytes
    ASSERT_EQ(SQL_SUCCESS, SQLGetDiagFieldW(SQL_HANDLE_DBC, dbc, rec, SQL_DIAG_SQLSTATE, fieldW,
                                            sizeof fieldW, &flen));
    EXPECT_EQ(states[rec - 1], Utf8(fieldW, Units(fieldW)));
    EXPECT_EQ(10, flen);
    SQLINTEGER fnative = 1;
    ASSERT_EQ(SQL_SUCCESS,
              SQLGetDiagFieldW(SQL_HANDLE_DBC, dbc, rec, SQL_DIAG_NATIVE, &fnative, 0, &flen));
    EXPECT_EQ(native, fnative);
  }
  // Reading consumed nothing.
  ASSERT_EQ(SQL_SUCCESS, SQLGetDiagField(SQL_HANDLE_DBC, dbc, 0, SQL_DIAG_NUMBER, &count, 0, &len));
  EXPECT_EQ(3, count);
}

TEST_F(DiagForms, CutsNeverSplitACharacterInEitherWidth) {
  Fill(dbc);
  const std::string whole = std::string("[Quillmar][ODBC]") + "Zeile \xF0\x9F\x98\x80 abgewiesen";
  // "[Quillmar][ODBC]Zeile " is 22 units; the emoji takes units 22 and 23.
  for (SQLSMALLINT cap = 22; cap <= 25; ++cap) {
    SCOPED_TRACE(cap);
    SQLWCHAR msgW[64];
    for (SQLWCHAR& u : msgW) u = 'z';
    SQLSMALLINT wlen = -1;
    ASSERT_EQ(SQL_SUCCESS_WITH_INFO,
              SQLGetDiagRecW(SQL_HANDLE_DBC, dbc, 2, nullptr, nullptr, msgW, cap, &wlen));
    const size_t got = Units(msgW);
    EXPECT_LT(got, static_cast<size_t>(cap));
    // Never a lone high surrogate at the end.
    ASSERT_GT(got, 0u);
    EXPECT_FALSE(msgW[got - 1] >= 0xD800 && msgW[got - 1] < 0xDC00) << "split pair";
    EXPECT_EQ(0u, whole.find(Utf8(msgW, got)));
    EXPECT_EQ(static_cast<SQLSMALLINT>(Utf16Length(whole)), wlen);
  }
  for (SQLSMALLINT cap = 23; cap <= 27; ++cap) {
    SCOPED_TRACE(cap);
    SQLCHAR msg[64];
    SQLSMALLINT alen = -1;
    ASSERT_EQ(SQL_SUCCESS_WITH_INFO,
              SQLGetDiagRec(SQL_HANDLE_DBC, dbc, 2, nullptr, nullptr, msg, cap, &alen));
    const std::string got = reinterpret_cast<char*>(msg);
    EXPECT_LT(got.size(), static_cast<size_t>(cap));
    EXPECT_EQ(0u, whole.find(got));
    // The cut lands before the 4-byte sequence or after it, never inside.
    EXPECT_TRUE(got.size() <= 22 || got.size() >= 26) << got.size();
    EXPECT_EQ(static_cast<SQLSMALLINT>(whole.size()), alen);
  }
}

TEST_F(DiagForms, ErrorAndErrorWDrainTheSameRecordsInTheSameOrder) {
  SQLHDBC other = NewConn(env);
  Fill(dbc);
  Fill(other);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    SQLCHAR state[6] = "";
    SQLCHAR msg[256] = "";
    SQLINTEGER native = 1;
    SQLSMALLINT alen = -1;
    ASSERT_EQ(SQL_SUCCESS, SQLError(nullptr, dbc, nullptr, state, &native, msg, sizeof msg, &alen));
    SQLWCHAR stateW[6] = {0};
    SQLWCHAR msgW[256] = {0};
    SQLINTEGER nativeW = 1;
    SQLSMALLINT wlen = -1;
    ASSERT_EQ(SQL_SUCCESS, SQLErrorW(nullptr, other, nullptr, stateW, &nativeW, msgW, 256, &wlen));
    EXPECT_EQ(reinterpret_cast<char*>(state), Utf8(stateW, 5));
    EXPECT_EQ(native, nativeW);
    const std::string narrow = reinterpret_cast<char*>(msg);
    EXPECT_EQ(narrow, Utf8(msgW, Units(msgW)));
    EXPECT_EQ(static_cast<SQLSMALLINT>(narrow.size()), alen);
    EXPECT_EQ(static_cast<SQLSMALLINT>(Utf16Length(narrow)), wlen);
  }
  SQLCHAR state[6] = "";
  SQLWCHAR stateW[6] = {0};
  EXPECT_EQ(SQL_NO_DATA, SQLError(nullptr, dbc, nullptr, state, nullptr, nullptr, 0, nullptr));
  EXPECT_STREQ("00000", reinterpret_cast<char*>(state));
  EXPECT_EQ(SQL_NO_DATA, SQLErrorW(nullptr, other, nullptr, stateW, nullptr, nullptr, 0, nullptr));
  EXPECT_EQ("00000", Utf8(stateW, 5));
}

TEST_F(DiagForms, ShortBufferOfSqlErrorWStillConsumesTheRecord) {
  Fill(dbc);
  SQLWCHAR stateW[6] = {0};
  SQLWCHAR msgW[8];
  SQLSMALLINT wlen = -1;
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO,
            SQLErrorW(nullptr, dbc, nullptr, stateW, nullptr, msgW, 8, &wlen));
  EXPECT_EQ("[Quillm", Utf8(msgW, Units(msgW)));
  EXPECT_EQ("42S02", Utf8(stateW, 5));
  // The cut record is gone; the next one comes, and no truncation record
  // was added on the way.
  SQLINTEGER count = 0;
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetDiagField(SQL_HANDLE_DBC, dbc, 0, SQL_DIAG_NUMBER, &count, 0, &len));
  EXPECT_EQ(2, count);
  // Without a buffer the message does not fit: a warning, in both widths.
  SQLCHAR state[6] = "";
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO,
            SQLErrorW(nullptr, dbc, nullptr, stateW, nullptr, nullptr, 0, nullptr));
  EXPECT_EQ("23000", Utf8(stateW, 5));
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO,
            SQLError(nullptr, dbc, nullptr, state, nullptr, nullptr, 0, nullptr));
  EXPECT_STREQ("01000", reinterpret_cast<char*>(state));
  EXPECT_EQ(SQL_NO_DATA, SQLErrorW(nullptr, dbc, nullptr, stateW, nullptr, nullptr, 0, nullptr));
}

}  // namespace
