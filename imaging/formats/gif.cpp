// GIF codec. The reader walks the block structure once, to the trailer, so
// that the frame count covers the whole file, and decodes only the wanted
// frame; every length and index it meets is bounded by the data and by a
// zero-filled 256-entry colour table.
#include "imaging/formats/gif.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/core/base/iestreams.h"
#include "imaging/core/base/ieutils.h"
#include "imaging/core/color/iebitrows.h"
#include "imaging/core/color/iequantizer.h"
#include "imaging/formats/bmp.h"
#include "imaging/formats/lebytes.h"
#include "imaging/io/ielimits.h"
#include "imaging/io/ziduzuvio_safefile.h"
#include "platform/base/strutils.h"

namespace gif_codec {
namespace {

void Report(TIEProgressRec& Progress, Integer Per) {
  if (Progress.fOnProgress) Progress.fOnProgress(Progress.Sender, Per);
}

// One byte, or -1 at the end of the stream.
int ReadByte(TStream* S) {
  Byte b = 0;
  return S->Read(&b, 1) == 1 ? b : -1;
}

// Passes over data sub-blocks up to and including the zero-length one, or
// to the end of the stream.
void SkipSubBlocks(TStream* S, int64_t Size) {
  for (;;) {
    const int len = ReadByte(S);
    if (len <= 0) return;
    const int64_t to = S->Position() + len;
    if (to >= Size) {
      S->SetPosition(Size);
      return;
    }
    S->SetPosition(to);
  }
}

// A colour table of Count file entries (R, G, B) into 256 zeroed library
// triples (B, G, R): indexes past the table read black.
void ReadTable(TStream* S, Integer Count, TRGB* Table) {
  std::fill(Table, Table + 256, TRGB{0, 0, 0});
  Byte raw[768];
  ReadFill(S, raw, int64_t(Count) * 3);
  for (Integer i = 0; i < Count; ++i) Table[i] = TRGB{raw[3 * i + 2], raw[3 * i + 1], raw[3 * i]};
}

Cardinal Packed(const TRGB& C) { return Cardinal(C.r) << 16 | Cardinal(C.g) << 8 | C.b; }

TIEGIFLZWDecompressFunc Decompressor(const TIOParamsVals& Params) {
  return Params.GIF_LZWDECOMPRESS ? Params.GIF_LZWDECOMPRESS : IEGIFLZWDecompressProc;
}
TIEGIFLZWCompressFunc Compressor(const TIOParamsVals& Params) {
  return Params.GIF_LZWCOMPRESS ? Params.GIF_LZWCOMPRESS : IEGIFLZWCompressProc;
}

// The indexes of one decoded frame made into pixels and its transparency.
void MakePixels(TIEBitmap* Bitmap, const std::vector<Byte>& Index, Integer W, Integer H, const TRGB* Table,
                TIOParamsVals& Params, Integer TranspIndex, std::unique_ptr<TIEMask>& AlphaMask, bool NoMask) {
  const TRGB black{0, 0, 0}, white{255, 255, 255};
  const bool bilevel = Params.BITSPERSAMPLE == 1 && Table[0] == black && Table[1] == white;
  const TIEPixelFormat pf = bilevel ? ie1g : Params.ISNATIVEPIXELFORMAT ? ie8p : ie24RGB;
  if (!Bitmap->Allocate(W, H, pf)) return;
  if (pf == ie8p) {
    for (Integer i = 0; i < Params.COLORMAPCOUNT && i < 256; ++i) Bitmap->SetPaletteColor(i, Table[i]);
    Bitmap->SetPaletteUsed(1 << Params.BITSPERSAMPLE);
  }
  for (Integer y = 0; y < H; ++y) {
    const Byte* src = Index.data() + int64_t(y) * W;
    Byte* dst = static_cast<Byte*>(Bitmap->GetScanline(y));
    if (pf == ie1g) {
      std::memset(dst, 0, size_t((W + 7) / 8));
      for (Integer x = 0; x < W; ++x)
        if (src[x] & 1) dst[x >> 3] |= Byte(0x80 >> (x & 7));
    } else if (pf == ie8p) {
      std::memcpy(dst, src, size_t(W));
    } else {
      TRGB* rgb = reinterpret_cast<TRGB*>(dst);
      for (Integer x = 0; x < W; ++x) rgb[x] = Table[src[x]];
    }
  }
  if (NoMask || !Params.GIF_TRANSPARENT) {
    AlphaMask.reset();
    return;
  }
  if (!AlphaMask) AlphaMask = std::make_unique<TIEMask>();
  AlphaMask->AllocateBits(W, H, 8);
  AlphaMask->Fill(255);
  bool any = false;
  for (Integer y = 0; y < H; ++y) {
    const Byte* src = Index.data() + int64_t(y) * W;
    Byte* m = AlphaMask->ScanLine(y);
    for (Integer x = 0; x < W; ++x)
      if (src[x] == TranspIndex) {
        m[x] = 0;
        any = true;
      }
  }
  if (!any) AlphaMask.reset();
  else AlphaMask->SyncFull();
}

}  // namespace
}  // namespace gif_codec

