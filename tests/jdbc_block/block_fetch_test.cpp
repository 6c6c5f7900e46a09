// Rows read a block at a time against the same rows read value by value:
// the row buffers, indicators, counts and diagnostics must be the same.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "block_env.h"
#include "drv_jdbc/j-exec-block.h"
#include "drv_jdbc/j-vm.h"

namespace {

using namespace jblock_test;

// The VM's default time zone, which both readers take the fields in.
void SetDefaultZone(const char* id) {
  JNIEnv* env = attachJVM();
  ASSERT_NE(env, nullptr);
  jclass tz = env->FindClass("java/util/TimeZone");
  ASSERT_NE(tz, nullptr);
  jmethodID get =
      env->GetStaticMethodID(tz, "getTimeZone", "(Ljava/lang/String;)Ljava/util/TimeZone;");
  jmethodID set = env->GetStaticMethodID(tz, "setDefault", "(Ljava/util/TimeZone;)V");
  jstring name = env->NewStringUTF(id);
  jobject zone = env->CallStaticObjectMethod(tz, get, name);
  EXPECT_FALSE(env->ExceptionCheck());
  env->CallStaticVoidMethod(tz, set, zone);
  EXPECT_FALSE(env->ExceptionCheck());
  env->ExceptionClear();
  env->DeleteLocalRef(zone);
  env->DeleteLocalRef(name);
  env->DeleteLocalRef(tz);
}

// QMRRowBlock's switch of the drivers' shortcuts, and its count of blocks
// a shortcut read values in (the class is there once a block was read).
void SetShortcuts(bool on) {
  JNIEnv* env = attachJVM();
  ASSERT_NE(env, nullptr);
  jclass c = env->FindClass("quillmar/support/QMRRowBlock");
  ASSERT_NE(c, nullptr);
  env->SetStaticBooleanField(c, env->GetStaticFieldID(c, "shortcuts", "Z"), on);
  EXPECT_FALSE(env->ExceptionCheck());
  env->DeleteLocalRef(c);
}

jlong ShortcutBlocks() {
  JNIEnv* env = attachJVM();
  jclass c = env != nullptr ? env->FindClass("quillmar/support/QMRRowBlock") : nullptr;
  if (c == nullptr) {
    ADD_FAILURE() << "no QMRRowBlock class";
    return -1;
  }
  const jlong n = env->GetStaticLongField(c, env->GetStaticFieldID(c, "shortcutBlocks", "J"));
  env->DeleteLocalRef(c);
  return n;
}

class BlockFetchTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    conn_ = ConnectHsqldb("blockfetch");
    ASSERT_NE(conn_, 0u);
    Exec(conn_,
         {"CREATE TABLE alltypes (id INTEGER, bo BOOLEAN, ti TINYINT, si SMALLINT, ii INTEGER,"
          " bi BIGINT, re REAL, db DOUBLE, de DECIMAL(12,2), nu NUMERIC(30,10), dt DATE,"
          " tm TIME, ts TIMESTAMP(9), ch CHAR(5), vc VARCHAR(40), bn BINARY(4),"
          " vb VARBINARY(8))",
          // Every column has NULLs in rows of its own pattern; 150 rows make
          // more than two blocks.
          "INSERT INTO alltypes SELECT x,"
          " CASE WHEN MOD(x, 7) = 0 THEN NULL WHEN MOD(x, 2) = 0 THEN TRUE ELSE FALSE END,"
          " CASE WHEN MOD(x, 8) = 1 THEN NULL ELSE MOD(x, 100) - 50 END,"
          " CASE WHEN MOD(x, 9) = 2 THEN NULL ELSE x * -37 END,"
          " CASE WHEN MOD(x, 10) = 3 THEN NULL ELSE x * 1000003 END,"
          " CASE WHEN MOD(x, 11) = 4 THEN NULL ELSE x * -100000000007 END,"
          " CASE WHEN MOD(x, 12) = 5 THEN NULL ELSE x / 3.0E0 END,"
          " CASE WHEN MOD(x, 13) = 6 THEN NULL ELSE x / -7.0E0 END,"
          " CASE WHEN MOD(x, 5) = 1 THEN NULL ELSE CAST(x AS DECIMAL(12,2)) / -100 END,"
          " CASE WHEN MOD(x, 6) = 1 THEN NULL ELSE CAST(x AS NUMERIC(30,10)) / 3 END,"
          " CASE WHEN MOD(x, 7) = 2 THEN NULL ELSE DATE '1999-12-31' + x DAY END,"
          " CASE WHEN MOD(x, 8) = 3 THEN NULL ELSE TIME '12:34:56' + x SECOND END,"
          " CASE WHEN MOD(x, 9) = 4 THEN NULL"
          "  ELSE TIMESTAMP '2020-02-28 23:59:00.123456789' + x SECOND END,"
          " CASE WHEN MOD(x, 10) = 5 THEN NULL ELSE 'c' || MOD(x, 1000) END,"
          " CASE WHEN MOD(x, 11) = 6 THEN NULL WHEN MOD(x, 3) = 0 THEN ''"
          "  WHEN MOD(x, 7) = 4 THEN 'r' || x || ' \xC3\xA9'"
          "  ELSE 'r' || x || ' \xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80' END,"
          " CASE WHEN MOD(x, 4) = 0 THEN NULL ELSE X'DEADBEEF' END,"
          " CASE WHEN MOD(x, 5) = 2 THEN NULL WHEN MOD(x, 2) = 0 THEN X'00' ELSE X'0001FF' END"
          " FROM UNNEST(SEQUENCE_ARRAY(1, 150, 1)) AS t(x)",
          "CREATE TABLE longs (id INTEGER, c CLOB, b BLOB, lv LONGVARCHAR)",
          "INSERT INTO longs VALUES (1, 'clob text', X'0102', 'long text'),"
          " (2, NULL, NULL, NULL), (3, U&'\\00e9t\\00e9', X'', '')",
          // The edges of every type the block reader computes or formats
          // itself: the first and last dates, the calendar cut-over, before
          // 1900 and 1970, a daylight-saving gap and overlap, nanoseconds,
          // the BIGINT limits, decimals that fit a long and that do not.
          "CREATE TABLE edges (id INTEGER, dt DATE, tm TIME, ts TIMESTAMP(9), bi BIGINT,"
          " de DECIMAL(38,10), nu NUMERIC(18,0), sm DECIMAL(5,5))",
          "INSERT INTO edges VALUES"
          " (1, '0001-01-01', '00:00:00', '0001-01-01 00:00:00.000000001',"
          "  -9223372036854775808, 9999999999999999999999999999.9999999999,"
          "  999999999999999999, 0.99999),"
          " (2, '1582-10-04', '23:59:59', '1582-10-04 23:59:59.999999999',"
          "  9223372036854775807, -9999999999999999999999999999.9999999999,"
          "  -999999999999999999, -0.00001),"
          " (3, '1582-10-15', '12:00:00', '1582-10-15 00:00:00', 0, 0.0000000001, 0, 0),"
          " (4, '1899-12-31', '01:02:03', '1899-12-31 23:59:59.5', -1, -0.0000000001, -1, 0.5),"
          " (5, '1900-01-01', '23:00:00', '1969-12-31 23:59:59.999999999', 1, 12345678.9,"
          "  1, -0.5),"
          " (6, '1937-07-01', '00:19:32', '1937-06-30 23:59:59', 1000003, -12345678.9,"
          "  10, 0.1),"
          " (7, '1970-01-01', '02:30:00', '2021-03-28 02:30:00', 42, 1, 100, 0.01),"
          " (8, '2000-02-29', '02:30:00', '2021-10-31 02:30:00.123', -42, -1, -100, -0.01),"
          " (9, '2038-01-19', '03:14:08', '2038-01-19 03:14:08.000001', 7, 0.5, 7, 0.00100),"
          " (10, '9999-12-31', '23:59:59', '9999-12-31 23:59:59.999999999', -7,"
          "  99999999.9999999999, 999, 0.99999),"
          " (11, NULL, NULL, NULL, NULL, NULL, NULL, NULL)"});
    ready_ = !::testing::Test::HasFailure();
  }
  // A failed set-up fails every test instead of passing them unseen.
  void SetUp() override { ASSERT_TRUE(ready_) << "the tables could not be made"; }
  static void TearDownTestSuite() {
    if (conn_ != 0) Ops().DRV_Disconnect(conn_);
    conn_ = 0;
  }

  // Both ways, the block reader used (and only) where expected.
  static void ExpectSame(const std::string& sql, uint16_t rows, uint32_t wide, bool blockUsed,
                         uint32_t conn = conn_) {
    const uint64_t before = jblock::BlocksRead();
    const auto block = FetchAll(conn, sql, rows, true, wide);
    const uint64_t used = jblock::BlocksRead() - before;
    const auto plain = FetchAll(conn, sql, rows, false, wide);
    EXPECT_EQ(jblock::BlocksRead() - before, used);  // off means off
    if (blockUsed)
      EXPECT_GT(used, 0u);
    else
      EXPECT_EQ(used, 0u);
    ASSERT_EQ(block.size(), plain.size());
    for (size_t i = 0; i < block.size(); ++i)
      EXPECT_TRUE(block[i] == plain[i]) << "fetch " << i << "\nblock: " << Describe(block[i])
                                        << "\nvalue by value: " << Describe(plain[i]);
  }

  static uint32_t conn_;
  static bool ready_;
};

