// The XA switch as a transaction manager sees it, for what needs no XA data
// source: the record, the checks before a resource manager is reached and
// the trace.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "tests/xa_tm/tm.h"

namespace {

std::string TracePath() {
  static const std::string path = [] {
    std::string p = std::string(QMR_BUILD_DIR) + "/xa_switch_trace_" + std::to_string(getpid());
    setenv("QMR_DEBUGFILE", p.c_str(), 1);
    return p;
  }();
  return path;
}

const xatm::Driver& Drv() {
  TracePath();
  static const xatm::Driver d = xatm::Driver::Load();
  return d;
}

std::string XaTrace() {
  std::ifstream in(TracePath() + "-xa");
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(XaSwitch, IsOneRecordNamedQuillmar) {
  const xatm::Driver& d = Drv();
  ASSERT_NE(d.sw, nullptr) << dlerror();
  char name[RMNAMESZ] = "QUILLMAR";
  EXPECT_EQ(std::memcmp(d.sw->name, name, RMNAMESZ), 0);
  EXPECT_EQ(d.sw->flags, TMNOFLAGS);
  EXPECT_EQ(d.sw->version, 0);
  xa_switch_t* (*get)() = reinterpret_cast<xa_switch_t* (*)()>(dlsym(d.lib, "qmr_xa_switch"));
  EXPECT_EQ(get(), d.sw);
}

// Identifiers outside the X/Open limits are refused before the switch looks
// for a resource manager or reads a byte of them.
TEST(XaSwitch, IdentifiersOutOfRangeAreInvalid) {
  const xatm::Driver& d = Drv();
  ASSERT_NE(d.sw, nullptr);
  const std::string g64(64, 'g'), b64(64, 'b');
  struct Row {
    const char* text;
    long gtrid, bqual;
  } rows[] = {{"empty gtrid", 0, 1}, {"gtrid 65", 65, 1}, {"empty bqual", 1, 0},
              {"bqual 65", 64, 65},  {"negative", -1, 4}, {"huge", 1L << 40, 1}};
  using XidFn = int (*)(XID*, int, long);
  const XidFn entries[] = {d.sw->xa_start_entry,   d.sw->xa_end_entry,    d.sw->xa_rollback_entry,
                           d.sw->xa_prepare_entry, d.sw->xa_commit_entry, d.sw->xa_forget_entry};
  for (const Row& r : rows) {
    XID x = xatm::MakeXid("g", "b");
    x.gtrid_length = r.gtrid;
    x.bqual_length = r.bqual;
    for (XidFn fn : entries) EXPECT_EQ(fn(&x, 1, TMNOFLAGS), XAER_INVAL) << r.text;
  }
  for (XidFn fn : entries) EXPECT_EQ(fn(nullptr, 1, TMNOFLAGS), XAER_INVAL);
  XID ok = xatm::MakeXid(g64, b64);
  EXPECT_EQ(d.sw->xa_start_entry(&ok, 1, TMNOFLAGS), XAER_RMERR) << "valid, but never opened";
  EXPECT_EQ(d.sw->xa_recover_entry(nullptr, 5, 1, TMSTARTRSCAN), XAER_INVAL);
}

TEST(XaSwitch, OpenStringsWithoutADataSourceOrTooLongAreRefused) {
  const xatm::Driver& d = Drv();
  ASSERT_NE(d.sw, nullptr);
  std::string longest = "DSN=QmrHsqlU;PWD=sesame;APP=";
  longest.resize(255, 'x');
  std::string tooLong = longest + "x";
  struct Row {
    std::string info;
    int rmid;
  } rows[] = {{"UID=xDSN=QmrHsqlU;PWD=sesame", 11},
              {"PWD={sesame;DSN=QmrHsqlU}", 12},
              {"DSN=  ;PWD=sesame", 13},
              {tooLong, 14}};
  for (Row& r : rows) {
    EXPECT_EQ(d.sw->xa_open_entry(&r.info[0], r.rmid, TMNOFLAGS), XAER_RMERR) << r.info;
    EXPECT_NE(XaTrace().find("xa_switch_open(***, " + std::to_string(r.rmid) + ", 0)"),
              std::string::npos)
        << r.info;
  }
  EXPECT_NE(XaTrace().find("xa_switch_open: invalid xaInfo string format"), std::string::npos);
  EXPECT_NE(XaTrace().find("Call returned: XAER_RMERR(-3)"), std::string::npos);
  EXPECT_EQ(XaTrace().find("sesame"), std::string::npos);

  // The longest string taken names its data source to the trace; HSQLDB's
  // data source offers no XA side, so the open fails after the connect.
  EXPECT_NE(d.sw->xa_open_entry(&longest[0], 15, TMNOFLAGS), XA_OK);
  EXPECT_NE(XaTrace().find("xa_switch_open(QmrHsqlU, 15, 0)"), std::string::npos);
  EXPECT_EQ(XaTrace().find("sesame"), std::string::npos);
  EXPECT_EQ(d.sw->xa_close_entry(&longest[0], 15, TMNOFLAGS), XAER_RMERR);
}

TEST(XaSwitch, HandlesOnlyForAThreadWithAnOpenConnection) {
  const xatm::Driver& d = Drv();
  ASSERT_NE(d.getXaConnect, nullptr);
  SQLHDBC dbc = reinterpret_cast<SQLHDBC>(1);
  EXPECT_EQ(d.getXaConnect(&dbc), SQL_ERROR);
  EXPECT_EQ(dbc, nullptr);
  SQLHENV env = reinterpret_cast<SQLHENV>(1);
  EXPECT_EQ(d.getXaEnv(&env), SQL_ERROR);
  EXPECT_EQ(env, nullptr);
  EXPECT_EQ(d.getXaEnv(nullptr), SQL_ERROR);
  EXPECT_NE(XaTrace().find("Call returned: Unknown(-1)"), std::string::npos);
}

}  // namespace
