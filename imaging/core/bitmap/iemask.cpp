// The selection mask: plane, box and Full flag, whole-plane operations,
// polygon fill, the exchange of selected pixels between pictures and the
// scaling used to draw the selection.
#include "imaging/core/bitmap/iemask.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/bitmap/iemaskmap.h"
#include "imaging/core/base/ieutils.h"
#include "platform/base/sysutils.h"

namespace {

using iemask_detail::TAxisMap;

constexpr Byte kBit[8] = {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01};

inline bool BitAt(const Byte* Row, int64_t X) { return (Row[X >> 3] & kBit[X & 7]) != 0; }

// Sets (or clears) bits X1..X2 of a 1-bit row: masked end bytes, whole bytes
// in between.
void FillBitSpan(Byte* Row, Integer X1, Integer X2, bool Set) {
  Integer b1 = X1 >> 3, b2 = X2 >> 3;
  Byte head = Byte(0xFFu >> (X1 & 7));
  Byte tail = Byte(0xFFu << (7 - (X2 & 7)));
  if (b1 == b2) {
    Byte m = head & tail;
    Row[b1] = Set ? Byte(Row[b1] | m) : Byte(Row[b1] & ~m);
    return;
  }
  Row[b1] = Set ? Byte(Row[b1] | head) : Byte(Row[b1] & ~head);
  if (b2 > b1 + 1) std::memset(Row + b1 + 1, Set ? 0xFF : 0x00, size_t(b2 - b1 - 1));
  Row[b2] = Set ? Byte(Row[b2] | tail) : Byte(Row[b2] & ~tail);
}

// Copies Count bits from bit SOff of Src to bit DOff of Dst (most significant
// bit first), one destination byte at a time. Reads no byte beyond the last
// source bit.
void CopyBitSpan(Byte* Dst, int64_t DOff, const Byte* Src, int64_t SOff, int64_t Count) {
  while (Count > 0) {
    const int dsh = int(DOff & 7);
    const int take = int(std::min<int64_t>(8 - dsh, Count));
    const int ssh = int(SOff & 7);
    const Byte* p = Src + (SOff >> 3);
    unsigned w = unsigned(p[0]) << 8;
    if (ssh + take > 8) w |= p[1];
    const unsigned keep = (0xFFu << (8 - take)) & 0xFFu;
    const unsigned bits = ((w << ssh) >> 8) & keep;
    const Byte m = Byte(keep >> dsh);
    Byte& d = Dst[DOff >> 3];
    d = Byte((d & ~m) | (bits >> dsh));
    DOff += take;
    SOff += take;
    Count -= take;
  }
}

// The next run of set bits of a 1-bit row inside X..XEnd, skipping and taking
// whole bytes where it can. False when no set bit is left.
bool NextBitRun(const Byte* Row, Integer& X, Integer XEnd, Integer& RunStart, Integer& RunEnd) {
  while (X <= XEnd) {
    if ((X & 7) == 0 && X + 7 <= XEnd && Row[X >> 3] == 0) {
      X += 8;
    } else if (!BitAt(Row, X)) {
      ++X;
    } else {
      break;
    }
  }
  if (X > XEnd) return false;
  RunStart = X;
  while (X <= XEnd) {
    if ((X & 7) == 0 && X + 7 <= XEnd && Row[X >> 3] == 0xFF) {
      X += 8;
    } else if (BitAt(Row, X)) {
      ++X;
    } else {
      break;
    }
  }
  RunEnd = X - 1;
  return true;
}

// First and last set pixel of a 1-bit row of Width pixels; false when none.
bool BitRowExtent(const Byte* Row, Integer Width, Integer& First, Integer& Last) {
  const Integer bytes = (Width + 7) >> 3;
  const Byte lastMask = Byte(0xFFu << ((8 - (Width & 7)) & 7));
  auto byteAt = [&](Integer i) -> unsigned { return i == bytes - 1 ? unsigned(Row[i] & lastMask) : Row[i]; };
  Integer i = 0;
  while (i < bytes && byteAt(i) == 0) ++i;
  if (i == bytes) return false;
  First = i * 8 + (__builtin_clz(byteAt(i)) - 24);
  Integer j = bytes - 1;
  while (byteAt(j) == 0) --j;
  Last = j * 8 + 7 - __builtin_ctz(byteAt(j));
  return true;
}

// The rows and columns of the mask that CopyBitmap and CopyAlphaChannel
// visit: the box, cut to the plane and to every picture involved. A cropped
// picture is addressed from the box's top-left, the other at the mask's own
// coordinates.
struct TCopyArea {
  Integer x1, y1, x2, y2;  // mask coordinates, inclusive
  Integer sox, soy;        // source pixel = mask pixel - (sox, soy)
  Integer dox, doy;        // dest pixel = mask pixel - (dox, doy)
};

}  // namespace