uint32_t BlockFetchTest::conn_ = 0;
bool BlockFetchTest::ready_ = false;

const char* kAll =
    "SELECT id, bo, ti, si, ii, bi, re, db, de, nu, dt, tm, ts, ch, vc, bn, vb FROM alltypes"
    " ORDER BY id";

TEST_F(BlockFetchTest, EveryTypeMatchesValueByValue) {
  ExpectSame(kAll, 60, 0, true);
  ExpectSame(kAll, 60, 1, true);  // character columns as wide text
}

// The fields of dates and times come from the instant in the VM's default
// zone, as the deprecated getters of a per-value read compute them: the
// same in zones with daylight saving, odd offsets and local mean time
// before 1900.
TEST_F(BlockFetchTest, EdgeValuesMatchInEveryZone) {
  const char* sql = "SELECT id, dt, tm, ts, bi, de, nu, sm FROM edges ORDER BY id";
  for (const char* zone : {"UTC", "Europe/Amsterdam", "America/St_Johns", "Asia/Kolkata",
                           "Pacific/Kiritimati", "America/Los_Angeles"}) {
    SCOPED_TRACE(zone);
    SetDefaultZone(zone);
    ExpectSame(sql, 4, 0, true);
    ExpectSame(sql, 60, 1, true);
  }
  SetDefaultZone("UTC");
  const auto shots = FetchAll(conn_, sql, 60, true);
  ASSERT_FALSE(shots.empty());
  const FetchShot& s = shots[0];
  ASSERT_EQ(s.rowsHeld, 11u);
  const auto text = [&](size_t col, size_t row) {
    const size_t width = s.elements[col].size() / s.rowsHeld;
    return std::string(reinterpret_cast<const char*>(s.elements[col].data() + row * width));
  };
  const struct {
    size_t col, row;
    const char* want;
  } kTexts[] = {
      {4, 0, "-9223372036854775808"},
      {4, 1, "9223372036854775807"},
      {4, 10, ""},
      {5, 0, "9999999999999999999999999999.9999999999"},
      {5, 2, "0.0000000001"},
      {5, 3, "-0.0000000001"},
      {5, 4, "12345678.9000000000"},
      {6, 1, "-999999999999999999"},
      {7, 1, "-0.00001"},
      {7, 2, "0.00000"},
  };
  for (const auto& t : kTexts)
    EXPECT_EQ(text(t.col, t.row), t.want) << "column " << t.col << " row " << t.row;
  EXPECT_EQ(s.indicators[4][10], COLSET_IND_NULL);
}

