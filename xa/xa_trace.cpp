#include "xa/xa_trace.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "driver/trace.h"
#include "platform/procinfo.h"
#include "platform/registry.h"
#include "util/xa.h"

namespace {

// Set while the coordinator code's lines have a stream to go to.
std::atomic<bool> gTraceOn{false};

struct CodeName {
  int32_t code;
  const char* name;
};

constexpr CodeName kXaNames[] = {
    {XAER_OUTSIDE, "XAER_OUTSIDE"},
    {XAER_DUPID, "XAER_DUPID"},
    {XAER_RMFAIL, "XAER_RMFAIL"},
    {XAER_PROTO, "XAER_PROTO"},
    {XAER_INVAL, "XAER_INVAL"},
    {XAER_NOTA, "XAER_NOTA"},
    {XAER_RMERR, "XAER_RMERR"},
    {XAER_ASYNC, "XAER_ASYNC"},
    {XA_OK, "XA_OK"},
    {XA_RDONLY, "XA_RDONLY"},
    {XA_RETRY, "XA_RETRY"},
    {XA_HEURMIX, "XA_HEURMIX"},
    {XA_HEURRB, "XA_HEURRB"},
    {XA_HEURCOM, "XA_HEURCOM"},
    {XA_HEURHAZ, "XA_HEURHAZ"},
    {XA_NOMIGRATE, "XA_NOMIGRATE"},
    {XA_RBROLLBACK, "XA_RBROLLBACK"},
    {XA_RBCOMMFAIL, "XA_RBCOMMFAIL"},
    {XA_RBDEADLOCK, "XA_RBDEADLOCK"},
    {XA_RBINTEGRITY, "XA_RBINTEGRITY"},
    {XA_RBPROTO, "XA_RBPROTO"},
    {XA_RBTIMEOUT, "XA_RBTIMEOUT"},
    {XA_RBTRANSIENT, "XA_RBTRANSIENT"},
};

constexpr CodeName kHResultNames[] = {
    {0x00000000, "S_OK"},
    {0x0004D000, "XACT_S_ASYNC"},
    {0x0004D002, "XACT_S_READONLY"},
    {0x0004D008, "XACT_S_ABORTING"},
    {0x0004D009, "XACT_S_SINGLEPHASE"},
    {static_cast<int32_t>(0x80004001), "E_NOTIMPL"},
    {static_cast<int32_t>(0x80004002), "E_NOINTERFACE"},
    {static_cast<int32_t>(0x80004004), "E_ABORT"},
    {static_cast<int32_t>(0x80004005), "E_FAIL"},
    {static_cast<int32_t>(0x8000FFFF), "E_UNEXPECTED"},
    {static_cast<int32_t>(0x80044002), "E_QMR_DSN2HNDL_FAIL"},
    {static_cast<int32_t>(0x8004D001), "XACT_E_CANTRETAIN"},
    {static_cast<int32_t>(0x8004D002), "XACT_E_COMMITFAILED"},
    {static_cast<int32_t>(0x8004D008), "XACT_E_ISOLATIONLEVEL"},
    {static_cast<int32_t>(0x8004D00B), "XACT_E_NOISORETAIN"},
    {static_cast<int32_t>(0x8004D00E), "XACT_E_NOTRANSACTION"},
    {static_cast<int32_t>(0x8004D00F), "XACT_E_NOTSUPPORTED"},
    {static_cast<int32_t>(0x8004D013), "XACT_E_XTIONEXISTS"},
    {static_cast<int32_t>(0x8004D016), "XACT_E_INDOUBT"},
    {static_cast<int32_t>(0x8004D017), "XACT_E_NOTIMEOUT"},
    {static_cast<int32_t>(0x8004D018), "XACT_E_ALREADYINPROGRESS"},
    {static_cast<int32_t>(0x8004D019), "XACT_E_ABORTED"},
    {static_cast<int32_t>(0x8004D01A), "XACT_E_LOGFULL"},
    {static_cast<int32_t>(0x8004D01B), "XACT_E_TMNOTAVAILABLE"},
    {static_cast<int32_t>(0x8004D01C), "XACT_E_CONNECTION_DOWN"},
    {static_cast<int32_t>(0x8004D01D), "XACT_E_CONNECTION_DENIED"},
    {static_cast<int32_t>(0x8004D103), "XACT_E_NOTSINGLEPHASE"},
    {static_cast<int32_t>(0x8007000E), "E_OUTOFMEMORY"},
    {static_cast<int32_t>(0x80070057), "E_INVALIDARG"},
};

template <size_t N>
const char* Lookup(const CodeName (&table)[N], int32_t code, const char* unknown) {
  for (const CodeName& row : table)
    if (row.code == code) return row.name;
  return unknown;
}

// The registry's default value of the key, or "".
std::string DefaultValue(const std::string& key) {
  plat::RegValue v = plat::reg_query(key, "@");
  return v.type == plat::RegType::String ? v.text : std::string();
}

}  // namespace

