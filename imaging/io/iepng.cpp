// PNG reader and writer over libpng 1.6. Colour rows travel as blue, green,
// red (png_set_bgr), the ie24RGB layout, straight into and out of the
// bitmap's own rows; only alpha needs a row buffer to split or join.
#include "imaging/io/iepng.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/color/iebitrows.h"
#include "imaging/core/base/iehelpers.h"
#include "imaging/core/color/iequantizer.h"
#include "imaging/core/bitmap/ieselcopy.h"
#include "imaging/io/ielimits.h"
#include "imaging/io/pnglib_glue.h"

namespace {

struct TReadState {
  TIEPngIO io;
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~TReadState() { IEPngDestroyRead(png, info); }
};

struct TWriteState {
  TIEPngIO io;
  png_structp png = nullptr;
  png_infop info = nullptr;
  // Whatever libpng produced reaches the stream on every way out, as it
  // would without the gathering block.
  ~TWriteState() {
    if (png) IEPngFlushWrites(&io);
    IEPngDestroyWrite(png, info);
  }
};

// Header fields of the file as stored.
struct THeader {
  png_uint_32 width = 0, height = 0;
  int depth = 0, colorType = 0, interlace = 0;
};

struct TReadSetup {
  png_structp png;
  png_infop info;
  THeader h;
  bool native;
  bool gray1;
  int passes = 1;
};

// The transformations, each under its own condition. libpng applies them in
// its own fixed order whatever the order of these calls.
void SetReadTransforms(void* Ctx) {
  auto* s = static_cast<TReadSetup*>(Ctx);
  png_structp png = s->png;
  const THeader& h = s->h;
  const bool palette = h.colorType == PNG_COLOR_TYPE_PALETTE;
  const bool gray = h.colorType == PNG_COLOR_TYPE_GRAY || h.colorType == PNG_COLOR_TYPE_GRAY_ALPHA;
  if (s->native) {
    if (h.depth == 16) png_set_swap(png);
  } else if (!s->gray1) {
    // Palettes of every depth, 1 bit included, are expanded by libpng: a
    // packed 1-bit palette row cannot be merged across interlace passes
    // here, and indexes beyond a short palette then read as black.
    if (palette || (h.colorType == PNG_COLOR_TYPE_GRAY && h.depth < 8)) png_set_expand(png);
    if (h.depth == 16) png_set_strip_16(png);
    if (h.depth < 8) png_set_packing(png);
    if (gray) png_set_gray_to_rgb(png);
    png_set_bgr(png);
    if (png_get_valid(png, s->info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
  }
  s->passes = png_set_interlace_handling(png);
}

TRGB BackgroundOf(png_structp png, png_infop info, const THeader& h) {
  TRGB c{0, 0, 0};
  png_color_16p bg = nullptr;
  if (!png_get_bKGD(png, info, &bg) || !bg) return c;
  if (h.colorType == PNG_COLOR_TYPE_PALETTE) {
    png_colorp pal = nullptr;
    int n = 0;
    if (png_get_PLTE(png, info, &pal, &n) && bg->index < n) c = TRGB{pal[bg->index].blue, pal[bg->index].green,
                                                                         pal[bg->index].red};
    return c;
  }
  auto level = [&](png_uint_16 v) -> Byte {
    if (h.depth == 16) return Byte(v >> 8);
    if (h.depth == 8) return Byte(v);
    int max = (1 << h.depth) - 1;
    return Byte(std::min<int>(v, max) * 255 / max);
  };
  if (h.colorType == PNG_COLOR_TYPE_GRAY || h.colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
    Byte g = level(bg->gray);
    return TRGB{g, g, g};
  }
  return TRGB{level(bg->blue), level(bg->green), level(bg->red)};
}

Integer DpiOf(png_uint_32 PixelsPerMetre, int Unit, Integer Default) {
  Integer dpi = 0;
  if (Unit == PNG_RESOLUTION_METER) dpi = static_cast<Integer>(Round(PixelsPerMetre / 100.0 * 2.54));
  return dpi != 0 ? dpi : Default;
}

void ReadTexts(png_structp png, png_infop info, TIOParamsVals& Params) {
  Params.PNG_TEXTKEYS.Clear();
  Params.PNG_TEXTVALUES.Clear();
  png_textp text = nullptr;
  int n = 0;
  png_get_text(png, info, &text, &n);
  for (int i = 0; i < n; ++i) {
    const bool utf8 = text[i].compression >= PNG_ITXT_COMPRESSION_NONE;  // iTXt
    AnsiString key = text[i].key ? text[i].key : "";
    AnsiString value = text[i].text ? AnsiString(text[i].text, utf8 ? text[i].itxt_length : text[i].text_length)
                                    : AnsiString();
    Params.PNG_TEXTKEYS.Add(IEAnsiToWide(key));
    Params.PNG_TEXTVALUES.Add(utf8 ? Utf8ToWide(value) : IEAnsiToWide(value));
  }
}

// The least bytes the filtered rows of the picture take before compression:
// one filter byte a row (an interlaced file has more rows, never fewer) and
// the packed samples.
int64_t MinRawBytes(const THeader& h) {
  int samples = 1;
  switch (h.colorType) {
    case PNG_COLOR_TYPE_RGB: samples = 3; break;
    case PNG_COLOR_TYPE_GRAY_ALPHA: samples = 2; break;
    case PNG_COLOR_TYPE_RGB_ALPHA: samples = 4; break;
    default: break;
  }
  const int64_t bits = int64_t(h.width) * h.height * samples * h.depth;
  return int64_t(h.height) + bits / 8;
}

// A block of zeros that costs memory only where it is written, freed with std::free.
struct TFreeDeleter {
  void operator()(Byte* p) const { std::free(p); }
};

void ReadPNGBody(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress, bool Preview) {
  const int64_t available = IEStreamBytesLeft(Stream);
  TReadState st;
  st.io.Stream = Stream;
  st.io.Aborting = &Progress.Aborting;
  st.png = IEPngCreateRead(&st.io);
  if (!st.png || !(st.info = png_create_info_struct(st.png))) {
    Progress.Abort();
    return;
  }
  struct TLimits {
    png_structp png;
  } lim{st.png};
  IEPngGuard(
      st.png, [](void* p) { png_set_user_limits(static_cast<TLimits*>(p)->png, 0x7FFFFFFF, 0x7FFFFFFF); }, &lim);
  if (!IEPngReadInfo(st.png, st.info)) {
    Progress.Abort();
    return;
  }
  THeader h;
  png_get_IHDR(st.png, st.info, &h.width, &h.height, &h.depth, &h.colorType, &h.interlace, nullptr, nullptr);
  // A header that declares more than the rest of the stream could inflate
  // to is refused before anything is allocated for it.
  const bool fits = Bitmap ? IEPictureFitsBitmap(IEReadLimits.PNG, *Bitmap, h.width, h.height, 24)
                           : IEPictureFits(IEReadLimits.PNG, h.width, h.height, 24);
  if (!fits ||
      !IEDataCanExplain(IEDeflateMinInput(MinRawBytes(h)), available)) {
    Progress.Abort();
    return;
  }
  ReadTexts(st.png, st.info, Params);
  if (png_get_valid(st.png, st.info, PNG_INFO_bKGD)) Params.PNG_BACKGROUND = BackgroundOf(st.png, st.info, h);

  const bool palette = h.colorType == PNG_COLOR_TYPE_PALETTE;
  const bool gray = h.colorType == PNG_COLOR_TYPE_GRAY;
  TReadSetup setup{st.png, st.info, h, false, false};
  setup.native = Params.ISNATIVEPIXELFORMAT && (h.depth == 8 || h.depth == 16) && (gray || palette);
  setup.gray1 = gray && h.depth == 1;
  if (!IEPngGuard(st.png, SetReadTransforms, &setup) || !IEPngReadUpdateInfo(st.png, st.info)) {
    Progress.Abort();
    return;
  }

  const Integer w = static_cast<Integer>(h.width), ht = static_cast<Integer>(h.height);
  Params.SetImageCount(1);
  Params.WIDTH = w;
  Params.HEIGHT = ht;
  Params.ORIGINALWIDTH = w;
  Params.ORIGINALHEIGHT = ht;
  Params.BITSPERSAMPLE = h.depth;
  switch (h.colorType) {
    case PNG_COLOR_TYPE_RGB: Params.SAMPLESPERPIXEL = 3; break;
    case PNG_COLOR_TYPE_GRAY_ALPHA: Params.SAMPLESPERPIXEL = 2; break;
    case PNG_COLOR_TYPE_RGB_ALPHA: Params.SAMPLESPERPIXEL = 4; break;
    default: Params.SAMPLESPERPIXEL = 1; break;
  }
  png_uint_32 resX = 0, resY = 0;
  int unit = -1;
  if (!png_get_pHYs(st.png, st.info, &resX, &resY, &unit)) unit = -1;
  Params.SetDpiX(DpiOf(resX, unit, IEDefaultDpiX));
  Params.SetDpiY(DpiOf(resY, unit, IEDefaultDpiY));
  Params.FreeColorMap();
  if (palette) {
    png_colorp pal = nullptr;
    int n = 0;
    if (png_get_PLTE(st.png, st.info, &pal, &n) && n > 0) {
      Params.COLORMAP.reset(new TRGB[static_cast<size_t>(n)]);
      Params.COLORMAPCOUNT = n;
      for (int i = 0; i < n; ++i) Params.COLORMAP[i] = TRGB{pal[i].blue, pal[i].green, pal[i].red};
    }
  }
  Params.PNG_INTERLACED = h.interlace != PNG_INTERLACE_NONE;
  if (Preview) return;

  TIEPixelFormat pf = ie24RGB;
  if (setup.gray1)
    pf = ie1g;
  else if (setup.native)
    pf = palette ? ie8p : h.depth == 8 ? ie8g : ie16g;
  const size_t channels = png_get_channels(st.png, st.info);
  const size_t rowBytes = png_get_rowbytes(st.png, st.info);
  const bool alpha = pf == ie24RGB && channels == 4;
  const int passes = setup.passes;
  // The picture, its alpha channel and the whole-picture buffer of an
  // interlaced file with alpha.
  const int64_t bitsPerPixel = IEPixelFormatBitCount(pf) + (alpha ? 8 : 0) + (alpha && passes > 1 ? 32 : 0);
  // The whole-picture buffer is in memory, so with it the memory limit holds
  // even for a picture kept in a file.
  const bool wholeInMemory = alpha && passes > 1;
  const bool fitsStorage = wholeInMemory ? IEPictureFits(IEReadLimits.PNG, w, ht, bitsPerPixel)
                                     : IEPictureFitsBitmap(IEReadLimits.PNG, *Bitmap, w, ht, bitsPerPixel);
  if (!fitsStorage || !Bitmap->Allocate(w, ht, pf)) {
    Progress.Abort();
    return;
  }
  // Whatever libpng hands over must fit the rows it goes into.
  if ((pf == ie24RGB && channels != 3 && channels != 4) || (!alpha && rowBytes > size_t(Bitmap->RowLen())) ||
      (alpha && rowBytes != size_t(w) * 4)) {
    Progress.Abort();
    return;
  }
  if (pf == ie8p) {
    // Entries the file's palette lacks stay black.
    for (Integer i = 0; i < 256; ++i)
      Bitmap->SetPaletteColor(i, i < Params.COLORMAPCOUNT ? Params.COLORMAP[i] : TRGB{0, 0, 0});
  }
  // Each interlace pass must see the earlier passes' pixels: one buffer for
  // the whole picture then, one row otherwise. The whole-picture buffer is
  // made once the first row has arrived, and only its written pages cost
  // memory, so a file whose data never comes costs nothing.
  std::vector<Byte> buffer;
  std::unique_ptr<Byte, TFreeDeleter> whole;
  TIEBitmap* alphaChannel = nullptr;
  if (alpha) {
    buffer.resize(size_t(w) * 4);
    alphaChannel = Bitmap->GetAlphaChannel();
    alphaChannel->SetFull(false);
  }
  const Double step = IEProgressStep(int64_t(ht) * passes);
  Integer last = -1;
  int64_t done = 0;
  for (int pass = 0; pass < passes && !Progress.Aborted(); ++pass) {
    for (Integer y = 0; y < ht && !Progress.Aborted(); ++y) {
      if (alpha) {
        Byte* src = whole ? whole.get() + size_t(y) * size_t(w) * 4 : buffer.data();
        if (!IEPngReadRow(st.png, src)) {
          Progress.Abort();
          break;
        }
        if (passes > 1 && !whole) {
          whole.reset(static_cast<Byte*>(std::calloc(size_t(ht) * size_t(w) * 4, 1)));
          if (!whole) {
            Progress.Abort();
            break;
          }
          std::memcpy(whole.get() + size_t(y) * size_t(w) * 4, src, size_t(w) * 4);
          src = whole.get() + size_t(y) * size_t(w) * 4;
        }
        if (pass == passes - 1) {
          Byte* row = static_cast<Byte*>(Bitmap->GetScanline(y));
          Byte* a = static_cast<Byte*>(alphaChannel->GetScanline(y));
          for (Integer x = 0; x < w; ++x, src += 4, row += 3) {
            row[0] = src[0];
            row[1] = src[1];
            row[2] = src[2];
            a[x] = src[3];
          }
        }
      } else if (!IEPngReadRow(st.png, static_cast<Byte*>(Bitmap->GetScanline(y)))) {
        Progress.Abort();
        break;
      }
      Progress.ReportChanged(++done, step, last);
    }
  }
  if (!Progress.Aborted() && !IEPngReadEnd(st.png)) Progress.Abort();
}

// --- writer ---------------------------------------------------------------------------------

// libpng refuses keywords outside these rules (and would end the whole write).
bool ValidKeyword(const AnsiString& K) {
  if (K.empty() || K.size() > 79 || K.front() == ' ' || K.back() == ' ') return false;
  for (size_t i = 0; i < K.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(K[i]);
    if (!((c >= 32 && c <= 126) || c >= 161)) return false;
    if (c == ' ' && i + 1 < K.size() && K[i + 1] == ' ') return false;
  }
  return true;
}

enum TOutKind { okGray1, okGray, okPalette, okPaletteAlpha, okRGB, okRGBA };

struct TWriteSetup {
  png_structp png;
  png_infop info;
  TIOParamsVals* p;
  Integer width, height;
  int depth, colorType;
  TOutKind kind;
  std::vector<png_color> palette;
  bool transparentEntry0;
  bool hasBackground;
  png_color_16 background;
  std::vector<AnsiString> keys, values;
  std::vector<png_text> texts;
  bool swap16;
  int passes = 1;
};

void SetupWriter(void* Ctx) {
  auto* s = static_cast<TWriteSetup*>(Ctx);
  png_structp png = s->png;
  png_infop info = s->info;
  TIOParamsVals& p = *s->p;
  png_set_IHDR(png, info, static_cast<png_uint_32>(s->width), static_cast<png_uint_32>(s->height), s->depth,
               s->colorType, p.PNG_INTERLACED ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!s->palette.empty()) png_set_PLTE(png, info, s->palette.data(), static_cast<int>(s->palette.size()));
  if (s->transparentEntry0) {
    png_byte zero = 0;
    png_set_tRNS(png, info, &zero, 1, nullptr);
  }
  if (p.DPIX > 0 && p.DPIY > 0) {
    auto ppm = [](Integer dpi) { return static_cast<png_uint_32>(Round(dpi * 100.0 / 2.54)); };
    png_set_pHYs(png, info, ppm(p.DPIX), ppm(p.DPIY), PNG_RESOLUTION_METER);
  }
  switch (p.PNG_FILTER) {
    case 0: png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE); break;
    case 1: png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB); break;
    case 2: png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_PAETH); break;
    default: break;
  }
  if (s->hasBackground) png_set_bKGD(png, info, &s->background);
  png_set_compression_level(png, std::clamp<Integer>(p.PNG_COMPRESSION, 0, 9));
  // zlib's largest match-finder tables: on photographs the longer hash finds
  // matches with fewer chain steps, 5-15% faster at the same level and
  // slightly smaller, for a few hundred kilobytes more while writing.
  png_set_compression_mem_level(png, 9);
  if (!s->texts.empty()) png_set_text(png, info, s->texts.data(), static_cast<int>(s->texts.size()));
}

