// JPEG reader and writer over libjpeg-turbo. Colour pixels travel as the
// library's own blue-green-red layout (JCS_EXT_BGR) straight into and out of
// the bitmap rows, which is the ie24RGB layout, so no row is swapped by hand.
#include "imaging/io/iejpeg.h"


#include <algorithm>
#include <cstring>
#include <memory>

#include "imaging/core/color/iecolorformat.h"
#include "imaging/core/color/ieicc.h"
#include "imaging/io/ieexif.h"
#include "imaging/core/base/iestreams.h"
#include "imaging/io/ielimits.h"
#include "imaging/io/ieprobes.h"
#include "imaging/io/jpeglib_glue.h"
#include "imaging/io/ziduzuvio_safefile.h"
#include "platform/base/fileutils.h"

bool (*IEJpegReadExifHook)(TIOParamsVals& Params, TIEBitmap* Bitmap) = IEJpegReadExifMarkers;
void (*IEJpegSaveExifHook)(TIOParamsVals& Params) = IEJpegSaveExifMarkers;

namespace {

constexpr Byte kAPP0 = 0xE0, kAPP2 = 0xE2, kAPP13 = 0xED, kAPP14 = 0xEE;

uint16_t BE16(const Byte* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
uint32_t BE32(const Byte* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
void PutBE16(Byte* p, uint32_t v) {
  p[0] = Byte(v >> 8);
  p[1] = Byte(v);
}
void PutBE32(Byte* p, uint32_t v) {
  p[0] = Byte(v >> 24);
  p[1] = Byte(v >> 16);
  p[2] = Byte(v >> 8);
  p[3] = Byte(v);
}

// Owns a decompression record and frees it on every way out.
struct TDecompressor {
  jpeg_decompress_struct cinfo{};
  TIEJpegErrorMgr err;
  std::unique_ptr<TIEJpegSourceMgr> src = std::make_unique<TIEJpegSourceMgr>();
  TIEJpegScanLimit scanLimit;
  bool created = false;
  ~TDecompressor() {
    if (created) IEJpegDestroy(reinterpret_cast<j_common_ptr>(&cinfo));
  }
};

struct TCompressor {
  jpeg_compress_struct cinfo{};
  TIEJpegErrorMgr err;
  std::unique_ptr<TIEJpegDestMgr> dest = std::make_unique<TIEJpegDestMgr>();
  bool created = false;
  ~TCompressor() {
    if (created) IEJpegDestroy(reinterpret_cast<j_common_ptr>(&cinfo));
  }
};

// --- limits ----------------------------------------------------------------------

// The least coded bytes a Huffman-coded picture of these components needs:
// every block of a component is coded with at least one bit (its DC
// difference), and a valid file codes every component. Cut files keep far
// more than this for the part they hold; a header that declares a huge
// picture over a few bytes cannot reach it.
int64_t MinCodedBytes(j_decompress_ptr cinfo) {
  if (cinfo->arith_code) return 0;  // arithmetic coding has no such floor
  int64_t fewest = -1;
  for (int i = 0; i < cinfo->num_components; ++i) {
    const jpeg_component_info& c = cinfo->comp_info[i];
    const int64_t blocks = int64_t(c.width_in_blocks) * c.height_in_blocks;
    if (fewest < 0 || blocks < fewest) fewest = blocks;
  }
  return fewest < 0 ? 0 : fewest / 8;
}

// The picture and the decoder's own whole-image buffer (files of several
// scans keep every coefficient: 128 bytes a block) within Limit, and the
// coded data enough to explain the picture. A picture decoded into Bitmap may
// pass Limit where Bitmap keeps it in a file; the coefficients stay in memory.
bool WithinLimits(j_decompress_ptr cinfo, const TIEReadLimit& Limit, int64_t BitsPerPixel, int64_t Available,
                  const TIEBitmap* Bitmap) {
  const bool fits = Bitmap ? IEPictureFitsBitmap(Limit, *Bitmap, cinfo->image_width, cinfo->image_height, BitsPerPixel)
                           : IEPictureFits(Limit, cinfo->image_width, cinfo->image_height, BitsPerPixel);
  if (!fits) return false;
  if (cinfo->progressive_mode || cinfo->comps_in_scan < cinfo->num_components) {
    int64_t coefficients = 0;
    for (int i = 0; i < cinfo->num_components; ++i)
      coefficients += int64_t(cinfo->comp_info[i].width_in_blocks) * cinfo->comp_info[i].height_in_blocks * 128;
    if (coefficients > Limit.MaxBytes) return false;
  }
  return IEDataCanExplain(MinCodedBytes(cinfo), Available);
}

// --- ICC profile chunks ----------------------------------------------------------

// Collects the "ICC_PROFILE" APP2 chunks before the first frame header and
// joins them in sequence order. Every chunk is checked: a sequence number of
// 1..count, a count that agrees with the first chunk, at least the 14-byte
// chunk header; duplicates are ignored. The stream position is restored.
void ReadICCChunks(TStream* Stream, TIOParamsVals& Params) {
  std::vector<std::vector<Byte>> chunks;
  // A stream that fails part way keeps the chunks read so far.
  IEProbeAtPosition(Stream, [&](int64_t start) {
    std::vector<bool> have;
    Integer count = 0, seen = 0;
    TIEBufferedReadStream in(Stream, 8192, false);
    in.SetPosition(start);
    auto readByte = [&](Byte& b) { return in.Read(&b, 1) == 1; };
    Byte b = 0;
    bool done = false;
    while (!done && readByte(b)) {
      if (b != 0xFF) continue;
      Byte code = 0;
      if (!readByte(code)) break;
      while (code == 0xFF)  // fill bytes before a marker
        if (!readByte(code)) {
          done = true;
          break;
        }
      if (done) break;
      if (code <= 0xBF || (code >= 0xD0 && code <= 0xD8)) continue;
      Byte lenBytes[2];
      bool isSkip = code == 0xC4 || code == 0xC8 || code == 0xCC || (code >= 0xDA && code <= 0xFE);
      if (!isSkip) break;  // a frame header or EOI ends the scan
      if (in.Read(lenBytes, 2) != 2) break;
      Integer len = BE16(lenBytes);
      if (len < 2) break;
      if (code != kAPP2) {
        in.Seek(len - 2, soCurrent);
        continue;
      }
      std::vector<Byte> seg(static_cast<size_t>(len - 2));
      if (in.Read(seg.data(), static_cast<int64_t>(seg.size())) != static_cast<int64_t>(seg.size())) break;
      if (seg.size() < 14 || std::memcmp(seg.data(), "ICC_PROFILE\0", 12) != 0) continue;
      Integer seq = seg[12], n = seg[13];
      if (n == 0 || (count != 0 && n != count) || seq < 1 || seq > n) continue;
      if (count == 0) {
        count = n;
        chunks.assign(static_cast<size_t>(n), {});
        have.assign(static_cast<size_t>(n), false);
      }
      const size_t slot = static_cast<size_t>(seq - 1);
      if (have[slot]) continue;  // a duplicate keeps the first
      have[slot] = true;
      chunks[slot].assign(seg.begin() + 14, seg.end());
      if (++seen == count) break;
    }
    return true;
  });
  std::vector<Byte> profile;
  for (const auto& c : chunks) profile.insert(profile.end(), c.begin(), c.end());
  if (profile.empty()) return;
  Params.GetInputICCProfile()->LoadFromBuffer(profile.data(), static_cast<Integer>(profile.size()));
}

// --- markers --------------------------------------------------------------------

void CollectMarkers(j_decompress_ptr cinfo, TIOParamsVals& Params) {
  Params.JPEG_MARKERS.Clear();
  bool firstAPP0 = true;
  for (jpeg_saved_marker_ptr m = cinfo->marker_list; m; m = m->next) {
    if (m->marker == kAPP0 && firstAPP0) {
      // The JFIF header: the writer makes its own.
      firstAPP0 = false;
      continue;
    }
    Params.JPEG_MARKERS.AddMarker(static_cast<Byte>(m->marker), m->data,
                                  static_cast<Word>(std::min<unsigned>(m->data_length, 65535)));
  }
}

void ReadMetadata(TIOParamsVals& Params, TIEBitmap* Bitmap, bool JfifGaveDpi) {
  TIEMarkerList& mk = Params.JPEG_MARKERS;
  for (Integer i = 0; i < mk.GetCount(); ++i) {
    if (mk.GetMarkerType(i) != kAPP13) continue;
    if (Params.IPTC_LIST.LoadFromBuffer(mk.GetMarkerData(i), mk.GetMarkerLength(i))) break;
  }
  if (IEJpegReadExifHook) {
    Integer jx = Params.DPIX, jy = Params.DPIY;
    if (IEJpegReadExifHook(Params, Bitmap)) {
      // The EXIF resolution counts only when the JFIF header gave none.
      if (!JfifGaveDpi) {
        Double f = Params.EXIF_RESOLUTIONUNIT == 3 ? 2.54 : 1.0;
        Params.SetDpiX(static_cast<Integer>(Trunc(Params.EXIF_XRESOLUTION * f)));
        Params.SetDpiY(static_cast<Integer>(Trunc(Params.EXIF_YRESOLUTION * f)));
      } else {
        Params.SetDpiX(jx);
        Params.SetDpiY(jy);
      }
    }
  }
}

// --- reader -------------------------------------------------------------------------

enum TOutKind { okGray8, okGrayTo24, okBGR, okRGBThroughCMS, okYCbCr, okCMYKNative, okCMYKTo24 };

Integer ReadJPEGBody(TStream* Stream, TStream* TablesStream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                     TIEProgressRec& Progress, bool Preview, bool RawYCbCr, bool WithMetadata, bool InvertCMYK,
                     bool ApplyICC, bool ReadICC, Integer MaxRows, bool Native) {
  Params.JPEG_WARNINGTOT = 0;
  Params.JPEG_WARNINGCODE = 0;
  int64_t start = IEProbeJPEG(Stream, true);
  if (start < 0) {
    Progress.Abort();
    return 0;
  }
  Stream->SetPosition(start);
  const int64_t available = IEStreamBytesLeft(Stream);
  if (ReadICC) ReadICCChunks(Stream, Params);
  const bool useCMS = IEEnableCMS && Params.INPUTICCPROFILE && Params.INPUTICCPROFILE->IsValid();

  TDecompressor d;
  j_decompress_ptr cinfo = &d.cinfo;
  IEJpegInitErrorMgr(&d.err, &Progress.Aborting);
  if (!IEJpegCreateDecompress(cinfo, &d.err)) {
    Progress.Abort();
    return 0;
  }
  d.created = true;
  if (TablesStream && TablesStream != Stream) {
    IEJpegInstallSource(cinfo, d.src.get(), TablesStream, &Progress.Aborting);
    if (IEJpegReadHeader(cinfo, false) < 0) {
      Progress.Abort();
      return 0;
    }
  }
  IEJpegInstallSource(cinfo, d.src.get(), Stream, &Progress.Aborting);
  struct TSave {
    j_decompress_ptr c;
  } save{cinfo};
  IEJpegGuard(
      &d.err,
      [](void* p) {
        j_decompress_ptr c = static_cast<TSave*>(p)->c;
        jpeg_save_markers(c, JPEG_COM, 0xFFFF);
        for (int m = 0; m < 16; ++m) jpeg_save_markers(c, JPEG_APP0 + m, 0xFFFF);
      },
      &save);
  if (IEJpegReadHeader(cinfo, true) != JPEG_HEADER_OK || Progress.Aborted()) {
    Progress.Abort();
    return 0;
  }
  IEJpegLimitScans(cinfo, d.scanLimit, IEReadLimits.JPEGMaxScans);

  Params.SetImageCount(1);
  Params.BITSPERSAMPLE = 8;
  TOutKind kind;
  switch (cinfo->jpeg_color_space) {
    case JCS_GRAYSCALE:
      Params.JPEG_COLORSPACE = 1;
      Params.SAMPLESPERPIXEL = 1;
      kind = Native ? okGray8 : okGrayTo24;
      cinfo->out_color_space = Native ? JCS_GRAYSCALE : JCS_EXT_BGR;
      break;
    case JCS_RGB:
    case JCS_YCbCr:
      Params.JPEG_COLORSPACE = cinfo->jpeg_color_space == JCS_RGB ? 0 : 2;
      Params.SAMPLESPERPIXEL = 3;
      if (RawYCbCr && cinfo->jpeg_color_space == JCS_YCbCr) {
        kind = okYCbCr;
        cinfo->out_color_space = JCS_YCbCr;
      } else if (useCMS) {
        kind = okRGBThroughCMS;
        cinfo->out_color_space = JCS_RGB;
      } else {
        kind = okBGR;
        cinfo->out_color_space = JCS_EXT_BGR;
      }
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      Params.JPEG_COLORSPACE = cinfo->jpeg_color_space == JCS_CMYK ? 3 : 4;
      Params.SAMPLESPERPIXEL = 4;
      kind = Native ? okCMYKNative : okCMYKTo24;
      cinfo->out_color_space = JCS_CMYK;
      break;
    default:
      // No defined decoding: refuse before any row could land outside the bitmap.
      Progress.Abort();
      return 0;
  }
  if (!WithinLimits(cinfo, IEReadLimits.JPEG, kind == okGray8 ? 8 : kind == okCMYKNative ? 32 : 24, available, Bitmap)) {
    Progress.Abort();
    return 0;
  }
  cinfo->dct_method = Params.JPEG_DCTMETHOD == 1 ? JDCT_IFAST : Params.JPEG_DCTMETHOD == 2 ? JDCT_FLOAT : JDCT_ISLOW;

  // Resolution from the JFIF header. Unit 0 is a pixel aspect ratio, not a
  // resolution: it must not become DPI.
  bool jfifGaveDpi = false;
  if (cinfo->saw_JFIF_marker) {
    if (cinfo->density_unit == 1) {
      Params.SetDpiX(cinfo->X_density);
      Params.SetDpiY(cinfo->Y_density);
      jfifGaveDpi = cinfo->X_density != 1 || cinfo->Y_density != 1;
    } else if (cinfo->density_unit == 2) {
      Params.SetDpiX(static_cast<Integer>(Trunc(cinfo->X_density * 2.54)));
      Params.SetDpiY(static_cast<Integer>(Trunc(cinfo->Y_density * 2.54)));
      jfifGaveDpi = true;
    }
  }
  Params.FreeColorMap();
  Params.JPEG_PROGRESSIVE = cinfo->progressive_mode != 0;
  const Integer fullW = static_cast<Integer>(cinfo->image_width);
  const Integer fullH = static_cast<Integer>(cinfo->image_height);
  Params.ORIGINALWIDTH = fullW;
  Params.ORIGINALHEIGHT = fullH;

  Integer scale = 1;
  switch (Params.JPEG_SCALE) {
    case 1: scale = 1; break;
    case 2: scale = 2; break;
    case 3: scale = 4; break;
    case 4: scale = 8; break;
    case 0:
      if (Params.WIDTH > 0 && Params.HEIGHT > 0) {
        for (Integer dd : {8, 4, 2, 1}) {
          if (fullW / dd >= Params.WIDTH && fullH / dd >= Params.HEIGHT) {
            scale = dd;
            break;
          }
        }
      }
      break;
    default: scale = 1; break;
  }
  Params.JPEG_SCALE_USED = scale;
  cinfo->scale_num = 1;
  cinfo->scale_denom = static_cast<unsigned>(scale);
  CollectMarkers(cinfo, Params);

  Integer rows = 0;
  if (Preview) {
    Params.WIDTH = fullW;
    Params.HEIGHT = fullH;
  } else {
    if (!IEJpegStartDecompress(cinfo)) {
      Progress.Abort();
      return 0;
    }
    const Integer w = static_cast<Integer>(cinfo->output_width);
    const Integer h = static_cast<Integer>(cinfo->output_height);
    Params.WIDTH = w;
    Params.HEIGHT = h;
    TIEPixelFormat pf = kind == okGray8 ? ie8g : kind == okCMYKNative ? ieCMYK : ie24RGB;
    if (!Bitmap->Allocate(w, h, pf)) {
      Progress.Abort();
      return 0;
    }
    std::unique_ptr<Byte[]> buffer;
    if (kind == okRGBThroughCMS || kind == okCMYKTo24) buffer.reset(new Byte[static_cast<size_t>(w) * 4]);
    if (MaxRows < 0 || MaxRows > h) MaxRows = h;
    Double step = IEProgressStep(h);
    Integer last = -1;
    // A single-scan Huffman file whose data ran out decodes every later MCU
    // from no data: all its coefficients stay 0, so every row from two MCU
    // rows past the cut on (the upsampler looks one row ahead) comes out the
    // same. Those rows are copied instead of decoded, so a cut file costs
    // the time of the part it holds.
    const bool fillAfterCut = !cinfo->progressive_mode && !cinfo->arith_code && !jpeg_has_multiple_scans(cinfo);
    const Integer mcuRowHeight = cinfo->max_v_samp_factor * cinfo->min_DCT_scaled_size;
    const size_t rowBytes = static_cast<size_t>(w) * (pf == ie8g ? 1 : pf == ieCMYK ? 4 : 3);
    while (rows < MaxRows && !Progress.Aborted()) {
      if (fillAfterCut && d.src->RanDry && rows >= 2 &&
          rows - 2 >= (static_cast<int64_t>(d.src->DryIMCURow) + 2) * mcuRowHeight &&
          std::memcmp(Bitmap->GetScanline(rows - 1), Bitmap->GetScanline(rows - 2), rowBytes) == 0) {
        const void* settled = Bitmap->GetScanline(rows - 1);
        for (; rows < MaxRows; ++rows) std::memcpy(Bitmap->GetScanline(rows), settled, rowBytes);
        Progress.ReportChanged(rows, step, last);
        break;
      }
      Byte* row = static_cast<Byte*>(Bitmap->GetScanline(rows));
      JSAMPROW target = buffer ? buffer.get() : row;
      Integer got = IEJpegReadScanlines(cinfo, &target, 1);
      if (got != 1) {
        Progress.Abort();
        break;
      }
      if (kind == okRGBThroughCMS) {
        IEColorConversionHook(buffer.get(), iecfRGB, row, iecfBGR, w, &Params);
      } else if (kind == okCMYKTo24) {
        if (InvertCMYK)
          for (size_t i = 0, n = static_cast<size_t>(w) * 4; i < n; ++i) buffer[i] = Byte(255 - buffer[i]);
        IEColorConversionHook(buffer.get(), iecfCMYK, row, iecfBGR, w, &Params);
      }
      ++rows;
      Progress.ReportChanged(rows, step, last);
    }
    if (rows < MaxRows) Progress.Abort();
    if (ApplyICC && (kind == okRGBThroughCMS || kind == okCMYKTo24) && useCMS && Params.INPUTICCPROFILE &&
        Params.INPUTICCPROFILE->IsValid()) {
      Params.INPUTICCPROFILE->FreeTransform();
      for (Integer i = Params.JPEG_MARKERS.GetCount() - 1; i >= 0; --i)
        if (Params.JPEG_MARKERS.GetMarkerType(i) == kAPP2) Params.JPEG_MARKERS.DeleteMarker(i);
    }
    if (!Progress.Aborted()) {
      // Finishing after an early stop (MaxRows) reports "too few scanlines";
      // like every other finishing error it changes nothing read.
      d.err.Aborting = nullptr;
      IEJpegFinishDecompress(cinfo);
      d.err.Aborting = &Progress.Aborting;
    }
  }
  if (d.err.WarningCount > 0) {
    Params.JPEG_WARNINGTOT = d.err.WarningCount;
    Params.JPEG_WARNINGCODE = d.err.LastWarningCode;
  }
  if (WithMetadata) ReadMetadata(Params, Preview ? nullptr : Bitmap, jfifGaveDpi);
  return rows;
}

}  // namespace

Integer IEReadJPEG(TStream* Stream, TStream* TablesStream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                   TIEProgressRec& Progress, bool Preview, bool RawYCbCr, bool ReadMetadata, bool InvertCMYK,
                   bool ApplyICC, bool ReadICC, Integer MaxRows, bool Native) {
  if (!Stream || (!Bitmap && !Preview)) {
    Progress.Abort();
    return 0;
  }
  try {
    if (Params.JPEG_GETEXIFTHUMBNAIL) {
      int64_t start = Stream->Position();
      Params.EXIF_THUMBNAIL.reset();
      Params.SetJPEGGetExifThumbnail(false);
      Integer w = Params.WIDTH, h = Params.HEIGHT;
      ReadJPEGBody(Stream, TablesStream, Bitmap, Params, Progress, true, RawYCbCr, true, InvertCMYK, ApplyICC,
                   false, -1, Params.ISNATIVEPIXELFORMAT);
      Stream->SetPosition(start);
      Params.SetJPEGGetExifThumbnail(true);
      if (Params.EXIF_THUMBNAIL && !Params.EXIF_THUMBNAIL->IsEmpty()) {
        if (Bitmap) Bitmap->Assign(Params.EXIF_THUMBNAIL.get());
        return 0;
      }
      Params.WIDTH = w;
      Params.HEIGHT = h;
    }
    return ReadJPEGBody(Stream, TablesStream, Bitmap, Params, Progress, Preview, RawYCbCr, ReadMetadata, InvertCMYK,
                        ApplyICC, ReadICC, MaxRows, Native);
  } catch (...) {
    Progress.Abort();
    return 0;
  }
}

void IEJpegReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                       bool Preview) {
  IEReadJPEG(Stream, nullptr, Bitmap, Params, Progress, Preview, false, true, false, true, true, -1,
             Params.ISNATIVEPIXELFORMAT);
}

// --- writer ---------------------------------------------------------------------------

namespace {

struct TWriteSetup {
  j_compress_ptr c;
  TIOParamsVals* p;
  J_COLOR_SPACE in, out;
  int components;
  bool cmykInput;
};

void SetupCompressor(void* Ctx) {
  auto* s = static_cast<TWriteSetup*>(Ctx);
  j_compress_ptr c = s->c;
  TIOParamsVals& p = *s->p;
  c->in_color_space = s->in;
  c->input_components = s->components;
  jpeg_set_defaults(c);
  jpeg_set_colorspace(c, s->out);
  c->density_unit = 1;
  auto density = [](Integer v, Integer def) {
    if (v == 0) v = def;
    return static_cast<UINT16>(std::clamp<Integer>(v, 1, 65535));
  };
  c->X_density = density(p.DPIX, IEDefaultDpiX);
  c->Y_density = density(p.DPIY, IEDefaultDpiY);
  c->dct_method = p.JPEG_DCTMETHOD == 1 ? JDCT_IFAST : p.JPEG_DCTMETHOD == 2 ? JDCT_FLOAT : JDCT_ISLOW;
  c->optimize_coding = p.JPEG_OPTIMALHUFFMAN ? TRUE : FALSE;
  c->smoothing_factor = std::clamp<Integer>(p.JPEG_SMOOTH, 0, 100);
  jpeg_set_quality(c, p.JPEG_QUALITY, TRUE);
  if (s->out == JCS_YCbCr) {
    int hs = 2, vs = 1;
    if (p.JPEG_CROMASUBSAMPLING == 1) vs = 2;
    if (p.JPEG_CROMASUBSAMPLING == 2) hs = 1;
    c->comp_info[0].h_samp_factor = hs;
    c->comp_info[0].v_samp_factor = vs;
    for (int i = 1; i < c->num_components; ++i) c->comp_info[i].h_samp_factor = c->comp_info[i].v_samp_factor = 1;
  }
  // A JFIF header also for CMYK (libjpeg adds its Adobe marker as well).
  if (s->out == JCS_CMYK || s->out == JCS_YCCK) c->write_JFIF_header = TRUE;
  if (p.JPEG_PROGRESSIVE) jpeg_simple_progression(c);
}

}  // namespace

void IEWriteJPEG(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  try {
    if (!Stream || !Bitmap || Bitmap->IsEmpty()) {
      Progress.Abort();
      return;
    }
    J_COLOR_SPACE out;
    switch (Params.JPEG_COLORSPACE) {
      case 1: out = JCS_GRAYSCALE; break;
      case 2: out = JCS_YCbCr; break;
      case 3: out = JCS_CMYK; break;
      case 4: out = JCS_YCCK; break;
      default: out = JCS_RGB; break;
    }
    const bool cmyk = out == JCS_CMYK || out == JCS_YCCK;
    // A grey picture written grey goes in as it is; everything else is taken
    // as ie24RGB, from a converted copy when needed (the picture is never changed).
    const bool grayInput = Bitmap->PixelFormat() == ie8g && out == JCS_GRAYSCALE;
    std::unique_ptr<TIEBitmap> copy;
    TIEBitmap* src = Bitmap;
    if (!grayInput && Bitmap->PixelFormat() != ie24RGB) {
      copy = std::make_unique<TIEBitmap>(Bitmap->Width(), Bitmap->Height(), ie24RGB);
      if (copy->IsEmpty()) {
        Progress.Abort();
        return;
      }
      copy->CopyAndConvertFormat(Bitmap);
      src = copy.get();
    }
    const Integer w = src->Width(), h = src->Height();

    TCompressor k;
    j_compress_ptr cinfo = &k.cinfo;
    IEJpegInitErrorMgr(&k.err, &Progress.Aborting);
    if (!IEJpegCreateCompress(cinfo, &k.err)) {
      Progress.Abort();
      return;
    }
    k.created = true;
    IEJpegInstallDest(cinfo, k.dest.get(), Stream, &Progress.Aborting);
    if (Progress.Aborted()) return;
    cinfo->image_width = static_cast<JDIMENSION>(w);
    cinfo->image_height = static_cast<JDIMENSION>(h);
    TWriteSetup setup{cinfo, &Params, grayInput ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_EXT_BGR, out,
                      grayInput ? 1 : cmyk ? 4 : 3, cmyk};
    if (!IEJpegGuard(&k.err, SetupCompressor, &setup) || !IEJpegStartCompress(cinfo)) {
      Progress.Abort();
      return;
    }
    Params.JPEG_MARKERS.SortMarkers();
    const TIEMarkerList& mk = Params.JPEG_MARKERS;
    for (Integer i = 0; i < mk.GetCount() && !Progress.Aborted(); ++i) {
      Byte type = mk.GetMarkerType(i);
      // libjpeg writes its own Adobe marker; a segment holds at most 65533 bytes.
      if (type == kAPP14 || mk.GetMarkerLength(i) > 65533) continue;
      if (!IEJpegWriteMarker(cinfo, type, mk.GetMarkerData(i), mk.GetMarkerLength(i))) Progress.Abort();
    }
    std::unique_ptr<Byte[]> buffer;
    if (cmyk) buffer.reset(new Byte[static_cast<size_t>(w) * 4]);
    Double step = IEProgressStep(h);
    Integer last = -1;
    for (Integer y = 0; y < h && !Progress.Aborted(); ++y) {
      Byte* row = static_cast<Byte*>(src->GetScanline(y));
      JSAMPROW in = row;
      if (cmyk) {
        IEColorConversionHook(row, iecfBGR, buffer.get(), iecfCMYK, w, nullptr);
        in = buffer.get();
      }
      if (IEJpegWriteScanlines(cinfo, &in, 1) != 1) Progress.Abort();
      Progress.ReportChanged(y + 1, step, last);
    }
    if (!Progress.Aborted() && IEJpegFinishCompress(cinfo) != 0) Progress.Abort();
  } catch (...) {
    Progress.Abort();
  }
}

void IEJpegWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  IEWriteJPEG(Stream, Bitmap, Params, Progress);
}

