// Java exceptions become agent diagnostics: SQLSTATE and native code of an
// SQLException, S1000 with the text of anything else, warnings dropped.
#include "hsql.h"

namespace {

class Exceptions : public Hsql {};

TEST_F(Exceptions, TableNotFoundStateBecomesCode10) {
  // HSQLDB's own state for a missing table is 42501; a procedure raises the
  // ODBC one so the mapping can be seen through a JDBC call.
  ASSERT_EQ(0u, Exec("CREATE PROCEDURE GONE() BEGIN ATOMIC "
                     "SIGNAL SQLSTATE '42S02' SET MESSAGE_TEXT = 'Table T9 is gone'; END"))
      << First(conn.errors);
  EXPECT_EQ(ERR_TABLE_NOT_FOUND, Exec("CALL GONE()")) << First(conn.errors);
  ASSERT_NE(nullptr, conn.errors.head);
  EXPECT_STREQ("42S02", conn.errors.head->state);
  EXPECT_NE(nullptr, std::strstr(conn.errors.head->message, "Table T9 is gone"));
  EXPECT_EQ(0, conn.errors.head->ownState);
  EXPECT_FALSE(env->ExceptionCheck());
}

TEST_F(Exceptions, MissingTableKeepsTheDatabaseStateAndCode) {
  EXPECT_EQ(ERR_GENERAL, Exec("SELECT * FROM NO_SUCH_TABLE"));
  EXPECT_EQ("42501|-5501|user lacks privilege or object not found: NO_SUCH_TABLE",
            First(conn.errors));
}

TEST_F(Exceptions, MessagesKeepNonAsciiTextAsStandardUtf8InBothModes) {
  // U+00FC and U+1F31C: the modified form (two 3-byte surrogates) of UTF-8
  // mode must not reach an 8-bit application.
  const std::string name = "NOSUCH_\xC3\xBC\xF0\x9F\x8C\x9C";
  const std::string sql = "SELECT * FROM \"" + name + "\"";
  for (uint32_t utf : {0u, 1u}) {
    conn.utf8 = utf;
    errClear(&conn.errors);
    EXPECT_EQ(ERR_GENERAL, Exec(sql.c_str()));
    ASSERT_NE(nullptr, conn.errors.head);
    EXPECT_NE(nullptr, std::strstr(conn.errors.head->message, name.c_str()))
        << "mode " << utf << ": " << conn.errors.head->message;
  }
}

TEST_F(Exceptions, SyntaxErrorKeepsTheDatabaseState) {
  uint32_t rc = Exec("SELEC 1");
  EXPECT_NE(0u, rc);
  ASSERT_NE(nullptr, conn.errors.head);
  EXPECT_STREQ("42581", conn.errors.head->state);  // HSQLDB's own: no table entry
  EXPECT_EQ(ERR_GENERAL, rc);
}

TEST_F(Exceptions, NonSqlThrowableGivesS1000WithItsText) {
  // A method the object does not have: NoSuchMethodError, not an SQLException.
  int32_t n = 0;
  jobject notMetaData = env->NewStringUTF("x");
  EXPECT_EQ(ERR_GENERAL, ResultSetMetaData::getColumnCount(&stmt, notMetaData, &n));
  ASSERT_NE(nullptr, stmt.errors.head);
  EXPECT_STREQ("S1000", stmt.errors.head->state);
  EXPECT_EQ(0, stmt.errors.head->native);
  EXPECT_NE(nullptr, std::strstr(stmt.errors.head->message, "java.lang.NoSuchMethodError"))
      << stmt.errors.head->message;
  EXPECT_FALSE(env->ExceptionCheck());

  // A runtime exception thrown by the Java code itself.
  jobject list = JC_NewObject(env, "java/util/ArrayList", "()V");
  jobject got = nullptr;
  EXPECT_EQ(ERR_GENERAL,
            JC_CallObjectMethod(env, list, nullptr, "get", "(I)Ljava/lang/Object;", &got, 3));
  EXPECT_TRUE(env->ExceptionCheck());  // left pending for the caller's check
  EXPECT_EQ(15u, CheckException(env, 1, &conn.errors));
  EXPECT_NE(nullptr, std::strstr(First(conn.errors).c_str(), "IndexOutOfBoundsException"));
}

TEST_F(Exceptions, NullObjectPostsTheNullPointerText) {
  EXPECT_EQ(ERR_GENERAL, Connection::commit(&conn, nullptr));
  ASSERT_NE(nullptr, conn.errors.head);
  EXPECT_STREQ("S1000", conn.errors.head->state);
  EXPECT_NE(nullptr, std::strstr(conn.errors.head->message,
                                 "NullPointerException in 'obj'  for 'commit' JAVA call"))
      << conn.errors.head->message;
}

TEST_F(Exceptions, WarningIsDroppedAndNullStateIsS1000) {
  jclass warn = env->FindClass("java/sql/SQLWarning");
  ASSERT_EQ(0, env->ThrowNew(warn, "only a warning"));
  EXPECT_EQ(0u, CheckException(env, 1, &conn.errors));
  EXPECT_EQ(nullptr, conn.errors.head);
  EXPECT_FALSE(env->ExceptionCheck());

  jclass sqlex = env->FindClass("java/sql/SQLException");
  ASSERT_EQ(0, env->ThrowNew(sqlex, "no state given"));
  EXPECT_EQ(15u, CheckException(env, 1, &conn.errors));
  EXPECT_EQ("S1000|0|no state given", First(conn.errors));
  EXPECT_FALSE(env->ExceptionCheck());
}

TEST_F(Exceptions, KeepFlagCollectsAndStateIsCutToFive) {
  jobject e = JC_NewObject(env, "java/sql/SQLException", "(Ljava/lang/String;Ljava/lang/String;I)V",
                           env->NewStringUTF("first"), env->NewStringUTF("08S01XYZ"), 77);
  ASSERT_NE(nullptr, e);
  env->Throw(static_cast<jthrowable>(e));
  conn.errors.keep = 1;
  uint32_t rc = CheckException(env, 1, &conn.errors);
  EXPECT_EQ("08S01|77|first", First(conn.errors));
  EXPECT_NE(ERR_GENERAL, rc);  // 08S01 has its own entry
  EXPECT_EQ(ERR_GENERAL, Connection::commit(&conn, nullptr));
  int n = 0;
  for (AgentError* r = conn.errors.head; r != nullptr; r = r->next) ++n;
  EXPECT_EQ(2, n);
}

TEST_F(Exceptions, CommitOnAClosedConnectionIsPosted) {
  ASSERT_EQ(0u, Connection::close(&conn, conn.connection));
  EXPECT_NE(0u, Connection::commit(&conn, conn.connection));
  ASSERT_NE(nullptr, conn.errors.head);
  EXPECT_EQ(0, std::strncmp(conn.errors.head->state, "08", 2)) << conn.errors.head->state;
  env->DeleteGlobalRef(conn.connection);
  conn.connection = nullptr;
}

}  // namespace