void WritePNGBody(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                  TIEMask* AlphaMask) {
  if (!Stream || !Bitmap || Bitmap->IsEmpty()) {
    Progress.Abort();
    return;
  }
  const Integer w = Bitmap->Width(), h = Bitmap->Height();
  // Everything is decided before the first byte is written.
  const bool oneSample = Params.SAMPLESPERPIXEL == 1;
  if (oneSample && Params.BITSPERSAMPLE != 1 && Params.BITSPERSAMPLE != 8 && Params.BITSPERSAMPLE != 16)
    Params.BITSPERSAMPLE = 8;
  const bool mask = AlphaMask && !AlphaMask->Full && AlphaMask->BitsPerPixel() == 8 &&
                    AlphaMask->Width() >= w && AlphaMask->Height() >= h && AlphaMask->Bits();

  std::unique_ptr<TIEBitmap> temp;
  TIEBitmap* work = Bitmap;
  auto convertTo = [&](TIEPixelFormat pf) {
    auto c = std::make_unique<TIEBitmap>(w, h, pf);
    if (c->IsEmpty()) return false;
    c->CopyAndConvertFormat(work);
    temp = std::move(c);
    work = temp.get();
    return true;
  };
  TOutKind kind;
  if (oneSample && Params.BITSPERSAMPLE == 1) {
    if (work->PixelFormat() != ie1g) {
      TRGB c1{}, c2{};
      std::unique_ptr<TIEBitmap> two = IETwoColorsTo1Bit(work, c1, c2);
      if (two) {
        temp = std::move(two);
        work = temp.get();
      } else if (!convertTo(ie1g)) {
        Progress.Abort();
        return;
      }
    }
    kind = okGray1;
  } else if (oneSample) {
    const TIEPixelFormat pf = work->PixelFormat();
    if (mask) {
      if (pf != ie24RGB && !convertTo(ie24RGB)) {
        Progress.Abort();
        return;
      }
      kind = okPaletteAlpha;
    } else {
      if (pf != ie8g && pf != ie16g && pf != ie8p && pf != ie24RGB && !convertTo(ie24RGB)) {
        Progress.Abort();
        return;
      }
      kind = okPalette;  // may turn grey once the colours are known
    }
  } else {
    if (work->PixelFormat() != ie24RGB && !convertTo(ie24RGB)) {
      Progress.Abort();
      return;
    }
    kind = mask ? okRGBA : okRGB;
  }

  TWriteSetup s{};
  s.p = &Params;
  s.width = w;
  s.height = h;
  std::unique_ptr<TIEQuantizer> quantizer;
  std::vector<TRGB> colors(256, TRGB{0, 0, 0});
  Integer depth = Params.BITSPERSAMPLE;
  const TRGB bk = Params.PNG_BACKGROUND;
  if (kind == okPalette) {
    const TIEPixelFormat pf = work->PixelFormat();
    // A grey picture is known without building a palette for it.
    bool grayImage = pf == ie8g || pf == ie16g || (pf == ie24RGB && work->IsGrayScale());
    if (!grayImage) {
      quantizer = std::make_unique<TIEQuantizer>(work, colors.data(), 256);
    }
    if (grayImage) {
      kind = okGray;
      quantizer.reset();
    } else {
      depth = 8;  // a palette holds at most 8-bit indexes
    }
  }
  switch (kind) {
    case okGray1:
      s.depth = 1;
      s.colorType = PNG_COLOR_TYPE_GRAY;
      break;
    case okGray:
      s.depth = depth == 16 ? 16 : 8;
      s.colorType = PNG_COLOR_TYPE_GRAY;
      s.hasBackground = true;  // always level 0
      s.swap16 = s.depth == 16;
      break;
    case okPalette: {
      s.depth = 8;
      s.colorType = PNG_COLOR_TYPE_PALETTE;
      for (const TRGB& c : colors) s.palette.push_back(png_color{c.r, c.g, c.b});
      Integer idx = quantizer->RGBIndex(bk);
      if (idx >= 0 && idx < 256) {
        s.hasBackground = true;
        s.background.index = static_cast<png_byte>(idx);
      }
      break;
    }
    case okPaletteAlpha: {
      s.depth = 8;
      s.colorType = PNG_COLOR_TYPE_PALETTE;
      quantizer = std::make_unique<TIEQuantizer>(work, colors.data() + 1, 255);
      colors[0] = bk;
      for (const TRGB& c : colors) s.palette.push_back(png_color{c.r, c.g, c.b});
      s.transparentEntry0 = true;
      // Entry 0 holds the background colour itself when the quantizer never saw it.
      Integer idx = quantizer->RGBIndex(bk);
      s.hasBackground = true;
      s.background.index = static_cast<png_byte>(idx >= 0 && idx < 255 ? idx + 1 : 0);
      break;
    }
    case okRGB:
    case okRGBA:
      s.depth = 8;
      s.colorType = kind == okRGBA ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
      s.hasBackground = true;
      s.background.red = bk.r;
      s.background.green = bk.g;
      s.background.blue = bk.b;
      break;
  }
  Params.BITSPERSAMPLE = s.depth;
  const Integer pairs = std::min(Params.PNG_TEXTKEYS.Count(), Params.PNG_TEXTVALUES.Count());
  for (Integer i = 0; i < pairs; ++i) {
    AnsiString key = IEWideToAnsi(Params.PNG_TEXTKEYS.Strings(i));
    if (!ValidKeyword(key)) continue;
    s.keys.push_back(key);
    s.values.push_back(IEWideToAnsi(Params.PNG_TEXTVALUES.Strings(i)));
  }
  for (size_t i = 0; i < s.keys.size(); ++i) {
    png_text t{};
    t.compression = PNG_TEXT_COMPRESSION_NONE;
    t.key = s.keys[i].data();
    t.text = s.values[i].data();
    t.text_length = s.values[i].size();
    s.texts.push_back(t);
  }

  TWriteState st;
  st.io.Stream = Stream;
  st.io.Aborting = &Progress.Aborting;
  st.png = IEPngCreateWrite(&st.io);
  if (!st.png || !(st.info = png_create_info_struct(st.png))) throw EInvalidGraphic("Error on creating PNG");
  s.png = st.png;
  s.info = st.info;
  if (!IEPngGuard(st.png, SetupWriter, &s) || !IEPngWriteInfo(st.png, st.info)) {
    Progress.Abort();
    throw EInvalidGraphic("Error on creating PNG");
  }
  // Row transformations of a writer take effect only once the header is out.
  struct TPasses {
    png_structp png;
    bool bgr, swap;
    int n;
  } ps{st.png, kind == okRGB || kind == okRGBA, s.swap16, 1};
  if (!IEPngGuard(
          st.png,
          [](void* c) {
            auto* t = static_cast<TPasses*>(c);
            if (t->bgr) png_set_bgr(t->png);
            if (t->swap) png_set_swap(t->png);
            t->n = png_set_interlace_handling(t->png);
          },
          &ps)) {
    Progress.Abort();
    throw EInvalidGraphic("Error on creating PNG");
  }
  const int passes = ps.n;

  std::vector<Byte> buffer;
  if (kind == okRGBA) buffer.resize(size_t(w) * 4);
  if (kind == okPalette || kind == okPaletteAlpha || kind == okGray) buffer.resize(size_t(w) * (s.depth == 16 ? 2 : 1));
  const TIEPixelFormat pf = work->PixelFormat();
  Progress.SetUnits(int64_t(h) * passes);
  int64_t done = 0;
  for (int pass = 0; pass < passes && !Progress.Aborted(); ++pass) {
    for (Integer y = 0; y < h && !Progress.Aborted(); ++y) {
      Byte* row = static_cast<Byte*>(work->GetScanline(y));
      const Byte* out = buffer.empty() ? row : buffer.data();
      switch (kind) {
        case okGray1:
        case okRGB:
          break;
        case okRGBA: {
          const Byte* a = AlphaMask->ScanLine(y);
          Byte* d = buffer.data();
          for (Integer x = 0; x < w; ++x, d += 4, row += 3) {
            d[0] = row[0];
            d[1] = row[1];
            d[2] = row[2];
            d[3] = a[x];
          }
          break;
        }
        case okPalette:
          if (pf == ie8p)
            std::memcpy(buffer.data(), row, size_t(w));
          else
            quantizer->RGBIndexRow(reinterpret_cast<const TRGB*>(row), buffer.data(), w);
          break;
        case okPaletteAlpha: {
          // Only wholly opaque pixels keep their colour; index 0 is transparent.
          const Byte* a = AlphaMask->ScanLine(y);
          const TRGB* px = reinterpret_cast<const TRGB*>(row);
          for (Integer x = 0; x < w; ++x) {
            Integer idx = a[x] == 255 ? quantizer->RGBIndex(px[x]) : -1;
            buffer[size_t(x)] = idx >= 0 && idx < 255 ? Byte(idx + 1) : 0;
          }
          break;
        }
        case okGray: {
          Byte* d = buffer.data();
          if (s.depth == 16) {
            // Little-endian words, swapped by libpng: the full 16-bit sample.
            if (pf == ie16g) {
              out = row;
            } else {
              for (Integer x = 0; x < w; ++x) {
                Byte v = pf == ie8g ? row[x] : row[size_t(x) * 3 + 2];
                d[2 * x] = v;  // v x 257: white stays white
                d[2 * x + 1] = v;
              }
            }
          } else if (pf == ie8g) {
            out = row;
          } else if (pf == ie16g) {
            const Word* wv = reinterpret_cast<const Word*>(row);
            for (Integer x = 0; x < w; ++x) d[x] = Byte(wv[x] >> 8);
          } else {
            for (Integer x = 0; x < w; ++x) d[x] = row[size_t(x) * 3 + 2];
          }
          break;
        }
      }
      if (!IEPngWriteRow(st.png, out)) {
        Progress.Abort();
        throw EInvalidGraphic("Error on creating PNG");
      }
      Progress.Report(++done);
    }
  }
  if (!Progress.Aborted() && !IEPngWriteEnd(st.png, st.info)) {
    Progress.Abort();
    throw EInvalidGraphic("Error on creating PNG");
  }
  if (!IEPngFlushWrites(&st.io)) Progress.Abort();
}

}  // namespace

void IEReadPNG(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress, bool Preview) {
  if (!Stream || (!Bitmap && !Preview)) {
    Progress.Abort();
    return;
  }
  try {
    ReadPNGBody(Stream, Bitmap, Params, Progress, Preview);
  } catch (...) {
    Progress.Abort();
  }
}

void IEWritePNG(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                TIEMask* AlphaMask) {
  try {
    WritePNGBody(Stream, Bitmap, Params, Progress, AlphaMask);
  } catch (const EInvalidGraphic&) {
    Progress.Abort();
    throw;
  } catch (...) {
    Progress.Abort();
  }
}

void IEPngReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                      bool Preview) {
  IEReadPNG(Stream, Bitmap, Params, Progress, Preview);
}

void IEPngWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  try {
    std::unique_ptr<TIEMask> mask;
    if (Bitmap && Bitmap->HasAlphaChannel()) {
      mask = std::make_unique<TIEMask>();
      IECopyToTIEMask(*Bitmap->GetAlphaChannel(), mask.get());
    }
    IEWritePNG(Stream, Bitmap, Params, Progress, mask.get());
  } catch (...) {
    Progress.Abort();
  }
}
