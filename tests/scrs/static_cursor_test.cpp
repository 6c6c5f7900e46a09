// The static cursor over its dataset cache, filled through the fake agent's
// fetch slot: which results stay in memory, the windows read back from the
// files, and a fill that fails half way.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include "scrs/colset_ops.h"
#include "scrs/ss.h"
#include "support/fake_agent.h"

namespace {

uint32_t g_left = 0;  // rows the scripted result still has
int32_t g_next = 0;
uint32_t g_most =
    UINT32_MAX;       // rows a fetch gives at most (the agent gives long values one by one)
bool g_wide = false;  // two rows in three carry a text of over a kilobyte

std::string Text(int32_t row) {
  return "r" + std::to_string(row) + (g_wide && row % 3 != 0 ? std::string(1500, 'x') : "");
}

// The agent's fetch: what the fake agent scripts for slot 19, then rows of
// an INTEGER (the row number) and a long text ("r<number>").
uint32_t Fetch(uint32_t stmt, uint16_t want, COLSET* set) {
  if (int32_t rc = qmrtest::EnterCurrent(19, stmt)) return static_cast<uint32_t>(rc);
  const uint32_t n = std::min({uint32_t{want}, g_left, g_most});
  if (ColSetInit(set, n ? 2 : 0) != 0) return ERR_NO_MEMORY;
  if (n == 0) return 0;
  set->cols[0] = COLSET_COL{COLSET_VT_INTEGER, 4, nullptr, nullptr};
  set->cols[1] = COLSET_COL{COLSET_VT_LONGCHAR, sizeof(COLSET_LONG), nullptr, nullptr};
  set->cols_used = 2;
  if (ColSetSetRows(set, n) != 0) return ERR_NO_MEMORY;
  for (uint32_t r = 0; r < n; ++r, ++g_next) {
    const std::string text = Text(g_next);
    COLSET_LONG l{static_cast<uint32_t>(text.size()), strdup(text.c_str())};
    std::memcpy(set->cols[0].data + 4 * r, &g_next, 4);
    std::memcpy(set->cols[1].data + sizeof l * r, &l, sizeof l);
    set->cols[0].ind[r] = set->cols[1].ind[r] = 0;
  }
  set->rows_held = n;
  g_left -= n;
  return 0;
}

// Names in a directory (not . and ..): files there, or open descriptors.
int Entries(const std::string& dir) {
  int n = 0;
  DIR* d = opendir(dir.c_str());
  while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
  closedir(d);
  return n;
}

// Each test in a temporary directory of its own, which must stay empty.
class StaticCursor : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qmr_ss_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    dir_ = tmpl;
    setenv("TMPDIR", tmpl, 1);
    table_ = *fake_.table();
    table_.DRV_Fetch = Fetch;
    ASSERT_EQ(0, SS_Open(&ss_));
  }
  void TearDown() override {
    SS_Free(&ss_);
    ColSetDestroy(out_);
    EXPECT_EQ(0, Entries(dir_));
    rmdir(dir_.c_str());
    unsetenv("TMPDIR");
    g_most = UINT32_MAX;
    g_wide = false;
  }
  int Fill(uint32_t rows, uint32_t* count) {
    g_left = rows;
    g_next = 0;
    const DRV_Agent agent{DRV_AGENT_JDBC, &table_};
    return SS_GetRsltSet(ss_, &agent, 7, count);
  }
  // *out_ holds m rows from row `from` on, values and long texts.
  void ExpectRows(uint32_t from, uint32_t m) {
    ASSERT_NE(nullptr, out_);
    ASSERT_EQ(m, out_->rows_held);
    for (uint32_t i = 0; i < m; ++i) {
      int32_t v;
      std::memcpy(&v, out_->cols[0].data + 4 * i, 4);
      COLSET_LONG l;
      std::memcpy(&l, out_->cols[1].data + sizeof l * i, sizeof l);
      ASSERT_EQ(static_cast<int32_t>(from + i), v) << "row " << i;
      ASSERT_EQ(Text(static_cast<int32_t>(from + i)),
                std::string(static_cast<char*>(l.value), l.length));
    }
  }

  qmrtest::FakeAgent fake_;
  DRV_OpTable table_{};
  SS_CURSOR* ss_ = nullptr;
  COLSET* out_ = nullptr;
  std::string dir_;
};

