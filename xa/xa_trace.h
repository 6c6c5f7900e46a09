// The transaction traces: the XA switch's lines and the coordinator code's
// lines share the driver's XA trace stream. Also the names of XA return
// codes and HRESULTs, and of interface IDs, for those lines.
#ifndef QMR_XA_XA_TRACE_H
#define QMR_XA_XA_TRACE_H

#include <atomic>
#include <cstdint>
#include <string>

#include "xa/com.h"

// Puts the coordinator code's banner into the XA stream, opening the stream
// when it is not open; without a configured trace nothing is written later.
void RD_OpenTrace();
void RD_CloseTrace();
bool RD_TraceOn();
// One line (the format ends in its own "\n"): "[thread id] " and the text.
void RD_Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
// "Call success    : ..." or "Call failure >>>: ..." with the name; answers hr.
HRESULT RD_TraceHResult(HRESULT hr);
uint32_t RD_TraceULong(uint32_t value);

const char* XA_CodeName(int code);
const char* RD_HResultName(HRESULT hr);

bool RD_IidEqual(const IID& a, const IID& b);
// "IID_IUnknown", else the name the registry stand-in gives the ID under
// HKEY_CLASSES_ROOT\Interface (then \CLSID), else the ID in braces.
std::string RD_IidName(const IID& iid);

// Live objects of the coordinator code, counted for the trace.
class CObjCounter {
 public:
  static void Increment(uint32_t kind);
  static void Decrement(uint32_t kind);
  static int32_t Count();

 private:
  static std::atomic<int32_t> count_;
};

#endif