// ---------------------------------------------------------------------------
// Plane

TIEMask::~TIEMask() = default;

void TIEMask::FreeBits() {
  FBits.reset();
  FScaledBuffer = TIEMaskScaledBuffer();
  FWidth = FHeight = FBitsPerPixel = FRowLen = 0;
}

void TIEMask::TPlaneDeleter::operator()(Byte* P) const { std::free(P); }

namespace {
// A zero-filled plane of RowLen x Height bytes, or EOutOfMemory.
Byte* AllocPlane(Integer RowLen, Integer Height) {
  if (RowLen < 0) throw EOutOfMemory("Out of memory");
  const uint64_t size = uint64_t(uint32_t(RowLen)) * uint64_t(uint32_t(Height));
  if (size == 0) return nullptr;
  void* p = std::calloc(size_t(size), 1);
  if (!p) throw EOutOfMemory("Out of memory");
  return static_cast<Byte*>(p);
}
}  // namespace

void TIEMask::AllocateBits(Integer Width, Integer Height, Integer BitsPerPixel) {
  FreeBits();
  EmptyBox();
  Full = false;
  if (Width <= 0 || Height <= 0 || BitsPerPixel <= 0) return;
  const Integer rowLen = IEBitmapRowLen(Width, BitsPerPixel, 32);
  Byte* plane = AllocPlane(rowLen, Height);
  FBits.reset(plane);
  FWidth = Width;
  FHeight = Height;
  FBitsPerPixel = BitsPerPixel;
  FRowLen = rowLen;
}

void TIEMask::Resize(Integer NewWidth, Integer NewHeight) {
  const Integer bpp = FBitsPerPixel;
  if (NewWidth <= 0 || NewHeight <= 0 || bpp <= 0) {
    FreeBits();
    FBitsPerPixel = bpp;
    EmptyBox();
    Full = false;
    return;
  }
  const Integer rowLen = IEBitmapRowLen(NewWidth, bpp, 32);
  TPlane plane(AllocPlane(rowLen, NewHeight));
  if (FBits) {
    // Picture row y stays picture row y; both planes are bottom-up.
    const Integer rows = std::min(FHeight, NewHeight);
    const size_t len = size_t(std::min(FRowLen, rowLen));
    for (Integer y = 0; y < rows; ++y)
      std::memcpy(plane.get() + ptrdiff_t(rowLen) * (NewHeight - 1 - y), ScanLine(y), len);
  }
  // New pixels are unselected, so a grown plane is no longer fully selected.
  if (NewWidth > FWidth || NewHeight > FHeight) Full = false;
  FBits = std::move(plane);
  FWidth = NewWidth;
  FHeight = NewHeight;
  FRowLen = rowLen;
  if (!IsEmpty()) {
    // A box wholly cut away selects nothing any more.
    if (X1 >= NewWidth || Y1 >= NewHeight) {
      EmptyBox();
    } else {
      X2 = std::min(X2, NewWidth - 1);
      Y2 = std::min(Y2, NewHeight - 1);
    }
  }
}

void TIEMask::ClampBox() {
  if (IsEmpty()) return;
  if (FWidth <= 0 || FHeight <= 0) {
    EmptyBox();
    return;
  }
  X1 = IEClamp(X1, 0, FWidth - 1);
  X2 = IEClamp(X2, 0, FWidth - 1);
  Y1 = IEClamp(Y1, 0, FHeight - 1);
  Y2 = IEClamp(Y2, 0, FHeight - 1);
}

bool TIEMask::ClippedBox(Integer& AX1, Integer& AY1, Integer& AX2, Integer& AY2) const {
  if (!HasPixels() || IsEmpty()) return false;
  AX1 = std::max(X1, 0);
  AY1 = std::max(Y1, 0);
  AX2 = std::min(X2, FWidth - 1);
  AY2 = std::min(Y2, FHeight - 1);
  return AX1 <= AX2 && AY1 <= AY2;
}

// ---------------------------------------------------------------------------
// Pixels