using namespace gif_codec;

void IEReadGIF(TStream* Stream, TIEBitmap* Bitmap, Integer& FrameCount, TIOParamsVals& Params,
               TIEProgressRec& Progress, bool Preview, std::unique_ptr<TIEMask>& AlphaMask, bool NoMask) {
  FrameCount = 0;
  try {
    Report(Progress, 0);
    if (Progress.Aborted()) return;
    const int64_t size = Stream->Size();
    Byte gcePacked = 0, gceTransp = 0;
    Word gceDelay = 0;
    Byte h[13];
    if (Stream->Read(h, 13) != 13 || std::memcmp(h, "GIF", 3) != 0) {
      Progress.Abort();
      return;
    }
    Params.GIF_VERSION.assign(reinterpret_cast<const char*>(h), 6);
    Params.GIF_WINWIDTH = LE16(h + 6);
    Params.GIF_WINHEIGHT = LE16(h + 8);
    Params.GIF_RATIO = h[12];
    Params.SetDpiX(IEDefaultDpiX);
    Params.SetDpiY(IEDefaultDpiY);
    Params.SAMPLESPERPIXEL = 1;
    Params.GIF_COMMENTS.Clear();
    TRGB global[256] = {};
    const bool hasGlobal = h[10] & 0x80;
    const Integer globalBits = (h[10] & 7) + 1;
    if (hasGlobal) {
      ReadTable(Stream, 1 << globalBits, global);
      Params.GIF_BACKGROUND = global[h[11]];
    }
    if (Stream->Position() >= size) Progress.Abort();
    const Integer wanted = Params.GIF_IMAGEINDEX;
    while (!Progress.Aborted()) {
      int intro = ReadByte(Stream);
      if (intro < 0 || Stream->Position() >= size) intro = 0x3B;
      if (intro == 0x3B) break;
      if (intro == 0x21) {
        const int label = ReadByte(Stream);
        if (label == 0xF9 && FrameCount == wanted) {
          // The first sub-block carries the values; a block size other
          // than 4 gives what it holds, zeros for the rest.
          const int len = std::max(ReadByte(Stream), 0);
          Byte d[255] = {};
          ReadFill(Stream, d, len);
          gcePacked = d[0];
          gceDelay = LE16(d + 1);
          gceTransp = d[3];
          if (len > 0) SkipSubBlocks(Stream, size);
        } else if (label == 0xFE) {
          for (;;) {
            const int len = ReadByte(Stream);
            if (len <= 0) break;
            Byte d[256] = {};
            const int64_t got = ReadFill(Stream, d, len);
            const size_t n = strnlen(reinterpret_cast<const char*>(d), size_t(got));
            if (n > 0) Params.GIF_COMMENTS.Add(AnsiToWide(AnsiString(reinterpret_cast<const char*>(d), n)));
            if (got < len) break;
          }
        } else if (label >= 0) {
          SkipSubBlocks(Stream, size);
        }
        continue;
      }
      if (intro != 0x2C) continue;  // not a block: the next byte may be one
      Byte d[9];
      if (ReadFill(Stream, d, 9) < 9) break;
      const bool hasLocal = d[8] & 0x80;
      const Integer localBits = (d[8] & 7) + 1;
      TRGB local[256] = {};
      if (hasLocal) ReadTable(Stream, 1 << localBits, local);
      if (FrameCount != wanted) {
        ReadByte(Stream);
        SkipSubBlocks(Stream, size);
        ++FrameCount;
        continue;
      }
      Report(Progress, 30);
      if (Progress.Aborted()) break;
      const Integer w = LE16(d + 4), ht = LE16(d + 6);
      // A frame without any table reads as grey levels.
      TRGB grey[256];
      for (int i = 0; i < 256; ++i) grey[i] = TRGB{Byte(i), Byte(i), Byte(i)};
      const TRGB* table = hasLocal ? local : hasGlobal ? global : grey;
      const Integer bits = hasLocal ? localBits : hasGlobal ? globalBits : 8;
      Params.GIF_TRANSPCOLOR = table[gceTransp];
      Params.GIF_XPOS = LE16(d);
      Params.GIF_YPOS = LE16(d + 2);
      Params.WIDTH = Params.ORIGINALWIDTH = w;
      Params.HEIGHT = Params.ORIGINALHEIGHT = ht;
      Params.GIF_DELAYTIME = gceDelay;
      Params.GIF_TRANSPARENT = gcePacked & 1;
      Params.GIF_INTERLACED = d[8] & 0x40;
      Params.GIF_DISPOSAL = Byte((gcePacked & 0x1C) >> 2);
      std::vector<Byte> index;
      bool decoded = false;
      if (Preview) {
        ReadByte(Stream);
        SkipSubBlocks(Stream, size);
      } else {
        const TIEGIFLZWDecompressFunc decompress = Decompressor(Params);
        if (!IEPictureFits(IEReadLimits.Native, w, ht, 24)) {
          Progress.Abort();
          break;
        }
        try {
          index.assign(size_t(int64_t(w) * ht), 0);
        } catch (const std::bad_alloc&) {
          Progress.Abort();
          break;
        }
        const int64_t before = Stream->Position();
        if (decompress) decompress(Stream, ht, w, Params.GIF_INTERLACED, index.data());
        if (!decompress || Stream->Position() == before) {
          Progress.Abort();
          break;
        }
        Report(Progress, 70);
        if (Progress.Aborted()) break;
        decoded = true;
      }
      Params.FreeColorMap();
      Params.BITSPERSAMPLE = bits;
      Params.COLORMAPCOUNT = 1 << bits;
      Params.COLORMAP = std::make_unique<TRGB[]>(size_t(Params.COLORMAPCOUNT));
      std::copy(table, table + Params.COLORMAPCOUNT, Params.COLORMAP.get());
      if (decoded) {
        const TRGB black{0, 0, 0}, white{255, 255, 255};
        const bool bilevel = bits == 1 && table[0] == black && table[1] == white;
        if (!bilevel && (w > 65000 || ht > 65000) && IEStreamBytesLeft(Stream) < 2000) {
          Progress.Abort();
          break;
        }
        MakePixels(Bitmap, index, w, ht, table, Params, gceTransp, AlphaMask, NoMask);
        if (Bitmap->Width() != w || Bitmap->Height() != ht) {
          Progress.Abort();
          break;
        }
      }
      ++FrameCount;
    }
    Params.SetImageCount(FrameCount);
    if (!Progress.Aborted()) Report(Progress, 100);
  } catch (...) {
    Progress.Abort();
  }
}

