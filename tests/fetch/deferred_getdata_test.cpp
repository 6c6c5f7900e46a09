// SQLGetData over a value the agent keeps back and delivers in pieces of its
// own size: every byte reaches the application, once, and every call
// reports what is left of the whole value.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fetch/fetch_fixture.h"

namespace qmrtest {
namespace {

// The agent side: the value of column 1 is kept back and handed out from a
// read position, at most `piece` bytes a call.
struct Deferred {
  std::string value;
  uint32_t type = COLSET_VT_NTS;
  size_t piece = 0;
  size_t pos = 0;
  bool knowsTotal = true;
  int calls = 0;
};
Deferred* gDeferred = nullptr;
DRV_Fetch_t gFetch = nullptr;

uint32_t FetchDeferring(uint32_t h, uint16_t rows, COLSET* set) {
  const uint32_t rc = gFetch(h, rows, set);
  if (rc == 0 && set->cols_used > 0) {
    for (uint32_t r = 0; r < set->rows_held; ++r) set->cols[0].ind[r] = COLSET_IND_DEFERRED;
  }
  return rc;
}

uint32_t GetDataPiece(uint32_t, uint16_t column, uint16_t, int16_t, void** value,
                      uint32_t* delivered, uint32_t* type, uint32_t* total) {
  Deferred& d = *gDeferred;
  if (value == nullptr) {
    d.pos = 0;
    return 0;
  }
  ++d.calls;
  if (column != 1) return 21;
  const size_t n = std::min(d.piece, d.value.size() - d.pos);
  *value = nullptr;
  if (n > 0) {
    *value = std::malloc(n);
    std::memcpy(*value, d.value.data() + d.pos, n);
    d.pos += n;
  }
  *delivered = static_cast<uint32_t>(n);
  *type = d.type;
  *total = d.knowsTotal ? static_cast<uint32_t>(d.value.size()) : 0;
  return 0;
}

class DeferredGetData : public FetchTest {
 protected:
  void SetUp() override {
    FetchTest::SetUp();
    gDeferred = &agent;
    gFetch = table.DRV_Fetch;
    table.DRV_Fetch = FetchDeferring;
    table.DRV_GetData = GetDataPiece;
  }
  void TearDown() override {
    gDeferred = nullptr;
    FetchTest::TearDown();
  }
  SQLHSTMT Row(const std::string& value, size_t piece) {
    agent.value = value;
    agent.piece = piece;
    data.cols = {{"V", SQL_LONGVARCHAR, COLSET_VT_NTS, 2, 1000}};
    data.rows = {{FVal::Text("")}};
    SQLHSTMT h = Query();
    EXPECT_EQ(SQL_SUCCESS, SQLFetch(h));
    return h;
  }
  // Reads the column in buffers of size bytes until SQL_NO_DATA.
  std::string ReadAll(SQLHSTMT h, SQLLEN size, std::vector<SQLLEN>* lengths) {
    std::vector<char> buf(static_cast<size_t>(size));
    std::string all;
    SQLLEN len = 0;
    SQLRETURN rc;
    while ((rc = SQLGetData(h, 1, SQL_C_CHAR, buf.data(), size, &len)) != SQL_NO_DATA) {
      EXPECT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) << rc << " " << StmtState(h);
      if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
      if (rc == SQL_SUCCESS_WITH_INFO) {
        EXPECT_EQ("01004", StmtState(h));
      }
      lengths->push_back(len);
      all += buf.data();
      if (lengths->size() > 20) break;
    }
    return all;
  }

  Deferred agent;
};

TEST_F(DeferredGetData, AWholeValueDeliveredAtOnceComesInBufferPieces) {
  SQLHSTMT h = Row("0123456789", 100);
  std::vector<SQLLEN> lengths;
  EXPECT_EQ("0123456789", ReadAll(h, 4, &lengths));
  EXPECT_EQ((std::vector<SQLLEN>{10, 7, 4, 1}), lengths);
  char buf[4];
  SQLLEN len = 0;
  EXPECT_EQ(SQL_NO_DATA, SQLGetData(h, 1, SQL_C_CHAR, buf, sizeof buf, &len));
}

TEST_F(DeferredGetData, SmallAgentPiecesAreJoinedAndTheLengthsCountTheWholeRest) {
  SQLHSTMT h = Row("0123456789", 4);
  std::vector<SQLLEN> lengths;
  EXPECT_EQ("0123456789", ReadAll(h, 4, &lengths));
  EXPECT_EQ((std::vector<SQLLEN>{10, 7, 4, 1}), lengths);
}

TEST_F(DeferredGetData, PiecesThatSplitACharacterStillGiveWholeCharacters) {
  // Five two-byte characters delivered three bytes at a time, read as wide
  // text two characters a call.
  SQLHSTMT h = Row("\xCE\xB1\xCE\xB2\xCE\xB3\xCE\xB4\xCE\xB5", 3);
  char16_t buf[3];
  SQLLEN len = 0;
  std::u16string all;
  SQLRETURN rc;
  int calls = 0;
  while ((rc = SQLGetData(h, 1, SQL_C_WCHAR, buf, sizeof buf, &len)) != SQL_NO_DATA &&
         ++calls < 10) {
    ASSERT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) << StmtState(h);
    all += buf;
  }
  EXPECT_EQ(u"\u03B1\u03B2\u03B3\u03B4\u03B5", all);
}

TEST_F(DeferredGetData, ALengthQueryFirstLosesNothing) {
  SQLHSTMT h = Row("abcdef", 100);
  char buf[8];
  SQLLEN len = 0;
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetData(h, 1, SQL_C_CHAR, buf, 0, &len));
  EXPECT_EQ(6, len);
  std::vector<SQLLEN> lengths;
  EXPECT_EQ("abcdef", ReadAll(h, 8, &lengths));
}

TEST_F(DeferredGetData, AnEmptyValueIsReadOnceThenNoData) {
  SQLHSTMT h = Row("", 100);
  char buf[8] = "x";
  SQLLEN len = 99;
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(h, 1, SQL_C_CHAR, buf, sizeof buf, &len));
  EXPECT_EQ(0, len);
  EXPECT_STREQ("", buf);
  EXPECT_EQ(SQL_NO_DATA, SQLGetData(h, 1, SQL_C_CHAR, buf, sizeof buf, &len));
}

TEST_F(DeferredGetData, AnAgentThatDoesNotKnowTheTotalStillLosesNothing) {
  agent.knowsTotal = false;
  SQLHSTMT h = Row("0123456789", 3);
  std::vector<SQLLEN> lengths;
  EXPECT_EQ("0123456789", ReadAll(h, 4, &lengths));
  ASSERT_FALSE(lengths.empty());
  EXPECT_EQ(1, lengths.back());
}

}  // namespace
}  // namespace qmrtest
