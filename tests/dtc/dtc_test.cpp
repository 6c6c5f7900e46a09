// Connections enlisted through the Driver Manager in transactions of the
// stand-in coordinator, as a DTC application enlists them: PostgreSQL (with
// prepared transactions) and Derby take part in one two-phase commit.
#include <chrono>
#include <future>

#include "tests/dtc/coordinator.h"
#include "tests/support/dm_session.h"

namespace {

using qmr_test::DmSession;

struct Db {
  const char* dsn;
  const char* table;
  const char* ping;  // a statement that reads no table
};
const Db kPg{"QmrPgXa", "qmr_dtc_t", "SELECT 1"};
const Db kDerby{"QmrDerbyXa", "QMR_DTC_T", "VALUES 1"};

SQLRETURN Enlist(DmSession& s, ITransaction* t) {
  return SQLSetConnectAttr(s.dbc_, SQL_ATTR_ENLIST_IN_DTC, t, SQL_IS_POINTER);
}

// Unenlists on another thread: a call lock still held would keep it waiting.
SQLRETURN UnenlistInTime(DmSession& s) {
  auto f = std::async(std::launch::async, [&] { return Enlist(s, nullptr); });
  if (f.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
    ADD_FAILURE() << "the connection's call lock is still held";
    std::_Exit(1);
  }
  return f.get();
}

class Dtc : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(std::getenv("ODBCSYSINI"), nullptr) << "run through ctest";
    ASSERT_TRUE(pg_.Open(kPg.dsn));
    ASSERT_TRUE(derby_.Open(kDerby.dsn));
    pg_.Exec(
        "CREATE TABLE IF NOT EXISTS qmr_dtc_t (id INT, CONSTRAINT qmr_dtc_u UNIQUE (id) "
        "DEFERRABLE INITIALLY DEFERRED)");
    derby_.Exec("CREATE TABLE QMR_DTC_T (id INT)");
  }

  DmSession& On(const Db& db) { return &db == &kPg ? pg_ : derby_; }
  void Insert(const Db& db, int id) {
    On(db).MustExec("INSERT INTO " + std::string(db.table) + " VALUES (" + std::to_string(id) +
                    ")");
  }
  std::string Count(const Db& db, int id) {
    DmSession& s = On(db);
    if (!SQL_SUCCEEDED(s.Exec("SELECT COUNT(*) FROM " + std::string(db.table) +
                              " WHERE id = " + std::to_string(id))))
      return qmr_test::Diag(SQL_HANDLE_STMT, s.stmt_);
    const auto rows = qmr_test::FetchRows(s.stmt_);
    return rows.size() == 1 && rows[0].size() == 1 ? rows[0][0].text : "no count";
  }
  // Both connections enlisted in t, in this order, each with its row.
  void EnlistBoth(ITransaction* t, int id, std::initializer_list<const Db*> order) {
    for (const Db* db : order) {
      ASSERT_EQ(Enlist(On(*db), t), SQL_SUCCESS) << db->dsn << "\n"
                                                 << qmr_test::Diag(SQL_HANDLE_DBC, On(*db).dbc_);
      Insert(*db, id);
    }
  }
  void UnenlistBoth() {
    for (const Db* db : {&kPg, &kDerby}) EXPECT_EQ(UnenlistInTime(On(*db)), SQL_SUCCESS) << db->dsn;
  }

  DmSession pg_;
  DmSession derby_;
};

TEST_F(Dtc, TwoConnectionsCommitTogetherAndAbortTogether) {
  struct Row {
    const char* text;
    int id;
    bool commit;
  } rows[] = {{"commit", 1, true}, {"abort", 2, false}};
  for (const Row& r : rows) {
    ITransaction* t = Coord_Begin();
    EnlistBoth(t, r.id, {&kPg, &kDerby});
    EXPECT_EQ(r.commit ? t->Commit(0, 0, 0) : t->Abort(nullptr, 0, 0), S_OK) << r.text;
    UnenlistBoth();
    for (const Db* db : {&kPg, &kDerby})
      EXPECT_EQ(Count(*db, r.id), r.commit ? "1" : "0") << r.text << " " << db->dsn;
    t->Release();
  }
}

// Derby is prepared first; PostgreSQL's prepare then fails on its deferred
// unique constraint, so Derby's prepared branch must be rolled back too.
TEST_F(Dtc, AFailingPrepareAbortsBoth) {
  ITransaction* t = Coord_Begin();
  EnlistBoth(t, 3, {&kDerby, &kPg});
  Insert(kPg, 3);
  EXPECT_EQ(t->Commit(0, 0, 0), XACT_E_ABORTED);
  UnenlistBoth();
  for (const Db* db : {&kPg, &kDerby}) EXPECT_EQ(Count(*db, 3), "0") << db->dsn;
  t->Release();
}

// The branches stay prepared for the coordinator's recovery, which finds
// them through the driver's switch and commits them; meanwhile the
// connections are free again.
TEST_F(Dtc, TheCoordinatorGoingDownAfterPrepareLeavesTheBranchesForRecovery) {
  ITransaction* t = Coord_Begin();
  EnlistBoth(t, 4, {&kPg, &kDerby});
  Coord_GoDownAfterPrepare(t);
  EXPECT_EQ(t->Commit(0, 0, 0), XACT_E_CONNECTION_DOWN);
  UnenlistBoth();
  for (const Db* db : {&kPg, &kDerby}) On(*db).MustExec(db->ping);
  EXPECT_EQ(Count(kPg, 4), "0");
  EXPECT_EQ(Coord_Recover(t, 1), 2);
  for (const Db* db : {&kPg, &kDerby}) EXPECT_EQ(Count(*db, 4), "1") << db->dsn;
  // Decided once: nothing left in doubt.
  EXPECT_EQ(Coord_Recover(t, 1), 0);
  t->Release();
}

// Unenlisting (and closing) ends the connection's part: its branch is
// rolled back, local transactions work again, and the coordinator's late
// calls are refused without reaching the connection.
TEST_F(Dtc, UnenlistAndCloseEndTheConnectionsPart) {
  ITransaction* t = Coord_Begin();
  EnlistBoth(t, 5, {&kPg, &kDerby});
  EXPECT_EQ(UnenlistInTime(pg_), SQL_SUCCESS);
  EXPECT_EQ(Enlist(pg_, nullptr), SQL_ERROR) << "not enlisted any more";
  Insert(kPg, 6);
  derby_.Close();
  EXPECT_EQ(t->Commit(0, 0, 0), XACT_E_ABORTED);
  ASSERT_TRUE(derby_.Open(kDerby.dsn));
  EXPECT_EQ(Count(kPg, 5), "0");
  EXPECT_EQ(Count(kPg, 6), "1");
  EXPECT_EQ(Count(kDerby, 5), "0");
  t->Release();
}

}  // namespace
