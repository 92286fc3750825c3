// Result codes of the component-style services (theme data, accessibility
// objects): negative values are failures.
#pragma once

#include <cstdint>

using HRESULT = int32_t;
enum : HRESULT {
  S_OK = 0,
  S_FALSE = 1,
  E_NOTIMPL = static_cast<HRESULT>(0x80004001u),
  E_NOINTERFACE = static_cast<HRESULT>(0x80004002u),
  E_FAIL = static_cast<HRESULT>(0x80004005u),
  E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu),
  E_HANDLE = static_cast<HRESULT>(0x80070006u),
  E_INVALIDARG = static_cast<HRESULT>(0x80070057u),
  E_PROP_ID_UNSUPPORTED = static_cast<HRESULT>(0x80070490u),
  DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003u),
};
inline bool SUCCEEDED(HRESULT R) { return R >= 0; }
inline bool FAILED(HRESULT R) { return R < 0; }
