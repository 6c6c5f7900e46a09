// Parameter work of the agent that needs no Java: date and time texts,
// procedure-call texts, the output row buffer's copy of a value set, and
// parameter sets marked to be skipped.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "drv_jdbc/j-desc.h"
#include "drv_jdbc/j-proc.h"
#include "drv_jdbc/j-sql.h"

namespace {

JC_Timestamp Parse(const char* text, bool expectMatch = true) {
  JC_Timestamp ts{};
  EXPECT_EQ(parseDateTimeText(text, -1, &ts), expectMatch) << text;
  return ts;
}

TEST(DateTimeText, IsoTimestampWithFractionInNanoseconds) {
  JC_Timestamp ts = Parse("2024-02-29 13:05:09.5");
  EXPECT_EQ(ts.year, 2024);
  EXPECT_EQ(ts.month, 2);
  EXPECT_EQ(ts.day, 29);
  EXPECT_EQ(ts.hour, 13);
  EXPECT_EQ(ts.minute, 5);
  EXPECT_EQ(ts.second, 9);
  EXPECT_EQ(ts.fraction, 500000000u);
  EXPECT_EQ(Parse("2024-02-29 13:05:09.000123").fraction, 123000u);
  EXPECT_EQ(Parse("2024-02-29 13:05:09.123456789").fraction, 123456789u);
  // Digits below a nanosecond are dropped, not allowed to overflow.
  EXPECT_EQ(Parse("2024-02-29 13:05:09.1234567891234").fraction, 123456789u);
  EXPECT_EQ(Parse("2024-02-29 13:05:09").fraction, 0u);
}

TEST(DateTimeText, DottedDateAndShortForms) {
  JC_Timestamp d = Parse("24.12.2020");
  EXPECT_EQ(d.year, 2020);
  EXPECT_EQ(d.month, 12);
  EXPECT_EQ(d.day, 24);
  EXPECT_EQ(d.hour, 0);
  JC_Timestamp t = Parse("10:30");
  EXPECT_EQ(t.year, 0);
  EXPECT_EQ(t.hour, 10);
  EXPECT_EQ(t.minute, 30);
  EXPECT_EQ(t.second, 0);
  JC_Timestamp dt = Parse("24.12.2020 08:15");
  EXPECT_EQ(dt.day, 24);
  EXPECT_EQ(dt.hour, 8);
  EXPECT_EQ(dt.minute, 15);
  JC_Timestamp none = Parse("tomorrow", false);
  EXPECT_EQ(none.year, 0);
  EXPECT_EQ(none.hour, 0);
  EXPECT_EQ(Parse(" 2024-02-29T13:05 ").minute, 5);
  // Only the forms themselves: no sign, no blank inside a field, nothing
  // after the value.
  for (const char* bad : {"", "2024-02-29x", "2024-02-29 13", "2024-+2-29", "2024-02- 9",
                          "2024-02-29 13:05:09.", "13:05 PM", "24.12.2020.", "2024-02"})
    Parse(bad, false);
}

TEST(DateTimeText, CountedTextIsNotReadPastItsLength) {
  // The cell holds no terminator: the digits behind it belong to the next
  // value and must not lengthen this one.
  const char cell[] = "2024-02-29 13:05:09.5999";
  JC_Timestamp ts{};
  ASSERT_TRUE(parseDateTimeText(cell, 21, &ts));
  EXPECT_EQ(ts.fraction, 500000000u);
  ASSERT_TRUE(parseDateTimeText("10:3099", 5, &ts));
  EXPECT_EQ(ts.minute, 30);
}

TEST(IntegerText, IntegerPartIsExactBeyondADouble) {
  // A fraction or an exponent must not send the digits through a double:
  // beyond 2^53 it would change the last ones, and a fraction next to a
  // type's bound would round the value over it. A fraction that is not 0
  // is reported as cut.
  const struct {
    const char* text;
    uint32_t rc;
    int64_t value;
  } rows[] = {
      {"9007199254740993e0", 0, 9007199254740993},
      {"9007199254740993.5", ERR_RIGHT_TRUNCATION, 9007199254740993},
      {" 2147483647.9999999999 ", ERR_RIGHT_TRUNCATION, 2147483647},
      {"-9223372036854775808.9", ERR_RIGHT_TRUNCATION, INT64_MIN},
      {"922337203685477580.7e1", 0, INT64_MAX},
      {"9223372036854775808e0", ERR_NUMERIC_RANGE, 0},
      {"0e999999", 0, 0},
      {"-12e-1", ERR_RIGHT_TRUNCATION, -1},
      {"12.000", 0, 12},
      {"120e-1", 0, 12},
      {"1e", ERR_INVALID_CAST_VALUE, 0},
  };
  for (const auto& row : rows) {
    int64_t v = 0;
    EXPECT_EQ(integerOfText(row.text, std::strlen(row.text), &v), row.rc) << row.text;
    if (row.rc == 0 || row.rc == ERR_RIGHT_TRUNCATION) {
      EXPECT_EQ(v, row.value) << row.text;
    }
  }
}

TEST(ProcedureText, CallFormsAreProcedureCalls) {
  EXPECT_TRUE(sqlIsProcedureCall("{call p(?, ?)}"));
  EXPECT_TRUE(sqlIsProcedureCall("  { CALL p}"));
  EXPECT_TRUE(sqlIsProcedureCall("{? = call f(?)}"));
  EXPECT_TRUE(sqlIsProcedureCall("{?=call f(?)}"));
  EXPECT_TRUE(sqlIsProcedureCall("CALL p(1)"));
  EXPECT_TRUE(sqlIsProcedureCall("/* note */ call p"));
  EXPECT_TRUE(sqlIsProcedureCall("EXECUTE PROCEDURE p(?)"));
  EXPECT_TRUE(sqlIsProcedureCall("execute  procedure p"));
  EXPECT_FALSE(sqlIsProcedureCall("SELECT call FROM t"));
  EXPECT_FALSE(sqlIsProcedureCall("callme(1)"));
  EXPECT_FALSE(sqlIsProcedureCall("EXECUTE IMMEDIATE x"));
  EXPECT_FALSE(sqlIsProcedureCall("{fn ucase('call')}"));
  EXPECT_FALSE(sqlIsProcedureCall("{? call f}"));
  EXPECT_FALSE(sqlIsProcedureCall(nullptr));
}

TEST(ProcedureText, ScanSetsTheFlagAndCountsMarkersInsideTheEscape) {
  JdbcStmt s{};
  ASSERT_EQ(sqlStmtKind(nullptr, &s, "{? = call f(?, ?)}"), 0u);
  EXPECT_NE(s.textFlags & STMT_TEXT_PROCCALL, 0);
  EXPECT_NE(s.textFlags & STMT_TEXT_MARKERS, 0);
  EXPECT_EQ(s.markerCount, 3);
  EXPECT_EQ(s.kind, STMT_KIND_OTHER);
  // Every scan starts the flag afresh.
  ASSERT_EQ(sqlStmtKind(nullptr, &s, "SELECT ? FROM t"), 0u);
  EXPECT_EQ(s.textFlags & STMT_TEXT_PROCCALL, 0);
  std::free(s.sql);
}

// A value set of the given column shapes, rows filled by the test.
COLSET* NewSet(std::initializer_list<std::pair<uint32_t, uint32_t>> cols, uint32_t rows) {
  auto* set = new COLSET{};
  EXPECT_EQ(ColSetInit(set, static_cast<uint16_t>(cols.size())), 0);
  set->cols_used = static_cast<uint16_t>(cols.size());
  uint16_t i = 0;
  for (const auto& c : cols) {
    set->cols[i].type = c.first;
    set->cols[i].elem_size = c.second;
    ++i;
  }
  EXPECT_EQ(ColSetSetRows(set, rows), 0);
  set->rows_held = rows;
  return set;
}

void FreeSet(COLSET* set) {
  ColSetFreeColumns(set);
  delete set;
}

TEST(OutputBuffer, CopiesInlineAndOutOfLineValues) {
  COLSET* src = NewSet({{COLSET_VT_INTEGER, 4},
                        {COLSET_VT_LONGCHAR, sizeof(COLSET_LONG)},
                        {COLSET_VT_LONGWCHAR, sizeof(COLSET_LONG)}},
                       2);
  const int32_t n = 77;
  std::memcpy(src->cols[0].data + 4, &n, 4);
  src->cols[0].ind[1] = 0;
  COLSET_LONG text{5, std::malloc(5)};
  std::memcpy(text.value, "hello", 5);
  std::memcpy(src->cols[1].data, &text, sizeof text);
  src->cols[1].ind[0] = 0;
  COLSET_LONG wide{2, std::malloc(4)};
  const char16_t w[2] = {u'\u03A9', u'x'};
  std::memcpy(wide.value, w, 4);
  std::memcpy(src->cols[2].data + sizeof(COLSET_LONG), &wide, sizeof wide);
  src->cols[2].ind[1] = 0;

  COLSET out{};
  ASSERT_EQ(allocCallProcBuffers(&out, src), 0u);
  ASSERT_EQ(out.cols_used, 3);
  EXPECT_EQ(out.rows_held, 2u);
  EXPECT_EQ(out.cols[0].type, COLSET_VT_INTEGER);
  EXPECT_EQ(out.cols[0].ind[0], COLSET_IND_NULL);
  int32_t got = 0;
  std::memcpy(&got, out.cols[0].data + 4, 4);
  EXPECT_EQ(got, 77);
  COLSET_LONG t{};
  std::memcpy(&t, out.cols[1].data, sizeof t);
  ASSERT_NE(t.value, nullptr);
  EXPECT_NE(t.value, text.value);  // a copy of its own
  EXPECT_EQ(std::string(static_cast<char*>(t.value), t.length), "hello");
  COLSET_LONG tw{};
  std::memcpy(&tw, out.cols[2].data + sizeof(COLSET_LONG), sizeof tw);
  ASSERT_NE(tw.value, nullptr);
  EXPECT_EQ(tw.length, 2u);
  EXPECT_EQ(std::memcmp(tw.value, w, 4), 0);
  // The source goes first: the copy must stand alone.
  FreeSet(src);
  EXPECT_EQ(std::string(static_cast<char*>(t.value), t.length), "hello");
  ColSetFreeColumns(&out);
}

TEST(OutputBuffer, NoValueSetGivesAnEmptyBuffer) {
  COLSET out{};
  ASSERT_EQ(allocCallProcBuffers(&out, nullptr), 0u);
  EXPECT_EQ(out.cols_used, 0);
  ColSetFreeColumns(&out);
}

TEST(SkippedSets, ARowMarkedToBeSkippedIsLeftOut) {
  JdbcStmt s{};
  s.params = NewSet({{COLSET_VT_INTEGER, 4}, {COLSET_VT_NTS, 8}}, 3);
  s.params->cols[1].ind[1] = COLSET_IND_SKIP;
  EXPECT_FALSE(paramSetSkipped(&s, 0));
  EXPECT_TRUE(paramSetSkipped(&s, 1));
  EXPECT_FALSE(paramSetSkipped(&s, 2));
  EXPECT_FALSE(paramSetSkipped(&s, 3));  // beyond the set
  FreeSet(s.params);
  s.params = nullptr;
  EXPECT_FALSE(paramSetSkipped(&s, 0));
}

TEST(DefaultDescriptions, OnePerMarkerNamedForProcedureCalls) {
  JdbcStmt s{};
  s.markerCount = 2;
  ASSERT_EQ(defaultParamDescs(&s), 0u);
  ASSERT_EQ(s.paramCount, 2);
  ASSERT_EQ(s.paramDescCount, 2);
  EXPECT_STREQ(s.paramDescs[1].name, "");
  EXPECT_EQ(s.paramDescs[1].sql_type, -9999);
  EXPECT_EQ(s.paramDescs[1].delivered_type, 12);
  EXPECT_EQ(s.paramDescs[1].precision, 255u);
  EXPECT_EQ(s.paramDescs[1].value_type, COLSET_VT_NTS);
  s.flags |= STMT_PREPARE_CALL;
  s.markerCount = 3;
  ASSERT_EQ(defaultParamDescs(&s), 0u);
  ASSERT_EQ(s.paramDescCount, 3);
  EXPECT_STREQ(s.paramDescs[2].name, "*B");
  s.markerCount = 0;
  ASSERT_EQ(defaultParamDescs(&s), 0u);
  EXPECT_EQ(s.paramDescs, nullptr);
  EXPECT_EQ(s.paramCount, 0);
}

}  // namespace