Integer TIEMask::GetPixel(Integer X, Integer Y) const {
  if (!HasPixels() || X < 0 || Y < 0 || X >= FWidth || Y >= FHeight) return 0;
  const Byte* row = ScanLine(Y);
  if (FBitsPerPixel == 8) return row[X];
  return row[X >> 3] & kBit[X & 7];
}

void TIEMask::SetPixel(Integer X, Integer Y, Integer Value) {
  if (!HasPixels() || X < 0 || Y < 0 || X >= FWidth || Y >= FHeight) return;
  if (Value != 0) {
    X1 = std::min(X1, X);
    X2 = std::max(X2, X);
    Y1 = std::min(Y1, Y);
    Y2 = std::max(Y2, Y);
    ClampBox();
  }
  Byte* row = ScanLine(Y);
  if (FBitsPerPixel == 8) {
    row[X] = Byte(Value);
    if (Full && Byte(Value) != 255) Full = false;
  } else {
    if (Value != 0)
      row[X >> 3] |= kBit[X & 7];
    else
      row[X >> 3] &= Byte(~kBit[X & 7]);
    if (Full && Value == 0) Full = false;
  }
}

Integer TIEMask::DrawHorizontalLine(Integer Value, Integer AX1, Integer AX2, Integer Y) {
  // A row outside the plane is not drawn into the nearest row: polygons that
  // reach above or below the picture must not select its first or last row.
  if (!HasPixels() || Y < 0 || Y >= FHeight) return 0;
  AX1 = std::max(AX1, 0);
  AX2 = std::min(AX2, FWidth - 1);
  if (AX2 < AX1) return 0;
  Byte* row = ScanLine(Y);
  if (FBitsPerPixel == 8) {
    std::memset(row + AX1, Byte(Value), size_t(AX2 - AX1 + 1));
    if (Full && Byte(Value) != 255) Full = false;
  } else {
    // Any non-zero value selects, as SetPixel does.
    FillBitSpan(row, AX1, AX2, Value != 0);
    if (Full && Value == 0) Full = false;
  }
  return AX2 - AX1 + 1;
}

// ---------------------------------------------------------------------------
// Whole plane

bool TIEMask::Fill(Byte Value) {
  if (FBits) std::memset(FBits.get(), Value, size_t(uint64_t(uint32_t(FRowLen)) * uint32_t(FHeight)));
  Full = Value == 255;
  return Full;
}

void TIEMask::Clear() {
  Fill(0);
  EmptyBox();
}

void TIEMask::SyncRect() {
  EmptyBox();
  if (!HasPixels()) return;
  Integer bx1 = INT32_MAX, by1 = INT32_MAX, bx2 = -1, by2 = -1;
  for (Integer y = 0; y < FHeight; ++y) {
    const Byte* row = ScanLine(y);
    Integer first, last;
    if (FBitsPerPixel == 1) {
      if (!BitRowExtent(row, FWidth, first, last)) continue;
    } else {
      first = 0;
      while (first < FWidth && row[first] == 0) ++first;
      if (first == FWidth) continue;
      last = FWidth - 1;
      while (row[last] == 0) --last;
    }
    bx1 = std::min(bx1, first);
    bx2 = std::max(bx2, last);
    if (by1 == INT32_MAX) by1 = y;
    by2 = y;
  }
  if (by2 < 0) return;
  X1 = bx1;
  Y1 = by1;
  X2 = bx2;
  Y2 = by2;
}

void TIEMask::SyncFull() {
  if (!HasPixels()) {
    Full = true;
    return;
  }
  Full = false;
  for (Integer y = 0; y < FHeight; ++y) {
    const Byte* row = ScanLine(y);
    if (FBitsPerPixel == 8) {
      for (Integer x = 0; x < FWidth; ++x)
        if (row[x] != 255) return;
    } else {
      const Integer whole = FWidth >> 3;
      for (Integer i = 0; i < whole; ++i)
        if (row[i] != 255) return;
      // The pixels of the last, partial byte; the padding bits do not count.
      const Integer rest = FWidth & 7;
      if (rest) {
        const Byte m = Byte(0xFFu << (8 - rest));
        if ((row[whole] & m) != m) return;
      }
    }
  }
  Full = true;
}