// HSQLDB's getters take the stored fields as a wall time of the session's
// zone (the default zone at connect, or SET TIME ZONE's): sessions in zones
// with daylight saving, where the edges hold a wall time in a gap and one
// in an overlap, read in other zones.
TEST_F(BlockFetchTest, EdgeValuesMatchWhateverTheSessionZone) {
  const char* sql = "SELECT id, dt, tm, ts FROM edges ORDER BY id";
  const struct {
    const char* connectZone;
    const char* setZone;  // a SET TIME ZONE after connect, or null
  } kSessions[] = {
      {"Europe/Amsterdam", nullptr},
      {"America/St_Johns", nullptr},
      {"Europe/Amsterdam", "SET TIME ZONE INTERVAL '+05:30' HOUR TO MINUTE"},
  };
  for (const auto& session : kSessions) {
    SCOPED_TRACE(std::string("session ") + session.connectZone +
                 (session.setZone != nullptr ? session.setZone : ""));
    SetDefaultZone(session.connectZone);
    const uint32_t conn = ConnectHsqldb("blockfetch");
    ASSERT_NE(conn, 0u);
    if (session.setZone != nullptr) Exec(conn, {session.setZone});
    for (const char* zone : {session.connectZone, "UTC", "Asia/Kolkata", "America/Los_Angeles"}) {
      SCOPED_TRACE(zone);
      SetDefaultZone(zone);
      ExpectSame(sql, 4, 0, true, conn);
    }
    Ops().DRV_Disconnect(conn);
  }
  SetDefaultZone("UTC");
}

