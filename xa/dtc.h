// The coordinator's published interfaces, in their published method order
// and with their published IDs, and the entry point of its helper library
// (libxolehlp.so), which the driver loads by name.
#ifndef QMR_XA_DTC_H
#define QMR_XA_DTC_H

#include "util/xa.h"
#include "xa/com.h"

struct BOID {
  uint8_t rgb[16];
};
typedef BOID XACTUOW;

struct XACTTRANSINFO {
  XACTUOW uow;
  int32_t isoLevel;
  uint32_t isoFlags;
  uint32_t grfTCSupported;
  uint32_t grfRMSupported;
  uint32_t grfTCSupportedRetaining;
  uint32_t grfRMSupportedRetaining;
};

class IMoniker;

// {0FB15084-AF41-11CE-BD2B-204C4F4F5020}
constexpr IID IID_ITransaction = {
    0x0FB15084, 0xAF41, 0x11CE, {0xBD, 0x2B, 0x20, 0x4C, 0x4F, 0x4F, 0x50, 0x20}};
// {47ED4971-53B3-11D1-BBB9-00C04FD658F6}
constexpr IID IID_IDtcToXaHelperSinglePipe = {
    0x47ED4971, 0x53B3, 0x11D1, {0xBB, 0xB9, 0x00, 0xC0, 0x4F, 0xD6, 0x58, 0xF6}};
// {69E971F0-23CE-11CF-AD60-00AA00A74CCD}
constexpr IID IID_ITransactionResourceAsync = {
    0x69E971F0, 0x23CE, 0x11CF, {0xAD, 0x60, 0x00, 0xAA, 0x00, 0xA7, 0x4C, 0xCD}};
// {0FB15081-AF41-11CE-BD2B-204C4F4F5020}
constexpr IID IID_ITransactionEnlistmentAsync = {
    0x0FB15081, 0xAF41, 0x11CE, {0xBD, 0x2B, 0x20, 0x4C, 0x4F, 0x4F, 0x50, 0x20}};

class ITransaction : public IUnknown {
 public:
  virtual HRESULT Commit(int32_t fRetaining, uint32_t grfTC, uint32_t grfRM) = 0;
  virtual HRESULT Abort(BOID* pboidReason, int32_t fRetaining, int32_t fAsync) = 0;
  virtual HRESULT GetTransactionInfo(XACTTRANSINFO* pinfo) = 0;

 protected:
  ~ITransaction() = default;
};

class ITransactionEnlistmentAsync : public IUnknown {
 public:
  virtual HRESULT PrepareRequestDone(HRESULT hr, IMoniker* pmk, BOID* pboidReason) = 0;
  virtual HRESULT CommitRequestDone(HRESULT hr) = 0;
  virtual HRESULT AbortRequestDone(HRESULT hr) = 0;

 protected:
  ~ITransactionEnlistmentAsync() = default;
};

class ITransactionResourceAsync : public IUnknown {
 public:
  virtual HRESULT PrepareRequest(int32_t fRetaining, uint32_t grfRM, int32_t fWantMoniker,
                                 int32_t fSinglePhase) = 0;
  virtual HRESULT CommitRequest(uint32_t grfRM, XACTUOW* pNewUOW) = 0;
  virtual HRESULT AbortRequest(BOID* pboidReason, int32_t fRetaining, XACTUOW* pNewUOW) = 0;
  virtual HRESULT TMDown() = 0;

 protected:
  ~ITransactionResourceAsync() = default;
};

class IDtcToXaHelperSinglePipe : public IUnknown {
 public:
  // pszDSN is the resource manager's open string for the driver's switch,
  // pszClientDllName the driver library the coordinator loads for recovery.
  virtual HRESULT XARMCreate(char* pszDSN, char* pszClientDllName, uint32_t* pdwRMCookie) = 0;
  // pdwITrans is the ITransaction pointer.
  virtual HRESULT ConvertTridToXID(uint32_t* pdwITrans, uint32_t dwRMCookie, XID* pxid) = 0;
  virtual HRESULT EnlistWithRM(uint32_t dwRMCookie, ITransaction* pITransaction,
                               ITransactionResourceAsync* pITransRes,
                               ITransactionEnlistmentAsync** ppITransEnlistment) = 0;
  virtual void ReleaseRMCookie(uint32_t dwRMCookie, int32_t fNormal) = 0;

 protected:
  ~IDtcToXaHelperSinglePipe() = default;
};

// The helper library's entry point, looked up by this name.
constexpr const char* kDtcHelperLibrary = "libxolehlp.so";
constexpr const char* kDtcGetTransactionManager = "DtcGetTransactionManager";
typedef HRESULT (*DtcGetTransactionManager_t)(char* pszHost, char* pszTmName, const IID& riid,
                                              uint32_t dwReserved1, uint16_t wcbReserved2,
                                              void* pvReserved2, void** ppvObject);

#endif