void TIEMask::Invert(Integer Value) {
  if (IsEmpty() || !HasPixels()) return;
  Full = false;
  for (Integer y = 0; y < FHeight; ++y) {
    Byte* row = ScanLine(y);
    if (FBitsPerPixel == 1) {
      const Integer bytes = (FWidth + 7) >> 3;
      if (Value != 0) {
        for (Integer i = 0; i < bytes; ++i) row[i] = Byte(~row[i]);
      } else {
        std::memset(row, 0, size_t(bytes));
      }
    } else {
      const Byte v = Byte(Value);
      for (Integer x = 0; x < FWidth; ++x) row[x] = row[x] ? 0 : v;
    }
  }
  SyncRect();
}

void TIEMask::Translate(Integer& DX, Integer& DY, bool Clip) {
  if (!HasPixels()) return;
  Integer bx1, by1, bx2, by2;
  if (!ClippedBox(bx1, by1, bx2, by2)) {
    SyncRect();
    if (!ClippedBox(bx1, by1, bx2, by2)) return;
  }
  int64_t x1 = bx1, y1 = by1, x2 = bx2, y2 = by2;
  int64_t dx = DX, dy = DY;
  if (Clip) {
    x1 = std::max(x1, -dx);
    y1 = std::max(y1, -dy);
    x2 = std::min(x2, FWidth - 1 - dx);
    y2 = std::min(y2, FHeight - 1 - dy);
  } else {
    if (x1 + dx < 0)
      dx = -x1;
    else if (x2 + dx >= FWidth)
      dx = FWidth - 1 - x2;
    if (y1 + dy < 0)
      dy = -y1;
    else if (y2 + dy >= FHeight)
      dy = FHeight - 1 - y2;
    DX = Integer(dx);
    DY = Integer(dy);
  }
  if (dx == 0 && dy == 0) return;
  // Everything moved out of the plane: nothing is left selected, at either
  // depth, and the box says so.
  if (x2 < x1 || y2 < y1) {
    Clear();
    return;
  }
  const Integer w = Integer(x2 - x1 + 1), h = Integer(y2 - y1 + 1);
  if (FBitsPerPixel == 1) {
    const size_t tempRow = size_t((w + 7) >> 3);
    std::vector<Byte> temp(tempRow * size_t(h));
    for (Integer i = 0; i < h; ++i) CopyBitSpan(temp.data() + tempRow * i, 0, ScanLine(Integer(y1) + i), x1, w);
    Fill(0);
    for (Integer i = 0; i < h; ++i)
      CopyBitSpan(ScanLine(Integer(y1 + dy) + i), x1 + dx, temp.data() + tempRow * i, 0, w);
  } else {
    std::vector<Byte> temp(size_t(w) * size_t(h));
    for (Integer i = 0; i < h; ++i) std::memcpy(temp.data() + size_t(w) * i, ScanLine(Integer(y1) + i) + x1, size_t(w));
    Fill(0);
    for (Integer i = 0; i < h; ++i)
      std::memcpy(ScanLine(Integer(y1 + dy) + i) + (x1 + dx), temp.data() + size_t(w) * i, size_t(w));
  }
  X1 = Integer(x1 + dx);
  Y1 = Integer(y1 + dy);
  X2 = Integer(x2 + dx);
  Y2 = Integer(y2 + dy);
  ClampBox();
}

// ---------------------------------------------------------------------------
// Polygons

void TIEMask::FillPolygons(Integer Value, const TPoint* Points, Integer Count) {
  if (Points && Count > 0) {
    Integer start = 0;
    for (Integer i = 0; i <= Count; ++i) {
      if (i == Count || Points[i].X == IEPolygonSeparator) {
        if (i > start) FillPolygon(Value, Points + start, i - start);
        start = i + 1;
      }
    }
  }
  SyncFull();
}

namespace {

// One non-horizontal side of a polygon while it crosses the rows. x is the
// column where the side meets the top of the current row, rounded to the
// nearest column (exact halves towards the side's upper end), kept with an
// error term so that each row costs one addition.
struct TPolyEdge {
  int64_t x;      // current column
  int64_t yEnd;   // first row below the side (exclusive)
  int64_t dy;     // rows spanned, > 0
  int64_t step;   // whole columns per row (dx div dy)
  int64_t err2;   // 2 x (dx - step x dy): error added per row
  int64_t e;      // error term, kept within -dy..dy
  int64_t dir;    // +1 or -1: the direction of dx
  int64_t yStart; // first row on which the side is active
};

inline void EdgeCorrect(TPolyEdge& E) {
  if (E.e > E.dy) {
    E.x += E.dir;
    E.e -= 2 * E.dy;
  } else if (E.e < -E.dy) {
    E.x += E.dir;
    E.e += 2 * E.dy;
  }
}

}  // namespace