// A later HSQLDB whose stored values the shortcut cannot reach costs
// speed, not data: with the shortcut off, every date, time and timestamp
// read by its getter gives what the shortcut gives, whatever the session's
// and the reader's zones.
TEST_F(BlockFetchTest, WithoutTheShortcutTheGettersGiveTheSameValues) {
  const struct {
    const char* session;
    const char* setZone;  // a SET TIME ZONE after connect, or null
    const char* reader;
  } kZones[] = {
      {"UTC", nullptr, "UTC"},
      {"Europe/Amsterdam", nullptr, "Europe/Amsterdam"},
      {"Europe/Amsterdam", nullptr, "America/St_Johns"},
      {"America/Los_Angeles", "SET TIME ZONE INTERVAL '+05:30' HOUR TO MINUTE", "Asia/Kolkata"},
  };
  FetchAll(conn_, kAll, 60, true);  // the class is there from here on
  for (const auto& z : kZones) {
    SCOPED_TRACE(std::string(z.session) + " read in " + z.reader);
    SetDefaultZone(z.session);
    const uint32_t conn = ConnectHsqldb("blockfetch");
    ASSERT_NE(conn, 0u);
    if (z.setZone != nullptr) Exec(conn, {z.setZone});
    SetDefaultZone(z.reader);
    for (const char* sql : {kAll, "SELECT id, dt, tm, ts FROM edges ORDER BY id"}) {
      const jlong before = ShortcutBlocks();
      const auto fast = FetchAll(conn, sql, 7, true);
      const jlong taken = ShortcutBlocks();
      SetShortcuts(false);
      const auto slow = FetchAll(conn, sql, 7, true);
      SetShortcuts(true);
      EXPECT_GT(taken, before) << sql << ": the shortcut read nothing";
      EXPECT_EQ(ShortcutBlocks(), taken) << sql << ": the shortcut read while off";
      ASSERT_EQ(fast.size(), slow.size()) << sql;
      for (size_t i = 0; i < fast.size(); ++i)
        EXPECT_TRUE(fast[i] == slow[i])
            << sql << " fetch " << i << "\nshortcut: " << Describe(fast[i])
            << "\ngetters: " << Describe(slow[i]);
    }
    Ops().DRV_Disconnect(conn);
  }
  SetDefaultZone("UTC");
}

TEST_F(BlockFetchTest, BlockSizesThatDoNotDivideTheRows) {
  ExpectSame(kAll, 1, 0, true);
  ExpectSame(kAll, 7, 1, true);
  ExpectSame(kAll, 149, 0, true);
  ExpectSame(kAll, 500, 0, true);
}

