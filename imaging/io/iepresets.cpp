// The preset pictures are drawn and encoded once at start-up instead of being
// carried as PNG bytes in the source: the same kinds of picture, with a
// background and a resolution chunk, and no binary tables to maintain.
#include "imaging/io/iepresets.h"

#include <cmath>
#include <mutex>

#include "imaging/core/base/iestartup.h"
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/bitmap/iemask.h"
#include "imaging/io/iepng.h"

namespace {

std::mutex& Lock() {
  static std::mutex m;
  return m;
}
std::vector<std::unique_ptr<TIEPresetImage>>& List() {
  static std::vector<std::unique_ptr<TIEPresetImage>> l;
  return l;
}

// A frame shape: a rounded panel inside the rectangle R, shaded by distance
// from its centre; Colors limits the shades (for the palette pictures).
void DrawPanel(TIEBitmap& B, const TRect& R, TRGB Ink, int Levels) {
  const double cx = (R.Left + R.Right) / 2.0, cy = (R.Top + R.Bottom) / 2.0;
  const double rx = (R.Right - R.Left) / 2.0, ry = (R.Bottom - R.Top) / 2.0;
  for (Integer y = 0; y < B.Height(); ++y) {
    Byte* p = static_cast<Byte*>(B.GetScanline(y));
    for (Integer x = 0; x < B.Width(); ++x, p += 3) {
      const double dx = (x - cx) / rx, dy = (y - cy) / ry;
      const double d = std::sqrt(dx * dx + dy * dy);
      int level = static_cast<int>(d * Levels);
      if (level > Levels) level = Levels;
      const int shade = 255 - level * 200 / Levels;
      const bool inside = x >= R.Left && x < R.Right && y >= R.Top && y < R.Bottom;
      p[0] = static_cast<Byte>(inside ? Ink.b * shade / 255 : 230);
      p[1] = static_cast<Byte>(inside ? Ink.g * shade / 255 : 230);
      p[2] = static_cast<Byte>(inside ? Ink.r * shade / 255 : 230);
    }
  }
}

struct TPresetSpec {
  Integer Width, Height;
  TRect Rect;
  TRGB Ink;
  bool Palette;
  enum { None, Smooth, OneEntry } Alpha;
};

std::unique_ptr<TIEPresetImage> Make(const TPresetSpec& S) {
  TIEBitmap b(S.Width, S.Height, ie24RGB);
  // 16 shades for the palette pictures keep them within one palette exactly.
  DrawPanel(b, S.Rect, S.Ink, S.Palette ? 16 : 200);
  std::unique_ptr<TIEMask> mask;
  if (S.Alpha != TPresetSpec::None) {
    mask = std::make_unique<TIEMask>();
    mask->AllocateBits(S.Width, S.Height, 8);
    for (Integer y = 0; y < S.Height; ++y)
      for (Integer x = 0; x < S.Width; ++x) {
        const bool inside = x >= S.Rect.Left && x < S.Rect.Right && y >= S.Rect.Top && y < S.Rect.Bottom;
        Byte a = inside ? 255 : 0;
        if (S.Alpha == TPresetSpec::Smooth && !inside) {
          const int dx = x < S.Rect.Left ? S.Rect.Left - x : (x >= S.Rect.Right ? x - S.Rect.Right + 1 : 0);
          const int dy = y < S.Rect.Top ? S.Rect.Top - y : (y >= S.Rect.Bottom ? y - S.Rect.Bottom + 1 : 0);
          const int d = dx > dy ? dx : dy;
          a = static_cast<Byte>(d >= 16 ? 0 : 255 - d * 16);
        }
        mask->SetPixel(x, y, a);
      }
    mask->SyncFull();
  }
  TIOParamsVals p(nullptr);
  p.SAMPLESPERPIXEL = S.Palette ? 1 : 3;
  p.BITSPERSAMPLE = 8;
  p.DPIX = p.DPIY = 96;
  // The colour around the panel, which every palette holds.
  p.PNG_BACKGROUND = TRGB{230, 230, 230};
  p.PNG_COMPRESSION = 9;
  TMemoryStream out;
  std::atomic<bool> aborting{false};
  TIEProgressRec rec(aborting);
  IEWritePNG(&out, &b, p, rec, mask.get());
  if (aborting) return nullptr;
  auto e = std::make_unique<TIEPresetImage>();
  e->Bytes.resize(static_cast<size_t>(out.Size()));
  out.SetPosition(0);
  out.ReadBuffer(e->Bytes.data(), out.Size());
  e->Data = e->Bytes.data();
  e->Size = static_cast<Cardinal>(e->Bytes.size());
  e->FileType = ieftPNG;
  e->Rect = S.Rect;
  return e;
}

}  // namespace

const std::vector<std::unique_ptr<TIEPresetImage>>& IEPresetImages() { return List(); }

void IEStartupPresetImages() {
  static const TPresetSpec specs[] = {
      {162, 159, TRect(18, 29, 140, 119), TRGB{40, 90, 200}, false, TPresetSpec::Smooth},
      {112, 100, TRect(13, 1, 95, 98), TRGB{200, 60, 40}, false, TPresetSpec::None},
      {163, 108, TRect(30, 14, 147, 92), TRGB{30, 160, 70}, true, TPresetSpec::OneEntry},
      {150, 150, TRect(17, 17, 131, 131), TRGB{180, 150, 20}, true, TPresetSpec::None},
  };
  std::vector<std::unique_ptr<TIEPresetImage>> made;
  for (const TPresetSpec& s : specs)
    if (auto e = Make(s)) made.push_back(std::move(e));
  std::lock_guard lock(Lock());
  List().swap(made);
}

void IEShutdownPresetImages() {
  std::vector<std::unique_ptr<TIEPresetImage>> old;
  std::lock_guard lock(Lock());
  List().swap(old);
}

namespace {
const TIEStartupRegistrar presetStartup(iessPresetImages, "IEStartupPresetImages", IEStartupPresetImages,
                                        IEShutdownPresetImages);
}  // namespace
