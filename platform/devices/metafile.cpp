// Metafiles over libwmf (WMF) and libemf2svg (EMF): both turn the records
// into SVG at the wanted size, which the SVG renderer draws over the picture.
// The sizes come from the headers, read here with 64-bit arithmetic.
#include "platform/devices/metafile.h"

#include <QByteArray>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QSvgRenderer>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/base/sysutils.h"
#include "platform/devices/private/dynlib.h"
#include "platform/graphics/bitmap.h"

extern "C" {
#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/svg.h>
}

namespace metafile_glue {
namespace {

// The metafile libraries are opened by the first metafile, not at start.
#define GT_WMF_FUNCTIONS(X)                                                                                    \
  X(wmf_api_create) X(wmf_api_destroy) X(wmf_mem_open) X(wmf_mem_close) X(wmf_scan) X(wmf_display_size)        \
  X(wmf_stream_create) X(wmf_stream_destroy) X(wmf_play) X(wmf_svg_function)

struct TWmf : GtDynTable {
#define GT_WMF_POINTER(f) decltype(&::f) f = nullptr;
  GT_WMF_FUNCTIONS(GT_WMF_POINTER)
#undef GT_WMF_POINTER
  TWmf() {
    Open({"libwmflite-0.2.so.7", "libwmf-0.2.so.7"});
#define GT_WMF_BIND(f) Bind(f, #f);
    GT_WMF_FUNCTIONS(GT_WMF_BIND)
#undef GT_WMF_BIND
  }
};

struct TEmf : GtDynTable {
  decltype(&::emf2svg) emf2svg = nullptr;
  TEmf() {
    Open({"libemf2svg.so.1"});
    Bind(emf2svg, "emf2svg");
  }
};

// The loaded tables, or nullptr when the library is missing (not retried).
const TWmf* LoadWmf() {
  static const TWmf table;
  return table.Ok() ? &table : nullptr;
}
const TEmf* LoadEmf() {
  static const TEmf table;
  return table.Ok() ? &table : nullptr;
}

// Larger files are not taken: nothing legitimate comes near this.
constexpr size_t kMaxBytes = size_t(256) << 20;
constexpr uint32_t kPlaceableKey = 0x9AC6CDD7u;
constexpr uint32_t kEmfSignature = 0x464D4520u;  // " EMF"

uint16_t Le16(const std::vector<uint8_t>& D, size_t At) { return uint16_t(D[At] | D[At + 1] << 8); }
int16_t LeS16(const std::vector<uint8_t>& D, size_t At) { return static_cast<int16_t>(Le16(D, At)); }
uint32_t Le32(const std::vector<uint8_t>& D, size_t At) { return uint32_t(Le16(D, At)) | uint32_t(Le16(D, At + 2)) << 16; }
int32_t LeS32(const std::vector<uint8_t>& D, size_t At) { return static_cast<int32_t>(Le32(D, At)); }

// A size in pixels from a length in units of which PerInch make an inch;
// 0 for what is empty, inverted or beyond 32 bits.
int32_t Pixels(int64_t Length, int64_t PerInch) {
  if (Length <= 0 || PerInch <= 0) return 0;
  const int64_t px = (Length * TMetafile::ScreenDpi + PerInch / 2) / PerInch;
  return px > 0 && px <= INT32_MAX ? static_cast<int32_t>(px) : 0;
}

// The size libwmf finds for a Windows metafile without the placeable header.
bool WmfDisplaySize(std::vector<uint8_t>& Data, int32_t& W, int32_t& H) {
  const TWmf* lib = LoadWmf();
  if (!lib) return false;
  const TWmf& wm = *lib;
  wmfAPI* api = nullptr;
  wmfAPI_Options o{};
  if (wm.wmf_api_create(&api, WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG, &o) != wmf_E_None) {
    if (api) wm.wmf_api_destroy(api);
    return false;
  }
  bool ok = false;
  if (wm.wmf_mem_open(api, Data.data(), long(Data.size())) == wmf_E_None) {
    wmfD_Rect box;
    unsigned int w = 0, h = 0;
    if (wm.wmf_scan(api, 0, &box) == wmf_E_None &&
        wm.wmf_display_size(api, &w, &h, TMetafile::ScreenDpi, TMetafile::ScreenDpi) == wmf_E_None && w > 0 &&
        h > 0 && w <= INT32_MAX && h <= INT32_MAX) {
      W = int32_t(w);
      H = int32_t(h);
      ok = true;
    }
    wm.wmf_mem_close(api);
  }
  wm.wmf_api_destroy(api);
  return ok;
}

// The records as SVG of Width x Height pixels; false when the library
// failed. An empty answer means nothing to draw.
bool WmfToSvg(std::vector<uint8_t>& Data, int32_t Width, int32_t Height, std::string& Svg) {
  const TWmf* lib = LoadWmf();
  if (!lib) return false;
  const TWmf& wm = *lib;
  wmfAPI* api = nullptr;
  wmfAPI_Options o{};
  o.function = wm.wmf_svg_function;
  const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
  if (wm.wmf_api_create(&api, flags, &o) != wmf_E_None) {
    if (api) wm.wmf_api_destroy(api);
    return false;
  }
  bool ok = false;
  if (wm.wmf_mem_open(api, Data.data(), long(Data.size())) == wmf_E_None) {
    wmfD_Rect content;
    unsigned int w = 0, h = 0;
    // The device space is in points: the whole metafile, not only the part
    // its records paint, maps onto the picture.
    if (wm.wmf_scan(api, 0, &content) == wmf_E_None && wm.wmf_display_size(api, &w, &h, 72, 72) == wmf_E_None) {
      wmfD_Rect page;
      page.TL.x = 0;
      page.TL.y = 0;
      page.BR.x = float(w);
      page.BR.y = float(h);
      wmf_svg_t* svg = WMF_SVG_GetData(api);
      svg->out = wm.wmf_stream_create(api, nullptr);
      svg->bbox = page;
      svg->width = unsigned(Width);
      svg->height = unsigned(Height);
      const bool played = svg->out && wm.wmf_play(api, 0, &page) == wmf_E_None;
      char* text = nullptr;
      unsigned long length = 0;
      if (svg->out) wm.wmf_stream_destroy(api, svg->out, &text, &length);
      // The text belongs to the library's allocator, freed with the API.
      if (text && length) Svg.assign(text, length);
      ok = played || (w == 0 || h == 0);
    }
    wm.wmf_mem_close(api);
  }
  wm.wmf_api_destroy(api);
  return ok;
}

bool EmfToSvg(std::vector<uint8_t>& Data, int32_t Width, int32_t Height, std::string& Svg) {
  generatorOptions o{};
  char ns[] = "";
  o.nameSpace = ns;
  o.verbose = false;
  o.emfplus = true;
  o.svgDelimiter = true;
  o.imgWidth = Width;
  o.imgHeight = Height;
  char* out = nullptr;
  size_t length = 0;
  const TEmf* lib = LoadEmf();
  if (!lib) return false;
  const int r = lib->emf2svg(reinterpret_cast<char*>(Data.data()), Data.size(), &out, &length, &o);
  if (out && length) Svg.assign(out, length);
  std::free(out);
  return r != 0;
}

}  // namespace
}  // namespace metafile_glue

