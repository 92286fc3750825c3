// Headerless pixel reader. Binary rows go straight into the picture's rows;
// text data are runs of digits (or upper-case hexadecimal digits) with any
// other character between them.
#include "imaging/formats/rawpixels.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/base/iehelpers.h"
#include "imaging/core/base/iestreams.h"
#include "imaging/core/base/ieutils.h"
#include "imaging/core/render/iedibconvert.h"
#include "platform/base/sysutils.h"

namespace rawpixels_codec {
namespace {

enum TSampleKind { skByte, skWord, skFloat };

// Reads the next value of text data; false at the end of the stream.
class TTextValues {
 public:
  TTextValues(TStream* S, bool Hex) : FStream(S), FHex(Hex) {}
  bool Next(AnsiString& Token) {
    Token.clear();
    for (;;) {
      Byte c;
      if (FStream->Read(&c, 1) != 1) return !Token.empty();
      const bool digit = (c >= '0' && c <= '9') || (FHex && c >= 'A' && c <= 'F');
      if (digit) {
        Token.push_back(char(c));
        if (Token.size() == 34) return true;
      } else if (!Token.empty()) {
        return true;
      }
    }
  }

 private:
  TStream* FStream;
  bool FHex;
};

uint64_t TokenValue(const AnsiString& T, bool Hex) {
  uint64_t v = 0;
  for (char c : T) v = v * (Hex ? 16 : 10) + uint64_t(c <= '9' ? c - '0' : c - 'A' + 10);
  return v;
}

// Count text values into Dest as samples of Kind.
void ReadTextSamples(TTextValues& In, Byte* Dest, int64_t Count, TSampleKind Kind, bool Hex, int64_t Step = 1) {
  AnsiString t;
  for (int64_t i = 0; i < Count; ++i) {
    if (!In.Next(t)) return;
    const int64_t at = i * Step;
    switch (Kind) {
      case skByte:
        Dest[at] = Byte(TokenValue(t, Hex));
        break;
      case skWord: {
        const Word w = Word(TokenValue(t, Hex));
        std::memcpy(Dest + 2 * at, &w, 2);
        break;
      }
      case skFloat: {
        const float f = float(IEStrToFloatDefAnsi(t, 0));
        std::memcpy(Dest + 4 * at, &f, 4);
        break;
      }
    }
  }
}

}  // namespace
}  // namespace rawpixels_codec

using namespace rawpixels_codec;

void IEReadRawPixels(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  const Integer align = Params.BMPRAW_ROWALIGN;
  if (align != 8 && align != 16 && align != 32 && align != 64) {
    Progress.Abort();
    return;
  }
  if (!Bitmap || Bitmap->IsEmpty()) return;
  const TIEPixelFormat pf = Bitmap->PixelFormat();
  const bool text = Params.BMPRAW_DATAFORMAT == 1 || Params.BMPRAW_DATAFORMAT == 2;
  const bool hex = Params.BMPRAW_DATAFORMAT == 2;
  if (hex && pf == ie32f) throw Exception("Format unsupported");
  TIEBufferedReadStream in(Stream, 8192, false);
  if (Params.BMPRAW_HEADERSIZE > 0) in.Seek(Params.BMPRAW_HEADERSIZE, soCurrent);
  TTextValues values(&in, hex);
  const Integer w = Bitmap->Width(), h = Bitmap->Height();
  const Integer bits = Bitmap->BitCount();
  const Integer stored = IEBitmapRowLen(w, bits, align);
  if (stored < 0) {
    Progress.Abort();
    return;
  }
  const Double factor = IEProgressStep(h);
  Integer last = -1;
  const TSampleKind kind = (pf == ie16g || pf == ieRGB48) ? skWord : pf == ie32f ? skFloat : skByte;
  const bool planar = Params.BMPRAW_PLANES == 1 && (pf == ie24RGB || pf == ieCMYK || pf == ieRGB48);
  switch (pf) {
    case ie1g:
    case ie8p:
    case ie8g:
    case ie16g:
    case ie32f:
    case ie24RGB:
    case ieCMYK:
    case ieRGB48:
      break;
    default:
      return;
  }
  if (!planar) {
    const Integer rowLen = Bitmap->RowLen();
    std::vector<Byte> skip;
    for (Integer y = 0; y < h; ++y) {
      Byte* row = static_cast<Byte*>(Bitmap->GetScanline(y));
      if (!text) {
        const Integer n = std::min(rowLen, stored);
        if (in.Read(row, n) < n) break;
        if (stored > n) in.Seek(stored - n, soCurrent);
      } else if (pf == ie1g) {
        // One value per pixel: a non-zero value sets the pixel's bit.
        std::vector<Byte> v(size_t(w), 0);
        ReadTextSamples(values, v.data(), w, skByte, hex);
        for (Integer x = 0; x < w; ++x) {
          const Byte bit = Byte(0x80 >> (x & 7));
          row[x >> 3] = v[size_t(x)] ? Byte(row[x >> 3] | bit) : Byte(row[x >> 3] & ~bit);
        }
      } else {
        ReadTextSamples(values, row, int64_t(w) * Bitmap->ChannelCount(), kind, hex);
      }
      Progress.ReportChanged(y, factor, last);
    }
  } else {
    const Integer channels = pf == ieCMYK ? 4 : 3;
    const Integer sampleBytes = kind == skWord ? 2 : 1;
    const Integer planeRow = IEBitmapRowLen(w, 8 * sampleBytes, align);
    std::vector<Byte> work(size_t(std::max(planeRow, w * sampleBytes)), 0);
    for (Integer c = 0; c < channels; ++c) {
      if (Progress.fOnProgress) Progress.fOnProgress(Progress.Sender, 100 * c / channels);
      for (Integer y = 0; y < h; ++y) {
        Byte* row = static_cast<Byte*>(Bitmap->GetScanline(y));
        // Samples the data do not hold keep what the picture had.
        for (Integer x = 0; x < w; ++x)
          std::memcpy(work.data() + size_t(x) * sampleBytes, row + (size_t(x) * channels + c) * sampleBytes,
                      size_t(sampleBytes));
        if (!text) {
          in.Read(work.data(), planeRow);
        } else {
          ReadTextSamples(values, work.data(), w, kind, hex);
        }
        for (Integer x = 0; x < w; ++x)
          std::memcpy(row + (size_t(x) * channels + c) * sampleBytes, work.data() + size_t(x) * sampleBytes,
                      size_t(sampleBytes));
      }
    }
    if (Progress.fOnProgress) Progress.fOnProgress(Progress.Sender, 100);
  }
  if (Params.BMPRAW_CHANNELORDER == 0 && (pf == ie24RGB || pf == ieRGB48))
    for (Integer y = 0; y < h; ++y) {
      if (pf == ie24RGB)
        IESwapRedBlue(Bitmap->GetScanline(y), w);
      else
        IESwapRedBlue48(Bitmap->GetScanline(y), w);
    }
}

// The picture was sized by the caller; there are no parameters to preview.
void IEBMPRAWReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                         bool Preview) {
  if (!Preview) IEReadRawPixels(Stream, Bitmap, Params, Progress);
}