void TIEMask::FillPolygon(Integer Value, const TPoint* Points, Integer Count) {
  if (!Points || Count <= 0) return;
  const Integer savedX1 = X1, savedY1 = Y1, savedX2 = X2, savedY2 = Y2;
  if (Value != 0) {
    for (Integer i = 0; i < Count; ++i) {
      const Integer x = Points[i].X, y = Points[i].Y;
      if (x < X1) X1 = x;
      if (x > X2) X2 = x - 1;
      if (y < Y1) Y1 = y;
      if (y > Y2) Y2 = y - 1;
    }
  }
  ClampBox();

  int64_t covered = 0;
  if (HasPixels()) {
    // Only the rows of the plane are visited; sides that start above it are
    // entered at row 0 with their column computed directly, so a far-away
    // point costs neither time nor memory.
    int64_t yMin = INT64_MAX, yMax = INT64_MIN;
    for (Integer i = 0; i < Count; ++i) {
      yMin = std::min<int64_t>(yMin, Points[i].Y);
      yMax = std::max<int64_t>(yMax, Points[i].Y);
    }
    const int64_t rowFirst = std::max<int64_t>(yMin, 0);
    const int64_t rowEnd = std::min<int64_t>(yMax, FHeight);  // exclusive
    std::vector<TPolyEdge> edges;
    if (rowFirst < rowEnd) {
      edges.reserve(size_t(Count));
      for (Integer i = 0; i < Count; ++i) {
        const TPoint& a = Points[i];
        const TPoint& b = Points[i + 1 < Count ? i + 1 : 0];
        if (a.Y == b.Y) continue;
        const TPoint& up = a.Y < b.Y ? a : b;
        const TPoint& low = a.Y < b.Y ? b : a;
        TPolyEdge e;
        e.yEnd = low.Y;
        if (e.yEnd <= rowFirst || up.Y >= rowEnd) continue;
        const int64_t dx = int64_t(low.X) - up.X;
        e.dy = int64_t(low.Y) - up.Y;
        e.step = dx / e.dy;
        e.err2 = 2 * (dx - e.step * e.dy);
        e.dir = dx < 0 ? -1 : 1;
        e.yStart = std::max<int64_t>(up.Y, rowFirst);
        // The state the stepping would have reached after k rows.
        const int64_t k = e.yStart - up.Y;
        const __int128 total = __int128(k) * dx;
        const __int128 q = total / e.dy;
        e.x = int64_t(up.X + q);
        e.e = int64_t(2 * (total - q * e.dy));
        EdgeCorrect(e);
        edges.push_back(e);
      }
      std::stable_sort(edges.begin(), edges.end(),
                       [](const TPolyEdge& A, const TPolyEdge& B) { return A.yStart < B.yStart; });
    }
    std::vector<TPolyEdge> active;
    active.reserve(edges.size());
    size_t next = 0;
    for (int64_t row = rowFirst; row < rowEnd && (next < edges.size() || !active.empty()); ++row) {
      size_t kept = 0;
      for (size_t i = 0; i < active.size(); ++i) {
        TPolyEdge e = active[i];
        if (e.yEnd <= row) continue;
        e.x += e.step;
        e.e += e.err2;
        EdgeCorrect(e);
        active[kept++] = e;
      }
      active.resize(kept);
      while (next < edges.size() && edges[next].yStart == row) active.push_back(edges[next++]);
      // Sides of a self-crossing polygon change places as they step, so the
      // order is restored on every row before the sides are paired.
      for (size_t i = 1; i < active.size(); ++i) {
        TPolyEdge e = active[i];
        size_t j = i;
        while (j > 0 && active[j - 1].x > e.x) {
          active[j] = active[j - 1];
          --j;
        }
        active[j] = e;
      }
      for (size_t i = 0; i + 1 < active.size(); i += 2) {
        const int64_t from = std::max<int64_t>(active[i].x, 0);
        const int64_t to = std::min<int64_t>(active[i + 1].x - 1, FWidth - 1);
        if (to < from) continue;
        covered += DrawHorizontalLine(Value, Integer(from), Integer(to), Integer(row));
      }
    }
  }
  // A polygon that covers no pixel adds nothing: the box stays what it was,
  // so that pixels selected before keep their box.
  if (covered == 0) {
    X1 = savedX1;
    Y1 = savedY1;
    X2 = savedX2;
    Y2 = savedY2;
  }
}

