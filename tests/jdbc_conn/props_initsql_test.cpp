// Data-source property text and its setters; the initial SQL file.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-initsql.h"
#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-vm.h"
#include "jvm_fixture.h"

using namespace jtest;

namespace {

using Props = std::unique_ptr<DsPropList, void (*)(DsPropList*)>;
Props Parse(const char* t) { return Props(JC_ParseProps(t), JC_FreeProps); }

std::string TempFile(const std::string& name, const std::string& content) {
  std::string path = std::string("/tmp/jconn-") + std::to_string(getpid()) + "-" + name;
  std::ofstream(path) << content;
  return path;
}

std::vector<std::string> ReadStmts(const std::string& content, unsigned* result) {
  std::string path = TempFile("read.sql", content);
  std::FILE* fp = std::fopen(path.c_str(), "r");
  std::vector<std::string> out;
  *result = JC_ReadInitialSql(fp, [&](const std::string& s) { out.push_back(s); });
  std::fclose(fp);
  std::remove(path.c_str());
  return out;
}

}  // namespace

TEST(DataSourceProps, SplitsOutsideBracesAndKeepsThem) {
  Props p = Parse("a={x;y};b=1");
  ASSERT_EQ(p->items.size(), 2u);
  EXPECT_EQ(p->items[0].name, "a");
  EXPECT_EQ(p->items[0].value, "{x;y}");
  EXPECT_EQ(p->items[1].name, "b");
  EXPECT_EQ(p->items[1].value, "1");
}

TEST(DataSourceProps, EndsAndEmptyItems) {
  EXPECT_EQ(Parse("ServerName=db1;PortNumber=9088;")->items.size(), 2u);  // final ';' adds nothing
  Props p = Parse("a=1;;b");
  ASSERT_EQ(p->items.size(), 3u);
  EXPECT_EQ(p->items[1].name, "");
  EXPECT_EQ(p->items[2].name, "b");
  EXPECT_FALSE(p->items[2].hasValue);
  Props eq = Parse("k=v=w");  // split at the first '='
  EXPECT_EQ(eq->items[0].value, "v=w");
  EXPECT_TRUE(Parse("")->items.empty());
  EXPECT_EQ(JC_ParseProps(nullptr), nullptr);
  // No fixed cap: every property reaches its setter.
  std::string many;
  for (int i = 0; i < 150; ++i) many += "p" + std::to_string(i) + "=" + std::to_string(i) + ";";
  EXPECT_EQ(Parse(many.c_str())->items.size(), 150u);
}

class SetterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(ConnectMem("setters", &conn_), 0u);
    c_ = AGT_Conn(conn_);
    env_ = attachJVM();
    c_->jniEnv = env_;
  }
  void TearDown() override { Ops().DRV_Disconnect(conn_); }
  // A new object of a JDK class and its class.
  jobject Make(const char* cls, jclass* out) {
    *out = env_->FindClass(cls);
    return env_->NewObject(*out, env_->GetMethodID(*out, "<init>", "()V"));
  }
  uint32_t conn_ = 0;
  JdbcConn* c_ = nullptr;
  JNIEnv* env_ = nullptr;
};

TEST_F(SetterTest, StringThenIntThenBooleanSetters) {
  JC_LocalFrame frame(env_, 32);
  jclass th;
  jobject t = Make("java/lang/Thread", &th);
  // setName(String), setPriority(int), setDaemon(boolean) in one text.
  ASSERT_EQ(JC_SetDataSourceProp(c_, th, t, Parse("Name=worker-9;Priority=3;Daemon=t").get()), 0u);
  jobject name = nullptr;
  ASSERT_EQ(JC_CallObjectMethod(env_, t, nullptr, "getName", "()Ljava/lang/String;", &name), 0u);
  char* text = JC_GetTextCopy(env_, static_cast<jstring>(name), 1);
  EXPECT_STREQ(text, "worker-9");
  std::free(text);
  int32_t prio = 0;
  ASSERT_EQ(JC_CallIntMethod(env_, t, nullptr, "getPriority", "()I", &prio), 0u);
  EXPECT_EQ(prio, 3);
  uint8_t daemon = 0;
  ASSERT_EQ(JC_CallBooleanMethod(env_, t, nullptr, "isDaemon", "()Z", &daemon), 0u);
  EXPECT_EQ(daemon, 1);
  // Anything but 1, T, t, Y is false; so is a missing value.
  for (const char* text2 : {"Daemon=no", "Daemon"}) {
    ASSERT_EQ(JC_SetDataSourceProp(c_, th, t, Parse("Daemon=Y").get()), 0u);
    ASSERT_EQ(JC_SetDataSourceProp(c_, th, t, Parse(text2).get()), 0u);
    ASSERT_EQ(JC_CallBooleanMethod(env_, t, nullptr, "isDaemon", "()Z", &daemon), 0u);
    EXPECT_EQ(daemon, 0) << text2;
  }
}

