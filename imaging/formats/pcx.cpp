// PCX reader and writer. The decoder works on the image's bytes in memory
// with every read bounded; runs may carry from one plane line into the next.
#include "imaging/formats/pcx.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/core/color/iebitrows.h"
#include "imaging/core/color/iequantizer.h"
#include "imaging/formats/lebytes.h"
#include "imaging/io/ielimits.h"

namespace {

// Decodes plane lines one after the other; a run that passes a line's end
// goes on at the start of the next line.
struct TLineDecoder {
  const Byte* Data;
  size_t Length;
  bool Rle;
  size_t Pos = 0;
  int Pending = 0;
  Byte Value = 0;
  void Line(Byte* Out, size_t Count) {
    size_t o = 0;
    while (o < Count) {
      if (Pending > 0) {
        const size_t n = std::min<size_t>(size_t(Pending), Count - o);
        std::memset(Out + o, Value, n);
        o += n;
        Pending -= int(n);
        continue;
      }
      if (Pos >= Length) break;
      const Byte b = Data[Pos++];
      if (Rle && (b & 0xC0) == 0xC0) {
        // A run of count 0 still takes its value byte.
        if (Pos >= Length) break;
        Value = Data[Pos++];
        Pending = b & 0x3F;
      } else {
        Out[o++] = b;
      }
    }
    if (o < Count) std::memset(Out + o, 0, Count - o);
  }
};

// One line run-length coded: runs of up to 63, single bytes from 0xC0 up as
// runs of one, an odd line padded with a literal 0.
size_t EncodeLine(const Byte* In, size_t Count, Byte* Out) {
  size_t o = 0, i = 0;
  while (i < Count) {
    size_t n = 1;
    while (i + n < Count && n < 63 && In[i + n] == In[i]) ++n;
    if (n > 1 || In[i] >= 0xC0) {
      Out[o++] = Byte(0xC0 | n);
      Out[o++] = In[i];
    } else {
      Out[o++] = In[i];
    }
    i += n;
  }
  if (Count & 1) Out[o++] = 0;
  return o;
}

}  // namespace

