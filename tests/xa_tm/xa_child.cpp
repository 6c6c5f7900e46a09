// A process that prepares one branch on PostgreSQL's XA data source and
// ends without deciding it: argv[1] is the global transaction id.
#include <unistd.h>

#include "tests/xa_tm/tm.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const xatm::Driver d = xatm::Driver::Load();
  if (d.sw == nullptr) return 3;
  char info[] = "DSN=QmrPgXa;UID=qmr";
  if (d.sw->xa_open_entry(info, 1, TMNOFLAGS) != XA_OK) return 4;
  XID x = xatm::MakeXid(argv[1], "child");
  if (d.sw->xa_start_entry(&x, 1, TMNOFLAGS) != XA_OK) return 5;
  if (!d.Exec("INSERT INTO qmr_xa_t VALUES (201)")) return 6;
  if (d.sw->xa_end_entry(&x, 1, TMSUCCESS) != XA_OK) return 7;
  if (d.sw->xa_prepare_entry(&x, 1, TMNOFLAGS) != XA_OK) return 8;
  _exit(0);
}