Integer IEReadGIFComposed(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  const int64_t start = Stream->Position();
  const Integer target = Params.GIF_IMAGEINDEX;
  // Hidden frames report nothing; only a load of the first frame shows its own progress.
  TIEProgressRec silent(Progress.Aborting);
  TIEProgressRec& rec = target <= 0 ? Progress : silent;
  TIEBitmap canvas;
  Integer count = 0;
  Byte prevDisposal = 0;
  Integer prevX = 0, prevY = 0, prevW = 0, prevH = 0;
  try {
    for (Integer i = 0;; ++i) {
      TIEBitmap frame;
      Stream->SetPosition(start);
      Params.SetImageIndex(i);
      std::unique_ptr<TIEMask> mask;
      IEReadGIF(Stream, &frame, count, Params, rec, false, mask, false);
      if (Progress.Aborted()) break;
      const TIEPixelFormat pf = frame.PixelFormat();
      if (mask) IEApplyAlphaMask(&frame, mask.get());
      TIEBitmap* result = &frame;
      if (count >= 2) {
        // A frame may reach past the logical screen: the canvas grows to hold it at its place.
        const Integer w = std::max(Params.GIF_WINWIDTH, Params.GIF_XPOS + frame.Width());
        const Integer h = std::max(Params.GIF_WINHEIGHT, Params.GIF_YPOS + frame.Height());
        const TRGB bg = Params.GIF_BACKGROUND;
        if (canvas.Width() == 0) {
          if (!canvas.Allocate(w, h, ie24RGB)) {
            Progress.Abort();
            break;
          }
          for (Integer y = 0; y < h; ++y) {
            TRGB* row = static_cast<TRGB*>(canvas.GetScanline(y));
            std::fill(row, row + w, bg);
          }
          canvas.GetAlphaChannel()->Fill(0);
        } else if (prevDisposal == 2) {
          // Restore to background: the previous frame's rectangle becomes transparent background.
          TIEBitmap* a = canvas.GetAlphaChannel();
          for (Integer y = std::max(prevY, 0); y < std::min(prevY + prevH, canvas.Height()); ++y) {
            TRGB* row = static_cast<TRGB*>(canvas.GetScanline(y));
            Byte* ar = static_cast<Byte*>(a->GetScanline(y));
            for (Integer x = std::max(prevX, 0); x < std::min(prevX + prevW, canvas.Width()); ++x) {
              row[x] = bg;
              ar[x] = 0;
            }
          }
        }
        if (canvas.Width() < w || canvas.Height() < h) {
          // The new area is opaque background.
          TIEBitmap grown;
          if (!grown.Allocate(w, h, ie24RGB)) {
            Progress.Abort();
            break;
          }
          TIEBitmap* ga = grown.GetAlphaChannel();
          TIEBitmap* ca = canvas.GetAlphaChannel();
          for (Integer y = 0; y < h; ++y) {
            TRGB* row = static_cast<TRGB*>(grown.GetScanline(y));
            Byte* ar = static_cast<Byte*>(ga->GetScanline(y));
            std::fill(row, row + w, bg);
            std::fill(ar, ar + w, Byte(255));
            if (y < canvas.Height()) {
              std::memcpy(row, canvas.GetScanline(y), size_t(canvas.Width()) * 3);
              std::memcpy(ar, ca->GetScanline(y), size_t(canvas.Width()));
            }
          }
          canvas.Assign(&grown);
        }
        // The frame goes on at its place where it is opaque; its alpha merges in (the larger wins).
        const Integer fx = Params.GIF_XPOS, fy = Params.GIF_YPOS;
        TIEBitmap* fa = frame.HasAlphaChannel() ? frame.GetAlphaChannel() : nullptr;
        TIEBitmap* ca = canvas.GetAlphaChannel();
        for (Integer y = 0; y < frame.Height(); ++y) {
          const Integer cy = fy + y;
          if (cy < 0 || cy >= canvas.Height()) continue;
          TRGB* row = static_cast<TRGB*>(canvas.GetScanline(cy));
          Byte* ar = static_cast<Byte*>(ca->GetScanline(cy));
          const Byte* far = fa ? static_cast<const Byte*>(fa->GetScanline(y)) : nullptr;
          for (Integer x = 0; x < frame.Width(); ++x) {
            const Integer cx = fx + x;
            if (cx < 0 || cx >= canvas.Width()) continue;
            const Byte alpha = far ? far[x] : 255;
            if (alpha == 0) continue;
            TRGB c;
            frame.GetPixelAsRGB(x, y, c);
            row[cx] = c;
            ar[cx] = std::max(ar[cx], alpha);
          }
        }
        ca->SetFull(false);
        prevW = frame.Width();
        prevH = frame.Height();
        prevX = fx;
        prevY = fy;
        prevDisposal = Params.GIF_DISPOSAL;
        Params.GIF_DISPOSAL = 2;
        Params.GIF_XPOS = Params.GIF_YPOS = 0;
        result = &canvas;
      }
      if (count >= 1) {
        Bitmap->Assign(result);
        // A composed canvas holds the colours of every frame's table, which
        // the first frame's own format could not keep.
        if (result == &frame && Bitmap->PixelFormat() != pf) Bitmap->ConvertToPixelFormat(pf);
      }
      if (Progress.fOnProgress && count > 0) Report(Progress, Integer(int64_t(i) * 100 / count));
      if (Progress.Aborted() || i + 1 >= count || i == target) break;
    }
  } catch (...) {
    Progress.Abort();
  }
  Params.SetImageIndex(target);
  return Progress.Aborted() && count == 0 ? 0 : count;
}

