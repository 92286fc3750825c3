#include "platform/graphics/drawdib.h"

#include <mutex>
#include <unordered_set>

#include "platform/graphics/globalmem.h"

struct HDRAWDIB__ {
  Integer Unused = 0;
};

namespace {

struct TOpen {
  std::mutex Lock;
  std::unordered_set<HDRAWDIB> Live;
};

TOpen& Open() {
  static TOpen* o = new TOpen;
  return *o;
}

bool Alive(HDRAWDIB H) {
  TOpen& o = Open();
  std::lock_guard<std::mutex> g(o.Lock);
  return o.Live.count(H) != 0;
}

}  // namespace

HDRAWDIB DrawDibOpen() {
  auto* h = new HDRAWDIB__;
  TOpen& o = Open();
  std::lock_guard<std::mutex> g(o.Lock);
  o.Live.insert(h);
  return h;
}

BOOL DrawDibClose(HDRAWDIB Handle) {
  TOpen& o = Open();
  {
    std::lock_guard<std::mutex> g(o.Lock);
    if (!o.Live.erase(Handle)) return FALSE;
  }
  delete Handle;
  return TRUE;
}

BOOL DrawDibDraw(HDRAWDIB Handle, HDC DC, Integer XDst, Integer YDst, Integer DXDst, Integer DYDst,
                 const BITMAPINFOHEADER* Header, const void* Bits, Integer XSrc, Integer YSrc, Integer DXSrc,
                 Integer DYSrc, UINT Flags) {
  if (!Alive(Handle) || !Header) return FALSE;
  if (Flags & DDF_DONTDRAW) return TRUE;
  const Integer w = Header->biWidth;
  const Integer h = Header->biHeight < 0 ? -Header->biHeight : Header->biHeight;
  if (DXSrc < 0) DXSrc = w;
  if (DYSrc < 0) DYSrc = h;
  if (DXDst < 0) DXDst = DXSrc;
  if (DYDst < 0) DYDst = DYSrc;
  if (!Bits) Bits = reinterpret_cast<const uint8_t*>(Header) + DIBPixelOffset(Header);
  // StretchDIBits counts the rows of a bottom-up DIB from its bottom.
  const Integer ys = Header->biHeight > 0 ? h - YSrc - DYSrc : YSrc;
  const Integer oldMode = SetStretchBltMode(DC, COLORONCOLOR);
  const Integer lines = StretchDIBits(DC, XDst, YDst, DXDst, DYDst, XSrc, ys, DXSrc, DYSrc, Bits,
                                      reinterpret_cast<const BITMAPINFO*>(Header), DIB_RGB_COLORS, SRCCOPY);
  if (oldMode) SetStretchBltMode(DC, oldMode);
  return lines > 0 ? TRUE : FALSE;
}

UINT DrawDibRealize(HDRAWDIB Handle, HDC DC, BOOL Background) {
  // No hardware palette to realise: no colours change, whether or not Handle is open.
  (void)Handle;
  (void)Background;
  (void)DC;
  return 0;
}