// --- stream length ----------------------------------------------------------------------

Integer IEGetJPEGStreamLength(TStream* Stream) {
  int64_t len = 0;
  IEProbeAtPosition(Stream, [&](int64_t start) {
    TIEBufferedReadStream in(Stream, 8192, false);
    in.SetPosition(start);
    Byte b = 0;
    while (in.Read(&b, 1) == 1) {
      if (b != 0xFF) continue;
      Byte code = 0xFF;
      while (code == 0xFF && in.Read(&code, 1) == 1) {
      }
      if (code == 0xFF) break;
      if (code == 0xD9) break;
      if ((code >= 0xC0 && code <= 0xCF) || (code >= 0xDA && code <= 0xFE)) {
        Byte len[2];
        if (in.Read(len, 2) != 2) break;
        Integer n = BE16(len);
        if (n < 2) continue;
        in.Seek(n - 2, soCurrent);
      }
    }
    len = in.Position() - start;
    return true;
  });
  return len < 0 ? 0 : static_cast<Integer>(std::min<int64_t>(len, INT32_MAX));
}

// --- Photoshop resource blocks -------------------------------------------------------------

namespace {

constexpr char kPhotoshop[] = "Photoshop 3.0";  // followed by a 0 byte
constexpr size_t kPhotoshopLen = sizeof kPhotoshop;  // with the 0

struct TResource {
  size_t Start, End;  // the whole resource, padding included
  Word Id;
  size_t DataStart, DataSize;
};

// Splits a Photoshop block into its resources; false when any of them runs
// past the block.
bool ParseResources(const Byte* B, size_t N, std::vector<TResource>& Out) {
  Out.clear();
  if (N < kPhotoshopLen || std::memcmp(B, kPhotoshop, kPhotoshopLen) != 0) return false;
  size_t i = kPhotoshopLen;
  while (i < N) {
    if (N - i < 4 + 2 + 1 || std::memcmp(B + i, "8BIM", 4) != 0) {
      // Trailing padding is tolerated; anything else is malformed.
      for (size_t j = i; j < N; ++j)
        if (B[j] != 0) return false;
      return true;
    }
    TResource r{};
    r.Start = i;
    r.Id = BE16(B + i + 4);
    size_t nameLen = B[i + 6];
    size_t nameField = (1 + nameLen + 1) & ~size_t(1);  // Pascal string padded to even
    size_t p = i + 6 + nameField;
    if (p + 4 > N) return false;
    r.DataSize = BE32(B + p);
    r.DataStart = p + 4;
    if (r.DataSize > N - r.DataStart) return false;
    r.End = r.DataStart + r.DataSize + (r.DataSize & 1);
    if (r.End > N) r.End = N;  // a missing final pad byte is harmless
    Out.push_back(r);
    i = r.End;
  }
  return true;
}

}  // namespace