// ---------------------------------------------------------------------------
// Pictures

void TIEMask::IntersectWithBitmap(TIEBitmap* Bitmap, Integer X, Integer Y, bool RecalcRect) {
  if (!Bitmap || (Bitmap->PixelFormat() != ie8g && Bitmap->PixelFormat() != ie8p)) return;
  if (HasPixels() && !Bitmap->IsEmpty()) {
    // Bitmap pixel (bx, by) lies on mask pixel (X + bx, Y + by).
    const int64_t mx1 = std::max<int64_t>(X, 0), my1 = std::max<int64_t>(Y, 0);
    const int64_t mx2 = std::min<int64_t>(int64_t(X) + Bitmap->Width(), FWidth) - 1;
    const int64_t my2 = std::min<int64_t>(int64_t(Y) + Bitmap->Height(), FHeight) - 1;
    if (mx1 <= mx2 && my1 <= my2) {
      TIEAccessScope scope(*Bitmap, ieaRead);
      for (int64_t my = my1; my <= my2; ++my) {
        const Byte* b = static_cast<const Byte*>(Bitmap->GetScanline(Integer(my - Y)));
        Byte* m = ScanLine(Integer(my));
        if (FBitsPerPixel == 8) {
          for (int64_t x = mx1; x <= mx2; ++x) m[x] = std::min(m[x], b[x - X]);
        } else {
          for (int64_t x = mx1; x <= mx2; ++x)
            if (b[x - X] == 0) m[x >> 3] &= Byte(~kBit[x & 7]);
        }
      }
    }
  }
  if (RecalcRect) SyncRect();
  SyncFull();
}

namespace {

// The area of the mask that a copy between Source and Dest visits, cut to
// the plane's box, to Source and to Dest (and to their alpha channels when
// they take part). The cropped sides start at the box's own top-left.
bool CopyArea(Integer MX1, Integer MY1, Integer MX2, Integer MY2, Integer BoxX1, Integer BoxY1, Integer SW,
              Integer SH, Integer DW, Integer DH, bool DestCropped, bool SourceCropped, TCopyArea& A) {
  A.sox = SourceCropped ? BoxX1 : 0;
  A.soy = SourceCropped ? BoxY1 : 0;
  A.dox = DestCropped ? BoxX1 : 0;
  A.doy = DestCropped ? BoxY1 : 0;
  const int64_t x1 = std::max<int64_t>({MX1, A.sox, A.dox});
  const int64_t y1 = std::max<int64_t>({MY1, A.soy, A.doy});
  const int64_t x2 = std::min<int64_t>({MX2, int64_t(A.sox) + SW - 1, int64_t(A.dox) + DW - 1});
  const int64_t y2 = std::min<int64_t>({MY2, int64_t(A.soy) + SH - 1, int64_t(A.doy) + DH - 1});
  if (x2 < x1 || y2 < y1) return false;
  A.x1 = Integer(x1);
  A.y1 = Integer(y1);
  A.x2 = Integer(x2);
  A.y2 = Integer(y2);
  return true;
}

// Visits the rows of a copy from S to D: F(maskRow, sourceRow, destRow). When
// S and D are the same picture, each source row is read into Buffer first,
// and the rows go in the order that reads every row before it is written.
template <class F>
void ForCopyRows(TIEBitmap* S, TIEBitmap* D, const TCopyArea& A, std::vector<Byte>& Buffer, F&& Fn) {
  const bool same = S == D;
  const bool down = !same || A.doy >= A.soy;
  const Integer n = A.y2 - A.y1 + 1;
  for (Integer i = 0; i < n; ++i) {
    const Integer y = down ? A.y1 + i : A.y2 - i;
    const Byte* s = static_cast<const Byte*>(S->GetScanline(y - A.soy));
    if (same) {
      Buffer.assign(s, s + S->RowLen());
      s = Buffer.data();
    }
    Fn(y, s, static_cast<Byte*>(D->GetScanline(y - A.doy)));
  }
}

}  // namespace

