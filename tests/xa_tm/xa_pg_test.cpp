// A transaction manager over two resource managers, PostgreSQL (prepared
// transactions) and Derby, through the driver's XA switch; the application's
// SQL goes through the handles of SQLGetXaConnect.
#include <dirent.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <vector>

#include "tests/xa_tm/tm.h"

extern char** environ;

namespace {

struct Rm {
  std::string info;
  int rmid;
  const char* table;
};

const xatm::Driver& Drv() {
  static const xatm::Driver d = xatm::Driver::Load();
  return d;
}

Rm gPg{"DSN=QmrPgXa;UID=qmr", 1, "qmr_xa_t"};
Rm gDerby{"DSN=QmrDerbyXa", 2, "QMR_XA_T"};

int Open(Rm& rm) { return Drv().sw->xa_open_entry(&rm.info[0], rm.rmid, TMNOFLAGS); }
int Close(Rm& rm) { return Drv().sw->xa_close_entry(&rm.info[0], rm.rmid, TMNOFLAGS); }

std::string Count(const Rm& rm, int id) {
  return Drv().Query("SELECT COUNT(*) FROM " + std::string(rm.table) +
                     " WHERE id = " + std::to_string(id));
}

// Work of one branch on a resource manager, in a global transaction of its
// own committed in one phase: the tables and the reads outside the test's
// transactions.
std::string OnePhase(Rm& rm, const std::string& gtrid, const std::string& sql, bool query) {
  const xatm::Driver& d = Drv();
  XID x = xatm::MakeXid(gtrid, "b" + std::to_string(rm.rmid));
  if (d.sw->xa_start_entry(&x, rm.rmid, TMNOFLAGS) != XA_OK) return "start failed";
  std::string out = query ? Count(rm, std::stoi(sql)) : (d.Exec(sql) ? "ok" : "failed");
  d.sw->xa_end_entry(&x, rm.rmid, TMSUCCESS);
  if (d.sw->xa_commit_entry(&x, rm.rmid, TMONEPHASE) != XA_OK) return "commit failed";
  return out;
}

// The driver's XA worker threads, by the name they carry; the VM starts and
// ends threads of its own at any time, so they are not counted.
int Workers() {
  int n = 0;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (dirent* e = readdir(dir)) {
      if (e->d_name[0] == '.') continue;
      std::ifstream comm(std::string("/proc/self/task/") + e->d_name + "/comm");
      std::string name;
      std::getline(comm, name);
      if (name == "qmr-xa-worker") ++n;
    }
    closedir(dir);
  }
  return n;
}

class XaTm : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_NE(Drv().sw, nullptr) << dlerror();
    ASSERT_EQ(Open(gPg), XA_OK);
    ASSERT_EQ(Open(gDerby), XA_OK);
    EXPECT_EQ(OnePhase(gPg, "ddl-pg", "CREATE TABLE IF NOT EXISTS qmr_xa_t (id INT)", false), "ok");
    EXPECT_EQ(OnePhase(gDerby, "ddl-derby", "CREATE TABLE QMR_XA_T (id INT)", false), "ok");
  }
  static void TearDownTestSuite() {
    Close(gDerby);
    Close(gPg);
  }
};

TEST_F(XaTm, OneGlobalTransactionCommitsOrRollsBackOnBoth) {
  const xatm::Driver& d = Drv();
  struct Row {
    const char* text;
    int id;
    bool commit;
  } rows[] = {{"commit", 101, true}, {"rollback", 102, false}};
  for (const Row& r : rows) {
    const std::string gtrid = std::string("g-") + r.text;
    std::vector<std::pair<Rm*, XID>> branches;
    for (Rm* rm : {&gPg, &gDerby}) {
      branches.push_back({rm, xatm::MakeXid(gtrid, "b" + std::to_string(rm->rmid))});
      XID& x = branches.back().second;
      ASSERT_EQ(d.sw->xa_start_entry(&x, rm->rmid, TMNOFLAGS), XA_OK) << r.text;
      // The handles are those of the branch started last.
      EXPECT_TRUE(d.Exec("INSERT INTO " + std::string(rm->table) + " VALUES (" +
                         std::to_string(r.id) + ")"))
          << r.text << " " << rm->info;
      ASSERT_EQ(d.sw->xa_end_entry(&x, rm->rmid, TMSUCCESS), XA_OK) << r.text;
    }
    for (auto& [rm, x] : branches) EXPECT_EQ(d.sw->xa_prepare_entry(&x, rm->rmid, 0), XA_OK);
    for (auto& [rm, x] : branches) {
      const int rc = r.commit ? d.sw->xa_commit_entry(&x, rm->rmid, TMNOFLAGS)
                              : d.sw->xa_rollback_entry(&x, rm->rmid, TMNOFLAGS);
      EXPECT_EQ(rc, XA_OK) << r.text << " " << rm->info;
    }
    for (Rm* rm : {&gPg, &gDerby})
      EXPECT_EQ(OnePhase(*rm, gtrid + "-read", std::to_string(r.id), true), r.commit ? "1" : "0")
          << r.text << " " << rm->info;
  }
}

