// The COM types the transaction code shares with the coordinator's
// published interfaces: HRESULT values and interface IDs.
#ifndef QMR_XA_COM_H
#define QMR_XA_COM_H

#include <cstdint>

typedef int32_t HRESULT;

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
typedef GUID IID;

// {00000000-0000-0000-C000-000000000046}
constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000,
                              {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

#endif
