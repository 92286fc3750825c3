// Camera RAW reader glue over LibRaw. LibRaw identifies the camera and turns
// the sensor data into 16-bit RGB; this module passes the reader options,
// keeps the brightness and histogram the output stage needs, and makes the
// 8-bit or 16-bit picture through its own white point and gamma table.
#include "imaging/formats/raw.h"

#include <libraw/libraw.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "imaging/core/base/iestreams.h"
#include "imaging/core/base/ieutils.h"
#include "imaging/core/kernels/iebitmapstats.h"
#include "imaging/core/render/iedibconvert.h"
#include "imaging/io/ieexif.h"
#include "imaging/io/ielimits.h"
#include "imaging/io/ienativecodecs.h"

namespace raw_glue {
namespace {

// LibRaw reads through this: our stream, unchanged position semantics, and
// nothing that can throw back into the decoder.
class TStreamSource : public LibRaw_abstract_datastream {
 public:
  explicit TStreamSource(TStream* S) : FS(S) {
    try {
      FSize = S->Size();
    } catch (...) {
      FSize = 0;
    }
  }
  int valid() override { return FSize > 0; }
  int read(void* Ptr, size_t Size, size_t Count) override {
    if (Size == 0 || Count == 0) return 0;
    try {
      const int64_t want = int64_t(Size) * int64_t(Count);
      const int64_t got = FS->Read(Ptr, want);
      return got <= 0 ? 0 : int(got / int64_t(Size));
    } catch (...) {
      return 0;
    }
  }
  int seek(INT64 Offset, int Whence) override {
    try {
      int64_t target = Offset;
      if (Whence == SEEK_CUR) target += FS->Position();
      else if (Whence == SEEK_END) target += FSize;
      if (target < 0) target = 0;
      if (target > FSize) target = FSize;
      FS->SetPosition(target);
      return 0;
    } catch (...) {
      return -1;
    }
  }
  INT64 tell() override {
    try {
      return FS->Position();
    } catch (...) {
      return -1;
    }
  }
  INT64 size() override { return FSize; }
  int get_char() override {
    unsigned char c;
    return read(&c, 1, 1) == 1 ? int(c) : -1;
  }
  char* gets(char* Str, int Size) override {
    if (Size <= 0) return nullptr;
    int n = 0;
    while (n < Size - 1) {
      const int c = get_char();
      if (c < 0) break;
      Str[n++] = char(c);
      if (c == '\n') break;
    }
    Str[n] = 0;
    return n == 0 ? nullptr : Str;
  }
  // One number after optional blanks, as fscanf with "%d" or "%f" would read it.
  int scanf_one(const char* Fmt, void* Val) override {
    char buf[32];
    int n = 0, c;
    while ((c = get_char()) >= 0 && (c == ' ' || c == '\t' || c == '\n' || c == '\r')) {
    }
    while (c >= 0 && n < int(sizeof buf) - 1 && !(c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == 0)) {
      buf[n++] = char(c);
      c = get_char();
    }
    buf[n] = 0;
    if (n == 0) return 0;
    return std::sscanf(buf, Fmt, Val);
  }
  int eof() override {
    try {
      return FS->Position() >= FSize;
    } catch (...) {
      return 1;
    }
  }
  void* make_jas_stream() override { return nullptr; }

 private:
  TStream* FS;
  int64_t FSize = 0;
};

struct TProgressHook {
  TIEProgressRec* Progress;
};

// A cancelled load stops the decoder at its next report.
int OnDecoderProgress(void* Data, LibRaw_progress, int, int) {
  return static_cast<TProgressHook*>(Data)->Progress->Aborted() ? 1 : 0;
}

AnsiString Text(const char* S, size_t Max) { return AnsiString(S, strnlen(S, Max)); }

// The options of the reader table, before identification.
void PassOptions(LibRaw& R, const TIOParamsVals& Params, Double Bright) {
  libraw_output_params_t& o = R.imgdata.params;
  o.gamm[0] = Params.RAW_GAMMA;
  o.bright = float(Bright);
  o.four_color_rgb = Params.RAW_FOURCOLORRGB ? 1 : 0;
  // Quick interpolation is what the output always gets (it is switched on
  // after loading in every case): bilinear.
  o.user_qual = 0;
  o.use_auto_wb = Params.RAW_USEAUTOWB ? 1 : 0;
  o.use_camera_wb = Params.RAW_USECAMERAWB ? 1 : 0;
  o.half_size = Params.RAW_HALFSIZE ? 1 : 0;
  // The 45-degree grid and non-square pixels are handled by this module's
  // own steps; letting the decoder do them too would straighten twice.
  o.use_fuji_rotate = 0;
}

}  // namespace
}  // namespace raw_glue

