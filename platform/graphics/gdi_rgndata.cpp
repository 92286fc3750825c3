// Rectangle-list regions: one sweep over the rectangles' top and bottom
// edges builds the bands directly, so that thousands of small rectangles
// (bars, shreds, specks, grids of boxes) make a region in one pass.
#include "platform/graphics/gdi_rgndata.h"

#include <algorithm>
#include <cstring>

#include "platform/graphics/gdi_private.h"

namespace gdi_rgndata {
namespace {

struct TEdgeRect {
  Integer Left, Top, Right, Bottom;
};

gdi::TRegion FromRects(std::vector<TEdgeRect>& Rects) {
  gdi::TRegion r;
  if (Rects.empty()) return r;
  std::vector<Integer> ys;
  ys.reserve(Rects.size() * 2);
  for (const TEdgeRect& e : Rects) {
    ys.push_back(e.Top);
    ys.push_back(e.Bottom);
  }
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
  std::sort(Rects.begin(), Rects.end(), [](const TEdgeRect& a, const TEdgeRect& b) { return a.Top < b.Top; });
  std::vector<const TEdgeRect*> active;
  std::vector<std::pair<Integer, Integer>> spans;
  std::vector<Integer> x;
  size_t next = 0;
  for (size_t k = 0; k + 1 < ys.size(); ++k) {
    const Integer y0 = ys[k], y1 = ys[k + 1];
    while (next < Rects.size() && Rects[next].Top <= y0) active.push_back(&Rects[next++]);
    active.erase(std::remove_if(active.begin(), active.end(), [y0](const TEdgeRect* e) { return e->Bottom <= y0; }),
                 active.end());
    if (active.empty()) continue;
    spans.clear();
    for (const TEdgeRect* e : active) spans.emplace_back(e->Left, e->Right);
    std::sort(spans.begin(), spans.end());
    x.clear();
    for (const auto& [a, b] : spans) {
      if (!x.empty() && a <= x.back()) {
        x.back() = std::max(x.back(), b);
      } else {
        x.push_back(a);
        x.push_back(b);
      }
    }
    if (!r.Bands.empty() && r.Bands.back().Bottom == y0 && r.Bands.back().X == x) {
      r.Bands.back().Bottom = y1;
    } else {
      r.Bands.push_back(gdi::TBand{y0, y1, x});
    }
  }
  return r;
}

}  // namespace
}  // namespace gdi_rgndata

HRGN ExtCreateRegion(const XFORM* Transform, DWORD Count, const RGNDATA* Data) {
  if (Transform || !Data || Count < sizeof(RGNDATAHEADER)) return nullptr;
  RGNDATAHEADER h;
  std::memcpy(static_cast<void*>(&h), Data, sizeof h);
  if (h.dwSize != sizeof(RGNDATAHEADER) || h.iType != RDH_RECTANGLES) return nullptr;
  if (h.nCount > (Count - sizeof(RGNDATAHEADER)) / sizeof(TRect)) return nullptr;
  std::vector<gdi_rgndata::TEdgeRect> rects;
  rects.reserve(h.nCount);
  const char* p = reinterpret_cast<const char*>(Data) + sizeof(RGNDATAHEADER);
  for (DWORD i = 0; i < h.nCount; ++i, p += sizeof(TRect)) {
    TRect r;
    std::memcpy(static_cast<void*>(&r), p, sizeof r);
    if (r.Right > r.Left && r.Bottom > r.Top) rects.push_back({r.Left, r.Top, r.Right, r.Bottom});
  }
  auto o = std::make_shared<gdi::TRgnObj>();
  o->R = gdi_rgndata::FromRects(rects);
  return static_cast<HRGN>(gdi::Register(std::move(o)));
}