bool IEMergePhotoshopIPTC(const Byte* Old, size_t OldLength, const std::vector<Byte>& NewIPTC,
                          std::vector<Byte>& Out) {
  Out.clear();
  std::vector<TResource> oldRes, newRes;
  if (!ParseResources(Old, OldLength, oldRes)) return false;
  const Byte* fresh = nullptr;
  size_t freshLen = 0;
  if (!NewIPTC.empty() && ParseResources(NewIPTC.data(), NewIPTC.size(), newRes)) {
    for (const TResource& r : newRes)
      if (r.Id == 0x0404) {
        fresh = NewIPTC.data() + r.Start;
        freshLen = r.End - r.Start;
        break;
      }
  }
  std::vector<Byte> body;
  bool placed = false;
  for (const TResource& r : oldRes) {
    if (r.Id == 0x0404) {
      if (!placed && fresh) body.insert(body.end(), fresh, fresh + freshLen);
      placed = true;
      continue;
    }
    body.insert(body.end(), Old + r.Start, Old + r.End);
    if ((r.End - r.Start) & 1) body.push_back(0);
  }
  if (!placed && fresh) body.insert(body.end(), fresh, fresh + freshLen);
  if (body.empty()) return true;
  Out.assign(kPhotoshop, kPhotoshop + kPhotoshopLen);
  Out.insert(Out.end(), body.begin(), body.end());
  return true;
}

