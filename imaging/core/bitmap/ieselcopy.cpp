// Selection copies between pictures through a mask, and the exchange of
// whole planes between pictures and masks.
#include "imaging/core/bitmap/ieselcopy.h"

#include <algorithm>
#include <cstring>

#include "imaging/core/base/ieutils.h"

namespace {

// Size of the mask's box; false for an empty or inverted box.
bool BoxSize(const TIEMask& Mask, Integer& W, Integer& H) {
  if (Mask.IsEmpty()) return false;
  const int64_t w = int64_t(Mask.X2) - Mask.X1 + 1, h = int64_t(Mask.Y2) - Mask.Y1 + 1;
  if (w <= 0 || h <= 0 || w > INT32_MAX || h > INT32_MAX) return false;
  W = Integer(w);
  H = Integer(h);
  return true;
}

// Dest sized to the mask's box in Bitmap's format. A palette picture takes
// the palette along, or the copied indexes would show other colours.
bool AllocateForBox(TIEBitmap& Bitmap, TIEBitmap* Dest, TIEMask* Mask) {
  Integer w, h;
  if (!Dest || !Mask || Dest == &Bitmap || !BoxSize(*Mask, w, h)) return false;
  if (!Dest->Allocate(w, h, Bitmap.PixelFormat())) return false;
  if (Bitmap.PixelFormat() == ie8p) Bitmap.CopyPaletteTo(Dest);
  return true;
}

}  // namespace

void IECopySelectionTo(TIEBitmap& Bitmap, TIEBitmap* Dest, TIEMask* Mask) {
  if (!AllocateForBox(Bitmap, Dest, Mask)) return;
  Bitmap.CopyRectTo(Dest, Mask->X1, Mask->Y1, 0, 0, Dest->Width(), Dest->Height());
  Mask->CopyBitmap(Dest, &Bitmap, true, false, true);
}

void IECopySelectionOnBackgroundTo(TIEBitmap& Bitmap, TIEBitmap* Dest, TIEMask* Mask, Integer Background) {
  if (!AllocateForBox(Bitmap, Dest, Mask)) return;
  Dest->Fill(Background);
  Mask->CopyBitmap(Dest, &Bitmap, true, false, true);
}

void IEPasteSelectionTo(TIEBitmap& Bitmap, TIEBitmap* Dest, TIEMask* Mask) {
  if (!Dest || !Mask || Dest == &Bitmap || Mask->IsEmpty()) return;
  Mask->CopyBitmap(Dest, &Bitmap, false, true, false);
  if (Bitmap.HasAlphaChannel() && !Dest->IsAlphaChannel()) {
    TIEBitmap* da = Dest->GetAlphaChannel();
    Mask->CopyBitmap(da, Bitmap.GetAlphaChannel(), false, true, false);
    da->SetFull(false);
  }
}

void IECopyFromTIEMask(TIEBitmap& Bitmap, TIEMask* Mask) {
  if (!Mask) {
    Bitmap.Fill(255);
    return;
  }
  TIEPixelFormat pf;
  if (Mask->BitsPerPixel() == 1)
    pf = ie1g;
  else if (Mask->BitsPerPixel() == 8)
    pf = ie8g;
  else
    return;
  if (!Bitmap.Allocate(Mask->Width(), Mask->Height(), pf)) return;
  TIEAccessScope scope(Bitmap, ieaWrite);
  const size_t len = size_t(std::min(Bitmap.RowLen(), Mask->RowLen()));
  for (Integer y = 0; y < Mask->Height(); ++y) std::memcpy(Bitmap.GetScanline(y), Mask->ScanLine(y), len);
  Bitmap.SetFull(Mask->Full);
}

void IECopyToTIEMask(TIEBitmap& Bitmap, TIEMask* Mask) {
  if (!Mask) return;
  const TIEPixelFormat pf = Bitmap.PixelFormat();
  if (pf != ie1g && pf != ie8g && pf != ie24RGB) return;
  Mask->AllocateBits(Bitmap.Width(), Bitmap.Height(), pf == ie1g ? 1 : 8);
  if (!Mask->Bits()) return;
  TIEAccessScope scope(Bitmap, ieaRead);
  if (pf == ie24RGB) {
    // Grey levels on the full scale: white selects fully, as 255 does in an
    // alpha channel.
    for (Integer y = 0; y < Bitmap.Height(); ++y) {
      const TRGB* s = static_cast<const TRGB*>(Bitmap.GetScanline(y));
      Byte* d = Mask->ScanLine(y);
      for (Integer x = 0; x < Bitmap.Width(); ++x) d[x] = Byte(IERGBToGray(s[x]));
    }
  } else {
    const size_t len = size_t(std::min(Bitmap.RowLen(), Mask->RowLen()));
    for (Integer y = 0; y < Bitmap.Height(); ++y) std::memcpy(Mask->ScanLine(y), Bitmap.GetScanline(y), len);
    Mask->Full = Bitmap.Full();
  }
  // The box is part of the mask's state: an alpha plane handed on must not
  // look empty to the mask's users.
  Mask->SyncRect();
}
