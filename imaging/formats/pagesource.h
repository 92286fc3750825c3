// The picture a page writer encodes: the page formats take bilevel or
// 24-bit colour, so any other picture is written from a converted copy and
// the caller's picture is left as it is.
#pragma once

#include <memory>

#include "imaging/core/bitmap/iebitmap.h"

// Bitmap itself when it is ie1g or ie24RGB, else an ie24RGB copy held in
// Copy; nullptr when Bitmap is empty or no copy could be made.
inline TIEBitmap* IEPageSource(TIEBitmap* Bitmap, std::unique_ptr<TIEBitmap>& Copy) {
  if (!Bitmap || Bitmap->IsEmpty()) return nullptr;
  if (Bitmap->PixelFormat() == ie1g || Bitmap->PixelFormat() == ie24RGB) return Bitmap;
  Copy = std::make_unique<TIEBitmap>(Bitmap->Width(), Bitmap->Height(), ie24RGB);
  if (Copy->IsEmpty()) return nullptr;
  Copy->CopyAndConvertFormat(Bitmap);
  return Copy.get();
}