bool IESetPhotoshopResolution(Byte* Block, size_t Length, Integer DpiX, Integer DpiY) {
  std::vector<TResource> res;
  if (!ParseResources(Block, Length, res)) return false;
  for (const TResource& r : res) {
    if (r.Id != 0x03ED || r.DataSize < 16) continue;
    Byte* p = Block + r.DataStart;
    PutBE32(p, static_cast<uint32_t>(DpiX) << 16);
    PutBE16(p + 4, 1);
    PutBE16(p + 6, 1);
    PutBE32(p + 8, static_cast<uint32_t>(DpiY) << 16);
    PutBE16(p + 12, 1);
    PutBE16(p + 14, 1);
    break;
  }
  return true;
}

void IEUpdateJPEGMarkers(TIOParamsVals& Params) {
  TIEMarkerList& mk = Params.JPEG_MARKERS;
  Integer app13 = mk.IndexOf(kAPP13);
  if (app13 >= 0) {
    std::vector<Byte> block(mk.GetMarkerData(app13), mk.GetMarkerData(app13) + mk.GetMarkerLength(app13));
    if (IESetPhotoshopResolution(block.data(), block.size(), Params.DPIX, Params.DPIY))
      mk.SetMarker(app13, kAPP13, block.data(), static_cast<Word>(block.size()));
  }
  if (Params.IPTC_LIST.UserChanged || (Params.IPTC_LIST.GetCount() > 0 && mk.GetCount() == 0)) {
    std::vector<Byte> fresh;
    Params.IPTC_LIST.SaveToBuffer(fresh, true);
    // Only a Photoshop block takes the records, and only its IPTC resource
    // changes; any other APP13 is left alone.
    std::vector<Byte> merged;
    Integer target = -1;
    for (Integer i = 0; i < mk.GetCount() && target < 0; ++i)
      if (mk.GetMarkerType(i) == kAPP13 && IEMergePhotoshopIPTC(mk.GetMarkerData(i), mk.GetMarkerLength(i), fresh, merged))
        target = i;
    if (target >= 0) {
      if (merged.empty())
        mk.DeleteMarker(target);
      else if (merged.size() <= 65533)
        mk.SetMarker(target, kAPP13, merged.data(), static_cast<Word>(merged.size()));
    } else if (!fresh.empty() && fresh.size() <= 65533) {
      mk.AddMarker(kAPP13, fresh.data(), static_cast<Word>(fresh.size()));
    }
  }
  if (IEJpegSaveExifHook) IEJpegSaveExifHook(Params);
}