struct WindowCase {
  uint32_t rows, start, n;
  uint32_t got;
  uint32_t state;        // cache state after the fill
  int32_t window_start;  // after the fetch
  uint32_t window_rows;  // rows held in memory after the fetch
};

TEST_F(StaticCursor, ServesRowsetsFromMemoryOrWindows) {
  const WindowCase kCases[] = {
      {4999, 4990, 10, 9, DSC_CLOSED, 0, 4999},
      {5000, 1000, 3000, 3000, DSC_CLOSED, 0, 5000},  // more than half the window, in memory
      {5000, 4000, 2000, 1000, DSC_CLOSED, 0, 5000},  // past row 5000, in memory
      // On disk the rows gathered before the spill stay as the first
      // window; a rowset beyond it is read alone and loads no window.
      {12000, 7000, 10, 10, DSC_ON_DISK, 0, 5200},
      {12000, 11995, 10, 5, DSC_ON_DISK, 0, 5200},
      {5001, 5000, 10, 1, DSC_ON_DISK, 0, 5001},
      {12000, 100, 3000, 3000, DSC_ON_DISK, 0, 5200},
      // A pass from the position beyond the window reads one ahead.
      {12000, 0, 7000, 7000, DSC_ON_DISK, 0, 7000},
  };
  for (const WindowCase& c : kCases) {
    SCOPED_TRACE(std::to_string(c.rows) + " rows from " + std::to_string(c.start));
    uint32_t count = 0;
    ASSERT_EQ(0, Fill(c.rows, &count));
    EXPECT_EQ(c.rows, count);
    EXPECT_EQ(c.state, ss_->cache.state);
    EXPECT_EQ(c.state == DSC_ON_DISK, ss_->cache.data != nullptr);
    ASSERT_EQ(0, SS_Fetch(ss_, static_cast<int32_t>(c.start), c.n, &out_));
    ExpectRows(c.start, c.got);
    EXPECT_EQ(c.window_start, ss_->window_start);
    EXPECT_EQ(c.window_rows, ss_->rows->rows_held);
    ASSERT_EQ(0, SS_Fetch(ss_, static_cast<int32_t>(c.rows), 1, &out_));
    EXPECT_EQ(0, out_->cols_used);
    // The files' names went at creation; while open they are private.
    EXPECT_EQ(0, Entries(dir_));
    for (FILE* f : {ss_->cache.data, ss_->cache.index}) {
      struct stat st;
      if (f == nullptr) continue;
      ASSERT_EQ(0, fstat(fileno(f), &st));
      EXPECT_EQ(0600u, st.st_mode & 0777);
      EXPECT_EQ(0u, st.st_nlink);
      EXPECT_TRUE(fcntl(fileno(f), F_GETFD) & FD_CLOEXEC);
    }
  }
}

TEST_F(StaticCursor, ContinuingFetchStopsAtTheEnd) {
  ASSERT_EQ(0, Fill(5001, nullptr));
  for (uint32_t from : {0u, 2000u, 4000u}) {
    ASSERT_EQ(0, SS_Fetch(ss_, SS_CONTINUE, 2000, &out_));
    ExpectRows(from, from == 4000 ? 1001 : 2000);
  }
  EXPECT_EQ(SS_AT_END, ss_->position);
  ASSERT_EQ(0, SS_Fetch(ss_, SS_CONTINUE, 10, &out_));
  EXPECT_EQ(0, out_->cols_used);
  ASSERT_EQ(0, SS_Fetch(ss_, 10, 5, &out_));
  ExpectRows(10, 5);
  ASSERT_EQ(0, SS_Fetch(ss_, SS_CONTINUE, 5, &out_));
  ExpectRows(15, 5);
}