using namespace metafile_glue;

bool TMetafile::LoadFromBytes(std::vector<uint8_t> Data) {
  FData.clear();
  FEnhanced = false;
  FWidth = FHeight = 0;
  if (Data.size() > kMaxBytes) return false;
  if (Data.size() >= 88 && Le32(Data, 0) == 1 && Le32(Data, 40) == kEmfSignature) {
    // The frame, in hundredths of a millimetre (2540 to the inch), inclusive.
    const int64_t w = int64_t(LeS32(Data, 32)) - LeS32(Data, 24);
    const int64_t h = int64_t(LeS32(Data, 36)) - LeS32(Data, 28);
    FWidth = Pixels(w, 2540);
    FHeight = Pixels(h, 2540);
    FEnhanced = true;
  } else if (Data.size() >= 22 + 18 && Le32(Data, 0) == kPlaceableKey) {
    const int64_t w = int64_t(LeS16(Data, 10)) - LeS16(Data, 6);
    const int64_t h = int64_t(LeS16(Data, 12)) - LeS16(Data, 8);
    FWidth = Pixels(w, Le16(Data, 14));
    FHeight = Pixels(h, Le16(Data, 14));
  } else if (Data.size() >= 18 && (Le16(Data, 0) == 1 || Le16(Data, 0) == 2) && Le16(Data, 2) == 9 &&
             (Le16(Data, 4) == 0x300 || Le16(Data, 4) == 0x100)) {
    int32_t w = 0, h = 0;
    if (WmfDisplaySize(Data, w, h)) {
      FWidth = w;
      FHeight = h;
    }
  } else {
    return false;
  }
  if (FWidth == 0 || FHeight == 0) FWidth = FHeight = 0;
  FData = std::move(Data);
  return true;
}

bool TMetafile::LoadMetafile(const WideString& FileName) {
  std::ifstream f(WideToUtf8(FileName), std::ios::binary);
  if (!f) {
    LoadFromBytes({});
    return false;
  }
  f.seekg(0, std::ios::end);
  const std::streamoff size = f.tellg();
  if (size < 0 || uint64_t(size) > kMaxBytes) {
    LoadFromBytes({});
    return false;
  }
  f.seekg(0);
  std::vector<uint8_t> data(static_cast<size_t>(size));
  if (!data.empty() && !f.read(reinterpret_cast<char*>(data.data()), size)) {
    LoadFromBytes({});
    return false;
  }
  return LoadFromBytes(std::move(data));
}