void IEReadPCX(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, int64_t Size, TIEProgressRec& Progress,
               bool Preview) {
  try {
    const int64_t start = Stream->Position();
    const int64_t left = IEStreamBytesLeft(Stream);
    if (left >= 0 && (Size <= 0 || Size > left)) Size = left;
    Byte h[128];
    if (Size < 128 || Stream->Read(h, 128) != 128 || h[0] != 10 || h[3] > 8 || h[2] > 1) {
      Progress.Abort();
      return;
    }
    const int64_t w = int64_t(LE16(h + 8)) - LE16(h + 4) + 1;
    const int64_t ht = int64_t(LE16(h + 10)) - LE16(h + 6) + 1;
    const int bits = h[3], planes = h[65];
    const size_t bpl = LE16(h + 66);
    if (w <= 0 || ht <= 0 || !IEPictureFits(IEReadLimits.Native, w, ht, 24)) {
      Progress.Abort();
      return;
    }
    Params.SetImageCount(1);
    Integer dx = LE16(h + 12), dy = LE16(h + 14);
    if (dx == 0 || dy == 0) dx = IEDefaultDpiX, dy = IEDefaultDpiY;
    Params.SetDpiX(dx);
    Params.SetDpiY(dy);
    TRGB head[16], end[256] = {};
    for (int i = 0; i < 16; ++i) head[i] = TRGB{h[16 + 3 * i + 2], h[16 + 3 * i + 1], h[16 + 3 * i]};
    if (planes == 1 && bits > 4 && Size >= 128 + 768) {
      Byte p[768];
      Stream->SetPosition(start + Size - 768);
      if (Stream->Read(p, 768) == 768)
        for (int i = 0; i < 256; ++i) end[i] = TRGB{p[3 * i + 2], p[3 * i + 1], p[3 * i]};
      Stream->SetPosition(start + 128);
    }
    std::vector<Byte> data(static_cast<size_t>(Size - 128));
    const int64_t got = Stream->Read(data.data(), int64_t(data.size()));
    data.resize(size_t(std::max<int64_t>(got, 0)));
    Params.FreeColorMap();
    Params.BITSPERSAMPLE = bits;
    Params.SAMPLESPERPIXEL = planes;
    Params.WIDTH = Params.ORIGINALWIDTH = Integer(w);
    Params.HEIGHT = Params.ORIGINALHEIGHT = Integer(ht);
    Params.PCX_VERSION = h[1];
    auto setMap = [&](const TRGB* T, int N) {
      Params.COLORMAPCOUNT = N;
      Params.COLORMAP = std::make_unique<TRGB[]>(size_t(N));
      std::copy(T, T + N, Params.COLORMAP.get());
    };
    if (bits == 8 && planes == 1)
      setMap(end, 256);
    else if (bits == 1 && planes == 4) {
      setMap(head, 16);
      Params.BITSPERSAMPLE = 4;
      Params.SAMPLESPERPIXEL = 1;
    } else if (bits < 8 && bits > 0)
      setMap(head, std::min(16, 1 << bits));
    if (Preview) return;
    const bool mono = bits == 1 && planes == 1;
    if (!Bitmap->Allocate(Integer(w), Integer(ht), mono ? ie1g : ie24RGB)) {
      Progress.Abort();
      return;
    }
    Bitmap->Fill(0);
    // Lines shorter than the row needs read as zeros past their end.
    const size_t need = size_t(w);
    const size_t lineLen = std::max(bpl, need);
    std::vector<Byte> lines(lineLen * std::max(planes, 1));
    TLineDecoder dec{data.data(), data.size(), h[2] == 1};
    Progress.SetUnits(ht);
    for (Integer y = 0; y < Integer(ht); ++y) {
      Progress.Report(y);
      if (Progress.Aborted()) break;
      std::fill(lines.begin(), lines.end(), 0);
      for (int p = 0; p < planes; ++p) dec.Line(lines.data() + size_t(p) * lineLen, bpl);
      const Byte* l = lines.data();
      Byte* dst = static_cast<Byte*>(Bitmap->GetScanline(y));
      TRGB* rgb = reinterpret_cast<TRGB*>(dst);
      if (mono) {
        std::memcpy(dst, l, size_t((w + 7) / 8));
      } else if (bits == 4 && planes == 1) {
        for (int64_t x = 0; x < w; ++x) rgb[x] = head[(x & 1) ? (l[x / 2] & 15) : (l[x / 2] >> 4)];
      } else if (bits == 8 && planes == 1) {
        for (int64_t x = 0; x < w; ++x) rgb[x] = end[l[x]];
      } else if (bits == 8 && planes == 3) {
        for (int64_t x = 0; x < w; ++x) rgb[x] = TRGB{l[2 * lineLen + x], l[lineLen + x], l[x]};
      } else if (bits == 1 && planes == 4) {
        for (int64_t x = 0; x < w; ++x) {
          int idx = 0;
          for (int p = 0; p < 4; ++p)
            if (l[size_t(p) * lineLen + size_t(x / 8)] & (0x80 >> (x & 7))) idx |= 1 << p;
          rgb[x] = head[idx];
        }
      }
    }
  } catch (...) {
    Progress.Abort();
  }
}