using namespace raw_glue;

bool IEProbeRAW(TStream* Stream) {
  if (!Stream) return false;
  int64_t pos = 0;
  try {
    pos = Stream->Position();
  } catch (...) {
    return false;
  }
  bool ok = false;
  try {
    auto r = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
    TStreamSource src(Stream);
    Stream->SetPosition(0);
    ok = src.valid() && r->open_datastream(&src) == LIBRAW_SUCCESS;
  } catch (...) {
    ok = false;
  }
  try {
    Stream->SetPosition(pos);
  } catch (...) {
  }
  return ok;
}

bool IEDecodeRAWWorking(TStream* Stream, TIOParamsVals& Params, TIEProgressRec& Progress, bool ParamsOnly,
                        Double Bright, TIERAWWorking& Work) {
  auto r = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
  TProgressHook hook{&Progress};
  r->set_progress_handler(OnDecoderProgress, &hook);
  PassOptions(*r, Params, Bright);
  TStreamSource src(Stream);
  Stream->SetPosition(0);
  if (!src.valid() || r->open_datastream(&src) != LIBRAW_SUCCESS) return false;

  const libraw_iparams_t& id = r->imgdata.idata;
  const libraw_image_sizes_t& sz = r->imgdata.sizes;
  Work.Make = Text(id.make, sizeof id.make);
  Params.RAW_CAMERA =
      Work.Make + " " + Text(id.model, sizeof id.model) + " " + Text(r->imgdata.color.model2, sizeof r->imgdata.color.model2);
  Params.SetDpiX(IEDefaultDpiX);
  Params.SetDpiY(IEDefaultDpiY);
  Params.FreeColorMap();
  Params.WIDTH = Params.ORIGINALWIDTH = Integer(sz.width) - 2;
  Params.HEIGHT = Params.ORIGINALHEIGHT = Integer(sz.height) - 2;
  if (ParamsOnly) return true;

  if (!IEPictureFits(IEReadLimits.Native, sz.width, sz.height, 64)) return false;
  // Red and blue multipliers act on the camera's own white balance.
  if (Params.RAW_REDSCALE != 1.0 || Params.RAW_BLUESCALE != 1.0) {
    const float* pre = r->imgdata.color.pre_mul;
    if (pre[0] > 0 && pre[1] > 0 && pre[2] > 0) {
      float* mul = r->imgdata.params.user_mul;
      mul[0] = float(pre[0] * Params.RAW_REDSCALE);
      mul[1] = pre[1];
      mul[2] = float(pre[2] * Params.RAW_BLUESCALE);
      mul[3] = pre[3] > 0 ? pre[3] : pre[1];
    }
  }
  const bool cfa = id.filters != 0;
  const bool shrink = Params.RAW_HALFSIZE && cfa;
  Work.Fuji45 = r->is_fuji_rotated() != 0;
  if (r->unpack() != LIBRAW_SUCCESS || Progress.Aborted()) return false;
  if (r->dcraw_process() != LIBRAW_SUCCESS || !r->imgdata.image) return false;
  Progress.Report(70);

  Work.Width = r->imgdata.sizes.iwidth;
  Work.Height = r->imgdata.sizes.iheight;
  Work.Trim = (cfa && !shrink) ? 1 : 0;
  const double aspect = r->imgdata.sizes.pixel_aspect;
  // Magnification stays small: a hostile aspect must not blow the picture up.
  if (aspect > 1.0 && aspect < 8.0) Work.XMag = Integer(Round(aspect));
  if (aspect > 0.125 && aspect < 1.0) Work.YMag = Integer(Round(1.0 / aspect));
  if (Work.XMag < 1) Work.XMag = 1;
  if (Work.YMag < 1) Work.YMag = 1;

  const size_t n = size_t(Work.Width) * size_t(Work.Height);
  Work.Pixels.assign(n * 4, 0);
  std::fill(Work.Histogram.begin(), Work.Histogram.end(), 0u);
  const ushort(*img)[4] = r->imgdata.image;
  for (size_t i = 0; i < n; ++i) {
    const double rr = img[i][0], gg = img[i][1], bb = img[i][2];
    double b = std::sqrt(rr * rr + gg * gg + bb * bb) / 2.0;
    if (b > 65535.0) b = 65535.0;
    const Word br = Word(b);
    Word* p = &Work.Pixels[i * 4];
    p[0] = img[i][0];
    p[1] = img[i][1];
    p[2] = img[i][2];
    p[3] = br;
    ++Work.Histogram[br >> 3];
  }
  Work.Bright = Bright;
  Work.Gamma = Params.RAW_GAMMA;
  Progress.Report(85);
  return true;
}