bool TMetafile::Draw(uint8_t* Rows, int32_t Width, int32_t Height, int64_t Stride) const {
  if (FData.empty() || Rows == nullptr || Width <= 0 || Height <= 0 || Stride < int64_t(Width) * 3) return false;
  std::string svg;
  std::vector<uint8_t> data = FData;  // the libraries take it writable
  if (!(FEnhanced ? EmfToSvg(data, Width, Height, svg) : WmfToSvg(data, Width, Height, svg))) return false;
  if (svg.find("<svg") == std::string::npos) return true;  // records that paint nothing
  QSvgRenderer renderer(QByteArray(svg.data(), qsizetype(svg.size())));
  if (!renderer.isValid()) return false;
  QImage image(Width, Height, QImage::Format_RGB32);
  if (image.isNull()) return false;
  for (int32_t y = 0; y < Height; ++y) {
    const uint8_t* s = Rows + Stride * y;
    auto* d = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int32_t x = 0; x < Width; ++x) d[x] = qRgb(s[3 * x + 2], s[3 * x + 1], s[3 * x]);
  }
  {
    QPainter p(&image);
    renderer.render(&p, QRectF(0, 0, Width, Height));
  }
  for (int32_t y = 0; y < Height; ++y) {
    uint8_t* d = Rows + Stride * y;
    const auto* s = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int32_t x = 0; x < Width; ++x) {
      d[3 * x] = uint8_t(qBlue(s[x]));
      d[3 * x + 1] = uint8_t(qGreen(s[x]));
      d[3 * x + 2] = uint8_t(qRed(s[x]));
    }
  }
  return true;
}

TGraphic* TMetafile::Create() { return new TMetafile; }

void TMetafile::Assign(TPersistent* Source) {
  if (auto* m = dynamic_cast<TMetafile*>(Source)) {
    if (m == this) return;
    FData = m->FData;
    FEnhanced = m->FEnhanced;
    FWidth = m->FWidth;
    FHeight = m->FHeight;
    Changed(this);
    return;
  }
  TGraphic::Assign(Source);
}

void TMetafile::LoadFromStream(TStream* Stream) {
  const int64_t left = Stream->Size() - Stream->Position();
  if (left < 0 || uint64_t(left) > kMaxBytes) throw EInvalidGraphic("Invalid metafile");
  std::vector<uint8_t> data(static_cast<size_t>(left));
  if (!data.empty()) Stream->ReadBuffer(data.data(), left);
  if (!LoadFromBytes(std::move(data))) throw EInvalidGraphic("Invalid metafile");
  Changed(this);
}

void TMetafile::SaveToStream(TStream* Stream) {
  if (!FData.empty()) Stream->WriteBuffer(FData.data(), int64_t(FData.size()));
}

void TMetafile::SetWidth(Integer Value) {
  if (Value < 0 || Value == FWidth) return;
  FWidth = Value;
  Changed(this);
}

void TMetafile::SetHeight(Integer Value) {
  if (Value < 0 || Value == FHeight) return;
  FHeight = Value;
  Changed(this);
}

void TMetafile::Draw(TCanvas* ACanvas, const TRect& Rect) {
  if (!ACanvas || Empty()) return;
  const Integer x = std::min(Rect.Left, Rect.Right), y = std::min(Rect.Top, Rect.Bottom);
  const int64_t w = std::abs(int64_t(Rect.Width())), h = std::abs(int64_t(Rect.Height()));
  if (w == 0 || h == 0) return;
  // A hostile size must not make the renderer allocate without bound.
  constexpr int64_t kMaxPixels = int64_t(1) << 26;
  if (w > 65535 || h > 65535 || w * h > kMaxPixels) throw EInvalidGraphic("Metafile cannot be drawn");
  // The records paint over what the canvas shows, so the rendering starts
  // from a copy of the target rectangle.
  TBitmap work;
  work.SetPixelFormat(pf24bit);
  work.SetSize(Integer(w), Integer(h));
  HDC dst = ACanvas->Handle();
  HDC src = work.Canvas()->Handle();
  BitBlt(src, 0, 0, Integer(w), Integer(h), dst, x, y, SRCCOPY);
  const size_t rowBytes = size_t(w) * 3;
  std::vector<uint8_t> rows(rowBytes * size_t(h));
  for (int64_t r = 0; r < h; ++r) std::memcpy(rows.data() + rowBytes * r, work.ScanLine(Integer(r)), rowBytes);
  if (!Draw(rows.data(), int32_t(w), int32_t(h), int64_t(rowBytes))) throw EInvalidGraphic("Metafile cannot be drawn");
  for (int64_t r = 0; r < h; ++r) std::memcpy(work.ScanLine(Integer(r)), rows.data() + rowBytes * r, rowBytes);
  BitBlt(dst, x, y, Integer(w), Integer(h), work.Canvas()->Handle(), 0, 0, SRCCOPY);
}
