// Non-ASCII text through the VM and back: UTF-8 mode (modified UTF-8, as
// the Unicode build keeps text), byte mode (the 8-bit build's UTF-8) and
// UTF-16.
#include "hsql.h"

namespace {

// "Grüße 日本 " and U+1F600 in standard UTF-8 and as JNI's modified UTF-8
// (the supplementary character as two 3-byte surrogates).
const char kUtf8[] =
    "Gr\xC3\xBC\xC3\x9F"
    "e \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80";
const char kModified[] =
    "Gr\xC3\xBC\xC3\x9F"
    "e \xE6\x97\xA5\xE6\x9C\xAC \xED\xA0\xBD\xED\xB8\x80";
const char16_t kUtf16[] = u"Gr\u00FC\u00DFe \u65E5\u672C \U0001F600";

class Text : public Hsql {
 protected:
  void Insert(uint32_t utf, const char* value) {
    stmt.wide = utf;
    ASSERT_EQ(0u, Connection::prepareStatement(&stmt, conn.connection, "INSERT INTO T VALUES (?)"));
    ASSERT_EQ(0u, PreparedStatement::setString(&stmt, stmt.statement, 1, value));
    uint8_t isRs = 1;
    ASSERT_EQ(0u, PreparedStatement::execute(&stmt, stmt.statement, &isRs));
    EXPECT_EQ(0, isRs);
  }
  void SetUp() override {
    Hsql::SetUp();
    ASSERT_EQ(0u, Exec("CREATE TABLE T (S VARCHAR(100))"));
  }
};

TEST_F(Text, StringHelpersRoundTripInBothModes) {
  jstring a = JC_NewString(env, kUtf8, 1);
  ASSERT_NE(nullptr, a);
  EXPECT_EQ(11, env->GetStringLength(a));  // the emoji is two UTF-16 units
  char* back = JC_GetTextCopy(env, a, 1);
  EXPECT_STREQ(kModified, back);
  std::free(back);
  back = JC_GetTextCopy(env, a, 0);
  EXPECT_STREQ(kUtf8, back);
  std::free(back);

  jstring b = JC_NewString(env, kUtf8, 0);
  ASSERT_NE(nullptr, b);
  uint8_t same = 0;
  ASSERT_EQ(0u, JC_CallBooleanMethod(env, a, nullptr, "equals", "(Ljava/lang/Object;)Z", &same, b));
  EXPECT_EQ(1, same);
  // Modified UTF-8 given in UTF-8 mode is taken as it is.
  jstring c = JC_NewString(env, kModified, 1);
  ASSERT_EQ(0u, JC_CallBooleanMethod(env, a, nullptr, "equals", "(Ljava/lang/Object;)Z", &same, c));
  EXPECT_EQ(1, same);
}

TEST_F(Text, ValueSurvivesTheDatabaseInUtf8Mode) {
  Insert(1, kUtf8);
  jobject rs = Query("SELECT S FROM T");
  char buf[64];
  uint32_t len = 0;
  ASSERT_EQ(0u, ResultSet::getString(&stmt, rs, 1, buf, sizeof buf, &len));
  EXPECT_STREQ(kUtf8, buf);  // the 8-bit getter reads the 8-bit form
  EXPECT_EQ(std::strlen(kUtf8), len);
  char16_t wbuf[64];
  ASSERT_EQ(0u, ResultSet::getString(&stmt, rs, 1, wbuf, 64, &len));
  EXPECT_EQ(std::u16string(kUtf16), std::u16string(wbuf, len));
  JC_LongValue lv{0, nullptr};
  ASSERT_EQ(0u, ResultSet::getStringLongW(&stmt, rs, 1, &lv));
  EXPECT_EQ(std::u16string(kUtf16), std::u16string(static_cast<char16_t*>(lv.value), lv.length));
  std::free(lv.value);
}

TEST_F(Text, ValueSurvivesTheDatabaseInByteMode) {
  Insert(0, kUtf8);
  jobject rs = Query("SELECT S FROM T");
  JC_LongValue lv{0, nullptr};
  ASSERT_EQ(0u, ResultSet::getStringLong(&stmt, rs, 1, &lv));
  EXPECT_EQ(std::string(kUtf8), std::string(static_cast<char*>(lv.value), lv.length));
  EXPECT_EQ('\0', static_cast<char*>(lv.value)[lv.length]);
  // A second read replaces the buffer.
  ASSERT_EQ(0u, ResultSet::getStringLong(&stmt, rs, 1, &lv));
  EXPECT_EQ(std::strlen(kUtf8), lv.length);
  std::free(lv.value);
}

TEST_F(Text, CutsNeverSplitACharacter) {
  Insert(1, kUtf8);
  jobject rs = Query("SELECT S FROM T");
  char buf[5];  // room for "Gr\xC3\xBC" but not the next two bytes
  uint32_t len = 99;
  ASSERT_EQ(0u, ResultSet::getString(&stmt, rs, 1, buf, 5, &len));
  EXPECT_EQ(4u, len);
  EXPECT_STREQ("Gr\xC3\xBC", buf);
  ASSERT_EQ(0u, ResultSet::getString(&stmt, rs, 1, buf, 4, &len));
  EXPECT_EQ(2u, len);  // never half of the ü
  EXPECT_STREQ("Gr", buf);
  // UTF-16: the surrogate pair stays whole or goes.
  char16_t w[11];
  ASSERT_EQ(0u, ResultSet::getString(&stmt, rs, 1, w, 11, &len));
  EXPECT_EQ(9u, len);  // 10 units fit, the 10th would be a lone high surrogate
  EXPECT_EQ(0, w[9]);
  ASSERT_EQ(0u, ResultSet::getString(&stmt, rs, 1, w, 0, &len));
  EXPECT_EQ(0u, len);
}

TEST_F(Text, CharacterStreamKeepsNonAsciiText) {
  ASSERT_EQ(0u, Connection::prepareStatement(&stmt, conn.connection, "INSERT INTO T VALUES (?)"));
  ASSERT_EQ(0u, PreparedStatement::setCharacterStream(&stmt, stmt.statement, 1, kUtf8));
  EXPECT_EQ(1u, conn.streamParams);  // the driver took the stream
  uint8_t isRs = 1;
  ASSERT_EQ(0u, PreparedStatement::execute(&stmt, stmt.statement, &isRs));
  jobject rs = Query("SELECT S FROM T");
  char buf[64];
  uint32_t len = 0;
  ASSERT_EQ(0u, ResultSet::getString(&stmt, rs, 1, buf, sizeof buf, &len));
  EXPECT_STREQ(kUtf8, buf);
}

TEST_F(Text, CatalogAndProductNamesComeBackAsText) {
  char buf[128];
  ASSERT_EQ(0u, Connection::getCatalog(&conn, conn.connection, buf, sizeof buf));
  EXPECT_STREQ("PUBLIC", buf);
  jobject md = nullptr;
  ASSERT_EQ(0u, Connection::getMetaData(&conn, conn.connection, &md));
  ASSERT_EQ(0u, DatabaseMetaData::getStringByName(&conn, md, "getDatabaseProductName", buf, 5));
  EXPECT_STREQ("HSQL", buf);
  EXPECT_NE(0u, DatabaseMetaData::getStringByName(&conn, md, "noSuchGetter", buf, sizeof buf));
  EXPECT_STREQ("", buf);
  char* native = nullptr;
  ASSERT_EQ(0u, Connection::nativeSQL(&conn, conn.connection, "SELECT 1 FROM T", &native));
  EXPECT_STREQ("SELECT 1 FROM T", native);
  std::free(native);
}

}  // namespace