Integer IERAWWhitePoint(const std::vector<uint32_t>& Histogram, Integer Width, Integer Height,
                        const AnsiString& Make) {
  const double p = Make == "FUJIFILM" ? 0.005 : 0.01;
  const int64_t limit = int64_t(p * double(Width) * double(Height));
  int64_t total = 0;
  Integer v = 0x1FFF;
  for (; v >= 1; --v) {
    total += Histogram.size() > size_t(v) ? Histogram[size_t(v)] : 0;
    if (total > limit) break;
  }
  const Integer white = v * 16;
  return white == 0 ? 1 : white;
}

bool IERAWOutput(const TIERAWWorking& Work, bool Sixteen, TIEBitmap* Bitmap) {
  const Integer trim = Work.Trim;
  const Integer outW = Work.Width - 2 * trim, outH = Work.Height - 2 * trim;
  if (outW <= 0 || outH <= 0) return false;
  const int64_t bmpW = int64_t(outW) * Work.XMag, bmpH = int64_t(outH) * Work.YMag;
  if (bmpW > INT32_MAX || bmpH > INT32_MAX ||
      !IEPictureFitsBitmap(IEReadLimits.Native, *Bitmap, bmpW, bmpH, Sixteen ? 48 : 24))
    return false;
  const Integer white = IERAWWhitePoint(Work.Histogram, Work.Width, Work.Height, Work.Make);
  const double scale = Work.Bright * 442.0 / white;
  std::vector<double> table(65536);
  table[0] = 0;
  const double factor = Sixteen ? scale / 255.0 * 65535.0 : scale;
  for (Integer i = 1; i < 65536; ++i)
    table[size_t(i)] = double(IEPower(2.0 * i / white, Work.Gamma - 1.0)) * factor;
  if (!Bitmap->Allocate(Integer(bmpW), Integer(bmpH), Sixteen ? ieRGB48 : ie24RGB)) return false;
  const double top = Sixteen ? 65535.0 : 255.0;
  std::vector<Word> row(size_t(bmpW) * 3);
  std::vector<Byte> row8(size_t(bmpW) * 3);
  for (Integer r = trim; r < Work.Height - trim; ++r) {
    const Word* s = &Work.Pixels[(size_t(r) * size_t(Work.Width) + size_t(trim)) * 4];
    Word* d = row.data();
    for (Integer c = trim; c < Work.Width - trim; ++c, s += 4) {
      const double t = table[s[3]];
      Word v[3];
      for (int k = 0; k < 3; ++k) {
        // Trunc first: a value far above the top must clamp, not wrap.
        const double x = std::trunc(s[k] * t);
        v[k] = Word(x > top ? top : x);
      }
      for (Integer m = 0; m < Work.XMag; ++m, d += 3) std::memcpy(d, v, sizeof v);
    }
    for (Integer m = 0; m < Work.YMag; ++m) {
      void* dest = Bitmap->GetScanline(Integer((int64_t(r - trim)) * Work.YMag + m));
      if (Sixteen) {
        std::memcpy(dest, row.data(), row.size() * sizeof(Word));
      } else {
        for (size_t i = 0; i < row.size(); ++i) row8[i] = Byte(row[i]);
        IECopySwapRedBlue(dest, row8.data(), Integer(bmpW));
      }
    }
  }
  return true;
}