TEST_F(BlockFetchTest, ValuesLandWhereTheyBelong) {
  const auto shots = FetchAll(conn_, kAll, 60, true, 1);
  ASSERT_GE(shots.size(), 3u);
  EXPECT_EQ(shots[0].rowsHeld, 60u);
  EXPECT_EQ(shots[1].rowsHeld, 60u);
  EXPECT_EQ(shots[2].rowsHeld, 30u);
  EXPECT_TRUE(shots[2].noMoreRows);
  EXPECT_EQ(shots[2].rowsFetched, 150u);
  const FetchShot& s = shots[0];
  ASSERT_EQ(s.colsUsed, 17u);
  // Row 7 (index 6): id 7, bo NULL (MOD 7 = 0), ti 7 - 50.
  int32_t id;
  std::memcpy(&id, s.elements[0].data() + 6 * 4, 4);
  EXPECT_EQ(id, 7);
  EXPECT_EQ(s.indicators[1][6], COLSET_IND_NULL);
  EXPECT_EQ(s.indicators[1][5], 0);
  const size_t tiWidth = s.elements[2].size() / 60;
  int16_t ti;
  std::memcpy(&ti, s.elements[2].data() + 6 * tiWidth, 2);
  EXPECT_EQ(ti, -43);
  // The timestamp of row 1 keeps its nanoseconds.
  const size_t tsWidth = s.elements[12].size() / 60;
  uint32_t fraction;
  std::memcpy(&fraction, s.elements[12].data() + 12, 4);
  EXPECT_EQ(tsWidth, 20u);
  EXPECT_EQ(fraction, 123456789u);
  // Row 1's text as UTF-16: "r1 " then e acute, a CJK character, a pair.
  ASSERT_EQ(s.types[14], static_cast<uint32_t>(COLSET_VT_WCHAR32));
  const std::u16string want = u"r1 \u00e9\u4e2d\U0001F600";
  uint32_t units = 0;
  std::memcpy(&units, s.elements[14].data(), 4);
  ASSERT_EQ(units, want.size());
  std::u16string got(units, u'\0');
  std::memcpy(&got[0], s.elements[14].data() + 4, got.size() * 2);
  EXPECT_EQ(got, want);
  // Row 2's decimal in plain text.
  const size_t deWidth = s.elements[8].size() / 60;
  EXPECT_STREQ(reinterpret_cast<const char*>(s.elements[8].data() + deWidth), "-0.02");
}

// One statement keeps its block from one prepare to the next: columns of
// other kinds, more and fewer slots, more rows than the block had room for.
TEST_F(BlockFetchTest, AKeptBlockServesTheNextPrepareWithOtherColumns) {
  const struct {
    const char* sql;
    uint16_t rows;
    uint32_t wide;
  } kRuns[] = {
      {"SELECT id, vc FROM alltypes ORDER BY id", 7, 0},
      {"SELECT ts, de, bo, vb, dt, id FROM alltypes ORDER BY id", 60, 1},
      {"SELECT nu, bi, ch FROM alltypes ORDER BY id", 3, 0},
      {kAll, 150, 1},
      {"SELECT vc FROM alltypes ORDER BY id DESC", 60, 0},
  };
  Stmt kept(conn_);
  for (const auto& run : kRuns) {
    const auto reused = FetchAllOn(kept, run.sql, run.rows, true, run.wide);
    const auto plain = FetchAll(conn_, run.sql, run.rows, false, run.wide);
    ASSERT_EQ(reused.size(), plain.size()) << run.sql;
    for (size_t i = 0; i < reused.size(); ++i)
      EXPECT_TRUE(reused[i] == plain[i])
          << run.sql << " fetch " << i << "\nblock: " << Describe(reused[i])
          << "\nvalue by value: " << Describe(plain[i]);
  }
}

TEST_F(BlockFetchTest, LongValuesAreReadValueByValue) {
  ExpectSame("SELECT id, c, b, lv FROM longs ORDER BY id", 60, 0, false);
  ExpectSame("SELECT id, c, b, lv FROM longs ORDER BY id", 60, 1, false);
}

TEST_F(BlockFetchTest, AnEmptyResultAndOneWithoutRowsLeft) {
  ExpectSame("SELECT id, vc FROM alltypes WHERE id < 0", 60, 0, true);
  ExpectSame("SELECT id, vc FROM alltypes WHERE id <= 60 ORDER BY id", 60, 0, true);
}

