// TGA reader and writer. The colour map is consumed whole but only indexes
// below 256 are stored; run-length packets may run on into the next row when
// reading and never do when writing.
#include "imaging/formats/tga.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/core/color/iebitrows.h"
#include "imaging/core/color/iequantizer.h"
#include "imaging/formats/lebytes.h"
#include "imaging/io/ielimits.h"
#include "platform/base/dateutils.h"

namespace {

constexpr char kSignature[] = "TRUEVISION-XFILE.";
constexpr int kExtensionSize = 495;

// Buffered reads; past the stream's end every byte reads 0.
class TReader {
 public:
  explicit TReader(TStream* S) : FStream(S) {}
  Byte Get() {
    if (FPos == FLen) {
      const int64_t got = FStream->Read(FBuf, sizeof FBuf);
      FLen = got > 0 ? size_t(got) : 0;
      FPos = 0;
      if (FLen == 0) return 0;
    }
    return FBuf[FPos++];
  }
  void Get(Byte* Dst, size_t N) {
    for (size_t i = 0; i < N; ++i) Dst[i] = Get();
  }

 private:
  TStream* FStream;
  Byte FBuf[8192];
  size_t FPos = 0, FLen = 0;
};

struct TPalette {
  TRGB Color[256];
  Byte Alpha[256];
  bool HasAlpha = false;
};

TRGB From16(uint16_t v) { return TRGB{Byte((v & 31) * 8), Byte(((v >> 5) & 31) * 8), Byte(((v >> 10) & 31) * 8)}; }

AnsiString Text(const Byte* P, size_t Max) {
  size_t n = 0;
  while (n < Max && P[n]) ++n;
  return AnsiString(reinterpret_cast<const char*>(P), n);
}

// One pixel as colour and alpha, read raw at the picture's depth.
struct TPixel {
  TRGB C{0, 0, 0};
  Byte A = 255;
};

TPixel ReadPixel(TReader& R, int Depth, const TPalette& Pal) {
  TPixel p;
  switch (Depth) {
    case 8: {
      const Byte i = R.Get();
      p.C = Pal.Color[i];
      if (Pal.HasAlpha) p.A = Pal.Alpha[i];
      break;
    }
    case 16: {
      Byte b[2];
      R.Get(b, 2);
      p.C = From16(LE16(b));
      break;
    }
    case 24:
      p.C.b = R.Get();
      p.C.g = R.Get();
      p.C.r = R.Get();
      break;
    case 32:
      p.C.b = R.Get();
      p.C.g = R.Get();
      p.C.r = R.Get();
      p.A = R.Get();
      break;
  }
  return p;
}

bool ValidHeader(const Byte* H) {
  const Byte type = H[2], cmap = H[1], depth = H[16];
  const bool typeOk = type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11;
  const bool depthOk = depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
  return typeOk && cmap <= 1 && depthOk;
}

}  // namespace