void IEWriteGIF(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  try {
    Report(Progress, 0);
    if (Progress.Aborted()) return;
    if (!Bitmap || Bitmap->IsEmpty()) {
      Progress.Abort();
      return;
    }
    // Only 1 to 8 bits fit a colour table of at most 256 entries.
    Integer bits = std::clamp<Integer>(Params.BITSPERSAMPLE, 1, 8);
    const bool hasAlpha = Bitmap->HasAlphaChannel();
    // A two-entry table has no room for a transparent entry beside black
    // and white: transparency needs the four entries of 2 bits.
    if (bits == 1 && hasAlpha) bits = 2;
    std::unique_ptr<TIEBitmap> copy;
    TIEBitmap* src = Bitmap;
    TRGB table[256] = {};
    Integer n = 1 << bits;
    if (hasAlpha) {
      --n;
      Params.GIF_TRANSPARENT = true;
    }
    const Integer w = Bitmap->Width(), h = Bitmap->Height();
    std::vector<Byte> index(size_t(int64_t(w) * h + 9), 0);
    TIEBitmap* alpha = hasAlpha ? Bitmap->GetAlphaChannel() : nullptr;
    bool oneBit = false;
    table[0] = TRGB{0, 0, 0};
    table[1] = TRGB{255, 255, 255};
    if (Params.BITSPERSAMPLE <= 1) {
      oneBit = true;
      if (src->PixelFormat() != ie1g) {
        TRGB c1, c2;
        if (auto two = IETwoColorsTo1Bit(src, c1, c2)) {
          // A picture of exactly two colours keeps them, darker first.
          copy = std::move(two);
          table[0] = c1;
          table[1] = c2;
        } else {
          copy = std::make_unique<TIEBitmap>();
          copy->Assign(Bitmap);
          copy->RemoveAlphaChannel(false, clWhite);
          if (!copy->ConvertToPixelFormat(ie1g)) {
            Progress.Abort();
            return;
          }
        }
        src = copy.get();
      }
      for (Integer y = 0; y < h; ++y) {
        const Byte* s = static_cast<const Byte*>(src->GetScanline(y));
        Byte* d = index.data() + int64_t(y) * w;
        for (Integer x = 0; x < w; ++x) d[x] = (s[x >> 3] >> (7 - (x & 7))) & 1;
      }
    } else {
      // Every source that is not 24-bit RGB is quantized from an RGB copy:
      // a palette longer than the table would otherwise leave indexes the
      // table does not hold.
      if (src->PixelFormat() != ie24RGB) {
        copy = std::make_unique<TIEBitmap>();
        copy->Assign(Bitmap);
        copy->RemoveAlphaChannel(false, clWhite);
        if (!copy->ConvertToPixelFormat(ie24RGB)) {
          Progress.Abort();
          return;
        }
        src = copy.get();
      }
      TIEQuantizer q(src, table, n);
      for (Integer y = 0; y < h; ++y) {
        const TRGB* s = static_cast<const TRGB*>(src->GetScanline(y));
        Byte* d = index.data() + int64_t(y) * w;
        q.RGBIndexRow(s, d, w);
        for (Integer x = 0; x < w; ++x)
          if (d[x] >= n) d[x] = Byte(IEFindNearestColor(table, n, Packed(s[x])));
      }
    }
    if (alpha) {
      for (Integer y = 0; y < h; ++y) {
        const Byte* a = static_cast<const Byte*>(alpha->GetScanline(y));
        Byte* d = index.data() + int64_t(y) * w;
        for (Integer x = 0; x < w; ++x)
          if (a[x] < 255) d[x] = Byte(n);
      }
    }
    Report(Progress, 30);
    if (Progress.Aborted()) return;
    auto nearest = [&](const TRGB& C) {
      return IEFindNearestColor(table, oneBit ? 2 : n, Packed(C));
    };
    // The signature and version: what the parameters hold, the default
    // where they are short.
    AnsiString version = Params.GIF_VERSION.substr(0, 6);
    if (version.size() < 6) version += AnsiString("GIF89a").substr(version.size());
    std::vector<Byte> head(version.begin(), version.end());
    auto add16 = [&head](uint32_t v) { head.insert(head.end(), {Byte(v), Byte(v >> 8)}); };
    add16(uint32_t(w));
    add16(uint32_t(h));
    head.push_back(Byte(0x80 | ((bits - 1) << 4) | (bits - 1)));
    head.push_back(Byte(nearest(Params.GIF_BACKGROUND)));
    head.push_back(0);
    for (Integer i = 0; i < (1 << bits); ++i) head.insert(head.end(), {table[i].r, table[i].g, table[i].b});
    const Integer transp = hasAlpha ? n : nearest(Params.GIF_TRANSPCOLOR);
    head.insert(head.end(), {0x21, 0xF9, 0x04, Byte((Params.GIF_TRANSPARENT ? 1 : 0) | (Params.GIF_DISPOSAL << 2))});
    add16(uint32_t(Params.GIF_DELAYTIME));
    head.insert(head.end(), {Byte(transp), 0x00, 0x2C});
    add16(uint32_t(Params.GIF_XPOS));
    add16(uint32_t(Params.GIF_YPOS));
    add16(uint32_t(w));
    add16(uint32_t(h));
    head.push_back(Byte(Params.GIF_INTERLACED ? 0x40 : 0));
    IESafeStreamWrite(Stream, Progress, head.data(), int64_t(head.size()));
    Report(Progress, 70);
    if (Progress.Aborted()) return;
    const TIEGIFLZWCompressFunc compress = Compressor(Params);
    if (!compress) {
      Progress.Abort();
      return;
    }
    compress(Stream, h, w, Params.GIF_INTERLACED, index.data(), bits);
    // Comments: lines longer than a sub-block go on in the next one, and an
    // empty line is left out because a zero length would end the extension.
    std::vector<Byte> tail = {0x21, 0xFE};
    for (Integer i = 0; i < Params.GIF_COMMENTS.Count(); ++i) {
      const AnsiString line = WideToAnsi(Params.GIF_COMMENTS.Strings(i));
      for (size_t at = 0; at < line.size(); at += 255) {
        const size_t len = std::min<size_t>(255, line.size() - at);
        tail.push_back(Byte(len));
        tail.insert(tail.end(), line.begin() + int64_t(at), line.begin() + int64_t(at + len));
      }
    }
    tail.insert(tail.end(), {0x00, 0x3B});
    IESafeStreamWrite(Stream, Progress, tail.data(), int64_t(tail.size()));
    if (!Progress.Aborted()) Report(Progress, 100);
  } catch (...) {
    Progress.Abort();
  }
}