// Derby computes rows as they are read: a division by zero in the seventh
// row fails the second block after two good rows.
TEST(BlockFetchFailure, AJavaExceptionInsideABlockKeepsTheRowsBeforeIt) {
  const uint32_t conn = ConnectDerby("blockfail");
  ASSERT_NE(conn, 0u);
  Exec(conn, {"CREATE TABLE nums (n INTEGER)",
              "INSERT INTO nums VALUES (1), (2), (3), (4), (5), (6), (7), (8), (9), (10)"});
  const std::string sql = "SELECT n, 100 / (n - 7) FROM nums";
  const auto block = FetchAll(conn, sql, 4, true);
  const auto plain = FetchAll(conn, sql, 4, false);
  // The rows before the failing one come with success; the failure waits
  // for the fetch that reaches its row.
  ASSERT_EQ(block.size(), 3u);
  EXPECT_EQ(block[0].rc, 0u);
  EXPECT_EQ(block[0].rowsHeld, 4u);
  EXPECT_EQ(block[1].rc, 0u);
  EXPECT_EQ(block[1].rowsHeld, 2u);
  EXPECT_EQ(block[1].rowsFetched, 6u);
  EXPECT_NE(block[2].rc, 0u);
  EXPECT_EQ(block[2].rowsHeld, 0u);
  ASSERT_FALSE(block[2].errors.empty());
  EXPECT_NE(block[2].errors[0].find("zero"), std::string::npos) << block[2].errors[0];
  ASSERT_EQ(plain.size(), block.size());
  for (size_t i = 0; i < block.size(); ++i)
    EXPECT_TRUE(block[i] == plain[i]) << "fetch " << i << "\nblock: " << Describe(block[i])
                                      << "\nvalue by value: " << Describe(plain[i]);
  Ops().DRV_Disconnect(conn);
}

}  // namespace