namespace raw_glue {
namespace {

template <typename T>
void Straighten(TIEBitmap* Bitmap) {
  const Integer W = Bitmap->Width(), H = Bitmap->Height();
  if (W <= 0 || H <= 0) return;
  auto black = [](const T* p) { return p[0] == 0 && p[1] == 0 && p[2] == 0; };
  const T* top = static_cast<const T*>(Bitmap->GetScanline(0));
  Integer L = 0;
  while (L < W && black(top + 3 * L)) ++L;
  Integer R1 = 1;
  for (Integer x = W - 1; x >= 1; --x)
    if (!black(top + 3 * x)) {
      R1 = x + 1;
      break;
    }
  const Integer fw = R1 - 1;
  const int64_t OH = 2 * int64_t(W - L) - 4;
  // No grid to speak of: keep the picture rather than make an empty one.
  if (fw < 1 || OH < 2 || !IEPictureFits(IEReadLimits.Native, int64_t(fw) * 2, OH, 6 * 8 * sizeof(T)))
    return;
  std::vector<T> grid(size_t(OH) * size_t(fw) * 3, 0);
  auto cell = [&](int64_t e, int64_t g) { return &grid[(size_t(e) * size_t(fw) + size_t(g)) * 3]; };
  for (Integer y = 0; y < H; ++y) {
    const T* row = static_cast<const T*>(Bitmap->GetScanline(y));
    for (Integer x = 0; x < W; ++x) {
      const int64_t e = int64_t(y) + x - fw + 5;
      const int64_t g = (int64_t(x) + fw - y - 1) / 2;
      if (e >= 0 && e < OH && g >= 0 && g < fw) std::memcpy(cell(e, g), row + 3 * x, 3 * sizeof(T));
    }
  }
  TIEBitmap out;
  const Integer outW = 2 * fw;
  if (!out.Allocate(outW, Integer(OH), Bitmap->PixelFormat())) return;
  std::vector<T> buf(size_t(outW) * 3, 0);
  for (int64_t k = 1; k < OH; ++k) {
    for (Integer m = 1; m < outW; ++m) {
      T* d = &buf[size_t(m) * 3];
      if ((k + m) % 2 == 0) {
        std::memcpy(d, cell(k, m / 2), 3 * sizeof(T));
      } else if (k < OH - 1 && m < outW - 1) {
        for (int s = 0; s < 3; ++s)
          d[s] = T((uint32_t(cell(k - 1, m / 2)[s]) + cell(k + 1, m / 2)[s] + cell(k, (m - 1) / 2)[s] +
                    cell(k, (m + 1) / 2)[s]) >>
                   2);
      }
    }
    std::memcpy(out.GetScanline(Integer(k - 1)), buf.data(), buf.size() * sizeof(T));
  }
  // The last row gets no grid row of its own: it repeats the one above.
  if (OH >= 2) std::memcpy(out.GetScanline(Integer(OH - 1)), buf.data(), buf.size() * sizeof(T));
  Bitmap->Assign(&out);
}

}  // namespace
}  // namespace raw_glue

void IERAWStraighten45(TIEBitmap* Bitmap) {
  if (Bitmap->PixelFormat() == ieRGB48) Straighten<Word>(Bitmap);
  else if (Bitmap->PixelFormat() == ie24RGB) Straighten<Byte>(Bitmap);
}

void IEReadRAW(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress, bool Preview) {
  try {
    if (Params.RAW_GETEXIFTHUMBNAIL) {
      if (Params.EXIF_THUMBNAIL) Params.EXIF_THUMBNAIL->FreeImage(true);
      Params.SetRAWGetExifThumbnail(false);
      IEReadRAW(Stream, Bitmap, Params, Progress, true);
      Params.SetRAWGetExifThumbnail(true);
      if (Progress.Aborted()) return;
      if (Params.EXIF_THUMBNAIL && !Params.EXIF_THUMBNAIL->IsEmpty()) {
        if (!Preview) Bitmap->Assign(Params.EXIF_THUMBNAIL.get());
        return;
      }
      Stream->SetPosition(0);
    }
    Progress.SetUnits(100);
    // The camera file begins at position 0, wherever the caller left the stream.
    Stream->SetPosition(0);
    TIEBufferedReadStream buffered(Stream, 8192, true);
    buffered.SetPosition(0);
    // Metadata first: it stays even when the decoder refuses the file.
    const int64_t tiff = IEFindTIFFHeader(&buffered);
    if (tiff < 0) {
      buffered.SetPosition(0);
      IEReadRAWMetadata(&buffered, Params);
    } else {
      buffered.SetPosition(tiff);
      IELoadCameraRawEXIF(&buffered, Params);
    }
    const bool thumb = Params.EXIF_THUMBNAIL && !Params.EXIF_THUMBNAIL->IsEmpty();
    const Double bright = Params.RAW_AUTOADJUSTCOLORS && thumb ? 0.5 : Params.RAW_BRIGHT;
    TIERAWWorking work;
    if (!IEDecodeRAWWorking(&buffered, Params, Progress, Preview, bright, work)) {
      Progress.Abort();
      return;
    }
    if (!Preview) {
      Params.SetImageCount(1);
      const bool sixteen = Params.ISNATIVEPIXELFORMAT;
      Params.SAMPLESPERPIXEL = 3;
      Params.BITSPERSAMPLE = sixteen ? 16 : 8;
      if (!IERAWOutput(work, sixteen, Bitmap)) {
        Progress.Abort();
        return;
      }
      work.Pixels = {};
      Progress.Report(90);
      if (work.Fuji45) IERAWStraighten45(Bitmap);
      if (Params.RAW_AUTOADJUSTCOLORS && thumb) IEMatchHistogram(Params.EXIF_THUMBNAIL.get(), Bitmap);
    }
    Progress.Report(100);
  } catch (...) {
    // Memory for the working image above all: a codec never lets it out.
    Progress.Abort();
  }
}

void IERAWReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                      bool Preview) {
  IEReadRAW(Stream, Bitmap, Params, Progress, Preview);
}
