// Reads arbitrary bytes as the number, colour, boolean and GUID texts that
// parameter keys and metadata carry. Whatever reads must format and read back
// to the same value.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "imaging/core/base/iehelpers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const AnsiString text(reinterpret_cast<const char*>(data), size);
  const WideString wide = IEAnsiToWide(text);
  if (IEWideToAnsi(wide) != text) std::abort();

  const Extended v = IEStrToFloatDefAnsi(text, -12345);
  if (v != -12345 && std::isfinite(v)) {
    if (std::fabs(v) <= 1e300L) {
      Integer n, d;
      IEFloatToFraction(n, d, static_cast<double>(v), 5e-9);
      if (d <= 0) std::abort();
    }
    AnsiString back;
    IEFloatToAnsiStr(back, v);
    const Extended again = IEStrToFloatDefAnsi(back, -12345);
    if (again == -12345) std::abort();
    WideString fixed;
    IEFloatToStrF(ieffFixed, 15, 4, fixed, v);
  }

  TRGB colour;
  IEStrToIntList(wide, colour);
  TGUID guid;
  if (IEStrToGUID(wide, guid)) {
    WideString g;
    IEGUIDToStr(guid, g);
    TGUID again;
    if (!IEStrToGUID(g, again) || !IEEqualGUID(guid, again)) std::abort();
  }
  (void)IEStrToBool(wide);
  (void)IEStrToIntDefA(text, 0);
  WideString clean;
  IERemoveControlChars(wide, clean);
  return 0;
}