// --- IPTC replacement in a byte stream ---------------------------------------------------------

bool IEReplaceJPEGIPTC(TCustomMemoryStream* Source, TMemoryStream* Dest, const TIEIPTCInfoList& IPTC,
                       TIEProgressRec& Progress) {
  const int64_t pos = Source->Position();
  const int64_t size = Source->Size();
  if (pos < 0 || pos > size) return false;
  const Byte* s = static_cast<const Byte*>(Source->Memory()) + pos;
  const size_t n = static_cast<size_t>(size - pos);
  std::vector<Byte> fresh;
  IPTC.SaveToBuffer(fresh, true);
  if (fresh.size() > 65533) return false;  // cannot fit one segment

  bool placed = false;
  auto put = [&](const void* p, size_t len) {
    if (len) Dest->WriteBuffer(p, static_cast<int64_t>(len));
  };
  auto putSegment = [&](Byte type, const std::vector<Byte>& payload) {
    if (payload.empty()) return;
    Byte h[4] = {0xFF, type, 0, 0};
    PutBE16(h + 2, static_cast<uint32_t>(payload.size() + 2));
    put(h, 4);
    put(payload.data(), payload.size());
  };
  auto placeFresh = [&] {
    if (placed) return;
    placed = true;
    putSegment(kAPP13, fresh);
  };
  // The code of the marker at i, skipping fill bytes; 0 when there is none.
  auto markerAt = [&](size_t i) -> Byte {
    if (i >= n || s[i] != 0xFF) return 0;
    while (i < n && s[i] == 0xFF) ++i;
    return i < n ? s[i] : 0;
  };

  Double step = IEProgressStep(static_cast<int64_t>(n));
  Integer last = -1;
  size_t i = 0;
  while (i < n) {
    if (s[i] != 0xFF) {
      const void* ff = std::memchr(s + i, 0xFF, n - i);
      size_t next = ff ? static_cast<size_t>(static_cast<const Byte*>(ff) - s) : n;
      put(s + i, next - i);
      i = next;
      continue;
    }
    if (i + 1 >= n) return false;  // a marker cut in half
    Byte code = s[i + 1];
    if (code == 0xFF) {  // a fill byte before a marker
      put(s + i, 1);
      ++i;
      continue;
    }
    if (code == 0x00 || code == 0x01 || (code >= 0xD0 && code <= 0xD8)) {
      put(s + i, 2);
      i += 2;
      continue;
    }
    if (code <= 0xBF) return false;
    if (code == 0xD9) {
      put(s + i, n - i);
      i = n;
      break;
    }
    // A segment: its length must lie inside the data.
    if (i + 4 > n) return false;
    size_t len = BE16(s + i + 2);
    if (len < 2 || i + 2 + len > n) return false;
    const Byte* payload = s + i + 4;
    const size_t payloadLen = len - 2;
    const size_t next = i + 2 + len;
    if (code == kAPP13) {
      std::vector<Byte> merged;
      if (IEMergePhotoshopIPTC(payload, payloadLen, placed ? std::vector<Byte>() : fresh, merged)) {
        // The first Photoshop block takes the new records, keeping its other
        // resources; a later one only loses stale IPTC.
        placed = true;
        if (merged.size() > 65533) return false;
        putSegment(kAPP13, merged);
      } else {
        put(s + i, next - i);  // not a Photoshop block: kept as it is
      }
    } else if (code == 0xDB) {
      placeFresh();
      put(s + i, next - i);
    } else {
      put(s + i, next - i);
      if (code >= kAPP0 && code <= 0xEC) {
        Byte m = markerAt(next);
        if (!(m >= kAPP0 && m <= kAPP13)) placeFresh();
      }
    }
    i = next;
    Progress.ReportChanged(static_cast<int64_t>(i), step, last);
  }
  return placed;
}