// A rowset handed out with its long values deferred, from a window that
// later fetches move away: the values then come from the files.
TEST_F(StaticCursor, DeferredLongValuesAreFoundAfterTheWindowMoved) {
  ASSERT_EQ(0, Fill(12000, nullptr));
  ASSERT_EQ(0, SS_Fetch(ss_, 7000, 10, &out_));
  ASSERT_EQ(0, SS_FetchDeferred(ss_, 7010, 10, &out_));
  EXPECT_EQ(7010, ss_->window_start);
  EXPECT_EQ(COLSET_IND_DEFERRED, out_->cols[1].ind[0]);
  COLSET* other = nullptr;
  ASSERT_EQ(0, SS_Fetch(ss_, 2000, 1, &other));
  ASSERT_EQ(0, SS_Fetch(ss_, 2001, 1, &other));
  ColSetDestroy(other);
  EXPECT_EQ(2001, ss_->window_start);
  COLSET_LONG v{};
  for (uint32_t i = 0; i < 10; ++i) {
    ASSERT_EQ(0, SS_GetLong(ss_, i, 1, &v));
    EXPECT_EQ("r" + std::to_string(7010 + i), std::string(static_cast<char*>(v.value), v.length));
    std::free(v.value);
  }
  EXPECT_EQ(ERR_GENERAL, SS_GetLong(ss_, 10, 1, &v));
  EXPECT_EQ(ERR_GENERAL, SS_GetLong(ss_, 0, 0, &v));
}

TEST_F(StaticCursor, FillFailingHalfWayKeepsNothing) {
  const int fds = Entries("/proc/self/fd");
  for (int i = 0; i < 40; ++i) fake_.PushResult(19, 0);  // 8000 rows, then a failure
  fake_.PushResult(19, ERR_CANCELLED);
  uint32_t count = 99;
  EXPECT_EQ(ERR_CANCELLED, Fill(12000, &count));
  EXPECT_EQ(41, fake_.CallCount(19));
  EXPECT_EQ(0u, count);
  EXPECT_EQ(DSC_CLOSED, ss_->cache.state);
  EXPECT_EQ(nullptr, ss_->cache.data);
  EXPECT_EQ(nullptr, ss_->rows->cols);
  EXPECT_EQ(fds, Entries("/proc/self/fd"));
  EXPECT_EQ(0, Entries(dir_));
}

// Rows that come one at a time, as long values do, reach the files in
// their order, short texts and long ones alike.
TEST_F(StaticCursor, RowByRowFetchesKeepTheirOrderInTheFiles) {
  g_most = 1;
  for (bool wide : {false, true}) {
    SCOPED_TRACE(wide ? "wide" : "short");
    g_wide = wide;
    ASSERT_EQ(0, Fill(12000, nullptr));
    for (uint32_t from : {4990u, 5000u, 7333u, 11990u}) {
      ASSERT_EQ(0, SS_Fetch(ss_, static_cast<int32_t>(from), 10, &out_));
      ExpectRows(from, 10);
    }
  }
}

// A write failing once the rows go to the files (here the file size limit)
// fails the fill cleanly, and the next fill starts afresh.
TEST_F(StaticCursor, FillWhoseWritesFailKeepsNothing) {
  const int fds = Entries("/proc/self/fd");
  rlimit old{};
  ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &old));
  const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 64 * 1024;
  ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &small));
  uint32_t count = 99;
  const int rc = Fill(50000, &count);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldSignal);
  EXPECT_EQ(ERR_GENERAL, rc);
  EXPECT_EQ(0u, count);
  EXPECT_EQ(DSC_CLOSED, ss_->cache.state);
  EXPECT_EQ(nullptr, ss_->rows->cols);
  EXPECT_EQ(fds, Entries("/proc/self/fd"));
  ASSERT_EQ(0, Fill(12000, &count));
  EXPECT_EQ(12000u, count);
  ASSERT_EQ(0, SS_Fetch(ss_, 11000, 10, &out_));
  ExpectRows(11000, 10);
}

}  // namespace
