// The COM types the transaction code shares with the coordinator's
// published interfaces: HRESULT values, interface IDs, IUnknown and the
// task allocator.
#ifndef QMR_XA_COM_H
#define QMR_XA_COM_H

#include <cstddef>
#include <cstdint>

typedef int32_t HRESULT;

constexpr HRESULT S_OK = 0;
constexpr HRESULT XACT_S_READONLY = 0x0004D002;
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT XACT_E_ABORTED = static_cast<HRESULT>(0x8004D019u);
constexpr HRESULT XACT_E_CONNECTION_DOWN = static_cast<HRESULT>(0x8004D01Cu);
constexpr HRESULT XACT_E_NOTRANSACTION = static_cast<HRESULT>(0x8004D00Eu);
// The driver's own: the agent refused the XA open or start; the data
// source's XA open string cannot be read.
constexpr HRESULT E_QMR_XA_REFUSED = static_cast<HRESULT>(0x80044001u);
constexpr HRESULT E_QMR_NO_XAINFO = static_cast<HRESULT>(0x80044006u);

inline bool SUCCEEDED(HRESULT hr) { return hr >= 0; }

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
typedef GUID IID;

// {00000000-0000-0000-C000-000000000046}
constexpr IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {00000002-0000-0000-C000-000000000046}
constexpr IID IID_IMalloc = {
    0x00000002, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// The objects are deleted through Release only, hence the protected
// destructors.
class IUnknown {
 public:
  virtual HRESULT QueryInterface(const IID& riid, void** ppv) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;

 protected:
  ~IUnknown() = default;
};

class IMalloc : public IUnknown {
 public:
  virtual void* Alloc(size_t cb) = 0;
  virtual void* Realloc(void* pv, size_t cb) = 0;
  virtual void Free(void* pv) = 0;
  virtual size_t GetSize(void* pv) = 0;
  virtual int DidAlloc(void* pv) = 0;
  virtual void HeapMinimize() = 0;

 protected:
  ~IMalloc() = default;
};

// The process's task allocator (context 1 is the only one): S_OK with one
// reference in *out.
HRESULT CoGetMalloc(uint32_t context, IMalloc** out);

#endif