bool IEInjectJPEGIPTC(const WideString& FileName, const TIEIPTCInfoList& IPTC, TIEProgressRec& Progress) {
  try {
    TMemoryStream source, dest;
    {
      TIEWideFileStream in(FileName, fmOpenRead | fmShareDenyWrite);
      source.LoadFromStream(&in);
    }
    source.SetPosition(0);
    // The output may be longer than the input: Dest grows as needed.
    if (!IEReplaceJPEGIPTC(&source, &dest, IPTC, Progress) || Progress.Aborted()) return false;
    // The same safe replacement as every save: permissions kept, a link
    // written through, the file untouched unless everything was written.
    TIESafeFileSave out(FileName);
    if (out.Stream()->Write(dest.Memory(), dest.Size()) != dest.Size()) return false;
    return out.Commit();
  } catch (...) {
    return false;
  }
}

// --- one-call decoder -------------------------------------------------------------------------

void IEDecodeJPEGBuffer(const void* Data, size_t Size, std::vector<Byte>& Pixels, Integer& Width, Integer& Height,
                        Integer& Components) {
  Pixels.clear();
  Width = Height = Components = 0;
  TIEMemStream mem(Data, static_cast<int64_t>(Size));
  TDecompressor d;
  j_decompress_ptr cinfo = &d.cinfo;
  IEJpegInitErrorMgr(&d.err, nullptr);
  auto fail = [&] { throw EIEJpegException(d.err.ErrorText[0] ? d.err.ErrorText : "Corrupted"); };
  if (!IEJpegCreateDecompress(cinfo, &d.err)) fail();
  d.created = true;
  IEJpegInstallSource(cinfo, d.src.get(), &mem, nullptr);
  if (IEJpegReadHeader(cinfo, true) != JPEG_HEADER_OK) fail();
  if (cinfo->jpeg_color_space == JCS_UNKNOWN || cinfo->num_components > 4 ||
      !WithinLimits(cinfo, IEReadLimits.JPEG, 8 * int64_t(cinfo->num_components), static_cast<int64_t>(Size), nullptr))
    throw EIEJpegException("Corrupted");
  IEJpegLimitScans(cinfo, d.scanLimit, IEReadLimits.JPEGMaxScans);
  if (!IEJpegStartDecompress(cinfo)) fail();
  Width = static_cast<Integer>(cinfo->output_width);
  Height = static_cast<Integer>(cinfo->output_height);
  Components = cinfo->output_components;
  const size_t rowLen = static_cast<size_t>(Width) * static_cast<size_t>(Components);
  Pixels.resize(rowLen * static_cast<size_t>(Height));
  for (Integer y = 0; y < Height; ++y) {
    JSAMPROW row = Pixels.data() + rowLen * static_cast<size_t>(y);
    if (IEJpegReadScanlines(cinfo, &row, 1) != 1) fail();
  }
  if (IEJpegFinishDecompress(cinfo) != 0) fail();
}