void IEWritePCX(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  try {
    if (!Bitmap || Bitmap->IsEmpty()) {
      Progress.Abort();
      return;
    }
    if (Params.SAMPLESPERPIXEL > 3) Params.SAMPLESPERPIXEL = 3;
    std::unique_ptr<TIEBitmap> copy;
    TIEBitmap* src = Bitmap;
    int total;
    TRGB head[16] = {{0, 0, 0}, {255, 255, 255}};
    if (Params.BITSPERSAMPLE == 1) {
      total = 1;
      if (src->PixelFormat() != ie1g) {
        TRGB c1, c2;
        if (auto two = IETwoColorsTo1Bit(src, c1, c2)) {
          head[0] = c1;
          head[1] = c2;
          copy = std::move(two);
        } else {
          copy = std::make_unique<TIEBitmap>();
          copy->Assign(Bitmap);
          if (!copy->ConvertToPixelFormat(ie1g)) {
            Progress.Abort();
            return;
          }
        }
        src = copy.get();
      }
    } else {
      const int asked = Params.BITSPERSAMPLE * Params.SAMPLESPERPIXEL;
      // The layouts PCX has: 4, 8 and 24 bits; anything else goes to the
      // nearest that holds it.
      total = asked <= 4 ? 4 : asked <= 8 ? 8 : 24;
      if (src->PixelFormat() != ie24RGB) {
        copy = std::make_unique<TIEBitmap>();
        copy->Assign(Bitmap);
        if (!copy->ConvertToPixelFormat(ie24RGB)) {
          Progress.Abort();
          return;
        }
        src = copy.get();
      }
    }
    const Integer w = src->Width(), ht = src->Height();
    std::vector<TRGB> pal(256, TRGB{0, 0, 0});
    std::unique_ptr<TIEQuantizer> q;
    if (total == 4) {
      q = std::make_unique<TIEQuantizer>(src, pal.data(), 16);
      std::copy(pal.begin(), pal.begin() + 16, head);
    } else if (total == 8) {
      q = std::make_unique<TIEQuantizer>(src, pal.data(), 256);
    }
    const size_t lineBytes = total == 1 ? size_t((w + 7) / 8) : total == 4 ? size_t((w + 1) / 2) : size_t(w);
    const size_t bpl = (lineBytes + 1) & ~size_t(1);
    const int planes = total == 24 ? 3 : 1;
    Byte h[128] = {};
    h[0] = 10;
    h[1] = Byte(Params.PCX_VERSION);
    h[2] = Params.PCX_COMPRESSION ? 1 : 0;
    h[3] = Byte(total == 1 ? 1 : total == 4 ? 4 : 8);
    Put16(h + 8, uint32_t(w - 1));
    Put16(h + 10, uint32_t(ht - 1));
    Put16(h + 12, uint32_t(Params.DPIX));
    Put16(h + 14, uint32_t(Params.DPIY));
    for (int i = 0; i < 16; ++i) {
      h[16 + 3 * i] = head[i].r;
      h[16 + 3 * i + 1] = head[i].g;
      h[16 + 3 * i + 2] = head[i].b;
    }
    h[65] = Byte(planes);
    Put16(h + 66, uint32_t(bpl));
    Put16(h + 68, total == 24 ? 0 : 1);
    IESafeStreamWrite(Stream, Progress, h, 128);
    std::vector<Byte> line(bpl * 3, 0), out(bpl * 2 + 4);
    auto put = [&](const Byte* L) {
      if (h[2]) {
        const size_t n = EncodeLine(L, lineBytes, out.data());
        IESafeStreamWrite(Stream, Progress, out.data(), int64_t(n));
      } else {
        IESafeStreamWrite(Stream, Progress, L, int64_t(bpl));
      }
    };
    Progress.SetUnits(ht);
    for (Integer y = 0; y < ht; ++y) {
      Progress.Report(y);
      if (Progress.Aborted()) break;
      std::fill(line.begin(), line.end(), 0);
      const Byte* s = static_cast<const Byte*>(src->GetScanline(y));
      const TRGB* p = reinterpret_cast<const TRGB*>(s);
      if (total == 1) {
        std::memcpy(line.data(), s, lineBytes);
        put(line.data());
      } else if (total == 4) {
        for (Integer x = 0; x < w; ++x) {
          const Byte i = Byte(q->RGBIndex(p[x]) & 15);
          line[size_t(x / 2)] |= (x & 1) ? i : Byte(i << 4);
        }
        put(line.data());
      } else if (total == 8) {
        q->RGBIndexRow(p, line.data(), w);
        put(line.data());
      } else {
        for (Integer x = 0; x < w; ++x) {
          line[size_t(x)] = p[x].r;
          line[bpl + size_t(x)] = p[x].g;
          line[2 * bpl + size_t(x)] = p[x].b;
        }
        for (int k = 0; k < 3; ++k) put(line.data() + size_t(k) * bpl);
      }
    }
    if (total == 8 && !Progress.Aborted()) {
      std::vector<Byte> end = {0x0C};
      for (const TRGB& c : pal) end.insert(end.end(), {c.r, c.g, c.b});
      IESafeStreamWrite(Stream, Progress, end.data(), int64_t(end.size()));
      Params.FreeColorMap();
      Params.COLORMAPCOUNT = 256;
      Params.COLORMAP = std::make_unique<TRGB[]>(256);
      std::copy(pal.begin(), pal.end(), Params.COLORMAP.get());
    }
  } catch (...) {
    Progress.Abort();
  }
}

void IEPCXReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                      bool Preview) {
  IEReadPCX(Stream, Bitmap, Params, IEStreamBytesLeft(Stream), Progress, Preview);
}
void IEPCXWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  IEWritePCX(Stream, Bitmap, Params, Progress);
}