TEST_F(SetterTest, ThrowingSetterIsPostedAndStops) {
  JC_LocalFrame frame(env_, 32);
  jclass th;
  jobject t = Make("java/lang/Thread", &th);
  // setPriority(99) throws IllegalArgumentException; Name is never reached.
  EXPECT_EQ(JC_SetDataSourceProp(c_, th, t, Parse("Priority=99;Name=late").get()), ERR_GENERAL);
  EXPECT_FALSE(Errors(conn_).empty());
  jobject name = nullptr;
  ASSERT_EQ(JC_CallObjectMethod(env_, t, nullptr, "getName", "()Ljava/lang/String;", &name), 0u);
  char* text = JC_GetTextCopy(env_, static_cast<jstring>(name), 1);
  EXPECT_STRNE(text, "late");
  std::free(text);
}

TEST(InitialSqlFile, PathGetsSqlExtensionOnlyWithoutOne) {
  EXPECT_EQ(JC_InitialSqlPath("init"), "init.sql");
  EXPECT_EQ(JC_InitialSqlPath("init.txt"), "init.txt");
  EXPECT_EQ(JC_InitialSqlPath("/a.b/init"), "/a.b/init.sql");
  EXPECT_EQ(JC_InitialSqlPath("C:\\x.d\\init"), "C:\\x.d\\init.sql");
  EXPECT_EQ(JC_InitialSqlPath("/etc/.profile"), "/etc/.profile.sql");
}

TEST(InitialSqlFile, CommentsBlanksAndStatementsOverLines) {
  unsigned r = 9;
  auto s = ReadStmts("# set up\n\n   SET LOCK MODE TO WAIT 10;  \nSELECT 1,\n   FROM t;\n", &r);
  EXPECT_EQ(r, 0u);
  ASSERT_EQ(s.size(), 2u);
  EXPECT_EQ(s[0], "SET LOCK MODE TO WAIT 10");
  EXPECT_EQ(s[1], "SELECT 1, FROM t");
  EXPECT_TRUE(ReadStmts("", &r).empty());
  EXPECT_EQ(r, 0u);
}

TEST(InitialSqlFile, UnterminatedLastStatementReportsLinesRead) {
  unsigned r = 0;
  auto s = ReadStmts("CREATE TABLE a (x INT);\nINSERT INTO a\nVALUES (1)\n", &r);
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(r, 3u);
}

TEST(InitialSqlFile, LongLinesStayWhole) {
  std::string longText = "SELECT '" + std::string(1500, 'x') + "' FROM t";
  unsigned r = 0;
  auto s = ReadStmts(longText + ";\n", &r);
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0], longText);
}

TEST(InitialSqlFile, RunsAtConnectAndALaterStatementSeesItsTable) {
  std::string path = TempFile("init", "");  // named without extension in the setting
  std::remove(path.c_str());
  std::ofstream(path + ".sql") << "# tables for the test\n"
                                  "CREATE TABLE boot (a INT);\n"
                                  "INSERT INTO boot\n  VALUES (41);\n"
                                  "THIS IS NOT SQL;\n"
                                  "INSERT INTO boot VALUES (1);\n";
  JdbcConnSettings set;
  set.initialSql = strdup(path.c_str());
  uint32_t conn = 0;
  ASSERT_EQ(ConnectMem("initsql", &conn, &set), 0u) << ::testing::PrintToString(Errors(Env()));
  EXPECT_EQ(set.initialSql, nullptr);
  // The failing statement is skipped; the ones around it ran.
  EXPECT_EQ(QueryInt(conn, "SELECT SUM(a) FROM boot"), 42);
  EXPECT_EQ(Ops().DRV_Disconnect(conn), 0u);
  std::remove((path + ".sql").c_str());
}

TEST(InitialSqlFile, FileEndingInsideAStatementAnswersMinusOne) {
  uint32_t conn = 0;
  ASSERT_EQ(ConnectMem("initsql2", &conn), 0u);
  JdbcConn* c = AGT_Conn(conn);
  c->jniEnv = attachJVM();
  std::string path = TempFile("cut.sql", "CREATE TABLE cut (a INT);\nINSERT INTO cut VALUES (1)\n");
  EXPECT_EQ(runInitialSQL(c, c->connection, path.c_str()), -1);
  EXPECT_EQ(QueryInt(conn, "SELECT COUNT(*) FROM cut"), 0);  // created, the insert never ran
  EXPECT_EQ(runInitialSQL(c, c->connection, "/nonexistent/dir/init.sql"), -1);
  std::string ok = TempFile("ok.sql", "");
  EXPECT_EQ(runInitialSQL(c, c->connection, ok.c_str()), 0);
  std::remove(path.c_str());
  std::remove(ok.c_str());
  EXPECT_EQ(Ops().DRV_Disconnect(conn), 0u);
}