namespace {

using namespace jblock_test;

// PostgreSQL's ranges go further: years BC, after 9999 (the 16-bit year of
// the row buffer wraps alike both ways), infinity, 24:00:00, NaN.
TEST(BlockFetchPg, EdgeValuesMatchValueByValue) {
  if (std::getenv("QMR_PG_PORT_FILE") == nullptr)
    GTEST_SKIP() << "runs as jdbc_block_tests_pg, on the fixture's server";
  const uint32_t conn = ConnectPostgres();
  ASSERT_NE(conn, 0u);
  Exec(conn,
       {"DROP TABLE IF EXISTS qmr_block_edges",
        "CREATE TABLE qmr_block_edges (id INTEGER, dt DATE, tm TIME, ts TIMESTAMP,"
        " tz TIMESTAMPTZ, bi BIGINT, de NUMERIC(38,10), nu NUMERIC, re REAL,"
        " db DOUBLE PRECISION, bo BOOLEAN, sm SMALLINT, ch CHAR(5), vc VARCHAR(40))",
        "INSERT INTO qmr_block_edges VALUES"
        " (1, '4713-01-01 BC', '00:00:00', '4713-01-01 00:00:00 BC', '0044-03-15 12:00:00 BC',"
        "  -9223372036854775808, 9999999999999999999999999999.9999999999, 'NaN', 'NaN',"
        "  'Infinity', TRUE, -32768, 'a', ''),"
        " (2, '0001-01-01 BC', '23:59:59.999999', '0001-12-31 23:59:59.999999 BC',"
        "  '1582-10-04 23:59:59+00', 9223372036854775807,"
        "  -9999999999999999999999999999.9999999999, 1e-40, '-Infinity', -1e308, FALSE,"
        "  32767, 'abcde', 'r \xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80'),"
        " (3, '1582-10-04', '23:59:59', '1582-10-15 00:00:00', '1899-12-31 23:59:59.5+05:30',"
        "  0, 0.0000000001, 12345678901234567890.123, 1.5e-45, 4.9e-324, NULL, 0, '', 'x'),"
        " (4, '1899-12-31', '12:34:56.789', '1969-12-31 23:59:59.999999',"
        "  '1969-12-31 23:59:59.999999+00', -1, -0.0000000001, -0.5, 3.4e38, 0, NULL, NULL,"
        "  NULL, NULL),"
        " (5, '9999-12-31', '00:00:00.000001', '9999-12-31 23:59:59.999999', 'infinity',"
        "  1, 12345678.9, 100, 0, -0, TRUE, 1, 'z', 'y'),"
        " (6, '10000-01-01', '01:00:00', '10000-01-01 00:00:00', '-infinity', 2, 0, 0, 1, 1,"
        "  FALSE, 2, 'q', 'w'),"
        " (7, '5874897-12-31', '02:00:00', '294276-12-31 23:59:59.999999',"
        "  '294276-12-31 23:59:59.999999+00', 3, -12345678.9, 1e20, 2, 2, TRUE, 3, 'w', 'e'),"
        " (8, 'infinity', '03:00:00', 'infinity', '2021-03-28 02:30:00+01', 4, 1, 2, 3, 3,"
        "  TRUE, 4, 'e', 'r'),"
        " (9, '-infinity', '04:00:00', '-infinity', '2021-10-31 02:30:00+02', 5, 2, 3, 4, 4,"
        "  TRUE, 5, 'r', 't'),"
        " (10, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL)"});
  const std::string sql =
      "SELECT id, dt, tm, ts, tz, bi, de, nu, re, db, bo, sm, ch, vc FROM qmr_block_edges"
      " ORDER BY id";
  for (const char* zone :
       {"UTC", "Europe/Amsterdam", "America/St_Johns", "Asia/Kolkata", "Pacific/Kiritimati"}) {
    SCOPED_TRACE(zone);
    SetDefaultZone(zone);
    for (uint32_t wide : {0u, 1u}) {
      const uint64_t before = jblock::BlocksRead();
      const auto block = FetchAll(conn, sql, 3, true, wide);
      EXPECT_GT(jblock::BlocksRead(), before);
      const auto plain = FetchAll(conn, sql, 3, false, wide);
      ASSERT_EQ(block.size(), plain.size());
      ASSERT_GE(block.size(), 4u);
      EXPECT_EQ(block[0].rc, 0u) << ::testing::PrintToString(block[0].errors);
      for (size_t i = 0; i < block.size(); ++i)
        EXPECT_TRUE(block[i] == plain[i]) << "fetch " << i << "\nblock: " << Describe(block[i])
                                          << "\nvalue by value: " << Describe(plain[i]);
    }
  }
  SetDefaultZone("UTC");
  Exec(conn, {"DROP TABLE qmr_block_edges"});
  Ops().DRV_Disconnect(conn);
}

// Plain dates and timestamps in the wall table's years skip PostgreSQL's
// calendars; wall times the VM's zone skips or repeats, and the table's ends,
// still read as the getters read them. UTC, the other tests' zone, comes last.
TEST(BlockFetchPg, WallTimesPastTheCalendarsMatchTheGetters) {
  if (std::getenv("QMR_PG_PORT_FILE") == nullptr)
    GTEST_SKIP() << "runs as jdbc_block_tests_pg, on the fixture's server";
  const uint32_t conn = ConnectPostgres();
  Exec(conn, {"DROP TABLE IF EXISTS qmr_walls",
              "CREATE TABLE qmr_walls (id SERIAL, dt DATE, ts TIMESTAMP)",
              "INSERT INTO qmr_walls (dt, ts) VALUES ('1900-01-01', '1900-01-01 00:00:00'),"
              " ('2000-02-29', '1937-07-01 00:00:00.5'), ('2021-03-28', '2021-03-28 02:30:00'),"
              " ('2021-10-31', '2021-10-31 02:30:00'), ('2021-03-14', '2021-03-14 02:30:00.25'),"
              " ('1994-12-31', '1994-12-31 12:00:00'), ('2038-12-31', '2037-12-31 23:59:59.9'),"
              " ('1899-12-31', '2038-12-31 23:59:59'), (NULL, NULL)"});
  for (const char* zone : {"Europe/Amsterdam", "America/St_Johns", "Pacific/Kiritimati", "UTC"}) {
    SetDefaultZone(zone);
    const jlong before = ShortcutBlocks();
    const auto fast = FetchAll(conn, "SELECT id, dt, ts FROM qmr_walls ORDER BY id", 4, true);
    EXPECT_GT(ShortcutBlocks(), before) << zone << ": no value was read past the getters";
    const auto slow = FetchAll(conn, "SELECT id, dt, ts FROM qmr_walls ORDER BY id", 4, false);
    ASSERT_EQ(fast.size(), slow.size()) << zone;
    for (size_t i = 0; i < fast.size(); ++i)
      EXPECT_TRUE(fast[i] == slow[i]) << zone << " fetch " << i << "\nblock: " << Describe(fast[i])
                                      << "\ngetters: " << Describe(slow[i]);
  }
  Exec(conn, {"DROP TABLE qmr_walls"});
  Ops().DRV_Disconnect(conn);
}

}  // namespace
