// Portable anymap reader and writer. The header is tokenised through a
// buffered byte source; every sample is clamped to the maxval and scaled by
// it, so a 12-bit pixmap reads as bright as its 8-bit twin.
#include "imaging/formats/pnm.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/core/color/iebitrows.h"
#include "imaging/core/color/iecolorformat.h"
#include "imaging/io/ielimits.h"
#include "platform/base/strutils.h"

namespace {

// Reads a stream byte by byte through a buffer; Sync puts the stream at the
// byte that Get would return next.
class TByteSource {
 public:
  explicit TByteSource(TStream* S) : FStream(S), FBase(S->Position()) {}
  int Get() {
    if (FPos == FLen && !Refill()) return -1;
    return FBuf[FPos++];
  }
  int64_t Position() const { return FBase + int64_t(FPos); }
  // Reads Count bytes; what the stream cannot give is zero-filled.
  int64_t Read(Byte* Dst, int64_t Count) {
    int64_t done = 0;
    while (done < Count) {
      if (FPos == FLen && !Refill()) break;
      const int64_t n = std::min<int64_t>(Count - done, int64_t(FLen - FPos));
      std::memcpy(Dst + done, FBuf.data() + FPos, size_t(n));
      FPos += size_t(n);
      done += n;
    }
    if (done < Count) std::memset(Dst + done, 0, size_t(Count - done));
    return done;
  }
  void Sync() { FStream->SetPosition(Position()); }

