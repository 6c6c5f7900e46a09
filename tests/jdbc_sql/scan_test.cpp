// Statement kinds and the scan of escape clauses and parameter markers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drv_jdbc/j-sql.h"
#include "util/errcodes.h"
#include "util/log.h"

namespace {

// Collects the log lines written while it lives.
class LogCapture {
 public:
  LogCapture() : sink_(log_sink_new(&Emit, nullptr, LOG_LEVEL_DEBUG, 0xFFFFFFFFu, 0)) {
    current_ = this;
  }
  ~LogCapture() {
    current_ = nullptr;
    log_close_sink(sink_);
    std::free(sink_);
  }
  bool Has(const std::string& text) const {
    for (const auto& l : lines_) {
      if (l.find(text) != std::string::npos) return true;
    }
    return false;
  }
  size_t Count(const std::string& text) const {
    size_t n = 0;
    for (const auto& l : lines_) n += l.find(text) != std::string::npos ? 1 : 0;
    return n;
  }

 private:
  static void Emit(LOG_SINK*, int, const char* text) {
    if (current_ != nullptr) current_->lines_.emplace_back(text);
  }
  static LogCapture* current_;
  LOG_SINK* sink_;
  std::vector<std::string> lines_;
};
LogCapture* LogCapture::current_ = nullptr;

// A statement record used only for its text fields.
struct Scanned {
  JdbcStmt s;
  uint32_t rc = 0;
  explicit Scanned(const char* text) { rc = sqlStmtKind(nullptr, &s, text); }
  ~Scanned() {
    std::free(s.sql);
    s.sql = nullptr;
  }
  std::string sql() const { return s.sql != nullptr ? s.sql : ""; }
};

// What a {fn null()} form becomes: "null" and blanks up to its length.
std::string Blanked(const std::string& form) { return "null" + std::string(form.size() - 4, ' '); }

TEST(StatementKind, SelectDataChangeAndOther) {
  EXPECT_EQ(Scanned("   (SELECT 1)").s.kind, STMT_KIND_SELECT);
  EXPECT_EQ(Scanned("((select a from t) union (select b from u))").s.kind, STMT_KIND_SELECT);
  EXPECT_EQ(Scanned("delete from t").s.kind, STMT_KIND_DML);
  EXPECT_EQ(Scanned("INSERT INTO t VALUES (1)").s.kind, STMT_KIND_DML);
  EXPECT_EQ(Scanned("\n\tUpdate t set a = 1").s.kind, STMT_KIND_DML);
  EXPECT_EQ(Scanned("CALL p").s.kind, STMT_KIND_OTHER);
  EXPECT_EQ(Scanned("{call p}").s.kind, STMT_KIND_OTHER);
  EXPECT_EQ(Scanned("create table t (a int)").s.kind, STMT_KIND_OTHER);
  // Parentheses are skipped only before SELECT.
  EXPECT_EQ(Scanned("(insert into t values (1))").s.kind, STMT_KIND_OTHER);
}

TEST(StatementKind, KeywordEndsAtAnyNonNameCharacter) {
  EXPECT_EQ(Scanned("SELECT*FROM t").s.kind, STMT_KIND_SELECT);
  EXPECT_EQ(Scanned("selected_rows").s.kind, STMT_KIND_OTHER);
  EXPECT_EQ(Scanned("updates").s.kind, STMT_KIND_OTHER);
  EXPECT_EQ(Scanned("select").s.kind, STMT_KIND_SELECT);
}

TEST(StatementKind, LeadingCommentsDoNotHideTheKeyword) {
  EXPECT_EQ(Scanned("-- a note\nSELECT 1").s.kind, STMT_KIND_SELECT);
  EXPECT_EQ(Scanned("/* note */ delete from t").s.kind, STMT_KIND_DML);
}

TEST(StatementKind, OriginalTextSkipsLeadingWhiteSpaceOnly) {
  Scanned x("  \n SELECT a  FROM t  ");
  EXPECT_EQ(x.rc, 0u);
  EXPECT_EQ(x.sql(), "SELECT a  FROM t  ");
}

TEST(NullFunction, BlankedKeepingTheLength) {
  const std::string text = "SELECT {fn null()} FROM t";
  Scanned x(text.c_str());
  EXPECT_EQ(x.rc, 0u);
  EXPECT_EQ(x.sql(), "SELECT " + Blanked("{fn null()}") + " FROM t");
  EXPECT_EQ(x.sql().size(), text.size());
}

TEST(NullFunction, TheOtherForms) {
  for (const char* form : {"{FN NULL}", "{ fn (null) }", "{fn()}", "{fn null ( ) }", "{fnnull}"}) {
    EXPECT_EQ(Scanned(("x " + std::string(form) + " y").c_str()).sql(),
              "x " + Blanked(form) + " y");
  }
}

TEST(NullFunction, OtherFunctionsAndLiteralsStay) {
  EXPECT_EQ(Scanned("SELECT {fn nullif(a, b)} FROM t").sql(), "SELECT {fn nullif(a, b)} FROM t");
  EXPECT_EQ(Scanned("SELECT '{fn null()}' FROM t").sql(), "SELECT '{fn null()}' FROM t");
  EXPECT_EQ(Scanned("SELECT \"{fn null()}\" FROM t").sql(), "SELECT \"{fn null()}\" FROM t");
  EXPECT_EQ(Scanned("SELECT 1 -- {fn null()}\n").sql(), "SELECT 1 -- {fn null()}\n");
}

TEST(NullFunction, NestedInsideAnotherEscape) {
  LogCapture log;
  Scanned x("SELECT {fn ifnull({fn null()}, 1)} FROM t");
  EXPECT_EQ(x.rc, 0u);
  EXPECT_EQ(x.sql(), "SELECT {fn ifnull(" + Blanked("{fn null()}") + ", 1)} FROM t");
  EXPECT_TRUE(log.Has("unknown escape function ifnull called"));
}

TEST(Markers, CountedOutsideLiterals) {
  Scanned none("SELECT 'it''s ?' FROM t");
  EXPECT_EQ(none.s.markerCount, 0u);
  EXPECT_EQ(none.s.textFlags & STMT_TEXT_MARKERS, 0);
  Scanned one("SELECT ? FROM t");
  EXPECT_EQ(one.s.markerCount, 1u);
  EXPECT_EQ(one.s.textFlags, STMT_TEXT_MARKERS);
  Scanned quoted("SELECT \"a?\" FROM t WHERE x = ? AND y = 'b''?' AND z = ?");
  EXPECT_EQ(quoted.s.markerCount, 2u);
}

TEST(Markers, CommentsAreNotCode) {
  // An apostrophe in a comment opens no literal that would hide the marker.
  EXPECT_EQ(Scanned("SELECT a -- don't\nFROM t WHERE b = ?").s.markerCount, 1u);
  EXPECT_EQ(Scanned("SELECT a /* it's */ FROM t WHERE b = ?").s.markerCount, 1u);
  EXPECT_EQ(Scanned("SELECT a FROM t -- b = ?").s.markerCount, 0u);
  EXPECT_EQ(Scanned("SELECT a /* ? */ FROM t").s.markerCount, 0u);
  // A brace in a comment opens no escape.
  EXPECT_EQ(Scanned("SELECT a -- {\nFROM t").rc, 0u);
}

TEST(Markers, InsideEscapeClausesTheyCount) {
  Scanned call("{call p(?, ?)}");
  EXPECT_EQ(call.rc, 0u);
  EXPECT_EQ(call.s.markerCount, 2u);
  EXPECT_EQ(call.s.textFlags, STMT_TEXT_MARKERS | STMT_TEXT_PROCCALL);
  Scanned mixed("SELECT {fn concat(?, '?')} FROM t WHERE a = ?");
  EXPECT_EQ(mixed.s.markerCount, 2u);
}

TEST(Markers, EveryScanStartsAfresh) {
  JdbcStmt s;
  ASSERT_EQ(sqlStmtKind(nullptr, &s, "SELECT ? FROM t WHERE a = ?"), 0u);
  EXPECT_EQ(s.markerCount, 2u);
  s.textFlags |= STMT_TEXT_PROCCALL;
  ASSERT_EQ(sqlStmtKind(nullptr, &s, "DELETE FROM t"), 0u);
  EXPECT_EQ(s.markerCount, 0u);
  EXPECT_EQ(s.textFlags, STMT_TEXT_SEARCHED_CHANGE);  // the call flag gone
  EXPECT_EQ(s.kind, STMT_KIND_DML);
  std::free(s.sql);
}

TEST(Escapes, UnclosedBraceFails) {
  Scanned x("SELECT {fn ucase(x) FROM t");
  EXPECT_EQ(x.rc, ERR_SYNTAX_OR_ACCESS);
  EXPECT_EQ(Scanned("SELECT {d '2020-01-01'").rc, ERR_SYNTAX_OR_ACCESS);
  EXPECT_EQ(Scanned("SELECT {{fn x()}").rc, ERR_SYNTAX_OR_ACCESS);
}

TEST(Escapes, StrayClosingBraceIsText) {
  Scanned x("SELECT a } FROM t");
  EXPECT_EQ(x.rc, 0u);
  EXPECT_EQ(x.sql(), "SELECT a } FROM t");
}

TEST(Escapes, BracesInsideLiteralsOfAnEscape) {
  LogCapture log;
  EXPECT_EQ(Scanned("SELECT {fn concat('}', x)} FROM t").rc, 0u);
  EXPECT_EQ(Scanned("SELECT {fn concat('{', x)} FROM t").rc, 0u);
  EXPECT_EQ(log.Count("unknown escape function concat called"), 2u);
}

TEST(Escapes, CommentForm) {
  LogCapture log;
  EXPECT_EQ(Scanned("SELECT --*(vendor(Microsoft), product(ODBC), fn ucase(x) --*) FROM t").rc, 0u);
  EXPECT_TRUE(log.Has("unknown escape function ucase called"));
  EXPECT_EQ(Scanned("SELECT --*(fn lcase(x) FROM t").rc, ERR_SYNTAX_OR_ACCESS);
  // Closing a brace escape with the comment form's closer does not work.
  EXPECT_EQ(Scanned("SELECT {fn lcase(x) --*) FROM t").rc, ERR_SYNTAX_OR_ACCESS);
}

TEST(Escapes, ScalarFunctionsAreLogged) {
  LogCapture log;
  Scanned x("SELECT {fn ucase(x)} FROM t");
  EXPECT_EQ(x.rc, 0u);
  EXPECT_EQ(x.sql(), "SELECT {fn ucase(x)} FROM t");  // the JDBC driver translates it
  EXPECT_TRUE(log.Has("unknown escape function ucase called"));
  Scanned conv("SELECT {fn convert(x, SQL_INTEGER)}, {FN CONVERT(y, SQL_CHAR)} FROM t");
  EXPECT_EQ(conv.rc, 0u);
  EXPECT_FALSE(log.Has("convert"));
  EXPECT_FALSE(log.Has("CONVERT"));
  Scanned other("SELECT {d '2020-01-01'}, {ts '2020-01-01 10:00:00'} FROM t {oj x}");
  EXPECT_EQ(other.rc, 0u);
  EXPECT_EQ(log.Count("unknown escape function"), 1u);
}

TEST(Escapes, BodyWithoutScanOfItsOwn) {
  LogCapture log;
  translateEscapeBody("  fn\tsoundex(a)", false);
  translateEscapeBody("VENDOR(x), product(y), fn right(a, 2)", true);
  translateEscapeBody("vendor(x), fn left(a, 2)", true);  // no second comma: nothing
  translateEscapeBody("fnord(a)", false);
  EXPECT_TRUE(log.Has("unknown escape function soundex called"));
  EXPECT_TRUE(log.Has("unknown escape function right called"));
  EXPECT_FALSE(log.Has("left"));
  EXPECT_FALSE(log.Has("fnord"));
}

TEST(Escapes, NullArguments) {
  EXPECT_EQ(sqlStmtKind(nullptr, nullptr, "x"), 21u);
  JdbcStmt s;
  EXPECT_EQ(sqlStmtKind(nullptr, &s, nullptr), 21u);
  EXPECT_EQ(translateEscapes(nullptr, &s), 0u);
  EXPECT_EQ(sqlKindOf(nullptr), STMT_KIND_OTHER);
}

}  // namespace