void TIEMask::CopyBitmap(TIEBitmap* Dest, TIEBitmap* Source, bool DestCropped, bool SourceCropped, bool CopyAlpha) {
  if (!Dest || !Source) return;
  Integer bx1, by1, bx2, by2;
  TCopyArea a;
  const TIEPixelFormat pf = Source->PixelFormat();
  if (pf == Dest->PixelFormat() && !Source->IsEmpty() && !Dest->IsEmpty() && ClippedBox(bx1, by1, bx2, by2) &&
      CopyArea(bx1, by1, bx2, by2, X1, Y1, Source->Width(), Source->Height(), Dest->Width(), Dest->Height(),
               DestCropped, SourceCropped, a)) {
    const Integer ps = IEPixelFormatByteCount(pf);
    const int64_t sx = int64_t(a.x1) - a.sox, dx = int64_t(a.x1) - a.dox;  // first source / dest column
    std::vector<Byte> buffer;
    TIEAccessScope sourceAccess(*Source, Source == Dest ? Source->Access() : ieaRead);
    if (FBitsPerPixel == 1 && (ps > 0 || pf == ie1g)) {
      ForCopyRows(Source, Dest, a, buffer, [&](Integer y, const Byte* s, Byte* d) {
        const Byte* m = ScanLine(y);
        Integer x = a.x1, r1, r2;
        while (NextBitRun(m, x, a.x2, r1, r2)) {
          const int64_t off = r1 - a.x1, len = int64_t(r2) - r1 + 1;
          if (pf == ie1g)
            CopyBitSpan(d, dx + off, s, sx + off, len);
          else
            std::memcpy(d + (dx + off) * ps, s + (sx + off) * ps, size_t(len * ps));
        }
      });
    } else if (FBitsPerPixel == 8 && (pf == ie24RGB || pf == ie32RGB || pf == ie8g || pf == ie8p || pf == ie1g)) {
      ForCopyRows(Source, Dest, a, buffer, [&](Integer y, const Byte* s, Byte* d) {
        const Byte* m = ScanLine(y);
        for (Integer x = a.x1; x <= a.x2; ++x) {
          const Integer mv = m[x];
          if (mv == 0) continue;
          const int64_t si = sx + (x - a.x1), di = dx + (x - a.x1);
          if (pf == ie1g) {
            if (BitAt(s, si))
              d[di >> 3] |= kBit[di & 7];
            else
              d[di >> 3] &= Byte(~kBit[di & 7]);
          } else if (mv == 255) {
            // A fully selected pixel is the source pixel itself.
            std::memcpy(d + di * ps, s + si * ps, size_t(ps));
          } else if (ps == 1) {
            d[di] = Byte(d[di] + (((s[si] - d[di]) * mv) >> 8));
          } else {
            Byte* dp = d + di * ps;
            const Byte* sp = s + si * ps;
            for (Integer c = 0; c < ps; ++c) dp[c] = Byte(dp[c] + (((sp[c] - dp[c]) * mv * 1024) >> 18));
          }
        }
      });
    }
  }
  if (CopyAlpha) CopyAlphaChannel(Dest, Source, DestCropped, SourceCropped);
}

void TIEMask::CopyAlphaChannel(TIEBitmap* Dest, TIEBitmap* Source, bool DestCropped, bool SourceCropped) {
  if (!Dest || !Source || Dest->IsAlphaChannel()) return;
  Integer bx1, by1, bx2, by2;
  if (!ClippedBox(bx1, by1, bx2, by2) || Source->IsEmpty() || Dest->IsEmpty()) return;
  TIEBitmap* sa = Source->HasAlphaChannel() ? Source->GetAlphaChannel() : nullptr;
  if (sa && (sa->PixelFormat() != ie8g || sa->IsEmpty())) sa = nullptr;
  const Integer sw = sa ? std::min(Source->Width(), sa->Width()) : Source->Width();
  const Integer sh = sa ? std::min(Source->Height(), sa->Height()) : Source->Height();
  TCopyArea a;
  if (!CopyArea(bx1, by1, bx2, by2, X1, Y1, sw, sh, Dest->Width(), Dest->Height(), DestCropped, SourceCropped, a))
    return;
  TIEBitmap* da = Dest->GetAlphaChannel();
  if (!da || da->PixelFormat() != ie8g || da->IsEmpty()) return;
  // An alpha channel smaller than its picture is cut as well.
  if (da->Width() < Dest->Width() || da->Height() < Dest->Height()) {
    if (!CopyArea(bx1, by1, bx2, by2, X1, Y1, sw, sh, da->Width(), da->Height(), DestCropped, SourceCropped, a))
      return;
  }
  const int64_t sx = int64_t(a.x1) - a.sox, dx = int64_t(a.x1) - a.dox;
  const Integer n = a.x2 - a.x1 + 1;
  auto writeRow = [&](Integer y, const Byte* s, Byte* d) {
    const Byte* m = ScanLine(y);
    d += dx;
    if (s) s += sx;
    for (Integer i = 0; i < n; ++i) {
      const Integer x = a.x1 + i;
      const Byte alpha = s ? s[i] : Byte(255);
      if (FBitsPerPixel == 1)
        d[i] = BitAt(m, x) ? alpha : Byte(0);
      else if (FBitsPerPixel == 8)
        d[i] = std::min(alpha, m[x]);
    }
  };
  if (sa) {
    std::vector<Byte> buffer;
    TIEAccessScope sourceAccess(*sa, sa == da ? sa->Access() : ieaRead);
    ForCopyRows(sa, da, a, buffer, writeRow);
  } else {
    for (Integer y = a.y1; y <= a.y2; ++y) writeRow(y, nullptr, static_cast<Byte*>(da->GetScanline(y - a.doy)));
  }
  da->SetFull(false);
}