 private:
  bool Refill() {
    FBase += int64_t(FLen);
    FPos = FLen = 0;
    const int64_t got = FStream->Read(FBuf.data(), int64_t(FBuf.size()));
    FLen = got > 0 ? size_t(got) : 0;
    return FLen > 0;
  }
  TStream* FStream;
  std::vector<Byte> FBuf = std::vector<Byte>(65536);
  size_t FPos = 0, FLen = 0;
  int64_t FBase;
};

bool IsAlnum(int c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// False at the end of the data.
bool NextToken(TByteSource& Src, AnsiString& Token) {
  Token.clear();
  int c;
  while ((c = Src.Get()) >= 0) {
    if (IsAlnum(c)) break;
    if (c == '#') {
      AnsiString text;
      while ((c = Src.Get()) >= 0 && c != '\r' && c != '\n') text.push_back(char(c));
      const size_t b = text.find_first_not_of(" \t");
      const size_t e = text.find_last_not_of(" \t");
      Token = "#" + (b == AnsiString::npos ? AnsiString() : text.substr(b, e - b + 1));
      return true;
    }
  }
  if (c < 0) return false;
  Token.push_back(char(c));
  while ((c = Src.Get()) >= 0 && IsAlnum(c)) Token.push_back(char(c));
  return true;
}

// The token as a decimal number, or Default when it is not one.
int64_t Number(const AnsiString& T, int64_t Default) {
  if (T.empty() || T.size() > 10) return Default;
  int64_t v = 0;
  for (char c : T) {
    if (c < '0' || c > '9') return Default;
    v = v * 10 + (c - '0');
  }
  return v;
}

// The next sample token of plain data (comments skipped); -1 at the end.
int64_t NextSample(TByteSource& Src) {
  AnsiString t;
  while (NextToken(Src, t))
    if (t[0] != '#') return Number(t, 0);
  return -1;
}

}  // namespace

void IEReadPNMToken(TStream* Stream, AnsiString& Token) {
  TByteSource src(Stream);
  NextToken(src, Token);
  src.Sync();
}

void IEReadPNM(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
               bool ParamsOnly) {
  try {
    Params.PNM_COMMENTS.Clear();
    TByteSource src(Stream);
    AnsiString magic, t;
    int64_t width = -1, height = -1, maxval = -1;
    int fields = 0;
    while (NextToken(src, t)) {
      if (t[0] == '#') {
        Params.PNM_COMMENTS.Add(AnsiToWide(t.substr(1)));
        continue;
      }
      if (fields == 0) {
        magic = t;
        if (magic == "P1" || magic == "P4") maxval = 1;
      } else if (fields == 1) {
        width = Number(t, -1);
      } else if (fields == 2) {
        height = Number(t, -1);
      } else {
        maxval = Number(t, -1);
      }
      ++fields;
      if (fields == 3 && (magic == "P1" || magic == "P4")) break;
      if (fields == 4) break;
    }
    const bool known = magic.size() == 2 && magic[0] == 'P' && magic[1] >= '1' && magic[1] <= '6';
    if (!known || width <= 0 || height <= 0 || maxval < 1 || maxval > 65535 ||
        !IEPictureFits(IEReadLimits.Native, width, height, 48)) {
      Progress.Abort();
      return;
    }
    const char kind = magic[1];
    const bool wide = maxval > 255;
    Params.FreeColorMap();
    Params.WIDTH = Params.ORIGINALWIDTH = Integer(width);
    Params.HEIGHT = Params.ORIGINALHEIGHT = Integer(height);
    Params.SetDpiX(IEDefaultDpiX);
    Params.SetDpiY(IEDefaultDpiY);
    const bool bilevel = kind == '1' || kind == '4';
    const bool grey = kind == '2' || kind == '5';
    Params.BITSPERSAMPLE = bilevel ? 1 : (wide && (kind == '5' || kind == '6')) ? 16 : 8;
    Params.SAMPLESPERPIXEL = (bilevel || grey) ? 1 : 3;
    if (ParamsOnly) return;

    const Integer w = Integer(width), h = Integer(height);
    const bool native16 = wide && Params.ISNATIVEPIXELFORMAT && (kind == '5' || kind == '6');
    const TIEPixelFormat pf = bilevel ? ie1g : native16 ? (kind == '5' ? ie16g : ieRGB48) : ie24RGB;
    if (!Bitmap->Allocate(w, h, pf)) {
      Progress.Abort();
      return;
    }
    Bitmap->Fill(0);
    Progress.SetUnits(h);
    const uint32_t mv = uint32_t(maxval);
    auto to8 = [mv](int64_t v) -> Byte {
      if (v < 0) v = 0;
      if (v > int64_t(mv)) v = mv;
      return Byte(uint32_t(v) * 255u / mv);
    };
    auto to16 = [mv](uint32_t v) -> Word { return Word(std::min(v, mv) * 65535u / mv); };

    if (kind == '1') {
      int c = 0;
      for (Integer y = 0; y < h && c >= 0; ++y) {
        Byte* row = static_cast<Byte*>(Bitmap->GetScanline(y));
        for (Integer x = 0; x < w;) {
          c = src.Get();
          if (c < 0) break;
          if (c == '0' || c == '1') IESetBit(row, x++, c == '0');
        }
        Progress.Report(y + 1);
      }
      return;
    }
    if (kind == '2' || kind == '3') {
      bool end = false;
      for (Integer y = 0; y < h && !end; ++y) {
        TRGB* row = static_cast<TRGB*>(Bitmap->GetScanline(y));
        for (Integer x = 0; x < w && !end; ++x) {
          int64_t s[3];
          for (int k = 0; k < (kind == '2' ? 1 : 3); ++k) {
            s[k] = NextSample(src);
            if (s[k] < 0) end = true;
          }
          if (end) break;
          if (kind == '2')
            row[x].r = row[x].g = row[x].b = to8(s[0]);
          else
            row[x] = TRGB{to8(s[2]), to8(s[1]), to8(s[0])};
        }
        Progress.Report(y + 1);
      }
      return;
    }
    const int channels = kind == '6' ? 3 : kind == '5' ? 1 : 0;
    const int64_t rowBytes = kind == '4' ? (int64_t(w) + 7) / 8 : int64_t(w) * channels * (wide ? 2 : 1);
    std::vector<Byte> buf(static_cast<size_t>(rowBytes));
    for (Integer y = 0; y < h; ++y) {
      src.Read(buf.data(), rowBytes);
      Byte* row = static_cast<Byte*>(Bitmap->GetScanline(y));
      const Byte* b = buf.data();
      if (kind == '4') {
        for (int64_t i = 0; i < rowBytes; ++i) row[i] = Byte(~b[i]);
      } else if (native16) {
        Word* out = reinterpret_cast<Word*>(row);
        for (int64_t i = 0; i < int64_t(w) * channels; ++i) out[i] = to16(uint32_t(b[2 * i]) << 8 | b[2 * i + 1]);
      } else {
        TRGB* out = reinterpret_cast<TRGB*>(row);
        // The 8-bit view of a 16-bit sample: its high byte at full scale,
        // else the sample scaled by the maxval.
        auto sample = [&](int64_t i) -> Byte {
          if (!wide) return mv == 255 ? b[i] : to8(b[i]);
          const uint32_t v = uint32_t(b[2 * i]) << 8 | b[2 * i + 1];
          return mv == 65535 ? Byte(v >> 8) : to8(v);
        };
        for (Integer x = 0; x < w; ++x) {
          if (channels == 1) {
            const Byte g = sample(x);
            out[x] = TRGB{g, g, g};
          } else {
            out[x] = TRGB{sample(3 * int64_t(x) + 2), sample(3 * int64_t(x) + 1), sample(3 * int64_t(x))};
          }
        }
      }
      Progress.Report(y + 1);
    }
  } catch (...) {
    Progress.Abort();
  }
}

void IEWritePNM(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  try {
    if (!Bitmap || Bitmap->IsEmpty()) {
      Progress.Abort();
      return;
    }
    const Integer w = Bitmap->Width(), h = Bitmap->Height();
    AnsiString comments;
    for (Integer i = 0; i < Params.PNM_COMMENTS.Count(); ++i)
      comments += "\n# " + WideToAnsi(Params.PNM_COMMENTS.Strings(i)) + "\n";
    const bool bilevel = (Params.BITSPERSAMPLE == 1 && Params.SAMPLESPERPIXEL == 1) || Bitmap->PixelFormat() == ie1g;
    // The rows are read as ie1g, ie24RGB or ieRGB48: any other picture is
    // written from a converted copy.
    std::unique_ptr<TIEBitmap> copy;
    TIEBitmap* src = Bitmap;
    const TIEPixelFormat want = bilevel ? ie1g : Bitmap->PixelFormat() == ieRGB48 ? ieRGB48 : ie24RGB;
    if (src->PixelFormat() != want) {
      copy = std::make_unique<TIEBitmap>();
      copy->Assign(Bitmap);
      if (!copy->ConvertToPixelFormat(want)) {
        Progress.Abort();
        return;
      }
      src = copy.get();
    }
    const std::string size = std::to_string(w) + " " + std::to_string(h);
    AnsiString header;
    int mode;  // 1 P4, 2 P5, 3 P6 from 8 bits widened, 4 P6 from 48 bits, 5 P6
    if (bilevel) {
      mode = 1;
      header = "P4 " + comments + size + "\n";
    } else if (Params.BITSPERSAMPLE == 8 && Params.SAMPLESPERPIXEL == 1) {
      mode = 2;
      header = "P5 " + comments + size + " 255\n";
    } else if (Params.BITSPERSAMPLE == 16 && Params.SAMPLESPERPIXEL == 3 && src->PixelFormat() == ie24RGB) {
      mode = 3;
      header = "P6 " + comments + size + " 65535\n";
    } else if (src->PixelFormat() == ieRGB48) {
      mode = 4;
      header = "P6 " + comments + size + " 65535\n";
    } else {
      mode = 5;
      header = "P6 " + comments + size + " 255\n";
    }
    if (mode == 2 && src->PixelFormat() == ieRGB48) {
      copy = std::make_unique<TIEBitmap>();
      copy->Assign(Bitmap);
      if (!copy->ConvertToPixelFormat(ie24RGB)) {
        Progress.Abort();
        return;
      }
      src = copy.get();
    }
    IESafeStreamWrite(Stream, Progress, header.data(), int64_t(header.size()));
    Progress.SetUnits(h);
    std::vector<Byte> out(size_t(w) * 6 + 8);
    for (Integer y = 0; y < h && !Progress.Aborted(); ++y) {
      const Byte* s = static_cast<const Byte*>(src->GetScanline(y));
      int64_t n = 0;
      switch (mode) {
        case 1:
          n = (int64_t(w) + 7) / 8;
          for (int64_t i = 0; i < n; ++i) out[size_t(i)] = Byte(~s[i]);
          if (w % 8) out[size_t(n - 1)] &= Byte(0xFF << (8 - w % 8));
          break;
        case 2:
          IEConvertColorFormat(s, iecfBGR, out.data(), iecfGray, w, &Params);
          n = w;
          break;
        case 3:
          for (Integer x = 0; x < w; ++x)
            for (int k = 0; k < 3; ++k) {
              const Word v = Word(s[3 * x + 2 - k] * 257);
              out[size_t(6 * x + 2 * k)] = Byte(v >> 8);
              out[size_t(6 * x + 2 * k + 1)] = Byte(v);
            }
          n = int64_t(w) * 6;
          break;
        case 4: {
          const Word* p = reinterpret_cast<const Word*>(s);
          for (int64_t i = 0; i < int64_t(w) * 3; ++i) {
            out[size_t(2 * i)] = Byte(p[i] >> 8);
            out[size_t(2 * i + 1)] = Byte(p[i]);
          }
          n = int64_t(w) * 6;
          break;
        }
        default:
          for (Integer x = 0; x < w; ++x) {
            out[size_t(3 * x)] = s[3 * x + 2];
            out[size_t(3 * x + 1)] = s[3 * x + 1];
            out[size_t(3 * x + 2)] = s[3 * x];
          }
          n = int64_t(w) * 3;
      }
      IESafeStreamWrite(Stream, Progress, out.data(), n);
      Progress.Report(y + 1);
    }
  } catch (...) {
    Progress.Abort();
  }
}

void IEPNMReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                      bool Preview) {
  IEReadPNM(Stream, Bitmap, Params, Progress, Preview);
}
void IEPNMWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  IEWritePNM(Stream, Bitmap, Params, Progress);
}