void IEReadTGA(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress, bool Preview,
               std::unique_ptr<TIEMask>& AlphaMask, bool NoAlpha) {
  try {
    const int64_t start = Stream->Position();
    const int64_t size = Stream->Size();
    Params.TGA_AUTHOR.clear();
    Params.TGA_IMAGENAME.clear();
    Params.TGA_DATE = Date();
    Params.TGA_BACKGROUND = IEBlackRGB;
    Params.TGA_ASPECTRATIO = 1.0;
    Params.TGA_GAMMA = 2.2;
    if (size - start >= 18 + 26) {
      Byte foot[26];
      Stream->SetPosition(size - 26);
      if (Stream->Read(foot, 26) == 26 && Text(foot + 8, 18) == kSignature) {
        const uint32_t ext = LE32(foot);
        Byte e[kExtensionSize] = {};
        if (ext >= 18 && start + int64_t(ext) + kExtensionSize <= size - 26) {
          Stream->SetPosition(start + ext);
          Stream->Read(e, kExtensionSize);
          Params.TGA_AUTHOR = Text(e + 2, 41);
          const Word mo = LE16(e + 367), d = LE16(e + 369), y = LE16(e + 371), hh = LE16(e + 373),
                     mi = LE16(e + 375), ss = LE16(e + 377);
          TDateTime date, time;
          if (mo && d && y && y < 2500 && mo < 13 && d < 32 && hh < 24 && mi < 60 && ss < 60 &&
              TryEncodeDate(y, mo, d, date) && TryEncodeTime(hh, mi, ss, 0, time))
            Params.TGA_DATE = date + time;
          Params.TGA_IMAGENAME = Text(e + 379, 41);
          Params.TGA_BACKGROUND = TRGB{e[473], e[472], e[471]};
          if (LE16(e + 474) && LE16(e + 476)) Params.TGA_ASPECTRATIO = double(LE16(e + 474)) / LE16(e + 476);
          if (LE16(e + 478) && LE16(e + 480)) Params.TGA_GAMMA = double(LE16(e + 478)) / LE16(e + 480);
        }
      }
    }
    Stream->SetPosition(start);
    TReader r(Stream);
    Byte h[18];
    if (Stream->Size() - start < 18) {
      Progress.Abort();
      return;
    }
    r.Get(h, 18);
    Params.TGA_XPOS = LE16(h + 8);
    Params.TGA_YPOS = LE16(h + 10);
    const Integer w = LE16(h + 12), ht = LE16(h + 14);
    const int depth = h[16];
    if (!ValidHeader(h) || w == 0 || ht == 0 || !IEPictureFits(IEReadLimits.Native, w, ht, 24)) {
      Progress.Abort();
      return;
    }
    std::vector<Byte> id(h[0]);
    r.Get(id.data(), id.size());
    Params.TGA_DESCRIPTOR.assign(id.begin(), id.end());

    TPalette pal;
    for (int i = 0; i < 256; ++i) {
      pal.Color[i] = TRGB{Byte((i & 3) * 64 + 60), Byte(((i >> 2) & 7) * 32 + 28), Byte((i >> 5) * 32 + 28)};
      pal.Alpha[i] = 255;
    }
    const int entryBits = h[7];
    Params.FreeColorMap();
    if (h[1] == 1) {
      const uint32_t first = LE16(h + 3), length = LE16(h + 5);
      const size_t entryBytes = size_t((entryBits + 7) / 8);
      Byte e[8];
      for (uint32_t k = 0; k < length; ++k) {
        r.Get(e, std::min<size_t>(entryBytes, sizeof e));
        for (size_t extra = sizeof e; extra < entryBytes; ++extra) r.Get();
        // Every entry is consumed; only those with an index below 256 are kept.
        const uint32_t at = first + k;
        if (at >= 256) continue;
        if (entryBits == 15 || entryBits == 16) {
          pal.Color[at] = From16(LE16(e));
        } else if (entryBits == 24 || entryBits == 32) {
          pal.Color[at] = TRGB{e[0], e[1], e[2]};
          if (entryBits == 32) {
            pal.Alpha[at] = e[3];
            pal.HasAlpha = true;
          }
        }
      }
      const uint32_t count = std::min<uint32_t>(length, 256);
      if (count) {
        Params.COLORMAPCOUNT = Integer(count);
        Params.COLORMAP = std::make_unique<TRGB[]>(count);
        std::copy(pal.Color, pal.Color + count, Params.COLORMAP.get());
      }
      Params.TGA_GRAYLEVEL = false;
    } else if (depth == 8) {
      for (int i = 0; i < 256; ++i) pal.Color[i] = TRGB{Byte(i), Byte(i), Byte(i)};
      Params.TGA_GRAYLEVEL = true;
    } else if (depth == 1) {
      pal.Color[0] = TRGB{0, 0, 0};
      pal.Color[1] = TRGB{255, 255, 255};
    }
    const bool rle = h[2] >= 9;
    Params.TGA_COMPRESSED = rle;
    Params.WIDTH = Params.ORIGINALWIDTH = w;
    Params.HEIGHT = Params.ORIGINALHEIGHT = ht;
    Params.SetDpiX(IEDefaultDpiX);
    Params.SetDpiY(IEDefaultDpiY);
    Params.SetImageCount(1);
    switch (depth) {
      case 1: Params.BITSPERSAMPLE = 1; Params.SAMPLESPERPIXEL = 1; break;
      case 8: Params.BITSPERSAMPLE = 8; Params.SAMPLESPERPIXEL = 1; break;
      case 16: Params.BITSPERSAMPLE = 5; Params.SAMPLESPERPIXEL = 3; break;
      case 24: Params.BITSPERSAMPLE = 8; Params.SAMPLESPERPIXEL = 3; break;
      case 32: Params.BITSPERSAMPLE = 8; Params.SAMPLESPERPIXEL = 4; break;
      default: break;
    }
    if (Preview) return;
    if (!Bitmap->Allocate(w, ht, depth == 1 ? ie1g : ie24RGB)) {
      Progress.Abort();
      return;
    }
    Bitmap->Fill(0);
    std::unique_ptr<TIEMask> mask;
    if (!NoAlpha && (depth == 32 || (h[1] == 1 && entryBits == 32 && depth == 8))) {
      mask = AlphaMask ? std::move(AlphaMask) : std::make_unique<TIEMask>();
      mask->AllocateBits(w, ht, 8);
      mask->Fill(255);
    }
    AlphaMask.reset();
    const bool topFirst = h[17] & 0x20, mirror = h[17] & 0x10;
    std::vector<TPixel> row(static_cast<size_t>(w));
    std::vector<Byte> bits(size_t((w + 7) / 8));
    Progress.SetUnits(ht);
    // The packet being decoded: it may go on into the next row.
    int left = 0;
    bool run = false;
    TPixel runValue;
    const bool decodable = depth == 1 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
    for (Integer i = 0; i < ht && decodable; ++i) {
      const Integer y = topFirst ? i : ht - 1 - i;
      if (depth == 1) {
        r.Get(bits.data(), bits.size());
        std::memcpy(Bitmap->GetScanline(y), bits.data(), bits.size());
      } else {
        for (Integer x = 0; x < w; ++x) {
          if (!rle) {
            row[size_t(x)] = ReadPixel(r, depth, pal);
            continue;
          }
          if (left == 0) {
            const Byte ph = r.Get();
            left = (ph & 0x7F) + 1;
            run = ph & 0x80;
            if (run) runValue = ReadPixel(r, depth, pal);
          }
          row[size_t(x)] = run ? runValue : ReadPixel(r, depth, pal);
          --left;
        }
        if (mirror) std::reverse(row.begin(), row.end());
        TRGB* dst = static_cast<TRGB*>(Bitmap->GetScanline(y));
        for (Integer x = 0; x < w; ++x) dst[x] = row[size_t(x)].C;
        if (mask) {
          Byte* m = mask->ScanLine(y);
          for (Integer x = 0; x < w; ++x) m[x] = row[size_t(x)].A;
        }
      }
      Progress.Report(i + 1);
      if (Progress.Aborted()) break;
    }
    if (mask) {
      mask->SyncRect();
      if (!mask->IsEmpty()) AlphaMask = std::move(mask);
    }
  } catch (...) {
    Progress.Abort();
  }
}