std::atomic<int32_t> CObjCounter::count_{0};
void CObjCounter::Increment(uint32_t) { count_.fetch_add(1); }
void CObjCounter::Decrement(uint32_t) { count_.fetch_sub(1); }
int32_t CObjCounter::Count() { return count_.load(); }

const char* XA_CodeName(int code) { return Lookup(kXaNames, code, "Unknown"); }

const char* RD_HResultName(HRESULT hr) { return Lookup(kHResultNames, hr, "Unknown!"); }

bool RD_TraceOn() { return gTraceOn.load(); }

void RD_OpenTrace() {
  if (!TRC_IsOpen(TRC_MODE_XA)) TRC_Open(TRC_MODE_XA);
  if (!TRC_IsOpen(TRC_MODE_XA)) return;
  gTraceOn = true;
  tzset();
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char started[201];
  const size_t n = std::strftime(started, sizeof started, "** Started on %a %b %d, %H:%M **", &tm);
  TRC_WriteLine(TRC_MODE_XA, "** Quillmar OLE Transactions Interface: Trace file **");
  TRC_WriteLine(TRC_MODE_XA, std::string(started, n).append("\n").c_str());
}

void RD_CloseTrace() {
  if (TRC_IsOpen(TRC_MODE_XA)) TRC_Close(TRC_MODE_XA);
}

void RD_Trace(const char* format, ...) {
  if (!gTraceOn.load() || !TRC_Active()) return;
  char message[2048];
  va_list ap;
  va_start(ap, format);
  std::vsnprintf(message, sizeof message, format, ap);
  va_end(ap);
  std::string line = "[" + std::to_string(plat::thread_id()) + "] " + message;
  // The stream adds the line's end itself.
  if (!line.empty() && line.back() == '\n') line.pop_back();
  TRC_WriteLine(TRC_MODE_XA, line.c_str());
}

HRESULT RD_TraceHResult(HRESULT hr) {
  RD_Trace("%s: Returned HRESULT: %#.8" PRIx32 "(%s)\n",
           hr >= 0 ? "Call success    " : "Call failure >>>", static_cast<uint32_t>(hr),
           RD_HResultName(hr));
  return hr;
}

uint32_t RD_TraceULong(uint32_t value) {
  RD_Trace("Call returned: %" PRIu32 "\n", value);
  return value;
}

bool RD_IidEqual(const IID& a, const IID& b) {
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
         std::equal(a.Data4, a.Data4 + 8, b.Data4);
}

std::string RD_IidName(const IID& iid) {
  if (RD_IidEqual(iid, IID_IUnknown)) return "IID_IUnknown";
  char braced[40];
  std::snprintf(braced, sizeof braced,
                "{%08" PRIX32 "-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", iid.Data1, iid.Data2,
                iid.Data3, iid.Data4[0], iid.Data4[1], iid.Data4[2], iid.Data4[3], iid.Data4[4],
                iid.Data4[5], iid.Data4[6], iid.Data4[7]);
  for (const char* root : {"HKEY_CLASSES_ROOT\\Interface\\", "HKEY_CLASSES_ROOT\\CLSID\\"}) {
    std::string name = DefaultValue(std::string(root) + braced);
    if (!name.empty()) return name;
  }
  return braced;
}