Integer IEGIFRemoveFrameStream(TStream* In, TStream* Out, Integer Index) {
  const int64_t size = In->Size();
  Byte h[13];
  if (In->Read(h, 13) != 13 || std::memcmp(h, "GIF", 3) != 0) return 0;
  std::memcpy(h + 3, "89a", 3);
  Out->WriteBuffer(h, 13);
  std::vector<Byte> buf(768);
  // Copies Count bytes; false when the file ends first (what it had is copied).
  auto copy = [&](int64_t Count) {
    if (Count <= 0) return true;
    const int64_t got = std::max<int64_t>(In->Read(buf.data(), Count), 0);
    if (got > 0) Out->WriteBuffer(buf.data(), got);
    return got == Count;
  };
  auto copySubBlocks = [&]() {
    for (;;) {
      const int len = ReadByte(In);
      if (len < 0) return false;
      const Byte l = Byte(len);
      Out->WriteBuffer(&l, 1);
      if (len == 0) return true;
      if (!copy(len)) return false;
    }
  };
  if (h[10] & 0x80) copy(int64_t(3) << ((h[10] & 7) + 1));
  Integer image = 0, copied = 0;
  for (;;) {
    int intro = ReadByte(In);
    if (intro < 0 || In->Position() > size) intro = 0x3B;
    if (intro == 0x3B) {
      const Byte t = 0x3B;
      Out->WriteBuffer(&t, 1);
      break;
    }
    if (intro == 0x21) {
      const int label = ReadByte(In);
      if (label < 0) break;
      if (label == 0xF9 && image == Index) {
        SkipSubBlocks(In, size);
        continue;
      }
      const Byte e[2] = {0x21, Byte(label)};
      Out->WriteBuffer(e, 2);
      if (!copySubBlocks()) break;
      continue;
    }
    if (intro != 0x2C) continue;
    Byte d[9];
    if (ReadFill(In, d, 9) < 9) break;
    const int64_t table = (d[8] & 0x80) ? int64_t(3) << ((d[8] & 7) + 1) : 0;
    if (image++ == Index) {
      In->SetPosition(std::min(In->Position() + table, size));
      ReadByte(In);
      SkipSubBlocks(In, size);
      continue;
    }
    ++copied;
    const Byte intr = 0x2C;
    Out->WriteBuffer(&intr, 1);
    Out->WriteBuffer(d, 9);
    if (!copy(table + 1)) break;  // the table and the code size byte
    if (!copySubBlocks()) break;
  }
  return copied;
}

Integer IEGIFRemoveFrame(const WideString& FileName, Integer Index, bool Save) {
  TMemoryStream copy;
  Integer count;
  {
    TIEWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    TIEBufferedReadStream in(&file, 8192, false);
    count = IEGIFRemoveFrameStream(&in, &copy, Index);
  }
  if (count == 0 && copy.Size() == 0) return 0;
  if (Save) {
    TIESafeFileSave out(FileName);
    out.Stream()->WriteBuffer(copy.Memory(), copy.Size());
    if (!out.Commit()) out.RaiseError();
  }
  return count;
}

void IEGIFReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                      bool Preview) {
  if (Preview) {
    Integer count = 0;
    std::unique_ptr<TIEMask> mask;
    IEReadGIF(Stream, Bitmap, count, Params, Progress, true, mask, true);
    return;
  }
  IEReadGIFComposed(Stream, Bitmap, Params, Progress);
}
void IEGIFWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  IEWriteGIF(Stream, Bitmap, Params, Progress);
}