// ---------------------------------------------------------------------------
// Scaling

void IEStretchMaskBits(Integer BitsPerPixel, Byte* Dest, Integer DestWidth, Integer DestHeight, Integer X1,
                       Integer Y1, Integer X2, Integer Y2, Integer SourceWidth, Integer SourceHeight,
                       const Byte* SourceBits, Integer XSrc, Integer YSrc, Integer DxSrc, Integer DySrc) {
  if (!Dest || DestWidth <= 0 || DestHeight <= 0 || (BitsPerPixel != 1 && BitsPerPixel != 8)) return;
  const Integer dRowLen = IEBitmapRowLen(DestWidth, BitsPerPixel, 32);
  const Integer sRowLen = IEBitmapRowLen(SourceWidth, BitsPerPixel, 32);
  if (dRowLen <= 0) return;
  std::memset(Dest, 0, size_t(uint64_t(uint32_t(dRowLen)) * uint32_t(DestHeight)));
  if (!SourceBits || SourceWidth <= 0 || SourceHeight <= 0 || sRowLen <= 0 || DxSrc <= 0 || DySrc <= 0) return;
  if (X1 == INT32_MAX) return;  // empty box

  const TAxisMap mx{DxSrc, DestWidth}, my{DySrc, DestHeight};
  // Rows and columns from the one where the box begins to the one where the
  // first offset past it begins.
  const int64_t r1 = std::max<int64_t>(my.ScaleDown(int64_t(Y1) - YSrc), 0);
  const int64_t r2 = std::min<int64_t>(my.ScaleDown(int64_t(Y2) - YSrc + 1), DestHeight - 1);
  const int64_t c1 = std::max<int64_t>(mx.ScaleDown(int64_t(X1) - XSrc), 0);
  const int64_t c2 = std::min<int64_t>(mx.ScaleDown(int64_t(X2) - XSrc + 1), DestWidth - 1);
  if (r2 < r1 || c2 < c1) return;

  // The source column of every destination column, stepped exactly: the
  // quotient and remainder of c x Src / Dst advance by those of Src / Dst.
  std::vector<Integer> cols(size_t(c2 - c1 + 1));
  {
    const int64_t whole = mx.Src / mx.Dst, part = mx.Src % mx.Dst;
    const __int128 n = __int128(c1) * mx.Src;
    int64_t q = int64_t(n / mx.Dst), rem = int64_t(n % mx.Dst);
    for (size_t i = 0; i < cols.size(); ++i) {
      cols[i] = Integer(std::clamp<int64_t>(XSrc + q, 0, SourceWidth - 1));
      q += whole;
      rem += part;
      if (rem >= mx.Dst) {
        rem -= mx.Dst;
        ++q;
      }
    }
  }
  for (int64_t r = r1; r <= r2; ++r) {
    const int64_t sy = std::clamp<int64_t>(YSrc + my.SourceAt(r), 0, SourceHeight - 1);
    const Byte* s = SourceBits + ptrdiff_t(sRowLen) * (SourceHeight - 1 - sy);
    Byte* d = Dest + ptrdiff_t(dRowLen) * (DestHeight - 1 - r);
    if (BitsPerPixel == 8) {
      for (int64_t c = c1; c <= c2; ++c) d[c] = s[cols[size_t(c - c1)]];
    } else {
      for (int64_t c = c1; c <= c2; ++c)
        if (BitAt(s, cols[size_t(c - c1)])) d[c >> 3] |= kBit[c & 7];
    }
  }
}