void IEWriteTGA(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                TIEBitmap* Alpha) {
  try {
    if (!Bitmap || Bitmap->IsEmpty()) {
      Progress.Abort();
      return;
    }
    const int64_t start = Stream->Position();
    std::unique_ptr<TIEBitmap> copy;
    TIEBitmap* src = Bitmap;
    auto convert = [&](TIEPixelFormat F) {
      if (src->PixelFormat() == F) return true;
      auto c = std::make_unique<TIEBitmap>();
      c->Assign(src);
      if (!c->ConvertToPixelFormat(F)) return false;
      copy = std::move(c);
      src = copy.get();
      return true;
    };
    int depth;
    const bool alpha = Alpha && Alpha->Width() == Bitmap->Width() && Alpha->Height() == Bitmap->Height();
    std::vector<TRGB> map(256, TRGB{0, 0, 0});
    std::unique_ptr<TIEQuantizer> q;
    bool grey = false;
    if (Params.SAMPLESPERPIXEL == 1 && Params.BITSPERSAMPLE == 1) {
      depth = 1;
      Params.TGA_COMPRESSED = false;
      if (src->PixelFormat() != ie1g) {
        TRGB c1, c2;
        if (auto two = IETwoColorsTo1Bit(src, c1, c2)) {
          copy = std::move(two);
          src = copy.get();
        } else if (!convert(ie1g)) {
          Progress.Abort();
          return;
        }
      }
    } else if (Params.SAMPLESPERPIXEL == 1 && (Params.BITSPERSAMPLE == 4 || Params.BITSPERSAMPLE == 8)) {
      // Four-bit TGA is not a kind other readers know: a four-bit request
      // gives an eight-bit colour-mapped file of 16 colours.
      const int colours = Params.BITSPERSAMPLE == 4 ? 16 : 256;
      if (Params.BITSPERSAMPLE == 4) Params.TGA_COMPRESSED = false;
      depth = 8;
      grey = Params.BITSPERSAMPLE == 8 && Params.TGA_GRAYLEVEL;
      if (!convert(ie24RGB)) {
        Progress.Abort();
        return;
      }
      if (!grey) {
        q = std::make_unique<TIEQuantizer>(src, map.data(), colours);
        Params.FreeColorMap();
        Params.COLORMAPCOUNT = colours;
        Params.COLORMAP = std::make_unique<TRGB[]>(size_t(colours));
        std::copy(map.begin(), map.begin() + colours, Params.COLORMAP.get());
      }
    } else {
      depth = alpha ? 32 : 24;
      if (alpha) Params.TGA_COMPRESSED = false;
      if (!convert(ie24RGB)) {
        Progress.Abort();
        return;
      }
    }
    const bool rle = Params.TGA_COMPRESSED && (depth == 8 || depth == 24);
    const Integer w = src->Width(), ht = src->Height();
    Byte h[18] = {};
    const AnsiString id = Params.TGA_DESCRIPTOR.substr(0, 254);
    h[0] = Byte(id.size() + 1);
    const bool mapped = depth == 8 && !grey;
    h[1] = mapped ? 1 : 0;
    h[2] = depth == 1 ? 3 : depth == 8 ? (grey ? 3 : 1) : 2;
    if (rle) h[2] += 8;
    if (mapped) {
      Put16(h + 5, 256);
      h[7] = 24;
    }
    Put16(h + 8, uint32_t(Params.TGA_XPOS));
    Put16(h + 10, uint32_t(Params.TGA_YPOS));
    Put16(h + 12, uint32_t(w));
    Put16(h + 14, uint32_t(ht));
    h[16] = Byte(depth);
    h[17] = Byte(0x20 | (depth == 32 ? 8 : 0));
    IESafeStreamWrite(Stream, Progress, h, 18);
    std::vector<Byte> idBytes(id.begin(), id.end());
    idBytes.push_back(0);
    IESafeStreamWrite(Stream, Progress, idBytes.data(), int64_t(idBytes.size()));
    if (mapped) {
      std::vector<Byte> m;
      for (const TRGB& c : map) m.insert(m.end(), {c.b, c.g, c.r});
      IESafeStreamWrite(Stream, Progress, m.data(), int64_t(m.size()));
    }
    const int bpp = depth == 1 ? 0 : depth / 8;
    std::vector<Byte> raw(size_t(w) * 4 + 8), out(size_t(w) * 5 + 8);
    Progress.SetUnits(ht);
    for (Integer y = 0; y < ht; ++y) {
      const Byte* s = static_cast<const Byte*>(src->GetScanline(y));
      int64_t n;
      if (depth == 1) {
        n = (w + 7) / 8;
        std::memcpy(raw.data(), s, size_t(n));
      } else {
        const TRGB* p = reinterpret_cast<const TRGB*>(s);
        const Byte* a = depth == 32 ? static_cast<const Byte*>(Alpha->GetScanline(y)) : nullptr;
        for (Integer x = 0; x < w; ++x) {
          Byte* d = raw.data() + size_t(x) * bpp;
          if (depth == 8)
            d[0] = grey ? Byte((p[x].r * 21 + p[x].g * 71 + p[x].b * 8) / 100) : Byte(q->RGBIndex(p[x]));
          else {
            d[0] = p[x].b;
            d[1] = p[x].g;
            d[2] = p[x].r;
            if (a) d[3] = a[x];
          }
        }
        n = int64_t(w) * bpp;
      }
      if (!rle) {
        IESafeStreamWrite(Stream, Progress, raw.data(), n);
      } else {
        auto same = [&](Integer i, Integer j) { return std::memcmp(&raw[size_t(i) * bpp], &raw[size_t(j) * bpp], size_t(bpp)) == 0; };
        size_t o = 0;
        Integer x = 0;
        while (x < w) {
          Integer count = 1;
          while (x + count < w && count < 128 && same(x, x + count)) ++count;
          if (count >= 2) {
            out[o++] = Byte(0x80 | (count - 1));
            std::memcpy(&out[o], &raw[size_t(x) * bpp], size_t(bpp));
            o += size_t(bpp);
          } else {
            count = 1;
            while (x + count < w - 1 && count < 127 && !same(x + count, x + count + 1)) ++count;
            if (x + count == w - 1) ++count;
            out[o++] = Byte(count - 1);
            std::memcpy(&out[o], &raw[size_t(x) * bpp], size_t(count) * bpp);
            o += size_t(count) * bpp;
          }
          x += count;
        }
        IESafeStreamWrite(Stream, Progress, out.data(), int64_t(o));
      }
      Progress.Report(y + 1);
    }
    // The extension area and the footer of a 2.0 file.
    const int64_t extAt = Stream->Position();
    Byte e[kExtensionSize] = {};
    Put16(e, kExtensionSize);
    std::memcpy(e + 2, Params.TGA_AUTHOR.data(), std::min<size_t>(Params.TGA_AUTHOR.size(), 40));
    Word yy, mo, dd, hh, mi, ss, ms;
    DecodeDate(Params.TGA_DATE, yy, mo, dd);
    DecodeTime(Params.TGA_DATE, hh, mi, ss, ms);
    Put16(e + 367, mo);
    Put16(e + 369, dd);
    Put16(e + 371, yy);
    Put16(e + 373, hh);
    Put16(e + 375, mi);
    Put16(e + 377, ss);
    std::memcpy(e + 379, Params.TGA_IMAGENAME.data(), std::min<size_t>(Params.TGA_IMAGENAME.size(), 40));
    e[471] = Params.TGA_BACKGROUND.r;
    e[472] = Params.TGA_BACKGROUND.g;
    e[473] = Params.TGA_BACKGROUND.b;
    auto ratio = [](double v) { return uint32_t(std::clamp(Trunc(v * 10000.0), int64_t(0), int64_t(65535))); };
    Put16(e + 474, ratio(Params.TGA_ASPECTRATIO));
    Put16(e + 476, 10000);
    Put16(e + 478, ratio(Params.TGA_GAMMA));
    Put16(e + 480, 10000);
    // Attributes type 3: the alpha bytes hold real alpha.
    e[494] = depth == 32 ? 3 : 0;
    IESafeStreamWrite(Stream, Progress, e, kExtensionSize);
    Byte f[26] = {};
    const uint32_t off = uint32_t(extAt - start);
    for (int i = 0; i < 4; ++i) f[i] = Byte(off >> (8 * i));
    std::memcpy(f + 8, kSignature, sizeof kSignature);
    IESafeStreamWrite(Stream, Progress, f, 26);
  } catch (...) {
    Progress.Abort();
  }
}

void IETGAReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                      bool Preview) {
  std::unique_ptr<TIEMask> mask;
  IEReadTGA(Stream, Bitmap, Params, Progress, Preview, mask, false);
  if (mask && !Preview && !Progress.Aborted()) {
    std::unique_ptr<TIEMask> m = std::move(mask);
    TIEBitmap* alpha = Bitmap->GetAlphaChannel();
    if (alpha)
      for (Integer y = 0; y < Bitmap->Height(); ++y)
        std::memcpy(alpha->GetScanline(y), m->ScanLine(y), size_t(Bitmap->Width()));
    if (alpha) alpha->SyncFull();
  }
}

void IETGAWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  IEWriteTGA(Stream, Bitmap, Params, Progress, Bitmap->HasAlphaChannel() ? Bitmap->GetAlphaChannel() : nullptr);
}