TEST_F(XaTm, UnknownBranchesAreNotKnown) {
  const xatm::Driver& d = Drv();
  for (Rm* rm : {&gPg, &gDerby}) {
    XID x = xatm::MakeXid("never-started", "b");
    EXPECT_EQ(d.sw->xa_commit_entry(&x, rm->rmid, TMNOFLAGS), XAER_NOTA) << rm->info;
    EXPECT_EQ(d.sw->xa_rollback_entry(&x, rm->rmid, TMNOFLAGS), XAER_NOTA) << rm->info;
  }
}

// A branch prepared by a process that then ends without deciding it is in
// doubt: another process finds it with xa_recover and commits it.
TEST_F(XaTm, ABranchLeftPreparedByAnEndedProcessIsRecoveredAndCommitted) {
  const xatm::Driver& d = Drv();
  const std::string gtrid = "child-" + std::to_string(getpid());
  char* argv[] = {const_cast<char*>(QMR_XA_CHILD), const_cast<char*>(gtrid.c_str()), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, QMR_XA_CHILD, nullptr, nullptr, argv, environ), 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  XID found[16];
  const int n = d.sw->xa_recover_entry(found, 16, gPg.rmid, TMSTARTRSCAN | TMENDRSCAN);
  ASSERT_GE(n, 1);
  const XID want = xatm::MakeXid(gtrid, "child");
  int match = -1;
  for (int i = 0; i < n; ++i)
    if (found[i].formatID == want.formatID && found[i].gtrid_length == want.gtrid_length &&
        found[i].bqual_length == want.bqual_length &&
        std::memcmp(found[i].data, want.data, want.gtrid_length + want.bqual_length) == 0)
      match = i;
  ASSERT_GE(match, 0) << "the child's branch is not among the " << n << " recovered";
  EXPECT_EQ(OnePhase(gPg, gtrid + "-before", "201", true), "0");
  EXPECT_EQ(d.sw->xa_commit_entry(&found[match], gPg.rmid, TMNOFLAGS), XA_OK);
  EXPECT_EQ(OnePhase(gPg, gtrid + "-after", "201", true), "1");
}

// While the XA side is open, the application's statements run on the
// connection's worker thread, always the same one; the close ends it.
TEST_F(XaTm, TheXaSideRunsItsStatementsOnOneWorkerThatTheCloseEnds) {
  const xatm::Driver& d = Drv();
  EXPECT_EQ(OnePhase(gDerby, "fn",
                     "CREATE FUNCTION QMR_THREAD() RETURNS VARCHAR(200) PARAMETER STYLE JAVA "
                     "NO SQL LANGUAGE JAVA EXTERNAL NAME 'QmrTestProcs.threadName'",
                     false),
            "ok");
  auto threadName = [&] {
    XID x = xatm::MakeXid("thread-name", "b");
    d.sw->xa_start_entry(&x, gDerby.rmid, TMNOFLAGS);
    const std::string name = d.Query("VALUES QMR_THREAD()");
    d.sw->xa_end_entry(&x, gDerby.rmid, TMSUCCESS);
    d.sw->xa_commit_entry(&x, gDerby.rmid, TMONEPHASE);
    return name;
  };
  const std::string first = threadName();
  EXPECT_FALSE(first.empty());
  EXPECT_EQ(threadName(), first);

  // One worker per open connection; closing ends it (its thread leaves the
  // kernel's list a moment after it returned), opening again starts anew.
  EXPECT_EQ(Workers(), 2);
  ASSERT_EQ(Close(gDerby), XA_OK);
  int left = Workers();
  for (int i = 0; i < 200 && left != 1; ++i, left = Workers()) usleep(10000);
  EXPECT_EQ(left, 1) << "the closed connection's worker is left behind";
  ASSERT_EQ(Open(gDerby), XA_OK);
  EXPECT_EQ(Workers(), 2);
  EXPECT_NE(threadName(), first);
}

}  // namespace
